#include "CCommandFile.h"

#include "platform/ITextBox.h"

#include <QFile>
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
