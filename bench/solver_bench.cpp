// Time of the normal-equation solver on the generated 20000-point network (a grid, or the
// shape that --shape names): the equations laid out from the network's own ordering of
// unknowns and its couplings, one equation row for every distance and every angle (Schreiber angles included)
// with coefficients from the coordinates, and a small weight on every unknown. Timed in both
// arithmetics on 1 and 2 threads: the factorisation with both substitutions, the selected
// inversion (the point cofactors), and the cofactors of all observations from it.
//
//   solver_bench [--shape grid|chain|clusters|field] [Google Benchmark's options]
#include "bench/network_generator.h"
#include "bench/unattended_user.h"
#include "common/clock.h"
#include "common/message_list.h"
#include "common/run_context.h"
#include "common/user_interaction.h"
#include "engine/adjustment.h"
#include "solver/normal_equations.h"
#include "input/network_data.h"
#include "input/read_network_data.h"

#include <benchmark/benchmark.h>
#include <array>
#include <cstdio>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using ptw3::EquationTerm;
using ptw3::NormalEquations;
using ptw3::Real;

namespace {

constexpr std::string_view workRoot = PTW3_BENCH_WORK_ROOT;
constexpr int32_t pointCount = 20000;
constexpr uint64_t benchSeed = 1;
constexpr Real rhoCc = 636619.7723675813430755L; ///< centesimal seconds per radian
constexpr Real smallWeight = 1;                  ///< on every unknown, 1/m^2

struct Row {
    std::vector<EquationTerm> terms;
    Real freeTerm = 0;
};

/// The network, its equation rows and the system they accumulate.
struct Problem {
    std::vector<Row> rows;
    NormalEquations unanalysed; ///< as accumulated
    NormalEquations accumulated; ///< with the factor's structure found
};

/// Coefficients of the direction from one point to another, cc per m of the target's X, Y.
std::array<Real, 2> directionCoefficients(const ptw3::Point& from, const ptw3::Point& to) {
    const Real dx = to.x - from.x;
    const Real dy = to.y - from.y;
    const Real s2 = dx * dx + dy * dy;
    return {-rhoCc * dy / s2, rhoCc * dx / s2};
}

std::unique_ptr<Problem> buildProblem(ptw3::bench::NetworkShape shape) {
    const fs::path folder = fs::path(workRoot) / ("run-" + std::to_string(getpid()));
    ptw3::bench::GeneratorOptions options;
    options.pointCount = pointCount;
    options.seed = benchSeed;
    options.shape = shape;
    ptw3::bench::generateNetwork(folder, options);
    ptw3::NetworkData network;
    ptw3::MessageList messages;
    ptw3::bench::UnattendedUser user;
    ptw3::SystemClock clock;
    ptw3::RunContext context(messages, user, clock);
    ptw3::readNetworkData(folder, network, context);
    std::error_code error;
    fs::remove_all(folder, error);
    fs::remove(workRoot, error); // only when no other run is using it

    const int32_t lr = network.determinedCount();
    const auto unknown = [&](int32_t point, int32_t coordinate) {
        return point > lr ? 0 : 2 * network.ordering.position[point] - 2 + coordinate;
    };
    auto problem = std::make_unique<Problem>();
    std::mt19937_64 random(benchSeed);
    std::uniform_real_distribution<Real> freeTerm(-2, 2); // free terms in mean errors
    for (const ptw3::LineObservation& d : network.distances) {
        const ptw3::Point& a = network.points[d.from];
        const ptw3::Point& b = network.points[d.to];
        const Real s = std::hypot(b.x - a.x, b.y - a.y);
        const Real c = (b.x - a.x) / s / d.meanError;
        const Real t = (b.y - a.y) / s / d.meanError;
        problem->rows.push_back({{{unknown(d.from, 1), -c},
                                  {unknown(d.from, 2), -t},
                                  {unknown(d.to, 1), c},
                                  {unknown(d.to, 2), t}},
                                 freeTerm(random)});
    }
    for (const ptw3::Angle& a : network.angles) {
        const ptw3::Point& station = network.points[a.station];
        const auto left = directionCoefficients(station, network.points[a.left]);
        const auto right = directionCoefficients(station, network.points[a.right]);
        const Real p = 1 / a.meanError;
        problem->rows.push_back({{{unknown(a.station, 1), (left[0] - right[0]) * p},
                                  {unknown(a.station, 2), (left[1] - right[1]) * p},
                                  {unknown(a.left, 1), -left[0] * p},
                                  {unknown(a.left, 2), -left[1] * p},
                                  {unknown(a.right, 1), right[0] * p},
                                  {unknown(a.right, 2), right[1] * p}},
                                 freeTerm(random)});
    }

    NormalEquations& equations = problem->accumulated;
    const ptw3::PointGraph graph = ptw3::pointGraphOf(network);
    if (equations.layOut(network.ordering.halfBand, lr, &graph) > ptw3::profileCapacity) {
        return nullptr;
    }
    equations.clear();
    for (const Row& row : problem->rows) {
        equations.accumulate(row.terms, row.freeTerm);
    }
    for (int32_t u = 1; u <= equations.unknownCount(); ++u) {
        equations.addToDiagonal(u, smallWeight);
    }
    problem->unanalysed = equations;
    equations.analyse();
    return problem;
}

/// The problem of one shape, built when a benchmark first needs it and kept for the others;
/// null when its profile is beyond the store's capacity.
class LazyProblem {
public:
    explicit LazyProblem(ptw3::bench::NetworkShape shape)
        : m_shape(shape) {}
    Problem* get() {
        if (!m_built) {
            m_problem = buildProblem(m_shape);
            m_built = true;
        }
        return m_problem.get();
    }

private:
    ptw3::bench::NetworkShape m_shape;
    bool m_built = false;
    std::unique_ptr<Problem> m_problem;
};

// Every weak pivot is let through and the progress goes nowhere, as for a person who
// answers Yes and does not watch.
void goOn(int32_t) {}
void ignoreProgress(double) {}

void setCounters(benchmark::State& state, const NormalEquations& equations) {
    state.counters["unknowns"] = equations.unknownCount();
    state.counters["elements"] = static_cast<double>(equations.elementCount());
    if (const ptw3::SupernodalStructure* s = equations.supernodalStructure()) {
        state.counters["factor"] = static_cast<double>(s->entries());
        state.counters["operations"] = s->operations;
        state.counters["supernodes"] = s->supernodes();
        state.SetLabel(ptw3::nameOf(s->ordering));
    }
}

// The ordering of the points (METIS and AMD, each analysed, the better kept) and the
// factor's symbolic structure.
void analyse(benchmark::State& state, LazyProblem& problem) {
    Problem* p = problem.get();
    if (p == nullptr) {
        state.SkipWithError("profile over capacity");
        return;
    }
    NormalEquations equations;
    for (auto _ : state) {
        state.PauseTiming();
        equations = p->unanalysed;
        state.ResumeTiming();
        equations.analyse();
    }
    setCounters(state, equations);
}

ptw3::Arithmetic arithmeticOf(const benchmark::State& state) {
    return state.range(0) == 0 ? ptw3::Arithmetic::DoubleDouble : ptw3::Arithmetic::Extended;
}

void setRunCounters(benchmark::State& state) {
    state.counters["extended"] = static_cast<double>(state.range(0));
    state.counters["threads"] = static_cast<double>(state.range(1));
}

// Arguments: arithmetic (0 double-double, 1 extended) and threads.
void solveNormalEquations(benchmark::State& state, LazyProblem& problem) {
    Problem* p = problem.get();
    if (p == nullptr) {
        state.SkipWithError("profile over capacity");
        return;
    }
    NormalEquations equations;
    for (auto _ : state) {
        state.PauseTiming();
        equations = p->accumulated;
        equations.setArithmetic(arithmeticOf(state));
        equations.setThreadCount(static_cast<int32_t>(state.range(1)));
        state.ResumeTiming();
        benchmark::DoNotOptimize(equations.solveNormalEquations(0, goOn, ignoreProgress));
    }
    setCounters(state, equations);
    setRunCounters(state);
    state.counters["rows"] = static_cast<double>(p->rows.size());
}

void computePointCofactors(benchmark::State& state, LazyProblem& problem) {
    Problem* p = problem.get();
    if (p == nullptr) {
        state.SkipWithError("profile over capacity");
        return;
    }
    NormalEquations equations;
    for (auto _ : state) {
        state.PauseTiming();
        equations = p->accumulated;
        equations.setArithmetic(arithmeticOf(state));
        equations.setThreadCount(static_cast<int32_t>(state.range(1)));
        equations.solveNormalEquations(0, goOn, ignoreProgress);
        state.ResumeTiming();
        equations.computePointCofactors(ignoreProgress);
    }
    setCounters(state, equations);
    setRunCounters(state);
}

void computeObservationCofactor(benchmark::State& state, LazyProblem& problem) {
    Problem* p = problem.get();
    if (p == nullptr) {
        state.SkipWithError("profile over capacity");
        return;
    }
    NormalEquations equations = p->accumulated;
    equations.setArithmetic(arithmeticOf(state));
    equations.solveNormalEquations(0, goOn, ignoreProgress);
    equations.computePointCofactors(ignoreProgress);
    int64_t rows = 0;
    for (auto _ : state) {
        for (const Row& row : p->rows) {
            benchmark::DoNotOptimize(equations.computeObservationCofactor(row.terms));
            ++rows;
        }
    }
    state.SetItemsProcessed(rows);
    state.counters["perObservation"] = benchmark::Counter(
        static_cast<double>(rows), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

} // namespace

int main(int argc, char** argv) {
    // --shape is ours; every other argument goes to Google Benchmark.
    ptw3::bench::NetworkShape shape = ptw3::bench::NetworkShape::Grid;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        std::string_view name;
        if (arg == "--shape" && i + 1 < argc) {
            name = argv[++i];
        } else if (arg.starts_with("--shape=")) {
            name = arg.substr(std::string_view("--shape=").size());
        } else {
            argv[kept++] = argv[i];
            continue;
        }
        const auto named = ptw3::bench::shapeNamed(name);
        if (!named) {
            std::fprintf(stderr, "solver_bench: not a shape: %.*s\n", static_cast<int>(name.size()),
                         name.data());
            return 2;
        }
        shape = *named;
    }
    argc = kept;

    LazyProblem problem(shape);
    benchmark::RegisterBenchmark("analyse", [&problem](benchmark::State& state) {
        analyse(state, problem);
    })->Unit(benchmark::kSecond)->Iterations(1);
    benchmark::RegisterBenchmark("solveNormalEquations", [&problem](benchmark::State& state) {
        solveNormalEquations(state, problem);
    })->ArgsProduct({{0, 1}, {1, 2}})->Unit(benchmark::kSecond)->Iterations(1);
    benchmark::RegisterBenchmark("computePointCofactors", [&problem](benchmark::State& state) {
        computePointCofactors(state, problem);
    })->ArgsProduct({{0, 1}, {1, 2}})->Unit(benchmark::kSecond)->Iterations(1);
    benchmark::RegisterBenchmark("computeObservationCofactor", [&problem](benchmark::State& state) {
        computeObservationCofactor(state, problem);
    })->Args({0, 1})->Args({1, 1})->Unit(benchmark::kMillisecond);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
