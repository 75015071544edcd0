// The time chart's lines: a line per URL, or, once the URLs are too many
// for that, a line per script line or per group of neighbouring lines; a
// fleet's, per script line or per device, as chosen.
#include "CResultsWindow.h"

#include "CRequestListModel.h"

#include <QSet>

#include <algorithm>

int CResultsWindow::ChartGroupOf(const CResultsListener::SPoint& point) const
{
    if (m_eChartLines == EChartLines::PerDevice) {
        const auto nRequest = std::size_t(point.nIndex - 1);
        return nRequest < m_fleet.vecDeviceOf.size() ? m_fleet.vecDeviceOf[nRequest] / m_nPerGroup : -1;
    }
    return (std::max(point.nLine, 1) - 1) / m_nPerGroup;
}

int CResultsWindow::ChartLineOf(const CResultsListener::SPoint& point) const
{
    if (m_eChartLines == EChartLines::PerUrl)
        return point.nUrl;
    return m_hashGroups.value(ChartGroupOf(point), -1);
}

void CResultsWindow::NameLineGroup(int nChartLine)
{
    // Named by the script lines seen in it: never a line the script lacks.
    const auto [nFirst, nLast] = m_vecGroupSpans[std::size_t(nChartLine)];
    m_groupNames[nChartLine] =
        nFirst == nLast ? QStringLiteral("Line %1").arg(nFirst) : QStringLiteral("Lines %1-%2").arg(nFirst).arg(nLast);
}

void CResultsWindow::AddToChart(const CResultsListener::SPoint& point)
{
    if (m_eChartLines == EChartLines::PerScriptLine) {
        const int nGroup = ChartGroupOf(point);
        const int nLine = std::max(point.nLine, 1);
        auto it = m_hashGroups.constFind(nGroup);
        if (it == m_hashGroups.constEnd()) {
            if (m_hashGroups.size() >= kMostLineGroups) {
                // Every request so far, this one included, drawn anew.
                GroupChartLines();
                return;
            }
            it = m_hashGroups.insert(nGroup, int(m_groupNames.size()));
            m_vecGroupSpans.emplace_back(nLine, nLine);
            m_groupNames << QString();
            NameLineGroup(*it);
            m_data.AddUrl();
        } else {
            auto& span = m_vecGroupSpans[std::size_t(*it)];
            if (nLine < span.first || nLine > span.second) {
                span = {std::min(span.first, nLine), std::max(span.second, nLine)};
                NameLineGroup(*it);
            }
        }
    }
    m_data.Add(point, ChartLineOf(point));
}

void CResultsWindow::GroupChartLines()
{
    const std::vector<CResultsListener::SPoint>& listed = m_pRequests->Requests();
    const std::vector<CResultsListener::SPoint>& pending = m_vecPending;
    m_hashGroups.clear();
    m_groupNames.clear();
    m_vecGroupSpans.clear();
    ++m_nChartGeneration;
    m_data.Clear();
    m_nPerGroup = 1;
    if (IsFleet() && m_bChartByDevice) {
        // A line per device, in the list's order; beyond kMostDeviceLines,
        // neighbouring devices share one, named by its first and last.
        m_eChartLines = EChartLines::PerDevice;
        const auto nDevices = int(m_fleet.devices.size());
        while ((nDevices + m_nPerGroup - 1) / m_nPerGroup > kMostDeviceLines)
            m_nPerGroup *= 2;
        for (int nFirst = 0; nFirst < nDevices; nFirst += m_nPerGroup) {
            const int nLast = std::min(nDevices, nFirst + m_nPerGroup) - 1;
            m_hashGroups.insert(nFirst / m_nPerGroup, int(m_groupNames.size()));
            m_vecGroupSpans.emplace_back(nFirst, nLast);
            m_groupNames << (nFirst == nLast ? m_fleet.devices[nFirst]
                                             : QStringLiteral("%1 \u2026 %2").arg(m_fleet.devices[nFirst],
                                                                                  m_fleet.devices[nLast]));
            m_data.AddUrl();
        }
    } else {
        // As many script lines to a group as keeps the groups few enough:
        // planned for the script's last line where the run says it, so that
        // the groups never overflow and every request so far is drawn anew
        // only this once; else from the lines so far (a line beyond them
        // later regroups).
        m_eChartLines = EChartLines::PerScriptLine;
        while ((m_start.nLastStepLine - 1) / m_nPerGroup + 1 > kMostLineGroups)
            m_nPerGroup *= 2;
        QSet<int> lines;
        for (const auto* pPoints : {&listed, &pending})
            for (const CResultsListener::SPoint& point : *pPoints)
                lines.insert(std::max(point.nLine, 1) - 1);
        for (;;) {
            QSet<int> groups;
            for (int nLine : lines)
                groups.insert(nLine / m_nPerGroup);
            if (groups.size() <= kMostLineGroups)
                break;
            m_nPerGroup *= 2;
        }
    }
    for (const auto* pPoints : {&listed, &pending})
        for (const CResultsListener::SPoint& point : *pPoints)
            AddToChart(point);
}

void CResultsWindow::OnChartByChosen(int nChoice)
{
    m_bChartByDevice = nChoice == 1;
    if (IsFleet()) {
        GroupChartLines();
        Refresh();
    }
}

CResponseTimeChart::SLines CResultsWindow::ChartLines() const
{
    CResponseTimeChart::SLines lines;
    lines.names = m_eChartLines == EChartLines::PerUrl ? m_pRequests->Names().Names() : m_groupNames;
    lines.urls = m_pRequests->Urls();
    if (m_eChartLines != EChartLines::PerUrl)
        lines.lineOf = [this](const CResultsListener::SPoint& point) { return ChartLineOf(point); };
    lines.nGeneration = m_nChartGeneration;
    return lines;
}
