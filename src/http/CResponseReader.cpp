#include "CResponseReader.h"

#include "platform/MonotonicClock.h"

#include <algorithm>

CResponseReader::CResponseReader(ITransport& transport, int nWaitSec, int nWaitUSec, int nLimitMs,
                                 std::unique_ptr<char[]>& buffer)
    : m_transport(transport), m_nWaitSec(nWaitSec), m_nWaitUSec(nWaitUSec), m_nLimitMs(nLimitMs), m_buffer(buffer)
{
}

QString CResponseReader::WaitText() const
{
    const std::int64_t nMs = static_cast<std::int64_t>(m_nWaitSec) * 1000 + m_nWaitUSec / 1000;
    return nMs % 1000 == 0 ? QStringLiteral("%1 s").arg(nMs / 1000) : QStringLiteral("%1 ms").arg(nMs);
}

CResponseReader::EEnd CResponseReader::Read(CResponseParser& parser)
{
    m_strReason.clear();
    m_bPeerEnded = false;
    m_bEndedCleanly = false;
    m_nArrivalUs = -1;
    if (!m_buffer)
        m_buffer.reset(new char[kRecvChunk]);
    const std::int64_t nWaitMs = static_cast<std::int64_t>(m_nWaitSec) * 1000 + m_nWaitUSec / 1000;
    const std::int64_t nDeadline = MonotonicMs() + m_nLimitMs;
    for (;;) {
        // Each wait is the given one, but never beyond the limit of the whole response.
        const std::int64_t nLeftMs = std::max<std::int64_t>(nDeadline - MonotonicMs(), 0);
        const bool bLimited = nLeftMs < nWaitMs;
        const int nReady = bLimited
            ? m_transport.WaitReadable(static_cast<int>(nLeftMs / 1000), static_cast<int>(nLeftMs % 1000) * 1000)
            : m_transport.WaitReadable(m_nWaitSec, m_nWaitUSec);
        if (nReady < 0) {
            m_strReason = m_transport.RecvProblem();
            m_bPeerEnded = true;
            return EEnd::Failed;
        }
        if (nReady == 0) {
            if (bLimited) {
                m_strReason = QStringLiteral("response still incomplete after %1 s %2")
                                  .arg(m_nLimitMs / 1000)
                                  .arg(parser.Progress());
                return EEnd::Failed;
            }
            if (!parser.IsEmpty())
                m_strReason = QStringLiteral("no more data for %1 %2").arg(WaitText(), parser.Progress());
            return parser.Status() < 0 ? EEnd::Timeout : EEnd::Failed;
        }
        const int n = m_transport.Recv(m_buffer.get(), kRecvChunk);
        if (n == ITransport::kWouldBlock)
            continue;  // part of a TLS record: wait for the rest
        if (n == ITransport::kFailed) {
            m_bPeerEnded = true;
            const QString strProblem = m_transport.RecvProblem();
            m_strReason = parser.IsEmpty() && strProblem != QLatin1String("connection reset")
                ? QStringLiteral("no response (%1)").arg(strProblem)
                : QStringLiteral("%1 %2").arg(strProblem, parser.Progress());
            return EEnd::Failed;
        }
        if (n == ITransport::kEnd) {
            m_bPeerEnded = true;
            parser.PeerClosed();
            if (parser.IsComplete()) {
                m_nArrivalUs = MonotonicUs();
                return EEnd::Complete;
            }
            m_strReason = parser.IsEmpty() ? QStringLiteral("no response (connection closed before a status line)")
                                           : QStringLiteral("response cut short ") + parser.Progress();
            return EEnd::Failed;
        }
        const std::int64_t nTaken = parser.Feed(m_buffer.get(), n);
        if (parser.IsInvalid()) {
            m_strReason = QStringLiteral("invalid response (%1)").arg(parser.Problem());
            return EEnd::Failed;
        }
        if (parser.IsComplete()) {
            m_bEndedCleanly = parser.EndedByFraming() && nTaken == n;
            m_nArrivalUs = m_transport.LastArrivalUs() >= 0 ? m_transport.LastArrivalUs() : MonotonicUs();
            return EEnd::Complete;
        }
    }
}
