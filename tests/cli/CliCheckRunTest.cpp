#include "../tools/DevsimProcess.h"
#include "CliProcess.h"
#include "cli/CliExitCodes.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

namespace {

QString Example(const char* szName, int nPort)
{
    QFile example(QStringLiteral(VELKOR_SOURCE_DIR "/examples/") + QLatin1String(szName));
    if (!example.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(example.readAll())
        .replace(QStringLiteral("127.0.0.1:8080"), QStringLiteral("127.0.0.1:%1").arg(nPort));
}

QString ReadAll(const QString& strPath)
{
    QFile file(strPath);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The move is checked by reading the position back: it passes on a right
// device, and on one that misses by 12 steps the exit code, the JSON
// reason, the JUnit failure and the [CHECK] line all tell the same.
TEST(CliCheckRun, AMoveCheckedByReadingThePositionBack)
{
    QTemporaryDir dir;
    {
        devsimtest::Devsim device;
        ASSERT_TRUE(device.Start({}));
        CliRun run;
        run.Start({WriteScript(dir, Example("ptz-check.cmf", device.port()))});
        ASSERT_EQ(run.Finish(), kExitOk) << run.m_strOut.toStdString() << run.m_strErr.toStdString();
        EXPECT_FALSE(run.m_strOut.contains(QStringLiteral("[CHECK]")));
        EXPECT_TRUE(run.m_strOut.contains(QStringLiteral("PTZ_MOVE=left,30"))) << "the captured pan, sent";
    }
    devsimtest::Devsim device;
    ASSERT_TRUE(device.Start({QStringLiteral("--pan-error"), QStringLiteral("12")}));
    const QString strJson = dir.filePath(QStringLiteral("run.json"));
    const QString strJUnit = dir.filePath(QStringLiteral("run.xml"));
    CliRun run;
    run.Start({WriteScript(dir, Example("ptz-check.cmf", device.port())), QStringLiteral("--json"), strJson,
               QStringLiteral("--junit"), strJUnit});
    EXPECT_EQ(run.Finish(), kExitCheckFailed);
    const QString strReason = QStringLiteral("expected field pan == 30 ± 1, got 42");
    EXPECT_TRUE(run.m_strOut.contains(QStringLiteral("[CHECK] 127.0.0.1:%1 (line 9) - ").arg(device.port()) + strReason))
        << run.m_strOut.toStdString();
    EXPECT_TRUE(run.m_strErr.contains(QStringLiteral("(check: ") + strReason + QLatin1Char(')')))
        << run.m_strErr.toStdString();

    const QJsonObject report = QJsonDocument::fromJson(ReadAll(strJson).toUtf8()).object();
    EXPECT_EQ(report.value(QStringLiteral("exit_code")).toInt(), kExitCheckFailed);
    const QJsonArray requests = report.value(QStringLiteral("requests")).toArray();
    ASSERT_GE(requests.size(), 3);
    EXPECT_EQ(requests[2].toObject().value(QStringLiteral("verdict")).toString(), QStringLiteral("fail"));
    EXPECT_EQ(requests[2].toObject().value(QStringLiteral("reason")).toString(), strReason);

    const QString strXml = ReadAll(strJUnit);
    EXPECT_TRUE(strXml.contains(QStringLiteral("type=\"check\">")));
    EXPECT_TRUE(strXml.contains(strReason)) << strXml.toStdString();

    // Read back by merge, the failing check stays a failing check.
    const QString strMergedXml = dir.filePath(QStringLiteral("merged.xml"));
    CliRun merged;
    merged.StartCommand(QStringLiteral("merge"), {dir.filePath(QStringLiteral("merged.json")), strJson,
                                                  QStringLiteral("--junit"), strMergedXml});
    EXPECT_EQ(merged.Finish(), kExitCheckFailed) << merged.m_strErr.toStdString();
    EXPECT_TRUE(merged.m_strErr.contains(QStringLiteral("(1 with a failing check)"))) << merged.m_strErr.toStdString();
    EXPECT_TRUE(ReadAll(strMergedXml).contains(QStringLiteral("type=\"check\">")));
}

// Every request passes, and the run fails all the same on a requirement;
// a malformed --require is a usage error before the run.
TEST(CliCheckRun, ARequirementFailsARunWhoseRequestsPass)
{
    devsimtest::Devsim device;
    ASSERT_TRUE(device.Start({}));
    QTemporaryDir dir;
    const QString strScript =
        WriteScript(dir, QStringLiteral("http://127.0.0.1:%1/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0\n"
                                        "  Expect status 200\n")
                             .arg(device.port()));
    CliRun run;
    run.Start({strScript, QStringLiteral("--require"), QStringLiteral("count >= 2"), QStringLiteral("--require"),
               QStringLiteral("p99 < 60s")});
    EXPECT_EQ(run.Finish(), kExitCheckFailed);
    EXPECT_TRUE(run.m_strErr.contains(
        QStringLiteral("the run failed: 1 of the run's requirements failed: required count >= 2, got 1 requests")))
        << run.m_strErr.toStdString();

    CliRun bad;
    bad.Start({strScript, QStringLiteral("--require"), QStringLiteral("p98 < 1")});
    EXPECT_EQ(bad.Finish(), kExitUsage);

    CliRun badLine;
    badLine.Start({WriteScript(dir, QStringLiteral("http://127.0.0.1:%1/httpapi/x\n  Expect colour red\n")
                                        .arg(device.port()))});
    EXPECT_EQ(badLine.Finish(), kExitScriptError);
    EXPECT_TRUE(badLine.m_strOut.contains(QStringLiteral("<Syntax error> Expect on line 2: unknown check 'colour'")));
}

}  // namespace
