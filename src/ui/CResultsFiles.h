#pragma once

#include "CDevicesWindow.h"
#include "CReportToResults.h"
#include "engine/CFleetRunner.h"
#include "engine/CRunVerdict.h"
#include "report/CFleetReport.h"
#include "report/RecordFleet.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>

class CResultsWindow;
struct CUserPrompts;
class QWidget;

// The results as files: File > Save results as... writes the JSON, JUnit,
// HTML or CSV report of what the results window shows, as velkor-cli writes
// it for the same run, through the same recorder and writers; File > Open
// results... reads a saved JSON report back into the results window (and,
// for a fleet, the Devices window). What is saved is the last thing shown:
// the last run of the main window, the last run over a device list (the
// whole fleet, whichever device is picked), or the report opened last.
class CResultsFiles : public QObject {
public:
    CResultsFiles(QWidget& owner, CResultsWindow& results, CDevicesWindow& devices, CUserPrompts& prompts);
    ~CResultsFiles() override;

    // What a single run of the main window reports to, beside the results
    // window; callable from any thread.
    IRunListener& RunListener() { return m_runFiles; }
    // The bytes of the device list loaded last (the fleet report names the
    // list by their SHA-256).
    void SetDeviceListContent(const QByteArray& content) { m_listContent = content; }
    // Before a run over a device list starts: a recorder for each device
    // beside the runner's own figures.
    void PrepareFleet(CFleetRunner::SStart& start, const QStringList& columns, std::size_t nDevices);

    // File > Save results as...: a file chosen, its report written by its
    // name's suffix (.json, .xml, .html or .csv); a failure in a message box.
    void OnSaveResults();
    // Writes the report strPath's suffix names; false with *pError.
    bool SaveResults(const QString& strPath, QString* pError) const;
    // File > Open results...
    void OnOpenResults();
    // Opens a saved JSON report in the results window (and the Devices
    // window for a fleet); a report that cannot be opened is told in a
    // message box. The reading goes on after the call returns (IsOpening).
    // Not while a run is going on: the run reports to the same window.
    void OpenResults(const QString& strPath);
    bool IsOpening() const { return m_pReader->IsBusy(); }
    // Ends an opening under way (before the windows go).
    void CancelOpening() { m_pReader->Cancel(); }
    // The report opened last, while it is what the windows show.
    std::shared_ptr<const CRecordedFleet> Opened() const { return m_pOpened; }

    static QString FileFilter();

private:
    enum class ESource { None, Run, Fleet, Opened };

    // The single run's listeners: its recorder and verdict, as velkor-cli's.
    class CRunFiles : public IRunListener {
    public:
        explicit CRunFiles(std::atomic<ESource>& source) : m_source(source) {}
        void OnRunStart(const CRunStartInfo& info) override;
        void OnRequest(const CRequestResult& result) override;
        void OnCheckAlive(const CCheckAliveResult& result) override;
        void OnRunEnd(const CRunEndInfo& info) override;
        CRunRecorder recorder;
        CRunVerdict verdict;

    private:
        std::atomic<ESource>& m_source;
    };

    void ShowOpened(std::shared_ptr<const CRecordedFleet> pFleet, const std::vector<CUrlStatistics>& totals,
                    const QString& strName);
    void KeepVerdict(const CRunVerdictSummary& verdict);

    QWidget& m_owner;
    CResultsWindow& m_results;
    CDevicesWindow& m_devices;
    CUserPrompts& m_prompts;
    std::atomic<ESource> m_source{ESource::None};
    CRunFiles m_runFiles{m_source};
    // The last fleet: a recorder per device, and what its report names.
    FleetReports m_fleetReports;
    QStringList m_fleetColumns;
    QString m_strFleetScript;
    int m_nFleetThresholdMs = 0;
    CFleetShard m_fleetShard;
    QByteArray m_listContent;
    std::shared_ptr<const CRecordedFleet> m_pOpened;
    CReportToResults* m_pReader = nullptr;  // child object
};
