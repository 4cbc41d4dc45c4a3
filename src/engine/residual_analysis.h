// Judging adjusted observations: the mean error of the residual from the mean
// errors of the observation and of the adjusted observation, the outlier test
// |v| > 3·mV, and the counts of residuals by sign and size with their paragraph.
#pragma once

#include "common/real.h"
#include "common/text_file.h"

#include <string_view>

namespace ptw3 {

/// The constants of one observation kind (units of its residuals: cc or m).
struct ResidualConstants {
    Real floor;      ///< mV² at or below this ...
    Real substitute; ///< ... is replaced by this
    Real margin;     ///< added to 3·mV in the outlier test
    Real nearZero;   ///< |v| below this is near zero
    bool signByZero; ///< distances: the sign classes split at 0 rather than at ±nearZero
};

// clang-format off
inline constexpr ResidualConstants angleResiduals     {0.000001L, 0.00001L, 0.0001L, 0.1L,    false};
inline constexpr ResidualConstants directionResiduals {0.000001L, 0.00001L, 0.01L,   0.1L,    false};
inline constexpr ResidualConstants distanceResiduals  {1e-10L,    1e-10L,   0.0001L, 0.0001L, true};
inline constexpr ResidualConstants azimuthResiduals   {1e-10L,    1e-10L,   0.01L,   0.1L,    false};
// clang-format on

/// The marker ending a row of an ordinary observation and of an outlier.
inline constexpr std::string_view ordinaryMarker = "| ";
inline constexpr std::string_view outlierMarker = " *";

struct ResidualJudgement {
    Real mV = 0;         ///< mean error of the residual
    bool outlier = false;
    std::string_view marker() const { return outlier ? outlierMarker : ordinaryMarker; }
};

/// mV = √(m_obs² − m_adj²) with the kind's floor, and the outlier test on v.
ResidualJudgement judgeResidual(const ResidualConstants& c, Real v, Real mObs, Real mAdj);

/// The labels of a kind's statistics paragraph (UTF-8), given by each kind's tables.
struct StatisticsLabels {
    std::string_view title;
    std::string_view negative;
    std::string_view positive;
    std::string_view nearZero;
    std::string_view nearZeroSuffix;
    std::string_view outliers;
    std::string_view outliersSuffix;
};

/// Counts of the residuals of one kind in the last pass.
struct ResidualStatistics {
    int32_t negative = 0;
    int32_t positive = 0;
    int32_t nearZero = 0;
    int32_t outliers = 0;

    void count(const ResidualConstants& c, Real v, bool outlier);
};

/// The paragraph to the main report (title and the four lines), and its outlier line to the
/// control report.
void writeStatistics(ReportFile& mainReport, ReportFile& controlReport,
                     const StatisticsLabels& labels, const ResidualStatistics& counts);

} // namespace ptw3
