#pragma once

#include "CBesidePlacer.h"

#include "CGuiBatchQueue.h"
#include "engine/CFleetRunner.h"

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class CRampUpBox;
class CResultsWindow;
class QLabel;
class QTableView;

// The devices of a fleet run as rows: name, state, counts, times, the last
// status and the verdict. Row 0 is "All devices", the fleet's counts added.
class CDeviceTableModel : public QAbstractTableModel {
public:
    struct SRow {
        QString strName;
        CFleetRunner::EState eState = CFleetRunner::EState::Waiting;
        QString strState;  // its text
        CUrlStatistics total;
        int nLastStatus = -1;
        QString strVerdict;
        QString strVerdictDetail;  // the verdict whole, with the first failing requests
    };

    explicit CDeviceTableModel(QObject* pParent = nullptr) : QAbstractTableModel(pParent) {}

    // The rows of the devices (without "All devices"), as they are now.
    void SetRows(std::vector<SRow> rows);
    const std::vector<SRow>& Rows() const { return m_rows; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int nRole) const override;
    QVariant headerData(int nSection, Qt::Orientation orientation, int nRole) const override;

    static QStringList Columns();
    // A row's cells as shown; nRow 0 is "All devices".
    QStringList Cells(int nRow) const;

private:
    std::vector<SRow> m_rows;
};

// View > Devices: the fleet's devices in a live table, in a window of its
// own beside the main one. It also runs the fleet: the main window hands it
// the list and the run's inputs; it polls the runner, takes the devices'
// changes through a CGuiBatchQueue and redraws the table at most every
// kRefreshMs. Picking a row shows that device's results in the results
// window ("All devices": the whole fleet's).
class CDevicesWindow : public QWidget {
    Q_OBJECT

public:
    // Log lines go to lineSink (any thread); onEnded runs on this window's
    // thread once the last device of a fleet has ended.
    CDevicesWindow(CFleetRunner::LineSink lineSink, std::function<void()> onEnded, CResultsWindow& results);
    ~CDevicesWindow() override;

    // Takes a list (empty: none), named by its file's name, to show as
    // waiting rows.
    void SetDevices(const std::vector<SDevice>& devices, const QString& strListName);
    // Starts the fleet, its starts spread over the Ramp-up field's seconds;
    // false when a placeholder has no value for some device (its lines say
    // which), and then nothing runs.
    bool StartFleet(const std::vector<SDevice>& devices, const CFleetRunner::SStart& start);
    void StopFleet();
    // Ends every device at once and waits for them (closing).
    void AbortFleet();
    bool IsFleetActive() const;

    // Shows the window beside pMain (or brings it to the front).
    void ShowBeside(QWidget* pMain);
    // Takes in every change so far and redraws at once.
    void Flush();

    // The runner of the last fleet (its reports are made from it).
    const CFleetRunner& Runner() const { return *m_pRunner; }
    // Shows the devices of a report opened from a file in place of the
    // list's; a row picked then goes to showRow (0: all devices). Until a
    // list is taken or a fleet starts.
    void ShowOpened(const QString& strCaption, std::vector<CDeviceTableModel::SRow> rows,
                    std::function<void(int nRow)> showRow);

    CDeviceTableModel* Model() const { return m_pModel; }
    // Ramp-up: seconds over which the devices start (velkor-cli's --ramp-up).
    CRampUpBox* RampUpBox() const { return m_pRampUp; }
    QTableView* Table() const { return m_pTable; }
    // Shows the row's results in the results window (0: all devices).
    void PickRow(int nRow);
    // A row clicked or chosen with Enter: PickRow, and the results window
    // shown (beside the main window) or raised.
    void ChooseRow(int nRow);
    // Ctrl+R: the results window beside the main one, with the picked row's.
    void ShowResults();
    // Shows the picked row's results as they are now (the results window
    // takes them while it is shown, at most every kResultsMs).
    void ShowPickedResults(bool bForce);

    static constexpr int kPollMs = 50;
    static constexpr int kRefreshMs = 250;
    static constexpr int kResultsMs = 1000;

protected:
    void showEvent(QShowEvent* pEvent) override;
    void moveEvent(QMoveEvent* pEvent) override;

private:
    void OnPoll();
    void Refresh();

    std::unique_ptr<CFleetRunner> m_pRunner;
    std::function<void()> m_onEnded;
    CResultsWindow& m_results;
    CGuiBatchQueue<std::size_t> m_changes;
    std::vector<SDevice> m_devices;
    QString m_strListName;
    std::vector<bool> m_vecDirty;
    bool m_bDirty = false;
    bool m_bFleetRan = false;
    int m_nPicked = 0;
    std::uint64_t m_nShownRevision = 0;
    QElapsedTimer m_sinceResults;  // since the results window last took a replay
    QTimer m_pollTimer;
    QTimer m_refreshTimer;
    QLabel* m_pCaption = nullptr;
    QTableView* m_pTable = nullptr;
    CRampUpBox* m_pRampUp = nullptr;
    CDeviceTableModel* m_pModel = nullptr;
    CBesidePlacer* m_pPlacer = nullptr;  // child object
    QPointer<QWidget> m_pMain;           // the window it was shown beside
    std::function<void(int nRow)> m_showOpenedRow;  // set while an opened report's devices are shown
};
