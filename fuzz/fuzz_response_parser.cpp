// Response reading without a socket. Where the parser ends a response is
// compared with an independent reference of the message-length rules, over
// every cut of the input and fed in pieces of every size; the head fields
// must survive anything.
#include "ReferenceFraming.h"
#include "http/CResponseHead.h"
#include "http/CResponseParser.h"

#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

namespace {

[[noreturn]] void Mismatch(const char* pWhat, int nCut)
{
    std::fprintf(stderr, "framing mismatch at cut %d: %s\n", nCut, pWhat);
    __builtin_trap();
}

// The first n bytes fed in pieces of nPiece, then, when bClose, the end.
CResponseParser Parse(const char* p, int n, int nPiece, bool bClose, std::int64_t& nTaken)
{
    CResponseParser parser(64);
    nTaken = 0;
    for (int i = 0; i < n && (parser.State() == CResponseParser::EState::Head
                              || parser.State() == CResponseParser::EState::Body);
         i += nPiece) {
        const int nNow = n - i < nPiece ? n - i : nPiece;
        const std::int64_t nFed = parser.Feed(p + i, nNow);
        if (nFed < 0 || nFed > nNow)
            Mismatch("took more than it was given", n);
        nTaken += nFed;
    }
    if (bClose)
        parser.PeerClosed();
    if (parser.Body().size() > 64)
        Mismatch("kept more body than asked", n);
    return parser;
}

void Compare(const char* p, int n, int nPiece)
{
    std::int64_t nTaken = 0;
    const CResponseParser ours = Parse(p, n, nPiece, false, nTaken);
    const reference::Result ref = reference::Decide(std::string_view(p, static_cast<std::size_t>(n)));
    switch (ref.outcome) {
    case reference::Outcome::Malformed:
        return;
    case reference::Outcome::NeedMore:
        if (ours.IsComplete())
            Mismatch("ended a response that needs more", n);
        return;
    case reference::Outcome::Complete:
        if (!ours.IsComplete() || !ours.EndedByFraming()
            || static_cast<std::size_t>(nTaken) != ref.nFinalStart + ref.nLength)
            Mismatch("complete response, other end", n);
        return;
    case reference::Outcome::UntilClose: {
        if (ours.IsInvalid())
            Mismatch("a response without framing was refused", n);
        if (ours.EndedByFraming())
            Mismatch("a response without framing was framed", n);
        std::int64_t nClosedTaken = 0;
        if (!Parse(p, n, nPiece, true, nClosedTaken).IsComplete())
            Mismatch("a response without framing did not end with the connection", n);
        return;
    }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    if (nSize > 1 << 16)
        return 0;
    // An exact-size copy, so that any read past the end is caught.
    std::vector<char> data(pData, pData + nSize);
    const int n = static_cast<int>(nSize);
    for (int nCut = 0; nCut <= n; nCut += 1 + nCut / 8)
        Compare(data.data(), nCut, n > 0 ? n : 1);
    for (const int nPiece : {1, 3, 7, 64})
        Compare(data.data(), n, nPiece);
    const CResponseHead head(data.data(), n);
    head.HasToken("Connection", "close");
    return 0;
}
