#include "CScriptParser.h"

#include "SplitCommandUrl.h"
#include "StepChecksReader.h"
#include "log/CLogWriter.h"
#include "platform/IRunControls.h"
#include "platform/ITextBox.h"
#include "platform/TextConv.h"

#include <QRegularExpression>

#include <algorithm>

CScriptParser::CScriptParser(const ITextBox& editCommand, CLogWriter& log, IRunControls& controls, CScript& script)
    : m_editCommand(editCommand), m_pLog(&log), m_pControls(&controls), m_script(script)
{
}

CScriptParser::CScriptParser(const ITextBox& editCommand, CScript& script)
    : m_editCommand(editCommand), m_script(script)
{
}

void CScriptParser::WriteLog(const QString& strText)
{
    m_logTexts << strText;
    if (m_pLog != nullptr)
        m_pLog->WriteLog(strText);
}

int CScriptParser::ReadOperand(QString strLine)
{
    strLine.remove(QLatin1Char(' '));
    const qsizetype a = strLine.indexOf(QLatin1Char('('));
    const qsizetype b = strLine.indexOf(QLatin1Char(')'));
    const qsizetype nLength = std::max<qsizetype>(b - a - 1, 0);
    return ReadLeadingInt(strLine.mid(a + 1, nLength));
}

bool CScriptParser::LooksLikeRequest(const QString& strLine)
{
    static const QRegularExpression kBlank(QStringLiteral("\\s"));
    const QString strFirst = strLine.trimmed().section(kBlank, 0, 0);
    return strFirst.contains(QLatin1String("://")) || strFirst.contains(QLatin1String("httpapi"), Qt::CaseInsensitive);
}

int CScriptParser::ParseCommands()
{
    WriteLog(QStringLiteral("Collect connect info"));

    const int nLineCount = m_editCommand.GetLineCount();
    if (nLineCount < 1)
        return 1;

    int nWhileLines = 0;
    int nEndLines = 0;
    CStepChecksReader checks(m_script, [this](const QString& strError) {
        WriteLog(strError);
        ++m_nSyntaxErrors;
    });
    QString strLine;
    for (int nLine = 0; nLine < nLineCount; ++nLine) {
        if (m_editCommand.GetLine(nLine, strLine, kLineCapacity) == 0)
            continue;
        // Expect, Capture and Require lines before any keyword is looked for.
        if (checks.Take(strLine, nLine + 1))
            continue;
        const std::size_t nFirstStep = m_script.m_vecCommands.size();

        if (strLine.contains(QLatin1String("Sleep")))
            ParseSleep(strLine);
        if (strLine.contains(QLatin1String("While"))) {
            if (ParseWhileEnd(strLine, 1) == 0)
                return 0;
            ++nWhileLines;
        }
        if (strLine.contains(QLatin1String("End"))) {
            ParseWhileEnd(strLine, 0);
            ++nEndLines;
        }
        if (strLine.contains(QLatin1String("CheckAlive"))) {
            ParseCheckAlive(strLine, nLine + 1);
        } else {
            CCommandItem item;
            QString strHost;
            QString strPort;
            QString strUri;
            bool bHttps = false;
            SUrlUserInfo userInfo;
            if (SplitCommandUrl(strLine, strHost, strPort, strUri, &bHttps, &userInfo) == 0) {
                item.m_bNotHttp = 0;
                item.m_strIP = strHost;
                item.m_strPort = strPort;
                item.m_strUri = strUri;
                item.m_bHttps = bHttps;
                item.m_userInfo = userInfo;
                // The command stays, and the run reports it as not sent: a
                // port that is no port (an empty one after a colon too) must
                // never reach another one.
                if (PortNumber(strPort) == 0)
                    WriteBadPort(nLine + 1, strLine);
            } else if (LooksLikeRequest(strLine)) {
                // A mistyped request stays a no-op step, but is told: a run
                // that sends nothing must not pass unseen.
                WriteLog(QStringLiteral("<Syntax error> Line %1 looks like a request but is not an HTTP command "
                                        "(http:// or https://, then a path with httpapi): %2")
                             .arg(QString::number(nLine + 1), MaskUrlPasswords(strLine)));
                ++m_nSyntaxErrors;
                m_script.m_vecNotRequestLines.push_back(nLine + 1);
            }
            m_script.m_vecCommands.push_back(item);
        }
        // Every step made from this line is known by the line's number.
        for (std::size_t i = nFirstStep; i < m_script.m_vecCommands.size(); ++i)
            m_script.m_vecCommands[i].m_nLine = nLine + 1;
        // The checks of the lines below go to this line's request or
        // CheckAlive, the last step it made.
        const bool bMadeStep = m_script.m_vecCommands.size() > nFirstStep;
        const CCommandItem* pLast = bMadeStep ? &m_script.m_vecCommands.back() : nullptr;
        checks.StepLine(pLast != nullptr && (pLast->m_bNotHttp == 0 || pLast->m_checkAlive.m_bCheckAlive)
                            ? int(m_script.m_vecCommands.size()) - 1
                            : -1);
    }
    checks.Finish();

    if (nWhileLines != nEndLines) {
        WriteLog(QStringLiteral("Can not find a operation While or End."));
        return 0;
    }
    // A check that is not read would pass unseen: a bad one fails the parse.
    return checks.Failed() ? 0 : 1;
}

int CScriptParser::ParseSleep(QString strLine)
{
    const int nSleepTime = ReadOperand(strLine);
    if (nSleepTime <= 0) {
        WriteLog(QStringLiteral("<Syntax error> Sleep time must be larger than 0"));
        ++m_nSyntaxErrors;
        return 0;
    }
    CCommandItem item;
    item.m_nSleepTime = nSleepTime;
    m_script.m_vecCommands.push_back(item);
    return 1;
}

int CScriptParser::ParseWhileEnd(QString strLine, int nMode)
{
    CCommandItem item;
    if (nMode == 0) {
        item.m_bEnd = 1;
        m_script.m_vecCommands.push_back(item);
        return 1;
    }
    const int nRepeatCount = ReadOperand(strLine);
    if (nRepeatCount < 0) {
        WriteLog(QStringLiteral("<Syntax error> Operation While's repeat count must be larger than -1"));
        ++m_nSyntaxErrors;
        return 0;
    }
    if (m_pControls != nullptr)
        m_pControls->EnableControl(ERunControl::Stop, true);
    m_script.m_nWhileRepeatCount = nRepeatCount;
    item.m_bWhile = 1;
    m_script.m_vecCommands.push_back(item);
    return 1;
}

void CScriptParser::WriteBadPort(int nLineNumber, const QString& strLine)
{
    WriteLog(QStringLiteral("<Syntax error> Port must be a number from 1 to 65535 in line %1: %2")
                 .arg(QString::number(nLineNumber), MaskUrlPasswords(strLine)));
    ++m_nSyntaxErrors;
}

int CScriptParser::ParseCheckAlive(QString strLine, int nLineNumber)
{
    const qsizetype a = strLine.indexOf(QLatin1Char('('));
    const qsizetype b = strLine.indexOf(QLatin1Char(')'));
    if (a < 0 || b < 0)
        return 0;
    const QString strInner = strLine.mid(a + 1, b);
    const qsizetype c = strInner.indexOf(QLatin1Char(':'));
    if (c < 0)
        return 0;
    const qsizetype d = strInner.indexOf(QLatin1Char(')'));
    if (d < 0)
        return 0;

    CCommandItem item;
    item.m_checkAlive.m_bCheckAlive = 1;
    item.m_checkAlive.m_strIP = strInner.left(c);
    item.m_checkAlive.m_strPort = d > c ? strInner.mid(c + 1, d - c - 1) : QString();
    // A wait on a port that is no port could never end, or would wait on
    // another port: it is skipped with a syntax error, as a bad Sleep is.
    // Blanks around the port are allowed here, as around the host.
    if (PortNumber(item.m_checkAlive.m_strPort.trimmed()) == 0) {
        WriteBadPort(nLineNumber, strLine);
        return 0;
    }
    m_script.m_vecCommands.push_back(item);
    return 0;
}

void CScriptParser::CollectServers()
{
    for (const CCommandItem& item : m_script.m_vecCommands) {
        // Every HTTP command has a server, even one without host and port
        // text, so that the run reports it as not sent.
        if (item.m_bNotHttp)
            continue;
        const bool bListed = std::any_of(m_script.m_vecServers.begin(), m_script.m_vecServers.end(),
                                         [&item](const std::unique_ptr<CServerItem>& server) {
                                             return server->m_bHttps == item.m_bHttps &&
                                                    server->m_strIP == item.m_strIP &&
                                                    server->m_strPort == item.m_strPort;
                                         });
        if (bListed)
            continue;
        auto server = std::make_unique<CServerItem>();
        server->m_strIP = item.m_strIP;
        server->m_strPort = item.m_strPort;
        server->m_bHttps = item.m_bHttps;
        m_script.m_vecServers.push_back(std::move(server));
    }
}
