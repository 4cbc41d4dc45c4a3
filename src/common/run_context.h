// What one computation carries besides its data: the message list with its
// shared counter, the person at the other end and the clock. Every step of the
// computation receives it by reference; texts given to it are Windows-1250.
// A front-end that runs the computation on a thread of its own may ask it to
// stop; the request takes effect at the next message line, question or box, or
// where a long loop looks for it.
#pragma once

#include "common/clock.h"
#include "common/message_list.h"
#include "common/stop.h"
#include "common/user_interaction.h"

#include <atomic>
#include <string>
#include <string_view>

namespace ptw3 {

class RunContext {
public:
    RunContext(MessageList& messages, UserInteraction& user, const Clock& clock)
        : m_messages(messages)
        , m_user(user)
        , m_clock(clock) {}

    /// Writes the text at the next messageLine; past line 160 it is dropped.
    void message(std::string_view text);
    /// Sets messageLine to the index and writes the text there.
    void messageAt(int32_t index, std::string_view text);
    /// Replaces lines first to last with a single blank each, leaving messageLine alone.
    void blankMessages(int32_t first, int32_t last);
    /// Writes the text at the next messageLine also after a stop was requested: the line
    /// that says how a stopped computation ended.
    void closingMessage(std::string_view text);

    /// Asks a Yes/No question; true means Yes.
    bool confirm(std::string_view text);
    /// Shows an information box.
    void inform(std::string_view text);

    /// Reports that the long phase `phase` has done `fraction` (0 to 1) of its work; passed
    /// on to the person only when the phase or its thousandth changes.
    void progress(std::string_view phase, double fraction);

    /// Asks the computation to stop; safe to call from any thread. The next message line,
    /// question, information box or check throws Stop(reason) instead: Abandoned when the
    /// program is closing, Interrupted when the person stopped only the computation.
    void requestCancel(StopReason reason = StopReason::Abandoned) {
        m_cancelReason.store(reason, std::memory_order_relaxed);
        m_cancelRequested.store(true, std::memory_order_release);
    }
    bool cancelRequested() const { return m_cancelRequested.load(std::memory_order_acquire); }
    /// Throws Stop with the requested reason when a cancel has been requested. Long loops
    /// call it every few hundred steps; threads of a loop only look at cancelRequested().
    void checkCancelled() const;

    LocalDateTime now() const { return m_clock.now(); }
    MessageList& messages() { return m_messages; }

private:
    void write(int32_t index, std::string_view text);

    MessageList& m_messages;
    UserInteraction& m_user;
    const Clock& m_clock;
    std::atomic<bool> m_cancelRequested = false;
    std::atomic<StopReason> m_cancelReason = StopReason::Abandoned;
    std::string m_phase;           ///< the phase of the last progress passed on
    int32_t m_progressPermille = -1; ///< its fraction, in thousandths
};

} // namespace ptw3
