// Helpers shared by the tests: a scratch working folder, file access, and a
// person who answers questions from a script and remembers what was shown.
#pragma once

#include "common/clock.h"
#include "common/message_list.h"
#include "common/run_context.h"
#include "common/user_interaction.h"
#include "engine/adjustment.h"
#include "export/results.h"
#include "observations/coordinate_system.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ptw3::test {

/// A system by its number as uklad and the reports give it (0, 1965, 19426, ... 1000), with
/// a zone.
SystemZone systemZone(int32_t number, int32_t zone = 0);

/// A fresh empty folder, removed with its content at the end of the test.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    /// Writes bytes as they stand to a file of the folder.
    void write(std::string_view name, std::string_view bytes) const;
    /// The bytes of a file of the folder ("" when absent).
    std::string read(std::string_view name) const;
    bool exists(std::string_view name) const;
    /// The names of the folder's files, sorted.
    std::vector<std::string> names() const;
    /// Copies the files (not the subfolders) of another folder into this one.
    void copyFilesOf(const std::filesystem::path& source) const;

private:
    std::filesystem::path m_path;
};

/// Answers questions from a script (No when the script runs out) and records everything.
class ScriptedInteraction : public UserInteraction {
public:
    explicit ScriptedInteraction(std::deque<bool> answers = {})
        : m_answers(std::move(answers)) {}

    void message(int32_t index, const std::string& text) override;
    void messagesBlanked(int32_t, int32_t) override {}
    bool confirm(const std::string& text) override;
    void inform(const std::string& text) override;

    std::vector<std::pair<int32_t, std::string>> messages; ///< (index, UTF-8 text)
    std::vector<std::string> questions;
    std::vector<std::string> informations;
    /// Everything in order: "message: ", "confirm: " or "inform: " and the text, with its
    /// line breaks written as \n.
    std::vector<std::string> transcript;

private:
    std::deque<bool> m_answers;
};

/// A run context over its own message list, a scripted person and a fixed clock.
struct TestContext {
    explicit TestContext(std::deque<bool> answers = {})
        : user(std::move(answers)) {}

    MessageList messages;
    ScriptedInteraction user;
    FixedClock clock{LocalDateTime{2026, 12, 8, 9, 5, 7}};
    RunContext context{messages, user, clock};
};

#if defined(__SANITIZE_ADDRESS__)
/// The sanitizers slow a computation several times over: tests that time one use a smaller
/// network there and leave the timing to the optimised build.
inline constexpr bool sanitized = true;
#else
inline constexpr bool sanitized = false;
#endif

/// Points of a generated network whose phases each look for a stop many times over (about
/// 1 s for the whole computation in the optimised build).
inline constexpr int32_t stoppedNetworkPoints = sanitized ? 600 : 2000;
/// Points of a generated network whose point analysis takes about a second in the optimised
/// build (3.5 s for the whole computation), long enough to press a button during it.
inline constexpr int32_t longNetworkPoints = sanitized ? 600 : 5000;

/// Writes a generated working folder of that many points (seed 1) into the folder.
void generateNetwork(const TempFolder& folder, int32_t points);

/// Text with LF line ends turned into CR LF.
std::string crlf(std::string_view text);

/// The bytes of a file ("" when absent).
std::string fileText(const std::filesystem::path& path);

/// The subfolders of a folder that hold an expected/ folder, sorted by name.
std::vector<std::string> goldenFolderNames(const std::filesystem::path& root);

/// Scripted answers from a file of lines "t" (Yes) and "n" (No); blank lines are skipped.
std::deque<bool> answersFrom(const std::filesystem::path& file);

/// The first differing line of two texts, for a readable failure message.
std::string firstDifference(const std::string& actual, const std::string& expected);

/// The text against the golden file: equal, or the first differing line. UPDATE_GOLDEN set
/// in the environment writes the text into the file first.
::testing::AssertionResult matchesGolden(const std::string& actual,
                                         const std::filesystem::path& golden);

/// A folder's network read and adjusted by the engine, with what its last pass kept.
struct AdjustedFolder {
    NetworkData network;
    AdjustmentOutcome outcome;
    CalculationResults results;
};

/// Reads and adjusts the folder in the system its uklad names (the local one without it),
/// that many passes, no acceleration, the full analysis, every question answered yes. A plan
/// has its values computed from the approximate coordinates and is held there.
AdjustedFolder adjustFolder(const std::filesystem::path& folder, int32_t iterations = 6,
                            bool plan = false);

/// The index of the point of that number (a test failure and 1 when there is none).
int32_t pointIndex(const NetworkData& network, std::string_view number);

/// Computes the working folder as ptw3-cli does, with the coordinate system of its uklad,
/// answering the questions from the script; a stop is thrown on.
void computeFolder(const std::filesystem::path& folder, bool extraFiles = true,
                   std::deque<bool> answers = std::deque<bool>(50, true));

/// The point numbers (UTF-8) of the outlier rows of a control report (rows ending " *"), as
/// the rows list them: an angle's left, station and right, else the two ends or the station
/// and the target.
std::vector<std::vector<std::string>> outlierRows(const std::string& controlReport);

/// A quality control made by hand for the results of the example siec-blad-gruby: the
/// distance 4–1 and the direction 1–2 taken out by data snooping (the second with the
/// direction 1–5, the last reading of its set), the fixed point 1002 doubtful in the first
/// of two rounds, two lines' relative accuracy, and the points 5 and 6 above a standard of
/// 0.0175 m. No value has more decimals than wyniki.json keeps.
QualityControl handMadeControl(const NetworkResults& siecBladGruby);

/// A pre-analysis made by hand for the results of siec-blad-gruby taken as a plan: the
/// points 5 and 6 above a standard of 0.0175 m, and the advisor's three proposals, the
/// distance 1–3, the direction 2–6 and the distance 6–2 (the second line of the pair 2, 6),
/// with the largest Mp falling after each. No value has more decimals than wyniki.json keeps.
PreAnalysis handMadePlan(const NetworkResults& siecBladGruby);

} // namespace ptw3::test
