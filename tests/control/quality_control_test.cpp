// The tests after an adjustment, checked against what they claim to be: data snooping's
// re-adjustment against a full adjustment of the data without the observation, a released
// reference point against a full adjustment with the point among the determined ones, the
// global test and the relative accuracy against a dense least-squares solution of a small
// network computed here from its coordinates, and on a generated network of 2 000 points
// every step and round against the linear model solved anew by Eigen's sparse Cholesky.

#include "control/control_model.h"
#include "control/quality_control.h"
#include "control/statistics.h"
#include "engine/adjustment.h"
#include "export/results.h"
#include "input/read_network_data.h"
#include "run/uklad.h"
#include "test_support.h"

#include <Eigen/Dense>
#include <Eigen/SparseCholesky>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <numbers>
#include <regex>
#include <set>

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

// The control's linear model solved anew by Eigen's sparse Cholesky: the groups' rows with
// the weights given (an empty matrix leaves a group out), over the unknowns and the columns
// of released points: a fixed point's coordinates (by their extended index), a moving
// point's shift t, which joins its pseudo-observation s (x − t) + τ as the term −s t.
class Resolved {
public:
    Resolved(const ControlModel& model, const std::vector<Eigen::MatrixXd>& weights,
             const std::map<int32_t, int32_t>& fixedColumns,
             const std::map<size_t, int32_t>& shiftColumns)
        : m_model(model) {
        m_size = model.unknowns + static_cast<int32_t>(fixedColumns.size() + shiftColumns.size());
        std::vector<Eigen::Triplet<double>> triplets;
        Eigen::VectorXd b = Eigen::VectorXd::Zero(m_size);
        for (size_t g = 0; g < model.groups.size(); ++g) {
            const auto rows = rowsOf(g, fixedColumns, shiftColumns);
            const Eigen::MatrixXd& w = weights[g];
            for (Eigen::Index i = 0; i < w.rows(); ++i) {
                for (Eigen::Index j = 0; j < w.cols(); ++j) {
                    for (const auto& [a, ca] : rows[static_cast<size_t>(i)]) {
                        b(a) += ca * w(i, j) * model.groups[g].tau[static_cast<size_t>(j)];
                        for (const auto& [c, cc] : rows[static_cast<size_t>(j)]) {
                            triplets.emplace_back(a, c, ca * w(i, j) * cc);
                        }
                    }
                }
            }
        }
        Eigen::SparseMatrix<double> n(m_size, m_size);
        n.setFromTriplets(triplets.begin(), triplets.end());
        m_llt.compute(n);
        EXPECT_EQ(m_llt.info(), Eigen::Success);
        x = -m_llt.solve(b);
        for (size_t g = 0; g < model.groups.size(); ++g) {
            const auto rows = rowsOf(g, fixedColumns, shiftColumns);
            Eigen::VectorXd e(weights[g].rows());
            for (Eigen::Index i = 0; i < e.size(); ++i) {
                e(i) = model.groups[g].tau[static_cast<size_t>(i)];
                for (const auto& [a, c] : rows[static_cast<size_t>(i)]) {
                    e(i) += c * x(a);
                }
            }
            sumOfSquares += e.dot(weights[g] * e);
        }
    }

    /// a N⁻¹ bᵀ of two rows over the columns.
    double form(const Eigen::VectorXd& a, const Eigen::VectorXd& b) const {
        return a.dot(m_llt.solve(b));
    }
    Eigen::VectorXd unit(int32_t column) const {
        return Eigen::VectorXd::Unit(m_size, column);
    }
    /// A row of group g over the unknowns, its residual e = r x + τ.
    std::pair<Eigen::VectorXd, double> row(size_t g, size_t r) const {
        Eigen::VectorXd a = Eigen::VectorXd::Zero(m_size);
        double e = m_model.groups[g].tau[r];
        for (const auto& [index, c] : m_model.groups[g].rows[r]) {
            if (index < m_model.unknowns) {
                a(index) += c;
                e += c * x(index);
            }
        }
        return {a, e};
    }

    Eigen::VectorXd x;
    double sumOfSquares = 0;

private:
    std::vector<std::vector<std::pair<int32_t, double>>>
    rowsOf(size_t g, const std::map<int32_t, int32_t>& fixedColumns,
           const std::map<size_t, int32_t>& shiftColumns) const {
        const ObservationGroup& group = m_model.groups[g];
        std::vector<std::vector<std::pair<int32_t, double>>> rows;
        for (const SparseRow& r : group.rows) {
            std::vector<std::pair<int32_t, double>> row;
            for (const auto& [index, c] : r) {
                if (index < m_model.unknowns) {
                    row.emplace_back(index, c);
                } else if (const auto at = fixedColumns.find(index); at != fixedColumns.end()) {
                    row.emplace_back(at->second, c);
                }
            }
            if (const auto at = shiftColumns.find(g); at != shiftColumns.end()) {
                row.emplace_back(at->second, -group.weightRoot);
            }
            rows.push_back(row);
        }
        return rows;
    }

    const ControlModel& m_model;
    int32_t m_size = 0;
    Eigen::SimplicialLLT<Eigen::SparseMatrix<double>> m_llt;
};

// A direction set loses two readings, a fixed point has moved: data snooping takes out ten
// observations, the check of the reference points runs two rounds. Each step's Mo and the
// largest w left after it, and the shift, covariance and T of the leading points of each
// round, are those of the model solved anew without what was taken out and with what was
// released; one thread gives the same figures as two.
TEST(QualityControl, OnAGeneratedNetworkEveryStepAndRoundIsTheModelSolvedAnew) {
    test::TempFolder folder;
    test::generateNetwork(folder, 2000);
    replaceLine(folder, "KIERUNKI", "100046 273.8172", "100046 273.8272");
    replaceLine(folder, "KIERUNKI", "P48 337.0581", "P48 337.0681");
    replaceLine(folder, "XY.sta", "93 31470.257 27627.345", "93 31470.297 27627.385");
    const test::AdjustedFolder a = test::adjustFolder(folder.path(), 3);
    ControlOptions oneThread;
    oneThread.threads = 1;
    const QualityControl control = controlAdjustment(a.network, a.outcome, oneThread);
    std::string reason;
    const std::optional<ControlModel> model = buildControlModel(a.network, a.outcome, reason);
    ASSERT_TRUE(model) << reason;
    const Snooping& s = control.snooping;
    ASSERT_EQ(s.steps.size(), 10u);
    const ReferenceCheck& check = control.reference;
    ASSERT_EQ(check.rounds.size(), 2u);
    EXPECT_EQ(a.network.points[check.doubtfulPoints.at(0)].number, "93");

    const auto groupOf = [&](int32_t observation) {
        size_t g = 0;
        while (model->groups[g + 1].firstObservation >= 0 &&
               model->groups[g + 1].firstObservation <= observation) {
            ++g;
        }
        return g;
    };
    std::vector<Eigen::MatrixXd> weights;
    std::vector<std::vector<bool>> kept;
    for (const ObservationGroup& g : model->groups) {
        weights.push_back(g.laplacian);
        kept.emplace_back(static_cast<size_t>(g.size()), true);
    }
    std::set<size_t> setsTakenFrom;
    bool setTakenFromTwice = false;
    for (size_t k = 0; k < s.steps.size(); ++k) {
        SCOPED_TRACE("step " + std::to_string(k + 1));
        const SnoopingStep& step = s.steps[k];
        const size_t g = groupOf(step.observation);
        const ObservationGroup& group = model->groups[g];
        for (const int32_t o : {step.observation, step.alsoRemoved.value_or(-1)}) {
            if (o >= 0) {
                kept[g][static_cast<size_t>(o - group.firstObservation)] = false;
            }
        }
        if (group.directionSet) {
            setTakenFromTwice = setTakenFromTwice || !setsTakenFrom.insert(g).second;
            weights[g] = setLaplacian(group.meanErrors, kept[g]);
        } else {
            weights[g] = Eigen::MatrixXd::Zero(1, 1);
        }
        const Resolved r(*model, weights, {}, {});
        EXPECT_NEAR(static_cast<double>(step.moAfter), std::sqrt(r.sumOfSquares / step.fAfter),
                    1e-9);
        // The largest w left: a single equation's e/√(1 − a N⁻¹ aᵀ); a direction's
        // v √p/√(1 − p c N⁻¹ cᵀ − p/Σp), c its row less the set's weighted mean row.
        ASSERT_TRUE(step.largestRemainingW && step.largestRemainingObservation);
        const int32_t next = *step.largestRemainingObservation;
        const size_t h = groupOf(next);
        const ObservationGroup& set = model->groups[h];
        const auto i = static_cast<size_t>(next - set.firstObservation);
        double w = 0;
        if (!set.directionSet) {
            const auto [row, e] = r.row(h, 0);
            w = e / std::sqrt(1 - r.form(row, row));
        } else {
            double sum = 0;
            for (size_t j = 0; j < kept[h].size(); ++j) {
                sum += kept[h][j] ? 1 / (set.meanErrors[j] * set.meanErrors[j]) : 0;
            }
            auto [c, v] = r.row(h, i);
            for (size_t j = 0; j < kept[h].size(); ++j) {
                if (kept[h][j]) {
                    const double share = 1 / (set.meanErrors[j] * set.meanErrors[j]) / sum;
                    const auto [row, e] = r.row(h, j);
                    c -= share * row;
                    v -= share * e;
                }
            }
            const double p = 1 / (set.meanErrors[i] * set.meanErrors[i]);
            w = v * std::sqrt(p) / std::sqrt(1 - p * r.form(c, c) - p / sum);
        }
        EXPECT_NEAR(static_cast<double>(*step.largestRemainingW), w, 1e-7 * std::fabs(w));
    }
    EXPECT_TRUE(setTakenFromTwice);

    // The reference points: the doubtful ones of earlier rounds released with the one tested.
    for (size_t round = 0; round < check.rounds.size(); ++round) {
        for (size_t k = 0; k < 3; ++k) {
            const ReferencePointTest& t = check.rounds[round].points[k];
            SCOPED_TRACE("round " + std::to_string(round + 1) + ", point " +
                         a.network.points[t.point].number);
            ASSERT_TRUE(t.testable);
            std::vector<int32_t> released(check.doubtfulPoints.begin(),
                                          check.doubtfulPoints.begin() +
                                              static_cast<std::ptrdiff_t>(round));
            released.push_back(t.point);
            std::map<int32_t, int32_t> fixedColumns;
            std::map<size_t, int32_t> shiftColumns;
            std::vector<Eigen::MatrixXd> given;
            for (const ObservationGroup& g : model->groups) {
                given.push_back(g.laplacian);
            }
            int32_t column = model->unknowns;
            std::vector<int32_t> tested; // the columns of t's shift
            int32_t freedom = model->redundancy;
            for (const int32_t p : released) {
                const auto fixed =
                    std::find(model->fixedPoints.begin(), model->fixedPoints.end(), p);
                std::vector<int32_t> columns;
                if (fixed != model->fixedPoints.end()) {
                    const auto ordinal = static_cast<size_t>(fixed - model->fixedPoints.begin());
                    for (int axis = 0; axis < 2; ++axis) {
                        fixedColumns[model->fixedIndex(ordinal, axis)] = column;
                        columns.push_back(column++);
                    }
                } else {
                    for (const ControlModel::MovingPoint& m : model->movingPoints) {
                        for (const int32_t g : {m.groupX, m.groupY}) {
                            if (m.point == p && g >= 0) {
                                shiftColumns[static_cast<size_t>(g)] = column;
                                columns.push_back(column++);
                            }
                        }
                    }
                }
                freedom -= static_cast<int32_t>(columns.size());
                tested = columns;
            }
            ASSERT_EQ(tested.size(), 2u);
            const Resolved r(*model, given, fixedColumns, shiftColumns);
            const Eigen::Vector2d xi(r.x(tested[0]), r.x(tested[1]));
            Eigen::Matrix2d q;
            for (int i = 0; i < 2; ++i) {
                for (int j = 0; j < 2; ++j) {
                    q(i, j) = r.form(r.unit(tested[static_cast<size_t>(i)]),
                                     r.unit(tested[static_cast<size_t>(j)]));
                }
            }
            const double rest = r.sumOfSquares / freedom;
            EXPECT_EQ(t.f, freedom);
            EXPECT_NEAR(static_cast<double>(t.dx), xi(0), 1e-9);
            EXPECT_NEAR(static_cast<double>(t.dy), xi(1), 1e-9);
            EXPECT_NEAR(static_cast<double>(t.qxx), rest * q(0, 0), 1e-7 * rest * q(0, 0));
            EXPECT_NEAR(static_cast<double>(t.qyy), rest * q(1, 1), 1e-7 * rest * q(1, 1));
            const double statistic = xi.dot(q.inverse() * xi) / 2 / rest;
            EXPECT_NEAR(static_cast<double>(t.statistic), statistic, 1e-7 * statistic);
        }
    }

    // Another control of the same adjustment: the same steps and rounds, their figures equal
    // to a relative tolerance (0: to the bit).
    const auto expectSameControl = [&](const QualityControl& other, double tolerance) {
        const auto expectClose = [&](Real got, Real expected) {
            EXPECT_NEAR(static_cast<double>(got), static_cast<double>(expected),
                        tolerance * (std::fabs(static_cast<double>(expected)) + 1e-3));
        };
        ASSERT_EQ(other.snooping.steps.size(), s.steps.size());
        for (size_t k = 0; k < s.steps.size(); ++k) {
            expectClose(other.snooping.steps[k].w, s.steps[k].w);
            expectClose(other.snooping.steps[k].moAfter, s.steps[k].moAfter);
        }
        ASSERT_EQ(other.reference.rounds.size(), check.rounds.size());
        for (size_t round = 0; round < check.rounds.size(); ++round) {
            const auto& ours = check.rounds[round].points;
            const auto& theirs = other.reference.rounds[round].points;
            ASSERT_EQ(ours.size(), theirs.size());
            for (size_t k = 0; k < ours.size(); ++k) {
                EXPECT_EQ(ours[k].point, theirs[k].point);
                expectClose(theirs[k].statistic, ours[k].statistic);
                expectClose(theirs[k].dx, ours[k].dx);
                expectClose(theirs[k].qxx, ours[k].qxx);
            }
        }
    };
    // Factorised by CHOLMOD (no supernodes of the adjustment to reuse): the same to the
    // rounding of double.
    ASSERT_TRUE(a.outcome.model.structure);
    AdjustmentOutcome withoutSupernodes = a.outcome;
    withoutSupernodes.model.structure.reset();
    expectSameControl(controlAdjustment(a.network, withoutSupernodes, oneThread), 1e-9);
    // The figures do not depend on the threads, run after run: the threads' substitutions
    // must not share any work space.
    for (int run = 0; run < 3; ++run) {
        SCOPED_TRACE("two threads, run " + std::to_string(run + 1));
        expectSameControl(controlAdjustment(a.network, a.outcome, ControlOptions{}), 0);
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
