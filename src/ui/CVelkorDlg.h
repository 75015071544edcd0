#pragma once

#include "CQtTextBox.h"
#include "CUserPrompts.h"
#include "script/DeviceList.h"

#include <QDialog>
#include <QIcon>
#include <QRect>
#include <QStringList>

#include <memory>

class CDevicesWindow;
class CLogFindBar;
class CRunStatusLine;
struct CRunSettings;
class CLogBoxQueue;
class CLogWriter;
class CResultsComparison;
class CResultsFiles;
class CResultsWindow;
class CRunEngine;
class CScreenFit;
class CTlsOptionsMenu;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QMimeData;
class QPlainTextEdit;
class QSettings;
class QPushButton;
class QRadioButton;

// The main window. Every control carries its dialog id as its object name
// (the decimal id: "1002" is "Send", "2" is "Close"); menu commands carry
// theirs on their actions ("32782" is "Show command", "16" the about item,
// "32790" to "32792" the Options items, "32793" "View -> Results",
// "32801" and "32802" the device list's File items, "32804" "View ->
// Devices").
// Controls are placed in pixels on the client area below the menu bar by
// ArrangeControls, where DialogLayout puts them. The run itself lives in the
// engine; this class keeps the controls and the handlers and passes the
// run's inputs on.
class CVelkorDlg : public QDialog {
    Q_OBJECT

public:
    explicit CVelkorDlg(QWidget* pParent = nullptr);
    ~CVelkorDlg() override;

    // Fits the window to a screen's available area (frame included): on an
    // area smaller than the window, the smallest client area becomes what
    // the area leaves, and a window larger than the area shrinks to it.
    void FitToScreenArea(const QRect& area);

    // Widget of a control id (nullptr when there is none).
    QWidget* Control(int nId) const;
    QWidget* ClientArea() const { return m_pClient; }
    ITextBox& CommandBox() { return *m_pBoxCommand; }
    ITextBox& LogBox() { return *m_pBoxLog; }
    CRunEngine& Engine() { return *m_pEngine; }
    CLogWriter& LogWriter() { return *m_pLog; }
    CUserPrompts& UserPrompts() { return m_prompts; }
    // Carries out log lines and control changes that a worker has handed
    // over but the event loop has not yet shown.
    void FlushPendingLog();

    // Handlers, named after the commands they serve.
    void OnBnClickedSend();
    void OnBnClickedStop();
    void OnBnClickedCancel();
    void OnBnClickedClearLog();
    void OnBnClickedClearCommand();
    void OnBnClickedClickEnable();
    void OnBnClickedClickDisable();
    void OnBnClickedAutoSave();
    void OnBnClickedSetPath();
    void OnSaveCommand();
    void OnLoadCommand();
    void OnSaveLog();
    void OnShowCommand();
    void OnSysCommand(int nID);
    // Options: how https devices' certificates are checked.
    CTlsOptionsMenu& TlsOptionsMenu() { return *m_pTlsMenu; }
    // View -> Results: the results window beside this one. The window is
    // this one's for its whole life and gets every run's results.
    void OnViewResults();
    CResultsWindow& ResultsWindow() { return *m_pResults; }
    // Between starts: the windows' places and sizes, the threshold, the ID
    // and the log's auto save (never the password).
    void StoreSettings(QSettings& settings);
    void RestoreSettings(QSettings& settings);
    // File -> Recent files: the last command files and device lists loaded
    // or saved, newest first; choosing one loads it as its own menu item
    // would (a .csv as a device list).
    static constexpr int kMostRecentFiles = 8;
    const QStringList& RecentFiles() const { return m_recentFiles; }
    QMenu* RecentFilesMenu() const { return m_pRecentMenu; }

    // View -> Devices: the fleet's devices in a table, beside this window.
    void OnViewDevices();
    CDevicesWindow& DevicesWindow() { return *m_pDevices; }
    // File -> Open results...: a saved JSON report (of one run or of a
    // fleet) opened in the results window (and the Devices window); one that
    // cannot be opened is told in a message box. Not while a run goes on.
    void OpenResults(const QString& path);
    // Save results as... and Open results... do their work here.
    CResultsFiles& ResultsFiles() { return *m_pFiles; }
    CResultsComparison& ResultsComparison() { return *m_pComparison; }
    // File -> Load device list...: with a list, "Send" runs the script on
    // every device of it (at most Options -> Jobs at once), each line of
    // the log box with the device's name before it; "Clear device list"
    // goes back to one run. A file that is not a device list is told in a
    // message box, and the list loaded before stays.
    void OnLoadDeviceList();
    void OnClearDeviceList();
    bool LoadDeviceList(const QString& path);
    const SDeviceList& DeviceList() const { return m_deviceList; }
    // True while a run or a fleet's devices run.
    bool IsRunning() const;

    // What "Load command" does with the path its file dialog returned: the
    // file's lines go into the script box; a file that cannot be read shows
    // the same message box. False when the file could not be read.
    bool LoadCommandFile(const QString& path);

    void ArrangeControls();

    // A file dropped on the window, or handed over as one would be: a
    // command file (.cmf) loads as "Load command" does, a device list (.csv)
    // as "Load device list..." does; anything else is told in a message box.
    // False when nothing was loaded.
    bool OpenDroppedFile(const QString& path);
    // The strip under the controls: the run's state and figures.
    CRunStatusLine& StatusLine() { return *m_pStatusLine; }
    // Ctrl+F: the find bar above the log box.
    CLogFindBar& FindBar() { return *m_pFindBar; }

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;
    void closeEvent(QCloseEvent* pEvent) override;
    void showEvent(QShowEvent* pEvent) override;
    void moveEvent(QMoveEvent* pEvent) override;
    void dragEnterEvent(QDragEnterEvent* pEvent) override;
    void dropEvent(QDropEvent* pEvent) override;

public:
    // Escape and every other way of cancelling leave the window open; only
    // a close (the "Close" button, the title bar, Alt+F4) ends it.
    void reject() override;

private:
    void CreateControls();
    void CreateMenu();
    void OnInitDialog();
    void OnClose();
    void SetTabOrder();
    void ApplyRunControl(int nControl, bool bEnable);
    bool AppendLineBreakToCommand();
    void SendToDevices(const CRunSettings& settings);
    void ShowDeviceList();
    // "Velkor", then the command file the box was loaded from or saved to
    // (with "*" once the box changed since), then the device list.
    void UpdateTitle();
    void SetTitleFile(const QString& strPath);
    void NoteRecentFile(const QString& strPath);
    void OpenRecentFile(const QString& strPath);
    void FillRecentFilesMenu();
    // The status line, the find bar and drops (CVelkorDlgExtras.cpp).
    void CreateExtras();
    // The one file a drop carries; empty when it carries no single local file.
    static QString DroppedFile(const QMimeData* pData);
    void CreateResultsFiles();
    // File > Compare with... and the results window's button: not during a
    // run, nor while a report is being opened.
    void CompareResults();
    void AddResultsCommands(QMenu* pFile);

    QIcon m_hIcon;
    CUserPrompts m_prompts;
    bool m_bLayoutReady = false;
    bool m_bClosing = false;

    QMenuBar* m_pMenuBar = nullptr;
    QMenu* m_pRecentMenu = nullptr;
    QStringList m_recentFiles;  // newest first, at most kMostRecentFiles
    std::unique_ptr<CTlsOptionsMenu> m_pTlsMenu;  // uses m_prompts
    std::unique_ptr<CScreenFit> m_pScreenFit;
    QString m_strCommandFileName;  // the last loaded command file's name; empty: typed
    QString m_strTitleFile;        // the command file loaded or saved last; empty: none
    bool m_bCommandChanged = false;  // the box changed since m_strTitleFile was read or written
    SDeviceList m_deviceList;      // empty: one run
    QString m_strDeviceListName;   // the list file's name
    QWidget* m_pClient = nullptr;
    CRunStatusLine* m_pStatusLine = nullptr;  // under the client area
    CLogFindBar* m_pFindBar = nullptr;        // a child of the client area

    QLineEdit* m_editResponseLimit = nullptr;
    QPlainTextEdit* m_editCommand = nullptr;
    QPlainTextEdit* m_editLog = nullptr;
    QPushButton* m_btnSend = nullptr;
    QPushButton* m_btnStop = nullptr;
    QPushButton* m_btnSetPath = nullptr;
    QCheckBox* m_chkAutoSave = nullptr;
    QPushButton* m_btnClearCommand = nullptr;
    QPushButton* m_btnClearLog = nullptr;
    QLineEdit* m_editLogPath = nullptr;
    QLabel* m_staticVersion = nullptr;
    QRadioButton* m_radioClickEnable = nullptr;
    QRadioButton* m_radioClickDisable = nullptr;
    QLabel* m_staticIdLabel = nullptr;
    QLabel* m_staticPasswordLabel = nullptr;
    QLineEdit* m_editId = nullptr;
    QLineEdit* m_editPassword = nullptr;
    QPushButton* m_btnOk = nullptr;
    QPushButton* m_btnClose = nullptr;

    // Declared in the order they depend on each other; the engine goes first.
    std::unique_ptr<CQtTextBox> m_pBoxCommand;
    std::unique_ptr<CQtTextBox> m_pBoxLog;
    std::unique_ptr<CLogWriter> m_pLog;
    CLogBoxQueue* m_pQueue = nullptr;  // child object of this window
    // A listener of every run: it goes after the engine's worker.
    std::unique_ptr<CResultsWindow> m_pResults;
    // Runs the fleet; its devices report to the queue and the results window.
    std::unique_ptr<CDevicesWindow> m_pDevices;
    std::unique_ptr<CRunEngine> m_pEngine;
    // The reports of the last run or fleet, and the reports opened.
    CResultsFiles* m_pFiles = nullptr;  // child object of this window
    CResultsComparison* m_pComparison = nullptr;  // child object of this window
};
