// velkor-cli compare as a user runs it: two runs against the simulated
// device, the second made slower with --delay, and a table of command lines
// over reports written here (a known shift, damaged, newer, too large).

#include "../tools/DevsimProcess.h"
#include "CliProcess.h"
#include "cli/CliExitCodes.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// A run's report of n requests on line 2, response times spread over 200
// microseconds from dFromUs on.
QByteArray Report(double dFromUs, const QByteArray& version = "1.0.1.4")
{
    QByteArray requests;
    for (int i = 0; i < 400; ++i) {
        const auto nUs = std::int64_t(dFromUs + double(i * 37 % 200));
        requests += QByteArray(i ? "," : "") + "{\"index\": " + QByteArray::number(i + 1) +
                    ", \"line\": 2, \"url\": \"http://127.0.0.1:8080/httpapi/x\", \"time_ms\": " +
                    QByteArray::number(nUs / 1000) + ", \"time_us\": " + QByteArray::number(nUs) +
                    ", \"outcome\": \"ok\", \"verdict\": \"pass\"}";
    }
    return "{\"velkor_version\": \"" + version + "\", \"script\": \"ptz.cmf\", \"threshold_ms\": 300, \"requests\": [" +
           requests + "], \"verdict\": \"pass\", \"exit_code\": 0}";
}

QString Write(const QTemporaryDir& dir, const QString& strName, const QByteArray& content)
{
    QFile file(dir.filePath(strName));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
    return file.fileName();
}

TEST(CliCompare, BoundsExitCodesAndReportsThatCannotBeRead)
{
    QTemporaryDir dir;
    const QString strBase = Write(dir, QStringLiteral("base.json"), Report(1000));
    // p50 1.099 to 1.599 ms: +45.5%; every request takes 1 ms as time_ms
    // counts it, so requests/s stays.
    const QString strSlower = Write(dir, QStringLiteral("slower.json"), Report(1500));
    const QString strDamaged = Write(dir, QStringLiteral("damaged.json"), Report(1000).left(3000));
    const QString strNewer = Write(dir, QStringLiteral("newer.json"), Report(1000, "99.0"));
    // A damaged or hostile report's URL with a terminal's escape sequence and
    // a line break in it.
    const QString strHostile =
        Write(dir, QStringLiteral("hostile.json"), Report(1000).replace("httpapi/x", "httpapi/x\\u001b[2J\\nfake"));
    QFile huge(dir.filePath(QStringLiteral("huge.json")));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    ASSERT_TRUE(huge.resize(std::int64_t(3) << 30));  // sparse: no disk taken
    huge.close();
    const QString strJson = dir.filePath(QStringLiteral("compare.json"));
    const QString strJUnit = dir.filePath(QStringLiteral("compare.xml"));
    struct CCase {
        const char* pszCase;
        QStringList args;
        int nExit;
        QString strOut;  // in standard output
        QString strErr;  // standard error's last line, or in it
    };
    const CCase cases[] = {
        {"regression beyond 10%", {strBase, strSlower, "--fail-on-regression", "10%", "--json", strJson, "--junit", strJUnit},
         kExitRegression, "  change               +45.5%!    +42.1%!    +41.8%!   0.00 pt       0.0% \n",
         "velkor-cli: NEW is worse than BASE beyond --fail-on-regression: line 2: p50 +45.5% (bound 10%), p95 "
         "+42.1% (bound 10%), p99 +41.8% (bound 10%)\n"},
        {"within the bounds", {strBase, strSlower, "--fail-on-regression", "p50=50%,p95=50%", "--fail-on-regression",
                               "p99=45%,rps=0%"}, kExitOk, "3 real changes, 3 for the worse", ""},
        {"no bounds", {strBase, strSlower}, kExitOk, "  change               +45.5%*    +42.1%*    +41.8%*", ""},
        {"faster is no regression", {strSlower, strBase, "--fail-on-regression", "0%"}, kExitOk,
         "3 real changes, 0 for the worse", ""},
        {"itself", {strBase, strBase, "--fail-on-regression", "0%"}, kExitOk, "0 real changes", ""},
        {"control characters in the table, \\xNN in JUnit", {strBase, strHostile, "--junit", "-"}, kExitOk,
         "name=\"line 2: http://127.0.0.1:8080/httpapi/x\\x1b[2J&#10;fake\"/>",
         "\nline 2  http://127.0.0.1:8080/httpapi/x\u241b[2J\u240afake\n        "},
        {"damaged", {strBase, strDamaged}, kExitUsage, "",
         "velkor-cli: the report " + strDamaged + " cannot be compared: not JSON, or cut off (a string without its "
         "end at byte 3000)\n"},
        {"newer", {strNewer, strBase}, kExitUsage, "",
         "velkor-cli: the report " + strNewer + " cannot be compared: written by velkor-cli 99.0, a newer report "
         "format than this 1.0.1.4 reads\n"},
        {"huge", {strBase, huge.fileName()}, kExitUsage, "",
         "velkor-cli: the report " + huge.fileName() + " cannot be compared: 3.0 GB, more than the 2 GB a report "
         "may have\n"},
        {"one report", {strBase}, kExitUsage, "", "velkor-cli: compare takes two JSON reports"},
        {"a bound without %", {strBase, strSlower, "--fail-on-regression", "10"}, kExitUsage, "",
         "velkor-cli: --fail-on-regression takes N% or FIGURE=N%,... with FIGURE p50, p95, p99, errors or rps, "
         "not '10'\n"},
        {"confidence", {strBase, strSlower, "--confidence", "40%"}, kExitUsage, "",
         "velkor-cli: --confidence takes a level of 50% to 99.999%, not '40%'\n"},
    };
    for (const CCase& c : cases) {
        CliRun compare;
        compare.StartCommand(QStringLiteral("compare"), c.args);
        EXPECT_EQ(compare.Finish(), c.nExit) << c.pszCase << ": " << compare.m_strErr.toStdString();
        EXPECT_TRUE(compare.m_strOut.contains(c.strOut)) << c.pszCase << ":\n" << compare.m_strOut.toStdString();
        EXPECT_TRUE(c.strErr.endsWith(QLatin1Char('\n')) ? compare.m_strErr.endsWith(c.strErr)
                                                          : compare.m_strErr.contains(c.strErr))
            << c.pszCase << ": " << compare.m_strErr.toStdString();
    }
    // The first case's reports say what its exit code said.
    QFile junit(strJUnit);
    ASSERT_TRUE(junit.open(QIODevice::ReadOnly));
    const QByteArray xml = junit.readAll();
    EXPECT_TRUE(xml.contains("<testsuite name=\"compare " + QFile::encodeName(strBase) + " " +
                             QFile::encodeName(strSlower) + "\" tests=\"1\" failures=\"1\"")) << xml.constData();
    EXPECT_TRUE(xml.contains("<testcase classname=\"compare\" name=\"line 2: http://127.0.0.1:8080/httpapi/x\">\n"
                             "      <failure message=\"real regression: p50 +45.5% (bound 10%), p95 +42.1% (bound 10%), "
                             "p99 +41.8% (bound 10%)\"/>"))
        << xml.constData();
    QFile file(strJson);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonObject json = QJsonDocument::fromJson(file.readAll()).object();
    EXPECT_EQ(json.value(QLatin1String("result")).toString(), QStringLiteral("fail"));
    EXPECT_EQ(json.value(QLatin1String("exit_code")).toInt(), int(kExitRegression));
    const QJsonObject p50 = json.value(QLatin1String("rows")).toArray().at(0).toObject().value(QLatin1String("p50_ms")).toObject();
    EXPECT_EQ(p50.value(QLatin1String("base")).toDouble(), 1.099);
    EXPECT_EQ(p50.value(QLatin1String("new")).toDouble(), 1.599);
    EXPECT_NEAR(p50.value(QLatin1String("change")).toDouble(), 100.0 * 0.5 / 1.099, 1e-9);
    EXPECT_TRUE(p50.value(QLatin1String("real")).toBool());
    EXPECT_TRUE(p50.value(QLatin1String("regression")).toBool());
}

// Two real runs of one script against the simulated device, the second 50 ms
// slower per answer: compare finds it and fails on it, and its HTML page
// draws the two runs' times over each other.
TEST(CliCompare, TwoRunsAgainstTheSimulatedDevice)
{
    devsimtest::Devsim quick;
    devsimtest::Devsim slow;
    ASSERT_TRUE(quick.Start({}));
    ASSERT_TRUE(slow.Start({QStringLiteral("--delay"), QStringLiteral("50")}));
    QTemporaryDir dir;
    const auto run = [&dir](quint16 nPort, const QString& strJson) {
        // The same script for both runs: the port comes from a variable.
        CliRun cli;
        cli.Start({WriteScript(dir, QStringLiteral("While(40)\nhttp://127.0.0.1:{{port}}/httpapi/SendPTZ?action=sendptz"
                                                   "&PTZ_GETPOSITION=0\nEnd\n")),
                   QStringLiteral("--variable"), QStringLiteral("port=%1").arg(nPort), QStringLiteral("--quiet"),
                   QStringLiteral("--json"), dir.filePath(strJson)});
        EXPECT_EQ(cli.Finish(), kExitOk) << cli.m_strErr.toStdString();
        return dir.filePath(strJson);
    };
    const QString strBase = run(quick.port(), QStringLiteral("base.json"));
    const QString strNew = run(slow.port(), QStringLiteral("new.json"));
    const QString strHtml = dir.filePath(QStringLiteral("compare.html"));
    CliRun compare;
    compare.StartCommand(QStringLiteral("compare"), {strBase, strNew, QStringLiteral("--fail-on-regression"),
                                                     QStringLiteral("p50=100%"), QStringLiteral("--html"), strHtml});
    EXPECT_EQ(compare.Finish(), kExitRegression) << compare.m_strOut.toStdString();
    EXPECT_TRUE(compare.m_strOut.contains(QStringLiteral("  BASE           40"))) << compare.m_strOut.toStdString();
    EXPECT_TRUE(compare.m_strErr.startsWith(
        QStringLiteral("velkor-cli: NEW is worse than BASE beyond --fail-on-regression: line 2: p50 +")))
        << compare.m_strErr.toStdString();
    QFile html(strHtml);
    ASSERT_TRUE(html.open(QIODevice::ReadOnly));
    const QByteArray page = html.readAll();
    EXPECT_TRUE(page.contains("<span class=\"verdict fail\" id=\"result\">fail</span>"));
    EXPECT_EQ(page.count("<polyline class=\"new\""), 1);  // NEW drawn over BASE for the one line
}

}  // namespace
