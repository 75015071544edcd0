#include "CResultsComparison.h"

#include "CResultsFiles.h"
#include "CResultsWindow.h"
#include "CUserPrompts.h"
#include "report/CComparisonReport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QTableWidget>
#include <QTemporaryDir>

#include <algorithm>

CResultsComparison::CResultsComparison(QWidget& owner, CResultsWindow& results, CResultsFiles& files,
                                       CUserPrompts& prompts)
    : QObject(&owner), m_owner(owner), m_results(results), m_files(files), m_prompts(prompts)
{
}

void CResultsComparison::OnCompare()
{
    CUserPrompts::SFileRequest request;
    request.strFilter = QStringLiteral("JSON reports (*.json);;All Files (*.*)");
    request.strDefaultSuffix = QStringLiteral("json");
    const QString strPath = m_prompts.ChooseFileInLastFolder(&m_owner, request);
    if (!strPath.isEmpty())
        CompareWith(strPath);
}

bool CResultsComparison::CompareWith(const QString& strBasePath)
{
    const QString strVersion = QCoreApplication::applicationVersion();
    CReportSamples base;
    QString strProblem;
    if (!CReportSampleReader::ReadFile(strBasePath, strVersion, &base, &strProblem)) {
        m_prompts.ShowError(&m_owner, QStringLiteral("The report %1 cannot be compared: %2")
                                          .arg(QDir::toNativeSeparators(strBasePath), strProblem));
        return false;
    }
    // The shown run as its JSON report, read back as compare reads NEW.
    CReportSamples shown;
    QTemporaryDir dir;
    const QString strShown = dir.filePath(QStringLiteral("shown.json"));
    if (!dir.isValid() || !m_files.SaveResults(strShown, &strProblem) ||
        !CReportSampleReader::ReadFile(strShown, strVersion, &shown, &strProblem)) {
        if (!dir.isValid())
            strProblem = QStringLiteral("no temporary folder: %1").arg(dir.errorString());
        m_prompts.ShowError(&m_owner, QStringLiteral("The run shown cannot be compared: %1").arg(strProblem));
        return false;
    }
    m_comparison = CRunComparison::Compare(base, shown, CCompareOptions());
    // The base's responses and p95 over every line.
    CLineSamples all;
    for (const CLineSamples& line : base.JoinedLines())
        all.Add(line);
    std::sort(all.times.begin(), all.times.end());
    const std::int64_t nP95Us = all.Percentile(95);
    const double dP95Ms = nP95Us < 0 ? -1.0 : double(nP95Us) / 1000.0;
    FillTable(*m_results.ComparisonTable(), *m_comparison);
    m_results.ShowComparison(QFileInfo(strBasePath).fileName(), std::move(all.times), dP95Ms);
    m_results.ShowBeside(&m_owner);
    return true;
}

void CResultsComparison::Clear()
{
    m_comparison.reset();
    m_results.ClearComparison();
}

void CResultsComparison::FillTable(QTableWidget& table, const CRunComparison& comparison)
{
    static constexpr ECompareFigure kFigures[] = {ECompareFigure::P50, ECompareFigure::P95, ECompareFigure::P99,
                                                  ECompareFigure::Errors, ECompareFigure::RequestsPerSecond};
    static constexpr int kFirstFigure = 4;
    static constexpr int kMostUrlChars = 40;
    const QStringList headers{QStringLiteral("Device"),   QStringLiteral("Line"),     QStringLiteral("URL"),
                              QStringLiteral("Requests"), QStringLiteral("p50 (ms)"), QStringLiteral("p95 (ms)"),
                              QStringLiteral("p99 (ms)"), QStringLiteral("Error %"),  QStringLiteral("Requests/s")};
    table.setColumnCount(int(headers.size()));
    table.setHorizontalHeaderLabels(headers);
    table.setRowCount(0);
    const QString strArrow = QStringLiteral(" \u2192 ");
    const auto addRow = [&table](const QStringList& cells, const CComparisonRow* pRow) {
        const int nRow = table.rowCount();
        table.insertRow(nRow);
        for (int nColumn = 0; nColumn < cells.size(); ++nColumn) {
            auto* pItem = new QTableWidgetItem(cells[nColumn]);
            if (nColumn == 2)
                pItem->setToolTip(cells[nColumn]);
            pItem->setTextAlignment(Qt::AlignVCenter | (nColumn <= 2 && nColumn != 1 ? Qt::AlignLeft : Qt::AlignRight));
            const CFigureChange* pChange =
                pRow != nullptr && nColumn >= kFirstFigure ? &pRow->Figure(kFigures[nColumn - kFirstFigure]) : nullptr;
            if (pChange != nullptr && pChange->bReal)
                pItem->setForeground(pChange->bWorse ? QColor(0xc6, 0x28, 0x28) : QColor(0x2e, 0x7d, 0x32));
            table.setItem(nRow, nColumn, pItem);
        }
    };
    // The rows over every device first, then (two device lists compared)
    // each device's, as velkor-cli compare lists them; the Device column
    // shows only then.
    bool bDevices = !comparison.BaseOnlyDevices().isEmpty() || !comparison.NewOnlyDevices().isEmpty();
    for (const CComparisonRow& row : comparison.Rows()) {
        bDevices = bDevices || !row.strDevice.isEmpty();
        QStringList cells{row.strDevice.isEmpty() ? QStringLiteral("all") : row.strDevice, QString::number(row.nLine),
                          row.strUrl,
                          QString::number(row.nBaseRequests) + strArrow + QString::number(row.nNewRequests)};
        for (const ECompareFigure figure : kFigures) {
            const CFigureChange& change = row.Figure(figure);
            QString strCell;
            if (row.presence == CComparisonRow::EPresence::BaseOnly)
                strCell = QStringLiteral("only in the base");
            else if (row.presence == CComparisonRow::EPresence::NewOnly)
                strCell = QStringLiteral("not in the base");
            else {
                strCell = CComparisonReport::Value(change.dBase, figure) + strArrow +
                          CComparisonReport::Value(change.dNew, figure) + QStringLiteral(" (") +
                          CComparisonReport::Change(change, figure) +
                          (change.bReal ? (change.bWorse ? QStringLiteral(", real, worse")
                                                         : QStringLiteral(", real, better"))
                                        : QString()) +
                          QLatin1Char(')');
            }
            cells << strCell;
        }
        addRow(cells, &row);
    }
    // A device in one run only: nothing of it to set against the other.
    for (int nSide = 0; nSide < 2; ++nSide)
        for (const QString& strDevice : nSide == 0 ? comparison.BaseOnlyDevices() : comparison.NewOnlyDevices()) {
            QStringList cells{strDevice, QString(), QString(), QString()};
            while (cells.size() < headers.size())
                cells << (nSide == 0 ? QStringLiteral("only in the base") : QStringLiteral("not in the base"));
            addRow(cells, nullptr);
        }
    table.setColumnHidden(0, !bDevices);
    // A long URL is cut in its middle (whole in its tool tip), so that the
    // figures beside it stay in view.
    table.setWordWrap(false);
    table.setTextElideMode(Qt::ElideMiddle);
    table.horizontalHeader()->setSectionResizeMode(2, QHeaderView::Interactive);
    table.resizeColumnToContents(2);
    table.setColumnWidth(2, std::min(table.columnWidth(2),
                                     table.fontMetrics().horizontalAdvance(QString(kMostUrlChars, QLatin1Char('n'))) + 24));
}
