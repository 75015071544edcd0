#include "../LogText.h"
#include "../tools/DevsimProcess.h"
#include "CliProcess.h"
#include "cli/CliExitCodes.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <csignal>
#include <cstdlib>

namespace {

QString GetPosition(int nPort)
{
    return QStringLiteral("http://127.0.0.1:%1/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0").arg(nPort);
}

// --max-passes and --max-duration end the While(0) block as a Stop does: the
// [LIMIT] line, then the command after End, the totals and the Stop's repeat
// line, and the run's own exit code.
TEST(CliLongRun, RunLimitsEndTheWhileLoopAsStopDoes)
{
    devsimtest::Devsim device;
    ASSERT_TRUE(device.Start({}));
    QTemporaryDir dir;
    const QString strScript = WriteScript(
        dir, QStringLiteral("While(0)\n%1\nEnd\n%1\n").arg(GetPosition(device.port())));
    const struct {
        QStringList args;
        int nExit;
        QString strLimitLine;  // empty: refused before the run
        QString strRepeatLine;  // empty: any count
    } cases[] = {
        {{QStringLiteral("--max-passes"), QStringLiteral("3")}, kExitOk, QStringLiteral("[LIMIT] maximum passes 3 reached"),
         QStringLiteral("== While Repeat : 3 (Stopped by user) ")},
        {{QStringLiteral("--max-duration"), QStringLiteral("1s")}, kExitOk,
         QStringLiteral("[LIMIT] maximum duration 1s reached"), {}},
        {{QStringLiteral("--max-duration"), QStringLiteral("10ms")}, kExitUsage, {}, {}},
        {{QStringLiteral("--max-passes"), QStringLiteral("0")}, kExitUsage, {}, {}},
    };
    for (const auto& c : cases) {
        CliRun run;
        run.Start(QStringList{strScript} + c.args);
        EXPECT_EQ(run.Finish(), c.nExit) << c.args.join(QLatin1Char(' ')).toStdString();
        if (c.strLimitLine.isEmpty()) {
            EXPECT_TRUE(run.m_strErr.contains(c.args[0])) << run.m_strErr.toStdString();
            continue;
        }
        const QStringList lines = WithoutStamps(run.m_strOut).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        const qsizetype nLimit = lines.indexOf(c.strLimitLine);
        ASSERT_GE(nLimit, 0) << run.m_strOut.toStdString();
        EXPECT_EQ(lines.count(c.strLimitLine), 1);
        // After the limit: the command after End, then the totals.
        ASSERT_GE(lines.size(), nLimit + 6);
        EXPECT_EQ(lines[nLimit + 1], QStringLiteral("[SEND] ") + GetPosition(device.port()));
        EXPECT_TRUE(lines[nLimit + 4].startsWith(QStringLiteral("== Total running time(Http api only)")));
        EXPECT_TRUE(lines.last().startsWith(QStringLiteral("== While Repeat : ")));
        EXPECT_TRUE(lines.last().contains(QStringLiteral("(Stopped by user)")));
        if (!c.strRepeatLine.isEmpty()) {
            EXPECT_TRUE(lines.last().startsWith(c.strRepeatLine)) << lines.last().toStdString();
        }
    }
}

// A soak with reboots killed with SIGKILL: the JSON Lines file holds every
// request whose lines were printed, in order and with the logged figures, and
// the CheckAlive waits that ended before the kill.
TEST(CliLongRun, JsonLinesKeepEveryRequestLoggedBeforeASigkill)
{
    devsimtest::Devsim device;
    ASSERT_TRUE(device.Start({QStringLiteral("--reboot-seconds"), QStringLiteral("1")}));
    QTemporaryDir dir;
    const QString strReboot = QStringLiteral("http://127.0.0.1:%1/httpapi/SendReboot?action=reboot").arg(device.port());
    const QString strScript =
        WriteScript(dir, QStringLiteral("While(0)\n%1\n%1\n%2\nCheckAlive(127.0.0.1:%3)\nEnd\n")
                             .arg(GetPosition(device.port()), strReboot)
                             .arg(device.port()));
    const QString strLines = dir.filePath(QStringLiteral("run.jsonl"));
    CliRun run;
    run.Start({strScript, QStringLiteral("--jsonl"), strLines});
    ASSERT_TRUE(run.WaitForOutput(QStringLiteral("!!! Re-Connected"), 1, 20000)) << run.m_strOut.toStdString();
    ASSERT_TRUE(run.WaitForOutput(QStringLiteral("Response data : pan="), 5, 20000));
    ::kill(pid_t(run.m_process.processId()), SIGKILL);
    run.Finish();

    // The requests as printed: the send line's URL and the response time.
    std::vector<std::pair<QString, qint64>> logged;
    QString strUrl;
    for (const QString& strLine : WithoutStamps(run.m_strOut).split(QLatin1Char('\n'))) {
        if (strLine.startsWith(QStringLiteral("[SEND] ")))
            strUrl = strLine.mid(7);
        else if (strLine.startsWith(QStringLiteral("Response time : ")))
            logged.emplace_back(strUrl, strLine.section(QLatin1Char(' '), 3, 3).toLongLong());
    }
    ASSERT_GE(logged.size(), 6u);

    QFile file(strLines);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    std::vector<QJsonObject> requests;
    std::vector<QJsonObject> waits;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        QJsonParseError error;
        const QJsonObject record = QJsonDocument::fromJson(line, &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        (record[QStringLiteral("kind")].toString() == QStringLiteral("request") ? requests : waits).push_back(record);
    }
    ASSERT_GE(requests.size(), logged.size());
    EXPECT_LE(requests.size(), logged.size() + 1);  // one may have ended between its record and its lines
    for (std::size_t i = 0; i < logged.size(); ++i) {
        EXPECT_EQ(requests[i][QStringLiteral("index")].toInt(), int(i + 1));
        EXPECT_EQ(requests[i][QStringLiteral("url")].toString(), logged[i].first) << i;
        EXPECT_EQ(requests[i][QStringLiteral("time_ms")].toInteger(), logged[i].second) << i;
        // Microseconds from the same two clock readings: less than 1 ms apart.
        EXPECT_TRUE(requests[i][QStringLiteral("time_us")].isDouble()) << i;
        EXPECT_LT(std::abs(requests[i][QStringLiteral("time_us")].toInteger(-1) - 1000 * logged[i].second), 1000) << i;
    }
    ASSERT_GE(waits.size(), 1u);
    const QJsonObject& wait = waits.front();
    EXPECT_EQ(wait[QStringLiteral("kind")].toString(), QStringLiteral("checkalive"));
    EXPECT_EQ(wait[QStringLiteral("line")].toInt(), 5);
    EXPECT_EQ(wait[QStringLiteral("port")].toInt(), device.port());
    EXPECT_FALSE(wait[QStringLiteral("stopped")].toBool());
    EXPECT_GE(wait[QStringLiteral("attempts")].toInt(), 1);
    EXPECT_GE(wait[QStringLiteral("down_ms")].toInteger(), 0);
    EXPECT_TRUE(wait[QStringLiteral("down_us")].isDouble());
    EXPECT_LT(std::abs(wait[QStringLiteral("down_us")].toInteger(-1) - 1000 * wait[QStringLiteral("down_ms")].toInteger()), 1000);
}

// --quiet: standard output holds the summary line alone, while the
// --log-dir file still gets every line of the run; --progress on a standard
// error that is not a terminal writes nothing in a run shorter than 10 s.
TEST(CliLongRun, QuietPrintsTheSummaryAloneAndTheLogFileGetsEveryLine)
{
    devsimtest::Devsim device;
    ASSERT_TRUE(device.Start({}));
    QTemporaryDir dir;
    const QString strScript = WriteScript(
        dir, QStringLiteral("While(3)\n%1\nEnd\nhttp://127.0.0.1:1/httpapi/none\n").arg(GetPosition(device.port())));
    CliRun run;
    run.Start({strScript, QStringLiteral("--quiet"), QStringLiteral("--progress"), QStringLiteral("--log-dir"),
               dir.path()});
    ASSERT_EQ(run.Finish(), kExitRequestFailed) << run.m_strErr.toStdString();
    const QStringList out = run.m_strOut.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(out.size(), 1) << run.m_strOut.toStdString();
    EXPECT_TRUE(out[0].startsWith(QStringLiteral(
        "Summary: 4 requests (ok 3, slow 0, timeout 0, failed 1, not sent 0), 0 CheckAlive waits, ")))
        << out[0].toStdString();
    EXPECT_TRUE(out[0].endsWith(QStringLiteral(" s, verdict fail"))) << out[0].toStdString();
    EXPECT_FALSE(run.m_strErr.contains(QStringLiteral("requests:"))) << "no progress line before 10 s";

    const QStringList logs = QDir(dir.path()).entryList({QStringLiteral("*_Velkor_Log.txt")}, QDir::Files);
    ASSERT_EQ(logs.size(), 1);
    QFile log(dir.filePath(logs[0]));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QString strLog = QString::fromLocal8Bit(log.readAll());
    EXPECT_EQ(strLog.count(QStringLiteral("[SEND] ")), 4);
    EXPECT_TRUE(strLog.contains(QStringLiteral("== While Repeat : 3 ")));
}

}  // namespace
