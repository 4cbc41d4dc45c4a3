// Fuzz target of the whole computation: the input becomes a working folder
// (fuzz_folder.h) and is computed as the console program computes it, from the data
// input through the adjustment to the reports and the summary. The answers come from
// the input's first eight bytes and the option controls from the next four, so every
// principle, analysis mode and acceleration level is reached. Anything but a finished
// computation or a Stop is a finding.

#include "common/clock.h"
#include "common/run_context.h"
#include "common/stop.h"
#include "fuzz_folder.h"
#include "run/calculation_run.h"
#include "run/option_lists.h"
#include "run/working_folder.h"

#include <cstdint>
#include <string>
#include <string_view>

using namespace ptw3;

namespace {

// The option byte at the position after the answer bytes, or 0 past the end.
unsigned optionByte(std::string_view input, size_t i) {
    constexpr size_t answerBytes = 8;
    return answerBytes + i < input.size() ? static_cast<unsigned char>(input[answerBytes + i])
                                          : 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    fuzz::writeFolder(input);

    ProgramState state;
    useWorkingFolder(state, fuzz::workFolder());
    RunChoices choices;
    choices.principle = principleEntries[optionByte(input, 0) % principleEntries.size()].principle;
    choices.analysisMode = modeEntries[optionByte(input, 1) % modeEntries.size()].mode;
    choices.acceleration = static_cast<AccelerationLevel>(optionByte(input, 2) % 3);
    // Few iterations keep an input fast; the count itself changes nothing but the repeats.
    choices.iterationCount = 2 + optionByte(input, 3) % 3;

    fuzz::ScriptedUser user(fuzz::answersOf(input));
    const FixedClock clock(LocalDateTime{});
    RunContext context(state.messages, user, clock);
    try {
        runCalculation(state, choices, context);
    } catch (const Stop&) {
    }
    return 0;
}
