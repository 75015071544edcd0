#pragma once

#include "CGuiBatchQueue.h"
#include "engine/RunResults.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <cstdint>
#include <deque>
#include <variant>
#include <vector>

// Carries a run's results from the worker to the window's thread, in order,
// the way CLogBoxQueue carries log lines: the worker only files a small
// record under a lock; the window's thread takes everything pending in one
// go (at most kMaxEntriesPerTurn per turn of its event loop) and hands it to
// its sink. A URL travels once, when first seen in a run; the records that
// follow name it by its number. A call made on the window's thread itself
// is carried out at once, after what is pending.
class CResultsListener : public QObject, public IRunListener {
public:
    // One request as the window keeps it.
    struct SPoint {
        std::int64_t nAtMs = 0;    // start, in ms since the run started
        std::int64_t nTimeMs = 0;  // response time as logged
        int nIndex = 0;            // 1, 2, ... in the run
        int nPass = 0;             // While pass, 0 outside a block
        int nUrl = 0;              // number of the URL in the run, from 0
        int nLine = 0;             // the command's line in the script, from 1
        std::int16_t nStatus = -1; // HTTP status; -1 when no response came
        ERequestOutcome outcome = ERequestOutcome::Ok;
        bool bPass = true;         // the request's verdict
        bool bCheckFailed = false; // an Expect or Capture line of it failed
    };

    // What the window's thread gets, in the order the worker reported it.
    class ISink {
    public:
        virtual ~ISink() = default;
        virtual void OnRunStarted(const CRunStartInfo& info) = 0;
        // The run's next URL; its number is the count of URLs before it.
        virtual void OnUrlSeen(const QString& strUrl) = 0;
        virtual void OnResults(const std::vector<SPoint>& points) = 0;
        // A CheckAlive wait, once it ended.
        virtual void OnWait(const CCheckAliveResult& wait) = 0;
        virtual void OnRunEnded(const CRunEndInfo& info) = 0;
    };

    explicit CResultsListener(ISink& sink, QObject* pParent = nullptr);

    // The result the window's statistics and verdict take for a request it
    // keeps (the request's URL: strUrl); the fields a point lacks are left.
    static void FillResult(const SPoint& point, const QString& strUrl, CRequestResult& result);

    void OnRunStart(const CRunStartInfo& info) override;
    void OnRequest(const CRequestResult& result) override;
    void OnCheckAlive(const CCheckAliveResult& result) override;
    void OnRunEnd(const CRunEndInfo& info) override;

    // Carries out everything pending; window thread only.
    void Drain();

    // Fewer than the log box's: a new URL costs the window more than a line
    // (a run of a new URL per request hands over two entries a request).
    static constexpr int kMaxEntriesPerTurn = kGuiMaxEntriesPerTurn / 5;

private:
    using Entry = std::variant<SPoint, QString, CRunStartInfo, CRunEndInfo, CCheckAliveResult>;

    static SPoint MakePoint(const CRequestResult& result, int nUrl);
    void CarryOut(std::deque<Entry>& entries);

    ISink& m_sink;
    QHash<QString, int> m_hashUrls;  // the run's URLs so far; filed under the queue's lock
    CGuiBatchQueue<Entry> m_queue;
};
