#include "CompareTests.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace CompareTests {

CMannWhitney MannWhitney(const std::vector<std::uint32_t>& first, const std::vector<std::uint32_t>& second)
{
    CMannWhitney result;
    const double n1 = double(first.size());
    const double n2 = double(second.size());
    if (first.empty() || second.empty())
        return result;
    // One pass over both sorted samples: each run of equal values gets the
    // mean of its ranks, and adds t^3 - t to the tie sum.
    double dRankSum2 = 0;
    double dTies = 0;
    std::size_t i = 0, j = 0;
    double dRank = 0;  // ranks given so far
    while (i < first.size() || j < second.size()) {
        const std::uint32_t v = j >= second.size() || (i < first.size() && first[i] <= second[j]) ? first[i] : second[j];
        std::size_t c1 = 0, c2 = 0;
        while (i < first.size() && first[i] == v) {
            ++i;
            ++c1;
        }
        while (j < second.size() && second[j] == v) {
            ++j;
            ++c2;
        }
        const double t = double(c1 + c2);
        const double dMeanRank = dRank + (t + 1) / 2;
        dRankSum2 += double(c2) * dMeanRank;
        dTies += t * t * t - t;
        dRank += t;
    }
    const double n = n1 + n2;
    result.dU = dRankSum2 - n2 * (n2 + 1) / 2;
    result.dShare = result.dU / (n1 * n2);
    const double dMean = n1 * n2 / 2;
    const double dVar = n1 * n2 / 12 * ((n + 1) - dTies / (n * (n - 1)));
    if (dVar <= 0)  // every time equal: no shift to see
        return result;
    const double dDiff = result.dU - dMean;
    const double dCorrected = std::max(0.0, std::abs(dDiff) - 0.5);
    result.dZ = std::copysign(dCorrected / std::sqrt(dVar), dDiff);
    result.dP = std::min(1.0, std::erfc(std::abs(result.dZ) / std::sqrt(2.0)));
    return result;
}

namespace {

double LogChoose(double n, double k)
{
    return std::lgamma(n + 1) - std::lgamma(k + 1) - std::lgamma(n - k + 1);
}

// Fisher's exact test, two-sided: the sum of the probabilities of every
// table with the same margins that is no more likely than the one seen.
double Fisher(std::uint64_t k1, std::uint64_t n1, std::uint64_t k2, std::uint64_t n2)
{
    const std::uint64_t nK = k1 + k2;
    const std::uint64_t nN = n1 + n2;
    const double dLogTotal = LogChoose(double(nN), double(nK));
    auto logP = [&](std::uint64_t x) {
        return LogChoose(double(n1), double(x)) + LogChoose(double(n2), double(nK - x)) - dLogTotal;
    };
    const double dSeen = logP(k1);
    const std::uint64_t nLow = nK > n2 ? nK - n2 : 0;
    const std::uint64_t nHigh = std::min(nK, n1);
    double dP = 0;
    for (std::uint64_t x = nLow; x <= nHigh; ++x) {
        const double d = logP(x);
        if (d <= dSeen + 1e-7)
            dP += std::exp(d);
    }
    return std::min(1.0, dP);
}

}  // namespace

CProportions TwoProportions(std::uint64_t k1, std::uint64_t n1, std::uint64_t k2, std::uint64_t n2)
{
    CProportions result;
    if (n1 == 0 || n2 == 0)
        return result;
    const double dN = double(n1 + n2);
    const double dK = double(k1 + k2);
    const double dMinExpected = std::min({double(n1) * dK / dN, double(n2) * dK / dN, double(n1) * (dN - dK) / dN,
                                          double(n2) * (dN - dK) / dN});
    if (dMinExpected < 5) {
        result.bExact = true;
        result.dP = Fisher(k1, n1, k2, n2);
        return result;
    }
    const double p = dK / dN;
    const double dSe = std::sqrt(p * (1 - p) * (1 / double(n1) + 1 / double(n2)));
    const double z = (double(k2) / double(n2) - double(k1) / double(n1)) / dSe;
    result.dP = std::min(1.0, std::erfc(std::abs(z) / std::sqrt(2.0)));
    return result;
}

std::vector<bool> Holm(const std::vector<double>& p, double dAlpha)
{
    std::vector<std::size_t> order(p.size());
    std::iota(order.begin(), order.end(), std::size_t(0));
    std::stable_sort(order.begin(), order.end(), [&p](std::size_t a, std::size_t b) { return p[a] < p[b]; });
    std::vector<bool> real(p.size(), false);
    for (std::size_t r = 0; r < order.size(); ++r) {
        if (p[order[r]] >= dAlpha / double(order.size() - r))
            break;
        real[order[r]] = true;
    }
    return real;
}

}  // namespace CompareTests
