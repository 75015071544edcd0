#pragma once

#include <chrono>
#include <cstdint>

// Milliseconds of a clock that never goes backwards; only differences of two
// readings mean anything.
inline std::int64_t MonotonicMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
