// Compare with...: the run shown set against a saved report, on the
// histogram, the chart and under the statistics.
#include "DlgFixture.h"
#include "GuiTestUtil.h"

#include "report/CJsonReport.h"
#include "report/CReportSamples.h"
#include "report/CRunRecorder.h"
#include "ui/CResponseTimeHistogram.h"
#include "ui/CResultsComparison.h"
#include "ui/CResultsFiles.h"
#include "ui/CResultsTable.h"
#include "ui/CResultsWindow.h"

#include <gtest/gtest.h>

#include <QBarCategoryAxis>
#include <QChart>
#include <QFile>
#include <QLabel>
#include <QLineSeries>
#include <QHeaderView>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTemporaryDir>

namespace {

// A report of one run of a one-line script: nCount responses of nMs each,
// then (nQuick) as many of 10 ms.
QString WriteRun(const QTemporaryDir& dir, const QString& strName, int nCount, std::int64_t nMs, int nQuick)
{
    CRunRecorder recorder;
    CRunStartInfo start;
    start.strScript = QStringLiteral("pan.cmf");
    start.nThresholdMs = 250;
    recorder.OnRunStart(start);
    for (int i = 0; i < nCount + nQuick; ++i) {
        CRequestResult result;
        result.nIndex = i + 1;
        result.nLine = 1;
        result.strScheme = QStringLiteral("http");
        result.strHost = QStringLiteral("127.0.0.1");
        result.strPort = QStringLiteral("8080");
        result.strTarget = QStringLiteral("/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0");
        result.strUrl = QStringLiteral("http://127.0.0.1:8080") + result.strTarget;
        result.nStatus = 200;
        result.nTimeMs = i < nCount ? nMs : 10;
        result.nTimeUs = result.nTimeMs * 1000;
        result.nAtMs = i * 200;
        result.outcome = ERequestOutcome::Ok;
        result.bPass = true;
        recorder.OnRequest(result);
    }
    CRunEndInfo end;
    end.bComplete = true;
    recorder.OnRunEnd(end);
    const QString strPath = dir.filePath(strName);
    CJsonReport::Save(strPath, recorder.Snapshot(), QStringLiteral("9.9"));
    return strPath;
}

}  // namespace

using ResultsComparison = DlgFixture;

// A report of 30 responses of 90 ms (and one of 10 ms) opened, compared with
// a base of 30 of 45 ms: the base's 30 responses stand in the histogram's
// bar holding 45 ms, its p95 is a line on the chart, and the statistics
// show p50 doubled, a real change for the worse. A damaged base gives
// compare's message; Clear comparison takes it all away.
TEST_F(ResultsComparison, ASavedRunIsDrawnAndItsChangesMarkedReal)
{
    QTemporaryDir dir;
    QStringList errors;
    m_pDlg->UserPrompts().ShowError = [&errors](QWidget*, const QString& strText) { errors << strText; };
    CResultsWindow& results = m_pDlg->ResultsWindow();
    m_pDlg->OpenResults(WriteRun(dir, QStringLiteral("now.json"), 30, 90, 1));
    ASSERT_TRUE(WaitFor([&] { return !m_pDlg->ResultsFiles().IsOpening(); }, 20000));
    results.Flush();
    ASSERT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('|')).toStdString();

    const QString strDamaged = dir.filePath(QStringLiteral("damaged.json"));
    {
        QFile damaged(strDamaged);
        ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
        damaged.write("{\"velkor_version\": ");
    }
    EXPECT_FALSE(m_pDlg->ResultsComparison().CompareWith(strDamaged));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].startsWith(QStringLiteral("The report ") + strDamaged +
                                     QStringLiteral(" cannot be compared: not JSON")))
        << errors[0].toStdString();
    EXPECT_FALSE(results.IsComparing());
    errors.clear();

    ASSERT_TRUE(m_pDlg->ResultsComparison().CompareWith(WriteRun(dir, QStringLiteral("base.json"), 30, 45, 0)));
    results.Flush();
    ASSERT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('|')).toStdString();
    ASSERT_TRUE(results.IsComparing());

    // The histogram: the base's 30 responses in the one bar holding 45 ms.
    const CResponseTimeHistogram* pHistogram = results.Histogram();
    const QLineSeries* pBase = pHistogram->BaseSeries();
    ASSERT_TRUE(pBase->isVisible());
    EXPECT_EQ(pBase->name().toStdString(), "Base: base.json");
    auto* pAxis = qobject_cast<QBarCategoryAxis*>(pHistogram->chart()->axes(Qt::Horizontal).value(0));
    ASSERT_NE(pAxis, nullptr);
    const QStringList edges = pAxis->categories();
    ASSERT_GE(edges.size(), 2);
    const int nWidth = edges[1].toInt() - edges[0].toInt();
    double dSum = 0;
    int nBarOf45 = -1;
    for (const QPointF& point : pBase->points()) {
        dSum += point.y();
        const int nEdge = edges.value(int(point.x())).toInt();
        if (nEdge <= 45 && 45 < nEdge + nWidth)
            nBarOf45 = int(point.x());
    }
    EXPECT_EQ(dSum, 30.0);
    ASSERT_GE(nBarOf45, 0);
    EXPECT_EQ(pBase->at(nBarOf45).y(), 30.0);

    // The chart: the base's p95.
    EXPECT_EQ(results.TimeChart()->BaseLineMs(), 45.0);
    EXPECT_EQ(results.TimeChart()->BaseLineCaption().toStdString(), "Base p95 (45.0 ms)");

    // The statistics: line 1, p50 45 -> 90 ms, a real change for the worse.
    QTableWidget* pTable = results.ComparisonTable();
    EXPECT_EQ(results.ComparisonCaption()->text().toStdString(), "Compared with base.json (base):");
    ASSERT_EQ(pTable->rowCount(), 1);
    EXPECT_TRUE(pTable->isColumnHidden(0));  // no devices
    EXPECT_EQ(pTable->item(0, 1)->text(), QStringLiteral("1"));
    EXPECT_EQ(pTable->item(0, 3)->text().toStdString(), "30 \u2192 31");
    EXPECT_EQ(pTable->item(0, 4)->text().toStdString(), "45.0 \u2192 90.0 (+100.0%, real, worse)");
    // At the size a 1366x768 screen leaves it, the statistics tab is lower
    // than its tables: they keep their heights one below the other in a page
    // that scrolls, the comparison's last within it (not pushed out of it
    // while the caption was drawn over the statistics).
    results.resize(778, 736);
    QCoreApplication::processEvents();
    const QWidget* pPart = pTable->parentWidget();
    EXPECT_LT(pTable->geometry().bottom(), pPart->height());
    EXPECT_LT(pPart->geometry().bottom(), pPart->parentWidget()->height());
    // The statistics' columns are wider than the table there: its scroll bar
    // comes under its rows, not over the last.
    const CResultsTable* pStatistics = results.Table();
    ASSERT_TRUE(pStatistics->horizontalScrollBar()->isVisible());
    EXPECT_GE(pStatistics->viewport()->height(),
              pStatistics->RowCount() * pStatistics->verticalHeader()->defaultSectionSize());

    // Clear comparison.
    auto* pClear = results.findChild<QPushButton*>(QStringLiteral("clearComparison"));
    ASSERT_NE(pClear, nullptr);
    EXPECT_FALSE(pClear->isHidden());
    pClear->click();
    EXPECT_FALSE(results.IsComparing());
    EXPECT_FALSE(pBase->isVisible());
    EXPECT_EQ(results.TimeChart()->BaseLineMs(), -1.0);
    EXPECT_EQ(pTable->rowCount(), 0);

    // A base beyond the shown run's times: the bars stretch to hold it.
    ASSERT_TRUE(m_pDlg->ResultsComparison().CompareWith(WriteRun(dir, QStringLiteral("slow.json"), 30, 400, 0)));
    results.Flush();
    EXPECT_EQ(pBase->name().toStdString(), "Base: slow.json");
    double dSlowSum = 0;
    for (const QPointF& point : pBase->points())
        dSlowSum += point.y();
    EXPECT_EQ(dSlowSum, 30.0);
}

// Two device lists compared: after the line over every device, each
// device's line as velkor-cli compare pairs them by name (cam-02 twice as
// slow in NEW, its change real and red as a joined row's is), then the
// devices found in one run only.
TEST_F(ResultsComparison, TwoDeviceListsShowEachDevicesRows)
{
    const auto fleet = [](const QList<QPair<QByteArray, int>>& devices, const QByteArray& slowDevice) {
        QByteArray json = "{\"velkor_version\": \"9.9\", \"script\": \"pan.cmf\", \"threshold_ms\": 250, \"devices\": [";
        for (qsizetype i = 0; i < devices.size(); ++i) {
            json += QByteArray(i ? "," : "") + "{\"name\": \"" + devices[i].first + "\", \"requests\": [";
            const QByteArray ms = devices[i].first == slowDevice ? "90" : "45";
            for (int n = 0; n < devices[i].second; ++n)
                json += QByteArray(n ? "," : "") + "{\"line\": 1, \"url\": \"http://127.0.0.1:8080/httpapi/x\", "
                        "\"outcome\": \"ok\", \"time_ms\": " + ms + ", \"time_us\": " + ms + "000}";
            json += "]}";
        }
        json += "]}";
        CReportSamples samples;
        QString strProblem;
        EXPECT_TRUE(CReportSampleReader::Read(std::string_view(json.constData(), std::size_t(json.size())),
                                              QStringLiteral("9.9"), &samples, &strProblem))
            << strProblem.toStdString();
        return samples;
    };
    const CReportSamples base = fleet({{"cam-01", 30}, {"cam-02", 30}, {"cam-04", 5}}, "");
    const CReportSamples newer = fleet({{"cam-01", 30}, {"cam-02", 30}, {"cam-03", 5}}, "cam-02");
    QTableWidget table;
    CResultsComparison::FillTable(table, CRunComparison::Compare(base, newer, CCompareOptions()));
    QStringList rows;
    for (int nRow = 0; nRow < table.rowCount(); ++nRow) {
        QStringList cells;
        for (int nColumn = 0; nColumn < 5; ++nColumn)
            cells << table.item(nRow, nColumn)->text();
        rows << cells.join(QStringLiteral(" | "));
    }
    EXPECT_FALSE(table.isColumnHidden(0));
    EXPECT_EQ(rows.join(QLatin1Char('\n')).toStdString(),
              "all | 1 | http://127.0.0.1:8080/httpapi/x | 65 \u2192 65 | 45.0 \u2192 45.0 (0.0%)\n"
              "cam-01 | 1 | http://127.0.0.1:8080/httpapi/x | 30 \u2192 30 | 45.0 \u2192 45.0 (0.0%)\n"
              "cam-02 | 1 | http://127.0.0.1:8080/httpapi/x | 30 \u2192 30 | 45.0 \u2192 90.0 (+100.0%, real, worse)\n"
              "cam-04 |  |  |  | only in the base\n"
              "cam-03 |  |  |  | not in the base");
    // Worse is red on a device's row as on the joined row's p95.
    EXPECT_EQ(table.item(2, 4)->foreground().color(), QColor(0xc6, 0x28, 0x28));
    EXPECT_EQ(table.item(0, 5)->foreground().color(), QColor(0xc6, 0x28, 0x28));
    EXPECT_EQ(table.item(1, 4)->foreground().style(), Qt::NoBrush);
}
