#include "common/number_format.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <functional>
#include <limits>
#include <random>

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

// fixed() rounds |v|·10^d by integer arithmetic where it fits in 64 bits; to_chars, which
// rounds the exact binary value half to even, must give the same text for every value: of
// any magnitude, on an exact decimal tie, next to -0 and at the edges of the integer path.
TEST(NumberFormat, FixedAgreesWithToCharsOnEveryKindOfValue) {
    std::mt19937_64 random(8122026);
    const auto significand = [&] { return std::ldexp(static_cast<Real>(random()), -64); };
    const auto sign = [&](Real v) { return random() % 2 == 0 ? v : -v; };
    struct Case {
        const char* what;
        std::function<Real(int decimals)> value;
    };
    const Case cases[] = {
        {"any magnitude",
         [&](int) { return sign(std::ldexp(significand(), static_cast<int>(random() % 140) - 70)); }},
        {"exact decimal tie: (2a+1)/2^(d+1)",
         [&](int d) { return sign(std::ldexp(static_cast<Real>(2 * (random() % 100000) + 1), -d - 1)); }},
        {"a printed value k/10^d and its neighbours",
         [&](int d) {
             const Real v = static_cast<Real>(random() % 10000000) / std::pow(10.0L, d);
             return sign(std::nextafter(v, v + static_cast<Real>(random() % 3) - 1));
         }},
        {"near 2^64/10^d, where the integer path ends",
         [&](int d) { return sign(std::ldexp(significand() + 0.5L, 64) / std::pow(10.0L, d)); }},
        {"below 2^-63, where it also ends", [&](int) { return sign(std::ldexp(significand(), -64)); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        int failures = 0;
        for (int k = 0; k < 40000 && failures < 5; ++k) {
            const int decimals = static_cast<int>(random() % 20);
            const Real v = c.value(decimals);
            char text[6000];
            const auto end =
                std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, decimals).ptr;
            const std::string expected(text, end);
            if (fixed(v, 0, decimals) != expected) {
                ADD_FAILURE() << std::hexfloat << v << " with " << decimals
                              << " decimals: " << fixed(v, 0, decimals) << ", not " << expected;
                ++failures;
            }
        }
    }
    EXPECT_EQ(fixed(-0.0L, 6, 2), " -0.00");
    EXPECT_EQ(fixed(-0.004L, 6, 2), " -0.00");
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

} // namespace
} // namespace ptw3
