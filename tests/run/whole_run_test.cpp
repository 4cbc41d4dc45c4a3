// Whole computations on a copy of the shipped local network with one file added or
// spoiled: numbers that once crashed the run, point names in either encoding, reports
// that cannot be written, and the control report beside the reports of its computation.

#include "common/encoding.h"
#include "common/folder_files.h"
#include "common/stop.h"
#include "export/results_json.h"
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

    explicit WholeRun(const fs::path& example = localNetwork) { folder.copyFilesOf(example); }

    void run(const RunChoices& choices = {}) {
        useWorkingFolder(state, folder.path());
        try {
            runCalculation(state, choices, t.context);
        } catch (const Stop& s) {
            stop = s.reason();
        }
    }
    bool finished() const { return said(" KONIEC OBLICZEŃ:"); }
    bool said(std::string_view start) const {
        return std::any_of(t.user.messages.begin(), t.user.messages.end(),
                           [&](const auto& m) { return m.second.starts_with(start); });
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

// KONTROLA.ptw is written by a computation that reached its end, removed when the next one
// starts (also one that then stops on its input), and left out with the control; without
// the control and the extra files the folder holds what the reports alone leave.
TEST(WholeRun, TheControlReportStandsOnlyBesideTheReportsOfItsComputation) {
    const std::vector<std::string> reportsAlone = {"dlugosci.pom", "dxdy.ptw", "er3.ptw",
                                                   "er3a.ptw",     "redukcje", "rpw.ptw",
                                                   "xy.ptw"};
    struct Case {
        const char* what;
        bool control;
        bool extraFiles;
        bool spoilInput;
        bool reportIsAFolder;
        bool written;
    };
    const Case cases[] = {
        {"written with the extra files", true, true, false, false, true},
        {"written alone", true, false, false, false, true},
        {"left out", false, true, false, false, false},
        {"left out with the extra files", false, false, false, false, false},
        {"an earlier one goes when the input stops", true, true, true, false, false},
        {"one that cannot be written is a warning", true, true, false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WholeRun w;
        const std::vector<std::string> inputs = w.folder.names();
        if (c.reportIsAFolder) {
            fs::create_directory(w.folder.path() / "kontrola.ptw");
        } else {
            w.folder.write("KONTROLA.PTW", "an earlier computation's report");
        }
        if (c.spoilInput) {
            w.folder.write("XY.sta", "1001 5000,000 3000.000\r\n");
        }
        RunChoices choices;
        choices.control = c.control;
        choices.extraFiles = c.extraFiles;
        w.run(choices);

        EXPECT_EQ(w.finished(), !c.spoilInput);
        EXPECT_EQ(w.folder.exists("KONTROLA.PTW"), false);
        const bool written = !c.reportIsAFolder && w.folder.read("kontrola.ptw").starts_with(
                                                       cp1250("  ptw3 - system wyrównania"));
        EXPECT_EQ(written, c.written);
        EXPECT_EQ(w.said(" Test globalny: "), c.control && !c.spoilInput);
        EXPECT_EQ(w.said(" UWAGA: nie zapisano pliku KONTROLA.ptw"), c.reportIsAFolder);
        EXPECT_EQ(w.folder.exists("linie.csv"), c.control && c.extraFiles && !c.spoilInput);
        if (c.extraFiles && !c.spoilInput) {
            const std::string observations = w.folder.read("obserwacje.csv");
            const std::string header = observations.substr(0, observations.find('\r'));
            EXPECT_EQ(header.ends_with(",outlier,snooping_step"), c.control) << header;
        }
        if (!c.control && !c.extraFiles) {
            std::vector<std::string> added;
            for (const std::string& name : w.folder.names()) {
                if (std::find(inputs.begin(), inputs.end(), name) == inputs.end()) {
                    added.push_back(name);
                }
            }
            EXPECT_EQ(added, reportsAlone);
        }
    }
}

// The pre-analysis of the shipped plan leaves PROJEKT.ptw and the files beside it, marked as a
// plan's, and none of an adjustment's reports, also none that an earlier computation left;
// the input it reads, REDUKCJE too, stays as it was. A stop keeps ER3a.ptw, which says why.
// An adjustment after it removes PROJEKT.ptw.
TEST(WholeRun, APreAnalysisLeavesItsReportAndNoAdjustmentReports) {
    const fs::path plan = fs::path(PTW3_EXAMPLES_DIR) / "projekt-sieci";
    const std::vector<std::string> adjustmentReports = {"rpw.ptw", "er3.ptw", "er3a.ptw",
                                                        "xy.ptw", "dxdy.ptw", "kontrola.ptw"};
    struct Case {
        const char* what;
        bool advise;
        bool extraFiles;
        bool spoilInput;     // the data input stops
        bool coordinatesFolder; // the adjustment stops at its coordinate file, after RPW and ER3
    };
    const Case cases[] = {
        {"plan", false, true, false, false},
        {"plan with advice", true, true, false, false},
        {"plan without the extra files", false, false, false, false},
        {"the data input stops", false, true, true, false},
        {"the adjustment stops", false, true, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WholeRun w(plan);
        for (const char* earlier : {"RPW.PTW", "Er3.ptw", "ER3A.PTW", "XY.ptw", "dxdy.PTW",
                                    "KONTROLA.ptw", "Projekt.ptw", "WYNIKI.JSON", "linie.csv"}) {
            w.folder.write(earlier, "an earlier computation's file");
        }
        w.folder.write("REDUKCJE", "0 220\r\n");
        if (c.spoilInput) {
            w.folder.write("XY.sta", "1001 5000,000 3000.000\r\n");
        }
        if (c.coordinatesFolder) {
            fs::remove(w.folder.path() / "XY.ptw");
            fs::create_directory(w.folder.path() / "xy.ptw");
        }
        RunChoices choices;
        choices.preAnalysis = true;
        choices.plan.advise = c.advise;
        choices.extraFiles = c.extraFiles;
        w.run(choices);

        // In any letter case: the earlier files had others.
        const auto present = [&](std::string_view name) {
            const std::vector<std::string> names = w.folder.names();
            return std::any_of(names.begin(), names.end(), [&](const std::string& file) {
                return equalNoCase(file, name) && fs::is_regular_file(w.folder.path() / file);
            });
        };
        const bool stopped = c.spoilInput || c.coordinatesFolder;
        EXPECT_EQ(w.stop.has_value(), stopped);
        EXPECT_EQ(w.finished(), !stopped);
        EXPECT_TRUE(w.said(" ANALIZA PRZEDWYKONAWCZA (projekt sieci)"));
        for (const std::string& name : adjustmentReports) {
            const bool diagnostics = name == "er3a.ptw" && stopped;
            EXPECT_EQ(present(name), diagnostics) << name;
        }
        if (c.spoilInput) {
            EXPECT_NE(utf8FromCp1250(w.folder.read("er3a.ptw")).find("Brak współrzędnej x"),
                      std::string::npos);
        }
        EXPECT_EQ(w.folder.read("REDUKCJE"), "0 220\r\n");
        const std::vector<std::string> names = w.folder.names();
        EXPECT_EQ(std::count(names.begin(), names.end(), "REDUKCJE"), 1);
        EXPECT_EQ(std::count(names.begin(), names.end(), "redukcje"), 0);
        const std::string report = w.folder.read("projekt.ptw");
        EXPECT_EQ(present("projekt.ptw"), !stopped);
        EXPECT_EQ(report.starts_with(cp1250("  ptw3 - system wyrównania")), !stopped);
        EXPECT_EQ(present("wyniki.json"), c.extraFiles && !stopped);
        EXPECT_EQ(present("linie.csv"), c.extraFiles && !stopped);
        if (stopped) {
            continue;
        }
        // The plan's point 10 hangs on 7 by one distance and one direction.
        EXPECT_TRUE(w.said(" Standard dokładności 0.05 m: niespełniony (1 punkt)"));
        EXPECT_NE(report.find(cp1250("|              10|")), std::string::npos);
        EXPECT_EQ(w.said(" Doradca projektu: "), c.advise);
        EXPECT_EQ(report.find("(KANDYDACI, wiersz ") != std::string::npos, c.advise);
        if (c.extraFiles) {
            const auto results = readResultsJson(w.folder.path() / "wyniki.json");
            ASSERT_TRUE(results.has_value());
            ASSERT_TRUE(results->preAnalysis.has_value());
            EXPECT_EQ(results->preAnalysis->advice.has_value(), c.advise);
            EXPECT_NE(w.folder.read("wyniki.json").find(R"("kind":"pre_analysis")"),
                      std::string::npos);
        }
    }

    WholeRun w(plan);
    RunChoices choices;
    choices.preAnalysis = true;
    w.run(choices);
    ASSERT_TRUE(w.folder.exists("projekt.ptw"));
    w.run();
    EXPECT_FALSE(w.folder.exists("projekt.ptw"));
    EXPECT_TRUE(w.folder.exists("rpw.ptw"));
}

} // namespace
} // namespace ptw3
