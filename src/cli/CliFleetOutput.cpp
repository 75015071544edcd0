#include "CliFleetOutput.h"

#include "CliExitCodes.h"
#include "CliRunSupport.h"
#include "log/ControlPictures.h"
#include "report/CJsonReport.h"

#include <QTextStream>

namespace {

// The verdict column of a device.
QString VerdictText(CFleetRunner::EState eState, const CRunVerdictSummary& summary)
{
    switch (eState) {
    case CFleetRunner::EState::ScriptError:
        return QStringLiteral("script error");
    case CFleetRunner::EState::NotRun:
    case CFleetRunner::EState::Waiting:
        return QStringLiteral("not run");
    case CFleetRunner::EState::Running:
    case CFleetRunner::EState::Done:
        break;
    }
    // As the Devices window says it: the exit code, then why.
    return summary.bPass ? QStringLiteral("pass")
                         : QStringLiteral("fail (%1): %2").arg(summary.nExitCode).arg(summary.Headline());
}

}  // namespace

void PrintDeviceTable(QTextStream& out, const CFleetRunner& runner)
{
    const QStringList columns{QStringLiteral("name"),   QStringLiteral("requests"), QStringLiteral("ok"),
                              QStringLiteral("slow"),   QStringLiteral("timeout"),  QStringLiteral("failed"),
                              QStringLiteral("not sent"), QStringLiteral("median"), QStringLiteral("p95"),
                              QStringLiteral("max"),    QStringLiteral("verdict")};
    auto figure = [](std::int64_t nMs) { return nMs < 0 ? QStringLiteral("-") : QString::number(nMs); };
    std::vector<QStringList> rows{columns};
    for (std::size_t i = 0; i < runner.Count(); ++i) {
        const CUrlStatistics total = runner.Total(i);
        rows.push_back({runner.Name(i), QString::number(total.nCount), QString::number(total.nOk),
                        QString::number(total.nSlow), QString::number(total.nTimeout), QString::number(total.nFailed),
                        QString::number(total.nNotSent), figure(total.nMedianMs), figure(total.nP95Ms),
                        figure(total.nMaxMs), VerdictText(runner.State(i), runner.Verdict(i))});
    }
    out << "\nDevices (times in ms)\n";
    PrintTable(out, rows, 1);
    // The fleet's verdict: a device that never ran fails it.
    out << "All devices: " << runner.Summary().VerdictText() << '\n';
    out.flush();
}

int FleetExitCode(const CFleetRunner& runner, QTextStream& err, bool* pbScriptError)
{
    int nExit = kExitOk;
    *pbScriptError = false;
    QStringList notRun;
    for (std::size_t i = 0; i < runner.Count(); ++i) {
        if (runner.State(i) == CFleetRunner::EState::ScriptError) {
            *pbScriptError = true;
            continue;
        }
        if (runner.State(i) == CFleetRunner::EState::NotRun || runner.State(i) == CFleetRunner::EState::Waiting) {
            notRun << runner.Name(i);
            continue;
        }
        if (runner.State(i) != CFleetRunner::EState::Done)
            continue;
        const CRunVerdictSummary summary = runner.Verdict(i);
        if (!summary.bPass) {
            err << "velkor-cli: [" << runner.Name(i) << "] the run failed: " << ShowControlCharacters(summary.Describe())
                << Qt::endl;
            if (nExit == kExitOk || summary.nExitCode < nExit)
                nExit = summary.nExitCode;
        }
    }
    // A device that never ran sent none of its requests: it fails the fleet
    // as a request not sent does.
    if (!notRun.isEmpty()) {
        constexpr qsizetype kNamed = 5;
        err << "velkor-cli: " << notRun.size() << " of " << runner.Count()
            << " devices never ran (stopped before their turn): " << notRun.mid(0, kNamed).join(QStringLiteral(", "))
            << (notRun.size() > kNamed ? ", ..." : "") << Qt::endl;
        if (nExit == kExitOk || kExitRequestFailed < nExit)
            nExit = kExitRequestFailed;
    }
    return nExit;
}

void PrintFleetSummary(QTextStream& out, const CFleetRunner& runner, const CRecordedFleet& fleet)
{
    std::uint64_t nRequests = 0;
    std::uint64_t counts[5] = {};
    for (std::size_t i = 0; i < runner.Count(); ++i) {
        const CUrlStatistics total = runner.Total(i);
        nRequests += total.nCount;
        for (const auto& [nIndex, nCount] : {std::pair{0, total.nOk}, std::pair{1, total.nSlow},
                                             std::pair{2, total.nTimeout}, std::pair{3, total.nFailed},
                                             std::pair{4, total.nNotSent}})
            counts[nIndex] += nCount;
    }
    out << "Summary: " << runner.Count() << " devices, " << nRequests << " requests (ok " << counts[0] << ", slow "
        << counts[1] << ", timeout " << counts[2] << ", failed " << counts[3] << ", not sent " << counts[4]
        << "), verdict " << fleet.verdict.Name() << Qt::endl;
}

bool WriteFleetSummary(CJsonLinesWriter& file, const CRecordedFleet& fleet, QString* pError)
{
    const CRunStatisticsSnapshot statistics = StatisticsOf(JoinedRun(fleet));
    return file.WriteRecord("{\"kind\": \"fleet-summary\", \"devices\": " +
                                QByteArray::number(qulonglong(fleet.devices.size())) +
                                ", \"partial\": " + (fleet.IsPartial() ? "true" : "false") +
                                ", \"stats_total\": " + CJsonReport::StatsObject(statistics.total, false) +
                                ", \"verdict\": \"" + fleet.verdict.Name() + "\", \"exit_code\": " +
                                QByteArray::number(fleet.nExitCode) + ", \"failed_requests\": " +
                                QByteArray::number(fleet.verdict.nFailed) + "}",
                            pError);
}
