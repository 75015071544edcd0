#include "DlgFixture.h"

#include "app/CVelkorApp.h"
#include "ui/CAboutDlg.h"
#include "ui/CCommandDlg.h"
#include "ui/CQtTextBox.h"

#include <QAction>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

namespace {

// The help text, written out in full.
const char16_t* const kExpectedHelp =
    u"< Http api command >\r\n"
    u"Command : http://192.168.10.100/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0\r\n"
    u"Desciption : Send normal Http api command\r\n"
    u"\r\n"
    u"< Sleep >\r\n"
    u"Command : Sleep(sleepTime)\r\n"
    u"Description : Wait about sleepTime and send a next command\r\n"
    u"\r\n"
    u"< While >\r\n"
    u"Command : While(repeatCount) ..... End   \r\n"
    u"Desciption : Repeat to send commands about repeatCount\r\n"
    u"/*repeatCount == 0, repeat infinity*/ /*repeatCount > 0, repeat as repeatCount*/\r\n"
    u"\r\n"
    u"< CheckAlive >\r\n"
    u"Command : CheckAlive(192.168.10.100:80)\r\n"
    u"Description : Wait until device is connected\r\n"
    u"\r\n";

QList<CCommandDlg*> VisibleHelpWindows(QWidget* pOwner)
{
    QList<CCommandDlg*> windows;
    for (CCommandDlg* pHelp : pOwner->findChildren<CCommandDlg*>())
        if (pHelp->isVisible())
            windows << pHelp;
    return windows;
}

}  // namespace

TEST(CommandDlg, TheHelpTextIsExact)
{
    const QString strHelp = CCommandDlg::HelpText();
    EXPECT_EQ(strHelp, QString::fromUtf16(kExpectedHelp));
    EXPECT_EQ(strHelp.size(), 549);
    EXPECT_TRUE(strHelp.endsWith(QStringLiteral("\r\n\r\n")));
}

TEST_F(DlgFixture, ShowCommandOpensAHelpWindowEachTime)
{
    QAction* pShow = m_pDlg->findChild<QAction*>(QStringLiteral("32782"));
    ASSERT_NE(pShow, nullptr);
    pShow->trigger();
    pShow->trigger();
    QList<CCommandDlg*> windows = VisibleHelpWindows(m_pDlg.get());
    ASSERT_EQ(windows.size(), 2);
    for (CCommandDlg* pHelp : windows) {
        EXPECT_EQ(pHelp->windowTitle(), QStringLiteral("Command"));
        CQtTextBox box(pHelp->HelpEdit());
        EXPECT_EQ(box.GetWindowText(), QString::fromUtf16(kExpectedHelp));
        EXPECT_EQ(box.GetTextLength(), 549);
        EXPECT_EQ(box.GetLineCount(), 18);
        QString strLine;
        box.GetLine(0, strLine, 255);
        EXPECT_EQ(strLine, QStringLiteral("< Http api command >"));
        EXPECT_TRUE(pHelp->HelpEdit()->isReadOnly());
        EXPECT_TRUE(pHelp->HelpEdit()->toolTip().contains(QStringLiteral("docs/checks.md")));
    }
    // Typing does not change it.
    QTest::keyClicks(windows[0]->HelpEdit(), QStringLiteral("xyz"));
    EXPECT_EQ(CQtTextBox(windows[0]->HelpEdit()).GetTextLength(), 549);

    // Closing one leaves the other; the main window stays.
    QTest::mouseClick(windows[0]->findChild<QPushButton*>(QStringLiteral("2")), Qt::LeftButton);
    EXPECT_EQ(VisibleHelpWindows(m_pDlg.get()).size(), 1);
    QTest::keyClick(windows[1], Qt::Key_Escape);
    EXPECT_EQ(VisibleHelpWindows(m_pDlg.get()).size(), 0);
    EXPECT_TRUE(m_pDlg->isVisible());
    // Closed help windows are released.
    ASSERT_TRUE(WaitFor([&] { return m_pDlg->findChildren<CCommandDlg*>().isEmpty(); }, 2000));
}

TEST_F(DlgFixture, EnterClosesTheHelpWindow)
{
    m_pDlg->OnShowCommand();
    m_pDlg->OnShowCommand();
    const QList<CCommandDlg*> windows = VisibleHelpWindows(m_pDlg.get());
    ASSERT_EQ(windows.size(), 2);
    QTest::keyClick(windows[0]->HelpEdit(), Qt::Key_Return);
    EXPECT_FALSE(windows[0]->isVisible()) << "Enter in the text";
    QTest::keyClick(windows[1], Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_FALSE(windows[1]->isVisible()) << "Enter of the keypad";
    EXPECT_TRUE(m_pDlg->isVisible());
}

TEST(AboutDlg, ShowsItsKoreanTexts)
{
    CAboutDlg about;
    EXPECT_EQ(about.windowTitle(), QStringLiteral("Velkor 정보"));
    EXPECT_EQ(about.findChild<QLabel*>(QStringLiteral("name"))->text(), QStringLiteral("Velkor, 버전 1.0"));
    EXPECT_EQ(about.findChild<QLabel*>(QStringLiteral("name"))->textFormat(), Qt::PlainText);
    auto* pOk = about.findChild<QPushButton*>(QStringLiteral("1"));
    ASSERT_NE(pOk, nullptr);
    EXPECT_EQ(pOk->text(), QStringLiteral("확인"));
    EXPECT_TRUE(pOk->isDefault());
    EXPECT_EQ(CAboutDlg::MenuText(), QStringLiteral("Velkor 정보(&A)..."));
}

TEST_F(DlgFixture, TheAboutItemOpensTheAboutBoxModally)
{
    QAction* pAbout = m_pDlg->findChild<QAction*>(QStringLiteral("16"));
    ASSERT_NE(pAbout, nullptr);
    bool bSeen = false;
    bool bModal = false;
    QTimer::singleShot(0, [&] {
        auto* pBox = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
        if (pBox == nullptr)
            return;
        bSeen = true;
        bModal = pBox->isModal();
        QTest::mouseClick(pBox->findChild<QPushButton*>(QStringLiteral("1")), Qt::LeftButton);
    });
    pAbout->trigger();
    EXPECT_TRUE(bSeen);
    EXPECT_TRUE(bModal);
    EXPECT_TRUE(m_pDlg->isVisible());
}

TEST(VelkorApp, AFailedSocketStartShowsTheMessageAndNoWindow)
{
    int nMessages = 0;
    bool bWindowShown = false;
    CVelkorApp app([] { return -1; },
                   [&] {
                       ++nMessages;
                       for (QWidget* pWidget : QApplication::topLevelWidgets())
                           bWindowShown = bWindowShown || qobject_cast<CVelkorDlg*>(pWidget) != nullptr;
                   });
    EXPECT_NE(app.InitInstance(), 0);
    EXPECT_EQ(nMessages, 1);
    EXPECT_FALSE(bWindowShown);
    EXPECT_STREQ(CVelkorApp::StartupFailureText(), "Windows 소켓을 초기화하지 못했습니다.");
}

TEST(VelkorApp, TheProgramEndsWhenTheWindowCloses)
{
    int nStarts = 0;
    QTimer::singleShot(0, [] {
        for (QWidget* pWidget : QApplication::topLevelWidgets())
            if (auto* pDlg = qobject_cast<CVelkorDlg*>(pWidget); pDlg != nullptr && pDlg->isVisible())
                pDlg->close();
    });
    CVelkorApp app([&] { ++nStarts; return 0; }, [] {});
    EXPECT_EQ(app.InitInstance(), 0);
    EXPECT_EQ(nStarts, 1);
}
