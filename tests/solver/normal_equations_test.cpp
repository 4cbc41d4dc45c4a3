// The profile normal equations against computations written here without the profile: the
// normal matrix accumulated densely, a dense right-looking factorisation, Gauss-Jordan
// inversion, the weighted sum of squared residuals of the solution, and small systems solved
// by hand; in both arithmetics of the factorisation and the inversion.
#include "solver/normal_equations.h"
#include "solver/profile_kernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <deque>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace ptw3 {
namespace {

/// One unit of the tolerances below: 2^-63, the spacing of extended values at 1.
constexpr Real epsilon = std::numeric_limits<Real>::epsilon();

/// |actual - expected| <= tolerance, compared and printed in extended precision (EXPECT_NEAR
/// would round both to double first).
::testing::AssertionResult near(const char* actualText, const char* expectedText, const char*,
                                Real actual, Real expected, Real tolerance) {
    if (std::fabs(actual - expected) <= tolerance) {
        return ::testing::AssertionSuccess();
    }
    char text[200];
    std::snprintf(text, sizeof text,
                  "%.21Lg vs %.21Lg: differ by %.3Lg = %.3Lg epsilon (tolerance %.3Lg)", actual,
                  expected, std::fabs(actual - expected), std::fabs(actual - expected) / epsilon,
                  tolerance);
    return ::testing::AssertionFailure() << actualText << " and " << expectedText << ": " << text;
}

/// A square matrix numbered from 1 (row and column 0 unused).
using Dense = std::vector<std::vector<Real>>;

struct Observation {
    std::vector<EquationTerm> terms;
    Real freeTerm = 0;
};

/// A system of equations whose couplings fit the profile of its half-band widths.
struct System {
    int32_t lr = 0;
    Table<int32_t> halfBand;
    std::vector<Observation> observations;
    std::vector<std::pair<int32_t, Real>> diagonal; ///< weight-only pseudo-observations
    int32_t n() const { return 2 * lr; }
};

Table<int32_t> tableOf(const std::vector<int32_t>& values) {
    Table<int32_t> t;
    for (const int32_t v : values) {
        t.append(v);
    }
    return t;
}

/// Random widths that keep every row inside the matrix and never move a row end left.
Table<int32_t> randomHalfBand(int32_t lr, int32_t maxWidth, std::mt19937_64& random) {
    Table<int32_t> widths;
    for (int32_t k = 1; k <= lr; ++k) {
        const int32_t low = k == 1 ? 1 : std::max(1, widths[k - 1] - 1);
        const int32_t high = std::max(low, std::min(maxWidth, lr - k + 1));
        widths.append(std::uniform_int_distribution<int32_t>(low, high)(random));
    }
    return widths;
}

/// Rows of one to three points within the reach of the first, coefficients of magnitude up
/// to `scale`; some name a fixed point (unknown 0) or repeat an unknown. Every unknown also
/// gets a weight of 1 to 2 times `diagonalWeight`, which keeps N positive definite.
System randomSystem(int32_t lr, int32_t maxWidth, uint64_t seed, Real scale = 1,
                    Real diagonalWeight = 1) {
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<Real> coefficient(-scale, scale);
    System s;
    s.lr = lr;
    s.halfBand = randomHalfBand(lr, maxWidth, random);
    for (int32_t o = 0; o < 3 * lr; ++o) {
        const int32_t k = std::uniform_int_distribution<int32_t>(1, lr)(random);
        std::uniform_int_distribution<int32_t> reach(k, k + s.halfBand[k] - 1);
        Observation row;
        const int32_t points = std::uniform_int_distribution<int32_t>(1, 3)(random);
        for (int32_t p = 0; p < points; ++p) {
            const int32_t point = p == 0 ? k : reach(random);
            row.terms.push_back({2 * point - 1, coefficient(random)});
            row.terms.push_back({2 * point, coefficient(random)});
        }
        if (o % 5 == 0) {
            row.terms.push_back({0, coefficient(random)});
        }
        if (o % 7 == 0) {
            row.terms.push_back({row.terms.front().unknown, coefficient(random)});
        }
        std::shuffle(row.terms.begin(), row.terms.end(), random);
        row.freeTerm = coefficient(random);
        s.observations.push_back(row);
    }
    std::uniform_real_distribution<Real> weight(diagonalWeight, 2 * diagonalWeight);
    for (int32_t u = 1; u <= s.n(); ++u) {
        s.diagonal.emplace_back(u, weight(random));
    }
    return s;
}

/// The row with repeated unknowns summed and fixed-point terms dropped, as a dense vector.
std::vector<Real> denseRow(const Observation& row, int32_t n) {
    std::vector<Real> a(static_cast<size_t>(n) + 1, 0);
    for (const EquationTerm& term : row.terms) {
        if (term.unknown != 0) {
            a[static_cast<size_t>(term.unknown)] += term.coefficient;
        }
    }
    return a;
}

NormalEquations loaded(const System& s) {
    NormalEquations equations;
    equations.layOut(s.halfBand, s.lr);
    equations.clear();
    for (const Observation& row : s.observations) {
        equations.accumulate(row.terms, row.freeTerm);
    }
    for (const auto& [unknown, weight] : s.diagonal) {
        equations.addToDiagonal(unknown, weight);
    }
    return equations;
}

struct DenseSystem {
    Dense N;
    std::vector<Real> b; ///< [1..n+1], b[n+1] = [pLL]
};

DenseSystem denseSystem(const System& s) {
    const size_t n = static_cast<size_t>(s.n());
    DenseSystem d{Dense(n + 1, std::vector<Real>(n + 1, 0)), std::vector<Real>(n + 2, 0)};
    for (const Observation& row : s.observations) {
        const std::vector<Real> a = denseRow(row, s.n());
        for (size_t r = 1; r <= n; ++r) {
            if (a[r] == 0) {
                continue;
            }
            d.b[r] += a[r] * row.freeTerm;
            for (size_t c = r; c <= n; ++c) {
                if (a[c] != 0) {
                    d.N[r][c] += a[r] * a[c];
                    d.N[c][r] = d.N[r][c];
                }
            }
        }
        d.b[n + 1] += row.freeTerm * row.freeTerm;
    }
    for (const auto& [unknown, weight] : s.diagonal) {
        d.N[static_cast<size_t>(unknown)][static_cast<size_t>(unknown)] += weight;
    }
    return d;
}

/// The factorisation done densely, row after row over the whole matrix: U[i][i] holds
/// 1 / sqrt(pivot), every later row loses U[i][k] U[i][m], b[k] loses U[i][k] y_i and [pLL]
/// loses y_i^2; then U x = -y from the bottom. Products with the zeros outside the profile
/// change nothing, so the profile must give these very bits.
struct DenseFactor {
    Dense U;
    std::vector<Real> b; ///< y[1..n], [pvv] + [pdd]
    std::vector<Real> x;
};

DenseFactor denseRightLooking(DenseSystem d) {
    const size_t n = d.N.size() - 1;
    Dense& U = d.N;
    std::vector<Real>& b = d.b;
    for (size_t i = 1; i <= n; ++i) {
        const Real c = 1 / std::sqrt(U[i][i]);
        U[i][i] = c;
        b[i] *= c;
        for (size_t k = i + 1; k <= n; ++k) {
            U[i][k] *= c;
        }
        for (size_t k = i + 1; k <= n; ++k) {
            for (size_t m = k; m <= n; ++m) {
                U[k][m] -= U[i][k] * U[i][m];
            }
            b[k] -= U[i][k] * b[i];
        }
        b[n + 1] -= b[i] * b[i];
    }
    std::vector<Real> x(n + 1, 0);
    for (size_t i = n; i >= 1; --i) {
        Real h = b[i];
        for (size_t k = i + 1; k <= n; ++k) {
            h += U[i][k] * x[k];
        }
        x[i] = -h * U[i][i];
    }
    return {U, b, x};
}

/// N^-1 by Gauss-Jordan elimination with partial pivoting.
Dense gaussJordanInverse(Dense A) {
    const size_t n = A.size() - 1;
    Dense X(n + 1, std::vector<Real>(n + 1, 0));
    for (size_t i = 1; i <= n; ++i) {
        X[i][i] = 1;
    }
    for (size_t col = 1; col <= n; ++col) {
        size_t pivot = col;
        for (size_t r = col + 1; r <= n; ++r) {
            if (std::fabs(A[r][col]) > std::fabs(A[pivot][col])) {
                pivot = r;
            }
        }
        std::swap(A[col], A[pivot]);
        std::swap(X[col], X[pivot]);
        const Real p = A[col][col];
        for (size_t c = 1; c <= n; ++c) {
            A[col][c] /= p;
            X[col][c] /= p;
        }
        for (size_t r = 1; r <= n; ++r) {
            const Real f = A[r][col];
            if (r == col || f == 0) {
                continue;
            }
            for (size_t c = 1; c <= n; ++c) {
                A[r][c] -= f * A[col][c];
                X[r][c] -= f * X[col][c];
            }
        }
    }
    return X;
}

Real quadraticForm(const Dense& M, const std::vector<Real>& a) {
    Real q = 0;
    for (size_t r = 1; r < a.size(); ++r) {
        for (size_t c = 1; c < a.size(); ++c) {
            q += a[r] * M[r][c] * a[c];
        }
    }
    return q;
}

Real largest(const Dense& M) {
    Real m = 0;
    for (const auto& row : M) {
        for (const Real v : row) {
            m = std::max(m, std::fabs(v));
        }
    }
    return m;
}

void ignoreProgress(double) {}

SolveOutcome solve(NormalEquations& equations) {
    return equations.solveNormalEquations(
        0, [](int32_t row) { ADD_FAILURE() << "weak pivot in row " << row; }, ignoreProgress);
}

constexpr Arithmetic arithmetics[] = {Arithmetic::Extended, Arithmetic::DoubleDouble};

const char* nameOf(Arithmetic a) { return a == Arithmetic::Extended ? "extended" : "double-double"; }

/// The selected inverse as the store holds it: every element inside the profile.
void expectInverseOnProfile(const NormalEquations& equations, const Dense& inverse, Real tolerance) {
    const int32_t n = equations.unknownCount();
    for (int32_t r = 1; r <= n; ++r) {
        for (int32_t c = r; c < r + equations.rowLength(r); ++c) {
            const auto i = static_cast<size_t>(r);
            const auto j = static_cast<size_t>(c);
            ASSERT_PRED_FORMAT3(near, equations.element(r, c), inverse[i][j], tolerance)
                << r << ", " << c;
        }
    }
}

// ---------------------------------------------------------------------------------------

TEST(NormalEquationsLayout, RowLengthsFollowHalfBands) {
    struct Case {
        const char* name;
        int32_t lr;
        std::vector<int32_t> halfBand;
        std::vector<int32_t> rowLengths;
    };
    const Case cases[] = {
        {"one point", 1, {1}, {2, 1}},
        {"chain", 3, {2, 2, 1}, {4, 3, 4, 3, 2, 1}},
        {"full", 3, {3, 2, 1}, {6, 5, 4, 3, 2, 1}},
        {"uncoupled points", 3, {1, 1, 1}, {2, 1, 2, 1, 2, 1}},
        {"band narrowing", 5, {4, 3, 2, 1, 1}, {8, 7, 6, 5, 4, 3, 2, 1, 2, 1}},
        {"widths of fixed points beyond lr ignored", 2, {2, 1, 1, 1}, {4, 3, 2, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NormalEquations equations;
        const int64_t count = equations.layOut(tableOf(c.halfBand), c.lr);
        ASSERT_EQ(equations.unknownCount(), static_cast<int32_t>(c.rowLengths.size()));
        std::vector<int32_t> lengths;
        int64_t sum = 0;
        for (int32_t r = 1; r <= equations.unknownCount(); ++r) {
            lengths.push_back(equations.rowLength(r));
            sum += equations.rowLength(r);
        }
        EXPECT_EQ(lengths, c.rowLengths);
        EXPECT_EQ(count, sum);
        EXPECT_EQ(equations.elementCount(), sum);
    }
}

// Widths W = min(c, lr - k + 1), the first d points one wider, sum to c (lr - c + 1) +
// c (c - 1) / 2 + d; with W[lr] = 1 the count is 4 sum(W) - lr.
Table<int32_t> widthsSummingTo(int32_t lr, int64_t sum) {
    int32_t c = 1;
    const auto base = [lr](int64_t w) { return w * (lr - w + 1) + w * (w - 1) / 2; };
    while (base(c + 1) <= sum) {
        ++c;
    }
    const int64_t d = sum - base(c);
    Table<int32_t> widths;
    for (int32_t k = 1; k <= lr; ++k) {
        widths.append(std::min(c, lr - k + 1) + (k <= d ? 1 : 0));
    }
    return widths;
}

TEST(NormalEquationsLayout, CapacityOfFortyMillionElements) {
    struct Case {
        int32_t lr;
        int64_t count;
        bool accepted;
    };
    const Case cases[] = {
        {20000, 40'000'000, true},
        {19999, 40'000'001, false},
        {20000, 40'000'004, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        NormalEquations equations;
        EXPECT_EQ(equations.layOut(widthsSummingTo(c.lr, (c.count + c.lr) / 4), c.lr), c.count);
        EXPECT_EQ(equations.elementCount(), c.accepted ? c.count : 0);
        EXPECT_EQ(equations.unknownCount(), c.accepted ? 2 * c.lr : 0);
    }
}

// Three observations of one point, worked by hand: N = [5 2; 2 2], b = (4, 0), [pLL] = 6,
// so x = -N^-1 b = (-4/3, 4/3), [pvv] = 2/3, N^-1 = [2 -2; -2 5] / 6.
TEST(NormalEquations, OnePointSolvedByHand) {
    for (const Arithmetic arithmetic : arithmetics) {
        SCOPED_TRACE(nameOf(arithmetic));
        NormalEquations equations;
        equations.setArithmetic(arithmetic);
        EXPECT_EQ(equations.layOut(tableOf({1}), 1), 3);
        equations.clear();
        // (2, 1) with t = 1, written with a fixed point's term and the 2 split in two terms.
        const std::vector<EquationTerm> split = {{1, 1.5L}, {0, 7}, {2, 1}, {1, 0.5L}};
        equations.accumulate(split, 1);
        equations.accumulate(std::vector<EquationTerm>{{2, 1}}, -1);
        equations.accumulate(std::vector<EquationTerm>{{1, 1}}, 2);
        EXPECT_EQ(equations.element(1, 1), 5);
        EXPECT_EQ(equations.element(1, 2), 2);
        EXPECT_EQ(equations.element(2, 1), 2);
        EXPECT_EQ(equations.element(2, 2), 2);
        EXPECT_EQ(equations.rightHandSide(1), 4);
        EXPECT_EQ(equations.rightHandSide(2), 0);
        EXPECT_EQ(equations.rightHandSide(3), 6);

        const SolveOutcome outcome = solve(equations);
        EXPECT_FALSE(outcome.defect);
        EXPECT_FALSE(outcome.deflated);
        const Real tolerance = 4 * epsilon;
        if (arithmetic == Arithmetic::Extended) { // the profile factor, in the profile's order
            EXPECT_PRED_FORMAT3(near, equations.element(1, 1), 1 / std::sqrt(5.0L), tolerance);
            EXPECT_PRED_FORMAT3(near, equations.element(1, 2), 2 / std::sqrt(5.0L), tolerance);
            EXPECT_PRED_FORMAT3(near, equations.element(2, 2), std::sqrt(5.0L / 6), tolerance);
        }
        EXPECT_PRED_FORMAT3(near, equations.corrections()[1], -4.0L / 3, tolerance);
        EXPECT_PRED_FORMAT3(near, equations.corrections()[2], 4.0L / 3, tolerance);
        EXPECT_PRED_FORMAT3(near, equations.sumOfSquares(), 2.0L / 3, 16 * tolerance);

        equations.computePointCofactors(ignoreProgress);
        EXPECT_PRED_FORMAT3(near, equations.cofactorDiagonal()[1], 1.0L / 3, tolerance);
        EXPECT_PRED_FORMAT3(near, equations.cofactorDiagonal()[2], 5.0L / 6, tolerance);
        ASSERT_EQ(equations.pointCofactors().count(), 1);
        EXPECT_PRED_FORMAT3(near, equations.pointCofactors()[1].qxx, 1.0L / 3, tolerance);
        EXPECT_PRED_FORMAT3(near, equations.pointCofactors()[1].qyy, 5.0L / 6, tolerance);
        EXPECT_PRED_FORMAT3(near, equations.pointCofactors()[1].qxy, -1.0L / 3, tolerance);
        // The row (2, 1): 4/3 - 4/3 + 5/6.
        EXPECT_PRED_FORMAT3(near, equations.computeObservationCofactor(split), 5.0L / 6,
                            tolerance);
    }
}

TEST(NormalEquations, NoPointsToDetermine) {
    for (const Arithmetic arithmetic : arithmetics) {
        SCOPED_TRACE(nameOf(arithmetic));
        NormalEquations equations;
        equations.setArithmetic(arithmetic);
        EXPECT_EQ(equations.layOut(Table<int32_t>{}, 0), 0);
        equations.clear();
        // Observations between fixed points only: their free terms still make [pLL].
        const std::vector<EquationTerm> fixedOnly = {{0, 3}, {0, -3}};
        equations.accumulate(fixedOnly, 2);
        equations.accumulate(fixedOnly, -1);
        EXPECT_EQ(equations.rightHandSide(1), 5);

        const SolveOutcome outcome = solve(equations);
        EXPECT_FALSE(outcome.defect);
        EXPECT_FALSE(outcome.deflated);
        EXPECT_TRUE(equations.corrections().empty());
        EXPECT_EQ(equations.sumOfSquares(), 5);
        equations.computePointCofactors(ignoreProgress);
        EXPECT_TRUE(equations.cofactorDiagonal().empty());
        EXPECT_TRUE(equations.pointCofactors().empty());
        EXPECT_EQ(equations.computeObservationCofactor(fixedOnly), 0);
    }
}

// Random systems of several profile shapes against the dense computations. The extended
// arithmetic must give the dense factorisation's very bits; double-double is held to the
// same tolerances as the extended results against Gauss-Jordan. Tolerances are in units of
// epsilon relative to the largest magnitude of the compared quantity.
TEST(NormalEquations, MatchesDenseComputation) {
    struct Case {
        int32_t lr;
        int32_t maxWidth;
        uint64_t seed;
    };
    const Case cases[] = {
        {1, 1, 1},   {2, 2, 2},   {5, 5, 3},    {12, 3, 4},  {30, 8, 5},
        {40, 40, 6}, {60, 1, 7},  {45, 20, 8},  {70, 12, 9},
    };
    for (const Arithmetic arithmetic : arithmetics) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(nameOf(arithmetic)) + ", lr " + std::to_string(c.lr) +
                         ", widths up to " + std::to_string(c.maxWidth));
            const System s = randomSystem(c.lr, c.maxWidth, c.seed);
            const size_t n = static_cast<size_t>(s.n());
            NormalEquations equations = loaded(s);
            equations.setArithmetic(arithmetic);
            const DenseSystem d = denseSystem(s);
            for (size_t r = 1; r <= n; ++r) {
                for (size_t col = r; col <= n; ++col) {
                    ASSERT_EQ(equations.element(static_cast<int32_t>(r), static_cast<int32_t>(col)),
                              d.N[r][col])
                        << r << ", " << col;
                }
            }
            for (size_t r = 1; r <= n + 1; ++r) {
                ASSERT_EQ(equations.rightHandSide(static_cast<int32_t>(r)), d.b[r]) << r;
            }

            solve(equations);
            if (arithmetic == Arithmetic::Extended) {
                const DenseFactor f = denseRightLooking(d);
                for (size_t r = 1; r <= n; ++r) {
                    for (size_t col = r; col <= n; ++col) {
                        ASSERT_EQ(equations.element(static_cast<int32_t>(r),
                                                    static_cast<int32_t>(col)),
                                  f.U[r][col])
                            << r << ", " << col;
                    }
                    ASSERT_EQ(equations.rightHandSide(static_cast<int32_t>(r)), f.b[r]) << r;
                    ASSERT_EQ(equations.corrections()[static_cast<int32_t>(r)], f.x[r]) << r;
                }
                ASSERT_EQ(equations.sumOfSquares(), f.b[n + 1]);
            }

            const Dense inverse = gaussJordanInverse(d.N);
            std::vector<Real> x(n + 1, 0);
            Real largestX = 0;
            for (size_t r = 1; r <= n; ++r) {
                for (size_t col = 1; col <= n; ++col) {
                    x[r] -= inverse[r][col] * d.b[col];
                }
                largestX = std::max(largestX, std::fabs(x[r]));
            }
            for (size_t r = 1; r <= n; ++r) {
                EXPECT_PRED_FORMAT3(near, equations.corrections()[static_cast<int32_t>(r)], x[r],
                                    16 * epsilon * largestX)
                    << r;
            }
            // [pvv] + [pdd] straight from its meaning: the weighted squares of the residuals.
            Real pvv = 0;
            for (const Observation& row : s.observations) {
                const std::vector<Real> a = denseRow(row, s.n());
                Real v = row.freeTerm;
                for (size_t r = 1; r <= n; ++r) {
                    v += a[r] * x[r];
                }
                pvv += v * v;
            }
            for (const auto& [unknown, weight] : s.diagonal) {
                pvv += weight * x[static_cast<size_t>(unknown)] * x[static_cast<size_t>(unknown)];
            }
            EXPECT_PRED_FORMAT3(near, equations.sumOfSquares(), pvv, 16 * epsilon * d.b[n + 1]);

            equations.computePointCofactors(ignoreProgress);
            const Real cofactorTolerance = 8 * epsilon * largest(inverse);
            expectInverseOnProfile(equations, inverse, cofactorTolerance);
            for (int32_t k = 1; k <= s.lr; ++k) {
                const size_t i = 2 * static_cast<size_t>(k) - 1;
                const PointCofactor& block = equations.pointCofactors()[k];
                EXPECT_PRED_FORMAT3(near, block.qxx, inverse[i][i], cofactorTolerance) << k;
                EXPECT_PRED_FORMAT3(near, block.qyy, inverse[i + 1][i + 1], cofactorTolerance)
                    << k;
                EXPECT_PRED_FORMAT3(near, block.qxy, inverse[i][i + 1], cofactorTolerance) << k;
                EXPECT_EQ(equations.cofactorDiagonal()[2 * k - 1], block.qxx);
                EXPECT_EQ(equations.cofactorDiagonal()[2 * k], block.qyy);
            }
            for (const Observation& row : s.observations) {
                const Real q = quadraticForm(inverse, denseRow(row, s.n()));
                EXPECT_PRED_FORMAT3(near, equations.computeObservationCofactor(row.terms), q,
                                    16 * epsilon * std::max(Real(1), q));
            }
        }
    }
}

// The weak pivots of a point that no observation reaches: each passed on once, in row
// order, whatever the arithmetic, and what the caller's answer to each does.
TEST(NormalEquations, DefectOfAPointWithoutObservations) {
    struct Declined {};
    struct Case {
        const char* name;
        Real weightOfPoint2; ///< on the diagonal of point 2, which has no observation
        Real pivotShift;
        std::deque<bool> answers; ///< to each weak pivot; No throws
        std::vector<int32_t> weakRows;
        bool stops;
        bool defect;
    };
    const Case cases[] = {
        {"Yes to both unknowns", 0, 0, {true, true}, {3, 4}, false, true},
        {"No at once", 0, 0, {false}, {3}, true, false},
        {"Yes, then No", 0, 0, {true, false}, {3, 4}, true, false},
        {"pivot exactly at the limit", 0.001L, 0, {true, true}, {3, 4}, false, true},
        {"pivot just above the limit", 0.0011L, 0, {}, {}, false, false},
        {"pivot raised by the shift", 0, 0.0011L, {}, {}, false, false},
    };
    for (const Arithmetic arithmetic : arithmetics) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(nameOf(arithmetic)) + ": " + c.name);
            // Points 1 and 3 are tied to each other and held by weights; point 2 is not.
            NormalEquations equations;
            equations.setArithmetic(arithmetic);
            equations.layOut(tableOf({3, 2, 1}), 3);
            equations.clear();
            equations.accumulate(std::vector<EquationTerm>{{1, 1}, {5, -1}}, 0.5L);
            equations.accumulate(std::vector<EquationTerm>{{2, 1}, {6, -1}}, -0.25L);
            for (const int32_t u : {1, 2, 5, 6}) {
                equations.addToDiagonal(u, 1);
            }
            if (c.weightOfPoint2 != 0) {
                equations.addToDiagonal(3, c.weightOfPoint2);
                equations.addToDiagonal(4, c.weightOfPoint2);
            }
            std::deque<bool> answers = c.answers;
            std::vector<int32_t> weakRows;
            const auto answer = [&](int32_t row) {
                weakRows.push_back(row);
                ASSERT_FALSE(answers.empty()) << "unexpected weak pivot";
                const bool goOn = answers.front();
                answers.pop_front();
                if (!goOn) {
                    throw Declined{};
                }
            };
            if (c.stops) {
                EXPECT_THROW(equations.solveNormalEquations(c.pivotShift, answer, ignoreProgress),
                             Declined);
            } else {
                const SolveOutcome outcome =
                    equations.solveNormalEquations(c.pivotShift, answer, ignoreProgress);
                EXPECT_EQ(outcome.defect, c.defect);
                if (c.pivotShift == 0) {
                    // N = [2 -1; -1 2] for the X of points 1 and 3, b = (0.5, -0.5):
                    // x1 = -(2 b1 + b5) / 3 = -1/6, whatever point 2 holds.
                    EXPECT_PRED_FORMAT3(near, equations.corrections()[1], -1.0L / 6,
                                        4 * epsilon);
                }
                EXPECT_EQ(equations.corrections()[3], 0);
                EXPECT_EQ(equations.corrections()[4], 0);
                for (const Real v : equations.corrections()) {
                    EXPECT_TRUE(std::isfinite(v));
                }
                // The raised pivots stand in the inverse: 1/0.001 on point 2's diagonal.
                if (c.defect && c.weightOfPoint2 == 0) {
                    equations.computePointCofactors(ignoreProgress);
                    EXPECT_PRED_FORMAT3(near, equations.pointCofactors()[2].qxx, 1000,
                                        1000 * 4 * epsilon);
                }
            }
            EXPECT_EQ(weakRows, c.weakRows);
        }
    }
}

TEST(NormalEquations, DeflationOfANegativeSumOfSquares) {
    struct Case {
        const char* name;
        Real extraWeight; ///< added to N[1][1] after the observation (negative: less than fits)
        Real sumOfSquares;
        bool deflated;
    };
    // One observation x1 + 1 of weight 1: [pLL] = 1, y1^2 = 1 / N[1][1].
    const Case cases[] = {
        {"exact fit leaves zero", 0, 0, false},
        {"[pLL] - y^2 = 1 - 2 < 0", -0.5L, 1e-7L, true},
        {"[pLL] - y^2 = 1 - 1/4", 3, 0.75L, false},
    };
    for (const Arithmetic arithmetic : arithmetics) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(nameOf(arithmetic)) + ": " + c.name);
            NormalEquations equations;
            equations.setArithmetic(arithmetic);
            equations.layOut(tableOf({1}), 1);
            equations.clear();
            equations.accumulate(std::vector<EquationTerm>{{1, 1}}, 1);
            equations.addToDiagonal(1, c.extraWeight);
            equations.addToDiagonal(2, 1);
            const SolveOutcome outcome = solve(equations);
            EXPECT_EQ(outcome.deflated, c.deflated);
            EXPECT_EQ(equations.sumOfSquares(), c.sumOfSquares);
        }
    }
}

// A chain of three points (1-2, 2-3) tied by distance-like rows in X and Y, one of them with
// its Y held by a weight alone: the X column of that point may then reach farther down than
// its Y column, and its block must still pair its own two unknowns.
TEST(NormalEquations, PointBlockOfAPointWithAnIsolatedCoordinate) {
    for (const int32_t isolated : {1, 2, 3}) {
        SCOPED_TRACE("Y of point " + std::to_string(isolated) + " isolated");
        System s;
        s.lr = 3;
        s.halfBand = tableOf({2, 2, 1});
        const auto y = [&](int32_t point) { return point == isolated ? 0 : 2 * point; };
        s.observations = {
            {{{1, 1}, {y(1), 0.5L}, {3, -0.6L}, {y(2), -0.8L}}, 0.01L},
            {{{3, 0.6L}, {y(2), 0.8L}, {5, -0.6L}, {y(3), -0.8L}}, -0.02L},
            {{{1, 0.8L}, {y(1), -0.6L}, {3, -0.8L}, {y(2), 0.6L}}, 0.03L},
        };
        for (int32_t u = 1; u <= s.n(); ++u) {
            s.diagonal.emplace_back(u, u == 2 * isolated ? 4 : 0.25L);
        }
        const Dense inverse = gaussJordanInverse(denseSystem(s).N);
        for (const Arithmetic arithmetic : arithmetics) {
            NormalEquations equations = loaded(s);
            equations.setArithmetic(arithmetic);
            solve(equations);
            equations.computePointCofactors(ignoreProgress);
            for (int32_t k = 1; k <= s.lr; ++k) {
                const size_t i = 2 * static_cast<size_t>(k) - 1;
                const PointCofactor& block = equations.pointCofactors()[k];
                EXPECT_PRED_FORMAT3(near, block.qxx, inverse[i][i], 8 * epsilon) << k;
                EXPECT_PRED_FORMAT3(near, block.qyy, inverse[i + 1][i + 1], 8 * epsilon) << k;
                EXPECT_PRED_FORMAT3(near, block.qxy, inverse[i][i + 1], 8 * epsilon) << k;
            }
            EXPECT_PRED_FORMAT3(near, equations.pointCofactors()[isolated].qyy, 0.25L, epsilon);
            EXPECT_EQ(equations.pointCofactors()[isolated].qxy, 0);
        }
    }
}

// Wide enough for the panel steps to be shared between threads: the solution, the sum of
// squares and every element of the selected inverse come out bit for bit the same.
TEST(NormalEquations, ResultsIndependentOfThreadCount) {
    const System s = randomSystem(160, 70, 21, 100, 1e3L);
    for (const Arithmetic arithmetic : arithmetics) {
        std::vector<Real> reference;
        for (const int32_t threads : {1, 2, 3, 8, 0}) {
            SCOPED_TRACE(std::string(nameOf(arithmetic)) + ", " + std::to_string(threads) +
                         " threads");
            NormalEquations equations = loaded(s);
            equations.setArithmetic(arithmetic);
            equations.setThreadCount(threads);
            solve(equations);
            std::vector<Real> results(equations.corrections().begin(),
                                      equations.corrections().end());
            results.push_back(equations.sumOfSquares());
            equations.computePointCofactors(ignoreProgress);
            for (int32_t r = 1; r <= s.n(); ++r) {
                for (int32_t c = r; c < r + equations.rowLength(r); ++c) {
                    results.push_back(equations.element(r, c));
                }
            }
            if (reference.empty()) {
                reference = results;
            }
            ASSERT_EQ(results.size(), reference.size());
            for (size_t i = 0; i < results.size(); ++i) {
                ASSERT_EQ(results[i], reference[i]) << i;
            }
        }
    }
}

// Before the last iteration double-double may solve through a factor in double refined in
// double-double: the corrections, [pvv] + [pdd] and the inverse that follows must be those
// of the double-double factor to the last bit of the extended type. A system the draft
// cannot refine is left to that factor.
TEST(NormalEquations, RefinedSolutionIsTheDoubleDoubleOne) {
    struct Case {
        const char* name;
        System system;
        bool refined;
    };
    const Case cases[] = {
        {"banded", randomSystem(160, 70, 21, 100, 1e3L), true},
        {"wide", randomSystem(300, 200, 22, 1, 1), true},
        {"ill-conditioned", randomSystem(30, 3, 41, 1e5L, 0.01L), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto results = [&](bool inverseFollows, bool& refined) {
            NormalEquations equations = loaded(c.system);
            const SolveOutcome outcome = equations.solveNormalEquations(
                0, [](int32_t row) { ADD_FAILURE() << "weak pivot in row " << row; },
                ignoreProgress, inverseFollows);
            refined = outcome.refined;
            std::vector<Real> out(equations.corrections().begin(), equations.corrections().end());
            out.push_back(equations.sumOfSquares());
            equations.computePointCofactors(ignoreProgress);
            out.insert(out.end(), equations.cofactorDiagonal().begin(),
                       equations.cofactorDiagonal().end());
            return out;
        };
        bool direct = true;
        bool refined = false;
        const std::vector<Real> expected = results(true, direct);
        const std::vector<Real> got = results(false, refined);
        EXPECT_FALSE(direct);
        if (c.refined) {
            EXPECT_TRUE(refined);
        }
        ASSERT_EQ(got.size(), expected.size());
        for (size_t i = 0; i < got.size(); ++i) {
            ASSERT_EQ(got[i], expected[i]) << i;
        }
    }
}

TEST(NormalEquations, ObservationCofactorsFromSeveralThreadsAtOnce) {
    const System s = randomSystem(40, 8, 31);
    NormalEquations equations = loaded(s);
    solve(equations);
    equations.computePointCofactors(ignoreProgress);
    std::vector<Real> serial;
    for (const Observation& row : s.observations) {
        serial.push_back(equations.computeObservationCofactor(row.terms));
    }
    constexpr int threadCount = 4;
    std::vector<std::vector<Real>> parallel(threadCount);
    {
        std::vector<std::jthread> threads;
        for (auto& results : parallel) {
            threads.emplace_back([&] {
                for (const Observation& row : s.observations) {
                    results.push_back(equations.computeObservationCofactor(row.terms));
                }
            });
        }
    }
    for (const auto& results : parallel) {
        EXPECT_EQ(results, serial);
    }
}

// An ill-conditioned system (observations of weight up to 1e10, unknowns held by 0.01): the
// inverse against Gauss-Jordan in 113-bit quadruple precision. The extended arithmetic loses
// what the condition costs it; double-double must keep some thirty digits more than the
// extended type, which it cannot if any of its error-free transformations has been fused or
// dropped.
TEST(NormalEquations, DoubleDoubleKeepsItsDigitsOnAnIllConditionedSystem) {
    using Quad = __float128;
    const System s = randomSystem(30, 3, 41, 1e5L, 0.01L);
    const DenseSystem d = denseSystem(s);
    const size_t n = static_cast<size_t>(s.n());
    std::vector<std::vector<Quad>> A(n + 1, std::vector<Quad>(n + 1, 0));
    std::vector<std::vector<Quad>> X(n + 1, std::vector<Quad>(n + 1, 0));
    for (size_t r = 1; r <= n; ++r) {
        for (size_t c = 1; c <= n; ++c) {
            A[r][c] = static_cast<Quad>(d.N[r][c]);
        }
        X[r][r] = 1;
    }
    for (size_t col = 1; col <= n; ++col) { // symmetric positive definite: no pivoting needed
        const Quad p = A[col][col];
        for (size_t c = 1; c <= n; ++c) {
            A[col][c] /= p;
            X[col][c] /= p;
        }
        for (size_t r = 1; r <= n; ++r) {
            const Quad f = A[r][col];
            if (r != col && f != 0) {
                for (size_t c = 1; c <= n; ++c) {
                    A[r][c] -= f * A[col][c];
                    X[r][c] -= f * X[col][c];
                }
            }
        }
    }
    Quad largestZ = 0;
    for (size_t r = 1; r <= n; ++r) {
        largestZ = std::max(largestZ, X[r][r]);
    }
    const auto worstError = [&](Arithmetic arithmetic) {
        NormalEquations equations = loaded(s);
        equations.setArithmetic(arithmetic);
        solve(equations);
        equations.computePointCofactors(ignoreProgress);
        Quad worst = 0;
        for (int32_t r = 1; r <= s.n(); ++r) {
            for (int32_t c = r; c < r + equations.rowLength(r); ++c) {
                const Quad error = static_cast<Quad>(equations.element(r, c)) -
                                   X[static_cast<size_t>(r)][static_cast<size_t>(c)];
                worst = std::max(worst, error < 0 ? -error : error);
            }
        }
        return static_cast<long double>(worst / largestZ);
    };
    const Real extended = worstError(Arithmetic::Extended);
    const Real doubleDouble = worstError(Arithmetic::DoubleDouble);
    EXPECT_GT(extended, 1e3L * epsilon) << "the system is not ill-conditioned enough to tell";
    // The double-double inverse is rounded to the extended type on the way out.
    EXPECT_LE(doubleDouble, epsilon) << "extended lost " << extended;
}

// Weights far beyond any survey (products of elements that would leave the double range)
// are solved in the extended type, to the same bits as when it is chosen.
TEST(NormalEquations, MagnitudesBeyondDoubleDoubleAreSolvedInExtended) {
    struct Case {
        Real coefficientScale;
        Real freeTermScale;
    };
    for (const Case c : {Case{1e160L, 1}, Case{1, 1e-300L}}) {
        SCOPED_TRACE(static_cast<double>(c.coefficientScale * c.freeTermScale));
        System s = randomSystem(20, 4, 51, c.coefficientScale,
                                c.coefficientScale * c.coefficientScale);
        for (Observation& row : s.observations) {
            row.freeTerm *= c.freeTermScale;
        }
        NormalEquations chosen = loaded(s);
        chosen.setArithmetic(Arithmetic::Extended);
        solve(chosen);
        NormalEquations fallen = loaded(s);
        solve(fallen);
        EXPECT_EQ(fallen.arithmetic(), Arithmetic::Extended);
        for (int32_t r = 1; r <= s.n(); ++r) {
            ASSERT_EQ(fallen.corrections()[r], chosen.corrections()[r]) << r;
        }
        EXPECT_EQ(fallen.sumOfSquares(), chosen.sumOfSquares());
    }
}

// Every vector width of the double-double loops against the one-lane loop: row updates and
// scalings must give the same bits element by element (the vector loop and its tail take
// the same steps), and dot products the same sums to 2^-100.
TEST(ProfileKernels, VectorWidthsAgreeWithOneLane) {
    std::array<const DoubleDoubleKernels*, 4> kernels{};
    const int32_t count = availableDoubleDoubleKernels(kernels.data(), 4);
    const DoubleDoubleKernels& scalar = *kernels[static_cast<size_t>(count) - 1];
    ASSERT_STREQ(scalar.name, "scalar");
    std::mt19937_64 random(5);
    std::uniform_real_distribution<double> value(-1, 1);
    constexpr int32_t length = 37;
    constexpr int32_t sourceCount = 5;
    const auto randomRow = [&](std::vector<double>& hi, std::vector<double>& lo) {
        hi.resize(length);
        lo.resize(length);
        for (int32_t m = 0; m < length; ++m) {
            const DoubleDouble v = toDoubleDouble(static_cast<Real>(value(random)) / 3);
            hi[static_cast<size_t>(m)] = v.hi;
            lo[static_cast<size_t>(m)] = v.lo;
        }
    };
    std::vector<std::vector<double>> hi(sourceCount + 1), lo(sourceCount + 1);
    for (int32_t s = 0; s <= sourceCount; ++s) {
        randomRow(hi[static_cast<size_t>(s)], lo[static_cast<size_t>(s)]);
    }
    std::vector<DoubleDoubleRow> sources;
    std::vector<DoubleDouble> factors;
    for (int32_t s = 1; s <= sourceCount; ++s) {
        sources.push_back({hi[static_cast<size_t>(s)].data(), lo[static_cast<size_t>(s)].data()});
        factors.push_back(toDoubleDouble(static_cast<Real>(value(random)) / 7));
    }
    // The row, then the sources' first rows' rows against it (symmetricRow), its dots at
    // the end.
    const auto run = [&](const DoubleDoubleKernels& k) {
        std::vector<double> th = hi[0], tl = lo[0];
        k.subtractProducts({th.data(), tl.data()}, length, sources.data(), factors.data(),
                           sourceCount);
        k.scale({th.data(), tl.data()}, length, factors[0]);
        std::vector<std::vector<double>> sh(sourceCount, th), sl(sourceCount, tl);
        std::vector<DoubleDoubleRow> sums;
        for (int32_t s = 0; s < sourceCount; ++s) {
            sums.push_back({sh[static_cast<size_t>(s)].data(), sl[static_cast<size_t>(s)].data()});
        }
        std::vector<DoubleDouble> dots(sourceCount);
        k.symmetricRow({th.data(), tl.data()}, length, sources.data(), sums.data(), sourceCount,
                       dots.data());
        for (int32_t s = 0; s < sourceCount; ++s) {
            th.insert(th.end(), sh[static_cast<size_t>(s)].begin(), sh[static_cast<size_t>(s)].end());
            tl.insert(tl.end(), sl[static_cast<size_t>(s)].begin(), sl[static_cast<size_t>(s)].end());
        }
        dots.push_back(k.dot(factors[1], {th.data(), tl.data()}, sources[2], length));
        return std::make_tuple(th, tl, dots);
    };
    const auto expected = run(scalar);
    for (int32_t i = 0; i < count; ++i) {
        SCOPED_TRACE(kernels[static_cast<size_t>(i)]->name);
        const auto got = run(*kernels[static_cast<size_t>(i)]);
        ASSERT_EQ(std::get<0>(got), std::get<0>(expected));
        ASSERT_EQ(std::get<1>(got), std::get<1>(expected));
        for (size_t d = 0; d < std::get<2>(got).size(); ++d) {
            const DoubleDouble a = std::get<2>(got)[d];
            const DoubleDouble b = std::get<2>(expected)[d];
            const Real difference = (static_cast<Real>(a.hi) - b.hi) + (static_cast<Real>(a.lo) - b.lo);
            EXPECT_LE(std::fabs(difference), std::ldexp(1.0L, -100) * length) << d;
        }
    }
}

} // namespace
} // namespace ptw3
