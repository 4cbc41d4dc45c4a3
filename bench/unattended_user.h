// A person for benchmark runs: answers every question Yes and reads nothing.
#pragma once

#include "common/user_interaction.h"

#include <string>

namespace ptw3::bench {

class UnattendedUser : public UserInteraction {
public:
    void message(int32_t, const std::string&) override {}
    void messagesBlanked(int32_t, int32_t) override {}
    bool confirm(const std::string&) override { return true; }
    void inform(const std::string&) override {}
};

} // namespace ptw3::bench
