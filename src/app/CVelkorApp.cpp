#include "CVelkorApp.h"

#include "platform/Sockets.h"
#include "ui/CVelkorDlg.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>

namespace {

void ShowStartupFailure()
{
    QMessageBox::warning(nullptr, QCoreApplication::applicationName(),
                         QString::fromUtf8(CVelkorApp::StartupFailureText()));
}

}  // namespace

CVelkorApp::CVelkorApp() : CVelkorApp(&SocketStartup, &ShowStartupFailure) {}

CVelkorApp::CVelkorApp(StartupFunction startup, MessageFunction showStartupFailure)
    : m_startup(std::move(startup)), m_showStartupFailure(std::move(showStartupFailure))
{
}

bool CVelkorApp::IsResultsFile(const QString& strPath)
{
    return QFileInfo(strPath).suffix().compare(QLatin1String("json"), Qt::CaseInsensitive) == 0;
}

const char* CVelkorApp::StartupFailureText() { return "Windows 소켓을 초기화하지 못했습니다."; }

int CVelkorApp::InitInstance()
{
    if (m_startup() != 0) {
        m_showStartupFailure();
        return 1;
    }
    {
        CVelkorDlg dlg;
        // The user's own settings: the windows' places, the threshold, the ID, the auto save.
        QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Velkor"),
                           QStringLiteral("velkor"));
        dlg.RestoreSettings(settings);
        // Queued, so that the window is up first and a message box about an
        // unreadable file stands over it.
        // A saved JSON report is opened in the results window instead.
        if (!m_strCommandFile.isEmpty())
            QTimer::singleShot(0, &dlg, [&dlg, strPath = m_strCommandFile] {
                if (IsResultsFile(strPath))
                    dlg.OpenResults(strPath);
                else
                    dlg.LoadCommandFile(strPath);
            });
        // Shown modeless under an event loop of its own, not run modally: a
        // modal main window would block every other window of the program,
        // and the results window beside it must take input too. The program
        // ends when the main window closes, as before.
        QEventLoop loop;
        QObject::connect(&dlg, &QDialog::finished, &loop, &QEventLoop::quit);
        dlg.show();
        loop.exec();
        dlg.StoreSettings(settings);
    }
    SocketCleanup();
    return 0;
}
