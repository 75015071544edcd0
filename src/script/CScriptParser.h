#pragma once

#include "CScript.h"

#include <QString>
#include <QStringList>

class CLogWriter;
class IRunControls;
class ITextBox;

// Turns the command box into a script's steps and servers. Syntax errors go
// to the log; accepting a While enables "Stop". ParseScript (ParseScript.h)
// is the whole sequence as one call.
class CScriptParser {
public:
    // Characters of a line that the parser looks at; the rest is cut off.
    static constexpr int kLineCapacity = 2048;

    CScriptParser(const ITextBox& editCommand, CLogWriter& log, IRunControls& controls, CScript& script);
    // A parse that touches neither a log nor the controls: its log lines are
    // only kept, in LogTexts().
    CScriptParser(const ITextBox& editCommand, CScript& script);

    // Non-zero on success, 0 on a syntax error that fails the script.
    int ParseCommands();
    // 1 when a Sleep step was appended, 0 on a syntax error.
    int ParseSleep(QString strLine);
    // nMode 1: While, 0: End. 1 when a step was appended, 0 on a syntax error.
    int ParseWhileEnd(QString strLine, int nMode);
    // Appends a CheckAlive step when the line names "(host:port)" with a
    // port of 1 to 65535 (a syntax error for another port); always 0.
    // nLineNumber (from 1) is for the syntax error line.
    int ParseCheckAlive(QString strLine, int nLineNumber = 0);
    // After a successful parse: one server per distinct scheme, host and
    // port text.
    void CollectServers();

    // Whether a line that is no HTTP command looks like one that was meant:
    // its first word holds "://" or "httpapi" (any case), as in
    // "htp://host/httpapi/..." or "host/httpapi/...".
    static bool LooksLikeRequest(const QString& strLine);

    // The number between the first "(" and the first ")" of the line, with
    // every blank removed first.
    static int ReadOperand(QString strLine);

    // "<Syntax error>" lines the parse wrote, failing or not (a bad Sleep
    // only skips its line).
    int SyntaxErrors() const { return m_nSyntaxErrors; }
    // The texts the parse wrote to the log, in order.
    const QStringList& LogTexts() const { return m_logTexts; }

private:
    void WriteLog(const QString& strText);
    // "<Syntax error> Port must be ..." for a port that is not 1 to 65535.
    void WriteBadPort(int nLineNumber, const QString& strLine);

    const ITextBox& m_editCommand;
    CLogWriter* m_pLog = nullptr;
    IRunControls* m_pControls = nullptr;
    CScript& m_script;
    int m_nSyntaxErrors = 0;
    QStringList m_logTexts;
};
