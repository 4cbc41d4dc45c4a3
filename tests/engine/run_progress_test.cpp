// Progress of the long phases and stopping a computation on generated networks: the
// fractions of each phase arrive in order and reach 1, and a stop asked for in a phase
// takes effect inside it within half a second, leaving the open reports ended by a line
// saying so. That no report follows the one at which the stop was asked for shows that the
// phase looks for a stop as often as it reports, however fast the computer.

#include "common/encoding.h"
#include "common/interruption.h"
#include "common/run_phases.h"
#include "common/stop.h"
#include "run/calculation_run.h"
#include "run/working_folder.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace ptw3 {
namespace {

using test::TempFolder;
using SteadyClock = std::chrono::steady_clock;

constexpr double stopLatencyLimitS = 0.5;

struct Report {
    std::string phase; ///< UTF-8
    double fraction;
};

// Answers every question Yes and records the progress. The first time the chosen phase
// reports at least the chosen fraction (0 to 1), it asks the computation to stop. A phase
// looks for a stop just before it reports, so the time until the stop takes effect is the
// longest stretch of work between two looks.
class PhaseWatcher : public test::ScriptedInteraction {
public:
    std::vector<Report> reports;
    std::optional<std::string> stopIn;
    double stopAtFraction = 0;
    RunContext* context = nullptr;
    std::optional<SteadyClock::time_point> stopRequested;
    size_t reportsBeforeStop = 0; ///< the reports up to the one that asked for the stop

    bool confirm(const std::string& text) override {
        ScriptedInteraction::confirm(text);
        return true;
    }
    void progress(const std::string& phase, double fraction) override {
        reports.push_back({phase, fraction});
        if (stopIn == phase && fraction >= stopAtFraction && !stopRequested) {
            stopRequested = SteadyClock::now();
            reportsBeforeStop = reports.size();
            context->requestCancel(StopReason::Interrupted);
        }
    }
};

struct RunResult {
    std::optional<StopReason> stop;
    double latencyS = 0; ///< from the stop request to the end of the run
};

RunResult runOn(const TempFolder& folder, AnalysisMode mode, PhaseWatcher& user) {
    ProgramState state;
    useWorkingFolder(state, folder.path());
    RunChoices choices;
    choices.analysisMode = mode;
    choices.iterationCount = 2;
    const FixedClock clock(LocalDateTime{2026, 12, 8, 10, 0, 0});
    RunContext context(state.messages, user, clock);
    user.context = &context;
    RunResult result;
    try {
        runCalculation(state, choices, context);
    } catch (const Stop& stop) {
        result.stop = stop.reason();
    }
    if (user.stopRequested) {
        result.latencyS =
            std::chrono::duration<double>(SteadyClock::now() - *user.stopRequested).count();
    }
    return result;
}

constexpr AnalysisMode fullMode = AnalysisMode::Full;
constexpr AnalysisMode approximateMode = AnalysisMode::Approximate;

TEST(RunProgress, EveryPhaseReportsFractionsInOrderUpToOne) {
    for (const AnalysisMode mode : {fullMode, approximateMode}) {
        SCOPED_TRACE(mode == fullMode ? "full" : "approximate");
        TempFolder folder;
        test::generateNetwork(folder, 300);
        PhaseWatcher user;
        ASSERT_EQ(runOn(folder, mode, user).stop, std::nullopt);

        // Consecutive reports of one phase form one stretch of its work.
        std::vector<std::string> order;
        double previous = 0;
        for (size_t i = 0; i < user.reports.size(); ++i) {
            const Report& r = user.reports[i];
            SCOPED_TRACE(r.phase + " " + std::to_string(r.fraction));
            const bool starts = order.empty() || order.back() != r.phase;
            if (starts) {
                order.push_back(r.phase);
                EXPECT_EQ(r.fraction, 0);
            } else {
                EXPECT_GT(r.fraction, previous);
            }
            const bool ends = i + 1 == user.reports.size() || user.reports[i + 1].phase != r.phase;
            if (ends) {
                EXPECT_EQ(r.fraction, 1);
            }
            previous = r.fraction;
        }
        const std::vector<std::string> expected = {
            std::string(phase::readingData),
            std::string(phase::formingNormalEquations),
            std::string(phase::solvingNormalEquations),
            std::string(phase::formingNormalEquations),
            std::string(phase::solvingNormalEquations),
            std::string(phase::pointAnalysis),
            std::string(phase::observationAnalysis),
            std::string(phase::resultFiles),
        };
        EXPECT_EQ(order, expected);
        // The bar moves in the phases that take long on a large network.
        for (const std::string_view busy :
             {phase::formingNormalEquations, phase::observationAnalysis}) {
            const auto steps = std::count_if(user.reports.begin(), user.reports.end(),
                                             [&](const Report& r) { return r.phase == busy; });
            EXPECT_GT(steps, 4) << busy;
        }
    }
}

std::string lastLine(const std::string& report) {
    const size_t end = report.rfind("\r\n");
    const size_t start = report.rfind("\r\n", end - 1);
    return report.substr(start + 2, end - start - 2);
}

TEST(RunProgress, AStopTakesEffectWithinHalfASecondInEveryPhase) {
    // The stop is asked for once the phase has done a first part of its work.
    struct Case {
        std::string_view phase;
        AnalysisMode mode;
        std::vector<const char*> interruptedReports;
    };
    const Case cases[] = {
        {phase::readingData, fullMode, {"er3a.ptw"}},
        {phase::formingNormalEquations, fullMode, {"rpw.ptw", "er3.ptw"}},
        {phase::solvingNormalEquations, fullMode, {"rpw.ptw", "er3.ptw"}},
        {phase::pointAnalysis, fullMode, {"rpw.ptw", "er3.ptw"}},
        {phase::observationAnalysis, fullMode, {"rpw.ptw", "er3.ptw"}},
        {phase::resultFiles, approximateMode, {"rpw.ptw", "er3.ptw", "xy.ptw", "dxdy.ptw"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.phase));
        TempFolder folder;
        test::generateNetwork(folder, test::stoppedNetworkPoints);
        PhaseWatcher user;
        user.stopIn = std::string(c.phase);
        user.stopAtFraction = 0.001;
        const RunResult result = runOn(folder, c.mode, user);

        ASSERT_EQ(result.stop, StopReason::Interrupted);
        // The stop took effect at the phase's next look, before it reported any further.
        EXPECT_EQ(user.reports.size(), user.reportsBeforeStop);
        EXPECT_LT(user.reports.back().fraction, 1);
        if (!test::sanitized) {
            EXPECT_LE(result.latencyS, stopLatencyLimitS);
        }
        for (const char* name : c.interruptedReports) {
            SCOPED_TRACE(name);
            EXPECT_EQ(lastLine(folder.read(name)), interruptedReportLine());
        }
        std::printf("stop in %-34s after %.3f s\n", std::string(c.phase).c_str(), result.latencyS);
    }
}

} // namespace
} // namespace ptw3
