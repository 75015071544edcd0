#include "../LogText.h"
#include "log/CLogWriter.h"
#include "platform/CMemoryTextBox.h"
#include "platform/CRunControlStates.h"
#include "script/CScriptParser.h"
#include "script/Placeholders.h"

#include <gtest/gtest.h>

namespace {

const QString kPosition = QStringLiteral("http://{{cam}}/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0");

struct CParsed {
    int nResult = 0;
    CScript script;
    QStringList log;  // without "Collect connect info"
};

CParsed Parse(const QStringList& lines)
{
    CParsed parsed;
    CMemoryTextBox box;
    box.SetWindowText(lines.join(QStringLiteral("\r\n")));
    CScriptParser parser(box, parsed.script);
    parsed.nResult = parser.ParseCommands();
    parsed.log = parser.LogTexts().mid(1);
    return parsed;
}

// The six lines of a position query, with "±" or "+-".
TEST(CheckLines, APositionQueryWithItsChecksAndCapture)
{
    for (const QString& strPlusMinus : {QStringLiteral("±"), QStringLiteral("+-")}) {
        const CParsed parsed = Parse({kPosition, QStringLiteral("  Expect status 200"),
                                      QStringLiteral("  Expect body contains \"pan=\""),
                                      QStringLiteral("  Expect field pan == 30 %1 1").arg(strPlusMinus),
                                      QStringLiteral("  Expect time < 250"), QStringLiteral("  Capture pan = field pan")});
        ASSERT_EQ(parsed.nResult, 1) << parsed.log.join(QLatin1Char('\n')).toStdString();
        ASSERT_EQ(parsed.script.m_vecCommands.size(), 1u) << "check lines make no steps";
        const auto& pChecks = parsed.script.m_vecCommands[0].m_pChecks;
        ASSERT_TRUE(pChecks);
        ASSERT_EQ(pChecks->checks.size(), 4u);
        const CCheck& field = pChecks->checks[2];
        EXPECT_EQ(field.subject, ECheckSubject::Field);
        EXPECT_EQ(field.strName, QStringLiteral("pan"));
        EXPECT_EQ(field.op, ECheckOp::Eq);
        EXPECT_TRUE(field.bNumeric);
        EXPECT_EQ(field.dValue, 30);
        EXPECT_EQ(field.dTolerance, 1);
        EXPECT_EQ(field.nLine, 4);
        EXPECT_EQ(pChecks->checks[1].strValue, QStringLiteral("pan="));
        EXPECT_EQ(pChecks->checks[3].dValue, 250);
        ASSERT_EQ(pChecks->captures.size(), 1u);
        EXPECT_EQ(pChecks->captures[0].strName, QStringLiteral("pan"));
        EXPECT_TRUE(parsed.log.isEmpty());
    }
}

// Check lines are read before the keyword scan: their words make no steps.
TEST(CheckLines, KeywordsInsideCheckLinesMakeNoSteps)
{
    const CParsed parsed = Parse({kPosition, QStringLiteral("Expect body not contains \"Sleep(0) While End\""),
                                  QStringLiteral("Expect header \"Endpoint\" == \"CheckAlive(a:1)\""),
                                  QStringLiteral("CheckAlive(127.0.0.1:80)"), QStringLiteral("Expect downtime < 60s"),
                                  QStringLiteral("Require p99 < 300 per url")});
    ASSERT_EQ(parsed.nResult, 1) << parsed.log.join(QLatin1Char('\n')).toStdString();
    ASSERT_EQ(parsed.script.m_vecCommands.size(), 2u);
    EXPECT_EQ(parsed.script.m_vecCommands[1].m_pChecks->checks[0].dValue, 60000);
    ASSERT_EQ(parsed.script.m_vecRequirements.size(), 1u);
    EXPECT_TRUE(parsed.script.m_vecRequirements[0].bPerUrl);
    EXPECT_TRUE(parsed.log.isEmpty());
}

struct CGoodLine {
    const char* szLine;
    ECheckSubject subject;
    ECheckOp op;
    bool bNot;
};

TEST(CheckLines, GoodLines)
{
    const CGoodLine kGood[] = {
        {"Expect status 2xx", ECheckSubject::Status, ECheckOp::Eq, false},
        {"Expect status in 200, 204 3xx", ECheckSubject::Status, ECheckOp::In, false},
        {"Expect status != 500", ECheckSubject::Status, ECheckOp::Ne, false},
        {"Expect header \"Content-Type\"", ECheckSubject::Header, ECheckOp::Exists, false},
        {"Expect header Server not matches \"^lighttpd\"", ECheckSubject::Header, ECheckOp::Matches, true},
        {"Expect body is empty", ECheckSubject::Body, ECheckOp::Empty, false},
        {"Expect body == \"OK\"", ECheckSubject::Body, ECheckOp::Eq, false},
        {"Expect body size <= 1024", ECheckSubject::BodySize, ECheckOp::Le, false},
        {"Expect body matches \"pan=\\d+\"", ECheckSubject::Body, ECheckOp::Matches, false},
        {"Expect field zoom exists", ECheckSubject::Field, ECheckOp::Exists, false},
        {"Expect field mode != \"auto\"", ECheckSubject::Field, ECheckOp::Ne, false},
        {"Expect json /ptz/pan >= -5.5", ECheckSubject::Json, ECheckOp::Ge, false},
        {"Expect time <= 1.5s", ECheckSubject::Time, ECheckOp::Le, false},
    };
    for (const CGoodLine& good : kGood) {
        const CCheckLineRead read = ReadCheckLine(QString::fromUtf8(good.szLine));
        EXPECT_EQ(read.kind, ECheckLine::Check) << good.szLine;
        EXPECT_EQ(read.strError, QString()) << good.szLine;
        EXPECT_EQ(read.check.subject, good.subject) << good.szLine;
        EXPECT_EQ(read.check.op, good.op) << good.szLine;
        EXPECT_EQ(read.check.bNot, good.bNot) << good.szLine;
    }
    EXPECT_EQ(ReadCheckLine(QStringLiteral("Expect time <= 1.5s")).check.dValue, 1500);
    EXPECT_EQ(ReadCheckLine(QStringLiteral("Expect status in 200, 204 3xx")).check.listValues,
              (QStringList{QStringLiteral("200"), QStringLiteral("204"), QStringLiteral("3xx")}));
    EXPECT_EQ(ReadCheckLine(QStringLiteral("Expecting status 200")).kind, ECheckLine::None) << "the first word counts";
    EXPECT_EQ(ReadCheckLine(QStringLiteral("http://a/httpapi/x?Expect=1")).kind, ECheckLine::None);
}

// Each bad line fails the parse with its own syntax error line.
TEST(CheckLines, BadLinesFailTheParseWithTheirReason)
{
    const struct {
        QStringList lines;
        const char* szError;
    } kBad[] = {
        {{QStringLiteral("Expect status 200")},
         "<Syntax error> Expect on line 1: no request or CheckAlive line above it"},
        {{kPosition, QStringLiteral("Sleep(10)"), QStringLiteral("Expect status 200")},
         "<Syntax error> Expect on line 3: no request or CheckAlive line above it"},
        {{kPosition, QStringLiteral("Expect colour == red")},
         "<Syntax error> Expect on line 2: unknown check 'colour' (status, header, body, field, json, time, downtime)"},
        {{kPosition, QStringLiteral("Expect field pan")}, "<Syntax error> Expect on line 2: a comparison is missing"},
        {{kPosition, QStringLiteral("Expect field pan =~ 3")},
         "<Syntax error> Expect on line 2: unknown comparison '=~'"},
        {{kPosition, QStringLiteral("Expect field pan == 30 ± x")},
         "<Syntax error> Expect on line 2: a tolerance needs a number of 0 or more after it"},
        {{kPosition, QStringLiteral("Expect field pan contains 3 ± 1")},
         "<Syntax error> Expect on line 2: a tolerance goes with == or != and a number"},
        {{kPosition, QStringLiteral("Expect status 2000")}, "<Syntax error> Expect on line 2: '2000' is no status (200, 2xx)"},
        {{kPosition, QStringLiteral("Expect time < soon")},
         "<Syntax error> Expect on line 2: 'soon' is no time (250, 250ms, 60s)"},
        {{kPosition, QStringLiteral("Expect body contains \"pan=")},
         "<Syntax error> Expect on line 2: a string is not closed with '\"'"},
        {{kPosition, QStringLiteral("Expect body matches \"(\"")},
         "<Syntax error> Expect on line 2: bad regular expression: missing closing parenthesis"},
        {{kPosition, QStringLiteral("Expect json pan == 1")},
         "<Syntax error> Expect on line 2: a JSON Pointer starts with '/': 'pan'"},
        {{kPosition, QStringLiteral("Expect status 200 please")}, "<Syntax error> Expect on line 2: unexpected 'please'"},
        {{kPosition, QStringLiteral("Expect downtime < 60s")},
         "<Syntax error> Expect on line 2: downtime is checked under a CheckAlive line"},
        {{QStringLiteral("CheckAlive(127.0.0.1:80)"), QStringLiteral("Expect status 200")},
         "<Syntax error> Expect on line 2: under a CheckAlive line only downtime is checked"},
        {{kPosition, QStringLiteral("Capture 1pan = field pan")},
         "<Syntax error> Capture on line 2: '1pan' is no name (a letter or '_', then letters, digits, '_' or '-')"},
        {{kPosition, QStringLiteral("Capture pan = cookie x")},
         "<Syntax error> Capture on line 2: unknown source 'cookie' (field, header, json, status, body matches)"},
        {{kPosition, QStringLiteral("Capture host = field h"), QStringLiteral("http://{{host}}/httpapi/x")},
         "<Syntax error> Capture on line 3: 'host' is used in a host or port; a capture goes into the request "
         "target only"},
        {{QStringLiteral("Require p98 < 300")},
         "<Syntax error> Require on line 1: unknown figure 'p98' (p50, p95, p99, max, errors, rps, count)"},
        {{QStringLiteral("Require p99 < 300 each")},
         "<Syntax error> Require on line 1: unexpected 'each' (end with 'per url' or 'for TEXT')"},
    };
    for (const auto& bad : kBad) {
        const CParsed parsed = Parse(bad.lines);
        EXPECT_EQ(parsed.nResult, 0) << bad.szError;
        EXPECT_EQ(parsed.log.join(QLatin1Char('\n')).toStdString(), bad.szError);
    }
}

TEST(CheckLines, RequireOptionText)
{
    CRequirement requirement;
    EXPECT_EQ(ReadRequirement(QStringLiteral("errors <= 1% for SendPTZ"), requirement), QString());
    EXPECT_EQ(requirement.metric, ERequireMetric::Errors);
    EXPECT_EQ(requirement.op, ECheckOp::Le);
    EXPECT_EQ(requirement.dValue, 1);
    EXPECT_EQ(requirement.strUrlPart, QStringLiteral("SendPTZ"));
    EXPECT_EQ(ReadRequirement(QStringLiteral("p95 < 1s"), requirement), QString());
    EXPECT_EQ(requirement.dValue, 1000);
    EXPECT_EQ(ReadRequirement(QStringLiteral("rps ~ 3"), requirement),
              QStringLiteral("unknown comparison '~' (==, !=, <, <=, >, >=)"));
}

// A capture's placeholder is left for the run; any other still needs a value.
TEST(CheckLines, CapturePlaceholdersWaitForTheRun)
{
    const SSubstitutedScript substituted =
        SubstituteScript({QStringLiteral("http://{{cam}}/httpapi/Move?pan={{pan}}&tilt={{tilt}}"),
                          QStringLiteral("Capture pan = field pan")},
                         {{QStringLiteral("cam"), QStringLiteral("127.0.0.1")}});
    EXPECT_EQ(substituted.lines[0], QStringLiteral("http://127.0.0.1/httpapi/Move?pan={{pan}}&tilt={{tilt}}"));
    EXPECT_EQ(substituted.errors,
              QStringList{QStringLiteral("<Syntax error> No value for the placeholder {{tilt}} in line 1: "
                                         "http://{{cam}}/httpapi/Move?pan={{pan}}&tilt={{tilt}}")});
}

}  // namespace
