#include "fuzz_folder.h"

#include "common/folder_files.h"

#include <array>
#include <fstream>
#include <unistd.h>

namespace ptw3::fuzz {
namespace fs = std::filesystem;

namespace {

constexpr std::array<std::string_view, 22> fileNames = {
    "XY.sta",       "XYH.sta",      "XY.prz",       "H.prz",       "KATY",     "KATY.b",
    "KIERUNKI",     "KIERUNKI.mod", "KIERUNKI.ort", "KIERUNKI.gps", "DLUGOSCI", "DLUGOSCI.b",
    "DLUGOSCI.gps", "dlugosci.pom", "AZYMUTY",      "AZYMUTY.gps", "DALMIERZ", "LIMBUS",
    "REDUKCJE",     "er3a.ptw",     "uklad",        "tytul",
};

} // namespace

uint64_t answersOf(std::string_view input) {
    uint64_t answers = 0;
    for (size_t i = 0; i < 8 && i < input.size(); ++i) {
        answers = answers << 8 | static_cast<unsigned char>(input[i]);
    }
    return answers;
}

const fs::path& workFolder() {
    static const fs::path folder = [] {
        const fs::path base = fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path();
        const fs::path f = base / ("ptw3-fuzz-" + std::to_string(getpid()));
        fs::create_directories(f);
        return f;
    }();
    return folder;
}

void writeFolder(std::string_view input) {
    for (const auto& entry : fs::directory_iterator(workFolder())) {
        fs::remove(entry.path());
    }
    std::ofstream out;
    size_t at = 0;
    while (at < input.size()) {
        size_t end = input.find('\n', at);
        end = end == std::string_view::npos ? input.size() : end + 1;
        const std::string_view line = input.substr(at, end - at);
        at = end;
        if (line.starts_with("##")) {
            std::string_view name = line.substr(2);
            while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) {
                name.remove_suffix(1);
            }
            out.close();
            for (std::string_view known : fileNames) {
                if (equalNoCase(name, known)) {
                    out.open(workFolder() / std::string(name), std::ios::binary | std::ios::app);
                }
            }
            continue;
        }
        if (out.is_open()) {
            out.write(line.data(), static_cast<std::streamsize>(line.size()));
        }
    }
}

} // namespace ptw3::fuzz
