#include "../LogText.h"
#include "../tools/DevsimProcess.h"
#include "CliProcess.h"
#include "cli/CliExitCodes.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

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

}  // namespace
