#include "../LogText.h"
#include "log/CLogWriter.h"
#include "platform/CMemoryTextBox.h"
#include "platform/CRunControlStates.h"
#include "script/CScriptParser.h"

#include <gtest/gtest.h>


namespace {

const char* const kSleepError = "<Syntax error> Sleep time must be larger than 0";
const char* const kWhileError = "<Syntax error> Operation While's repeat count must be larger than -1";
const char* const kCountError = "Can not find a operation While or End.";

// Parses a script typed into a command box, one string per line.
class ParserTest : public ::testing::Test {
protected:
    ParserTest() : m_log(m_logBox), m_parser(m_commandBox, m_log, m_controls, m_script) {}

    int Parse(const QStringList& lines)
    {
        m_commandBox.SetWindowText(lines.join(QStringLiteral("\r\n")));
        const int nResult = m_parser.ParseCommands();
        if (nResult)
            m_parser.CollectServers();
        return nResult;
    }

    // The log texts, without their timestamps.
    QStringList LogTexts() const
    {
        QStringList texts;
        for (const QString& strLine : m_logBox.GetWindowText().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
            texts << WithoutStamps(strLine);
        return texts;
    }

    QString Kinds() const
    {
        QStringList kinds;
        for (const CCommandItem& item : m_script.m_vecCommands) {
            if (item.m_nSleepTime)
                kinds << QStringLiteral("S%1").arg(item.m_nSleepTime);
            else if (item.m_bWhile)
                kinds << QStringLiteral("W");
            else if (item.m_bEnd)
                kinds << QStringLiteral("E");
            else if (item.m_checkAlive.m_bCheckAlive)
                kinds << QStringLiteral("C");
            else if (!item.m_bNotHttp)
                kinds << QStringLiteral("H");
            else
                kinds << QStringLiteral("-");
        }
        return kinds.join(QLatin1Char(' '));
    }

    CMemoryTextBox m_commandBox;
    CMemoryTextBox m_logBox;
    CLogWriter m_log;
    CRunControlStates m_controls;
    CScript m_script;
    CScriptParser m_parser;
};

TEST_F(ParserTest, WorkedExampleGivesItsRecordsAndServers)
{
    ASSERT_NE(Parse({QStringLiteral("http://192.168.10.100/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0"),
                     QStringLiteral("Sleep(500)"), QString(), QStringLiteral("While(3)"),
                     QStringLiteral("http://192.168.10.100:8080/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0"),
                     QStringLiteral("End"), QStringLiteral("CheckAlive(192.168.10.100:80)")}),
              0);
    EXPECT_EQ(Kinds(), QStringLiteral("H S500 - W - H E - C"));
    const auto& cmds = m_script.m_vecCommands;
    EXPECT_EQ(cmds[0].m_strIP, QStringLiteral("192.168.10.100"));
    EXPECT_EQ(cmds[0].m_strPort, QStringLiteral("80"));
    EXPECT_EQ(cmds[0].m_strUri, QStringLiteral("/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0"));
    EXPECT_EQ(cmds[5].m_strPort, QStringLiteral("8080"));
    EXPECT_EQ(cmds[8].m_checkAlive.m_strIP, QStringLiteral("192.168.10.100"));
    EXPECT_EQ(cmds[8].m_checkAlive.m_strPort, QStringLiteral("80"));
    EXPECT_TRUE(cmds[8].m_strIP.isEmpty() && cmds[8].m_strPort.isEmpty()) << "a CheckAlive target is no server";
    ASSERT_EQ(m_script.m_vecServers.size(), 2u);
    EXPECT_EQ(m_script.m_vecServers[0]->m_strPort, QStringLiteral("80"));
    EXPECT_EQ(m_script.m_vecServers[1]->m_strPort, QStringLiteral("8080"));
    EXPECT_EQ(m_script.m_vecServers[1]->m_pHttp, nullptr);
    EXPECT_EQ(m_script.m_vecServers[1]->m_bUnreachable, 1);
    EXPECT_EQ(m_script.m_nWhileRepeatCount, 3);
    EXPECT_TRUE(m_controls.IsEnabled(ERunControl::Stop));
    EXPECT_EQ(LogTexts(), QStringList{QStringLiteral("Collect connect info")});
}

TEST_F(ParserTest, DefaultRecordIsANoOp)
{
    const CCommandItem item;
    EXPECT_EQ(item.m_bNotHttp, 1);
    EXPECT_EQ(item.m_nSleepTime + item.m_bWhile + item.m_bEnd + item.m_checkAlive.m_bCheckAlive, 0);
    EXPECT_TRUE(item.m_strIP.isEmpty() && item.m_strPort.isEmpty() && item.m_strUri.isEmpty());
}

TEST_F(ParserTest, SleepOperands)
{
    ASSERT_NE(Parse({QStringLiteral("Sleep ( 1 000 )"), QStringLiteral("Sleep(100ms)"),
                     QStringLiteral("Sleep(99999999999)"), QStringLiteral("7 )Sleep")}),
              0);
    EXPECT_EQ(Kinds(), QStringLiteral("S1000 - S100 - S2147483647 - S7 -"));
    EXPECT_EQ(m_script.m_nWhileRepeatCount, -1);
    EXPECT_FALSE(m_controls.IsEnabled(ERunControl::Stop)) << "no While, no Stop";
}

TEST_F(ParserTest, BadSleepIsReportedButTheParseGoesOn)
{
    ASSERT_NE(Parse({QStringLiteral("Sleep(0)"), QStringLiteral("Sleep(abc)"), QStringLiteral("Sleep(-5)"),
                     QStringLiteral("Sleep)(3")}),
              0);
    EXPECT_EQ(Kinds(), QStringLiteral("- - - -"));
    EXPECT_EQ(LogTexts().count(QString::fromUtf8(kSleepError)), 4);
}

TEST_F(ParserTest, WhileWithoutCountRepeatsUntilStopped)
{
    ASSERT_NE(Parse({QStringLiteral("While"), QStringLiteral("End")}), 0);
    EXPECT_EQ(Kinds(), QStringLiteral("W - E -"));
    EXPECT_EQ(m_script.m_nWhileRepeatCount, 0);
    EXPECT_TRUE(m_controls.IsEnabled(ERunControl::Stop));
}

TEST_F(ParserTest, NegativeWhileFailsAtItsLine)
{
    EXPECT_EQ(Parse({QStringLiteral("While(-1)"), QStringLiteral("http://a/httpapi/x"), QStringLiteral("End")}), 0);
    EXPECT_EQ(Kinds(), QString()) << "the lines after the failing While are not parsed";
    EXPECT_EQ(LogTexts(), (QStringList{QStringLiteral("Collect connect info"), QString::fromUtf8(kWhileError)}));
    EXPECT_FALSE(m_controls.IsEnabled(ERunControl::Stop));
}

TEST_F(ParserTest, WhileAndEndAreMatchedOnlyByCount)
{
    EXPECT_EQ(Parse({QStringLiteral("While(2)"), QStringLiteral("http://a/httpapi/x")}), 0);
    EXPECT_EQ(LogTexts().last(), QString::fromUtf8(kCountError));
    EXPECT_EQ(Kinds(), QStringLiteral("W - H")) << "every line was read before the count check";

    m_script = CScript();
    EXPECT_NE(Parse({QStringLiteral("End"), QStringLiteral("While(2)")}), 0);

    m_script = CScript();
    EXPECT_NE(Parse({QStringLiteral("While(2)"), QStringLiteral("End"), QStringLiteral("While(5)"),
                     QStringLiteral("End")}),
              0);
    EXPECT_EQ(m_script.m_nWhileRepeatCount, 5) << "the last While's count wins";
}

TEST_F(ParserTest, KeywordsInsideHttpCommands)
{
    // A query parameter named EndTime adds an End before the request and
    // unbalances the script.
    EXPECT_EQ(Parse({QStringLiteral("http://a/httpapi/x?EndTime=5")}), 0);
    EXPECT_EQ(Kinds(), QStringLiteral("E H"));

    m_script = CScript();
    m_logBox.SetWindowText(QString());
    EXPECT_NE(Parse({QStringLiteral("http://a/httpapi/Sleep?x=1")}), 0);
    EXPECT_EQ(Kinds(), QStringLiteral("H"));
    EXPECT_TRUE(LogTexts().contains(QString::fromUtf8(kSleepError)));
}

TEST_F(ParserTest, OneLineWithSeveralKeywordsGivesTheirRecordsInAFixedOrder)
{
    // Sleep, then While, then End, then the line's own record; the operand is
    // the first one on the line.
    EXPECT_NE(Parse({QStringLiteral("End While(4) Sleep(9)")}), 0);
    EXPECT_EQ(Kinds(), QStringLiteral("S4 W E -"));
}

TEST_F(ParserTest, KeywordsAreCaseSensitiveAndEmptyLinesGiveNothing)
{
    EXPECT_NE(Parse({QStringLiteral("sleep(100)"), QString(), QStringLiteral("   "), QStringLiteral("\t")}), 0);
    EXPECT_EQ(Kinds(), QStringLiteral("- - -"));
}

TEST_F(ParserTest, CheckAliveTargets)
{
    EXPECT_NE(Parse({QStringLiteral("CheckAlive( 192.168.10.100 : 80 )"), QStringLiteral("CheckAlive(192.168.10.100)"),
                     QStringLiteral("CheckAlive 10.0.0.1:80"), QStringLiteral(")CheckAlive(1.2.3.4:5)"),
                     QStringLiteral("CheckAlive(h:)"), QStringLiteral("CheckAlive(:9)"),
                     QStringLiteral("CheckAlive(h:65536)"), QStringLiteral("CheckAlive(h:8080abc)")}),
              0);
    EXPECT_EQ(Kinds(), QStringLiteral("C C"));
    const auto& cmds = m_script.m_vecCommands;
    EXPECT_EQ(cmds[0].m_checkAlive.m_strIP, QStringLiteral(" 192.168.10.100 "));
    EXPECT_EQ(cmds[0].m_checkAlive.m_strPort, QStringLiteral(" 80 "));
    EXPECT_EQ(cmds[1].m_checkAlive.m_strIP, QString());
    EXPECT_EQ(cmds[1].m_checkAlive.m_strPort, QStringLiteral("9"));
    // A wait on no port is skipped with a syntax error, as a bad Sleep is; a
    // CheckAlive without target writes nothing.
    EXPECT_EQ(LogTexts(), (QStringList{QStringLiteral("Collect connect info"),
                                       QStringLiteral("<Syntax error> Port must be a number from 1 to 65535 in line 5: "
                                                      "CheckAlive(h:)"),
                                       QStringLiteral("<Syntax error> Port must be a number from 1 to 65535 in line 7: "
                                                      "CheckAlive(h:65536)"),
                                       QStringLiteral("<Syntax error> Port must be a number from 1 to 65535 in line 8: "
                                                      "CheckAlive(h:8080abc)")}));
    EXPECT_EQ(m_parser.SyntaxErrors(), 3);
    EXPECT_TRUE(m_script.m_vecServers.empty());
}

TEST_F(ParserTest, ServersAreDistinctHostAndPortTexts)
{
    EXPECT_NE(Parse({QStringLiteral("http://A/httpapi/1"), QStringLiteral("http://B/httpapi/2"),
                     QStringLiteral("http://A/httpapi/3"), QStringLiteral("http://A:080/httpapi/4"),
                     QStringLiteral("http://a/httpapi/5"), QStringLiteral("http://A:80/httpapi/6")}),
              0);
    QStringList servers;
    for (const auto& server : m_script.m_vecServers)
        servers << server->m_strIP + QLatin1Char(':') + server->m_strPort;
    EXPECT_EQ(servers, (QStringList{QStringLiteral("A:80"), QStringLiteral("B:80"), QStringLiteral("A:080"),
                                    QStringLiteral("a:80")}));
}

TEST_F(ParserTest, ServersAreToldApartByScheme)
{
    EXPECT_NE(Parse({QStringLiteral("http://A:443/httpapi/1"), QStringLiteral("https://A/httpapi/2"),
                     QStringLiteral("https://A:443/httpapi/3"), QStringLiteral("https://A:80/httpapi/4"),
                     QStringLiteral("http://A/httpapi/5")}),
              0);
    EXPECT_TRUE(m_script.m_vecCommands[1].m_bHttps);
    EXPECT_FALSE(m_script.m_vecCommands[4].m_bHttps);
    QStringList servers;
    for (const auto& server : m_script.m_vecServers)
        servers << (server->m_bHttps ? QStringLiteral("https ") : QStringLiteral("http ")) + server->m_strIP +
                       QLatin1Char(':') + server->m_strPort;
    EXPECT_EQ(servers, (QStringList{QStringLiteral("http A:443"), QStringLiteral("https A:443"),
                                    QStringLiteral("https A:80"), QStringLiteral("http A:80")}));
}

TEST_F(ParserTest, ServerWithEmptyHostIsStillListed)
{
    EXPECT_NE(Parse({QStringLiteral("http://192.168.10.100httpapi"), QStringLiteral("http://h:/httpapi/x")}), 0);
    ASSERT_EQ(m_script.m_vecServers.size(), 2u);
    EXPECT_EQ(m_script.m_vecServers[0]->m_strIP, QString());
    EXPECT_EQ(m_script.m_vecServers[1]->m_strPort, QString());
}

TEST_F(ParserTest, BadPortsAreSyntaxErrorsAndTheirCommandsStayToBeReportedNotSent)
{
    EXPECT_NE(Parse({QStringLiteral("http://h:106203/httpapi/x"), QStringLiteral("http://u:secret@h:-24869/httpapi/y"),
                     QStringLiteral("http://h:8080/httpapi/z"), QStringLiteral("http://h:/httpapi/empty")}),
              0);
    EXPECT_EQ(Kinds(), QStringLiteral("H H H H"));
    EXPECT_EQ(m_script.m_vecCommands[1].m_userInfo.strPassword, QStringLiteral("secret"));
    EXPECT_EQ(m_script.m_vecServers.size(), 4u);
    EXPECT_EQ(LogTexts(), (QStringList{QStringLiteral("Collect connect info"),
                                       QStringLiteral("<Syntax error> Port must be a number from 1 to 65535 in line 1: "
                                                      "http://h:106203/httpapi/x"),
                                       QStringLiteral("<Syntax error> Port must be a number from 1 to 65535 in line 2: "
                                                      "http://u:***@h:-24869/httpapi/y"),
                                       QStringLiteral("<Syntax error> Port must be a number from 1 to 65535 in line 4: "
                                                      "http://h:/httpapi/empty")}));
    EXPECT_EQ(m_parser.SyntaxErrors(), 3);
}

// A line that is no HTTP command but whose first word looks like a request
// (a mistyped scheme, none, "httpapi" in other case) stays a no-op step and
// is told, counting for --strict; a comment or a keyword line is not.
TEST_F(ParserTest, MistypedRequestsStayNoOpsButAreTold)
{
    EXPECT_NE(Parse({QStringLiteral("htp://127.0.0.1/httpapi/x"), QStringLiteral("  127.0.0.1/httpapi/x"),
                     QStringLiteral("http://u:pw@h/HttpApi/x"), QStringLiteral("# see http://h/httpapi/x"),
                     QStringLiteral("sleep(100)"), QStringLiteral("http://h/httpapi/ok")}),
              0);
    EXPECT_EQ(Kinds(), QStringLiteral("- - - - - H"));
    const QString strWhat = QStringLiteral(" looks like a request but is not an HTTP command "
                                           "(http:// or https://, then a path with httpapi): ");
    EXPECT_EQ(LogTexts(), (QStringList{QStringLiteral("Collect connect info"),
                                       QStringLiteral("<Syntax error> Line 1") + strWhat +
                                           QStringLiteral("htp://127.0.0.1/httpapi/x"),
                                       QStringLiteral("<Syntax error> Line 2") + strWhat +
                                           QStringLiteral("  127.0.0.1/httpapi/x"),
                                       QStringLiteral("<Syntax error> Line 3") + strWhat +
                                           QStringLiteral("http://u:***@h/HttpApi/x")}));
    EXPECT_EQ(m_parser.SyntaxErrors(), 3);
    EXPECT_EQ(m_script.m_vecNotRequestLines, (std::vector<int>{1, 2, 3}));
}

TEST_F(ParserTest, LongLinesAreCutAt2048Characters)
{
    // The "End" at position 2048 and beyond is never seen.
    const QString strLine = QStringLiteral("http://h/httpapi/") + QString(2048 - 17, QLatin1Char('x')) +
                            QStringLiteral("End");
    ASSERT_NE(Parse({strLine}), 0);
    ASSERT_EQ(Kinds(), QStringLiteral("H"));
    EXPECT_EQ(m_script.m_vecCommands[0].m_strUri.size(), 2048 - 8);
}

TEST_F(ParserTest, EmptyBoxSucceedsWithNoRecords)
{
    EXPECT_NE(Parse({}), 0);
    EXPECT_TRUE(m_script.m_vecCommands.empty());
    EXPECT_EQ(LogTexts(), QStringList{QStringLiteral("Collect connect info")});
}

TEST(ReadOperand, TakesTheTextBetweenTheFirstParentheses)
{
    EXPECT_EQ(CScriptParser::ReadOperand(QStringLiteral("While(3)")), 3);
    EXPECT_EQ(CScriptParser::ReadOperand(QStringLiteral("4 2)x")), 42) << "no '(': the text before ')'";
    EXPECT_EQ(CScriptParser::ReadOperand(QStringLiteral("Sleep 7)")), 0) << "\"Sleep7\" is no number";
    EXPECT_EQ(CScriptParser::ReadOperand(QStringLiteral("While(3")), 0) << "no ')'";
    EXPECT_EQ(CScriptParser::ReadOperand(QStringLiteral(")5(")), 0) << "')' before '('";
    EXPECT_EQ(CScriptParser::ReadOperand(QStringLiteral("Sleep(\t9)")), 9) << "tabs stay and are white space";
    EXPECT_EQ(CScriptParser::ReadOperand(QStringLiteral("While(2)(7)")), 2);
}

}  // namespace
