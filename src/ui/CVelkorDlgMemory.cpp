// What the window keeps between starts: its place and size and the results
// window's, the threshold, the ID, the log's auto save, the trusted
// certificate file, the run limits, Jobs and the file dialogs' folders.
// Never the password.
#include "CVelkorDlg.h"

#include "CDevicesWindow.h"
#include "CRampUpBox.h"
#include "CResultsWindow.h"
#include "CTlsOptionsMenu.h"
#include "log/CLogWriter.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QLineEdit>
#include <QSettings>
#include <QValidator>

namespace {

const QString kWindow = QStringLiteral("window/geometry");
const QString kResults = QStringLiteral("results/geometry");
const QString kThreshold = QStringLiteral("run/thresholdMs");
const QString kId = QStringLiteral("run/id");
const QString kAutoSave = QStringLiteral("log/autoSave");
const QString kLogFolder = QStringLiteral("log/folder");
const QString kRecent = QStringLiteral("files/recent");

}  // namespace

void CVelkorDlg::StoreSettings(QSettings& settings)
{
    settings.setValue(kWindow, saveGeometry());
    settings.setValue(kResults, m_pResults->saveGeometry());
    settings.setValue(kThreshold, m_editResponseLimit->text());
    settings.setValue(kId, m_editId->text());
    settings.setValue(kAutoSave, m_chkAutoSave->isChecked());
    settings.setValue(kLogFolder, m_pLog->LogFolder());
    m_pTlsMenu->Store(settings);
    m_pDevices->RampUpBox()->Store(settings);
    settings.setValue(kRecent, m_recentFiles);
    settings.beginGroup(QStringLiteral("folders"));
    settings.remove(QString());
    for (auto it = m_prompts.lastFolders.cbegin(); it != m_prompts.lastFolders.cend(); ++it)
        settings.setValue(it.key(), it.value());
    settings.endGroup();
    settings.sync();
}

void CVelkorDlg::RestoreSettings(QSettings& settings)
{
    if (settings.contains(kWindow))
        restoreGeometry(settings.value(kWindow).toByteArray());
    if (settings.contains(kResults))
        m_pResults->restoreGeometry(settings.value(kResults).toByteArray());
    // A threshold the box would not take stays the default.
    QString strThreshold = settings.value(kThreshold).toString();
    int nPos = 0;
    if (!strThreshold.isEmpty() &&
        (m_editResponseLimit->validator() == nullptr ||
         m_editResponseLimit->validator()->validate(strThreshold, nPos) == QValidator::Acceptable))
        m_editResponseLimit->setText(strThreshold);
    if (settings.contains(kId))
        m_editId->setText(settings.value(kId).toString());
    m_pTlsMenu->Restore(settings);
    m_pDevices->RampUpBox()->Restore(settings);
    m_recentFiles = settings.value(kRecent).toStringList().mid(0, kMostRecentFiles);
    FillRecentFilesMenu();
    // The file dialogs' last folders (a key per file suffix).
    settings.beginGroup(QStringLiteral("folders"));
    for (const QString& strSuffix : settings.childKeys())
        m_prompts.lastFolders.insert(strSuffix, settings.value(strSuffix).toString());
    settings.endGroup();
    // Auto save comes back only with a folder that is still there.
    const QString strFolder = settings.value(kLogFolder).toString();
    if (settings.value(kAutoSave).toBool() && !strFolder.isEmpty() && QDir(strFolder).exists()) {
        m_chkAutoSave->setChecked(true);
        OnBnClickedAutoSave();
        m_pLog->SetLogFolder(strFolder);
        m_editLogPath->setText(strFolder);
    }
}

void CVelkorDlg::NoteRecentFile(const QString& strPath)
{
    const QString strFull = QFileInfo(strPath).absoluteFilePath();
    m_recentFiles.removeAll(strFull);
    m_recentFiles.prepend(strFull);
    while (m_recentFiles.size() > kMostRecentFiles)
        m_recentFiles.removeLast();
    FillRecentFilesMenu();
}

void CVelkorDlg::OpenRecentFile(const QString& strPath)
{
    // A file that is gone is told as its menu item would tell it, and
    // leaves the list.
    const bool bLoaded = strPath.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive) ? LoadDeviceList(strPath)
                                                                                       : LoadCommandFile(strPath);
    if (!bLoaded && !QFileInfo::exists(strPath)) {
        m_recentFiles.removeAll(strPath);
        FillRecentFilesMenu();
    }
}

void CVelkorDlg::FillRecentFilesMenu()
{
    if (m_pRecentMenu == nullptr)
        return;
    m_pRecentMenu->clear();
    int nItem = 0;
    for (const QString& strPath : std::as_const(m_recentFiles)) {
        ++nItem;
        // The file's name first, its folder after: the name is what a user looks for.
        const QFileInfo info(strPath);
        QString strShown = QStringLiteral("%1  (%2)").arg(info.fileName(), QDir::toNativeSeparators(info.path()));
        strShown.replace(QLatin1Char('&'), QStringLiteral("&&"));  // a file's "&" is no access key
        const QString strText = QStringLiteral("&%1 %2").arg(nItem).arg(strShown);
        QAction* pAction = m_pRecentMenu->addAction(strText);
        pAction->setData(strPath);
        connect(pAction, &QAction::triggered, this, [this, strPath] { OpenRecentFile(strPath); });
    }
    m_pRecentMenu->setEnabled(!m_recentFiles.isEmpty());
}
