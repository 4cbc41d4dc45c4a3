// The calculation run behind "OBLICZAJ ": the texts of the option controls
// become option codes, uklad is kept in step, the data input and the adjustment
// run, and the summary lines close the message list.
#pragma once

#include "common/run_context.h"
#include "common/stop.h"
#include "run/coordinate_systems.h"
#include "run/program_state.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace ptw3 {

/// The entries of the principle list, with their adjustmentPrinciple codes.
struct PrincipleEntry {
    std::string_view text;
    int32_t principle;
};
inline constexpr std::array<PrincipleEntry, 4> principleEntries = {{
    {"STANDARD MNK", principleLeastSquares},
    {"EST. MOCNA dla  Długości  [D]", principleRobustDistances},
    {"EST. MOCNA dla  Kątów [K]    ", principleRobustAngles},
    {"EST. MOCNA dla  [D] + [K]", principleRobustBoth},
}};

/// The entries of the accuracy-analysis mode list, with their analysisMode codes.
struct ModeEntry {
    std::string_view text;
    int32_t mode;
};
inline constexpr std::array<ModeEntry, 2> modeEntries = {{
    {"PEŁNY  [standard]", analysisFull},
    {"z przybliżoną oceną Mv  ", analysisApproximate},
}};

/// The iteration field's text that makes the run use 4 iterations with the observations'
/// neglect threshold lowered a further tenfold.
inline constexpr int32_t boostIterationCode = 8361;

/// The state of the window's option controls as a run reads them (UTF-8 texts).
struct RunControls {
    std::string systemText = std::string(coordinateSystemEntries[0].text);
    std::string principleText = std::string(principleEntries[0].text);
    std::string modeText = std::string(modeEntries[0].text);
    std::string iterationsText = "4";
    bool accelerate = true; ///< " przyspiesz analizę dokładności "
    bool turbo = true;      ///< " turbo" rather than " standard"
    Arithmetic arithmetic = Arithmetic::DoubleDouble;
    int32_t threadCount = 0; ///< 0: one per hardware thread
    /// wyniki.json, punkty.csv, obserwacje.csv and siec.svg beside the reports
    bool extraFiles = true;
};

/// What the iteration field's text means for a run.
struct IterationChoice {
    int32_t iterationCount = 4;
    int32_t accelerationBoost = 0;
    std::optional<std::string> correctedText; ///< the text the field is set to, if changed
};

/// The iteration field rules: not an integer gives 4 (the text stays), 1 or less gives 2,
/// 8361 gives 4 with the boost, anything else is used as it is.
IterationChoice interpretIterationField(std::string_view text);

/// The summary's rounding: position errors to 0.0001 m, the increment norm to 0.00001 m
/// after adding 1e-7 m; halves to even.
Real roundPositionError(Real metres);
Real roundIncrementNorm(Real metres);
/// True when the rounded increment norm calls for more iterations (above 0.0005 m).
bool needsMoreIterations(Real roundedNorm);

/// Runs one computation with the options the controls hold when it starts. The iteration
/// field's text in `controls` is corrected as the rules say. A fatal input error or a No
/// answer throws Stop; the summary is then not written.
void runCalculation(ProgramState& state, RunControls& controls, RunContext& context);

/// The message-list lines with which the window ends a run stopped before its summary, also
/// after a stop was requested: " OBLICZENIA PRZERWANE:" and the time when the person stopped
/// it; " OBLICZENIA ZATRZYMANE:" and the time, then the first line of the box already shown,
/// after a fatal input error or a report that could not be written. Other stops end the
/// program and write nothing.
void writeStopLines(const Stop& stop, RunContext& context);

} // namespace ptw3
