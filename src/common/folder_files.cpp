#include "common/folder_files.h"

#include <string>
#include <system_error>

namespace ptw3 {
namespace fs = std::filesystem;

namespace {

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool isRegularFile(const fs::path& p) {
    std::error_code error;
    return fs::is_regular_file(p, error);
}

// Anything the folder lists under the name, a link that leads nowhere included.
bool isEntry(const fs::path& p) {
    std::error_code error;
    return fs::exists(fs::symlink_status(p, error));
}

} // namespace

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

namespace {

// The entry of the folder named `name` up to letter case that `accepted` takes: the exact
// name first, else the first in byte order of the names.
template <class Accepted>
std::optional<fs::path> findNoCase(const fs::path& folder, std::string_view name,
                                   Accepted accepted) {
    const fs::path exact = folder / fs::path(std::string(name));
    if (accepted(exact)) {
        return exact;
    }
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error) {
        return std::nullopt;
    }
    std::optional<fs::path> best;
    for (; it != fs::directory_iterator(); it.increment(error)) {
        if (error) {
            break;
        }
        const fs::path& candidate = it->path();
        const std::string candidateName = candidate.filename().string();
        if (equalNoCase(candidateName, name) && accepted(candidate) &&
            (!best || candidateName < best->filename().string())) {
            best = candidate;
        }
    }
    return best;
}

} // namespace

std::optional<fs::path> findFileNoCase(const fs::path& folder, std::string_view name) {
    return findNoCase(folder, name, isRegularFile);
}

std::optional<fs::path> findEntryNoCase(const fs::path& folder, std::string_view name) {
    if (auto file = findFileNoCase(folder, name)) {
        return file;
    }
    return findNoCase(folder, name, isEntry);
}

fs::path pathForWriting(const fs::path& folder, std::string_view name) {
    return findEntryNoCase(folder, name).value_or(folder / fs::path(std::string(name)));
}

void removeFileNoCase(const fs::path& folder, std::string_view name) {
    while (const auto path = findFileNoCase(folder, name)) {
        std::error_code error;
        if (!fs::remove(*path, error)) {
            break;
        }
    }
}

} // namespace ptw3
