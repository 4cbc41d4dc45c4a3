#include "design/pre_analysis.h"

namespace ptw3 {

std::vector<CandidateObservation> readCandidates(const std::filesystem::path&,
                                                 const NetworkData&, std::vector<std::string>&) {
    return {};
}

std::vector<CandidateObservation> generateCandidates(const NetworkData&, const AdjustmentOutcome&,
                                                     const PlanOptions&) {
    return {};
}

void computePlannedValues(NetworkData&) {}

PreAnalysis analysePlan(const NetworkData&, const AdjustmentOutcome&, const PlanOptions& options,
                        const std::vector<CandidateObservation>&) {
    PreAnalysis p;
    p.standard.limit = options.mpLimit;
    return p;
}

} // namespace ptw3
