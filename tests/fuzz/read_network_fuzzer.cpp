// Fuzz target of the data input: the input becomes a working folder (fuzz_folder.h),
// the folder is read with answers taken from the input's first bytes, and anything but
// a clean end or a Stop is a finding.

#include "common/clock.h"
#include "common/message_list.h"
#include "common/run_context.h"
#include "common/stop.h"
#include "fuzz_folder.h"
#include "input/read_network_data.h"

#include <cstdint>
#include <string_view>

using namespace ptw3;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    fuzz::writeFolder(input);
    MessageList messages;
    fuzz::ScriptedUser user(fuzz::answersOf(input));
    const FixedClock clock(LocalDateTime{});
    RunContext context(messages, user, clock);
    NetworkData network;
    try {
        readNetworkData(fuzz::workFolder(), network, context);
    } catch (const Stop&) {
    }
    return 0;
}
