#include "CVelkorDlg.h"

#include "CAboutDlg.h"
#include "CAppIcon.h"
#include "CCommandDlg.h"
#include "CLogBoxQueue.h"
#include "CResultsWindow.h"
#include "DialogFont.h"
#include "engine/CRunEngine.h"
#include "http/CTlsConnection.h"
#include "log/CCommandFile.h"
#include "log/CLogWriter.h"
#include "platform/TextConv.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
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
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

namespace {

constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdAbout = 16;
constexpr int kIdTrustFile = 32790;
constexpr int kIdClearFile = 32791;
constexpr int kIdInsecure = 32792;
constexpr int kIdViewResults = 32793;

const char* const kVersionText = "ver. 1.0.1.4";

template <typename T>
T* MakeControl(QWidget* pParent, int nId)
{
    auto* pControl = new T(pParent);
    pControl->setObjectName(QString::number(nId));
    return pControl;
}

QPushButton* MakeButton(QWidget* pParent, int nId, const QString& strCaption)
{
    auto* pButton = MakeControl<QPushButton>(pParent, nId);
    pButton->setText(strCaption);
    // Enter on a button that has the focus clicks it.
    pButton->setAutoDefault(true);
    return pButton;
}

QLabel* MakeStatic(QWidget* pParent, int nId, const QString& strCaption, Qt::Alignment alignment)
{
    auto* pLabel = MakeControl<QLabel>(pParent, nId);
    pLabel->setText(strCaption);
    pLabel->setTextFormat(Qt::PlainText);
    pLabel->setAlignment(alignment);
    return pLabel;
}

QGroupBox* MakeGroup(QWidget* pParent, int nId, const QString& strCaption)
{
    auto* pGroup = MakeControl<QGroupBox>(pParent, nId);
    pGroup->setTitle(strCaption);
    return pGroup;
}

QPlainTextEdit* MakeMultiLineEdit(QWidget* pParent, int nId)
{
    auto* pEdit = MakeControl<QPlainTextEdit>(pParent, nId);
    pEdit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    pEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    pEdit->setTabChangesFocus(true);
    return pEdit;
}

QLineEdit* MakeLineEdit(QWidget* pParent, int nId)
{
    return MakeControl<QLineEdit>(pParent, nId);
}

QAction* AddCommand(QMenu* pMenu, int nId, const QString& strText, const QKeySequence& shortcut = {})
{
    QAction* pAction = pMenu->addAction(strText);
    pAction->setObjectName(QString::number(nId));
    pAction->setShortcut(shortcut);
    return pAction;
}

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
    // Until a run reports its own, the chart shows the limit in the box
    // (the figure the next run takes from it).
    connect(m_editResponseLimit, &QLineEdit::textChanged, this,
            [this](const QString& strText) { m_pResults->SetThreshold(ReadLeadingInt(strText.left(15))); });

    OnInitDialog();
}

CVelkorDlg::~CVelkorDlg()
{
    // The worker must be gone before the boxes, the queue and the results
    // window it reports to.
    OnClose();
    m_pEngine.reset();
    m_pResults.reset();
}

void CVelkorDlg::CreateControls()
{
    m_pClient = new QWidget(this);
    m_pClient->setObjectName(QStringLiteral("client"));
    m_pClient->setMinimumSize(kMinClientWidth, kMinClientHeight);
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
    QMenu* pCommand = m_pMenuBar->addMenu(QStringLiteral("&Command"));
    connect(AddCommand(pCommand, 32782, QStringLiteral("&Show command"), QKeySequence(Qt::Key_F1)),
            &QAction::triggered, this, [this] { OnShowCommand(); });
    // How https devices' certificates are checked; each run takes the
    // settings as they are when it starts.
    QMenu* pOptions = m_pMenuBar->addMenu(QStringLiteral("&Options"));
    m_pActTrustFile = AddCommand(pOptions, kIdTrustFile, QStringLiteral("&Trust certificate file..."));
    m_pActTrustFile->setCheckable(true);
    connect(m_pActTrustFile, &QAction::triggered, this, [this] { OnTrustCertificateFile(); });
    m_pActClearFile = AddCommand(pOptions, kIdClearFile, QString());
    connect(m_pActClearFile, &QAction::triggered, this, [this] { OnClearCertificateFile(); });
    pOptions->addSeparator();
    m_pActInsecure = AddCommand(pOptions, kIdInsecure, QStringLiteral("&Accept any certificate (insecure)"));
    m_pActInsecure->setCheckable(true);
    ShowCertificateFile();
    QMenu* pView = m_pMenuBar->addMenu(QStringLiteral("&View"));
    connect(AddCommand(pView, kIdViewResults, QStringLiteral("&Results"), QKeySequence(Qt::CTRL | Qt::Key_R)),
            &QAction::triggered, this, [this] { OnViewResults(); });
    // There is no window menu of the system's to add the about item to; it
    // gets a last menu of its own.
    QMenu* pHelp = m_pMenuBar->addMenu(QStringLiteral("&Help"));
    connect(AddCommand(pHelp, kIdAbout, CAboutDlg::MenuText()), &QAction::triggered, this,
            [this] { OnSysCommand(kIdAbout); });
}

void CVelkorDlg::OnTrustCertificateFile()
{
    CUserPrompts::SFileRequest request;
    request.strFilter = QStringLiteral("Certificates (*.pem *.crt *.cer);;All Files (*.*)");
    const QString strPath = m_prompts.ChooseFile(this, request);
    // A file that cannot serve is told at once, and the trusted file stays.
    QString strProblem;
    if (!strPath.isEmpty() && !CTlsConnection::CheckCaFile(strPath, &strProblem))
        m_prompts.ShowError(this,
                            QStringLiteral("The certificate file %1 cannot be used: %2").arg(strPath, strProblem));
    else if (!strPath.isEmpty())
        m_strCaFile = strPath;
    // Choosing the item toggled its check mark: it shows the setting again.
    ShowCertificateFile();
}

void CVelkorDlg::OnClearCertificateFile()
{
    m_strCaFile.clear();
    ShowCertificateFile();
}

void CVelkorDlg::ShowCertificateFile()
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

void CVelkorDlg::OnViewResults() { m_pResults->ShowBeside(this); }

void CVelkorDlg::OnInitDialog()
{
    setWindowIcon(m_hIcon);
    m_editResponseLimit->setText(QString::number(CRunSettings::kDefaultThresholdMs));
    m_bLayoutReady = false;
    // The template's font, checked against the captions where the table
    // places them.
    m_pClient->resize(kMinClientWidth, kMinClientHeight);
    ArrangeControls();
    ApplyDialogFont(this, 9);
    // The window opens at its smallest size: a client area of 1008 x 912,
    // or what a smaller screen leaves.
    FitToCurrentScreen();
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

namespace {

// The bottom panel: its rows need this width, else the threshold sentence
// goes to a second row, left, under the credentials.
constexpr int kPanelWidth = 990;
constexpr int kPanelHeight = 160;
constexpr int kNarrowPanelHeight = 230;

}  // namespace

std::vector<CVelkorDlg::SPlacement> CVelkorDlg::Placements(int W, int H)
{
    const bool bNarrow = W < kPanelWidth;
    int a = (H - 20) / 3;  // truncated toward zero
    // A client area lower than the table was made for (a small screen):
    // the two boxes give up height so that the panel, 10 px above the
    // bottom edge, stays whole. Only a minimised window is lower still.
    if (H >= kSmallestClientHeight)
        a = std::min(a, (H - 150 - (bNarrow ? kNarrowPanelHeight : kPanelHeight)) / 2);
    std::vector<SPlacement> placements{
        {1008, {0, 0, W - 10, 20}},
        {1005, {10, 20, W - 20, a + 50}},
        {1006, {25, 40, W - 40, 20}},
        {1000, {25, 60, W - 45, a}},
        {1016, {10, a + 80, W - 20, a + 60}},
        {1023, {30, a + 100, 100, 20}},
        {1024, {140, a + 100, 100, 20}},
        {1001, {25, a + 130, W - 45, a - 30}},
        {1017, {10, 2 * a + 140, 250, 160}},
        {1031, {25, 2 * a + 160, 70, 25}},
        {1029, {100, 2 * a + 160, 150, 25}},
        {1032, {25, 2 * a + 190, 70, 25}},
        {1030, {100, 2 * a + 190, 150, 25}},
        {1002, {25, 2 * a + 225, 100, 30}},
        {1009, {135, 2 * a + 225, 100, 30}},
        {1004, {25, 2 * a + 260, 100, 30}},
        {1003, {135, 2 * a + 260, 100, 30}},
        {1018, {270, 2 * a + 140, 300, 100}},
        {1012, {280, 2 * a + 160, 150, 30}},
        {1011, {440, 2 * a + 160, 100, 30}},
        {1014, {280, 2 * a + 200, 280, 30}},
        {kIdCancel, {W - 160, H - 40, 150, 30}},
        {1026, {580, 2 * a + 140, 400, 60}},
        {1027, {590, 2 * a + 160, 250, 30}},
        {1025, {860, 2 * a + 160, 50, 25}},
        {1028, {920, 2 * a + 160, 50, 30}},
    };
    if (bNarrow) {
        // The threshold group and its sentence: to (10, 2a + 310), the
        // bottom of the taller panel.
        for (SPlacement& placement : placements) {
            if (placement.nId == 1026 || placement.nId == 1027 || placement.nId == 1025 || placement.nId == 1028)
                placement.rect.translate(10 - 580, kNarrowPanelHeight - 60);
        }
    }
    return placements;
}

void CVelkorDlg::FitToScreenArea(const QRect& area)
{
    // What the window adds around the client area: the menu bar, and the
    // frame once the desktop has put one around the window.
    const QSize frame = frameGeometry().size() - size();
    const QSize around = minimumSizeHint() - m_pClient->minimumSize() + frame;
    m_frameSize = frame;
    const QSize client = (area.size() - around)
                             .boundedTo(QSize(kMinClientWidth, kMinClientHeight))
                             .expandedTo(QSize(kSmallestClientWidth, kSmallestClientHeight));
    m_pClient->setMinimumSize(client);
    layout()->activate();  // the window's own minimum follows at once
    const QSize largest = area.size() - frame;
    if (width() > largest.width() || height() > largest.height())
        resize(size().boundedTo(largest).expandedTo(minimumSizeHint()));
    if (isVisible() && !area.contains(frameGeometry())) {
        const QRect shown = frameGeometry();
        move(std::max(area.left(), std::min(shown.left(), area.right() + 1 - shown.width())),
             std::max(area.top(), std::min(shown.top(), area.bottom() + 1 - shown.height())));
    }
}

void CVelkorDlg::FitToCurrentScreen()
{
    if (QScreen* pScreen = screen())
        FitToScreenArea(pScreen->availableGeometry());
}

void CVelkorDlg::showEvent(QShowEvent* pEvent)
{
    QDialog::showEvent(pEvent);
    if (!m_bScreenWatched && windowHandle() != nullptr) {
        m_bScreenWatched = true;
        connect(windowHandle(), &QWindow::screenChanged, this, [this] { FitToCurrentScreen(); });
    }
    FitToCurrentScreen();
}

void CVelkorDlg::moveEvent(QMoveEvent* pEvent)
{
    QDialog::moveEvent(pEvent);
    // Some desktops frame a window only after showing it; fit it again once
    // the frame is known.
    if (isVisible() && frameGeometry().size() - size() != m_frameSize)
        FitToCurrentScreen();
}

QWidget* CVelkorDlg::Control(int nId) const
{
    return m_pClient->findChild<QWidget*>(QString::number(nId), Qt::FindDirectChildrenOnly);
}

void CVelkorDlg::ArrangeControls()
{
    const QRect client = m_pClient->rect();
    for (const SPlacement& placement : Placements(client.width(), client.height())) {
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
}

void CVelkorDlg::SetTabOrder()
{
    // The reverse of the placing order, then the hidden "Ok".
    const auto placements = Placements(0, 0);
    QWidget* pPrevious = nullptr;
    for (auto it = placements.rbegin(); it != placements.rend(); ++it) {
        QWidget* pControl = Control(it->nId);
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
    m_pQueue->Drain();
}

void CVelkorDlg::FlushPendingLog() { m_pQueue->Drain(); }

void CVelkorDlg::OnBnClickedCancel() { close(); }

void CVelkorDlg::OnBnClickedSend()
{
    // Lines of an earlier run that are still on their way go in first, so
    // that emptying the log box for this run leaves none of them behind.
    m_pQueue->Drain();
    if (!m_pEngine->IsRunning())
        m_pEngine->Context().m_strScriptName = m_strCommandFileName;
    CRunSettings settings;
    settings.strId = m_editId->text();
    settings.strPassword = m_editPassword->text();
    settings.nThresholdMs = CRunSettings::ThresholdFromBox(m_editResponseLimit->text());
    settings.tls.strCaFile = m_strCaFile;
    settings.tls.bInsecure = m_pActInsecure->isChecked();
    const CRunEngine::ESendResult eResult = m_pEngine->OnBnClickedSend(settings);
    if (eResult == CRunEngine::ESendResult::NeedLogFolder)
        m_prompts.ShowError(this, QStringLiteral("Please set a path to save a log."));
}

void CVelkorDlg::OnBnClickedStop() { m_pEngine->OnBnClickedStop(); }

void CVelkorDlg::OnBnClickedClearLog()
{
    m_pQueue->Drain();
    m_pBoxLog->SetWindowText(QString());
}

void CVelkorDlg::OnBnClickedClearCommand()
{
    m_pBoxCommand->SetWindowText(QString());
    m_strCommandFileName.clear();
}

void CVelkorDlg::OnBnClickedClickEnable()
{
    m_radioClickEnable->setChecked(true);
    m_radioClickDisable->setChecked(false);
    m_pBoxLog->EnableWindow(true);
}

void CVelkorDlg::OnBnClickedClickDisable()
{
    m_radioClickEnable->setChecked(false);
    m_radioClickDisable->setChecked(true);
    m_pBoxLog->EnableWindow(false);
}

void CVelkorDlg::OnBnClickedAutoSave()
{
    const bool bAutoSave = m_chkAutoSave->isChecked();
    m_pLog->SetAutoSave(bAutoSave);
    m_btnSetPath->setEnabled(bAutoSave);
    if (!bAutoSave) {
        m_pLog->SetLogFileName(QString());
        m_pLog->SetLogFolder(QString());
    }
    m_editLogPath->setText(m_pLog->LogFolder());
}

void CVelkorDlg::OnBnClickedSetPath()
{
    const QString strFolder =
        m_prompts.ChooseFolder(this, QStringLiteral("Select a folder to save a log"), m_pLog->LogFolder());
    if (strFolder.isEmpty())
        return;  // cancelled: the folder stays
    m_pLog->SetLogFolder(strFolder);
    m_editLogPath->setText(strFolder);
}

namespace {

const QString kCommandFilter = QStringLiteral("command files (*.cmf);;All Files (*.*)");
const QString kLogFilter = QStringLiteral("text files (*.txt);;All Files (*.*)");

}  // namespace

void CVelkorDlg::OnSaveCommand()
{
    const QString strPath = m_prompts.ChooseFile(this, {true, kCommandFilter, QStringLiteral("cmf")});
    QString strError;
    if (!strPath.isEmpty() && !CCommandFile::SaveLines(strPath, *m_pBoxCommand, false, strError))
        m_prompts.ShowError(this, strError);
}

void CVelkorDlg::OnLoadCommand()
{
    const QString strPath = m_prompts.ChooseFile(this, {false, kCommandFilter, QStringLiteral("cmf")});
    if (!strPath.isEmpty())
        LoadCommandFile(strPath);
}

bool CVelkorDlg::LoadCommandFile(const QString& path)
{
    QStringList lines;
    QString strError;
    if (!CCommandFile::ReadLines(path, lines, strError)) {
        m_prompts.ShowError(this, strError);
        return false;
    }
    CCommandFile::InsertLines(*m_pBoxCommand, lines);
    m_strCommandFileName = QFileInfo(path).fileName();
    return true;
}

void CVelkorDlg::OnSaveLog()
{
    const QString strPath = m_prompts.ChooseFile(this, {true, kLogFilter, QStringLiteral("txt")});
    if (strPath.isEmpty())
        return;
    // The log as it stands, with the lines a worker has handed over.
    FlushPendingLog();
    QString strError;
    if (!CCommandFile::SaveLines(strPath, *m_pBoxLog, true, strError))
        m_prompts.ShowError(this, strError);
}

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

void CVelkorDlg::ApplyRunControl(int nControl, bool bEnable)
{
    switch (ERunControl(nControl)) {
    case ERunControl::Send: m_btnSend->setEnabled(bEnable); break;
    case ERunControl::Stop: m_btnStop->setEnabled(bEnable); break;
    case ERunControl::CommandBox: m_pBoxCommand->EnableWindow(bEnable); break;
    case ERunControl::ClearCommand: m_btnClearCommand->setEnabled(bEnable); break;
    case ERunControl::ClearLog: m_btnClearLog->setEnabled(bEnable); break;
    case ERunControl::AutoSave: m_chkAutoSave->setEnabled(bEnable); break;
    case ERunControl::Threshold: m_editResponseLimit->setEnabled(bEnable); break;
    case ERunControl::SetPath: m_btnSetPath->setEnabled(bEnable); break;
    }
}
