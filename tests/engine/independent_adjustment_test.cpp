// The adjustment recomputed independently: small networks of every observation kind in
// the local system, generated from known coordinates, are adjusted by a dense
// Gauss-Newton solution written here from the observation equations (long double,
// Gauss-Jordan inverse), and compared with the engine's coordinates, Mo, point mean
// errors and the mean errors of the adjusted observations in the result tables. The
// redundancy numbers 1 − p·a N⁻¹ aᵀ of the listed observations are recomputed in the model
// of the direction sets themselves, with one orientation unknown per set.

#include "common/encoding.h"
#include "common/number_format.h"
#include "engine/adjustment.h"
#include "input/read_network_data.h"
#include "engine/synthetic_network.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <numbers>
#include <random>
#include <sstream>

namespace ptw3 {
namespace {

using Matrix = std::vector<std::vector<Real>>;
using test::azimuthCc;
using test::networkFiles;
using test::scatter;
constexpr Real rho = 636619.772368L; // cc per radian

// One observation as the adjustment sees it: points by index, value and weight root in the
// units of the free term (cc for angles and azimuths, m for distances).
enum class Kind { Distance, Angle, Azimuth };
struct Observation {
    Kind kind;
    int32_t a, b, c; // distance/azimuth: a→b; angle: left a, station b, right c
    Real value;      // m or cc
    Real root;       // weight root
    Real meanError;  // a-priori, m or cc
};

std::vector<Observation> observationsOf(const NetworkData& n) {
    std::vector<Observation> obs;
    for (const LineObservation& d : n.distances) {
        obs.push_back({Kind::Distance, d.from, d.to, 0, d.value, 1 / d.meanError, d.meanError});
    }
    for (const Angle& a : n.angles) {
        obs.push_back({Kind::Angle, a.left, a.station, a.right, a.value * 10000,
                       1 / (a.meanError + 1e-12L), a.meanError});
    }
    for (const LineObservation& z : n.azimuths) {
        obs.push_back({Kind::Azimuth, z.from, z.to, 0, z.value * 10000, 1 / (z.meanError + 1e-7L),
                       z.meanError});
    }
    return obs;
}

struct Linearised {
    Real computed;
    std::vector<std::pair<int32_t, Real>> derivatives; // (point·2 + axis, d/dcoordinate)
};

Linearised linearise(const Observation& o, const std::vector<Real>& xy) {
    const auto X = [&](int32_t p) { return xy[2 * static_cast<size_t>(p)]; };
    const auto Y = [&](int32_t p) { return xy[2 * static_cast<size_t>(p) + 1]; };
    Linearised l;
    if (o.kind == Kind::Distance) {
        const Real dx = X(o.b) - X(o.a), dy = Y(o.b) - Y(o.a), d = std::hypot(dx, dy);
        l.computed = d;
        l.derivatives = {{2 * o.a, -dx / d}, {2 * o.a + 1, -dy / d}, {2 * o.b, dx / d},
                         {2 * o.b + 1, dy / d}};
    } else if (o.kind == Kind::Azimuth) {
        const Real dx = X(o.b) - X(o.a), dy = Y(o.b) - Y(o.a), d2 = dx * dx + dy * dy;
        l.computed = azimuthCc(dx, dy);
        l.derivatives = {{2 * o.a, rho * dy / d2}, {2 * o.a + 1, -rho * dx / d2},
                         {2 * o.b, -rho * dy / d2}, {2 * o.b + 1, rho * dx / d2}};
    } else {
        const Real lx = X(o.a) - X(o.b), ly = Y(o.a) - Y(o.b), l2 = lx * lx + ly * ly;
        const Real px = X(o.c) - X(o.b), py = Y(o.c) - Y(o.b), p2 = px * px + py * py;
        Real a = azimuthCc(px, py) - azimuthCc(lx, ly);
        l.computed = a < 0 ? a + 4000000 : a;
        // ∂azimuth(C→T)/∂xT = −ρ·ΔY/d², ∂/∂yT = ρ·ΔX/d²
        l.derivatives = {{2 * o.a, rho * ly / l2},  {2 * o.a + 1, -rho * lx / l2},
                         {2 * o.c, -rho * py / p2}, {2 * o.c + 1, rho * px / p2},
                         {2 * o.b, -rho * ly / l2 + rho * py / p2},
                         {2 * o.b + 1, rho * lx / l2 - rho * px / p2}};
    }
    return l;
}

Real freeTerm(const Observation& o, Real computed) {
    Real t = computed - o.value;
    if (o.kind != Kind::Distance && std::fabs(t) > 3000000) {
        t -= std::copysign(4000000.0L, t);
    }
    return t;
}

Matrix inverse(Matrix a) {
    const size_t n = a.size();
    Matrix inv(n, std::vector<Real>(n, 0));
    for (size_t i = 0; i < n; ++i) {
        inv[i][i] = 1;
    }
    for (size_t c = 0; c < n; ++c) {
        size_t pivot = c;
        for (size_t r = c + 1; r < n; ++r) {
            if (std::fabs(a[r][c]) > std::fabs(a[pivot][c])) {
                pivot = r;
            }
        }
        std::swap(a[c], a[pivot]);
        std::swap(inv[c], inv[pivot]);
        const Real d = a[c][c];
        for (size_t k = 0; k < n; ++k) {
            a[c][k] /= d;
            inv[c][k] /= d;
        }
        for (size_t r = 0; r < n; ++r) {
            if (r != c && a[r][c] != 0) {
                const Real f = a[r][c];
                for (size_t k = 0; k < n; ++k) {
                    a[r][k] -= f * a[c][k];
                    inv[r][k] -= f * inv[c][k];
                }
            }
        }
    }
    return inv;
}

struct DenseResult {
    std::vector<Real> xy;  // adjusted, by point index (0-based pairs)
    Matrix q;              // N⁻¹ of the last iteration
    std::vector<int32_t> unknownOf; // coordinate slot -> unknown index or -1
    Real mo = 1;
};

DenseResult adjustDensely(const NetworkData& n, int iterations) {
    const int32_t lp = n.lp(), lr = n.determinedCount();
    DenseResult r;
    r.xy.assign(2 * static_cast<size_t>(lp) + 2, 0);
    r.unknownOf.assign(r.xy.size(), -1);
    for (int32_t p = 1; p <= lp; ++p) {
        r.xy[2 * p] = n.points[p].x;
        r.xy[2 * p + 1] = n.points[p].y;
        if (p <= lr) {
            r.unknownOf[2 * p] = 2 * (p - 1);
            r.unknownOf[2 * p + 1] = 2 * (p - 1) + 1;
        }
    }
    const auto obs = observationsOf(n);
    const size_t u = 2 * static_cast<size_t>(lr);
    for (int it = 0; it < iterations; ++it) {
        Matrix N(u, std::vector<Real>(u, 0));
        std::vector<Real> b(u, 0);
        Real pll = 0;
        for (const Observation& o : obs) {
            const Linearised l = linearise(o, r.xy);
            const Real t = freeTerm(o, l.computed) * o.root;
            pll += t * t;
            for (const auto& [i, ai] : l.derivatives) {
                const int32_t ui = r.unknownOf[static_cast<size_t>(i)];
                if (ui < 0) {
                    continue;
                }
                b[static_cast<size_t>(ui)] += ai * o.root * t;
                for (const auto& [j, aj] : l.derivatives) {
                    const int32_t uj = r.unknownOf[static_cast<size_t>(j)];
                    if (uj >= 0) {
                        N[static_cast<size_t>(ui)][static_cast<size_t>(uj)] += ai * aj * o.root * o.root;
                    }
                }
            }
        }
        r.q = inverse(N);
        Real btqb = 0;
        std::vector<Real> x(u, 0);
        for (size_t i = 0; i < u; ++i) {
            for (size_t j = 0; j < u; ++j) {
                x[i] -= r.q[i][j] * b[j];
            }
            btqb -= b[i] * x[i];
        }
        for (size_t s = 0; s < r.xy.size(); ++s) {
            if (r.unknownOf[s] >= 0) {
                r.xy[s] += x[static_cast<size_t>(r.unknownOf[s])];
            }
        }
        // Schreiber's angles of a set of k directions carry k − 1 independent observations.
        const int32_t m = n.ld() + n.lka1 + n.reducedDirectionCount + n.laz();
        const int32_t f = m - static_cast<int32_t>(u);
        const Real pvv = pll - btqb;
        r.mo = f > 0 && std::fabs(pvv) > 0.01L ? std::sqrt(std::fabs(pvv) / f) : 1;
    }
    return r;
}

// The cofactor a·Q·aᵀ of an observation's row at the given coordinates.
Real cofactor(const DenseResult& r, const std::vector<std::pair<int32_t, Real>>& row) {
    Real q = 0;
    for (const auto& [i, ai] : row) {
        for (const auto& [j, aj] : row) {
            const int32_t ui = r.unknownOf[static_cast<size_t>(i)];
            const int32_t uj = r.unknownOf[static_cast<size_t>(j)];
            if (ui >= 0 && uj >= 0) {
                q += ai * aj * r.q[static_cast<size_t>(ui)][static_cast<size_t>(uj)];
            }
        }
    }
    return q;
}

// Redundancy numbers at the adjusted coordinates in the order of the result tables: the
// measured angles, the directions set by set, the distances, the azimuths. Unknowns: the
// coordinates of the determined points, then one orientation per direction set.
std::vector<Real> denseRedundancies(const NetworkData& n, const DenseResult& dense) {
    using Row = std::vector<std::pair<int32_t, Real>>; // (unknown, weighted coefficient)
    const auto obs = observationsOf(n);
    const int32_t coordinates = 2 * n.determinedCount();
    std::vector<Row> rows;
    const auto weighted = [&](const Observation& o) {
        Row row;
        for (const auto& [slot, a] : linearise(o, dense.xy).derivatives) {
            if (const int32_t u = dense.unknownOf[static_cast<size_t>(slot)]; u >= 0) {
                row.emplace_back(u, a * o.root);
            }
        }
        return row;
    };
    const auto angleObservation = [&](int32_t k) {
        return obs[static_cast<size_t>(n.ld() + k - 1)];
    };
    for (int32_t k = 1; k <= n.lka1; ++k) {
        rows.push_back(weighted(angleObservation(k)));
    }
    for (int32_t set = 1; set <= n.lst(); ++set) {
        const DirectionSet& s = n.directionSets[set];
        for (const Direction& d : s.directions) {
            // The bearing station → target is the azimuth's equation; the orientation
            // unknown enters with −1.
            Row row = weighted({Kind::Azimuth, s.station, d.target, 0, 0, 1 / d.meanError,
                                d.meanError});
            row.emplace_back(coordinates + set - 1, -1 / d.meanError);
            rows.push_back(row);
        }
    }
    for (int32_t k = 1; k <= n.ld(); ++k) {
        rows.push_back(weighted(obs[static_cast<size_t>(k - 1)]));
    }
    for (int32_t k = 1; k <= n.laz(); ++k) {
        rows.push_back(weighted(obs[static_cast<size_t>(n.ld() + n.lka() + k - 1)]));
    }
    const size_t u = static_cast<size_t>(coordinates + n.lst());
    Matrix normal(u, std::vector<Real>(u, 0));
    for (const Row& row : rows) {
        for (const auto& [i, ai] : row) {
            for (const auto& [j, aj] : row) {
                normal[static_cast<size_t>(i)][static_cast<size_t>(j)] += ai * aj;
            }
        }
    }
    const Matrix q = inverse(normal);
    std::vector<Real> r;
    for (const Row& row : rows) {
        Real share = 0;
        for (const auto& [i, ai] : row) {
            for (const auto& [j, aj] : row) {
                share += ai * aj * q[static_cast<size_t>(i)][static_cast<size_t>(j)];
            }
        }
        r.push_back(1 - share);
    }
    return r;
}

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> out;
    std::stringstream in(line);
    std::string field;
    while (std::getline(in, field, '|')) {
        out.push_back(field);
    }
    return out;
}

Real number(const std::string& s) { return std::stold(s); }

class IndependentAdjustment : public ::testing::TestWithParam<unsigned> {};

TEST_P(IndependentAdjustment, AgreesWithADenseRecomputation) {
    std::mt19937 random(GetParam());
    const auto truth = scatter(20 + static_cast<int>(GetParam() % 3) * 10, 3, random);
    test::TempFolder folder;
    for (const auto& [name, content] : networkFiles(truth, random)) {
        folder.write(name, test::crlf(content));
    }
    test::TestContext t(std::deque<bool>(50, true));
    NetworkData network;
    readNetworkData(folder.path(), network, t.context);
    const NetworkData input = network;
    const DenseResult dense = adjustDensely(input, 4);

    CalculationOptions options;
    options.workingFolder = folder.path();
    options.iterationCount = 4;
    options.accelerationLevel = AccelerationLevel::None;
    CalculationResults results;
    AdjustmentOutcome outcome;
    adjustNetwork(options, network, results, t.context, &outcome);
    ASSERT_TRUE(t.user.questions.empty()) << t.user.questions.front();

    EXPECT_NEAR(static_cast<double>(outcome.mo), static_cast<double>(dense.mo),
                1e-9 * static_cast<double>(dense.mo));

    const std::vector<Real> redundancies = denseRedundancies(input, dense);
    ASSERT_EQ(outcome.observations.size(), redundancies.size());
    Real sum = 0;
    for (size_t i = 0; i < redundancies.size(); ++i) {
        const AdjustedObservation& o = outcome.observations[i];
        SCOPED_TRACE(i);
        ASSERT_TRUE(o.share.has_value());
        EXPECT_NEAR(static_cast<double>(1 - *o.share), static_cast<double>(redundancies[i]), 1e-8);
        sum += 1 - *o.share;
    }
    EXPECT_NEAR(static_cast<double>(sum),
                input.ld() + input.lka1 + input.reducedDirectionCount + input.laz() -
                    2 * input.determinedCount(),
                1e-7);
    for (int32_t p = 1; p <= input.lp(); ++p) {
        SCOPED_TRACE(input.points[p].number);
        EXPECT_NEAR(static_cast<double>(outcome.coordinates[p].x),
                    static_cast<double>(dense.xy[2 * p]), 1e-6); // m
        EXPECT_NEAR(static_cast<double>(outcome.coordinates[p].y),
                    static_cast<double>(dense.xy[2 * p + 1]), 1e-6);
        if (p <= input.determinedCount()) {
            const Real mx = dense.mo * std::sqrt(dense.q[2 * (p - 1)][2 * (p - 1)]);
            const Real my = dense.mo * std::sqrt(dense.q[2 * (p - 1) + 1][2 * (p - 1) + 1]);
            EXPECT_NEAR(static_cast<double>(outcome.accuracy[p].mx), static_cast<double>(mx), 1e-9);
            EXPECT_NEAR(static_cast<double>(outcome.accuracy[p].my), static_cast<double>(my), 1e-9);
        }
    }

    // m_adj of every distance, measured angle and azimuth in the result tables, to their
    // printed precision (0.0001 m, 0.1 cc).
    std::map<std::string, int32_t> indexOf;
    for (int32_t p = 1; p <= input.lp(); ++p) {
        indexOf[input.points[p].number] = p;
    }
    const auto trim = [](std::string s) {
        s.erase(0, s.find_first_not_of(' '));
        s.erase(s.find_last_not_of(' ') + 1);
        return s;
    };
    int checked = 0;
    const auto obs = observationsOf(input);
    const auto rows = splitLines(folder.read("rpw.ptw"));
    std::vector<std::pair<Kind, std::vector<std::string>>> printed;
    std::vector<std::vector<std::string>> directionRows;
    std::string section;
    for (const std::string& line : rows) {
        const std::string utf8 = utf8FromCp1250(line);
        if (utf8.find("WYRÓWNANIE DŁUGOŚCI BOKÓW") != std::string::npos) {
            section = "distances";
        } else if (utf8.find("WYKAZ WYRÓWNANYCH MIAR") != std::string::npos) {
            section = "angles";
        } else if (utf8.find("P L A N Y  KIERUNKÓW") != std::string::npos) {
            section = "directions";
        } else if (utf8 == "  AZYMUTY") {
            section = "azimuths";
        } else if (utf8.find("W S P Ó Ł R Z Ę D N E") != std::string::npos) {
            section = "";
        }
        // An outlier's row ends in " *" instead of "| ".
        const auto f = fields(utf8.ends_with(" *") ? utf8.substr(0, utf8.size() - 2) + "| " : utf8);
        if (section == "distances" && f.size() == 10 && indexOf.count(trim(f[1]))) {
            printed.push_back({Kind::Distance, f});
        } else if (section == "angles" && f.size() == 11 && indexOf.count(trim(f[1]))) {
            printed.push_back({Kind::Angle, f});
        } else if (section == "azimuths" && f.size() == 10 && indexOf.count(trim(f[1]))) {
            printed.push_back({Kind::Azimuth, f});
        } else if (section == "directions" && f.size() == 10 && indexOf.count(trim(f[2]))) {
            directionRows.push_back(f);
        }
    }
    for (const auto& [kind, f] : printed) {
        const bool angle = kind == Kind::Angle;
        const int32_t a = indexOf[trim(f[1])], b = indexOf[trim(f[2])];
        const int32_t c = angle ? indexOf[trim(f[3])] : 0;
        const Observation* match = nullptr;
        for (const Observation& o : obs) {
            const bool same = o.kind == kind &&
                              (angle ? o.a == a && o.b == b && o.c == c
                                     : (o.a == a && o.b == b) || (o.a == b && o.b == a));
            if (same && (!angle || &o - &obs[0] < input.ld() + input.lka1)) {
                match = &o;
                break;
            }
        }
        ASSERT_NE(match, nullptr) << f[1] << f[2];
        const Linearised l = linearise(*match, dense.xy);
        std::vector<std::pair<int32_t, Real>> row = l.derivatives;
        Real mAdj = 0;
        if (kind == Kind::Distance) {
            mAdj = std::sqrt(cofactor(dense, row)) * dense.mo;
        } else {
            for (auto& [i, ai] : row) {
                ai *= match->root;
            }
            mAdj = std::sqrt(cofactor(dense, row)) * dense.mo * match->meanError;
        }
        const double printedMadj = static_cast<double>(number(f[angle ? 9 : 8]));
        const double step = kind == Kind::Distance ? 0.0001 : 0.1;
        EXPECT_NEAR(printedMadj, static_cast<double>(mAdj), step * 0.5 + 1e-9) << f[1] << f[2];
        ++checked;
    }
    EXPECT_EQ(checked, input.ld() + input.lka1 + input.laz());

    // Directions: a set's accuracy factor F = √(Q/(n − 1)) from the ratios m_adj/m_obs of its
    // Schreiber angles, each direction m_adj = min(mk·F·Mo, mk·Mo).
    size_t row = 0;
    int32_t angle = input.lka1 + 1;
    for (const DirectionSet& set : input.directionSets) {
        const int32_t count = set.directions.count();
        Real ratios = 0;
        for (int32_t k = 0; k < count * (count - 1) / 2; ++k, ++angle) {
            const Observation& o = obs[static_cast<size_t>(input.ld() + angle - 1)];
            auto derivatives = linearise(o, dense.xy).derivatives;
            for (auto& [i, ai] : derivatives) {
                ai *= o.root;
            }
            const Real mAdj = std::sqrt(cofactor(dense, derivatives)) * dense.mo * o.meanError;
            const Real mObs = o.meanError * dense.mo;
            ratios += (mAdj / (mObs + 1e-7L)) * (mAdj / (mObs + 1e-7L));
        }
        const Real factor = std::sqrt(ratios / (count - 1));
        for (const Direction& d : set.directions) {
            ASSERT_LT(row, directionRows.size());
            const auto& f = directionRows[row++];
            EXPECT_EQ(trim(f[2]), input.points[d.target].number);
            const Real mAdj = std::min(d.meanError * factor * dense.mo, d.meanError * dense.mo);
            EXPECT_NEAR(static_cast<double>(number(f[8])), static_cast<double>(mAdj), 0.05 + 1e-9)
                << input.points[set.station].number << " -> " << f[2];
        }
    }
    EXPECT_EQ(row, directionRows.size());
}

INSTANTIATE_TEST_SUITE_P(Networks, IndependentAdjustment, ::testing::Values(1u, 2u, 3u));

} // namespace
} // namespace ptw3
