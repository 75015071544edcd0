// Response reading without a socket: end conditions over every cut of the
// input, the head fields and the status line.
#include "http/CHTTPLayer.h"
#include "http/CResponseEnd.h"
#include "http/CResponseHead.h"

#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    if (nSize > 1 << 16)
        return 0;
    // An exact-size copy, so that any read past the end is caught.
    std::vector<char> data(pData, pData + nSize);
    const int n = static_cast<int>(nSize);
    for (int nCut = 0; nCut <= n; nCut += 1 + nCut / 8) {
        CResponseEnd::IsComplete(data.data(), nCut);
        CResponseEnd::IsChunkedBodyComplete(data.data(), nCut);
    }
    const CResponseHead head(data.data(), n);
    head.HasToken("Connection", "close");
    int nStatus = 0;
    if (CHTTPLayer::ParseStatusCode(data.data(), n, nStatus) == S_OK && nStatus < 0)
        __builtin_trap();
    return 0;
}
