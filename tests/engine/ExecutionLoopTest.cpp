#include "CTestResponder.h"
#include "EngineHarness.h"
#include "engine/RunLogTexts.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

const QByteArray kOk = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
const QString kOpening = QString(114, QLatin1Char('='));
const QString kHttpTotal = QStringLiteral("== Total running time(Http api only) : T ms ") + QString(66, QLatin1Char('='));
const QString kAppTotal = QStringLiteral("== Total running time(Application)    : T ms ") + QString(66, QLatin1Char('='));

QString Count(int nPass) { return RunLog::WhileCountLine(nPass); }
QString Repeat(int nPasses, bool bStopped = false) { return RunLog::WhileRepeatLine(nPasses, bStopped); }

QString Url(int nPort, const char* path = "/httpapi/a")
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(nPort).arg(QString::fromUtf8(path));
}

QStringList Header(int nPort)
{
    return {QStringLiteral("Read command"),
            QStringLiteral("Collect connect info"),
            QStringLiteral("Connect to each servers"),
            QStringLiteral("Application try to connect to 1 server"),
            QStringLiteral("Try to connect 127.0.0.1:%1").arg(nPort),
            QStringLiteral("Connected : 127.0.0.1:%1").arg(nPort),
            kOpening};
}

QStringList Request(int nPort, const char* path = "/httpapi/a", const char* data = "ok")
{
    return {QStringLiteral("[SEND] ") + Url(nPort, path), QStringLiteral("Response time : T ms"),
            QStringLiteral("Response data : ") + QString::fromUtf8(data)};
}

TEST(FixedLines, HaveTheirExactWidths)
{
    EXPECT_EQ(RunLog::OpeningLine().size(), 114);
    EXPECT_EQ(Count(12), QStringLiteral("==== While Count : 12 ") + QString(66, QLatin1Char('=')));
    EXPECT_EQ(RunLog::HttpTotalLine(-5).size(), QStringLiteral("== Total running time(Http api only) : -5 ms ").size() + 66);
    EXPECT_TRUE(RunLog::ApplicationTotalLine(7).startsWith(QStringLiteral("== Total running time(Application)    : 7 ms =")));
    EXPECT_EQ(Repeat(3), QStringLiteral("== While Repeat : 3 ") + QString(92, QLatin1Char('=')));
    EXPECT_EQ(Repeat(0, true), QStringLiteral("== While Repeat : 0 (Stopped by user) ") + QString(77, QLatin1Char('=')));
}

TEST(FixedLines, ThresholdFlagsResponsesThatReachIt)
{
    EXPECT_EQ(RunLog::ResponseTimeLine(299, 300), QStringLiteral("Response time : 299 ms"));
    EXPECT_EQ(RunLog::ResponseTimeLine(300, 300), QStringLiteral("Response time : 300 ms (Too much!)"));
    EXPECT_EQ(RunLog::ResponseTimeLine(0, 0), QStringLiteral("Response time : 0 ms (Too much!)"));
    EXPECT_EQ(RunLog::ResponseTimeLine(5000000000LL, 300),
              QStringLiteral("Response time : 5000000000 ms (Too much!)"));
}

TEST(FixedLines, ResponseDataKeepsTheBodyWithoutLineBreaks)
{
    EXPECT_EQ(RunLog::ResponseDataLine("HTTP/1.1 200 OK\r\nX: 1\r\n\r\na\r\nb"),
              QStringLiteral("Response data : ab"));
    EXPECT_EQ(RunLog::ResponseDataLine("HTTP/1.1 200 OK\r\n\r\n"), QStringLiteral("Response data : "));
    EXPECT_EQ(RunLog::ResponseDataLine("HTTP/1.1 200 OK\r\n\r\n100% %s %1"),
              QStringLiteral("Response data : 100% %s %1"));
    EXPECT_EQ(RunLog::ResponseDataLine("HTTP/1.1 200 OK\r\nX: 1\r\n"), QString()) << "no blank line";
    EXPECT_EQ(RunLog::ResponseDataLine(QByteArray("HTTP/1.1 200 OK\r\n\r\nab\0cd", 23)),
              QStringLiteral("Response data : ab"))
        << "the text ends at the first NUL";
    EXPECT_EQ(RunLog::ResponseDataLine("HTTP/1.1 200 OK\r\n\r\n\xe9"),
              QString::fromUtf8("Response data : \xc3\xa9"))
        << "not UTF-8: one character per byte";
    EXPECT_EQ(RunLog::ResponseDataLine("HTTP/1.1 200 OK\r\n\r\ncaf\xc3\xa9\r\n\xea\xb0\x80"),
              QString::fromUtf8("Response data : caf\xc3\xa9\xea\xb0\x80"));
    EXPECT_EQ(RunLog::ResponseDataLine("HTTP/1.1 200 OK\r\n\r\ncaf\xc3\xa9\xea\xb0", true),
              QString::fromUtf8("Response data : caf\xc3\xa9"))
        << "a response cut by the buffer inside its last character";
}

TEST(ExecutionLoop, WhileThreeRunsThreePassesAndCountsThem)
{
    CTestResponder peer(kOk);
    EngineHarness h;
    const int p = peer.Port();
    const QStringList texts = h.Run(QStringLiteral("While(3)\r\n%1\r\nEnd").arg(Url(p)));
    QStringList expected = Header(p);
    for (int nPass = 1; nPass <= 3; ++nPass)
        expected << Request(p) << Count(nPass);
    expected << kHttpTotal << kAppTotal << Repeat(3);
    EXPECT_EQ(texts, expected);
    EXPECT_EQ(peer.RequestCount(), 3);
    EXPECT_EQ(h.m_engine.Context().m_nRequestsFailed, 0);
}

TEST(ExecutionLoop, ScriptWithoutWhileEndsWithTheTotals)
{
    CTestResponder peer("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\na\r\nb");
    EngineHarness h;
    const int p = peer.Port();
    const QStringList texts = h.Run(QStringLiteral("%1\r\nSleep(20)").arg(Url(p)));
    QStringList expected = Header(p);
    expected << Request(p, "/httpapi/a", "ab") << QStringLiteral("Sleep start : 20 ms") << kHttpTotal << kAppTotal;
    EXPECT_EQ(texts, expected);
}

TEST(ExecutionLoop, TwoBlocksShareTheRepeatCountAndThePassCounter)
{
    CTestResponder peer(kOk);
    EngineHarness h;
    const int p = peer.Port();
    const QStringList texts =
        h.Run(QStringLiteral("While(3)\r\n%1\r\nEnd\r\nWhile(3)\r\n%2\r\nEnd").arg(Url(p), Url(p, "/httpapi/b")));
    QStringList expected = Header(p);
    for (int nPass = 1; nPass <= 3; ++nPass)
        expected << Request(p) << Count(nPass);
    expected << Request(p, "/httpapi/b") << Count(4) << kHttpTotal << kAppTotal << Repeat(4);
    EXPECT_EQ(texts, expected);
}

TEST(ExecutionLoop, WhileDirectlyFollowedByEndStillMakesItsPasses)
{
    CTestResponder peer(kOk);
    EngineHarness h;
    const int p = peer.Port();
    const QStringList texts = h.Run(QStringLiteral("While(3)\r\nEnd\r\n%1").arg(Url(p)));
    QStringList expected = Header(p);
    expected << Request(p) << kHttpTotal << kAppTotal << Repeat(3);
    EXPECT_EQ(texts, expected);
}

TEST(ExecutionLoop, SleepInsideABlockCountsAsAStepWithoutACountLine)
{
    CTestResponder peer(kOk);
    EngineHarness h;
    const int p = peer.Port();
    const QStringList texts = h.Run(QStringLiteral("While(2)\r\nSleep(5)\r\n%1\r\nEnd").arg(Url(p)));
    QStringList expected = Header(p);
    for (int nPass = 1; nPass <= 2; ++nPass)
        expected << QStringLiteral("Sleep start : 5 ms") << Request(p) << Count(nPass);
    expected << kHttpTotal << kAppTotal << Repeat(2);
    EXPECT_EQ(texts, expected);
}

TEST(ExecutionLoop, ThresholdZeroFlagsEveryResponseAndSlowOnesAreFlagged)
{
    CTestResponder fast(kOk);
    EngineHarness h;
    QStringList texts = h.Run(Url(fast.Port()), QStringLiteral("0"));
    EXPECT_TRUE(texts.contains(QStringLiteral("Response time : T ms (Too much!)")));

    texts = h.Run(Url(fast.Port()), QStringLiteral("100000"));
    EXPECT_TRUE(texts.contains(QStringLiteral("Response time : T ms")));

    CTestResponder slow(kOk, 350);
    texts = h.Run(Url(slow.Port()), QStringLiteral("300"));
    EXPECT_TRUE(texts.contains(QStringLiteral("Response time : T ms (Too much!)")));
    const QStringList raw = h.RawLines();
    const QString strTime = raw.filter(QStringLiteral("Response time")).value(0);
    const int nMs = strTime.section(QLatin1Char(':'), 3).trimmed().section(QLatin1Char(' '), 0, 0).toInt();
    EXPECT_GE(nMs, 350);
    EXPECT_LT(nMs, 1500) << "the time encloses the exchange, not the 5 s wait";
}

TEST(ExecutionLoop, AllServersUnreachableStillRunsTheScript)
{
    EngineHarness h;
    const int p = CTestResponder::ClosedPort();
    const QStringList texts = h.Run(QStringLiteral("%1\r\nSleep(1)").arg(Url(p)));
    EXPECT_EQ(texts.mid(4, 3), (QStringList{QStringLiteral("Try to connect 127.0.0.1:%1").arg(p),
                                           QStringLiteral("Server unreachable 127.0.0.1:%1").arg(p), kOpening}));
    EXPECT_EQ(texts.mid(7), (QStringList{QStringLiteral("[SEND] ") + Url(p), QStringLiteral("Response time : T ms"),
                                        QStringLiteral("[HTTP] 127.0.0.1:%1 - cannot connect (Connection refused)").arg(p),
                                        QStringLiteral("Sleep start : 1 ms"), kHttpTotal, kAppTotal}));
    EXPECT_EQ(h.m_engine.Context().m_nRequestsFailed, 1);
}

TEST(ExecutionLoop, ScriptWithoutServerExecutesNothing)
{
    EngineHarness h;
    const auto start = std::chrono::steady_clock::now();
    const QStringList texts = h.Run(QStringLiteral("Sleep(3000)\r\nWhile(2)\r\nEnd\r\nCheckAlive(127.0.0.1:1)"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(texts, (QStringList{QStringLiteral("Read command"), QStringLiteral("Collect connect info"),
                                  QStringLiteral("Can not find connect info")}));
}

TEST(ExecutionLoop, TwoServersAreCountedInThePlural)
{
    CTestResponder a(kOk);
    CTestResponder b(kOk);
    EngineHarness h;
    const QStringList texts = h.Run(QStringLiteral("%1\r\n%2").arg(Url(a.Port()), Url(b.Port())));
    EXPECT_EQ(texts.value(3), QStringLiteral("Application try to connect to 2 servers"));
    EXPECT_EQ(a.RequestCount() + b.RequestCount(), 2);
}

TEST(ExecutionLoop, CommandWithoutHostIsReportedAndNotSent)
{
    EngineHarness h;
    const QStringList texts =
        h.Run(QStringLiteral("http://:80/httpapi/x\r\nhttp://127.0.0.1:/httpapi/y\r\nhttp://:/httpapi/z"));
    // An empty port is told at the parse too.
    EXPECT_EQ(texts.filter(QStringLiteral("<Syntax error> Port must be a number from 1 to 65535")).size(), 2);
    EXPECT_TRUE(texts.contains(QStringLiteral("Application try to connect to 3 servers")));
    EXPECT_TRUE(texts.contains(QStringLiteral("[NOT SENT] http://:80/httpapi/x - no host or port")));
    EXPECT_TRUE(texts.contains(QStringLiteral("[NOT SENT] http://127.0.0.1:/httpapi/y - no host or port")));
    EXPECT_TRUE(texts.contains(QStringLiteral("[NOT SENT] http://:/httpapi/z - no host or port")));
    EXPECT_FALSE(texts.filter(QStringLiteral("[SEND]")).size());
    EXPECT_EQ(h.m_engine.Context().m_nRequestsFailed, 3);

    // Also when it is the script's only command.
    EXPECT_EQ(h.Run(QStringLiteral("http://:/httpapi/z")).filter(QStringLiteral("[NOT SENT]")).size(), 1);
    EXPECT_EQ(h.m_engine.Context().m_nRequestsFailed, 1);
}

TEST(ExecutionLoop, UnansweredChallengeGetsOneAuthLineAfterTheResponse)
{
    CTestResponder negotiate("HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Negotiate\r\n"
                             "WWW-Authenticate: Digest realm=\"r\", nonce=\"n\", algorithm=SHA-1\r\n"
                             "Content-Length: 2\r\n\r\nno");
    CTestResponder bare("HTTP/1.1 401 Unauthorized\r\nContent-Length: 2\r\n\r\nno");
    EngineHarness h;
    const int p = negotiate.Port();
    QStringList texts = h.Run(Url(p));
    QStringList expected = Header(p);
    // The unanswered 401 is the answer: its data line, then why it stayed unanswered.
    expected << Request(p).mid(0, 2) << QStringLiteral("Response data : no")
             << QStringLiteral("[AUTH] 127.0.0.1:%1 - no supported challenge among: Negotiate, Digest algorithm=SHA-1")
                    .arg(p)
             << kHttpTotal << kAppTotal;
    EXPECT_EQ(texts, expected);

    const int q = bare.Port();
    texts = h.Run(Url(q));
    EXPECT_EQ(texts.filter(QStringLiteral("[AUTH]")),
              QStringList{QStringLiteral("[AUTH] 127.0.0.1:%1 - the 401 offers no challenge").arg(q)});
    EXPECT_EQ(h.m_engine.Context().m_nRequestsFailed, 0) << "a 401 is still a response";
}

TEST(ExecutionLoop, BlocksDoNotNestAndAnEndOutsideABlockCountsAPass)
{
    CTestResponder peer(kOk);
    EngineHarness h;
    const int p = peer.Port();
    // The inner While only sets the in-block flag again; the inner End ends
    // the block after its passes; the outer End then stands outside a block.
    const QStringList texts = h.Run(QStringLiteral("While(2)\r\n%1\r\nWhile(2)\r\n%2\r\nEnd\r\n%3\r\nEnd")
                                        .arg(Url(p), Url(p, "/httpapi/b"), Url(p, "/httpapi/c")));
    QStringList expected = Header(p);
    for (int nPass = 1; nPass <= 2; ++nPass)
        expected << Request(p) << Count(nPass) << Request(p, "/httpapi/b") << Count(nPass);
    expected << Request(p, "/httpapi/c") << kHttpTotal << kAppTotal << Repeat(3);
    EXPECT_EQ(texts, expected);
}

TEST(ExecutionLoop, TotalsWithRealFigures)
{
    CTestResponder slow(kOk, 100);
    CTestResponder silent(kOk, 30000);
    EngineHarness h;
    const QStringList texts =
        h.Run(QStringLiteral("Sleep(500)\r\n%1\r\nSleep(300)\r\n%2").arg(Url(slow.Port()), Url(silent.Port())));
    EXPECT_EQ(texts.mid(texts.size() - 5),
              (QStringList{QStringLiteral("[SEND] ") + Url(silent.Port()), QStringLiteral("Response time : T ms (Too much!)"),
                           QStringLiteral("Response data : NONE (reason : timeout 10 sec)"), kHttpTotal, kAppTotal}));

    const QStringList raw = h.RawLines();
    const QStringList times = raw.filter(QStringLiteral("Response time : "));
    ASSERT_EQ(times.size(), 2);
    const qint64 nHttpTotal = FigureMs(raw.filter(QStringLiteral("(Http api only)")).value(0));
    const QString strAppLine = raw.filter(QStringLiteral("(Application)")).value(0);
    const qint64 nAppTotal = FigureMs(strAppLine);
    EXPECT_GE(FigureMs(times[0]), 100);
    EXPECT_EQ(nHttpTotal, FigureMs(times[0]) + FigureMs(times[1])) << "the timed-out request counts too";
    EXPECT_GE(nAppTotal, nHttpTotal + 300) << "the Sleep between the requests counts";
    // The application total starts at the first request: the Sleep before it
    // does not count. (Stamps and totals come from two clocks: a little slack.)
    const int nSendToEnd = StampMs(strAppLine) - StampMs(raw.filter(QStringLiteral("[SEND]")).value(0));
    EXPECT_LE(nAppTotal, nSendToEnd + 10);
}

TEST(ExecutionLoop, TargetAbove255GoesPercentEncodedAndIsLoggedAsTyped)
{
    CTestResponder peer(kOk);
    EngineHarness h;
    const int p = peer.Port();
    const QString strUrl = Url(p, "/httpapi/a?name=caf\xc3\xa9-\xe2\x82\xac-\xea\xb0\x80&x=1");
    const QStringList texts = h.Run(strUrl);
    EXPECT_EQ(texts.value(7), QStringLiteral("[SEND] ") + strUrl);
    EXPECT_TRUE(peer.LastRequest().startsWith("GET /httpapi/a?name=caf\xe9-%E2%82%AC-%EA%B0%80&x=1 HTTP/1.1\r\n"))
        << peer.LastRequest().toStdString();
}

TEST(ExecutionLoop, ReachableCheckAliveTargetGivesOneLineOfEach)
{
    CTestResponder peer(kOk);
    EngineHarness h;
    const int p = peer.Port();
    const QStringList texts = h.Run(QStringLiteral("CheckAlive(127.0.0.1:%1)\r\n%2").arg(p).arg(Url(p)));
    QStringList expected = Header(p);
    expected << QStringLiteral("!!! Check alive : 127.0.0.1 - server unreachable")
             << QStringLiteral("!!! Re-Connected : 127.0.0.1") << Request(p) << kHttpTotal << kAppTotal;
    EXPECT_EQ(texts, expected);
}

TEST(ExecutionLoop, AutoSaveFileHoldsTheRunsLinesWithoutTimestamps)
{
    CTestResponder peer("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\ncaf\xc3\xa9");
    QTemporaryDir dir;
    EngineHarness h;
    h.m_log.SetAutoSave(true);
    h.m_log.SetLogFolder(dir.path());
    h.Run(QStringLiteral("While(2)\r\n%1\r\nEnd").arg(Url(peer.Port())));

    const QStringList files = QDir(dir.path()).entryList(QDir::Files);
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\[\\d{8}_\\d{6}\\]_Velkor_Log\\.txt$")).match(files[0]).hasMatch());
    QFile file(dir.filePath(files[0]));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    EXPECT_EQ(content.count("\nResponse data : caf\xc3\xa9\n"), 2) << "UTF-8 once, not encoded twice";
    QStringList fileLines = QString::fromUtf8(content).split(QLatin1Char('\n'));
    EXPECT_EQ(fileLines.takeLast(), QString());
    QStringList boxLines;
    for (const QString& strLine : h.RawLines())
        boxLines << WithoutStamps(strLine.chopped(2));
    EXPECT_EQ(fileLines, boxLines);
    EXPECT_TRUE(h.m_log.LogFileName().isEmpty()) << "the file is no longer named after the run";
}

}  // namespace

namespace {

TEST(ExecutionLoop, UnwritableLogFolderDoesNotStopTheRun)
{
    CTestResponder peer(kOk);
    EngineHarness h;
    h.m_log.SetAutoSave(true);
    h.m_log.SetLogFolder(QStringLiteral("/nonexistent-velkor/logs"));
    const QStringList texts = h.Run(QStringLiteral("While(2)\r\n%1\r\nEnd").arg(Url(peer.Port())));
    EXPECT_EQ(texts.last(), Repeat(2));
    EXPECT_EQ(peer.RequestCount(), 2);
    EXPECT_EQ(texts.size(), 7 + 2 * 4 + 3) << "every line still reaches the log";
}

}  // namespace
