#include "DlgFixture.h"

#include "../LogText.h"
#include "CTestResponder.h"
#include "log/CLogWriter.h"
#include "ui/CCommandDlg.h"
#include "ui/CTlsOptionsMenu.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>

namespace {

// A CA certificate, for a file the window takes.
const char kCertificate[] = "-----BEGIN CERTIFICATE-----\n"
                            "MIIBmDCCAT2gAwIBAgIURZ0Z7xhZqVQ/1SCNwcS9TKNg7NQwCgYIKoZIzj0EAwIw\n"
                            "IDEeMBwGA1UEAwwVVmVsa29yIHdpbmRvdyB0ZXN0IENBMCAXDTI2MTIwOTIxMDAz\n"
                            "M1oYDzIxMjYxMTE1MjEwMDMzWjAgMR4wHAYDVQQDDBVWZWxrb3Igd2luZG93IHRl\n"
                            "c3QgQ0EwWTATBgcqhkjOPQIBBggqhkjOPQMBBwNCAARSGctvRzJNhX7OvKLKQAZy\n"
                            "XA6cO3mCLUKKPv3/KJ8OKnBuutoUT3CKGDdQA+2ZLygLSLKXx5BI+pDpXP/J3dIM\n"
                            "o1MwUTAdBgNVHQ4EFgQUddhQvtxLaDi9tMp5tLWJfmT8GsMwHwYDVR0jBBgwFoAU\n"
                            "ddhQvtxLaDi9tMp5tLWJfmT8GsMwDwYDVR0TAQH/BAUwAwEB/zAKBggqhkjOPQQD\n"
                            "AgNJADBGAiEAsAAV6Z3JQolT3tZcyLvAsFzlXFgRh+SW3vh6FBHHcMwCIQCugVwc\n"
                            "3tq/e2J5ckTz+S9B/yRXdCnhdxO6IleInGvcNA==\n"
                            "-----END CERTIFICATE-----\n";

void WriteFile(const QString& strPath, const QByteArray& text)
{
    QFile file(strPath);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

QByteArray ReadAll(const QString& strPath)
{
    QFile file(strPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// The window with its dialogs answered by the test: every file chooser
// returns m_strNextPath (empty: cancelled) and every error box is recorded.
class FileMenu : public DlgFixture {
protected:
    void SetUp() override
    {
        DlgFixture::SetUp();
        CUserPrompts& prompts = m_pDlg->UserPrompts();
        prompts.ChooseFile = [this](QWidget*, const CUserPrompts::SFileRequest& request) {
            m_requests.push_back(request);
            return m_strNextPath;
        };
        prompts.ChooseFolder = [this](QWidget*, const QString& strTitle, const QString&) {
            m_strFolderTitle = strTitle;
            return m_strNextPath;
        };
        prompts.ShowError = [this](QWidget*, const QString& strText) { m_errors << strText; };
    }
    void Trigger(const char* pId)
    {
        QAction* pAction = m_pDlg->findChild<QAction*>(QString::fromLatin1(pId));
        ASSERT_NE(pAction, nullptr) << pId;
        pAction->trigger();
    }
    QString Path(const QString& strName) const { return m_dir.filePath(strName); }

    QTemporaryDir m_dir;
    QString m_strNextPath;
    QString m_strFolderTitle;
    std::vector<CUserPrompts::SFileRequest> m_requests;
    QStringList m_errors;
};

TEST_F(FileMenu, DialogsOfferTheirFiltersAndExtensions)
{
    Trigger("32780");  // Save command
    Trigger("32779");  // Load command
    Trigger("32778");  // Save log
    ASSERT_EQ(m_requests.size(), 3u);
    EXPECT_TRUE(m_requests[0].bSave);
    EXPECT_EQ(m_requests[0].strFilter, QStringLiteral("command files (*.cmf);;All Files (*.*)"));
    EXPECT_EQ(m_requests[0].strDefaultSuffix, QStringLiteral("cmf"));
    EXPECT_FALSE(m_requests[1].bSave);
    EXPECT_EQ(m_requests[1].strDefaultSuffix, QStringLiteral("cmf"));
    EXPECT_TRUE(m_requests[2].bSave);
    EXPECT_EQ(m_requests[2].strFilter, QStringLiteral("text files (*.txt);;All Files (*.*)"));
    EXPECT_EQ(m_requests[2].strDefaultSuffix, QStringLiteral("txt"));
    EXPECT_TRUE(m_errors.isEmpty()) << "cancelling does nothing";
    EXPECT_TRUE(QDir(m_dir.path()).isEmpty());
}

TEST_F(FileMenu, SaveThenLoadGivesTheScriptBack)
{
    const QString scripts[] = {
        QStringLiteral("While(2)\r\nhttp://127.0.0.1/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0\r\nEnd"),
        QString::fromUtf8("Sleep(100) \xed\x95\x9c\xea\xb5\xad\xec\x96\xb4 \xec\x8a\xa4\xed\x81\xac\xeb\xa6\xbd\xed\x8a\xb8"),
        QStringLiteral("http://127.0.0.1/httpapi/x?") + QString(3000, QLatin1Char('y')),
    };
    for (const QString& strScript : scripts) {
        m_pDlg->CommandBox().SetWindowText(strScript);
        m_strNextPath = Path(QStringLiteral("script.cmf"));
        Trigger("32780");
        m_pDlg->CommandBox().SetWindowText(QString());
        Trigger("32779");
        EXPECT_EQ(m_pDlg->CommandBox().GetWindowText(), strScript + QStringLiteral("\r\n"));
    }
    EXPECT_TRUE(m_errors.isEmpty());
}

// The title names the command file last saved or loaded, with "*" once the
// box changed since; "Clear command" leaves "Velkor".
TEST_F(FileMenu, TheTitleNamesTheCommandFileAndMarksAChange)
{
    EXPECT_EQ(m_pDlg->windowTitle(), QStringLiteral("Velkor"));
    m_pDlg->CommandBox().SetWindowText(QStringLiteral("Sleep(5)"));
    EXPECT_EQ(m_pDlg->windowTitle(), QStringLiteral("Velkor")) << "a typed script has no file";
    m_strNextPath = Path(QStringLiteral("pan.cmf"));
    Trigger("32780");
    EXPECT_EQ(m_pDlg->windowTitle(), QStringLiteral("Velkor - pan.cmf"));
    QTest::keyClick(m_pDlg->Control(1000), Qt::Key_X);
    EXPECT_EQ(m_pDlg->windowTitle(), QStringLiteral("Velkor - pan.cmf*"));
    m_strNextPath.clear();
    Trigger("32780");
    EXPECT_EQ(m_pDlg->windowTitle(), QStringLiteral("Velkor - pan.cmf*")) << "a cancelled save changes nothing";
    m_strNextPath = Path(QStringLiteral("pan.cmf"));
    Trigger("32779");
    EXPECT_EQ(m_pDlg->windowTitle(), QStringLiteral("Velkor - pan.cmf"));
    QTest::mouseClick(Ctl<QPushButton>(1004), Qt::LeftButton);
    EXPECT_EQ(m_pDlg->windowTitle(), QStringLiteral("Velkor"));
}

// Each kind of file dialog opens where its last file was chosen.
TEST_F(FileMenu, FileDialogsOpenInTheFolderOfTheirLastFile)
{
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("logs")));
    m_strNextPath = Path(QStringLiteral("scan.cmf"));
    Trigger("32780");  // Save command
    m_strNextPath = Path(QStringLiteral("logs/run.txt"));
    Trigger("32778");  // Save log
    m_strNextPath.clear();
    Trigger("32779");  // Load command, cancelled
    Trigger("32778");  // Save log, cancelled
    ASSERT_EQ(m_requests.size(), 4u);
    EXPECT_EQ(m_requests[0].strStartFolder, QString());
    EXPECT_EQ(m_requests[2].strStartFolder, QDir(m_dir.path()).absolutePath());
    EXPECT_EQ(m_requests[3].strStartFolder, QDir(Path(QStringLiteral("logs"))).absolutePath());
}

// File > Recent files: the last 8 files loaded or saved, newest first, the
// same file once; choosing one loads it as its own item would (a .csv as a
// device list), and one that is gone is told and leaves the list. The list
// comes back with the settings.
TEST_F(FileMenu, RecentFilesLoadAgainAndComeBackNextStart)
{
    for (int i = 1; i <= 9; ++i)
        WriteFile(Path(QStringLiteral("s%1.cmf").arg(i)), QByteArray("Sleep(") + QByteArray::number(i) + ")\n");
    WriteFile(Path(QStringLiteral("cams & co.csv")), "name,host\ncam-1,127.0.0.1\n");
    for (int i = 1; i <= 9; ++i)
        ASSERT_TRUE(m_pDlg->LoadCommandFile(Path(QStringLiteral("s%1.cmf").arg(i))));
    ASSERT_TRUE(m_pDlg->LoadDeviceList(Path(QStringLiteral("cams & co.csv"))));
    ASSERT_TRUE(m_pDlg->LoadCommandFile(Path(QStringLiteral("s5.cmf"))));
    const QStringList recent = m_pDlg->RecentFiles();
    ASSERT_EQ(recent.size(), 8);
    EXPECT_EQ(QFileInfo(recent[0]).fileName(), QStringLiteral("s5.cmf"));
    EXPECT_EQ(QFileInfo(recent[1]).fileName(), QStringLiteral("cams & co.csv"));
    EXPECT_EQ(QFileInfo(recent[7]).fileName(), QStringLiteral("s3.cmf"));
    const QList<QAction*> items = m_pDlg->RecentFilesMenu()->actions();
    ASSERT_EQ(items.size(), 8);
    EXPECT_TRUE(items[1]->text().startsWith(QStringLiteral("&2 cams && co.csv  (")));

    m_pDlg->Control(1000)->setFocus();
    qobject_cast<QPlainTextEdit*>(m_pDlg->Control(1000))->clear();
    items[7]->trigger();  // s3.cmf
    EXPECT_EQ(qobject_cast<QPlainTextEdit*>(m_pDlg->Control(1000))->toPlainText().trimmed(), QStringLiteral("Sleep(3)"));
    EXPECT_EQ(QFileInfo(m_pDlg->RecentFiles().value(0)).fileName(), QStringLiteral("s3.cmf"));

    ASSERT_TRUE(QFile::remove(Path(QStringLiteral("s4.cmf"))));
    const QString strGone = m_pDlg->RecentFiles().filter(QStringLiteral("s4.cmf")).value(0);
    ASSERT_FALSE(strGone.isEmpty());
    for (QAction* pItem : m_pDlg->RecentFilesMenu()->actions())
        if (pItem->data().toString() == strGone)
            pItem->trigger();
    EXPECT_EQ(m_errors.size(), 1);
    EXPECT_FALSE(m_pDlg->RecentFiles().contains(strGone));

    QSettings settings(Path(QStringLiteral("velkor.ini")), QSettings::IniFormat);
    m_pDlg->StoreSettings(settings);
    CVelkorDlg next;
    next.RestoreSettings(settings);
    EXPECT_EQ(next.RecentFiles(), m_pDlg->RecentFiles());
    EXPECT_EQ(next.RecentFilesMenu()->actions().size(), 7);
}

TEST_F(FileMenu, SaveWritesLinesEndedByLineFeeds)
{
    m_strNextPath = Path(QStringLiteral("a.cmf"));
    m_pDlg->CommandBox().SetWindowText(QStringLiteral("a\r\nb"));
    Trigger("32780");
    EXPECT_EQ(ReadAll(m_strNextPath), QByteArray("a\nb\n"));
    m_pDlg->CommandBox().SetWindowText(QStringLiteral("a\r\nb\r\n"));
    Trigger("32780");
    EXPECT_EQ(ReadAll(m_strNextPath), QByteArray("a\nb\n\n")) << "the box's empty last line is saved too";
}

TEST_F(FileMenu, LoadInsertsAtTheCaret)
{
    QFile file(Path(QStringLiteral("in.cmf")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("Sleep(5)\r\nEnd");
    file.close();
    m_pDlg->CommandBox().SetWindowText(QStringLiteral("While(2)\r\nhttp://h/httpapi/x"));
    m_pDlg->CommandBox().SetSel(10, 10);  // start of the second line
    m_strNextPath = file.fileName();
    Trigger("32779");
    EXPECT_EQ(m_pDlg->CommandBox().GetWindowText(), QStringLiteral("While(2)\r\nSleep(5)\r\nEnd\r\nhttp://h/httpapi/x"));
}

TEST_F(FileMenu, KeysReachTheFileCommandsTheHelpAndTheMenus)
{
    QWidget* pScript = m_pDlg->Control(1000);
    pScript->setFocus();
    QTest::keyClick(pScript, Qt::Key_O, Qt::ControlModifier);
    QTest::keyClick(pScript, Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(m_requests.size(), 2u);
    EXPECT_FALSE(m_requests[0].bSave) << "Ctrl+O loads a command file";
    EXPECT_TRUE(m_requests[1].bSave);
    EXPECT_EQ(m_requests[1].strDefaultSuffix, QStringLiteral("cmf")) << "Ctrl+S saves the command";
    QTest::keyClick(pScript, Qt::Key_F1);
    EXPECT_EQ(m_pDlg->findChildren<CCommandDlg*>().size(), 1) << "F1 shows the command help";
    EXPECT_TRUE(m_pDlg->CommandBox().GetWindowText().isEmpty()) << "no key reached the script";

    // Alt+F opens "File"; every menu and item has an access key of its own.
    auto* pMenuBar = m_pDlg->findChild<QMenuBar*>();
    QMenu* pFile = pMenuBar->actions().value(0)->menu();
    m_pDlg->activateWindow();
    QTest::keyClick(m_pDlg.get(), Qt::Key_F, Qt::AltModifier);
    EXPECT_TRUE(WaitFor([&] { return pFile->isVisible(); }, 2000)) << "Alt+F";
    pFile->hide();
    QList<QList<QAction*>> menus{pMenuBar->actions()};
    for (QAction* pMenu : pMenuBar->actions())
        menus << pMenu->menu()->actions();
    for (const QList<QAction*>& actions : menus) {
        QStringList keys;
        for (const QAction* pAction : actions) {
            if (pAction->isSeparator())
                continue;
            const QString strKey = QKeySequence::mnemonic(pAction->text()).toString();
            EXPECT_FALSE(strKey.isEmpty() || keys.contains(strKey)) << pAction->text().toStdString();
            keys << strKey;
        }
    }
}

TEST_F(FileMenu, FilesThatCannotBeUsedAreReported)
{
    m_pDlg->CommandBox().SetWindowText(QStringLiteral("kept"));
    m_strNextPath = Path(QStringLiteral("missing.cmf"));
    Trigger("32779");
    ASSERT_EQ(m_errors.size(), 1);
    EXPECT_TRUE(m_errors[0].contains(m_strNextPath));
    EXPECT_EQ(m_pDlg->CommandBox().GetWindowText(), QStringLiteral("kept"));

    m_strNextPath = Path(QStringLiteral("no/such/folder/x.cmf"));
    Trigger("32780");
    Trigger("32778");
    EXPECT_EQ(m_errors.size(), 3) << "a save that fails is not silent";
}

TEST_F(FileMenu, SaveLogWritesEveryEntryAndAnEmptyLogGivesAnEmptyFile)
{
    m_strNextPath = Path(QStringLiteral("empty.txt"));
    Trigger("32778");
    EXPECT_EQ(ReadAll(m_strNextPath), QByteArray());

    m_pDlg->LogWriter().WriteLog(QStringLiteral("first"));
    m_pDlg->LogWriter().WriteLog(QString::fromUtf8("Response data : \xea\xb0\x80 ") + QString(400, QLatin1Char('d')));
    m_strNextPath = Path(QStringLiteral("log.txt"));
    Trigger("32778");
    const QStringList lines = QString::fromUtf8(ReadAll(m_strNextPath)).split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral("] first")));
    EXPECT_TRUE(lines[1].endsWith(QString(400, QLatin1Char('d')))) << "long lines are saved whole";
    EXPECT_EQ(lines[2], QString());
}

TEST_F(FileMenu, SetPathChoosesTheFolderAndCancelKeepsIt)
{
    QTest::mouseClick(Ctl<QCheckBox>(1012), Qt::LeftButton);
    m_strNextPath = m_dir.path();
    QTest::mouseClick(Ctl<QPushButton>(1011), Qt::LeftButton);
    EXPECT_EQ(m_strFolderTitle, QStringLiteral("Select a folder to save a log"));
    EXPECT_EQ(m_pDlg->LogWriter().LogFolder(), m_dir.path());
    EXPECT_EQ(Ctl<QLineEdit>(1014)->text(), m_dir.path());

    m_strNextPath.clear();
    QTest::mouseClick(Ctl<QPushButton>(1011), Qt::LeftButton);
    EXPECT_EQ(m_pDlg->LogWriter().LogFolder(), m_dir.path());

    // Switched off and on again, the folder must be chosen anew.
    QTest::mouseClick(Ctl<QCheckBox>(1012), Qt::LeftButton);
    QTest::mouseClick(Ctl<QCheckBox>(1012), Qt::LeftButton);
    m_pDlg->CommandBox().SetWindowText(QStringLiteral("Sleep(1)"));
    QTest::mouseClick(Ctl<QPushButton>(1002), Qt::LeftButton);
    EXPECT_EQ(m_errors, QStringList{QStringLiteral("Please set a path to save a log.")});
    EXPECT_FALSE(m_pDlg->Engine().IsRunning());
}

TEST_F(FileMenu, AutoSavedRunMatchesTheLogBoxWithoutTimestamps)
{
    CTestResponder peer("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    QTest::mouseClick(Ctl<QCheckBox>(1012), Qt::LeftButton);
    m_strNextPath = m_dir.path();
    QTest::mouseClick(Ctl<QPushButton>(1011), Qt::LeftButton);
    m_pDlg->CommandBox().SetWindowText(
        QStringLiteral("While(2)\r\nhttp://127.0.0.1:%1/httpapi/a\r\nEnd").arg(peer.Port()));
    QTest::mouseClick(Ctl<QPushButton>(1002), Qt::LeftButton);
    ASSERT_TRUE(WaitForRunEnd());

    const QStringList files = QDir(m_dir.path()).entryList({QStringLiteral("*_Velkor_Log.txt")}, QDir::Files);
    ASSERT_EQ(files.size(), 1);
    QString strBox = WithoutStamps(Log());
    strBox.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    EXPECT_EQ(QString::fromUtf8(ReadAll(m_dir.filePath(files[0]))), strBox);
    EXPECT_TRUE(strBox.contains(QStringLiteral("== While Repeat : 2 ")));
}

TEST_F(FileMenu, OptionsChooseTheCertificateFileAndReachTheRun)
{
    auto* pTrust = m_pDlg->findChild<QAction*>(QStringLiteral("32790"));
    auto* pClear = m_pDlg->findChild<QAction*>(QStringLiteral("32791"));
    auto* pInsecure = m_pDlg->findChild<QAction*>(QStringLiteral("32792"));
    ASSERT_TRUE(pTrust && pClear && pInsecure);
    EXPECT_FALSE(pTrust->isChecked());
    EXPECT_FALSE(pClear->isEnabled());
    EXPECT_FALSE(pInsecure->isChecked()) << "certificates are checked by default";

    // A file that holds no certificate is refused at once, and nothing is trusted.
    const QString strText = Path(QStringLiteral("not-a-cert.pem"));
    WriteFile(strText, "no certificate here\n");
    m_strNextPath = strText;
    Trigger("32790");
    ASSERT_EQ(m_requests.size(), 1u);
    EXPECT_FALSE(m_requests[0].bSave);
    EXPECT_EQ(m_requests[0].strFilter, QStringLiteral("Certificates (*.pem *.crt *.cer);;All Files (*.*)"));
    const QString strRefusedBox = QStringLiteral("The certificate file %1 cannot be used: holds no certificate").arg(strText);
    EXPECT_EQ(m_errors, QStringList{strRefusedBox});
    EXPECT_FALSE(pTrust->isChecked());
    EXPECT_EQ(m_pDlg->TlsOptionsMenu().TrustedCertificateFile(), QString());

    // A certificate is taken; a cancel, or a file that cannot be used, keeps it.
    const QString strFile = Path(QStringLiteral("camera-ca.pem"));
    WriteFile(strFile, kCertificate);
    m_strNextPath = strFile;
    Trigger("32790");
    EXPECT_TRUE(pTrust->isChecked());
    EXPECT_EQ(QString(pClear->text()).remove(QLatin1Char('&')), QStringLiteral("Clear certificate file (camera-ca.pem)"));
    m_strNextPath.clear();
    Trigger("32790");
    EXPECT_TRUE(pTrust->isChecked()) << "a cancel keeps the file";
    m_strNextPath = strText;
    Trigger("32790");
    EXPECT_TRUE(pTrust->isChecked()) << "so does a file that cannot be used";
    EXPECT_EQ(m_errors, (QStringList{strRefusedBox, strRefusedBox}));
    EXPECT_EQ(m_pDlg->TlsOptionsMenu().TrustedCertificateFile(), strFile);

    // Spoiled after it was chosen: the https server's connect loads the file,
    // refuses it, and the line says why.
    WriteFile(strFile, "no certificate here\n");
    CTestResponder peer("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    const QString strTarget = QStringLiteral("127.0.0.1:%1").arg(peer.Port());
    m_pDlg->CommandBox().SetWindowText(QStringLiteral("https://%1/httpapi/a\r\nhttp://%1/httpapi/b").arg(strTarget));
    QTest::mouseClick(Ctl<QPushButton>(1002), Qt::LeftButton);
    ASSERT_TRUE(WaitForRunEnd());
    const QString strRefused =
        QStringLiteral("[TLS] %1 - the certificate file %2 cannot be used: holds no certificate").arg(strTarget, strFile);
    EXPECT_EQ(Log().count(strRefused), 1) << "once a run, though the connection pass and the request both failed";
    EXPECT_TRUE(Log().contains(QStringLiteral("[SEND] https://%1/httpapi/a").arg(strTarget)));
    EXPECT_FALSE(Log().contains(QStringLiteral("[TLS] Certificates are not checked")));
    m_errors.clear();

    // Cleared, and any certificate accepted: the run says so once.
    Trigger("32791");
    EXPECT_FALSE(pTrust->isChecked());
    EXPECT_FALSE(pClear->isEnabled());
    Trigger("32792");
    EXPECT_TRUE(pInsecure->isChecked());
    m_pDlg->CommandBox().SetWindowText(QStringLiteral("http://%1/httpapi/b\r\nhttp://%1/httpapi/c").arg(strTarget));
    QTest::mouseClick(Ctl<QPushButton>(1002), Qt::LeftButton);
    ASSERT_TRUE(WaitForRunEnd());
    const QString strOpening = QString(114, QLatin1Char('=')) + QStringLiteral("\r\n");
    const QString strLog = WithoutStamps(Log());
    EXPECT_EQ(strLog.count(QStringLiteral("[TLS] Certificates are not checked (insecure)")), 1);
    EXPECT_TRUE(strLog.contains(strOpening + QStringLiteral("[TLS] Certificates are not checked (insecure)\r\n")));
    EXPECT_FALSE(strLog.contains(QStringLiteral("certificate file")));
    EXPECT_TRUE(m_errors.isEmpty());
}

}  // namespace
