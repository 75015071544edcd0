#include "DlgFixture.h"

#include "CTestResponder.h"

#include <QElapsedTimer>
#include <QPushButton>

namespace {

const QByteArray kOk = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";

}  // namespace

class CloseDuringRun : public DlgFixture {
protected:
    // Starts the script, waits for the line that shows it is in the wait,
    // closes the window and returns how long closing took.
    qint64 CloseWhile(const QString& strScript, const QString& strWaitLine)
    {
        m_pDlg->CommandBox().SetWindowText(strScript);
        QTest::mouseClick(Ctl<QPushButton>(1002), Qt::LeftButton);
        EXPECT_TRUE(WaitForLog(strWaitLine)) << Log().toStdString();
        QThread::msleep(100);  // well inside the wait
        QElapsedTimer timer;
        timer.start();
        m_pDlg->close();
        const qint64 nMs = timer.elapsed();
        EXPECT_FALSE(m_pDlg->isVisible());
        EXPECT_FALSE(m_pDlg->Engine().IsRunning());
        return nMs;
    }
};

TEST_F(CloseDuringRun, ASleepEndsAtOnce)
{
    CTestResponder peer(kOk);
    const qint64 nMs = CloseWhile(QStringLiteral("http://127.0.0.1:%1/httpapi/a\r\nSleep(20000)").arg(peer.Port()),
                                  QStringLiteral("Sleep start : 20000 ms"));
    EXPECT_LT(nMs, 1000);
}

TEST_F(CloseDuringRun, ACheckAliveOnAClosedPortEndsAtOnce)
{
    CTestResponder peer(kOk);
    const qint64 nMs = CloseWhile(QStringLiteral("http://127.0.0.1:%1/httpapi/a\r\nCheckAlive(127.0.0.1:%2)")
                                      .arg(peer.Port())
                                      .arg(CTestResponder::ClosedPort()),
                                  QStringLiteral("!!! Check alive : 127.0.0.1 - server unreachable"));
    EXPECT_LT(nMs, 1000);
}

TEST_F(CloseDuringRun, TheCloseButtonAlsoEndsTheRun)
{
    CTestResponder peer(kOk);
    m_pDlg->CommandBox().SetWindowText(QStringLiteral("http://127.0.0.1:%1/httpapi/a\r\nSleep(20000)").arg(peer.Port()));
    QTest::mouseClick(Ctl<QPushButton>(1002), Qt::LeftButton);
    ASSERT_TRUE(WaitForLog(QStringLiteral("Sleep start")));
    QElapsedTimer timer;
    timer.start();
    QTest::mouseClick(Ctl<QPushButton>(2), Qt::LeftButton);
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_FALSE(m_pDlg->isVisible());
    EXPECT_FALSE(m_pDlg->Engine().IsRunning());
}

// F5 sends and Shift+F5 stops, as the buttons do; their tooltips say so.
TEST_F(CloseDuringRun, F5SendsAndShiftF5Stops)
{
    CTestResponder peer(kOk);
    EXPECT_EQ(Ctl<QPushButton>(1002)->toolTip(), QStringLiteral("Run the script (F5)"));
    EXPECT_EQ(Ctl<QPushButton>(1009)->toolTip(), QStringLiteral("Stop the run (Shift+F5)"));
    m_pDlg->CommandBox().SetWindowText(
        QStringLiteral("While(0)\r\nhttp://127.0.0.1:%1/httpapi/a\r\nSleep(50)\r\nEnd").arg(peer.Port()));
    QTest::keyClick(m_pDlg.get(), Qt::Key_F5);
    ASSERT_TRUE(WaitForLog(QStringLiteral("While Count : 2 "))) << Log().toStdString();
    QTest::keyClick(m_pDlg.get(), Qt::Key_F5, Qt::ShiftModifier);
    EXPECT_TRUE(WaitForRunEnd()) << "Shift+F5 stops the While(0) block";
    EXPECT_EQ(Ctl<QPushButton>(1002)->text(), QStringLiteral("Send"));
    EXPECT_EQ(Ctl<QPushButton>(1009)->text(), QStringLiteral("Stop"));
}

TEST_F(CloseDuringRun, DestroyingTheWindowMidRunIsSafe)
{
    CTestResponder peer(kOk);
    m_pDlg->CommandBox().SetWindowText(
        QStringLiteral("While(0)\r\nhttp://127.0.0.1:%1/httpapi/a\r\nEnd").arg(peer.Port()));
    QTest::mouseClick(Ctl<QPushButton>(1002), Qt::LeftButton);
    ASSERT_TRUE(WaitForLog(QStringLiteral("While Count : 2 ")));
    QElapsedTimer timer;
    timer.start();
    m_pDlg.reset();
    EXPECT_LT(timer.elapsed(), 1000);
}

// A peer that takes the request and does not answer: the exchange waits for
// the response. Closing must not wait for that wait to run out.
TEST_F(CloseDuringRun, AResponseWaitEndsAtOnce)
{
    CTestResponder silentPeer(kOk, 20000);
    const qint64 nMs = CloseWhile(QStringLiteral("http://127.0.0.1:%1/httpapi/a").arg(silentPeer.Port()),
                                  QStringLiteral("[SEND] "));
    EXPECT_LT(nMs, 1000);
}
