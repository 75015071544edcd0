// velkor FILE: once the window is up, the file is in the command box as
// "Load command" would put it there; a file that cannot be read gets the
// message box that "Load command" shows, over the window. A saved report
// (.json) is opened in the results window instead.
#include "app/CVelkorApp.h"
#include "ui/CVelkorDlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

namespace {

struct SLoadResult {
    QString strCommandText;  // the command box afterwards
    QStringList messages;    // the message boxes' texts
};

// What "File" > "Load command" does with strPath in a new window.
SLoadResult LoadThroughFileMenu(const QString& strPath)
{
    CVelkorDlg dlg;
    SLoadResult result;
    dlg.UserPrompts().ChooseFile = [&](QWidget*, const CUserPrompts::SFileRequest&) { return strPath; };
    dlg.UserPrompts().ShowError = [&](QWidget*, const QString& strText) { result.messages << strText; };
    dlg.OnLoadCommand();
    result.strCommandText = dlg.CommandBox().GetWindowText();
    return result;
}

struct SStartup : SLoadResult {
    int nExitCode = -1;
    bool bWindowUpAtMessage = false;
};

// Runs the program with strPath as its command file. Every message box is
// answered; the window is closed once the file is in or a message came (or,
// when neither happens, after a while, so that a fault fails the test instead
// of hanging it).
SStartup StartWithCommandFile(const QString& strPath)
{
    SStartup startup;
    QElapsedTimer clock;
    clock.start();
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        CVelkorDlg* pShownDlg = nullptr;
        for (QWidget* pWidget : QApplication::topLevelWidgets())
            if (auto* pDlg = qobject_cast<CVelkorDlg*>(pWidget); pDlg != nullptr && pDlg->isVisible())
                pShownDlg = pDlg;
        for (QWidget* pWidget : QApplication::topLevelWidgets()) {
            if (auto* pBox = qobject_cast<QMessageBox*>(pWidget); pBox != nullptr && pBox->isVisible()) {
                startup.messages << pBox->text();
                startup.bWindowUpAtMessage = pShownDlg != nullptr;
                pBox->accept();
                return;
            }
        }
        if (pShownDlg == nullptr)
            return;
        startup.strCommandText = pShownDlg->CommandBox().GetWindowText();
        if (!startup.strCommandText.isEmpty() || !startup.messages.isEmpty() || clock.elapsed() > 10000)
            pShownDlg->close();
    });
    watcher.start(10);
    CVelkorApp app([] { return 0; }, [] {});
    app.SetCommandFile(strPath);
    startup.nExitCode = app.InitInstance();
    return startup;
}

TEST(StartupFile, TheFileIsInTheCommandBoxAsLoadCommandPutsIt)
{
    QTemporaryDir dir;
    const QString strPath = dir.filePath(QStringLiteral("ptz.cmf"));
    QFile file(strPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("While(2)\r\nhttp://127.0.0.1:8080/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0\n"
               "Sleep(100) \xed\x95\x9c\xea\xb8\x80\nEnd\n");
    file.close();
    const SLoadResult byMenu = LoadThroughFileMenu(strPath);
    ASSERT_TRUE(byMenu.messages.isEmpty());
    ASSERT_TRUE(byMenu.strCommandText.startsWith(QStringLiteral("While(2)\r\nhttp://")));

    const SStartup startup = StartWithCommandFile(strPath);
    EXPECT_EQ(startup.nExitCode, 0);
    EXPECT_EQ(startup.strCommandText.toStdString(), byMenu.strCommandText.toStdString());
    EXPECT_TRUE(startup.messages.isEmpty()) << startup.messages.join(QLatin1Char('\n')).toStdString();
}

TEST(StartupFile, AnUnreadableFileGetsLoadCommandsMessageOverTheWindow)
{
    QTemporaryDir dir;
    const QString strPath = dir.filePath(QStringLiteral("missing.cmf"));
    const SLoadResult byMenu = LoadThroughFileMenu(strPath);
    ASSERT_EQ(byMenu.messages.size(), 1);

    const SStartup startup = StartWithCommandFile(strPath);
    EXPECT_EQ(startup.nExitCode, 0);
    EXPECT_EQ(startup.messages.join(QLatin1Char('\n')).toStdString(), byMenu.messages.front().toStdString());
    EXPECT_TRUE(startup.bWindowUpAtMessage);
    EXPECT_EQ(startup.strCommandText.toStdString(), "");
}

// velkor REPORT.json: a report is opened as "Open results..." opens it, not
// loaded into the command box; one that cannot be opened says so over the
// window.
TEST(StartupFile, AJsonReportIsOpenedAsOpenResultsOpensIt)
{
    QTemporaryDir dir;
    const QString strPath = dir.filePath(QStringLiteral("bad.json"));
    QFile file(strPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("{\"velkor_version\": \"0.1\", \"script\": ");
    file.close();

    const SStartup startup = StartWithCommandFile(strPath);
    EXPECT_EQ(startup.nExitCode, 0);
    ASSERT_EQ(startup.messages.size(), 1);
    EXPECT_TRUE(startup.messages[0].startsWith(
        QStringLiteral("Cannot open bad.json: it is not a report this version of Velkor reads (not JSON (")))
        << startup.messages[0].toStdString();
    EXPECT_TRUE(startup.bWindowUpAtMessage);
    EXPECT_EQ(startup.strCommandText.toStdString(), "");
}

}  // namespace
