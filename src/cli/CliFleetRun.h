#pragma once

#include <cstdint>

class CliArguments;
class QTextStream;
struct CliRunOptions;

// velkor-cli run --devices FILE [--jobs N]: runs the whole script once per
// device of the list, each on its own engine (its own connections, log and
// verdict) with its row's variables and credentials, at most N at once. Every
// log line on standard output starts with "[name] "; with --log-dir each
// device has its own auto-save file. Ctrl+C stops every running device at its
// next End and starts no more; a second one before those stops were taken
// aborts at once; SIGTERM and SIGHUP end them all at once. At the end a table
// of the devices' figures and verdicts; the exit code is the worst verdict.
// Returns an exit code of ECliExit.
int RunFleet(const CliArguments& args, const CliRunOptions& options, QTextStream& out, QTextStream& err);

// Raises the soft limit of open files to the hard limit (a fleet of
// thousands of devices holds a connection each); returns the soft limit now
// in force (0 when it could not be read). Called once at velkor-cli's start.
std::uint64_t RaiseOpenFileLimit();

// The open files N devices at once need: a connection each, with per-device
// log files (bLogFiles) a file each too, and a reserve for the process's own.
std::uint64_t FleetOpenFilesNeeded(int nJobs, bool bLogFiles);
