// The console's side of UserInteraction: message-list lines on standard output,
// questions and information boxes on standard error, answers from flags or the
// terminal.
#pragma once

#include "cli/cli_arguments.h"
#include "common/user_interaction.h"

#include <cstdio>

namespace ptw3 {

class TerminalInteraction : public UserInteraction {
public:
    /// @param in where typed answers come from; nullptr or a non-terminal answers No
    TerminalInteraction(AnswerMode answers, std::FILE* out, std::FILE* err, std::FILE* in);

    void message(int32_t index, const std::string& text) override;
    void messagesBlanked(int32_t first, int32_t last) override;
    bool confirm(const std::string& text) override;
    void inform(const std::string& text) override;

private:
    bool ask();

    AnswerMode m_answers;
    std::FILE* m_out;
    std::FILE* m_err;
    std::FILE* m_in;
};

} // namespace ptw3
