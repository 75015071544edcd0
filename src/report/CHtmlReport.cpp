#include "CHtmlReport.h"
#include "CFleetReport.h"
#include "CReportFile.h"
#include "HtmlCharts.h"

#include <QIODevice>

namespace {

QByteArray Esc(const QString& str)
{
    return str.toHtmlEscaped().toUtf8();
}

QByteArray Int(std::int64_t n)
{
    return QByteArray::number(qint64(n));
}

// A time figure of the statistics: empty when no response was timed.
QByteArray Ms(std::int64_t nMs, std::uint64_t nTimed)
{
    return nTimed == 0 ? QByteArray() : Int(nMs);
}

const char* const kStyle = R"(
:root{color-scheme:light;--fg:#1b1b1b;--muted:#555;--line:#d0d0d0;--pass:#1b5e20;--fail:#b71c1c}
*{box-sizing:border-box}
body{margin:0 auto;max-width:1280px;padding:12px 16px 32px;font:15px/1.45 system-ui,-apple-system,"Segoe UI",Roboto,"DejaVu Sans",sans-serif;color:var(--fg);background:#fff}
h1{font-size:1.45em;margin:.3em 0 .5em}
h2{font-size:1.15em;margin:1.4em 0 .5em;border-bottom:1px solid var(--line);padding-bottom:.2em}
dl.run{display:grid;grid-template-columns:max-content 1fr;gap:.2em 1em;margin:0}
dl.run dt{color:var(--muted)}
dl.run dd{margin:0;overflow-wrap:anywhere}
.verdict{font-weight:700;padding:.05em .5em;border-radius:.3em;color:#fff}
.verdict.pass{background:var(--pass)}
.verdict.fail{background:var(--fail)}
.partial{color:var(--fail);font-weight:600}
svg.chart{width:100%;height:auto;display:block}
svg .grid{stroke:#e4e4e4;stroke-width:1}
svg .frame{stroke:#888;stroke-width:1}
svg .tick{font-size:12px;fill:#444}
svg .axis{font-size:13px;fill:#333}
svg .away{fill:#7b1fa2;fill-opacity:.14}
.swatch.away{background:#7b1fa2;opacity:.3;height:.8em}
ul.legend{list-style:none;padding:0;margin:.3em 0;display:flex;flex-wrap:wrap;gap:.3em 1.2em;font-size:.92em}
ul.legend li{overflow-wrap:anywhere}
.swatch{display:inline-block;width:1.6em;height:.25em;vertical-align:middle;margin-right:.4em}
.swatch.dashed{background:repeating-linear-gradient(90deg,#b35900 0 6px,transparent 6px 10px)}
.cross{color:#c62828;font-weight:700;margin-right:.3em}
.scroll{overflow-x:auto;-webkit-overflow-scrolling:touch}
table{border-collapse:collapse;font-size:.92em;font-variant-numeric:tabular-nums;min-width:100%}
th,td{border-bottom:1px solid var(--line);padding:.3em .55em;text-align:right;white-space:nowrap}
th{background:#f3f3f3;position:sticky;top:0;cursor:pointer;user-select:none}
th.text,td.text{text-align:left;white-space:normal;overflow-wrap:anywhere;min-width:12em}
tr.total td{font-weight:700;border-top:2px solid #999}
th[aria-sort=ascending]::after{content:" \25B2"}
th[aria-sort=descending]::after{content:" \25BC"}
.none{color:var(--muted)}
footer{margin-top:2em;color:var(--muted);font-size:.85em}
@media (max-width:600px){body{font-size:14px;padding:8px}dl.run{grid-template-columns:1fr}dl.run dt{margin-top:.4em}
svg.chart{min-width:600px}svg .tick{font-size:19px}svg .axis{font-size:20px}}
@media print{body{max-width:none;padding:0;font-size:11pt}th{position:static;cursor:auto}section{break-inside:avoid}.scroll{overflow:visible}table{font-size:9pt}th,td{white-space:normal}}
)";

// Click a heading to sort its table by that column; again to reverse.
const char* const kScript = R"(
document.querySelectorAll("table.sortable").forEach(function (table) {
  table.querySelectorAll("th").forEach(function (th, column) {
    th.addEventListener("click", function () {
      var ascending = th.getAttribute("aria-sort") !== "ascending";
      table.querySelectorAll("th").forEach(function (other) { other.removeAttribute("aria-sort"); });
      th.setAttribute("aria-sort", ascending ? "ascending" : "descending");
      var body = table.tBodies[0];
      var rows = Array.prototype.slice.call(body.rows).filter(function (r) { return !r.classList.contains("total"); });
      var key = function (row) {
        var text = row.cells[column].textContent.trim();
        var n = parseFloat(text.replace(/[^0-9.+-]/g, ""));
        return text !== "" && /^[-+0-9.,:% a-z]*$/.test(text) && !isNaN(n) ? n : text.toLowerCase();
      };
      rows.sort(function (a, b) {
        var x = key(a), y = key(b);
        var order = typeof x === typeof y ? (x < y ? -1 : x > y ? 1 : 0) : (typeof x === "number" ? -1 : 1);
        return ascending ? order : -order;
      });
      var total = body.querySelector("tr.total");
      rows.forEach(function (row) { body.insertBefore(row, total); });
    });
  });
});
)";

void Header(QByteArray& page, const CRecordedRun& run, const QString& strVersion, const QByteArray& moreRows = {})
{
    const QString strScript = run.start.strScript.isEmpty() ? QStringLiteral("(typed script)") : run.start.strScript;
    const char* pszVerdict = run.verdict.Name();
    page += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
            "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
            "<meta name=\"generator\" content=\"Velkor " + Esc(strVersion) + "\">\n<title>" +
            Esc(strScript) + " \xE2\x80\x94 " + pszVerdict + " \xE2\x80\x94 Velkor run</title>\n<style>" + kStyle +
            "</style>\n</head>\n<body>\n<header>\n<h1>Velkor run: " + Esc(strScript) + "</h1>\n<dl class=\"run\">\n";
    const auto Row = [&](const char* pszName, const QByteArray& value) {
        page += "<dt>" + QByteArray(pszName) + "</dt><dd>" + value + "</dd>\n";
    };
    Row("Verdict", "<span class=\"verdict " + QByteArray(pszVerdict) + "\" id=\"verdict\">" + pszVerdict +
                       "</span> " + Esc(run.verdict.Describe()));
    Row("Exit code", Int(run.nExitCode));
    QDateTime startedAt = run.start.startedAt;
    startedAt.setOffsetFromUtc(startedAt.offsetFromUtc());  // shown with its offset
    Row("Started", run.bStarted ? Esc(startedAt.toString(Qt::ISODateWithMs)) : QByteArray("unknown"));
    Row("Slow threshold", Int(run.start.nThresholdMs) + " ms");
    Row("Requests", Int(std::int64_t(run.vecRequests.size())));
    if (run.bEnded) {
        Row("HTTP total", Int(run.end.nHttpMs) + " ms");
        Row("Application total", Int(run.end.nApplicationMs) + " ms");
        if (run.end.nWhileRepeat >= 0)
            Row("While passes", Int(run.end.nWhileRepeat) + (run.end.bStopped ? " (stopped)" : ""));
    }
    if (run.IsPartial())
        Row("Complete", "<span class=\"partial\">no: the run was cut short; the figures cover what ran</span>");
    page += moreRows + "</dl>\n</header>\n";
}

void Charts(QByteArray& page, const CRecordedRun& run)
{
    page += "<section id=\"times\">\n<h2>Response times</h2>\n<div class=\"scroll\">" + HtmlCharts::ResponseTimeSvg(run) +
            "</div>\n<ul class=\"legend\">";
    for (std::size_t i = 0; i < run.vecTargets.size(); ++i) {
        page += "<li><span class=\"swatch\" style=\"background:" + HtmlCharts::SeriesColour(i).toLatin1() +
                "\"></span>" + Esc(run.vecTargets[i].strUrl) + "</li>";
    }
    page += "<li><span class=\"swatch dashed\"></span>slow threshold (" + Int(run.start.nThresholdMs) +
            " ms)</li><li><span class=\"cross\">\xC3\x97</span>requests without a response</li>";
    if (!run.vecCheckAlives.empty())
        page += "<li><span class=\"swatch away\"></span>device away (CheckAlive)</li>";
    page += "</ul>\n</section>\n";
    page += "<section id=\"distribution\">\n<h2>Distribution</h2>\n<div class=\"scroll\">" +
            HtmlCharts::HistogramSvg(run) + "</div>\n</section>\n";
}

QByteArray StatsRow(const CUrlStatistics& s, const QByteArray& name, const char* pszClass)
{
    QByteArray row = "<tr" + QByteArray(pszClass) + "><td class=\"text\">" + name + "</td>";
    for (const std::uint64_t n : {s.nCount, s.nOk, s.nSlow, s.nTimeout, s.nFailed, s.nNotSent})
        row += "<td>" + Int(std::int64_t(n)) + "</td>";
    for (const std::int64_t n : {s.nMinMs, s.nMedianMs, s.nP95Ms, s.nP99Ms, s.nMaxMs})
        row += "<td>" + Ms(n, s.nTimed) + "</td>";
    row += "<td>" + (s.nTimed == 0 ? QByteArray() : QByteArray::number(s.dMeanMs, 'f', 1)) + "</td><td>" +
           QByteArray::number(s.dErrorPercent, 'f', 2) + "</td><td>" +
           (s.dRequestsPerSecond < 0 ? QByteArray() : QByteArray::number(s.dRequestsPerSecond, 'f', 2)) +
           "</td></tr>\n";
    return row;
}

// bByLine: a fleet's run joined by line, its lines in the script's order.
void Statistics(QByteArray& page, const CRecordedRun& run, bool bByLine = false)
{
    const CRunStatisticsSnapshot snapshot = bByLine ? LineStatisticsOf(run) : StatisticsOf(run);
    page += "<section id=\"statistics\">\n<h2>Statistics</h2>\n<div class=\"scroll\"><table class=\"sortable\" "
            "id=\"stats\">\n<thead><tr><th class=\"text\">URL</th><th>Requests</th><th>OK</th><th>Slow</th>"
            "<th>Timeout</th><th>Failed</th><th>Not sent</th><th>Min ms</th><th>Median ms</th><th>P95 ms</th>"
            "<th>P99 ms</th><th>Max ms</th><th>Mean ms</th><th>Error %</th><th>Req/s</th></tr></thead>\n<tbody>\n";
    for (const CUrlStatistics& s : snapshot.vecUrls)
        page += StatsRow(s, Esc(s.strUrl), "");
    page += StatsRow(snapshot.total, "Total", " class=\"total\"");
    page += "</tbody></table></div>\n</section>\n";
}

// How long the devices were away: per CheckAlive line, then every wait.
void RebootTimes(QByteArray& page, const CRecordedRun& run)
{
    if (run.vecCheckAlives.empty())
        return;
    const std::int64_t nSpanMs = HtmlCharts::RunSpanMs(run);
    const auto Figure = [](std::int64_t nMs) { return nMs < 0 ? QByteArray() : Int(nMs); };
    page += "<section id=\"reboots\">\n<h2>Reboot times</h2>\n<div class=\"scroll\"><table class=\"sortable\" "
            "id=\"checkalive-lines\">\n<thead><tr><th class=\"text\">CheckAlive</th><th>Waits</th><th>Stopped</th>"
            "<th>Min ms</th><th>Median ms</th><th>Max ms</th></tr></thead>\n<tbody>\n";
    for (const CCheckAliveStatistics& line : CheckAliveStatistics(run.vecCheckAlives)) {
        page += "<tr><td class=\"text\">line " + Int(line.nLine) + ": " + Esc(line.strHost) + ":" +
                Esc(line.strPort) + "</td><td>" + Int(std::int64_t(line.nWaits)) + "</td><td>" +
                Int(std::int64_t(line.nStopped)) + "</td><td>" + Figure(line.nMinMs) + "</td><td>" +
                Figure(line.nMedianMs) + "</td><td>" + Figure(line.nMaxMs) + "</td></tr>\n";
    }
    page += "</tbody></table></div>\n<div class=\"scroll\"><table class=\"sortable\" id=\"checkalive\">\n"
            "<thead><tr><th>#</th><th>Pass</th><th>Line</th><th>At</th><th class=\"text\">Device</th>"
            "<th>Down ms</th><th>Attempts</th><th>Outcome</th></tr></thead>\n<tbody>\n";
    for (const CCheckAliveResult& wait : run.vecCheckAlives) {
        page += "<tr><td>" + Int(wait.nIndex) + "</td><td>" + Int(wait.nPass) + "</td><td>" + Int(wait.nLine) +
                "</td><td>" + Esc(HtmlCharts::RunTime(wait.nAtMs, nSpanMs)) + "</td><td class=\"text\">" +
                Esc(wait.strHost) + ":" + Esc(wait.strPort) + "</td><td>" + Int(wait.nDownMs) + "</td><td>" +
                Int(wait.nAttempts) + "</td><td>" + (wait.bStopped ? "stopped" : "back") + "</td></tr>\n";
    }
    page += "</tbody></table></div>\n</section>\n";
}

void Failures(QByteArray& page, const CRecordedRun& run, const QByteArray& idSuffix = {})
{
    const std::int64_t nSpanMs = HtmlCharts::RunSpanMs(run);
    page += "<section id=\"failures" + idSuffix + "\">\n<h2>Failures (" + Int(std::int64_t(run.verdict.nFailed)) +
            ")</h2>\n";
    if (run.verdict.nFailed == 0) {
        page += "<p class=\"none\">No request failed.</p>\n</section>\n";
        return;
    }
    page += "<div class=\"scroll\"><table class=\"sortable\" id=\"failed" + idSuffix + "\">\n<thead><tr><th>#</th><th>Pass</th>"
            "<th>Line</th><th>At</th><th class=\"text\">URL</th><th>Status</th><th>Time ms</th><th>Outcome</th>"
            "<th class=\"text\">Reason</th></tr></thead>\n<tbody>\n";
    for (const CRecordedRequest& request : run.vecRequests) {
        if (request.bPass)
            continue;
        page += "<tr><td>" + Int(request.nIndex) + "</td><td>" + Int(request.nPass) + "</td><td>" +
                Int(request.nLine) + "</td><td>" + Esc(HtmlCharts::RunTime(request.nAtMs, nSpanMs)) +
                "</td><td class=\"text\">" + Esc(run.vecTargets[request.nTarget].strUrl) + "</td><td>" +
                (request.nStatus < 0 ? QByteArray() : Int(request.nStatus)) + "</td><td>" + Int(request.nTimeMs) +
                "</td><td>" + OutcomeName(request.outcome) + "</td><td class=\"text\">" +
                (request.nReason < 0 ? QByteArray() : Esc(run.vecReasons[std::size_t(request.nReason)])) +
                "</td></tr>\n";
    }
    page += "</tbody></table></div>\n</section>\n";
}

}  // namespace

namespace {

// Closes the page and writes it whole.
bool WriteEnd(QIODevice& device, QByteArray& page, const QString& strVersion)
{
    page += "</main>\n<footer>Written by Velkor " + Esc(strVersion) + ".</footer>\n<script>" + kScript +
            "</script>\n</body>\n</html>\n";
    return device.write(page) == page.size();
}

}  // namespace

bool CHtmlReport::Write(QIODevice& device, const CRecordedRun& run, const QString& strVersion)
{
    QByteArray page;
    page.reserve(64 * 1024);
    Header(page, run, strVersion);
    page += "<main>\n";
    Charts(page, run);
    Statistics(page, run);
    RebootTimes(page, run);
    Failures(page, run);
    return WriteEnd(device, page, strVersion);
}

namespace {

// The devices table: a row per device, sortable by any column.
void Devices(QByteArray& page, const CRecordedFleet& fleet)
{
    page += "<section id=\"devices-table\">\n<h2>Devices (" + Int(std::int64_t(fleet.devices.size())) +
            ")</h2>\n<div class=\"scroll\"><table class=\"sortable\" id=\"devices\">\n<thead><tr>"
            "<th class=\"text\">Name</th><th>Requests</th><th>OK</th><th>Slow</th><th>Timeout</th><th>Failed</th>"
            "<th>Not sent</th><th>Median ms</th><th>P95 ms</th><th>Max ms</th><th>Verdict</th></tr></thead>\n<tbody>\n";
    for (const CRecordedDevice& one : fleet.devices) {
        const CUrlStatistics s = StatisticsOf(one.run).total;
        page += "<tr><td class=\"text\">" + Esc(one.strName) + "</td>";
        for (const std::uint64_t n : {s.nCount, s.nOk, s.nSlow, s.nTimeout, s.nFailed, s.nNotSent})
            page += "<td>" + Int(std::int64_t(n)) + "</td>";
        for (const std::int64_t n : {s.nMedianMs, s.nP95Ms, s.nMaxMs})
            page += "<td>" + Ms(n, s.nTimed) + "</td>";
        const QByteArray verdict = one.VerdictName().toLatin1();
        page += "<td>" + verdict + (one.run.nExitCode != 0 ? " (" + Int(one.run.nExitCode) + ")" : QByteArray()) +
                "</td></tr>\n";
    }
    page += "</tbody></table></div>\n</section>\n";
}

// Each device's chart and failures, folded until opened.
void DeviceDetails(QByteArray& page, const CRecordedFleet& fleet)
{
    page += "<section id=\"each-device\">\n<h2>Each device</h2>\n";
    int nDevice = 0;
    for (const CRecordedDevice& one : fleet.devices) {
        const QByteArray suffix = "-" + Int(++nDevice);
        page += "<details id=\"device" + suffix + "\"><summary>" + Esc(one.strName) + " \xE2\x80\x94 " +
                one.VerdictName().toLatin1() + "</summary>\n";
        if (one.run.vecRequests.empty())
            page += "<p class=\"none\">No request was made.</p>\n";
        else
            page += "<div class=\"scroll\">" + HtmlCharts::ResponseTimeSvg(one.run) + "</div>\n";
        Failures(page, one.run, suffix);
        page += "</details>\n";
    }
    page += "</section>\n";
}

}  // namespace

bool CHtmlReport::WriteFleet(QIODevice& device, const CRecordedFleet& fleet, const QString& strVersion)
{
    // The fleet-wide pictures and figures are per script line, so they do
    // not grow with the number of devices.
    const CRecordedRun joined = JoinedRun(fleet, true);
    QByteArray page;
    page.reserve(256 * 1024);
    std::size_t nPassed = 0;
    for (const CRecordedDevice& one : fleet.devices)
        nPassed += one.state == CRecordedDevice::EState::Ran && one.run.verdict.bPass ? 1 : 0;
    Header(page, joined, strVersion,
           "<dt>Devices</dt><dd>" + Int(std::int64_t(fleet.devices.size())) + " (" + Int(std::int64_t(nPassed)) +
               " passed" +
               (fleet.NotRunCount() > 0 ? ", " + Int(std::int64_t(fleet.NotRunCount())) + " not run" : QByteArray()) +
               ")</dd>\n");
    page += "<main>\n";
    Devices(page, fleet);
    Charts(page, joined);
    Statistics(page, joined, true);
    RebootTimes(page, joined);
    DeviceDetails(page, fleet);
    return WriteEnd(device, page, strVersion);
}

bool CHtmlReport::SaveFleet(const QString& strPath, const CRecordedFleet& fleet, const QString& strVersion,
                            QString* pError)
{
    return CReportFile::Write(
        strPath, [&](QIODevice& device) { return WriteFleet(device, fleet, strVersion); }, pError);
}

bool CHtmlReport::Save(const QString& strPath, const CRecordedRun& run, const QString& strVersion, QString* pError)
{
    return CReportFile::Write(
        strPath, [&](QIODevice& device) { return Write(device, run, strVersion); }, pError);
}
