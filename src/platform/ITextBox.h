#pragma once

#include <QString>

// The operations that the parser, the log writer, run control and the file
// commands use on a multi-line text box. Lines are separated by CR LF; the
// last line is whatever follows the last break, so an empty text has one
// line. Positions and lengths count characters, a line break counts two.
// Every line end handed in (CR LF, a lone CR, a lone LF) becomes one CR LF
// break, and a position inside a break stands for the end of its line.
class ITextBox {
public:
    virtual ~ITextBox() = default;

    // Number of lines as described above.
    virtual int GetLineCount() const = 0;
    // Copies line nIndex (from 0) without its break into strLine, cut at
    // nCapacity characters. Returns the number of characters copied; 0 for an
    // empty line or an index outside the text.
    virtual int GetLine(int nIndex, QString& strLine, int nCapacity) const = 0;
    virtual int GetTextLength() const = 0;
    virtual int GetLimitText() const = 0;
    // nStart -1 drops the selection and leaves the caret where it is;
    // otherwise selects nStart..nEnd (nEnd -1: to the end) with the caret at
    // nEnd. Positions beyond the text are clamped to its length.
    virtual void SetSel(int nStart, int nEnd) = 0;
    // Start and end of the selection (equal when there is none).
    virtual void GetSel(int& nStart, int& nEnd) const = 0;
    virtual void ScrollCaret() = 0;
    // Inserts strText at the caret, replacing any selection; the caret ends
    // after the inserted text.
    virtual void ReplaceSel(const QString& strText) = 0;
    // Adds strText at the end of the text. The caret and the selection stay
    // on the text they were on, even when they were at its end. A view that
    // showed the end of the text goes on showing it; one scrolled elsewhere
    // stays where it is.
    virtual void AppendText(const QString& strText) = 0;
    virtual void SetWindowText(const QString& strText) = 0;
    virtual QString GetWindowText() const = 0;
    // A disabled box takes no user input but accepts every operation above.
    virtual void EnableWindow(bool bEnable) = 0;
    virtual bool IsWindowEnabled() const = 0;
};
