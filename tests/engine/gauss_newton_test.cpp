#include "engine/gauss_newton.h"
#include "engine/weighting.h"

#include <gtest/gtest.h>

#include <cmath>

namespace ptw3 {
namespace {

double d(Real v) { return static_cast<double>(v); }

TEST(RobustWeight, ReducesTheWeightWithTheStandardisedFreeTerm) {
    struct Case {
        Real s, l;
        Real weightFactor; // p·r²/p, worked out from 100/√(1 + 10⁶(l/m)²)
    };
    const Case cases[] = {
        {0.1L, 0, 100},                                   // l = 0: ten times the root
        {0.1L, 10, 100 / std::sqrt(1 + 1e6L)},             // |l/m| = 1: about 0.1
        {2, 0.0005L, 100 / std::sqrt(2.0L)},              // |l/m| = 0.001
        {1, -3, 100 / std::sqrt(1 + 9e6L)},               // the sign does not matter
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(d(c.l));
        const Real root = robustWeightRoot(c.s, c.l);
        EXPECT_NEAR(d(root * root / (c.s * c.s)), d(c.weightFactor), d(c.weightFactor) * 1e-15);
    }
    EXPECT_EQ(robustWeightRoot(0.5L, 0), 5);
}

TEST(UnitErrors, FromTheSumsAndTheRedundancy) {
    struct Case {
        Real pLL, pvvPdd;
        int32_t redundancy;
        Real approximateMo, mo;
    };
    const Case cases[] = {
        {8, 2, 2, 2, 1},                // √(8/2), √(2/2)
        {0.01L, 0.005L, 5, 1, 1},        // sums at most 0.01 give 1
        {0.0101L, -0.5L, 1, std::sqrt(0.0101L), std::sqrt(0.5L)}, // |[pvv]+[pdd]|
        {100, 50, 0, 1, 1},             // no redundancy
        {100, 50, -3, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(d(c.pLL));
        const UnitErrors e = unitErrors(c.pLL, c.pvvPdd, c.redundancy);
        EXPECT_EQ(e.approximateMo, c.approximateMo);
        EXPECT_EQ(e.mo, c.mo);
    }
}

} // namespace
} // namespace ptw3
