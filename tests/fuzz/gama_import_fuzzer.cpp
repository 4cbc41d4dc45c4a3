// Fuzz target of the GNU Gama XML reader: the input is read as a Gama file and the network it
// gives is turned into working files; anything but a clean end is a finding.

#include "interchange/import.h"
#include "interchange/working_folder.h"

#include <cstdint>
#include <string_view>

using namespace ptw3;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    ImportLog log;
    const ImportedNetwork network = readGamaXml(input, log);
    static_cast<void>(workingFiles(network, log));
    return 0;
}
