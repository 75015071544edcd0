#pragma once

// velkor-cli run as the tests drive it: a process in the background and the
// command file it runs.

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <csignal>

namespace {

// velkor-cli run, started in the background.
class CliRun {
public:
    void Start(const QStringList& args) { StartCommand(QStringLiteral("run"), args); }
    // Any command, with what goes to its standard input (then closed) and
    // variables set in its environment.
    void StartCommand(const QString& strCommand, const QStringList& args, const QByteArray& input = {},
                      const QStringList& environment = {})
    {
        QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
        for (const QString& strVariable : environment)
            variables.insert(strVariable.section(QLatin1Char('='), 0, 0), strVariable.section(QLatin1Char('='), 1));
        m_process.setProcessEnvironment(variables);
        m_process.start(QStringLiteral(VELKOR_CLI_PATH), QStringList{strCommand} + args);
        m_process.waitForStarted();
        m_process.write(input);
        m_process.closeWriteChannel();
    }
    // Waits until the output holds the text nCount times; false when the time ran out.
    bool WaitForOutput(const QString& strText, int nCount = 1, int nTimeoutMs = 15000)
    {
        QElapsedTimer timer;
        timer.start();
        while (m_strOut.count(strText) < nCount) {
            if (timer.elapsed() > nTimeoutMs || m_process.state() == QProcess::NotRunning)
                return false;
            m_process.waitForReadyRead(50);
            m_strOut += QString::fromUtf8(m_process.readAllStandardOutput());
        }
        return true;
    }
    int Finish(int nTimeoutMs = 30000)
    {
        if (!m_process.waitForFinished(nTimeoutMs))
            return -1;
        m_strOut += QString::fromUtf8(m_process.readAllStandardOutput());
        m_strErr = QString::fromUtf8(m_process.readAllStandardError());
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -2;
    }
    void Interrupt() { Signal(SIGINT); }
    void Signal(int nSignal) { ::kill(pid_t(m_process.processId()), nSignal); }

    QProcess m_process;
    QString m_strOut;
    QString m_strErr;
};

inline QString WriteScript(const QTemporaryDir& dir, const QString& strText)
{
    const QString strPath = dir.filePath(QStringLiteral("script.cmf"));
    QFile file(strPath);
    file.open(QIODevice::WriteOnly);
    file.write(strText.toUtf8());
    return strPath;
}

}  // namespace
