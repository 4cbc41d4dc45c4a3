// The calculation run behind "OBLICZAJ ": the person's choices complete the options in
// memory, uklad is kept in step (a warning line when it cannot be), the data input and the
// adjustment run, the quality control tests the adjustment (KONTROLA.ptw), the files beside
// the reports are written, and the summary lines with the control's verdicts close the
// message list. A pre-analysis of a planned network runs instead when it is chosen.
#pragma once

#include "common/run_context.h"
#include "common/stop.h"
#include "control/quality_control.h"
#include "design/pre_analysis.h"
#include "engine/calculation_options.h"
#include "observations/coordinate_system.h"
#include "run/program_state.h"

#include <optional>

namespace ptw3 {

/// What the person chose for one computation. An empty choice (a list whose text names none
/// of its entries) keeps what the options in memory hold.
struct RunChoices {
    std::optional<SystemZone> system;
    std::optional<AdjustmentPrinciple> principle;
    std::optional<AnalysisMode> analysisMode;
    int32_t iterationCount = 4;     ///< from the iteration field's rules
    bool accelerationBoost = false; ///< the iteration field's 8361
    AccelerationLevel acceleration = AccelerationLevel::Turbo;
    Arithmetic arithmetic = Arithmetic::DoubleDouble;
    int32_t threadCount = 0; ///< 0: one per hardware thread
    /// wyniki.json, punkty.csv, obserwacje.csv and siec.svg beside the reports
    bool extraFiles = true;
    /// KONTROLA.ptw and the quality control in the extra files
    bool control = true;
    ControlOptions controlOptions;
    /// A pre-analysis of the plan in the folder instead of an adjustment (PROJEKT.ptw).
    bool preAnalysis = false;
    PlanOptions plan;
};

/// The summary's rounding: position errors to 0.0001 m, the increment norm to 0.00001 m
/// after adding 1e-7 m; halves to even.
Real roundPositionError(Real metres);
Real roundIncrementNorm(Real metres);
/// True when the rounded increment norm calls for more iterations (above 0.0005 m).
bool needsMoreIterations(Real roundedNorm);

/// Runs one computation with the choices, completing them from the options in memory, which
/// then keep what the computation ran with (and the analysis mode it ended in). A fatal input
/// error or a No answer throws Stop; the summary is then not written.
void runCalculation(ProgramState& state, const RunChoices& choices, RunContext& context);

/// The message-list lines with which the window ends a run stopped before its summary, also
/// after a stop was requested: " OBLICZENIA PRZERWANE:" and the time when the person stopped
/// it; " OBLICZENIA ZATRZYMANE:" and the time, then the first line of the box already shown,
/// after a fatal input error or a report that could not be written. Other stops end the
/// program and write nothing.
void writeStopLines(const Stop& stop, RunContext& context);

} // namespace ptw3
