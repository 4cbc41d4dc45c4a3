#include "run/folder_memory.h"
#include "run/working_folder.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <fstream>

namespace ptw3 {
namespace {

using test::TempFolder;

TEST(TarvelIni, WorkingFolderKey) {
    struct Case {
        const char* name;
        const char* ini;
        std::optional<std::string> folder;
    };
    const Case cases[] = {
        {"plain", "[General]\r\npath=/home/geodeta/siec1\r\n", "/home/geodeta/siec1"},
        {"case and blanks", "[general]\npath = /dane/siec \n", "/dane/siec"},
        {"PATH key, quoted", "[ GENERAL ]\nPATH=\"/dane/z odstępem\"\n", "/dane/z odstępem"},
        {"other section first", "[Other]\npath=/no\n[General]\npath=/yes\n", "/yes"},
        {"key in another section", "[Other]\npath=/no\n", std::nullopt},
        {"no key", "[General]\nfolder=/no\n", std::nullopt},
        {"empty value", "[General]\npath=\n", std::nullopt},
        {"comment", "[General]\n;path=/no\n", std::nullopt},
        {"garbage", "\x01\x02[[[=\n", std::nullopt},
        {"empty", "", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(iniWorkingFolder(c.ini), c.folder);
    }
}

TEST(TarvelIni, MissingFileOrKeyMeansTheStartFolder) {
    TempFolder program;
    EXPECT_EQ(readWorkingFolder(program.path(), "/start"), "/start");
    program.write("tarvel.ini", "[General]\r\n");
    EXPECT_EQ(readWorkingFolder(program.path(), "/start"), "/start");
    program.write("tarvel.ini", "[General]\r\npath=/dane/sie\xE6\r\n"); // Windows-1250 ć
    EXPECT_EQ(readWorkingFolder(program.path(), "/start"), "/dane/sieć");
    EXPECT_EQ(workingFolderStatus("/dane"), " Folder roboczy = /dane");
}

TEST(TarvelIni, RememberingAFolderKeepsTheRestOfTheFile) {
    struct Case {
        const char* name;
        const char* ini;
        FolderMemory memory;
        const char* written;
    };
    const Case cases[] = {
        {"no file", "", {"/dane/siec", {"/dane/siec", "/stara"}},
         "[General]\r\npath=/dane/siec\r\n"
         "[RecentFolders]\r\nfolder1=/dane/siec\r\nfolder2=/stara\r\n"},
        {"other keys, comments and sections stay; old list replaced",
         "; ustawienia\n[general]\nPATH=c:\\dane\nfont=8\n[RecentFolders]\nfolder1=/x\n"
         "folder2=/y\n[Other]\npath=/no\n",
         {"/nowa", {"/nowa"}},
         "; ustawienia\r\n[general]\r\npath=/nowa\r\nfont=8\r\n[Other]\r\npath=/no\r\n"
         "[RecentFolders]\r\nfolder1=/nowa\r\n"},
        {"blanks at the ends are quoted", "[General]\r\n", {" /z odstępem ", {}},
         "[General]\r\npath=\" /z odstępem \"\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string written = withFolderMemory(c.ini, c.memory);
        EXPECT_EQ(written, c.written);
        const FolderMemory read = parseFolderMemory(written);
        EXPECT_EQ(read.folder, c.memory.folder);
        EXPECT_EQ(read.recent, c.memory.recent);
    }
}

TEST(TarvelIni, RecentFoldersAreNewestFirstEachOnceAtMostTen) {
    std::vector<std::filesystem::path> recent;
    for (int i = 1; i <= 12; ++i) {
        recent = withRecentFolder(recent, "/f" + std::to_string(i));
    }
    ASSERT_EQ(recent.size(), recentFolderLimit);
    EXPECT_EQ(recent.front(), "/f12");
    EXPECT_EQ(recent.back(), "/f3");
    // The same folder written another way moves to the front instead of a second entry.
    recent = withRecentFolder(recent, "/f5/");
    recent = withRecentFolder(recent, "/./f7");
    EXPECT_EQ(recent.size(), recentFolderLimit);
    EXPECT_EQ(recent[0], "/./f7");
    EXPECT_EQ(recent[1], "/f5/");
    EXPECT_EQ(recent[2], "/f12");
}

// A copy of the program in a folder of its own keeps the choice beside it; an installed one
// (a program folder it cannot write) in the user's configuration folder.
TEST(TarvelIni, AChoiceIsWrittenAndReadBackInEitherPlace) {
    struct Case {
        const char* name;
        bool programWritable;
    };
    for (const Case& c : {Case{"beside the program", true}, Case{"user's folder", false}}) {
        SCOPED_TRACE(c.name);
        TempFolder program;
        TempFolder user;
        const SettingsPlaces places{c.programWritable ? program.path() : program.path() / "no",
                                    user.path() / "config" / "ptw3"};
        if (c.programWritable) {
            // An older choice in the user's folder does not hide the new one.
            std::filesystem::create_directories(places.userFolder);
            std::ofstream(places.userFolder / "tarvel.ini") << "[General]\npath=/older\n";
        }

        const auto written = rememberFolder(places, "/dane/siec 1");
        ASSERT_TRUE(written);
        const std::filesystem::path expected =
            (c.programWritable ? places.programFolder : places.userFolder) / "tarvel.ini";
        EXPECT_EQ(*written, expected);
        EXPECT_EQ(readWorkingFolder(places, "/start"), "/dane/siec 1");
        rememberFolder(places, "/dane/siec 2");
        const FolderMemory memory = readFolderMemory(places);
        EXPECT_EQ(memory.folder, "/dane/siec 2");
        const std::vector<std::filesystem::path> recent = {"/dane/siec 2", "/dane/siec 1"};
        EXPECT_EQ(memory.recent, recent);
    }
    // A name with a line break cannot be kept in the file.
    TempFolder program;
    EXPECT_FALSE(rememberFolder({program.path(), {}}, "/dane/a\nb"));
    EXPECT_FALSE(program.exists("tarvel.ini"));
}

TEST(FileSet, PresenceFlagsFollowTheFilesOfAnyCase) {
    TempFolder folder;
    folder.write("KATY", "");
    folder.write("xy.PRZ", "");
    const FileSetState files = scanFileSet(folder.path());
    for (size_t i = 0; i < fileSet.size(); ++i) {
        SCOPED_TRACE(std::string(fileSet[i].panel));
        const bool expected = fileSet[i].panel == "Panel2" || fileSet[i].panel == "Panel9";
        EXPECT_EQ(files.present[i], expected ? 1 : 0);
    }
    EXPECT_EQ(files.paths[1], folder.path() / "KATY");
    EXPECT_EQ(files.paths[0], folder.path() / "dlugosci");
}

TEST(WorkingFolder, TakingAFolderResetsTheChoicesAndRestoresItsSystem) {
    TempFolder folder;
    folder.write("uklad", "2000\r\n18\r\n");
    ProgramState state;
    state.options.principle = AdjustmentPrinciple::RobustDistancesAndAngles;
    state.options.analysisMode = AnalysisMode::Approximate;
    EXPECT_EQ(useWorkingFolder(state, folder.path()), 14);
    EXPECT_EQ(state.options.principle, AdjustmentPrinciple::LeastSquares);
    EXPECT_EQ(state.options.analysisMode, AnalysisMode::Full);
    EXPECT_EQ(state.options.workingFolder, folder.path());
    EXPECT_EQ(workingFolderStatus(folder.path()), " Folder roboczy = " + folder.path().string());

    for (int32_t present : scanFileSet(folder.path() / "does-not-exist").present) {
        EXPECT_EQ(present, 0);
    }
}

} // namespace
} // namespace ptw3
