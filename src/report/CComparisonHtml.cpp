#include "CComparisonHtml.h"

#include "CReportFile.h"

#include <QIODevice>

#include <algorithm>

namespace {

QByteArray Esc(const QString& str)
{
    return str.toHtmlEscaped().toUtf8();
}

QByteArray Num(double d)
{
    return QByteArray::number(d, 'f', 1);
}

const char* const kStyle = R"(
:root{color-scheme:light;--fg:#1b1b1b;--muted:#555;--line:#d0d0d0;--pass:#1b5e20;--fail:#b71c1c;--base:#757575;--new:#e65100}
*{box-sizing:border-box}
body{margin:0 auto;max-width:1280px;padding:12px 16px 32px;font:15px/1.45 system-ui,-apple-system,"Segoe UI",Roboto,"DejaVu Sans",sans-serif;color:var(--fg);background:#fff}
h1{font-size:1.45em;margin:.3em 0 .5em}
h2{font-size:1.15em;margin:1.4em 0 .5em;border-bottom:1px solid var(--line);padding-bottom:.2em}
h3{font-size:1em;margin:1em 0 .3em;overflow-wrap:anywhere}
dl.run{display:grid;grid-template-columns:max-content 1fr;gap:.2em 1em;margin:0}
dl.run dt{color:var(--muted)}
dl.run dd{margin:0;overflow-wrap:anywhere}
.verdict{font-weight:700;padding:.05em .5em;border-radius:.3em;color:#fff;background:var(--muted)}
.verdict.pass{background:var(--pass)}
.verdict.fail{background:var(--fail)}
.scroll{overflow-x:auto}
table{border-collapse:collapse;font-size:.92em;font-variant-numeric:tabular-nums;min-width:100%}
th,td{border-bottom:1px solid var(--line);padding:.3em .55em;text-align:right;white-space:nowrap}
th{background:#f3f3f3}
th.text,td.text{text-align:left;white-space:normal;overflow-wrap:anywhere;min-width:12em}
td.real{font-weight:700}
td.worse{color:var(--fail)}
td.better{color:var(--pass)}
td.beyond{background:#ffebee}
svg.chart{width:100%;max-width:900px;height:auto;display:block}
svg .frame{stroke:#888;stroke-width:1;fill:none}
svg .tick{font-size:12px;fill:#444}
svg .base{fill:var(--base);fill-opacity:.35;stroke:none}
svg .new{fill:none;stroke:var(--new);stroke-width:2}
ul.legend{list-style:none;padding:0;margin:.3em 0;display:flex;gap:1.2em;font-size:.92em}
.swatch{display:inline-block;width:1.6em;height:.6em;vertical-align:middle;margin-right:.4em}
.swatch.base{background:var(--base);opacity:.5}
.swatch.new{border-top:2px solid var(--new);height:0}
footer{margin-top:2em;color:var(--muted);font-size:.85em}
)";

// The two runs' shares of responses per range of time, base as bars, new as
// a line over them.
QByteArray DistributionSvg(const CComparisonRow& row)
{
    constexpr double kWidth = 900, kHeight = 240, kLeft = 50, kTop = 10, kPlotW = 830, kPlotH = 190;
    const std::size_t nBins = row.baseBins.size();
    auto shares = [](const std::vector<std::uint64_t>& bins) {
        std::uint64_t nAll = 0;
        for (const std::uint64_t n : bins)
            nAll += n;
        std::vector<double> out;
        for (const std::uint64_t n : bins)
            out.push_back(nAll ? double(n) / double(nAll) : 0.0);
        return out;
    };
    const std::vector<double> base = shares(row.baseBins);
    const std::vector<double> newer = shares(row.newBins);
    double dMax = 0.01;
    for (std::size_t i = 0; i < nBins; ++i)
        dMax = std::max({dMax, base[i], newer[i]});
    const double dSlot = kPlotW / double(nBins);
    const auto y = [&](double d) { return kTop + kPlotH - d / dMax * kPlotH; };
    QByteArray svg = "<svg class=\"chart\" viewBox=\"0 0 " + Num(kWidth) + " " + Num(kHeight) +
                     "\" role=\"img\" aria-label=\"Response times of both runs\"><rect class=\"frame\" x=\"" +
                     Num(kLeft) + "\" y=\"" + Num(kTop) + "\" width=\"" + Num(kPlotW) + "\" height=\"" + Num(kPlotH) +
                     "\"/>";
    QByteArray line = "<polyline class=\"new\" points=\"";
    for (std::size_t i = 0; i < nBins; ++i) {
        const double dX = kLeft + dSlot * double(i);
        const QString strRange = i + 1 == nBins ? QStringLiteral("from %1 ms").arg(CComparisonReport::Ms(row.dBinUs * double(i)))
                                                : QStringLiteral("%1 to %2 ms")
                                                      .arg(CComparisonReport::Ms(row.dBinUs * double(i)),
                                                           CComparisonReport::Ms(row.dBinUs * double(i + 1)));
        svg += "<rect class=\"base\" x=\"" + Num(dX + 0.5) + "\" y=\"" + Num(y(base[i])) + "\" width=\"" +
               Num(dSlot - 1) + "\" height=\"" + Num(kTop + kPlotH - y(base[i])) + "\"><title>" + Esc(strRange) +
               ": BASE " + Num(base[i] * 100) + "%, NEW " + Num(newer[i] * 100) + "%</title></rect>";
        line += Num(dX) + "," + Num(y(newer[i])) + " " + Num(dX + dSlot) + "," + Num(y(newer[i])) + " ";
        if (i % 8 == 0)
            svg += "<text class=\"tick\" x=\"" + Num(dX) + "\" y=\"" + Num(kTop + kPlotH + 16) + "\">" +
                   Esc(CComparisonReport::Ms(row.dBinUs * double(i))) + "</text>";
    }
    svg += line + "\"/>";
    svg += "<text class=\"tick\" x=\"" + Num(kLeft - 6) + "\" y=\"" + Num(kTop + 10) + "\" text-anchor=\"end\">" +
           Num(dMax * 100) + "%</text><text class=\"tick\" x=\"" + Num(kLeft + kPlotW) + "\" y=\"" +
           Num(kTop + kPlotH + 30) + "\" text-anchor=\"end\">response time (ms); the last range holds all above</text>";
    return svg + "</svg>";
}

}  // namespace

QByteArray CComparisonHtml::Page(const CRunComparison& comparison, const CComparedRuns& runs,
                                 const QString& strVersion)
{
    const bool bChecked = comparison.Options().ChecksRegressions();
    const QByteArray result = !bChecked ? "not-checked" : comparison.Fails() ? "fail" : "pass";
    QByteArray page = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                      "<meta name=\"generator\" content=\"Velkor " + Esc(strVersion) + "\">\n<title>" +
                      Esc(runs.strNewFile) + " against " + Esc(runs.strBaseFile) + " \xE2\x80\x94 " + result +
                      " \xE2\x80\x94 Velkor comparison</title>\n<style>" + kStyle +
                      "</style>\n</head>\n<body>\n<header>\n<h1>Velkor comparison: " + Esc(runs.strScript) +
                      "</h1>\n<dl class=\"run\">\n";
    const auto item = [&page](const char* pszName, const QByteArray& value) {
        page += "<dt>" + QByteArray(pszName) + "</dt><dd>" + value + "</dd>\n";
    };
    item("Result", "<span class=\"verdict " + result + "\" id=\"result\">" + result + "</span> " +
                       QByteArray::number(qsizetype(comparison.Regressions().size())) + " rows with a real regression");
    item("Base", Esc(runs.strBaseFile) + " (velkor " + Esc(runs.strBaseVersion) + ")");
    item("New", Esc(runs.strNewFile) + " (velkor " + Esc(runs.strNewVersion) + ")");
    item("Test", "Mann-Whitney U on the times, two-proportion or Fisher's exact on error %, confidence " +
                     QByteArray::number(comparison.Options().dConfidence * 100, 'g', 4) + "% for the whole comparison");
    for (const QString& strMissing : comparison.Missing())
        item("Missing", Esc(strMissing) + " is in BASE but not in NEW");
    for (const QString& strDevice : comparison.NewOnlyDevices())
        item("New only", "device " + Esc(strDevice));
    for (const QString& strNote : comparison.Notes())
        item("Note", Esc(strNote));
    page += "</dl>\n</header>\n<section id=\"rows\">\n<h2>Changes</h2>\n<div class=\"scroll\"><table>\n<thead><tr>"
            "<th class=\"text\">line</th><th class=\"text\">URL</th><th>requests</th>";
    for (std::size_t i = 0; i < kCompareFigures; ++i)
        page += "<th>" + QByteArray(CompareFigureName(ECompareFigure(i))) + " base</th><th>new</th><th>change</th>";
    page += "</tr></thead>\n<tbody>\n";
    for (const CComparisonRow& row : comparison.Rows()) {
        page += "<tr><td class=\"text\">" + Esc(row.Name()) + "</td><td class=\"text\">" + Esc(row.strUrl) +
                "</td><td>" + QByteArray::number(row.nBaseRequests) + " / " + QByteArray::number(row.nNewRequests) +
                "</td>";
        for (std::size_t i = 0; i < kCompareFigures; ++i) {
            const auto figure = ECompareFigure(i);
            const CFigureChange& f = row.figures[i];
            QByteArray cls = f.bReal ? (f.bWorse ? "real worse" : "real better") : "";
            if (f.bBeyond)
                cls += " beyond";
            page += "<td>" + Esc(CComparisonReport::Value(f.dBase, figure)) + "</td><td>" +
                    Esc(CComparisonReport::Value(f.dNew, figure)) + "</td><td class=\"" + cls + "\">" +
                    (row.presence == CComparisonRow::EPresence::Both
                         ? Esc(CComparisonReport::Change(f, figure)) + (f.bReal ? " *" : "")
                         : QByteArray(row.presence == CComparisonRow::EPresence::BaseOnly ? "base only" : "new only")) +
                    "</td>";
        }
        page += "</tr>\n";
    }
    page += "</tbody></table></div>\n<p>* a real change (the test's verdict, not noise); red: for the worse; a shaded "
            "cell: beyond the bound of --fail-on-regression.</p>\n</section>\n<section id=\"distributions\">\n"
            "<h2>Distributions</h2>\n<ul class=\"legend\"><li><span class=\"swatch base\"></span>BASE</li>"
            "<li><span class=\"swatch new\"></span>NEW</li></ul>\n";
    for (const CComparisonRow& row : comparison.Rows())
        if (!row.baseBins.empty())
            page += "<h3>" + Esc(row.Name()) + ": " + Esc(row.strUrl) + "</h3>\n<div class=\"scroll\">" +
                    DistributionSvg(row) + "</div>\n";
    page += "</section>\n<footer>Velkor " + Esc(strVersion) + "</footer>\n</body>\n</html>\n";
    return page;
}

bool CComparisonHtml::Save(const QString& strPath, const CRunComparison& comparison, const CComparedRuns& runs,
                           const QString& strVersion, QString* pError)
{
    return CReportFile::Write(
        strPath,
        [&](QIODevice& device) {
            const QByteArray page = Page(comparison, runs, strVersion);
            return device.write(page) == page.size();
        },
        pError);
}
