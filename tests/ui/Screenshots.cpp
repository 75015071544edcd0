// Writes PNGs of the main window (idle and after a run against a loopback
// peer), the command help window, the about box and the results window (its
// statistics, and its request list with a request picked) into a folder.
//   ui_screenshots [--font-pt N] [--screen WxH] [--panel N] [--scale N] [--devices] [FOLDER]
// --font-pt: the desktop font's size in points (the window keeps its own);
// --screen: the offscreen screen's size in pixels (default 1920x1200);
// --panel: a panel of N pixels at the screen's bottom, which the windows
// leave free; --scale: the scale factor (QT_SCALE_FACTOR), as a desktop
// set to 200 % gives.
#include "engine/CRunSettings.h"
#include "CTestResponder.h"
#include "engine/CRunEngine.h"
#include "ui/CAboutDlg.h"
#include "ui/CCommandDlg.h"
#include "ui/CDevicesWindow.h"
#include "ui/CResultsWindow.h"
#include "ui/CVelkorDlg.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QScrollArea>
#include <QTabWidget>
#include <QTableView>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPixmap>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <memory>
#include <vector>
#include <cstring>

namespace {

struct SOptions {
    int nFontPoints = 0;  // 0: the desktop's own
    QSize screen{1920, 1200};
    int nPanel = 0;
    double dScale = 0;  // 0: none
    bool bDevices = false;  // the device list's windows instead
    QString strFolder = QStringLiteral("out/screenshots");
};

bool ParseOptions(int argc, char* argv[], SOptions& options)
{
    for (int i = 1; i < argc; ++i) {
        const bool bHasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--font-pt") == 0 && bHasValue) {
            options.nFontPoints = QByteArray(argv[++i]).toInt();
            if (options.nFontPoints <= 0)
                return false;
        } else if (std::strcmp(argv[i], "--screen") == 0 && bHasValue) {
            const QList<QByteArray> parts = QByteArray(argv[++i]).split('x');
            if (parts.size() != 2 || parts[0].toInt() <= 0 || parts[1].toInt() <= 0)
                return false;
            options.screen = QSize(parts[0].toInt(), parts[1].toInt());
        } else if (std::strcmp(argv[i], "--panel") == 0 && bHasValue) {
            bool bNumber = false;
            options.nPanel = QByteArray(argv[++i]).toInt(&bNumber);
            if (!bNumber || options.nPanel < 0)
                return false;
        } else if (std::strcmp(argv[i], "--scale") == 0 && bHasValue) {
            bool bNumber = false;
            options.dScale = QByteArray(argv[++i]).toDouble(&bNumber);
            if (!bNumber || options.dScale < 1 || options.dScale > 4)
                return false;
        } else if (std::strcmp(argv[i], "--devices") == 0) {
            options.bDevices = true;
        } else if (argv[i][0] == '-') {
            return false;
        } else {
            options.strFolder = QString::fromLocal8Bit(argv[i]);
        }
    }
    return true;
}

// The offscreen platform with a screen of the given size. (Its screens have
// no panels: a panel's height comes off the screen's.)
void UseOffscreenScreen(const QTemporaryDir& configDir, const QSize& screen)
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && platform != "offscreen")
        return;
    const QString strConfig = configDir.filePath(QStringLiteral("screen.json"));
    QFile config(strConfig);
    if (config.open(QIODevice::WriteOnly))
        config.write(QStringLiteral(R"({"screens": [{"name": "screen", "x": 0, "y": 0, "width": %1, "height": %2,
                                        "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})")
                         .arg(screen.width())
                         .arg(screen.height())
                         .toUtf8());
    config.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(strConfig));
}

void Pump(int nMs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < nMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
}

bool Save(QWidget* pWidget, const QString& strPath)
{
    Pump(100);
    const bool bSaved = pWidget->grab().save(strPath);
    std::printf("%s %s (%d x %d, font %s %d px)\n", bSaved ? "wrote" : "FAILED", qPrintable(strPath),
                pWidget->width(), pWidget->height(), qPrintable(pWidget->fontInfo().family()),
                pWidget->fontInfo().pixelSize());
    return bSaved;
}

// The results window beside pMain after a soak against a device that grows
// slower: two URLs in a While block, a second apart, some slow responses
// and a timeout.
bool SaveResults(QWidget* pMain, const QString& strPath)
{
    CResultsWindow results;
    results.ShowBeside(pMain);
    IRunListener& listener = results.Listener();
    CRunStartInfo start;
    start.strScript = QStringLiteral("soak.cmf");
    start.startedAt = QDateTime(QDate(2024, 5, 14), QTime(9, 30, 0));
    start.nThresholdMs = 300;
    listener.OnRunStart(start);
    const QString urls[] = {
        QStringLiteral("http://127.0.0.1:8080/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0"),
        QStringLiteral("http://127.0.0.1:8080/httpapi/ReadParam?action=readparam&VIDEO_ENCODER_BITRATE=0")};
    quint32 nSeed = 12345;
    auto Noise = [&nSeed](int nRange) {
        nSeed = nSeed * 1103515245u + 12345u;
        return int((nSeed >> 16) % quint32(nRange));
    };
    std::int64_t nAtMs = 0;
    int nIndex = 0;
    const int nPasses = 120;
    // A reboot the run waited for (CheckAlive), its requests pausing meanwhile.
    auto Wait = [&listener, &nAtMs](std::int64_t nDownMs, bool bStopped) {
        CCheckAliveResult wait;
        wait.nLine = 6;
        wait.strHost = QStringLiteral("127.0.0.1");
        wait.strPort = QStringLiteral("8080");
        wait.nAtMs = nAtMs;
        wait.nDownMs = nDownMs;
        wait.nAttempts = int(nDownMs / 1000);
        wait.bStopped = bStopped;
        listener.OnCheckAlive(wait);
        nAtMs += nDownMs + 10;
    };
    for (int nPass = 1; nPass <= nPasses; ++nPass) {
        if (nPass == 25)
            Wait(38000, false);
        for (int nUrl = 0; nUrl < 2; ++nUrl) {
            CRequestResult result;
            result.nIndex = ++nIndex;
            result.nPass = nPass;
            result.nLine = 2 + 2 * nUrl;
            result.strUrl = urls[nUrl];
            result.nAtMs = nAtMs;
            result.nStatus = 200;
            // The device slows down over the second half of the run.
            const int nDrift = nPass > 60 ? (nPass - 60) * 2 : 0;
            result.nTimeMs = (nUrl == 0 ? 40 : 85) + nDrift + Noise(30);
            if (Noise(100) < 4)
                result.nTimeMs += 250 + Noise(200);
            result.outcome = result.nTimeMs >= start.nThresholdMs ? ERequestOutcome::Slow : ERequestOutcome::Ok;
            if (nPass == 97 && nUrl == 1) {
                result.nStatus = -1;
                result.nTimeMs = 10000;
                result.outcome = ERequestOutcome::Timeout;
            }
            result.bPass = CRunSettings().RequestPasses(result.outcome, result.nStatus);  // as the engine judges it
            listener.OnRequest(result);
            nAtMs += result.nTimeMs + 1000;
        }
    }
    // The last reboot was stopped before the device came back.
    Wait(20000, true);
    CRunEndInfo end;
    end.nWhileRepeat = nPasses;
    end.bStopped = true;
    listener.OnRunEnd(end);
    results.Flush();
    bool bOk = Save(&results, strPath);
    // The request list, a slow request picked: its ring on the chart.
    if (auto* pTabs = results.findChild<QTabWidget*>(QStringLiteral("tables"))) {
        pTabs->setCurrentIndex(1);
        results.ChartsArea()->ensureWidgetVisible(pTabs);
    }
    QTableView* pList = results.RequestList();
    for (int nRow = 0; nRow < pList->model()->rowCount(); ++nRow) {
        const QString strOutcome =
            pList->model()->index(nRow, pList->model()->columnCount() - 1).data().toString();
        if (nRow > 100 && strOutcome.startsWith(QStringLiteral("slow"))) {
            pList->selectRow(nRow);
            pList->scrollTo(pList->model()->index(nRow, 0), QAbstractItemView::PositionAtCenter);
            break;
        }
    }
    bOk &= Save(&results, QString(strPath).replace(QStringLiteral(".png"), QStringLiteral("-requests.png")));
    return bOk;
}

// The main window with a list of twenty devices after a run on all of
// them, the Devices window and the fleet's results, its chart by script
// line and by device.
bool SaveDevices(CVelkorDlg& dlg, const QString& strFolder)
{
    const QByteArray kOk = "HTTP/1.1 200 OK\r\nContent-Length: 24\r\n\r\n{\"pan\":120,\"tilt\":-15}\r\n";
    std::vector<std::unique_ptr<CTestResponder>> cams;
    QString strRows = QStringLiteral("name,port\n");
    const QStringList names = {QStringLiteral("lobby-cam"), QStringLiteral("gate-cam"), QStringLiteral("yard-cam")};
    for (int i = 0; i < 20; ++i) {
        cams.push_back(std::make_unique<CTestResponder>(kOk, 10 + (i * 37) % 90));
        strRows += QStringLiteral("%1,%2\n")
                       .arg(i < names.size() ? names[i] : QStringLiteral("cam-%1").arg(i + 1, 2, 10, QLatin1Char('0')))
                       .arg(cams.back()->Port());
    }
    QTemporaryDir dir;
    const QString strList = dir.filePath(QStringLiteral("lab.csv"));
    {
        QFile file(strList);
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write(strRows.toUtf8());
    }
    if (!dlg.LoadDeviceList(strList))
        return false;
    dlg.CommandBox().SetWindowText(
        QStringLiteral("While(4)\r\nhttp://127.0.0.1:{{port}}/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0\r\n"
                       "Sleep(50)\r\nEnd\r\n"));
    dlg.findChild<QAbstractButton*>(QStringLiteral("1002"))->click();
    QElapsedTimer timer;
    timer.start();
    while (dlg.IsRunning() && timer.elapsed() < 20000)
        Pump(20);
    dlg.FlushPendingLog();
    bool bOk = Save(&dlg, strFolder + QStringLiteral("/main-devices.png"));
    dlg.OnViewDevices();
    CDevicesWindow& devices = dlg.DevicesWindow();
    devices.Flush();
    bOk &= Save(&devices, strFolder + QStringLiteral("/devices.png"));
    dlg.OnViewResults();
    dlg.ResultsWindow().Flush();
    bOk &= Save(&dlg.ResultsWindow(), strFolder + QStringLiteral("/devices-results.png"));
    dlg.ResultsWindow().ChartBy()->setCurrentIndex(1);
    dlg.ResultsWindow().Flush();
    bOk &= Save(&dlg.ResultsWindow(), strFolder + QStringLiteral("/devices-results-by-device.png"));
    dlg.ResultsWindow().ChartBy()->setCurrentIndex(0);
    devices.PickRow(3);
    dlg.ResultsWindow().Flush();
    bOk &= Save(&dlg.ResultsWindow(), strFolder + QStringLiteral("/devices-results-yard-cam.png"));
    return bOk;
}

}  // namespace

int main(int argc, char* argv[])
{
    SOptions options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: %s [--font-pt N] [--screen WxH] [--panel N] [--scale N] [--devices] [FOLDER]\n", argv[0]);
        return 2;
    }
    const QTemporaryDir configDir;
    if (options.nPanel >= options.screen.height()) {
        std::fprintf(stderr, "%s: the panel leaves no screen\n", argv[0]);
        return 2;
    }
    UseOffscreenScreen(configDir, options.screen - QSize(0, options.nPanel));
    if (options.dScale > 0)
        qputenv("QT_SCALE_FACTOR", QByteArray::number(options.dScale));
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velkor"));
    if (options.nFontPoints > 0) {
        QFont font = QApplication::font();
        font.setPointSize(options.nFontPoints);
        QApplication::setFont(font);
    }
    const QString& strFolder = options.strFolder;
    QDir().mkpath(strFolder);
    bool bOk = true;

    CVelkorDlg dlg;
    dlg.show();
    if (options.bDevices)
        return SaveDevices(dlg, strFolder) ? 0 : 1;
    bOk &= Save(&dlg, strFolder + QStringLiteral("/main-idle.png"));

    CTestResponder peer("HTTP/1.1 200 OK\r\nContent-Length: 24\r\n\r\n{\"pan\":120,\"tilt\":-15}\r\n", 20);
    const QString strUrl = QStringLiteral("http://127.0.0.1:%1/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0")
                               .arg(peer.Port());
    dlg.CommandBox().SetWindowText(QStringLiteral("While(3)\r\n%1\r\nSleep(50)\r\nEnd\r\n").arg(strUrl));
    dlg.findChild<QAbstractButton*>(QStringLiteral("1002"))->click();
    QElapsedTimer timer;
    timer.start();
    while (dlg.Engine().IsRunning() && timer.elapsed() < 20000)
        Pump(20);
    dlg.FlushPendingLog();
    bOk &= Save(&dlg, strFolder + QStringLiteral("/main-after-run.png"));

    auto* pHelp = new CCommandDlg(&dlg);
    pHelp->show();
    bOk &= Save(pHelp, strFolder + QStringLiteral("/help.png"));

    CAboutDlg about(&dlg);
    about.show();
    bOk &= Save(&about, strFolder + QStringLiteral("/about.png"));
    about.hide();

    bOk &= SaveResults(&dlg, strFolder + QStringLiteral("/results.png"));
    return bOk ? 0 : 1;
}
