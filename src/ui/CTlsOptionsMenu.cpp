#include "CTlsOptionsMenu.h"

#include "CJobsSpinBox.h"
#include "CUserPrompts.h"
#include "DialogControls.h"
#include "engine/CRunSettings.h"

#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QSettings>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kIdTrustFile = 32790;
constexpr int kIdClearFile = 32791;
constexpr int kIdInsecure = 32792;
constexpr int kIdRunLimits = 32800;
constexpr int kIdJobs = 32803;
constexpr int kMostJobs = 1000;

}  // namespace

CTlsOptionsMenu::CTlsOptionsMenu(QMenu* pMenu, QWidget* pPromptParent, CUserPrompts& prompts)
    : m_pPromptParent(pPromptParent), m_prompts(prompts)
{
    m_pActTrustFile = AddCommand(pMenu, kIdTrustFile, QStringLiteral("&Trust certificate file..."));
    m_pActTrustFile->setCheckable(true);
    QObject::connect(m_pActTrustFile, &QAction::triggered, pMenu, [this] { OnTrustCertificateFile(); });
    m_pActClearFile = AddCommand(pMenu, kIdClearFile, QString());
    QObject::connect(m_pActClearFile, &QAction::triggered, pMenu, [this] { OnClearCertificateFile(); });
    pMenu->addSeparator();
    m_pActInsecure = AddCommand(pMenu, kIdInsecure, QStringLiteral("&Accept any certificate (insecure)"));
    m_pActInsecure->setCheckable(true);
    pMenu->addSeparator();
    QObject::connect(AddCommand(pMenu, kIdRunLimits, QStringLiteral("Run &limits...")), &QAction::triggered, pMenu,
                     [this] { OnRunLimits(); });
    m_pActJobs = AddCommand(pMenu, kIdJobs, QString());
    QObject::connect(m_pActJobs, &QAction::triggered, pMenu, [this] { OnJobs(); });
    SetJobs(0);
    ShowCertificateFile();
}

void CTlsOptionsMenu::OnRunLimits()
{
    CRunLimitsDlg dialog(m_pPromptParent, m_runLimits);
    if (dialog.exec() == QDialog::Accepted)
        m_runLimits = dialog.Limits();
}

void CTlsOptionsMenu::OnJobs()
{
    QDialog dialog(m_pPromptParent);
    dialog.setObjectName(QStringLiteral("jobs"));
    dialog.setWindowTitle(QStringLiteral("Jobs"));
    auto* pSpin = new CJobsSpinBox(kMostJobs);
    pSpin->setObjectName(QStringLiteral("jobsBox"));
    pSpin->setValue(m_nJobs);
    auto* pLabel = new QLabel(QStringLiteral("Devices of a device list that run at once (1 to %1, or all):").arg(kMostJobs));
    pLabel->setBuddy(pSpin);
    auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(pButtons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(pButtons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* pLayout = new QVBoxLayout(&dialog);
    pLayout->addWidget(pLabel);
    pLayout->addWidget(pSpin);
    pLayout->addWidget(pButtons);
    if (dialog.exec() == QDialog::Accepted)
        SetJobs(pSpin->value());
}

void CTlsOptionsMenu::SetJobs(int nJobs)
{
    m_nJobs = std::clamp(nJobs, 0, kMostJobs);
    m_pActJobs->setText(m_nJobs == 0 ? QStringLiteral("&Jobs... (all)") : QStringLiteral("&Jobs... (%1)").arg(m_nJobs));
}

CTlsOptions CTlsOptionsMenu::Options() const
{
    CTlsOptions options;
    options.strCaFile = m_strCaFile;
    options.bInsecure = m_pActInsecure->isChecked();
    return options;
}

void CTlsOptionsMenu::OnTrustCertificateFile()
{
    CUserPrompts::SFileRequest request;
    request.strFilter = QStringLiteral("Certificates (*.pem *.crt *.cer);;All Files (*.*)");
    const QString strPath = m_prompts.ChooseFileInLastFolder(m_pPromptParent, request);
    // A file that cannot serve is told at once, and the trusted file stays.
    QString strProblem;
    if (!strPath.isEmpty() && !CTlsConnection::CheckCaFile(strPath, &strProblem))
        m_prompts.ShowError(m_pPromptParent,
                            QStringLiteral("The certificate file %1 cannot be used: %2").arg(strPath, strProblem));
    else if (!strPath.isEmpty())
        m_strCaFile = strPath;
    // Choosing the item toggled its check mark: it shows the setting again.
    ShowCertificateFile();
}

void CTlsOptionsMenu::OnClearCertificateFile()
{
    m_strCaFile.clear();
    ShowCertificateFile();
}

void CTlsOptionsMenu::ShowCertificateFile()
{
    // The item is checked while a file is trusted; the clear item names it.
    const bool bSet = !m_strCaFile.isEmpty();
    m_pActTrustFile->setChecked(bSet);
    m_pActTrustFile->setToolTip(m_strCaFile);
    m_pActClearFile->setEnabled(bSet);
    QString strName = QFileInfo(m_strCaFile).fileName();
    strName.replace(QLatin1Char('&'), QLatin1String("&&"));
    m_pActClearFile->setText(bSet ? QStringLiteral("&Clear certificate file (%1)").arg(strName)
                                  : QStringLiteral("&Clear certificate file"));
}

void CTlsOptionsMenu::Store(QSettings& settings) const
{
    settings.setValue(QStringLiteral("tls/certificateFile"), m_strCaFile);
    settings.setValue(QStringLiteral("run/maxDuration"), m_runLimits.strDuration);
    settings.setValue(QStringLiteral("run/maxPasses"), m_runLimits.strPasses);
    settings.setValue(QStringLiteral("run/jobs"), m_nJobs);
}

void CTlsOptionsMenu::Restore(QSettings& settings)
{
    const QString strCaFile = settings.value(QStringLiteral("tls/certificateFile")).toString();
    if (!strCaFile.isEmpty() && QFileInfo(strCaFile).isFile()) {
        m_strCaFile = strCaFile;
        ShowCertificateFile();
    }
    CRunLimits limits{settings.value(QStringLiteral("run/maxDuration")).toString(),
                      settings.value(QStringLiteral("run/maxPasses")).toString()};
    CRunSettings check;
    if (limits.Apply(check))
        m_runLimits = limits;
    SetJobs(settings.value(QStringLiteral("run/jobs"), 0).toInt());
}
