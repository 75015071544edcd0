#pragma once

#include "engine/CRunSettings.h"
#include "script/Placeholders.h"

#include <QString>

class CliCommand;
class QTextStream;

struct CliRunOptions {
    QString strFile;         // the command file; "-": standard input
    CRunSettings settings;   // credentials, threshold, TLS options, fail-on rules, strict
    QString strLogDir;  // empty: no auto-save
    QString strJsonFile;     // the JSON report, written at the run's end; empty: none
    QString strJUnitFile;    // the JUnit XML report, likewise
    QString strHtmlFile;     // the HTML report, likewise
    QString strJsonLinesFile;  // JSON Lines, written as the run goes; empty: none
    bool bJUnitEachRequest = false;  // a JUnit test case per request, not per script line
    bool bStats = false;     // print the statistics table after the log
    bool bQuiet = false;     // no log lines on the console, a summary at the end
    bool bProgress = false;  // a status line on standard error while the run goes
    ScriptVariables variables;  // the values of the script's placeholders
};

// velkor-cli run: runs a command file as "Send" does, printing every log line
// as it happens. Ctrl+C is "Stop"; a second Ctrl+C before that stop was taken
// aborts at once. SIGTERM and SIGHUP end the run as closing the window does.
// The reports are written when the run ends, also after a stop or a signal
// (a run cut short gives a partial report); the statistics table follows the
// log.
// Returns an exit code of ECliExit.
int RunScript(const CliRunOptions& options, QTextStream& out, QTextStream& err);

// The "run" command: reads CliRunOptions from the command line, then RunScript.
const CliCommand& RunCommand();
