#include "common/encoding.h"

#include <gtest/gtest.h>

#include <iconv.h>
#include <string>

namespace ptw3 {
namespace {

// glibc's own converter as the independent reference.
std::string iconvConvert(const char* to, const char* from, std::string in) {
    iconv_t cd = iconv_open(to, from);
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
    std::string out(in.size() * 4 + 4, '\0');
    char* inPtr = in.data();
    size_t inLeft = in.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    const size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (result == static_cast<size_t>(-1)) {
        return "<iconv failed>";
    }
    out.resize(out.size() - outLeft);
    return out;
}

TEST(Encoding, EveryAssignedByteAgreesWithIconv) {
    const std::string unassigned = "\x81\x83\x88\x90\x98";
    for (int b = 1; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        if (unassigned.find(byte) != std::string::npos) {
            continue;
        }
        SCOPED_TRACE(b);
        const std::string utf8 = iconvConvert("UTF-8", "WINDOWS-1250", byte);
        EXPECT_EQ(utf8FromCp1250(byte), utf8);
        EXPECT_EQ(cp1250FromUtf8(utf8), byte);
    }
}

TEST(Encoding, AllBytesRoundTripLosslessly) {
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all += static_cast<char>(b);
    }
    const std::string utf8 = utf8FromCp1250(all);
    EXPECT_TRUE(isValidUtf8(utf8));
    EXPECT_EQ(cp1250FromUtf8(utf8), all);
}

TEST(Encoding, PolishLettersHaveTheirWindows1250Bytes) {
    struct Case {
        const char* utf8;
        const char* cp1250;
    };
    const Case cases[] = {
        {"ą", "\xB9"}, {"ć", "\xE6"}, {"ę", "\xEA"}, {"ł", "\xB3"}, {"ń", "\xF1"},
        {"ó", "\xF3"}, {"ś", "\x9C"}, {"ź", "\x9F"}, {"ż", "\xBF"}, {"Ą", "\xA5"},
        {"Ć", "\xC6"}, {"Ę", "\xCA"}, {"Ł", "\xA3"}, {"Ń", "\xD1"}, {"Ó", "\xD3"},
        {"Ś", "\x8C"}, {"Ź", "\x8F"}, {"Ż", "\xAF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(cp1250FromUtf8(c.utf8), c.cp1250);
        EXPECT_EQ(utf8FromCp1250(c.cp1250), c.utf8);
    }
}

TEST(Encoding, UnmappableAndIllFormedInputBecomesQuestionMarks) {
    struct Case {
        std::string utf8;
        std::string expected;
    };
    const Case cases[] = {
        {"a\xE2\x82\xACz", "a\x80z"},  // euro sign is mapped
        {"\xE4\xB8\xAD", "?"},         // a CJK character has no byte
        {"\xC3", "?"},                 // truncated sequence
        {"\xC0\xAF", "??"},            // overlong slash
        {"\xED\xA0\x80", "???"},       // surrogate
        {"\xF4\x90\x80\x80", "????"},  // beyond U+10FFFF
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(cp1250FromUtf8(c.utf8), c.expected);
    }
}

} // namespace
} // namespace ptw3
