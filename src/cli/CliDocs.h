#pragma once

#include <QString>

// The texts made from the option table (CliOptions.h), the commands
// (CliCommand.h) and the exit codes (CliExitCodes.h).

// The "Exit codes:" paragraph of --help, lines of at most 80 columns that
// each begin with a code, then which code wins.
QString CliExitCodesHelp();

// A generated part of the man page or of the bash completion, as whole
// lines ending in a newline: the build puts each in place of the line
// "@PART@" of packaging/man/velkor-cli.1.in and
// packaging/bash-completion/velkor-cli.in. PART is one of
//   man-options           the entries of the OPTIONS section, Qt's own options aside
//   man-qt-options        the entries of Qt's own options (help, version)
//   man-exit-status       the entries of the EXIT STATUS section
//   bash-value-cases      the case arms that complete an option's value
//   bash-value-options    the case pattern of the options that take a value
//   bash-command-options  the case arms that offer a command's options
//   bash-commands         the command names
//   bash-command-file     the command file
// Returns false for another PART.
bool CliDocPart(const QString& strPart, QString* pText);
