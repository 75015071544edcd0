#include "CVelkorDlg.h"

#include "CAboutDlg.h"
#include "CAppIcon.h"
#include "CCommandDlg.h"
#include "CDevicesWindow.h"
#include "CLogBoxQueue.h"
#include "CLogFindBar.h"
#include "CResultsFiles.h"
#include "CResultsWindow.h"
#include "CScreenFit.h"
#include "CTlsOptionsMenu.h"
#include "DialogControls.h"
#include "DialogFont.h"
#include "VelkorVersion.h"
#include "DialogLayout.h"
#include "engine/CRunEngine.h"
#include "engine/RunControlPolicy.h"
#include "log/CLogWriter.h"
#include "platform/TextConv.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QTextDocument>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdAbout = 16;
constexpr int kIdViewResults = 32793;
constexpr int kIdLoadDeviceList = 32801;
constexpr int kIdClearDeviceList = 32802;
constexpr int kIdViewDevices = 32804;

const char* const kVersionText = "ver. " VELKOR_VERSION;

}  // namespace

CVelkorDlg::CVelkorDlg(QWidget* pParent) : QDialog(pParent), m_hIcon(CAppIcon::Icon())
{
    setObjectName(QStringLiteral("102"));
    setWindowTitle(QStringLiteral("Velkor"));
    // Resizable, minimise box, no maximise box.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setSizeGripEnabled(false);

    CreateControls();
    m_pScreenFit = std::make_unique<CScreenFit>(
        *this, *m_pClient, QSize(DialogLayout::kMinClientWidth, DialogLayout::kMinClientHeight),
        QSize(DialogLayout::kSmallestClientWidth, DialogLayout::kSmallestClientHeight));
    CreateMenu();

    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->setSpacing(0);
    pLayout->setMenuBar(m_pMenuBar);
    pLayout->addWidget(m_pClient);

    m_pBoxCommand = std::make_unique<CQtTextBox>(m_editCommand);
    m_pBoxLog = std::make_unique<CQtTextBox>(m_editLog);
    m_pLog = std::make_unique<CLogWriter>(*m_pBoxLog);
    m_pQueue = new CLogBoxQueue(
        *m_pBoxLog, [this](ERunControl eControl, bool bEnable) { ApplyRunControl(int(eControl), bEnable); }, this);
    m_pLog->SetLineSink([pQueue = m_pQueue](const QString& strLine) { pQueue->PostLine(strLine); });
    m_pEngine = std::make_unique<CRunEngine>(*m_pBoxCommand, *m_pBoxLog, *m_pLog, *m_pQueue);
    // Every run reports to the results window, shown or not, so that it
    // has the last run's results whenever it is opened.
    m_pResults = std::make_unique<CResultsWindow>();
    m_pEngine->Context().m_listeners.push_back(&m_pResults->Listener());
    // A device list's fleet: every device's line with its name before it.
    m_pDevices = std::make_unique<CDevicesWindow>(
        [pQueue = m_pQueue](const QString& strLine) { pQueue->PostLine(strLine); },
        [this] { RestoreControlsAfterRun(*m_pQueue, *m_pLog); }, *m_pResults);
    CreateResultsFiles();
    // Until a run reports its own, the chart shows the limit in the box
    // (the figure the next run takes from it).
    connect(m_editResponseLimit, &QLineEdit::textChanged, this,
            [this](const QString& strText) { m_pResults->SetThreshold(ReadLeadingInt(strText.left(15))); });
    CreateExtras();

    OnInitDialog();
}

CVelkorDlg::~CVelkorDlg()
{
    // The worker must be gone before the boxes, the queue and the results
    // window it reports to.
    OnClose();
    // An opening report hands its results to the results window.
    m_pFiles->CancelOpening();
    m_pEngine.reset();
    m_pDevices.reset();
    m_pResults.reset();
}

void CVelkorDlg::CreateControls()
{
    m_pClient = new QWidget(this);
    m_pClient->setObjectName(QStringLiteral("client"));
    m_pClient->setMinimumSize(DialogLayout::kMinClientWidth, DialogLayout::kMinClientHeight);
    m_pClient->installEventFilter(this);
    QWidget* p = m_pClient;

    // Template order: the order of creation.
    m_btnOk = MakeButton(p, kIdOk, QStringLiteral("Ok"));
    m_btnOk->setDefault(true);
    m_btnOk->setVisible(false);
    m_btnClose = MakeButton(p, kIdCancel, QStringLiteral("Close"));
    m_editCommand = MakeMultiLineEdit(p, 1000);
    m_editCommand->installEventFilter(this);
    m_editLog = MakeMultiLineEdit(p, 1001);
    m_editLog->setReadOnly(true);
    m_editLog->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_editLog->setUndoRedoEnabled(false);
    m_btnSend = MakeButton(p, 1002, QStringLiteral("Send"));
    m_btnClearLog = MakeButton(p, 1003, QStringLiteral("Clear log"));
    MakeGroup(p, 1005, QStringLiteral("Http command"));
    MakeStatic(p, 1006, QStringLiteral("\"Menu -> Command -> Show command\""), Qt::AlignLeft | Qt::AlignTop);
    MakeGroup(p, 1016, QStringLiteral("Log"));
    m_btnClearCommand = MakeButton(p, 1004, QStringLiteral("Clear command"));
    m_staticVersion = MakeStatic(p, 1008, QString::fromLatin1(kVersionText), Qt::AlignRight | Qt::AlignTop);
    m_btnStop = MakeButton(p, 1009, QStringLiteral("Stop"));
    m_chkAutoSave = MakeControl<QCheckBox>(p, 1012);
    m_chkAutoSave->setText(QStringLiteral("Use log auto save"));
    MakeGroup(p, 1017, QString());
    m_btnSetPath = MakeButton(p, 1011, QStringLiteral("Set path"));
    MakeGroup(p, 1018, QString());
    m_editLogPath = MakeLineEdit(p, 1014);
    m_editLogPath->setReadOnly(true);
    m_radioClickEnable = MakeControl<QRadioButton>(p, 1023);
    m_radioClickEnable->setText(QStringLiteral("Click Enable"));
    m_radioClickDisable = MakeControl<QRadioButton>(p, 1024);
    m_radioClickDisable->setText(QStringLiteral("Click Disable"));
    MakeStatic(p, 1027, QStringLiteral("Check response time that is greater than"), Qt::AlignRight | Qt::AlignTop);
    MakeGroup(p, 1026, QString());
    m_editResponseLimit = MakeLineEdit(p, 1025);
    m_editResponseLimit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), m_editResponseLimit));
    MakeStatic(p, 1028, QStringLiteral("ms"), Qt::AlignLeft | Qt::AlignTop);
    m_staticIdLabel = MakeStatic(p, 1031, QStringLiteral("ID :"), Qt::AlignRight | Qt::AlignVCenter);
    m_staticPasswordLabel = MakeStatic(p, 1032, QStringLiteral("Password :"), Qt::AlignRight | Qt::AlignVCenter);
    m_editId = MakeLineEdit(p, 1029);
    m_editPassword = MakeLineEdit(p, 1030);  // shown in clear text

    // F5 sends and Shift+F5 stops, as the buttons do: a key does nothing
    // while its button is disabled.
    m_btnSend->setShortcut(QKeySequence(Qt::Key_F5));
    m_btnSend->setToolTip(QStringLiteral("Run the script (F5)"));
    m_btnStop->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F5));
    m_btnStop->setToolTip(QStringLiteral("Stop the run (Shift+F5)"));
    connect(m_editCommand->document(), &QTextDocument::contentsChanged, this, [this] {
        if (!m_bCommandChanged && !m_strTitleFile.isEmpty()) {
            m_bCommandChanged = true;
            UpdateTitle();
        }
    });
    connect(m_btnSend, &QPushButton::clicked, this, [this] { OnBnClickedSend(); });
    connect(m_btnClose, &QPushButton::clicked, this, [this] { OnBnClickedCancel(); });
    connect(m_btnClearLog, &QPushButton::clicked, this, [this] { OnBnClickedClearLog(); });
    connect(m_btnClearCommand, &QPushButton::clicked, this, [this] { OnBnClickedClearCommand(); });
    connect(m_btnStop, &QPushButton::clicked, this, [this] { OnBnClickedStop(); });
    connect(m_chkAutoSave, &QCheckBox::clicked, this, [this] { OnBnClickedAutoSave(); });
    connect(m_btnSetPath, &QPushButton::clicked, this, [this] { OnBnClickedSetPath(); });
    connect(m_radioClickEnable, &QRadioButton::clicked, this, [this] { OnBnClickedClickEnable(); });
    connect(m_radioClickDisable, &QRadioButton::clicked, this, [this] { OnBnClickedClickDisable(); });
}

void CVelkorDlg::CreateMenu()
{
    m_pMenuBar = new QMenuBar(this);
    m_pMenuBar->setObjectName(QStringLiteral("129"));
    // The texts carry access keys (Alt+F opens "File"); the keys shown in
    // the menus are the desktop's usual ones.
    QMenu* pFile = m_pMenuBar->addMenu(QStringLiteral("&File"));
    connect(AddCommand(pFile, 32780, QStringLiteral("&Save command"), QKeySequence(Qt::CTRL | Qt::Key_S)),
            &QAction::triggered, this, [this] { OnSaveCommand(); });
    connect(AddCommand(pFile, 32779, QStringLiteral("&Load command"), QKeySequence(Qt::CTRL | Qt::Key_O)),
            &QAction::triggered, this, [this] { OnLoadCommand(); });
    pFile->addSeparator();
    connect(AddCommand(pFile, 32778, QStringLiteral("Save lo&g")), &QAction::triggered, this,
            [this] { OnSaveLog(); });
    AddResultsCommands(pFile);
    pFile->addSeparator();
    connect(AddCommand(pFile, kIdLoadDeviceList, QStringLiteral("Load &device list...")), &QAction::triggered, this,
            [this] { OnLoadDeviceList(); });
    connect(AddCommand(pFile, kIdClearDeviceList, QStringLiteral("Clea&r device list")), &QAction::triggered, this,
            [this] { OnClearDeviceList(); });
    pFile->addSeparator();
    m_pRecentMenu = pFile->addMenu(QStringLiteral("Recent &files"));
    FillRecentFilesMenu();
    QMenu* pCommand = m_pMenuBar->addMenu(QStringLiteral("&Command"));
    connect(AddCommand(pCommand, 32782, QStringLiteral("&Show command"), QKeySequence(Qt::Key_F1)),
            &QAction::triggered, this, [this] { OnShowCommand(); });
    // How https devices' certificates are checked; each run takes the
    // settings as they are when it starts.
    m_pTlsMenu = std::make_unique<CTlsOptionsMenu>(m_pMenuBar->addMenu(QStringLiteral("&Options")), this, m_prompts);
    QMenu* pView = m_pMenuBar->addMenu(QStringLiteral("&View"));
    connect(AddCommand(pView, kIdViewResults, QStringLiteral("&Results"), QKeySequence(Qt::CTRL | Qt::Key_R)),
            &QAction::triggered, this, [this] { OnViewResults(); });
    connect(AddCommand(pView, kIdViewDevices, QStringLiteral("&Devices")), &QAction::triggered, this,
            [this] { OnViewDevices(); });
    // There is no window menu of the system's to add the about item to; it
    // gets a last menu of its own.
    QMenu* pHelp = m_pMenuBar->addMenu(QStringLiteral("&Help"));
    connect(AddCommand(pHelp, kIdAbout, CAboutDlg::MenuText()), &QAction::triggered, this,
            [this] { OnSysCommand(kIdAbout); });
}

void CVelkorDlg::OnViewResults()
{
    m_pResults->ShowBeside(this);
    // A fleet's results are handed to a shown window only.
    m_pDevices->ShowPickedResults(false);
}

void CVelkorDlg::OnViewDevices() { m_pDevices->ShowBeside(this); }

void CVelkorDlg::OnShowCommand()
{
    auto* pHelp = new CCommandDlg(this);
    pHelp->show();
}

void CVelkorDlg::OnSysCommand(int nID)
{
    if ((nID & 0xFFF0) == kIdAbout) {
        CAboutDlg dlgAbout(this);
        dlgAbout.exec();
    }
}

void CVelkorDlg::OnInitDialog()
{
    setWindowIcon(m_hIcon);
    m_editResponseLimit->setText(QString::number(CRunSettings::kDefaultThresholdMs));
    m_bLayoutReady = false;
    // The template's font, checked against the captions where the table
    // places them.
    m_pClient->resize(DialogLayout::kMinClientWidth, DialogLayout::kMinClientHeight);
    ArrangeControls();
    ApplyDialogFont(this, 9);
    // The window opens at its smallest size: a client area of 1008 x 912,
    // or what a smaller screen leaves.
    m_pScreenFit->FitToCurrentScreen();
    resize(minimumSizeHint());
    m_pBoxCommand->SetWindowText(QString());
    m_btnStop->setEnabled(false);
    m_pLog->SetAutoSave(false);
    m_pLog->SetLogFolder(QString());
    m_pLog->SetLogFileName(QString());
    m_chkAutoSave->setChecked(false);
    m_btnSetPath->setEnabled(false);
    m_radioClickEnable->setChecked(false);
    m_radioClickDisable->setChecked(true);
    m_editLog->setEnabled(false);
    ArrangeControls();
    m_bLayoutReady = true;
    m_editId->setText(CRunSettings::kDefaultId);
    m_editPassword->setText(CRunSettings::kDefaultPassword);
}

void CVelkorDlg::FitToScreenArea(const QRect& area) { m_pScreenFit->FitToArea(area); }

void CVelkorDlg::showEvent(QShowEvent* pEvent)
{
    QDialog::showEvent(pEvent);
    m_pScreenFit->OnShown();
}

void CVelkorDlg::moveEvent(QMoveEvent* pEvent)
{
    QDialog::moveEvent(pEvent);
    m_pScreenFit->OnMoved();
}

QWidget* CVelkorDlg::Control(int nId) const
{
    return m_pClient->findChild<QWidget*>(QString::number(nId), Qt::FindDirectChildrenOnly);
}

void CVelkorDlg::ArrangeControls()
{
    const QRect client = m_pClient->rect();
    for (const DialogLayout::SPlacement& placement : DialogLayout::Placements(client.width(), client.height())) {
        QWidget* pControl = Control(placement.nId);
        if (pControl == nullptr)
            continue;
        // Negative sizes (a client area under 20 pixels high) are shown as
        // empty controls.
        QRect rect = placement.rect;
        rect.setWidth(std::max(0, rect.width()));
        rect.setHeight(std::max(0, rect.height()));
        pControl->setGeometry(rect);
        // Each placed control goes on top of its siblings, so a group box
        // lies beneath the controls it frames.
        pControl->raise();
        if (placement.nId == 1008)
            pControl->repaint();
    }
    SetTabOrder();
    if (m_pFindBar != nullptr)
        m_pFindBar->Reposition();
}

void CVelkorDlg::SetTabOrder()
{
    // The reverse of the placing order, then the hidden "Ok".
    const std::vector<int> ids = DialogLayout::PlacingOrder();
    QWidget* pPrevious = nullptr;
    for (auto it = ids.rbegin(); it != ids.rend(); ++it) {
        QWidget* pControl = Control(*it);
        if ((pControl->focusPolicy() & Qt::TabFocus) == 0)
            continue;  // labels and group boxes take no focus
        if (pPrevious != nullptr)
            QWidget::setTabOrder(pPrevious, pControl);
        pPrevious = pControl;
    }
    QWidget::setTabOrder(pPrevious, m_btnOk);
}

bool CVelkorDlg::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    if (pWatched == m_pClient && pEvent->type() == QEvent::Resize) {
        if (m_bLayoutReady)
            ArrangeControls();
        return false;
    }
    if (pWatched == m_editCommand && pEvent->type() == QEvent::KeyPress) {
        const auto* pKey = static_cast<QKeyEvent*>(pEvent);
        if (pKey->key() == Qt::Key_Return || pKey->key() == Qt::Key_Enter)
            return AppendLineBreakToCommand();
    }
    return QDialog::eventFilter(pWatched, pEvent);
}

bool CVelkorDlg::AppendLineBreakToCommand()
{
    // Enter in the script always ends the script with a new line, wherever
    // the caret is.
    ITextBox& box = *m_pBoxCommand;
    const int nLength = box.GetTextLength();
    box.SetSel(nLength, nLength);
    box.ScrollCaret();
    box.ReplaceSel(QStringLiteral("\r\n"));
    return true;
}

void CVelkorDlg::keyPressEvent(QKeyEvent* pEvent)
{
    switch (pEvent->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        // A focused button has taken its Enter already; anywhere else Enter
        // and Escape keep the window and its script.
        pEvent->accept();
        return;
    default:
        QDialog::keyPressEvent(pEvent);
    }
}

void CVelkorDlg::reject() {}

void CVelkorDlg::closeEvent(QCloseEvent* pEvent)
{
    OnClose();
    m_pResults->close();
    m_pDevices->close();
    pEvent->accept();
    done(QDialog::Rejected);
}

void CVelkorDlg::OnClose()
{
    if (m_pEngine == nullptr)
        return;
    // Ends a running script at once and waits for its worker; what it had
    // handed over still reaches the log box.
    m_pEngine->OnClose();
    if (m_pDevices != nullptr)
        m_pDevices->AbortFleet();
    m_pQueue->Drain();
}

void CVelkorDlg::FlushPendingLog() { m_pQueue->Drain(); }
