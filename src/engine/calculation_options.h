// The choices a computation runs with, typed, and the figures and decisions the adjustment
// hands back to the calculation run.
#pragma once

#include "common/real.h"
#include "observations/coordinate_system.h"
#include "solver/arithmetic.h"

#include <cstdint>
#include <filesystem>

namespace ptw3 {

/// Ordinary least squares, or robust estimation (re-weighting to expose gross errors) of
/// distances, of angles and directions, or of both.
enum class AdjustmentPrinciple : uint8_t {
    LeastSquares,
    RobustDistances,
    RobustAngles,
    RobustDistancesAndAngles,
};

/// The accuracy analysis: the full covariance of the adjusted observations, or the
/// approximate mean errors of residuals by Otrębski's theorem.
enum class AnalysisMode : uint8_t { Full, Approximate };

/// The acceleration of the accuracy analysis the person chose. The selected inverse gives
/// the exact cofactors faster than any neglect of small elements did, so every level computes
/// them exactly; the level is kept as the person chose it.
enum class AccelerationLevel : uint8_t { None, Standard, Turbo };

struct CalculationOptions {
    std::filesystem::path workingFolder;
    int32_t iterationCount = 4; ///< Gauss-Newton iterations, 2 or more
    SystemZone system;
    AdjustmentPrinciple principle = AdjustmentPrinciple::LeastSquares;
    AnalysisMode analysisMode = AnalysisMode::Full;
    AccelerationLevel accelerationLevel = AccelerationLevel::Turbo;
    bool accelerationBoost = false; ///< the iteration field's 8361, kept like the level
    /// The arithmetic of the factorisation and the selected inversion.
    Arithmetic arithmetic = Arithmetic::DoubleDouble;
    /// Threads of the factorisation and the inversion, 0 for one per hardware thread; the
    /// results do not depend on it.
    int32_t threadCount = 0;
    /// The coordinates stay where they are given: the normal equations of the first pass and
    /// the last pass are both formed at the approximate coordinates (a plan's pre-analysis,
    /// whose observed values mean nothing).
    bool holdCoordinates = false;
};

struct CalculationResults {
    bool systemDefect = false;        ///< the person went on past a defect of the system
    Real meanPositionError = 0;       ///< average point position error, m
    Real maxPositionError = 0;        ///< largest point position error, m
    Real coordinateIncrementNorm = 0; ///< RMS coordinate increment of the last iteration, m
    /// The analysis mode the options keep after the computation: approximate once robust
    /// estimation has made the weights no longer those of the observations.
    AnalysisMode analysisModeAfter = AnalysisMode::Full;
};

} // namespace ptw3
