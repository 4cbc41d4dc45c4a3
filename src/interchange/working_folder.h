// An imported network written as the files of a working folder, in the formats the data
// input reads: Windows-1250, CR LF, grads, mean errors per observation.
#pragma once

#include "interchange/imported_network.h"

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace ptw3 {

/// A file of the working folder and its bytes.
struct WorkingFile {
    std::string name;
    std::string bytes;
};

/// The working files of the network. What the data input could not take as it stands is
/// left out with a refusal in the log: a point number longer than 16 characters or with a
/// blank, a point given twice, an observation naming a point the network lacks, a direction
/// set with fewer than two directions or more than 500.
std::vector<WorkingFile> workingFiles(const ImportedNetwork& network, ImportLog& log);

/// The names of those files that already stand in the folder (in any letter case).
std::vector<std::string> existingFiles(const std::filesystem::path& folder,
                                       const std::vector<WorkingFile>& files);

/// Writes the files into the folder (created when missing); returns the names of those
/// that could not be written.
std::vector<std::string> writeWorkingFiles(const std::filesystem::path& folder,
                                           const std::vector<WorkingFile>& files);

} // namespace ptw3
