// Field files in: a shipped example written as GSI-16 and as LandXML (both faces, slope
// distances) computes to the coordinates of the example itself, and hand-made files with
// faults are refused record by record in IMPORT.ptw, with the kept values checked against
// a hand reduction.
#include "bench/field_files.h"
#include "common/encoding.h"
#include "common/text_file.h"
#include "input/read_network_data.h"
#include "interchange/import.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <map>

namespace ptw3 {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

const fs::path examples = PTW3_EXAMPLES_DIR;

// The rows of xy.ptw by point number: coordinates, mean errors and ellipse as printed.
std::map<std::string, std::string> coordinateRows(const TempFolder& folder) {
    std::map<std::string, std::string> rows;
    for (const std::string& line : splitLines(folder.read("xy.ptw"))) {
        const size_t first = line.find_first_not_of(' ');
        if (first != std::string::npos) {
            const size_t end = line.find(' ', first);
            rows[line.substr(first, end - first)] = line.substr(end);
        }
    }
    return rows;
}

ImportOutcome importText(const TempFolder& folder, const std::string& name,
                         const std::string& text, const InstrumentProfile& profile = {}) {
    folder.write(name, text);
    ImportRequest request;
    request.source = folder.path() / name;
    request.folder = folder.path() / "siec";
    request.profile = profile;
    return importIntoFolder(request, LocalDateTime{2026, 12, 8, 9, 5, 7});
}

TEST(FieldImport, LocalExampleThroughGsiAndLandXmlComputesToItsOwnCoordinates) {
    TempFolder original;
    original.copyFilesOf(examples / "siec-lokalna");
    // The distance meter's 3 mm alone: the profile's a + b·D and the data input's
    // √(a² + (b·D)²) agree only without b.
    original.write("DALMIERZ", "0.003 0\r\n");
    NetworkData network;
    {
        test::TestContext t(std::deque<bool>(20, true));
        readNetworkData(original.path(), network, t.context);
    }
    test::computeFolder(original.path(), false);
    const std::map<std::string, std::string> expected = coordinateRows(original);
    ASSERT_EQ(expected.size(), 9u);
    // The example's own accuracy: LIMBUS 7 cc, DALMIERZ 3 mm.
    InstrumentProfile profile;
    profile.directionCc = 7;
    profile.distanceA = 0.003L;
    profile.distancePpm = 0;

    struct Case {
        const char* name;
        std::string text;
    };
    bench::FieldFileOptions withApproximate;
    withApproximate.approximatePoints = true;
    const Case cases[] = {
        {"siec.gsi", bench::gsiFromNetwork(network)},
        {"siec.xml", bench::landXmlFromNetwork(network)},
        {"przyblizone.xml", bench::landXmlFromNetwork(network, withApproximate)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder work;
        const ImportOutcome outcome = importText(work, c.name, c.text, profile);
        ASSERT_TRUE(outcome.done()) << outcome.error;
        EXPECT_EQ(outcome.refused, 0);
        TempFolder imported;
        imported.copyFilesOf(work.path() / "siec");
        // Nine sets of both faces: 41 directions; sixteen distances, each from one set-up.
        const std::string sets = imported.read("KIERUNKI");
        EXPECT_EQ(std::count(sets.begin(), sets.end(), '\n'), 9 * 2 + 41);
        const std::string distances = imported.read("DLUGOSCI.b");
        EXPECT_EQ(std::count(distances.begin(), distances.end(), '\n'), 16);
        test::computeFolder(imported.path(), false);
        const std::map<std::string, std::string> rows = coordinateRows(imported);
        for (const auto& [number, row] : expected) {
            SCOPED_TRACE("punkt " + number);
            EXPECT_EQ(rows.count(number) ? rows.at(number) : "", row);
        }
    }
}

TEST(FieldImport, FaultyRecordsAreRefusedOneByOneAndTheRestReduced) {
    struct Case {
        const char* name;
        const char* file;
        std::string text;
        std::vector<std::string> lines; ///< IMPORT.ptw lines that must be there (UTF-8)
        std::map<std::string, std::string> files;
    };
    const Case cases[] = {
        {"GSI-8: face pair apart, unknown word, feet, slope without V", "pomiar.gsi",
         "110001+00000001 81..00+03000000 82..00+05000000 \r\n"
         "110002+00000002 81..00+03000000 82..00+05100000 \r\n"
         "110003+00000001 88..10+00001500 \r\n"
         "110004+00000002 21.102+00000000 22.102+09000000 31..00+00100000 \r\n"
         "110005+00000003 21.102+10000000 22.102+10000000 32..00+00050000 \r\n"
         "110006+00000004 21.102+20000000 22.102+10000000 99....+00000001 \r\n"
         "110007+00000004 21.102+00001500 22.102+30000000 \r\n"
         "110008+00000003 21.102+30000040 22.102+30000000 32..00+00050002 \r\n"
         "110009+00000002 21.102+20000020 22.102+31000000 31..01+00100000 \r\n"
         "110010+00000005 21.102+05000000 31..00+00020000 \r\n",
         {"  wiersz 6                         ODRZUCONY: nieznane słowo „99....+00000001”",
          "  wiersz 6                         ODRZUCONY: 1 - 4: kierunek: koła I i II różnią "
          "się o -150.0 cc (dopuszczalne 100.0 cc), para z: wiersz 7",
          "  wiersz 7                         ODRZUCONY: 1 - 4: kierunek: koła I i II różnią "
          "się o -150.0 cc (dopuszczalne 100.0 cc), para z: wiersz 6",
          "  wiersz 9                         ODRZUCONY: słowo 31: jednostka stopy, ostatnia "
          "cyfra 1/1000 ft nie jest obsługiwana (tylko metry)",
          "  wiersz 10                        ODRZUCONY: 1 - 5: długość skośna bez kąta "
          "zenitalnego: nie można jej sprowadzić do poziomu",
          "  Rekordy odrzucone                                8"},
         // Face means 0.0001 and 100.0002 g; 100 m at z = 90 g is 98.768608 m at the
         // station's height; the horizontal 50.000 and 50.002 m averaged.
         {{"XY.sta", "1 5000 3000\r\n2 5100 3000\r\n0 0 0\r\n"},
          {"KIERUNKI", "1 11\r\n2 0.0001 10\r\n3 100.0002 10\r\n0\r\n"},
          {"DLUGOSCI.b", "1 2 98.7686076 0.0031975372\r\n1 3 50.001 0.003100002\r\n"}}},
        {"LandXML in degrees, minutes and seconds, with faults", "pomiar.xml",
         R"(<?xml version="1.0"?>
<LandXML xmlns="http://www.landxml.org/schema/LandXML-1.2" version="1.2">
 <Units><Metric linearUnit="meter" angularUnit="decimal dd.mm.ss"/></Units>
 <CgPoints>
  <CgPoint name="1" pntSurv="control">5000 3000 120.5</CgPoint>
  <CgPoint name="2" pntSurv="control">5100 3000</CgPoint>
  <CgPoint name="3">4990 3050</CgPoint>
 </CgPoints>
 <Survey>
  <InstrumentSetup id="A" stationName="1"><InstrumentPoint pntRef="1"/></InstrumentSetup>
  <RawObservation setupID="A" horizAngle="0.0000" zenithAngle="100.0000"
   slopeDistance="100"><TargetPoint pntRef="2"/></RawObservation>
  <RawObservation setupID="A" horizAngle="90.3000" horizDistance="50.0004">
   <TargetPoint pntRef="3"/></RawObservation>
  <RawObservation setupID="X9" horizAngle="1.0000"><TargetPoint pntRef="2"/></RawObservation>
  <RawObservation setupID="A" horizAngle="1.7500"><TargetPoint pntRef="2"/></RawObservation>
  <GPSVector setupID_A="A" setupID_B="A"/>
 </Survey>
</LandXML>
)",
         {"  <RawObservation> 3               ODRZUCONY: obserwacja ze stanowiska X9, którego "
          "nie ma w pliku",
          "  <RawObservation> 4               ODRZUCONY: obserwacja na 2: horizAngle „1.7500” "
          "nie jest kątem",
          "  <GPSVector>                      ODRZUCONY: wektor GPS (3-D) nie jest obsługiwany"},
         // 90°30' is 100.555… g; the point with approximate coordinates keeps them.
         {{"XY.sta", "1 5000 3000\r\n2 5100 3000\r\n0 0 0\r\n"},
          {"XY.prz", "3 4990 3050\r\n"},
          {"KIERUNKI", "1 11\r\n2 0 10\r\n3 100.5555555556 10\r\n0\r\n"}}},
        {"LandXML in feet", "stopy.xml",
         R"(<LandXML><Units><Imperial linearUnit="USSurveyFoot" angularUnit="decimal degrees"/>
</Units><CgPoints><CgPoint name="1">1 2</CgPoint></CgPoints></LandXML>)",
         {"  <Units>                          ODRZUCONY: jednostki imperialne (stopy) nie są "
          "obsługiwane"},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder work;
        const ImportOutcome outcome = importText(work, c.file, c.text);
        EXPECT_EQ(outcome.error.empty(), !c.files.empty()) << outcome.error;
        const std::string report =
            utf8FromCp1250(readFileBytes(work.path() / "siec" / "IMPORT.ptw").value_or(""));
        for (const std::string& line : c.lines) {
            EXPECT_NE(report.find(line + "\r\n"), std::string::npos) << line << "\n" << report;
        }
        for (const auto& [name, bytes] : c.files) {
            EXPECT_EQ(readFileBytes(work.path() / "siec" / name).value_or(""), bytes) << name;
        }
    }
}

} // namespace
} // namespace ptw3
