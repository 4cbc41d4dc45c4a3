// The console's side of UserInteraction: message-list lines on standard output,
// questions and information boxes on standard error, answers from flags or the
// terminal. When standard error is a terminal, the phase of a long computation,
// a bar and the time since the start are kept on its last line.
#pragma once

#include "cli/cli_arguments.h"
#include "common/user_interaction.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace ptw3 {

class TerminalInteraction : public UserInteraction {
public:
    /// @param in where typed answers come from; nullptr or a non-terminal answers No
    /// @param showProgress draw the progress line on `err` (it is a terminal)
    TerminalInteraction(AnswerMode answers, std::FILE* out, std::FILE* err, std::FILE* in,
                        bool showProgress = false);
    ~TerminalInteraction() override;

    void message(int32_t index, const std::string& text) override;
    void messagesBlanked(int32_t first, int32_t last) override;
    bool confirm(const std::string& text) override;
    void inform(const std::string& text) override;
    void progress(const std::string& phase, double fraction) override;

private:
    bool ask();
    /// Clears the progress line before other text is written.
    void clearProgress();

    AnswerMode m_answers;
    std::FILE* m_out;
    std::FILE* m_err;
    std::FILE* m_in;
    bool m_showProgress;
    std::string m_progressLine; ///< the line on the terminal now, empty when none
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

} // namespace ptw3
