// The angle block through whole computations on small working folders: the listings of the
// first iteration, the adjusted angles and directions against an independent dense adjustment
// done here with orientation unknowns, atan2 bearings and numerical derivatives, the
// reductions of the 2000 system against GeographicLib, the questions about nearly coincident
// points and too large reductions in every pass, robust weights, and the residual classes.
#include "common/stop.h"
#include "engine/engine_support.h"

#include <GeographicLib/Geodesic.hpp>
#include <GeographicLib/TransverseMercator.hpp>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
#include <numbers>
#include <string>
#include <vector>

namespace ptw3 {
namespace {

using test::adjustFolder;
using test::findLine;
using Lines = std::vector<std::string>;

constexpr Real pi = std::numbers::pi_v<Real>;
constexpr Real ccPerRadian = 2000000 / pi;
constexpr Real ccPerGrad = 10000;
constexpr Real fullCircle = 4000000;

double d(Real v) {
    return static_cast<double>(v);
}

struct Xy {
    Real x, y;
};

/// Bearing (cc, clockwise from +X) from a to b.
Real bearingCc(Xy a, Xy b) {
    const Real t = std::atan2(b.y - a.y, b.x - a.x) * ccPerRadian;
    return t < 0 ? t + fullCircle : t;
}

/// An angle difference (cc) brought into (−200 g, 200 g].
Real wrapped(Real cc) {
    return cc - std::nearbyint(cc / fullCircle) * fullCircle;
}

/// The fields of a table row between its bars.
std::vector<std::string> fieldsOf(const std::string& row) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t bar = row.find('|'); bar != std::string::npos; bar = row.find('|', start)) {
        fields.push_back(row.substr(start, bar - start));
        start = bar + 1;
    }
    fields.push_back(row.substr(start));
    return fields;
}

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    const size_t last = text.find_last_not_of(" *");
    return first == std::string::npos ? "" : text.substr(first, last - first + 1);
}

Real numberIn(const std::string& field) {
    return std::strtold(trimmed(field).c_str(), nullptr);
}

/// The row of a table whose point-number fields read as given.
size_t findRow(const Lines& lines, const std::vector<std::string>& points, size_t from) {
    for (size_t i = from; i < lines.size(); ++i) {
        const std::vector<std::string> f = fieldsOf(lines[i]);
        if (f.size() > points.size() + 1 && trimmed(f[0]).empty()) {
            bool same = true;
            for (size_t k = 0; k < points.size(); ++k) {
                same = same && trimmed(f[k + 1]) == points[k];
            }
            if (same) {
                return i;
            }
        }
    }
    return lines.size();
}

CalculationOptions options(int32_t system = 0, int32_t zone = 0, int32_t iterations = 4) {
    CalculationOptions o;
    o.system = test::systemZone(system, zone);
    o.iterationCount = iterations;
    o.accelerationLevel = AccelerationLevel::None;
    return o;
}

// ---------------------------------------------------------------------------------------------
// A resection-intersection in the local system: fixed A, B, C on the axes 1 km apart, P to be
// determined near (1000, 1000); angles at A, B, C; a set of three directions at P and one of
// two at A. All mean errors 10 cc.

const std::map<std::string, std::string> quadrilateral = {
    {"XY.sta", "A 0 0\nB 1000 0\nC 0 1000\n"},
    {"XY.prz", "P 1000.05 999.97\n"},
    {"KATY.b", "B A P 50.0000 10\nP B A 100.0030 10\nA C P 100.0000 10\nB A C 100.0020 10\n"},
    {"KIERUNKI", "P 1\nA 0.0000\nB 50.0000\nC 350.0000\n0 0.0010\nA 1\nB 0\nP 50.0000\n0\n"},
};

TEST(AngleBlockListing, FirstIterationInTheMainReport) {
    const auto run = adjustFolder(quadrilateral, options());
    ASSERT_FALSE(run->stop);
    const Lines rpw = run->lines("rpw.ptw");
    const size_t first = findLine(rpw, "  KĄTY, BŁEDY ŚREDNIE, REDUKCJE ODWZOROWAWCZE");
    ASSERT_LT(first, rpw.size());
    // The layout of the tables and the values as read, in the local system without reductions.
    const Lines expected = {
        "  KĄTY, BŁEDY ŚREDNIE, REDUKCJE ODWZOROWAWCZE",
        "  [obserwacje kierunkowe zamieniono na kąty Schreibera]",
        "  ------------------------------------------------------------------------- "
        "tarvel_2006-----",
        "  |             P L A N Y   K Ą T Ó W                |  KĄT OBS., BŁ.ŚR.,REDUKCJA, KĄT "
        "ZRED|",
        "  "
        "|--------------------------------------------------+-------------------------------------"
        "|",
        "  |       Nr(L)    |       Nr(C)    |       Nr(P)    |   Al(obs)  | mAL |d(AL)|   "
        "Al(zred) |",
        "  "
        "|----------------+----------------+----------------+------------+-----+-----+------------"
        "|",
        "  |               B|               A|               P|    50.00000| 10.0|  0.0|    "
        "50.00000|",
        "  |               P|               B|               A|   100.00300| 10.0|  0.0|   "
        "100.00300|",
        "  |               A|               C|               P|   100.00000| 10.0|  0.0|   "
        "100.00000|",
        "  |               B|               A|               C|   100.00200| 10.0|  0.0|   "
        "100.00200|",
        "  "
        "|----------------------------------------------------------------------------------------"
        "|",
        " ",
        "  ----------------------------------------------------- tarvel_2006-----",
        "  |       P L A N Y  KIERUNKÓW      |KIER.OBS.|BL.ŚR|REDUKCJA|KIER.ZRED|",
        "  |                                 |         |     |ODWZOR. |         |",
        "  |---------------------------------+---------------+------------------|",
        "  |  Nr stanowiska |    Nr celu     | Ki_OBS  |m(Ki)|    dKi |Ki_ZRED  |",
        "  |                |                |  [ g ]  |[cc] |   [cc] |  [ g ]  |",
        "  |----------------+----------------+---------+-----+--------+---------|",
        "  |               P|               A|  0.00000| 10.0|     0.0|  0.00000|",
        "  |                |               B| 50.00000| 10.0|     0.0| 50.00000|",
        "  |                |               C|350.00000| 10.0|     0.0|350.00000|",
        "  |----------------+----------------+---------+-----+--------+---------|",
        "  |               A|               B|  0.00000| 10.0|     0.0|  0.00000|",
        "  |                |               P| 50.00000| 10.0|     0.0| 50.00000|",
        "  |----------------+----------------+---------+-----+--------+---------|",
        "   IERACJA = 1  KONTROLNE PARAMETRY NUMERYCZNE",
    };
    ASSERT_GE(rpw.size(), first + expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(rpw[first + i], expected[i]);
    }
    // Only the first iteration lists.
    EXPECT_EQ(findLine(rpw, "  KĄTY, BŁEDY", first + 1), rpw.size());
}

TEST(AngleBlockListing, InitialFreeTermsInTheControlReport) {
    const auto run = adjustFolder(quadrilateral, options());
    ASSERT_FALSE(run->stop);
    const Lines er3 = run->lines("er3.ptw");
    const size_t first = findLine(er3, "POCZĄTKOWE WYRAZY WOLNE ");
    ASSERT_LT(first, er3.size());
    EXPECT_EQ(er3[first],
              "  KĄTY, BŁEDY ŚREDNIE, REDUKCJE ODWZOROWAWCZE, POCZĄTKOWE WYRAZY WOLNE ");
    EXPECT_EQ(
        er3[first + 2],
        "  ------------------------------------------------------------------------------------"
        " tarvel_2006----");
    EXPECT_EQ(er3[first + 5], "  |       Nr(L)    |       Nr(C)    |       Nr(P)    |   Al(obs)  | "
                              "mAL |d(AL)|   Al(zred) |    dL   |");

    // l = αc − αr at the approximate coordinates, by atan2.
    const Xy a{0, 0}, b{1000, 0}, c{0, 1000}, p{1000.05L, 999.97L};
    const auto angle = [](Xy station, Xy left, Xy right) {
        const Real v = bearingCc(station, right) - bearingCc(station, left);
        return v < 0 ? v + fullCircle : v;
    };
    struct Case {
        std::vector<std::string> points;
        size_t freeTermField;
        Real freeTermCc;
    };
    const Case cases[] = {
        {{"B", "A", "P"}, 8, angle(a, b, p) - 500000},
        {{"P", "B", "A"}, 8, angle(b, p, a) - 1000030},
        {{"A", "C", "P"}, 8, angle(c, a, p) - 1000000},
        {{"B", "A", "C"}, 8, -20},
        // The direction rows: l of the Schreiber angle from the set's first target.
        {{"", "B"}, 7, wrapped(angle(p, a, b) - 500000)},
        {{"", "C"}, 7, wrapped(angle(p, a, c) - 3500000)},
        {{"", "P"}, 7, angle(a, b, p) - 500000},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.points.back());
        const size_t row = findRow(er3, k.points, first);
        ASSERT_LT(row, er3.size());
        const std::vector<std::string> f = fieldsOf(er3[row]);
        ASSERT_GT(f.size(), k.freeTermField);
        EXPECT_NEAR(d(numberIn(f[k.freeTermField])), d(k.freeTermCc), 0.05 + 1e-6); // 0.1 cc shown
    }
    // The reference direction of a set has no free term.
    EXPECT_EQ(er3[findRow(er3, {"P", "A"}, first)],
              "  |               P|               A|  0.00000| 10.0|     0.0|  0.00000|         |");
}

// ---------------------------------------------------------------------------------------------
// The same network adjusted here with an orientation unknown per direction set (Schreiber's
// reduction makes the Schreiber angles equivalent to it).

struct DenseObservation {
    bool direction;
    Xy* station;
    Xy* left; ///< the target of a direction
    Xy* right;
    int orientation; ///< unknown of the set (2 or 3) for a direction
    Real valueCc, meanErrorCc;
};

struct DenseAdjustment {
    Xy a{0, 0}, b{1000, 0}, c{0, 1000}, p{1000.05L, 999.97L};
    std::array<Real, 4> orientation{}; ///< slots 2 and 3: sets at P and at A (cc)
    std::vector<DenseObservation> obs;
    std::array<std::array<Real, 4>, 4> inverse{}; ///< N⁻¹
    Real mo = 0;

    DenseAdjustment() {
        obs = {
            {false, &a, &b, &p, 0, 500000, 10},      {false, &b, &p, &a, 0, 1000030, 10},
            {false, &c, &a, &p, 0, 1000000, 10},     {false, &a, &b, &c, 0, 1000020, 10},
            {true, &p, &a, nullptr, 2, 0, 10},       {true, &p, &b, nullptr, 2, 500000, 10},
            {true, &p, &c, nullptr, 2, 3500000, 10}, {true, &a, &b, nullptr, 3, 0, 10},
            {true, &a, &p, nullptr, 3, 500000, 10},
        };
        for (int iteration = 0; iteration < 8; ++iteration) {
            step();
        }
    }

    Real computed(const DenseObservation& o) const {
        if (o.direction) {
            return bearingCc(*o.station, *o.left) - orientation[static_cast<size_t>(o.orientation)];
        }
        return bearingCc(*o.station, *o.right) - bearingCc(*o.station, *o.left);
    }
    /// v = computed − observed, wrapped.
    Real residual(const DenseObservation& o) const { return wrapped(computed(o) - o.valueCc); }

    /// ∂(computed)/∂(xP, yP, oP, oA) by central differences.
    std::array<Real, 4> gradient(const DenseObservation& o) {
        std::array<Real, 4> g{};
        constexpr Real h = 1e-3L;
        for (size_t u = 0; u < 4; ++u) {
            Real& value = u == 0 ? p.x : u == 1 ? p.y : orientation[u];
            const Real kept = value;
            value = kept + h;
            const Real plus = computed(o);
            value = kept - h;
            const Real minus = computed(o);
            value = kept;
            g[u] = wrapped(plus - minus) / (2 * h);
        }
        return g;
    }

    void step() {
        std::array<std::array<Real, 8>, 4> m{}; // [N | I], reduced to [I | N⁻¹] by Gauss-Jordan
        std::array<Real, 4> rhs{};              // −Aᵀ P v
        Real pvv = 0;
        for (const DenseObservation& o : obs) {
            const std::array<Real, 4> g = gradient(o);
            const Real w = 1 / (o.meanErrorCc * o.meanErrorCc);
            const Real v = residual(o);
            pvv += w * v * v;
            for (size_t r = 0; r < 4; ++r) {
                for (size_t s = 0; s < 4; ++s) {
                    m[r][s] += w * g[r] * g[s];
                }
                rhs[r] -= w * g[r] * v;
            }
        }
        for (size_t r = 0; r < 4; ++r) {
            m[r][4 + r] = 1;
        }
        for (size_t k = 0; k < 4; ++k) {
            const Real pivot = m[k][k];
            for (Real& e : m[k]) {
                e /= pivot;
            }
            for (size_t r = 0; r < 4; ++r) {
                const Real f = r == k ? 0 : m[r][k];
                for (size_t s = 0; s < 8; ++s) {
                    m[r][s] -= f * m[k][s];
                }
            }
        }
        std::array<Real, 4> du{};
        for (size_t r = 0; r < 4; ++r) {
            for (size_t s = 0; s < 4; ++s) {
                inverse[r][s] = m[r][4 + s];
                du[r] += inverse[r][s] * rhs[s];
            }
        }
        p.x += du[0];
        p.y += du[1];
        orientation[2] += du[2];
        orientation[3] += du[3];
        mo = std::sqrt(pvv / (static_cast<Real>(obs.size()) - 4));
    }

    /// g N⁻¹ gᵀ of a function of the unknowns (cc², unit weight).
    Real cofactor(const std::array<Real, 4>& g) const {
        Real q = 0;
        for (size_t r = 0; r < 4; ++r) {
            for (size_t s = 0; s < 4; ++s) {
                q += g[r] * inverse[r][s] * g[s];
            }
        }
        return q;
    }

    /// F of a set of equal-weight directions: the Schreiber angles' ratios of adjusted to
    /// observed mean errors, summed and divided by n − 1.
    Real setFactor(const std::vector<size_t>& directions) {
        const Real m = obs[directions[0]].meanErrorCc;
        const Real schreiberMeanError2 = static_cast<Real>(directions.size()) * m * m; // √S·m·m
        Real sum = 0;
        for (size_t i = 0; i < directions.size(); ++i) {
            for (size_t j = i + 1; j < directions.size(); ++j) {
                const std::array<Real, 4> gi = gradient(obs[directions[i]]);
                const std::array<Real, 4> gj = gradient(obs[directions[j]]);
                std::array<Real, 4> g{};
                for (size_t u = 0; u < 4; ++u) {
                    g[u] = gj[u] - gi[u];
                }
                sum += cofactor(g) / schreiberMeanError2;
            }
        }
        return std::sqrt(sum / static_cast<Real>(directions.size() - 1));
    }
};

TEST(AngleBlockResults, AgainstADenseAdjustmentWithOrientationUnknowns) {
    const auto run = adjustFolder(quadrilateral, options());
    ASSERT_FALSE(run->stop);
    const Lines rpw = run->lines("rpw.ptw");
    const size_t first = findLine(rpw, "  WYKAZ WYRÓWNANYCH MIAR KĄTÓW lub KIERUNKÓW");
    ASSERT_LT(first, rpw.size());

    DenseAdjustment dense;
    const Real mo = dense.mo;
    struct Expected {
        std::vector<std::string> points;
        Real observedGrad, mObs, v, mV, adjustedGrad, mAdj;
    };
    std::vector<Expected> expected;
    const char* angleNames[4][3] = {
        {"B", "A", "P"}, {"P", "B", "A"}, {"A", "C", "P"}, {"B", "A", "C"}};
    for (size_t k = 0; k < 4; ++k) {
        const DenseObservation& o = dense.obs[k];
        const Real v = dense.residual(o);
        const Real mObs = o.meanErrorCc * mo;
        const Real mAdj = std::sqrt(dense.cofactor(dense.gradient(o))) * mo;
        expected.push_back({{angleNames[k][0], angleNames[k][1], angleNames[k][2]},
                            o.valueCc / ccPerGrad,
                            mObs,
                            v,
                            std::sqrt(std::max(mObs * mObs - mAdj * mAdj, 0.00001L)),
                            (o.valueCc + v) / ccPerGrad,
                            mAdj});
    }
    const std::vector<std::vector<size_t>> sets = {{4, 5, 6}, {7, 8}};
    const std::vector<std::vector<std::string>> setNames = {{"P", "A", "B", "C"}, {"A", "B", "P"}};
    for (size_t s = 0; s < sets.size(); ++s) {
        const Real factor = dense.setFactor(sets[s]);
        for (size_t k = 0; k < sets[s].size(); ++k) {
            const DenseObservation& o = dense.obs[sets[s][k]];
            const Real v = dense.residual(o);
            const Real mObs = o.meanErrorCc * mo;
            const Real mAdj = std::min(o.meanErrorCc * factor * mo, mObs);
            Real adjusted = o.valueCc + v;
            adjusted += adjusted < 0 ? fullCircle : 0;
            expected.push_back({{k == 0 ? setNames[s][0] : "", setNames[s][k + 1]},
                                o.valueCc / ccPerGrad,
                                mObs,
                                v,
                                std::sqrt(std::max(mObs * mObs - mAdj * mAdj, 0.00001L)),
                                adjusted / ccPerGrad,
                                mAdj});
        }
    }

    for (const Expected& e : expected) {
        SCOPED_TRACE(e.points.back() + " seen from " + e.points[e.points.size() / 2]);
        const size_t row = findRow(rpw, e.points, first);
        ASSERT_LT(row, rpw.size());
        const std::vector<std::string> f = fieldsOf(rpw[row]);
        const size_t at = e.points.size() + 1;
        ASSERT_GE(f.size(), at + 6);
        // Shown to 0.1 cc and 0.00001 g: tolerance half a unit of the last digit.
        EXPECT_NEAR(d(numberIn(f[at])), d(e.observedGrad), 0.000005 + 1e-9);
        EXPECT_NEAR(d(numberIn(f[at + 1])), d(e.mObs), 0.05 + 1e-6);
        EXPECT_NEAR(d(numberIn(f[at + 2])), d(e.v), 0.05 + 1e-6);
        EXPECT_NEAR(d(numberIn(f[at + 3])), d(e.mV), 0.05 + 1e-6);
        EXPECT_NEAR(d(numberIn(f[at + 4])), d(e.adjustedGrad), 0.000005 + 1e-9);
        EXPECT_NEAR(d(numberIn(f[at + 5])), d(e.mAdj), 0.05 + 1e-6);
    }

    // The statistics of each kind count its own residuals.
    const size_t angles = findLine(rpw, "    ANALIZA STATYSTYCZNA POPRAWEK KĄTÓW: ", first);
    const size_t directions = findLine(rpw, "    ANALIZA STATYSTYCZNA POPRAWEK KIERUNKÓW: ", first);
    ASSERT_LT(directions, rpw.size());
    const auto count = [&](size_t line) {
        return std::atoi(rpw[line].substr(rpw[line].find(':') + 1).c_str());
    };
    int angleCounts[3] = {}, directionCounts[3] = {};
    for (size_t k = 0; k < expected.size(); ++k) {
        const Real v = expected[k].v;
        int* counts = k < 4 ? angleCounts : directionCounts;
        ++counts[std::fabs(v) < 0.1L ? 2 : v >= 0.1L ? 1 : 0];
    }
    for (int c = 0; c < 3; ++c) {
        SCOPED_TRACE(c);
        EXPECT_EQ(count(angles + 1 + static_cast<size_t>(c)), angleCounts[c]);
        EXPECT_EQ(count(directions + 1 + static_cast<size_t>(c)), directionCounts[c]);
    }
    EXPECT_EQ(rpw[directions - 1],
              "  --------------------------------------------------------------------------------");
}

TEST(AngleBlockResults, ApproximateAnalysisScalesByOtrebskisFactor) {
    CalculationOptions o = options();
    o.analysisMode = AnalysisMode::Approximate;
    const auto run = adjustFolder(quadrilateral, o);
    ASSERT_FALSE(run->stop);
    const Lines rpw = run->lines("rpw.ptw");
    const size_t first = findLine(rpw, "  WYKAZ WYRÓWNANYCH MIAR KĄTÓW lub KIERUNKÓW");
    // m_adj = m·√(n/m)·Mo with n = 2 unknowns and m = 4 angles + 3 reduced directions.
    const Real mAdj = 10 * std::sqrt(2 / 7.0L) * DenseAdjustment().mo;
    const std::vector<std::vector<std::string>> rows = {
        {"B", "A", "P"}, {"B", "A", "C"}, {"P", "A"}, {"", "C"}, {"A", "B"}, {"", "P"}};
    for (const std::vector<std::string>& points : rows) {
        SCOPED_TRACE(points.back());
        const size_t row = findRow(rpw, points, first);
        ASSERT_LT(row, rpw.size());
        const std::vector<std::string> f = fieldsOf(rpw[row]);
        ASSERT_GE(f.size(), points.size() + 7);
        EXPECT_NEAR(d(numberIn(f[points.size() + 6])), d(mAdj), 0.05 + 1e-6);
    }
}

// ---------------------------------------------------------------------------------------------

TEST(AngleBlockResults, AngleOfFixedPointsAddsToPLLOnly) {
    // P is fixed by two exact angles at its exact position; the straight angle B A D among the
    // fixed points (computed exactly 200 g) misses by 20 cc of 10: t² = 4 goes to [pLL] and
    // [pvv], nothing moves, and Mo = √(4/1) = 2.
    const auto run = adjustFolder({{"XY.sta", "A 0 0\nB 1000 0\nD -1000 0\n"},
                                   {"XY.prz", "P 1000 1000\n"},
                                   {"KATY.b", "B A P 50.0000 10\nP B A 100.0000 10\n"
                                              "B A D 200.0020 10\n"}},
                                  options(0, 0, 2));
    ASSERT_FALSE(run->stop);
    const Lines rpw = run->lines("rpw.ptw");
    const size_t block = findLine(rpw, "   IERACJA = 1");
    ASSERT_LT(block + 9, rpw.size());
    EXPECT_EQ(rpw[block + 2],
              "   [pLL]           =       4.0000000 (z wyrazów wolnych równań obserwacji)");
    EXPECT_EQ(rpw[block + 3], "   [pvv]+[pdd]     =       4.0000000  ");
    EXPECT_EQ(rpw[block + 9], "      NORM(dx,dy)  =           0.000 m");
    const size_t first = findLine(rpw, "  WYKAZ WYRÓWNANYCH MIAR KĄTÓW lub KIERUNKÓW");
    // m_obs = 10·2, m_adj = 0 (no unknowns), mV = m_obs.
    EXPECT_EQ(rpw[findRow(rpw, {"B", "A", "D"}, first)],
              "  |               B|               A|               D|200.00200| 20.0| -20.0| 20.0|"
              "200.00000|  0.0| ");
    // An angle without redundancy: m_adj = m_obs and mV takes its floor √0.00001.
    const std::vector<std::string> f = fieldsOf(rpw[findRow(rpw, {"B", "A", "P"}, first)]);
    ASSERT_GE(f.size(), 11u);
    EXPECT_EQ(trimmed(f[7]), "0.0");
    EXPECT_EQ(trimmed(f[9]), "20.0");
    EXPECT_EQ(f[10], " ");
}

TEST(AngleBlockResults, ResidualsOfExactlyOneTenthCcAreSignificant) {
    // Fixed points on one line north of A: every computed angle at A is exactly 0, so
    // 0.00001 g gives l = −0.1 cc, −0.00001 g gives +0.1 cc, 0.000009 g gives −0.09 cc.
    const auto run = adjustFolder({{"XY.sta", "A 0 0\nB1 1000 0\nB2 2000 0\nB3 3000 0\n"},
                                   {"KATY.b", "B1 A B2 0.00001 10\nB1 A B3 -0.00001 10\n"
                                              "B2 A B3 0.000009 10\n"}},
                                  options(0, 0, 2));
    ASSERT_FALSE(run->stop);
    const Lines rpw = run->lines("rpw.ptw");
    const size_t title = findLine(rpw, "    ANALIZA STATYSTYCZNA POPRAWEK KĄTÓW: ");
    ASSERT_LT(title + 4, rpw.size());
    EXPECT_EQ(rpw[title + 1], "     Liczba poprawek \"-\" istotnych (> 0.1) : 1");
    EXPECT_EQ(rpw[title + 2], "     Liczba poprawek \"+\" istotnych (<-0.1) : 1");
    EXPECT_EQ(rpw[title + 3], "     Liczba poprawek bliskich zera         : 1   (|v| < 0.1[cc])");
    EXPECT_EQ(rpw[title + 4], "     Liczba \"odstających\" obs. kątowych    : 0   (|v| > 3 * Mv)");
}

TEST(AngleBlockWeights, RobustPrinciplesReweightAnglesOnly) {
    // A straight angle of fixed points missing by 30 cc of 10: t² = 9 by least squares; robust
    // weighting multiplies the weight by 100/√(1 + 10⁶·3²), giving t² = 0.29999998.
    const std::map<std::string, std::string> folder = {{"XY.sta", "A 0 0\nB 1000 0\nD -1000 0\n"},
                                                       {"KATY.b", "B A D 200.0030 10\n"}};
    struct Case {
        AdjustmentPrinciple principle;
        std::string pLL;
    };
    const Case cases[] = {{AdjustmentPrinciple::LeastSquares, "9.0000000"},
                          {AdjustmentPrinciple::RobustDistances, "9.0000000"},
                          {AdjustmentPrinciple::RobustAngles, "0.3000000"},
                          {AdjustmentPrinciple::RobustDistancesAndAngles, "0.3000000"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.principle));
        CalculationOptions o = options(0, 0, 2);
        o.principle = c.principle;
        const auto run = adjustFolder(folder, o);
        ASSERT_FALSE(run->stop);
        const Lines rpw = run->lines("rpw.ptw");
        const size_t block = findLine(rpw, "   IERACJA = 1");
        ASSERT_LT(block + 2, rpw.size());
        EXPECT_EQ(rpw[block + 2],
                  "   [pLL]           =       " + c.pLL + " (z wyrazów wolnych równań obserwacji)");
    }
}

// ---------------------------------------------------------------------------------------------
// Questions.

TEST(AngleBlockQuestions, NearlyCoincidentPointsAskInEveryPassAndGoOn) {
    // L lies 0.22 m from C (d² = 0.05 m²) on the line to the left; R 0.1 m from C on the right.
    // With Yes the lines go on with d² = 0.1: the bearing to L becomes
    // asin(0.1/√0.1) = 0.32175 rad (|kx| ≥ |ky|), not the true atan2(0.1, 0.2).
    const auto run = adjustFolder({{"XY.sta", "C 0 0\nL 0.2 0.1\nP 100 0\nQ 0 100\nR 0 0.1\n"},
                                   {"KATY.b", "L C P 379.5000 10\nQ C R 0.0000 10\n"}},
                                  options(0, 0, 2), std::deque<bool>(6, true));
    ASSERT_FALSE(run->stop);
    const std::string tail = "\\n      Czy chcesz liczyć dalej?";
    const std::string first = "confirm:  ***  Podobne współrzędne przybliżone punktów: L C" + tail;
    const std::string second = "confirm:  ***  Podobne współrzędne przybliżone punktów: C R" + tail;
    std::vector<std::string> questions;
    for (const std::string& line : run->t.user.transcript) {
        if (line.rfind("confirm:", 0) == 0) {
            questions.push_back(line);
        }
    }
    // Two iterations and the last pass.
    EXPECT_EQ(questions, (std::vector<std::string>{first, second, first, second, first, second}));

    const Lines er3 = run->lines("er3.ptw");
    const size_t warning = findLine(er3, "*** Podobne współrzędne przybliżone punktów: L C");
    ASSERT_LT(warning + 2, er3.size());
    // The first iteration's warning precedes the angle's listing row.
    EXPECT_EQ(er3[warning - 1],
              "  |----------------+----------------+----------------+------------+"
              "-----+-----+------------+---------|");
    const std::vector<std::string> f = fieldsOf(er3[warning + 1]);
    ASSERT_GE(f.size(), 9u);
    EXPECT_EQ(trimmed(f[1]) + trimmed(f[2]) + trimmed(f[3]), "LCP");
    const Real substituteBearing = std::asin(0.1L / std::sqrt(0.1L)) * ccPerRadian;
    EXPECT_NEAR(d(numberIn(f[8])), d(fullCircle - substituteBearing - 3795000), 0.05 + 1e-6);
    EXPECT_EQ(er3[warning + 2], "*** Podobne współrzędne przybliżone punktów: C R");
}

// 1965 zone 1 with every point fixed: thirteen angles at the zone centre O (no reductions),
// the first missing by 100 cc, and one angle at S, 1000 km east of the centre, whose lines to
// the points 100 km north and south have δL = −100·1000·K = −390.8536 cc and δP = +390.8536 cc.
std::map<std::string, std::string> farStationFolder() {
    return {
        {"XY.sta",
         "O 5467000 4637000\nN 5468000 4637000\nNE 5468000 4638000\nE 5467000 4638000\n"
         "SE 5466000 4638000\nS 5466000 4637000\nSW 5466000 4636000\nW 5467000 4636000\n"
         "NW 5468000 4636000\nT 5467000 5637000\nTN 5567000 5637000\nTS 5367000 5637000\n"},
        {"KATY.b",
         "N O NE 50.0100 10\nTN T TS 199.92182928 10\nNE O E 50.0000 10\nE O SE 50.0000 10\n"
         "SE O S 50.0000 10\nS O SW 50.0000 10\nSW O W 50.0000 10\nW O NW 50.0000 10\n"
         "NW O N 50.0000 10\nN O E 100.0000 10\nE O S 100.0000 10\nS O W 100.0000 10\n"
         "W O N 100.0000 10\n"},
    };
}

const Lines leftReductionLines = {
    " *** UWAGA: ZBYT DUŻA REDUKCJA ODWZOROWAWCZA KIERUNKU",
    "T ---> TN popr = -390.8536[cc]",
    "  sprawdz poprawność wyboru układu i strefy",
    "  dla używanych współrzędnych!",
};
const Lines rightReductionLines = {
    " ** UWAGA: ZBYT DUŻA REDUKCJA ODWZOROWAWCZA KIERUNKU",
    "T ---> TS popr = 390.8536[cc]",
    "  sprawdz poprawność wyboru układu i strefy",
    "  dla używanych współrzędnych!",
};
const std::string reductionQuestion = "confirm:  *** ZBYT DUŻA REDUKCJA ODWZOROWAWCZA KIERUNKU\\n"
                                      "     sprawdź poprawność wyboru układu i strefy\\n"
                                      "     Czy chcesz liczyć dalej?";

/// True when the lines from `at` on are the expected ones.
bool linesAt(const Lines& lines, size_t at, const Lines& expected) {
    if (at + expected.size() > lines.size()) {
        return false;
    }
    return std::equal(expected.begin(), expected.end(), lines.begin() + static_cast<long>(at));
}

TEST(AngleBlockQuestions, LargeReductionsAskInEveryPassAndKeepTheirPlace) {
    const auto run =
        adjustFolder(farStationFolder(), options(1965, 1, 2), std::deque<bool>(6, true));
    ASSERT_FALSE(run->stop);
    std::vector<std::string> questions;
    for (const std::string& line : run->t.user.transcript) {
        if (line.rfind("confirm:", 0) == 0) {
            questions.push_back(line);
        }
    }
    EXPECT_EQ(questions, std::vector<std::string>(6, reductionQuestion));

    const Lines er3 = run->lines("er3.ptw");
    // First iteration: the warnings stand between the first angle's row and the second's.
    const size_t listed = findLine(er3, "  |               N|               O|              NE|");
    ASSERT_LT(listed, er3.size());
    EXPECT_TRUE(linesAt(er3, listed + 1, leftReductionLines));
    EXPECT_TRUE(linesAt(er3, listed + 5, rightReductionLines));
    // d(AL) = 781.7 cc brings 199.92183 g to the straight angle of the chords.
    EXPECT_EQ(er3[listed + 9], "  |              TN|               T|              TS|   199.92183|"
                               " 10.0|781.7|   200.00000|      0.0|");

    // Last pass: the title and head, the outlier N O NE, then the warnings of T, as a pass that
    // printed each angle as it went would have them.
    const size_t title = findLine(er3, "  WYKAZ \"ODSTAJĄCYCH\" OBSERWACJI KĄTOWYCH/KIERUNKOWYCH");
    ASSERT_LT(title + 7, er3.size());
    EXPECT_EQ(er3[title + 5], "  |----------------+----------------+----------------+---------+"
                              "-----+------+-----+---------+-----|");
    const std::vector<std::string> outlier = fieldsOf(er3[title + 6]);
    ASSERT_GE(outlier.size(), 10u);
    EXPECT_EQ(trimmed(outlier[1]) + trimmed(outlier[2]) + trimmed(outlier[3]), "NONE");
    // Mo = √(10²/13): m_obs = mV = 27.7 cc, so |v| = 100 > 3·mV marks it.
    EXPECT_EQ(outlier[6], "-100.0");
    EXPECT_EQ(outlier[7], " 27.7");
    EXPECT_EQ(outlier[9], "  0.0 *");
    EXPECT_TRUE(linesAt(er3, title + 7, leftReductionLines));
    EXPECT_TRUE(linesAt(er3, title + 11, rightReductionLines));
    EXPECT_EQ(er3[title + 15],
              "  -------------------------------------------------------------------"
              "------------------------------");
    EXPECT_EQ(er3[title + 16], "     Liczba \"odstających\" obs. kątowych    : 1   (|v| > 3 * Mv)");
}

TEST(AngleBlockQuestions, NoToALargeReductionStopsWithTheWarningLast) {
    const auto run = adjustFolder(farStationFolder(), options(1965, 1, 2), {false});
    ASSERT_TRUE(run->stop);
    EXPECT_EQ(*run->stop, StopReason::UserDeclined);
    EXPECT_EQ(run->t.user.questions.size(), 1u);
    const Lines er3 = run->lines("er3.ptw");
    ASSERT_GE(er3.size(), 4u);
    EXPECT_TRUE(linesAt(er3, er3.size() - 4, leftReductionLines));
}

TEST(AngleBlockQuestions, LocalSystemNeitherReducesNorWarns) {
    // The same far-out geometry in the local system: no reduction, no question.
    const auto run = adjustFolder(farStationFolder(), options(0, 0, 2));
    ASSERT_FALSE(run->stop);
    EXPECT_TRUE(run->t.user.questions.empty());
    const Lines er3 = run->lines("er3.ptw");
    EXPECT_EQ(findLine(er3, "ZBYT DUŻA REDUKCJA"), er3.size());
    const size_t row = findLine(er3, "  |              TN|               T|              TS|");
    ASSERT_LT(row, er3.size());
    EXPECT_EQ(er3[row], "  |              TN|               T|              TS|   199.92183| 10.0|"
                        "  0.0|   199.92183|    781.7|");
}

// ---------------------------------------------------------------------------------------------

TEST(AngleBlockListing, ReductionsOfThe2000SystemAgainstGeographicLib) {
    // A 10 km figure 100 km east of the meridian 18° at about 52°: the reduction of each line,
    // δ = (grid bearing of the chord) − (grid bearing of the projected geodesic), worked out
    // from GeographicLib's geodesic azimuth and meridian convergence at the station.
    const Real x0 = 5760000, y0 = 6600000;
    const std::map<std::string, Xy> points = {{"A", {x0, y0}},
                                              {"B", {x0 + 10000, y0}},
                                              {"C", {x0, y0 + 10000}},
                                              {"P", {x0 + 10000.3L, y0 + 9999.6L}}};
    const auto run =
        adjustFolder({{"XY.sta", "A 5760000 6600000\nB 5770000 6600000\nC 5760000 6610000\n"},
                      {"XY.prz", "P 5770000.3 6609999.6\n"},
                      {"KATY.b", "B A P 50.0000 10\nP B A 100.0000 10\nA C P 100.0000 10\n"},
                      {"KIERUNKI", "P 1\nA 0.0000\nB 50.0000\nC 350.0000\n0 0.0010\n"}},
                     options(2000, 18));
    ASSERT_FALSE(run->stop);

    const double f = 1 - 6356752.3141 / 6378137; // GRS 80
    const GeographicLib::Geodesic geodesic(6378137, f);
    const GeographicLib::TransverseMercator tm(6378137, f, 0.999923);
    const auto reduction = [&](const std::string& from, const std::string& to) {
        const Xy a = points.at(from), b = points.at(to);
        double latA = 0, lonA = 0, gammaA = 0, kA = 0, latB = 0, lonB = 0;
        tm.Reverse(18, d(a.y - 6500000), d(a.x), latA, lonA, gammaA, kA);
        tm.Reverse(18, d(b.y - 6500000), d(b.x), latB, lonB);
        double azimuth = 0, azimuth2 = 0, s = 0;
        geodesic.Inverse(latA, lonA, latB, lonB, s, azimuth, azimuth2);
        const Real geodesicBearing = (azimuth - gammaA) * fullCircle / 360;
        return wrapped(bearingCc(a, b) - geodesicBearing);
    };
    // The figure is 10 km across at 100 km from the meridian: reductions of a few cc.
    ASSERT_GT(std::fabs(d(reduction("A", "B"))), 1);

    const Lines rpw = run->lines("rpw.ptw");
    const size_t first = findLine(rpw, "  KĄTY, BŁEDY ŚREDNIE, REDUKCJE ODWZOROWAWCZE");
    struct Case {
        std::vector<std::string> points;
        size_t field;
        Real expectedCc;
    };
    const Case cases[] = {
        {{"B", "A", "P"}, 6, reduction("A", "P") - reduction("A", "B")},
        {{"P", "B", "A"}, 6, reduction("B", "A") - reduction("B", "P")},
        {{"A", "C", "P"}, 6, reduction("C", "P") - reduction("C", "A")},
        {{"P", "A"}, 5, reduction("P", "A")},
        {{"", "B"}, 5, reduction("P", "B")},
        {{"", "C"}, 5, reduction("P", "C")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.points.back());
        const size_t row = findRow(rpw, c.points, first);
        ASSERT_LT(row, rpw.size());
        const std::vector<std::string> f = fieldsOf(rpw[row]);
        ASSERT_GT(f.size(), c.field + 1);
        EXPECT_NEAR(d(numberIn(f[c.field])), d(c.expectedCc), 0.05 + 0.001); // 0.1 cc shown
        // The reduced value is the observed one plus the reduction.
        EXPECT_NEAR(d(numberIn(f[c.field + 1]) - numberIn(f[c.field - 2])),
                    d(c.expectedCc / ccPerGrad), 0.00001 + 1e-9);
    }
}

} // namespace
} // namespace ptw3
