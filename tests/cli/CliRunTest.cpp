#include "../LogText.h"
#include "../tools/DevsimProcess.h"
#include "CliProcess.h"
#include "cli/CliExitCodes.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>

namespace {

// Output lines with stamps, times and the device's port masked.
QStringList Masked(const QString& strOut, int nPort)
{
    QString strText = WithTimesMasked(WithoutStamps(strOut));
    strText.replace(QStringLiteral(":%1").arg(nPort), QStringLiteral(":PORT"));
    return strText.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

TEST(CliRun, ExampleAgainstTheSimulatedDeviceWithDigest)
{
    devsimtest::Devsim device;
    ASSERT_TRUE(device.Start({QStringLiteral("--auth"), QStringLiteral("digest"), QStringLiteral("--reboot-seconds"),
                              QStringLiteral("1")}));
    QTemporaryDir dir;
    QFile example(QStringLiteral(VELKOR_SOURCE_DIR "/examples/demo.cmf"));
    ASSERT_TRUE(example.open(QIODevice::ReadOnly));
    const QString strScript = QString::fromUtf8(example.readAll())
                                  .replace(QStringLiteral("127.0.0.1:8080"), QStringLiteral("127.0.0.1:%1").arg(device.port()));
    CliRun run;
    run.Start({WriteScript(dir, strScript), QStringLiteral("--log-dir"), dir.path()});
    ASSERT_EQ(run.Finish(), kExitOk) << run.m_strErr.toStdString();

    QStringList lines = Masked(run.m_strOut, device.port());
    // How often the device was found still down depends on timing: keep one.
    const QString strDown = QStringLiteral("!!! Check alive : 127.0.0.1 - server unreachable");
    while (lines.count(strDown) > 1)
        lines.removeOne(strDown);

    const QString get = QStringLiteral("[SEND] http://127.0.0.1:PORT/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0");
    const QString move =
        QStringLiteral("[SEND] http://127.0.0.1:PORT/httpapi/SendPTZ?action=sendptz&PTZ_CHANNEL=1&PTZ_MOVE=right,5");
    const QString time = QStringLiteral("Response time : T ms");
    QStringList expected{QStringLiteral("Read command"),
                         QStringLiteral("Collect connect info"),
                         QStringLiteral("Connect to each servers"),
                         QStringLiteral("Application try to connect to 1 server"),
                         QStringLiteral("Try to connect 127.0.0.1:PORT"),
                         QStringLiteral("Connected : 127.0.0.1:PORT"),
                         QString(114, QLatin1Char('=')),
                         get, time, QStringLiteral("Response data : pan=0 tilt=0 zoom=1"),
                         QStringLiteral("Sleep start : 200 ms")};
    for (int nPass = 1; nPass <= 3; ++nPass) {
        const QString count = QStringLiteral("==== While Count : %1 ").arg(nPass) + QString(66, QLatin1Char('='));
        expected << move << time << QStringLiteral("Response data : OK") << count << get << time
                 << QStringLiteral("Response data : pan=%1 tilt=0 zoom=1").arg(nPass * 5) << count
                 << QStringLiteral("Sleep start : 100 ms");
    }
    expected << QStringLiteral("[SEND] http://127.0.0.1:PORT/httpapi/SendReboot?action=reboot") << time
             << QStringLiteral("Response data : OK rebooting") << strDown << QStringLiteral("!!! Re-Connected : 127.0.0.1")
             << get << time << QStringLiteral("Response data : pan=0 tilt=0 zoom=1")
             << QStringLiteral("== Total running time(Http api only) : T ms ") + QString(66, QLatin1Char('='))
             << QStringLiteral("== Total running time(Application)    : T ms ") + QString(66, QLatin1Char('='))
             << QStringLiteral("== While Repeat : 3 ") + QString(92, QLatin1Char('='));
    EXPECT_EQ(lines, expected);

    // The auto-saved file has the printed lines without their stamps.
    const QStringList files = QDir(dir.path()).entryList({QStringLiteral("*_Velkor_Log.txt")}, QDir::Files);
    ASSERT_EQ(files.size(), 1);
    QFile saved(dir.filePath(files[0]));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QString strPrinted = WithoutStamps(run.m_strOut);
    EXPECT_EQ(QString::fromUtf8(saved.readAll()), strPrinted);
}

TEST(CliRun, WrongPasswordIsStillAResponse)
{
    devsimtest::Devsim device;
    ASSERT_TRUE(device.Start({QStringLiteral("--auth"), QStringLiteral("basic")}));
    QTemporaryDir dir;
    CliRun run;
    run.Start({WriteScript(dir, QStringLiteral("http://127.0.0.1:%1/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0")
                                    .arg(device.port())),
               QStringLiteral("--password"), QStringLiteral("wrong")});
    EXPECT_EQ(run.Finish(), kExitOk);
    EXPECT_FALSE(run.m_strOut.contains(QStringLiteral("pan=")));
}

TEST(CliRun, TerminalControlsFromTheDeviceAreShownNotCarriedOut)
{
    // The simulated device echoes a bad value back in its body, decoded:
    // ESC ] (window title), BEL, ESC [2J (clear screen), backspace, DEL.
    devsimtest::Devsim device;
    ASSERT_TRUE(device.Start({}));
    QTemporaryDir dir;
    CliRun run;
    run.Start({WriteScript(dir, QStringLiteral("http://127.0.0.1:%1/httpapi/SendPTZ?action=sendptz&PTZ_MOVE=")
                                        .arg(device.port()) +
                                    QStringLiteral("%1B]0;owned%07%1B[2Jx%08%7F")),
               QStringLiteral("--log-dir"), dir.path()});
    EXPECT_EQ(run.Finish(), kExitOk) << run.m_strErr.toStdString();
    const QString strShown = QString::fromUtf8("Response data : ERROR bad PTZ_MOVE value \xE2\x90\x9B]0;owned\xE2\x90\x87"
                                               "\xE2\x90\x9B[2Jx\xE2\x90\x88\xE2\x90\xA1\n");
    EXPECT_TRUE(run.m_strOut.contains(strShown)) << run.m_strOut.toStdString();
    const QStringList files = QDir(dir.path()).entryList({QStringLiteral("*_Velkor_Log.txt")}, QDir::Files);
    ASSERT_EQ(files.size(), 1);
    QFile saved(dir.filePath(files[0]));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QString strSaved = QString::fromUtf8(saved.readAll());
    EXPECT_TRUE(strSaved.contains(strShown)) << strSaved.toStdString();
    for (const char ch : {'\x1B', '\x07', '\x08', '\x7F'})
        EXPECT_FALSE(run.m_strOut.contains(QLatin1Char(ch))) << int(ch);
}

TEST(CliRun, FailedRequestsAndScriptErrorsHaveTheirExitCodes)
{
    QTemporaryDir dir;
    CliRun unreachable;
    unreachable.Start({WriteScript(dir, QStringLiteral("http://127.0.0.1:1/httpapi/x"))});
    EXPECT_EQ(unreachable.Finish(), kExitRequestFailed);
    EXPECT_TRUE(unreachable.m_strOut.contains(QStringLiteral("Server unreachable 127.0.0.1:1")));

    CliRun bad;
    bad.Start({WriteScript(dir, QStringLiteral("While(2)\nhttp://127.0.0.1:1/httpapi/x\n"))});
    EXPECT_EQ(bad.Finish(), kExitScriptError);
    EXPECT_TRUE(bad.m_strOut.contains(QStringLiteral("Can not find a operation While or End.")));

    CliRun noServer;
    noServer.Start({WriteScript(dir, QStringLiteral("http://:/httpapi/x"))});
    EXPECT_EQ(noServer.Finish(), kExitRequestFailed);
    EXPECT_TRUE(noServer.m_strOut.contains(QStringLiteral("[NOT SENT] http://:/httpapi/x - no host or port")));

    // A script whose only request is mistyped sends nothing: that is no pass.
    const QString strMistyped = WriteScript(dir, QStringLiteral("htp://127.0.0.1:1/httpapi/x\nSleep(1)\n"));
    CliRun mistyped;
    mistyped.Start({strMistyped});
    EXPECT_EQ(mistyped.Finish(), kExitRequestFailed);
    EXPECT_TRUE(mistyped.m_strOut.contains(
        QStringLiteral("<Syntax error> Line 1 looks like a request but is not an HTTP command")));
    EXPECT_TRUE(mistyped.m_strErr.contains(QStringLiteral(
        "the run failed: no request was sent: line 1 looks like a request but is not an HTTP command")))
        << mistyped.m_strErr.toStdString();
    CliRun mistypedStrict;
    mistypedStrict.Start({strMistyped, QStringLiteral("--strict")});
    EXPECT_EQ(mistypedStrict.Finish(), kExitScriptError);

    CliRun noFolder;
    noFolder.Start({WriteScript(dir, QStringLiteral("Sleep(1)")), QStringLiteral("--log-dir"),
                    QStringLiteral("/nonexistent-velkor/logs")});
    EXPECT_EQ(noFolder.Finish(), kExitUsage);
    EXPECT_TRUE(noFolder.m_strErr.contains(QStringLiteral("/nonexistent-velkor/logs")));
}

// A port that is no port reaches no other port; the target goes out as the
// device can read it; a password written into a URL answers that line's 401
// (Basic and Digest) and shows in no output.
TEST(CliRun, PortsTargetsAndPasswordsOfTheUrl)
{
    devsimtest::Devsim basic;
    devsimtest::Devsim digest;
    ASSERT_TRUE(basic.Start({QStringLiteral("--auth"), QStringLiteral("basic"), QStringLiteral("--password"),
                             QStringLiteral("b4sic-pw")}));
    ASSERT_TRUE(digest.Start({QStringLiteral("--auth"), QStringLiteral("digest"), QStringLiteral("--password"),
                              QStringLiteral("p@ss/w0rd")}));
    const QString strB = QStringLiteral("127.0.0.1:%1").arg(basic.port());
    const QString strD = QStringLiteral("127.0.0.1:%1").arg(digest.port());
    const QString strGet = QStringLiteral("/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0");
    const struct {
        QString strLine;
        int nStatus;  // -1: not sent
    } rows[] = {
        {QStringLiteral("http://127.0.0.1:%1").arg(basic.port() + 65536) + strGet, -1},
        {QStringLiteral("http://%1abc").arg(strB) + strGet, -1},
        {QStringLiteral("http://127.0.0.1:0") + strGet, -1},
        {QStringLiteral("http://127.0.0.1:65536") + strGet, -1},
        {QStringLiteral("http://%1").arg(strB) + strGet + QStringLiteral("   "), 200},
        {QStringLiteral("http://%1/httpapi/SendPTZ?action=sendptz&PTZ_MOVE=left#frag").arg(strB), 200},
        {QStringLiteral("http://%1/httpapi/Send PTZ?a=b c").arg(strB), 200},
        {QStringLiteral("http://admin:n0t-it@%1").arg(strB) + strGet, 401},
        {QStringLiteral("http://admin:p%40ss%2Fw0rd@%1").arg(strD) + strGet, 200},
        {QStringLiteral("http://%1").arg(strD) + strGet, 401},
    };
    QString strScript;
    for (const auto& row : rows)
        strScript += row.strLine + QLatin1Char('\n');
    QTemporaryDir dir;
    const QString strJson = dir.filePath(QStringLiteral("r.json"));
    CliRun run;
    run.Start({WriteScript(dir, strScript), QStringLiteral("--password"), QStringLiteral("b4sic-pw"),
               QStringLiteral("--fail-on-status"), QStringLiteral("--json"), strJson, QStringLiteral("--jsonl"),
               dir.filePath(QStringLiteral("r.jsonl")), QStringLiteral("--junit"), dir.filePath(QStringLiteral("r.xml")),
               QStringLiteral("--html"), dir.filePath(QStringLiteral("r.html")), QStringLiteral("--log-dir"), dir.path()});
    EXPECT_EQ(run.Finish(), kExitRequestFailed) << run.m_strErr.toStdString();
    EXPECT_EQ(run.m_strOut.count(QStringLiteral("<Syntax error> Port must be a number from 1 to 65535 in line ")), 4);
    EXPECT_EQ(run.m_strOut.count(QStringLiteral(" - bad port (a number from 1 to 65535)")), 4);
    EXPECT_TRUE(run.m_strOut.contains(QStringLiteral("[SEND] http://admin:***@%1").arg(strD) + strGet));

    QFile json(strJson);
    ASSERT_TRUE(json.open(QIODevice::ReadOnly));
    const QJsonArray requests = QJsonDocument::fromJson(json.readAll()).object()[QStringLiteral("requests")].toArray();
    ASSERT_EQ(requests.size(), qsizetype(std::size(rows)));
    for (qsizetype i = 0; i < requests.size(); ++i) {
        const QJsonObject request = requests[i].toObject();
        EXPECT_EQ(request[QStringLiteral("status")].toInt(-1), rows[i].nStatus) << rows[i].strLine.toStdString();
        EXPECT_EQ(request[QStringLiteral("outcome")].toString(),
                  rows[i].nStatus < 0 ? QStringLiteral("not-sent") : QStringLiteral("ok"))
            << rows[i].strLine.toStdString();
    }
    EXPECT_EQ(requests[8].toObject()[QStringLiteral("url")].toString(),
              QStringLiteral("http://admin:***@%1").arg(strD) + strGet);

    // No password of a URL in any output: console, log file, every report.
    QStringList outputs{run.m_strOut, run.m_strErr};
    for (const QString& strName : QDir(dir.path()).entryList(QDir::Files)) {
        QFile file(dir.filePath(strName));
        if (strName != QStringLiteral("script.cmf") && file.open(QIODevice::ReadOnly))
            outputs << QString::fromUtf8(file.readAll());
    }
    ASSERT_EQ(outputs.size(), 7);
    for (const QString& strOutput : outputs)
        for (const char* pszSecret : {"n0t-it", "p%40ss", "p@ss"})
            EXPECT_FALSE(strOutput.contains(QLatin1String(pszSecret))) << pszSecret << strOutput.toStdString();
}

TEST(CliRun, HttpsWithDigestSha256TrustedRefusedAndInsecure)
{
    QTemporaryDir dir;
    QString strCert;
    QString strKey;
    ASSERT_TRUE(devsimtest::MakeCertificate(dir.path(), strCert, strKey));
    devsimtest::Devsim device;
    ASSERT_TRUE(device.Start({QStringLiteral("--tls"), strCert, strKey, QStringLiteral("--auth"),
                              QStringLiteral("digest"), QStringLiteral("--digest-algorithm"),
                              QStringLiteral("SHA-256")}));
    const QString strScript = WriteScript(
        dir, QStringLiteral("https://127.0.0.1:%1/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0\n").arg(device.port()));
    const QString strSend = QStringLiteral("[SEND] https://127.0.0.1:PORT/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0");
    const QString strData = QStringLiteral("Response data : pan=0 tilt=0 zoom=1");
    const QString strInsecure = QStringLiteral("[TLS] Certificates are not checked (insecure)");

    CliRun trusted;
    trusted.Start({strScript, QStringLiteral("--cacert"), strCert});
    EXPECT_EQ(trusted.Finish(), kExitOk) << trusted.m_strOut.toStdString();
    QStringList lines = Masked(trusted.m_strOut, device.port());
    EXPECT_TRUE(lines.contains(QStringLiteral("Connected : 127.0.0.1:PORT")));
    EXPECT_EQ(lines.mid(lines.indexOf(strSend), 3),
              (QStringList{strSend, QStringLiteral("Response time : T ms"), strData}));
    EXPECT_TRUE(lines.filter(QStringLiteral("[TLS]")).isEmpty());

    // Refused in the connection pass and again by the request: one line in all.
    CliRun refused;
    refused.Start({strScript});
    EXPECT_EQ(refused.Finish(), kExitRequestFailed);
    lines = Masked(refused.m_strOut, device.port());
    const QString strRefused = QStringLiteral(
        "[TLS] 127.0.0.1:PORT - certificate refused, self-signed (self-signed certificate); trust it with a CA file "
        "(velkor-cli --cacert FILE, window: Options > Trust certificate file...) or accept any certificate "
        "(--insecure, Options > Accept any certificate)");
    EXPECT_EQ(lines.mid(lines.indexOf(QStringLiteral("Try to connect 127.0.0.1:PORT")), 3),
              (QStringList{QStringLiteral("Try to connect 127.0.0.1:PORT"),
                           QStringLiteral("Server unreachable 127.0.0.1:PORT"), strRefused}));
    EXPECT_EQ(lines.mid(lines.indexOf(strSend), 3),
              (QStringList{strSend, QStringLiteral("Response time : T ms"),
                           QStringLiteral("== Total running time(Http api only) : T ms ") + QString(66, QLatin1Char('='))}));
    EXPECT_EQ(lines.count(strRefused), 1);
    EXPECT_FALSE(lines.contains(strData));

    CliRun insecure;
    insecure.Start({strScript, QStringLiteral("--insecure")});
    EXPECT_EQ(insecure.Finish(), kExitOk);
    lines = Masked(insecure.m_strOut, device.port());
    EXPECT_EQ(lines.count(strInsecure), 1);
    EXPECT_EQ(lines.value(lines.indexOf(QString(114, QLatin1Char('='))) + 1), strInsecure);
    EXPECT_TRUE(lines.contains(strData));

    CliRun missing;
    missing.Start({strScript, QStringLiteral("--cacert"), dir.filePath(QStringLiteral("none.pem"))});
    EXPECT_EQ(missing.Finish(), kExitUsage);
    EXPECT_TRUE(missing.m_strErr.contains(QStringLiteral("none.pem"))) << missing.m_strErr.toStdString();
}

TEST(CliRun, UnusableCertificateFileEndsBeforeTheRun)
{
    QTemporaryDir dir;
    const QString strEmpty = dir.filePath(QStringLiteral("empty.pem"));
    QFile empty(strEmpty);
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    CliRun run;
    run.Start({WriteScript(dir, QStringLiteral("Sleep(1)")), QStringLiteral("--cacert"), strEmpty});
    EXPECT_EQ(run.Finish(), kExitUsage);
    EXPECT_EQ(run.m_strErr.toStdString(),
              QStringLiteral("velkor-cli: the certificate file %1 cannot be used: is empty\n").arg(strEmpty).toStdString());
    EXPECT_TRUE(run.m_strOut.isEmpty()) << "the run did not start: " << run.m_strOut.toStdString();
}

TEST(CliRun, CtrlCStopsAtTheNextEndAndTwiceAborts)
{
    devsimtest::Devsim device;
    ASSERT_TRUE(device.Start({}));
    QTemporaryDir dir;
    const QString strRequest = QStringLiteral("http://127.0.0.1:%1/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0").arg(device.port());
    const QString strMove = QStringLiteral("http://127.0.0.1:%1/httpapi/SendPTZ?action=sendptz&PTZ_CHANNEL=1&PTZ_MOVE=right,5")
                                .arg(device.port());

    // Once an End took the first Ctrl+C, the next one is a Stop again.
    CliRun stopped;
    stopped.Start({WriteScript(dir, QStringLiteral("While(0)\n%1\nEnd\nWhile(0)\n%2\nEnd\n%1\n").arg(strRequest, strMove))});
    ASSERT_TRUE(stopped.WaitForOutput(QStringLiteral("While Count : 2 ")));
    stopped.Interrupt();
    ASSERT_TRUE(stopped.WaitForOutput(strMove, 2));
    QThread::msleep(400);  // a second SIGINT within 300 ms is the same Ctrl+C
    stopped.Interrupt();
    EXPECT_EQ(stopped.Finish(), kExitOk);
    EXPECT_TRUE(stopped.m_strOut.contains(QStringLiteral("(Stopped by user)")));
    EXPECT_EQ(stopped.m_strErr.count(QStringLiteral("stop requested")), 2);

    CliRun aborted;
    aborted.Start({WriteScript(dir, QStringLiteral("%1\nSleep(60000)\n").arg(strRequest))});
    ASSERT_TRUE(aborted.WaitForOutput(QStringLiteral("Sleep start")));
    aborted.Interrupt();
    QThread::msleep(400);
    aborted.Interrupt();
    EXPECT_EQ(aborted.Finish(5000), kExitAborted);

    // "timeout -s INT" signals the process and its group at the same instant:
    // one Ctrl+C, a stop, not an abort.
    CliRun bounded;
    bounded.Start({WriteScript(dir, QStringLiteral("While(0)\n%1\nEnd\n").arg(strRequest))});
    ASSERT_TRUE(bounded.WaitForOutput(QStringLiteral("While Count : 2 ")));
    bounded.Interrupt();
    bounded.Interrupt();
    EXPECT_EQ(bounded.Finish(), kExitOk);
    EXPECT_TRUE(bounded.m_strOut.contains(QStringLiteral("(Stopped by user)")));
    EXPECT_EQ(bounded.m_strErr.count(QStringLiteral("stop requested")), 1);
}

// What the runner is given: a threshold of digits only, the script from
// standard input, the password from a file or the environment, strict parsing.
TEST(CliRun, InputsAreCheckedBeforeTheRun)
{
    QTemporaryDir dir;
    const QString strNoServer = WriteScript(dir, QStringLiteral("Sleep(1)"));
    for (const char* pszBad : {"abc", "", "-5", "10ms", "99999999999", " 5"}) {
        CliRun run;
        run.Start({strNoServer, QStringLiteral("--threshold"), QString::fromLatin1(pszBad)});
        EXPECT_EQ(run.Finish(), kExitUsage) << pszBad;
        EXPECT_TRUE(run.m_strErr.startsWith(QStringLiteral("velkor-cli: --threshold takes a whole number"))) << pszBad;
        EXPECT_TRUE(run.m_strOut.isEmpty()) << pszBad;
    }
    for (const char* pszGood : {"0", "2147483647"}) {
        CliRun run;
        run.Start({strNoServer, QStringLiteral("--threshold"), QString::fromLatin1(pszGood)});
        EXPECT_EQ(run.Finish(), kExitOk) << pszGood << run.m_strErr.toStdString();
    }

    // A Basic device: the right password is answered 200, a wrong one 401,
    // which --fail-on-status turns into exit 6.
    devsimtest::Devsim device;
    ASSERT_TRUE(device.Start({QStringLiteral("--auth"), QStringLiteral("basic")}));
    const QByteArray script =
        QStringLiteral("http://127.0.0.1:%1/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0\n").arg(device.port()).toUtf8();
    const QString strRight = dir.filePath(QStringLiteral("right.txt"));
    QFile file(strRight);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("4719\n");
    file.close();
    const QString strFailOnStatus = QStringLiteral("--fail-on-status");
    const struct {
        QStringList args;
        QStringList environment;
        int nExit;
    } cases[] = {
        {{strFailOnStatus}, {QStringLiteral("VELKOR_PASSWORD=wrong")}, kExitErrorStatus},
        {{strFailOnStatus}, {QStringLiteral("VELKOR_PASSWORD=4719")}, kExitOk},
        {{strFailOnStatus, QStringLiteral("--password-file"), strRight}, {QStringLiteral("VELKOR_PASSWORD=wrong")}, kExitOk},
        {{strFailOnStatus, QStringLiteral("--password"), QStringLiteral("wrong")}, {}, kExitErrorStatus},
        {{QStringLiteral("--password"), QStringLiteral("4719"), QStringLiteral("--password-file"), strRight}, {},
         kExitUsage},
        {{QStringLiteral("--password-file"), dir.filePath(QStringLiteral("none.txt"))}, {}, kExitUsage},
    };
    for (const auto& c : cases) {
        CliRun run;
        run.StartCommand(QStringLiteral("run"), QStringList{QStringLiteral("-")} + c.args, script, c.environment);
        EXPECT_EQ(run.Finish(), c.nExit) << c.args.join(QLatin1Char(' ')).toStdString() << " "
                                         << c.environment.join(QLatin1Char(' ')).toStdString() << "\n"
                                         << run.m_strErr.toStdString();
    }

    // A bad Sleep is only logged, unless --strict makes it fail the script.
    const QString strBadSleep = WriteScript(dir, QStringLiteral("Sleep(0)\nSleep(1)"));
    const struct {
        QString strCommand;
        QStringList args;
        int nExit;
    } parses[] = {
        {QStringLiteral("run"), {strBadSleep}, kExitOk},
        {QStringLiteral("run"), {strBadSleep, QStringLiteral("--strict")}, kExitScriptError},
        {QStringLiteral("check"), {strBadSleep}, kExitOk},
        {QStringLiteral("check"), {strBadSleep, QStringLiteral("--strict")}, kExitScriptError},
    };
    for (const auto& c : parses) {
        CliRun run;
        run.StartCommand(c.strCommand, c.args);
        EXPECT_EQ(run.Finish(), c.nExit) << c.strCommand.toStdString() << " " << c.args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(run.m_strOut.contains(QStringLiteral("<Syntax error> Sleep time must be larger than 0")));
    }
}

TEST(CliRun, SigtermAndSighupEndTheRunAtOnceInEveryWait)
{
    devsimtest::Devsim device;
    devsimtest::Devsim silent;
    ASSERT_TRUE(device.Start({}));
    ASSERT_TRUE(silent.Start({QStringLiteral("--delay"), QStringLiteral("60000")}));
    QTemporaryDir dir;
    const QString strRequest = QStringLiteral("http://127.0.0.1:%1/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0");
    const struct {
        QString strScript;
        QString strLastLine;
        int nSignal;
        int nExit;
    } cases[] = {
        {QStringLiteral("%1\nSleep(60000)\n").arg(strRequest.arg(device.port())), QStringLiteral("Sleep start : 60000 ms"),
         SIGTERM, kExitTerminated},
        {QStringLiteral("%1\nCheckAlive(127.0.0.1:1)\n").arg(strRequest.arg(device.port())),
         QStringLiteral("!!! Check alive : 127.0.0.1 - server unreachable"), SIGHUP, kExitHangUp},
        {strRequest.arg(silent.port()), QStringLiteral("[SEND] ") + strRequest.arg(silent.port()), SIGTERM,
         kExitTerminated},
    };
    for (const auto& c : cases) {
        CliRun run;
        run.Start({WriteScript(dir, c.strScript)});
        ASSERT_TRUE(run.WaitForOutput(c.strLastLine)) << c.strScript.toStdString();
        QThread::msleep(100);
        run.Signal(c.nSignal);
        EXPECT_EQ(run.Finish(4000), c.nExit) << c.strScript.toStdString();
        EXPECT_TRUE(run.m_strOut.endsWith(c.strLastLine + QLatin1Char('\n'))) << run.m_strOut.toStdString();
        EXPECT_TRUE(run.m_strErr.contains(QStringLiteral("the run was ended by SIG"))) << run.m_strErr.toStdString();
    }
}

}  // namespace

namespace {

TEST(CliRun, KilledMidRunTheAutoSaveFileHasEveryLineUpToThen)
{
    devsimtest::Devsim device;
    ASSERT_TRUE(device.Start({}));
    QTemporaryDir dir;
    const QString strRequest =
        QStringLiteral("http://127.0.0.1:%1/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0").arg(device.port());
    CliRun run;
    run.Start({WriteScript(dir, QStringLiteral("While(0)\n%1\nEnd\n").arg(strRequest)), QStringLiteral("--log-dir"),
               dir.path()});
    ASSERT_TRUE(run.WaitForOutput(QStringLiteral("While Count : 20 ")));
    ::kill(pid_t(run.m_process.processId()), SIGKILL);
    run.Finish();

    const QStringList files = QDir(dir.path()).entryList({QStringLiteral("*_Velkor_Log.txt")}, QDir::Files);
    ASSERT_EQ(files.size(), 1);
    QFile saved(dir.filePath(files[0]));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QStringList fileLines = QString::fromUtf8(saved.readAll()).split(QLatin1Char('\n'));
    const QString strPrinted = WithoutStamps(run.m_strOut);
    QStringList printed = strPrinted.split(QLatin1Char('\n'));
    printed.removeLast();  // the text after the last line end: empty, or a line cut by the kill
    ASSERT_GT(printed.size(), 40);
    // Every printed line was in the file before it was printed.
    EXPECT_EQ(fileLines.mid(0, printed.size()), printed);
    EXPECT_LE(fileLines.size(), printed.size() + 2);
}

}  // namespace
