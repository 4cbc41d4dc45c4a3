#include "common/number_format.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <random>
#include <string>

namespace ptw3 {
namespace {

TEST(NumberFormat, FixedFields) {
    struct Case {
        Real v;
        int width, decimals;
        const char* expected;
    };
    const Case cases[] = {
        {1234.5L, 10, 4, " 1234.5000"},
        {-0.25L, 10, 1, "      -0.2"},      // tie on an exact binary value: to even
        {0.75L, 6, 1, "   0.8"},            // tie: to even
        {0.125L, 6, 2, "  0.12"},
        {2.675L, 5, 2, " 2.67"},            // 2.675 is just below the tie in binary
        {123456789.0L, 4, 1, "123456789.0"}, // the field widens, never truncates
        {15.432L, 10, 1, "      15.4"},
        {0.0L, 3, 0, "  0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(fixed(c.v, c.width, c.decimals), c.expected);
    }
}

TEST(NumberFormat, GeneralShortestForm) {
    struct Case {
        Real v;
        const char* expected;
    };
    const Case cases[] = {
        {309 * 0.0001L, "0.0309"},
        {31 * 0.001L, "0.031"},
        {0.05L, "0.05"},
        {0.0L, "0"},
        {-12.5L, "-12.5"},
        {3.0L, "3"},
        {1e14L, "100000000000000"},
        {0.1L + 0.2L, "0.3"},                 // 15 significant digits hide the binary noise
        {123456789012345678.0L, "1.23456789012346E17"},
        {0.00001L, "0.00001"},
        {0.0000015L, "1.5E-6"},
        {-250.5L, "-250.5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(general(c.v), c.expected);
    }
}

// An overflow upstream (a weight of 1/0, a difference of two huge lengths) once made
// general() read past the end of its text.
TEST(NumberFormat, NonFiniteAndExtremeValuesPrintWithoutCrash) {
    using limits = std::numeric_limits<Real>;
    struct Case {
        Real v;
        const char* fixed8x2;
        const char* general;
    };
    const Case cases[] = {
        {limits::infinity(), "     inf", "inf"},
        {-limits::infinity(), "    -inf", "-inf"},
        {limits::quiet_NaN(), "     nan", "nan"},
        {-limits::quiet_NaN(), "     nan", "nan"},
        {limits::denorm_min(), "    0.00", "3.64519953188247E-4951"},
        {-limits::max(), nullptr, "-1.18973149535723E4932"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.general);
        if (c.fixed8x2 != nullptr) {
            EXPECT_EQ(fixed(c.v, 8, 2), c.fixed8x2);
        }
        EXPECT_EQ(general(c.v), c.general);
    }
    EXPECT_EQ(fixed(-limits::max(), 8, 4).size(), 1 + 4933 + 1 + 4u); // sign, digits, ., decimals
    EXPECT_EQ(fixed(limits::max(), 8, 9000).size(), 4933 + 1 + 9000u);
}

TEST(NumberFormat, IntegerAndPointNumberFields) {
    EXPECT_EQ(integer(42, 10), "        42");
    EXPECT_EQ(integer(-7, 2), "-7");
    EXPECT_EQ(integer(1234567, 3), "1234567");
    EXPECT_EQ(rightAlign("P12", pointNumberWidth), "             P12");
    EXPECT_EQ(rightAlign("ABCDEFGHIJKLMNOPQ", pointNumberWidth), "ABCDEFGHIJKLMNOPQ");
}

TEST(NumberFormat, RoundingToIntegersGoesHalfToEven) {
    struct Case {
        Real v, expected;
    };
    const Case cases[] = {{2.5L, 2}, {3.5L, 4}, {-2.5L, -2}, {0.5L, 0}, {2.5000001L, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<double>(c.v));
        EXPECT_EQ(roundHalfEven(c.v), c.expected);
    }
}

// The fixed form computed from the significand against to_chars's own conversion: every
// kind of value a report prints (and exact ties at the last decimal), the same text.
TEST(NumberFormat, FixedAgreesWithTheGeneralConversion) {
    std::mt19937_64 random(3);
    const auto reference = [](Real v, int decimals) {
        char text[256];
        const auto r = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed,
                                     decimals);
        return std::string(text, r.ptr);
    };
    for (int i = 0; i < 200000; ++i) {
        const int decimals = static_cast<int>(random() % 12);
        Real v = 0;
        switch (i % 4) {
        case 0: v = std::ldexp(static_cast<Real>(random() >> 1), -static_cast<int>(random() % 140)); break;
        case 1: // decimal values and exact ties at the last decimal
            v = (static_cast<Real>(static_cast<int64_t>(random() % 2000001) - 1000000) + 0.5L) /
                std::pow(10.0L, decimals);
            break;
        case 2: v = -std::ldexp(static_cast<Real>(random() | 1ULL << 63), -static_cast<int>(random() % 70)); break;
        default: v = static_cast<Real>(random() % 100000) * 0.00001L - 0.5L; break;
        }
        ASSERT_EQ(fixed(v, 0, decimals), reference(v, decimals)) << static_cast<double>(v);
    }
    EXPECT_EQ(fixed(-0.0L, 0, 4), "-0.0000");
    EXPECT_EQ(fixed(2.5L, 0, 0), "2");
    EXPECT_EQ(fixed(1e30L, 0, 2), reference(1e30L, 2));
}

} // namespace
} // namespace ptw3
