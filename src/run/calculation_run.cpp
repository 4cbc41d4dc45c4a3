#include "run/calculation_run.h"

#include "common/encoding.h"
#include "common/number_format.h"
#include "control/control_report.h"
#include "design/plan_report.h"
#include "engine/adjustment.h"
#include "export/extra_files.h"
#include "input/read_network_data.h"
#include "run/pre_analysis_run.h"
#include "run/uklad.h"

#include <algorithm>
#include <optional>

namespace ptw3 {
namespace {

constexpr int32_t firstBlankedLine = 1;
constexpr int32_t lastBlankedLine = 30;
constexpr int32_t startLine = 2;
constexpr int32_t readingLine = 3;
constexpr int32_t incrementNormUnitsWarning = 50; // 0.0005 m in units of 0.00001 m

Real incrementNormUnits(Real metres) { return roundHalfEven((metres + 1e-7L) * 100000); }

} // namespace

Real roundPositionError(Real metres) { return roundHalfEven(metres * 10000) * 0.0001L; }

Real roundIncrementNorm(Real metres) { return incrementNormUnits(metres) * 0.00001L; }

bool needsMoreIterations(Real roundedNorm) {
    return roundHalfEven(roundedNorm * 100000) > incrementNormUnitsWarning;
}

void runCalculation(ProgramState& state, const RunChoices& choices, RunContext& context) {
    context.blankMessages(firstBlankedLine, lastBlankedLine);

    // The run works on its own copy, so a window set-up during a dialog cannot change the
    // options of a computation under way.
    CalculationOptions options = state.options;
    options.system = choices.system.value_or(options.system);
    options.principle = choices.principle.value_or(options.principle);
    options.analysisMode = choices.analysisMode.value_or(options.analysisMode);
    options.iterationCount = choices.iterationCount;
    options.accelerationLevel = choices.acceleration;
    options.accelerationBoost = choices.accelerationBoost;
    options.arithmetic = choices.arithmetic;
    options.threadCount = choices.threadCount;
    const bool ukladKept = updateUkladIfPresent(options.workingFolder, options.system);
    state.options = options;
    state.results.systemDefect = false;

    const LocalDateTime started = context.now();
    context.messageAt(startLine, cp1250(" POCZĄTEK OBLICZEŃ:") + formatTimeOfDay(started));
    context.messageAt(readingLine, cp1250(" CZYTANIE I KONTROLA DANYCH - proszę czekać"));
    if (!ukladKept) {
        context.message(cp1250(" UWAGA: nie zapisano pliku uklad"));
    }

    if (choices.preAnalysis) {
        runPreAnalysis(state, choices, started, context);
        return;
    }
    // The control report and the plan's report of an earlier computation go first, so that
    // they never stand beside the reports of this one, even if this one stops.
    removeControlReport(options.workingFolder);
    removePlanReport(options.workingFolder);
    readNetworkData(options.workingFolder, state.network, context);
    // Also when this computation writes none: those of an earlier one must not stand beside
    // its reports.
    removeExtraFiles(options.workingFolder);
    AdjustmentOutcome outcome;
    const bool outcomeNeeded = choices.extraFiles || choices.control;
    CalculationResults& results = state.results;
    adjustNetwork(options, state.network, results, context, outcomeNeeded ? &outcome : nullptr);
    // After robust estimation the mode in memory is the approximate one.
    state.options.analysisMode = results.analysisModeAfter;

    std::optional<QualityControl> control;
    if (choices.control) {
        context.message(cp1250(" KONTROLA WYRÓWNANIA - proszę czekać"));
        ControlOptions controlOptions = choices.controlOptions;
        controlOptions.threads = choices.threadCount;
        control = controlAdjustment(state.network, outcome, controlOptions);
        // A stop asked for during the control ends the run before its report is written.
        context.checkCancelled();
        const std::string report =
            controlReportText(state.network, outcome, *control, context.now());
        if (!writeControlReport(options.workingFolder, report)) {
            context.message(cp1250(" UWAGA: nie zapisano pliku ") +
                            std::string(controlReportTitle));
        }
    }
    if (choices.extraFiles) {
        NetworkResults collected = collectResults(state.network, options, outcome, results,
                                                  started, context.now());
        collected.control = control;
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
    if (control) {
        for (const std::string& line : controlVerdictLines(state.network, *control)) {
            context.message(line);
        }
    }
    context.message(cp1250(" KONIEC OBLICZEŃ:") + formatTimeOfDay(context.now()));
    if (needsMoreIterations(results.coordinateIncrementNorm)) {
        context.message(cp1250(" UWAGA: zalecone zwiększenie liczby iteracji !!"));
    }
    if (results.systemDefect) {
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
