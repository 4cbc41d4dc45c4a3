// Windows-1250 (Central European) code page: bytes 0x00-0x7F are ASCII; the
// table below gives the Unicode code point of each byte 0x80-0xFF.

#include "common/encoding.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

namespace ptw3 {
namespace {

// clang-format off
constexpr std::array<char32_t, 128> upperHalf = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x0088, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,  // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,  // 0x98
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,  // 0xA0
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,  // 0xA8
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,  // 0xB0
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,  // 0xB8
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,  // 0xC0
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,  // 0xC8
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,  // 0xD0
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,  // 0xD8
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,  // 0xE0
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,  // 0xE8
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,  // 0xF0
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,  // 0xF8
};
// clang-format on

constexpr char replacement = '?';

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

struct ReverseEntry {
    char32_t codePoint;
    unsigned char byte;
};

// The upper half sorted by code point, for the UTF-8 -> Windows-1250 direction.
constexpr std::array<ReverseEntry, 128> reverseTable = [] {
    std::array<ReverseEntry, 128> table{};
    for (size_t i = 0; i < upperHalf.size(); ++i) {
        table[i] = {upperHalf[i], static_cast<unsigned char>(0x80 + i)};
    }
    std::sort(table.begin(), table.end(),
              [](const ReverseEntry& a, const ReverseEntry& b) { return a.codePoint < b.codePoint; });
    return table;
}();

std::optional<char> cp1250Byte(char32_t c) {
    if (c < 0x80) {
        return static_cast<char>(c);
    }
    const auto* entry =
        std::lower_bound(reverseTable.begin(), reverseTable.end(), c,
                         [](const ReverseEntry& e, char32_t value) { return e.codePoint < value; });
    if (entry == reverseTable.end() || entry->codePoint != c) {
        return std::nullopt;
    }
    return static_cast<char>(entry->byte);
}

struct Decoded {
    char32_t codePoint;
    size_t length; // 0 when the sequence at the position is ill-formed
};

// Decodes one UTF-8 sequence, rejecting overlong forms, surrogates and values above U+10FFFF.
Decoded decodeUtf8(std::string_view s, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) {
        return {lead, 1};
    }
    size_t length = 0;
    char32_t c = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, c = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, c = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, c = lead & 0x07, minimum = 0x10000;
    } else {
        return {0, 0};
    }
    if (at + length > s.size()) {
        return {0, 0};
    }
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            return {0, 0};
        }
        c = (c << 6) | (byte(at + i) & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        return {0, 0};
    }
    return {c, length};
}

// Converts UTF-8 to Windows-1250 into `out`, a "?" standing for each ill-formed byte and each
// character without a Windows-1250 byte; false when there was any.
bool convertUtf8(std::string_view utf8, std::string& out) {
    out.reserve(utf8.size());
    bool exact = true;
    size_t at = 0;
    while (at < utf8.size()) {
        const Decoded d = decodeUtf8(utf8, at);
        const std::optional<char> byte = d.length == 0 ? std::nullopt : cp1250Byte(d.codePoint);
        exact = exact && byte.has_value();
        out += byte.value_or(replacement);
        at += d.length == 0 ? 1 : d.length;
    }
    return exact;
}

} // namespace

std::string utf8FromCp1250(std::string_view cp1250) {
    std::string out;
    out.reserve(cp1250.size() + cp1250.size() / 4);
    for (char ch : cp1250) {
        const auto b = static_cast<unsigned char>(ch);
        appendUtf8(out, b < 0x80 ? char32_t{b} : upperHalf[b - 0x80]);
    }
    return out;
}

std::string cp1250FromUtf8(std::string_view utf8) {
    std::string out;
    convertUtf8(utf8, out);
    return out;
}

std::optional<std::string> exactCp1250FromUtf8(std::string_view utf8) {
    std::string out;
    if (!convertUtf8(utf8, out)) {
        return std::nullopt;
    }
    return out;
}

bool hasCp1250Byte(char32_t c) { return cp1250Byte(c).has_value(); }

bool isValidUtf8(std::string_view text) {
    size_t at = 0;
    while (at < text.size()) {
        const Decoded d = decodeUtf8(text, at);
        if (d.length == 0) {
            return false;
        }
        at += d.length;
    }
    return true;
}

bool hasNonAscii(std::string_view text) {
    for (char ch : text) {
        if (static_cast<unsigned char>(ch) >= 0x80) {
            return true;
        }
    }
    return false;
}

} // namespace ptw3
