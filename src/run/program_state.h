// The state that lives as long as the program: the network of the last computation, the
// options in memory (what a choice that names no entry keeps) and the results, the message
// list and the remembered coordinate-system code. The front-end owns one and passes it by
// reference.
#pragma once

#include "common/message_list.h"
#include "engine/calculation_options.h"
#include "input/network_data.h"

#include <cstdint>

namespace ptw3 {

struct ProgramState {
    CalculationOptions options;
    CalculationResults results;
    NetworkData network;
    MessageList messages;
    /// The code of the coordinate-system entry last chosen or restored (0 at start).
    int32_t systemZoneCode = 0;
};

} // namespace ptw3
