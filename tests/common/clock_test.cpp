#include "common/clock.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace ptw3 {
namespace {

TEST(Clock, TimeOfDayAndTheShortDateWithoutALocale) {
    const LocalDateTime moment{2026, 3, 7, 8, 5, 9};
    EXPECT_EQ(formatTimeOfDay(moment), "08:05:09");
    // The C locale's date form (month/day/year) is ambiguous: the date is written as ISO.
    setenv("LC_ALL", "C", 1);
    EXPECT_EQ(formatShortDate(moment), "2026-03-07");
    unsetenv("LC_ALL");
}

} // namespace
} // namespace ptw3
