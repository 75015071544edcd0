#include "../LogText.h"
#include "../tools/DevsimProcess.h"
#include "CliProcess.h"
#include "cli/CliExitCodes.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>

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

    CliRun run;
    run.Start({strScript, QStringLiteral("--devices"), strDevices, QStringLiteral("--jobs"), QStringLiteral("2"),
               QStringLiteral("--variable"), QStringLiteral("api=/httpapi/SendPTZ?action=sendptz&"),
               QStringLiteral("--log-dir"), strLogs, QStringLiteral("--fail-on-status")});
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
                                  QStringLiteral("cam-3 3 3 0 0 0 0 T T T fail (6)"),
                                  QStringLiteral("ghost 3 0 0 0 3 0 - - - fail (3)")}));
    EXPECT_TRUE(run.m_strErr.contains(QStringLiteral("velkor-cli: [ghost] the run failed: 3 of 3 requests failed")));
    EXPECT_TRUE(run.m_strErr.contains(QStringLiteral("velkor-cli: [cam-3] the run failed: 3 of 3 requests failed")));
}

}  // namespace
