#include "CCommandFile.h"

#include "platform/ITextBox.h"

#include <climits>
#include <utility>

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
    // One byte more than allowed tells a file that is too large, whatever
    // its kind (a pipe has no size).
    const QByteArray content = file.read(kMostBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        strError = QStringLiteral("%1\nThe file could not be read: %2").arg(strPath, file.errorString());
        return false;
    }
    if (content.size() > kMostBytes) {
        strError = QStringLiteral("%1\nThe file is too large for a command file: more than %2 MiB.")
                       .arg(strPath)
                       .arg(kMostBytes / (1024 * 1024));
        return false;
    }
    QStringList read = SplitLines(content);
    for (qsizetype nLine = 0; nLine < read.size(); ++nLine) {
        if (read[nLine].size() > kMostLineChars) {
            strError = QStringLiteral("%1\nLine %2 is too long for a command file: %3 characters (at most %4; "
                                      "a command is cut at 2048).")
                           .arg(strPath)
                           .arg(nLine + 1)
                           .arg(read[nLine].size())
                           .arg(kMostLineChars);
            return false;
        }
    }
    lines = std::move(read);
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
