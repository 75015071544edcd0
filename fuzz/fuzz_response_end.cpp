// Response reading without a socket. Where the reader ends a response is
// compared with an independent reference of the message-length rules, over
// every cut of the input; the head fields and the status line must survive
// anything.
#include "ReferenceFraming.h"
#include "http/CHTTPLayer.h"
#include "http/CResponseEnd.h"
#include "http/CResponseHead.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

[[noreturn]] void Mismatch(const char* pWhat, int nCut)
{
    std::fprintf(stderr, "framing mismatch at cut %d: %s\n", nCut, pWhat);
    __builtin_trap();
}

// The reader's decision as the client takes it: interim responses dropped
// from the front, then the end of the final one.
void Compare(const char* p, int n)
{
    int nStart = 0;
    while (const int nInterim = CResponseEnd::InterimLength(p + nStart, n - nStart))
        nStart += nInterim;
    const CResponseEnd::Decision ours = CResponseEnd::Decide(p + nStart, n - nStart);
    const reference::Result ref = reference::Decide(std::string_view(p, static_cast<std::size_t>(n)));
    switch (ref.outcome) {
    case reference::Outcome::Malformed:
        return;
    case reference::Outcome::NeedMore:
        if (ours.nLength >= 0)
            Mismatch("ended a response that needs more", n);
        return;
    case reference::Outcome::Complete:
        if (static_cast<std::size_t>(nStart) != ref.nFinalStart)
            Mismatch("interim responses skipped differently", n);
        if (ours.nLength < 0 || !ours.bFramed || static_cast<std::size_t>(ours.nLength) != ref.nLength)
            Mismatch("complete response, other end", n);
        return;
    case reference::Outcome::UntilClose:
        if (static_cast<std::size_t>(nStart) != ref.nFinalStart)
            Mismatch("interim responses skipped differently", n);
        if (ours.bFramed || (ours.nLength >= 0 && ours.nLength != n - nStart))
            Mismatch("an unframed response was framed", n);
        if (ours.nLength >= 0 != CResponseEnd::HasEndMark(p + nStart, n - nStart))
            Mismatch("unframed response ended without its end mark", n);
        return;
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
        Compare(data.data(), nCut);
    Compare(data.data(), n);
    const CResponseHead head(data.data(), n);
    head.HasToken("Connection", "close");
    int nStatus = 0;
    if (CHTTPLayer::ParseStatusCode(data.data(), n, nStatus) == S_OK && nStatus < 0)
        __builtin_trap();
    return 0;
}
