#pragma once

#include "CRunLimitsDlg.h"
#include "http/CTlsConnection.h"

#include <QString>

class QAction;
class QMenu;
class QSettings;
class QWidget;
struct CUserPrompts;

// The Options menu: how https devices' certificates are checked. It keeps
// the certificate or CA file trusted besides the system's CAs, chosen with
// a file dialog (a cancel keeps the earlier choice) or cleared, and whether
// any certificate is accepted. Its commands carry their ids as object names
// ("32790" to "32792"). Each run takes the settings as they are when it
// starts. Below them, "Run limits..." (id 32800) sets how long a run's
// While loop may go on, and "Jobs..." (id 32803) how many devices of a
// device list run at once.
class CTlsOptionsMenu {
public:
    // Fills pMenu; the file dialog and the message box go through prompts,
    // over pPromptParent.
    CTlsOptionsMenu(QMenu* pMenu, QWidget* pPromptParent, CUserPrompts& prompts);

    void OnTrustCertificateFile();
    void OnClearCertificateFile();

    // The file that the next run trusts; empty: none.
    const QString& TrustedCertificateFile() const { return m_strCaFile; }
    // The settings for the next run.
    CTlsOptions Options() const;
    // "Accept any certificate (insecure)", checkable; toggled when it changes.
    QAction* InsecureAction() const { return m_pActInsecure; }

    // Run limits...: the limits of the next runs, edited in CRunLimitsDlg.
    void OnRunLimits();
    const CRunLimits& RunLimits() const { return m_runLimits; }

    // Jobs...: devices of a device list that run at once, 1 to 1000; 0: all.
    void OnJobs();
    int Jobs() const { return m_nJobs; }
    void SetJobs(int nJobs);

    // Between starts: the trusted certificate file (while it exists), the
    // run limits (when the dialog would take them) and Jobs. "Accept any
    // certificate" is never kept: each start begins checking certificates.
    void Store(QSettings& settings) const;
    void Restore(QSettings& settings);

private:
    void ShowCertificateFile();

    QWidget* m_pPromptParent;
    CUserPrompts& m_prompts;
    QAction* m_pActTrustFile = nullptr;
    QAction* m_pActClearFile = nullptr;
    QAction* m_pActInsecure = nullptr;
    QString m_strCaFile;
    CRunLimits m_runLimits;
    QAction* m_pActJobs = nullptr;
    int m_nJobs = 0;
};
