// The main window's additions beside the controls it was drawn with: the status
// line under them, Ctrl+F's find bar and files dropped on the window.
#include "DlgFixture.h"

#include "CTestResponder.h"
#include "ui/CLogFindBar.h"
#include "ui/CRunStatusLine.h"
#include "ui/DialogLayout.h"

#include <QAction>
#include <QCheckBox>
#include <QDropEvent>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>

namespace {

const QByteArray kOk = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";

}  // namespace

// Error boxes recorded instead of shown.
class WindowExtras : public DlgFixture {
protected:
    void SetUp() override
    {
        DlgFixture::SetUp();
        m_pDlg->UserPrompts().ShowError = [this](QWidget*, const QString& strText) { m_errors << strText; };
    }
    QString Status() const { return m_pDlg->StatusLine().Text(); }
    QString Write(const QString& strName, const QByteArray& text)
    {
        const QString strPath = m_dir.filePath(strName);
        QFile file(strPath);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        return strPath;
    }
    // The selection of the log box: what the find bar found.
    QString Found() const
    {
        return m_pDlg->findChild<QPlainTextEdit*>(QStringLiteral("1001"))->textCursor().selectedText();
    }
    int FoundAt() const
    {
        return m_pDlg->findChild<QPlainTextEdit*>(QStringLiteral("1001"))->textCursor().selectionStart();
    }

    QTemporaryDir m_dir;
    QStringList m_errors;
};

TEST_F(WindowExtras, TheStatusLineLiesUnderTheControlsAndCountsTheRun)
{
    const QWidget* pStatus = m_pDlg->findChild<QWidget*>(QStringLiteral("statusLine"));
    ASSERT_NE(pStatus, nullptr);
    EXPECT_EQ(m_pDlg->ClientArea()->size(), QSize(1008, 912)) << "the controls keep their places";
    EXPECT_GE(pStatus->geometry().top(), m_pDlg->ClientArea()->geometry().bottom() + 1);
    EXPECT_TRUE(pStatus->isVisible());
    EXPECT_EQ(Status(), QStringLiteral("Idle    Requests: 0    Failures: 0    Elapsed: 0:00:00"));

    // Three passes, each with a request answered and one refused.
    CTestResponder peer(kOk);
    m_pDlg->CommandBox().SetWindowText(QStringLiteral("While(3)\r\nhttp://127.0.0.1:%1/httpapi/a\r\nhttp://127.0.0.1:%2/httpapi/b\r\nEnd")
                                           .arg(peer.Port())
                                           .arg(CTestResponder::ClosedPort()));
    QTest::mouseClick(Ctl<QPushButton>(1002), Qt::LeftButton);
    ASSERT_TRUE(WaitForRunEnd());
    QCoreApplication::processEvents();
    EXPECT_TRUE(Status().startsWith(QStringLiteral("Idle    Requests: 6    Failures: 3    Elapsed: 0:00:0"))) << Status().toStdString() << Log().toStdString();

    // While it goes: its pass, then "Stopping" once Stop was pressed.
    m_pDlg->CommandBox().SetWindowText(
        QStringLiteral("While(0)\r\nhttp://127.0.0.1:%1/httpapi/a\r\nSleep(30)\r\nEnd").arg(peer.Port()));
    QTest::mouseClick(Ctl<QPushButton>(1002), Qt::LeftButton);
    const QRegularExpression running(QStringLiteral("^Running pass (\\d+)    Requests: (\\d+)    Failures: 0    Elapsed: 0:00:"));
    QRegularExpressionMatch match;
    EXPECT_TRUE(WaitFor([&] { return (match = running.match(Status())).hasMatch() && match.captured(1).toInt() >= 2; },
                        20000))
        << Status().toStdString();
    // A request a pass; the next may have been counted before its pass.
    EXPECT_GE(match.captured(2).toInt(), match.captured(1).toInt());
    EXPECT_LE(match.captured(2).toInt(), match.captured(1).toInt() + 1);
    QTest::mouseClick(Ctl<QPushButton>(1009), Qt::LeftButton);
    EXPECT_TRUE(Status().startsWith(QStringLiteral("Stopping"))) << Status().toStdString();
    ASSERT_TRUE(WaitForRunEnd());
    QCoreApplication::processEvents();
    EXPECT_TRUE(Status().startsWith(QStringLiteral("Idle    Requests: "))) << Status().toStdString();
    EXPECT_EQ(Status().section(QStringLiteral("Requests: "), 1).section(QLatin1Char(' '), 0, 0).toInt(), peer.RequestCount() - 3)
        << "the first run's 3 answered requests are not counted again";
}

// A fleet's figures are every device's together.
TEST_F(WindowExtras, TheStatusLineCountsEveryDeviceOfAFleet)
{
    CTestResponder peer(kOk);
    ASSERT_TRUE(m_pDlg->LoadDeviceList(
        Write(QStringLiteral("lab.csv"), QStringLiteral("name,port\ncam-01,%1\ncam-02,%1\ncam-03,%2\n")
                                             .arg(peer.Port())
                                             .arg(CTestResponder::ClosedPort())
                                             .toUtf8())));
    m_pDlg->CommandBox().SetWindowText(QStringLiteral("http://127.0.0.1:{{port}}/httpapi/a\r\nhttp://127.0.0.1:{{port}}/httpapi/b"));
    QTest::mouseClick(Ctl<QPushButton>(1002), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !m_pDlg->IsRunning(); }, 20000));
    QCoreApplication::processEvents();
    EXPECT_TRUE(Status().startsWith(QStringLiteral("Idle    Requests: 6    Failures: 2    Elapsed: 0:00:0")))
        << Status().toStdString() << Log().toStdString();
    EXPECT_EQ(peer.RequestCount(), 4);
}

TEST_F(WindowExtras, TheStatusLineSaysWhileAnyCertificateIsAccepted)
{
    QAction* pInsecure = m_pDlg->findChild<QAction*>(QStringLiteral("32792"));
    ASSERT_NE(pInsecure, nullptr);
    EXPECT_EQ(m_pDlg->StatusLine().CertificateText(), QString());
    pInsecure->trigger();
    EXPECT_EQ(m_pDlg->StatusLine().CertificateText(), QStringLiteral("Accept any certificate"));
    pInsecure->trigger();
    EXPECT_EQ(m_pDlg->StatusLine().CertificateText(), QString());
}

// Ctrl+F, Enter, Shift+Enter and Escape in the find bar, with lines coming in
// between as they do during a run.
TEST_F(WindowExtras, CtrlFFindsInTheLogWhileLinesComeIn)
{
    m_pDlg->LogBox().SetWindowText(QStringLiteral("alpha\r\nbeta one\r\ngamma\r\nBeta two\r\n"));
    QTest::keyClick(m_pDlg.get(), Qt::Key_F, Qt::ControlModifier);
    CLogFindBar& bar = m_pDlg->FindBar();
    ASSERT_TRUE(bar.isVisible());
    EXPECT_TRUE(bar.TextBox()->hasFocus());
    // Beside the radio buttons, over no control but the log's group box.
    for (const auto& placement : DialogLayout::Placements(1008, 912)) {
        if (placement.nId != 1016) {
            EXPECT_FALSE(bar.geometry().intersects(placement.rect)) << placement.nId;
        }
    }
    QTest::keyClicks(bar.TextBox(), QStringLiteral("beta"));
    QTest::keyClick(bar.TextBox(), Qt::Key_Return);
    EXPECT_EQ(Found(), QStringLiteral("beta"));
    EXPECT_EQ(FoundAt(), 6);
    m_pDlg->LogBox().AppendText(QStringLiteral("beta three\r\n"));
    QTest::keyClick(bar.TextBox(), Qt::Key_Return);
    EXPECT_EQ(Found(), QStringLiteral("Beta"));
    EXPECT_EQ(FoundAt(), 21);
    QTest::keyClick(bar.TextBox(), Qt::Key_Return);
    EXPECT_EQ(FoundAt(), 30) << "the line that came in";
    QTest::keyClick(bar.TextBox(), Qt::Key_Return);
    EXPECT_EQ(FoundAt(), 6) << "round from the start";
    EXPECT_EQ(bar.Status(), QStringLiteral("From the start"));
    QTest::keyClick(bar.TextBox(), Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(FoundAt(), 30) << "Shift+Enter: back round from the end";
    bar.MatchCase()->setChecked(true);
    QTest::keyClick(bar.TextBox(), Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(FoundAt(), 6) << "Match case passes over \"Beta\"";
    bar.TextBox()->setText(QStringLiteral("delta"));
    QTest::mouseClick(bar.findChild<QPushButton*>(QStringLiteral("findNext")), Qt::LeftButton);
    EXPECT_EQ(bar.Status(), QStringLiteral("Not found"));
    QTest::keyClick(bar.TextBox(), Qt::Key_Escape);
    EXPECT_FALSE(bar.isVisible());
    EXPECT_TRUE(m_pDlg->isVisible()) << "Escape closes the bar, not the window";
}

TEST_F(WindowExtras, ADroppedFileLoadsByItsExtension)
{
    const QString strScript = Write(QStringLiteral("pan.cmf"), "http://127.0.0.1/httpapi/pan\n");
    const QString strList = Write(QStringLiteral("lab.csv"), "name,host\ncam-01,127.0.0.1\ncam-02,127.0.0.2\n");
    const QString strOther = Write(QStringLiteral("notes.txt"), "http://127.0.0.1/other\n");

    // Through the window's drop, as the desktop hands it over.
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(strScript)});
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(m_pDlg.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(m_pDlg.get(), &drop);
    EXPECT_TRUE(WaitFor([&] { return !m_pDlg->CommandBox().GetWindowText().isEmpty(); }, 2000));
    EXPECT_EQ(m_pDlg->CommandBox().GetWindowText(), QStringLiteral("http://127.0.0.1/httpapi/pan\r\n"));
    EXPECT_EQ(m_pDlg->windowTitle(), QStringLiteral("Velkor - pan.cmf"));
    EXPECT_EQ(m_pDlg->RecentFiles().value(0), strScript);

    EXPECT_TRUE(m_pDlg->OpenDroppedFile(strList));
    EXPECT_EQ(m_pDlg->DeviceList().devices.size(), 2u);
    EXPECT_EQ(m_pDlg->windowTitle(), QStringLiteral("Velkor - pan.cmf - Devices: lab.csv (2)"));
    EXPECT_EQ(m_pDlg->RecentFiles().value(0), strList);
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join(QLatin1Char('\n')).toStdString();

    EXPECT_FALSE(m_pDlg->OpenDroppedFile(strOther));
    ASSERT_EQ(m_errors.size(), 1);
    EXPECT_EQ(m_errors[0], QStringLiteral("notes.txt is not a command file (.cmf), a device list (.csv) or a saved "
                                          "report (.json): only those can be dropped on the window."));
    EXPECT_EQ(m_pDlg->CommandBox().GetWindowText(), QStringLiteral("http://127.0.0.1/httpapi/pan\r\n"));
    EXPECT_EQ(m_pDlg->RecentFiles().size(), 2);

    // Two files at once: neither loads.
    data.setUrls({QUrl::fromLocalFile(strScript), QUrl::fromLocalFile(strList)});
    QDragEnterEvent enterTwo(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(m_pDlg.get(), &enterTwo);
    EXPECT_TRUE(enterTwo.isAccepted());
    QDropEvent dropTwo(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(m_pDlg.get(), &dropTwo);
    EXPECT_TRUE(WaitFor([&] { return m_errors.size() == 2; }, 2000));
    EXPECT_EQ(m_errors.value(1), QStringLiteral("Drop one file at a time: a command file (.cmf), a device list (.csv) or "
                                          "a saved report (.json)."));
    m_errors.removeLast();

    // A report is opened as File > Open results... opens it, with its message.
    const QString strReport = Write(QStringLiteral("run.json"), "{\"velkor_version\": \"0.1\"}");
    EXPECT_TRUE(m_pDlg->OpenDroppedFile(strReport));
    EXPECT_TRUE(WaitFor([&] { return m_errors.size() == 2; }, 20000));
    EXPECT_TRUE(m_errors.value(1).startsWith(QStringLiteral("Cannot open run.json: it is not a report this version"))) << m_errors.value(1).toStdString();
    m_errors.removeLast();

    // A command file that cannot be read: Load command's own message.
    EXPECT_FALSE(m_pDlg->OpenDroppedFile(m_dir.filePath(QStringLiteral("gone.CMF"))));
    ASSERT_EQ(m_errors.size(), 2);
    EXPECT_TRUE(m_errors[1].contains(QStringLiteral("gone.CMF"))) << m_errors[1].toStdString();
}
