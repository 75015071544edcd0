#include "CliCheck.h"

#include "CliCommand.h"
#include "CliExitCodes.h"
#include "CliVariables.h"
#include "log/CCommandFile.h"
#include "log/CLogWriter.h"
#include "platform/CMemoryTextBox.h"
#include "script/ParseScript.h"
#include "script/SplitCommandUrl.h"

#include <QTextStream>

QString QuoteField(const QString& strText)
{
    QString strQuoted = QStringLiteral("\"");
    for (const QChar ch : strText) {
        switch (ch.unicode()) {
        case u'"': strQuoted += QLatin1String("\\\""); break;
        case u'\\': strQuoted += QLatin1String("\\\\"); break;
        case u'\t': strQuoted += QLatin1String("\\t"); break;
        case u'\r': strQuoted += QLatin1String("\\r"); break;
        case u'\n': strQuoted += QLatin1String("\\n"); break;
        default:
            if (ch.unicode() < 0x20)
                strQuoted += QStringLiteral("\\x%1").arg(ch.unicode(), 2, 16, QLatin1Char('0'));
            else
                strQuoted += ch;
        }
    }
    return strQuoted + QLatin1Char('"');
}

QString DescribeCommand(const CCommandItem& item)
{
    if (item.m_nSleepTime != 0)
        return QStringLiteral("sleep %1").arg(item.m_nSleepTime);
    if (item.m_bWhile)
        return QStringLiteral("while");
    if (item.m_bEnd)
        return QStringLiteral("end");
    if (item.m_checkAlive.m_bCheckAlive)
        return QStringLiteral("checkalive host=%1 port=%2")
            .arg(QuoteField(item.m_checkAlive.m_strIP), QuoteField(item.m_checkAlive.m_strPort));
    if (item.m_bNotHttp == 0) {
        QString strText = QStringLiteral("%1 host=%2 port=%3 uri=%4")
                              .arg(item.m_bHttps ? QStringLiteral("https") : QStringLiteral("http"),
                                   QuoteField(item.m_strIP), QuoteField(item.m_strPort), QuoteField(item.m_strUri));
        if (item.m_userInfo.bPresent)
            strText += QStringLiteral(" userinfo=") + QuoteField(MaskedUserInfo(item.m_userInfo));
        return strText;
    }
    return QStringLiteral("noop");
}

int RunCheck(const QString& strPath, QTextStream& out, QTextStream& err, bool bStrict,
             const ScriptVariables& variables)
{
    QStringList lines;
    QString strError;
    if (!CCommandFile::ReadLines(strPath, lines, strError)) {
        err << "velkor-cli: " << strError << Qt::endl;
        return kExitFileError;
    }

    CMemoryTextBox editLog;
    CLogWriter log(editLog);
    log.SetLineSink([&out](const QString& strLine) { out << QStringView(strLine).chopped(2) << Qt::endl; });
    bool bHadPlaceholders = false;
    if (!SubstituteScriptLogged(lines, variables, log, &bHadPlaceholders)) {
        out << "result error" << Qt::endl;
        return kExitScriptError;
    }
    if (bHadPlaceholders)
        for (qsizetype i = 0; i < lines.size(); ++i)
            out << "line " << i + 1 << ' ' << QuoteField(MaskUrlPasswords(lines[i])) << '\n';

    CMemoryTextBox editCommand;
    CCommandFile::InsertLines(editCommand, lines);
    const SParsedScript parsed = ParseScript(editCommand);
    parsed.WriteLog(log);
    const CScript& script = parsed.script;

    int nIndex = 0;
    for (const CCommandItem& item : script.m_vecCommands) {
        out << "record " << ++nIndex << ' ' << DescribeCommand(item) << '\n';
        // The step's Expect and Capture lines, under it.
        if (item.m_pChecks) {
            for (const CCheck& check : item.m_pChecks->checks)
                out << "  expect line=" << check.nLine << ' ' << QuoteField(check.strText) << '\n';
            for (const CCapture& capture : item.m_pChecks->captures)
                out << "  capture line=" << capture.nLine << ' ' << QuoteField(capture.strText) << '\n';
        }
    }
    nIndex = 0;
    for (const auto& server : script.m_vecServers)
        out << "server " << ++nIndex << (server->m_bHttps ? " https" : "") << " host=" << QuoteField(server->m_strIP)
            << " port=" << QuoteField(server->m_strPort) << '\n';
    out << "while-repeat-count " << script.m_nWhileRepeatCount << '\n';
    for (const CRequirement& requirement : script.m_vecRequirements)
        out << "require line=" << requirement.nLine << ' ' << QuoteField(requirement.strText) << '\n';
    // Strict: a syntax error line fails the script even where the parse goes on.
    const bool bOk = parsed.Passes(bStrict);
    out << "result " << (bOk ? "ok" : "error") << Qt::endl;
    return bOk ? kExitOk : kExitScriptError;
}

namespace {

class CCheckCommand : public CliCommand {
public:
    ECliCommandBit Bit() const override { return kCliCheck; }
    QString Description() const override
    {
        return QStringLiteral("Load and parse a command file; print the log lines, records and servers.");
    }
    int Execute(const CliArguments& args, QTextStream& out, QTextStream& err) const override
    {
        ScriptVariables variables;
        QString strProblem;
        if (!CollectCliVariables(args, &variables, &strProblem)) {
            err << "velkor-cli: " << strProblem << Qt::endl;
            return kExitUsage;
        }
        return RunCheck(args.File(), out, err, args.IsSet(ECliOption::Strict), variables);
    }
};

}  // namespace

const CliCommand& CheckCommand()
{
    static const CCheckCommand command;
    return command;
}
