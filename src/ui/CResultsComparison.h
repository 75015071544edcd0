#pragma once

#include "report/CRunComparison.h"

#include <QObject>
#include <QString>

#include <optional>

class CResultsFiles;
class CResultsWindow;
struct CUserPrompts;
class QTableWidget;
class QWidget;

// Compare with...: the run the results window shows (or the report opened
// there) set against a saved JSON report, the base, as velkor-cli compare
// sets NEW against BASE: the shown run is turned into its JSON report by the
// recorder File > Save results as... writes from, both are read as compare
// reads them, and CRunComparison decides per script line which changes are
// real. The window then draws the base's time distribution over the
// histogram, its p95 on the chart and the changes under the statistics.
class CResultsComparison : public QObject {
public:
    CResultsComparison(QWidget& owner, CResultsWindow& results, CResultsFiles& files, CUserPrompts& prompts);

    // File > Compare with...: a report chosen, then CompareWith.
    void OnCompare();
    // Compares the shown run with the report at strBasePath; a report that
    // cannot be read, or no run to compare, is told in a message box
    // (false).
    bool CompareWith(const QString& strBasePath);
    // "Clear comparison".
    void Clear();

    // The comparison shown last (until cleared).
    const std::optional<CRunComparison>& Comparison() const { return m_comparison; }

    // The table's rows: per script line (every device joined, Device
    // "all"), the two runs' requests and each figure as "base → new (change,
    // real)"; for two device lists then each device's lines, as velkor-cli
    // compare pairs them by name, and a row per device found in one run only
    // ("only in the base", "not in the base"). The Device column shows only
    // for two device lists. A real change is red when worse, green when better.
    static void FillTable(QTableWidget& table, const CRunComparison& comparison);

private:
    QWidget& m_owner;
    CResultsWindow& m_results;
    CResultsFiles& m_files;
    CUserPrompts& m_prompts;
    std::optional<CRunComparison> m_comparison;
};
