#pragma once

#include "platform/ITextBox.h"

class QPlainTextEdit;
class QTextDocument;

// The text box operations on a Qt plain-text edit (no line wrap). The edit
// keeps one paragraph per line; the operations show the text with CR LF
// breaks, so a break counts two characters in every position and length.
// Any line end handed in (CR LF, a lone CR or a lone LF) becomes one break.
// The edit stays owned by its parent widget.
class CQtTextBox : public ITextBox {
public:
    explicit CQtTextBox(QPlainTextEdit* pEdit, int nLimitText = kDefaultLimitText);

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

    QPlainTextEdit* Edit() const { return m_pEdit; }

    // Text with CR LF breaks in the edit's form (one LF per break).
    static QString ToEditText(const QString& strText);

private:
    QTextDocument* Document() const;
    // Conversions between positions with two-character breaks and the
    // document's positions, in which a break counts one.
    int ToDocumentPosition(int nPosition) const;
    int FromDocumentPosition(int nDocPosition) const;

    QPlainTextEdit* m_pEdit;
    int m_nLimitText;
};
