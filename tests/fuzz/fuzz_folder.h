// What both fuzz targets share: the input is split into the files of a working folder
// by header lines "##NAME" (NAME one of the folder's file names, in any letter case),
// written to a scratch folder of the process, and the person at the other end answers
// Yes or No by the bits of the input's first eight bytes.
#pragma once

#include "common/user_interaction.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace ptw3::fuzz {

/// Answers questions by the bits of a 64-bit word, in turn, and shows nothing.
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

/// The answer bits: the input's first eight bytes, big-endian.
uint64_t answersOf(std::string_view input);

/// The scratch working folder of this process (in /dev/shm when there is one).
const std::filesystem::path& workFolder();

/// Empties the scratch folder and writes the input's files into it.
void writeFolder(std::string_view input);

} // namespace ptw3::fuzz
