#pragma once

#include <QByteArray>

#include <array>
#include <cstdint>

// MD5 message digest (RFC 1321), over byte strings of any length.
class CMd5
{
public:
    CMd5();

    void Update(const void* pData, std::size_t nLength);
    std::array<std::uint8_t, 16> Final();

private:
    void Transform(const std::uint8_t* pBlock);

    std::array<std::uint32_t, 4> m_state;
    std::uint64_t m_nBitCount = 0;
    std::array<std::uint8_t, 64> m_buffer{};
    std::size_t m_nBuffered = 0;
};

// The 16-byte digest of nLength bytes at pData.
void MD5Digest(const void* pData, std::size_t nLength, std::uint8_t out[16]);

// The digest as 32 lower-case hexadecimal characters.
QByteArray MD5HexString(const QByteArray& data);
