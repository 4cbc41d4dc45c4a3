#include "input/tokenizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ptw3 {
namespace {

std::vector<std::string> tokensOf(std::string_view line) {
    const Record r(line);
    std::vector<std::string> tokens;
    for (int32_t i = 1; i <= r.count(); ++i) {
        tokens.emplace_back(r.token(i));
    }
    return tokens;
}

TEST(Record, SplitsAtBlanksTabsAndNul) {
    struct Case {
        std::string line;
        std::vector<std::string> tokens;
    };
    const Case cases[] = {
        {"   12    13     100.5   ", {"12", "13", "100.5"}},
        {"12\t13\t\t100.5", {"12", "13", "100.5"}},
        {std::string("12\0" "13", 5), {"12", "13"}},
        {"12,13 x;y", {"12,13", "x;y"}},
        {"", {}},
        {" \t ", {}},
        {"P1", {"P1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(tokensOf(c.line), c.tokens);
    }
}

TEST(Record, TokensPastTheFiveHundredthAreIgnored) {
    std::string line;
    for (int i = 1; i <= 600; ++i) {
        line += std::to_string(i) + " ";
    }
    const Record r(line);
    EXPECT_EQ(r.count(), 500);
    EXPECT_EQ(r.token(500), "500");
    EXPECT_EQ(r.token(501), "");
}

TEST(Record, NumbersAndTheMissingMarker) {
    const Record r("P1 12.5 12abc -1 1,5");
    EXPECT_EQ(r.number(2), 12.5L);
    EXPECT_FALSE(r.number(3).has_value()); // partly a number is not a number
    EXPECT_EQ(r.numberOrMissing(3), -1);
    EXPECT_EQ(r.numberOrMissing(4), -1);
    EXPECT_FALSE(r.number(5).has_value());
    EXPECT_FALSE(r.number(6).has_value()); // absent
    EXPECT_FALSE(r.startsWithZero());
    EXPECT_TRUE(Record("0 0 0").startsWithZero());
    EXPECT_FALSE(Record("00 0 0").startsWithZero());
}

TEST(DmsToGrads, PackedDegreesMinutesSeconds) {
    struct Case {
        Real packed;
        Real arcSeconds; // worked out by hand
        Real toleranceGrad;
    };
    const Case cases[] = {
        {256.2845L, 256 * 3600 + 28 * 60 + 45, 1e-12L},
        {10.7500L, 11 * 3600, 1e-12L},        // 75 minutes count as 60
        {10.3075L, 10 * 3600 + 30 * 60 + 60, 1e-12L}, // 75 seconds count as 60
        {0.0003L, 3, 1e-12L},
        {90.0000L, 324000, 0},
        {0.00001L, 0.1L, 1e-12L},            // fractions of a second are kept
        {359.5959L, 359 * 3600 + 59 * 60 + 59, 1e-12L},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<double>(c.packed));
        EXPECT_NEAR(static_cast<double>(dmsToGrads(c.packed)),
                    static_cast<double>(c.arcSeconds / 3240), static_cast<double>(c.toleranceGrad));
    }
    EXPECT_NEAR(static_cast<double>(dmsToGrads(256.2845L)), 284.97685, 5e-6);
    EXPECT_NEAR(static_cast<double>(dmsToGrads(10.75L)), 12.2222, 5e-5);
}

} // namespace
} // namespace ptw3
