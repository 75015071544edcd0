#include "log/CCommandFile.h"
#include "platform/CMemoryTextBox.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

QString LoadIntoEmptyBox(const QByteArray& content)
{
    CMemoryTextBox box;
    CCommandFile::InsertLines(box, CCommandFile::SplitLines(content));
    return box.GetWindowText();
}

TEST(CommandFileLoad, EachLineIsFollowedByCrLf)
{
    EXPECT_EQ(LoadIntoEmptyBox("a\nb\n"), QStringLiteral("a\r\nb\r\n"));
    EXPECT_EQ(LoadIntoEmptyBox("a\r\nb\r\n"), QStringLiteral("a\r\nb\r\n")) << "CR LF loads like LF";
    EXPECT_EQ(LoadIntoEmptyBox("a\nb"), QStringLiteral("a\r\nb\r\n")) << "a last line without end";
    EXPECT_EQ(LoadIntoEmptyBox(""), QString()) << "an empty file loads nothing";
    EXPECT_EQ(LoadIntoEmptyBox("\n\n"), QStringLiteral("\r\n\r\n"));
    EXPECT_EQ(CCommandFile::SplitLines("a\rb\n"), QStringList{QStringLiteral("a\rb")}) << "a lone CR is no line end";
    EXPECT_EQ(LoadIntoEmptyBox("a\rb\n"), QStringLiteral("a\r\nb\r\n")) << "but a break in the box";
}

TEST(CommandFileLoad, DecodesUtf8AndFallsBackToOneCharacterPerByte)
{
    EXPECT_EQ(LoadIntoEmptyBox("\xea\xb0\x80\n"), QString::fromUtf8("\xea\xb0\x80\r\n"));
    EXPECT_EQ(LoadIntoEmptyBox("caf\xe9\n"), QString::fromUtf8("caf\xc3\xa9\r\n")) << "not UTF-8: Latin-1";
}

TEST(CommandFileLoad, InsertsAtTheCaret)
{
    CMemoryTextBox box;
    box.SetWindowText(QStringLiteral("first\r\nlast"));
    box.SetSel(7, 7);
    CCommandFile::InsertLines(box, CCommandFile::SplitLines("mid\n"));
    EXPECT_EQ(box.GetWindowText(), QStringLiteral("first\r\nmid\r\nlast"));
}

TEST(CommandFileLoad, ReadLinesReportsAFileThatCannotBeOpened)
{
    QStringList lines;
    QString strError;
    EXPECT_FALSE(CCommandFile::ReadLines(QStringLiteral("/nonexistent-velkor/x.cmf"), lines, strError));
    EXPECT_TRUE(strError.contains(QStringLiteral("/nonexistent-velkor/x.cmf")));

    QTemporaryDir dir;
    EXPECT_FALSE(CCommandFile::ReadLines(dir.path(), lines, strError)) << "a folder is no command file";

    const QString strPath = dir.path() + QStringLiteral("/s.cmf");
    QFile file(strPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("Sleep(1)\r\nEnd");
    file.close();
    ASSERT_TRUE(CCommandFile::ReadLines(strPath, lines, strError));
    EXPECT_EQ(lines, (QStringList{QStringLiteral("Sleep(1)"), QStringLiteral("End")}));
}

// A file far larger than any script (one line of 16 MiB and a byte), or a
// line far longer than a command, is refused with a message, and the lines
// read before stay: nothing of it is loaded.
TEST(CommandFileLoad, ReadLinesRefusesAFileTooLargeOrALineTooLong)
{
    QTemporaryDir dir;
    struct SCase {
        QByteArray content;
        bool bRead;
        QString strProblem;
    };
    const SCase cases[] = {
        {QByteArray(CCommandFile::kMostBytes + 1, 'x'), false, QStringLiteral("more than 16 MiB")},
        {"Sleep(1)\n" + QByteArray(70000, 'a') + "\nEnd\n", false,
         QStringLiteral("Line 2 is too long for a command file: 70000 characters (at most 65536")},
        {"Sleep(1)\n" + QByteArray(65536, 'a') + "\n", true, QString()},
    };
    for (const SCase& c : cases) {
        const QString strPath = dir.filePath(QStringLiteral("big.cmf"));
        QFile file(strPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.content);
        file.close();
        QStringList lines{QStringLiteral("before")};
        QString strError;
        EXPECT_EQ(CCommandFile::ReadLines(strPath, lines, strError), c.bRead) << c.content.size();
        if (c.bRead) {
            EXPECT_EQ(lines.size(), 2);
            continue;
        }
        EXPECT_TRUE(strError.startsWith(strPath)) << strError.toStdString();
        EXPECT_TRUE(strError.contains(c.strProblem)) << strError.toStdString();
        EXPECT_EQ(lines, QStringList{QStringLiteral("before")});
    }
}

}  // namespace

namespace {

QByteArray SaveAndRead(const CMemoryTextBox& box, bool bSkipLastLine)
{
    QTemporaryDir dir;
    const QString strPath = dir.path() + QStringLiteral("/out.cmf");
    QString strError;
    if (!CCommandFile::SaveLines(strPath, box, bSkipLastLine, strError))
        return "<failed>";
    QFile file(strPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

CMemoryTextBox BoxWith(const QString& strText)
{
    CMemoryTextBox box;
    box.SetWindowText(strText);
    return box;
}

TEST(CommandFileSave, WritesEveryLineWithALineFeed)
{
    EXPECT_EQ(SaveAndRead(BoxWith(QStringLiteral("a\r\nb")), false), QByteArray("a\nb\n"));
    EXPECT_EQ(SaveAndRead(BoxWith(QStringLiteral("a\r\nb\r\n")), false), QByteArray("a\nb\n\n"))
        << "a text that ends with a break has one more, empty, line";
    EXPECT_EQ(SaveAndRead(BoxWith(QString()), false), QByteArray("\n")) << "an empty box has one empty line";
}

TEST(CommandFileSave, LogLeavesOutTheLastLine)
{
    EXPECT_EQ(SaveAndRead(BoxWith(QString()), true), QByteArray()) << "an empty log saves an empty file";
    EXPECT_EQ(SaveAndRead(BoxWith(QStringLiteral("[00:00:00.000] x\r\n[00:00:00.001] y\r\n")), true),
              QByteArray("[00:00:00.000] x\n[00:00:00.001] y\n"));
}

TEST(CommandFileSave, RoundTripsKeepTheScript)
{
    const QString strLong = QStringLiteral("http://10.0.0.1/httpapi/x?") + QString(3000, QLatin1Char('q'));
    const QString scripts[] = {
        QStringLiteral("While(2)\r\nhttp://10.0.0.1/httpapi/a\r\nEnd\r\n"),
        QString::fromUtf8("Sleep(1) \xed\x95\x9c\xea\xb5\xad\xec\x96\xb4\r\n"),
        strLong + QStringLiteral("\r\n"),
    };
    for (const QString& strScript : scripts) {
        // Saving the box and loading the file into an empty box gives the
        // same script back.
        const CMemoryTextBox typed = BoxWith(QString(strScript).chopped(2));  // no break after the last line
        const QByteArray bytes = SaveAndRead(typed, false);
        CMemoryTextBox loaded;
        CCommandFile::InsertLines(loaded, CCommandFile::SplitLines(bytes));
        EXPECT_EQ(loaded.GetWindowText(), strScript);
    }
    EXPECT_EQ(SaveAndRead(BoxWith(strLong), false).size(), strLong.size() + 1) << "long lines are saved whole";
}

TEST(CommandFileSave, LoadThenSaveAddsTheEmptyLastLine)
{
    CMemoryTextBox box;
    CCommandFile::InsertLines(box, CCommandFile::SplitLines("a\nb\n"));
    EXPECT_EQ(box.GetWindowText(), QStringLiteral("a\r\nb\r\n"));
    EXPECT_EQ(SaveAndRead(box, false), QByteArray("a\nb\n\n"));
}

TEST(CommandFileSave, UnwritablePlaceIsReported)
{
    QString strError;
    const CMemoryTextBox box = BoxWith(QStringLiteral("x"));
    EXPECT_FALSE(CCommandFile::SaveLines(QStringLiteral("/nonexistent-velkor/dir/x.cmf"), box, false, strError));
    EXPECT_TRUE(strError.contains(QStringLiteral("/nonexistent-velkor/dir/x.cmf")));
}

}  // namespace
