#include "StatisticsTable.h"

namespace StatisticsTable {

QStringList Columns()
{
    return {QStringLiteral("URL"),         QStringLiteral("Count"),    QStringLiteral("OK"),
            QStringLiteral("Slow"),        QStringLiteral("Timeout"),  QStringLiteral("Failed"),
            QStringLiteral("Not sent"),    QStringLiteral("Checks failed"), QStringLiteral("Error %"),
            QStringLiteral("Req/s"),
            QStringLiteral("Min (ms)"),    QStringLiteral("Median (ms)"), QStringLiteral("P95 (ms)"),
            QStringLiteral("P99 (ms)"),    QStringLiteral("Max (ms)"), QStringLiteral("Mean (ms)")};
}

QStringList Cells(const CUrlStatistics& figures, const QString& strName)
{
    auto Ms = [](std::int64_t nMs) { return nMs < 0 ? QString() : QString::number(nMs); };
    return {strName,
            QString::number(figures.nCount),
            QString::number(figures.nOk),
            QString::number(figures.nSlow),
            QString::number(figures.nTimeout),
            QString::number(figures.nFailed),
            QString::number(figures.nNotSent),
            QString::number(figures.nCheckFailed),
            QString::number(figures.dErrorPercent, 'f', 1),
            figures.dRequestsPerSecond < 0 ? QString() : QString::number(figures.dRequestsPerSecond, 'f', 1),
            Ms(figures.nMinMs),
            Ms(figures.nMedianMs),
            Ms(figures.nP95Ms),
            Ms(figures.nP99Ms),
            Ms(figures.nMaxMs),
            figures.nTimed == 0 ? QString() : QString::number(figures.dMeanMs, 'f', 1)};
}

}  // namespace StatisticsTable
