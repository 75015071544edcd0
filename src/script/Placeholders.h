#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

class CLogWriter;

// Variables of a script: "{{name}}" in a script line stands for the value of
// the variable "name". A name is a letter or '_', then letters, digits, '_'
// or '-' (ASCII); anything else between "{{" and "}}" (a lone "{{", "{{ }}",
// "{{1x}}") is no placeholder and stays as it is.
using ScriptVariables = QHash<QString, QString>;

// Whether the text is a variable's name.
bool IsVariableName(QStringView strName);

// One line with its placeholders replaced, in one pass (a value is never read
// again for placeholders). A line break in a value becomes a space, so that a
// line stays one line. The names without a value are added to pMissing (once
// each, in the order they come), and their placeholders stay as they are;
// pnPlaceholders, when given, counts the placeholders met.
QString SubstituteLine(const QString& strLine, const ScriptVariables& variables, QStringList* pMissing,
                       int* pnPlaceholders = nullptr);
// The same into out, whose room is kept: once out has grown to the lines'
// size, it allocates nothing beyond the names missing.
void SubstituteLineInto(QString& out, const QString& strLine, const ScriptVariables& variables, QStringList* pMissing,
                        int* pnPlaceholders = nullptr);

// What substituting a script gives.
struct SSubstitutedScript {
    QStringList lines;          // the lines, placeholders replaced
    QStringList errors;         // one "<Syntax error>" text per placeholder without a value, in line order
    bool bHadPlaceholders = false;  // some line held a placeholder
};

// Substitutes every line of a script. An error names the variable and the
// script line (number and text as written).
SSubstitutedScript SubstituteScript(const QStringList& lines, const ScriptVariables& variables);

// Replaces the placeholders of the script's lines. When one has no value the
// lines stay, the log gets "Read command" and a syntax error line for each,
// and it returns false. pHadPlaceholders, when given, says whether any line
// held one.
bool SubstituteScriptLogged(QStringList& lines, const ScriptVariables& variables, CLogWriter& log,
                           bool* pHadPlaceholders = nullptr);
