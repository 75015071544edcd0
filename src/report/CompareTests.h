#pragma once

#include <cstdint>
#include <vector>

// The tests a comparison of two runs uses to tell a real change from noise.
namespace CompareTests {

// Mann-Whitney U of two samples, each sorted ascending: U of the second
// (how often a time of the second exceeds one of the first, ties counting
// half), its z by the normal approximation with the tie correction and a
// continuity correction of 1/2, and the two-sided p. dShare is U over
// n1 * n2: 0.5 when neither tends to be larger, above it when the second's
// times tend to be longer. With an empty sample: p 1, z 0, share 0.5.
struct CMannWhitney {
    double dU = 0;
    double dZ = 0;
    double dP = 1;
    double dShare = 0.5;
};
CMannWhitney MannWhitney(const std::vector<std::uint32_t>& first, const std::vector<std::uint32_t>& second);

// Whether the share of failures differs between k1 of n1 and k2 of n2, two-
// sided p: Fisher's exact test when an expected count of the 2x2 table is
// below 5, else the pooled two-proportion z test. bExact says which.
struct CProportions {
    double dP = 1;
    bool bExact = false;
};
CProportions TwoProportions(std::uint64_t k1, std::uint64_t n1, std::uint64_t k2, std::uint64_t n2);

// Holm's step-down method: which of the p values stay below dAlpha when
// the level is held for all of them together.
std::vector<bool> Holm(const std::vector<double>& p, double dAlpha);

}  // namespace CompareTests
