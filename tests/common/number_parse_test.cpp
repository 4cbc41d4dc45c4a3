#include "common/number_parse.h"

#include <gtest/gtest.h>

#include <optional>

namespace ptw3 {
namespace {

TEST(NumberParse, AcceptsTheNumberFormsOfTheInputFiles) {
    struct Case {
        const char* text;
        Real expected;
    };
    const Case cases[] = {
        {"12", 12},         {"-12.5", -12.5L},   {"+3", 3},          {"  100.5  ", 100.5L},
        {"1e3", 1000},      {"1.5E-2", 0.015L},  {".5", 0.5L},       {"5.", 5},
        {"0.0015", 0.0015L}, {"256.2845", 256.2845L}, {"-0", 0},     {"1e-5000", 0},
        {"\t7\t", 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto v = parseReal(c.text);
        ASSERT_TRUE(v.has_value());
        EXPECT_EQ(*v, c.expected);
    }
}

TEST(NumberParse, RejectsEverythingElse) {
    const char* rejected[] = {"",     "   ",   "1,5",  "12abc", "inf", "nan",  "0x10",
                              "-",    ".",     "1e",   "1e+",   "e5",  "1.2.3", "--1",
                              "1 2",  "1e5000", "Infinity", "1_000", "½"};
    for (const char* text : rejected) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(parseReal(text).has_value());
    }
}

TEST(NumberParse, ConvertsToTheNearestExtendedValue) {
    // 0.1 is not exact in binary: the conversion must give the nearest 64-bit significand.
    EXPECT_EQ(*parseReal("0.1"), 0.1L);
    EXPECT_EQ(*parseReal("6378137.0"), 6378137.0L);
    EXPECT_EQ(*parseReal("636619.772368"), 636619.772368L);
}

TEST(NumberParse, Integers) {
    struct Case {
        const char* text;
        std::optional<int32_t> expected;
    };
    const Case cases[] = {
        {"4", 4},          {"  -5", -5},          {"+12", 12},        {"8361", 8361},
        {"", std::nullopt}, {"abc", std::nullopt}, {"4 ", std::nullopt}, {"1.5", std::nullopt},
        {"2147483647", 2147483647}, {"2147483648", std::nullopt},
        {"-2147483648", -2147483647 - 1}, {"99999999999999999999", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parseInteger(c.text), c.expected);
    }
}

TEST(NumberParse, LeadingIntegerOfALine) {
    struct Case {
        const char* line;
        int32_t expected;
    };
    const Case cases[] = {{"2000", 2000}, {"  18 strefa", 18}, {"19423abc", 19423},
                          {"abc", 0},     {"", 0},             {"-5x", -5},
                          {"99999999999", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(leadingInteger(c.line), c.expected);
    }
}

} // namespace
} // namespace ptw3
