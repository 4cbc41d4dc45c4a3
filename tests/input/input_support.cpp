#include "input/input_support.h"

#include "common/text_file.h"

namespace ptw3::test {

std::vector<std::string> InputRun::reportLines() const {
    const std::string bytes = folder.read("er3a.ptw");
    std::vector<std::string> lines;
    for (const std::string& line : splitLines(bytes)) {
        lines.push_back(utf8FromCp1250(line));
    }
    return lines;
}

int32_t InputRun::point(std::string_view number) const {
    for (int32_t i = 1; i <= network.lp(); ++i) {
        if (network.points[i].number == cp1250(number)) {
            return i;
        }
    }
    return 0;
}

std::unique_ptr<InputRun> readFolder(const std::map<std::string, std::string>& files,
                                     std::deque<bool> answers) {
    auto run = std::make_unique<InputRun>();
    run->t.user = ScriptedInteraction(std::move(answers));
    for (const auto& [name, text] : files) {
        run->folder.write(name, crlf(cp1250(text)));
    }
    try {
        readNetworkData(run->folder.path(), run->network, run->t.context);
    } catch (const Stop& stop) {
        run->stop = stop.reason();
    }
    return run;
}

} // namespace ptw3::test
