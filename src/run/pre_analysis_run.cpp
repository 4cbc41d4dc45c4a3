// The order of a pre-analysis: what an earlier computation left goes first, the data input
// (its ER3a.ptw stays when it stops), the plan's single pass, whose reports then go, the
// candidates and the analysis, PROJEKT.ptw and the files beside it, the summary lines.

#include "run/pre_analysis_run.h"

#include "common/encoding.h"
#include "common/folder_files.h"
#include "common/number_format.h"
#include "common/text_file.h"
#include "control/control_report.h"
#include "design/plan_report.h"
#include "design/pre_analysis.h"
#include "engine/adjustment.h"
#include "export/extra_files.h"
#include "input/read_network_data.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ptw3 {
namespace {

namespace fs = std::filesystem;

/// The file to which an adjustment writes back the mean distortion of the distances.
constexpr std::string_view distortionFile = "redukcje";

void removeReports(const fs::path& folder, bool diagnosticsToo) {
    for (const std::string_view name : adjustmentReportNames) {
        if (diagnosticsToo || name != "er3a.ptw") {
            removeFileNoCase(folder, name);
        }
    }
}

/// Keeps an input file as it was before the plan's adjustment, which writes it back: the
/// values of a plan are no measurements, so what follows from them must not reach the data
/// of the next computation. Put back (or removed again) however the run ends.
class KeptInputFile {
public:
    KeptInputFile(fs::path folder, std::string_view name)
        : m_folder(std::move(folder))
        , m_name(name) {
        if (const auto path = findFileNoCase(m_folder, m_name)) {
            m_bytes = readFileBytes(*path);
        }
    }
    ~KeptInputFile() {
        if (m_bytes) {
            replaceFile(m_folder, m_name, *m_bytes);
        } else {
            removeFileNoCase(m_folder, m_name);
        }
    }
    KeptInputFile(const KeptInputFile&) = delete;
    KeptInputFile& operator=(const KeptInputFile&) = delete;

private:
    fs::path m_folder;
    std::string_view m_name;
    std::optional<std::string> m_bytes;
};

struct PositionErrors {
    Real mean = 0;
    Real largest = 0;
};

PositionErrors positionErrors(const PreAnalysis& a) {
    PositionErrors e;
    for (const PlannedPoint& p : a.points) {
        e.mean += p.mp;
        e.largest = std::max(e.largest, p.mp);
    }
    if (!a.points.empty()) {
        e.mean /= static_cast<Real>(a.points.size());
    }
    return e;
}

} // namespace

void runPreAnalysis(ProgramState& state, const RunChoices& choices, const LocalDateTime& started,
                    RunContext& context) {
    const fs::path& folder = state.options.workingFolder;
    // Whatever an earlier computation left goes first, so that nothing of it stands beside
    // the plan's report, even if this run stops.
    removeControlReport(folder);
    removePlanReport(folder);
    removeReports(folder, true);
    removeExtraFiles(folder);
    context.message(cp1250(" ANALIZA PRZEDWYKONAWCZA (projekt sieci)"));

    NetworkData& network = state.network;
    readNetworkData(folder, network, context);
    computePlannedValues(network, state.options.system);

    // One pass held at the approximate coordinates: its cofactors are those of the plan,
    // whatever the principle and the mode chosen for adjustments.
    CalculationOptions options = state.options;
    options.iterationCount = 1;
    options.holdCoordinates = true;
    options.principle = AdjustmentPrinciple::LeastSquares;
    options.analysisMode = AnalysisMode::Full;
    CalculationResults& results = state.results;
    AdjustmentOutcome outcome;
    {
        const KeptInputFile distortion(folder, distortionFile);
        try {
            adjustNetwork(options, network, results, context, &outcome);
        } catch (const Stop&) {
            removeReports(folder, false);
            throw;
        }
        removeReports(folder, true);
    }

    const PlanOptions& plan = choices.plan;
    std::vector<std::string> refused;
    std::vector<CandidateObservation> candidates;
    if (plan.advise) {
        candidates = readCandidates(folder, network, refused);
        if (plan.candidatesWithin) {
            const std::vector<CandidateObservation> generated =
                generateCandidates(network, outcome, plan);
            candidates.insert(candidates.end(), generated.begin(), generated.end());
        }
    }
    context.message(cp1250(plan.advise ? " DORADCA PROJEKTU - proszę czekać"
                                       : " ANALIZA PROJEKTU SIECI - proszę czekać"));
    const PreAnalysis analysis = analysePlan(network, outcome, plan, candidates);
    // A stop asked for during the analysis ends the run before its report is written.
    context.checkCancelled();
    const std::string report =
        planReportText(network, outcome, analysis, plan, refused, context.now());
    if (!writePlanReport(folder, report)) {
        context.message(cp1250(" UWAGA: nie zapisano pliku ") + std::string(planReportTitle));
    }
    if (choices.extraFiles) {
        NetworkResults collected =
            collectResults(network, options, outcome, results, started, context.now());
        applyPreAnalysis(collected, analysis);
        for (const std::string_view name : writeExtraFiles(folder, collected)) {
            context.message(cp1250(" UWAGA: nie zapisano pliku ") + std::string(name));
        }
    }

    // The summary gives the plan's figures, those of the unit error 1.
    const PositionErrors errors = positionErrors(analysis);
    results.meanPositionError = roundPositionError(errors.mean);
    results.maxPositionError = roundPositionError(errors.largest);
    context.message(cp1250(" Przeciętny błąd położenia punktu = ") +
                    general(results.meanPositionError));
    context.message(cp1250(" Maksymalny błąd położenia punktu = ") +
                    general(results.maxPositionError));
    for (const std::string& line : planVerdictLines(analysis)) {
        context.message(line);
    }
    context.message(cp1250(" KONIEC OBLICZEŃ:") + formatTimeOfDay(context.now()));
    if (results.systemDefect) {
        context.message(cp1250(" UWAGA: ZIDENTYFIKOWANO DEFEKT UKŁADU "));
    }
}

} // namespace ptw3
