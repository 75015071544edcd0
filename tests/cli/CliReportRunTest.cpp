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

// One URL's figures as the JSON report's stats give them, from logged requests.
QJsonObject Figures(const QString& strUrl, const std::vector<CLoggedRequest>& requests)
{
    std::map<QString, int> counts;
    std::vector<qint64> times;
    for (const CLoggedRequest& r : requests) {
        ++counts[r.Outcome()];
        if (r.bSent)
            times.push_back(r.nTimeMs);
    }
    std::sort(times.begin(), times.end());
    const auto rank = [&](int nPercent) {
        return times[std::size_t((nPercent * times.size() + 99) / 100) - 1];
    };
    qint64 nSum = 0;
    for (qint64 t : times)
        nSum += t;
    return QJsonObject{{"url", strUrl},
                       {"count", int(requests.size())},
                       {"ok", counts["ok"]},
                       {"slow", counts["slow"]},
                       {"timeout", counts["timeout"]},
                       {"failed", counts["failed"]},
                       {"not_sent", counts["not-sent"]},
                       {"min_ms", times.front()},
                       {"median_ms", rank(50)},
                       {"p95_ms", rank(95)},
                       {"max_ms", times.back()},
                       {"mean_ms", double(nSum) / double(times.size())}};
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
    const QString strClosed = QStringLiteral("http://127.0.0.1:1/httpapi/x");
    const QStringList script{QStringLiteral("While(0)"), strQuick, strSlow, QStringLiteral("End"), strClosed};
    const QString strJson = dir.filePath(QStringLiteral("run.json"));
    const QString strJUnit = dir.filePath(QStringLiteral("run.xml"));

    CliRun run;
    run.Start({WriteScript(dir, script.join(QLatin1Char('\n'))), QStringLiteral("--threshold"), QStringLiteral("100"),
               QStringLiteral("--json"), strJson, QStringLiteral("--junit"), strJUnit, QStringLiteral("--stats"),
               QStringLiteral("--fail-on-slow")});
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
        const QJsonObject expected{{"index", int(i) + 1},
                                   {"pass", r.nPass},
                                   {"line", int(script.indexOf(r.strUrl)) + 1},
                                   {"url", r.strUrl},
                                   {"host", url.host()},
                                   {"port", url.port()},
                                   {"status", bAnswered ? QJsonValue(200) : QJsonValue()},
                                   {"time_ms", r.nTimeMs},
                                   {"outcome", r.Outcome()}};
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
    ASSERT_EQ(stats.size(), 3);
    const QString urls[] = {strQuick, strSlow, strClosed};
    for (int i = 0; i < 3; ++i) {
        QJsonObject figures = stats[i].toObject();
        QJsonObject expected = Figures(urls[i], byUrl[urls[i]]);
        // The report rounds the mean to three decimals.
        EXPECT_NEAR(figures.take("mean_ms").toDouble(), expected.take("mean_ms").toDouble(), 0.0005) << i;
        EXPECT_EQ(figures, expected) << i;
    }
    // The table printed after the log ends with the run's total.
    EXPECT_TRUE(run.m_strOut.trimmed().endsWith(QStringLiteral("  total")));
    std::map<QString, int> outcomes;
    for (const CLoggedRequest& r : logged)
        ++outcomes[r.Outcome()];
    EXPECT_EQ(run.m_strOut.section(QLatin1Char('\n'), -2, -2).simplified().section(QLatin1Char(' '), 0, 5),
              QStringLiteral("%1 %2 %3 %4 %5 %6")
                  .arg(logged.size())
                  .arg(outcomes["ok"])
                  .arg(outcomes["slow"])
                  .arg(outcomes["timeout"])
                  .arg(outcomes["failed"])
                  .arg(outcomes["not-sent"]));

    // JUnit: one testcase per request; with --fail-on-slow a slow one fails too.
    QFile xmlFile(strJUnit);
    ASSERT_TRUE(xmlFile.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&xmlFile);
    QStringList cases;
    QStringList failures;
    QString strSuiteTests;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("testsuite"))
            strSuiteTests = xml.attributes().value("tests").toString();
        else if (xml.name() == QLatin1String("testcase"))
            cases << xml.attributes().value("name").toString() + QLatin1Char(' ') +
                         xml.attributes().value("classname").toString();
        else if (xml.name() == QLatin1String("failure"))
            failures << QString::number(cases.size()) + QLatin1Char(' ') + xml.attributes().value("type").toString();
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    QStringList expectedCases;
    QStringList expectedFailures;
    for (const CLoggedRequest& r : logged) {
        const QUrl url(r.strUrl);
        expectedCases << r.strUrl + QStringLiteral(" %1:%2").arg(url.host()).arg(url.port());
        if (r.Outcome() != QLatin1String("ok"))
            expectedFailures << QString::number(expectedCases.size()) + QLatin1Char(' ') + r.Outcome();
    }
    EXPECT_EQ(strSuiteTests, QString::number(logged.size()));
    EXPECT_EQ(cases, expectedCases);
    EXPECT_EQ(failures, expectedFailures);
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
