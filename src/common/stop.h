// The one exception type of the computation: a fatal condition closes the open
// reports (their owners are destroyed on the way out) and throws Stop; each
// front-end decides what ending the program means for it.
#pragma once

#include <stdexcept>
#include <string>

namespace ptw3 {

enum class StopReason {
    FatalInput,   ///< a capacity limit or an unreadable required value of the input files
    UserDeclined, ///< the answer No to "Czy chcesz liczyć dalej?"
    Abandoned,    ///< the front-end asked the computation to stop (the window was closed)
    WriteFailed,  ///< a report could not be created or written in full (its box was shown)
    Interrupted,  ///< the person stopped the computation and the program goes on
};

class Stop : public std::runtime_error {
public:
    /// @param text the message shown to the user (UTF-8), empty when it was shown already
    Stop(StopReason reason, const std::string& text)
        : std::runtime_error(text)
        , m_reason(reason) {}

    StopReason reason() const { return m_reason; }

private:
    StopReason m_reason;
};

} // namespace ptw3
