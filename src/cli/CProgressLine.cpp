#include "CProgressLine.h"

#include "platform/MonotonicClock.h"

#include <QTextStream>

#include <algorithm>
#include <unistd.h>

CProgressLine::CProgressLine(QTextStream& err, std::mutex& outMutex)
    : m_err(err), m_outMutex(outMutex), m_bTerminal(isatty(STDERR_FILENO) != 0), m_nShownMs(MonotonicMs())
{
    m_nEveryMs = m_bTerminal ? 500 : 10000;
    const QByteArray every = qgetenv("VELKOR_PROGRESS_EVERY_MS");
    bool bOk = !every.isEmpty() && every.size() <= 7 &&
               std::all_of(every.begin(), every.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
    const int nEveryMs = bOk ? every.toInt(&bOk) : 0;
    if (bOk && nEveryMs >= 100 && nEveryMs <= 3600000)
        m_nEveryMs = nEveryMs;
}

bool CProgressLine::Due() const { return MonotonicMs() - m_nShownMs >= m_nEveryMs; }

void CProgressLine::Show(const QString& strLine)
{
    m_nShownMs = MonotonicMs();
    std::lock_guard lock(m_outMutex);
    if (m_bTerminal) {
        // Spaces wipe what a longer line before left.
        m_err << '\r' << strLine << QString(std::max<qsizetype>(0, m_nShown - strLine.size()), QLatin1Char(' '));
        m_err.flush();
        m_nShown = strLine.size();
    } else {
        m_err << "velkor-cli: " << strLine << Qt::endl;
    }
}

void CProgressLine::Finish(const QString& strLine)
{
    if (!m_bTerminal || m_nShown == 0)
        return;
    std::lock_guard lock(m_outMutex);
    m_err << '\r' << strLine << QString(std::max<qsizetype>(0, m_nShown - strLine.size()), QLatin1Char(' '))
          << Qt::endl;
}
