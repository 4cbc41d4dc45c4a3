#include "shell/window_setup.h"
#include "shell/working_folder.h"
#include "test_support.h"

#include <gtest/gtest.h>

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

TEST(WindowSetup, ResetsTheCodesAndReadsTheFolder) {
    TempFolder folder;
    folder.write("uklad", "2000\r\n18\r\n");
    ProgramState state;
    state.options.adjustmentPrinciple = 1011;
    state.options.analysisMode = 2;
    const WindowSetup setup = setUpWindow(state, folder.path());
    EXPECT_EQ(state.options.adjustmentPrinciple, 1);
    EXPECT_EQ(state.options.analysisMode, 1);
    EXPECT_EQ(state.options.workingFolder, folder.path());
    EXPECT_EQ(setup.systemEntry, 14);
    EXPECT_EQ(setup.statusText, " Folder roboczy = " + folder.path().string());

    const WindowSetup missing = setUpWindow(state, folder.path() / "does-not-exist");
    for (int32_t present : missing.files.present) {
        EXPECT_EQ(present, 0);
    }
}

} // namespace
} // namespace ptw3
