#include "cli/terminal_interaction.h"

#include "common/clock.h"

#include <cctype>
#include <string>
#include <unistd.h>

namespace ptw3 {

namespace {

constexpr int barWidth = 30;
/// Erases the terminal line the cursor is on and returns to its start.
constexpr const char* eraseLine = "\r\033[K";

} // namespace

TerminalInteraction::TerminalInteraction(AnswerMode answers, std::FILE* out, std::FILE* err,
                                         std::FILE* in, bool showProgress)
    : m_answers(answers)
    , m_out(out)
    , m_err(err)
    , m_in(in)
    , m_showProgress(showProgress) {}

TerminalInteraction::~TerminalInteraction() {
    clearProgress();
}

void TerminalInteraction::clearProgress() {
    if (!m_progressLine.empty()) {
        std::fputs(eraseLine, m_err);
        std::fflush(m_err);
        m_progressLine.clear();
    }
}

// Redrawn only when what it shows changes: the phase, the whole percent or the second.
void TerminalInteraction::progress(const std::string& phase, double fraction) {
    if (!m_showProgress) {
        return;
    }
    const auto filled = static_cast<int>(fraction * barWidth);
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::steady_clock::now() - m_start)
                             .count();
    const std::string line = phase + " [" + std::string(static_cast<size_t>(filled), '#') +
                             std::string(static_cast<size_t>(barWidth - filled), ' ') + "] " +
                             std::to_string(static_cast<int>(fraction * 100)) + "%  " +
                             formatElapsed(seconds);
    if (line == m_progressLine) {
        return;
    }
    std::fprintf(m_err, "%s%s", eraseLine, line.c_str());
    std::fflush(m_err);
    m_progressLine = line;
}

void TerminalInteraction::message(int32_t /*index*/, const std::string& text) {
    clearProgress();
    std::fprintf(m_out, "%s\n", text.c_str());
    std::fflush(m_out);
}

void TerminalInteraction::messagesBlanked(int32_t /*first*/, int32_t /*last*/) {}

void TerminalInteraction::inform(const std::string& text) {
    clearProgress();
    std::fprintf(m_err, "%s\n", text.c_str());
    std::fflush(m_err);
}

bool TerminalInteraction::confirm(const std::string& text) {
    clearProgress();
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
