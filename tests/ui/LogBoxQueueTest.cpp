#include "GuiTestUtil.h"

#include "log/CLogWriter.h"
#include "platform/CMemoryTextBox.h"
#include "ui/CLogBoxQueue.h"

#include <gtest/gtest.h>

#include <QThread>

#include <random>
#include <thread>

namespace {

QStringList RandomLines(std::mt19937& random, int nCount)
{
    std::uniform_int_distribution<int> length(0, 40);
    QStringList lines;
    for (int i = 0; i < nCount; ++i)
        lines << QString(length(random), QChar(u'a' + i % 26)) + QStringLiteral("\r\n");
    return lines;
}

// One PutLineInBox per line: the reference the batches must match.
QString OneByOne(const QString& strStart, int nCaret, int nLimit, const QStringList& lines)
{
    CMemoryTextBox box(nLimit);
    box.SetWindowText(strStart);
    box.SetSel(nCaret, nCaret);
    CLogWriter log(box);
    for (const QString& strLine : lines)
        log.PutLineInBox(strLine);
    return box.GetWindowText();
}

QString Batched(const QString& strStart, int nCaret, int nLimit, const QStringList& lines)
{
    CMemoryTextBox box(nLimit);
    box.SetWindowText(strStart);
    box.SetSel(nCaret, nCaret);
    CLogBoxQueue::AppendLines(box, lines);
    return box.GetWindowText();
}

}  // namespace

TEST(LogBoxQueue, ABatchGivesTheTextOfOneInsertionPerLine)
{
    std::mt19937 random(7);
    for (int nRound = 0; nRound < 200; ++nRound) {
        const int nLimit = 20 + nRound * 3;
        const QStringList lines = RandomLines(random, 1 + nRound % 37);
        const QString strStart = QStringLiteral("start\r\ntext");
        const int nCaret = nRound % int(strStart.size() + 1);
        ASSERT_EQ(Batched(strStart, nCaret, nLimit, lines), OneByOne(strStart, nCaret, nLimit, lines))
            << "round " << nRound << " limit " << nLimit;
    }
}

TEST(LogBoxQueue, ALineThatReachesTheLimitEmptiesTheBoxFirst)
{
    const QStringList lines{QStringLiteral("12345\r\n"), QStringLiteral("abcdef\r\n"), QStringLiteral("x\r\n")};
    // 7 + 8 = 15 reaches the limit of 15: the box is emptied before line 2.
    EXPECT_EQ(Batched(QString(), 0, 15, lines), QStringLiteral("abcdef\r\nx\r\n"));
    // 7 + 8 = 15 stays under 16, then 15 + 3 reaches it: only the last line stays.
    EXPECT_EQ(Batched(QString(), 0, 16, lines), QStringLiteral("x\r\n"));
    EXPECT_EQ(Batched(QString(), 0, 100, lines), lines.join(QString()));
}

TEST(LogBoxQueue, LinesAndControlChangesFromAnotherThreadArriveInOrderOnTheWindowThread)
{
    CMemoryTextBox box;
    QStringList events;
    Qt::HANDLE hWindowThread = QThread::currentThreadId();
    bool bAllOnWindowThread = true;
    CLogBoxQueue queue(box, [&](ERunControl eControl, bool bEnable) {
        bAllOnWindowThread = bAllOnWindowThread && QThread::currentThreadId() == hWindowThread;
        events << QStringLiteral("control %1 %2 after %3 lines")
                      .arg(int(eControl))
                      .arg(bEnable)
                      .arg(box.GetLineCount() - 1);
    });
    constexpr int kLines = 50000;
    std::thread worker([&] {
        for (int i = 0; i < kLines; ++i) {
            queue.PostLine(QStringLiteral("line %1\r\n").arg(i));
            if (i == 10 || i == 30000)
                queue.EnableControl(ERunControl::Stop, i == 10);
        }
    });
    worker.join();
    EXPECT_EQ(box.GetLineCount(), 1) << "nothing reaches the box on the worker thread";
    ASSERT_TRUE(WaitFor([&] { return box.GetLineCount() == kLines + 1; }, 20000));
    EXPECT_TRUE(bAllOnWindowThread);
    EXPECT_EQ(events, (QStringList{QStringLiteral("control 1 1 after 11 lines"),
                                   QStringLiteral("control 1 0 after 30001 lines")}));
    QString strLine;
    box.GetLine(kLines - 1, strLine, 2048);
    EXPECT_EQ(strLine, QStringLiteral("line %1").arg(kLines - 1));
}

TEST(LogBoxQueue, ACallOnTheWindowThreadFirstCarriesOutWhatIsPending)
{
    CMemoryTextBox box;
    QStringList events;
    CLogBoxQueue queue(box, [&](ERunControl, bool bEnable) { events << box.GetWindowText() + (bEnable ? "+" : "-"); });
    std::thread worker([&] { queue.PostLine(QStringLiteral("from worker\r\n")); });
    worker.join();
    queue.EnableControl(ERunControl::Send, true);  // window thread: at once, after the pending line
    EXPECT_EQ(events, QStringList{QStringLiteral("from worker\r\n+")});
    queue.PostLine(QStringLiteral("own\r\n"));
    EXPECT_EQ(box.GetWindowText(), QStringLiteral("from worker\r\nown\r\n"));
}
