// The HTML report as people see it: velkor-cli writes it from a real run
// against the simulated device, and a real browser (Chromium, headless)
// loads it. The page must raise no console message, and its tables must hold
// the run's own figures, as the JSON report of the same run gives them.
// Screenshots at a phone's and a desktop's width are left in the build
// folder to be looked at.

#include "CliProcess.h"
#include "../tools/DevsimProcess.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>

namespace {

struct CBrowserRun {
    int nExit = -1;
    QByteArray out;
    QByteArray err;
};

CBrowserRun RunBrowser(const QString& strBrowser, const QString& strProfile, const QStringList& args)
{
    QProcess browser;
    browser.start(strBrowser, QStringList{QStringLiteral("--headless"), QStringLiteral("--no-sandbox"),
                                          QStringLiteral("--disable-gpu"), QStringLiteral("--no-first-run"),
                                          QStringLiteral("--user-data-dir=") + strProfile,
                                          QStringLiteral("--enable-logging=stderr"), QStringLiteral("--v=0")} +
                                  args);
    CBrowserRun run;
    if (!browser.waitForFinished(60000)) {
        browser.kill();
        browser.waitForFinished();
        return run;
    }
    run.nExit = browser.exitCode();
    run.out = browser.readAllStandardOutput();
    run.err = browser.readAllStandardError();
    return run;
}

// A cell's text: its markup dropped, the entities a serialised DOM uses read.
QString CellText(QString strHtml)
{
    strHtml.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
    strHtml.replace(QStringLiteral("&lt;"), QStringLiteral("<"))
        .replace(QStringLiteral("&gt;"), QStringLiteral(">"))
        .replace(QStringLiteral("&quot;"), QStringLiteral("\""))
        .replace(QStringLiteral("&nbsp;"), QStringLiteral(" "))
        .replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    return strHtml.trimmed();
}

// The rows of the table with this id, as the browser left it: cell texts.
std::vector<QStringList> TableRows(const QString& strDom, const QString& strId)
{
    std::vector<QStringList> rows;
    const QRegularExpression table(QStringLiteral("<table[^>]*id=\"%1\"[^>]*>(.*?)</table>").arg(strId),
                                   QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = table.match(strDom);
    if (!match.hasMatch())
        return rows;
    const QRegularExpression body(QStringLiteral("<tbody>(.*)</tbody>"), QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpression row(QStringLiteral("<tr[^>]*>(.*?)</tr>"), QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpression cell(QStringLiteral("<td[^>]*>(.*?)</td>"), QRegularExpression::DotMatchesEverythingOption);
    const QString strBody = body.match(match.captured(1)).captured(1);
    for (auto r = row.globalMatch(strBody); r.hasNext();) {
        QStringList cells;
        const QString strRow = r.next().captured(1);
        for (auto c = cell.globalMatch(strRow); c.hasNext();)
            cells << CellText(c.next().captured(1));
        rows.push_back(cells);
    }
    return rows;
}

QString Figure(const QJsonValue& value)
{
    return value.isNull() ? QString() : QString::number(value.toInteger());
}

QString Browser()
{
    const QString strBrowser = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    return strBrowser.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("chromium-browser")) : strBrowser;
}

// The page as the browser left it, after its script ran; a console message
// fails the test.
QString LoadedPage(const QString& strBrowser, const QString& strProfile, const QString& strHtml)
{
    const CBrowserRun dom = RunBrowser(strBrowser, strProfile,
                                       {QStringLiteral("--dump-dom"), QUrl::fromLocalFile(strHtml).toString()});
    EXPECT_EQ(dom.nExit, 0) << dom.err.constData();
    for (const QByteArray& line : dom.err.split('\n'))
        EXPECT_FALSE(line.contains(":CONSOLE")) << "the page logged: " << line.constData();
    return QString::fromUtf8(dom.out);
}

#define SKIP_WITHOUT_BROWSER(strBrowser)                                                                        \
    if ((strBrowser).isEmpty())                                                                                 \
        GTEST_SKIP() << "Chromium is not installed (Debian package chromium); the HTML report is not checked in " \
                        "a browser";

TEST(HtmlReport, ABrowserShowsTheRunsOwnFiguresWithoutConsoleMessages)
{
    const QString strBrowser = Browser();
    SKIP_WITHOUT_BROWSER(strBrowser)

    devsimtest::Devsim device;
    ASSERT_TRUE(device.Start({QStringLiteral("--reboot-seconds"), QStringLiteral("1")}));
    const QString strBase = QStringLiteral("http://127.0.0.1:%1/httpapi/").arg(device.port());
    // A port nobody listens on: every request to it fails.
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const QString strClosed = QStringLiteral("http://127.0.0.1:%1/httpapi/none").arg(closed.serverPort());
    closed.close();

    QTemporaryDir dir;
    const QString strScript = WriteScript(
        dir, QStringLiteral("While(25)\n%1SendPTZ?action=sendptz&PTZ_GETPOSITION=0\n%1SendPTZ?action=sendptz&PTZ_MOVE=left\n"
                            "%2\nSleep(5)\nEnd\n%1SendReboot?action=reboot\nCheckAlive(127.0.0.1:%3)\n"
                            "%1SendPTZ?action=sendptz&PTZ_GETPOSITION=0\n")
                 .arg(strBase, strClosed)
                 .arg(device.port()));
    const QString strHtml = dir.filePath(QStringLiteral("run.html"));
    const QString strJson = dir.filePath(QStringLiteral("run.json"));
    CliRun run;
    run.Start({strScript, QStringLiteral("--html"), strHtml, QStringLiteral("--json"), strJson});
    ASSERT_EQ(run.Finish(60000), 3) << qPrintable(run.m_strErr);

    QFile jsonFile(strJson);
    ASSERT_TRUE(jsonFile.open(QIODevice::ReadOnly));
    const QJsonObject json = QJsonDocument::fromJson(jsonFile.readAll()).object();
    ASSERT_EQ(json[QStringLiteral("failed_requests")].toInt(), 25);

    const QString strProfile = dir.filePath(QStringLiteral("profile"));
    const QString strDom = LoadedPage(strBrowser, strProfile, strHtml);
    EXPECT_TRUE(strDom.contains(QStringLiteral("<span class=\"verdict fail\" id=\"verdict\">fail</span>")));
    EXPECT_EQ(strDom.count(QStringLiteral("<svg class=\"chart\"")), 2) << "the time chart and the histogram";

    // Statistics: a row per URL, then the total, with the JSON's figures.
    const std::vector<QStringList> stats = TableRows(strDom, QStringLiteral("stats"));
    const QJsonArray urls = json[QStringLiteral("stats")].toArray();
    ASSERT_EQ(stats.size(), std::size_t(urls.size() + 1));
    for (std::size_t i = 0; i < stats.size(); ++i) {
        const QJsonObject s = i < std::size_t(urls.size()) ? urls[qsizetype(i)].toObject()
                                                           : json[QStringLiteral("stats_total")].toObject();
        const QStringList& row = stats[i];
        ASSERT_EQ(row.size(), 15);
        EXPECT_EQ(row[0], i < std::size_t(urls.size()) ? s[QStringLiteral("url")].toString() : QStringLiteral("Total"));
        const QStringList expected{Figure(s[QStringLiteral("count")]),     Figure(s[QStringLiteral("ok")]),
                                   Figure(s[QStringLiteral("slow")]),      Figure(s[QStringLiteral("timeout")]),
                                   Figure(s[QStringLiteral("failed")]),    Figure(s[QStringLiteral("not_sent")]),
                                   Figure(s[QStringLiteral("min_ms")]),    Figure(s[QStringLiteral("median_ms")]),
                                   Figure(s[QStringLiteral("p95_ms")]),    Figure(s[QStringLiteral("p99_ms")]),
                                   Figure(s[QStringLiteral("max_ms")])};
        EXPECT_EQ(row.mid(1, 11), expected) << "row " << i;
    }
    EXPECT_EQ(stats.back()[1], QStringLiteral("77"));
    EXPECT_EQ(stats.back()[5], QStringLiteral("25"));

    // Every failure, each with its reason.
    const std::vector<QStringList> failures = TableRows(strDom, QStringLiteral("failed"));
    ASSERT_EQ(failures.size(), 25u);
    for (const QStringList& row : failures) {
        EXPECT_EQ(row[4], strClosed);
        EXPECT_EQ(row[7], QStringLiteral("failed"));
        EXPECT_EQ(row[8], QStringLiteral("cannot connect (Connection refused)"));
    }

    // Reboot times: the wait with the JSON's figures; the device was away
    // for its whole reboot second.
    const std::vector<QStringList> waits = TableRows(strDom, QStringLiteral("checkalive"));
    const QJsonArray alive = json[QStringLiteral("checkalive")].toArray();
    ASSERT_EQ(alive.size(), 1);
    ASSERT_EQ(waits.size(), 1u);
    const QJsonObject wait = alive[0].toObject();
    EXPECT_GE(wait[QStringLiteral("down_ms")].toInteger(), 900);
    EXPECT_EQ(waits[0].mid(4), (QStringList{QStringLiteral("127.0.0.1:%1").arg(device.port()),
                                            Figure(wait[QStringLiteral("down_ms")]),
                                            Figure(wait[QStringLiteral("attempts")]), QStringLiteral("back")}));
    EXPECT_EQ(strDom.count(QStringLiteral("<rect class=\"away\"")), 1) << "its band on the time chart";

    // For people to look at.
    const QDir shots(QStringLiteral(VELKOR_SCREENSHOT_DIR));
    shots.mkpath(QStringLiteral("."));
    for (const auto& [strName, strSize] : {std::pair{QStringLiteral("html-report-phone.png"), QStringLiteral("390,1800")},
                                           std::pair{QStringLiteral("html-report-desktop.png"), QStringLiteral("1920,1800")}}) {
        const QString strShot = shots.filePath(strName);
        QFile::remove(strShot);
        const CBrowserRun shot = RunBrowser(strBrowser, strProfile,
                                            {QStringLiteral("--window-size=") + strSize,
                                             QStringLiteral("--screenshot=") + strShot,
                                             QUrl::fromLocalFile(strHtml).toString()});
        EXPECT_EQ(shot.nExit, 0);
        EXPECT_GT(QFileInfo(strShot).size(), 10000) << qPrintable(strShot);
    }
}

// The page of a run over a device list: a row per device with the figures
// the JSON report gives that device, and a folded block of its own.
TEST(HtmlReport, AFleetPageHasEveryDeviceWithItsFigures)
{
    const QString strBrowser = Browser();
    SKIP_WITHOUT_BROWSER(strBrowser)

    devsimtest::Devsim sim;
    ASSERT_TRUE(sim.Start({QStringLiteral("--devices"), QStringLiteral("2")}));
    QTemporaryDir dir;
    // The third device's address is served by no one: its requests fail.
    const QString strDevices = dir.filePath(QStringLiteral("devices.csv"));
    QFile devices(strDevices);
    ASSERT_TRUE(devices.open(QIODevice::WriteOnly));
    devices.write("name,host\nlobby <cam>,127.0.1.1\ngate-cam,127.0.1.2\nyard-cam,127.0.1.3\n");
    devices.close();
    const QString strScript = WriteScript(
        dir, QStringLiteral("While(5)\nhttp://{{host}}:%1/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0\nEnd\n")
                 .arg(sim.port()));
    const QString strHtml = dir.filePath(QStringLiteral("fleet.html"));
    const QString strJson = dir.filePath(QStringLiteral("fleet.json"));
    CliRun run;
    run.Start({strScript, QStringLiteral("--devices"), strDevices, QStringLiteral("--html"), strHtml,
               QStringLiteral("--json"), strJson});
    ASSERT_EQ(run.Finish(60000), 3) << qPrintable(run.m_strErr);
    QFile jsonFile(strJson);
    ASSERT_TRUE(jsonFile.open(QIODevice::ReadOnly));
    const QJsonArray jsonDevices =
        QJsonDocument::fromJson(jsonFile.readAll()).object()[QStringLiteral("devices")].toArray();
    ASSERT_EQ(jsonDevices.size(), 3);

    const QString strDom = LoadedPage(strBrowser, dir.filePath(QStringLiteral("profile")), strHtml);
    const std::vector<QStringList> rows = TableRows(strDom, QStringLiteral("devices"));
    ASSERT_EQ(rows.size(), 3u);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const QJsonObject device = jsonDevices[qsizetype(i)].toObject();
        const QJsonObject total = device[QStringLiteral("stats_total")].toObject();
        SCOPED_TRACE(device[QStringLiteral("name")].toString().toStdString());
        ASSERT_EQ(rows[i].size(), 11);
        EXPECT_EQ(rows[i][0], device[QStringLiteral("name")].toString()) << "the name as written, escaped";
        EXPECT_EQ(rows[i].mid(1, 9),
                  (QStringList{Figure(total[QStringLiteral("count")]), Figure(total[QStringLiteral("ok")]),
                               Figure(total[QStringLiteral("slow")]), Figure(total[QStringLiteral("timeout")]),
                               Figure(total[QStringLiteral("failed")]), Figure(total[QStringLiteral("not_sent")]),
                               Figure(total[QStringLiteral("median_ms")]), Figure(total[QStringLiteral("p95_ms")]),
                               Figure(total[QStringLiteral("max_ms")])}));
        EXPECT_TRUE(rows[i][10].startsWith(device[QStringLiteral("verdict")].toString())) << rows[i][10].toStdString();
        EXPECT_TRUE(strDom.contains(QStringLiteral("<details id=\"device-%1\">").arg(i + 1)));
    }
    EXPECT_EQ(rows[2][5], QStringLiteral("5")) << "every request to the unserved address failed";
}

}  // namespace
