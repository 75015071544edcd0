#include "DlgFixture.h"
#include "GuiTestUtil.h"

#include "../tools/DevsimProcess.h"
#include "ui/CDevicesWindow.h"
#include "ui/CRampUpBox.h"
#include "ui/CTlsOptionsMenu.h"
#include "ui/CResultsWindow.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QApplication>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QTableView>
#include <QTemporaryDir>

namespace {

QString WriteFile(const QTemporaryDir& dir, const QString& strName, const QString& strText)
{
    const QString strPath = dir.filePath(strName);
    QFile file(strPath);
    if (file.open(QIODevice::WriteOnly))
        file.write(strText.toUtf8());
    return strPath;
}

}  // namespace

using DevicesWindow = DlgFixture;

// A list of three simulated devices: "Send" runs the script on each (its
// row's host), the log box gets every device's lines with its name before
// them, the Devices table fills, and a device picked there is what the
// results window shows. A bad list is told and the loaded one stays.
TEST_F(DevicesWindow, SendRunsEveryDeviceOfTheListAndTheTableFills)
{
    devsimtest::Devsim sim;
    ASSERT_TRUE(sim.Start({QStringLiteral("--devices"), QStringLiteral("3")}));
    QTemporaryDir dir;
    const QString strList = WriteFile(dir, QStringLiteral("lab.csv"),
                                      QStringLiteral("name,host,port,want\n"
                                                     "cam-1,127.0.1.1,%1,200\n"
                                                     "cam-2,127.0.1.2,%1,200\n"
                                                     "cam-3,127.0.1.3,%1,404\n")
                                          .arg(sim.port()));
    const QString strBad = WriteFile(dir, QStringLiteral("bad.csv"), QStringLiteral("name,host\ncam-9\n"));
    QStringList errors;
    m_pDlg->UserPrompts().ShowError = [&errors](QWidget*, const QString& strText) { errors << strText; };

    ASSERT_TRUE(m_pDlg->LoadDeviceList(strList));
    EXPECT_EQ(m_pDlg->windowTitle(), QStringLiteral("Velkor - Devices: lab.csv (3)"));
    EXPECT_FALSE(m_pDlg->LoadDeviceList(strBad));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains(QStringLiteral("line 2"))) << errors[0].toStdString();
    EXPECT_EQ(m_pDlg->DeviceList().devices.size(), 3u);

    m_pDlg->CommandBox().SetWindowText(
        QStringLiteral("http://{{host}}:{{port}}/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0\r\n"
                       "  Expect status {{want}}\r\n"
                       "http://{{host}}:{{port}}/httpapi/SendPTZ?action=sendptz&PTZ_MOVE=right,1"));
    QTest::mouseClick(Ctl<QPushButton>(1002), Qt::LeftButton);
    EXPECT_EQ(errors.size(), 1) << errors.join(QLatin1Char('|')).toStdString();
    EXPECT_FALSE(Enabled(1002));
    EXPECT_TRUE(Enabled(1009));
    ASSERT_TRUE(WaitFor([&] { return !m_pDlg->IsRunning(); }, 20000));
    m_pDlg->FlushPendingLog();
    EXPECT_TRUE(Enabled(1002));
    EXPECT_FALSE(Enabled(1009));

    CDevicesWindow& devices = m_pDlg->DevicesWindow();
    devices.Flush();
    const CDeviceTableModel& model = *devices.Model();
    ASSERT_EQ(model.rowCount(), 4);
    // name, state, requests, ok, slow, failed, (median, p95), last status,
    // verdict; cam-3's check wants another status, and its verdict says so.
    for (int nRow = 1; nRow <= 3; ++nRow) {
        QStringList cells = model.Cells(nRow);
        cells.removeAt(7);
        cells.removeAt(6);
        EXPECT_EQ(cells.join(QLatin1Char('|')), (QStringList{QStringLiteral("cam-%1").arg(nRow), QStringLiteral("done"), QStringLiteral("2"),
                                      QStringLiteral("2"), QStringLiteral("0"), QStringLiteral("0"),
                                      QStringLiteral("200"),
                                      nRow < 3 ? QStringLiteral("pass")
                                               : QStringLiteral("fail (7): 1 of 2 requests failed (1 with a failing check)")}
                                          .join(QLatin1Char('|'))));
    }
    EXPECT_TRUE(model.index(3, 9).data(Qt::ToolTipRole).toString().endsWith(
        QStringLiteral("PTZ_GETPOSITION=0 (check: expected status 404, got 200)")))
        << model.index(3, 9).data(Qt::ToolTipRole).toString().toStdString();
    EXPECT_EQ(model.Cells(0).mid(0, 4).join(QLatin1Char('|')), QStringLiteral("All devices|3 of 3 done|6|6"));
    // Every line names its device; each device logs the same lines.
    const QString strLog = Log();
    const QStringList lines = strLog.split(QRegularExpression(QStringLiteral("[\r\n]+")), Qt::SkipEmptyParts);
    int nLines[3] = {0, 0, 0};
    for (const QString& strLine : lines) {
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("^\\[cam-([123])\\] \\[\\d\\d:")).match(strLine);
        ASSERT_TRUE(match.hasMatch()) << strLine.toStdString();
        ++nLines[match.captured(1).toInt() - 1];
    }
    EXPECT_GT(nLines[0], 4);
    EXPECT_EQ(nLines[0], nLines[1]);
    EXPECT_EQ(nLines[0] + 1, nLines[2]) << "cam-3 logs its [CHECK] line";
    for (int n = 1; n <= 3; ++n)
        EXPECT_TRUE(strLog.contains(QStringLiteral("[SEND] http://127.0.1.%1:%2/httpapi/").arg(n).arg(sim.port())));

    // The fleet in the results window, then one device.
    CResultsWindow& results = m_pDlg->ResultsWindow();
    results.Flush();
    EXPECT_EQ(results.Statistics().total.nCount, 6u);
    devices.PickRow(2);
    results.Flush();
    EXPECT_EQ(results.Statistics().total.nCount, 2u);
    ASSERT_EQ(results.Statistics().vecUrls.size(), 2u);
    EXPECT_TRUE(results.Statistics().vecUrls[0].strUrl.startsWith(QStringLiteral("http://127.0.1.2:")));
    EXPECT_TRUE(results.SummaryText().contains(QStringLiteral("[cam-2]"))) << results.SummaryText().toStdString();
}

// A fleet that would run for ever: "Stop" ends every running device at its
// next End, the device still waiting for a job never starts, and the
// controls come back; sent again, closing the window ends it at once.
TEST_F(DevicesWindow, StopEndsEveryDeviceAndClosingEndsAFleetAtOnce)
{
    devsimtest::Devsim sim;
    ASSERT_TRUE(sim.Start({QStringLiteral("--devices"), QStringLiteral("3")}));
    QTemporaryDir dir;
    ASSERT_TRUE(m_pDlg->LoadDeviceList(WriteFile(dir, QStringLiteral("lab.csv"),
                                                 QStringLiteral("name,host\ncam-1,127.0.1.1\ncam-2,127.0.1.2\n"
                                                                "cam-3,127.0.1.3\n"))));
    m_pDlg->TlsOptionsMenu().SetJobs(2);
    m_pDlg->CommandBox().SetWindowText(
        QStringLiteral("While(0)\r\nhttp://{{host}}:%1/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0\r\n"
                       "Sleep(20)\r\nEnd")
            .arg(sim.port()));
    QTest::mouseClick(Ctl<QPushButton>(1002), Qt::LeftButton);
    CDevicesWindow& devices = m_pDlg->DevicesWindow();
    ASSERT_TRUE(WaitFor(
        [&] {
            devices.Flush();
            return devices.Model()->Cells(1).value(2).toInt() >= 3 && devices.Model()->Cells(2).value(2).toInt() >= 3;
        },
        10000));
    QTest::mouseClick(Ctl<QPushButton>(1009), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !m_pDlg->IsRunning(); }, 5000)) << "every device took the stop";
    m_pDlg->FlushPendingLog();
    EXPECT_TRUE(Enabled(1002));
    EXPECT_FALSE(Enabled(1009));
    devices.Flush();
    EXPECT_EQ(devices.Model()->Cells(1).value(1), QStringLiteral("done"));
    EXPECT_EQ(devices.Model()->Cells(2).value(1), QStringLiteral("done"));
    EXPECT_EQ(devices.Model()->Cells(3).value(1), QStringLiteral("not run")) << "no device starts after Stop";
    EXPECT_EQ(devices.Model()->Cells(0).value(9), QStringLiteral("fail: 2 of 3 pass, 1 not run"))
        << "the device that never ran fails the fleet";
    EXPECT_TRUE(Log().contains(QStringLiteral("[cam-1]"))) << "the stopped devices logged their end";

    QTest::mouseClick(Ctl<QPushButton>(1002), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return m_pDlg->IsRunning(); }, 2000));
    QElapsedTimer timer;
    timer.start();
    m_pDlg->close();
    EXPECT_FALSE(m_pDlg->IsRunning());
    EXPECT_LT(timer.elapsed(), 3000) << "closing ends every device at once";
}

// The Ramp-up field spreads the devices' starts over its seconds, in the
// list's order, as velkor-cli's --ramp-up does (without it the three start
// within a few ms); it comes back in the next start of the program.
TEST_F(DevicesWindow, RampUpSpreadsTheStartsAndIsKept)
{
    devsimtest::Devsim sim;
    ASSERT_TRUE(sim.Start({QStringLiteral("--devices"), QStringLiteral("3")}));
    QTemporaryDir dir;
    ASSERT_TRUE(m_pDlg->LoadDeviceList(WriteFile(dir, QStringLiteral("lab.csv"),
                                                 QStringLiteral("name,host\ncam-1,127.0.1.1\ncam-2,127.0.1.2\n"
                                                                "cam-3,127.0.1.3\n"))));
    CDevicesWindow& devices = m_pDlg->DevicesWindow();
    devices.RampUpBox()->setValue(1);
    m_pDlg->CommandBox().SetWindowText(
        QStringLiteral("http://{{host}}:%1/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0").arg(sim.port()));
    QTest::mouseClick(Ctl<QPushButton>(1002), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !m_pDlg->IsRunning(); }, 20000));
    const CFleetRunner& runner = devices.Runner();
    ASSERT_EQ(runner.Count(), 3u);
    EXPECT_LE(runner.StartedAt(0), runner.StartedAt(1));
    EXPECT_LE(runner.StartedAt(1), runner.StartedAt(2));
    // Device 2 is due 1000 ms after device 0, device 1 500 ms after it.
    EXPECT_GE(runner.StartedAt(0).msecsTo(runner.StartedAt(1)), 450);
    EXPECT_GE(runner.StartedAt(0).msecsTo(runner.StartedAt(2)), 950);

    QSettings settings(dir.filePath(QStringLiteral("velkor.ini")), QSettings::IniFormat);
    m_pDlg->StoreSettings(settings);
    CVelkorDlg next;
    next.RestoreSettings(settings);
    EXPECT_EQ(next.DevicesWindow().RampUpBox()->value(), 1);
}

// The Devices window closes on Escape and has a Close button; Ctrl+R there
// brings up the results window, and so does choosing a device.
TEST_F(DevicesWindow, EscapeClosesItAndCtrlROrARowChosenBringsUpTheResults)
{
    CDevicesWindow& devices = m_pDlg->DevicesWindow();
    CResultsWindow& results = m_pDlg->ResultsWindow();
    auto Activate = [](QWidget& window) {
        window.activateWindow();
        QApplication::setActiveWindow(&window);
        return QTest::qWaitForWindowActive(&window);
    };
    devices.ShowBeside(m_pDlg.get());
    ASSERT_TRUE(Activate(devices));
    QTest::keyClick(&devices, Qt::Key_R, Qt::ControlModifier);
    EXPECT_TRUE(WaitFor([&] { return results.isVisible(); }, 2000)) << "Ctrl+R";
    results.close();
    devices.ChooseRow(0);
    EXPECT_TRUE(results.isVisible()) << "a row chosen";
    ASSERT_TRUE(Activate(devices));
    QTest::keyClick(&devices, Qt::Key_Escape);
    EXPECT_TRUE(WaitFor([&] { return !devices.isVisible(); }, 2000));
    devices.ShowBeside(m_pDlg.get());
    QTest::mouseClick(devices.findChild<QPushButton*>(QStringLiteral("close")), Qt::LeftButton);
    EXPECT_FALSE(devices.isVisible());
}

// "all" typed into the Jobs box (as its prompt offers) is taken.
TEST_F(DevicesWindow, TheJobsBoxTakesAllTyped)
{
    m_pDlg->TlsOptionsMenu().SetJobs(2);
    bool bTyped = false;
    QTimer::singleShot(0, [&] {
        QWidget* pDialog = QApplication::activeModalWidget();
        if (pDialog == nullptr)
            return;
        if (auto* pBox = pDialog->findChild<QSpinBox*>(QStringLiteral("jobsBox"))) {
            pBox->selectAll();
            QTest::keyClicks(pBox, QStringLiteral("all"));
            bTyped = pBox->text() == QStringLiteral("all");
            QTest::keyClick(pBox, Qt::Key_Return);
        }
        if (pDialog->isVisible())
            pDialog->close();
    });
    m_pDlg->TlsOptionsMenu().OnJobs();
    EXPECT_TRUE(bTyped);
    EXPECT_EQ(m_pDlg->TlsOptionsMenu().Jobs(), 0);
}
