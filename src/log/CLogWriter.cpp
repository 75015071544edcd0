#include "CLogWriter.h"

#include "ControlPictures.h"
#include "LogBoxLimit.h"
#include "platform/ITextBox.h"

#include <QDateTime>
#include <QFile>

CLogWriter::CLogWriter(ITextBox& logBox)
    : m_logBox(logBox), m_sink([this](const QString& strLine) { PutLineInBox(strLine); })
{
}

QString CLogWriter::FormatLogLine(const QTime& time, const QString& strText)
{
    return QStringLiteral("[%1:%2:%3.%4] %5\r\n")
        .arg(time.hour(), 2, 10, QLatin1Char('0'))
        .arg(time.minute(), 2, 10, QLatin1Char('0'))
        .arg(time.second(), 2, 10, QLatin1Char('0'))
        .arg(time.msec(), 3, 10, QLatin1Char('0'))
        .arg(strText);
}

QString CLogWriter::MakeLogFileName(const QDateTime& localTime)
{
    return localTime.toString(QStringLiteral("'['yyyyMMdd_HHmmss']_Velkor_Log.txt'"));
}

void CLogWriter::WriteLog(const QString& strText)
{
    // Controls a device sent are shown, never carried out: the same text for
    // the file, the box and the console, one line each.
    const QString strShown = ShowControlCharacters(strText);
    // The file is written where the line is produced, so it is complete even
    // when the box lags behind.
    AppendToLogFile(strShown);
    m_sink(FormatLogLine(QTime::currentTime(), strShown));
}

void CLogWriter::PutLineInBox(const QString& strLine)
{
    if (LogBoxEmptiesBefore(m_logBox.GetTextLength(), strLine.size(), m_logBox.GetLimitText()))
        m_logBox.SetWindowText(QString());
    // Always at the end, wherever the user has put the caret or a selection.
    m_logBox.AppendText(strLine);
}

void CLogWriter::SetLineSink(LineSink sink) { m_sink = std::move(sink); }

void CLogWriter::AppendToLogFile(const QString& strText) const
{
    const QString strPath = LogFilePath();
    if (strPath.isEmpty())
        return;
    // One open, write and close per line: no handle stays open, and the file
    // is complete after every line. A file that cannot be opened skips the
    // line; the next line tries again.
    QFile file(strPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    file.write((strText + QLatin1Char('\n')).toUtf8());
    file.close();
}

QString CLogWriter::LogFilePath() const
{
    std::lock_guard lock(m_mutex);
    if (!m_bAutoSave || m_strLogFolder.isEmpty() || m_strLogFileName.isEmpty())
        return QString();
    return m_strLogFolder + QLatin1Char('/') + m_strLogFileName;
}

void CLogWriter::SetAutoSave(bool bAutoSave)
{
    std::lock_guard lock(m_mutex);
    m_bAutoSave = bAutoSave;
}

bool CLogWriter::IsAutoSave() const
{
    std::lock_guard lock(m_mutex);
    return m_bAutoSave;
}

void CLogWriter::SetLogFolder(const QString& strFolder)
{
    std::lock_guard lock(m_mutex);
    m_strLogFolder = strFolder;
}

QString CLogWriter::LogFolder() const
{
    std::lock_guard lock(m_mutex);
    return m_strLogFolder;
}

void CLogWriter::SetLogFileSuffix(const QString& strSuffix)
{
    std::lock_guard lock(m_mutex);
    m_strLogFileSuffix = strSuffix;
}

void CLogWriter::SetLogFileName(const QString& strFileName)
{
    std::lock_guard lock(m_mutex);
    m_strLogFileName = strFileName;
    if (!m_strLogFileSuffix.isEmpty() && m_strLogFileName.endsWith(QLatin1String(".txt")))
        m_strLogFileName.insert(m_strLogFileName.size() - 4, m_strLogFileSuffix);
}

QString CLogWriter::LogFileName() const
{
    std::lock_guard lock(m_mutex);
    return m_strLogFileName;
}
