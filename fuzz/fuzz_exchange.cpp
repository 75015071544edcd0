// Whole exchanges against a loopback peer that answers with the input: the
// input holds the first response and, after a 0xFF byte, the answer to the
// request with credentials. The peer closes after each answer, unless the
// input starts with a 0x01 byte: then it keeps the connection open after the
// first answer and answers a request that comes on it too, as a keep-alive
// device does. The client's waits are short, so no input makes it wait long.
// A response counts as answered only when the reference framing says that
// what the peer sent is complete.
#include "../tests/support/CLoopbackListener.h"
#include "ReferenceFraming.h"
#include "http/CHTTPLayer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

class CPeer
{
public:
    int Port() const { return m_listener.Port(); }

    void SetAnswers(const QByteArray& first, const QByteArray& second, bool bKeepOpen)
    {
        std::lock_guard lock(m_mutex);
        m_answers[0] = first;
        m_answers[1] = second;
        m_nRequests = 0;
        m_bKeepOpen = bKeepOpen;
    }

private:
    // One connection: answer each request that comes, closing after the
    // first answer unless the input asked to keep the connection open. It
    // allocates nothing, so that no half-made allocation of a peer thread is
    // ever taken for a leak of the client's.
    void Serve(int nFd)
    {
        static constexpr std::size_t kMaxAnswer = 1 << 17;
        char request[1 << 16];
        char answer[kMaxAnswer];
        std::size_t nRequest = 0;
        for (;;) {
            bool bGotRequest = false;
            while (!bGotRequest && nRequest < sizeof request) {
                pollfd pfd{nFd, POLLIN, 0};
                if (poll(&pfd, 1, 2000) <= 0)
                    break;
                const ssize_t n = recv(nFd, request + nRequest, sizeof request - nRequest, 0);
                if (n <= 0)
                    break;
                nRequest += static_cast<std::size_t>(n);
                bGotRequest = memmem(request, nRequest, "\r\n\r\n", 4) != nullptr;
            }
            if (!bGotRequest)
                break;
            nRequest = 0;
            std::size_t nAnswer = 0;
            bool bKeepOpen = false;
            {
                std::lock_guard lock(m_mutex);
                const QByteArray& chosen = m_answers[m_nRequests == 0 ? 0 : 1];
                nAnswer = std::min<std::size_t>(static_cast<std::size_t>(chosen.size()), kMaxAnswer);
                std::memcpy(answer, chosen.constData(), nAnswer);
                bKeepOpen = m_bKeepOpen && m_nRequests == 0;
                ++m_nRequests;
            }
            send(nFd, answer, nAnswer, MSG_NOSIGNAL);
            if (!bKeepOpen)
                break;
        }
    }

    std::mutex m_mutex;
    QByteArray m_answers[2];
    int m_nRequests = 0;
    bool m_bKeepOpen = false;
    CLoopbackListener m_listener{[this](int nFd, int) { Serve(nFd); }};
};

// The client with short waits, so that a response without an end keeps it
// for 50 ms instead of 5 s.
class CQuickLayer : public CHTTPLayer
{
public:
    CQuickLayer()
    {
        m_nTimeoutSec = 0;
        m_nTimeoutUSec = 50000;
        m_nResponseLimitMs = 2000;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    static CPeer peer;
    if (nSize > 1 << 17)
        return 0;
    QByteArray input(reinterpret_cast<const char*>(pData), static_cast<qsizetype>(nSize));
    const bool bKeepOpen = input.startsWith('\x01');
    if (bKeepOpen)
        input.remove(0, 1);
    const qsizetype nSplit = input.indexOf('\xFF');
    peer.SetAnswers(nSplit < 0 ? input : input.left(nSplit), nSplit < 0 ? QByteArray() : input.mid(nSplit + 1),
                    bKeepOpen);

    CQuickLayer layer;
    layer.SetHost(QStringLiteral("127.0.0.1"));
    layer.Connect(peer.Port());
    char response[2048];
    std::memset(response, 0, sizeof response);
    int nLength = static_cast<int>(sizeof response) - 8;  // the last bytes must stay untouched
    int nStatus = 0;
    const HRESULT hr = layer.SendRequest("/httpapi/fuzz", response, nLength, nStatus, "admin", "4719");
    if (nLength < 0 || nLength > static_cast<int>(sizeof response) - 8)
        __builtin_trap();
    if (hr == S_OK && nLength < static_cast<int>(sizeof response) - 8 && response[nLength] != '\0')
        __builtin_trap();
    for (std::size_t i = sizeof response - 8; i < sizeof response; ++i)
        if (response[i] != 0)
            __builtin_trap();
    if (hr == S_OK && nSplit < 0 && nStatus != 401) {
        // One answer, no credentials asked: it must have been whole.
        const reference::Result ref = reference::Decide(std::string_view(input.constData(), input.size()));
        if (ref.outcome == reference::Outcome::NeedMore)
            __builtin_trap();  // answered with a response cut short
    }
    if (hr == S_OK && (nStatus < 100 || nStatus > 999))
        __builtin_trap();  // an answer always has a status read from its status line
    return 0;
}
