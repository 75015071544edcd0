#include "ParseScript.h"

#include "CScriptParser.h"
#include "log/CLogWriter.h"

void SParsedScript::WriteLog(CLogWriter& log) const
{
    for (const QString& strText : logTexts)
        log.WriteLog(strText);
}

SParsedScript ParseScript(const ITextBox& editCommand)
{
    SParsedScript parsed;
    CScriptParser parser(editCommand, parsed.script);
    parsed.bParsed = parser.ParseCommands() != 0;
    if (parsed.bParsed)
        parser.CollectServers();
    parsed.logTexts << QStringLiteral("Read command") << parser.LogTexts();
    parsed.nSyntaxErrors = parser.SyntaxErrors();
    return parsed;
}
