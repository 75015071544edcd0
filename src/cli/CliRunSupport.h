#pragma once

#include "engine/CRunStatistics.h"
#include "engine/CRunVerdict.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <mutex>
#include <vector>

class CLogWriter;
class QTextStream;
struct CliRunOptions;

// What "run" and "run --devices" share: reading the script, the checks made
// before a run, where the log goes, the reports at the end, the signal that
// ended a run, and the tables printed after the log.

// The script's lines, from the file or from standard input ("-"), read to
// the end before the run. On failure, *pProblem says why.
bool ReadScriptLines(const QString& strFile, QStringList* pLines, QString* pProblem);

// Checked before a run: the log folder, the certificate file and the report
// paths. kExitOk, or kExitUsage with the reason on err.
int CheckRunInputs(const CliRunOptions& options, QTextStream& err);

// Where the log lines go: standard error when a report goes to standard
// output ("-"), else standard output.
QTextStream& LogStream(const CliRunOptions& options, QTextStream& out, QTextStream& err);

// Sends the log's lines to the console, each with the prefix, under outMutex
// (standard error may be shared); with --quiet nowhere (the auto-save file
// is written apart from the sink).
void SetConsoleSink(CLogWriter& log, const CliRunOptions& options, QTextStream& logOut, std::mutex& outMutex,
                    const QString& strPrefix = {});

// The --json, --junit and --html reports asked for, each written by its
// writer (path, error) -> written; a report not written is named on err.
// False when one was not written.
struct CReportWriters {
    std::function<bool(const QString&, QString*)> json;
    std::function<bool(const QString&, QString*)> junit;
    std::function<bool(const QString&, QString*)> html;
};
bool SaveReports(const CliRunOptions& options, QTextStream& err, const CReportWriters& writers);

// The exit code once the run is over: SIGTERM's and SIGHUP's own, else nExit.
int ExitAfterSignal(int nSignal, int nExit);
// "velkor-cli: the run was ended by SIGTERM" (or SIGHUP); nothing for 0.
void SayEndingSignal(QTextStream& err, int nSignal);

// Rows of cells in columns, the first nLeft left-aligned and the others
// right-aligned, one blank apart; each row's last cell follows two blanks
// later without padding, so the columns line up whatever its length. Control
// characters in a cell are shown as their pictures.
void PrintTable(QTextStream& out, const std::vector<QStringList>& rows, int nLeft = 0);

// The table --stats prints after the log: one row per URL, then the run's,
// in the columns the results window shows; then the CheckAlive lines'
// downtimes, and the run's verdict.
void PrintStatistics(QTextStream& out, const CRunStatisticsSnapshot& snapshot, const CRunVerdictSummary& verdict);
