#include "log/CLogWriter.h"
#include "platform/CMemoryTextBox.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

QByteArray ReadFile(const QString& strPath)
{
    QFile file(strPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

TEST(LogLine, IsStampedToTheMillisecondAndEndsWithCrLf)
{
    EXPECT_EQ(CLogWriter::FormatLogLine(QTime(9, 4, 3, 7), QStringLiteral("Read command")),
              QStringLiteral("[09:04:03.007] Read command\r\n"));
    EXPECT_EQ(CLogWriter::FormatLogLine(QTime(23, 59, 59, 999), QStringLiteral("%1 %s")),
              QStringLiteral("[23:59:59.999] %1 %s\r\n"))
        << "the text is taken as it is";
}

TEST(LogLine, FileNameCarriesTheStartOfTheRun)
{
    EXPECT_EQ(CLogWriter::MakeLogFileName(QDateTime(QDate(2013, 5, 7), QTime(9, 4, 3))),
              QStringLiteral("[20130507_090403]_Velkor_Log.txt"));
}

TEST(LogWriter, AppendsStampedLinesToTheBox)
{
    CMemoryTextBox box;
    CLogWriter log(box);
    log.WriteLog(QStringLiteral("one"));
    log.WriteLog(QStringLiteral("two"));
    static const QRegularExpression re(
        QStringLiteral("^\\[\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d\\] one\r\n\\[\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d\\] two\r\n$"));
    EXPECT_TRUE(re.match(box.GetWindowText()).hasMatch()) << box.GetWindowText().toStdString();
    EXPECT_EQ(box.GetLineCount(), 3);
}

TEST(LogWriter, EmptiesTheBoxWhenTheNextLineWouldReachTheLimit)
{
    const QString strLine = CLogWriter::FormatLogLine(QTime(1, 2, 3, 4), QStringLiteral("0123456789"));
    const int nLength = int(strLine.size());  // 27
    CMemoryTextBox box(2 * nLength + 1);
    CLogWriter log(box);
    log.PutLineInBox(strLine);
    log.PutLineInBox(strLine);
    EXPECT_EQ(box.GetTextLength(), 2 * nLength) << "below the limit, lines accumulate";
    log.PutLineInBox(strLine);
    EXPECT_EQ(box.GetWindowText(), strLine) << "afterwards the box holds just the new line";

    CMemoryTextBox exact(2 * nLength);
    CLogWriter log2(exact);
    log2.PutLineInBox(strLine);
    log2.PutLineInBox(strLine);
    EXPECT_EQ(exact.GetWindowText(), strLine) << "reaching the limit exactly also empties the box";
}

TEST(LogWriter, AppendsAtTheEndWhereverTheCaretIsAndKeepsASelection)
{
    CMemoryTextBox box;
    box.SetWindowText(QStringLiteral("AAAA\r\nBBBB\r\n"));
    box.SetSel(2, 8);  // the user selected "AA\r\nBB", caret at 8
    CLogWriter log(box);
    const QString strLine = CLogWriter::FormatLogLine(QTime(0, 0), QStringLiteral("x"));
    log.PutLineInBox(strLine);
    EXPECT_EQ(box.GetWindowText(), QStringLiteral("AAAA\r\nBBBB\r\n") + strLine);
    int nStart = 0;
    int nEnd = 0;
    box.GetSel(nStart, nEnd);
    EXPECT_EQ(nStart, 2);
    EXPECT_EQ(nEnd, 8);
}

TEST(LogWriter, SinkReceivesTheStampedLine)
{
    CMemoryTextBox box;
    CLogWriter log(box);
    QStringList received;
    log.SetLineSink([&received](const QString& strLine) { received << strLine; });
    log.WriteLog(QStringLiteral("hello"));
    ASSERT_EQ(received.size(), 1);
    EXPECT_TRUE(received[0].endsWith(QStringLiteral("] hello\r\n")));
    EXPECT_EQ(box.GetTextLength(), 0) << "the sink decides when the box gets the line";
}

// Controls a device sent, as the box, the sink (the console) and the file
// get them: every C0 character but TAB, and DEL, as its picture.
struct ShownCase {
    const char16_t* szText;
    const char* szShown;  // UTF-8
};

const ShownCase kShownCases[] = {
    {u"Response data : \x1B[2J\x1B]0;owned\x07ok", "Response data : \xE2\x90\x9B[2J\xE2\x90\x9B]0;owned\xE2\x90\x87ok"},
    {u"[AUTH] cam:80 - no supported challenge among: x\by\x7F", "[AUTH] cam:80 - no supported challenge among: x\xE2\x90\x88y\xE2\x90\xA1"},
    {u"two\r\nlines\x01\x1F", "two\xE2\x90\x8D\xE2\x90\x8Alines\xE2\x90\x81\xE2\x90\x9F"},
    {u"tab\tstays, \\x1B and ^[ read as sent", "tab\tstays, \\x1B and ^[ read as sent"},
};

TEST(LogWriter, ShowsControlCharactersAsPicturesInTheBoxTheSinkAndTheFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const ShownCase& c : kShownCases) {
        const QString strText = QString::fromUtf16(c.szText);
        const QString strShown = QString::fromUtf8(c.szShown);
        CMemoryTextBox box;
        CLogWriter log(box);
        log.SetAutoSave(true);
        log.SetLogFolder(dir.path());
        log.SetLogFileName(QStringLiteral("shown.txt"));
        QFile::remove(log.LogFilePath());
        log.WriteLog(strText);
        EXPECT_EQ(box.GetLineCount(), 2) << c.szShown;  // the line and the empty one after its CR LF
        EXPECT_TRUE(box.GetWindowText().endsWith(QStringLiteral("] ") + strShown + QStringLiteral("\r\n")))
            << box.GetWindowText().toStdString();
        EXPECT_EQ(ReadFile(log.LogFilePath()), strShown.toUtf8() + '\n');
        QStringList received;
        log.SetLineSink([&received](const QString& strLine) { received << strLine; });
        log.WriteLog(strText);
        ASSERT_EQ(received.size(), 1);
        EXPECT_EQ(received[0].mid(15), strShown + QStringLiteral("\r\n"));
    }
}

TEST(AutoSave, AppendsBareTextOnlyWhileAFileIsNamed)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    CMemoryTextBox box;
    CLogWriter log(box);
    const QString strName = QStringLiteral("[20130507_090403]_Velkor_Log.txt");
    const QString strPath = dir.path() + QLatin1Char('/') + strName;

    log.WriteLog(QStringLiteral("before"));  // auto-save off
    log.SetAutoSave(true);
    log.SetLogFolder(dir.path());
    log.WriteLog(QStringLiteral("no file named yet"));
    EXPECT_FALSE(QFile::exists(strPath));

    log.SetLogFileName(strName);
    EXPECT_EQ(log.LogFilePath(), strPath);
    log.WriteLog(QStringLiteral("Read command"));
    log.WriteLog(QString::fromUtf8("\xea\xb0\x80 Response data : ok"));
    log.SetLogFileName(QString());
    log.WriteLog(QStringLiteral("after the run"));

    EXPECT_EQ(ReadFile(strPath), QByteArray("Read command\n\xea\xb0\x80 Response data : ok\n"));
    EXPECT_EQ(box.GetLineCount(), 6) << "the box has every line";
}

TEST(AutoSave, ContinuesAnExistingFile)
{
    QTemporaryDir dir;
    const QString strName = QStringLiteral("run.txt");
    QFile existing(dir.path() + QLatin1Char('/') + strName);
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("earlier run\n");
    existing.close();

    CMemoryTextBox box;
    CLogWriter log(box);
    log.SetAutoSave(true);
    log.SetLogFolder(dir.path());
    log.SetLogFileName(strName);
    log.WriteLog(QStringLiteral("second run"));
    EXPECT_EQ(ReadFile(existing.fileName()), QByteArray("earlier run\nsecond run\n"));
}

TEST(AutoSave, AnUnwritableFolderSkipsTheFileButKeepsTheBox)
{
    CMemoryTextBox box;
    CLogWriter log(box);
    log.SetAutoSave(true);
    log.SetLogFolder(QStringLiteral("/nonexistent-velkor-folder/deeper"));
    log.SetLogFileName(QStringLiteral("x.txt"));
    log.WriteLog(QStringLiteral("first"));
    log.WriteLog(QStringLiteral("second"));
    EXPECT_EQ(box.GetLineCount(), 3);
    EXPECT_FALSE(QFile::exists(QStringLiteral("/nonexistent-velkor-folder/deeper/x.txt")));
}

TEST(AutoSave, SwitchedOffWritesNothing)
{
    QTemporaryDir dir;
    CMemoryTextBox box;
    CLogWriter log(box);
    log.SetLogFolder(dir.path());
    log.SetLogFileName(QStringLiteral("x.txt"));
    log.WriteLog(QStringLiteral("line"));
    EXPECT_TRUE(log.LogFilePath().isEmpty());
    EXPECT_FALSE(QFile::exists(dir.path() + QStringLiteral("/x.txt")));
}

}  // namespace
