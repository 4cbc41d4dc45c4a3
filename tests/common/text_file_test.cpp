#include "common/folder_files.h"
#include "common/stop.h"
#include "common/text_file.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace ptw3 {
namespace {

using test::TempFolder;

TEST(TextFile, SplitsAtEveryKindOfLineEnd) {
    struct Case {
        const char* content;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\nb", {"a", "b"}},
        {"a\rb\r", {"a", "b"}},
        {"a\r\n\r\nb", {"a", "", "b"}},
        {"a\n\rb", {"a", "", "b"}}, // LF then CR: two line ends
        {"", {}},
        {"\r\n", {""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        EXPECT_EQ(splitLines(c.content), c.lines);
    }
}

TEST(TextFile, Utf8FilesAreReadAsWindows1250) {
    struct Case {
        const char* name;
        std::string content;
        std::string expected;
    };
    const Case cases[] = {
        {"utf-8 with Polish letters", "Łódź 1", "\xA3\xF3" "d\x9F 1"},
        {"utf-8 with byte-order mark", "\xEF\xBB\xBFP1 2", "P1 2"},
        {"windows-1250 stays", "\xA3\xF3" "d\x9F 1", "\xA3\xF3" "d\x9F 1"},
        {"plain ascii stays", "12 13 100.5", "12 13 100.5"},
        // PÓŁNOC in Windows-1250 is also valid UTF-8 (Ó Ł read as U+04E3), which has no
        // Windows-1250 byte: the bytes stand.
        {"windows-1250 that is valid utf-8", "P\xD3\xA3NOC 1", "P\xD3\xA3NOC 1"},
        {"utf-8 beyond windows-1250 stays as bytes", "Ж1 Я1", "Ж1 Я1"},
        {"byte-order mark with a character beyond windows-1250", "\xEF\xBB\xBFЖ1",
         "\xEF\xBB\xBFЖ1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(asCp1250(c.content), c.expected);
    }
}

TEST(FolderFiles, FindsNamesWithoutRegardToCase) {
    TempFolder folder;
    folder.write("KATY", "1");
    folder.write("Xy.Prz", "2");
    EXPECT_EQ(findFileNoCase(folder.path(), "katy")->filename(), "KATY");
    EXPECT_EQ(findFileNoCase(folder.path(), "XY.PRZ")->filename(), "Xy.Prz");
    EXPECT_FALSE(findFileNoCase(folder.path(), "kierunki").has_value());
    EXPECT_FALSE(findFileNoCase(folder.path() / "missing", "katy").has_value());
}

TEST(FolderFiles, WritingOverwritesTheFileOfAnyCaseInsteadOfAddingOne) {
    TempFolder folder;
    test::TestContext t;
    folder.write("RPW.ptw", "old");
    {
        ReportFile report(folder.path(), "rpw.ptw", t.context);
        report.line("nowy");
        report.line(std::string(1, '\xB3'));
        report.close();
    }
    folder.write("Redukcje", "old");
    EXPECT_EQ(replaceFile(folder.path(), "redukcje", "0.5 100\r\n"), 0);
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"RPW.ptw", "Redukcje"}));
    EXPECT_EQ(folder.read("RPW.ptw"), "nowy\r\n\xB3\r\n");
    EXPECT_EQ(folder.read("Redukcje"), "0.5 100\r\n");
}

// A report that could not be created, or was cut by a full disk, used to pass silently
// for a finished one.
TEST(FolderFiles, AReportThatCannotBeWrittenInFullStopsTheComputation) {
    TempFolder folder;
    std::filesystem::create_directory(folder.path() / "rpw.ptw");
    struct Case {
        std::filesystem::path folder;
        const char* name;
        const char* box;
    };
    const Case cases[] = {
        {folder.path(), "rpw.ptw", " *** Błąd zapisu pliku <rpw.ptw>: pod tą nazwą jest folder"},
        {folder.path() / "brak", "er3a.ptw", " *** Błąd zapisu pliku <er3a.ptw>: folder nie istnieje"},
        {"/dev", "full", " *** Błąd zapisu pliku <full>: brak miejsca na dysku"}, // a full disk
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TestContext t;
        try {
            ReportFile report(c.folder, c.name, t.context);
            report.line("wiersz");
            report.close();
            ADD_FAILURE() << "no stop";
        } catch (const Stop& stop) {
            EXPECT_EQ(stop.reason(), StopReason::WriteFailed);
        }
        ASSERT_EQ(t.user.informations.size(), 1u);
        EXPECT_EQ(t.user.informations[0],
                  std::string(c.box) + "\n     OBLICZENIA PRZERWANO - raporty są niepełne");
    }
}

} // namespace
} // namespace ptw3
