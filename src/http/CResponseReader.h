#pragma once

#include "http/CResponseParser.h"
#include "http/ITransport.h"

#include <QString>

#include <cstdint>
#include <memory>

// Reads one response from a connection into a parser and says how it ended:
// complete, the wait ran out before a status line came (a time-out), or
// failed, with the reason in words for the log.
class CResponseReader
{
public:
    enum class EEnd { Complete, Timeout, Failed };
    static constexpr int kRecvChunk = 65536;

    // Each wait for more data is nWaitSec seconds plus nWaitUSec
    // microseconds; the whole response takes at most nLimitMs. buffer is
    // where the received bytes land (kRecvChunk at a time), made at the first
    // read if empty: the caller's, so that a connection keeps one for all its
    // responses, and left unfilled, so that only the pages a response
    // reaches are ever resident (a fleet has one per device).
    CResponseReader(ITransport& transport, int nWaitSec, int nWaitUSec, int nLimitMs,
                    std::unique_ptr<char[]>& buffer);

    EEnd Read(CResponseParser& parser);

    // Why the response failed (also a time-out with bytes before it);
    // empty otherwise.
    const QString& Reason() const { return m_strReason; }
    // The device ended or broke the connection while the response was read.
    bool PeerEnded() const { return m_bPeerEnded; }
    // The response ended exactly where its framing said, and nothing after
    // it came in the same read.
    bool EndedCleanly() const { return m_bEndedCleanly; }
    // When a complete response's last bytes came, on the MonotonicUs()
    // clock: the kernel's receive time of the segment that brought them;
    // when that is not known (a response ended by the device's close, a
    // socket without arrival times), the time they were read. -1 when the
    // response did not complete.
    std::int64_t ArrivalUs() const { return m_nArrivalUs; }

private:
    QString WaitText() const;

    ITransport& m_transport;
    int m_nWaitSec;
    int m_nWaitUSec;
    int m_nLimitMs;
    QString m_strReason;
    bool m_bPeerEnded = false;
    bool m_bEndedCleanly = false;
    std::int64_t m_nArrivalUs = -1;
    std::unique_ptr<char[]>& m_buffer;
};
