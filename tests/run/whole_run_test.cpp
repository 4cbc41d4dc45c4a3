// Whole computations on a copy of the shipped local network with one file added or
// spoiled: numbers that once crashed the run, point names in either encoding, and
// reports that cannot be written.

#include "common/encoding.h"
#include "common/stop.h"
#include "run/calculation_run.h"
#include "run/working_folder.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>

namespace ptw3 {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

const fs::path localNetwork = fs::path(PTW3_EXAMPLES_DIR) / "siec-lokalna";

struct WholeRun {
    TempFolder folder;
    ProgramState state;
    test::TestContext t{std::deque<bool>(100, true)};
    std::optional<StopReason> stop;

    WholeRun() { folder.copyFilesOf(localNetwork); }

    void run() {
        useWorkingFolder(state, folder.path());
        const RunChoices choices;
        try {
            runCalculation(state, choices, t.context);
        } catch (const Stop& s) {
            stop = s.reason();
        }
    }
    bool finished() const {
        return std::any_of(t.user.messages.begin(), t.user.messages.end(),
                           [](const auto& m) { return m.second.starts_with(" KONIEC OBLICZEŃ:"); });
    }
};

// Each of these ended in a segmentation fault: a text formatter read past the end of "inf"
// or "nan" when a weight of 1/0 or an overflowing difference reached a message or a report.
TEST(WholeRun, NumbersThatCrashedTheRunEndWithTheSummary) {
    struct Case {
        const char* name;
        const char* file;
        const char* text;
        bool sound; // the input is sound once a default replaces a zero mean error
    };
    const Case cases[] = {
        {"zero angle mean error, defect answered Yes", "KATY.b", "1 1001 2 369.0492 0\r\n", true},
        {"length 1e3000", "DLUGOSCI.b", "1 3 1e3000 0.01\r\n", false},
        {"angle 1e3000", "KATY", "1 1001 2 1e3000\r\n", false},
        {"distance mean error 1e-3000", "DLUGOSCI.b", "1 2 275.999 1e-3000\r\n", true},
        {"repeated lengths of opposite extended extremes", "DLUGOSCI.b",
         "1 2 1.1e4932 0.01\r\n1 2 -1.1e4932 0.01\r\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WholeRun w;
        w.folder.write(c.file, c.text);
        w.run();
        EXPECT_FALSE(w.stop.has_value());
        EXPECT_TRUE(w.finished());
        if (c.sound) {
            EXPECT_TRUE(w.t.user.questions.empty());
            EXPECT_EQ(w.folder.read("xy.ptw").find("nan"), std::string::npos);
        }
    }
}

// A Windows-1250 name that is also valid UTF-8 was converted (PÓŁNOC became P?NOC and lost
// its distance), and two UTF-8 names beyond Windows-1250 became one point "?1".
TEST(WholeRun, PointNamesAreReadAsWritten) {
    struct Case {
        const char* name;
        std::string number1, number2; // the bytes of the two new points' names in the files
    };
    const Case cases[] = {
        {"Windows-1250 that is valid UTF-8", "P\xD3\xA3NOC", "WSCH\xD3" "D"},
        {"UTF-8 beyond Windows-1250", "Ж1", "Я1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WholeRun w;
        const std::string xy = w.folder.read("XY.prz");
        w.folder.write("XY.prz", c.number1 + " 5300.00 3400.00\r\n" + c.number2 +
                                     " 5600.00 3400.00\r\n" + xy);
        w.folder.write("DLUGOSCI.b", "1 " + c.number1 + " 126.834 0.005\r\n2 " + c.number1 +
                                         " 231.339 0.005\r\n3 " + c.number2 + " 146.609 0.005\r\n" +
                                         "4 " + c.number2 + " 290.116 0.005\r\n1001 " + c.number1 +
                                         " 500.000 0.005\r\n1001 " + c.number2 +
                                         " 721.110 0.005\r\n");
        w.run();
        EXPECT_TRUE(w.finished());
        const std::string er3a = w.folder.read("er3a.ptw");
        EXPECT_EQ(er3a.find("Wykluczono"), std::string::npos) << utf8FromCp1250(er3a);
        const std::string coordinates = w.folder.read("xy.ptw");
        for (const std::string& number : {c.number1, c.number2}) {
            EXPECT_NE(coordinates.find(std::string(16 - number.size(), ' ') + number + " "),
                      std::string::npos)
                << number;
        }
        EXPECT_EQ(coordinates.find('?'), std::string::npos);
    }
}

// A report that could not be written used to be skipped and the run ended as a success.
TEST(WholeRun, AReportThatCannotBeWrittenStopsTheRunAndLeavesTheInputAsItWas) {
    for (const char* report : {"er3a.ptw", "dlugosci.pom", "rpw.ptw", "xy.ptw", "dxdy.ptw"}) {
        SCOPED_TRACE(report);
        WholeRun w;
        std::vector<std::pair<std::string, std::string>> inputs;
        for (const std::string& name : w.folder.names()) {
            inputs.emplace_back(name, w.folder.read(name));
        }
        fs::create_directory(w.folder.path() / report);
        w.run();
        EXPECT_EQ(w.stop, StopReason::WriteFailed);
        EXPECT_FALSE(w.finished());
        ASSERT_EQ(w.t.user.informations.size(), 1u);
        EXPECT_TRUE(w.t.user.informations[0].starts_with(std::string(" *** Błąd zapisu pliku <") +
                                                          report + ">: pod tą nazwą jest folder"));
        for (const auto& [name, bytes] : inputs) {
            EXPECT_EQ(w.folder.read(name), bytes) << name;
        }
    }
}

} // namespace
} // namespace ptw3
