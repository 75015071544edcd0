#include "Md5.h"

#include "Hex.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

constexpr int kShift[64] = {
    7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
    5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
    4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
    6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21,
};

inline std::uint32_t RotateLeft(std::uint32_t x, int n)
{
    return (x << n) | (x >> (32 - n));
}

} // namespace

CMd5::CMd5()
    : m_state{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476}
{
}

void CMd5::Transform(const std::uint8_t* pBlock)
{
    std::uint32_t x[16];
    for (int i = 0; i < 16; ++i) {
        x[i] = static_cast<std::uint32_t>(pBlock[i * 4]) | (static_cast<std::uint32_t>(pBlock[i * 4 + 1]) << 8)
            | (static_cast<std::uint32_t>(pBlock[i * 4 + 2]) << 16)
            | (static_cast<std::uint32_t>(pBlock[i * 4 + 3]) << 24);
    }
    std::uint32_t a = m_state[0], b = m_state[1], c = m_state[2], d = m_state[3];
    for (int i = 0; i < 64; ++i) {
        std::uint32_t f = 0;
        int g = 0;
        if (i < 16) {
            f = (b & c) | (~b & d);
            g = i;
        } else if (i < 32) {
            f = (d & b) | (~d & c);
            g = (5 * i + 1) % 16;
        } else if (i < 48) {
            f = b ^ c ^ d;
            g = (3 * i + 5) % 16;
        } else {
            f = c ^ (b | ~d);
            g = (7 * i) % 16;
        }
        const std::uint32_t nNext = b + RotateLeft(a + f + kSine[i] + x[g], kShift[i]);
        a = d;
        d = c;
        c = b;
        b = nNext;
    }
    m_state[0] += a;
    m_state[1] += b;
    m_state[2] += c;
    m_state[3] += d;
}

void CMd5::Update(const void* pData, std::size_t nLength)
{
    const auto* p = static_cast<const std::uint8_t*>(pData);
    m_nBitCount += static_cast<std::uint64_t>(nLength) * 8;
    while (nLength > 0) {
        const std::size_t nTake = std::min(nLength, m_buffer.size() - m_nBuffered);
        std::memcpy(m_buffer.data() + m_nBuffered, p, nTake);
        m_nBuffered += nTake;
        p += nTake;
        nLength -= nTake;
        if (m_nBuffered == m_buffer.size()) {
            Transform(m_buffer.data());
            m_nBuffered = 0;
        }
    }
}

std::array<std::uint8_t, 16> CMd5::Final()
{
    const std::uint64_t nBits = m_nBitCount;
    const std::uint8_t nPad = 0x80;
    Update(&nPad, 1);
    const std::uint8_t nZero = 0;
    while (m_nBuffered != 56)
        Update(&nZero, 1);
    std::uint8_t length[8];
    for (int i = 0; i < 8; ++i)
        length[i] = static_cast<std::uint8_t>(nBits >> (8 * i));
    Update(length, 8);

    std::array<std::uint8_t, 16> digest{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            digest[i * 4 + j] = static_cast<std::uint8_t>(m_state[i] >> (8 * j));
    *this = CMd5();
    return digest;
}

void MD5Digest(const void* pData, std::size_t nLength, std::uint8_t out[16])
{
    CMd5 md5;
    md5.Update(pData, nLength);
    const auto digest = md5.Final();
    std::memcpy(out, digest.data(), digest.size());
}

QByteArray MD5HexString(const QByteArray& data)
{
    std::uint8_t digest[16];
    MD5Digest(data.constData(), static_cast<std::size_t>(data.size()), digest);
    return ToLowerHex(digest, sizeof digest);
}
