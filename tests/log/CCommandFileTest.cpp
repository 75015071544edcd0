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
    EXPECT_EQ(LoadIntoEmptyBox("a\rb\n"), QStringLiteral("a\rb\r\n")) << "a lone CR is no line end";
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

}  // namespace
