// The time chart's lines: a line per URL, or, once the URLs are too many
// for that, a line per script line or per group of neighbouring lines.
#include "CResultsWindow.h"

#include "CRequestListModel.h"

#include <QSet>

int CResultsWindow::ChartLineOf(const CResultsListener::SPoint& point) const
{
    if (!m_bByScriptLine)
        return point.nUrl;
    return m_hashGroups.value((std::max(point.nLine, 1) - 1) / m_nScriptLinesPerGroup, -1);
}

void CResultsWindow::AddToChart(const CResultsListener::SPoint& point)
{
    if (m_bByScriptLine) {
        const int nGroup = (std::max(point.nLine, 1) - 1) / m_nScriptLinesPerGroup;
        if (!m_hashGroups.contains(nGroup)) {
            if (m_hashGroups.size() >= kMostLineGroups) {
                // Every request so far, this one included, drawn anew.
                GroupChartLines();
                return;
            }
            const int nFirst = nGroup * m_nScriptLinesPerGroup + 1;
            m_hashGroups.insert(nGroup, int(m_groupNames.size()));
            m_groupNames << (m_nScriptLinesPerGroup == 1
                                 ? QStringLiteral("Line %1").arg(nFirst)
                                 : QStringLiteral("Lines %1-%2").arg(nFirst).arg(nFirst + m_nScriptLinesPerGroup - 1));
            m_data.AddUrl();
        }
    }
    m_data.Add(point, ChartLineOf(point));
}

void CResultsWindow::GroupChartLines()
{
    // The script lines so far, and as many of them to a group as keeps the
    // groups few enough.
    const std::vector<CResultsListener::SPoint>& listed = m_pRequests->Requests();
    const std::vector<CResultsListener::SPoint>& pending = m_vecPending;
    QSet<int> lines;
    for (const auto* pPoints : {&listed, &pending})
        for (const CResultsListener::SPoint& point : *pPoints)
            lines.insert(std::max(point.nLine, 1) - 1);
    m_nScriptLinesPerGroup = 1;
    for (;;) {
        QSet<int> groups;
        for (int nLine : lines)
            groups.insert(nLine / m_nScriptLinesPerGroup);
        if (groups.size() <= kMostLineGroups)
            break;
        m_nScriptLinesPerGroup *= 2;
    }
    m_bByScriptLine = true;
    m_hashGroups.clear();
    m_groupNames.clear();
    ++m_nChartGeneration;
    m_data.Clear();
    for (const auto* pPoints : {&listed, &pending})
        for (const CResultsListener::SPoint& point : *pPoints)
            AddToChart(point);
}

CResponseTimeChart::SLines CResultsWindow::ChartLines() const
{
    CResponseTimeChart::SLines lines;
    lines.names = m_bByScriptLine ? m_groupNames : m_pRequests->Names().Names();
    lines.urls = m_pRequests->Urls();
    if (m_bByScriptLine)
        lines.lineOf = [this](const CResultsListener::SPoint& point) { return ChartLineOf(point); };
    lines.nGeneration = m_nChartGeneration;
    return lines;
}
