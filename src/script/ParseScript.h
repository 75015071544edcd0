#pragma once

#include "CScript.h"

#include <QString>
#include <QStringList>

class CLogWriter;
class ITextBox;

// A script read from a command box, with what reading it has to say.
struct SParsedScript {
    CScript script;          // servers collected when bParsed
    QStringList logTexts;    // the log lines of the reading, in order
    int nSyntaxErrors = 0;   // "<Syntax error>" lines, failing or not
    bool bParsed = false;    // false: a syntax error failed the script

    // Whether the script may run; strict: any syntax error line fails it.
    bool Passes(bool bStrict) const { return bParsed && !(bStrict && nSyntaxErrors > 0); }
    // Writes the log lines to the log writer, in order.
    void WriteLog(CLogWriter& log) const;
};

// The whole reading of a script: "Read command", the parse of the command
// box lines and, when that succeeds, the servers. It touches neither a log
// nor the run controls.
SParsedScript ParseScript(const ITextBox& editCommand);
