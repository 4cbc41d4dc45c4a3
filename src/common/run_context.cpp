#include "common/run_context.h"

#include "common/encoding.h"
#include "common/stop.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace ptw3 {

void RunContext::checkCancelled() const {
    if (cancelRequested()) {
        throw Stop(m_cancelReason.load(std::memory_order_relaxed), "");
    }
}

void RunContext::messageAt(int32_t index, std::string_view text) {
    checkCancelled();
    write(index, text);
}

void RunContext::closingMessage(std::string_view text) {
    write(m_messages.messageLine + 1, text);
}

void RunContext::write(int32_t index, std::string_view text) {
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

void RunContext::progress(std::string_view phase, double fraction) {
    const auto permille = static_cast<int32_t>(std::floor(std::clamp(fraction, 0.0, 1.0) * 1000));
    if (phase == m_phase && permille == m_progressPermille) {
        return;
    }
    m_phase = phase;
    m_progressPermille = permille;
    m_user.progress(utf8FromCp1250(phase), permille / 1000.0);
}

} // namespace ptw3
