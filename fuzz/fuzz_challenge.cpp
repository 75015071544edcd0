// Challenge parsing: the input is a 401 response, or one field value, and the
// answer to the first challenge that can be answered.
#include "http/CAuthChallenge.h"
#include "http/CDigestAuth.h"
#include "http/CRequestText.h"

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    if (nSize > 1 << 16)
        return 0;
    std::vector<char> data(pData, pData + nSize);
    const QByteArray value(data.data(), static_cast<qsizetype>(nSize));

    QList<CAuthChallenge> challenges = CAuthChallenge::ParseResponse(data.data(), static_cast<int>(nSize));
    CAuthChallenge::ParseFieldValue(value, challenges);
    for (const CAuthChallenge& challenge : challenges) {
        if (challenge.Scheme().isEmpty())
            __builtin_trap();  // every challenge has a scheme
    }
    if (const CAuthChallenge* pChallenge = CAuthChallenge::FirstAnswerable(challenges)) {
        if (pChallenge->IsDigest()) {
            CDigestAuth digest;
            if (digest.MakeDigestResponse("/httpapi/x?y=1", *pChallenge, "admin", "4719", "00000001", "") == S_OK) {
                const QByteArray request = CRequestText::Digest("/httpapi/x?y=1", "cam", digest);
                if (digest.Response().size() != 32 || !request.endsWith("\r\n\r\n"))
                    __builtin_trap();
            }
        }
    }
    return 0;
}
