// GNU Gama local XML: a working folder written out and read back computes to the same
// coordinates and mean errors; one network written in several of Gama's axes, angle senses,
// units and ways of giving deviations reads as the same network; a hand-written file with
// what has no counterpart here is listed record by record in IMPORT.ptw.

#include "common/encoding.h"
#include "interchange/gama_export.h"
#include "interchange/import.h"
#include "test_support.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace ptw3 {
namespace {

namespace fs = std::filesystem;

const LocalDateTime importTime{2026, 12, 8, 9, 5, 7};

ImportOutcome importGama(const fs::path& source, const fs::path& folder) {
    ImportRequest request;
    request.source = source;
    request.folder = folder;
    request.format = ImportFormat::Gama;
    return importIntoFolder(request, importTime);
}

// Every example and engine folder that computes without a question: exported, imported into
// an empty folder and computed there, it gives XY.ptw (coordinates, Mx, My, Mp, the ellipse
// and the point marks) byte for byte as the folder itself. The map-system folders go out with
// their reductions frozen at the adjusted coordinates and come back as local folders.
TEST(GamaXml, FolderRoundTripComputesTheSameCoordinatesAndMeanErrors) {
    const fs::path examples = PTW3_EXAMPLES_DIR;
    const fs::path engine = fs::path(PTW3_TEST_DATA_DIR) / "engine";
    const std::vector<fs::path> folders{
        examples / "siec-lokalna",     examples / "siec-2000",         examples / "siec-blad-gruby",
        engine / "moving_points_only", engine / "robust_degrees_2000", engine / "iterations_22",
    };
    for (const fs::path& source : folders) {
        SCOPED_TRACE(source.filename().string());
        test::TempFolder original, imported, xml;
        original.copyFilesOf(source);
        test::computeFolder(original.path(), false);
        const fs::path file = xml.path() / "siec.xml";
        const GamaExport exported = exportGamaXml(source, file);
        ASSERT_EQ(exported.error, "");
        const ImportOutcome outcome = importGama(file, imported.path());
        ASSERT_TRUE(outcome.done()) << outcome.error;
        EXPECT_EQ(outcome.refused, 0) << imported.read("IMPORT.ptw");
        test::computeFolder(imported.path(), false);
        const std::string expected = original.read("xy.ptw");
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(imported.read("xy.ptw"), expected)
            << test::firstDifference(imported.read("xy.ptw"), expected);
    }
}

// A plan holds no measured values: exported as it stands it would be a network of
// nonsense, so nothing is written.
TEST(GamaXml, PlannedNetworkIsNotExported) {
    test::TempFolder xml;
    const GamaExport exported =
        exportGamaXml(fs::path(PTW3_EXAMPLES_DIR) / "projekt-sieci", xml.path() / "plan.xml");
    EXPECT_NE(exported.error.find("projektem sieci"), std::string::npos) << exported.error;
    EXPECT_TRUE(xml.names().empty());
}

// One small network in this program's terms (X north, Y east, clockwise, grads, cc, m).
struct NetworkPoint {
    const char* id;
    Real north, east;
    const char* status; ///< "fix", "adj" or "weighted" (mx 0.01 m, my 0.02 m)
};
constexpr NetworkPoint networkPoints[] = {
    {"A", 1000, 2000, "fix"},
    {"B", 1500, 2600, "fix"},
    {"C", 1300, 2500, "adj"},
    {"D", 1100, 2700, "weighted"},
};
struct NetworkDirection {
    const char* station;
    const char* target;
    Real grads;
};
constexpr NetworkDirection networkDirections[] = {
    {"A", "B", 0},       {"A", "C", 35.1234},  {"A", "D", 80.5},
    {"C", "A", 12.3456}, {"C", "B", 151.0001}, {"C", "D", 299.9999},
};
constexpr Real directionCc = 7;
constexpr Real angleGrad = 123.4567, angleCc = 14;
constexpr Real distanceM = 412.345;
// a + b·D^c with a = 2 mm, b = 3 mm/km, c = 1 gives 2 + 3·0.412345 mm.
constexpr Real distanceMm = 2 + 3 * 0.412345;
constexpr Real azimuthGrad = 43.1234, azimuthCc = 10;

// How a variant writes the network: Gama's axes, the sense of its angles, degrees or gons,
// and where the deviations stand.
struct Variant {
    const char* axes;
    bool clockwise;
    bool degrees;
    enum Deviations { Explicit, Implicit, Covariance } deviations;
    bool azimuthKept; ///< only axes whose x points north give an azimuth its zero
};

std::string number(Real v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.10Lf", static_cast<long double>(v));
    return text;
}

// Gama's x and y of a point given north and east, from the meaning of each axis letter.
std::pair<Real, Real> gamaXy(const char* axes, Real north, Real east) {
    const auto along = [&](char axis) {
        switch (axis) {
        case 'n':
            return north;
        case 's':
            return -north;
        case 'e':
            return east;
        default:
            return -east;
        }
    };
    return {along(axes[0]), along(axes[1])};
}

std::string angular(const Variant& v, Real clockwiseGrad) {
    Real g = v.clockwise ? clockwiseGrad : 400 - clockwiseGrad;
    g = std::fmod(g, 400);
    if (!v.degrees) {
        return number(g);
    }
    const Real degrees = g * 0.9L;
    const int d = static_cast<int>(degrees);
    const int m = static_cast<int>((degrees - d) * 60);
    const Real s = (degrees - d) * 3600 - m * 60;
    return std::to_string(d) + "-" + std::to_string(m) + "-" + number(s);
}

// The angular deviation in the variant's unit: cc, or arc seconds for degrees.
std::string angularDeviation(const Variant& v, Real cc) {
    return number(v.degrees ? cc * 0.324L : cc);
}

std::string gamaText(const Variant& v) {
    std::string t = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<gama-local xmlns=\"http://www.gnu.org/software/gama/gama-local\">\n"
                    "<network axes-xy=\"" +
                    std::string(v.axes) + "\" angles=\"" +
                    (v.clockwise ? "left-handed" : "right-handed") + "\">\n";
    t += "<points-observations";
    if (v.deviations == Variant::Implicit) {
        t += " direction-stdev=\"" + angularDeviation(v, directionCc) + "\" angle-stdev=\"" +
             angularDeviation(v, angleCc) + "\" azimuth-stdev=\"" + angularDeviation(v, azimuthCc) +
             "\" distance-stdev=\"2 3 1\"";
    }
    t += ">\n";
    for (const NetworkPoint& p : networkPoints) {
        const auto [x, y] = gamaXy(v.axes, p.north, p.east);
        t += "<point id=\"" + std::string(p.id) + "\" x=\"" + number(x) + "\" y=\"" + number(y) +
             "\" " + (std::string(p.status) == "fix" ? "fix" : "adj") + "=\"xy\"/>\n";
    }
    const auto [dx, dy] = gamaXy(v.axes, 1100.05, 2699.98);
    // x and y of D are exchanged in axes whose first letter is e or w.
    const bool exchanged = v.axes[0] == 'e' || v.axes[0] == 'w';
    t += "<coordinates><point id=\"D\" x=\"" + number(dx) + "\" y=\"" + number(dy) +
         "\"/><cov-mat dim=\"2\" band=\"1\">" + (exchanged ? "400 0 100" : "100 0 400") +
         "</cov-mat></coordinates>\n";
    const auto deviation = [&](Real value) {
        return v.deviations == Variant::Explicit ? " stdev=\"" + number(value) + "\"" : "";
    };
    std::vector<std::string> variances;
    const auto cluster = [&](const std::string& station, const std::string& body) {
        t += "<obs from=\"" + station + "\">\n" + body;
        if (v.deviations == Variant::Covariance) {
            t += "<cov-mat dim=\"" + std::to_string(variances.size()) + "\" band=\"1\">";
            for (size_t k = 0; k < variances.size(); ++k) {
                t += variances[k] + (k + 1 < variances.size() ? " 0 " : "");
            }
            t += "</cov-mat>\n";
        }
        t += "</obs>\n";
        variances.clear();
    };
    const auto angularVariance = [&](Real cc) {
        const Real s = v.degrees ? cc * 0.324L : cc;
        variances.push_back(number(s * s));
    };
    for (const char* station : {"A", "C"}) {
        std::string body;
        for (const NetworkDirection& d : networkDirections) {
            if (std::string(d.station) == station) {
                body += "<direction to=\"" + std::string(d.target) + "\" val=\"" +
                        angular(v, d.grads) + "\"" +
                        deviation(v.degrees ? directionCc * 0.324L : directionCc) + "/>\n";
                angularVariance(directionCc);
            }
        }
        if (std::string(station) == "A") {
            body += "<distance to=\"C\" val=\"" + number(distanceM) + "\"" + deviation(distanceMm) +
                    "/>\n";
            variances.push_back(number(distanceMm * distanceMm));
            body += "<azimuth to=\"B\" val=\"" + angular(v, azimuthGrad) + "\"" +
                    deviation(v.degrees ? azimuthCc * 0.324L : azimuthCc) + "/>\n";
            angularVariance(azimuthCc);
        } else {
            body += "<angle bs=\"B\" fs=\"D\" val=\"" + angular(v, angleGrad) + "\"" +
                    deviation(v.degrees ? angleCc * 0.324L : angleCc) + "/>\n";
            angularVariance(angleCc);
        }
        cluster(station, body);
    }
    t += "</points-observations>\n</network>\n</gama-local>\n";
    return t;
}

TEST(GamaXml, EveryAxesAngleSenseUnitAndDeviationFormReadsAsTheSameNetwork) {
    const Variant variants[] = {
        {"ne", true, false, Variant::Explicit, true},
        {"en", false, false, Variant::Implicit, false},
        {"nw", false, true, Variant::Covariance, true},
        {"sw", true, true, Variant::Implicit, false},
        {"es", true, false, Variant::Covariance, false},
    };
    constexpr Real toleranceM = 1e-9, toleranceCc = 1e-5;
    for (const Variant& v : variants) {
        SCOPED_TRACE(std::string(v.axes) + (v.clockwise ? " left-handed" : " right-handed") +
                     (v.degrees ? " d-m-s" : " gon") + " deviations " +
                     std::to_string(v.deviations));
        ImportLog log;
        const ImportedNetwork n = readGamaXml(gamaText(v), log);
        ASSERT_EQ(n.points.size(), std::size(networkPoints));
        for (size_t k = 0; k < n.points.size(); ++k) {
            const NetworkPoint& expected = networkPoints[k];
            const ImportedPoint& p = n.points[k];
            EXPECT_EQ(p.number, expected.id);
            const bool weighted = std::string(expected.status) == "weighted";
            EXPECT_NEAR(p.x, weighted ? 1100.05 : expected.north, toleranceM) << p.number;
            EXPECT_NEAR(p.y, weighted ? 2699.98 : expected.east, toleranceM) << p.number;
            EXPECT_EQ(p.reference, std::string(expected.status) != "adj") << p.number;
            EXPECT_NEAR(p.mx.value_or(0), weighted ? 0.01 : 0, toleranceM) << p.number;
            EXPECT_NEAR(p.my.value_or(0), weighted ? 0.02 : 0, toleranceM) << p.number;
        }
        ASSERT_EQ(n.sets.size(), 2u);
        size_t next = 0;
        for (const ImportedSet& s : n.sets) {
            for (const ImportedDirection& d : s.directions) {
                const NetworkDirection& expected = networkDirections[next++];
                EXPECT_EQ(s.station, expected.station);
                EXPECT_EQ(d.target, expected.target);
                // A counterclockwise reading turns; only the differences in a set count.
                const Real first = n.sets[s.station == "A" ? 0 : 1].directions[0].valueGrad;
                const Real firstExpected = s.station == "A" ? 0 : 12.3456;
                const Real differenceCc =
                    std::remainder((d.valueGrad - first) - (expected.grads - firstExpected), 400) *
                    1e4;
                EXPECT_NEAR(differenceCc, 0, toleranceCc) << d.target;
                EXPECT_NEAR(d.meanErrorCc, directionCc, toleranceCc);
            }
        }
        ASSERT_EQ(n.angles.size(), 1u);
        const ImportedAngle& a = n.angles[0];
        EXPECT_EQ(a.station, "C");
        // Clockwise from B to D, or its complement from D to B.
        const Real clockwiseBD = a.left == "B" ? a.valueGrad : 400 - a.valueGrad;
        EXPECT_NEAR((clockwiseBD - angleGrad) * 1e4, 0, toleranceCc);
        EXPECT_NEAR(a.meanErrorCc, angleCc, toleranceCc);
        ASSERT_EQ(n.distances.size(), 1u);
        EXPECT_NEAR(n.distances[0].value, distanceM, toleranceM);
        EXPECT_NEAR(n.distances[0].meanError, distanceMm / 1000, toleranceM);
        ASSERT_EQ(n.azimuths.size(), v.azimuthKept ? 1u : 0u);
        if (v.azimuthKept) {
            EXPECT_NEAR((n.azimuths[0].value - azimuthGrad) * 1e4, 0, toleranceCc);
            EXPECT_NEAR(n.azimuths[0].meanError, azimuthCc, toleranceCc);
        }
        const auto refused = std::count_if(log.records.begin(), log.records.end(),
                                           [](const ImportRecord& r) { return r.refused; });
        EXPECT_EQ(refused, v.azimuthKept ? 0 : 1);
    }
}

// A file as another user of Gama would write it: a 3-D point, a levelling line, a slope
// distance and a zenith angle, a correlated cluster, a point no file of this program can hold
// (Ω is not in Windows-1250) and one with neither fix nor adj.
TEST(GamaXml, HandWrittenFileListsEveryRecordAndRefusesWhatHasNoCounterpart) {
    test::TempFolder source, folder;
    source.write("siec.xml", R"(<?xml version="1.0" encoding="UTF-8"?>
<gama-local xmlns="http://www.gnu.org/software/gama/gama-local">
<network axes-xy="ne" angles="left-handed">
<description>
Osnowa realizacyjna hali B
pomiar 2026-05-14
</description>
<parameters sigma-apr="10" conf-pr="0.95" sigma-act="aposteriori"/>
<points-observations direction-stdev="6" distance-stdev="1 1.5">
<point id="100" x="5000.000" y="3000.000" fix="xyz" z="210.40"/>
<point id="101" x="5000.000" y="3400.000" fix="xy"/>
<point id="1" x="5180.12" y="3150.30" adj="xy"/>
<point id="2" x="5210.00" y="3320.00" adj="xyz"/>
<point id="Ω3" x="5100.0" y="3200.0" adj="xy"/>
<point id="9" x="5300.0" y="3300.0"/>
<obs from="100">
  <direction to="101" val="0.0000"/>
  <direction to="1" val="339.5762"/>
  <distance to="1" val="240.113"/>
  <s-distance to="2" val="389.5" stdev="2"/>
  <z-angle to="2" val="99.8312" stdev="10"/>
</obs>
<obs from="1">
  <direction to="100" val="0.0000"/>
  <direction to="2" val="213.0112"/>
  <direction to="101" val="141.7830"/>
  <cov-mat dim="3" band="1">36 4 36 0 36</cov-mat>
</obs>
<obs>
  <distance from="2" to="101" val="141.530" stdev="2.0"/>
  <angle from="2" bs="1" fs="101" val="142.2214" stdev="12"/>
  <distance from="Ω3" to="1" val="100.0" stdev="2.0"/>
</obs>
<height-differences>
  <dh from="100" to="2" val="3.215" dist="0.39"/>
</height-differences>
</points-observations>
</network>
</gama-local>
)");
    const ImportOutcome outcome = importGama(source.path() / "siec.xml", folder.path());
    ASSERT_TRUE(outcome.done()) << outcome.error;
    const std::string report = utf8FromCp1250(folder.read("IMPORT.ptw"));
    // A row of the record list: the place padded to 32 characters, then what it became.
    const auto row = [](std::string where, const std::string& text, bool refused) {
        const auto characters = [&] {
            return std::count_if(where.begin(), where.end(), [](char c) {
                return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
            });
        };
        while (characters() < 32) {
            where += ' ';
        }
        return "  " + where + " " + (refused ? "ODRZUCONY: " : "") + text;
    };
    const std::vector<std::string> expectedRows{
        row("wiersz 10 <point>", "punkt 100 stały bezbłędny (XY.sta)", false),
        row("wiersz 10 <point>", "wysokość punktu 100 pominięta (sieć pozioma)", true),
        row("wiersz 13 <point>", "wysokość punktu 2 pominięta (sieć pozioma)", true),
        row("wiersz 15 <point>", "punkt 9 bez fix/adj dla x y: nie należy do sieci poziomej", true),
        row("wiersz 19 <distance>", "długość 100 - 1 (DLUGOSCI.b)", false),
        row("wiersz 20 <s-distance>", "odległość skośna: brak odpowiednika", true),
        row("wiersz 21 <z-angle>", "kąt zenitalny: brak odpowiednika", true),
        row("wiersz 24 <direction>",
            "obserwacje skorelowane (macierz kowariancji nie jest diagonalna)", true),
        row("wiersz 31 <angle>", "kąt 1 2 101 (KATY.b)", false),
        row("wiersz 35 <dh>", "różnica wysokości: brak odpowiednika w sieci poziomej", true),
        row("punkt ?3", "numer punktu niedozwolony", true),
        row("długość ?3 - 1", "długość z punktem spoza sieci", true),
    };
    // Windows-1250 has no Ω: the report shows the refused number with "?".
    for (const std::string& expected : expectedRows) {
        EXPECT_NE(report.find(expected), std::string::npos) << expected << "\n" << report;
    }
    // The implicit a + b·D of Gama in mm, D in km: 1 + 1.5·0.240113 mm.
    const std::string distances = folder.read("DLUGOSCI.b");
    EXPECT_EQ(distances, test::crlf("100 1 240.113 0.0013601695\n2 101 141.53 0.002\n"));
    EXPECT_EQ(folder.read("KIERUNKI"), test::crlf("100 11\n101 0 6\n1 339.5762 6\n0\n"));
    EXPECT_EQ(folder.read("XY.sta"), test::crlf("100 5000 3000\n101 5000 3400\n0 0 0\n"));
    EXPECT_EQ(folder.read("XY.prz"), test::crlf("1 5180.12 3150.3\n2 5210 3320\n"));
    EXPECT_EQ(utf8FromCp1250(folder.read("tytul")),
              test::crlf("Osnowa realizacyjna hali B\npomiar 2026-05-14\n"));
    EXPECT_FALSE(folder.exists("H.prz"));
}

} // namespace
} // namespace ptw3
