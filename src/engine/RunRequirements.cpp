#include "RunRequirements.h"

#include "ResponseChecks.h"

namespace RunRequirements {

namespace {

// The figure, or a negative number when there is none.
double Figure(ERequireMetric metric, const CUrlStatistics& figures)
{
    switch (metric) {
    case ERequireMetric::P50:
        return double(figures.nMedianMs);
    case ERequireMetric::P95:
        return double(figures.nP95Ms);
    case ERequireMetric::P99:
        return double(figures.nP99Ms);
    case ERequireMetric::Max:
        return double(figures.nMaxMs);
    case ERequireMetric::Errors:
        return figures.nCount > 0 ? figures.dErrorPercent : -1.0;
    case ERequireMetric::Rps:
        return figures.dRequestsPerSecond;
    case ERequireMetric::Count:
        return double(figures.nCount);
    }
    return -1.0;
}

QString Shown(ERequireMetric metric, double dValue)
{
    switch (metric) {
    case ERequireMetric::Errors:
        return QStringLiteral("%1 %").arg(dValue, 0, 'f', 2);
    case ERequireMetric::Rps:
        return QStringLiteral("%1 requests/s").arg(dValue, 0, 'f', 2);
    case ERequireMetric::Count:
        return QStringLiteral("%1 requests").arg(dValue, 0, 'f', 0);
    default:
        return QStringLiteral("%1 ms").arg(dValue, 0, 'f', 0);
    }
}

bool Holds(double dActual, ECheckOp op, double dValue) { return ResponseChecks::Compare(dActual, op, dValue, 0.0); }

// Empty when it holds for these figures, else the reason.
QString JudgeOne(const CRequirement& requirement, const CUrlStatistics& figures)
{
    const QString strRequired = QStringLiteral("required ") + requirement.strText;
    const QString strFor = figures.strUrl.isEmpty() ? QString() : QStringLiteral(" for ") + figures.strUrl;
    const double dActual = Figure(requirement.metric, figures);
    if (dActual < 0)
        return strRequired + QStringLiteral(", but there is no figure to read") + strFor;
    if (Holds(dActual, requirement.op, requirement.dValue))
        return QString();
    return strRequired + QStringLiteral(", got ") + Shown(requirement.metric, dActual) + strFor;
}

}  // namespace

QStringList Judge(const std::vector<CRequirement>& requirements, const CRunStatisticsSnapshot& statistics)
{
    QStringList failures;
    for (const CRequirement& requirement : requirements) {
        if (!requirement.bPerUrl && requirement.strUrlPart.isEmpty()) {
            const QString strWhy = JudgeOne(requirement, statistics.total);
            if (!strWhy.isEmpty())
                failures << strWhy;
            continue;
        }
        int nUrls = 0;
        for (const CUrlStatistics& url : statistics.vecUrls) {
            if (!requirement.bPerUrl && !url.strUrl.contains(requirement.strUrlPart))
                continue;
            ++nUrls;
            const QString strWhy = JudgeOne(requirement, url);
            if (!strWhy.isEmpty())
                failures << strWhy;
        }
        if (nUrls == 0)
            failures << QStringLiteral("required %1, but no URL of the run matches").arg(requirement.strText);
    }
    return failures;
}

}  // namespace RunRequirements
