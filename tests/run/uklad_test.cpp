#include "run/coordinate_systems.h"
#include "run/uklad.h"
#include "run/working_folder.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace ptw3 {
namespace {

using test::TempFolder;

struct Folder {
    TempFolder folder;
    ProgramState state;
    Folder() { state.options.workingFolder = folder.path(); }
};

// The system list's text as the window maps it: an entry's exact text, or no choice.
std::optional<SystemZone> listed(std::string_view text) {
    const auto entry = entryByText(text);
    return entry ? std::optional(coordinateSystemEntries[static_cast<size_t>(*entry)].system)
                 : std::nullopt;
}

int32_t systemOf(const ProgramState& state) { return systemNumber(state.options.system.system); }

TEST(Uklad, PickingAnEntryWritesSystemAndZone) {
    struct Case {
        const char* entry;
        const char* file;
        int32_t system, zone;
    };
    const Case cases[] = {
        {"1942  pasy 3*  poł. osiowy   18", "19423\r\n18\r\n", 19423, 18},
        {"UTM  (na WGS-84)", "1000\r\n0\r\n", 1000, 0},
        {"2000  poł. osiowy  18", "2000\r\n18\r\n", 2000, 18},
        {"Lokalny (bez redukcji)", "0\r\n0\r\n", 0, 0},
        {"1942  pasy 6*  poł. osiowy   21    ", "19426\r\n21\r\n", 19426, 21},
        {"1965/86 strefa 5  ", "1986\r\n5\r\n", 1986, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        Folder f;
        changeCoordinateSystem(f.state, listed(c.entry));
        EXPECT_EQ(f.folder.read("uklad"), c.file);
        EXPECT_EQ(systemOf(f.state), c.system);
        EXPECT_EQ(f.state.options.system.zone, c.zone);
    }
}

TEST(Uklad, TextMatchingNoEntryKeepsTheChoiceAndStillRewritesTheFile) {
    Folder f;
    changeCoordinateSystem(f.state, listed("1965 strefa 2"));
    for (const char* typed : {"1965 strefa", "1965 strefa 2 ", "1965 STREFA 2", ""}) {
        SCOPED_TRACE(typed);
        f.folder.write("uklad", "garbage");
        changeCoordinateSystem(f.state, listed(typed));
        EXPECT_EQ(f.state.systemZoneCode, 652);
        EXPECT_EQ(systemOf(f.state), 1965);
        EXPECT_EQ(f.state.options.system.zone, 2);
        EXPECT_EQ(f.folder.read("uklad"), "1965\r\n2\r\n");
    }
}

TEST(Uklad, RestoringFromTheFile) {
    struct Case {
        const char* name;
        const char* content;
        int32_t entry, system, zone;
    };
    const Case cases[] = {
        {"2000 zone 18", "2000\r\n18\r\n", 14, 2000, 18},
        {"local", "0\r\n0\r\n", 0, 0, 0},
        {"1992 ignores its zone", "1992\r\n7\r\n", 12, 1992, 0},
        {"unknown zone of 2000", "2000\r\n17\r\n", 0, 0, 0},
        {"unknown zone of 1965", "1965\r\n7\r\n", 0, 0, 0},
        {"leading blanks and trailing text", "  1965 uklad\n 3 strefa\n", 3, 1965, 3},
        {"line ends of any kind", "19426\r21", 7, 19426, 21},
        {"garbage lines read as 0", "abc\rxyz\r", 0, 0, 0},
        {"zone line missing", "1000", 22, 1000, 0},
        {"huge zone", "2000\r\n2147483647\r\n", 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Folder f;
        f.folder.write("UKLAD", c.content);
        EXPECT_EQ(restoreCoordinateSystem(f.state), c.entry);
        EXPECT_EQ(systemOf(f.state), c.system);
        EXPECT_EQ(f.state.options.system.zone, c.zone);
        EXPECT_EQ(f.folder.read("UKLAD"), c.content) << "restoring never writes uklad";
    }
}

TEST(Uklad, AFolderWithoutUkladShowsTheRememberedChoice) {
    Folder first;
    changeCoordinateSystem(first.state, listed("1965 strefa 2"));

    TempFolder withoutFile;
    ProgramState& state = first.state;
    EXPECT_EQ(useWorkingFolder(state, withoutFile.path()), 2);
    EXPECT_EQ(systemOf(state), 1965);
    EXPECT_FALSE(withoutFile.exists("uklad"));

    TempFolder local;
    local.write("uklad", "0\r\n0\r\n");
    EXPECT_EQ(useWorkingFolder(state, local.path()), 0);
    EXPECT_EQ(systemOf(state), 0);
}

TEST(Uklad, AStoredSystemOutsideTheListKeepsTheCodeButShowsLocal) {
    Folder f;
    changeCoordinateSystem(f.state, listed("1965 strefa 2"));
    f.folder.write("uklad", "1234\r\n5\r\n"); // not one of the systems: the code stays
    EXPECT_EQ(restoreCoordinateSystem(f.state), 2);
    f.folder.write("uklad", "2000\r\n17\r\n"); // a system with a zone outside the list
    EXPECT_EQ(restoreCoordinateSystem(f.state), 0);
    EXPECT_EQ(systemOf(f.state), 0);
}

TEST(Uklad, AnUnwritableFolderStillChangesTheChoice) {
    ProgramState state;
    state.options.workingFolder = "/nonexistent/ptw3/folder";
    changeCoordinateSystem(state, listed("UTM  (na WGS-84)"));
    EXPECT_EQ(systemOf(state), 1000);
    EXPECT_EQ(state.systemZoneCode, 1000);
}

TEST(CoordinateSystems, EveryEntryHasACodeOfItsOwnAndIsFoundByItsText) {
    struct Case {
        int32_t entry, code;
    };
    const Case published[] = {{0, 0},    {1, 651},     {6, 42615},  {11, 42324},
                              {12, 92},  {14, 200018}, {21, 865},   {22, 1000}};
    for (const Case& c : published) {
        SCOPED_TRACE(c.entry);
        EXPECT_EQ(systemZoneCode(coordinateSystemEntries[static_cast<size_t>(c.entry)].system),
                  c.code);
    }
    for (size_t i = 0; i < coordinateSystemEntries.size(); ++i) {
        const CoordinateSystemEntry& e = coordinateSystemEntries[i];
        SCOPED_TRACE(std::string(e.text));
        EXPECT_EQ(entryByCode(systemZoneCode(e.system)), static_cast<int32_t>(i));
        EXPECT_EQ(entryByText(e.text), static_cast<int32_t>(i));
    }
}

} // namespace
} // namespace ptw3
