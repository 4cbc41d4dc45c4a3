// The network of a working folder as GNU Gama local XML, for gama-local.
#pragma once

#include <filesystem>
#include <string>

namespace ptw3 {

struct GamaExport {
    std::string error; ///< why the file was not written (UTF-8); empty when it was
};

/// Reads the folder's data and writes its network as GNU Gama local XML to the file.
GamaExport exportGamaXml(const std::filesystem::path& folder, const std::filesystem::path& out);

} // namespace ptw3
