#include "HtmlCharts.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace HtmlCharts {
namespace {

// The SVG's own coordinates; the page scales it.
constexpr int kWidth = 960;
constexpr int kHeight = 360;
constexpr int kLeft = 64;
constexpr int kRight = 16;
constexpr int kTop = 28;
constexpr int kBottom = 44;
constexpr int kPlotWidth = kWidth - kLeft - kRight;
constexpr int kPlotHeight = kHeight - kTop - kBottom;
// Columns of a downsampled series: two SVG units each.
constexpr int kColumns = kPlotWidth / 2;
constexpr const char* kFailureColour = "#c62828";
constexpr const char* kThresholdColour = "#b35900";

bool IsResponse(ERequestOutcome outcome)
{
    return outcome == ERequestOutcome::Ok || outcome == ERequestOutcome::Slow;
}

QByteArray Num(double d)
{
    return QByteArray::number(d, 'f', 1);
}

QByteArray Esc(const QString& str)
{
    return str.toHtmlEscaped().toUtf8();
}

// A step of 1, 2 or 5 times a power of ten that cuts nMax into about nTicks parts.
double NiceStep(double dMax, int nTicks)
{
    const double dRaw = std::max(dMax, 1.0) / nTicks;
    const double dPower = std::pow(10.0, std::floor(std::log10(dRaw)));
    for (const double dFactor : {1.0, 2.0, 5.0, 10.0}) {
        if (dFactor * dPower >= dRaw)
            return dFactor * dPower;
    }
    return 10.0 * dPower;
}

// The top of an axis: dMax rounded up to a whole number of steps.
double NiceMax(double dMax)
{
    const double dStep = NiceStep(dMax, 5);
    return dStep * std::max(1.0, std::ceil(dMax / dStep));
}

// The same for times in ms, preferring steps people read on a clock once
// they pass a minute.
double NiceTimeStep(double dSpanMs, int nTicks)
{
    const double dRaw = std::max(dSpanMs, 1.0) / nTicks;
    if (dRaw <= 30'000.0)
        return NiceStep(dSpanMs, nTicks);
    for (const double dStep : {60'000.0, 120'000.0, 300'000.0, 600'000.0, 900'000.0, 1'800'000.0, 3'600'000.0,
                               7'200'000.0, 10'800'000.0, 21'600'000.0, 43'200'000.0, 86'400'000.0}) {
        if (dStep >= dRaw)
            return dStep;
    }
    return 86'400'000.0 * std::ceil(dRaw / 86'400'000.0);
}

void Axes(QByteArray& svg, double dMaxY, const char* pszYUnit, const QByteArray& xLabel)
{
    const double dStep = NiceStep(dMaxY, 5);
    for (double dY = 0; dY <= dMaxY + dStep / 1000; dY += dStep) {
        const double y = kTop + kPlotHeight - dY / dMaxY * kPlotHeight;
        svg += "<line class=\"grid\" x1=\"" + Num(kLeft) + "\" x2=\"" + Num(kLeft + kPlotWidth) + "\" y1=\"" +
               Num(y) + "\" y2=\"" + Num(y) + "\"/>";
        svg += "<text class=\"tick\" x=\"" + Num(kLeft - 6) + "\" y=\"" + Num(y + 4) + "\" text-anchor=\"end\">" +
               QByteArray::number(qint64(std::llround(dY))) + "</text>";
    }
    svg += "<text class=\"axis\" x=\"14\" y=\"" + Num(kTop + kPlotHeight / 2.0) +
           "\" text-anchor=\"middle\" transform=\"rotate(-90 14 " + Num(kTop + kPlotHeight / 2.0) + ")\">" +
           pszYUnit + "</text>";
    svg += "<text class=\"axis\" x=\"" + Num(kLeft + kPlotWidth / 2.0) + "\" y=\"" + Num(kHeight - 6) +
           "\" text-anchor=\"middle\">" + xLabel + "</text>";
    svg += "<line class=\"frame\" x1=\"" + Num(kLeft) + "\" x2=\"" + Num(kLeft) + "\" y1=\"" + Num(kTop) +
           "\" y2=\"" + Num(kTop + kPlotHeight) + "\"/><line class=\"frame\" x1=\"" + Num(kLeft) + "\" x2=\"" +
           Num(kLeft + kPlotWidth) + "\" y1=\"" + Num(kTop + kPlotHeight) + "\" y2=\"" + Num(kTop + kPlotHeight) +
           "\"/>";
}

struct CColumn {
    std::int64_t nMin = -1;
    std::int64_t nMax = -1;
    std::int64_t nSum = 0;
    std::int64_t nCount = 0;
};

}  // namespace

QString SeriesColour(std::size_t nUrl)
{
    static const char* const kPalette[] = {"#1565c0", "#2e7d32", "#6a1b9a", "#00838f", "#ad1457",
                                           "#4e342e", "#37474f", "#9e9d24", "#5d4037", "#283593"};
    return QString::fromLatin1(kPalette[nUrl % (sizeof kPalette / sizeof kPalette[0])]);
}

QString RunTime(std::int64_t nMs, std::int64_t nSpanMs)
{
    if (nSpanMs < 2'000)
        return QStringLiteral("%1 ms").arg(nMs);
    if (nSpanMs < 120'000) {
        const bool bWhole = nMs % 1000 == 0;
        return QStringLiteral("%1 s").arg(double(nMs) / 1000.0, 0, 'f', bWhole ? 0 : 1);
    }
    const std::int64_t nSeconds = nMs / 1000;
    const std::int64_t nHours = nSeconds / 3600;
    const QString strMinSec = QStringLiteral("%1:%2")
                                  .arg(nHours > 0 ? QStringLiteral("%1").arg(nSeconds / 60 % 60, 2, 10, QLatin1Char('0'))
                                                  : QString::number(nSeconds / 60))
                                  .arg(nSeconds % 60, 2, 10, QLatin1Char('0'));
    return nHours > 0 ? QStringLiteral("%1:%2").arg(nHours).arg(strMinSec) : strMinSec;
}

std::int64_t RunSpanMs(const CRecordedRun& run)
{
    std::int64_t nSpanMs = 1;
    for (const CRecordedRequest& request : run.vecRequests)
        nSpanMs = std::max(nSpanMs, request.nAtMs + request.nTimeMs);
    for (const CCheckAliveResult& wait : run.vecCheckAlives)
        nSpanMs = std::max(nSpanMs, wait.nAtMs + wait.nDownMs);
    return nSpanMs;
}

QByteArray ResponseTimeSvg(const CRecordedRun& run)
{
    const std::int64_t nSpanMs = RunSpanMs(run);
    std::int64_t nMaxTime = 0;
    for (const CRecordedRequest& request : run.vecRequests) {
        if (IsResponse(request.outcome))
            nMaxTime = std::max(nMaxTime, request.nTimeMs);
    }
    const int nThreshold = run.start.nThresholdMs;
    const double dMaxY = NiceMax(std::max<double>({double(nMaxTime), double(nThreshold), 10.0}) * 1.08);
    const auto X = [&](std::int64_t nAt) { return kLeft + double(nAt) / double(nSpanMs) * kPlotWidth; };
    const auto Y = [&](double dMs) { return kTop + kPlotHeight - dMs / dMaxY * kPlotHeight; };

    QByteArray svg = "<svg class=\"chart\" viewBox=\"0 0 " + QByteArray::number(kWidth) + " " +
                     QByteArray::number(kHeight) +
                     "\" role=\"img\" aria-label=\"Response time of each request over the run\">";
    Axes(svg, dMaxY, "response time (ms)", "time since the run started");
    // The CheckAlive waits: a band from the first attempt to the device's return.
    for (const CCheckAliveResult& wait : run.vecCheckAlives) {
        const double dLeft = X(wait.nAtMs);
        svg += "<rect class=\"away\" x=\"" + Num(dLeft) + "\" y=\"" + Num(kTop) + "\" width=\"" +
               Num(std::max(1.5, X(wait.nAtMs + wait.nDownMs) - dLeft)) + "\" height=\"" + Num(kPlotHeight) +
               "\"><title>CheckAlive " + Esc(wait.strHost) + ":" + Esc(wait.strPort) + ": " +
               (wait.bStopped ? "stopped after " : "back after ") + QByteArray::number(qint64(wait.nDownMs)) + " ms, " +
               QByteArray::number(wait.nAttempts) + (wait.nAttempts == 1 ? " attempt" : " attempts") +
               "</title></rect>";
    }
    const double dStepX = NiceTimeStep(double(nSpanMs), 6);
    for (double dAt = 0; dAt <= double(nSpanMs); dAt += dStepX) {
        svg += "<text class=\"tick\" x=\"" + Num(X(std::int64_t(dAt))) + "\" y=\"" + Num(kTop + kPlotHeight + 16) +
               "\" text-anchor=\"middle\">" + Esc(RunTime(std::int64_t(dAt), nSpanMs)) + "</text>";
    }

    // Per URL: every response when they fit, else per column.
    std::vector<std::vector<const CRecordedRequest*>> byTarget(run.vecTargets.size());
    std::vector<std::int64_t> failedPerColumn(kColumns, 0);
    const auto Column = [&](std::int64_t nAt) {
        return std::clamp(int(double(nAt) / double(nSpanMs) * kColumns), 0, kColumns - 1);
    };
    // A series is broken where its URL brought no response.
    std::vector<bool> brokenBefore(run.vecRequests.size(), false);
    std::vector<bool> broken(run.vecTargets.size(), false);
    for (std::size_t i = 0; i < run.vecRequests.size(); ++i) {
        const CRecordedRequest& request = run.vecRequests[i];
        if (IsResponse(request.outcome)) {
            byTarget[request.nTarget].push_back(&request);
            brokenBefore[i] = broken[request.nTarget];
            broken[request.nTarget] = false;
        } else {
            ++failedPerColumn[std::size_t(Column(request.nAtMs))];
            broken[request.nTarget] = true;
        }
    }
    for (std::size_t nUrl = 0; nUrl < byTarget.size(); ++nUrl) {
        const auto& points = byTarget[nUrl];
        if (points.empty())
            continue;
        const QByteArray colour = SeriesColour(nUrl).toLatin1();
        const QByteArray title = "<title>" + Esc(run.vecTargets[nUrl].strUrl) + "</title>";
        svg += "<g class=\"series\" data-series=\"" + QByteArray::number(qulonglong(nUrl)) + "\">";
        if (points.size() <= std::size_t(kColumns)) {
            // One line through the responses, broken where the URL went
            // unanswered or was not requested for a long while.
            const std::int64_t nGapMs = std::max<std::int64_t>(1000, nSpanMs / 20);
            QByteArray path;
            const CRecordedRequest* pLast = nullptr;
            for (const CRecordedRequest* p : points) {
                const bool bBreak = pLast == nullptr || p->nAtMs - pLast->nAtMs > nGapMs ||
                                    brokenBefore[std::size_t(p - run.vecRequests.data())];
                path += (bBreak ? "M" : "L") + Num(X(p->nAtMs)) + " " + Num(Y(double(p->nTimeMs)));
                pLast = p;
            }
            svg += "<path fill=\"none\" stroke=\"" + colour + "\" stroke-width=\"1.5\" d=\"" + path + "\">" + title +
                   "</path>";
            if (points.size() <= 200) {
                for (const CRecordedRequest* p : points) {
                    svg += "<circle cx=\"" + Num(X(p->nAtMs)) + "\" cy=\"" + Num(Y(double(p->nTimeMs))) +
                           "\" r=\"2.5\" fill=\"" + colour + "\"><title>#" + QByteArray::number(p->nIndex) + " " +
                           QByteArray::number(qint64(p->nTimeMs)) + " ms at " + Esc(RunTime(p->nAtMs, nSpanMs)) +
                           "</title></circle>";
                }
            }
        } else {
            std::vector<CColumn> columns(kColumns);
            for (const CRecordedRequest* p : points) {
                CColumn& c = columns[std::size_t(Column(p->nAtMs))];
                c.nMin = c.nCount == 0 ? p->nTimeMs : std::min(c.nMin, p->nTimeMs);
                c.nMax = c.nCount == 0 ? p->nTimeMs : std::max(c.nMax, p->nTimeMs);
                c.nSum += p->nTimeMs;
                ++c.nCount;
            }
            QByteArray range;
            QByteArray means;
            for (int i = 0; i < kColumns; ++i) {
                const CColumn& c = columns[std::size_t(i)];
                if (c.nCount == 0)
                    continue;
                const double x = kLeft + (i + 0.5) * kPlotWidth / double(kColumns);
                range += "M" + Num(x) + " " + Num(Y(double(c.nMax)) - 0.5) + "V" + Num(Y(double(c.nMin)) + 0.5);
                means += Num(x) + "," + Num(Y(double(c.nSum) / double(c.nCount))) + " ";
            }
            svg += "<path d=\"" + range + "\" stroke=\"" + colour +
                   "\" stroke-opacity=\"0.35\" stroke-width=\"2\">" + title + "</path>";
            svg += "<polyline fill=\"none\" stroke=\"" + colour + "\" stroke-width=\"1.5\" points=\"" + means + "\">" +
                   title + "</polyline>";
        }
        svg += "</g>";
    }
    if (nThreshold > 0) {
        svg += "<line stroke=\"" + QByteArray(kThresholdColour) + "\" stroke-width=\"1.5\" stroke-dasharray=\"6 4\" x1=\"" +
               Num(kLeft) + "\" x2=\"" + Num(kLeft + kPlotWidth) + "\" y1=\"" + Num(Y(nThreshold)) + "\" y2=\"" +
               Num(Y(nThreshold)) + "\"><title>slow threshold " + QByteArray::number(nThreshold) +
               " ms</title></line>";
    }
    // Requests without a response have no time: a cross along the top of the
    // column they fell in.
    for (int i = 0; i < kColumns; ++i) {
        const std::int64_t nFailed = failedPerColumn[std::size_t(i)];
        if (nFailed == 0)
            continue;
        const double x = kLeft + (i + 0.5) * kPlotWidth / double(kColumns);
        const double y = kTop - 10;
        svg += "<path class=\"failure\" d=\"M" + Num(x - 4) + " " + Num(y - 4) + "l8 8m0 -8l-8 8\" stroke=\"" +
               kFailureColour + "\" stroke-width=\"2\"><title>" + QByteArray::number(qint64(nFailed)) +
               (nFailed == 1 ? " request" : " requests") + " without a response near " +
               Esc(RunTime(std::int64_t(double(i) * double(nSpanMs) / kColumns), nSpanMs)) + "</title></path>";
    }
    svg += "</svg>";
    return svg;
}

QByteArray HistogramSvg(const CRecordedRun& run)
{
    constexpr int kBins = 20;
    std::int64_t nMaxTime = 0;
    std::int64_t nTimeouts = 0, nFailed = 0, nNotSent = 0;
    for (const CRecordedRequest& request : run.vecRequests) {
        switch (request.outcome) {
        case ERequestOutcome::Ok:
        case ERequestOutcome::Slow:
            nMaxTime = std::max(nMaxTime, request.nTimeMs);
            break;
        case ERequestOutcome::Timeout:
            ++nTimeouts;
            break;
        case ERequestOutcome::Failed:
            ++nFailed;
            break;
        case ERequestOutcome::NotSent:
            ++nNotSent;
            break;
        }
    }
    const std::int64_t nBinMs = std::max<std::int64_t>(1, std::int64_t(NiceStep(double(nMaxTime + 1), kBins)));
    const int nUsedBins = std::clamp(int(nMaxTime / nBinMs) + 1, 1, kBins + 1);
    std::vector<std::int64_t> bins(std::size_t(nUsedBins), 0);
    for (const CRecordedRequest& request : run.vecRequests) {
        if (IsResponse(request.outcome))
            ++bins[std::size_t(std::min<std::int64_t>(request.nTimeMs / nBinMs, nUsedBins - 1))];
    }
    struct CBar {
        QByteArray label;
        QByteArray title;
        std::int64_t nCount;
        const char* pszColour;
    };
    std::vector<CBar> bars;
    for (int i = 0; i < nUsedBins; ++i) {
        const QByteArray range = QByteArray::number(qint64(i * nBinMs)) + "-" +
                                 QByteArray::number(qint64((i + 1) * nBinMs - 1));
        bars.push_back({QByteArray::number(qint64(i * nBinMs)), range + " ms", bins[std::size_t(i)], "#1565c0"});
    }
    const std::size_t nResponseBars = bars.size();
    bars.push_back({"timeout", "timed out", nTimeouts, "#e65100"});
    bars.push_back({"failed", "failed", nFailed, kFailureColour});
    bars.push_back({"not sent", "not sent", nNotSent, "#616161"});

    std::int64_t nMaxCount = 1;
    for (const CBar& bar : bars)
        nMaxCount = std::max(nMaxCount, bar.nCount);
    const double dMaxY = NiceMax(double(nMaxCount));
    QByteArray svg = "<svg class=\"chart\" viewBox=\"0 0 " + QByteArray::number(kWidth) + " " +
                     QByteArray::number(kHeight) + "\" role=\"img\" aria-label=\"How the response times are spread\">";
    Axes(svg, dMaxY, "requests", "response time (ms); requests without a response on the right");
    // A gap of one bar between the response times and the other bars.
    const double dSlot = double(kPlotWidth) / double(bars.size() + 1);
    const int nLabelEvery = int(nResponseBars + 5) / 6;
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const CBar& bar = bars[i];
        const double dLeft = kLeft + dSlot * double(i < nResponseBars ? i : i + 1);
        const double dTop = kTop + kPlotHeight - double(bar.nCount) / dMaxY * kPlotHeight;
        svg += "<rect x=\"" + Num(dLeft + 1) + "\" y=\"" + Num(dTop) + "\" width=\"" + Num(dSlot - 2) +
               "\" height=\"" + Num(kTop + kPlotHeight - dTop) + "\" fill=\"" + bar.pszColour + "\"><title>" +
               bar.title + ": " + QByteArray::number(qint64(bar.nCount)) + "</title></rect>";
        if (i >= nResponseBars || int(i) % nLabelEvery == 0) {
            svg += "<text class=\"tick\" x=\"" + Num(i < nResponseBars ? dLeft : dLeft + dSlot / 2) + "\" y=\"" +
                   Num(kTop + kPlotHeight + 16) + "\" text-anchor=\"" + (i < nResponseBars ? "start" : "middle") +
                   "\">" + bar.label + "</text>";
        }
    }
    svg += "</svg>";
    return svg;
}

}  // namespace HtmlCharts
