// The tests after an adjustment, checked against what they claim to be: data snooping's
// re-adjustment against a full adjustment of the data without the observation, a released
// reference point against a full adjustment with the point among the determined ones, and
// the global test and the relative accuracy against a dense least-squares solution of a
// small network computed here from its coordinates.

#include "control/quality_control.h"
#include "control/statistics.h"
#include "engine/adjustment.h"
#include "export/results.h"
#include "input/read_network_data.h"
#include "run/uklad.h"
#include "test_support.h"

#include <Eigen/Dense>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <numbers>
#include <regex>

namespace ptw3 {
namespace {

namespace fs = std::filesystem;
const fs::path examples = PTW3_EXAMPLES_DIR;

struct Adjusted : test::AdjustedFolder {
    QualityControl control;

    int32_t pointIndex(const std::string& number) const {
        return test::pointIndex(network, number);
    }
    std::string number(int32_t point) const { return network.points[point].number; }
    // The point numbers of a listed observation, station first.
    std::vector<std::string> pointsOf(int32_t observation) const {
        const AdjustedObservation& o = outcome.observations[static_cast<size_t>(observation)];
        std::vector<std::string> n;
        for (const int32_t p : {o.from, o.left, o.to}) {
            if (p > 0) {
                n.push_back(number(p));
            }
        }
        return n;
    }
};

// The folder's data adjusted, and its quality control.
Adjusted adjust(const fs::path& folder, int32_t iterations = 6) {
    Adjusted a;
    static_cast<test::AdjustedFolder&>(a) = test::adjustFolder(folder, iterations);
    a.control = controlAdjustment(a.network, a.outcome, ControlOptions{});
    return a;
}

// Replaces the first line of a file that matches, keeping the rest byte for byte.
void replaceLine(const test::TempFolder& folder, std::string_view name, const std::string& from,
                 const std::string& to) {
    std::string text = folder.read(name);
    const size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
    folder.write(name, text);
}

TEST(QualityControl, SnoopingTakesOutTheGrossErrorsAndReadjustsExactly) {
    struct Case {
        const char* example;
        std::vector<std::pair<std::string, std::string>> edits; // DLUGOSCI lines
        std::vector<std::vector<std::string>> expected;        // points of each step
    };
    const Case cases[] = {
        {"siec-lokalna", {}, {}},
        {"siec-2000", {}, {}},
        {"siec-blad-gruby", {{"1 4 341.768", "1 4 341.768"}}, {{"1", "4"}}},
        {"siec-lokalna",
         {{"1 4 341.618", "1 4 341.768"}, {"3 6 325.201", "3 6 325.281"}},
         {{"1", "4"}, {"3", "6"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.example) + " with " + std::to_string(c.edits.size()) +
                     " gross errors");
        test::TempFolder folder;
        folder.copyFilesOf(examples / c.example);
        for (const auto& [from, to] : c.edits) {
            replaceLine(folder, "DLUGOSCI", from, to);
        }
        const Adjusted a = adjust(folder.path());
        ASSERT_FALSE(a.control.snooping.skipped) << *a.control.snooping.skipped;
        std::vector<std::vector<std::string>> taken;
        for (const SnoopingStep& s : a.control.snooping.steps) {
            std::vector<std::string> points = a.pointsOf(s.observation);
            std::sort(points.begin(), points.end());
            taken.push_back(points);
        }
        EXPECT_EQ(taken, c.expected);
        EXPECT_FALSE(a.control.snooping.limitReached);

        // Before any step, w is the adjustment's own, directions included.
        const NetworkResults results =
            collectResults(a.network, {}, a.outcome, CalculationResults{}, {}, {});
        double largestW = 0;
        for (const ObservationResult& o : results.observations) {
            if (o.reliability && o.reliability->w) {
                largestW = std::max(largestW, std::fabs(static_cast<double>(*o.reliability->w)));
            }
        }
        ASSERT_TRUE(a.control.snooping.largestW);
        EXPECT_NEAR(std::fabs(static_cast<double>(*a.control.snooping.largestW)), largestW,
                    1e-6 * largestW);

        // Each step's Mo is that of the full adjustment without the observations taken out,
        // but for the re-adjustment's own nonlinearity (about 2e-5 of Mo for these 15 and
        // 8 cm errors): it is linearised at the adjustment's final coordinates.
        for (size_t k = 0; k < c.expected.size() && k < a.control.snooping.steps.size(); ++k) {
            test::TempFolder without;
            without.copyFilesOf(folder.path());
            for (size_t j = 0; j <= k; ++j) {
                const std::string line = c.edits[j].second;
                replaceLine(without, "DLUGOSCI", line + "\r\n", "");
            }
            const Adjusted b = adjust(without.path());
            EXPECT_NEAR(static_cast<double>(a.control.snooping.steps[k].moAfter),
                        static_cast<double>(b.outcome.mo),
                        5e-5 * static_cast<double>(b.outcome.mo));
        }
    }
}

TEST(QualityControl, AMovedReferencePointIsNamedWithItsShift) {
    struct Case {
        const char* what;
        std::string moved;
        std::optional<std::string> doubtful;
    };
    const Case cases[] = {{"at its place", "1002 5850.412 3120.877", std::nullopt},
                          {"moved by 5 cm", "1002 5850.442 3120.917", "1002"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempFolder folder;
        folder.copyFilesOf(examples / "siec-lokalna");
        replaceLine(folder, "XY.sta", "1002 5850.412 3120.877", c.moved);
        const Adjusted a = adjust(folder.path());
        const ReferenceCheck& check = a.control.reference;
        ASSERT_FALSE(check.skipped) << *check.skipped;
        ASSERT_FALSE(check.rounds.empty());
        std::optional<std::string> named;
        if (!check.doubtfulPoints.empty()) {
            named = a.number(check.doubtfulPoints.front());
        }
        EXPECT_EQ(named, c.doubtful);
        EXPECT_LE(check.doubtfulPoints.size(), 1u);

        // The shift is that of the full adjustment with the point among the determined ones
        // (to 2 µm, the nonlinearity of moving the point 5 cm).
        const ReferencePointTest* tested = nullptr;
        for (const ReferencePointTest& t : check.rounds.front().points) {
            if (a.number(t.point) == "1002") {
                tested = &t;
            }
        }
        ASSERT_NE(tested, nullptr);
        ASSERT_TRUE(tested->testable);
        test::TempFolder released;
        released.copyFilesOf(folder.path());
        replaceLine(released, "XY.sta", c.moved + "\r\n", "");
        replaceLine(released, "XY.prz", "0 0 0", c.moved + "\r\n0 0 0");
        const Adjusted b = adjust(released.path());
        const int32_t p = b.pointIndex("1002");
        const double catalogueX = std::stod(c.moved.substr(5, 8));
        const double catalogueY = std::stod(c.moved.substr(14));
        EXPECT_NEAR(static_cast<double>(tested->dx),
                    static_cast<double>(b.outcome.coordinates[p].x) - catalogueX, 5e-6);
        EXPECT_NEAR(static_cast<double>(tested->dy),
                    static_cast<double>(b.outcome.coordinates[p].y) - catalogueY, 5e-6);
        // The shift's covariance is the released adjustment's.
        EXPECT_NEAR(std::sqrt(static_cast<double>(tested->qxx + tested->qyy)),
                    static_cast<double>(b.outcome.accuracy[p].mp), 1e-7);
        if (c.doubtful) {
            const double meanError = std::sqrt(static_cast<double>(tested->qxx + tested->qyy));
            EXPECT_NEAR(static_cast<double>(tested->shift()), 0.05, 3 * meanError);
        }
    }
}

// Values computed from the coordinates fit to the level of rounding, which is no evidence
// against any reference point.
TEST(QualityControl, ANetworkThatFitsExactlyNamesNoReferencePoint) {
    test::TempFolder folder;
    test::generateNetwork(folder, 400);
    const test::AdjustedFolder a = test::adjustFolder(folder.path(), 1, true);
    const QualityControl control = controlAdjustment(a.network, a.outcome, ControlOptions{});
    EXPECT_FALSE(control.reference.skipped);
    EXPECT_TRUE(control.reference.doubtfulPoints.empty());
    EXPECT_EQ(control.reference.rounds.size(), 1u);
}

// A small network computed densely here: three new points tied by distances and one
// direction set to two fixed points, in the local system (no reductions).
TEST(QualityControl, GlobalTestAndRelativeAccuracyAgreeWithADenseSolution) {
    test::TempFolder folder;
    folder.write("XY.sta", "A 1000 1000\r\nB 1000 2000\r\n");
    folder.write("XY.prz", "P 1500.02 1300.01\r\nQ 1600.00 1800.03\r\nR 2100.01 1500.00\r\n");
    folder.write("DLUGOSCI.b", "A P 583.096 0.005\r\nB Q 632.461 0.005\r\nP Q 509.898 0.005\r\n"
                               "P R 632.460 0.005\r\nQ R 583.094 0.005\r\nA R 1208.304 0.005\r\n"
                               "B P 860.240 0.005\r\n");
    folder.write("KIERUNKI", "P 11\r\nA 0.0001 10\r\nQ 253.0292 10\r\nR 186.0797 10\r\n0\r\n");
    const Adjusted a = adjust(folder.path());

    // Unknowns: X, Y of P, Q, R and the set's orientation.
    struct Obs {
        std::string from, to;
        bool distance;
        double value, sigma; // m or grads; m or cc
    };
    const std::vector<Obs> observations = {
        {"A", "P", true, 583.096, 0.005},   {"B", "Q", true, 632.461, 0.005},
        {"P", "Q", true, 509.898, 0.005},   {"P", "R", true, 632.460, 0.005},
        {"Q", "R", true, 583.094, 0.005},   {"A", "R", true, 1208.304, 0.005},
        {"B", "P", true, 860.240, 0.005},   {"P", "A", false, 0.0001, 10},
        {"P", "Q", false, 253.0292, 10},    {"P", "R", false, 186.0797, 10},
    };
    const std::vector<std::string> unknownPoints = {"P", "Q", "R"};
    const auto column = [&](const std::string& number) {
        const auto at = std::find(unknownPoints.begin(), unknownPoints.end(), number);
        return at == unknownPoints.end() ? -1 : static_cast<int>(at - unknownPoints.begin()) * 2;
    };
    const auto xy = [&](const std::string& number) {
        const WorkingPoint& w = a.outcome.coordinates[a.pointIndex(number)];
        return std::pair{static_cast<double>(w.x), static_cast<double>(w.y)};
    };
    const double rho = 2e6 / std::numbers::pi; // cc per radian
    const auto bearingCc = [&](const std::string& from, const std::string& to) {
        const auto [x1, y1] = xy(from);
        const auto [x2, y2] = xy(to);
        return std::atan2(y2 - y1, x2 - x1) * rho;
    };
    const double orientation = bearingCc("P", "A") - 0.0001 * 10000;
    const auto m = static_cast<Eigen::Index>(observations.size());
    Eigen::MatrixXd design = Eigen::MatrixXd::Zero(m, 7);
    Eigen::VectorXd l(m);
    Eigen::VectorXd weight(m);
    for (Eigen::Index i = 0; i < m; ++i) {
        const Obs& o = observations[static_cast<size_t>(i)];
        const auto [x1, y1] = xy(o.from);
        const auto [x2, y2] = xy(o.to);
        const double dx = x2 - x1, dy = y2 - y1, s2 = dx * dx + dy * dy, s = std::sqrt(s2);
        double c[4];
        if (o.distance) {
            c[0] = -dx / s, c[1] = -dy / s, c[2] = dx / s, c[3] = dy / s;
            l(i) = s - o.value;
        } else {
            c[0] = rho * dy / s2, c[1] = -rho * dx / s2, c[2] = -c[0], c[3] = -c[1];
            // computed − observed, cc, in (−200, 200] grads
            const double t = bearingCc(o.from, o.to) - o.value * 10000 - orientation;
            l(i) = t - 4e6 * std::round(t / 4e6);
            design(i, 6) = -1;
        }
        for (int end = 0; end < 2; ++end) {
            if (const int k = column(end == 0 ? o.from : o.to); k >= 0) {
                design(i, k) += c[2 * end];
                design(i, k + 1) += c[2 * end + 1];
            }
        }
        weight(i) = 1 / (o.sigma * o.sigma);
    }
    const Eigen::MatrixXd n = design.transpose() * weight.asDiagonal() * design;
    const Eigen::MatrixXd q = n.inverse();
    const Eigen::VectorXd x = -q * design.transpose() * weight.asDiagonal() * l;
    const Eigen::VectorXd v = design * x + l;
    const double pvv = v.dot(weight.asDiagonal() * v);
    const int f = static_cast<int>(m) - 7;
    const double mo = std::sqrt(pvv / f);

    const GlobalTest& g = a.control.global;
    ASSERT_FALSE(g.skipped);
    EXPECT_EQ(g.f, f);
    EXPECT_NEAR(static_cast<double>(g.mo), mo, 1e-4 * mo);
    EXPECT_NEAR(g.lower, chiSquareQuantile(f, 0.025), 1e-12);
    EXPECT_NEAR(chiSquareQuantile(3, 0.025), 0.2158, 1e-4); // the tables' values
    EXPECT_NEAR(chiSquareQuantile(3, 0.975), 9.3484, 1e-4);
    EXPECT_NEAR(chiSquareQuantile(3, 0.95), 7.8147, 1e-4);
    const GlobalTest::Verdict verdict = pvv > g.upper   ? GlobalTest::Verdict::MoTooLarge
                                        : pvv < g.lower ? GlobalTest::Verdict::MoTooSmall
                                                        : GlobalTest::Verdict::Accepted;
    EXPECT_EQ(g.verdict, verdict);

    // Every observed pair: the covariance of the coordinate difference.
    ASSERT_EQ(a.control.relative.lines.size(), 7u);
    for (const LineAccuracy& line : a.control.relative.lines) {
        const std::string from = a.number(line.from), to = a.number(line.to);
        Eigen::RowVectorXd dx = Eigen::RowVectorXd::Zero(7), dy = dx;
        if (const int k = column(to); k >= 0) {
            dx(k) += 1, dy(k + 1) += 1;
        }
        if (const int k = column(from); k >= 0) {
            dx(k) -= 1, dy(k + 1) -= 1;
        }
        const double qxx = dx * q * dx.transpose(), qyy = dy * q * dy.transpose();
        const double qxy = dx * q * dy.transpose();
        const Eigen::SelfAdjointEigenSolver<Eigen::Matrix2d> e(
            (Eigen::Matrix2d() << qxx, qxy, qxy, qyy).finished());
        SCOPED_TRACE(from + "-" + to);
        EXPECT_NEAR(static_cast<double>(line.a), mo * std::sqrt(e.eigenvalues()(1)), 1e-7);
        EXPECT_NEAR(static_cast<double>(line.b), mo * std::sqrt(e.eigenvalues()(0)), 1e-7);
        const auto [x1, y1] = xy(from);
        const auto [x2, y2] = xy(to);
        const double s = std::hypot(x2 - x1, y2 - y1);
        const Eigen::RowVectorXd along = ((x2 - x1) * dx + (y2 - y1) * dy) / s;
        const Eigen::RowVectorXd across = ((x2 - x1) * dy - (y2 - y1) * dx) / (s * s) * rho;
        EXPECT_NEAR(static_cast<double>(line.lengthError),
                    mo * std::sqrt(along * q * along.transpose()), 1e-7);
        EXPECT_NEAR(static_cast<double>(line.directionErrorCc),
                    mo * std::sqrt(across * q * across.transpose()), 1e-4);
    }
}

} // namespace
} // namespace ptw3
