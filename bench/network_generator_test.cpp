// Tests of the network generator: reproducible bytes, independent files, the sizes of
// the full 20000-point case, CR LF text, observations that agree with the true geometry
// within the noise the files state for them, recomputed here with std::atan2, and networks
// of every shape that adjust to a unit error of one.
#include "bench/network_generator.h"
#include "bench/portable_math.h"
#include "bench/random_stream.h"
#include "bench/temp_folder.h"
#include "bench/unattended_user.h"
#include "common/clock.h"
#include "common/message_list.h"
#include "common/run_context.h"
#include "engine/adjustment.h"
#include "input/read_network_data.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

namespace ptw3::bench {
namespace {

namespace fs = std::filesystem;

constexpr double pi = 3.141592653589793238462643383279502884;
constexpr double ccPerGrad = 10000;

// ---------------------------------------------------------------------------------------
// Folder and text helpers.

std::map<std::string, std::string> folderContent(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        files[entry.path().filename().string()] = readBytes(entry.path());
    }
    return files;
}

using Record = std::vector<std::string>;

/// The blank-separated tokens of each CR LF line.
std::vector<Record> records(const std::string& bytes) {
    std::vector<Record> lines;
    size_t start = 0;
    for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2) {
        std::istringstream line(bytes.substr(start, end - start));
        Record tokens{std::istream_iterator<std::string>(line), {}};
        lines.push_back(std::move(tokens));
    }
    return lines;
}

double number(const std::string& token) {
    return std::stod(token);
}

std::vector<Record> fileRecords(const fs::path& folder, FileKind kind) {
    return records(readBytes(folder / std::string(fileName(kind))));
}

GeneratorOptions optionsFor(int32_t pointCount, uint64_t seed) {
    GeneratorOptions options;
    options.pointCount = pointCount;
    options.seed = seed;
    return options;
}

std::vector<FileKind> allKinds() {
    std::vector<FileKind> kinds;
    for (int k = 0; k < fileKindCount; ++k) {
        kinds.push_back(static_cast<FileKind>(k));
    }
    return kinds;
}

// ---------------------------------------------------------------------------------------
// The true geometry, recomputed independently of the generator's own bearing function.

class Geometry {
public:
    explicit Geometry(const std::vector<TruePoint>& points) {
        for (const TruePoint& p : points) {
            m_points.emplace(p.number, p);
        }
    }
    const TruePoint& at(const std::string& number) const { return m_points.at(number); }
    double distanceM(const std::string& from, const std::string& to) const {
        return std::hypot(at(to).x - at(from).x, at(to).y - at(from).y);
    }
    double bearingGrad(const std::string& from, const std::string& to) const {
        return std::atan2(at(to).y - at(from).y, at(to).x - at(from).x) * 200 / pi;
    }

private:
    std::unordered_map<std::string, TruePoint> m_points;
};

/// a - b in grads, brought into [-200, 200).
double gradDifference(double a, double b) {
    const double d = std::fmod(a - b, 400.0);
    return d >= 200 ? d - 400 : d < -200 ? d + 400 : d;
}

/// Residuals divided by their stated mean errors.
struct Residuals {
    int count = 0;
    double sumSquares = 0;
    double maxAbs = 0;

    void add(double residual, double meanError) {
        const double r = residual / meanError;
        ++count;
        sumSquares += r * r;
        maxAbs = std::max(maxAbs, std::abs(r));
    }
    double rms() const { return std::sqrt(sumSquares / count); }
};

// ---------------------------------------------------------------------------------------
// The full-size case, generated once for the tests that need it.

class FullSizeNetwork : public testing::Test {
protected:
    static void SetUpTestSuite() {
        s_folder = new TempFolder;
        generateNetwork(s_folder->path(), optionsFor(maxGeneratedPoints, 1));
        s_geometry = new Geometry(truePoints(optionsFor(maxGeneratedPoints, 1)));
    }
    static void TearDownTestSuite() {
        delete s_geometry;
        delete s_folder;
    }
    static const fs::path& folder() { return s_folder->path(); }
    static const Geometry& geometry() { return *s_geometry; }

private:
    static TempFolder* s_folder;
    static Geometry* s_geometry;
};
TempFolder* FullSizeNetwork::s_folder = nullptr;
Geometry* FullSizeNetwork::s_geometry = nullptr;

struct DirectionLine {
    std::string target;
    double readingGrad;
    std::string third;
};

struct DirectionSet {
    std::string station;
    std::string code;
    std::vector<DirectionLine> directions;
    std::string endLineErrorGrad; ///< empty for a bare "0"
};

std::vector<DirectionSet> directionSets(const std::vector<Record>& lines) {
    std::vector<DirectionSet> sets;
    bool open = false;
    for (const Record& r : lines) {
        if (!open) {
            sets.push_back({r.at(0), r.at(1), {}, {}});
            open = true;
        } else if (r.at(0) == "0") {
            sets.back().endLineErrorGrad = r.size() > 1 ? r[1] : "";
            open = false;
        } else {
            sets.back().directions.push_back({r.at(0), number(r.at(1)), r.size() > 2 ? r[2] : ""});
        }
    }
    EXPECT_FALSE(open) << "the last set has no end line";
    return sets;
}

TEST_F(FullSizeNetwork, SizesAreThoseOfTheTargetCase) {
    const auto reference = fileRecords(folder(), FileKind::ReferencePoints);
    const auto approximate = fileRecords(folder(), FileKind::ApproximatePoints);
    std::set<std::string> numbers;
    int32_t fixedCount = 0;
    int32_t groupRecords = 0;
    for (const Record& r : reference) {
        ASSERT_EQ(r.size(), 3u);
        if (r[0] == "0") {
            ++groupRecords;
            EXPECT_GT(number(r[1]), 0);
            EXPECT_GT(number(r[2]), 0);
        } else {
            numbers.insert(r[0]);
            ++fixedCount;
        }
    }
    EXPECT_EQ(groupRecords, 1);
    EXPECT_NE(reference.front()[0], "0") << "the group record gives no point a mean error";
    EXPECT_NEAR(fixedCount, maxGeneratedPoints / 20, maxGeneratedPoints / 200);
    ASSERT_EQ(approximate.back(), (Record{"0", "0", "0"}));
    for (size_t k = 0; k + 1 < approximate.size(); ++k) {
        numbers.insert(approximate[k].at(0));
    }
    EXPECT_EQ(static_cast<int32_t>(numbers.size()), maxGeneratedPoints);
    EXPECT_EQ(fixedCount + static_cast<int32_t>(approximate.size()) - 1, maxGeneratedPoints)
        << "a point is both fixed and approximate, or written twice";

    const auto sets = directionSets(fileRecords(folder(), FileKind::Directions));
    EXPECT_EQ(static_cast<int32_t>(sets.size()), maxGeneratedPoints);
    std::set<std::string> stations;
    for (const DirectionSet& set : sets) {
        stations.insert(set.station);
        EXPECT_EQ(set.directions.size(), 6u) << set.station;
    }
    EXPECT_EQ(stations, numbers);

    // About three distances a point, none measured twice in DLUGOSCI.
    const auto distances = fileRecords(folder(), FileKind::Distances);
    EXPECT_GT(distances.size(), 59000u);
    EXPECT_LE(distances.size(), 60000u);
    std::set<std::pair<std::string, std::string>> lines;
    for (const Record& r : distances) {
        lines.insert(std::minmax(r.at(0), r.at(1)));
    }
    EXPECT_EQ(lines.size(), distances.size());

    // Within the capacities of the data input: 100000 distances, with those that sets of
    // code 2 carry, and 500000 angles, with the 15 Schreiber angles of each set of 6.
    size_t distanceCount = distances.size();
    size_t setCount = sets.size();
    for (FileKind kind :
         {FileKind::DistancesWithErrors, FileKind::GpsDistances, FileKind::PolarDirections,
          FileKind::OrthogonalDirections, FileKind::GpsDirections}) {
        for (const Record& r : fileRecords(folder(), kind)) {
            const bool directionFile =
                kind != FileKind::DistancesWithErrors && kind != FileKind::GpsDistances;
            setCount += directionFile && r.at(0) == "0";
            distanceCount += !directionFile || (kind == FileKind::PolarDirections && r.size() == 3);
        }
    }
    EXPECT_LE(distanceCount, 100000u);
    EXPECT_LE(fileRecords(folder(), FileKind::Angles).size() +
                  fileRecords(folder(), FileKind::AnglesWithErrors).size() + 15 * setCount,
              500000u);
}

TEST_F(FullSizeNetwork, AllFilesArePresentWithCrLfLines) {
    for (FileKind kind : allKinds()) {
        const std::string name(fileName(kind));
        SCOPED_TRACE(name);
        const std::string bytes = readBytes(folder() / name);
        ASSERT_GE(bytes.size(), 2u);
        EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
        for (size_t k = 0; k < bytes.size(); ++k) {
            if (bytes[k] == '\n') {
                ASSERT_TRUE(k > 0 && bytes[k - 1] == '\r') << "bare LF at byte " << k;
            } else if (bytes[k] == '\r') {
                ASSERT_TRUE(k + 1 < bytes.size() && bytes[k + 1] == '\n')
                    << "bare CR at byte " << k;
            }
        }
    }
    // The title is Windows-1250: "ś" of "sieć" is the single byte 0x9C, not UTF-8.
    const std::string title = readBytes(folder() / std::string(fileName(FileKind::Title)));
    EXPECT_NE(title.find("sie\xe6"), std::string::npos);
    EXPECT_EQ(title.find("\xc4\x87"), std::string::npos);
}

TEST_F(FullSizeNetwork, ObservationsAgreeWithTheTrueGeometry) {
    const Geometry& g = geometry();
    const auto meter = fileRecords(folder(), FileKind::DistanceMeter).at(0);
    const double a = number(meter.at(0));
    const double b = number(meter.at(1));
    const auto distanceMeterError = [&](double lengthM) {
        return std::hypot(a, 0.01 * b * lengthM);
    };
    const double mkCc = number(fileRecords(folder(), FileKind::Limbus).at(0).at(1));
    // Lengths measured on the ground come out longer than in the plane, by as much as the
    // height reduction -(hi + hj)/2 D / 6370 km will take off them.
    std::unordered_map<std::string, double> heights;
    for (const Record& r : fileRecords(folder(), FileKind::Heights)) {
        heights[r.at(0)] = number(r.at(1));
    }
    const auto groundLength = [&](const std::string& from, const std::string& to) {
        return g.distanceM(from, to) / (1 - (heights.at(from) + heights.at(to)) / (2 * 6370000.0));
    };

    std::map<std::string, Residuals> residuals;

    for (FileKind kind : {FileKind::Directions, FileKind::PolarDirections,
                          FileKind::OrthogonalDirections, FileKind::GpsDirections}) {
        const std::string name(fileName(kind));
        for (const DirectionSet& set : directionSets(fileRecords(folder(), kind))) {
            const double setErrorCc =
                set.endLineErrorGrad.empty() ? mkCc : number(set.endLineErrorGrad) * ccPerGrad;
            const auto errorCc = [&](const DirectionLine& d) {
                return set.code == "11" ? number(d.third) : setErrorCc;
            };
            const DirectionLine& first = set.directions.at(0);
            for (const DirectionLine& d : set.directions) {
                if (&d != &first) {
                    const double measured = d.readingGrad - first.readingGrad;
                    const double computed = g.bearingGrad(set.station, d.target) -
                                            g.bearingGrad(set.station, first.target);
                    residuals[name].add(gradDifference(measured, computed) * ccPerGrad,
                                        std::hypot(errorCc(d), errorCc(first)));
                }
                if (set.code == "2") {
                    const double length = groundLength(set.station, d.target);
                    residuals[name + " distances"].add(number(d.third) - length,
                                                       distanceMeterError(length));
                }
            }
        }
    }

    const auto angleResidualCc = [&g](const Record& r) {
        const double computed = g.bearingGrad(r[1], r[2]) - g.bearingGrad(r[1], r[0]);
        return gradDifference(number(r.at(3)), computed) * ccPerGrad;
    };
    std::vector<double> groupResidualsCc; // a group record gives the mean error of its group
    for (const Record& r : fileRecords(folder(), FileKind::Angles)) {
        if (r.at(0) != "0") {
            groupResidualsCc.push_back(angleResidualCc(r));
            continue;
        }
        for (double residual : groupResidualsCc) {
            residuals["KATY"].add(residual, number(r.at(3)) * ccPerGrad);
        }
        groupResidualsCc.clear();
    }
    EXPECT_TRUE(groupResidualsCc.empty()) << "the last group of KATY has no group record";
    for (const Record& r : fileRecords(folder(), FileKind::AnglesWithErrors)) {
        residuals["KATY.b"].add(angleResidualCc(r), number(r.at(4)));
    }

    double shortestM = 1e9, longestM = 0; // grid neighbours only
    for (const Record& r : fileRecords(folder(), FileKind::Distances)) {
        ASSERT_EQ(r.size(), 3u);
        const double length = groundLength(r[0], r[1]);
        residuals["DLUGOSCI"].add(number(r[2]) - length, distanceMeterError(length));
        shortestM = std::min(shortestM, length);
        longestM = std::max(longestM, length);
    }
    EXPECT_GT(shortestM, 400);
    EXPECT_LT(longestM, 2200);
    for (const Record& r : fileRecords(folder(), FileKind::DistancesWithErrors)) {
        ASSERT_EQ(r.size(), 4u);
        residuals["DLUGOSCI.b"].add(number(r[2]) - groundLength(r[0], r[1]), number(r[3]));
    }
    for (const Record& r : fileRecords(folder(), FileKind::GpsDistances)) {
        ASSERT_EQ(r.size(), 4u);
        residuals["DLUGOSCI.gps"].add(number(r[2]) - g.distanceM(r[0], r[1]), number(r[3]));
    }
    for (FileKind kind : {FileKind::Azimuths, FileKind::GpsAzimuths}) {
        for (const Record& r : fileRecords(folder(), kind)) {
            ASSERT_EQ(r.size(), 4u);
            residuals[std::string(fileName(kind))].add(
                gradDifference(number(r[2]), g.bearingGrad(r[0], r[1])) * ccPerGrad, number(r[3]));
        }
    }

    // Every observation within 6 mean errors, and the noise as large as stated: a root mean
    // square of the normalised residuals near 1 (a few hundred observations at least).
    const char* const expected[] = {
        "KIERUNKI",     "KIERUNKI.mod", "KIERUNKI.mod distances",
        "KIERUNKI.ort", "KIERUNKI.gps", "KATY",
        "KATY.b",       "DLUGOSCI",     "DLUGOSCI.b",
        "DLUGOSCI.gps", "AZYMUTY",      "AZYMUTY.gps",
    };
    EXPECT_EQ(residuals.size(), std::size(expected));
    for (const char* name : expected) {
        SCOPED_TRACE(name);
        const Residuals& r = residuals[name];
        ASSERT_GE(r.count, 200);
        EXPECT_LT(r.maxAbs, 6.0);
        EXPECT_NEAR(r.rms(), 1.0, 0.15);
    }
}

TEST_F(FullSizeNetwork, CoordinateFilesHoldTheTruthOrItsApproximation) {
    const Geometry& g = geometry();
    bool weighted = true; // the points before the group record carry a mean error
    for (const Record& r : fileRecords(folder(), FileKind::ReferencePoints)) {
        if (r.at(0) == "0") {
            weighted = false;
            continue;
        }
        const TruePoint& p = g.at(r[0]);
        if (weighted) {
            EXPECT_NEAR(number(r[1]), p.x, 0.12) << r[0];
            EXPECT_NEAR(number(r[2]), p.y, 0.12) << r[0];
        } else {
            EXPECT_NEAR(number(r[1]), p.x, 1e-9) << r[0];
            EXPECT_NEAR(number(r[2]), p.y, 1e-9) << r[0];
        }
    }
    Residuals offsets;
    for (const Record& r : fileRecords(folder(), FileKind::ApproximatePoints)) {
        if (r.at(0) != "0") {
            const TruePoint& p = g.at(r[0]);
            offsets.add(std::hypot(number(r[1]) - p.x, number(r[2]) - p.y), 1.0);
            // Well inside the local system's range of 10 km to 200 km.
            ASSERT_TRUE(p.x > 10000 && p.x < 200000 && p.y > 10000 && p.y < 200000) << r[0];
        }
    }
    EXPECT_LT(offsets.maxAbs, 2.5) << "m";
    EXPECT_GT(offsets.rms(), 0.1) << "m: approximate coordinates should not be the truth";
    EXPECT_LT(offsets.rms(), 1.0) << "m";
}

// ---------------------------------------------------------------------------------------
// Small folders.

TEST(NetworkGenerator, SameSeedGivesTheSameBytesAndAnotherSeedOtherData) {
    for (const NetworkShape shape : {NetworkShape::Grid, NetworkShape::Field}) {
        SCOPED_TRACE(static_cast<int>(shape));
        const auto options = [shape](uint64_t seed) {
            GeneratorOptions o = optionsFor(500, seed);
            o.shape = shape;
            return o;
        };
        TempFolder first, again, other;
        generateNetwork(first.path(), options(7));
        generateNetwork(again.path(), options(7));
        generateNetwork(other.path(), options(8));
        const auto a = folderContent(first.path());
        const auto b = folderContent(again.path());
        const auto c = folderContent(other.path());
        ASSERT_EQ(a.size(), static_cast<size_t>(fileKindCount));
        EXPECT_TRUE(a == b);
        // The parameter files and uklad describe the instruments and the system, not the data.
        const std::set<FileKind> fixedContent = {FileKind::SystemZone, FileKind::DistanceMeter,
                                                 FileKind::Limbus, FileKind::Reductions};
        for (FileKind kind : allKinds()) {
            const std::string name(fileName(kind));
            SCOPED_TRACE(name);
            EXPECT_EQ(a.at(name) == c.at(name), fixedContent.count(kind) == 1);
        }
    }
}

// Leaving out the heights (H.prz, or the mean height of REDUKCJE) changes the heights the
// program reduces ground lengths with, so the files of lengths measured on the ground
// follow; nothing else changes.
TEST(NetworkGenerator, EachFileCanBeLeftOutWithoutChangingTheOthers) {
    TempFolder full;
    generateNetwork(full.path(), optionsFor(200, 3));
    const auto all = folderContent(full.path());
    const std::set<std::string> groundLengths = {"DLUGOSCI", "DLUGOSCI.b", "KIERUNKI.mod"};
    for (FileKind left : allKinds()) {
        SCOPED_TRACE(std::string(fileName(left)));
        GeneratorOptions options = optionsFor(200, 3);
        options.setWrites(left, false);
        TempFolder folder;
        generateNetwork(folder.path(), options);
        const auto content = folderContent(folder.path());
        const bool heightsChange = left == FileKind::Heights;
        EXPECT_EQ(content.size(), all.size() - 1);
        for (const auto& [name, bytes] : content) {
            EXPECT_EQ(bytes == all.at(name), !(heightsChange && groundLengths.count(name) == 1))
                << name;
        }
    }
}

TEST(NetworkGenerator, SmallNetworksObserveEveryPointAndKeepADatum) {
    for (int32_t pointCount : {10, 11, 13, 17, 37, 101}) {
        SCOPED_TRACE(pointCount);
        TempFolder folder;
        generateNetwork(folder.path(), optionsFor(pointCount, 5));
        std::set<std::string> observed;
        for (FileKind kind : {FileKind::Directions, FileKind::Distances}) {
            for (const Record& r : fileRecords(folder.path(), kind)) {
                if (r.at(0) != "0") {
                    observed.insert(r.begin(), r.begin() + std::min<size_t>(2, r.size()));
                }
            }
        }
        int32_t errorFree = 0;
        bool afterGroup = false;
        for (const Record& r : fileRecords(folder.path(), FileKind::ReferencePoints)) {
            afterGroup = afterGroup || r.at(0) == "0";
            errorFree += afterGroup && r.at(0) != "0";
        }
        EXPECT_GE(errorFree, 2);
        for (const TruePoint& p : truePoints(optionsFor(pointCount, 5))) {
            EXPECT_EQ(observed.count(p.number), 1u) << p.number;
        }
        for (const DirectionSet& set :
             directionSets(fileRecords(folder.path(), FileKind::Directions))) {
            EXPECT_EQ(set.directions.size(), 6u) << set.station;
        }
        for (FileKind kind : allKinds()) {
            EXPECT_FALSE(fileRecords(folder.path(), kind).empty()) << fileName(kind);
        }
    }
}

TEST(NetworkGenerator, RejectsOptionsOutOfRange) {
    struct Case {
        int32_t pointCount;
        int32_t directionsPerSet;
    };
    for (const Case c : {Case{9, 6}, Case{20001, 6}, Case{100, 1}, Case{100, 9}}) {
        SCOPED_TRACE(testing::Message() << c.pointCount << " points, " << c.directionsPerSet);
        GeneratorOptions options = optionsFor(c.pointCount, 1);
        options.directionsPerSet = c.directionsPerSet;
        TempFolder folder;
        EXPECT_THROW(generateNetwork(folder.path(), options), std::invalid_argument);
        EXPECT_TRUE(fs::is_empty(folder.path()));
    }
}

TEST(NetworkGenerator, OverwritesAFileOfTheSameNameInAnotherLetterCase) {
    TempFolder folder;
    std::ofstream(folder.path() / "katy", std::ios::binary) << "stale\r\n";
    generateNetwork(folder.path(), optionsFor(50, 1));
    EXPECT_FALSE(fs::exists(folder.path() / "KATY"));
    EXPECT_EQ(readBytes(folder.path() / "katy").find("stale"), std::string::npos);
    EXPECT_EQ(folderContent(folder.path()).size(), static_cast<size_t>(fileKindCount));
}

/// Answers every question Yes and counts them.
class CountingUser : public UnattendedUser {
public:
    bool confirm(const std::string&) override {
        ++questions;
        return true;
    }
    int32_t questions = 0;
};

// A generated network adjusts as its noise says: the unit error near 1, residuals beyond
// 3 mV no more often than chance gives (0.3 % of normal residuals), and no systematic
// height change postulated by the lengths: the ground lengths agree with the height
// reduction the program applies. No question is asked: no defect of the system, no points
// of coinciding approximate coordinates. Every shape, 500 points.
TEST(NetworkGenerator, AdjustsToUnitErrorOne) {
    for (const NetworkShape shape : {NetworkShape::Grid, NetworkShape::Chain,
                                     NetworkShape::TwoClusters, NetworkShape::Field}) {
        SCOPED_TRACE(static_cast<int>(shape));
        TempFolder folder;
        GeneratorOptions options = optionsFor(500, 5);
        options.shape = shape;
        generateNetwork(folder.path(), options);

        MessageList messages;
        CountingUser user;
        SystemClock clock;
        RunContext context(messages, user, clock);
        NetworkData network;
        readNetworkData(folder.path(), network, context);
        CalculationOptions calculation;
        calculation.workingFolder = folder.path();
        CalculationResults results;
        AdjustmentOutcome outcome;
        adjustNetwork(calculation, network, results, context, &outcome);
        EXPECT_NEAR(outcome.mo, 1, 0.1);
        EXPECT_EQ(user.questions, 0);

        // "... odstających ... : N   (|v| > 3 * Mv)" once for each kind, and the height
        // change "np. zmianie wysokości n.p.m. o wartość:" on the line after its label.
        const std::vector<std::string> lines = [&] {
            std::vector<std::string> all;
            std::istringstream report(readBytes(folder.path() / "rpw.ptw"));
            for (std::string line; std::getline(report, line);) {
                all.push_back(line);
            }
            return all;
        }();
        int32_t outliers = 0;
        int32_t kinds = 0;
        double heightChangeM = 0;
        for (size_t i = 0; i < lines.size(); ++i) {
            const std::string& line = lines[i];
            if (const size_t test = line.find("(|v| > 3 * Mv"); test != std::string::npos) {
                outliers += std::stoi(line.substr(line.rfind(':', test) + 1));
                ++kinds;
            }
            if (line.find("n.p.m.") != std::string::npos && i + 1 < lines.size()) {
                heightChangeM = number(lines[i + 1].substr(0, lines[i + 1].find('m')));
            }
        }
        const int32_t observations = network.ld() + network.lka() + network.laz();
        EXPECT_EQ(kinds, 4);
        EXPECT_LE(outliers, observations / 100) << observations;
        EXPECT_LT(std::fabs(heightChangeM), 5);
    }
}

// ---------------------------------------------------------------------------------------
// Portable numbers.

TEST(RandomStream, ReproducesThePublishedSequences) {
    // xoshiro256** from the state {1, 2, 3, 4}, and splitmix64 from 0, as their authors'
    // reference implementations give them.
    RandomStream x = RandomStream::fromState({1, 2, 3, 4});
    for (uint64_t expected :
         {11520ULL, 0ULL, 1509978240ULL, 1215971899390074240ULL, 1216172134540287360ULL,
          607988272756665600ULL, 16172922978634559625ULL, 8476171486693032832ULL,
          10595114339597558777ULL, 2904607092377533576ULL}) {
        EXPECT_EQ(x.next(), expected);
    }
    uint64_t state = 0;
    for (uint64_t expected : {0xe220a8397b1dcdafULL, 0x6e789e6aa1b965f4ULL, 0x06c45d188009454fULL,
                              0xf88bb8a8724c81ecULL}) {
        EXPECT_EQ(splitMix64(state), expected);
    }
}

TEST(RandomStream, DeviatesHaveTheirDistributions) {
    constexpr int draws = 400000;
    RandomStream random(42, 0);
    double sum = 0, sumSquares = 0;
    int beyond196 = 0; // 5 % of a normal distribution
    int belowCounts[3] = {0, 0, 0};
    for (int k = 0; k < draws; ++k) {
        const double z = random.normal();
        sum += z;
        sumSquares += z * z;
        beyond196 += std::abs(z) > 1.959964;
        ++belowCounts[random.below(3)];
    }
    EXPECT_NEAR(sum / draws, 0, 0.005);
    EXPECT_NEAR(sumSquares / draws, 1, 0.01);
    EXPECT_NEAR(static_cast<double>(beyond196) / draws, 0.05, 0.002);
    for (int count : belowCounts) {
        EXPECT_NEAR(count, draws / 3, draws / 100);
    }
    RandomStream sameSeedOtherStream(42, 1), otherSeed(43, 0), again(42, 0);
    const uint64_t first = again.next();
    EXPECT_NE(sameSeedOtherStream.next(), first);
    EXPECT_NE(otherSeed.next(), first);
}

TEST(PortableMath, BearingAgreesWithTheLibraryAllRoundTheCircle) {
    struct Case {
        double dx, dy, expectedGrad;
    };
    const Case exact[] = {
        {1, 0, 0},     {1, 1, 50},   {0, 1, 100},  {-1, 1, 150},   {-1, 0, 200},
        {-1, -1, 250}, {0, -1, 300}, {1, -1, 350}, {2e5, 1e-9, 0}, {1, -1e-300, 0},
    };
    for (const Case& c : exact) {
        SCOPED_TRACE(testing::Message() << c.dx << ", " << c.dy);
        const double b = bearingGrad(c.dx, c.dy);
        EXPECT_GE(b, 0);
        EXPECT_LT(b, 400);
        EXPECT_NEAR(b, c.expectedGrad, 1e-12);
    }
    RandomStream random(9, 0);
    for (int k = 0; k < 100000; ++k) {
        const double dx = random.uniform(-3000, 3000);
        const double dy = random.uniform(-3000, 3000);
        double library = std::atan2(dy, dx) * 200 / pi;
        library += library < 0 ? 400 : 0;
        ASSERT_NEAR(bearingGrad(dx, dy), library, 1e-11) << dx << ", " << dy;
    }
}

TEST(PortableMath, NaturalLogAgreesWithTheLibrary) {
    for (double x : {1e-300, 1e-10, 0.1, 0.5, 0.7071067811865475, 0.7071067811865476, 1.0,
                     1.0000001, 1.5, 2.0, 10.0, 1e10, 1e300}) {
        SCOPED_TRACE(x);
        EXPECT_NEAR(naturalLog(x), std::log(x), 4e-16 * std::max(1.0, std::abs(std::log(x))));
    }
    RandomStream random(11, 0);
    for (int k = 0; k < 100000; ++k) {
        const double x = random.uniform();
        if (x > 0) {
            ASSERT_NEAR(naturalLog(x), std::log(x), 1e-15 * std::max(1.0, -std::log(x))) << x;
        }
    }
}

} // namespace
} // namespace ptw3::bench
