#include "report/CJUnitReport.h"
#include "report/CJsonReport.h"
#include "engine/CRunStatistics.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QXmlStreamReader>

#include <algorithm>
#include <map>

namespace {

using O = ERequestOutcome;

const QString kA = QStringLiteral("http://127.0.0.1:8080/a");
// An odd URL: markup characters, a quote, non-ASCII and a control character.
const QString kOdd = QString::fromUtf8("http://dev.local:81/q?a=1&b=<x>\"caf\xC3\xA9\x01");
const QString kOddInXml = QString::fromUtf8("http://dev.local:81/q?a=1&b=<x>\"caf\xC3\xA9\\x01");
const QString kTls = QStringLiteral("https://127.0.0.1:443/b");

CRequestResult Result(int nIndex, int nPass, int nLine, const QString& strUrl, const QString& strHost,
                      const QString& strPort, int nStatus, std::int64_t nTimeMs, O outcome)
{
    CRequestResult r;
    r.nIndex = nIndex;
    r.nPass = nPass;
    r.nLine = nLine;
    r.strUrl = strUrl;
    r.strHost = strHost;
    r.strPort = strPort;
    r.nStatus = nStatus;
    r.nTimeMs = nTimeMs;
    r.nTimeUs = outcome == O::NotSent ? 0 : nTimeMs * 1000 + 345;
    r.outcome = outcome;
    r.bPass = outcome == O::Ok || outcome == O::Slow;  // the default rules
    if (outcome == O::Failed)
        r.strReason = QStringLiteral("response cut short (3 of 10 body bytes)");
    return r;
}

// Two While passes: ok, slow, timeout, failed, not sent; the run ends with a Stop.
// bEnd false: the run's end never came; bComplete false: it was cut short.
CRecordedRun SampleRun(bool bEnd = true, bool bComplete = true)
{
    CRunRecorder recorder;
    CRunStartInfo start;
    start.strScript = QStringLiteral("soak.txt");
    start.startedAt = QDateTime(QDate(2024, 5, 1), QTime(9, 30, 0, 250), QTimeZone(2 * 3600));
    start.nThresholdMs = 300;
    recorder.OnRunStart(start);
    recorder.OnRequest(Result(1, 1, 3, kA, "127.0.0.1", "8080", 200, 12, O::Ok));
    recorder.OnRequest(Result(2, 1, 4, kOdd, "dev.local", "81", 200, 450, O::Slow));
    recorder.OnRequest(Result(3, 2, 3, kA, "127.0.0.1", "8080", -1, 5000, O::Timeout));
    recorder.OnRequest(Result(4, 2, 5, kTls, "127.0.0.1", "443", -1, 3, O::Failed));
    recorder.OnRequest(Result(5, 2, 3, kA, "127.0.0.1", "8080", -1, 0, O::NotSent));
    if (bEnd) {
        CRunEndInfo end;
        end.nHttpMs = 5465;
        end.nApplicationMs = 6020;
        end.nWhileRepeat = 2;
        end.bStopped = true;
        end.bComplete = bComplete;
        recorder.OnRunEnd(end);
    }
    CRecordedRun run = recorder.Snapshot();
    run.verdict.bPass = false;
    run.verdict.nFailed = 3;
    run.nExitCode = 3;
    return run;
}

class ReportTest : public ::testing::Test {
protected:
    QByteArray ReadBack(const QString& strName)
    {
        QFile file(m_dir.filePath(strName));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return file.readAll();
    }

    QJsonObject Json(const CRecordedRun& run)
    {
        QString strError;
        EXPECT_TRUE(CJsonReport::Save(m_dir.filePath("r.json"), run, QStringLiteral("1.2.3"), &strError)) << qPrintable(strError);
        const QByteArray json = ReadBack("r.json");
        // Strict readers refuse raw control characters inside strings.
        EXPECT_FALSE(std::any_of(json.begin(), json.end(), [](char c) { return c >= 0 && c < 0x20 && c != '\n'; }));
        QJsonParseError parseError;
        const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
        EXPECT_EQ(parseError.error, QJsonParseError::NoError) << qPrintable(parseError.errorString());
        return doc.object();
    }

    QTemporaryDir m_dir;
};

struct CXmlCase {
    QString strName, strClassname, strTime, strFailureType, strFailureMessage, strFailureText;
    bool bFailure = false;
};

struct CXmlReport {
    std::map<QString, QString> suite;  // attributes of <testsuite>
    std::map<QString, QString> properties;
    std::vector<CXmlCase> vecCases;
    QString strSystemErr;
};

// SampleRun's records as the JUnit report reads them: the request targets as
// typed, and the verdicts of the run's rules: the timeout, the failed request
// and the one not sent fail; the slow one only with bFailOnSlow.
CRecordedRun JUnitSample(bool bEnd = true, bool bFailOnSlow = false)
{
    CRecordedRun run = SampleRun(bEnd);
    for (CRecordedTarget& target : run.vecTargets)
        target.strTarget = target.strUrl.mid(target.strUrl.indexOf(QLatin1Char('/'), 8));
    run.start.bFailOnSlow = bFailOnSlow;
    const bool passes[] = {true, !bFailOnSlow, false, false, false};
    for (std::size_t i = 0; i < run.vecRequests.size(); ++i)
        run.vecRequests[i].bPass = passes[i];
    return run;
}

CXmlReport ParseJUnit(const QByteArray& xml)
{
    CXmlReport report;
    QXmlStreamReader reader(xml);
    QStringList stack;
    while (reader.readNext() != QXmlStreamReader::Invalid && !reader.atEnd()) {
        if (reader.isEndElement())
            stack.removeLast();
        if (!reader.isStartElement())
            continue;
        const QString strName = reader.name().toString();
        const QXmlStreamAttributes attrs = reader.attributes();
        const QString strParent = stack.isEmpty() ? QString() : stack.last();
        stack.append(strName);
        if (strName == "testsuite" && strParent == "testsuites") {
            for (const QXmlStreamAttribute& a : attrs)
                report.suite[a.name().toString()] = a.value().toString();
        } else if (strName == "property" && strParent == "properties") {
            report.properties[attrs.value("name").toString()] = attrs.value("value").toString();
        } else if (strName == "testcase" && strParent == "testsuite") {
            report.vecCases.push_back({attrs.value("name").toString(), attrs.value("classname").toString(),
                                       attrs.value("time").toString(), {}, {}, {}, false});
        } else if (strName == "failure" && strParent == "testcase") {
            report.vecCases.back().bFailure = true;
            report.vecCases.back().strFailureType = attrs.value("type").toString();
            report.vecCases.back().strFailureMessage = attrs.value("message").toString();
            report.vecCases.back().strFailureText = reader.readElementText();
            stack.removeLast();
        } else if (strName == "system-err" && strParent == "testsuite") {
            report.strSystemErr = reader.readElementText();
            stack.removeLast();
        }
    }
    EXPECT_FALSE(reader.hasError()) << qPrintable(reader.errorString());
    return report;
}

}  // namespace

TEST_F(ReportTest, JsonHoldsRequestsTotalsAndStatistics)
{
    const QJsonObject root = Json(SampleRun());
    EXPECT_EQ(root["velkor_version"].toString(), "1.2.3");
    EXPECT_EQ(root["script"].toString(), "soak.txt");
    EXPECT_EQ(root["started_at"].toString(), "2024-05-01T09:30:00.250+02:00");
    EXPECT_EQ(root["threshold_ms"].toInt(), 300);
    EXPECT_FALSE(root["partial"].toBool(true));

    const QJsonArray requests = root["requests"].toArray();
    ASSERT_EQ(requests.size(), 5);
    const QJsonObject first = requests[0].toObject();
    EXPECT_EQ(first["index"].toInt(), 1);
    EXPECT_EQ(first["pass"].toInt(), 1);
    EXPECT_EQ(first["line"].toInt(), 3);
    EXPECT_EQ(first["url"].toString(), kA);
    EXPECT_EQ(first["host"].toString(), "127.0.0.1");
    EXPECT_EQ(first["port"].toInt(), 8080);
    EXPECT_EQ(first["status"].toInt(), 200);
    EXPECT_EQ(first["time_ms"].toInt(), 12);
    EXPECT_EQ(first["time_us"].toInteger(), 12345);
    EXPECT_EQ(first["outcome"].toString(), "ok");
    const QJsonObject odd = requests[1].toObject();
    EXPECT_EQ(odd["url"].toString(), kOdd);
    EXPECT_EQ(odd["outcome"].toString(), "slow");
    EXPECT_TRUE(requests[2].toObject()["status"].isNull());
    EXPECT_EQ(requests[2].toObject()["time_ms"].toInt(), 5000);
    EXPECT_EQ(requests[2].toObject()["time_us"].toInteger(), 5000345);
    EXPECT_EQ(requests[4].toObject()["time_us"].toInteger(-1), 0);
    EXPECT_EQ(requests[2].toObject()["outcome"].toString(), "timeout");
    EXPECT_EQ(requests[3].toObject()["outcome"].toString(), "failed");
    EXPECT_EQ(requests[3].toObject()["port"].toInt(), 443);
    EXPECT_EQ(requests[3].toObject()["verdict"].toString(), "fail");
    EXPECT_EQ(requests[3].toObject()["reason"].toString(), "response cut short (3 of 10 body bytes)");
    EXPECT_EQ(requests[1].toObject()["verdict"].toString(), "pass");
    EXPECT_TRUE(requests[1].toObject()["reason"].isNull());
    EXPECT_EQ(requests[4].toObject()["outcome"].toString(), "not-sent");
    EXPECT_TRUE(requests[4].toObject()["port"].isNull()) << "a request not sent went to no port";
    EXPECT_EQ(requests[4].toObject()["pass"].toInt(), 2);

    const QJsonObject totals = root["totals"].toObject();
    EXPECT_EQ(totals["http_ms"].toInt(), 5465);
    EXPECT_EQ(totals["application_ms"].toInt(), 6020);
    EXPECT_EQ(totals["while_repeat"].toInt(), 2);
    EXPECT_TRUE(totals["stopped"].toBool());

    const QJsonArray stats = root["stats"].toArray();
    ASSERT_EQ(stats.size(), 3);
    // /a: ok 12, timeout 5000, not sent: one response, 12 ms; 2 of 3 unanswered.
    const QJsonObject a = stats[0].toObject();
    EXPECT_EQ(a["url"].toString(), kA);
    EXPECT_EQ(a["count"].toInt(), 3);
    EXPECT_EQ(a["ok"].toInt(), 1);
    EXPECT_EQ(a["slow"].toInt(), 0);
    EXPECT_EQ(a["timeout"].toInt(), 1);
    EXPECT_EQ(a["failed"].toInt(), 0);
    EXPECT_EQ(a["not_sent"].toInt(), 1);
    EXPECT_EQ(a["min_ms"].toInt(), 12);
    EXPECT_EQ(a["median_ms"].toInt(), 12);
    EXPECT_EQ(a["p95_ms"].toInt(), 12);
    EXPECT_EQ(a["p99_ms"].toInt(), 12);
    EXPECT_EQ(a["max_ms"].toInt(), 12);
    EXPECT_DOUBLE_EQ(a["mean_ms"].toDouble(), 12.0);
    EXPECT_NEAR(a["error_percent"].toDouble(), 66.667, 0.001);
    EXPECT_EQ(stats[1].toObject()["url"].toString(), kOdd);
    EXPECT_EQ(stats[1].toObject()["slow"].toInt(), 1);
    EXPECT_EQ(stats[2].toObject()["failed"].toInt(), 1);
    EXPECT_TRUE(stats[2].toObject()["median_ms"].isNull()) << "a failure is no 3 ms response";
    EXPECT_EQ(root["stats_total"].toObject()["count"].toInt(), 5);
    EXPECT_EQ(root["stats_total"].toObject()["max_ms"].toInt(), 450);

    // The run's verdict as the runner filled it in.
    EXPECT_EQ(root["verdict"].toString(), "fail");
    EXPECT_EQ(root["exit_code"].toInt(), 3);
    EXPECT_EQ(root["failed_requests"].toInt(), 3);
}

TEST_F(ReportTest, JsonMarksPartialRuns)
{
    const QJsonObject cut = Json(SampleRun(true, false));
    EXPECT_TRUE(cut["partial"].toBool());
    EXPECT_EQ(cut["totals"].toObject()["application_ms"].toInt(), 6020);

    const QJsonObject noEnd = Json(SampleRun(false));
    EXPECT_TRUE(noEnd["partial"].toBool());
    EXPECT_EQ(noEnd["requests"].toArray().size(), 5);
    EXPECT_TRUE(noEnd["totals"].toObject()["application_ms"].isNull());
    EXPECT_TRUE(noEnd["totals"].toObject()["while_repeat"].isNull());
}

TEST_F(ReportTest, JUnitLoadsAsCiReadersExpect)
{
    const CRecordedRun run = JUnitSample();
    ASSERT_TRUE(CJUnitReport::Save(m_dir.filePath("r.xml"), run, CJUnitReport::ECases::PerLine));
    const QByteArray xml = ReadBack("r.xml");
    EXPECT_TRUE(xml.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
    const CXmlReport report = ParseJUnit(xml);

    // One case per script line: line 3 (three passes), line 4, line 5.
    EXPECT_EQ(report.suite.at("name"), "soak.txt");
    EXPECT_EQ(report.suite.at("tests"), "3");
    EXPECT_EQ(report.suite.at("failures"), "2");
    EXPECT_EQ(report.suite.at("errors"), "0");
    EXPECT_EQ(report.suite.at("skipped"), "0");
    EXPECT_EQ(report.suite.at("time"), "6.020");
    EXPECT_EQ(report.suite.at("timestamp"), "2024-05-01T09:30:00");
    EXPECT_EQ(report.properties.at("partial"), "false");
    EXPECT_EQ(report.properties.at("stopped"), "true");
    EXPECT_EQ(report.properties.at("threshold_ms"), "300");
    EXPECT_EQ(report.properties.at("while_repeat"), "2");
    EXPECT_TRUE(report.strSystemErr.isEmpty());

    ASSERT_EQ(report.vecCases.size(), 3u);
    EXPECT_EQ(report.vecCases[0].strName, "line 3: /a");
    EXPECT_EQ(report.vecCases[0].strClassname, "soak.txt.127.0.0.1:8080");
    EXPECT_EQ(report.vecCases[0].strTime, "5.012");  // 12 + 5000 + 0
    EXPECT_EQ(report.vecCases[0].strFailureType, "timeout");
    EXPECT_EQ(report.vecCases[0].strFailureMessage, "2 of 3 requests failed: 1 timeout, 1 not-sent");
    EXPECT_EQ(report.vecCases[0].strFailureText, "pass 2, request 3: no status, timeout, 5000 ms\n"
                                                 "pass 2, request 5: no status, not-sent, 0 ms");
    // The markup, the quote and the non-ASCII text are escaped and read back;
    // the control character is written as \x01.
    EXPECT_EQ(report.vecCases[1].strName, "line 4: " + kOddInXml.mid(kOddInXml.indexOf('/', 8)));
    EXPECT_EQ(report.vecCases[1].strClassname, "soak.txt.dev.local:81");
    EXPECT_EQ(report.vecCases[1].strTime, "0.450");
    EXPECT_FALSE(report.vecCases[1].bFailure);
    EXPECT_EQ(report.vecCases[2].strName, "line 5: /b");
    EXPECT_EQ(report.vecCases[2].strClassname, "soak.txt.127.0.0.1:443");
    EXPECT_EQ(report.vecCases[2].strTime, "0.003");
    EXPECT_EQ(report.vecCases[2].strFailureType, "failed");
    EXPECT_EQ(report.vecCases[2].strFailureMessage, "1 of 1 request failed: 1 failed");

    // When slow responses fail, the slow request's line fails too.
    ASSERT_TRUE(CJUnitReport::Save(m_dir.filePath("r.xml"), JUnitSample(true, true), CJUnitReport::ECases::PerLine));
    const CXmlReport slow = ParseJUnit(ReadBack("r.xml"));
    EXPECT_EQ(slow.suite.at("failures"), "3");
    ASSERT_EQ(slow.vecCases.size(), 3u);
    EXPECT_EQ(slow.vecCases[1].strFailureType, "slow");
    EXPECT_EQ(slow.vecCases[1].strFailureMessage, "1 of 1 request failed: 1 slow");
    EXPECT_EQ(slow.vecCases[1].strFailureText, "pass 1, request 2: status 200, slow, 450 ms");
}

TEST_F(ReportTest, JUnitEachRequestKeepsACasePerRequest)
{
    ASSERT_TRUE(CJUnitReport::Save(m_dir.filePath("r.xml"), JUnitSample(), CJUnitReport::ECases::PerRequest));
    const CXmlReport report = ParseJUnit(ReadBack("r.xml"));
    EXPECT_EQ(report.suite.at("tests"), "5");
    EXPECT_EQ(report.suite.at("failures"), "3");
    EXPECT_EQ(report.suite.at("time"), "6.020");
    ASSERT_EQ(report.vecCases.size(), 5u);
    EXPECT_EQ(report.vecCases[0].strName, kA);
    EXPECT_EQ(report.vecCases[0].strClassname, "127.0.0.1:8080");
    EXPECT_EQ(report.vecCases[0].strTime, "0.012");
    EXPECT_FALSE(report.vecCases[0].bFailure);
    EXPECT_EQ(report.vecCases[1].strName, kOddInXml);
    EXPECT_EQ(report.vecCases[1].strClassname, "dev.local:81");
    EXPECT_EQ(report.vecCases[1].strTime, "0.450");
    EXPECT_FALSE(report.vecCases[1].bFailure) << "slow, but slow responses do not fail this run";
    EXPECT_EQ(report.vecCases[2].strTime, "5.000");
    EXPECT_EQ(report.vecCases[2].strFailureType, "timeout");
    EXPECT_EQ(report.vecCases[2].strFailureMessage, "timeout after 5000 ms");
    EXPECT_EQ(report.vecCases[2].strFailureText, "request 3, pass 2, line 3, " + kA + ", no status, 5000 ms");
    EXPECT_EQ(report.vecCases[3].strClassname, "127.0.0.1:443");
    EXPECT_EQ(report.vecCases[3].strFailureType, "failed");
    EXPECT_EQ(report.vecCases[3].strFailureMessage, "failed after 3 ms");
    EXPECT_EQ(report.vecCases[4].strFailureType, "not-sent");
    EXPECT_EQ(report.vecCases[4].strFailureMessage, "not sent");

    ASSERT_TRUE(CJUnitReport::Save(m_dir.filePath("r.xml"), JUnitSample(true, true), CJUnitReport::ECases::PerRequest));
    const CXmlReport slow = ParseJUnit(ReadBack("r.xml"));
    EXPECT_EQ(slow.suite.at("failures"), "4");
    ASSERT_EQ(slow.vecCases.size(), 5u);
    EXPECT_EQ(slow.vecCases[1].strFailureType, "slow");
    EXPECT_EQ(slow.vecCases[1].strFailureMessage, "slow: 450 ms, threshold 300 ms");
    EXPECT_FALSE(slow.vecCases[0].bFailure);
}

// A run recorded by hand: a While of three passes over two lines of one
// camera; the PTZ line timed out in pass 2, the other line always answered.
CRecordedRun TwoLineRun()
{
    CRecordedRun run;
    run.bStarted = true;
    run.start.strScript = QStringLiteral("demo.cmf");
    run.start.startedAt = QDateTime(QDate(2024, 5, 1), QTime(9, 30), QTimeZone(2 * 3600));
    run.start.nThresholdMs = 300;
    const QString strMove = QStringLiteral("/httpapi/SendPTZ?action=sendptz&PTZ_MOVE=left");
    const QString strName = QStringLiteral("/httpapi/ReadParam?action=readparam&PRODUCT_NAME");
    run.vecTargets = {{"http://cam-01:80" + strMove, "http", "cam-01", "80", strMove},
                      {"http://cam-01:80" + strName, "http", "cam-01", "80", strName}};
    run.vecReasons = {QStringLiteral("no more data for 5 s (status line incomplete)")};
    const auto request = [&run](int nPass, int nLine, std::uint32_t nTarget, int nStatus, std::int64_t nTimeMs,
                                O outcome, bool bPass, std::int32_t nReason) {
        CRecordedRequest r;
        r.nIndex = int(run.vecRequests.size()) + 1;
        r.nPass = nPass;
        r.nLine = nLine;
        r.nStatus = nStatus;
        r.nTimeMs = nTimeMs;
        r.outcome = outcome;
        r.bPass = bPass;
        r.nTarget = nTarget;
        r.nReason = nReason;
        run.vecRequests.push_back(r);
    };
    request(1, 2, 0, 200, 20, O::Ok, true, -1);
    request(1, 3, 1, 200, 30, O::Ok, true, -1);
    request(2, 2, 0, -1, 5000, O::Timeout, false, 0);
    request(2, 3, 1, 200, 31, O::Ok, true, -1);
    request(3, 2, 0, 200, 22, O::Ok, true, -1);
    request(3, 3, 1, 200, 29, O::Ok, true, -1);
    run.bEnded = true;
    run.end.nHttpMs = 5132;
    run.end.nApplicationMs = 5200;
    run.end.nWhileRepeat = 3;
    run.end.bComplete = true;
    return run;
}

TEST_F(ReportTest, JUnitHasOneCasePerScriptLine)
{
    CRecordedRun run = TwoLineRun();
    ASSERT_TRUE(CJUnitReport::Save(m_dir.filePath("r.xml"), run, CJUnitReport::ECases::PerLine));
    const CXmlReport report = ParseJUnit(ReadBack("r.xml"));
    EXPECT_EQ(report.suite.at("tests"), "2");
    EXPECT_EQ(report.suite.at("failures"), "1");
    EXPECT_EQ(report.suite.at("time"), "5.200");
    EXPECT_EQ(report.properties.at("while_repeat"), "3");
    ASSERT_EQ(report.vecCases.size(), 2u);
    const CXmlCase& move = report.vecCases[0];
    EXPECT_EQ(move.strName, "line 2: /httpapi/SendPTZ?action=sendptz&PTZ_MOVE=left");
    EXPECT_EQ(move.strClassname, "demo.cmf.cam-01:80");
    EXPECT_EQ(move.strTime, "5.042");  // 20 + 5000 + 22
    EXPECT_TRUE(move.bFailure);
    EXPECT_EQ(move.strFailureType, "timeout");
    EXPECT_EQ(move.strFailureMessage, "1 of 3 requests failed: 1 timeout");
    EXPECT_EQ(move.strFailureText,
              "pass 2, request 3: no status, timeout, 5000 ms - no more data for 5 s (status line incomplete)");
    const CXmlCase& name = report.vecCases[1];
    EXPECT_EQ(name.strName, "line 3: /httpapi/ReadParam?action=readparam&PRODUCT_NAME");
    EXPECT_EQ(name.strClassname, "demo.cmf.cam-01:80");
    EXPECT_EQ(name.strTime, "0.090");  // 30 + 31 + 29
    EXPECT_FALSE(name.bFailure);

    // Each request: six cases, the timeout's failure carries its reason.
    ASSERT_TRUE(CJUnitReport::Save(m_dir.filePath("r.xml"), run, CJUnitReport::ECases::PerRequest));
    const CXmlReport each = ParseJUnit(ReadBack("r.xml"));
    EXPECT_EQ(each.suite.at("tests"), "6");
    EXPECT_EQ(each.suite.at("failures"), "1");
    ASSERT_EQ(each.vecCases.size(), 6u);
    for (std::size_t i = 0; i < each.vecCases.size(); ++i) {
        EXPECT_EQ(each.vecCases[i].strName, run.vecTargets[i % 2].strUrl) << i;
        EXPECT_EQ(each.vecCases[i].strClassname, "cam-01:80") << i;
        EXPECT_EQ(each.vecCases[i].bFailure, i == 2) << i;
    }
    EXPECT_EQ(each.vecCases[2].strFailureMessage, "timeout after 5000 ms");
    EXPECT_EQ(each.vecCases[2].strFailureText,
              "request 3, pass 2, line 2, http://cam-01:80/httpapi/SendPTZ?action=sendptz&PTZ_MOVE=left, "
              "no status, 5000 ms\nreason: no more data for 5 s (status line incomplete)");

    // A typed script has no file name: the run is "velkor".
    run.start.strScript.clear();
    ASSERT_TRUE(CJUnitReport::Save(m_dir.filePath("r.xml"), run, CJUnitReport::ECases::PerLine));
    const CXmlReport typed = ParseJUnit(ReadBack("r.xml"));
    EXPECT_EQ(typed.suite.at("name"), "velkor");
    ASSERT_EQ(typed.vecCases.size(), 2u);
    EXPECT_EQ(typed.vecCases[0].strClassname, "velkor.cam-01:80");
}

TEST_F(ReportTest, JUnitLineFailureCountsEachCauseAndListsTheFirstFive)
{
    // One line, eight passes, with both fail-on rules: every cause once or
    // twice. A slow response with an error status counts as slow.
    CRecordedRun run = TwoLineRun();
    run.start.bFailOnSlow = true;
    run.start.bFailOnStatus = true;
    run.vecRequests.clear();
    const struct {
        int nStatus;
        std::int64_t nTimeMs;
        O outcome;
        bool bPass;
    } passes[] = {{200, 20, O::Ok, true},        {-1, 5000, O::Timeout, false}, {-1, 4, O::Failed, false},
                  {-1, 0, O::NotSent, false},    {200, 400, O::Slow, false},    {503, 15, O::Ok, false},
                  {-1, 5000, O::Timeout, false}, {404, 350, O::Slow, false}};
    for (const auto& p : passes) {
        CRecordedRequest r;
        r.nIndex = int(run.vecRequests.size()) + 1;
        r.nPass = r.nIndex;
        r.nLine = 2;
        r.nStatus = p.nStatus;
        r.nTimeMs = p.nTimeMs;
        r.outcome = p.outcome;
        r.bPass = p.bPass;
        r.nReason = p.outcome == O::Timeout ? 0 : -1;
        run.vecRequests.push_back(r);
    }
    ASSERT_TRUE(CJUnitReport::Save(m_dir.filePath("r.xml"), run, CJUnitReport::ECases::PerLine));
    const CXmlReport report = ParseJUnit(ReadBack("r.xml"));
    EXPECT_EQ(report.suite.at("tests"), "1");
    EXPECT_EQ(report.suite.at("failures"), "1");
    ASSERT_EQ(report.vecCases.size(), 1u);
    EXPECT_EQ(report.vecCases[0].strTime, "10.789");
    EXPECT_EQ(report.vecCases[0].strFailureType, "timeout");
    EXPECT_EQ(report.vecCases[0].strFailureMessage,
              "7 of 8 requests failed: 2 timeout, 1 failed, 1 not-sent, 2 slow, 1 status 503");
    EXPECT_EQ(report.vecCases[0].strFailureText,
              "pass 2, request 2: no status, timeout, 5000 ms - no more data for 5 s (status line incomplete)\n"
              "pass 3, request 3: no status, failed, 4 ms\n"
              "pass 4, request 4: no status, not-sent, 0 ms\n"
              "pass 5, request 5: status 200, slow, 400 ms\n"
              "pass 6, request 6: status 503, ok, 15 ms\n"
              "... and 2 more");

    // Outside a While a request has no pass; only the error status fails.
    run.start.bFailOnSlow = false;
    run.vecRequests = {run.vecRequests[5], run.vecRequests[7]};
    run.vecRequests[0].nPass = run.vecRequests[1].nPass = 0;
    ASSERT_TRUE(CJUnitReport::Save(m_dir.filePath("r.xml"), run, CJUnitReport::ECases::PerLine));
    const CXmlReport outside = ParseJUnit(ReadBack("r.xml"));
    ASSERT_EQ(outside.vecCases.size(), 1u);
    EXPECT_EQ(outside.vecCases[0].strFailureType, "status");
    EXPECT_EQ(outside.vecCases[0].strFailureMessage, "2 of 2 requests failed: 1 status 404, 1 status 503");
    EXPECT_EQ(outside.vecCases[0].strFailureText,
              "request 6: status 503, ok, 15 ms\nrequest 8: status 404, slow, 350 ms");
}

TEST_F(ReportTest, JUnitMarksPartialRunsAndSaveFailsCleanly)
{
    const CXmlReport cut = [this] {
        EXPECT_TRUE(CJUnitReport::Save(m_dir.filePath("p.xml"), JUnitSample(false), CJUnitReport::ECases::PerLine));
        return ParseJUnit(ReadBack("p.xml"));
    }();
    EXPECT_EQ(cut.properties.at("partial"), "true");
    EXPECT_EQ(cut.properties.count("while_repeat"), 0u);
    EXPECT_FALSE(cut.strSystemErr.isEmpty());
    EXPECT_EQ(cut.suite.at("time"), "5.465");  // the requests' sum: no end came
    EXPECT_EQ(cut.vecCases.size(), 3u);

    QString strError;
    EXPECT_FALSE(CJUnitReport::Save(m_dir.filePath("missing/r.xml"), JUnitSample(), CJUnitReport::ECases::PerLine,
                                    &strError));
    EXPECT_FALSE(strError.isEmpty());
    EXPECT_FALSE(CJsonReport::Save(m_dir.filePath("missing/r.json"), SampleRun(), "1", &strError));
    EXPECT_FALSE(QFile::exists(m_dir.filePath("missing/r.json")));
}

// CheckAlive waits: a "checkalive" array in JSON, a JUnit case per CheckAlive
// line that fails when a wait was stopped, and the downtimes per line.
TEST_F(ReportTest, CheckAliveWaitsInJsonJUnitAndStatistics)
{
    CRecordedRun run = JUnitSample();
    run.vecCheckAlives = {
        // index, pass, line, host, port, at, down, attempts, stopped
        {1, 1, 6, "127.0.0.1", "8080", 900, 2100, 3, false, 0, 0, {}},
        {2, 2, 6, "127.0.0.1", "8080", 4100, 5000, 6, true, 0, 0, {}, 5000321},
        {3, 2, 6, "127.0.0.1", "8080", 9900, 1000, 2, false, 0, 0, {}},
        {4, 0, 9, "dev.local", "81", 12000, 3000, 4, false, 0, 0, {}},
    };
    const QJsonArray alive = Json(run)["checkalive"].toArray();
    ASSERT_EQ(alive.size(), 4);
    const QJsonObject stopped = alive[1].toObject();
    EXPECT_EQ(stopped["kind"].toString(), "checkalive");
    EXPECT_EQ(stopped["index"].toInt(), 2);
    EXPECT_EQ(stopped["pass"].toInt(), 2);
    EXPECT_EQ(stopped["line"].toInt(), 6);
    EXPECT_EQ(stopped["host"].toString(), "127.0.0.1");
    EXPECT_EQ(stopped["port"].toInt(), 8080);
    EXPECT_EQ(stopped["at_ms"].toInt(), 4100);
    EXPECT_EQ(stopped["down_ms"].toInt(), 5000);
    EXPECT_EQ(stopped["down_us"].toInteger(), 5000321);
    EXPECT_EQ(stopped["attempts"].toInt(), 6);
    EXPECT_TRUE(stopped["stopped"].toBool());
    EXPECT_EQ(Json(SampleRun())["checkalive"].toArray().size(), 0);

    ASSERT_TRUE(CJUnitReport::Save(m_dir.filePath("r.xml"), run, CJUnitReport::ECases::PerLine));
    const CXmlReport report = ParseJUnit(ReadBack("r.xml"));
    EXPECT_EQ(report.suite.at("tests"), "5");  // three request lines, two CheckAlive lines
    EXPECT_EQ(report.suite.at("failures"), "3");
    ASSERT_EQ(report.vecCases.size(), 5u);
    const CXmlCase& line6 = report.vecCases[3];
    EXPECT_EQ(line6.strName, "line 6: CheckAlive(127.0.0.1:8080)");
    EXPECT_EQ(line6.strClassname, "soak.txt.127.0.0.1:8080");
    EXPECT_EQ(line6.strTime, "8.100");
    EXPECT_EQ(line6.strFailureType, "stopped");
    EXPECT_EQ(line6.strFailureMessage, "1 of 3 waits stopped before 127.0.0.1 came back");
    EXPECT_EQ(line6.strFailureText, "pass 2, wait 2: stopped after 5000 ms, 6 attempts");
    EXPECT_EQ(report.vecCases[4].strName, "line 9: CheckAlive(dev.local:81)");
    EXPECT_FALSE(report.vecCases[4].bFailure);

    // Downtimes of the waits that saw the device come back.
    const std::vector<CCheckAliveStatistics> lines = CheckAliveStatistics(run.vecCheckAlives);
    ASSERT_EQ(lines.size(), 2u);
    const struct {
        std::uint64_t nWaits, nStopped;
        std::int64_t nMin, nMedian, nMax;
    } expected[] = {{3, 1, 1000, 1000, 2100}, {1, 0, 3000, 3000, 3000}};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].nWaits, expected[i].nWaits) << i;
        EXPECT_EQ(lines[i].nStopped, expected[i].nStopped) << i;
        EXPECT_EQ(lines[i].nMinMs, expected[i].nMin) << i;
        EXPECT_EQ(lines[i].nMedianMs, expected[i].nMedian) << i;
        EXPECT_EQ(lines[i].nMaxMs, expected[i].nMax) << i;
    }
}
