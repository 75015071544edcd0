// Challenge parsing: the input is a 401 response, or one field value, and the
// answer to the challenge chosen among them: answerable, and no answerable
// Digest challenge with a stronger hash left aside.
#include "http/CAuthChallenge.h"
#include "http/CDigestAuth.h"
#include "http/CRequestText.h"

#include <cstdint>
#include <vector>

namespace {

// Hash strength of an answerable Digest challenge, by its own reading of the
// algorithm names: 0 MD5 (or none named), 1 SHA-256, 2 SHA-512-256; -1 other.
int Strength(const CAuthChallenge& challenge)
{
    if (!challenge.HasParam("algorithm"))
        return 0;
    QByteArray name = challenge.Param("algorithm").toLower();
    if (name.endsWith("-sess"))
        name.chop(5);
    return name == "md5" ? 0 : name == "sha-256" ? 1 : name == "sha-512-256" ? 2 : -1;
}

} // namespace

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
    const CAuthChallenge* pChallenge = CAuthChallenge::Choose(challenges);
    bool bAnyAnswerable = false;
    bool bAnyDigest = false;
    for (const CAuthChallenge& challenge : challenges) {
        bAnyDigest = bAnyDigest || (challenge.IsDigest() && Strength(challenge) >= 0);
        bAnyAnswerable = bAnyAnswerable || challenge.IsBasic() || bAnyDigest;
    }
    if (bAnyAnswerable != (pChallenge != nullptr))
        __builtin_trap();
    if (bAnyDigest && !pChallenge->IsDigest())
        __builtin_trap();  // Basic chosen while a Digest could be answered
    if (pChallenge && pChallenge->IsDigest()) {
        const int nChosen = Strength(*pChallenge);
        if (nChosen < 0)
            __builtin_trap();
        for (const CAuthChallenge& challenge : challenges)
            if (challenge.IsDigest() && Strength(challenge) > nChosen)
                __builtin_trap();  // a stronger one was left aside
        CDigestAuth digest;
        if (digest.MakeDigestResponse("/httpapi/x?y=1", *pChallenge, "admin", "4719", "00000001", QByteArray()) == S_OK) {
            const QByteArray request = CRequestText::Digest("/httpapi/x?y=1", "cam", digest);
            const qsizetype nExpected = nChosen == 0 ? 32 : 64;
            if (digest.Response().size() != nExpected || !request.endsWith("\r\n\r\n"))
                __builtin_trap();
        }
    }
    return 0;
}
