#include "cli/terminal_interaction.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace ptw3 {
namespace {

std::string contentOf(std::FILE* file) {
    std::rewind(file);
    std::string text;
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
        text += static_cast<char>(c);
    }
    return text;
}

// The progress line belongs on a terminal only: redirected output stays as it was.
TEST(TerminalProgress, ShownOnATerminalAndClearedBeforeOtherText) {
    struct Case {
        bool terminal;
        const char* err;
    };
    const Case cases[] = {
        {false, ""},
        {true, "\r\033[KAnaliza [###############               ] 50%  0:00"
               "\r\033[KAnaliza [##############################] 100%  0:00\r\033[K"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.terminal);
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        {
            TerminalInteraction user(AnswerMode::Yes, out, err, nullptr, c.terminal);
            user.progress("Analiza", 0.5);
            user.progress("Analiza", 0.5004); // the same line is not drawn again
            user.progress("Analiza", 1);
            user.message(3, " KONIEC");
        }
        EXPECT_EQ(contentOf(err), c.err);
        EXPECT_EQ(contentOf(out), " KONIEC\n");
        std::fclose(out);
        std::fclose(err);
    }
}

} // namespace
} // namespace ptw3
