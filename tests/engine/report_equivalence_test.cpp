// The reports of the default arithmetic (the supernodal double-double factorisation and
// selected inversion over a fill-reducing ordering, on the vector units, every thread)
// against those of the extended profile solver on one thread, character for character in
// all five reports, on generated networks of several shapes and on the shipped examples: a
// grid with moving reference points, GPS distances and azimuths; a network of field shape
// (direction sets of up to 15 targets, long sight lines, GPS vectors across it); a long
// chain held at one end (ill-conditioned); two clusters joined by one line; a robust
// computation; a network whose defect question is answered Yes.
#include "bench/network_generator.h"
#include "common/folder_files.h"
#include "engine/adjustment.h"
#include "input/read_network_data.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace ptw3 {
namespace {

namespace fs = std::filesystem;
using bench::GeneratorOptions;
using bench::NetworkShape;
using test::firstDifference;
using test::TempFolder;

constexpr const char* reports[] = {"er3a.ptw", "rpw.ptw", "er3.ptw", "xy.ptw", "dxdy.ptw"};

struct Computed {
    std::vector<std::string> reports;
    std::vector<std::string> questions; ///< UTF-8, every one answered Yes
    bool systemDefect = false;
};

/// Computes the network of `source` in a copy of its own and returns the five reports.
Computed computeReports(const fs::path& source, const fs::path& work, Arithmetic arithmetic,
                        int32_t threads, AdjustmentPrinciple principle) {
    fs::copy(source, work, fs::copy_options::recursive);
    test::TestContext t(std::deque<bool>(100, true));
    NetworkData network;
    readNetworkData(work, network, t.context);
    CalculationOptions options;
    options.workingFolder = work;
    options.accelerationLevel = AccelerationLevel::None;
    options.principle = principle;
    options.arithmetic = arithmetic;
    options.threadCount = threads;
    CalculationResults results;
    adjustNetwork(options, network, results, t.context);
    Computed computed;
    for (const char* name : reports) {
        computed.reports.push_back(test::fileText(work / name));
    }
    computed.questions = t.user.questions;
    computed.systemDefect = results.systemDefect;
    return computed;
}

struct Case {
    const char* name;
    std::function<void(const fs::path&)> write; ///< fills the working folder
    AdjustmentPrinciple principle = AdjustmentPrinciple::LeastSquares;
    bool systemDefect = false; ///< the defect question was asked (and answered Yes)
};

const std::string defectQuestion = " *** NUMERYCZNY LUB TOPOLOGICZNY DEFEKT UKŁADU\n"
                                   "     Z POWODU BŁEDÓW LUB BRAKÓW DANYCH\n"
                                   "     MOŻESZ LICZYĆ DALEJ ALE WYNIKI BĘDĄ BŁEDNE\n"
                                   "     Czy chcesz liczyć dalej?";

void generated(const fs::path& folder, int32_t points, uint64_t seed, NetworkShape shape) {
    GeneratorOptions options;
    options.pointCount = points;
    options.seed = seed;
    options.shape = shape;
    bench::generateNetwork(folder, options);
}

// A point that one distance alone reaches, 781 m from point 1 (approximately at 24556.39,
// 25876.67 in this network): its position across the line is undetermined, and its dY in
// DXDY.ptw is rounding noise raised by the substituted pivot, which prints as "0.0000" or
// "-0.0000" by its sign.
void withUndeterminedPoint(const fs::path& folder) {
    GeneratorOptions options;
    options.pointCount = 300;
    options.seed = 13;
    bench::generateNetwork(folder, options);
    const fs::path approximate = pathForWriting(folder, "XY.prz");
    std::string text = test::fileText(approximate);
    const std::string end = "0 0 0\r\n";
    ASSERT_TRUE(text.ends_with(end));
    text.insert(text.size() - end.size(), "WISZACY 25056.39 26476.67\r\n");
    std::ofstream(approximate, std::ios::binary | std::ios::trunc) << text;
    std::ofstream(pathForWriting(folder, "DLUGOSCI"), std::ios::binary | std::ios::app)
        << "1 WISZACY 781.035\r\n";
}

void example(const fs::path& folder, const char* name) {
    fs::copy(fs::path(PTW3_EXAMPLES_DIR) / name, folder, fs::copy_options::recursive);
}

TEST(ReportEquivalence, DoubleDoubleOnAllThreadsGivesTheReportsOfExtendedOnOne) {
    const Case cases[] = {
        {"grid of 2000 points", [](const fs::path& f) { generated(f, 2000, 11, NetworkShape::Grid); }},
        {"field network of 2000 points",
         [](const fs::path& f) { generated(f, 2000, 15, NetworkShape::Field); }},
        {"chain of 2000 points",
         [](const fs::path& f) { generated(f, 2000, 12, NetworkShape::Chain); }},
        {"two clusters of 1500 points joined by one line",
         [](const fs::path& f) { generated(f, 1500, 13, NetworkShape::TwoClusters); }},
        {"robust estimation for distances and angles",
         [](const fs::path& f) { generated(f, 500, 14, NetworkShape::Grid); },
         AdjustmentPrinciple::RobustDistancesAndAngles},
        {"defect answered Yes", withUndeterminedPoint, AdjustmentPrinciple::LeastSquares, true},
        {"example siec-lokalna", [](const fs::path& f) { example(f, "siec-lokalna"); }},
        {"example siec-2000", [](const fs::path& f) { example(f, "siec-2000"); }},
        {"example siec-blad-gruby, robust for distances",
         [](const fs::path& f) { example(f, "siec-blad-gruby"); }, AdjustmentPrinciple::RobustDistances},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder scratch;
        const fs::path source = scratch.path() / "source";
        c.write(source);
        const Computed extended =
            computeReports(source, scratch.path() / "extended", Arithmetic::Extended, 1, c.principle);
        const Computed fast = computeReports(source, scratch.path() / "double-double",
                                             Arithmetic::DoubleDouble, 0, c.principle);
        const Computed single = computeReports(source, scratch.path() / "one-thread",
                                               Arithmetic::DoubleDouble, 1, c.principle);
        EXPECT_EQ(extended.systemDefect, c.systemDefect);
        EXPECT_EQ(fast.systemDefect, c.systemDefect);
        for (const std::string& question : fast.questions) {
            EXPECT_EQ(question, defectQuestion);
        }
        EXPECT_EQ(fast.questions.empty(), !c.systemDefect);
        const std::vector<std::string>& reference = extended.reports;
        for (size_t r = 0; r < std::size(reports); ++r) {
            SCOPED_TRACE(reports[r]);
            EXPECT_FALSE(reference[r].empty());
            EXPECT_TRUE(fast.reports[r] == reference[r])
                << firstDifference(fast.reports[r], reference[r]);
            EXPECT_TRUE(single.reports[r] == fast.reports[r])
                << firstDifference(single.reports[r], fast.reports[r]);
        }
    }
}

} // namespace
} // namespace ptw3
