#include "../tools/DevsimProcess.h"
#include "CliProcess.h"
#include "cli/CliExitCodes.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <sys/resource.h>

namespace {

constexpr quint32 kFirstDevice = 0x7F000101;  // 127.0.1.1, velkor-devsim --devices' first address

QString DeviceAddress(int nIndex) { return QHostAddress(kFirstDevice + quint32(nIndex)).toString(); }

// A list of nDevices devices named cam-1, cam-2, ... on velkor-devsim's
// addresses, each with steps = its number modulo 90, plus 1.
QString WriteDeviceList(const QTemporaryDir& dir, int nDevices)
{
    const QString strPath = dir.filePath(QStringLiteral("devices.csv"));
    QFile file(strPath);
    file.open(QIODevice::WriteOnly);
    file.write("name,host,steps\n");
    for (int i = 0; i < nDevices; ++i)
        file.write(QStringLiteral("cam-%1,%2,%3\n").arg(i + 1).arg(DeviceAddress(i)).arg(i % 90 + 1).toUtf8());
    return strPath;
}

QJsonObject ReadReport(const QString& strPath)
{
    QFile file(strPath);
    file.open(QIODevice::ReadOnly);
    return QJsonDocument::fromJson(file.readAll()).object();
}

// Raises this process's open-files limit to its hard limit, as velkor-cli
// does for itself (the processes a test starts inherit it); false when even
// the hard limit is below nNeeded.
bool RaiseOpenFiles(rlim_t nNeeded, rlim_t* pnHard)
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return false;
    *pnHard = limit.rlim_max;
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < nNeeded)
        return false;
    limit.rlim_cur = limit.rlim_max;
    return setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

// 2,000 devices at once, one request each, against one velkor-devsim that is
// all of them: every device gets its own answer, and the device it asked
// moved by its own steps, exactly once.
TEST(CliFleetScale, TwoThousandDevicesEachGetTheirOwnAnswer)
{
    constexpr int kDevices = 2000;
    // velkor-devsim: a listening socket and a connection per device;
    // velkor-cli: a connection per device; each with room to spare.
    constexpr rlim_t kFilesNeeded = 2 * kDevices + 256;
    rlim_t nHard = 0;
    if (!RaiseOpenFiles(kFilesNeeded, &nHard))
        GTEST_SKIP() << "the open-files limit (ulimit -Hn) is " << nHard << "; " << kDevices << " devices need "
                     << kFilesNeeded;

    devsimtest::Devsim sim;
    ASSERT_TRUE(sim.Start({QStringLiteral("--devices"), QString::number(kDevices), QStringLiteral("--threads"),
                           QStringLiteral("2")}));
    QTemporaryDir dir;
    const QString strDevices = WriteDeviceList(dir, kDevices);
    const QString strScript = WriteScript(
        dir, QStringLiteral("http://{{host}}:%1/httpapi/SendPTZ?action=sendptz&PTZ_MOVE=right,{{steps}}&PTZ_GETPOSITION=0\n"
                            "  Expect field pan == {{steps}}\n")
                 .arg(sim.port()));
    const QString strJson = dir.filePath(QStringLiteral("fleet.json"));
    CliRun run;
    // 2,000 devices starting together on a loaded machine take their time;
    // slow answers are not what this is about.
    run.Start({strScript, QStringLiteral("--devices"), strDevices, QStringLiteral("--jobs"), QString::number(kDevices),
               QStringLiteral("--threshold"), QStringLiteral("60000"), QStringLiteral("--quiet"), QStringLiteral("--json"),
               strJson});
    ASSERT_EQ(run.Finish(120000), kExitOk) << run.m_strErr.toStdString();

    const QJsonObject report = ReadReport(strJson);
    const QJsonObject total = report[QStringLiteral("stats_total")].toObject();
    EXPECT_EQ(QStringLiteral("%1 %2 %3 %4 %5")
                  .arg(report[QStringLiteral("verdict")].toString())
                  .arg(total[QStringLiteral("count")].toInt())
                  .arg(total[QStringLiteral("ok")].toInt())
                  .arg(report[QStringLiteral("not_run_devices")].toInt(-1))
                  .arg(report[QStringLiteral("partial")].toBool()),
              QStringLiteral("pass 2000 2000 0 0"));
    const QJsonArray devices = report[QStringLiteral("devices")].toArray();
    ASSERT_EQ(devices.size(), kDevices);
    int nWrong = 0;
    for (int i = 0; i < kDevices && nWrong < 5; ++i) {
        const QJsonObject device = devices[i].toObject();
        const QJsonArray requests = device[QStringLiteral("requests")].toArray();
        const QJsonObject request = requests.first().toObject();
        const QString strSeen = QStringLiteral("%1 %2 %3 %4 %5 %6")
                                    .arg(device[QStringLiteral("name")].toString())
                                    .arg(device[QStringLiteral("verdict")].toString())
                                    .arg(requests.size())
                                    .arg(request[QStringLiteral("host")].toString())
                                    .arg(request[QStringLiteral("status")].toInt())
                                    .arg(request[QStringLiteral("outcome")].toString());
        const QString strWanted = QStringLiteral("cam-%1 pass 1 %2 200 ok").arg(i + 1).arg(DeviceAddress(i));
        if (strSeen != strWanted) {
            ++nWrong;
            ADD_FAILURE() << strSeen.toStdString() << " instead of " << strWanted.toStdString();
        }
    }

    // Asked afresh, each device is where its one move took it.
    for (int i = 0; i < kDevices && nWrong < 5; ++i) {
        sim.UseAddress(DeviceAddress(i));
        const devsimtest::HttpReply reply = sim.Get("/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0");
        const QByteArray wanted = "pan=" + QByteArray::number(i % 90 + 1) + " tilt=0 zoom=1\r\n\r\n";
        if (reply.body != wanted) {
            ++nWrong;
            ADD_FAILURE() << DeviceAddress(i).toStdString() << ": " << reply.body.toStdString();
        }
    }
}

// A fleet in a Sleep, stopped with Ctrl+C: each device takes the stop at the
// End after its Sleep and ends in order; none is left out or cut short.
TEST(CliFleetScale, FleetStoppedDuringSleepEndsInOrder)
{
    constexpr int kDevices = 200;
    devsimtest::Devsim sim;
    ASSERT_TRUE(sim.Start({QStringLiteral("--devices"), QString::number(kDevices)}));
    QTemporaryDir dir;
    const QString strDevices = WriteDeviceList(dir, kDevices);
    const QString strScript = WriteScript(
        dir, QStringLiteral("While(0)\nhttp://{{host}}:%1/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0\nSleep(2000)\nEnd\n")
                 .arg(sim.port()));
    const QString strJson = dir.filePath(QStringLiteral("fleet.json"));
    CliRun run;
    run.Start({strScript, QStringLiteral("--devices"), strDevices, QStringLiteral("--jobs"), QString::number(kDevices),
               QStringLiteral("--json"), strJson});
    // Each device's first request answered: all are in their first Sleep.
    ASSERT_TRUE(run.WaitForOutput(QStringLiteral("Response time"), kDevices, 60000)) << run.m_strOut.toStdString();
    run.Interrupt();
    ASSERT_EQ(run.Finish(), kExitOk) << run.m_strErr.toStdString();

    const QJsonObject report = ReadReport(strJson);
    EXPECT_EQ(QStringLiteral("%1 %2 %3")
                  .arg(report[QStringLiteral("verdict")].toString())
                  .arg(report[QStringLiteral("not_run_devices")].toInt(-1))
                  .arg(report[QStringLiteral("partial")].toBool()),
              QStringLiteral("pass 0 0"));
    const QJsonArray devices = report[QStringLiteral("devices")].toArray();
    ASSERT_EQ(devices.size(), kDevices);
    for (const QJsonValue& value : devices) {
        const QJsonObject device = value.toObject();
        const QJsonObject totals = device[QStringLiteral("totals")].toObject();
        const int nRequests = int(device[QStringLiteral("requests")].toArray().size());
        // The pass the stop came in is not counted as a repeat.
        EXPECT_EQ(QStringLiteral("%1 %2 %3 %4")
                      .arg(device[QStringLiteral("verdict")].toString())
                      .arg(device[QStringLiteral("partial")].toBool())
                      .arg(totals[QStringLiteral("stopped")].toBool())
                      .arg(totals[QStringLiteral("while_repeat")].toInt(-1) + 1),
                  QStringLiteral("pass 0 1 %1").arg(nRequests))
            << device[QStringLiteral("name")].toString().toStdString();
        EXPECT_GE(nRequests, 1);
    }
}

// A fleet waiting for devices that went away (a reboot that lasts an hour),
// stopped with Ctrl+C: every CheckAlive wait ends as stopped, its downtime
// check fails (exit 7), and no device is left out or cut short.
TEST(CliFleetScale, FleetStoppedDuringCheckAliveEndsEveryWait)
{
    constexpr int kDevices = 200;
    devsimtest::Devsim sim;
    ASSERT_TRUE(sim.Start({QStringLiteral("--devices"), QString::number(kDevices), QStringLiteral("--reboot-seconds"),
                           QStringLiteral("3600")}));
    QTemporaryDir dir;
    const QString strDevices = WriteDeviceList(dir, kDevices);
    const QString strScript = WriteScript(dir, QStringLiteral("http://{{host}}:%1/httpapi/SendReboot?action=reboot\n"
                                                              "CheckAlive({{host}}:%1)\n"
                                                              "  Expect downtime < 60s\n")
                                                   .arg(sim.port()));
    const QString strJson = dir.filePath(QStringLiteral("fleet.json"));
    CliRun run;
    run.Start({strScript, QStringLiteral("--devices"), strDevices, QStringLiteral("--jobs"), QString::number(kDevices),
               QStringLiteral("--json"), strJson});
    // Every device has tried once and found its device away.
    for (int i = 0; i < kDevices; ++i)
        ASSERT_TRUE(run.WaitForOutput(QStringLiteral("Check alive : %1 - server unreachable").arg(DeviceAddress(i)), 1, 60000))
            << DeviceAddress(i).toStdString();
    run.Interrupt();
    ASSERT_EQ(run.Finish(), kExitCheckFailed) << run.m_strErr.toStdString();
    EXPECT_EQ(run.m_strOut.count(QStringLiteral(" - stopped by user\n")), kDevices);

    const QJsonObject report = ReadReport(strJson);
    EXPECT_EQ(QStringLiteral("%1 %2 %3")
                  .arg(report[QStringLiteral("verdict")].toString())
                  .arg(report[QStringLiteral("not_run_devices")].toInt(-1))
                  .arg(report[QStringLiteral("partial")].toBool()),
              QStringLiteral("fail 0 0"));
    const QJsonArray devices = report[QStringLiteral("devices")].toArray();
    ASSERT_EQ(devices.size(), kDevices);
    for (const QJsonValue& value : devices) {
        const QJsonObject device = value.toObject();
        const QJsonArray waits = device[QStringLiteral("checkalive")].toArray();
        const QJsonObject wait = waits.first().toObject();
        EXPECT_EQ(QStringLiteral("%1 %2 %3 %4 %5")
                      .arg(device[QStringLiteral("verdict")].toString())
                      .arg(device[QStringLiteral("exit_code")].toInt())
                      .arg(device[QStringLiteral("partial")].toBool())
                      .arg(waits.size())
                      .arg(wait[QStringLiteral("stopped")].toBool()),
                  QStringLiteral("fail 7 0 1 1"))
            << device[QStringLiteral("name")].toString().toStdString();
        EXPECT_GE(wait[QStringLiteral("attempts")].toInt(), 1);
    }
}

}  // namespace
