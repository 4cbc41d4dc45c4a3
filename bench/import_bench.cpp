// The import of a generated network written as a field file, timed: the network is generated,
// read by the data input, written as GSI-16 (or LandXML), and the file imported into a new
// working folder as ptw3-cli import does it.
//
//   import_bench [--points N] [--format gsi|landxml] [--folder DIR]
//
// The imported working folder is kept in DIR when given.

#include "bench/field_files.h"
#include "bench/network_generator.h"
#include "bench/temp_folder.h"
#include "bench/unattended_user.h"
#include "common/clock.h"
#include "common/message_list.h"
#include "common/run_context.h"
#include "common/text_file.h"
#include "input/read_network_data.h"
#include "interchange/import.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace ptw3;

int main(int argc, char** argv) {
    int32_t points = bench::maxGeneratedPoints;
    bool gsi = true;
    std::string kept;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--points") {
            points = std::atoi(argv[i + 1]);
        } else if (option == "--format") {
            gsi = std::string(argv[i + 1]) != "landxml";
        } else if (option == "--folder") {
            kept = argv[i + 1];
        }
    }
    bench::TempFolder folder;
    const auto generated = folder.path() / "generated";
    bench::GeneratorOptions options;
    options.pointCount = points;
    bench::generateNetwork(generated, options);
    MessageList messages;
    bench::UnattendedUser user;
    const FixedClock clock(LocalDateTime{2026, 12, 8, 9, 5, 7});
    RunContext context(messages, user, clock);
    NetworkData network;
    readNetworkData(generated, network, context);
    const std::string text =
        gsi ? bench::gsiFromNetwork(network) : bench::landXmlFromNetwork(network);
    const auto source = folder.path() / (gsi ? "network.gsi" : "network.xml");
    if (replaceFile(folder.path(), source.filename().string(), text) != 0) {
        std::fprintf(stderr, "import_bench: cannot write %s\n", source.c_str());
        return 1;
    }
    ImportRequest request;
    request.source = source;
    request.folder = kept.empty() ? folder.path() / "imported" : std::filesystem::path(kept);
    request.overwrite = true;
    request.format = gsi ? ImportFormat::Gsi : ImportFormat::LandXml;
    const auto start = std::chrono::steady_clock::now();
    const ImportOutcome outcome = importIntoFolder(request, clock.now());
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%d points, %d direction sets, %d distances: %s file of %zu bytes\n", points,
                network.lst(), network.ldk, gsi ? "GSI-16" : "LandXML", text.size());
    std::printf("import: %.2f s, %d records taken, %d refused%s%s\n", seconds, outcome.taken,
                outcome.refused, outcome.error.empty() ? "" : ", error: ",
                outcome.error.c_str());
    return outcome.done() ? 0 : 1;
}
