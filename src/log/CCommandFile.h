#pragma once

#include <QString>
#include <QStringList>

class ITextBox;

// Command files (.cmf): plain 8-bit text, one script line per line.
class CCommandFile {
public:
    // Reads the lines of a command file. Lines end with LF or CR LF; the last
    // line may end without one. The bytes are decoded as UTF-8, or one
    // character per byte when they are not valid UTF-8. On failure returns
    // false and sets strError to a message that names the file.
    static bool ReadLines(const QString& strPath, QStringList& lines, QString& strError);

    // Splits file content as ReadLines does.
    static QStringList SplitLines(const QByteArray& content);

    // Inserts the lines at the box's caret, each followed by CR LF.
    static void InsertLines(ITextBox& box, const QStringList& lines);
};
