#pragma once

#include "CResultsChartData.h"

#include <QChartView>
#include <QStringList>

#include <vector>

class QLineSeries;
class QScatterSeries;
class QValueAxis;
class QXYSeries;

// Response time per request over the run's time: a line per URL through its
// responses, the threshold as a dashed line, slow responses and failures
// marked. The time axis counts seconds, or minutes or hours for a long run;
// the response axis reaches the slowest response and the threshold, and a
// failure that waited longer is marked at its top. The legend names a URL
// without the scheme, host and port that all of them share, cut in the
// middle when long (the tooltip and the table give it whole). Pointing at a line or a
// mark shows the nearest request's URL, status and time.
class CResponseTimeChart : public QChartView {
public:
    using SPoint = CResultsListener::SPoint;

    explicit CResponseTimeChart(QWidget* pParent = nullptr);

    // Draws the data, whose URL n is urls[n]; nThresholdMs < 0: no threshold.
    void Show(const CResultsChartData& data, const QStringList& urls, int nThresholdMs);
    QString ToolTipText(const SPoint& point) const;
    // The tooltip for the pointer at a place in the view: the nearest shown
    // request's, if one is within a few pixels; else empty.
    QString ToolTipAt(const QPoint& viewPosition) const;

    // The colour of URL n's line.
    static QColor UrlColour(int nUrl);
    // A URL as the legend names it: without the scheme, host and port that
    // all the URLs share, cut in the middle to nMaxWidth pixels.
    static QString LegendLabel(const QString& strUrl, const QStringList& urls, const QFontMetrics& metrics,
                               int nMaxWidth);

protected:
    void resizeEvent(QResizeEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    bool viewportEvent(QEvent* pEvent) override;

private:
    // Names the URLs' lines in the legend, as wide as the view leaves room for.
    void LabelLines();
    static double SetRange(QValueAxis* pAxis, double dHighest, int nMaxSteps);
    void AddLine(int nUrl, const QString& strUrl);
    // Each legend marker drawn as its series: a line as a line, the marks
    // as their triangle or diamond.
    void ShapeLegend();
    QList<QXYSeries*> OverlaySeries() const;
    QPointF Position(const SPoint& point) const;
    QList<QPointF> Positions(const std::vector<SPoint>& points) const;
    const SPoint* NearestShown(const QPoint& viewPosition) const;

    QStringList m_urls;
    double m_dUnitMs = 1000.0;     // ms per unit of the time axis
    double m_dTopMs = 0;           // top of the response axis
    QValueAxis* m_pTimeAxis = nullptr;
    QValueAxis* m_pResponseAxis = nullptr;
    std::vector<QLineSeries*> m_vecLines;
    QLineSeries* m_pThresholdLine = nullptr;
    QScatterSeries* m_pSlowMarks = nullptr;
    QScatterSeries* m_pFailedMarks = nullptr;
    // What each series shows, for the tooltips.
    std::vector<std::vector<SPoint>> m_vecShownLines;
    std::vector<SPoint> m_vecShownSlow;
    std::vector<SPoint> m_vecShownFailed;
};
