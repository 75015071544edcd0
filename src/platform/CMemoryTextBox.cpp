#include "CMemoryTextBox.h"

#include <algorithm>

namespace {
const QString kBreak = QStringLiteral("\r\n");

// Every line end (CR LF, a lone CR, a lone LF) as one CR LF.
QString WithCrLfBreaks(const QString& strText)
{
    if (!strText.contains(QLatin1Char('\r')) && !strText.contains(QLatin1Char('\n')))
        return strText;
    QString strResult;
    strResult.reserve(strText.size() + strText.size() / 8);
    for (qsizetype i = 0; i < strText.size(); ++i) {
        const QChar ch = strText[i];
        if (ch == QLatin1Char('\r') || ch == QLatin1Char('\n')) {
            strResult += kBreak;
            if (ch == QLatin1Char('\r') && i + 1 < strText.size() && strText[i + 1] == QLatin1Char('\n'))
                ++i;
        } else {
            strResult += ch;
        }
    }
    return strResult;
}
}  // namespace

CMemoryTextBox::CMemoryTextBox(int nLimitText) : m_nLimitText(nLimitText) {}

void CMemoryTextBox::IndexLines() const
{
    if (m_bLinesValid)
        return;
    m_lineStarts.clear();
    m_lineStarts.append(0);
    for (qsizetype pos = m_strText.indexOf(kBreak); pos >= 0; pos = m_strText.indexOf(kBreak, pos + 2))
        m_lineStarts.append(int(pos + 2));
    m_bLinesValid = true;
}

int CMemoryTextBox::GetLineCount() const
{
    IndexLines();
    return int(m_lineStarts.size());
}

int CMemoryTextBox::GetLine(int nIndex, QString& strLine, int nCapacity) const
{
    strLine.clear();
    IndexLines();
    if (nIndex < 0 || nIndex >= m_lineStarts.size() || nCapacity <= 0)
        return 0;
    const int nStart = m_lineStarts[nIndex];
    const int nEnd = nIndex + 1 < m_lineStarts.size() ? m_lineStarts[nIndex + 1] - 2 : int(m_strText.size());
    strLine = m_strText.mid(nStart, std::min(nEnd - nStart, nCapacity));
    return int(strLine.size());
}

int CMemoryTextBox::GetTextLength() const { return int(m_strText.size()); }

int CMemoryTextBox::GetLimitText() const { return m_nLimitText; }

void CMemoryTextBox::SetSel(int nStart, int nEnd)
{
    if (nStart == -1) {
        m_nAnchor = m_nCaret;
        return;
    }
    const int nLength = GetTextLength();
    if (nEnd < 0)
        nEnd = nLength;
    m_nAnchor = OutOfBreak(std::clamp(nStart, 0, nLength));
    m_nCaret = OutOfBreak(std::clamp(nEnd, 0, nLength));
}

int CMemoryTextBox::OutOfBreak(int nPosition) const
{
    const bool bInBreak = nPosition > 0 && nPosition < m_strText.size() &&
                          m_strText[nPosition - 1] == QLatin1Char('\r') && m_strText[nPosition] == QLatin1Char('\n');
    return bInBreak ? nPosition - 1 : nPosition;
}

void CMemoryTextBox::GetSel(int& nStart, int& nEnd) const
{
    nStart = std::min(m_nAnchor, m_nCaret);
    nEnd = std::max(m_nAnchor, m_nCaret);
}

void CMemoryTextBox::ScrollCaret() {}

void CMemoryTextBox::ReplaceSel(const QString& strText)
{
    int nStart = 0;
    int nEnd = 0;
    GetSel(nStart, nEnd);
    const QString strInsert = WithCrLfBreaks(strText);
    m_strText.replace(nStart, nEnd - nStart, strInsert);
    m_nAnchor = m_nCaret = nStart + int(strInsert.size());
    m_bLinesValid = false;
}

void CMemoryTextBox::AppendText(const QString& strText)
{
    m_strText += WithCrLfBreaks(strText);
    m_bLinesValid = false;
}

void CMemoryTextBox::SetWindowText(const QString& strText)
{
    m_strText = WithCrLfBreaks(strText);
    m_nAnchor = m_nCaret = 0;
    m_bLinesValid = false;
}

QString CMemoryTextBox::GetWindowText() const { return m_strText; }

void CMemoryTextBox::EnableWindow(bool bEnable) { m_bEnabled = bEnable; }

bool CMemoryTextBox::IsWindowEnabled() const { return m_bEnabled; }
