#pragma once

#include <QString>

#include <cstdint>
#include <mutex>

class QTextStream;

// Where --progress shows its status line, on standard error: on a terminal
// one line rewritten in place (\r) at most twice a second, otherwise a plain
// line "velkor-cli: LINE" every 10 s. The environment variable
// VELKOR_PROGRESS_EVERY_MS (100 to 3600000, digits) sets another interval
// for both, so that scripts and tests need not wait 10 s for a line.
// outMutex: the log's, which standard error may share.
class CProgressLine {
public:
    CProgressLine(QTextStream& err, std::mutex& outMutex);

    int EveryMs() const { return m_nEveryMs; }
    // True when the interval has passed since the line was last shown (or
    // since this was made).
    bool Due() const;
    void Show(const QString& strLine);
    // The run is over: on a terminal the line a last time, and a line break.
    void Finish(const QString& strLine);

private:
    QTextStream& m_err;
    std::mutex& m_outMutex;
    bool m_bTerminal = false;
    int m_nEveryMs = 10000;
    std::int64_t m_nShownMs = 0;  // MonotonicMs() when last shown
    qsizetype m_nShown = 0;       // the length of the terminal's line
};
