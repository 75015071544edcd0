#pragma once

#include <QString>
#include <QTime>

#include <functional>
#include <mutex>

class ITextBox;

// The log writer: every line a run reports goes through WriteLog. It stamps
// the line with the local time, puts it into the log box and, while a run's
// file is named, appends the bare text to the auto-save file. Control
// characters in the text are shown as their pictures (ControlPictures.h)
// everywhere the line goes.
class CLogWriter {
public:
    // How a stamped line reaches the log box. The default carries out the
    // box operations at once, on the calling thread; a window hands the line
    // to its own thread instead and calls PutLineInBox there.
    using LineSink = std::function<void(const QString& strLine)>;

    explicit CLogWriter(ITextBox& logBox);

    void WriteLog(const QString& strText);

    // "[hh:mm:ss.zzz] text\r\n"
    static QString FormatLogLine(const QTime& time, const QString& strText);

    // Appends the stamped line at the end of the log box, emptying the box
    // first when the line would reach its text limit.
    void PutLineInBox(const QString& strLine);

    void SetLineSink(LineSink sink);

    // Auto-save options. They are changed only while no run is going.
    void SetAutoSave(bool bAutoSave);
    bool IsAutoSave() const;
    void SetLogFolder(const QString& strFolder);
    QString LogFolder() const;
    // A file name set afterwards gets strSuffix before its ".txt"
    // ("[...]_Velkor_Log_cam-1.txt"), so that runs side by side keep apart.
    void SetLogFileSuffix(const QString& strSuffix);
    void SetLogFileName(const QString& strFileName);
    QString LogFileName() const;
    // Folder + "/" + file name; empty while no file is named.
    QString LogFilePath() const;

    // The auto-save file name of a run started at the given local time.
    static QString MakeLogFileName(const QDateTime& localTime);

private:
    void AppendToLogFile(const QString& strText) const;

    ITextBox& m_logBox;
    LineSink m_sink;
    mutable std::mutex m_mutex;  // guards the options below
    bool m_bAutoSave = false;
    QString m_strLogFolder;
    QString m_strLogFileName;
    QString m_strLogFileSuffix;
};
