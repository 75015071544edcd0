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
};

// velkor-cli run: runs a command file as "Send" does, printing every log line
// as it happens. Ctrl+C is "Stop"; a second Ctrl+C before that stop was taken
// aborts at once. SIGTERM and SIGHUP end the run as closing the window does.
// Returns an exit code of ECliExit.
int RunScript(const CliRunOptions& options, QTextStream& out, QTextStream& err);
