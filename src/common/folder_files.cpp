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

std::optional<fs::path> findFileNoCase(const fs::path& folder, std::string_view name) {
    const fs::path exact = folder / fs::path(std::string(name));
    if (isRegularFile(exact)) {
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
        if (equalNoCase(candidateName, name) && isRegularFile(candidate) &&
            (!best || candidateName < best->filename().string())) {
            best = candidate;
        }
    }
    return best;
}

fs::path pathForWriting(const fs::path& folder, std::string_view name) {
    return findFileNoCase(folder, name).value_or(folder / fs::path(std::string(name)));
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
