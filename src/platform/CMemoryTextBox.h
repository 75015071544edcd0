#pragma once

#include "ITextBox.h"

#include <QList>

// An in-memory text box: the headless runner's command and log boxes, and the
// reference implementation that the contract tests pin down.
class CMemoryTextBox : public ITextBox {
public:
    explicit CMemoryTextBox(int nLimitText = kDefaultLimitText);

    // Large enough for long runs; see docs/runs.md.
    static constexpr int kDefaultLimitText = 16 * 1024 * 1024;

    int GetLineCount() const override;
    int GetLine(int nIndex, QString& strLine, int nCapacity) const override;
    int GetTextLength() const override;
    int GetLimitText() const override;
    void SetSel(int nStart, int nEnd) override;
    void GetSel(int& nStart, int& nEnd) const override;
    void ScrollCaret() override;
    void ReplaceSel(const QString& strText) override;
    void AppendText(const QString& strText) override;
    void SetWindowText(const QString& strText) override;
    QString GetWindowText() const override;
    void EnableWindow(bool bEnable) override;
    bool IsWindowEnabled() const override;

private:
    void IndexLines() const;
    // The position, moved out of a CR LF to the end of its line.
    int OutOfBreak(int nPosition) const;

    QString m_strText;
    int m_nLimitText;
    int m_nAnchor = 0;
    int m_nCaret = 0;
    bool m_bEnabled = true;
    // Start positions of the lines, rebuilt lazily after a change.
    mutable QList<int> m_lineStarts;
    mutable bool m_bLinesValid = false;
};
