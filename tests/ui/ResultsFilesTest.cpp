// File > Save results as... and File > Open results...: the window's
// reports are velkor-cli's, and a report opened shows what it holds.
#include "DlgFixture.h"
#include "GuiTestUtil.h"

#include "../tools/DevsimProcess.h"
#include "report/CFleetReport.h"
#include "report/CJsonReport.h"
#include "report/CRunRecorder.h"
#include "engine/CRunVerdict.h"
#include "ui/CDevicesWindow.h"
#include "ui/CReportToResults.h"
#include "ui/CResultsFiles.h"
#include "ui/CRequestListModel.h"
#include "ui/CResultsTable.h"
#include "ui/CResultsWindow.h"
#include "VelkorVersion.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimeZone>

namespace {

QString WriteFile(const QTemporaryDir& dir, const QString& strName, const QByteArray& bytes)
{
    const QString strPath = dir.filePath(strName);
    QFile file(strPath);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return strPath;
}

QByteArray ReadFile(const QString& strPath)
{
    QFile file(strPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(cannot read ") + strPath.toUtf8() + ")";
}

// A report with what differs from one run of a script to the next blanked:
// the stamps, the times and the figures made of them, the program's version.
QString Blanked(const QByteArray& report)
{
    QString str = QString::fromUtf8(report);
    str.replace(QRegularExpression(QStringLiteral(
                    "\"(velkor_version|started_at|time_ms|time_us|at_ms|down_ms|down_us|http_ms|application_ms|"
                    "min_ms|median_ms|p95_ms|p99_ms|max_ms|mean_ms|requests_per_second)\": [^,}\\]\\n]+")),
                QStringLiteral("\"\\1\": #"));
    str.replace(QRegularExpression(QStringLiteral("(time|timestamp)=\"[^\"]*\"")), QStringLiteral("\\1=\"#\""));
    return str;
}

// velkor-cli run ARGS; its exit code.
int RunCli(const QStringList& args)
{
    QProcess cli;
    cli.start(QStringLiteral(VELKOR_CLI_PATH), QStringList{QStringLiteral("run")} + args);
    if (!cli.waitForFinished(60000))
        return -1;
    return cli.exitCode();
}

}  // namespace

using ResultsFiles = DlgFixture;

// One run, and one run over a list of two devices, each made by velkor-cli
// and by the window against the simulated device: the window's JSON, JUnit
// and HTML reports are velkor-cli's, byte for byte but the stamps and times
// (the HTML's figures drawn from the times too), though a device is picked
// in the Devices window.
TEST_F(ResultsFiles, TheWindowSavesTheReportsVelkorCliWritesForTheSameRun)
{
    devsimtest::Devsim sim;
    ASSERT_TRUE(sim.Start({QStringLiteral("--devices"), QStringLiteral("2")}));
    QTemporaryDir dir;
    const QByteArray lines = "http://{{host}}:{{port}}/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0\r\n"
                             "http://{{host}}:{{port}}/httpapi/SendPTZ?action=sendptz&PTZ_MOVE=right,1\r\n"
                             "http://{{host}}:{{port}}/httpapi/NoSuchPage\r\n";
    const QString strFleetScript = WriteFile(dir, QStringLiteral("pan.cmf"), lines);
    const QString strOneScript =
        WriteFile(dir, QStringLiteral("one.cmf"),
                  QByteArray(lines).replace("{{host}}", "127.0.1.1").replace("{{port}}", QByteArray::number(sim.port())));
    const QString strList = WriteFile(dir, QStringLiteral("lab.csv"),
                                      QStringLiteral("name,host,port\ncam-1,127.0.1.1,%1\ncam-2,127.0.1.2,%1\n")
                                          .arg(sim.port())
                                          .toUtf8());
    QStringList errors;
    m_pDlg->UserPrompts().ShowError = [&errors](QWidget*, const QString& strText) { errors << strText; };
    Ctl<QLineEdit>(1025)->setText(QStringLiteral("250"));
    // The program's version, as velkor and velkor-cli name it in a report.
    const QString strVersion = QCoreApplication::applicationVersion();
    QCoreApplication::setApplicationVersion(QStringLiteral(VELKOR_VERSION));

    for (const bool bFleet : {false, true}) {
        const QString strScript = bFleet ? strFleetScript : strOneScript;
        const QString strCli = dir.filePath(bFleet ? QStringLiteral("cli-fleet") : QStringLiteral("cli-one"));
        const QString strWin = dir.filePath(bFleet ? QStringLiteral("win-fleet") : QStringLiteral("win-one"));
        QStringList args{strScript, QStringLiteral("--threshold"), QStringLiteral("250"), QStringLiteral("--json"),
                         strCli + QStringLiteral(".json"), QStringLiteral("--junit"), strCli + QStringLiteral(".xml"),
                         QStringLiteral("--html"), strCli + QStringLiteral(".html")};
        if (bFleet)
            args << QStringLiteral("--devices") << strList;
        ASSERT_EQ(RunCli(args), 0);
        // Loading puts the file's lines where the cursor is: into an empty box.
        m_pDlg->CommandBox().SetWindowText(QString());
        ASSERT_TRUE(m_pDlg->LoadCommandFile(strScript));
        if (bFleet) {
            ASSERT_TRUE(m_pDlg->LoadDeviceList(strList));
        }
        QTest::mouseClick(Ctl<QPushButton>(1002), Qt::LeftButton);
        ASSERT_TRUE(WaitFor([&] { return !m_pDlg->IsRunning(); }, 20000));
        m_pDlg->FlushPendingLog();
        if (bFleet)
            m_pDlg->DevicesWindow().PickRow(2);
        QString strError;
        for (const QString& strSuffix : {QStringLiteral(".json"), QStringLiteral(".xml"), QStringLiteral(".html")}) {
            ASSERT_TRUE(m_pDlg->ResultsFiles().SaveResults(strWin + strSuffix, &strError)) << strError.toStdString();
            QString strWritten = Blanked(ReadFile(strWin + strSuffix));
            QString strCliWritten = Blanked(ReadFile(strCli + strSuffix));
            if (strSuffix == QLatin1String(".html")) {
                // The pictures' axes and bins, and every figure, follow the times.
                for (QString* pHtml : {&strWritten, &strCliWritten}) {
                    pHtml->replace(QRegularExpression(QStringLiteral("<svg .*?</svg>"),
                                                      QRegularExpression::DotMatchesEverythingOption),
                                   QStringLiteral("<svg/>"));
                    pHtml->replace(QRegularExpression(QStringLiteral("[0-9]+(\\.[0-9]+)?")), QStringLiteral("#"));
                    pHtml->replace(QStringLiteral("<td></td>"), QStringLiteral("<td>#</td>"));
                }
            }
            EXPECT_EQ(strWritten.toStdString(), strCliWritten.toStdString()) << strSuffix.toStdString();
        }
    }
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('|')).toStdString();
    QCoreApplication::setApplicationVersion(strVersion);
}

namespace {

// A request of a recorded run, as the execution loop reports it.
CRequestResult Request(int nIndex, int nLine, const char* pszTarget, int nStatus, std::int64_t nTimeMs,
                       ERequestOutcome outcome, bool bPass, const char* pszReason = "")
{
    CRequestResult result;
    result.nIndex = nIndex;
    result.nLine = nLine;
    result.strScheme = QStringLiteral("http");
    result.strHost = QStringLiteral("127.0.0.1");
    result.strPort = QStringLiteral("8080");
    result.strTarget = QString::fromLatin1(pszTarget);
    result.strUrl = QStringLiteral("http://127.0.0.1:8080") + result.strTarget;
    result.nStatus = nStatus;
    result.nTimeMs = nTimeMs;
    result.nTimeUs = nTimeMs * 1000;
    result.nAtMs = nIndex * 500;
    result.outcome = outcome;
    result.bPass = bPass;
    result.strReason = QString::fromLatin1(pszReason);
    result.nChecks = result.strReason.startsWith(QLatin1String("[CHECK]")) ? 1 : 0;
    result.nChecksFailed = result.nChecks;
    return result;
}

// A run recorded as velkor-cli records it: four requests (one timed out,
// one slow, one whose check failed) and a CheckAlive wait of 1,200 ms,
// ended, or (bCutShort) cut short by closing after a Stop.
CRecordedRun RecordedRun(bool bCutShort)
{
    CRunRecorder recorder;
    CRunVerdict verdict;
    const std::vector<IRunListener*> listeners{&recorder, &verdict};
    CRunStartInfo start;
    start.strScript = QStringLiteral("pan.cmf");
    start.startedAt = QDateTime(QDate(2026, 3, 1), QTime(9, 30), QTimeZone(3600));
    start.nThresholdMs = 250;
    CCheckAliveResult wait;
    wait.nIndex = 1;
    wait.nLine = 4;
    wait.strHost = QStringLiteral("127.0.0.1");
    wait.strPort = QStringLiteral("8080");
    wait.nAtMs = 1600;
    wait.nDownMs = 1200;
    wait.nDownUs = 1200000;
    wait.nAttempts = 3;
    CRunEndInfo end;
    end.nHttpMs = 1360;
    end.nApplicationMs = 4100;
    end.bStopped = bCutShort;
    end.bComplete = !bCutShort;
    for (IRunListener* pListener : listeners) {
        pListener->OnRunStart(start);
        pListener->OnRequest(Request(1, 1, "/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0", 200, 40,
                                     ERequestOutcome::Ok, true));
        pListener->OnRequest(Request(2, 2, "/httpapi/SendPTZ?action=sendptz&PTZ_MOVE=right,1", -1, 1000,
                                     ERequestOutcome::Timeout, false, "[HTTP] no response within 1000 ms"));
        pListener->OnRequest(Request(3, 1, "/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0", 200, 300,
                                     ERequestOutcome::Slow, true));
        pListener->OnCheckAlive(wait);
        pListener->OnRequest(Request(4, 5, "/httpapi/ReadParam?action=readparam&SYS_VERSION=0", 200, 20,
                                     ERequestOutcome::Ok, false, "[CHECK] expected body ~ 2.1, got 2.0"));
        pListener->OnRunEnd(end);
    }
    CRecordedRun run = recorder.Snapshot();
    run.verdict = verdict.Summary();
    run.nExitCode = run.verdict.nExitCode;
    return run;
}

// Writes a report of one run, or (bFleet) of that run on cam-1 and two
// passing requests on cam-2.
QString WriteReport(const QTemporaryDir& dir, const QString& strName, bool bFleet, bool bCutShort)
{
    const QString strPath = dir.filePath(strName);
    if (!bFleet) {
        CJsonReport::Save(strPath, RecordedRun(bCutShort), QStringLiteral("9.9"));
        return strPath;
    }
    CRecordedFleet fleet;
    fleet.strScript = QStringLiteral("pan.cmf");
    fleet.nThresholdMs = 250;
    fleet.shard = {1, 1, 2, QString(64, QLatin1Char('a')), QString(64, QLatin1Char('b'))};
    fleet.devices.resize(2);  // both first: a reference into a growing vector would dangle
    CRecordedDevice& one = fleet.devices[0];
    one.strName = QStringLiteral("cam-1");
    one.nRow = 1;
    one.run = RecordedRun(bCutShort);
    CRecordedDevice& two = fleet.devices[1];
    two.strName = QStringLiteral("cam-2");
    two.nRow = 2;
    CRunRecorder recorder;
    recorder.OnRunStart(one.run.start);
    recorder.OnRequest(Request(1, 1, "/a", 200, 10, ERequestOutcome::Ok, true));
    recorder.OnRequest(Request(2, 2, "/b", 204, 12, ERequestOutcome::Ok, true));
    recorder.OnRunEnd(CRunEndInfo());
    two.run = recorder.Snapshot();
    two.run.verdict.nRequests = 2;
    FinishFleet(fleet);
    CJsonReport::SaveFleet(strPath, fleet, QStringLiteral("9.9"));
    return strPath;
}

}  // namespace

// Reports opened in the window (one run, a fleet, a run cut short) show the
// figures they hold: the counts, the statistics' rows, the CheckAlive
// waits, the run's state and its verdict as recorded; a fleet's devices are
// rows of the Devices window, each device's run shown when picked.
TEST_F(ResultsFiles, AnOpenedReportShowsTheFiguresItHolds)
{
    struct SCase {
        const char* pszName;
        bool bFleet;
        bool bCutShort;
        std::uint64_t nRequests, nOk, nSlow, nTimeout;
        std::size_t nUrls;
        const char* pszSummary;
    };
    const SCase cases[] = {
        {"one.json", false, false, 4, 2, 1, 1, 3,
         "pan.cmf [one.json] \u00b7 started 2026-03-01 09:30:00 \u00b7 4 requests \u00b7 threshold 250 ms \u00b7 "
         "1 CheckAlive wait \u00b7 ended \u00b7 verdict: fail (2 of 4 requests failed, exit code 3)"},
        {"cut.json", false, true, 4, 2, 1, 1, 3,
         "pan.cmf [cut.json] \u00b7 started 2026-03-01 09:30:00 \u00b7 4 requests \u00b7 threshold 250 ms \u00b7 "
         "1 CheckAlive wait \u00b7 cut short \u00b7 verdict: fail (2 of 4 requests failed, exit code 3)"},
        {"fleet.json", true, false, 6, 4, 1, 1, 5,
         "pan.cmf [all devices, fleet.json] \u00b7 started 2026-03-01 09:30:00 \u00b7 6 requests \u00b7 "
         "threshold 250 ms \u00b7 1 CheckAlive wait \u00b7 ended \u00b7 verdict: fail (2 of 6 requests failed, "
         "exit code 3)"},
    };
    QTemporaryDir dir;
    QStringList errors;
    m_pDlg->UserPrompts().ShowError = [&errors](QWidget*, const QString& strText) { errors << strText; };
    CResultsWindow& results = m_pDlg->ResultsWindow();
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        m_pDlg->OpenResults(WriteReport(dir, QString::fromLatin1(c.pszName), c.bFleet, c.bCutShort));
        ASSERT_TRUE(WaitFor([&] { return !m_pDlg->ResultsFiles().IsOpening(); }, 20000));
        results.Flush();
        ASSERT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('|')).toStdString();
        const CUrlStatistics& total = results.Statistics().total;
        EXPECT_EQ(total.nCount, c.nRequests);
        EXPECT_EQ(total.nOk, c.nOk);
        EXPECT_EQ(total.nSlow, c.nSlow);
        EXPECT_EQ(total.nTimeout, c.nTimeout);
        EXPECT_EQ(total.nMaxMs, 300);  // of the responses: the timeout has none
        EXPECT_EQ(results.Statistics().vecUrls.size(), c.nUrls);
        EXPECT_EQ(results.Requests()->Requests().size(), c.nRequests);
        EXPECT_EQ(results.SummaryText().toStdString(), QString::fromUtf8(c.pszSummary).toStdString());
        // The CheckAlive line: where, its line, waits, stopped, and its 1,200 ms.
        QTableWidget* pWaits = results.CheckAliveTable();
        ASSERT_EQ(pWaits->rowCount(), 1);
        EXPECT_EQ(pWaits->item(0, 0)->text(), QStringLiteral("127.0.0.1:8080"));
        EXPECT_EQ(pWaits->item(0, 1)->text(), QStringLiteral("4"));
        EXPECT_EQ(pWaits->item(0, 6)->text(), QStringLiteral("1200"));
        // A fleet's devices together are charted as a fleet's: by script line or by device.
        EXPECT_EQ(results.ChartBy()->isVisibleTo(&results), c.bFleet);
        if (!c.bFleet)
            continue;
        // The devices, and one picked: its own run.
        const CDeviceTableModel& model = *m_pDlg->DevicesWindow().Model();
        ASSERT_EQ(model.rowCount(), 3);
        EXPECT_EQ(model.Cells(1).join(QLatin1Char('|')).toStdString(),
                  "cam-1|done|4|2|1|1|40|300|200|fail (3)");
        EXPECT_EQ(model.Cells(2).join(QLatin1Char('|')).toStdString(), "cam-2|done|2|2|0|0|10|12|204|pass");
        EXPECT_EQ(model.Cells(0).join(QLatin1Char('|')).toStdString(), "All devices|2 of 2 done|6|4|1|1||||fail: 1 of 2 pass");
        m_pDlg->DevicesWindow().PickRow(2);
        ASSERT_TRUE(WaitFor([&] { return !m_pDlg->ResultsFiles().IsOpening(); }, 20000));
        results.Flush();
        EXPECT_EQ(results.Statistics().total.nCount, 2u);
        EXPECT_TRUE(results.SummaryText().startsWith(QStringLiteral("pan.cmf [cam-2] "))) << results.SummaryText().toStdString();
        EXPECT_TRUE(results.SummaryText().endsWith(QStringLiteral("verdict: pass"))) << results.SummaryText().toStdString();
        EXPECT_FALSE(results.ChartBy()->isVisibleTo(&results));
    }
}

// What cannot be opened is told in a message box, and nothing else happens.
TEST_F(ResultsFiles, ADamagedReportGivesItsMessage)
{
    QTemporaryDir dir;
    const QByteArray whole = [&] {
        const QString strPath = WriteReport(dir, QStringLiteral("whole.json"), false, false);
        return ReadFile(strPath);
    }();
    const QString strHuge = dir.filePath(QStringLiteral("huge.json"));
    {
        QFile huge(strHuge);
        ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
        ASSERT_TRUE(huge.resize(CReportToResults::kMostBytes + 1));  // sparse: nothing written
    }
    struct SCase {
        QString strPath;
        QString strMessage;
    };
    const SCase cases[] = {
        {dir.filePath(QStringLiteral("missing.json")), QStringLiteral("Cannot open missing.json: No such file or directory")},
        {WriteFile(dir, QStringLiteral("empty.json"), ""),
         QStringLiteral("Cannot open empty.json: it is not a report this version of Velkor reads (not JSON (an "
                        "object expected at byte 0)).")},
        {WriteFile(dir, QStringLiteral("cut.json"), whole.left(whole.size() / 2)),
         QStringLiteral("Cannot open cut.json: it is not a report this version of Velkor reads (not JSON")},
        {WriteFile(dir, QStringLiteral("other.json"), "{\"velkor_version\": \"0.1\", \"script\": \"a.cmf\"}"),
         QStringLiteral("Cannot open other.json: it is not a report this version of Velkor reads (not a velkor-cli "
                        "JSON report (no script or threshold_ms)). It was written by Velkor 0.1; this is Velkor ")},
        {WriteFile(dir, QStringLiteral("outcome.json"),
                   "{\"script\": \"a.cmf\", \"threshold_ms\": 1, \"requests\": [{\"url\": \"http://a/\", "
                   "\"outcome\": \"exploded\"}], \"exit_code\": 0}"),
         QStringLiteral("Cannot open outcome.json: it is not a report this version of Velkor reads (device outcome: "
                        "a request without a url or a known outcome).")},
        {strHuge, QStringLiteral("Cannot open huge.json: it holds 2048 MiB, more than the 2047 MiB a report may hold.")},
    };
    QStringList errors;
    m_pDlg->UserPrompts().ShowError = [&errors](QWidget*, const QString& strText) { errors << strText; };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.strPath.toStdString());
        errors.clear();
        m_pDlg->OpenResults(c.strPath);
        ASSERT_TRUE(WaitFor([&] { return !m_pDlg->ResultsFiles().IsOpening(); }, 20000));
        ASSERT_EQ(errors.size(), 1);
        EXPECT_TRUE(errors[0].startsWith(c.strMessage)) << errors[0].toStdString();
        EXPECT_EQ(m_pDlg->ResultsWindow().SummaryText(), QStringLiteral("No run yet."));
    }
}
