#include "input/input_support.h"
#include "input/ordering.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>

namespace ptw3 {
namespace {

using test::TestContext;

// A network of points 1..lp whose last `fixed` points are fixed, linked by distances.
NetworkData networkOf(int32_t lp, int32_t fixed, const std::vector<std::pair<int, int>>& links,
                      const std::vector<std::pair<Real, Real>>& xy = {}) {
    NetworkData n;
    for (int32_t i = 1; i <= lp; ++i) {
        Point p;
        p.number = std::to_string(i);
        if (!xy.empty()) {
            p.x = xy[static_cast<size_t>(i) - 1].first;
            p.y = xy[static_cast<size_t>(i) - 1].second;
        }
        n.points.append(p);
    }
    n.ls = fixed;
    for (const auto& [a, b] : links) {
        n.distances.append(LineObservation{a, b, 100, 0.01L, {}});
    }
    return n;
}

std::vector<int32_t> values(const Table<int32_t>& t) { return {t.begin(), t.end()}; }

// Half-band widths straight from their meaning: row k reaches the farthest position that
// any row i <= k is linked to.
std::vector<int32_t> halfBandsByDefinition(const NetworkData& n) {
    const int32_t determined = n.determinedCount();
    std::vector<int32_t> widths;
    int32_t reach = 0;
    for (int32_t k = 1; k <= n.lp(); ++k) {
        if (k > determined) {
            widths.push_back(1);
            continue;
        }
        for (const int32_t q : n.neighbours[n.ordering.order[k]]) {
            if (q <= determined) {
                reach = std::max(reach, n.ordering.position[q]);
            }
        }
        widths.push_back(std::max(1, reach - k + 1));
    }
    return widths;
}

struct OrderingFixture : ::testing::Test {
    TestContext t;
    test::TempFolder folder;
    DiagnosticReport report{folder.path(), t.context};
};

TEST_F(OrderingFixture, ChainFromEitherEnd) {
    // 1-2-3-4 to be determined, 5 fixed and linked to 4; 1 has the smallest x, 4 the largest,
    // 2 the smallest y, 3 the largest. Worked by hand: from 2 the order is 2 1 3 4 with
    // half-bands 3 2 2 1, from 3 it is 3 2 4 1 with 3 3 2 1.
    NetworkData n = networkOf(5, 1, {{1, 2}, {2, 3}, {3, 4}, {4, 5}},
                              {{0, 5}, {10, 0}, {20, 9}, {30, 4}, {40, 40}});
    buildAdjacency(n, report);
    EXPECT_EQ(orderFromStart(n, 1, n.ordering), 7 + 1);
    EXPECT_EQ(values(n.ordering.order), (std::vector<int32_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(values(n.ordering.halfBand), (std::vector<int32_t>{2, 2, 2, 1, 1}));
    EXPECT_EQ(orderFromStart(n, 4, n.ordering), 7 + 1);
    EXPECT_EQ(values(n.ordering.order), (std::vector<int32_t>{4, 3, 2, 1, 5}));
    EXPECT_EQ(values(n.ordering.position), (std::vector<int32_t>{4, 3, 2, 1, 5}));
    EXPECT_EQ(values(n.ordering.halfBand), (std::vector<int32_t>{2, 2, 2, 1, 1}));

    optimiseOrdering(n, report);
    report.close();
    EXPECT_EQ(folder.read("er3a.ptw"),
              test::crlf(cp1250(" Optymalizacja profilu macierzy URN: \n"
                                " 1-wariant - wielkość półpasma:         8     1 indeks punktu pocz.\n"
                                " 2-wariant -      -\"-         :         9     2 -\"-\n"
                                " 3-wariant -      -\"-         :         8     4 -\"-\n"
                                " 4-wariant -      -\"-         :        10     3 -\"-\n"
                                " Wybór optymalny  -\"-         :         8     1 -\"-\n")));
}

TEST_F(OrderingFixture, AllFixedNetwork) {
    NetworkData n = networkOf(3, 3, {{1, 2}, {2, 3}});
    buildAdjacency(n, report);
    optimiseOrdering(n, report);
    EXPECT_EQ(values(n.ordering.order), (std::vector<int32_t>{1, 2, 3}));
    EXPECT_EQ(values(n.ordering.halfBand), (std::vector<int32_t>{1, 1, 1}));
    report.close();
    EXPECT_NE(folder.read("er3a.ptw").find(cp1250("Wybór optymalny  -\"-         :         3     1")),
              std::string::npos);
}

TEST_F(OrderingFixture, UnconnectedClustersAreNumberedOneAfterTheOther) {
    // Cluster {1, 3, 5} and cluster {2, 4}: from 3 the first cluster is numbered, then the
    // second starts at its lowest index, 2.
    NetworkData n = networkOf(5, 0, {{3, 1}, {1, 5}, {4, 2}});
    buildAdjacency(n, report);
    orderFromStart(n, 3, n.ordering);
    EXPECT_EQ(values(n.ordering.order), (std::vector<int32_t>{3, 1, 5, 2, 4}));
    EXPECT_EQ(values(n.ordering.halfBand), (std::vector<int32_t>{2, 2, 1, 2, 1}));
}

TEST_F(OrderingFixture, NeighboursSortedStablyByTheirNeighbourCount) {
    // Lists as linked: 1: 2 3 4, 2: 1 6 7; counts 1:3 2:3 3:1 4:2 6:1 7:1.
    NetworkData n = networkOf(7, 0, {{1, 2}, {1, 3}, {1, 4}, {4, 5}, {2, 6}, {2, 7}});
    buildAdjacency(n, report);
    EXPECT_EQ(values(n.neighbours[1]), (std::vector<int32_t>{3, 4, 2}));
    EXPECT_EQ(values(n.neighbours[2]), (std::vector<int32_t>{6, 7, 1})); // 6, 7 keep their order
}

TEST_F(OrderingFixture, RandomNetworksGiveValidOrderingsAndHalfBands) {
    std::mt19937 random(7);
    for (int trial = 0; trial < 50; ++trial) {
        const int32_t lp = 2 + static_cast<int32_t>(random() % 40);
        const int32_t fixed = static_cast<int32_t>(random() % 4) % lp;
        std::vector<std::pair<int, int>> links;
        const int edges = static_cast<int>(random() % 80);
        for (int e = 0; e < edges; ++e) {
            links.emplace_back(1 + random() % lp, 1 + random() % lp);
        }
        NetworkData n = networkOf(lp, fixed, links);
        buildAdjacency(n, report);
        const int32_t start = 1 + static_cast<int32_t>(random() % std::max(1, lp - fixed));
        const int64_t profile = orderFromStart(n, start, n.ordering);

        std::vector<int32_t> seen(static_cast<size_t>(lp) + 1, 0);
        for (int32_t k = 1; k <= lp; ++k) {
            const int32_t p = n.ordering.order[k];
            ASSERT_TRUE(p >= 1 && p <= lp);
            EXPECT_EQ(seen[static_cast<size_t>(p)]++, 0) << "a point placed twice";
            EXPECT_EQ(n.ordering.position[p], k);
        }
        EXPECT_EQ(values(n.ordering.halfBand), halfBandsByDefinition(n));
        const auto widths = halfBandsByDefinition(n);
        EXPECT_EQ(profile, std::accumulate(widths.begin(), widths.end(), int64_t{0}));
    }
}

TEST(Ordering, MoreThan500NeighboursStopTheComputation) {
    std::map<std::string, std::string> files;
    std::string sta = "C 0 0\n";
    std::string distances;
    for (int i = 1; i <= 501; ++i) {
        sta += "P" + std::to_string(i) + " " + std::to_string(i) + " 5\n";
        distances += "C P" + std::to_string(i) + " 100\n";
    }
    const auto run = test::readFolder({{"XY.sta", sta}, {"DLUGOSCI", distances}});
    EXPECT_EQ(run->stop, StopReason::FatalInput);
    const auto lines = run->reportLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], " *** Przekroczenie maksymalnej liczby (500) incydencji ");
    EXPECT_EQ(lines.back(), "     Punkt nr: C");
    EXPECT_EQ(run->t.user.informations,
              std::vector<std::string>{" Punkt nr: C ma > 500 powiązań obserwayjnych"});
}

} // namespace
} // namespace ptw3
