#include "test_support.h"

#include "bench/network_generator.h"
#include "common/encoding.h"
#include "common/text_file.h"
#include "design/pre_analysis.h"
#include "input/read_network_data.h"
#include "run/calculation_run.h"
#include "run/uklad.h"
#include "run/working_folder.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>

namespace ptw3::test {

SystemZone systemZone(int32_t number, int32_t zone) {
    return {systemByNumber(number).value(), zone};
}
namespace fs = std::filesystem;

TempFolder::TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "ptw3-test-XXXXXX").string();
    m_path = mkdtemp(pattern.data());
}

TempFolder::~TempFolder() {
    std::error_code error;
    fs::remove_all(m_path, error);
}

void TempFolder::write(std::string_view name, std::string_view bytes) const {
    std::ofstream out(m_path / std::string(name), std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string TempFolder::read(std::string_view name) const {
    return readFileBytes(m_path / std::string(name)).value_or("");
}

bool TempFolder::exists(std::string_view name) const {
    return fs::exists(m_path / std::string(name));
}

std::vector<std::string> TempFolder::names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(m_path)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

void TempFolder::copyFilesOf(const fs::path& source) const {
    for (const auto& entry : fs::directory_iterator(source)) {
        if (entry.is_regular_file()) {
            fs::copy_file(entry.path(), m_path / entry.path().filename());
        }
    }
}

void generateNetwork(const TempFolder& folder, int32_t points) {
    bench::GeneratorOptions options;
    options.pointCount = points;
    bench::generateNetwork(folder.path(), options);
}

namespace {
std::string escapedLineBreaks(const std::string& text) {
    std::string out;
    for (char c : text) {
        out += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return out;
}
} // namespace

void ScriptedInteraction::message(int32_t index, const std::string& text) {
    messages.emplace_back(index, text);
    transcript.push_back("message: " + escapedLineBreaks(text));
}

bool ScriptedInteraction::confirm(const std::string& text) {
    questions.push_back(text);
    transcript.push_back("confirm: " + escapedLineBreaks(text));
    if (m_answers.empty()) {
        return false;
    }
    const bool answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

void ScriptedInteraction::inform(const std::string& text) {
    informations.push_back(text);
    transcript.push_back("inform: " + escapedLineBreaks(text));
}

std::string crlf(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') {
            out += '\r';
        }
        out += c;
    }
    return out;
}

std::string fileText(const fs::path& path) { return readFileBytes(path).value_or(""); }

std::vector<std::string> goldenFolderNames(const fs::path& root) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(root)) {
        if (fs::is_directory(entry.path() / "expected")) {
            names.push_back(entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::deque<bool> answersFrom(const fs::path& file) {
    std::deque<bool> answers;
    for (const std::string& line : splitLines(fileText(file))) {
        if (!line.empty()) {
            answers.push_back(line == "t");
        }
    }
    return answers;
}

std::string firstDifference(const std::string& actual, const std::string& expected) {
    const auto a = splitLines(actual);
    const auto e = splitLines(expected);
    for (size_t i = 0; i < std::max(a.size(), e.size()); ++i) {
        const std::string al = i < a.size() ? a[i] : "<none>";
        const std::string el = i < e.size() ? e[i] : "<none>";
        if (al != el) {
            return "line " + std::to_string(i + 1) + "\n  actual:   [" + al + "]\n  expected: [" +
                   el + "]";
        }
    }
    return "the line ends differ";
}

::testing::AssertionResult matchesGolden(const std::string& actual, const fs::path& golden) {
    if (std::getenv("UPDATE_GOLDEN") != nullptr) {
        std::ofstream(golden, std::ios::binary) << actual;
    }
    const std::string wanted = fileText(golden);
    if (actual == wanted) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << golden.filename().string() << ": " << firstDifference(actual, wanted);
}

AdjustedFolder adjustFolder(const fs::path& folder, int32_t iterations, bool plan) {
    AdjustedFolder a;
    TestContext t({true, true, true});
    readNetworkData(folder, a.network, t.context);
    CalculationOptions options;
    options.workingFolder = folder;
    if (const std::optional<StoredSystem> stored = readUklad(folder)) {
        options.system = systemZone(stored->system, stored->zone);
    }
    options.iterationCount = iterations;
    options.holdCoordinates = plan;
    options.accelerationLevel = AccelerationLevel::None;
    if (plan) {
        computePlannedValues(a.network, options.system);
    }
    adjustNetwork(options, a.network, a.results, t.context, &a.outcome);
    return a;
}

int32_t pointIndex(const NetworkData& network, std::string_view number) {
    for (int32_t k = 1; k <= network.lp(); ++k) {
        if (network.points[k].number == number) {
            return k;
        }
    }
    ADD_FAILURE() << "no point " << number;
    return 1;
}

void computeFolder(const fs::path& folder, bool extraFiles, std::deque<bool> answers) {
    ProgramState state;
    TestContext t(std::move(answers));
    useWorkingFolder(state, folder);
    RunChoices choices;
    choices.extraFiles = extraFiles;
    runCalculation(state, choices, t.context);
}

std::vector<std::vector<std::string>> outlierRows(const std::string& controlReport) {
    constexpr size_t angleRowFields = 10; // "  ", L, C, P and six columns
    std::vector<std::vector<std::string>> rows;
    for (const std::string& line : splitLines(utf8FromCp1250(controlReport))) {
        if (!line.ends_with(" *") || !line.starts_with("  |")) {
            continue;
        }
        std::vector<std::string> fields;
        size_t start = 0;
        for (size_t bar = line.find('|'); bar != std::string::npos; bar = line.find('|', start)) {
            fields.push_back(line.substr(start, bar - start));
            start = bar + 1;
        }
        fields.push_back(line.substr(start));
        const size_t points = fields.size() == angleRowFields ? 3 : 2;
        std::vector<std::string> numbers;
        for (size_t i = 1; i <= points; ++i) {
            const size_t first = fields[i].find_first_not_of(' ');
            numbers.push_back(first == std::string::npos ? "" : fields[i].substr(first));
        }
        rows.push_back(numbers);
    }
    return rows;
}

QualityControl handMadeControl(const NetworkResults& r) {
    const auto point = [&](const std::string& number) {
        const auto it = std::find_if(r.points.begin(), r.points.end(),
                                     [&](const PointResult& p) { return p.number == number; });
        return static_cast<int32_t>(it - r.points.begin()) + 1;
    };
    const auto observation = [&](ListedKind kind, const std::string& from, const std::string& to) {
        const auto it = std::find_if(r.observations.begin(), r.observations.end(), [&](auto& o) {
            return o.kind == kind && o.from == point(from) - 1 && o.to == point(to) - 1;
        });
        return static_cast<int32_t>(it - r.observations.begin());
    };
    const int32_t distance41 = observation(ListedKind::Distance, "4", "1");
    const int32_t direction12 = observation(ListedKind::Direction, "1", "2");
    const int32_t direction15 = observation(ListedKind::Direction, "1", "5");
    const int32_t direction35 = observation(ListedKind::Direction, "1003", "5");

    QualityControl c;
    c.global = {std::nullopt, 36, 1523.4567L, 6.50527L, 0.05L, 21.3359L, 54.4373L, 50.9985L,
                GlobalTest::Verdict::MoTooLarge};
    c.snooping.critical = 3.29L;
    c.snooping.stepLimit = 10;
    c.snooping.largestW = 37.753L;
    c.snooping.largestObservation = distance41;
    c.snooping.steps = {
        {distance41, std::nullopt, 37.753L, -0.30512L, 1.61234L, 35, 10.62L, direction12},
        {direction12, direction15, 10.62L, 45.67L, 0.98765L, 33, 2.554L, direction35}};
    c.reference.alpha = 0.001L;
    ReferencePointTest doubtful{point("1002"), false, true, 0.04512L, -0.03125L,
                                0.0000123L, -0.0000021L, 0.0000156L, 25.123L, 9.876L, 33};
    ReferencePointTest second{point("1001"), false, true, -0.00312L, 0.00208L,
                              0.0000098L, 0.0000011L, 0.0000087L, 1.234L, 9.876L, 33};
    ReferencePointTest untestable{point("1003"), false, false, 0, 0, 0, 0, 0, 0, 0, 0};
    c.reference.rounds = {{{doubtful, second, untestable}, 0}, {{second, untestable}, {}}};
    c.reference.doubtfulPoints = {point("1002")};
    c.relative.lines = {{point("4"), point("1"), 241.35821L, 0.01021L, 0.00512L, 123.4567L,
                         0.00987L, 40.89L, 13.47L},
                        {point("2"), point("3"), 333.12345L, 0.00876L, 0.00402L, 55.5L, 0.00654L,
                         19.63L, 7.68L}};
    c.standard.limit = 0.0175L;
    c.standard.checked = 6;
    c.standard.failing = {point("5"), point("6")};
    c.standard.largestPoint = point("5");
    c.standard.largestMp = 0.01842L;
    return c;
}

PreAnalysis handMadePlan(const NetworkResults& r) {
    const auto point = [&](const std::string& number) {
        const auto it = std::find_if(r.points.begin(), r.points.end(),
                                     [&](const PointResult& p) { return p.number == number; });
        return static_cast<int32_t>(it - r.points.begin()) + 1;
    };
    PreAnalysis plan;
    plan.standard.limit = 0.0175L;
    plan.standard.checked = 6;
    plan.standard.failing = {point("5"), point("6")};
    plan.standard.largestPoint = point("5");
    plan.standard.largestMp = 0.0241L;
    DesignAdvice advice;
    advice.candidates = 12;
    advice.worstMpBefore = 0.0241L;
    advice.failingBefore = 2;
    const auto proposal = [&](ListedKind kind, const char* from, const char* to, Real worstMp,
                              int32_t failing) {
        const Real meanError = kind == ListedKind::Distance ? 0.005L : 10;
        return Proposal{
            {kind, point(from), point(to), meanError, std::nullopt}, worstMp, failing, 0};
    };
    advice.proposals = {proposal(ListedKind::Distance, "1", "3", 0.0203L, 1),
                        proposal(ListedKind::Direction, "2", "6", 0.0181L, 1),
                        proposal(ListedKind::Distance, "6", "2", 0.0169L, 0)};
    advice.goalMet = true;
    advice.stopReason = "cel osiągnięty";
    plan.advice = std::move(advice);
    return plan;
}

} // namespace ptw3::test
