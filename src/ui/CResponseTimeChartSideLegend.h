#pragma once

#include <QIcon>
#include <QString>
#include <QWidget>

#include <functional>
#include <vector>

class QListWidget;

// The time chart's legend as a list beside the plot, for more lines than a
// row under the chart names readably: the Slow, Failures, Check failed
// (when the run has any) and Threshold entries pinned at its top, always in
// view, and the lines' entries under them in a list that scrolls, so that
// every one can be reached however many there are. An entry shows its series' mark and its name, cut in the
// middle when longer than the list is wide (whole in its tooltip); a click
// on an entry hides or shows its series, and a hidden series' entry is
// faded.
class CResponseTimeChartSideLegend : public QWidget {
public:
    struct SEntry {
        QString strName;
        QIcon icon;
        bool bHidden = false;
    };

    explicit CResponseTimeChartSideLegend(QWidget* pParent = nullptr);

    // The entries as given (only what changed is redrawn).
    void SetPinned(const std::vector<SEntry>& entries);
    void SetLines(const std::vector<SEntry>& entries);
    // What a click on an entry does: pinned or a line's, and its number.
    void SetOnClicked(std::function<void(bool bPinned, int nEntry)> onClicked) { m_onClicked = std::move(onClicked); }
    // The width its longest name asks for, icon and scroll bar included.
    int WantedWidth() const;

    QListWidget* PinnedList() const { return m_pPinned; }
    QListWidget* LineList() const { return m_pLines; }

private:
    void Fill(QListWidget* pList, const std::vector<SEntry>& entries);

    QListWidget* m_pPinned = nullptr;
    QListWidget* m_pLines = nullptr;
    std::function<void(bool, int)> m_onClicked;
};
