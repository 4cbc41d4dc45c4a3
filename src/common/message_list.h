// The message list of the main window: 161 lines (indexes 0 to 160), never
// appended to. Every writer increments the shared counter messageLine and
// replaces the line at the new index; an index past the last line is dropped.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace ptw3 {

struct MessageList {
    static constexpr int32_t lastIndex = 160;

    /// The lines as Windows-1250 text.
    std::array<std::string, lastIndex + 1> lines;
    /// The index of the line written last.
    int32_t messageLine = 0;
};

} // namespace ptw3
