#include "Hex.h"

QByteArray ToLowerHex(const std::uint8_t* pData, std::size_t nLength)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    QByteArray text(static_cast<qsizetype>(nLength * 2), '\0');
    for (std::size_t i = 0; i < nLength; ++i) {
        text[static_cast<qsizetype>(2 * i)] = kDigits[pData[i] >> 4];
        text[static_cast<qsizetype>(2 * i + 1)] = kDigits[pData[i] & 0x0f];
    }
    return text;
}
