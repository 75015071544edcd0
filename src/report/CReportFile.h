#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QIODevice;

// Where a report goes, and how it gets there:
//   "-"                  standard output, written to the open descriptor;
//   a new path or a regular file
//                        written to a temporary file in the same folder and
//                        renamed over the path, so that a reader sees the
//                        old file or the whole new one (a symbolic link is
//                        followed and stays a link);
//   this process's own descriptor (/dev/stdout, /dev/fd/N, /proc/self/fd/N)
//                        written to that descriptor, after what the process
//                        wrote there before;
//   anything else that exists (a device, a FIFO, a terminal, another
//                        process's descriptor)
//                        opened for writing and written in place, never
//                        replaced; a regular file reached that way is
//                        appended to.
// Failures are told with the system's reason ("No space left on device").
class CReportFile {
public:
    // Writes what writer puts into the device it is given; false when that
    // failed, with *pError (when given) saying why. A writer returning false
    // fails the write; an atomic write then leaves the old file as it was.
    static bool Write(const QString& strPath, const std::function<bool(QIODevice&)>& writer,
                      QString* pError = nullptr);

    // Checked before a run: a problem text, or empty when every report path
    // (empty entries stand for reports not asked for) can be written. A
    // report must not be the command file strScript itself, two reports must
    // not be the same file (nor both "-"), an existing path must be writable
    // and a new one must be in a folder that exists and is writable.
    static QString CheckPaths(const QString& strScript, const QStringList& reports);
};
