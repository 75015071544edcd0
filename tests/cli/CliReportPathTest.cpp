#include "../tools/DevsimProcess.h"
#include "CliProcess.h"
#include "cli/CliExitCodes.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTemporaryDir>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

namespace {

QByteArray Native(const QString& strPath)
{
    return QFile::encodeName(strPath);
}

// What a path names, symbolic links followed; st_mode 0 when nothing.
struct stat Status(const QString& strPath)
{
    struct stat st {};
    if (stat(Native(strPath).constData(), &st) != 0)
        st.st_mode = 0;
    return st;
}

QByteArray ReadAll(const QString& strPath)
{
    QFile file(strPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// The JSON report of the one-request script: the request and its answer.
void ExpectReport(const QByteArray& json, const QString& strUrl, const char* pszCase)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError)
        << pszCase << ": " << error.errorString().toStdString() << "\n" << json.toStdString();
    const QJsonArray requests = doc.object()[QStringLiteral("requests")].toArray();
    ASSERT_EQ(requests.size(), 1) << pszCase;
    EXPECT_EQ(requests[0].toObject()[QStringLiteral("url")].toString(), strUrl) << pszCase;
    EXPECT_EQ(requests[0].toObject()[QStringLiteral("status")].toInt(), 200) << pszCase;
}

// velkor-cli run in dir (a report named "-" by mistake stays there).
int RunIn(CliRun& run, const QTemporaryDir& dir, const QStringList& args)
{
    run.m_process.setWorkingDirectory(dir.path());
    run.Start(args);
    return run.Finish();
}

// Where a report may go: a FIFO and a device stay what they are, a full
// device is an error with the system's reason, "-" and /dev/stdout keep the
// log; a report over the command file or over the other report is refused
// before the run.
TEST(CliReportPaths, FifoDeviceStandardOutputAndRefusedPaths)
{
    devsimtest::Devsim device;
    ASSERT_TRUE(device.Start({}));
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString strUrl =
        QStringLiteral("http://127.0.0.1:%1/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0").arg(device.port());
    const QString strScript = WriteScript(dir, strUrl);
    const QByteArray script = ReadAll(strScript);
    const QString strJson = QStringLiteral("--json");
    const QString strJUnit = QStringLiteral("--junit");
    const QString strSend = QStringLiteral("[SEND] ") + strUrl;

    {
        // A FIFO: its reader gets the report, and it is still a FIFO.
        const QString strFifo = dir.filePath(QStringLiteral("report.fifo"));
        const QString strSameFifo = dir.filePath(QStringLiteral("same.fifo"));
        ASSERT_EQ(mkfifo(Native(strFifo).constData(), 0600), 0);
        ASSERT_EQ(link(Native(strFifo).constData(), Native(strSameFifo).constData()), 0);
        QByteArray received;
        std::atomic<bool> bReaderDone{false};
        std::thread reader([&] {
            const int nFd = open(Native(strFifo).constData(), O_RDONLY | O_CLOEXEC);
            char buffer[4096];
            while (nFd >= 0) {
                const ssize_t nRead = read(nFd, buffer, sizeof buffer);
                if (nRead > 0)
                    received.append(buffer, nRead);
                else if (nRead == 0 || errno != EINTR)
                    break;
            }
            if (nFd >= 0)
                close(nFd);
            bReaderDone = true;
        });
        CliRun run;
        const int nExit = RunIn(run, dir, {strScript, strJson, strFifo});
        // Had the report gone elsewhere, the reader would wait on the FIFO for
        // ever: a writer that comes and goes ends its wait.
        while (!bReaderDone) {
            const int nFd = open(Native(strSameFifo).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (nFd >= 0)
                close(nFd);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        reader.join();
        EXPECT_EQ(nExit, kExitOk) << run.m_strErr.toStdString();
        EXPECT_TRUE(S_ISFIFO(Status(strFifo).st_mode));
        ExpectReport(received, strUrl, "FIFO");
    }
    {
        // A device node (as /dev/null): written in place, still that device;
        // the JUnit report beside it goes to a new file as usual.
        const QString strNode = dir.filePath(QStringLiteral("null.dev"));
        const QString strXml = dir.filePath(QStringLiteral("run.xml"));
        ASSERT_EQ(mknod(Native(strNode).constData(), S_IFCHR | 0666, makedev(1, 3)), 0) << strerror(errno);
        CliRun run;
        EXPECT_EQ(RunIn(run, dir, {strScript, strJson, strNode, strJUnit, strXml}), kExitOk)
            << run.m_strErr.toStdString();
        const struct stat st = Status(strNode);
        EXPECT_TRUE(S_ISCHR(st.st_mode));
        EXPECT_EQ(st.st_rdev, makedev(1, 3));
        EXPECT_TRUE(S_ISREG(Status(strXml).st_mode));
        EXPECT_TRUE(ReadAll(strXml).contains("<testsuites")) << ReadAll(strXml).toStdString();
    }
    {
        // A full device (as /dev/full, a node of its own here so that a fault
        // could only ever replace that one): exit 4 with the system's reason.
        const QString strFull = dir.filePath(QStringLiteral("full.dev"));
        ASSERT_EQ(mknod(Native(strFull).constData(), S_IFCHR | 0666, makedev(1, 7)), 0) << strerror(errno);
        CliRun run;
        EXPECT_EQ(RunIn(run, dir, {strScript, strJson, strFull}), kExitFileError) << run.m_strErr.toStdString();
        EXPECT_TRUE(run.m_strErr.contains(QStringLiteral("velkor-cli: the report %1 was not written: "
                                                         "No space left on device\n")
                                              .arg(strFull)))
            << run.m_strErr.toStdString();
        EXPECT_TRUE(S_ISCHR(Status(strFull).st_mode));

        // A failed request (3) does not hide the lost report: still 4.
        quint16 nClosedPort = 0;
        {
            QTcpServer closed;
            ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
            nClosedPort = closed.serverPort();
        }
        const QString strFailing = dir.filePath(QStringLiteral("fails.cmf"));
        QFile failing(strFailing);
        ASSERT_TRUE(failing.open(QIODevice::WriteOnly));
        failing.write(QStringLiteral("http://127.0.0.1:%1/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0\n")
                          .arg(nClosedPort)
                          .toUtf8());
        failing.close();
        CliRun failed;
        EXPECT_EQ(RunIn(failed, dir, {strFailing, strJson, strFull}), kExitFileError) << failed.m_strErr.toStdString();
        EXPECT_TRUE(failed.m_strErr.contains(QStringLiteral("the report %1 was not written: No space left on device\n")
                                                 .arg(strFull)))
            << failed.m_strErr.toStdString();
    }
    {
        // The command file as a report, by its name or through a link, and
        // two reports in one file: refused before the run.
        const QString strLink = dir.filePath(QStringLiteral("alias.json"));
        const QString strSame = dir.filePath(QStringLiteral("same.out"));
        const QString strOld = dir.filePath(QStringLiteral("old.out"));
        const QString strOldLink = dir.filePath(QStringLiteral("old-too.out"));
        ASSERT_EQ(symlink(Native(strScript).constData(), Native(strLink).constData()), 0);
        ASSERT_TRUE(QFile(strOld).open(QIODevice::WriteOnly));
        ASSERT_EQ(link(Native(strOld).constData(), Native(strOldLink).constData()), 0);
        const QStringList cases[] = {
            {strScript, strJson, strScript},
            {strScript, strJUnit, strLink},
            {strScript, strJson, strSame, strJUnit, strSame},
            {strScript, strJson, strOld, strJUnit, strOldLink},
            {strScript, strJson, QStringLiteral("-"), strJUnit, QStringLiteral("-")},
        };
        for (const QStringList& args : cases) {
            WriteScript(dir, strUrl);
            CliRun run;
            EXPECT_EQ(RunIn(run, dir, args), kExitUsage) << args.join(QLatin1Char(' ')).toStdString();
            EXPECT_TRUE(run.m_strErr.startsWith(QStringLiteral("velkor-cli: "))) << run.m_strErr.toStdString();
            EXPECT_EQ(run.m_strOut.toStdString(), "") << "nothing ran";
            EXPECT_EQ(ReadAll(strScript), script);
        }
        EXPECT_FALSE(QFileInfo::exists(strSame));
        EXPECT_EQ(ReadAll(strOld), QByteArray());
        EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("-"))));
    }
    {
        // "-": standard output holds the report alone, the log goes to standard error.
        CliRun run;
        EXPECT_EQ(RunIn(run, dir, {strScript, strJson, QStringLiteral("-")}), kExitOk) << run.m_strErr.toStdString();
        ExpectReport(run.m_strOut.toUtf8(), strUrl, "-");
        EXPECT_TRUE(run.m_strErr.contains(strSend)) << run.m_strErr.toStdString();
    }
    {
        // /dev/stdout redirected to a file: the report follows the log lines
        // already written there.
        const QString strOut = dir.filePath(QStringLiteral("out.txt"));
        CliRun run;
        run.m_process.setStandardOutputFile(strOut);
        EXPECT_EQ(RunIn(run, dir, {strScript, strJson, QStringLiteral("/dev/stdout")}), kExitOk)
            << run.m_strErr.toStdString();
        const QByteArray out = ReadAll(strOut);
        const qsizetype nReport = out.indexOf("{\n  \"velkor_version\"");
        ASSERT_GT(nReport, 0) << out.toStdString();
        EXPECT_TRUE(out.left(nReport).contains(strSend.toUtf8())) << out.toStdString();
        ExpectReport(out.mid(nReport), strUrl, "/dev/stdout");
    }
}

}  // namespace
