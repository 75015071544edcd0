#pragma once

#include <QString>
#include <QStringList>

class ITextBox;

// Command files (.cmf) and saved logs (.txt): UTF-8 text without header, every
// line ended by LF.
class CCommandFile {
public:
    // Reads the lines of a command file. Lines end with LF or CR LF; the last
    // line may end without one. The bytes are decoded as UTF-8, or one
    // character per byte when they are not valid UTF-8. On failure returns
    // false and sets strError to a message that names the file. A file of
    // more than kMostBytes, or with a line of more than kMostLineChars
    // characters, is not a command file: it is refused, and nothing of it
    // is read.
    static bool ReadLines(const QString& strPath, QStringList& lines, QString& strError);

    static constexpr qint64 kMostBytes = 16 * 1024 * 1024;
    static constexpr qsizetype kMostLineChars = 65536;

    // Splits file content as ReadLines does.
    static QStringList SplitLines(const QByteArray& content);

    // Inserts the lines at the box's caret, each followed by CR LF.
    static void InsertLines(ITextBox& box, const QStringList& lines);

    // The box's lines, whole, each followed by LF, as UTF-8. A log box's last
    // line is the empty remainder after its newest entry: bSkipLastLine
    // leaves it out.
    static QByteArray CollectLines(const ITextBox& box, bool bSkipLastLine);

    // Creates or empties the file and writes the box's lines in one piece;
    // the file is replaced only when everything was written. On failure
    // returns false and sets strError to a message that names the file.
    static bool SaveLines(const QString& strPath, const ITextBox& box, bool bSkipLastLine, QString& strError);
};
