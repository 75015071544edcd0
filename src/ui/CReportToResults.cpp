#include "CReportToResults.h"

#include "CBulkFeed.h"
#include "CResultsBulk.h"
#include "CResultsWindow.h"

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

// The run of device nDevice (-1: every device's joined) built into what the
// window shows, named strScript: null when cancelled first. A device's run
// is read where it is, not copied.
std::shared_ptr<CResultsBulk> BulkOf(const CRecordedFleet& fleet, int nDevice, const QString& strScript,
                                     const std::atomic<bool>& bCancel)
{
    auto pBulk = std::make_shared<CResultsBulk>();
    const bool bOne = (nDevice >= 0 && std::size_t(nDevice) < fleet.devices.size()) ||
                      (fleet.bSingleRun && fleet.devices.size() == 1);
    if (!bOne) {
        // Every device's together: a fleet's chart, by script line or by device.
        for (const CRecordedDevice& device : fleet.devices)
            pBulk->fleetDevices << device.strName;
    }
    const bool bBuilt =
        bOne ? pBulk->Build(fleet.devices[nDevice >= 0 ? std::size_t(nDevice) : 0].run, strScript, bCancel)
             : pBulk->Build(CReportToResults::RunOf(fleet, nDevice, &pBulk->vecDeviceOf), strScript, bCancel);
    return bBuilt ? pBulk : nullptr;
}

}  // namespace

CReportToResults::CReportToResults(CResultsWindow& window, QObject* pParent) : QObject(pParent), m_window(window) {}

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
        // One run's requests are built into what the window shows on
        // another thread while the rest is read.
        CBulkFeed feed(m_bCancel);
        const bool bRead = ReadReport(strPath, pFleet.get(), &strProblem,
                                      [&feed](const CRecordedRun& run, std::size_t nRequests) {
                                          feed.Feed(run, nRequests);
                                      });
        std::shared_ptr<CResultsBulk> pBulk = feed.Take();
        if (bRead) {
            const QString strName = QFileInfo(strPath).fileName();
            const QString strScript =
                pFleet->strScript.isEmpty() ? QStringLiteral("Typed script") : pFleet->strScript;
            const QString strShown = pFleet->bSingleRun
                                         ? QStringLiteral("%1 [%2]").arg(strScript, strName)
                                         : QStringLiteral("%1 [all devices, %2]").arg(strScript, strName);
            const bool bFed = pBulk && pFleet->bSingleRun && pFleet->devices.size() == 1 &&
                              pBulk->points.size() == pFleet->devices[0].run.vecRequests.size();
            if (bFed)
                pBulk->Finish(pFleet->devices[0].run, strShown);
            else
                pBulk = BulkOf(*pFleet, -1, strShown, m_bCancel);
        } else {
            pBulk.reset();
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
            [this, nGeneration, done, pRead, pBulk, totals = std::move(totals), strProblem] {
                if (nGeneration != m_nGeneration)
                    return;
                m_bBusy.store(false);
                if (pBulk)
                    m_window.ShowWhole(*pBulk);
                done(pRead, totals, strProblem);
            },
            Qt::QueuedConnection);
    });
}

void CReportToResults::Play(std::shared_ptr<const CRecordedFleet> pFleet, int nDevice, const QString& strScript,
                            std::function<void()> done)
{
    Start([this, pFleet = std::move(pFleet), nDevice, strScript, done = std::move(done)](int nGeneration) {
        std::shared_ptr<CResultsBulk> pBulk = BulkOf(*pFleet, nDevice, strScript, m_bCancel);
        QMetaObject::invokeMethod(
            this,
            [this, nGeneration, done, pBulk] {
                if (nGeneration != m_nGeneration)
                    return;
                m_bBusy.store(false);
                if (pBulk)
                    m_window.ShowWhole(*pBulk);
                done();
            },
            Qt::QueuedConnection);
    });
}

bool CReportToResults::ReadReport(const QString& strPath, CRecordedFleet* pFleet, QString* pProblem,
                                  const RequestsRead& onRequests)
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
    const bool bRead = ReadFleetJson(json, QFileInfo(strPath).completeBaseName(), pFleet, &strWhy, onRequests);
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

CRecordedRun CReportToResults::RunOf(const CRecordedFleet& fleet, int nDevice, std::vector<int>* pDeviceOf)
{
    if (nDevice >= 0 && std::size_t(nDevice) < fleet.devices.size())
        return fleet.devices[std::size_t(nDevice)].run;
    if (fleet.bSingleRun && fleet.devices.size() == 1)
        return fleet.devices[0].run;
    CRecordedRun joined = JoinedRun(fleet, false, pDeviceOf);
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
