// The main window's additions for daily use, beside the controls it was
// drawn with: the status line under them, Ctrl+F's find bar above the log
// box, and files dropped on the window.
#include "CVelkorDlg.h"

#include "CLogFindBar.h"
#include "CRunStatusLine.h"
#include "CScreenFit.h"
#include "CTlsOptionsMenu.h"
#include "DialogLayout.h"
#include "engine/CRunEngine.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLayout>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QUrl>

namespace {

constexpr int kIdRunGroup = 1017;
constexpr int kRunGroupMargin = 10;

}  // namespace

void CVelkorDlg::CreateExtras()
{
    // Under the client area: the window grows by the strip's height, and
    // every control keeps the place the layout gives it.
    m_pStatusLine = new CRunStatusLine(this);
    layout()->addWidget(m_pStatusLine);
    m_pEngine->Context().m_listeners.push_back(&m_pStatusLine->Counter());
    QAction* pInsecure = m_pTlsMenu->InsecureAction();
    connect(pInsecure, &QAction::toggled, this, [this](bool bOn) { m_pStatusLine->SetAcceptAnyCertificate(bOn); });
    m_pStatusLine->SetAcceptAnyCertificate(pInsecure->isChecked());

    m_pFindBar = new CLogFindBar(m_pClient, m_editLog);
    auto* pFind = new QShortcut(QKeySequence::Find, this);
    connect(pFind, &QShortcut::activated, this, [this] { m_pFindBar->Open(); });

    setAcceptDrops(true);

    // A window that cannot stand beside this one leaves its run buttons
    // (ID, password, "Send", "Stop", in the group at the left) uncovered.
    for (const DialogLayout::SPlacement& placement :
         DialogLayout::Placements(DialogLayout::kMinClientWidth, DialogLayout::kMinClientHeight)) {
        if (placement.nId == kIdRunGroup)
            m_pScreenFit->SetUncoveredLeft(placement.rect.right() + 1 + kRunGroupMargin);
    }
}

QString CVelkorDlg::DroppedFile(const QMimeData* pData)
{
    if (pData == nullptr || !pData->hasUrls() || pData->urls().size() != 1)
        return QString();
    const QUrl url = pData->urls().constFirst();
    return url.isLocalFile() ? url.toLocalFile() : QString();
}

void CVelkorDlg::dragEnterEvent(QDragEnterEvent* pEvent)
{
    // Any files are taken; what this window cannot load is told when dropped.
    if (pEvent->mimeData() != nullptr && pEvent->mimeData()->hasUrls())
        pEvent->acceptProposedAction();
}

void CVelkorDlg::dropEvent(QDropEvent* pEvent)
{
    if (pEvent->mimeData() == nullptr || !pEvent->mimeData()->hasUrls())
        return;
    pEvent->acceptProposedAction();
    const QString strPath = DroppedFile(pEvent->mimeData());
    // The message box of a file that cannot be loaded must not hold the
    // desktop's drag until it is closed.
    QMetaObject::invokeMethod(
        this,
        [this, strPath] {
            if (!strPath.isEmpty())
                OpenDroppedFile(strPath);
            else
                m_prompts.ShowError(this, QStringLiteral("Drop one file at a time: a command file (.cmf), a "
                                                         "device list (.csv) or a saved report (.json)."));
        },
        Qt::QueuedConnection);
}

bool CVelkorDlg::OpenDroppedFile(const QString& path)
{
    const QString strSuffix = QFileInfo(path).suffix().toLower();
    if (strSuffix == QLatin1String("cmf"))
        return LoadCommandFile(path);
    if (strSuffix == QLatin1String("csv")) {
        if (IsRunning()) {
            m_prompts.ShowError(this, QStringLiteral("The device list %1 cannot be loaded while a run goes.")
                                          .arg(QFileInfo(path).fileName()));
            return false;
        }
        return LoadDeviceList(path);
    }
    if (strSuffix == QLatin1String("json")) {
        // As File > Open results...: read on a thread of its own, and a
        // message box when it cannot be (or while a run goes).
        const bool bOpens = !IsRunning();
        OpenResults(path);
        return bOpens;
    }
    m_prompts.ShowError(this, QStringLiteral("%1 is not a command file (.cmf), a device list (.csv) or a saved "
                                             "report (.json): only those can be dropped on the window.")
                                  .arg(QFileInfo(path).fileName()));
    return false;
}
