#include "run/calculation_run.h"

#include "common/encoding.h"
#include "common/number_format.h"
#include "common/number_parse.h"
#include "engine/adjustment.h"
#include "export/extra_files.h"
#include "input/read_network_data.h"
#include "run/uklad.h"

#include <algorithm>

namespace ptw3 {
namespace {

constexpr int32_t firstBlankedLine = 1;
constexpr int32_t lastBlankedLine = 30;
constexpr int32_t startLine = 2;
constexpr int32_t readingLine = 3;
constexpr int32_t defaultIterations = 4;
constexpr int32_t fewestIterations = 2;
constexpr int32_t incrementNormUnitsWarning = 50; // 0.0005 m in units of 0.00001 m

Real incrementNormUnits(Real metres) { return roundHalfEven((metres + 1e-7L) * 100000); }

void applyControls(const RunControls& controls, CalculationOptions& options) {
    options.accelerationLevel = controls.accelerate ? (controls.turbo ? 2 : 1) : 0;
    options.arithmetic = controls.arithmetic;
    options.threadCount = controls.threadCount;
    for (const ModeEntry& entry : modeEntries) {
        if (controls.modeText == entry.text) {
            options.analysisMode = entry.mode;
        }
    }
    for (const PrincipleEntry& entry : principleEntries) {
        if (controls.principleText == entry.text) {
            options.adjustmentPrinciple = entry.principle;
        }
    }
    if (const auto entry = entryByText(controls.systemText)) {
        options.coordinateSystem = coordinateSystemEntries[static_cast<size_t>(*entry)].system;
        options.zone = coordinateSystemEntries[static_cast<size_t>(*entry)].zone;
    }
}

} // namespace

IterationChoice interpretIterationField(std::string_view text) {
    const auto typed = parseInteger(text);
    if (!typed) {
        return {defaultIterations, 0, std::nullopt};
    }
    if (*typed <= 1) {
        return {fewestIterations, 0, std::to_string(fewestIterations)};
    }
    if (*typed == boostIterationCode) {
        return {defaultIterations, 1, std::to_string(defaultIterations)};
    }
    return {*typed, 0, std::nullopt};
}

Real roundPositionError(Real metres) { return roundHalfEven(metres * 10000) * 0.0001L; }

Real roundIncrementNorm(Real metres) { return incrementNormUnits(metres) * 0.00001L; }

bool needsMoreIterations(Real roundedNorm) {
    return roundHalfEven(roundedNorm * 100000) > incrementNormUnitsWarning;
}

void runCalculation(ProgramState& state, RunControls& controls, RunContext& context) {
    context.blankMessages(firstBlankedLine, lastBlankedLine);

    // The run works on its own copy, so a window set-up during a dialog cannot change the
    // options of a computation under way.
    CalculationOptions options = state.options;
    applyControls(controls, options);
    updateUkladIfPresent(options.workingFolder, options.coordinateSystem, options.zone);
    state.results.systemDefect = 0;

    const IterationChoice iterations = interpretIterationField(controls.iterationsText);
    options.iterationCount = iterations.iterationCount;
    options.accelerationBoost = iterations.accelerationBoost;
    if (iterations.correctedText) {
        controls.iterationsText = *iterations.correctedText;
    }
    state.options = options;

    const LocalDateTime started = context.now();
    context.messageAt(startLine, cp1250(" POCZĄTEK OBLICZEŃ:") + formatTimeOfDay(started));
    context.messageAt(readingLine, cp1250(" CZYTANIE I KONTROLA DANYCH - proszę czekać"));

    readNetworkData(options.workingFolder, state.network, context);
    if (controls.extraFiles) {
        removeExtraFiles(options.workingFolder);
    }
    AdjustmentOutcome outcome;
    adjustNetwork(options, state.network, state.results, context,
                  controls.extraFiles ? &outcome : nullptr);
    state.options = options;

    CalculationResults& results = state.results;
    if (controls.extraFiles) {
        const NetworkResults collected = collectResults(state.network, options, outcome, results,
                                                        started, context.now());
        for (const std::string_view name : writeExtraFiles(options.workingFolder, collected)) {
            context.message(cp1250(" UWAGA: nie zapisano pliku ") + std::string(name));
        }
    }
    results.meanPositionError = roundPositionError(results.meanPositionError);
    results.maxPositionError = roundPositionError(results.maxPositionError);
    results.coordinateIncrementNorm = roundIncrementNorm(results.coordinateIncrementNorm);

    context.message(cp1250(" Przeciętny błąd położenia punktu = ") +
                    general(results.meanPositionError));
    context.message(cp1250(" Maksymalny błąd położenia punktu = ") +
                    general(results.maxPositionError));
    context.message(cp1250(" KONIEC OBLICZEŃ:") + formatTimeOfDay(context.now()));
    if (needsMoreIterations(results.coordinateIncrementNorm)) {
        context.message(cp1250(" UWAGA: zalecone zwiększenie liczby iteracji !!"));
    }
    if (results.systemDefect == 1) {
        context.message(cp1250(" UWAGA: ZIDENTYFIKOWANO DEFEKT UKŁADU "));
    }
}

void writeStopLines(const Stop& stop, RunContext& context) {
    if (stop.reason() == StopReason::Interrupted) {
        context.closingMessage(cp1250(" OBLICZENIA PRZERWANE:") + formatTimeOfDay(context.now()));
    } else if (stop.reason() == StopReason::FatalInput ||
               stop.reason() == StopReason::WriteFailed) {
        context.closingMessage(cp1250(" OBLICZENIA ZATRZYMANE:") + formatTimeOfDay(context.now()));
        std::string_view text = stop.what();
        text = text.substr(0, text.find('\n'));
        text.remove_prefix(std::min(text.size(), text.find_first_not_of(' ')));
        context.closingMessage(" " + cp1250(text));
    }
}

} // namespace ptw3
