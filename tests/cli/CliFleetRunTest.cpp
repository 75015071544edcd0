#include "../LogText.h"
#include "../tools/DevsimProcess.h"
#include "CliProcess.h"
#include "cli/CliExitCodes.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Four devices over one script with placeholders: three simulated devices
// on their own addresses (the third refuses the password) and one that is
// not there (a closed port).
TEST(CliFleetRun, DevicesRunSideBySideWithTheirOwnLinesFilesAndVerdicts)
{
    devsimtest::Devsim sim;
    ASSERT_TRUE(sim.Start({QStringLiteral("--devices"), QStringLiteral("3"), QStringLiteral("--auth"),
                           QStringLiteral("digest")}));
    quint16 nClosedPort = 0;
    {
        QTcpServer closed;
        ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
        nClosedPort = closed.serverPort();
    }
    QTemporaryDir dir;
    const QString strPort = QString::number(sim.port());
    const QString strDevices = dir.filePath(QStringLiteral("devices.csv"));
    {
        QFile file(strDevices);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("host,name,port,password\r\n"
                                  "127.0.1.1,cam-1,%1,4719\r\n"
                                  "# not today\r\n"
                                  "127.0.1.2,\"cam 2\",%1,4719\r\n"
                                  "127.0.1.3,cam-3,%1,wrong\r\n"
                                  "127.0.0.1,ghost,%2,4719\r\n")
                       .arg(strPort)
                       .arg(nClosedPort)
                       .toUtf8());
    }
    const QString strScript = WriteScript(dir, QStringLiteral("http://{{host}}:{{port}}{{api}}PTZ_MOVE=right,1\n"
                                                              "While(2)\n"
                                                              "http://{{host}}:{{port}}{{api}}PTZ_GETPOSITION=0\n"
                                                              "End\n"));
    const QString strLogs = dir.filePath(QStringLiteral("logs"));
    ASSERT_TRUE(QDir().mkpath(strLogs));

    const QString strJson = dir.filePath(QStringLiteral("fleet.json"));
    const QString strJUnit = dir.filePath(QStringLiteral("fleet.xml"));
    CliRun run;
    run.Start({strScript, QStringLiteral("--devices"), strDevices, QStringLiteral("--jobs"), QStringLiteral("2"),
               QStringLiteral("--variable"), QStringLiteral("api=/httpapi/SendPTZ?action=sendptz&"),
               QStringLiteral("--log-dir"), strLogs, QStringLiteral("--fail-on-status"), QStringLiteral("--json"),
               strJson, QStringLiteral("--junit"), strJUnit});
    // A failed request (exit 3) comes before an error status (exit 6).
    ASSERT_EQ(run.Finish(), kExitRequestFailed) << run.m_strErr.toStdString();

    // Every log line names its device; taken apart, each device's lines are
    // its log file's.
    const qsizetype nTable = run.m_strOut.indexOf(QStringLiteral("\nDevices (times in ms)\n"));
    ASSERT_GE(nTable, 0) << run.m_strOut.toStdString();
    const QStringList names{QStringLiteral("cam-1"), QStringLiteral("cam 2"), QStringLiteral("cam-3"),
                            QStringLiteral("ghost")};
    QMap<QString, QString> printed;
    static const QRegularExpression prefixed(QStringLiteral("^\\[(cam-1|cam 2|cam-3|ghost)\\] (.*)$"));
    for (const QString& strLine : run.m_strOut.left(nTable).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch match = prefixed.match(strLine);
        ASSERT_TRUE(match.hasMatch()) << strLine.toStdString();
        printed[match.captured(1)] += match.captured(2) + QLatin1Char('\n');
    }
    const QStringList fileParts{QStringLiteral("cam-1"), QStringLiteral("cam_2"), QStringLiteral("cam-3"),
                                QStringLiteral("ghost")};
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QStringList files =
            QDir(strLogs).entryList({QStringLiteral("*_Velkor_Log_%1.txt").arg(fileParts[i])}, QDir::Files);
        ASSERT_EQ(files.size(), 1) << fileParts[i].toStdString();
        QFile saved(QDir(strLogs).filePath(files[0]));
        ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
        EXPECT_EQ(QString::fromUtf8(saved.readAll()), WithoutStamps(printed[names[i]])) << names[i].toStdString();
    }
    EXPECT_EQ(QDir(strLogs).entryList(QDir::Files).size(), 4);

    // Each simulated device moved once, on its own.
    for (const QString& strName : {QStringLiteral("cam-1"), QStringLiteral("cam 2")})
        EXPECT_EQ(WithoutStamps(printed[strName]).count(QStringLiteral("Response data : pan=1 tilt=0 zoom=1\n")), 2)
            << strName.toStdString();
    EXPECT_TRUE(printed[QStringLiteral("cam-3")].contains(QStringLiteral("- credentials refused")));
    EXPECT_TRUE(printed[QStringLiteral("ghost")].contains(
        QStringLiteral("[HTTP] 127.0.0.1:%1 - cannot connect (Connection refused)").arg(nClosedPort)));

    QStringList table = run.m_strOut.mid(nTable).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (QString& strRow : table)
        strRow = strRow.simplified().replace(QRegularExpression(QStringLiteral(" \\d+ \\d+ \\d+ (pass|fail)")),
                                             QStringLiteral(" T T T \\1"));
    EXPECT_EQ(table, (QStringList{QStringLiteral("Devices (times in ms)"),
                                  QStringLiteral("name requests ok slow timeout failed not sent median p95 max verdict"),
                                  QStringLiteral("cam-1 3 3 0 0 0 0 T T T pass"),
                                  QStringLiteral("cam 2 3 3 0 0 0 0 T T T pass"),
                                  QStringLiteral("cam-3 3 3 0 0 0 0 T T T fail (6): 3 of 3 requests failed (3 with an error status)"),
                                  QStringLiteral("ghost 3 0 0 0 3 0 - - - fail (3): 3 of 3 requests failed (3 unanswered)"),
                                  QStringLiteral("All devices: fail: 2 of 4 pass")}));
    EXPECT_TRUE(run.m_strErr.contains(QStringLiteral("velkor-cli: [ghost] the run failed: 3 of 3 requests failed")));
    EXPECT_TRUE(run.m_strErr.contains(QStringLiteral("velkor-cli: [cam-3] the run failed: 3 of 3 requests failed")));

    // The JSON report: the fleet's figures, then each device with its row's
    // values but the password, its requests and its verdict.
    QFile json(strJson);
    ASSERT_TRUE(json.open(QIODevice::ReadOnly));
    const QJsonObject report = QJsonDocument::fromJson(json.readAll()).object();
    EXPECT_EQ(report[QStringLiteral("exit_code")].toInt(), kExitRequestFailed);
    EXPECT_EQ(report[QStringLiteral("failed_requests")].toInt(), 6);
    EXPECT_EQ(report[QStringLiteral("stats_total")].toObject()[QStringLiteral("count")].toInt(), 12);
    EXPECT_EQ(report[QStringLiteral("stats_total")].toObject()[QStringLiteral("failed")].toInt(), 3);
    // The fleet's stats per script line, in the script's order, the devices
    // together.
    QStringList lineStats;
    for (const QJsonValue& line : report[QStringLiteral("stats")].toArray())
        lineStats << QStringLiteral("%1 %2 %3 %4")
                         .arg(line[QStringLiteral("line")].toInt())
                         .arg(line[QStringLiteral("url")].toString())
                         .arg(line[QStringLiteral("count")].toInt())
                         .arg(line[QStringLiteral("failed")].toInt());
    EXPECT_EQ(lineStats, (QStringList{QStringLiteral("1 line 1: /httpapi/SendPTZ?action=sendptz&PTZ_MOVE=right,1 4 1"),
                                      QStringLiteral("3 line 3: /httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0 8 2")}));
    EXPECT_EQ(report[QStringLiteral("not_run_devices")].toInt(-1), 0);
    const QJsonArray jsonDevices = report[QStringLiteral("devices")].toArray();
    ASSERT_EQ(jsonDevices.size(), 4);
    const QStringList verdicts{QStringLiteral("pass 0 0"), QStringLiteral("pass 0 0"), QStringLiteral("fail 6 3"),
                               QStringLiteral("fail 3 3")};
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QJsonObject device = jsonDevices[i].toObject();
        EXPECT_EQ(device[QStringLiteral("name")].toString(), names[i]);
        EXPECT_EQ(device[QStringLiteral("row")].toInt(), i + 1);
        EXPECT_EQ(device[QStringLiteral("variables")].toObject().keys(),
                  (QStringList{QStringLiteral("host"), QStringLiteral("name"), QStringLiteral("port")}));
        EXPECT_EQ(device[QStringLiteral("requests")].toArray().size(), 3);
        EXPECT_EQ(QStringLiteral("%1 %2 %3")
                      .arg(device[QStringLiteral("verdict")].toString())
                      .arg(device[QStringLiteral("exit_code")].toInt())
                      .arg(device[QStringLiteral("failed_requests")].toInt()),
                  verdicts[i])
            << names[i].toStdString();
    }

    // The JUnit report: a suite per device, named by it, with its failures.
    QFile junit(strJUnit);
    ASSERT_TRUE(junit.open(QIODevice::ReadOnly));
    const QString strXml = QString::fromUtf8(junit.readAll());
    static const QRegularExpression suite(QStringLiteral("<testsuite name=\"([^\"]*)\" tests=\"(\\d+)\" failures=\"(\\d+)\""));
    QStringList suites;
    for (auto it = suite.globalMatch(strXml); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        suites << match.captured(1) + QLatin1Char(' ') + match.captured(2) + QLatin1Char(' ') + match.captured(3);
    }
    EXPECT_EQ(suites, (QStringList{QStringLiteral("cam-1 2 0"), QStringLiteral("cam 2 2 0"), QStringLiteral("cam-3 2 2"),
                                   QStringLiteral("ghost 2 2")}));
    // Each case names its device, for a view that drops the suite's name.
    static const QRegularExpression testcase(QStringLiteral("<testcase name=\"([^\"]*)\""));
    QStringList cases;
    for (auto it = testcase.globalMatch(strXml); it.hasNext();)
        cases << it.next().captured(1);
    EXPECT_EQ(cases.size(), 8);
    EXPECT_EQ(cases.filter(QRegularExpression(QStringLiteral("^\\[(cam-1|cam 2|cam-3|ghost)\\] line [13]: /httpapi/"))),
              cases);
    EXPECT_EQ(cases.value(6), QStringLiteral("[ghost] line 1: /httpapi/SendPTZ?action=sendptz&amp;PTZ_MOVE=right,1"));
}

// The fleet's figures of one list run whole, and run as two shards whose
// reports are merged, are the same; a device is in exactly one shard.
TEST(CliFleetRun, TwoShardsMergedGiveTheWholeRunsFigures)
{
    devsimtest::Devsim sim;
    ASSERT_TRUE(sim.Start({QStringLiteral("--devices"), QStringLiteral("4"), QStringLiteral("--auth"),
                           QStringLiteral("basic")}));
    QTemporaryDir dir;
    const QString strDevices = dir.filePath(QStringLiteral("devices.csv"));
    {
        QFile file(strDevices);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("name,host,password\n"
                                  "a,127.0.1.1,4719\n"
                                  "b,127.0.1.2,wrong\n"
                                  "c,127.0.1.3,4719\n"
                                  "d,127.0.1.4,4719\n"
                                  "e,127.0.0.1,4719\n")
                       .toUtf8());
    }
    // e has nothing on that port: its requests fail.
    const QString strScript =
        WriteScript(dir, QStringLiteral("While(2)\nhttp://{{host}}:%1/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0\n"
                                        "End\n")
                             .arg(sim.port()));
    auto json = [&dir](const QString& strName) { return dir.filePath(strName); };
    const QStringList common{strScript, QStringLiteral("--devices"), strDevices, QStringLiteral("--fail-on-status"),
                             QStringLiteral("--quiet")};
    struct CStep {
        QStringList args;
        QString strJson;
    };
    const CStep steps[] = {{{}, json(QStringLiteral("whole.json"))},
                           {{QStringLiteral("--shard"), QStringLiteral("1/2")}, json(QStringLiteral("s1.json"))},
                           {{QStringLiteral("--shard"), QStringLiteral("2/2")}, json(QStringLiteral("s2.json"))}};
    std::vector<int> exits;
    for (const CStep& step : steps) {
        CliRun run;
        run.Start(common + step.args + QStringList{QStringLiteral("--json"), step.strJson});
        exits.push_back(run.Finish());
        EXPECT_FALSE(run.m_strOut.contains(QStringLiteral("[a] "))) << run.m_strOut.toStdString();
    }
    EXPECT_EQ(exits, (std::vector<int>{kExitRequestFailed, kExitErrorStatus, kExitRequestFailed}));
    CliRun merge;
    merge.StartCommand(QStringLiteral("merge"), {json(QStringLiteral("merged.json")), json(QStringLiteral("s1.json")),
                                                 json(QStringLiteral("s2.json"))});
    EXPECT_EQ(merge.Finish(), kExitRequestFailed) << merge.m_strErr.toStdString();

    // Outcome counts, each device's verdict and the exit code.
    auto figures = [](const QString& strPath) {
        QFile file(strPath);
        file.open(QIODevice::ReadOnly);
        const QJsonObject report = QJsonDocument::fromJson(file.readAll()).object();
        QStringList lines;
        const QJsonObject total = report[QStringLiteral("stats_total")].toObject();
        for (const char* pszKey : {"count", "ok", "slow", "timeout", "failed", "not_sent"})
            lines << QStringLiteral("%1 %2").arg(QLatin1String(pszKey)).arg(total[QLatin1String(pszKey)].toInt());
        lines << QStringLiteral("exit %1 %2").arg(report[QStringLiteral("exit_code")].toInt())
                     .arg(report[QStringLiteral("verdict")].toString());
        for (const QJsonValue& device : report[QStringLiteral("devices")].toArray())
            lines << device[QStringLiteral("name")].toString() + QLatin1Char(' ') +
                         device[QStringLiteral("verdict")].toString() + QLatin1Char(' ') +
                         QString::number(device[QStringLiteral("exit_code")].toInt());
        return lines;
    };
    const QStringList whole = figures(json(QStringLiteral("whole.json")));
    EXPECT_EQ(whole, (QStringList{QStringLiteral("count 10"), QStringLiteral("ok 8"), QStringLiteral("slow 0"),
                                  QStringLiteral("timeout 0"), QStringLiteral("failed 2"), QStringLiteral("not_sent 0"),
                                  QStringLiteral("exit 3 fail"), QStringLiteral("a pass 0"), QStringLiteral("b fail 6"),
                                  QStringLiteral("c pass 0"), QStringLiteral("d pass 0"), QStringLiteral("e fail 3")}));
    EXPECT_EQ(figures(json(QStringLiteral("merged.json"))), whole);
    // Each device's columns as the list has them (name before host), as the whole run wrote them.
    auto variables = [](const QString& strPath) {
        QFile file(strPath);
        file.open(QIODevice::ReadOnly);
        QStringList lines;
        for (const QByteArray& line : file.readAll().split('\n'))
            if (line.contains("\"variables\""))
                lines << QString::fromUtf8(line.trimmed());
        return lines.join(QLatin1Char('\n')).toStdString();
    };
    const std::string wholeVariables = variables(json(QStringLiteral("whole.json")));
    EXPECT_EQ(std::count(wholeVariables.begin(), wholeVariables.end(), '\n'), 4);
    EXPECT_TRUE(wholeVariables.starts_with("\"variables\": {\"name\": \"a\", \"host\": \"127.0.1.1\"},\n"))
        << wholeVariables;
    EXPECT_EQ(variables(json(QStringLiteral("merged.json"))), wholeVariables);
    // Shard 1 of 2: the rows whose number modulo 2 is 0.
    EXPECT_EQ(figures(json(QStringLiteral("s1.json"))).mid(7).join(QLatin1Char(',')), QStringLiteral("b fail 6,d pass 0"));

    // A shard without a device (more shards than rows) would pass having run
    // nothing: a usage error, as an empty list is.
    CliRun empty;
    empty.Start(common + QStringList{QStringLiteral("--shard"), QStringLiteral("1/6")});
    EXPECT_EQ(empty.Finish(), kExitUsage);
    EXPECT_TRUE(empty.m_strErr.contains(QStringLiteral("shard 1/6 of the device list %1 has no device: the list has 5 devices")
                                            .arg(strDevices)))
        << empty.m_strErr.toStdString();
}

// A fleet that would run for ever, two of its four devices at a time,
// stopped with Ctrl+C: the two that never ran fail the fleet (exit 3) in the
// table, on standard error and in the reports; --progress showed the
// fleet's line while it ran.
TEST(CliFleetRun, DevicesThatNeverRanFailTheFleetAndProgressShowsTheFleet)
{
    devsimtest::Devsim sim;
    ASSERT_TRUE(sim.Start({}));
    QTemporaryDir dir;
    const QString strDevices = dir.filePath(QStringLiteral("devices.csv"));
    {
        QFile file(strDevices);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("name\ncam-1\ncam-2\ncam-3\ncam-4\n");
    }
    const QString strScript = WriteScript(
        dir, QStringLiteral("While(0)\nhttp://127.0.0.1:%1/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0\n"
                            "Sleep(20)\nEnd\n")
                 .arg(sim.port()));
    const QString strJson = dir.filePath(QStringLiteral("fleet.json"));
    const QString strJUnit = dir.filePath(QStringLiteral("fleet.xml"));
    CliRun run;
    run.StartCommand(QStringLiteral("run"),
                     {strScript, QStringLiteral("--devices"), strDevices, QStringLiteral("--jobs"), QStringLiteral("2"),
                      QStringLiteral("--progress"), QStringLiteral("--json"), strJson, QStringLiteral("--junit"),
                      strJUnit},
                     {}, {QStringLiteral("VELKOR_PROGRESS_EVERY_MS=100")});
    ASSERT_TRUE(run.WaitForOutput(QStringLiteral("[cam-2] "), 40)) << run.m_strOut.toStdString();
    QThread::msleep(300);  // a few progress lines
    run.Interrupt();
    ASSERT_EQ(run.Finish(), kExitRequestFailed) << run.m_strErr.toStdString();

    EXPECT_TRUE(run.m_strOut.contains(QStringLiteral("\nAll devices: fail: 2 of 4 pass, 2 not run\n")))
        << run.m_strOut.toStdString();
    EXPECT_TRUE(run.m_strErr.contains(
        QStringLiteral("velkor-cli: 2 of 4 devices never ran (stopped before their turn): cam-3, cam-4\n")))
        << run.m_strErr.toStdString();
    static const QRegularExpression progress(
        QStringLiteral("^velkor-cli: 0:00:\\d\\d \\| devices: 0 done, 2 running, 2 waiting \\| (\\d+) requests: "
                       "\\1 ok, 0 slow, 0 failed \\| \\d+\\.\\d req/s \\| last \\d+ ms$"),
        QRegularExpression::MultilineOption);
    EXPECT_TRUE(progress.match(run.m_strErr).hasMatch()) << run.m_strErr.toStdString();

    QFile json(strJson);
    ASSERT_TRUE(json.open(QIODevice::ReadOnly));
    const QJsonObject report = QJsonDocument::fromJson(json.readAll()).object();
    QStringList verdicts;
    for (const QJsonValue& device : report[QStringLiteral("devices")].toArray())
        verdicts << device[QStringLiteral("verdict")].toString();
    EXPECT_EQ(QStringLiteral("%1 %2 %3 %4")
                  .arg(report[QStringLiteral("verdict")].toString())
                  .arg(report[QStringLiteral("exit_code")].toInt())
                  .arg(report[QStringLiteral("not_run_devices")].toInt())
                  .arg(verdicts.join(QLatin1Char(','))),
              QStringLiteral("fail 3 2 pass,pass,not-run,not-run"));

    QFile junit(strJUnit);
    ASSERT_TRUE(junit.open(QIODevice::ReadOnly));
    const QString strXml = QString::fromUtf8(junit.readAll());
    EXPECT_EQ(strXml.count(QStringLiteral("<failure ")), 2) << strXml.toStdString();
    for (const QString& strName : {QStringLiteral("cam-3"), QStringLiteral("cam-4")})
        EXPECT_TRUE(strXml.contains(QStringLiteral("<testcase name=\"[%1] run\"").arg(strName))) << strXml.toStdString();
    EXPECT_TRUE(strXml.contains(QStringLiteral("type=\"not-run\""))) << strXml.toStdString();
}

// merge takes one whole run only: every shard of one list and one script,
// each once; anything else is refused (exit 8) and nothing is written. A
// shard cut short by SIGTERM fails the merge with its code, and its devices
// that did not run to their end fail in the JUnit report.
TEST(CliFleetRun, MergeRefusesASetThatIsNotOneWholeRun)
{
    devsimtest::Devsim sim;
    ASSERT_TRUE(sim.Start({QStringLiteral("--devices"), QStringLiteral("4")}));
    QTemporaryDir dir;
    auto path = [&dir](const QString& strName) { return dir.filePath(strName); };
    auto write = [&path](const QString& strName, const QString& strText) {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path(strName)).absolutePath()));
        QFile file(path(strName));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(strText.toUtf8());
    };
    const QString strLine =
        QStringLiteral("http://{{host}}:%1/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0\n").arg(sim.port());
    write(QStringLiteral("a/ptz.cmf"), strLine);
    // The same file name, another script.
    write(QStringLiteral("b/ptz.cmf"), strLine + QStringLiteral("Sleep(1)\n"));
    // A Sleep as long as the variable nap says: SIGTERM cuts a long one short.
    write(QStringLiteral("c/ptz.cmf"), strLine + QStringLiteral("Sleep({{nap}})\n"));
    write(QStringLiteral("a/cams.csv"), QStringLiteral("name,host\nw,127.0.1.1\nx,127.0.1.2\ny,127.0.1.3\nz,127.0.1.4\n"));
    // The same names and row count, another list.
    write(QStringLiteral("b/cams.csv"), QStringLiteral("name,host\nw,127.0.1.4\nx,127.0.1.3\ny,127.0.1.2\nz,127.0.1.1\n"));
    auto runShard = [&](const QString& strScript, const QString& strList, const QString& strShard,
                        const QString& strJson) {
        CliRun run;
        run.Start({path(strScript), QStringLiteral("--devices"), path(strList), QStringLiteral("--shard"), strShard,
                   QStringLiteral("--quiet"), QStringLiteral("--json"), path(strJson), QStringLiteral("--variable"),
                   QStringLiteral("nap=1")});
        return run.Finish();
    };
    for (const auto& [strShard, strJson] : {std::pair{QStringLiteral("1/2"), QStringLiteral("s1.json")},
                                            std::pair{QStringLiteral("2/2"), QStringLiteral("s2.json")},
                                            std::pair{QStringLiteral("2/5"), QStringLiteral("f2.json")},
                                            std::pair{QStringLiteral("3/5"), QStringLiteral("f3.json")},
                                            std::pair{QStringLiteral("4/5"), QStringLiteral("f4.json")},
                                            std::pair{QStringLiteral("5/5"), QStringLiteral("f5.json")}})
        ASSERT_EQ(runShard(QStringLiteral("a/ptz.cmf"), QStringLiteral("a/cams.csv"), strShard, strJson), kExitOk);
    ASSERT_EQ(runShard(QStringLiteral("b/ptz.cmf"), QStringLiteral("a/cams.csv"), QStringLiteral("2/2"),
                       QStringLiteral("script-b.json")),
              kExitOk);
    ASSERT_EQ(runShard(QStringLiteral("a/ptz.cmf"), QStringLiteral("b/cams.csv"), QStringLiteral("2/2"),
                       QStringLiteral("list-b.json")),
              kExitOk);
    ASSERT_EQ(runShard(QStringLiteral("c/ptz.cmf"), QStringLiteral("a/cams.csv"), QStringLiteral("1/2"),
                       QStringLiteral("c1.json")),
              kExitOk);
    {
        // Shard 2 of 2 (rows 1 and 3), one device at a time, ended by SIGTERM
        // in the first device's Sleep: the second never starts.
        CliRun run;
        run.Start({path(QStringLiteral("c/ptz.cmf")), QStringLiteral("--devices"), path(QStringLiteral("a/cams.csv")),
                   QStringLiteral("--shard"), QStringLiteral("2/2"), QStringLiteral("--jobs"), QStringLiteral("1"),
                   QStringLiteral("--variable"), QStringLiteral("nap=60000"), QStringLiteral("--json"),
                   path(QStringLiteral("cut.json"))});
        ASSERT_TRUE(run.WaitForOutput(QStringLiteral("Response time"))) << run.m_strOut.toStdString();
        run.Signal(SIGTERM);
        ASSERT_EQ(run.Finish(), kExitTerminated) << run.m_strErr.toStdString();
    }
    {
        // A report of an older velkor-cli: no shard fields.
        QFile file(path(QStringLiteral("s1.json")));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        QJsonObject report = QJsonDocument::fromJson(file.readAll()).object();
        for (const char* pszKey : {"shard", "shards", "device_rows", "script_sha256", "devices_sha256"})
            report.remove(QLatin1String(pszKey));
        QFile old(path(QStringLiteral("old1.json")));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QJsonDocument(report).toJson());
    }

    struct CRow {
        const char* pszCase;
        QStringList inputs;
        int nExit;
        QString strErr;
    };
    const CRow rows[] = {
        {"whole", {QStringLiteral("s2.json"), QStringLiteral("s1.json")}, kExitOk, QString()},
        {"missing shard", {QStringLiteral("s1.json")}, kExitIncompleteSet,
         QStringLiteral("shard 2 of 2 missing: the reports hold 2 of the list's 4 devices; nothing merged\n")},
        {"repeated shard", {QStringLiteral("s1.json"), QStringLiteral("s2.json"), QStringLiteral("s1.json")},
         kExitIncompleteSet, QStringLiteral("are both shard 1 of 2; nothing merged\n")},
        {"another script, same file name", {QStringLiteral("s1.json"), QStringLiteral("script-b.json")},
         kExitIncompleteSet, QStringLiteral("another script (its content differs); nothing merged\n")},
        {"another list", {QStringLiteral("s1.json"), QStringLiteral("list-b.json")}, kExitIncompleteSet,
         QStringLiteral("another device list than ")},
        {"shards of another count", {QStringLiteral("s1.json"), QStringLiteral("f2.json")}, kExitIncompleteSet,
         QStringLiteral("is shard 2 of 5, ")},
        // Rows 1 to 4 over 5 shards: shard 1 holds none, and without its
        // report the set is not whole.
        {"empty shard left out",
         {QStringLiteral("f2.json"), QStringLiteral("f3.json"), QStringLiteral("f4.json"), QStringLiteral("f5.json")},
         kExitIncompleteSet, QStringLiteral("shard 1 of 5 missing: the reports hold 4 of the list's 4 devices")},
        {"older report", {QStringLiteral("old1.json"), QStringLiteral("s2.json")}, kExitIncompleteSet,
         QStringLiteral("does not say which shard of which device list it holds")},
        {"partial shard", {QStringLiteral("c1.json"), QStringLiteral("cut.json")}, kExitTerminated,
         QStringLiteral("cut.json is of a run cut short (exit 143); 2 of 4 devices did not run to their end\n")},
    };
    for (const CRow& row : rows) {
        QFile::remove(path(QStringLiteral("merged.json")));
        QStringList args{path(QStringLiteral("merged.json"))};
        for (const QString& strInput : row.inputs)
            args << path(strInput);
        args << QStringLiteral("--junit") << path(QStringLiteral("merged.xml"));
        CliRun merge;
        merge.StartCommand(QStringLiteral("merge"), args);
        EXPECT_EQ(merge.Finish(), row.nExit) << row.pszCase << ": " << merge.m_strErr.toStdString();
        EXPECT_TRUE(merge.m_strErr.contains(row.strErr)) << row.pszCase << ": " << merge.m_strErr.toStdString();
        EXPECT_EQ(QFile::exists(path(QStringLiteral("merged.json"))), row.nExit != kExitIncompleteSet) << row.pszCase;
    }

    // The partial shard's merge, last above: its two devices fail in JUnit.
    QFile junit(path(QStringLiteral("merged.xml")));
    ASSERT_TRUE(junit.open(QIODevice::ReadOnly));
    const QString strXml = QString::fromUtf8(junit.readAll());
    EXPECT_EQ(strXml.count(QStringLiteral("type=\"partial\"")), 2) << strXml.toStdString();
    EXPECT_TRUE(strXml.contains(QStringLiteral("the run was cut short before this device started"))) << strXml.toStdString();
    QFile merged(path(QStringLiteral("merged.json")));
    ASSERT_TRUE(merged.open(QIODevice::ReadOnly));
    const QJsonObject report = QJsonDocument::fromJson(merged.readAll()).object();
    EXPECT_EQ(QStringLiteral("%1 %2 %3")
                  .arg(report[QStringLiteral("verdict")].toString())
                  .arg(report[QStringLiteral("exit_code")].toInt())
                  .arg(report[QStringLiteral("partial")].toBool()),
              QStringLiteral("fail 143 1"));
}

// --ramp-up spreads the devices' starts over its time, in the list's order:
// of 4 devices over 1 s the last starts a second after the first (without it
// all four start within a few ms); --jobs goes up to 10000. A bad duration,
// --ramp-up without --devices or --jobs above 10000 is a usage error.
TEST(CliFleetRun, RampUpSpreadsTheStartsAndJobsGoTo10000)
{
    devsimtest::Devsim sim;
    ASSERT_TRUE(sim.Start({}));
    QTemporaryDir dir;
    const QString strDevices = dir.filePath(QStringLiteral("devices.csv"));
    {
        QFile file(strDevices);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("name\ncam-1\ncam-2\ncam-3\ncam-4\n");
    }
    const QString strScript = WriteScript(
        dir, QStringLiteral("http://127.0.0.1:%1/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0\n").arg(sim.port()));
    const QString strJson = dir.filePath(QStringLiteral("fleet.json"));
    CliRun run;
    run.Start({strScript, QStringLiteral("--devices"), strDevices, QStringLiteral("--ramp-up"), QStringLiteral("1s"),
               QStringLiteral("--jobs"), QStringLiteral("10000"), QStringLiteral("--quiet"), QStringLiteral("--json"),
               strJson});
    ASSERT_EQ(run.Finish(), kExitOk) << run.m_strErr.toStdString();
    QFile json(strJson);
    ASSERT_TRUE(json.open(QIODevice::ReadOnly));
    const QJsonArray devices = QJsonDocument::fromJson(json.readAll()).object()[QStringLiteral("devices")].toArray();
    ASSERT_EQ(devices.size(), 4);
    std::vector<QDateTime> starts;
    for (const QJsonValue& device : devices) {
        starts.push_back(QDateTime::fromString(device[QStringLiteral("started_at")].toString(), Qt::ISODateWithMs));
        ASSERT_TRUE(starts.back().isValid()) << device[QStringLiteral("started_at")].toString().toStdString();
        EXPECT_EQ(device[QStringLiteral("requests")].toArray().size(), 1);
    }
    for (std::size_t i = 1; i < starts.size(); ++i)
        EXPECT_LE(starts[i - 1], starts[i]) << i;
    // Device 3 is due 1000 ms after device 0, which starts at once.
    EXPECT_GE(starts.front().msecsTo(starts.back()), 900);

    const struct {
        QStringList args;
        QString strErr;
    } bads[] = {
        {{QStringLiteral("--devices"), strDevices, QStringLiteral("--ramp-up"), QStringLiteral("1x")},
         QStringLiteral("velkor-cli: --ramp-up takes whole seconds")},
        {{QStringLiteral("--ramp-up"), QStringLiteral("1s")}, QStringLiteral("velkor-cli: --ramp-up goes with --devices")},
        {{QStringLiteral("--devices"), strDevices, QStringLiteral("--jobs"), QStringLiteral("10001")},
         QStringLiteral("velkor-cli: --jobs takes a number of devices, 1 to 10000 ")},
    };
    for (const auto& bad : bads) {
        CliRun refused;
        refused.Start(QStringList{strScript} + bad.args);
        EXPECT_EQ(refused.Finish(), kExitUsage) << bad.args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(refused.m_strErr.startsWith(bad.strErr)) << refused.m_strErr.toStdString();
    }
}

}  // namespace
