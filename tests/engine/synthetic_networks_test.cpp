// Networks generated from known true coordinates with small random errors must return the
// truth within a few mean errors; with one gross error injected, the outlier list must name
// that observation. In the local system, and in the 2000 system with observations generated
// on the ellipsoid by GeographicLib, so that every reduction is checked end to end.

#include "common/encoding.h"
#include "common/number_format.h"
#include "common/text_file.h"
#include "engine/adjustment.h"
#include "engine/synthetic_network.h"
#include "input/read_network_data.h"
#include "test_support.h"

#include <GeographicLib/Geodesic.hpp>
#include <GeographicLib/TransverseMercatorExact.hpp>
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <sstream>

namespace ptw3 {
namespace {

using test::TruePoint;

struct Adjusted {
    NetworkData input;
    AdjustmentOutcome outcome;
    std::vector<std::string> controlReport; // ER3.ptw in UTF-8
};

Adjusted adjust(const test::TempFolder& folder, int32_t system, int32_t zone) {
    test::TestContext t(std::deque<bool>(20, true));
    Adjusted a;
    readNetworkData(folder.path(), a.input, t.context);
    NetworkData network = a.input;
    CalculationOptions options;
    options.workingFolder = folder.path();
    options.system = test::systemZone(system, zone);
    options.accelerationLevel = AccelerationLevel::None;
    CalculationResults results;
    adjustNetwork(options, network, results, t.context, &a.outcome);
    EXPECT_TRUE(t.user.questions.empty());
    for (const std::string& line : splitLines(folder.read("er3.ptw"))) {
        a.controlReport.push_back(utf8FromCp1250(line));
    }
    return a;
}

// Every point within four of its mean errors of the truth (plus 0.2 mm for the rounding of
// the written observations).
void expectTruth(const Adjusted& a, const std::map<std::string, std::pair<Real, Real>>& truth) {
    for (int32_t p = 1; p <= a.input.determinedCount(); ++p) {
        const std::string& number = a.input.points[p].number;
        SCOPED_TRACE(number);
        const auto& [x, y] = truth.at(number);
        const PointAccuracy& m = a.outcome.accuracy[p];
        EXPECT_LT(std::fabs(static_cast<double>(a.outcome.coordinates[p].x - x)),
                  static_cast<double>(4 * m.mx + 0.0002L));
        EXPECT_LT(std::fabs(static_cast<double>(a.outcome.coordinates[p].y - y)),
                  static_cast<double>(4 * m.my + 0.0002L));
        EXPECT_LT(m.mp, 0.05L); // a sound network: centimetres at most
    }
}

// The rows marked " *" in the section of the control report after the title; each row
// split at "|" with blanks trimmed.
std::vector<std::vector<std::string>> outlierRows(const std::vector<std::string>& report,
                                                  const std::string& title) {
    std::vector<std::vector<std::string>> rows;
    bool inside = false;
    for (const std::string& line : report) {
        if (line.find(title) != std::string::npos) {
            inside = true;
        } else if (inside && line.ends_with(" *")) {
            std::vector<std::string> fields;
            std::stringstream in(line.substr(0, line.size() - 2));
            std::string f;
            while (std::getline(in, f, '|')) {
                f.erase(0, f.find_first_not_of(' '));
                f.erase(f.find_last_not_of(' ') + 1);
                fields.push_back(f);
            }
            rows.push_back(fields);
        } else if (inside && line.starts_with("    ANALIZA")) {
            break;
        }
    }
    return rows;
}

// The outlier whose |V|/mV is largest.
std::vector<std::string> worstOutlier(const std::vector<std::vector<std::string>>& rows,
                                      size_t residualField, size_t meanErrorField) {
    std::vector<std::string> worst;
    Real largest = 0;
    for (const auto& row : rows) {
        const Real ratio = std::fabs(std::stold(row[residualField])) /
                           std::max(std::stold(row[meanErrorField]), 1e-9L);
        if (ratio > largest) {
            largest = ratio;
            worst = row;
        }
    }
    return worst;
}

TEST(SyntheticLocalNetwork, ReturnsTheTruthAndNamesAGrossError) {
    std::mt19937 random(11);
    auto truth = test::scatter(30, 4, random);
    for (TruePoint& p : truth) {
        if (p.fixed) { // XY.sta holds millimetres
            p.x = std::round(p.x * 1000) / 1000;
            p.y = std::round(p.y * 1000) / 1000;
        }
    }
    std::map<std::string, std::pair<Real, Real>> coordinates;
    for (const TruePoint& p : truth) {
        coordinates[p.number] = {p.x, p.y};
    }
    auto files = test::networkFiles(truth, random);

    test::TempFolder clean;
    for (const auto& [name, content] : files) {
        clean.write(name, test::crlf(content));
    }
    const Adjusted a = adjust(clean, 0, 0);
    expectTruth(a, coordinates);
    EXPECT_GT(a.outcome.mo, 0.6L);
    EXPECT_LT(a.outcome.mo, 1.4L);

    // 5 cm added to the third distance (its mean error is 3 mm).
    std::istringstream in(files["DLUGOSCI.b"]);
    std::string line, corrupted, from, to;
    for (int i = 0; std::getline(in, line); ++i) {
        if (i == 2) {
            std::istringstream fields(line);
            Real length = 0;
            fields >> from >> to >> length;
            line = from + " " + to + " " + fixed(length + 0.05L, 1, 4) + " 0.003";
        }
        corrupted += line + "\n";
    }
    files["DLUGOSCI.b"] = corrupted;
    test::TempFolder faulty;
    for (const auto& [name, content] : files) {
        faulty.write(name, test::crlf(content));
    }
    const Adjusted b = adjust(faulty, 0, 0);
    const auto worst =
        worstOutlier(outlierRows(b.controlReport, "OBSERWACJI DŁUGOŚCI"), 5, 6); // V, mV
    ASSERT_FALSE(worst.empty()) << "the gross error is not in the outlier list";
    EXPECT_TRUE((worst[1] == from && worst[2] == to) || (worst[1] == to && worst[2] == from))
        << worst[1] << " - " << worst[2];
}

// The 2000 system, zone 6 (central meridian 18°), on GRS 80.
class Network2000 {
public:
    static constexpr double a = 6378137, b = 6356752.3141;
    static constexpr double geoid = 34, reductionRadius = 6370000;

    explicit Network2000(unsigned seed)
        : m_random(seed)
        , m_geodesic(a, (a - b) / a)
        , m_projection(a, (a - b) / a, 0.999923) {
        std::normal_distribution<double> n(0, 1);
        for (int r = 0; r < 4; ++r) {
            for (int c = 0; c < 4; ++c) {
                Point p;
                p.fixed = (r == 0 || r == 3) && (c == 0 || c == 3);
                p.number = (p.fixed ? "R" : "N") + std::to_string(r * 4 + c + 1);
                p.lat = 52.10 + r * 0.018 + 0.003 * n(m_random);
                p.lon = 17.20 + c * 0.030 + 0.004 * n(m_random);
                p.h = 90 + 30 * std::fabs(n(m_random));
                double e = 0, north = 0, gamma = 0, k = 0;
                m_projection.Forward(18, p.lat, p.lon, e, north, gamma, k);
                p.x = std::round(north * 1e6) / 1e6; // written to the micrometre
                p.y = std::round((e + 6500000) * 1e6) / 1e6;
                if (!p.fixed) {
                    p.x = north, p.y = e + 6500000;
                }
                m_points.push_back(p);
            }
        }
    }

    std::map<std::string, std::pair<Real, Real>> truth() const {
        std::map<std::string, std::pair<Real, Real>> t;
        for (const Point& p : m_points) {
            t[p.number] = {p.x, p.y};
        }
        return t;
    }

    /// Working-folder files; `corruptCc` is added to one direction, whose station and target
    /// are returned in `corrupted`; `noise` scales the random errors of the observations.
    std::map<std::string, std::string> files(double corruptCc,
                                             std::pair<std::string, std::string>& corrupted,
                                             double noise = 1) {
        std::normal_distribution<double> n(0, 1);
        std::uniform_real_distribution<double> orientation(0, 400);
        std::map<std::string, std::string> f;
        for (const Point& p : m_points) {
            f[p.fixed ? "XY.sta" : "XY.prz"] +=
                p.number + " " + text(p.fixed ? p.x : p.x + 0.2 * n(m_random), 6) + " " +
                text(p.fixed ? p.y : p.y + 0.2 * n(m_random), 6) + "\n";
            f["H.prz"] += p.number + " " + text(p.h, 2) + "\n";
        }
        f["XY.prz"] += "0 0 0\n";
        f["uklad"] = "2000\n18\n";
        f["LIMBUS"] = "400 4";
        f["DALMIERZ"] = "0.003 0.001";
        const int count = static_cast<int>(m_points.size());
        bool corruptedOne = false;
        for (int i = 0; i < count; ++i) {
            const auto targets = neighbours(i, 4);
            f["KIERUNKI"] += m_points[i].number + " 1\n";
            const double o = orientation(m_random);
            for (int j : targets) {
                double extra = 0;
                if (!corruptedOne && i == 5) {
                    extra = corruptCc;
                    corrupted = {m_points[i].number, m_points[j].number};
                    corruptedOne = true;
                }
                const double reading =
                    std::fmod(inverse(i, j).azimuthGrad - o + 800 + (4 * noise * n(m_random) + extra) * 1e-4, 400);
                f["KIERUNKI"] += m_points[j].number + " " + text(reading, 7) + "\n";
            }
            f["KIERUNKI"] += "0\n";
            for (int j : neighbours(i, 2)) {
                if (j > i) {
                    const double s = inverse(i, j).lengthM;
                    const double height = (m_points[i].h + m_points[j].h) / 2 + geoid;
                    const double ground = s / (1 - height / reductionRadius) + 0.003 * noise * n(m_random);
                    f["DLUGOSCI"] += m_points[i].number + " " + m_points[j].number + " " +
                                     text(ground, 6) + "\n";
                }
            }
        }
        for (int i = 0; i < count; i += 5) {
            const int j = (i + 7) % count;
            const auto g = inverse(i, j);
            f["DLUGOSCI.gps"] += m_points[i].number + " " + m_points[j].number + " " +
                                 text(g.lengthM + 0.004 * noise * n(m_random), 6) + " 0.004\n";
            f["AZYMUTY.gps"] += m_points[i].number + " " + m_points[j].number + " " +
                                text(std::fmod(g.azimuthGrad + 400 + 3e-4 * noise * n(m_random), 400), 7) +
                                " 3\n";
        }
        return f;
    }

private:
    struct Point {
        std::string number;
        double lat = 0, lon = 0, h = 0;
        bool fixed = false;
        Real x = 0, y = 0;
    };
    struct Line {
        double lengthM = 0, azimuthGrad = 0;
    };

    Line inverse(int i, int j) const {
        double s = 0, azi1 = 0, azi2 = 0;
        m_geodesic.Inverse(m_points[i].lat, m_points[i].lon, m_points[j].lat, m_points[j].lon, s,
                           azi1, azi2);
        return {s, azi1 / 0.9};
    }

    std::vector<int> neighbours(int i, int count) const {
        std::vector<int> order;
        for (int j = 0; j < static_cast<int>(m_points.size()); ++j) {
            if (j != i) {
                order.push_back(j);
            }
        }
        std::sort(order.begin(), order.end(),
                  [&](int p, int q) { return inverse(i, p).lengthM < inverse(i, q).lengthM; });
        order.resize(static_cast<size_t>(count));
        return order;
    }

    static std::string text(double v, int decimals) { return fixed(v, 1, decimals); }

    std::mt19937 m_random;
    GeographicLib::Geodesic m_geodesic;
    GeographicLib::TransverseMercatorExact m_projection;
    std::vector<Point> m_points;
};

TEST(Synthetic2000Network, ReturnsTheTruthAndNamesAGrossError) {
    Network2000 network(5);
    std::pair<std::string, std::string> corrupted;
    test::TempFolder clean;
    for (const auto& [name, content] : network.files(0, corrupted)) {
        clean.write(name, test::crlf(content));
    }
    const Adjusted a = adjust(clean, 2000, 18);
    expectTruth(a, network.truth());
    EXPECT_GT(a.outcome.mo, 0.6L);
    EXPECT_LT(a.outcome.mo, 1.5L);

    Network2000 again(5);
    test::TempFolder faulty;
    for (const auto& [name, content] : again.files(60, corrupted)) { // 60 cc, mean error 4 cc
        faulty.write(name, test::crlf(content));
    }
    const Adjusted b = adjust(faulty, 2000, 18);
    // Direction rows: station, target, reading, m_obs, V, mV, ...
    const auto rows = outlierRows(b.controlReport, "OBSERWACJI KĄTOWYCH/KIERUNKOWYCH");
    const auto worst = worstOutlier(rows, 5, 6);
    ASSERT_FALSE(worst.empty()) << "the gross error is not in the outlier list";
    EXPECT_EQ(worst[2], corrupted.second);
}

// Exact observations computed on the ellipsoid (written to 1e-7 grad and 1 µm): the height,
// projection and arc-to-chord reductions must give back the true plane coordinates. Measured:
// at most 0.012 mm on lines of a few kilometres; the bound is 0.03 mm.
TEST(Synthetic2000Network, ExactObservationsGiveBackTheTruth) {
    Network2000 network(5);
    std::pair<std::string, std::string> unused;
    test::TempFolder folder;
    for (const auto& [name, content] : network.files(0, unused, 0)) {
        folder.write(name, test::crlf(content));
    }
    const Adjusted a = adjust(folder, 2000, 18);
    const auto truth = network.truth();
    for (int32_t p = 1; p <= a.input.determinedCount(); ++p) {
        SCOPED_TRACE(a.input.points[p].number);
        const auto& [x, y] = truth.at(a.input.points[p].number);
        EXPECT_LT(std::fabs(static_cast<double>(a.outcome.coordinates[p].x - x)), 3e-5);
        EXPECT_LT(std::fabs(static_cast<double>(a.outcome.coordinates[p].y - y)), 3e-5);
    }
}

} // namespace
} // namespace ptw3
