#pragma once

#include "script/Placeholders.h"

#include <QString>
#include <QStringList>

class CliArguments;
class CLogWriter;

// "NAME=VALUE" with the spaces around name and value dropped; false when
// there is no '=' or the name is no variable name.
bool ParseVariableAssignment(QStringView strText, QString* pName, QString* pValue);

// Adds the variables of a file of "NAME=VALUE" lines (blank lines and lines
// starting with '#' skipped). False, with a message naming the file and the
// line, when the file cannot be read or a line is not an assignment.
bool ReadVariablesFile(const QString& strPath, ScriptVariables* pVariables, QString* pProblem);

// The variables of the command line: --variables-file, then every --variable
// (which win). False with a message when one cannot be used.
bool CollectCliVariables(const CliArguments& args, ScriptVariables* pVariables, QString* pProblem);

