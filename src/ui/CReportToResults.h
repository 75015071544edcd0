#pragma once

#include "engine/RunResults.h"
#include "report/CFleetReport.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

class CResultsWindow;

// A saved JSON report, of one run or of a run over a device list, read back
// and shown in the results window as the run once reported it: its start,
// every request and CheckAlive wait, its end. The reading and the building
// of what the window shows (CResultsBulk) run on a thread of their own, so
// that the window's thread only takes the finished run in a few swaps
// (CResultsWindow::ShowWhole) and a report of a million requests opens
// without holding the window up. One reading or showing at a time.
class CReportToResults : public QObject {
public:
    // Runs on this object's thread once a report was read and its run handed
    // on: the report with each device's figures in total (a fleet's; none
    // for one run), or null and why it could not be opened.
    using ReadDone = std::function<void(std::shared_ptr<const CRecordedFleet> pFleet,
                                        const std::vector<CUrlStatistics>& deviceTotals, const QString& strProblem)>;

    explicit CReportToResults(CResultsWindow& window, QObject* pParent = nullptr);
    ~CReportToResults() override;

    // Reads strPath and shows the run it holds (a fleet's: every device's,
    // joined on the fleet's time axis) in the window. What was under way
    // is ended first.
    void Open(const QString& strPath, ReadDone done);
    // Shows device nDevice of a report read before (-1: every device's
    // joined), named strScript; done runs on this object's thread, once the
    // window shows it.
    void Play(std::shared_ptr<const CRecordedFleet> pFleet, int nDevice, const QString& strScript,
              std::function<void()> done);
    // Ends a reading or showing under way and waits for it.
    void Cancel();
    // A reading or showing is under way.
    bool IsBusy() const { return m_bBusy.load(std::memory_order_acquire); }

    // Reads a report file: false, with the message's text, when it is not
    // one this program can open (it cannot be read, is larger than
    // kMostBytes, is damaged, or is of another version's making).
    // onRequests: as ReadFleetJson's.
    static bool ReadReport(const QString& strPath, CRecordedFleet* pFleet, QString* pProblem,
                           const RequestsRead& onRequests = {});
    // The run of device nDevice (-1: every device's joined) as it is shown.
    static CRecordedRun RunOf(const CRecordedFleet& fleet, int nDevice, std::vector<int>* pDeviceOf = nullptr);
    // 2 GiB: the largest file the JSON reader takes in one piece.
    static constexpr qint64 kMostBytes = (qint64(1) << 31) - 1;

private:
    void Start(std::function<void(int nGeneration)> work);

    CResultsWindow& m_window;
    std::thread m_thread;
    std::atomic<bool> m_bCancel{false};
    std::atomic<bool> m_bBusy{false};
    int m_nGeneration = 0;  // this object's thread only: a done of an ended work is dropped
};
