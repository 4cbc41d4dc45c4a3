#include "common/run_context.h"

#include "common/encoding.h"
#include "common/stop.h"

#include <string>

namespace ptw3 {

void RunContext::checkCancelled() const {
    if (cancelRequested()) {
        throw Stop(StopReason::Abandoned, "");
    }
}

void RunContext::messageAt(int32_t index, std::string_view text) {
    checkCancelled();
    m_messages.messageLine = index;
    if (index < 0 || index > MessageList::lastIndex) {
        return;
    }
    m_messages.lines[static_cast<size_t>(index)] = text;
    m_user.message(index, utf8FromCp1250(text));
}

void RunContext::message(std::string_view text) { messageAt(m_messages.messageLine + 1, text); }

void RunContext::blankMessages(int32_t first, int32_t last) {
    for (int32_t i = first; i <= last; ++i) {
        m_messages.lines[static_cast<size_t>(i)] = " ";
    }
    m_user.messagesBlanked(first, last);
}

// A cancel requested while the person was looking at the question or the box wins over
// the answer, so an abandoned computation never goes on or ends as declined.
bool RunContext::confirm(std::string_view text) {
    checkCancelled();
    const bool yes = m_user.confirm(utf8FromCp1250(text));
    checkCancelled();
    return yes;
}

void RunContext::inform(std::string_view text) {
    checkCancelled();
    m_user.inform(utf8FromCp1250(text));
    checkCancelled();
}

} // namespace ptw3
