#include "CLogBoxQueue.h"

#include "platform/ITextBox.h"

#include <QThread>

#include <limits>

CLogBoxQueue::CLogBoxQueue(ITextBox& logBox, ControlHandler controlHandler, QObject* pParent)
    : QObject(pParent), m_logBox(logBox), m_controlHandler(std::move(controlHandler))
{
}

bool CLogBoxQueue::OnOwnThread() const { return QThread::currentThread() == thread(); }

void CLogBoxQueue::PostLine(const QString& strLine) { Post(Entry{true, strLine, ERunControl::Send, false}); }

void CLogBoxQueue::EnableControl(ERunControl eControl, bool bEnable)
{
    Post(Entry{false, QString(), eControl, bEnable});
}

void CLogBoxQueue::Post(Entry entry)
{
    if (OnOwnThread()) {
        Drain();
        if (entry.bLine)
            AppendLines(m_logBox, QStringList{entry.strLine});
        else
            m_controlHandler(entry.eControl, entry.bEnable);
        return;
    }
    std::lock_guard lock(m_mutex);
    m_pending.push_back(std::move(entry));
    ScheduleDrain();
}

// Called with m_mutex held.
void CLogBoxQueue::ScheduleDrain()
{
    if (m_bDrainScheduled)
        return;
    m_bDrainScheduled = true;
    QMetaObject::invokeMethod(
        this, [this] { DrainSome(kMaxEntriesPerTurn); }, Qt::QueuedConnection);
}

void CLogBoxQueue::Drain() { DrainSome(std::numeric_limits<size_t>::max()); }

void CLogBoxQueue::DrainSome(size_t nMaxEntries)
{
    std::deque<Entry> entries;
    {
        std::lock_guard lock(m_mutex);
        if (m_pending.size() <= nMaxEntries) {
            entries.swap(m_pending);
            m_bDrainScheduled = false;
        } else {
            for (size_t i = 0; i < nMaxEntries; ++i) {
                entries.push_back(std::move(m_pending.front()));
                m_pending.pop_front();
            }
            // The flag stays set: schedule the next turn for the rest.
            QMetaObject::invokeMethod(
                this, [this] { DrainSome(kMaxEntriesPerTurn); }, Qt::QueuedConnection);
        }
    }
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
        if (nLength + lines[i].size() >= nLimit) {
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
