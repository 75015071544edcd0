#include "CQtTextBox.h"

#include "platform/CMemoryTextBox.h"

#include <QPalette>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

static_assert(CQtTextBox::kDefaultLimitText == CMemoryTextBox::kDefaultLimitText,
              "both boxes hold the same amount of text");

CQtTextBox::CQtTextBox(QPlainTextEdit* pEdit, int nLimitText) : m_pEdit(pEdit), m_nLimitText(nLimitText)
{
    m_pEdit->setLineWrapMode(QPlainTextEdit::NoWrap);
    // A read-only box (the log) is disabled only to keep clicks and the
    // caret out; its text stays as readable as when it takes them.
    if (m_pEdit->isReadOnly()) {
        QPalette palette = m_pEdit->palette();
        for (QPalette::ColorRole eRole : {QPalette::Text, QPalette::WindowText})
            palette.setColor(QPalette::Disabled, eRole, palette.color(QPalette::Active, eRole));
        m_pEdit->setPalette(palette);
    }
}

QTextDocument* CQtTextBox::Document() const { return m_pEdit->document(); }

QString CQtTextBox::ToEditText(const QString& strText)
{
    if (!strText.contains(QLatin1Char('\r')))
        return strText;
    QString strResult = strText;
    strResult.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    strResult.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return strResult;
}

int CQtTextBox::GetLineCount() const { return Document()->blockCount(); }

int CQtTextBox::GetLine(int nIndex, QString& strLine, int nCapacity) const
{
    strLine.clear();
    if (nIndex < 0 || nIndex >= Document()->blockCount() || nCapacity <= 0)
        return 0;
    strLine = Document()->findBlockByNumber(nIndex).text().left(nCapacity);
    return int(strLine.size());
}

int CQtTextBox::GetTextLength() const
{
    // characterCount() counts every paragraph end once, the last one too.
    const QTextDocument* pDocument = Document();
    return pDocument->characterCount() - 1 + (pDocument->blockCount() - 1);
}

int CQtTextBox::GetLimitText() const { return m_nLimitText; }

int CQtTextBox::ToDocumentPosition(int nPosition) const
{
    const QTextDocument* pDocument = Document();
    if (nPosition <= 0)
        return 0;
    if (nPosition >= GetTextLength())
        return pDocument->characterCount() - 1;
    // The last line that starts at or before the position; line n starts at
    // its document position plus n (one more character per earlier break).
    int nLow = 0;
    int nHigh = pDocument->blockCount() - 1;
    while (nLow < nHigh) {
        const int nMid = nLow + (nHigh - nLow + 1) / 2;
        const QTextBlock block = pDocument->findBlockByNumber(nMid);
        if (block.position() + nMid <= nPosition)
            nLow = nMid;
        else
            nHigh = nMid - 1;
    }
    const QTextBlock block = pDocument->findBlockByNumber(nLow);
    // A position inside a break stays at the end of its line.
    const int nOffset = std::min(nPosition - (block.position() + nLow), block.length() - 1);
    return block.position() + nOffset;
}

int CQtTextBox::FromDocumentPosition(int nDocPosition) const
{
    return nDocPosition + Document()->findBlock(nDocPosition).blockNumber();
}

void CQtTextBox::SetSel(int nStart, int nEnd)
{
    QTextCursor cursor = m_pEdit->textCursor();
    if (nStart == -1) {
        cursor.clearSelection();
    } else {
        const int nLength = GetTextLength();
        if (nEnd < 0)
            nEnd = nLength;
        cursor.setPosition(ToDocumentPosition(std::clamp(nStart, 0, nLength)));
        cursor.setPosition(ToDocumentPosition(std::clamp(nEnd, 0, nLength)), QTextCursor::KeepAnchor);
    }
    m_pEdit->setTextCursor(cursor);
}

void CQtTextBox::GetSel(int& nStart, int& nEnd) const
{
    const QTextCursor cursor = m_pEdit->textCursor();
    nStart = FromDocumentPosition(cursor.selectionStart());
    nEnd = FromDocumentPosition(cursor.selectionEnd());
}

void CQtTextBox::ScrollCaret() { m_pEdit->ensureCursorVisible(); }

void CQtTextBox::ReplaceSel(const QString& strText)
{
    QTextCursor cursor = m_pEdit->textCursor();
    cursor.insertText(ToEditText(strText));
    m_pEdit->setTextCursor(cursor);
}

void CQtTextBox::AppendText(const QString& strText)
{
    QScrollBar* pVertical = m_pEdit->verticalScrollBar();
    QScrollBar* pHorizontal = m_pEdit->horizontalScrollBar();
    const int nVertical = pVertical->value();
    const int nHorizontal = pHorizontal->value();
    const QTextCursor user = m_pEdit->textCursor();
    const int nAnchor = user.anchor();
    const int nPosition = user.position();
    const int nEnd = Document()->characterCount() - 1;
    // At the end: the view shows the last line, or the user took the caret
    // to the end (Ctrl+End, End on the last line), which scrolls only as far
    // as makes the caret seen.
    const bool bShowsEnd = nVertical >= pVertical->maximum() ||
                           (nPosition == nEnd && m_pEdit->viewport()->rect().intersects(m_pEdit->cursorRect()));

    // A cursor of its own: the user's caret and selection are not touched.
    QTextCursor end(Document());
    end.movePosition(QTextCursor::End);
    end.insertText(ToEditText(strText));

    // The document moves a caret or selection end that sat at the very end
    // along with the new text; put it back where the user left it.
    if (nAnchor == nEnd || nPosition == nEnd) {
        QTextCursor kept(Document());
        kept.setPosition(nAnchor);
        kept.setPosition(nPosition, QTextCursor::KeepAnchor);
        m_pEdit->setTextCursor(kept);  // scrolls to the caret: undone below
        pHorizontal->setValue(nHorizontal);
    }
    // The view follows the end only while it was showing it.
    pVertical->setValue(bShowsEnd ? pVertical->maximum() : nVertical);
}

void CQtTextBox::SetWindowText(const QString& strText) { m_pEdit->setPlainText(ToEditText(strText)); }

QString CQtTextBox::GetWindowText() const
{
    // The raw text keeps every character as typed (no-break spaces too);
    // paragraph ends come back as CR LF.
    QString strText = Document()->toRawText();
    strText.replace(QChar::ParagraphSeparator, QLatin1String("\r\n"));
    return strText;
}

void CQtTextBox::EnableWindow(bool bEnable) { m_pEdit->setEnabled(bEnable); }

bool CQtTextBox::IsWindowEnabled() const { return m_pEdit->isEnabled(); }
