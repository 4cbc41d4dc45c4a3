// The long phases of a computation as its progress reports name them. The names are
// shown to the person beside the progress bar and are the same wherever a phase is
// reported (UTF-8 here; the run context takes Windows-1250, cp1250()). The engine
// reports the solver's factorisation and point cofactors under the same names.
#pragma once

#include <array>
#include <string_view>

namespace ptw3::phase {

inline constexpr std::string_view readingData = "Czytanie i kontrola danych";
/// One iteration's pass over the observations, accumulating the normal equations.
inline constexpr std::string_view formingNormalEquations =
    "Tworzenie układu równań normalnych";
/// One iteration's factorisation and solution of the normal equations.
inline constexpr std::string_view solvingNormalEquations =
    "Rozwiązywanie układu równań normalnych";
/// The cofactors of the points after the last iteration.
inline constexpr std::string_view pointAnalysis = "Analiza dokładności punktów";
/// The last pass: adjusted observations, their cofactors and residuals.
inline constexpr std::string_view observationAnalysis = "Analiza dokładności obserwacji";
/// The coordinate table, XY.ptw, DXDY.ptw and the closing block.
inline constexpr std::string_view resultFiles = "Zapis zbiorów wynikowych";

/// Every phase, in the order a computation goes through them (the two iteration phases
/// repeat once per iteration).
inline constexpr std::array all = {readingData,   formingNormalEquations, solvingNormalEquations,
                                   pointAnalysis, observationAnalysis,    resultFiles};

} // namespace ptw3::phase
