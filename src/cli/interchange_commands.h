// The commands of ptw3-cli that bring a network in from another format or take it out:
//   ptw3-cli import SOURCE FOLDER [--format gsi|landxml|gama] [--sigma-direction 10cc]
//                                 [--sigma-distance 3mm+2ppm] [--overwrite]
//   ptw3-cli export-gama FOLDER OUT.xml
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ptw3 {

/// Runs the command when the first argument names one; nothing when it does not.
std::optional<int> runInterchangeCommand(const std::vector<std::string>& arguments);

std::string interchangeHelp();

} // namespace ptw3
