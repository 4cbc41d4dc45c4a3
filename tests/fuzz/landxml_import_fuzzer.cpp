// Fuzz target of the LandXML reader: the input read as a field file, the network it gives
// written as working files and the report text made, all in memory; anything but a clean
// end is a finding.

#include "common/clock.h"
#include "interchange/import.h"
#include "interchange/working_folder.h"

#include <cstdint>
#include <string_view>

using namespace ptw3;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    ImportLog log;
    const ImportedNetwork network = readLandXml(input, InstrumentProfile{}, log);
    const std::vector<WorkingFile> files = workingFiles(network, log);
    std::vector<std::string> names;
    for (const WorkingFile& f : files) {
        names.push_back(f.name);
    }
    importReportText(ImportRequest{}, ImportFormat::LandXml, log, names, network,
                     LocalDateTime{});
    return 0;
}
