#include "cli/interchange_commands.h"

#include "cli/cli_arguments.h"
#include "common/clock.h"
#include "interchange/gama_export.h"
#include "interchange/import.h"
#include "interchange/instrument_profile.h"

#include <cstdio>

namespace ptw3 {
namespace {

int usage(const std::string& message) {
    std::fprintf(stderr, "ptw3-cli: %s\nTry 'ptw3-cli --help'.\n", message.c_str());
    return exitUsage;
}

int runImport(const std::vector<std::string>& a) {
    ImportRequest request;
    std::vector<std::string> positional;
    for (size_t i = 1; i < a.size(); ++i) {
        const std::string& arg = a[i];
        const auto value = [&]() -> std::optional<std::string> {
            return i + 1 < a.size() ? std::optional<std::string>(a[++i]) : std::nullopt;
        };
        if (arg == "--overwrite") {
            request.overwrite = true;
        } else if (arg == "--format") {
            const auto v = value();
            request.format = v ? importFormatNamed(*v) : std::nullopt;
            if (!request.format) {
                return usage("--format takes gsi, landxml or gama");
            }
        } else if (arg == "--sigma-direction") {
            const auto v = value();
            const std::optional<Real> cc = v ? directionSigmaCc(*v) : std::nullopt;
            if (!cc || !(*cc > 0)) {
                return usage("--sigma-direction takes a mean error such as 10cc, 1mgon or 3s");
            }
            request.profile.directionCc = *cc;
        } else if (arg == "--sigma-distance") {
            const auto v = value();
            const std::optional<DistanceSigma> s = v ? distanceSigma(*v) : std::nullopt;
            if (!s || !(s->a + s->ppm > 0)) {
                return usage("--sigma-distance takes a mean error such as 3mm+2ppm or 0.005");
            }
            request.profile.distanceA = s->a;
            request.profile.distancePpm = s->ppm;
        } else if (arg.starts_with("--")) {
            return usage("unknown option " + arg + " of import");
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 2) {
        return usage("import takes a source file and a working folder");
    }
    request.source = positional[0];
    request.folder = positional[1];
    const ImportOutcome outcome = importIntoFolder(request, SystemClock().now());
    if (!outcome.existing.empty()) {
        std::string names;
        for (const std::string& n : outcome.existing) {
            names += " " + n;
        }
        std::fprintf(stderr,
                     "ptw3-cli: the folder %s holds working files already:%s\n"
                     "ptw3-cli: nothing written; give an empty folder or --overwrite\n",
                     request.folder.c_str(), names.c_str());
        return exitFatalInput;
    }
    if (!outcome.error.empty()) {
        std::fprintf(stderr, "ptw3-cli: import: %s\n", outcome.error.c_str());
        return exitFatalInput;
    }
    std::printf("%d records taken, %d refused; written to %s:", outcome.taken, outcome.refused,
                request.folder.c_str());
    for (const std::string& n : outcome.written) {
        std::printf(" %s", n.c_str());
    }
    std::printf("\n");
    return exitFinished;
}

int runExportGama(const std::vector<std::string>& a) {
    if (a.size() != 3) {
        return usage("export-gama takes a working folder and an output file");
    }
    const GamaExport result = exportGamaXml(a[1], a[2]);
    if (!result.error.empty()) {
        std::fprintf(stderr, "ptw3-cli: export-gama: %s\n", result.error.c_str());
        return exitFatalInput;
    }
    return exitFinished;
}

} // namespace

std::optional<int> runInterchangeCommand(const std::vector<std::string>& arguments) {
    if (arguments.empty()) {
        return std::nullopt;
    }
    if (arguments[0] == "import") {
        return runImport(arguments);
    }
    if (arguments[0] == "export-gama") {
        return runExportGama(arguments);
    }
    return std::nullopt;
}

std::string interchangeHelp() {
    return R"HELP(
Interchange:
  ptw3-cli import SOURCE FOLDER [--format gsi|landxml|gama] [--sigma-direction 10cc]
                                [--sigma-distance 3mm+2ppm] [--overwrite]
      Writes the working files of the network in SOURCE (a Leica GSI field file, LandXML
      1.2 survey data or a GNU Gama local XML network; the format from the content when
      --format is not given) into FOLDER, and IMPORT.ptw listing what every source record
      became or why it was refused. The mean errors of the instrument apply to the formats
      that carry none. Working files already in FOLDER are replaced only with --overwrite.
  ptw3-cli export-gama FOLDER OUT.xml
      Writes the network of the working folder, as the data input sees it, as GNU Gama
      local XML.
)HELP";
}

} // namespace ptw3
