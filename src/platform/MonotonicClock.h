#pragma once

#include <chrono>
#include <cstdint>

// Microseconds of a clock that never goes backwards; only differences of two
// readings mean anything.
inline std::int64_t MonotonicUs()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

// The milliseconds of a microsecond reading: the same figure MonotonicMs()
// would have given for that instant (both cut the clock's count down).
inline std::int64_t MsOfMonotonicUs(std::int64_t nUs)
{
    return nUs / 1000;
}

// Milliseconds of the same clock.
inline std::int64_t MonotonicMs()
{
    return MsOfMonotonicUs(MonotonicUs());
}
