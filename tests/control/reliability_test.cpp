// Reliability figures: the formulas on chosen shares, and a network worked by hand. P stands
// at the centre of the equilateral triangle of the fixed points A, B, C (1000 m away), with
// the distances P–A, P–B, P–C (mD = 10 mm, p_s = 1/mD²) and one direction set at P to A, B,
// C (m = 10 cc, p_d = 1/m²). The unit vectors to A, B, C sum to zero, so the orientation
// takes exactly 1/3 of each direction and N = 3/2·K·I with K = p_s + p_d·ρ²/d². Hence
//   distance:  q = p_s/(3/2·K),              r = 1 − 2/3·p_s/K
//   direction: q = p_d·(ρ/d)²/(3/2·K) + 1/3,  r = 2/3·p_s/K
// and the six redundancy numbers sum to 3 = m − n (m = 3 distances + 2 directions, n = 2).

#include "common/encoding.h"
#include "engine/adjustment.h"
#include "export/results.h"
#include "input/read_network_data.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

namespace ptw3 {
namespace {

constexpr Real rho = 636619.772368L; // cc per radian

NetworkResults adjustHandNetwork(AdjustmentPrinciple principle, AnalysisMode mode) {
    test::TempFolder folder;
    folder.write("XY.sta", "A 6000 5000\r\nB 4500 5866.02540378\r\nC 4500 4133.97459622\r\n");
    folder.write("XY.prz", "P 5000.03 4999.98\r\n");
    folder.write("DLUGOSCI.b", "P A 1000 0.01\r\nP B 1000 0.01\r\nP C 1000 0.01\r\n");
    folder.write("KIERUNKI", "P 11\r\nA 0 10\r\nB 133.33333333 10\r\nC 266.66666667 10\r\n0\r\n");
    test::TestContext t;
    NetworkData network;
    readNetworkData(folder.path(), network, t.context);
    CalculationOptions options;
    options.workingFolder = folder.path();
    options.accelerationLevel = AccelerationLevel::None;
    options.principle = principle;
    options.analysisMode = mode;
    CalculationResults results;
    AdjustmentOutcome outcome;
    adjustNetwork(options, network, results, t.context, &outcome);
    return collectResults(network, options, outcome, results, {}, {});
}

TEST(Reliability, FiguresFollowFromTheShareAndTheResidual) {
    struct Case {
        const char* what;
        Real share, v, m, mo;
        Real r;
        std::optional<Real> w, wMo, grossError, mdb;
    };
    const Case cases[] = {
        {"a quarter left to the residual", 0.75L, -2, 1, 2, 0.25L, -4, -2, 8, 8.26L},
        {"uncontrolled: no gross error", 0.995L, 0.1L, 2, 1, 0.005L, 0.1L / (2 * std::sqrt(0.005L)),
         0.1L / (2 * std::sqrt(0.005L)), std::nullopt, 4.13L * 2 / std::sqrt(0.005L)},
        {"share beyond 1 by round-off", 1.0000001L, 0, 3, 1, 0, std::nullopt, std::nullopt,
         std::nullopt, std::nullopt},
        {"share below 0 by round-off", -1e-9L, 0.5L, 1, 1, 1, 0.5L, 0.5L, -0.5L, 4.13L},
    };
    const auto expectSame = [](const std::optional<Real>& actual,
                               const std::optional<Real>& expected) {
        ASSERT_EQ(actual.has_value(), expected.has_value());
        if (expected) {
            EXPECT_NEAR(static_cast<double>(*actual), static_cast<double>(*expected), 1e-9);
        }
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ReliabilityFigures f = reliabilityFigures(c.share, c.v, c.m, c.mo);
        EXPECT_NEAR(static_cast<double>(f.r), static_cast<double>(c.r), 1e-12);
        expectSame(f.w, c.w);
        expectSame(f.wMo, c.wMo);
        expectSame(f.grossError, c.grossError);
        expectSame(f.mdb, c.mdb);
    }
}

TEST(Reliability, HandNetworkSharesItsRedundancy) {
    const Real k = 1e4L + 0.01L * (rho / 1000) * (rho / 1000);
    const Real distanceR = 1 - 2 * 1e4L / (3 * k);
    const Real directionR = 2 * 1e4L / (3 * k);
    const Real approximateR = 1 - 2.0L / 5; // Otrębski: 1 − n/m
    struct Case {
        const char* what;
        AdjustmentPrinciple principle;
        AnalysisMode mode;
        ReliabilityBasis basis;
        Real distance, direction;
    };
    const Case cases[] = {
        {"full analysis", AdjustmentPrinciple::LeastSquares, AnalysisMode::Full, ReliabilityBasis::Full, distanceR,
         directionR},
        {"approximate analysis", AdjustmentPrinciple::LeastSquares, AnalysisMode::Approximate,
         ReliabilityBasis::Approximate, approximateR, approximateR},
        {"robust weights", AdjustmentPrinciple::RobustDistancesAndAngles, AnalysisMode::Full, ReliabilityBasis::None, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const NetworkResults r = adjustHandNetwork(c.principle, c.mode);
        EXPECT_EQ(r.run.reliability, c.basis);
        ASSERT_EQ(r.observations.size(), 6u);
        for (const ObservationResult& o : r.observations) {
            SCOPED_TRACE(r.points[static_cast<size_t>(o.to)].number);
            if (c.basis == ReliabilityBasis::None) {
                EXPECT_FALSE(o.reliability.has_value());
                continue;
            }
            ASSERT_TRUE(o.reliability.has_value());
            const Real expected = isLength(o.kind) ? c.distance : c.direction;
            const Real m = isLength(o.kind) ? 0.01L : 10;
            EXPECT_NEAR(static_cast<double>(o.reliability->r), static_cast<double>(expected), 1e-9);
            EXPECT_NEAR(static_cast<double>(*o.reliability->mdb),
                        static_cast<double>(4.13L * m / std::sqrt(expected)), 1e-6 * m);
        }
        if (c.basis == ReliabilityBasis::Full) {
            EXPECT_NEAR(static_cast<double>(*r.counts.redundancySum), r.counts.m - r.counts.n,
                        1e-9);
        }
    }
}

} // namespace
} // namespace ptw3
