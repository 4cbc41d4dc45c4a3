#include "engine/engine_support.h"

#include "common/encoding.h"
#include "common/text_file.h"
#include "engine/adjustment.h"
#include "input/read_network_data.h"

namespace ptw3::test {

std::vector<std::string> AdjustmentRun::lines(const std::string& name) const {
    std::vector<std::string> out;
    for (const std::string& line : splitLines(folder.read(name))) {
        out.push_back(utf8FromCp1250(line));
    }
    return out;
}

size_t findLine(const std::vector<std::string>& lines, const std::string& text, size_t from) {
    for (size_t i = from; i < lines.size(); ++i) {
        if (lines[i].find(text) != std::string::npos) {
            return i;
        }
    }
    return lines.size();
}

std::unique_ptr<AdjustmentRun> adjustFolder(const std::map<std::string, std::string>& files,
                                            CalculationOptions options, std::deque<bool> answers) {
    auto run = std::make_unique<AdjustmentRun>();
    run->t.user = ScriptedInteraction(std::move(answers));
    for (const auto& [name, text] : files) {
        run->folder.write(name, crlf(cp1250(text)));
    }
    options.workingFolder = run->folder.path();
    run->options = options;
    try {
        readNetworkData(run->folder.path(), run->network, run->t.context);
        run->t.messages.messageLine = 3;
        adjustNetwork(run->options, run->network, run->results, run->t.context);
    } catch (const Stop& stop) {
        run->stop = stop.reason();
    }
    return run;
}

} // namespace ptw3::test
