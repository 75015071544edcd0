// Writes PNGs of the main window (idle and after a run against a loopback
// peer), the command help window and the about box into a folder.
#include "../engine/CTestResponder.h"
#include "engine/CRunEngine.h"
#include "ui/CAboutDlg.h"
#include "ui/CCommandDlg.h"
#include "ui/CVelkorDlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <QThread>

#include <cstdio>

namespace {

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
    std::printf("%s %s\n", bSaved ? "wrote" : "FAILED", qPrintable(strPath));
    return bSaved;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velkor"));
    const QString strFolder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("out/screenshots");
    QDir().mkpath(strFolder);
    bool bOk = true;

    CVelkorDlg dlg;
    dlg.show();
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
    return bOk ? 0 : 1;
}
