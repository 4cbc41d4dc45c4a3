// The only way the computation talks to a person. The window implements it with
// its message list and modal dialogs, the console program with the terminal,
// tests with scripted answers. Every text it receives is UTF-8.
#pragma once

#include <cstdint>
#include <string>

namespace ptw3 {

class UserInteraction {
public:
    virtual ~UserInteraction() = default;

    /// Line `index` (0 to 160) of the message list now reads `text`.
    virtual void message(int32_t index, const std::string& text) = 0;
    /// Lines `first` to `last` of the message list were blanked at the start of a run.
    virtual void messagesBlanked(int32_t first, int32_t last) = 0;
    /// A Yes/No question; true means Yes.
    virtual bool confirm(const std::string& text) = 0;
    /// An information box, acknowledged with OK.
    virtual void inform(const std::string& text) = 0;
    /// The long phase `phase` has done `fraction` (0 to 1) of its work. Called from the
    /// computation's thread, at most once per thousandth of a phase.
    virtual void progress(const std::string& phase, double fraction) {
        static_cast<void>(phase);
        static_cast<void>(fraction);
    }
};

} // namespace ptw3
