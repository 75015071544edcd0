#include "DlgFixture.h"
#include "GuiTestUtil.h"

#include "../LogText.h"
#include "../LoggedRequests.h"
#include "CTestResponder.h"

#include "ui/CRequestListModel.h"
#include "ui/CResponseTimeChart.h"
#include "ui/CResponseTimeChartSideLegend.h"
#include "ui/CResponseTimeHistogram.h"
#include "ui/CResultsChartData.h"
#include "ui/CResultsTable.h"
#include "ui/CUrlNames.h"
#include "ui/CResultsWindow.h"

#include "engine/StatisticsTable.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QBarCategoryAxis>
#include <QBarSet>
#include <QComboBox>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QScreen>
#include <QScrollArea>
#include <QTableView>
#include <QValueAxis>
#include <QChart>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineEdit>
#include <QListWidget>
#include <QLineSeries>
#include <QScatterSeries>
#include <QStackedBarSeries>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QPushButton>
#include <QTest>
#include <QTextStream>
#include <QToolTip>

#include <algorithm>
#include <functional>
#include <cmath>
#include <map>
#include <thread>
#include <vector>

namespace {

const QString kUrlA = QStringLiteral("http://127.0.0.1:8080/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0");
const QString kUrlB = QStringLiteral("http://127.0.0.1:8081/cgi,bin/\"status\"");  // needs quoting in CSV
constexpr int kThresholdMs = 300;

CRequestResult Result(int nIndex, const QString& strUrl, std::int64_t nAtMs, std::int64_t nTimeMs,
                      ERequestOutcome outcome, int nStatus)
{
    CRequestResult result;
    result.nIndex = nIndex;
    result.nPass = (nIndex + 1) / 2;
    result.strUrl = strUrl;
    result.nAtMs = nAtMs;
    result.nTimeMs = nTimeMs;
    result.outcome = outcome;
    result.nStatus = nStatus;
    return result;
}

// 400 requests, every 25 ms, alternating between the two URLs: times spread
// over 20..419 ms (slow from 300 on), with a timeout, a failure and a
// request that was not sent among them, and two answers whose checks failed.
std::vector<CRequestResult> SampleRun()
{
    std::vector<CRequestResult> results;
    for (int i = 1; i <= 400; ++i) {
        const QString& strUrl = i % 2 ? kUrlA : kUrlB;
        std::int64_t nTimeMs = 20 + (i * 37) % 400;
        ERequestOutcome outcome = nTimeMs >= kThresholdMs ? ERequestOutcome::Slow : ERequestOutcome::Ok;
        int nStatus = 200;
        if (i == 101) {
            outcome = ERequestOutcome::Timeout;
            nTimeMs = 10000;
            nStatus = -1;
        } else if (i == 202) {
            outcome = ERequestOutcome::Failed;
            nStatus = -1;
        } else if (i == 303) {
            outcome = ERequestOutcome::NotSent;
            nTimeMs = 0;
            nStatus = -1;
        }
        results.push_back(Result(i, strUrl, 25LL * (i - 1), nTimeMs, outcome, nStatus));
        if (i == 151 || i == 250) {
            results.back().nChecks = 2;
            results.back().nChecksFailed = 1;
            results.back().bPass = false;
            results.back().strReason = QStringLiteral("expected field pan == 30 ± 1, got 12");
        }
    }
    return results;
}

CRunStartInfo StartInfo()
{
    CRunStartInfo info;
    info.strScript = QStringLiteral("sample.cmf");
    info.nThresholdMs = kThresholdMs;
    return info;
}

// The table's figures for some results, worked out here by sorting: nearest
// rank for the median and the 95th percentile, over the requests that had a
// time (all but those not sent).
QStringList ExpectedRow(const QString& strName, const std::vector<CRequestResult>& results)
{
    std::map<ERequestOutcome, int> counts;
    int nChecksFailed = 0;
    std::vector<std::int64_t> times;  // of the responses: ok and slow
    std::int64_t nFirstMs = results.front().nAtMs;
    std::int64_t nLastMs = 0;
    for (const CRequestResult& result : results) {
        ++counts[result.outcome];
        if (result.outcome == ERequestOutcome::Ok || result.outcome == ERequestOutcome::Slow) {
            times.push_back(result.nTimeMs);
            nChecksFailed += result.nChecksFailed > 0 ? 1 : 0;
        }
        nFirstMs = std::min(nFirstMs, result.nAtMs);
        nLastMs = std::max(nLastMs, result.nAtMs + result.nTimeMs);
    }
    const int nErrors =
        counts[ERequestOutcome::Timeout] + counts[ERequestOutcome::Failed] + counts[ERequestOutcome::NotSent];
    std::sort(times.begin(), times.end());
    const auto n = double(times.size());
    auto Rank = [&](double dShare) { return QString::number(times[std::size_t(std::ceil(dShare * n)) - 1]); };
    double dSum = 0;
    for (std::int64_t nMs : times)
        dSum += double(nMs);
    return {strName,
            QString::number(results.size()),
            QString::number(counts[ERequestOutcome::Ok]),
            QString::number(counts[ERequestOutcome::Slow]),
            QString::number(counts[ERequestOutcome::Timeout]),
            QString::number(counts[ERequestOutcome::Failed]),
            QString::number(counts[ERequestOutcome::NotSent]),
            QString::number(nChecksFailed),
            QString::number(100.0 * nErrors / double(results.size()), 'f', 1),
            nLastMs > nFirstMs ? QString::number(double(results.size()) * 1000.0 / double(nLastMs - nFirstMs), 'f', 1)
                               : QString(),
            QString::number(times.front()),
            Rank(0.5),
            Rank(0.95),
            Rank(0.99),
            QString::number(times.back()),
            QString::number(dSum / n, 'f', 1)};
}

std::vector<CRequestResult> OfUrl(const std::vector<CRequestResult>& results, const QString& strUrl)
{
    std::vector<CRequestResult> selected;
    std::copy_if(results.begin(), results.end(), std::back_inserter(selected),
                 [&](const CRequestResult& result) { return result.strUrl == strUrl; });
    return selected;
}

// A row's cells as the table view shows them.
QStringList TableRow(const QTableView* pTable, int nRow)
{
    QStringList cells;
    const QAbstractItemModel* pModel = pTable->model();
    for (int nColumn = 0; nColumn < pModel->columnCount(); ++nColumn)
        cells << pModel->index(nRow, nColumn).data().toString();
    return cells;
}

template <typename T>
T* SeriesNamed(QChart* pChart, const QString& strName)
{
    for (QAbstractSeries* pSeries : pChart->series())
        if (pSeries->name() == strName)
            return qobject_cast<T*>(pSeries);
    return nullptr;
}

// A shown results window that a worker thread reports a run to.
class ResultsWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_window));
    }

    // Reports the run from a worker thread and waits until the window shows
    // all of it.
    void ReportRun(const std::vector<CRequestResult>& results, bool bEnd = true)
    {
        std::thread worker([&] {
            IRunListener& listener = m_window.Listener();
            listener.OnRunStart(StartInfo());
            for (const CRequestResult& result : results)
                listener.OnRequest(result);
            if (bEnd)
                listener.OnRunEnd(CRunEndInfo());
        });
        worker.join();
        ASSERT_TRUE(WaitFor([&] { return m_window.Statistics().total.nCount == results.size(); }, 20000))
            << m_window.Statistics().total.nCount;
    }

    CResultsWindow m_window;
};

}  // namespace

TEST_F(ResultsWindow, AWorkersResultsFillTheChartHistogramAndTable)
{
    const std::vector<CRequestResult> results = SampleRun();
    ReportRun(results);
    auto Count = [&](ERequestOutcome outcome) {
        return double(std::count_if(results.begin(), results.end(),
                                    [&](const CRequestResult& r) { return r.outcome == outcome; }));
    };
    auto IsResponse = [](const CRequestResult& r) {
        return r.outcome == ERequestOutcome::Ok || r.outcome == ERequestOutcome::Slow;
    };

    // A line per URL through each response, where its request started.
    QChart* pChart = m_window.TimeChart()->chart();
    for (const QString& strUrl : {kUrlA, kUrlB}) {
        auto* pLine = SeriesNamed<QLineSeries>(pChart, strUrl);
        ASSERT_NE(pLine, nullptr) << qPrintable(strUrl);
        QList<QPointF> expected;
        for (const CRequestResult& result : OfUrl(results, strUrl))
            if (IsResponse(result))
                expected.append(QPointF(double(result.nAtMs) / 1000.0, double(result.nTimeMs)));
        EXPECT_EQ(pLine->points(), expected) << qPrintable(strUrl);
    }
    // Marks on every slow response and on the timeout (at the top of the
    // response axis, which reaches the slowest response), the failure and
    // the request not sent; the threshold across the chart.
    auto* pSlow = SeriesNamed<QScatterSeries>(pChart, QStringLiteral("Slow"));
    auto* pFailed = SeriesNamed<QScatterSeries>(pChart, QStringLiteral("Failures"));
    auto* pThreshold = SeriesNamed<QLineSeries>(pChart, QStringLiteral("Threshold (300 ms)"));
    ASSERT_TRUE(pSlow && pFailed && pThreshold);
    EXPECT_EQ(pSlow->count(), Count(ERequestOutcome::Slow));
    const double dTop = pChart->axes(Qt::Vertical).value(0)->property("max").toDouble();
    EXPECT_GE(dTop, 419);
    EXPECT_LT(dTop, 10000);
    QList<QPointF> failures = pFailed->points();
    std::sort(failures.begin(), failures.end(), [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); });
    ASSERT_EQ(failures.size(), 3);
    EXPECT_EQ(failures[0].x(), 2.5);
    EXPECT_GT(failures[0].y(), 419);
    EXPECT_LE(failures[0].y(), dTop);
    EXPECT_EQ(failures[1], QPointF(5.025, double(results[201].nTimeMs)));
    EXPECT_EQ(failures[2], QPointF(7.55, 0));
    // Answers whose checks failed: on their URL's line, and marked apart.
    auto* pChecks = SeriesNamed<QScatterSeries>(pChart, QStringLiteral("Check failed"));
    ASSERT_NE(pChecks, nullptr);
    QList<QPointF> checks = pChecks->points();
    std::sort(checks.begin(), checks.end(), [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); });
    EXPECT_EQ(checks, (QList<QPointF>{QPointF(3.75, double(results[150].nTimeMs)),
                                      QPointF(6.225, double(results[249].nTimeMs))}));
    ASSERT_EQ(pThreshold->count(), 2);
    EXPECT_EQ(pThreshold->at(0).y(), 300);
    EXPECT_EQ(pThreshold->at(1).y(), 300);

    // The histogram counts each response once, ok or slow.
    auto* pBars = qobject_cast<QStackedBarSeries*>(m_window.Histogram()->chart()->series().value(0));
    ASSERT_NE(pBars, nullptr);
    std::vector<double> sums;
    for (QBarSet* pSet : pBars->barSets())
        sums.push_back(pSet->sum());
    EXPECT_EQ(sums, (std::vector<double>{Count(ERequestOutcome::Ok), Count(ERequestOutcome::Slow),
                                         Count(ERequestOutcome::Timeout) + Count(ERequestOutcome::Failed) +
                                             Count(ERequestOutcome::NotSent)}));

    // The statistics per URL and in total.
    CResultsTable* pTable = m_window.Table();
    ASSERT_EQ(pTable->RowCount(), 3);
    EXPECT_EQ(TableRow(pTable, 0), ExpectedRow(QStringLiteral("Total"), results)) << "the total first";
    EXPECT_EQ(TableRow(pTable, 1),
              ExpectedRow(QStringLiteral("/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0"), OfUrl(results, kUrlA)));
    EXPECT_EQ(TableRow(pTable, 2), ExpectedRow(QStringLiteral("/cgi,bin/\"status\""), OfUrl(results, kUrlB)));
    EXPECT_EQ(pTable->model()->index(1, 0).data(Qt::ToolTipRole).toString(), kUrlA);
    // Beside the main window at 1366x768 the whole path and query show: the
    // figures take no more room than their captions ask.
    pTable->resize(760, pTable->height());
    EXPECT_GE(pTable->columnWidth(0),
              pTable->fontMetrics().horizontalAdvance(QStringLiteral("/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0")) + 8);
    // On a narrow window the URL column keeps a readable width; the figures scroll.
    pTable->resize(600, pTable->height());
    EXPECT_GE(pTable->columnWidth(0), pTable->fontMetrics().averageCharWidth() * CResultsTable::kLeastUrlChars);

    // Pointing near the timeout's mark tells what it was; far from any
    // request, nothing.
    CResponseTimeChart* pView = m_window.TimeChart();
    const QPoint mark = pView->mapFromScene(pChart->mapToScene(pChart->mapToPosition(failures[0], pFailed)));
    QTest::mouseMove(pView->viewport(), mark + QPoint(3, 2));
    EXPECT_TRUE(WaitFor([] { return QToolTip::isVisible(); }, 5000));
    const QString strTimeoutTip = kUrlA + QStringLiteral("\nStatus: no response\nTime: 10000 ms (timeout)\n"
                                                         "request 101, pass 51, at 2.500 s");
    EXPECT_EQ(QToolTip::text(), strTimeoutTip);
    // The mouse resting there, the tooltip stays (the view's own tooltip
    // event comes after a while).
    QTest::qWait(2000);
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), strTimeoutTip);
    auto ViewPosition = [&](const QPointF& chartPosition) {
        return pView->mapFromScene(pChart->mapToScene(chartPosition));
    };
    EXPECT_EQ(pView->ToolTipAt(ViewPosition(pChart->plotArea().topLeft() + QPointF(2, 2))), QString());
    auto* pLineB = SeriesNamed<QLineSeries>(pChart, kUrlB);
    EXPECT_EQ(pView->ToolTipAt(ViewPosition(pChart->mapToPosition(pLineB->at(0), pLineB))),
              kUrlB + QStringLiteral("\nStatus: 200\nTime: %1 ms\nrequest 2, pass 1, at 0.025 s")
                          .arg(results[1].nTimeMs));
}

TEST_F(ResultsWindow, EachLegendMarkerShowsWhatItsSeriesDraws)
{
    ReportRun(SampleRun());  // adds the URLs' lines, which makes the markers anew
    QChart* pChart = m_window.TimeChart()->chart();
    const auto Marker = [&](QAbstractSeries* pSeries) -> QLegendMarker* {
        const QList<QLegendMarker*> markers = pChart->legend()->markers(pSeries);
        return markers.size() == 1 ? markers.front() : nullptr;
    };
    QLegendMarker* pSlow = Marker(SeriesNamed<QScatterSeries>(pChart, QStringLiteral("Slow")));
    QLegendMarker* pFailed = Marker(SeriesNamed<QScatterSeries>(pChart, QStringLiteral("Failures")));
    QLegendMarker* pChecks = Marker(SeriesNamed<QScatterSeries>(pChart, QStringLiteral("Check failed")));
    QLegendMarker* pThreshold = Marker(SeriesNamed<QLineSeries>(pChart, QStringLiteral("Threshold (300 ms)")));
    QLegendMarker* pLineA = Marker(SeriesNamed<QLineSeries>(pChart, kUrlA));
    ASSERT_TRUE(pSlow && pFailed && pChecks && pThreshold && pLineA);
    EXPECT_EQ(pSlow->shape(), QLegend::MarkerShapeTriangle);
    EXPECT_EQ(pFailed->shape(), QLegend::MarkerShapeRotatedRectangle);
    EXPECT_EQ(pThreshold->shape(), QLegend::MarkerShapeFromSeries) << "a line";
    EXPECT_EQ(pLineA->shape(), QLegend::MarkerShapeFromSeries);
    EXPECT_NE(pSlow->brush().color(), pFailed->brush().color());
    EXPECT_EQ(pSlow->brush().color(), QColor(0xf0, 0x8c, 0x00));
    EXPECT_EQ(pChecks->brush().color(), QColor(0x6a, 0x1b, 0x9a)) << "a colour of its own";
}

TEST_F(ResultsWindow, TheNextRunStartClearsTheLastOne)
{
    ReportRun(SampleRun());
    ASSERT_EQ(m_window.Table()->RowCount(), 3);

    // The next run's start drops the last one: its own first result is all the window shows.
    const std::vector<CRequestResult> next = {Result(1, kUrlB, 0, 42, ERequestOutcome::Ok, 200)};
    ReportRun(next, false);
    CResultsTable* pTable = m_window.Table();
    ASSERT_EQ(pTable->RowCount(), 2);
    EXPECT_EQ(TableRow(pTable, 0), ExpectedRow(QStringLiteral("Total"), next));
    EXPECT_EQ(TableRow(pTable, 1), ExpectedRow(QStringLiteral("/cgi,bin/\"status\""), next));
    QChart* pChart = m_window.TimeChart()->chart();
    EXPECT_EQ(SeriesNamed<QLineSeries>(pChart, kUrlA), nullptr);
    auto* pLine = SeriesNamed<QLineSeries>(pChart, kUrlB);
    ASSERT_NE(pLine, nullptr);
    EXPECT_EQ(pLine->points(), QList<QPointF>{QPointF(0, 42)});
    EXPECT_EQ(SeriesNamed<QScatterSeries>(pChart, QStringLiteral("Slow"))->count(), 0);
    EXPECT_EQ(SeriesNamed<QScatterSeries>(pChart, QStringLiteral("Failures"))->count(), 0);
}

TEST_F(ResultsWindow, SavesTheTableAsCsvAndTheChartAsPng)
{
    const std::vector<CRequestResult> results = SampleRun();
    ReportRun(results);
    QTemporaryDir dir;
    std::vector<CUserPrompts::SFileRequest> requests;
    QString strNextPath;
    QStringList errors;
    CUserPrompts& prompts = m_window.UserPrompts();
    prompts.ChooseFile = [&](QWidget*, const CUserPrompts::SFileRequest& request) {
        requests.push_back(request);
        return strNextPath;
    };
    prompts.ShowError = [&](QWidget*, const QString& strText) { errors << strText; };

    strNextPath = dir.filePath(QStringLiteral("stats.csv"));
    m_window.OnSaveTable();
    QFile csv(strNextPath);
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    auto CsvLine = [](const QStringList& cells) { return cells.join(QLatin1Char(',')) + QStringLiteral("\r\n"); };
    const QString strQuotedUrlB = QStringLiteral("\"http://127.0.0.1:8081/cgi,bin/\"\"status\"\"\"");
    EXPECT_EQ(QString::fromUtf8(csv.readAll()),
              QStringLiteral("URL,Count,OK,Slow,Timeout,Failed,Not sent,Checks failed,Error %,Req/s,Min (ms),Median (ms),P95 (ms),"
                             "P99 (ms),Max (ms),Mean (ms)\r\n") +
                  CsvLine(ExpectedRow(kUrlA, OfUrl(results, kUrlA))) +
                  CsvLine(ExpectedRow(strQuotedUrlB, OfUrl(results, kUrlB))) +
                  CsvLine(ExpectedRow(QStringLiteral("Total"), results)));

    strNextPath = dir.filePath(QStringLiteral("chart.png"));
    m_window.OnSaveChart();
    // The picture of the chart: its legend shows both URLs' colours.
    const QImage image(strNextPath, "PNG");
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), m_window.TimeChart()->size());
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    auto Shows = [&rgb](const QColor& colour) {
        for (int y = 0; y < rgb.height(); ++y) {
            const auto* pLine = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
            if (std::find(pLine, pLine + rgb.width(), colour.rgb()) != pLine + rgb.width())
                return true;
        }
        return false;
    };
    EXPECT_TRUE(Shows(CResponseTimeChart::UrlColour(0)) && Shows(CResponseTimeChart::UrlColour(1)));

    // A file that cannot be written gets a message.
    strNextPath = dir.filePath(QStringLiteral("missing/chart.png"));
    m_window.OnSaveChart();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].strDefaultSuffix, QStringLiteral("csv"));
    EXPECT_EQ(requests[1].strDefaultSuffix, QStringLiteral("png"));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].startsWith(QStringLiteral("Cannot save ") + strNextPath)) << qPrintable(errors[0]);
}

namespace {

// The requests of the main window's last run as its log box tells them.
std::vector<CRequestResult> LoggedResults(const QString& strLog)
{
    const std::map<QString, ERequestOutcome> outcomes{{QStringLiteral("ok"), ERequestOutcome::Ok},
                                                      {QStringLiteral("slow"), ERequestOutcome::Slow},
                                                      {QStringLiteral("timeout"), ERequestOutcome::Timeout},
                                                      {QStringLiteral("failed"), ERequestOutcome::Failed},
                                                      {QStringLiteral("not-sent"), ERequestOutcome::NotSent}};
    std::vector<CRequestResult> results;
    for (const CLoggedRequest& logged : ReadLoggedRequests(WithoutStamps(strLog).split(QStringLiteral("\r\n")))) {
        CRequestResult result;
        result.strUrl = logged.strUrl;
        result.nTimeMs = logged.nTimeMs;
        result.outcome = outcomes.at(logged.Outcome());
        results.push_back(result);
    }
    return results;
}

QStringList UrlsOf(const std::vector<CRequestResult>& results)
{
    QStringList urls;
    for (const CRequestResult& result : results)
        if (!urls.contains(result.strUrl))
            urls << result.strUrl;
    return urls;
}

}  // namespace

// View -> Results (Ctrl+R) shows the main window's own results window beside
// it; every run reports to it, and it keeps a run's figures until the next
// "Send".
class ResultsOfTheMainWindow : public DlgFixture {
protected:
    // Clicks "Send" and waits until the results window shows all of the run.
    std::vector<CRequestResult> Run()
    {
        QTest::mouseClick(Ctl<QPushButton>(1002), Qt::LeftButton);
        EXPECT_TRUE(WaitForRunEnd());
        const std::vector<CRequestResult> logged = LoggedResults(Log());
        CResultsWindow& window = m_pDlg->ResultsWindow();
        EXPECT_TRUE(WaitFor([&] { return window.Statistics().total.nCount == logged.size(); }, 20000))
            << window.Statistics().total.nCount << " of " << logged.size();
        return logged;
    }
    // The table's rows: one per URL in the order of first use, then the total.
    // The log does not say when each request started, so its rate is not compared.
    void ExpectTableOf(const std::vector<CRequestResult>& logged)
    {
        CResultsTable* pTable = m_pDlg->ResultsWindow().Table();
        const QStringList urls = UrlsOf(logged);
        ASSERT_EQ(pTable->RowCount(), urls.size() + 1);
        auto WithoutRate = [](QStringList cells) {
            cells.removeAt(StatisticsTable::Columns().indexOf(QStringLiteral("Req/s")));
            return cells;
        };
        CUrlNames names;
        for (const QString& strUrl : urls)
            names.Add(strUrl);
        EXPECT_EQ(WithoutRate(TableRow(pTable, 0)), WithoutRate(ExpectedRow(QStringLiteral("Total"), logged)));
        for (int nRow = 0; nRow < urls.size(); ++nRow)
            EXPECT_EQ(WithoutRate(TableRow(pTable, nRow + 1)),
                      WithoutRate(ExpectedRow(names.Name(nRow), OfUrl(logged, urls[nRow]))));
    }
    QString Summary() const { return m_pDlg->ResultsWindow().findChild<QLabel*>(QStringLiteral("summary"))->text(); }
    QChart* Chart() const { return m_pDlg->ResultsWindow().TimeChart()->chart(); }
};

TEST_F(ResultsOfTheMainWindow, CtrlRShowsTheRunsFiguresBesideItUntilTheNextSend)
{
    const QByteArray kOk = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
    CTestResponder fast(kOk);
    CTestResponder slow(kOk, 150);
    QTemporaryDir dir;
    const QString strFile = dir.filePath(QStringLiteral("soak.cmf"));
    {
        QFile file(strFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        QTextStream(&file) << QStringLiteral("While(2)\nhttp://127.0.0.1:%1/httpapi/a\nhttp://127.0.0.1:%2/httpapi/b\nEnd\n")
                                  .arg(fast.Port())
                                  .arg(slow.Port());
    }
    ASSERT_TRUE(m_pDlg->LoadCommandFile(strFile));
    // Before any run the chart shows the limit in the box.
    Ctl<QLineEdit>(1025)->setText(QStringLiteral("50"));
    CResultsWindow& window = m_pDlg->ResultsWindow();
    EXPECT_FALSE(window.isVisible());

    // At the screen's left edge the main window leaves room to its right.
    m_pDlg->move(0, 0);
    QTest::keyClick(m_pDlg->Control(1000), Qt::Key_R, Qt::ControlModifier);
    ASSERT_TRUE(window.isVisible());
    EXPECT_EQ(window.frameGeometry().left(), m_pDlg->frameGeometry().right() + 1);
    EXPECT_EQ(window.frameGeometry().top(), m_pDlg->frameGeometry().top());
    EXPECT_NE(SeriesNamed<QLineSeries>(Chart(), QStringLiteral("Threshold (50 ms)")), nullptr);

    const std::vector<CRequestResult> first = Run();
    ASSERT_EQ(first.size(), 4u);
    EXPECT_EQ(std::count_if(first.begin(), first.end(),
                            [](const CRequestResult& r) { return r.outcome == ERequestOutcome::Slow; }),
              2);
    ExpectTableOf(first);
    EXPECT_TRUE(Summary().startsWith(QStringLiteral("soak.cmf"))) << qPrintable(Summary());
    // The run keeps the limit its responses were judged by.
    Ctl<QLineEdit>(1025)->setText(QStringLiteral("1000"));
    window.Flush();
    EXPECT_NE(SeriesNamed<QLineSeries>(Chart(), QStringLiteral("Threshold (50 ms)")), nullptr);

    // "Clear command" forgets the file; the next Send drops the last run.
    QTest::mouseClick(Ctl<QPushButton>(1004), Qt::LeftButton);
    m_pDlg->CommandBox().SetWindowText(QStringLiteral("http://127.0.0.1:%1/httpapi/c").arg(fast.Port()));
    const std::vector<CRequestResult> second = Run();
    ASSERT_EQ(second.size(), 1u);
    ExpectTableOf(second);
    EXPECT_TRUE(Summary().startsWith(QStringLiteral("Typed script"))) << qPrintable(Summary());
    EXPECT_NE(SeriesNamed<QLineSeries>(Chart(), QStringLiteral("Threshold (1000 ms)")), nullptr);

    // Closing the main window closes it too.
    m_pDlg->close();
    EXPECT_FALSE(window.isVisible());
}

// A long run is drawn from a bounded number of points: per bucket of time,
// its fastest and its slowest response, its first failure and its first
// failed check.
TEST(ResultsChartData, ALongRunKeepsEachBucketsFastestSlowestAndFirstFailure)
{
    CResultsChartData data;
    data.AddUrl();
    std::vector<CResultsChartData::SPoint> points;
    for (int i = 1; i <= 200000; ++i) {
        CResultsChartData::SPoint point;
        point.nIndex = i;
        point.nAtMs = 3LL * i;
        point.nTimeMs = 50 + (i * 7919LL) % 997;  // no time twice within 997 requests
        point.outcome = i % 50000 == 0 ? ERequestOutcome::Timeout : ERequestOutcome::Ok;
        point.bCheckFailed = i % 40000 == 7;  // answered, but its checks failed
        points.push_back(point);
        data.Add(point);
    }
    EXPECT_EQ(data.Count(), 200000u);
    const std::int64_t nWidthMs = data.BucketWidthMs();
    EXPECT_LT(600000 / nWidthMs, CResultsChartData::kBuckets);

    // The buckets' extremes, worked out here: (start, time) in time order.
    std::map<std::int64_t, std::pair<CResultsChartData::SPoint, CResultsChartData::SPoint>> extremes;
    for (const CResultsChartData::SPoint& point : points) {
        if (point.outcome != ERequestOutcome::Ok)
            continue;
        auto [it, bNew] = extremes.try_emplace(point.nAtMs / nWidthMs, point, point);
        if (point.nTimeMs < it->second.first.nTimeMs)
            it->second.first = point;
        if (point.nTimeMs > it->second.second.nTimeMs)
            it->second.second = point;
    }
    std::vector<std::pair<std::int64_t, std::int64_t>> expected;
    for (const auto& [nBucket, pair] : extremes) {
        const auto& [fastest, slowest] = pair;
        const auto& first = fastest.nAtMs < slowest.nAtMs ? fastest : slowest;
        const auto& second = fastest.nAtMs < slowest.nAtMs ? slowest : fastest;
        expected.emplace_back(first.nAtMs, first.nTimeMs);
        expected.emplace_back(second.nAtMs, second.nTimeMs);
    }
    std::vector<std::pair<std::int64_t, std::int64_t>> line;
    for (const CResultsChartData::SPoint& point : data.Line(0))
        line.emplace_back(point.nAtMs, point.nTimeMs);
    EXPECT_EQ(line, expected);

    std::vector<CResultsChartData::SPoint> slow, failed, checks;
    data.Marks(slow, failed, checks);
    EXPECT_TRUE(slow.empty());
    ASSERT_EQ(failed.size(), 4u);
    EXPECT_EQ(failed[3].nIndex, 200000);
    // Each failed check kept through the buckets' merging, apart.
    std::vector<int> checked;
    for (const CResultsChartData::SPoint& point : checks)
        checked.push_back(point.nIndex);
    EXPECT_EQ(checked, (std::vector<int>{7, 40007, 80007, 120007, 160007}));
}

TEST(RequestList, TheFilterShowsItsRowsAndTheCsvTheRowsShown)
{
    // Requests 1..6 over two URLs, one slow that the rules fail, a timeout
    // and one not sent.
    using SPoint = CRequestListModel::SPoint;
    auto Point = [](int nIndex, int nUrl, std::int64_t nTimeMs, ERequestOutcome outcome, int nStatus, bool bPass) {
        SPoint point;
        point.nIndex = nIndex;
        point.nUrl = nUrl;
        point.nAtMs = 100LL * (nIndex - 1);
        point.nTimeMs = nTimeMs;
        point.outcome = outcome;
        point.nStatus = std::int16_t(nStatus);
        point.bPass = bPass;
        return point;
    };
    CRequestListModel model;
    model.AddUrl(kUrlA);
    model.AddUrl(kUrlB);
    model.Append({Point(1, 0, 12, ERequestOutcome::Ok, 200, true), Point(2, 1, 350, ERequestOutcome::Slow, 200, true),
                  Point(3, 0, 5000, ERequestOutcome::Timeout, -1, false)});
    SPoint checked = Point(4, 1, 20, ERequestOutcome::Ok, 404, false);
    checked.bCheckFailed = true;
    model.Append({checked, Point(5, 0, 0, ERequestOutcome::NotSent, -1, false),
                  Point(6, 0, 410, ERequestOutcome::Slow, 200, false)});
    struct SCase {
        CRequestListModel::EFilter eFilter;
        int nUrl;
        std::vector<int> indices;  // the rows' requests
    };
    using EFilter = CRequestListModel::EFilter;
    const SCase cases[] = {{EFilter::All, -1, {1, 2, 3, 4, 5, 6}},
                           {EFilter::Failed, -1, {3, 4, 5, 6}},
                           {EFilter::Slow, -1, {2, 6}},
                           {EFilter::Checks, -1, {4}},
                           {EFilter::Url, 1, {2, 4}},
                           {EFilter::Url, 0, {1, 3, 5, 6}}};
    for (const SCase& c : cases) {
        model.SetFilter(c.eFilter, c.nUrl);
        std::vector<int> shown;
        for (int nRow = 0; nRow < model.rowCount(); ++nRow)
            shown.push_back(model.RequestAt(nRow)->nIndex);
        EXPECT_EQ(shown, c.indices) << int(c.eFilter) << " " << c.nUrl;
        for (int nIndex = 1; nIndex <= 6; ++nIndex) {
            const auto it = std::find(c.indices.begin(), c.indices.end(), nIndex);
            EXPECT_EQ(model.RowOf(nIndex), it == c.indices.end() ? -1 : int(it - c.indices.begin()));
        }
    }
    // Appended requests join the filtered rows as they come.
    model.Append({Point(7, 1, 30, ERequestOutcome::Ok, 200, true)});
    EXPECT_EQ(model.rowCount(), 4) << "URL 0's filter";
    model.SetFilter(EFilter::Url, 1);
    EXPECT_EQ(model.rowCount(), 3);

    model.SetFilter(EFilter::Failed);
    EXPECT_EQ(model.data(model.index(0, CRequestListModel::kOutcome)).toString(), QStringLiteral("timeout"));
    EXPECT_EQ(model.Csv(),
              QStringLiteral("#,At (ms),URL,Status,Response (ms),Outcome\r\n") +
                  QStringLiteral("3,200,%1,,5000,timeout\r\n").arg(kUrlA) +
                  QStringLiteral("4,300,\"http://127.0.0.1:8081/cgi,bin/\"\"status\"\"\",404,20,\"ok, check failed\"\r\n") +
                  QStringLiteral("5,400,%1,,,not-sent\r\n").arg(kUrlA) +
                  QStringLiteral("6,500,%1,200,410,\"slow, failed\"\r\n").arg(kUrlA));
}

TEST(ResponseTimeChart, UrlsAreNamedByPathAndQueryUnlessOnlyTheHostOrPortTellsThemApart)
{
    const QString strA = QStringLiteral("http://127.0.0.1:8080/a?x=1");
    const QString strB = QStringLiteral("http://127.0.0.1:8081/b");
    const QString strA2 = QStringLiteral("https://127.0.0.2/a?x=1");
    // A sweep's names in a legend at 14 pt, cut to nCutTo pixels: they keep
    // what tells them apart, the end of their query (strShort: how the
    // label starts, strEnd: how it ends).
    const QString strPreset = QStringLiteral("http://127.0.0.1:8080/httpapi/SendPTZ?action=sendptz&PTZ_PRESET_GOTO=");
    const QStringList sweep = {strPreset + QStringLiteral("10"), strPreset + QStringLiteral("20")};
    struct SCase {
        QString strUrl;
        QStringList urls;
        QString strShort;
        int nCutTo = 0;
        QString strEnd;
    };
    const SCase cases[] = {
        {sweep[1], sweep, QStringLiteral("\u2026"), 60, QStringLiteral("=20")},
        {sweep[0], sweep, QStringLiteral("/httpapi"), 340, QStringLiteral("\u2026PTZ_PRESET_GOTO=10")},
        {strA, {strA}, QStringLiteral("/a?x=1"), 0, {}},
        {strA, {strA, strB}, QStringLiteral("/a?x=1"), 0, {}},  // other ports, other paths
        {strB, {strA, strB, strA2}, QStringLiteral("/b"), 0, {}},
        {strA, {strA, strB, strA2}, QStringLiteral("127.0.0.1:8080/a?x=1"), 0, {}},
        {strA2, {strA, strA2}, QStringLiteral("127.0.0.2/a?x=1"), 0, {}},
        {QStringLiteral("http://127.0.0.1:8080"), {QStringLiteral("http://127.0.0.1:8080")}, QStringLiteral("/"), 0, {}},
        {QStringLiteral("not a url"), {QStringLiteral("not a url")}, QStringLiteral("not a url"), 0, {}},
    };
    QFont font = QApplication::font();
    font.setPointSize(14);
    const QFontMetrics metrics(font);
    for (const SCase& c : cases) {
        if (c.nCutTo == 0) {
            EXPECT_EQ(CResponseTimeChart::ShortUrl(c.strUrl, c.urls), c.strShort) << qPrintable(c.strUrl);
            continue;
        }
        const QString strLabel = CResponseTimeChart::LegendLabel(c.strUrl, c.urls, metrics, c.nCutTo);
        EXPECT_TRUE(strLabel.startsWith(c.strShort) && strLabel.endsWith(c.strEnd)) << qPrintable(strLabel);
        EXPECT_LE(metrics.horizontalAdvance(strLabel), c.nCutTo) << qPrintable(strLabel);
    }
}

TEST_F(ResultsWindow, TimeoutsFailuresAndRequestsNotSentHaveBarsOfTheirOwn)
{
    ReportRun(SampleRun());  // one of each
    QChart* pChart = m_window.Histogram()->chart();
    auto* pBins = qobject_cast<QBarCategoryAxis*>(pChart->axes(Qt::Horizontal).value(0));
    auto* pBars = qobject_cast<QStackedBarSeries*>(pChart->series().value(0));
    ASSERT_TRUE(pBins && pBars);
    const QStringList categories = pBins->categories();
    ASSERT_GE(categories.size(), 4);
    EXPECT_EQ(categories.mid(categories.size() - 3),
              (QStringList{QStringLiteral("timeout"), QStringLiteral("failed"), QStringLiteral("not sent")}));
    QBarSet* pFailures = pBars->barSets().value(2);
    ASSERT_NE(pFailures, nullptr);
    const qsizetype nFirst = categories.size() - 3;
    EXPECT_EQ((QList<qreal>{pFailures->at(nFirst), pFailures->at(nFirst + 1), pFailures->at(nFirst + 2)}),
              (QList<qreal>{1, 1, 1}));
    EXPECT_EQ(pFailures->sum(), 3);
    EXPECT_EQ(pBars->barSets().value(0)->at(nFirst) + pBars->barSets().value(1)->at(nFirst), 0);
}

namespace {

// The texts of a chart the chart cut short ("...").
QStringList CutTexts(const QChartView* pView)
{
    QStringList cut;
    for (const QGraphicsItem* pItem : pView->scene()->items()) {
        QString strText;
        if (const auto* pText = dynamic_cast<const QGraphicsTextItem*>(pItem))
            strText = pText->toPlainText();
        else if (const auto* pSimple = dynamic_cast<const QGraphicsSimpleTextItem*>(pItem))
            strText = pSimple->text();
        if (pItem->isVisible() && strText.endsWith(QStringLiteral("...")))
            cut << strText;
    }
    return cut;
}

}  // namespace

TEST(ResultsWindowSize, ChartsKeepTheirAxisTextsWholeInALowWindow)
{
    // 1366 x 720 with a 12 pt desktop font, and 1920 x 1080 at scale 2 with a
    // panel (960 x 520 logical): the window's client area there.
    const QFont desktopFont = QApplication::font();
    struct SCase {
        int nPoints;
        QSize client;
    };
    const SCase cases[] = {{12, QSize(1000, 620)}, {0, QSize(940, 450)}};
    for (const SCase& c : cases) {
        QFont font = desktopFont;
        if (c.nPoints > 0)
            font.setPointSize(c.nPoints);
        QApplication::setFont(font);
        {
            CResultsWindow window;
            window.resize(c.client);
            window.show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
            IRunListener& listener = window.Listener();
            listener.OnRunStart(StartInfo());
            for (const CRequestResult& result : SampleRun())
                listener.OnRequest(result);
            listener.OnRunEnd(CRunEndInfo());
            window.Flush();
            QTest::qWait(50);
            for (const QChartView* pChart : {static_cast<QChartView*>(window.TimeChart()),
                                             static_cast<QChartView*>(window.Histogram())}) {
                EXPECT_EQ(CutTexts(pChart).join(QLatin1Char('|')).toStdString(), "") << c.nPoints << " pt, " << c.client.width() << " x "
                                                           << c.client.height() << ", " << pChart->height() << " px";
            }
            EXPECT_GE(window.ChartsArea()->widget()->height(), window.ChartsArea()->viewport()->height());
        }
    }
    QApplication::setFont(desktopFont);
}

TEST_F(ResultsWindow, ARowPickedRingsItsPointAndAPointClickedPicksItsRow)
{
    ReportRun(SampleRun());
    QTableView* pList = m_window.RequestList();
    CResponseTimeChart* pView = m_window.TimeChart();
    QChart* pChart = pView->chart();
    auto* pRing = SeriesNamed<QScatterSeries>(pChart, QStringLiteral("Picked request"));
    ASSERT_NE(pRing, nullptr);
    EXPECT_EQ(pRing->count(), 0);
    pList->selectRow(9);  // request 10: 25 ms * 9, (10 * 37) % 400 + 20 ms
    ASSERT_EQ(pRing->count(), 1);
    EXPECT_EQ(pRing->at(0), QPointF(0.225, 390));

    // The slow-only filter hides request 2; clicking its point shows all
    // requests again and picks its row.
    m_window.RequestFilter()->setCurrentIndex(2);
    emit m_window.RequestFilter()->activated(2);
    const std::vector<CRequestResult> results = SampleRun();
    EXPECT_EQ(m_window.Requests()->rowCount(), std::count_if(results.begin(), results.end(), [](const auto& r) {
                  return r.outcome == ERequestOutcome::Slow;
              }));
    auto* pLineB = SeriesNamed<QLineSeries>(pChart, kUrlB);
    const QPoint point = pView->mapFromScene(pChart->mapToScene(pChart->mapToPosition(pLineB->at(0), pLineB)));
    QTest::mouseClick(pView->viewport(), Qt::LeftButton, {}, point);
    EXPECT_EQ(m_window.RequestFilter()->currentIndex(), 0);
    EXPECT_EQ(pList->currentIndex().row(), 1);
    EXPECT_EQ(pRing->at(0), QPointF(0.025, double(SampleRun()[1].nTimeMs)));

    // The wheel zooms the time axis in around the pointer; a double click
    // shows the whole run again.
    auto* pTimeAxis = qobject_cast<QValueAxis*>(pChart->axes(Qt::Horizontal).value(0));
    ASSERT_NE(pTimeAxis, nullptr);
    const double dFullMax = pTimeAxis->max();
    pView->ZoomBy(0.1, 5000);
    EXPECT_TRUE(pView->IsZoomed());
    EXPECT_NEAR(pTimeAxis->min(), 4.5, 1e-9);
    EXPECT_NEAR(pTimeAxis->max(), 5.5, 1e-9);
    // Every response in the stretch is drawn (requests 181 to 220 but the
    // failure 202), and one each side.
    EXPECT_EQ(pLineB->count() + SeriesNamed<QLineSeries>(pChart, kUrlA)->count(), 39 + 2);
    QTest::mouseDClick(pView->viewport(), Qt::LeftButton, {}, pView->viewport()->rect().center());
    EXPECT_FALSE(pView->IsZoomed());
    EXPECT_EQ(pTimeAxis->max(), dFullMax);

    // A click on a legend entry hides its series, a second one shows it again.
    auto* pSlow = SeriesNamed<QScatterSeries>(pChart, QStringLiteral("Slow"));
    QPoint slowEntry;
    auto FindSlowEntry = [&] {
        for (const QGraphicsItem* pItem : pView->scene()->items()) {
            const auto* pText = dynamic_cast<const QGraphicsTextItem*>(pItem);
            if (pText != nullptr && pText->isVisible() && pText->toPlainText() == QStringLiteral("Slow"))
                slowEntry = pView->mapFromScene(pText->mapToScene(pText->boundingRect().center()));
        }
        return !slowEntry.isNull();
    };
    EXPECT_TRUE(WaitFor(FindSlowEntry, 5000)) << "the legend is laid out";
    ASSERT_FALSE(slowEntry.isNull());
    QTest::mouseClick(pView->viewport(), Qt::LeftButton, {}, slowEntry);
    EXPECT_FALSE(pSlow->isVisible());
    QTest::mouseClick(pView->viewport(), Qt::LeftButton, {}, slowEntry);
    EXPECT_TRUE(pSlow->isVisible());
    pView->ToggleSeries(pLineB);
    EXPECT_FALSE(pLineB->isVisible());
    EXPECT_EQ(pView->ToolTipAt(pView->mapFromScene(pChart->mapToScene(pChart->mapToPosition(pLineB->at(0), pLineB)))),
              QString())
        << "a hidden line has no tooltips";
}

// A run's CheckAlive waits: each a band on the time chart from its start
// over its downtime, with its tooltip; a row per CheckAlive line under the
// statistics; the run limits and the waits in the status line.
TEST_F(ResultsWindow, CheckAliveWaitsAreBandsOnTheTimeAxisAndRowsUnderTheStatistics)
{
    auto Wait = [](int nIndex, int nLine, const QString& strPort, std::int64_t nAtMs, std::int64_t nDownMs,
                   int nAttempts, bool bStopped) {
        CCheckAliveResult wait;
        wait.nIndex = nIndex;
        wait.nLine = nLine;
        wait.strHost = QStringLiteral("127.0.0.1");
        wait.strPort = strPort;
        wait.nAtMs = nAtMs;
        wait.nDownMs = nDownMs;
        wait.nAttempts = nAttempts;
        wait.bStopped = bStopped;
        return wait;
    };
    const std::vector<CCheckAliveResult> waits{Wait(1, 2, QStringLiteral("8080"), 1000, 2500, 6, false),
                                               Wait(2, 2, QStringLiteral("8080"), 5000, 1200, 3, false),
                                               Wait(3, 2, QStringLiteral("8080"), 7000, 400, 1, true),
                                               Wait(4, 5, QStringLiteral("8081"), 12000, 900, 2, false)};
    CRunStartInfo info = StartInfo();
    info.strMaxDuration = QStringLiteral("10m");
    info.nMaxPasses = 500;
    IRunListener& listener = m_window.Listener();
    listener.OnRunStart(info);
    for (int i = 0; i < 10; ++i)
        listener.OnRequest(Result(i + 1, kUrlA, 1000LL * i, 20, ERequestOutcome::Ok, 200));
    for (const CCheckAliveResult& wait : waits)
        listener.OnCheckAlive(wait);
    listener.OnRunEnd(CRunEndInfo());
    m_window.Flush();

    EXPECT_TRUE(m_window.SummaryText().contains(QStringLiteral("limits: 10m, 500 passes")))
        << m_window.SummaryText().toStdString();
    EXPECT_TRUE(m_window.SummaryText().contains(QStringLiteral("4 CheckAlive waits")));
    // Line, waits, stopped, min, median and max downtime of the waits that saw the device back.
    const QTableWidget* pTable = m_window.CheckAliveTable();
    ASSERT_TRUE(pTable->isVisibleTo(&m_window));
    ASSERT_EQ(pTable->rowCount(), 2);
    for (const auto& [nRow, strCells] : std::vector<std::pair<int, QString>>{
             {0, QStringLiteral("127.0.0.1:8080|2|3|1|1200|1200|2500")}, {1, QStringLiteral("127.0.0.1:8081|5|1|0|900|900|900")}}) {
        QStringList cells;
        for (int nColumn = 0; nColumn < pTable->columnCount(); ++nColumn)
            cells << pTable->item(nRow, nColumn)->text();
        EXPECT_EQ(cells.join(QLatin1Char('|')), strCells);
    }

    // The bands lie in time order along the axis, as wide as their downtimes.
    const CResponseTimeChart& chart = *m_window.TimeChart();
    ASSERT_EQ(chart.Waits().size(), waits.size());
    const QRect first = chart.WaitBand(waits[0]);
    const QRect second = chart.WaitBand(waits[1]);
    ASSERT_FALSE(first.isEmpty());
    EXPECT_LT(first.right(), second.left());
    EXPECT_NEAR(double(first.width()) / second.width(), 2500.0 / 1200.0, 0.15);
    // The time axis reaches the end of a wait after the last request.
    EXPECT_NEAR(double(chart.WaitBand(waits[3]).width()) / second.width(), 900.0 / 1200.0, 0.15);
    EXPECT_EQ(first.height(), second.height());
    // Pointing inside a band, above the requests' line, names the wait.
    const QPoint inside(first.center().x(), first.top() + 5);
    EXPECT_EQ(chart.ToolTipAt(inside), CResponseTimeChart::WaitToolTipText(waits[0]));
    EXPECT_EQ(CResponseTimeChart::WaitToolTipText(waits[2]),
              QStringLiteral("CheckAlive 127.0.0.1:8080\nDown: 400 ms\nAttempts: 1\nStopped before it came back\nAt 7.000 s"));

    // Zoomed in, panned by a drag and the zoom reset: what the window shows
    // (its backing store, as the screen got it) is what a fresh drawing of
    // the chart shows, no piece of a band left where it was.
    CResponseTimeChart& view = *m_window.TimeChart();
    const auto Shown = [&] {
        QTest::qWait(100);
        const QImage window = m_window.screen()->grabWindow(m_window.winId()).toImage();
        const qreal dRatio = window.devicePixelRatio();
        const QRect place(view.mapTo(&m_window, QPoint()) * dRatio, view.size() * dRatio);
        return window.copy(place).convertToFormat(QImage::Format_RGB32);
    };
    const auto Different = [](const QImage& shown, const QImage& fresh) {
        int nDifferent = 0;
        for (int nY = 0; nY < std::min(shown.height(), fresh.height()); ++nY)
            for (int nX = 0; nX < std::min(shown.width(), fresh.width()); ++nX)
                nDifferent += shown.pixel(nX, nY) != fresh.pixel(nX, nY);
        return nDifferent;
    };
    const QImage before = Shown();
    ASSERT_EQ(before.size(), view.grab().toImage().size());
    ASSERT_EQ(Different(before, view.grab().toImage().convertToFormat(QImage::Format_RGB32)), 0) << "as drawn";
    view.ZoomTo(4000, 8000);
    Shown();
    const QPoint from = chart.WaitBand(waits[1]).center();
    QTest::mousePress(view.viewport(), Qt::LeftButton, {}, from);
    for (int nStep = 1; nStep <= 4; ++nStep)
        QTest::mouseMove(view.viewport(), from + QPoint(30 * nStep, 0));
    QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, from + QPoint(120, 0));
    Shown();
    view.ResetZoom();
    const QImage after = Shown();
    EXPECT_EQ(Different(after, view.grab().toImage().convertToFormat(QImage::Format_RGB32)), 0);
    EXPECT_EQ(Different(after, before), 0) << "as before the zoom";

    // The next run drops them.
    listener.OnRunStart(StartInfo());
    m_window.Flush();
    EXPECT_TRUE(chart.Waits().empty());
    EXPECT_FALSE(pTable->isVisibleTo(&m_window));
    EXPECT_FALSE(m_window.SummaryText().contains(QStringLiteral("limits")));
}

namespace {

// The line series that draw requests (the threshold's left out), by name.
std::map<QString, QLineSeries*> RequestLines(QChart* pChart)
{
    std::map<QString, QLineSeries*> lines;
    for (QAbstractSeries* pSeries : pChart->series())
        if (auto* pLine = qobject_cast<QLineSeries*>(pSeries); pLine && !pLine->name().startsWith(QStringLiteral("Threshold")))
            lines[pLine->name()] = pLine;
    return lines;
}

}  // namespace

// Beyond a few dozen URLs the chart draws a line per script line (a fleet:
// every device's requests of a line together), or per group of script lines
// when those are too many too (a sweep of a URL per line); the legend keeps
// its Slow, Failures and Threshold entries, the table and the filter keep a
// row and an entry per URL.
TEST_F(ResultsWindow, ManyUrlsAreDrawnByScriptLine)
{
    // 10 devices, 3 script lines, 2 passes: 30 URLs.
    std::vector<CRequestResult> fleet;
    for (int nPass = 0; nPass < 2; ++nPass)
        for (int nDevice = 0; nDevice < 10; ++nDevice)
            for (int nLine = 1; nLine <= 3; ++nLine) {
                const int nIndex = int(fleet.size()) + 1;
                fleet.push_back(Result(nIndex,
                                       QStringLiteral("http://127.0.0.1:%1/httpapi/p%2").arg(8080 + nDevice).arg(nLine),
                                       10LL * nIndex, 5 + nLine, ERequestOutcome::Ok, 200));
                fleet.back().nLine = nLine;
            }
    ReportRun(fleet);
    QChart* pChart = m_window.TimeChart()->chart();
    std::map<QString, QLineSeries*> lines = RequestLines(pChart);
    ASSERT_EQ(lines.size(), 3u);
    ASSERT_TRUE(lines.count(QStringLiteral("Line 2")));
    QList<QPointF> expected;
    for (const CRequestResult& result : fleet)
        if (result.nLine == 2)
            expected.append(QPointF(double(result.nAtMs) / 1000.0, double(result.nTimeMs)));
    EXPECT_EQ(lines[QStringLiteral("Line 2")]->points(), expected);
    // The legend lays out markers made anew (the lines grouped) on its next turn.
    const auto shown = [pChart](const QString& strName) {
        return pChart->legend()->markers(SeriesNamed<QXYSeries>(pChart, strName)).value(0)->isVisible();
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown(QStringLiteral("Line 1")); }, 5000));
    for (const QString& strName : {QStringLiteral("Slow"), QStringLiteral("Failures"), QStringLiteral("Threshold (300 ms)")})
        EXPECT_EQ(shown(strName), true)
            << qPrintable(strName);
    EXPECT_EQ(m_window.Table()->RowCount(), 31);
    EXPECT_EQ(m_window.RequestFilter()->count(), 4 + 30);
    EXPECT_EQ(m_window.RequestFilter()->itemText(4 + 10), QStringLiteral("127.0.0.1:8083/httpapi/p2"));
    // The filters of every run stay, the URLs after them.
    EXPECT_EQ(m_window.RequestFilter()->itemText(3), QStringLiteral("Failed checks"));

    // A sweep: 300 URLs on 300 script lines, drawn 32 lines to a line and
    // named by the lines there are; in a window of a 1366x768 screen the
    // legend beside the chart keeps its Slow, Failures, Check failed (one
    // answer's check failed) and Threshold entries in view, and its lines'
    // entries scroll.
    m_window.resize(680, 740);
    std::vector<CRequestResult> sweep;
    for (int nLine = 1; nLine <= 300; ++nLine) {
        sweep.push_back(Result(nLine, QStringLiteral("http://127.0.0.1:8080/httpapi/goto?preset=%1").arg(nLine),
                               10LL * nLine, 7, ERequestOutcome::Ok, 200));
        sweep.back().nLine = nLine;
        sweep.back().nChecksFailed = nLine == 150 ? 1 : 0;
    }
    ReportRun(sweep);
    lines = RequestLines(pChart);
    ASSERT_EQ(lines.size(), 10u);
    ASSERT_TRUE(lines.count(QStringLiteral("Lines 289-300")));
    EXPECT_EQ(lines[QStringLiteral("Lines 1-32")]->count(), 32);
    EXPECT_EQ(lines[QStringLiteral("Lines 289-300")]->count(), 12);
    const CResponseTimeChartSideLegend* pLegend = m_window.TimeChart()->SideLegend();
    ASSERT_TRUE(pLegend->isVisible());
    EXPECT_FALSE(pChart->legend()->isVisible());
    const QListWidget* pMarks = pLegend->PinnedList();
    ASSERT_EQ(pMarks->count(), 4);
    for (int i = 0; i < 4; ++i) {
        const QRect entry = pMarks->visualItemRect(pMarks->item(i));
        EXPECT_TRUE(pMarks->viewport()->rect().contains(entry)) << qPrintable(pMarks->item(i)->text());
        EXPECT_TRUE(m_window.TimeChart()->rect().contains(
            entry.translated(pMarks->viewport()->mapTo(m_window.TimeChart(), QPoint()))));
    }
    EXPECT_EQ(pMarks->item(2)->text(), QStringLiteral("Check failed"));
    EXPECT_EQ(pMarks->item(3)->text(), QStringLiteral("Threshold (300 ms)"));
    QListWidget* pPinned = pLegend->PinnedList();
    QTest::mouseClick(pPinned->viewport(), Qt::LeftButton, {}, pPinned->visualItemRect(pPinned->item(2)).center());
    EXPECT_FALSE(SeriesNamed<QXYSeries>(pChart, QStringLiteral("Check failed"))->isVisible())
        << "a click hides the marks of failed checks";
    QListWidget* pLines = pLegend->LineList();
    ASSERT_EQ(pLines->count(), 10);
    EXPECT_EQ(pLines->item(9)->text(), QStringLiteral("Lines 289-300"));
    pLines->scrollToItem(pLines->item(9));
    const QRect last = pLines->visualItemRect(pLines->item(9));
    EXPECT_TRUE(pLines->viewport()->rect().contains(last)) << "reachable";
    QTest::mouseClick(pLines->viewport(), Qt::LeftButton, {}, last.center());
    EXPECT_FALSE(lines[QStringLiteral("Lines 289-300")]->isVisible()) << "a click hides its line";
    EXPECT_EQ(m_window.Table()->RowCount(), 301);
    EXPECT_EQ(m_window.Table()->Row(0).value(0), QStringLiteral("Total"));
    EXPECT_EQ(m_window.Table()->Row(300).value(0), QStringLiteral("/httpapi/goto?preset=300"));

    // The same sweep from a run that tells its script's last line: grouped
    // for all 300 lines from its first requests, so that the run never
    // regroups (every request so far drawn anew): a third of the way, its
    // lines are those of the end, and the first is the same series at the end.
    IRunListener& listener = m_window.Listener();
    CRunStartInfo info = StartInfo();
    info.nLastStepLine = 300;
    listener.OnRunStart(info);
    for (std::size_t i = 0; i < 100; ++i)
        listener.OnRequest(sweep[i]);
    m_window.Flush();
    lines = RequestLines(pChart);
    EXPECT_EQ(lines.size(), 4u);
    ASSERT_TRUE(lines.count(QStringLiteral("Lines 1-32")) && lines.count(QStringLiteral("Lines 97-100")));
    const QLineSeries* pFirst = lines[QStringLiteral("Lines 1-32")];
    for (std::size_t i = 100; i < sweep.size(); ++i)
        listener.OnRequest(sweep[i]);
    listener.OnRunEnd(CRunEndInfo());
    m_window.Flush();
    lines = RequestLines(pChart);
    EXPECT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[QStringLiteral("Lines 1-32")], pFirst);
    EXPECT_EQ(pFirst->count(), 32);

    // More new URLs than a drawing takes: the statistics table takes them
    // over the next turns, never all in one, and ends with every one.
    const int nWide = 2 * int(CResultsWindow::kMaxNewUrlsPerDrawing) + 904;
    info.nLastStepLine = nWide;
    listener.OnRunStart(info);
    for (int i = 1; i <= nWide; ++i) {
        CRequestResult result = Result(i, QStringLiteral("http://127.0.0.1:8080/httpapi/goto?preset=%1").arg(i),
                                       10LL * i, 7, ERequestOutcome::Ok, 200);
        result.nLine = i;
        listener.OnRequest(result);
    }
    listener.OnRunEnd(CRunEndInfo());
    m_window.Flush();
    EXPECT_EQ(m_window.Table()->RowCount(), int(CResultsWindow::kMaxNewUrlsPerDrawing) + 1);
    EXPECT_EQ(m_window.Statistics().total.nCount, std::uint64_t(nWide));
    // Its file, saved now, holds every URL: a heading, the URLs, Total.
    QTemporaryDir dir;
    m_window.UserPrompts().ChooseFile = [&](QWidget*, const CUserPrompts::SFileRequest&) {
        return dir.filePath(QStringLiteral("wide.csv"));
    };
    m_window.OnSaveTable();
    QFile csv(dir.filePath(QStringLiteral("wide.csv")));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_EQ(csv.readAll().count("\r\n"), nWide + 2);
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_window.Table()->RowCount() == nWide + 1; }, 5000))
        << m_window.Table()->RowCount();
    EXPECT_EQ(m_window.Table()->Row(nWide).value(0), QStringLiteral("/httpapi/goto?preset=%1").arg(nWide));
}

// A fleet's chart draws a line per script line, every device's requests of
// it together, or, as chosen above the chart, a line per device named by
// the device; the choice holds while the fleet's results are shown again.
TEST_F(ResultsWindow, AFleetIsDrawnPerScriptLineOrPerDevice)
{
    CRunRecord::SCopy run;
    run.start = StartInfo();
    CResultsWindow::SFleet fleet;
    for (int nDevice = 0; nDevice < 20; ++nDevice)
        fleet.devices << QStringLiteral("cam-%1").arg(nDevice + 1, 2, 10, QLatin1Char('0'));
    // Two passes of one line: 20 URLs, few enough for a line each.
    for (int nPass = 0; nPass < 2; ++nPass)
        for (int nDevice = 0; nDevice < 20; ++nDevice) {
            const int nIndex = int(run.requests.size()) + 1;
            run.requests.push_back(Result(nIndex, QStringLiteral("http://127.0.0.1:%1/httpapi/p1").arg(8080 + nDevice),
                                          10LL * nIndex, nDevice + nPass + 1, ERequestOutcome::Ok, 200));
            run.requests.back().nLine = 1;
            fleet.vecDeviceOf.push_back(nDevice);
        }
    run.end = CRunEndInfo();
    m_window.ShowRecord(run, fleet);
    QChart* pChart = m_window.TimeChart()->chart();
    ASSERT_TRUE(m_window.ChartBy()->isVisibleTo(&m_window));
    std::map<QString, QLineSeries*> lines = RequestLines(pChart);
    ASSERT_EQ(lines.size(), 1u) << "a fleet is drawn by script line, not by URL";
    EXPECT_EQ(lines[QStringLiteral("Line 1")]->count(), 40);

    m_window.ChartBy()->setCurrentIndex(1);
    m_window.ShowRecord(run, fleet);  // the fleet's results taken again
    lines = RequestLines(pChart);
    ASSERT_EQ(lines.size(), 20u);
    ASSERT_TRUE(lines.count(QStringLiteral("cam-05")));
    EXPECT_EQ(lines[QStringLiteral("cam-05")]->points(),
              QList<QPointF>({QPointF(0.05, 5), QPointF(0.25, 6)}));
    const QListWidget* pLines = m_window.TimeChart()->SideLegend()->LineList();
    ASSERT_EQ(pLines->count(), 20);
    EXPECT_EQ(pLines->item(19)->text(), QStringLiteral("cam-20"));

    // A run of one device: no choice, a line per URL.
    m_window.ShowRecord(run);
    EXPECT_FALSE(m_window.ChartBy()->isVisibleTo(&m_window));
    EXPECT_EQ(RequestLines(pChart).size(), 20u);
}
// Quick answers with the threshold hidden fill the response axis rather
// than lying on its floor; a URL requested once shows as a point.
TEST_F(ResultsWindow, TheResponseAxisLeavesOutAHiddenThresholdAndALoneRequestShows)
{
    ReportRun({Result(1, kUrlA, 0, 5, ERequestOutcome::Ok, 200), Result(2, kUrlB, 10, 3, ERequestOutcome::Ok, 200),
               Result(3, kUrlA, 20, 8, ERequestOutcome::Ok, 200)});
    QChart* pChart = m_window.TimeChart()->chart();
    auto Top = [&] { return pChart->axes(Qt::Vertical).value(0)->property("max").toDouble(); };
    EXPECT_EQ(Top(), 400) << "the threshold, 300 ms, in view";
    m_window.TimeChart()->ToggleSeries(SeriesNamed<QLineSeries>(pChart, QStringLiteral("Threshold (300 ms)")));
    m_window.Flush();
    EXPECT_EQ(Top(), 12);
    EXPECT_TRUE(SeriesNamed<QLineSeries>(pChart, kUrlB)->pointsVisible()) << "one request: its point";
    EXPECT_FALSE(SeriesNamed<QLineSeries>(pChart, kUrlA)->pointsVisible());
}

// Escape, Ctrl+W and the Close button close the results window.
TEST_F(ResultsWindow, EscapeCtrlWAndCloseCloseTheWindow)
{
    const std::function<void()> closers[] = {
        [this] { QTest::keyClick(&m_window, Qt::Key_Escape); },
        [this] { QTest::keyClick(&m_window, Qt::Key_W, Qt::ControlModifier); },
        [this] { QTest::mouseClick(m_window.findChild<QPushButton*>(QStringLiteral("close")), Qt::LeftButton); },
    };
    for (const auto& Close : closers) {
        m_window.show();
        m_window.activateWindow();
        QApplication::setActiveWindow(&m_window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&m_window));
        Close();
        EXPECT_TRUE(WaitFor([&] { return !m_window.isVisible(); }, 2000));
    }
}
