// What the results window sums up: the statistics tab with its CheckAlive
// downtimes, and the status line above the charts.
#include "CResultsWindow.h"

#include "CResponseTimeChart.h"
#include "CResultsTable.h"

#include <QHeaderView>
#include <QScrollArea>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

QWidget* CResultsWindow::NewStatisticsPage()
{
    m_pCheckAlives = new QTableWidget(0, 7);
    m_pCheckAlives->setObjectName(QStringLiteral("checkAlives"));
    m_pCheckAlives->setHorizontalHeaderLabels({QStringLiteral("CheckAlive"), QStringLiteral("Line"),
                                               QStringLiteral("Waits"), QStringLiteral("Stopped"),
                                               QStringLiteral("Min down (ms)"), QStringLiteral("Median down (ms)"),
                                               QStringLiteral("Max down (ms)")});
    m_pCheckAlives->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pCheckAlives->verticalHeader()->hide();
    m_pCheckAlives->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_pCheckAlives->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_pCheckAlives->hide();
    auto* pStatistics = new QWidget;
    auto* pStatisticsLayout = new QVBoxLayout(pStatistics);
    pStatisticsLayout->setContentsMargins(0, 0, 0, 0);
    pStatisticsLayout->addWidget(m_pTable);
    pStatisticsLayout->addWidget(NewComparisonPart());
    pStatisticsLayout->addWidget(m_pCheckAlives, 1);
    pStatisticsLayout->addStretch();
    // The tables keep their heights; a tab lower than all of them (a small
    // screen, a comparison shown) scrolls rather than drawing one over the
    // other.
    auto* pStatisticsPage = new QScrollArea;
    pStatisticsPage->setObjectName(QStringLiteral("statisticsArea"));
    pStatisticsPage->setWidgetResizable(true);
    pStatisticsPage->setFrameShape(QFrame::NoFrame);
    pStatisticsPage->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pStatisticsPage->setWidget(pStatistics);
    return pStatisticsPage;
}

void CResultsWindow::ShowCheckAlives()
{
    m_bWaitsChanged = false;
    m_pTimeChart->SetWaits(m_vecWaits);
    const std::vector<CCheckAliveStatistics> lines = CheckAliveStatistics(m_vecWaits);
    m_pCheckAlives->setVisible(!lines.empty());
    m_pCheckAlives->setRowCount(int(lines.size()));
    auto figure = [](std::int64_t nMs) { return nMs < 0 ? QString() : QString::number(nMs); };
    for (int nRow = 0; nRow < int(lines.size()); ++nRow) {
        const CCheckAliveStatistics& line = lines[std::size_t(nRow)];
        const QStringList cells{line.strHost + QLatin1Char(':') + line.strPort, QString::number(line.nLine),
                                QString::number(line.nWaits),  QString::number(line.nStopped),
                                figure(line.nMinMs),           figure(line.nMedianMs),
                                figure(line.nMaxMs)};
        for (int nColumn = 0; nColumn < cells.size(); ++nColumn) {
            auto* pItem = new QTableWidgetItem(cells[nColumn]);
            pItem->setTextAlignment(Qt::AlignVCenter | (nColumn == 0 ? Qt::AlignLeft : Qt::AlignRight));
            m_pCheckAlives->setItem(nRow, nColumn, pItem);
        }
    }
    const int nShown = std::min(int(lines.size()), 4);
    m_pCheckAlives->setFixedHeight(m_pCheckAlives->horizontalHeader()->sizeHint().height() +
                                   nShown * m_pCheckAlives->verticalHeader()->defaultSectionSize() +
                                   2 * m_pCheckAlives->frameWidth() + 2);
}

QString CResultsWindow::Summary() const
{
    if (m_eRunState == ERunState::None)
        return QStringLiteral("No run yet.");
    QStringList parts;
    parts << (m_start.strScript.isEmpty() ? QStringLiteral("Typed script") : m_start.strScript);
    if (m_start.startedAt.isValid())
        parts << QStringLiteral("started %1").arg(m_start.startedAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    parts << (m_data.Count() == 1 ? QStringLiteral("1 request") : QStringLiteral("%1 requests").arg(m_data.Count()));
    parts << QStringLiteral("threshold %1 ms").arg(m_nThresholdMs);
    // The run limits it was given, when it had any.
    QStringList limits;
    if (!m_start.strMaxDuration.isEmpty())
        limits << m_start.strMaxDuration;
    if (m_start.nMaxPasses > 0)
        limits << (m_start.nMaxPasses == 1 ? QStringLiteral("1 pass") : QStringLiteral("%1 passes").arg(m_start.nMaxPasses));
    if (!limits.isEmpty())
        parts << QStringLiteral("limits: %1").arg(limits.join(QStringLiteral(", ")));
    if (!m_vecWaits.empty())
        parts << (m_vecWaits.size() == 1 ? QStringLiteral("1 CheckAlive wait")
                                         : QStringLiteral("%1 CheckAlive waits").arg(m_vecWaits.size()));
    if (m_eRunState == ERunState::Running) {
        parts << QStringLiteral("running");
    } else {
        if (m_end.nWhileRepeat >= 0)
            parts << QStringLiteral("While repeat %1").arg(m_end.nWhileRepeat);
        parts << (!m_end.bComplete ? QStringLiteral("cut short")
                                   : m_end.bStopped ? QStringLiteral("stopped") : QStringLiteral("ended"));
        // The run's verdict, as velkor-cli and the reports give it.
        const CRunVerdictSummary verdict = m_recordedVerdict ? *m_recordedVerdict : m_verdict.Summary();
        QString strVerdict = verdict.bPass ? QStringLiteral("verdict: pass")
                                           : QStringLiteral("verdict: fail (%1 of %2 requests failed)")
                                                 .arg(verdict.nFailed)
                                                 .arg(verdict.nRequests);
        // A report's verdict may fail for more than its requests (a
        // requirement, a device that never ran): its exit code says which.
        if (m_recordedVerdict && !verdict.bPass)
            strVerdict.insert(strVerdict.size() - 1, QStringLiteral(", exit code %1").arg(verdict.nExitCode));
        parts << strVerdict;
    }
    return parts.join(QStringLiteral(" \u00b7 "));
}
