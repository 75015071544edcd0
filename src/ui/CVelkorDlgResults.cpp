// The main window's part of the results as files: File > Save results as...
// File > Open results... (CResultsFiles does the work) and File > Compare
// with... (CResultsComparison).
#include "CVelkorDlg.h"

#include "CDevicesWindow.h"
#include "CResultsComparison.h"
#include "CResultsFiles.h"
#include "CResultsWindow.h"
#include "DialogControls.h"
#include "engine/CRunEngine.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>

namespace {

constexpr int kIdSaveResults = 32831;
constexpr int kIdOpenResults = 32832;
constexpr int kIdCompareResults = 32833;

}  // namespace

void CVelkorDlg::CreateResultsFiles()
{
    m_pFiles = new CResultsFiles(*this, *m_pResults, *m_pDevices, m_prompts);
    // A run's reports, as velkor-cli keeps them, beside the results window.
    m_pEngine->Context().m_listeners.push_back(&m_pFiles->RunListener());
    m_pResults->SetOnSaveResults([this] { m_pFiles->OnSaveResults(); });
    m_pComparison = new CResultsComparison(*this, *m_pResults, *m_pFiles, m_prompts);
    m_pResults->SetOnCompare([this] { CompareResults(); }, [this] { m_pComparison->Clear(); });
}

void CVelkorDlg::CompareResults()
{
    if (IsRunning() || m_pFiles->IsOpening()) {
        m_prompts.ShowError(this, QStringLiteral("Results cannot be compared while a run is going on or a report is "
                                                 "being opened: wait for it to end."));
        return;
    }
    m_pComparison->OnCompare();
}

void CVelkorDlg::AddResultsCommands(QMenu* pFile)
{
    connect(AddCommand(pFile, kIdSaveResults, QStringLiteral("Save res&ults as...")), &QAction::triggered, this,
            [this] { m_pFiles->OnSaveResults(); });
    connect(AddCommand(pFile, kIdOpenResults, QStringLiteral("Open resul&ts...")), &QAction::triggered, this,
            [this] {
                if (IsRunning())
                    OpenResults(QString());
                else
                    m_pFiles->OnOpenResults();
            });
    connect(AddCommand(pFile, kIdCompareResults, QStringLiteral("Compare &with...")), &QAction::triggered, this,
            [this] { CompareResults(); });
}

void CVelkorDlg::OpenResults(const QString& path)
{
    if (IsRunning()) {
        m_prompts.ShowError(this, QStringLiteral("Results cannot be opened while a run is going on: stop it first."));
        return;
    }
    m_pFiles->OpenResults(path);
}
