// The pre-analysis against the adjustment it foretells, and the design advisor's proposals
// verified by adding them to the plan and analysing it again.

#include "design/pre_analysis.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

namespace ptw3 {
namespace {

namespace fs = std::filesystem;
const fs::path examples = PTW3_EXAMPLES_DIR;

TEST(PreAnalysis, ForetellsTheAdjustmentsMeanErrorsDividedByMo) {
    for (const char* example : {"siec-lokalna", "siec-2000"}) {
        SCOPED_TRACE(example);
        test::TempFolder adjusted;
        adjusted.copyFilesOf(examples / example);
        const test::AdjustedFolder a = test::adjustFolder(adjusted.path());
        // The plan at the adjusted coordinates: the same geometry, other values.
        test::TempFolder planned;
        planned.copyFilesOf(examples / example);
        std::string xy;
        for (int32_t p = 1; p <= a.network.determinedCount(); ++p) {
            char line[128];
            std::snprintf(line, sizeof line, " %.6f %.6f\r\n",
                          static_cast<double>(a.outcome.coordinates[p].x),
                          static_cast<double>(a.outcome.coordinates[p].y));
            xy += a.network.points[p].number + line;
        }
        planned.write("XY.prz", xy);
        const test::AdjustedFolder b = test::adjustFolder(planned.path(), 1, true);
        // Its values, less their reductions to the plane, fit the coordinates exactly.
        for (const AdjustedObservation& o : b.outcome.observations) {
            EXPECT_NEAR(static_cast<double>(o.residual), 0, 1e-6) << o.source.line;
        }
        const PreAnalysis plan = analysePlan(b.network, b.outcome, PlanOptions{}, {});
        ASSERT_EQ(plan.points.size(), static_cast<size_t>(a.network.determinedCount()));
        for (const PlannedPoint& p : plan.points) {
            const PointAccuracy& e = a.outcome.accuracy[p.point];
            const auto mo = static_cast<double>(a.outcome.mo);
            EXPECT_NEAR(static_cast<double>(p.mx), static_cast<double>(e.mx) / mo, 1e-8);
            EXPECT_NEAR(static_cast<double>(p.my), static_cast<double>(e.my) / mo, 1e-8);
            EXPECT_NEAR(static_cast<double>(p.mp), static_cast<double>(e.mp) / mo, 1e-8);
        }
    }
}

// A plan of a 4 x 4 grid at 400 m held at two corners of its first row: the sides and one
// diagonal of every square measured, and a direction set at each point of the first column.
// The row farthest from the fixed points is the weakest.
void writeWeakPlan(const test::TempFolder& f) {
    std::string xy;
    std::string sta = "A 0 0\r\nB 0 1200\r\n";
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            if ((r == 0 && c == 0) || (r == 0 && c == 3)) {
                continue;
            }
            xy += "P" + std::to_string(r) + std::to_string(c) + " " + std::to_string(r * 400 + c) +
                  " " + std::to_string(c * 400 + r) + "\r\n";
        }
    }
    const auto name = [](int r, int c) {
        return r == 0 && c == 0   ? std::string("A")
               : r == 0 && c == 3 ? std::string("B")
                                  : "P" + std::to_string(r) + std::to_string(c);
    };
    std::string lengths;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c + 1 < 4; ++c) {
            lengths += name(r, c) + " " + name(r, c + 1) + " 0 0.003\r\n";
        }
    }
    for (int r = 0; r + 1 < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            lengths += name(r, c) + " " + name(r + 1, c) + " 0 0.003\r\n";
            if (c + 1 < 4) {
                lengths += name(r, c) + " " + name(r + 1, c + 1) + " 0 0.003\r\n";
            }
        }
    }
    std::string sets;
    for (int r = 1; r < 4; ++r) {
        sets += name(r, 0) + " 11\r\n" + name(r - 1, 0) + " 0 10\r\n" + name(r, 1) + " 0 10\r\n";
        if (r + 1 < 4) {
            sets += name(r + 1, 0) + " 0 10\r\n";
        }
        sets += "0\r\n";
    }
    f.write("XY.sta", sta);
    f.write("XY.prz", xy);
    f.write("DLUGOSCI.b", lengths);
    f.write("KIERUNKI", sets);
}

// Adds the proposals to the plan's files: a distance to DLUGOSCI.b, a direction to the set
// of its station in KIERUNKI.
void addProposals(const test::TempFolder& f, const NetworkData& n, const DesignAdvice& advice) {
    std::string lengths = f.read("DLUGOSCI.b");
    std::string sets = f.read("KIERUNKI");
    for (const Proposal& p : advice.proposals) {
        const std::string from = n.points[p.candidate.from].number;
        const std::string to = n.points[p.candidate.to].number;
        const std::string m = std::to_string(static_cast<double>(p.candidate.meanError));
        if (p.candidate.kind == ListedKind::Distance) {
            lengths += from + " " + to + " 0 " + m + "\r\n";
        } else {
            const size_t at = sets.find(from + " 11\r\n");
            ASSERT_NE(at, std::string::npos) << from;
            sets.insert(at + from.size() + 5, to + " 0 " + m + "\r\n");
        }
    }
    f.write("DLUGOSCI.b", lengths);
    f.write("KIERUNKI", sets);
}

TEST(DesignAdvisor, ItsProposalsBringEveryPointUnderTheLimit) {
    struct Case {
        const char* what;
        bool distances, directions;
        bool reachesGoal; // directions come only from the first column's sets
        std::optional<Real> minRedundancy = {};
        Real within = 600;
    };
    for (const Case& c : {Case{"distances", true, false, true},
                          Case{"directions", false, true, false},
                          Case{"both", true, true, true},
                          Case{"both, and r >= 0.3", true, true, true, 0.3L, 1300}}) {
        SCOPED_TRACE(c.what);
        test::TempFolder folder;
        writeWeakPlan(folder);
        const test::AdjustedFolder plan = test::adjustFolder(folder.path(), 1, true);
        PlanOptions options;
        Real worstBefore = 0;
        for (const PlannedPoint& p : analysePlan(plan.network, plan.outcome, options, {}).points) {
            worstBefore = std::max(worstBefore, p.mp);
        }
        options.mpLimit = 0.8L * worstBefore;
        options.advise = true;
        options.candidatesWithin = c.within;
        options.candidateDistances = c.distances;
        options.candidateDirections = c.directions;
        options.candidateDistanceError = 0.003L;
        options.minRedundancy = c.minRedundancy;
        const std::vector<CandidateObservation> candidates =
            generateCandidates(plan.network, plan.outcome, options);
        const PreAnalysis before = analysePlan(plan.network, plan.outcome, options, candidates);
        ASSERT_TRUE(before.advice);
        const DesignAdvice& advice = *before.advice;
        ASSERT_FALSE(advice.skipped) << *advice.skipped;
        EXPECT_GT(advice.failingBefore, 0);
        ASSERT_FALSE(advice.proposals.empty());
        EXPECT_EQ(advice.goalMet, c.reachesGoal) << advice.stopReason;

        // Verified, not believed: the plan with the proposals added, analysed again.
        addProposals(folder, plan.network, advice);
        const test::AdjustedFolder after = test::adjustFolder(folder.path(), 1, true);
        const PreAnalysis again = analysePlan(after.network, after.outcome, options, {});
        Real worst = 0;
        for (const PlannedPoint& p : again.points) {
            if (c.reachesGoal) {
                EXPECT_LE(p.mp, options.mpLimit) << after.network.points[p.point].number;
            }
            worst = std::max(worst, p.mp);
        }
        EXPECT_EQ(again.standard.met(), c.reachesGoal);
        EXPECT_EQ(static_cast<int32_t>(again.standard.failing.size()),
                  advice.proposals.back().failing);
        EXPECT_NEAR(static_cast<double>(worst),
                    static_cast<double>(advice.proposals.back().worstMp), 1e-6);
        if (c.minRedundancy) {
            EXPECT_GT(advice.weakBefore, 0);
            int32_t weak = 0;
            for (const PlannedObservation& o : again.observations) {
                weak += o.r < *c.minRedundancy ? 1 : 0;
            }
            EXPECT_EQ(weak, advice.proposals.back().weakObservations);
        }
    }
}

} // namespace
} // namespace ptw3
