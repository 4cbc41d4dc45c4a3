#include "engine/residual_analysis.h"

#include "common/encoding.h"

#include <cmath>
#include <string>

namespace ptw3 {

ResidualJudgement judgeResidual(const ResidualConstants& c, Real v, Real mObs, Real mAdj) {
    Real mV2 = mObs * mObs - mAdj * mAdj;
    if (mV2 <= c.floor) {
        mV2 = c.substitute;
    }
    ResidualJudgement j;
    j.mV = std::sqrt(mV2);
    j.outlier = std::fabs(v) > 3 * j.mV + c.margin;
    return j;
}

void ResidualStatistics::count(const ResidualConstants& c, Real v, bool outlier) {
    if (std::fabs(v) < c.nearZero) {
        ++nearZero;
    } else if (c.signByZero ? v >= 0 : v >= c.nearZero) {
        ++positive;
    } else {
        ++negative;
    }
    if (outlier) {
        ++outliers;
    }
}

void writeStatistics(ReportFile& mainReport, ReportFile& controlReport,
                     const StatisticsLabels& labels, const ResidualStatistics& counts) {
    const std::string outlierLine =
        cp1250(labels.outliers) + std::to_string(counts.outliers) + cp1250(labels.outliersSuffix);
    mainReport.line(cp1250(labels.title));
    mainReport.line(cp1250(labels.negative) + std::to_string(counts.negative));
    mainReport.line(cp1250(labels.positive) + std::to_string(counts.positive));
    mainReport.line(cp1250(labels.nearZero) + std::to_string(counts.nearZero) +
                    cp1250(labels.nearZeroSuffix));
    mainReport.line(outlierLine);
    controlReport.line(outlierLine);
}

} // namespace ptw3
