#pragma once

#include <cstdint>

// 32-bit result codes of the HTTP client, in the manner of Windows HRESULTs.
using HRESULT = std::int32_t;

inline constexpr HRESULT S_OK = 0;
// The wait for response data ran out while at most 18 bytes had come.
inline constexpr HRESULT S_WAIT_TIMEOUT = 1;
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
