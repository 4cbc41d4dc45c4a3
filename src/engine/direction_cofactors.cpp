#include "engine/direction_cofactors.h"

#include <cassert>

namespace ptw3 {

std::vector<Real> directionShares(std::span<const Real> angleForms,
                                  std::span<const Real> meanErrorsCc) {
    const size_t n = meanErrorsCc.size();
    assert(angleForms.size() == n * (n - 1) / 2);
    // G is kept whole (n is at most 500 directions); row and column 0 stay zero (d_1 = 0).
    std::vector<Real> g(n * n, 0);
    const auto at = [&](size_t i, size_t j) -> Real& { return g[i * n + j]; };
    size_t angle = 0;
    for (size_t i = 0; i < n; ++i) {
        for (size_t j = i + 1; j < n; ++j, ++angle) {
            if (i == 0) {
                at(j, j) = angleForms[angle];
            } else {
                at(i, j) = at(j, i) = (at(i, i) + at(j, j) - angleForms[angle]) / 2;
            }
        }
    }
    std::vector<Real> w(n);
    Real weightSum = 0;
    for (size_t k = 0; k < n; ++k) {
        w[k] = 1 / (meanErrorsCc[k] * meanErrorsCc[k]);
        weightSum += w[k];
    }
    for (Real& wk : w) {
        wk /= weightSum;
    }
    // Σ_j w_j G_kj for every k, and Σ_ij w_i w_j G_ij.
    std::vector<Real> gw(n, 0);
    Real wgw = 0;
    for (size_t k = 0; k < n; ++k) {
        for (size_t j = 0; j < n; ++j) {
            gw[k] += w[j] * at(k, j);
        }
        wgw += w[k] * gw[k];
    }
    std::vector<Real> q(n);
    for (size_t k = 0; k < n; ++k) {
        const Real p = w[k] * weightSum;
        q[k] = p * (at(k, k) - 2 * gw[k] + wgw) + w[k];
    }
    return q;
}

} // namespace ptw3
