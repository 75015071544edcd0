#pragma once

#include "CResultsChartData.h"

#include <QChartView>
#include <QIcon>
#include <QMargins>
#include <QSet>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

class CResponseTimeChartSideLegend;
class QAbstractSeries;
class QLegendMarker;
class QLineSeries;
class QScatterSeries;
class QValueAxis;
class QXYSeries;

// Response time per request over the run's time: a line per URL through its
// responses, the threshold as a dashed line, slow responses, failures and
// responses whose checks failed marked. The time axis counts seconds, or minutes or hours for a long run;
// the response axis reaches the slowest response and the threshold, and a
// failure that waited longer is marked at its top. The legend names a URL
// by its path and query (ShortUrl), cut in the middle when long (the
// tooltip and the table give it whole); clicking a legend entry hides its
// series or shows it again. Pointing at a line or a mark shows the nearest
// request's URL, status and time; clicking it picks the request.
//
// The mouse wheel zooms the time axis around the pointer, dragging pans it,
// a double click (or ResetZoom) shows the whole run again. Zoomed in on a
// stretch of few enough requests, every request in it is drawn.
class CResponseTimeChart : public QChartView {
public:
    using SPoint = CResultsListener::SPoint;

    explicit CResponseTimeChart(QWidget* pParent = nullptr);

    // What the chart's lines are: their names as the legend shows them (a
    // URL's short name, or a group of script lines), the run's URLs whole
    // (URL n is urls[n], for the tooltips), and the line a request is drawn
    // in (none given: its URL's). The lines are made anew when nGeneration
    // changes (a new run, or the URLs grouped otherwise).
    struct SLines {
        QStringList names;
        QStringList urls;
        std::function<int(const SPoint&)> lineOf;
        int nGeneration = 0;
    };

    // Draws the data, whose line n is lines.names[n]; nThresholdMs < 0: no
    // threshold. pRequests, when given, holds every request of the run in
    // the order made, for drawing a zoomed-in stretch request by request.
    void Show(const CResultsChartData& data, const SLines& lines, int nThresholdMs,
              const std::vector<SPoint>* pRequests = nullptr);
    QString ToolTipText(const SPoint& point) const;
    // The tooltip for the pointer at a place in the view: the nearest shown
    // request's, if one is within a few pixels; else empty.
    QString ToolTipAt(const QPoint& viewPosition) const;

    // The run's CheckAlive waits, each drawn as a shaded band over the time
    // axis from its start over its downtime, with a tooltip of its own; the
    // next Show stretches the time axis to the last wait's end.
    void SetWaits(std::vector<CCheckAliveResult> waits);
    const std::vector<CCheckAliveResult>& Waits() const { return m_vecWaits; }
    // A wait's band in view coordinates (empty when off the shown range).
    QRect WaitBand(const CCheckAliveResult& wait) const;
    // "CheckAlive host:port\nDown: N ms\nAttempts: N\nBack" (or "Stopped").
    static QString WaitToolTipText(const CCheckAliveResult& wait);

    // A saved run's percentile compared with: a dashed grey line across the
    // plot at dMs with its caption ("Base p95 (120 ms)"); dMs < 0: none. The
    // next Show stretches the response axis to it.
    void SetBaseLine(double dMs, const QString& strCaption);
    double BaseLineMs() const { return m_dBaseMs; }
    QString BaseLineCaption() const { return m_strBaseCaption; }
    // The base line's height in view coordinates; -1 when off the plot.
    int BaseLineY() const;

    // Marks the request on the chart (a ring); none: no mark.
    void Highlight(const std::optional<SPoint>& point);
    // What happens when a request's point is clicked.
    void SetOnPointClicked(std::function<void(const SPoint&)> onClicked) { m_onPointClicked = std::move(onClicked); }
    // What happens when the zoom or the pan changes the time axis' range
    // (the owner draws again, with the requests).
    void SetOnViewChanged(std::function<void()> onChanged) { m_onViewChanged = std::move(onChanged); }

    // The time axis' range while zoomed, in ms since the run started.
    bool IsZoomed() const { return m_bZoomed; }
    double ViewFromMs() const { return m_dViewFromMs; }
    double ViewToMs() const { return m_dViewToMs; }
    // Zooms the time axis to [dFromMs, dToMs], kept inside the run; a span
    // over the whole run is no zoom.
    void ZoomTo(double dFromMs, double dToMs);
    // Zooms by dFactor (below 1: in) around the time dAtMs.
    void ZoomBy(double dFactor, double dAtMs);
    void ResetZoom();
    // Hides or shows a series, as a click on its legend entry does.
    void ToggleSeries(QAbstractSeries* pSeries);

    // The legend beside the plot, shown instead of the one under it when
    // the lines are more than a row names readably.
    CResponseTimeChartSideLegend* SideLegend() const { return m_pSideLegend; }

    // The least height at which no axis text is cut short.
    int MinimumReadableHeight() const;

    // Lines of distinct colours; more lines take them again.
    static constexpr std::size_t kLineColours = 24;
    // The colour of URL n's line.
    static QColor UrlColour(int nUrl);
    // A URL by its path and query; with its host and port (no scheme) when
    // another of the URLs has the same path and query on another host or
    // port. A URL without "scheme://" stays whole.
    static QString ShortUrl(const QString& strUrl, const QStringList& urls);
    // A URL as the legend names it: ShortUrl, cut to nMaxWidth pixels as
    // CUrlNames::Cut cuts it (keeping the end of its query).
    static QString LegendLabel(const QString& strUrl, const QStringList& urls, const QFontMetrics& metrics,
                               int nMaxWidth);

protected:
    void resizeEvent(QResizeEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;
    void mouseDoubleClickEvent(QMouseEvent* pEvent) override;
    void wheelEvent(QWheelEvent* pEvent) override;
    bool viewportEvent(QEvent* pEvent) override;
    void drawForeground(QPainter* pPainter, const QRectF& rect) override;

private:
    // Names the URLs' lines in the legend, as wide as the view leaves room for.
    void LabelLines();
    static double SetRange(QValueAxis* pAxis, double dHighest, int nMaxSteps);
    void AddLine(int nLine, const QString& strName);
    // Each legend marker drawn as its series: a line as a line, the marks
    // as their triangle or diamond; a hidden series' entry faded; a click on
    // an entry toggles its series.
    void ShapeLegend();
    void FadeMarker(QLegendMarker* pMarker);
    // The legend beside the plot: its entries as the series are, and its
    // place at the chart's right, the plot narrowed to leave it room.
    void UpdateSideLegend();
    void PlaceSideLegend();
    QIcon LineIcon(int nLine);
    // The time axis' range in ms for the pointer at a place in the view.
    double TimeAt(const QPoint& viewPosition) const;
    void ViewChanged();
    bool OnLegend(const QPoint& viewPosition) const;
    // The time axis' range and ticks: the zoom's, else the whole run's.
    void ApplyTimeRange();
    QList<QXYSeries*> OverlaySeries() const;
    QPointF Position(const SPoint& point) const;
    QList<QPointF> Positions(const std::vector<SPoint>& points) const;
    const SPoint* NearestShown(const QPoint& viewPosition) const;

    SLines m_lines;
    bool m_bShownOnce = false;
    double m_dUnitMs = 1000.0;     // ms per unit of the time axis
    double m_dFullMs = 1000.0;     // the time axis' top, in ms, not zoomed
    bool m_bZoomed = false;
    double m_dViewFromMs = 0;
    double m_dViewToMs = 0;
    // A drag under way: where it started, and the range it started from.
    std::optional<QPoint> m_dragFrom;
    double m_dDragFromMs = 0;
    bool m_bDragged = false;
    std::function<void(const SPoint&)> m_onPointClicked;
    std::function<void()> m_onViewChanged;
    QSet<QAbstractSeries*> m_setHidden;
    bool m_bThreshold = false;
    std::optional<SPoint> m_selected;
    QScatterSeries* m_pSelected = nullptr;
    double m_dTopMs = 0;           // top of the response axis
    QValueAxis* m_pTimeAxis = nullptr;
    QValueAxis* m_pResponseAxis = nullptr;
    std::vector<QLineSeries*> m_vecLines;
    QLineSeries* m_pThresholdLine = nullptr;
    QScatterSeries* m_pSlowMarks = nullptr;
    QScatterSeries* m_pFailedMarks = nullptr;
    QScatterSeries* m_pCheckMarks = nullptr;  // "Check failed": answered, but an Expect or Capture failed
    // What each series shows, for the tooltips.
    std::vector<std::vector<SPoint>> m_vecShownLines;
    std::vector<SPoint> m_vecShownSlow;
    std::vector<SPoint> m_vecShownFailed;
    std::vector<SPoint> m_vecShownChecks;
    std::vector<CCheckAliveResult> m_vecWaits;
    double m_dBaseMs = -1;
    QString m_strBaseCaption;
    CResponseTimeChartSideLegend* m_pSideLegend = nullptr;  // child widget
    bool m_bBeside = false;
    QMargins m_defaultMargins;
    std::vector<QIcon> m_vecLineIcons;  // per colour
    std::vector<QIcon> m_vecMarkIcons;  // Slow, Failures, Check failed, Threshold
    std::vector<QAbstractSeries*> m_vecPinned;  // the series of the side legend's pinned entries
    bool m_bChecks = false;  // the run has a response whose checks failed
};
