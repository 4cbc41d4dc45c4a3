// The option lists and fields of the main window as both front-ends map them: each list
// entry's exact text with the typed choice it stands for, the acceleration the check box and
// the turbo button choose, and the rules of the iteration field. The console program takes
// the same texts beside its own words.
#pragma once

#include "control/quality_control.h"
#include "engine/calculation_options.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ptw3 {

struct PrincipleEntry {
    std::string_view text;
    AdjustmentPrinciple principle;
};
inline constexpr std::array<PrincipleEntry, 4> principleEntries = {{
    {"STANDARD MNK", AdjustmentPrinciple::LeastSquares},
    {"EST. MOCNA dla  Długości  [D]", AdjustmentPrinciple::RobustDistances},
    {"EST. MOCNA dla  Kątów [K]    ", AdjustmentPrinciple::RobustAngles},
    {"EST. MOCNA dla  [D] + [K]", AdjustmentPrinciple::RobustDistancesAndAngles},
}};

struct ModeEntry {
    std::string_view text;
    AnalysisMode mode;
};
inline constexpr std::array<ModeEntry, 2> modeEntries = {{
    {"PEŁNY  [standard]", AnalysisMode::Full},
    {"z przybliżoną oceną Mv  ", AnalysisMode::Approximate},
}};

/// The principle whose entry text equals the UTF-8 text exactly (case and blanks count).
std::optional<AdjustmentPrinciple> principleByText(std::string_view text);
/// The analysis mode whose entry text equals the UTF-8 text exactly.
std::optional<AnalysisMode> modeByText(std::string_view text);

/// " przyspiesz analizę dokładności " checked chooses standard, and with " turbo" turbo;
/// the " standard" button itself is not consulted.
AccelerationLevel accelerationOf(bool accelerate, bool turbo);

/// The iteration field's text that asks for 4 iterations with the boost of the accuracy
/// analysis, which is kept as the person chose it (every level computes exact cofactors).
inline constexpr int32_t boostIterationCode = 8361;

/// What the iteration field's text means for a run.
struct IterationChoice {
    int32_t iterationCount = 4;
    bool accelerationBoost = false;
    std::optional<std::string> correctedText; ///< the text the field is set to, if changed
};

/// The iteration field rules: not an integer gives 4 (the text stays), 1 or less gives 2,
/// 8361 gives 4 with the boost, anything else is used as it is.
IterationChoice interpretIterationField(std::string_view text);

/// The accuracy standard's list: the two usual standards; any other is typed in metres.
struct MpLimitEntry {
    std::string_view text;
    Real limit; ///< m
};
inline constexpr std::array<MpLimitEntry, 2> mpLimitEntries = {{
    {"0.05 m (osnowa szczegółowa)", detailedControlLimit},
    {"0.10 m (osnowa pomiarowa)", surveyControlLimit},
}};

/// A length typed in metres: a positive number with "." or "," before its decimals, "m"
/// after it if need be, blanks around. Nothing for any other text.
std::optional<Real> metresByText(std::string_view text);

/// The accuracy standard (m) that an entry's text names, or a typed value in metres
/// (`metresByText`). Nothing for any other text.
std::optional<Real> mpLimitByText(std::string_view text);

} // namespace ptw3
