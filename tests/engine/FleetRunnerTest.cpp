#include "CTestResponder.h"
#include "engine/CFleetRunner.h"

#include <gtest/gtest.h>

#include <QMap>
#include <QRegularExpression>

#include <chrono>
#include <mutex>
#include <thread>

namespace {

SDevice Device(const QString& strName, int nPort)
{
    SDevice device;
    device.strName = strName;
    device.variables.insert(QStringLiteral("name"), strName);
    device.variables.insert(QStringLiteral("port"), QString::number(nPort));
    return device;
}

// The runner as its owner drives it, polled until no device runs or waits;
// the lines it logged per device and the most devices seen running at once.
struct SFleetRun {
    std::mutex mutex;
    QMap<QString, QStringList> lines;  // guarded by mutex
    std::size_t nMostRunning = 0;

    bool Run(const std::vector<SDevice>& devices, const CFleetRunner::SStart& start, CFleetRunner** ppRunner)
    {
        static const QRegularExpression prefix(QStringLiteral("^\\[([^\\]]+)\\] (\\[\\d\\d:.*)$"),
                                               QRegularExpression::DotMatchesEverythingOption);
        auto pRunner = std::make_unique<CFleetRunner>(
            [this](const QString& strLine) {
                const QRegularExpressionMatch match = prefix.match(strLine);
                std::lock_guard lock(mutex);
                lines[match.hasMatch() ? match.captured(1) : QStringLiteral("?")] << match.captured(2).trimmed();
            },
            [](std::size_t) {});
        const bool bStarted = pRunner->Start(devices, start);
        for (int i = 0; i < 1000 && pRunner->Poll(); ++i) {
            std::size_t nRunning = 0;
            for (std::size_t n = 0; n < pRunner->Count(); ++n)
                nRunning += pRunner->State(n) == CFleetRunner::EState::Running ? 1 : 0;
            nMostRunning = std::max(nMostRunning, nRunning);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        *ppRunner = pRunner.release();
        return bStarted;
    }
};

}  // namespace

// Three devices, two at a time, each on its own port through its row's
// variables: every device ends done with its own figures, and its lines
// carry its name; a device without a value for a placeholder starts none.
TEST(FleetRunner, RunsEveryDeviceAtMostJobsAtOnceWithItsOwnLinesAndFigures)
{
    CTestResponder fast("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", 5);
    CTestResponder slow("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", 60);
    CTestResponder missing("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
    CFleetRunner::SStart start;
    start.lines = {QStringLiteral("While(2)"), QStringLiteral("http://127.0.0.1:{{port}}/httpapi/{{name}}"),
                   QStringLiteral("End")};
    start.nJobs = 2;
    const std::vector<SDevice> devices{Device(QStringLiteral("cam-1"), fast.Port()),
                                       Device(QStringLiteral("cam-2"), slow.Port()),
                                       Device(QStringLiteral("cam-3"), missing.Port())};
    SFleetRun run;
    CFleetRunner* pRunner = nullptr;
    ASSERT_TRUE(run.Run(devices, start, &pRunner));
    std::unique_ptr<CFleetRunner> owner(pRunner);
    EXPECT_EQ(run.nMostRunning, 2u);
    EXPECT_FALSE(pRunner->IsActive());
    struct SExpected {
        const char* pName;
        std::uint64_t nOk;
        int nLastStatus;
        bool bPass;
    };
    const SExpected expected[] = {{"cam-1", 2, 200, true}, {"cam-2", 2, 200, true}, {"cam-3", 2, 404, true}};
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const QString strName = QString::fromLatin1(expected[i].pName);
        EXPECT_EQ(pRunner->State(i), CFleetRunner::EState::Done) << expected[i].pName;
        EXPECT_EQ(pRunner->Total(i).nCount, 2u) << expected[i].pName;
        EXPECT_EQ(pRunner->Total(i).nOk, expected[i].nOk) << expected[i].pName;
        EXPECT_EQ(pRunner->Record(i).LastStatus(), expected[i].nLastStatus) << expected[i].pName;
        EXPECT_EQ(pRunner->Verdict(i).bPass, expected[i].bPass) << expected[i].pName;
        const QStringList lines = run.lines.value(strName);
        EXPECT_EQ(lines.filter(QStringLiteral("/httpapi/") + strName).size(), 2) << lines.join('\n').toStdString();
    }
    EXPECT_FALSE(run.lines.contains(QStringLiteral("?")));
    EXPECT_EQ(fast.RequestCount() + slow.RequestCount() + missing.RequestCount(), 6);

    // A row without "port": its syntax error lines, and no device starts.
    std::vector<SDevice> broken = devices;
    broken[1].variables.remove(QStringLiteral("port"));
    SFleetRun failed;
    CFleetRunner* pFailed = nullptr;
    EXPECT_FALSE(failed.Run(broken, start, &pFailed));
    std::unique_ptr<CFleetRunner> failedOwner(pFailed);
    EXPECT_EQ(pFailed->State(0), CFleetRunner::EState::NotRun);
    EXPECT_EQ(pFailed->State(1), CFleetRunner::EState::ScriptError);
    EXPECT_EQ(failed.lines.value(QStringLiteral("cam-1")), QStringList());
    EXPECT_TRUE(failed.lines.value(QStringLiteral("cam-2")).join('\n').contains(QStringLiteral("{{port}}")));
    EXPECT_EQ(fast.RequestCount() + slow.RequestCount() + missing.RequestCount(), 6);
}

// A fleet that would run for ever, stopped while two of its four devices
// run: the two that never started count as "not run" and fail the fleet.
TEST(FleetRunner, DevicesThatNeverRanFailTheFleet)
{
    CTestResponder device("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", 5);
    CFleetRunner::SStart start;
    start.lines = {QStringLiteral("While(0)"), QStringLiteral("http://127.0.0.1:{{port}}/httpapi/{{name}}"),
                   QStringLiteral("Sleep(10)"), QStringLiteral("End")};
    start.nJobs = 2;
    std::vector<SDevice> devices;
    for (int i = 1; i <= 4; ++i)
        devices.push_back(Device(QStringLiteral("cam-%1").arg(i), device.Port()));
    CFleetRunner runner([](const QString&) {}, [](std::size_t) {});
    ASSERT_TRUE(runner.Start(devices, start));
    for (int i = 0; i < 1000 && (runner.Total(0).nCount == 0 || runner.Total(1).nCount == 0); ++i) {
        runner.Poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_GT(runner.Total(1).nCount, 0u);
    EXPECT_EQ(runner.Summary().VerdictText(), QString()) << "nothing settled while both run";
    runner.Stop();
    for (int i = 0; i < 1000 && runner.Poll(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const CFleetRunner::SSummary summary = runner.Summary();
    EXPECT_EQ(summary.nDevices, 4u);
    EXPECT_EQ(summary.nPassed, 2u);
    EXPECT_EQ(summary.nNotRun, 2u);
    EXPECT_TRUE(summary.IsOver());
    EXPECT_FALSE(summary.Passed());
    EXPECT_EQ(summary.VerdictText(), QStringLiteral("fail: 2 of 4 pass, 2 not run"));
}
