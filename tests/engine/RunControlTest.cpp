#include "CTestResponder.h"
#include "EngineHarness.h"
#include "engine/RunLogTexts.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>

namespace {

using ESendResult = CRunEngine::ESendResult;
using Clock = std::chrono::steady_clock;

const QByteArray kOk = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";

QString Url(int nPort, const char* path = "/httpapi/a")
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(nPort).arg(QLatin1String(path));
}

bool Idle(const CRunControlStates& c, bool bSetPath = false)
{
    return c.IsEnabled(ERunControl::Send) && !c.IsEnabled(ERunControl::Stop) && c.IsEnabled(ERunControl::CommandBox) &&
           c.IsEnabled(ERunControl::ClearCommand) && c.IsEnabled(ERunControl::ClearLog) &&
           c.IsEnabled(ERunControl::AutoSave) && c.IsEnabled(ERunControl::Threshold) &&
           c.IsEnabled(ERunControl::SetPath) == bSetPath;
}

TEST(RunControl, WhileZeroRepeatsUntilStopAndTheRestStillRuns)
{
    CTestResponder peer(kOk);
    EngineHarness h;
    ASSERT_EQ(h.Send(QStringLiteral("While(0)\r\n%1\r\nEnd\r\nSleep(1)").arg(Url(peer.Port()))), ESendResult::Started);
    EXPECT_TRUE(h.m_controls.IsEnabled(ERunControl::Stop));
    EXPECT_FALSE(h.m_controls.IsEnabled(ERunControl::Send));
    EXPECT_FALSE(h.m_controls.IsEnabled(ERunControl::CommandBox));
    EXPECT_FALSE(h.m_controls.IsEnabled(ERunControl::ClearLog));
    ASSERT_TRUE(h.WaitForLine(QStringLiteral("While Count : 3 ")));
    h.m_engine.OnBnClickedStop();
    ASSERT_TRUE(h.m_engine.WaitForRunEnd(10000));

    const QStringList texts = h.Texts();
    const QString strLast = texts.last();
    EXPECT_TRUE(strLast.startsWith(QStringLiteral("== While Repeat : ")) && strLast.contains(QStringLiteral("(Stopped by user)")))
        << strLast.toStdString();
    const int nPasses = strLast.section(QLatin1Char(' '), 4, 4).toInt();
    EXPECT_EQ(texts.filter(QStringLiteral("[SEND]")).size(), nPasses + 1) << "the stopped pass ran to its End";
    EXPECT_TRUE(texts.contains(QStringLiteral("Sleep start : 1 ms"))) << "the records after the End still run";
    EXPECT_TRUE(Idle(h.m_controls));
}

TEST(RunControl, StopDuringTheFirstPassGivesZeroPasses)
{
    CTestResponder peer(kOk, 300);
    EngineHarness h;
    ASSERT_EQ(h.Send(QStringLiteral("While(0)\r\n%1\r\nSleep(400)\r\nEnd").arg(Url(peer.Port()))), ESendResult::Started);
    ASSERT_TRUE(h.WaitForLine(QStringLiteral("[SEND]")));
    h.m_engine.OnBnClickedStop();  // during the request: neither it nor the Sleep after it is cut short
    ASSERT_TRUE(h.m_engine.WaitForRunEnd(10000));
    const QStringList texts = h.Texts();
    EXPECT_EQ(texts.last(), RunLog::WhileRepeatLine(0, true));
    EXPECT_EQ(texts.filter(QStringLiteral("Response data : ok")).size(), 1);
    EXPECT_EQ(peer.RequestCount(), 1);
    const QStringList raw = h.RawLines();
    const auto sleepLine = std::find_if(raw.begin(), raw.end(),
                                        [](const QString& strLine) { return strLine.contains(QStringLiteral("Sleep start")); });
    ASSERT_TRUE(sleepLine != raw.end() && sleepLine + 1 != raw.end());
    EXPECT_GE(StampMs(*(sleepLine + 1)) - StampMs(*sleepLine), 399) << "the Sleep ran in full";
}

TEST(RunControl, EachStopEndsTheBlockThatIsRunning)
{
    CTestResponder peer(kOk);
    EngineHarness h;
    const int p = peer.Port();
    const QString a = QStringLiteral("[SEND] ") + Url(p);
    const QString b = QStringLiteral("[SEND] ") + Url(p, "/httpapi/b");
    const QString c = QStringLiteral("[SEND] ") + Url(p, "/httpapi/c");
    ASSERT_EQ(h.Send(QStringLiteral("While(0)\r\n%1\r\nSleep(1)\r\nEnd\r\nWhile(0)\r\n%2\r\nEnd\r\n%3")
                         .arg(Url(p), Url(p, "/httpapi/b"), Url(p, "/httpapi/c"))),
              ESendResult::Started);
    ASSERT_TRUE(h.WaitForLine(QStringLiteral("While Count : 2 ")));
    h.m_engine.OnBnClickedStop();
    // The second block runs afresh, pass after pass, until a Stop of its own.
    ASSERT_TRUE(h.WaitForLine(b, 3));
    h.m_engine.OnBnClickedStop();
    ASSERT_TRUE(h.m_engine.WaitForRunEnd(10000));

    const QStringList texts = h.Texts();
    const QStringList sends = texts.filter(QStringLiteral("[SEND]"));
    const int nA = int(sends.count(a));
    const int nB = int(sends.count(b));
    EXPECT_EQ(sends, QStringList(nA, a) + QStringList(nB, b) + QStringList{c});
    // Passes finished: all but the stopped one of each block.
    EXPECT_EQ(texts.last(), RunLog::WhileRepeatLine(nA - 1 + nB - 1, true));
}

TEST(RunControl, AStopLeftFromAnEarlierRunDoesNotEndTheNextOne)
{
    CTestResponder peer(kOk);
    EngineHarness h;
    h.Run(Url(peer.Port()));
    h.m_engine.OnBnClickedStop();  // after the last End: nobody takes it
    const QStringList texts = h.Run(QStringLiteral("While(2)\r\n%1\r\nEnd").arg(Url(peer.Port())));
    EXPECT_EQ(texts.last(), RunLog::WhileRepeatLine(2, false));
}

TEST(RunControl, FailedParseRestoresEveryControl)
{
    EngineHarness h;
    h.m_logBox.SetWindowText(QStringLiteral("old log"));
    EXPECT_EQ(h.Send(QStringLiteral("While(-1)\r\nEnd")), ESendResult::ParseFailed);
    EXPECT_TRUE(Idle(h.m_controls));
    EXPECT_FALSE(h.m_logBox.GetWindowText().contains(QStringLiteral("old log"))) << "Send empties the log first";
    EXPECT_FALSE(h.m_engine.IsRunning());
    EXPECT_TRUE(h.m_engine.Context().m_script.m_vecCommands.empty());
    EXPECT_EQ(h.m_engine.Context().m_script.m_nWhileRepeatCount, -1);
}

TEST(RunControl, RunWithoutServerRestoresEveryControl)
{
    EngineHarness h;
    h.Run(QStringLiteral("While(2)\r\nEnd"));
    EXPECT_TRUE(Idle(h.m_controls));
    EXPECT_TRUE(h.m_engine.Context().m_script.m_vecServers.empty());
}

TEST(RunControl, SendChecksItsInputsFirst)
{
    EngineHarness h;
    h.m_logBox.SetWindowText(QStringLiteral("kept"));
    EXPECT_EQ(h.Send(QString(), QStringLiteral(" 250ms")), ESendResult::NothingToRun);
    EXPECT_EQ(h.m_engine.Context().m_nResponseLimitMs, 250) << "the threshold is read even so";
    EXPECT_EQ(h.m_logBox.GetWindowText(), QStringLiteral("kept"));

    h.m_log.SetAutoSave(true);
    EXPECT_EQ(h.Send(QStringLiteral("Sleep(1)")), ESendResult::NeedLogFolder);
    EXPECT_EQ(h.m_logBox.GetWindowText(), QStringLiteral("kept"));
    EXPECT_TRUE(h.m_log.LogFileName().isEmpty());
    EXPECT_TRUE(Idle(h.m_controls));
}

TEST(RunControl, CredentialsBeyondLatin1GoAsUtf8AndWithinItByteForByte)
{
    EngineHarness h;
    h.m_commandBox.SetWindowText(QStringLiteral("Sleep(1)"));
    CRunSettings settings;
    settings.strId = QString::fromUtf8("ad\xea\xb0\x80min");
    settings.strPassword = QString::fromUtf8("p\xc3\xa4") + QString(300, QLatin1Char('p'));
    h.m_engine.OnBnClickedSend(settings);
    h.m_engine.WaitForRunEnd(5000);
    EXPECT_TRUE(h.m_engine.Context().m_bCredentialsUtf8);
    EXPECT_EQ(h.m_engine.Context().m_szId, QByteArray("ad\xea\xb0\x80min")) << "not cut at the character";
    EXPECT_EQ(h.m_engine.Context().m_szPassword, "p\xc3\xa4" + QByteArray(251, 'p')) << "254 bytes, both as UTF-8";

    settings.strId = QString::fromUtf8("\xc3\xa4");
    settings.strPassword = QStringLiteral("pw");
    h.m_engine.OnBnClickedSend(settings);
    h.m_engine.WaitForRunEnd(5000);
    EXPECT_FALSE(h.m_engine.Context().m_bCredentialsUtf8);
    EXPECT_EQ(h.m_engine.Context().m_szId, QByteArray("\xe4")) << "within Latin-1: one byte a character, as ever";
}

TEST(RunControl, CheckAliveRetriesAboutOnceASecondUntilStop)
{
    CTestResponder peer(kOk);
    EngineHarness h;
    const int nClosed = CTestResponder::ClosedPort();
    ASSERT_EQ(h.Send(QStringLiteral("%1\r\nCheckAlive(127.0.0.1:%2)\r\nWhile(0)\r\n%1\r\nEnd").arg(Url(peer.Port())).arg(nClosed)),
              ESendResult::Started);
    EXPECT_TRUE(h.m_controls.IsEnabled(ERunControl::Stop));
    ASSERT_TRUE(h.WaitForLine(QStringLiteral("!!! Check alive")));
    std::this_thread::sleep_for(std::chrono::milliseconds(2300));
    const int nAttempts = h.Texts().filter(QStringLiteral("!!! Check alive")).size();
    EXPECT_GE(nAttempts, 2);
    EXPECT_LE(nAttempts, 4) << "a closed port must not flood the log";

    h.m_engine.OnBnClickedStop();
    // The wait used the stop up: the While(0) block after it runs until the next Stop.
    ASSERT_TRUE(h.WaitForLine(QStringLiteral("While Count : 2 ")));
    h.m_engine.OnBnClickedStop();
    ASSERT_TRUE(h.m_engine.WaitForRunEnd(5000));
    const QStringList texts = h.Texts();
    EXPECT_TRUE(texts.contains(QStringLiteral("!!! Check alive : 127.0.0.1 - stopped by user")));
    EXPECT_FALSE(texts.contains(QStringLiteral("!!! Re-Connected : 127.0.0.1")));
    const int nBlockSends = int(texts.filter(QStringLiteral("[SEND]")).size()) - 1;
    EXPECT_EQ(texts.last(), RunLog::WhileRepeatLine(nBlockSends - 1, true));
}

TEST(RunControl, ClosingEndsTheRunPromptlyInEveryWait)
{
    const int nClosed = CTestResponder::ClosedPort();
    CTestResponder peer(kOk);
    CTestResponder silent(kOk, 30000);
    const QString scripts[] = {
        QStringLiteral("%1\r\n%2").arg(Url(peer.Port()), Url(silent.Port())),
        QStringLiteral("%1\r\nSleep(60000)").arg(Url(peer.Port())),
        QStringLiteral("%1\r\nCheckAlive(127.0.0.1:%2)").arg(Url(peer.Port())).arg(nClosed),
        QStringLiteral("While(0)\r\n%1\r\nEnd").arg(Url(peer.Port())),
    };
    for (const QString& strScript : scripts) {
        EngineHarness h;
        ASSERT_EQ(h.Send(strScript), ESendResult::Started);
        ASSERT_TRUE(h.WaitForLine(QStringLiteral("Response time")));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const auto start = Clock::now();
        h.m_engine.OnClose();
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000)) << strScript.toStdString();
        EXPECT_FALSE(h.m_engine.IsRunning());
        EXPECT_TRUE(h.m_engine.Context().m_script.m_vecServers.empty());
    }
}

}  // namespace
