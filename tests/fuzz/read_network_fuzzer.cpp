// Fuzz target of the data input: the input is split into the files of a working
// folder by header lines "##NAME" (NAME one of the folder's file names, in any
// letter case), the folder is read with answers taken from the input's first
// bytes, and anything but a clean end or a Stop is a finding.

#include "common/clock.h"
#include "common/folder_files.h"
#include "common/message_list.h"
#include "common/run_context.h"
#include "common/stop.h"
#include "common/user_interaction.h"
#include "input/read_network_data.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace ptw3;

namespace {

constexpr std::array<std::string_view, 21> fileNames = {
    "XY.sta",       "XYH.sta",      "XY.prz",       "H.prz",       "KATY",     "KATY.b",
    "KIERUNKI",     "KIERUNKI.mod", "KIERUNKI.ort", "KIERUNKI.gps", "DLUGOSCI", "DLUGOSCI.b",
    "DLUGOSCI.gps", "dlugosci.pom", "AZYMUTY",      "AZYMUTY.gps", "DALMIERZ", "LIMBUS",
    "REDUKCJE",     "er3a.ptw",     "uklad",
};

class ScriptedUser : public UserInteraction {
public:
    explicit ScriptedUser(uint64_t answers)
        : m_answers(answers) {}
    void message(int32_t, const std::string&) override {}
    void messagesBlanked(int32_t, int32_t) override {}
    bool confirm(const std::string&) override { return (m_answers >> (m_asked++ % 64)) & 1; }
    void inform(const std::string&) override {}

private:
    uint64_t m_answers;
    int m_asked = 0;
};

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    uint64_t answers = 0;
    for (size_t i = 0; i < 8 && i < size; ++i) {
        answers = answers << 8 | data[i];
    }
    writeFolder(input);
    MessageList messages;
    ScriptedUser user(answers);
    const FixedClock clock(LocalDateTime{});
    RunContext context(messages, user, clock);
    NetworkData network;
    try {
        readNetworkData(workFolder(), network, context);
    } catch (const Stop&) {
    }
    return 0;
}
