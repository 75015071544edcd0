#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>

// Each byte as two lower-case hexadecimal digits, in order.
QByteArray ToLowerHex(const std::uint8_t* pData, std::size_t nLength);
