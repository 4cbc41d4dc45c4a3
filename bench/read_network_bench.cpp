// Time of the data input on generated working folders of 1000 and 20000 points, with the
// peak resident memory of the process. The folders are generated once, under the build
// directory, and removed when the program ends.
#include "bench/network_generator.h"
#include "bench/unattended_user.h"
#include "common/clock.h"
#include "common/message_list.h"
#include "common/run_context.h"
#include "common/stop.h"
#include "common/user_interaction.h"
#include "input/network_data.h"
#include "input/read_network_data.h"

#include <benchmark/benchmark.h>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr std::string_view workRoot = PTW3_BENCH_WORK_ROOT;
constexpr uint64_t benchSeed = 1;
constexpr double kibPerMib = 1024;

/// The generated folders of this process, one per point count, removed at exit.
class GeneratedFolders {
public:
    GeneratedFolders()
        : m_root(fs::path(workRoot) / ("run-" + std::to_string(getpid()))) {}
    ~GeneratedFolders() {
        std::error_code error;
        fs::remove_all(m_root, error);
        fs::remove(workRoot, error); // only when no other run is using it
    }
    GeneratedFolders(const GeneratedFolders&) = delete;
    GeneratedFolders& operator=(const GeneratedFolders&) = delete;

    const fs::path& folder(int32_t pointCount) {
        auto found = m_folders.find(pointCount);
        if (found == m_folders.end()) {
            ptw3::bench::GeneratorOptions options;
            options.pointCount = pointCount;
            options.seed = benchSeed;
            const fs::path folder = m_root / ("points-" + std::to_string(pointCount));
            ptw3::bench::generateNetwork(folder, options);
            found = m_folders.emplace(pointCount, folder).first;
        }
        return found->second;
    }

private:
    fs::path m_root;
    std::map<int32_t, fs::path> m_folders;
};

GeneratedFolders& generatedFolders() {
    static GeneratedFolders folders;
    return folders;
}

int64_t folderBytes(const fs::path& folder) {
    int64_t bytes = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            bytes += static_cast<int64_t>(entry.file_size());
        }
    }
    return bytes;
}

double peakResidentMib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / kibPerMib; // ru_maxrss is in KiB on Linux
}

void readNetwork(benchmark::State& state) {
    const auto pointCount = static_cast<int32_t>(state.range(0));
    const fs::path& folder = generatedFolders().folder(pointCount);
    // Input bytes before the first read, which adds its own reports to the folder.
    const int64_t inputBytes = folderBytes(folder);

    // As in the program, one network lives across computations and is refilled by each.
    ptw3::NetworkData network;
    ptw3::MessageList messages;
    ptw3::bench::UnattendedUser user;
    ptw3::SystemClock clock;
    for (auto _ : state) {
        ptw3::RunContext context(messages, user, clock);
        try {
            ptw3::readNetworkData(folder, network, context);
        } catch (const ptw3::Stop& stop) {
            state.SkipWithError(stop.what());
            break;
        }
        benchmark::DoNotOptimize(network);
    }
    state.SetBytesProcessed(state.iterations() * inputBytes);
    state.counters["lp"] = network.lp();
    state.counters["lst"] = network.lst();
    state.counters["lki"] = network.lki;
    state.counters["lka"] = network.lka();
    state.counters["ld"] = network.ld();
    state.counters["laz"] = network.laz();
    state.counters["peakRssMiB"] = peakResidentMib();
}

BENCHMARK(readNetwork)->Arg(1000)->Arg(20000)->Unit(benchmark::kMillisecond);

} // namespace
