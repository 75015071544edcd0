// File > Save results as... and File > Open results...: the window's
// reports are velkor-cli's, and a report opened shows what it holds.
#include "DlgFixture.h"
#include "GuiTestUtil.h"

#include "../tools/DevsimProcess.h"
#include "report/CFleetReport.h"
#include "report/CJsonReport.h"
#include "ui/CDevicesWindow.h"
#include "ui/CResultsFiles.h"
#include "ui/CResultsTable.h"
#include "ui/CResultsWindow.h"
#include "VelkorVersion.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTemporaryDir>

namespace {

QString WriteFile(const QTemporaryDir& dir, const QString& strName, const QByteArray& bytes)
{
    const QString strPath = dir.filePath(strName);
    QFile file(strPath);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return strPath;
}

QByteArray ReadFile(const QString& strPath)
{
    QFile file(strPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(cannot read ") + strPath.toUtf8() + ")";
}

// A report with what differs from one run of a script to the next blanked:
// the stamps, the times and the figures made of them, the program's version.
QString Blanked(const QByteArray& report)
{
    QString str = QString::fromUtf8(report);
    str.replace(QRegularExpression(QStringLiteral(
                    "\"(velkor_version|started_at|time_ms|time_us|at_ms|down_ms|down_us|http_ms|application_ms|"
                    "min_ms|median_ms|p95_ms|p99_ms|max_ms|mean_ms|requests_per_second)\": [^,}\\]\\n]+")),
                QStringLiteral("\"\\1\": #"));
    str.replace(QRegularExpression(QStringLiteral("(time|timestamp)=\"[^\"]*\"")), QStringLiteral("\\1=\"#\""));
    return str;
}

// velkor-cli run ARGS; its exit code.
int RunCli(const QStringList& args)
{
    QProcess cli;
    cli.start(QStringLiteral(VELKOR_CLI_PATH), QStringList{QStringLiteral("run")} + args);
    if (!cli.waitForFinished(60000))
        return -1;
    return cli.exitCode();
}

}  // namespace

using ResultsFiles = DlgFixture;

// One run, and one run over a list of two devices, each made by velkor-cli
// and by the window against the simulated device: the window's JSON, JUnit
// and HTML reports are velkor-cli's, byte for byte but the stamps and times
// (the HTML's figures drawn from the times too), though a device is picked
// in the Devices window.
TEST_F(ResultsFiles, TheWindowSavesTheReportsVelkorCliWritesForTheSameRun)
{
    devsimtest::Devsim sim;
    ASSERT_TRUE(sim.Start({QStringLiteral("--devices"), QStringLiteral("2")}));
    QTemporaryDir dir;
    const QByteArray lines = "http://{{host}}:{{port}}/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0\r\n"
                             "http://{{host}}:{{port}}/httpapi/SendPTZ?action=sendptz&PTZ_MOVE=right,1\r\n"
                             "http://{{host}}:{{port}}/httpapi/NoSuchPage\r\n";
    const QString strFleetScript = WriteFile(dir, QStringLiteral("pan.cmf"), lines);
    const QString strOneScript =
        WriteFile(dir, QStringLiteral("one.cmf"),
                  QByteArray(lines).replace("{{host}}", "127.0.1.1").replace("{{port}}", QByteArray::number(sim.port())));
    const QString strList = WriteFile(dir, QStringLiteral("lab.csv"),
                                      QStringLiteral("name,host,port\ncam-1,127.0.1.1,%1\ncam-2,127.0.1.2,%1\n")
                                          .arg(sim.port())
                                          .toUtf8());
    QStringList errors;
    m_pDlg->UserPrompts().ShowError = [&errors](QWidget*, const QString& strText) { errors << strText; };
    Ctl<QLineEdit>(1025)->setText(QStringLiteral("250"));
    // The program's version, as velkor and velkor-cli name it in a report.
    const QString strVersion = QCoreApplication::applicationVersion();
    QCoreApplication::setApplicationVersion(QStringLiteral(VELKOR_VERSION));

    for (const bool bFleet : {false, true}) {
        const QString strScript = bFleet ? strFleetScript : strOneScript;
        const QString strCli = dir.filePath(bFleet ? QStringLiteral("cli-fleet") : QStringLiteral("cli-one"));
        const QString strWin = dir.filePath(bFleet ? QStringLiteral("win-fleet") : QStringLiteral("win-one"));
        QStringList args{strScript, QStringLiteral("--threshold"), QStringLiteral("250"), QStringLiteral("--json"),
                         strCli + QStringLiteral(".json"), QStringLiteral("--junit"), strCli + QStringLiteral(".xml"),
                         QStringLiteral("--html"), strCli + QStringLiteral(".html")};
        if (bFleet)
            args << QStringLiteral("--devices") << strList;
        ASSERT_EQ(RunCli(args), 0);
        // Loading puts the file's lines where the cursor is: into an empty box.
        m_pDlg->CommandBox().SetWindowText(QString());
        ASSERT_TRUE(m_pDlg->LoadCommandFile(strScript));
        if (bFleet) {
            ASSERT_TRUE(m_pDlg->LoadDeviceList(strList));
        }
        QTest::mouseClick(Ctl<QPushButton>(1002), Qt::LeftButton);
        ASSERT_TRUE(WaitFor([&] { return !m_pDlg->IsRunning(); }, 20000));
        m_pDlg->FlushPendingLog();
        if (bFleet)
            m_pDlg->DevicesWindow().PickRow(2);
        QString strError;
        for (const QString& strSuffix : {QStringLiteral(".json"), QStringLiteral(".xml"), QStringLiteral(".html")}) {
            ASSERT_TRUE(m_pDlg->ResultsFiles().SaveResults(strWin + strSuffix, &strError)) << strError.toStdString();
            QString strWritten = Blanked(ReadFile(strWin + strSuffix));
            QString strCliWritten = Blanked(ReadFile(strCli + strSuffix));
            if (strSuffix == QLatin1String(".html")) {
                // The pictures' axes and bins, and every figure, follow the times.
                for (QString* pHtml : {&strWritten, &strCliWritten}) {
                    pHtml->replace(QRegularExpression(QStringLiteral("<svg .*?</svg>"),
                                                      QRegularExpression::DotMatchesEverythingOption),
                                   QStringLiteral("<svg/>"));
                    pHtml->replace(QRegularExpression(QStringLiteral("[0-9]+(\\.[0-9]+)?")), QStringLiteral("#"));
                    pHtml->replace(QStringLiteral("<td></td>"), QStringLiteral("<td>#</td>"));
                }
            }
            EXPECT_EQ(strWritten.toStdString(), strCliWritten.toStdString()) << strSuffix.toStdString();
        }
    }
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('|')).toStdString();
    QCoreApplication::setApplicationVersion(strVersion);
}
