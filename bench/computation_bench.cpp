// The whole computation on a generated network, phase by phase: data input, each
// Gauss-Newton iteration (forming the observation equations, then solving), the point
// analysis (the selected inversion), the analysis of the observations with the result
// files, and the peak memory of the process; then the files beside the reports (wyniki.json,
// punkty.csv, obserwacje.csv, siec.svg, siec.gpkg, siec.dxf) one by one. The phases are told
// apart by the message-list lines the computation writes and by the first progress report of
// the solution.
//
//   computation_bench [--points N] [--acceleration none|standard|turbo] [--mode full|approx]
//                     [--iterations K] [--seed S] [--shape grid|chain|clusters|field]
//                     [--arithmetic double-double|extended] [--threads T] [--folder DIR]
//                     [--extra-files 0|1]

#include "bench/network_generator.h"
#include "common/clock.h"
#include "common/message_list.h"
#include "common/run_context.h"
#include "common/run_phases.h"
#include "common/stop.h"
#include "common/user_interaction.h"
#include "control/control_model.h"
#include "design/pre_analysis.h"
#include "engine/adjustment.h"
#include "solver/profile_kernels.h"
#include "export/gis_files.h"
#include "export/results.h"
#include "export/results_csv.h"
#include "export/results_json.h"
#include "export/sketch_svg.h"
#include "input/read_network_data.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::string_view solvingPhase = ptw3::phase::solvingNormalEquations;

/// Records the moment of every message line and of the start of every solution, and
/// answers every question Yes.
class PhaseTimer : public ptw3::UserInteraction {
public:
    struct Mark {
        Clock::time_point at;
        std::string text;
    };
    std::vector<Mark> marks;

    void progress(const std::string& phase, double fraction) override {
        if (phase == solvingPhase && fraction == 0) {
            marks.push_back({Clock::now(), std::string(solvingPhase)});
        }
    }

    void message(int32_t, const std::string& text) override {
        marks.push_back({Clock::now(), text});
        std::fprintf(stderr, "%8.1f s %s\n", seconds(start, marks.back().at), text.c_str());
    }
    void messagesBlanked(int32_t, int32_t) override {}
    bool confirm(const std::string& text) override {
        std::fprintf(stderr, "question answered Yes: %s\n", text.c_str());
        return true;
    }
    void inform(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }

    static double seconds(Clock::time_point from, Clock::time_point to) {
        return std::chrono::duration<double>(to - from).count();
    }
    Clock::time_point start = Clock::now();
};

double peakMemoryMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

std::string textArgument(int argc, char** argv, const std::string& name,
                         const std::string& fallback) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (argv[i] == name) {
            return argv[i + 1];
        }
    }
    return fallback;
}

int argument(int argc, char** argv, const std::string& name, int fallback) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (argv[i] == name) {
            return std::atoi(argv[i + 1]);
        }
    }
    return fallback;
}

} // namespace

int main(int argc, char** argv) {
    const int points = argument(argc, argv, "--points", 1000);
    fs::path folder = fs::temp_directory_path() / ("ptw3-computation-" + std::to_string(points));
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--folder") {
            folder = argv[i + 1];
        }
    }
    ptw3::bench::GeneratorOptions generator;
    generator.pointCount = points;
    generator.seed = static_cast<uint64_t>(argument(argc, argv, "--seed", 1));
    const std::string shape = textArgument(argc, argv, "--shape", "grid");
    if (const auto named = ptw3::bench::shapeNamed(shape)) {
        generator.shape = *named;
    } else {
        std::fprintf(stderr, "computation_bench: not a shape: %s\n", shape.c_str());
        return 2;
    }
    fs::remove_all(folder);
    ptw3::bench::generateNetwork(folder, generator);

    ptw3::CalculationOptions options;
    options.workingFolder = folder;
    options.iterationCount = argument(argc, argv, "--iterations", 4);
    const std::string acceleration = textArgument(argc, argv, "--acceleration", "none");
    options.accelerationLevel = acceleration == "turbo"      ? ptw3::AccelerationLevel::Turbo
                                : acceleration == "standard" ? ptw3::AccelerationLevel::Standard
                                                             : ptw3::AccelerationLevel::None;
    const std::string mode = textArgument(argc, argv, "--mode", "full");
    options.analysisMode =
        mode == "approx" ? ptw3::AnalysisMode::Approximate : ptw3::AnalysisMode::Full;
    const std::string arithmeticName = textArgument(argc, argv, "--arithmetic", "double-double");
    options.arithmetic = arithmeticName == "extended" ? ptw3::Arithmetic::Extended
                                                  : ptw3::Arithmetic::DoubleDouble;
    options.threadCount = argument(argc, argv, "--threads", 0);
    ptw3::MessageList messages;
    PhaseTimer timer;
    ptw3::SystemClock clock;
    ptw3::RunContext context(messages, timer, clock);
    ptw3::NetworkData network;
    ptw3::CalculationResults results;
    const bool extraFiles = argument(argc, argv, "--extra-files", 1) != 0;
    ptw3::AdjustmentOutcome outcome;

    const auto start = Clock::now();
    timer.start = start;
    ptw3::readNetworkData(folder, network, context);
    // A pre-analysis: the network as a plan, one pass held at the approximate coordinates.
    const int advisorWithin = argument(argc, argv, "--advise-within", 0);
    const bool plan = argument(argc, argv, "--pre-analysis", 0) != 0 || advisorWithin > 0;
    if (plan) {
        ptw3::computePlannedValues(network, options.system);
        options.iterationCount = 1;
        options.holdCoordinates = true;
    }
    const auto inputEnd = Clock::now();
    ptw3::adjustNetwork(options, network, results, context, extraFiles ? &outcome : nullptr);
    const auto end = Clock::now();

    const ptw3::DoubleDoubleKernels* kernels[3] = {};
    ptw3::availableDoubleDoubleKernels(kernels, 3);
    std::printf("points %d (%s), unknowns %d, acceleration %s, mode %s, iterations %d\n",
                network.lp(), shape.c_str(), 2 * network.determinedCount(), acceleration.c_str(),
                mode.c_str(), options.iterationCount);
    const std::string arithmetic = options.arithmetic == ptw3::Arithmetic::Extended
                                       ? std::string("extended")
                                       : "double-double (" + std::string(kernels[0]->name) +
                                             " vectors)";
    std::printf("arithmetic %s, threads %d\n", arithmetic.c_str(),
                options.threadCount > 0 ? options.threadCount
                                        : static_cast<int>(std::thread::hardware_concurrency()));
    const auto row = [](const std::string& label, double seconds) {
        std::printf("%-44s %9.2f s\n", label.c_str(), seconds);
    };
    row("data input", PhaseTimer::seconds(start, inputEnd));
    // Each mark ends the phase that the previous one began.
    std::string phase = "preamble and profile";
    auto previous = inputEnd;
    int iteration = 0;
    double solving = 0;
    for (const auto& mark : timer.marks) {
        const bool solves = mark.text == solvingPhase;
        const bool iterationEnds = mark.text.starts_with(" ITERACJA");
        const bool analysis = mark.text.starts_with(" ANALIZA");
        if (mark.at < inputEnd || !(solves || iterationEnds || analysis ||
                                    mark.text.starts_with(" WYR"))) {
            continue;
        }
        if (analysis && phase.ends_with("observation equations")) {
            // No iteration followed the last one: its moment belongs to the analysis.
            phase = "point analysis (selected inversion)";
            continue;
        }
        const double seconds = PhaseTimer::seconds(previous, mark.at);
        row(phase, seconds);
        if (iterationEnds) {
            solving += seconds;
        }
        previous = mark.at;
        if (solves) {
            phase = "iteration " + std::to_string(iteration) + ": factorisation, substitutions";
        } else if (analysis) {
            phase = mark.text.find("PUNKT") != std::string::npos
                        ? "point analysis (selected inversion)"
                        : "observation analysis and result files";
        } else {
            phase = "iteration " + std::to_string(++iteration) + ": observation equations";
        }
    }
    row(phase, PhaseTimer::seconds(previous, end));
    row("all factorisations and substitutions", solving);
    row("whole computation", PhaseTimer::seconds(start, end));
    if (extraFiles) {
        auto before = Clock::now();
        const auto lap = [&](const char* what) {
            const auto now = Clock::now();
            row(what, PhaseTimer::seconds(before, now));
            before = now;
        };
        const ptw3::NetworkResults collected =
            ptw3::collectResults(network, options, outcome, results, {}, {});
        lap("results with reliability figures");
        ptw3::writeResultsJson(folder, collected);
        lap("wyniki.json");
        ptw3::writePointsCsv(folder, collected);
        lap("punkty.csv");
        ptw3::writeObservationsCsv(folder, collected);
        lap("obserwacje.csv");
        ptw3::writeSketchSvg(folder, collected);
        lap("siec.svg");
        ptw3::writeNetworkGeoPackage(folder, collected);
        lap("siec.gpkg");
        ptw3::writeNetworkDxf(folder, collected);
        lap("siec.dxf");
        row("all six extra files", PhaseTimer::seconds(end, Clock::now()));
        // The quality control, section by section; a low critical value makes data snooping
        // run its whole step limit.
        ptw3::ControlOptions control;
        control.snoopingCritical = std::atof(textArgument(argc, argv, "--snooping-critical",
                                                          "3.29").c_str());
        control.snoopingSteps = argument(argc, argv, "--snooping-steps", 10);
        before = Clock::now();
        std::string reason;
        const auto model = ptw3::buildControlModel(network, outcome, reason);
        lap("control: model of the last pass");
        if (model) {
            ptw3::GivenSolution given;
            ptw3::solveGivenModel(*model, given);
            lap("control: factorisation of the model");
            const ptw3::Snooping snooping = ptw3::snoopData(*model, given, control);
            lap("control: data snooping");
            std::printf("%-44s %9zu\n", "  steps", snooping.steps.size());
            const ptw3::ReferenceCheck check = ptw3::checkReferencePoints(*model, given);
            lap("control: reference points");
            std::printf("%-44s %9zu\n", "  rounds", check.rounds.size());
            std::printf("%-44s %9zu\n", "  points tested",
                        check.rounds.empty() ? size_t{0} : check.rounds.front().points.size());
        } else {
            std::printf("control: %s\n", reason.c_str());
        }
        before = Clock::now();
        const ptw3::QualityControl all = ptw3::controlAdjustment(network, outcome, control);
        lap("control: all sections");
        if (plan) {
            ptw3::PlanOptions planOptions;
            ptw3::PreAnalysis first = ptw3::analysePlan(network, outcome, planOptions, {});
            lap("pre-analysis");
            ptw3::Real worst = 0;
            for (const ptw3::PlannedPoint& p : first.points) {
                worst = std::max(worst, p.mp);
            }
            planOptions.mpLimit = 0.8L * worst;
            planOptions.advise = true;
            planOptions.candidatesWithin = advisorWithin;
            planOptions.advisorBudget = argument(argc, argv, "--advisor-budget", 50);
            if (const double r = std::atof(textArgument(argc, argv, "--advisor-min-redundancy",
                                                        "0").c_str());
                r > 0) {
                planOptions.minRedundancy = r;
            }
            const std::vector<ptw3::CandidateObservation> candidates =
                ptw3::generateCandidates(network, outcome, planOptions);
            lap("advisor: candidates generated");
            const ptw3::PreAnalysis advised =
                ptw3::analysePlan(network, outcome, planOptions, candidates);
            lap("advisor: pre-analysis and proposals");
            std::printf("%-44s %9zu\n", "  candidates", candidates.size());
            if (advised.advice) {
                std::printf("%-44s %9zu\n", "  proposals", advised.advice->proposals.size());
                std::printf("%-44s %9d\n", "  weak observations before", advised.advice->weakBefore);
                std::printf("  %s\n", advised.advice->stopReason.c_str());
            }
        }
        std::printf("%-44s %9zu\n", "  lines", all.relative.lines.size());
        for (const char* name : {"wyniki.json", "punkty.csv", "obserwacje.csv", "siec.svg",
                                 "siec.gpkg", "siec.dxf"}) {
            std::printf("%-44s %9.1f MB\n", name,
                        static_cast<double>(fs::file_size(folder / name)) / 1e6);
        }
    }
    std::printf("%-44s %9.1f MiB\n", "peak memory", peakMemoryMiB());
    std::printf("Mp(sr) %.4Lf m, Mp(max) %.4Lf m\n", results.meanPositionError,
                results.maxPositionError);
    return 0;
}
