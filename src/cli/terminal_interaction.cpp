#include "cli/terminal_interaction.h"

#include <cctype>
#include <string>
#include <unistd.h>

namespace ptw3 {

TerminalInteraction::TerminalInteraction(AnswerMode answers, std::FILE* out, std::FILE* err,
                                         std::FILE* in)
    : m_answers(answers)
    , m_out(out)
    , m_err(err)
    , m_in(in) {}

void TerminalInteraction::message(int32_t /*index*/, const std::string& text) {
    std::fprintf(m_out, "%s\n", text.c_str());
    std::fflush(m_out);
}

void TerminalInteraction::messagesBlanked(int32_t /*first*/, int32_t /*last*/) {}

void TerminalInteraction::inform(const std::string& text) {
    std::fprintf(m_err, "%s\n", text.c_str());
    std::fflush(m_err);
}

bool TerminalInteraction::confirm(const std::string& text) {
    std::fprintf(m_err, "%s\n", text.c_str());
    bool yes = false;
    switch (m_answers) {
    case AnswerMode::Yes:
        yes = true;
        std::fprintf(m_err, "[t/n] t (--yes)\n");
        break;
    case AnswerMode::No:
        std::fprintf(m_err, "[t/n] n (--no)\n");
        break;
    case AnswerMode::Ask:
        yes = ask();
        break;
    }
    std::fflush(m_err);
    return yes;
}

// Reads answers until one is understood: t, tak, y, yes for Yes; n, nie, no for No. End of
// input, and input that is not a terminal, mean No.
bool TerminalInteraction::ask() {
    if (m_in == nullptr || !isatty(fileno(m_in))) {
        std::fprintf(m_err, "[t/n] n (not a terminal)\n");
        return false;
    }
    for (;;) {
        std::fprintf(m_err, "[t/n] ");
        std::fflush(m_err);
        std::string answer;
        int c = 0;
        while ((c = std::fgetc(m_in)) != EOF && c != '\n') {
            if (!std::isspace(c)) {
                answer += static_cast<char>(std::tolower(c));
            }
        }
        if (answer == "t" || answer == "tak" || answer == "y" || answer == "yes") {
            return true;
        }
        if (answer == "n" || answer == "nie" || answer == "no" || c == EOF) {
            return false;
        }
    }
}

} // namespace ptw3
