#include "VelkorVersion.h"
#include "DlgFixture.h"

#include "CTestResponder.h"
#include "log/CLogWriter.h"
#include "ui/DialogLayout.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTimer>

namespace {

const QByteArray kOk = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";

QString Url(int nPort) { return QStringLiteral("http://127.0.0.1:%1/httpapi/a").arg(nPort); }

}  // namespace

using VelkorDlg = DlgFixture;

TEST_F(VelkorDlg, OpensWithItsDefaults)
{
    EXPECT_EQ(m_pDlg->windowTitle(), QStringLiteral("Velkor"));
    EXPECT_EQ(m_pDlg->ClientArea()->size(), QSize(1008, 912));
    EXPECT_EQ(Ctl<QLabel>(1008)->text(), QStringLiteral("ver. " VELKOR_VERSION));
    EXPECT_TRUE(Ctl<QLabel>(1008)->alignment() & Qt::AlignRight);
    EXPECT_EQ(Ctl<QLineEdit>(1025)->text(), QStringLiteral("300"));
    EXPECT_EQ(Ctl<QLineEdit>(1029)->text(), QStringLiteral("admin"));
    EXPECT_EQ(Ctl<QLineEdit>(1030)->text(), QStringLiteral("4719"));
    EXPECT_EQ(Ctl<QLineEdit>(1030)->echoMode(), QLineEdit::Normal) << "the password shows in clear text";
    EXPECT_TRUE(m_pDlg->CommandBox().GetWindowText().isEmpty());
    EXPECT_TRUE(Log().isEmpty());
    EXPECT_FALSE(Enabled(1001)) << "the log starts greyed";
    EXPECT_TRUE(Ctl<QRadioButton>(1024)->isChecked());
    EXPECT_FALSE(Ctl<QRadioButton>(1023)->isChecked());
    EXPECT_TRUE(Enabled(1002));
    EXPECT_FALSE(Enabled(1009));
    EXPECT_FALSE(Enabled(1011));
    EXPECT_FALSE(Ctl<QCheckBox>(1012)->isChecked());
    EXPECT_TRUE(Ctl<QLineEdit>(1014)->text().isEmpty());
    EXPECT_TRUE(Ctl<QLineEdit>(1014)->isReadOnly());
    EXPECT_TRUE(Ctl<QPlainTextEdit>(1001)->isReadOnly());
    EXPECT_FALSE(Ctl<QPushButton>(1)->isVisible()) << "the default button is hidden";

    const QList<std::pair<int, QString>> captions{
        {2, QStringLiteral("Close")},          {1002, QStringLiteral("Send")},
        {1003, QStringLiteral("Clear log")},   {1004, QStringLiteral("Clear command")},
        {1009, QStringLiteral("Stop")},        {1011, QStringLiteral("Set path")}};
    for (const auto& [nId, strCaption] : captions)
        EXPECT_EQ(Ctl<QPushButton>(nId)->text(), strCaption) << nId;
    EXPECT_EQ(Ctl<QCheckBox>(1012)->text(), QStringLiteral("Use log auto save"));
    EXPECT_EQ(Ctl<QRadioButton>(1023)->text(), QStringLiteral("Click Enable"));
    EXPECT_EQ(Ctl<QRadioButton>(1024)->text(), QStringLiteral("Click Disable"));
    EXPECT_EQ(Ctl<QGroupBox>(1005)->title(), QStringLiteral("Http command"));
    EXPECT_EQ(Ctl<QGroupBox>(1016)->title(), QStringLiteral("Log"));
    for (int nId : {1017, 1018, 1026})
        EXPECT_TRUE(Ctl<QGroupBox>(nId)->title().isEmpty()) << nId;
    EXPECT_EQ(Ctl<QLabel>(1006)->text(), QStringLiteral("\"Menu -> Command -> Show command\""));
    EXPECT_EQ(Ctl<QLabel>(1006)->text().size(), 33);
    EXPECT_EQ(Ctl<QLabel>(1027)->text(), QStringLiteral("Check response time that is greater than"));
    EXPECT_EQ(Ctl<QLabel>(1028)->text(), QStringLiteral("ms"));
    EXPECT_EQ(Ctl<QLabel>(1031)->text(), QStringLiteral("ID :"));
    EXPECT_EQ(Ctl<QLabel>(1032)->text(), QStringLiteral("Password :"));
}

TEST_F(VelkorDlg, TheMenuHoldsTheFileCommandsShowCommandTheOptionsResultsAndTheAboutItem)
{
    QMenuBar* pMenuBar = m_pDlg->findChild<QMenuBar*>();
    ASSERT_NE(pMenuBar, nullptr);
    const QList<QAction*> menus = pMenuBar->actions();
    ASSERT_EQ(menus.size(), 5);
    // The texts as shown; an access key only underlines its letter.
    const auto shown = [](const QAction* pAction) { return QString(pAction->text()).remove(QLatin1Char('&')); };
    EXPECT_EQ(shown(menus[0]), QStringLiteral("File"));
    EXPECT_EQ(shown(menus[1]), QStringLiteral("Command"));
    EXPECT_EQ(shown(menus[2]), QStringLiteral("Options"));
    EXPECT_EQ(shown(menus[3]), QStringLiteral("View"));

    QStringList fileItems;
    for (QAction* pAction : menus[0]->menu()->actions())
        fileItems << (pAction->isSeparator() ? QStringLiteral("-") : shown(pAction) + "=" + pAction->objectName());
    EXPECT_EQ(fileItems, (QStringList{QStringLiteral("Save command=32780"), QStringLiteral("Load command=32779"),
                                      QStringLiteral("-"), QStringLiteral("Save log=32778"),
                                      QStringLiteral("Save results as...=32831"),
                                      QStringLiteral("Open results...=32832"),
                                      QStringLiteral("Compare with...=32833"),
                                      QStringLiteral("-"), QStringLiteral("Load device list...=32801"),
                                      QStringLiteral("Clear device list=32802"),
                                      QStringLiteral("-"), QStringLiteral("Recent files=")}));
    ASSERT_EQ(menus[1]->menu()->actions().size(), 1);
    EXPECT_EQ(shown(menus[1]->menu()->actions()[0]), QStringLiteral("Show command"));
    EXPECT_EQ(menus[1]->menu()->actions()[0]->objectName(), QStringLiteral("32782"));
    QStringList optionItems;
    for (QAction* pAction : menus[2]->menu()->actions())
        optionItems << (pAction->isSeparator() ? QStringLiteral("-")
                                               : shown(pAction) + "=" + pAction->objectName() +
                                                     (pAction->isCheckable() ? "/checkable" : ""));
    EXPECT_EQ(optionItems, (QStringList{QStringLiteral("Trust certificate file...=32790/checkable"),
                                        QStringLiteral("Clear certificate file=32791"), QStringLiteral("-"),
                                        QStringLiteral("Accept any certificate (insecure)=32792/checkable"),
                                        QStringLiteral("-"), QStringLiteral("Run limits...=32800"),
                                        QStringLiteral("Jobs... (all)=32803")}));
    ASSERT_EQ(menus[3]->menu()->actions().size(), 2);
    EXPECT_EQ(shown(menus[3]->menu()->actions()[1]) + "=" + menus[3]->menu()->actions()[1]->objectName(),
              QStringLiteral("Devices=32804"));
    const QAction* pResults = menus[3]->menu()->actions()[0];
    EXPECT_EQ(shown(pResults) + "=" + pResults->objectName() + "/" + pResults->shortcut().toString(),
              QStringLiteral("Results=32793/Ctrl+R"));
    ASSERT_EQ(menus[4]->menu()->actions().size(), 1);
    EXPECT_EQ(menus[4]->menu()->actions()[0]->text(), QStringLiteral("Velkor 정보(&A)..."));
}

TEST_F(VelkorDlg, LayoutAtTheStartSizeMatchesTheWorkedExample)
{
    ASSERT_EQ(m_pDlg->ClientArea()->size(), QSize(1008, 912));
    EXPECT_EQ(m_pDlg->Control(1000)->geometry(), QRect(25, 60, 963, 297));
    EXPECT_EQ(m_pDlg->Control(1001)->geometry(), QRect(25, 427, 963, 267));
    EXPECT_EQ(m_pDlg->Control(1002)->pos(), QPoint(25, 819));
    EXPECT_EQ(m_pDlg->Control(1003)->pos(), QPoint(135, 854));
    EXPECT_EQ(m_pDlg->Control(1025)->pos(), QPoint(860, 754));
    EXPECT_EQ(m_pDlg->Control(2)->pos(), QPoint(848, 872));
    // Every control of the table is where the table puts it.
    for (const auto& placement : DialogLayout::Placements(1008, 912))
        EXPECT_EQ(m_pDlg->Control(placement.nId)->geometry(), placement.rect) << placement.nId;
}

TEST_F(VelkorDlg, ResizingPlacesTheControlsAgain)
{
    const QSize frame = m_pDlg->size() - m_pDlg->ClientArea()->size();
    m_pDlg->resize(QSize(1200, 913) + frame);
    ASSERT_EQ(m_pDlg->ClientArea()->size(), QSize(1200, 913));
    EXPECT_EQ(m_pDlg->Control(1000)->geometry(), QRect(25, 60, 1155, 297)) << "913: a is still 297";
    EXPECT_EQ(m_pDlg->Control(2)->pos(), QPoint(1040, 873));
    m_pDlg->resize(QSize(1200, 914) + frame);
    EXPECT_EQ(m_pDlg->Control(1000)->height(), 298) << "914: a becomes 298";
    EXPECT_EQ(m_pDlg->Control(1001)->geometry(), QRect(25, 428, 1155, 268));
    EXPECT_EQ(m_pDlg->Control(1017)->pos(), QPoint(10, 736)) << "the bottom panel moves down";
}

TEST_F(VelkorDlg, TheWindowCannotShrinkBelowItsStartSize)
{
    m_pDlg->resize(400, 300);
    EXPECT_EQ(m_pDlg->ClientArea()->size(), QSize(1008, 912));
}

TEST_F(VelkorDlg, TabFollowsThePlacingOrderBackwards)
{
    QWidget* pThreshold = m_pDlg->Control(1025);
    pThreshold->setFocus();
    ASSERT_TRUE(WaitFor([&] { return pThreshold->hasFocus(); }, 2000));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), m_pDlg->Control(2)) << "threshold, then Close";
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), m_pDlg->Control(1014)) << "then the log folder";
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), m_pDlg->Control(1012)) << "Set path is disabled and skipped";
    m_pDlg->Control(1030)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), m_pDlg->Control(1029)) << "Password, then ID";
}

TEST_F(VelkorDlg, EnterInTheScriptAppendsALineBreakAtTheEnd)
{
    auto* pEdit = Ctl<QPlainTextEdit>(1000);
    pEdit->setFocus();
    QTest::keyClicks(pEdit, QStringLiteral("Sleep(10)"));
    QTest::keyClick(pEdit, Qt::Key_Return);
    QTest::keyClicks(pEdit, QStringLiteral("End"));
    EXPECT_EQ(m_pDlg->CommandBox().GetWindowText(), QStringLiteral("Sleep(10)\r\nEnd"));

    m_pDlg->CommandBox().SetSel(2, 2);  // the caret in the first line
    QTest::keyClick(pEdit, Qt::Key_Return);
    QTest::keyClick(pEdit, Qt::Key_Enter, Qt::KeypadModifier | Qt::ShiftModifier);
    EXPECT_EQ(m_pDlg->CommandBox().GetWindowText(), QStringLiteral("Sleep(10)\r\nEnd\r\n\r\n"));
    int nStart = 0;
    int nEnd = 0;
    m_pDlg->CommandBox().GetSel(nStart, nEnd);
    EXPECT_EQ(nStart, 18);
    EXPECT_EQ(nEnd, 18) << "the caret ends after the new break";
    EXPECT_TRUE(m_pDlg->isVisible());
}

TEST_F(VelkorDlg, EnterInIdPasswordOrThresholdAndEscapeKeepTheWindow)
{
    m_pDlg->CommandBox().SetWindowText(QStringLiteral("unsaved script"));
    for (int nId : {1029, 1030, 1025, 1014}) {
        QWidget* pEdit = m_pDlg->Control(nId);
        pEdit->setFocus();
        QTest::keyClick(pEdit, Qt::Key_Return);
        QTest::keyClick(pEdit, Qt::Key_Enter, Qt::KeypadModifier);
        QTest::keyClick(pEdit, Qt::Key_Escape);
        QCoreApplication::processEvents();
        EXPECT_TRUE(m_pDlg->isVisible()) << "control " << nId;
    }
    QTest::keyClick(m_pDlg.get(), Qt::Key_Escape);
    QTest::keyClick(m_pDlg->Control(1000), Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_TRUE(m_pDlg->isVisible());
    EXPECT_EQ(m_pDlg->CommandBox().GetWindowText(), QStringLiteral("unsaved script"));
}

TEST_F(VelkorDlg, EnterOnAFocusedButtonClicksIt)
{
    m_pDlg->CommandBox().SetWindowText(QStringLiteral("script"));
    QWidget* pClear = m_pDlg->Control(1004);
    pClear->setFocus();
    QTest::keyClick(pClear, Qt::Key_Return);
    EXPECT_TRUE(m_pDlg->CommandBox().GetWindowText().isEmpty());
    EXPECT_TRUE(m_pDlg->isVisible());
}

TEST_F(VelkorDlg, CloseAndTheTitleBarEndTheWindow)
{
    QTest::mouseClick(Ctl<QPushButton>(2), Qt::LeftButton);
    EXPECT_FALSE(m_pDlg->isVisible());
    EXPECT_EQ(m_pDlg->result(), QDialog::Rejected);

    m_pDlg->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_pDlg.get()));
    EXPECT_TRUE(m_pDlg->close()) << "the title bar's close and Alt+F4 arrive as a close";
    EXPECT_FALSE(m_pDlg->isVisible());
}

TEST_F(VelkorDlg, ClickEnableAndClickDisableSwitchTheLog)
{
    QTest::mouseClick(Ctl<QRadioButton>(1023), Qt::LeftButton);
    EXPECT_TRUE(Enabled(1001));
    EXPECT_TRUE(Ctl<QRadioButton>(1023)->isChecked());
    EXPECT_FALSE(Ctl<QRadioButton>(1024)->isChecked());
    QTest::mouseClick(Ctl<QRadioButton>(1024), Qt::LeftButton);
    EXPECT_FALSE(Enabled(1001));
    EXPECT_FALSE(Ctl<QRadioButton>(1023)->isChecked());
    EXPECT_TRUE(Ctl<QRadioButton>(1024)->isChecked());
}

TEST_F(VelkorDlg, TheLogBoxKeepsAppendingWhileTheUserReadsSelectsAndCopies)
{
    QTest::mouseClick(Ctl<QRadioButton>(1023), Qt::LeftButton);  // the log takes clicks
    auto* pEdit = Ctl<QPlainTextEdit>(1001);
    QScrollBar* pBar = pEdit->verticalScrollBar();
    CLogWriter& log = m_pDlg->LogWriter();
    const auto writeLines = [&](const QString& strText, int nCount) {
        for (int i = 0; i < nCount; ++i)
            log.WriteLog(strText.arg(i));
        m_pDlg->FlushPendingLog();
    };
    writeLines(QStringLiteral("first %1"), 100);
    ASSERT_GT(pBar->maximum(), 50);
    EXPECT_EQ(pBar->value(), pBar->maximum()) << "the view follows the end";

    // The user scrolls up, clicks into a line and selects the rest of it.
    pBar->setValue(10);
    QTest::mouseClick(pEdit->viewport(), Qt::LeftButton, {}, QPoint(40, 5));
    QTest::keyClick(pEdit->viewport(), Qt::Key_End, Qt::ShiftModifier);
    const QString strSelected = pEdit->textCursor().selectedText();
    ASSERT_TRUE(strSelected.endsWith(QStringLiteral("] first 10"))) << strSelected.toStdString();
    const QString strBefore = Log();
    writeLines(QStringLiteral("second %1"), 30);
    EXPECT_TRUE(Log().startsWith(strBefore)) << "no line goes in at the caret";
    EXPECT_TRUE(Log().endsWith(QStringLiteral("] second 29\r\n")));
    EXPECT_EQ(pBar->value(), 10) << "a user who scrolled up keeps the place";
    EXPECT_EQ(pEdit->textCursor().selectedText(), strSelected);
    pEdit->copy();
    EXPECT_EQ(QApplication::clipboard()->text(), strSelected);

    // Back at the end, the view follows again.
    pBar->setValue(pBar->maximum());
    const int nMaximum = pBar->maximum();
    writeLines(QStringLiteral("third %1"), 30);
    EXPECT_EQ(pBar->maximum(), nMaximum + 30);
    EXPECT_EQ(pBar->value(), pBar->maximum());
}

TEST_F(VelkorDlg, ClearButtonsEmptyTheirBoxes)
{
    m_pDlg->CommandBox().SetWindowText(QStringLiteral("a\r\nb"));
    m_pDlg->LogBox().SetWindowText(QStringLiteral("log"));
    QTest::mouseClick(Ctl<QPushButton>(1003), Qt::LeftButton);
    EXPECT_TRUE(Log().isEmpty());
    EXPECT_EQ(m_pDlg->CommandBox().GetWindowText(), QStringLiteral("a\r\nb"));
    QTest::mouseClick(Ctl<QPushButton>(1004), Qt::LeftButton);
    EXPECT_TRUE(m_pDlg->CommandBox().GetWindowText().isEmpty());
}

TEST_F(VelkorDlg, AutoSaveEnablesSetPathAndSwitchingItOffForgetsTheFolder)
{
    QTest::mouseClick(Ctl<QCheckBox>(1012), Qt::LeftButton);
    EXPECT_TRUE(m_pDlg->LogWriter().IsAutoSave());
    EXPECT_TRUE(Enabled(1011));
    m_pDlg->LogWriter().SetLogFolder(QStringLiteral("logs"));
    QTest::mouseClick(Ctl<QCheckBox>(1012), Qt::LeftButton);
    EXPECT_FALSE(m_pDlg->LogWriter().IsAutoSave());
    EXPECT_FALSE(Enabled(1011));
    EXPECT_TRUE(m_pDlg->LogWriter().LogFolder().isEmpty());
    EXPECT_TRUE(Ctl<QLineEdit>(1014)->text().isEmpty());
}

TEST_F(VelkorDlg, SendWithAutoSaveButNoFolderShowsTheMessageAndStartsNothing)
{
    QTest::mouseClick(Ctl<QCheckBox>(1012), Qt::LeftButton);
    m_pDlg->CommandBox().SetWindowText(QStringLiteral("Sleep(1)"));
    m_pDlg->LogBox().SetWindowText(QStringLiteral("old log"));
    QString strText;
    QString strTitle;
    QTimer::singleShot(0, [&] {
        auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (pBox == nullptr)
            return;
        strText = pBox->text();
        strTitle = pBox->windowTitle();
        pBox->accept();
    });
    QTest::mouseClick(Ctl<QPushButton>(1002), Qt::LeftButton);
    EXPECT_EQ(strText, QStringLiteral("Please set a path to save a log."));
    EXPECT_EQ(strTitle, QStringLiteral("Velkor"));
    EXPECT_FALSE(m_pDlg->Engine().IsRunning());
    EXPECT_EQ(Log(), QStringLiteral("old log"));
    EXPECT_TRUE(Enabled(1002));
}

TEST_F(VelkorDlg, ATypedScriptRunsAndItsLinesAppear)
{
    CTestResponder peer(kOk);
    auto* pEdit = Ctl<QPlainTextEdit>(1000);
    pEdit->setFocus();
    QTest::keyClicks(pEdit, Url(peer.Port()));
    QTest::keyClick(pEdit, Qt::Key_Return);
    QTest::keyClicks(pEdit, QStringLiteral("Sleep(300)"));
    QTest::mouseClick(Ctl<QPushButton>(1002), Qt::LeftButton);

    // Started: everything that could change the run's inputs is off; no
    // While, so no Stop.
    EXPECT_TRUE(m_pDlg->Engine().IsRunning());
    EXPECT_FALSE(Enabled(1002));
    EXPECT_FALSE(Enabled(1009));
    for (int nId : {1000, 1003, 1004, 1012, 1025, 1011})
        EXPECT_FALSE(Enabled(nId)) << nId;
    EXPECT_TRUE(Enabled(1029));
    EXPECT_TRUE(Enabled(1030));

    ASSERT_TRUE(WaitForRunEnd());
    const QString strLog = Log();
    EXPECT_TRUE(strLog.startsWith(QStringLiteral("["))) << strLog.toStdString();
    EXPECT_TRUE(strLog.contains(QStringLiteral("] Read command\r\n")));
    EXPECT_TRUE(strLog.contains(QStringLiteral("] [SEND] ") + Url(peer.Port()) + QStringLiteral("\r\n")));
    EXPECT_TRUE(strLog.contains(QStringLiteral("Response data : ok\r\n"))) << strLog.toStdString();
    EXPECT_TRUE(strLog.contains(QStringLiteral("Sleep start : 300 ms")));
    EXPECT_TRUE(strLog.contains(QStringLiteral("Total running time(Application)")));
    EXPECT_EQ(peer.RequestCount(), 1);

    // Idle again, as the run's end leaves it.
    for (int nId : {1002, 1000, 1003, 1004, 1012, 1025})
        EXPECT_TRUE(Enabled(nId)) << nId;
    EXPECT_FALSE(Enabled(1009));
    EXPECT_FALSE(Enabled(1011)) << "Set path follows auto-save, which is off";
    EXPECT_EQ(m_pDlg->CommandBox().GetWindowText(), Url(peer.Port()) + QStringLiteral("\r\nSleep(300)"));
}

TEST_F(VelkorDlg, StopEndsAWhileZero)
{
    CTestResponder peer(kOk);
    m_pDlg->CommandBox().SetWindowText(QStringLiteral("While(0)\r\n%1\r\nSleep(5)\r\nEnd").arg(Url(peer.Port())));
    QTest::mouseClick(Ctl<QPushButton>(1002), Qt::LeftButton);
    EXPECT_TRUE(Enabled(1009)) << "a While enables Stop";
    EXPECT_FALSE(Enabled(1002));
    ASSERT_TRUE(WaitForLog(QStringLiteral("While Count : 3 ")));
    EXPECT_TRUE(m_pDlg->Engine().IsRunning());
    QTest::mouseClick(Ctl<QPushButton>(1009), Qt::LeftButton);
    ASSERT_TRUE(WaitForRunEnd(10000));
    EXPECT_TRUE(Log().contains(QStringLiteral("(Stopped by user)")));
    EXPECT_FALSE(Enabled(1009));
    EXPECT_TRUE(Enabled(1002));
    EXPECT_TRUE(Enabled(1000));
    EXPECT_TRUE(Enabled(1003));
}

TEST_F(VelkorDlg, SendAgainAfterARunShowsOnlyTheNewRun)
{
    CTestResponder peer(kOk);
    m_pDlg->CommandBox().SetWindowText(QStringLiteral("While(50)\r\n%1\r\nEnd").arg(Url(peer.Port())));
    QTest::mouseClick(Ctl<QPushButton>(1002), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !m_pDlg->Engine().IsRunning(); }, 20000));
    // The first run's last lines may still be on their way.
    QTest::mouseClick(Ctl<QPushButton>(1002), Qt::LeftButton);
    ASSERT_TRUE(WaitForRunEnd());
    EXPECT_EQ(Log().count(QStringLiteral("Read command")), 1);
    EXPECT_EQ(Log().count(QStringLiteral("While Repeat : 50 ")), 1);
}

TEST_F(VelkorDlg, AParseErrorGivesTheControlsBack)
{
    m_pDlg->CommandBox().SetWindowText(QStringLiteral("While(-1)\r\nEnd"));
    QTest::mouseClick(Ctl<QPushButton>(1002), Qt::LeftButton);
    EXPECT_FALSE(m_pDlg->Engine().IsRunning());
    EXPECT_TRUE(Log().contains(QStringLiteral("] Read command\r\n")));
    for (int nId : {1002, 1000, 1003, 1004, 1012, 1025})
        EXPECT_TRUE(Enabled(nId)) << nId;
    EXPECT_FALSE(Enabled(1009));
}

// The keyboard after "Send" and after the run: the focus never falls into a
// text box with its text selected, so keys typed then change nothing.
TEST_F(VelkorDlg, FocusGoesToStopDuringARunAndToSendAfterIt)
{
    CTestResponder device("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", 300);
    const QString strUrl = QStringLiteral("http://127.0.0.1:%1/httpapi/x").arg(device.Port());
    QLineEdit* pPassword = Ctl<QLineEdit>(1030);
    QPushButton* pSend = Ctl<QPushButton>(1002);
    QPushButton* pStop = Ctl<QPushButton>(1009);
    for (const QString& strScript : {strUrl, QStringLiteral("While(2)\r\n%1\r\nEnd").arg(strUrl)}) {
        SCOPED_TRACE(strScript.toStdString());
        m_pDlg->CommandBox().SetWindowText(strScript);
        pSend->setFocus();
        QTest::keyClick(pSend, Qt::Key_Space);  // "Send" pressed from the keyboard
        QWidget* pDuring = QApplication::focusWidget();
        EXPECT_NE(pDuring, pPassword);
        if (pStop->isEnabled()) {
            EXPECT_EQ(pDuring, pStop) << "a run that can be stopped offers Stop";
        }
        if (pDuring)
            QTest::keyClicks(pDuring, QStringLiteral("zoom"));
        ASSERT_TRUE(WaitForRunEnd());
        QApplication::processEvents();
        EXPECT_EQ(QApplication::focusWidget(), pSend) << "after the run, Send again";
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("zoom"));
        EXPECT_EQ(pPassword->text(), QStringLiteral("4719")) << "typing after a run changed the password";
    }
}
