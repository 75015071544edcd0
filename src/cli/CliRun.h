#pragma once

#include <QString>

class QTextStream;

struct CliRunOptions {
    QString strFile;
    QString strId = QStringLiteral("admin");
    QString strPassword = QStringLiteral("4719");
    QString strThreshold = QStringLiteral("300");
    QString strLogDir;  // empty: no auto-save
    QString strCaFile;  // trusted for https devices besides the system's CAs
    bool bInsecure = false;  // accept any certificate of https devices
    QString strJsonFile;     // the JSON report, written at the run's end; empty: none
    QString strJUnitFile;    // the JUnit XML report, likewise
    bool bStats = false;     // print the statistics table after the log
    bool bFailOnSlow = false;    // a slow response makes the run exit 5
    bool bFailOnStatus = false;  // a final HTTP status of 400 or above makes it exit 6
};

// velkor-cli run: runs a command file as "Send" does, printing every log line
// as it happens. Ctrl+C is "Stop"; a second Ctrl+C before that stop was taken
// aborts at once. SIGTERM and SIGHUP end the run as closing the window does.
// The reports are written when the run ends, also after a stop or a signal
// (a run cut short gives a partial report); the statistics table follows the
// log.
// Returns an exit code of ECliExit.
int RunScript(const CliRunOptions& options, QTextStream& out, QTextStream& err);
