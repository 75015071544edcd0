#include "CCommandFile.h"

#include "platform/ITextBox.h"

#include <climits>

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

bool CCommandFile::ReadLines(const QString& strPath, QStringList& lines, QString& strError)
{
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly)) {
        strError = QStringLiteral("%1\nThe file could not be opened: %2").arg(strPath, file.errorString());
        return false;
    }
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        strError = QStringLiteral("%1\nThe file could not be read: %2").arg(strPath, file.errorString());
        return false;
    }
    lines = SplitLines(content);
    return true;
}

QStringList CCommandFile::SplitLines(const QByteArray& content)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString strText = decoder.decode(content);
    if (decoder.hasError())
        strText = QString::fromLatin1(content);

    QStringList lines;
    qsizetype nStart = 0;
    while (nStart < strText.size()) {
        qsizetype nEnd = strText.indexOf(QLatin1Char('\n'), nStart);
        if (nEnd < 0)
            nEnd = strText.size();
        qsizetype nLength = nEnd - nStart;
        if (nEnd < strText.size() && nLength > 0 && strText[nEnd - 1] == QLatin1Char('\r'))
            --nLength;
        lines.append(strText.mid(nStart, nLength));
        nStart = nEnd + 1;
    }
    return lines;
}

void CCommandFile::InsertLines(ITextBox& box, const QStringList& lines)
{
    for (const QString& strLine : lines) {
        box.SetSel(-1, 0);
        box.ScrollCaret();
        box.ReplaceSel(strLine);
        box.SetSel(-1, 0);
        box.ScrollCaret();
        box.ReplaceSel(QStringLiteral("\r\n"));
    }
}

QByteArray CCommandFile::CollectLines(const ITextBox& box, bool bSkipLastLine)
{
    const int nLines = box.GetLineCount() - (bSkipLastLine ? 1 : 0);
    QString strText;
    strText.reserve(box.GetTextLength());
    QString strLine;
    for (int nLine = 0; nLine < nLines; ++nLine) {
        box.GetLine(nLine, strLine, INT_MAX);
        strText += strLine;
        strText += QLatin1Char('\n');
    }
    return strText.toUtf8();
}

bool CCommandFile::SaveLines(const QString& strPath, const ITextBox& box, bool bSkipLastLine, QString& strError)
{
    QSaveFile file(strPath);
    if (!file.open(QIODevice::WriteOnly)) {
        strError = QStringLiteral("%1\nThe file could not be created: %2").arg(strPath, file.errorString());
        return false;
    }
    file.write(CollectLines(box, bSkipLastLine));
    if (!file.commit()) {
        strError = QStringLiteral("%1\nThe file could not be written: %2").arg(strPath, file.errorString());
        return false;
    }
    return true;
}
