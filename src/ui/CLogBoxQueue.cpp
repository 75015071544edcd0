#include "CLogBoxQueue.h"

#include "log/LogBoxLimit.h"
#include "platform/ITextBox.h"

CLogBoxQueue::CLogBoxQueue(ITextBox& logBox, ControlHandler controlHandler, QObject* pParent)
    : QObject(pParent),
      m_logBox(logBox),
      m_controlHandler(std::move(controlHandler)),
      m_queue(*this, [this](std::deque<Entry>& entries) { CarryOut(entries); }, kMaxEntriesPerTurn)
{
}

void CLogBoxQueue::PostLine(const QString& strLine) { Post(Entry{true, strLine, ERunControl::Send, false}); }

void CLogBoxQueue::EnableControl(ERunControl eControl, bool bEnable)
{
    Post(Entry{false, QString(), eControl, bEnable});
}

void CLogBoxQueue::Post(Entry entry)
{
    if (m_queue.OnOwnerThread()) {
        Drain();
        if (entry.bLine)
            AppendLines(m_logBox, QStringList{entry.strLine});
        else
            m_controlHandler(entry.eControl, entry.bEnable);
        return;
    }
    m_queue.Post([&entry](std::deque<Entry>& pending) { pending.push_back(std::move(entry)); });
}

void CLogBoxQueue::Drain() { m_queue.Drain(); }

void CLogBoxQueue::CarryOut(std::deque<Entry>& entries)
{
    QStringList lines;
    for (Entry& entry : entries) {
        if (entry.bLine) {
            lines.push_back(std::move(entry.strLine));
            continue;
        }
        if (!lines.isEmpty()) {
            AppendLines(m_logBox, lines);
            lines.clear();
        }
        m_controlHandler(entry.eControl, entry.bEnable);
    }
    if (!lines.isEmpty())
        AppendLines(m_logBox, lines);
}

void CLogBoxQueue::AppendLines(ITextBox& box, const QStringList& lines)
{
    if (lines.isEmpty())
        return;
    // Find the last line before which the box would be emptied; everything
    // earlier would be gone by then.
    const qint64 nLimit = box.GetLimitText();
    qint64 nLength = box.GetTextLength();
    qsizetype nFirst = 0;
    bool bEmpty = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (LogBoxEmptiesBefore(nLength, lines[i].size(), nLimit)) {
            nLength = 0;
            nFirst = i;
            bEmpty = true;
        }
        nLength += lines[i].size();
    }
    if (bEmpty)
        box.SetWindowText(QString());
    QString strChunk;
    if (nFirst == 0 && lines.size() == 1) {
        strChunk = lines.front();
    } else {
        qsizetype nSize = 0;
        for (qsizetype i = nFirst; i < lines.size(); ++i)
            nSize += lines[i].size();
        strChunk.reserve(nSize);
        for (qsizetype i = nFirst; i < lines.size(); ++i)
            strChunk += lines[i];
    }
    box.AppendText(strChunk);
}
