#pragma once

#include "script/Placeholders.h"

#include <QString>

class CliCommand;
class QTextStream;
struct CCommandItem;
struct CScript;

// A record or server as one stable, quoted line of text.
QString DescribeCommand(const CCommandItem& item);
QString QuoteField(const QString& strText);

// velkor-cli check FILE: loads and parses a command file, prints the parser's
// log lines, then the records, the servers and the While repeat count. A
// script with placeholders is first shown with them replaced, one "line N"
// per line.
// Returns an exit code of ECliExit.
int RunCheck(const QString& strPath, QTextStream& out, QTextStream& err, bool bStrict = false,
             const ScriptVariables& variables = {});

// The "check" command: RunCheck with --strict.
const CliCommand& CheckCommand();
