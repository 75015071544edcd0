#include "CReportToResults.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <numeric>
#include <string_view>

namespace {

// The version a report names in its head ("velkor_version" comes first),
// without reading all of it; empty when it names none.
QString VersionOf(std::string_view json)
{
    static const QRegularExpression version(QStringLiteral("^\\s*\\{\\s*\"velkor_version\"\\s*:\\s*\"([^\"]{0,64})\""));
    const std::string_view head = json.substr(0, 256);
    return version.match(QString::fromUtf8(head.data(), qsizetype(head.size()))).captured(1);
}

CRequestResult ResultOf(const CRecordedRun& run, const CRecordedRequest& request)
{
    const CRecordedTarget& target = run.vecTargets[request.nTarget];
    CRequestResult result;
    result.nIndex = request.nIndex;
    result.nPass = request.nPass;
    result.nLine = request.nLine;
    result.strScheme = target.strScheme;
    result.strHost = target.strHost;
    result.strPort = target.strPort;
    result.strTarget = target.strTarget;
    result.strUrl = target.strUrl;
    result.nStatus = request.nStatus;
    result.nTimeMs = request.nTimeMs;
    result.nTimeUs = request.nTimeUs;
    result.nAtMs = request.nAtMs;
    result.outcome = request.outcome;
    result.bPass = request.bPass;
    if (request.nReason >= 0)
        result.strReason = run.vecReasons[std::size_t(request.nReason)];
    result.nChecks = request.bCheckFailed ? 1 : 0;
    result.nChecksFailed = result.nChecks;
    return result;
}

}  // namespace

CReportToResults::CReportToResults(IRunListener& listener, QObject* pParent) : QObject(pParent), m_listener(listener)
{
}

CReportToResults::~CReportToResults() { Cancel(); }

void CReportToResults::Cancel()
{
    m_bCancel.store(true);
    if (m_thread.joinable())
        m_thread.join();
    m_bCancel.store(false);
    m_bBusy.store(false);
    ++m_nGeneration;
}

void CReportToResults::Start(std::function<void(int nGeneration)> work)
{
    Cancel();
    m_bBusy.store(true);
    m_thread = std::thread(std::move(work), m_nGeneration);
}

void CReportToResults::Open(const QString& strPath, ReadDone done)
{
    Start([this, strPath, done = std::move(done)](int nGeneration) {
        auto pFleet = std::make_shared<CRecordedFleet>();
        QString strProblem;
        const bool bRead = ReadReport(strPath, pFleet.get(), &strProblem);
        if (bRead) {
            const QString strName = QFileInfo(strPath).fileName();
            const QString strScript =
                pFleet->strScript.isEmpty() ? QStringLiteral("Typed script") : pFleet->strScript;
            HandOn(RunOf(*pFleet, -1),
                   pFleet->bSingleRun ? QStringLiteral("%1 [%2]").arg(strScript, strName)
                                      : QStringLiteral("%1 [all devices, %2]").arg(strScript, strName),
                   m_listener, m_bCancel);
        }
        // The Devices window's figures, here rather than on the window's thread.
        std::vector<CUrlStatistics> totals;
        if (bRead && !pFleet->bSingleRun)
            for (const CRecordedDevice& device : pFleet->devices) {
                if (m_bCancel.load(std::memory_order_relaxed))
                    break;
                totals.push_back(StatisticsOf(device.run).total);
            }
        std::shared_ptr<const CRecordedFleet> pRead;
        if (bRead)
            pRead = std::move(pFleet);
        QMetaObject::invokeMethod(
            this,
            [this, nGeneration, done, pRead, totals = std::move(totals), strProblem] {
                if (nGeneration != m_nGeneration)
                    return;
                m_bBusy.store(false);
                done(pRead, totals, strProblem);
            },
            Qt::QueuedConnection);
    });
}

void CReportToResults::Play(std::shared_ptr<const CRecordedFleet> pFleet, int nDevice, const QString& strScript,
                            std::function<void()> done)
{
    Start([this, pFleet = std::move(pFleet), nDevice, strScript, done = std::move(done)](int nGeneration) {
        HandOn(RunOf(*pFleet, nDevice), strScript, m_listener, m_bCancel);
        QMetaObject::invokeMethod(
            this,
            [this, nGeneration, done] {
                if (nGeneration != m_nGeneration)
                    return;
                m_bBusy.store(false);
                done();
            },
            Qt::QueuedConnection);
    });
}

bool CReportToResults::ReadReport(const QString& strPath, CRecordedFleet* pFleet, QString* pProblem)
{
    const QString strName = QFileInfo(strPath).fileName();
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly)) {
        *pProblem = QStringLiteral("Cannot open %1: %2").arg(strName, file.errorString());
        return false;
    }
    if (file.size() > kMostBytes) {
        *pProblem = QStringLiteral("Cannot open %1: it holds %2 MiB, more than the %3 MiB a report may hold.")
                        .arg(strName)
                        .arg(file.size() >> 20)
                        .arg(kMostBytes >> 20);
        return false;
    }
    // Mapped, not copied: the reader scans the text once and keeps no tree of it.
    const qint64 nSize = file.size();
    uchar* pMapped = nSize > 0 ? file.map(0, nSize) : nullptr;
    QByteArray copy;
    if (!pMapped && nSize > 0) {
        copy = file.readAll();
        if (copy.size() != nSize) {
            *pProblem = QStringLiteral("Cannot open %1: %2").arg(strName, file.errorString());
            return false;
        }
    }
    const std::string_view json = pMapped ? std::string_view(reinterpret_cast<const char*>(pMapped), std::size_t(nSize))
                                          : std::string_view(copy.constData(), std::size_t(copy.size()));
    QString strWhy;
    const bool bRead = ReadFleetJson(json, QFileInfo(strPath).completeBaseName(), pFleet, &strWhy);
    const QString strVersion = bRead ? QString() : VersionOf(json);
    if (pMapped)
        file.unmap(pMapped);
    if (bRead)
        return true;
    *pProblem = QStringLiteral("Cannot open %1: it is not a report this version of Velkor reads (%2).")
                    .arg(strName, strWhy);
    if (!strVersion.isEmpty() && strVersion != QCoreApplication::applicationVersion())
        *pProblem += QStringLiteral(" It was written by Velkor %1; this is Velkor %2.")
                         .arg(strVersion, QCoreApplication::applicationVersion());
    return false;
}

CRecordedRun CReportToResults::RunOf(const CRecordedFleet& fleet, int nDevice)
{
    if (nDevice >= 0 && std::size_t(nDevice) < fleet.devices.size())
        return fleet.devices[std::size_t(nDevice)].run;
    if (fleet.bSingleRun && fleet.devices.size() == 1)
        return fleet.devices[0].run;
    CRecordedRun joined = JoinedRun(fleet);
    // Numbered in the order they started, as the fleet's live results are.
    for (std::size_t i = 0; i < joined.vecRequests.size(); ++i)
        joined.vecRequests[i].nIndex = int(i + 1);
    std::stable_sort(joined.vecCheckAlives.begin(), joined.vecCheckAlives.end(),
                     [](const CCheckAliveResult& a, const CCheckAliveResult& b) { return a.nAtMs < b.nAtMs; });
    for (std::size_t i = 0; i < joined.vecCheckAlives.size(); ++i)
        joined.vecCheckAlives[i].nIndex = int(i + 1);
    // A fleet's end as its devices' (a device that never ran ended nothing).
    joined.bEnded = true;
    return joined;
}

void CReportToResults::HandOn(const CRecordedRun& run, const QString& strScript, IRunListener& listener,
                              const std::atomic<bool>& bCancel)
{
    CRunStartInfo start = run.start;
    start.strScript = strScript;
    listener.OnRunStart(start);
    // The requests and the waits in the order they started, as a run hands them on.
    std::size_t nWait = 0;
    for (const CRecordedRequest& request : run.vecRequests) {
        if (bCancel.load(std::memory_order_relaxed))
            return;
        while (nWait < run.vecCheckAlives.size() && run.vecCheckAlives[nWait].nAtMs <= request.nAtMs)
            listener.OnCheckAlive(run.vecCheckAlives[nWait++]);
        listener.OnRequest(ResultOf(run, request));
    }
    while (nWait < run.vecCheckAlives.size())
        listener.OnCheckAlive(run.vecCheckAlives[nWait++]);
    // A run whose end never came was cut short.
    CRunEndInfo end = run.bEnded ? run.end : CRunEndInfo();
    end.bComplete = !run.IsPartial();
    listener.OnRunEnd(end);
}
