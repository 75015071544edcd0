#include "cli/CJUnitReport.h"
#include "cli/CJsonReport.h"

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
    r.outcome = outcome;
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
    return recorder.Snapshot();
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
    QString strName, strClassname, strTime, strFailureType, strFailureMessage;
    bool bFailure = false;
};

struct CXmlReport {
    std::map<QString, QString> suite;  // attributes of <testsuite>
    std::map<QString, QString> properties;
    std::vector<CXmlCase> vecCases;
    QString strSystemErr;
};

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
                                       attrs.value("time").toString(), {}, {}, false});
        } else if (strName == "failure" && strParent == "testcase") {
            report.vecCases.back().bFailure = true;
            report.vecCases.back().strFailureType = attrs.value("type").toString();
            report.vecCases.back().strFailureMessage = attrs.value("message").toString();
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
    EXPECT_EQ(first["outcome"].toString(), "ok");
    const QJsonObject odd = requests[1].toObject();
    EXPECT_EQ(odd["url"].toString(), kOdd);
    EXPECT_EQ(odd["outcome"].toString(), "slow");
    EXPECT_TRUE(requests[2].toObject()["status"].isNull());
    EXPECT_EQ(requests[2].toObject()["time_ms"].toInt(), 5000);
    EXPECT_EQ(requests[2].toObject()["outcome"].toString(), "timeout");
    EXPECT_EQ(requests[3].toObject()["outcome"].toString(), "failed");
    EXPECT_EQ(requests[3].toObject()["port"].toInt(), 443);
    EXPECT_EQ(requests[4].toObject()["outcome"].toString(), "not-sent");
    EXPECT_EQ(requests[4].toObject()["pass"].toInt(), 2);

    const QJsonObject totals = root["totals"].toObject();
    EXPECT_EQ(totals["http_ms"].toInt(), 5465);
    EXPECT_EQ(totals["application_ms"].toInt(), 6020);
    EXPECT_EQ(totals["while_repeat"].toInt(), 2);
    EXPECT_TRUE(totals["stopped"].toBool());

    const QJsonArray stats = root["stats"].toArray();
    ASSERT_EQ(stats.size(), 3);
    // /a: ok 12, timeout 5000, not sent; timed 12 5000: median rank 1, p95 rank 2.
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
    EXPECT_EQ(a["p95_ms"].toInt(), 5000);
    EXPECT_EQ(a["max_ms"].toInt(), 5000);
    EXPECT_DOUBLE_EQ(a["mean_ms"].toDouble(), 2506.0);
    EXPECT_EQ(stats[1].toObject()["url"].toString(), kOdd);
    EXPECT_EQ(stats[1].toObject()["slow"].toInt(), 1);
    EXPECT_EQ(stats[2].toObject()["failed"].toInt(), 1);
    EXPECT_EQ(stats[2].toObject()["median_ms"].toInt(), 3);
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
    const CRecordedRun run = SampleRun();
    ASSERT_TRUE(CJUnitReport::Save(m_dir.filePath("r.xml"), run, false));
    const QByteArray xml = ReadBack("r.xml");
    EXPECT_TRUE(xml.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
    const CXmlReport report = ParseJUnit(xml);

    EXPECT_EQ(report.suite.at("name"), "soak.txt");
    EXPECT_EQ(report.suite.at("tests"), "5");
    EXPECT_EQ(report.suite.at("failures"), "3");
    EXPECT_EQ(report.suite.at("errors"), "0");
    EXPECT_EQ(report.suite.at("time"), "6.020");
    EXPECT_EQ(report.suite.at("timestamp"), "2024-05-01T09:30:00");
    EXPECT_EQ(report.properties.at("partial"), "false");
    EXPECT_EQ(report.properties.at("threshold_ms"), "300");
    EXPECT_TRUE(report.strSystemErr.isEmpty());

    ASSERT_EQ(report.vecCases.size(), 5u);
    EXPECT_EQ(report.vecCases[0].strName, kA);
    EXPECT_EQ(report.vecCases[0].strClassname, "127.0.0.1:8080");
    EXPECT_EQ(report.vecCases[0].strTime, "0.012");
    EXPECT_FALSE(report.vecCases[0].bFailure);
    EXPECT_EQ(report.vecCases[1].strName, kOddInXml);
    EXPECT_EQ(report.vecCases[1].strClassname, "dev.local:81");
    EXPECT_EQ(report.vecCases[1].strTime, "0.450");
    EXPECT_FALSE(report.vecCases[1].bFailure);
    EXPECT_EQ(report.vecCases[2].strTime, "5.000");
    EXPECT_EQ(report.vecCases[2].strFailureType, "timeout");
    EXPECT_EQ(report.vecCases[2].strFailureMessage, "timeout after 5000 ms");
    EXPECT_EQ(report.vecCases[3].strClassname, "127.0.0.1:443");
    EXPECT_EQ(report.vecCases[3].strFailureType, "failed");
    EXPECT_EQ(report.vecCases[3].strFailureMessage, "failed after 3 ms");
    EXPECT_EQ(report.vecCases[4].strFailureType, "not-sent");
    EXPECT_EQ(report.vecCases[4].strFailureMessage, "not sent");

    // With fail-on-slow the slow request fails too.
    ASSERT_TRUE(CJUnitReport::Save(m_dir.filePath("r.xml"), run, true));
    const CXmlReport slow = ParseJUnit(ReadBack("r.xml"));
    EXPECT_EQ(slow.suite.at("failures"), "4");
    ASSERT_EQ(slow.vecCases.size(), 5u);
    EXPECT_EQ(slow.vecCases[1].strFailureType, "slow");
    EXPECT_EQ(slow.vecCases[1].strFailureMessage, "slow: 450 ms, threshold 300 ms");
    EXPECT_FALSE(slow.vecCases[0].bFailure);
}

TEST_F(ReportTest, JUnitMarksPartialRunsAndSaveFailsCleanly)
{
    const CXmlReport cut = [this] {
        EXPECT_TRUE(CJUnitReport::Save(m_dir.filePath("p.xml"), SampleRun(false), false));
        return ParseJUnit(ReadBack("p.xml"));
    }();
    EXPECT_EQ(cut.properties.at("partial"), "true");
    EXPECT_FALSE(cut.strSystemErr.isEmpty());
    EXPECT_EQ(cut.suite.at("time"), "5.465");  // the requests' sum: no end came
    EXPECT_EQ(cut.vecCases.size(), 5u);

    QString strError;
    EXPECT_FALSE(CJUnitReport::Save(m_dir.filePath("missing/r.xml"), SampleRun(), false, &strError));
    EXPECT_FALSE(strError.isEmpty());
    EXPECT_FALSE(CJsonReport::Save(m_dir.filePath("missing/r.json"), SampleRun(), "1", &strError));
    EXPECT_FALSE(QFile::exists(m_dir.filePath("missing/r.json")));
}
