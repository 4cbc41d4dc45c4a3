// The option codes a computation runs with, and the figures the adjustment hands
// back to the calculation run.
#pragma once

#include "common/real.h"
#include "solver/arithmetic.h"

#include <cstdint>
#include <filesystem>

namespace ptw3 {

/// adjustmentPrinciple: ordinary least squares, or robust estimation (1000) for distances
/// (+10), for angles and directions (+1), or both.
inline constexpr int32_t principleLeastSquares = 1;
inline constexpr int32_t principleRobustDistances = 1010;
inline constexpr int32_t principleRobustAngles = 1001;
inline constexpr int32_t principleRobustBoth = 1011;

/// analysisMode: full accuracy analysis, or approximate mean errors of residuals
/// (Otrębski's theorem).
inline constexpr int32_t analysisFull = 1;
inline constexpr int32_t analysisApproximate = 2;

struct CalculationOptions {
    std::filesystem::path workingFolder;
    int32_t iterationCount = 4;    ///< Gauss-Newton iterations, 2 or more
    int32_t coordinateSystem = 0;  ///< 0, 1965, 19426, 19423, 1992, 2000, 1986, 1000
    int32_t zone = 0;              ///< 0, 1 to 5, or a central meridian 15, 18, 21, 24
    int32_t adjustmentPrinciple = principleLeastSquares;
    int32_t analysisMode = analysisFull;
    /// Accuracy analysis: 0 none, 1 standard, 2 turbo. The selected inverse gives the exact
    /// cofactors faster than any neglect of small elements did, so every level computes
    /// them exactly; the level is kept as the person chose it.
    int32_t accelerationLevel = 2;
    int32_t accelerationBoost = 0; ///< the iteration field's 8361: a finer analysis, as above
    /// The arithmetic of the factorisation and the selected inversion.
    Arithmetic arithmetic = Arithmetic::DoubleDouble;
    /// Threads of the factorisation and the inversion, 0 for one per hardware thread; the
    /// results do not depend on it.
    int32_t threadCount = 0;
};

struct CalculationResults {
    int32_t systemDefect = 0;          ///< 1 when the user went on past a defect of the system
    Real meanPositionError = 0;        ///< average point position error, m
    Real maxPositionError = 0;         ///< largest point position error, m
    Real coordinateIncrementNorm = 0;  ///< RMS coordinate increment of the last iteration, m
};

} // namespace ptw3
