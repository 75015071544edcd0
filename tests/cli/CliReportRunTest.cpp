#include "../LogText.h"
#include "../LoggedRequests.h"
#include "../tools/DevsimProcess.h"
#include "CliProcess.h"
#include "cli/CliExitCodes.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <QXmlStreamReader>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>

namespace {

QJsonObject ReadJson(const QString& strPath)
{
    QFile file(strPath);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << strPath.toStdString();
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    return doc.object();
}

// The run's log texts: stamps removed, the statistics table left out.
QStringList LogTexts(const QString& strOut)
{
    return WithoutStamps(strOut.section(QStringLiteral("\nStatistics (times in ms)"), 0, 0))
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// A JUnit test case as the report gives it.
struct CJUnitCase {
    QString strName, strClassname, strTime, strFailureType, strFailureMessage, strFailureText;
    bool operator==(const CJUnitCase& other) const
    {
        // The text is checked on its own.
        return strName == other.strName && strClassname == other.strClassname && strTime == other.strTime &&
               strFailureType == other.strFailureType && strFailureMessage == other.strFailureMessage;
    }
    friend void PrintTo(const CJUnitCase& c, std::ostream* os)
    {
        *os << '{' << c.strName.toStdString() << " | " << c.strClassname.toStdString() << " | "
            << c.strTime.toStdString() << " | " << c.strFailureType.toStdString() << " | "
            << c.strFailureMessage.toStdString() << '}';
    }
};

// Milliseconds as a JUnit report writes a time: 1234 -> "1.234".
QString JUnitSeconds(qint64 nMs)
{
    return QStringLiteral("%1.%2").arg(nMs / 1000).arg(nMs % 1000, 3, 10, QLatin1Char('0'));
}

// The test cases of a JUnit report; *pTests: its testsuite's tests count.
std::vector<CJUnitCase> ReadJUnitCases(const QString& strPath, QString* pTests = nullptr)
{
    QFile file(strPath);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << strPath.toStdString();
    QXmlStreamReader xml(&file);
    std::vector<CJUnitCase> cases;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QXmlStreamAttributes attrs = xml.attributes();
        if (xml.name() == QLatin1String("testsuite") && pTests) {
            *pTests = attrs.value("tests").toString();
        } else if (xml.name() == QLatin1String("testcase")) {
            cases.push_back({attrs.value("name").toString(), attrs.value("classname").toString(),
                             attrs.value("time").toString(), {}, {}, {}});
        } else if (xml.name() == QLatin1String("failure") && !cases.empty()) {
            cases.back().strFailureType = attrs.value("type").toString();
            cases.back().strFailureMessage = attrs.value("message").toString();
            cases.back().strFailureText = xml.readElementText();
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return cases;
}

// One URL's figures as the JSON report's stats give them, from logged requests.
QJsonObject Figures(const QString& strUrl, const std::vector<CLoggedRequest>& requests)
{
    std::map<QString, int> counts;
    std::vector<qint64> times;  // of the responses only
    for (const CLoggedRequest& r : requests) {
        ++counts[r.Outcome()];
        if (r.Outcome() == QLatin1String("ok") || r.Outcome() == QLatin1String("slow"))
            times.push_back(r.nTimeMs);
    }
    std::sort(times.begin(), times.end());
    const auto rank = [&](int nPercent) {
        return times.empty() ? QJsonValue() : QJsonValue(times[std::size_t((nPercent * times.size() + 99) / 100) - 1]);
    };
    qint64 nSum = 0;
    for (qint64 t : times)
        nSum += t;
    const int nErrors = counts["timeout"] + counts["failed"] + counts["not-sent"];
    return QJsonObject{{"url", strUrl},
                       {"count", int(requests.size())},
                       {"ok", counts["ok"]},
                       {"slow", counts["slow"]},
                       {"timeout", counts["timeout"]},
                       {"failed", counts["failed"]},
                       {"not_sent", counts["not-sent"]},
                       {"min_ms", times.empty() ? QJsonValue() : QJsonValue(times.front())},
                       {"median_ms", rank(50)},
                       {"p95_ms", rank(95)},
                       {"p99_ms", rank(99)},
                       {"max_ms", times.empty() ? QJsonValue() : QJsonValue(times.back())},
                       {"mean_ms", times.empty() ? QJsonValue() : QJsonValue(double(nSum) / double(times.size()))},
                       {"error_percent", 100.0 * nErrors / double(requests.size())}};
}

// A While against a quick and a slow device, then a closed port; stopped
// with Ctrl+C. The reports must say what the log says.
TEST(CliReports, SoakWithASlowDeviceAClosedPortAndAStop)
{
    devsimtest::Devsim quick;
    devsimtest::Devsim slow;
    ASSERT_TRUE(quick.Start({}));
    ASSERT_TRUE(slow.Start({QStringLiteral("--delay"), QStringLiteral("150")}));
    QTemporaryDir dir;
    const QString strQuick = QStringLiteral("http://127.0.0.1:%1/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0")
                                 .arg(quick.port());
    const QString strSlow = QStringLiteral("http://127.0.0.1:%1/httpapi/SendPTZ?action=sendptz&PTZ_MOVE=left")
                                .arg(slow.port());
    const QString strMissing =
        QStringLiteral("http://127.0.0.1:%1/httpapi/SendPTZ?action=sendptz&PTZ_PRESETGOTO=9").arg(quick.port());
    const QString strClosed = QStringLiteral("http://127.0.0.1:1/httpapi/x");
    const QStringList script{QStringLiteral("While(0)"), strQuick, strSlow, strMissing, QStringLiteral("End"), strClosed};
    const QString strJson = dir.filePath(QStringLiteral("run.json"));
    const QString strJUnit = dir.filePath(QStringLiteral("run.xml"));

    CliRun run;
    run.Start({WriteScript(dir, script.join(QLatin1Char('\n'))), QStringLiteral("--threshold"), QStringLiteral("100"),
               QStringLiteral("--json"), strJson, QStringLiteral("--junit"), strJUnit, QStringLiteral("--stats"),
               QStringLiteral("--fail-on-slow"), QStringLiteral("--fail-on-status")});
    ASSERT_TRUE(run.WaitForOutput(QStringLiteral("While Count : 3 "), 2));
    run.Interrupt();
    EXPECT_EQ(run.Finish(), kExitRequestFailed) << "a failed request wins over a slow one";

    const QStringList texts = LogTexts(run.m_strOut);
    const std::vector<CLoggedRequest> logged = ReadLoggedRequests(texts);
    ASSERT_GE(logged.size(), 7u);
    ASSERT_EQ(logged.back().strUrl, strClosed);

    const QJsonObject json = ReadJson(strJson);
    EXPECT_EQ(json["script"].toString(), QStringLiteral("script.cmf"));
    EXPECT_EQ(json["threshold_ms"].toInt(), 100);
    EXPECT_FALSE(json["partial"].toBool());
    EXPECT_TRUE(QDateTime::fromString(json["started_at"].toString(), Qt::ISODateWithMs).isValid());
    const QJsonArray requests = json["requests"].toArray();
    ASSERT_EQ(requests.size(), qsizetype(logged.size()));
    std::map<QString, std::vector<CLoggedRequest>> byUrl;
    int nPasses = 0;
    for (std::size_t i = 0; i < logged.size(); ++i) {
        const CLoggedRequest& r = logged[i];
        byUrl[r.strUrl].push_back(r);
        nPasses = std::max(nPasses, r.nPass);
        const QUrl url(r.strUrl);
        const bool bAnswered = r.Outcome() == QLatin1String("ok") || r.Outcome() == QLatin1String("slow");
        QJsonObject expected{{"index", int(i) + 1},
                                   {"pass", r.nPass},
                                   {"line", int(script.indexOf(r.strUrl)) + 1},
                                   {"url", r.strUrl},
                                   {"host", url.host()},
                                   {"port", url.port()},
                                   {"status", bAnswered ? QJsonValue(r.strUrl == strMissing ? 404 : 200) : QJsonValue()},
                                   {"time_ms", r.nTimeMs},
                                   {"outcome", r.Outcome()},
                                   // The fail-on rules: only a quick answer without an error status passes.
                                   {"verdict", r.Outcome() == QLatin1String("ok") && r.strUrl != strMissing ? "pass" : "fail"},
                                   {"reason", r.strUrl == strClosed ? QJsonValue("cannot connect (Connection refused)")
                                                                    : QJsonValue()}};
        // The microseconds come from the two clock readings the logged
        // milliseconds come from: they differ from them by less than 1 ms.
        const QJsonValue us = requests[qsizetype(i)].toObject()["time_us"];
        EXPECT_TRUE(us.isDouble()) << i;
        EXPECT_LT(std::abs(us.toInteger(-1) - 1000 * r.nTimeMs), 1000) << i;
        expected.insert("time_us", us);
        EXPECT_EQ(requests[qsizetype(i)].toObject(), expected) << i;
    }
    EXPECT_EQ(byUrl[strSlow].front().Outcome(), QStringLiteral("slow")) << "150 ms against a 100 ms threshold";
    EXPECT_EQ(byUrl[strClosed].front().Outcome(), QStringLiteral("failed"));

    const QJsonObject totals = json["totals"].toObject();
    EXPECT_EQ(totals["http_ms"].toInteger(), FigureMs(texts.filter(QStringLiteral("(Http api only)")).value(0)));
    EXPECT_EQ(totals["application_ms"].toInteger(), FigureMs(texts.filter(QStringLiteral("(Application)")).value(0)));
    EXPECT_EQ(totals["while_repeat"].toInt(), nPasses - 1) << "the Stop ends the last pass";
    EXPECT_TRUE(texts.contains(QStringLiteral("== While Repeat : %1 (Stopped by user) ").arg(nPasses - 1) +
                               QString(77, QLatin1Char('='))));
    EXPECT_TRUE(totals["stopped"].toBool());

    const QJsonArray stats = json["stats"].toArray();
    ASSERT_EQ(stats.size(), 4);
    const QString urls[] = {strQuick, strSlow, strMissing, strClosed};
    for (int i = 0; i < 4; ++i) {
        QJsonObject figures = stats[i].toObject();
        QJsonObject expected = Figures(urls[i], byUrl[urls[i]]);
        // The report rounds to three decimals; the log does not say when
        // each request started, so the rate is not compared.
        EXPECT_NEAR(figures.take("mean_ms").toDouble(), expected.take("mean_ms").toDouble(), 0.0005) << i;
        EXPECT_NEAR(figures.take("error_percent").toDouble(), expected.take("error_percent").toDouble(), 0.0005) << i;
        const QJsonValue rate = figures.take("requests_per_second");
        EXPECT_TRUE(rate.isNull() ? byUrl[urls[i]].size() == 1 : rate.toDouble() > 0) << i << " one quick request has no span";
        EXPECT_EQ(figures, expected) << i;
    }

    // One verdict: the exit code, the JSON, --stats and the last stderr line agree.
    std::map<QString, int> outcomes;
    for (const CLoggedRequest& r : logged)
        ++outcomes[r.Outcome()];
    const int nMissing = int(byUrl[strMissing].size());
    const int nFailing = int(logged.size()) - outcomes["ok"] + nMissing;
    ASSERT_EQ(byUrl[strMissing].front().Outcome(), QStringLiteral("ok")) << "a quick 404";
    EXPECT_EQ(json["verdict"].toString(), QStringLiteral("fail"));
    EXPECT_EQ(json["exit_code"].toInt(), kExitRequestFailed);
    EXPECT_EQ(json["failed_requests"].toInt(), nFailing);
    const QStringList out = run.m_strOut.trimmed().split(QLatin1Char('\n'));
    EXPECT_EQ(out.value(out.size() - 1),
              QStringLiteral("Verdict: fail (%1 of %2 requests failed (%3 unanswered, %4 slow, %5 with an error status); "
                             "first: ")
                      .arg(nFailing)
                      .arg(logged.size())
                      .arg(outcomes["failed"])
                      .arg(outcomes["slow"])
                      .arg(nMissing) +
                  out.value(out.size() - 1).section(QStringLiteral("; first: "), 1));
    // The table before it ends with the run's total.
    EXPECT_TRUE(out.value(out.size() - 2).endsWith(QStringLiteral("  Total")));
    EXPECT_EQ(out.value(out.size() - 2).simplified().section(QLatin1Char(' '), 0, 5),
              QStringLiteral("%1 %2 %3 %4 %5 %6")
                  .arg(logged.size())
                  .arg(outcomes["ok"])
                  .arg(outcomes["slow"])
                  .arg(outcomes["timeout"])
                  .arg(outcomes["failed"])
                  .arg(outcomes["not-sent"]));
    const QString strFirstSlow = QStringLiteral("%1 (slow)").arg(strSlow);
    EXPECT_TRUE(run.m_strErr.contains(QStringLiteral("velkor-cli: the run failed: %1 of %2 requests failed")
                                          .arg(nFailing)
                                          .arg(logged.size())))
        << run.m_strErr.toStdString();
    EXPECT_TRUE(run.m_strErr.contains(strFirstSlow)) << "the first failing requests are named";

    // JUnit: one testcase per script line, whatever the passes; with
    // --fail-on-slow a slow response fails its line too.
    QString strSuiteTests;
    const std::vector<CJUnitCase> cases = ReadJUnitCases(strJUnit, &strSuiteTests);
    EXPECT_EQ(strSuiteTests, QStringLiteral("4"));
    std::vector<CJUnitCase> expectedCases;
    for (const QString& strUrl : urls) {
        const std::vector<CLoggedRequest>& lineRequests = byUrl[strUrl];
        const QUrl url(strUrl);
        CJUnitCase expected;
        expected.strName = QStringLiteral("line %1: %2")
                               .arg(script.indexOf(strUrl) + 1)
                               .arg(strUrl.mid(strUrl.indexOf(QLatin1Char('/'), 8)));
        expected.strClassname = QStringLiteral("script.cmf.%1:%2").arg(url.host()).arg(url.port());
        qint64 nSumMs = 0;
        std::map<QString, int> failing;
        int nFailed = 0;
        for (const CLoggedRequest& r : lineRequests) {
            nSumMs += r.nTimeMs;
            if (r.Outcome() != QLatin1String("ok")) {
                ++failing[r.Outcome()];
                ++nFailed;
            } else if (strUrl == strMissing) {
                ++failing[QStringLiteral("status 404")];
                ++nFailed;
            }
        }
        expected.strTime = JUnitSeconds(nSumMs);
        if (nFailed > 0) {
            QStringList counts;
            for (const QString& strOutcome : {QStringLiteral("timeout"), QStringLiteral("failed"),
                                              QStringLiteral("not-sent"), QStringLiteral("slow"),
                                              QStringLiteral("status 404")}) {
                if (failing[strOutcome] > 0) {
                    counts << QStringLiteral("%1 %2").arg(failing[strOutcome]).arg(strOutcome);
                    if (expected.strFailureType.isEmpty())
                        expected.strFailureType = strOutcome.section(QLatin1Char(' '), 0, 0);
                }
            }
            expected.strFailureMessage = QStringLiteral("%1 of %2 %3 failed: %4")
                                             .arg(nFailed)
                                             .arg(lineRequests.size())
                                             .arg(lineRequests.size() == 1 ? QStringLiteral("request")
                                                                       : QStringLiteral("requests"),
                                                  counts.join(QStringLiteral(", ")));
        }
        expectedCases.push_back(expected);
    }
    EXPECT_EQ(cases, expectedCases);
    ASSERT_EQ(cases.size(), 4u);
    // The slow line lists its first five failing requests, then the rest's count.
    QStringList expectedSlowText;
    int nSlowFailed = 0;
    for (std::size_t i = 0; i < logged.size(); ++i) {
        const CLoggedRequest& r = logged[i];
        if (r.strUrl != strSlow || r.Outcome() == QLatin1String("ok"))
            continue;
        if (++nSlowFailed <= 5)
            expectedSlowText << QStringLiteral("pass %1, request %2: status 200, %3, %4 ms")
                                    .arg(r.nPass)
                                    .arg(i + 1)
                                    .arg(r.Outcome())
                                    .arg(r.nTimeMs);
    }
    if (nSlowFailed > 5)
        expectedSlowText << QStringLiteral("... and %1 more").arg(nSlowFailed - 5);
    EXPECT_EQ(cases[1].strFailureText, expectedSlowText.join(QLatin1Char('\n')));
    // The closed port's request, the last one, outside the While.
    EXPECT_TRUE(cases[3].strFailureText.startsWith(
        QStringLiteral("request %1: no status, failed, %2 ms").arg(logged.size()).arg(logged.back().nTimeMs)))
        << cases[3].strFailureText.toStdString();
}

// --junit-each-request: a testcase per request, named by its URL.
TEST(CliReports, JUnitEachRequest)
{
    devsimtest::Devsim device;
    ASSERT_TRUE(device.Start({}));
    QTemporaryDir dir;
    const QString strUrl =
        QStringLiteral("http://127.0.0.1:%1/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0").arg(device.port());
    const QString strJUnit = dir.filePath(QStringLiteral("each.xml"));
    CliRun run;
    run.Start({WriteScript(dir, QStringLiteral("While(3)\n%1\nEnd\n").arg(strUrl)), QStringLiteral("--threshold"),
               QStringLiteral("5000"), QStringLiteral("--junit"), strJUnit, QStringLiteral("--junit-each-request")});
    EXPECT_EQ(run.Finish(), kExitOk);
    const std::vector<CLoggedRequest> logged = ReadLoggedRequests(LogTexts(run.m_strOut));
    ASSERT_EQ(logged.size(), 3u);
    QString strTests;
    const std::vector<CJUnitCase> cases = ReadJUnitCases(strJUnit, &strTests);
    EXPECT_EQ(strTests, QStringLiteral("3"));
    std::vector<CJUnitCase> expected;
    for (const CLoggedRequest& r : logged)
        expected.push_back({strUrl, QStringLiteral("127.0.0.1:%1").arg(device.port()),
                            JUnitSeconds(r.nTimeMs), {}, {}, {}});
    EXPECT_EQ(cases, expected);
}

TEST(CliReports, SlowAndErrorStatusExitCodesAndAPartialReportAfterSigterm)
{
    devsimtest::Devsim slow;
    ASSERT_TRUE(slow.Start({QStringLiteral("--delay"), QStringLiteral("150")}));
    QTemporaryDir dir;
    // A preset that was never set: 404.
    const QString strMissing =
        QStringLiteral("http://127.0.0.1:%1/httpapi/SendPTZ?action=sendptz&PTZ_PRESETGOTO=9").arg(slow.port());
    const QString strScript = WriteScript(dir, strMissing);
    const QString strThreshold = QStringLiteral("--threshold");
    const struct {
        QStringList args;
        int nExit;
    } cases[] = {
        {{strThreshold, QStringLiteral("100")}, kExitOk},
        {{strThreshold, QStringLiteral("100"), QStringLiteral("--fail-on-slow")}, kExitSlow},
        {{strThreshold, QStringLiteral("5000"), QStringLiteral("--fail-on-slow")}, kExitOk},
        {{strThreshold, QStringLiteral("5000"), QStringLiteral("--fail-on-status")}, kExitErrorStatus},
        {{strThreshold, QStringLiteral("100"), QStringLiteral("--fail-on-status"), QStringLiteral("--fail-on-slow")},
         kExitSlow},
    };
    for (const auto& c : cases) {
        CliRun run;
        run.Start(QStringList{strScript} + c.args);
        EXPECT_EQ(run.Finish(), c.nExit) << c.args.join(QLatin1Char(' ')).toStdString();
    }

    // Ended by SIGTERM in a Sleep: the report is written, marked partial.
    const QString strJson = dir.filePath(QStringLiteral("cut.json"));
    CliRun cut;
    cut.Start({WriteScript(dir, strMissing + QStringLiteral("\nSleep(60000)\n")), QStringLiteral("--json"), strJson});
    ASSERT_TRUE(cut.WaitForOutput(QStringLiteral("Sleep start : 60000 ms")));
    QThread::msleep(100);
    cut.Signal(SIGTERM);
    EXPECT_EQ(cut.Finish(5000), kExitTerminated);
    const QJsonObject json = ReadJson(strJson);
    EXPECT_TRUE(json["partial"].toBool());
    const QJsonArray requests = json["requests"].toArray();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0].toObject()["status"].toInt(), 404);
    EXPECT_EQ(requests[0].toObject()["time_ms"].toInteger(),
              FigureMs(LogTexts(cut.m_strOut).filter(QStringLiteral("Response time")).value(0)));
}

}  // namespace
