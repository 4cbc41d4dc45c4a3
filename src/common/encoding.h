// Windows-1250 <-> UTF-8. The core keeps every text as Windows-1250 bytes (one
// byte a character, as the files of the working folder hold them); the window
// and the terminal receive UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ptw3 {

/// Converts Windows-1250 bytes to UTF-8. Every byte has a meaning: the five bytes that
/// Windows-1250 leaves unassigned (0x81, 0x83, 0x88, 0x90, 0x98) map to the C1 controls
/// of the same value, so the conversion is lossless.
std::string utf8FromCp1250(std::string_view cp1250);

/// Converts UTF-8 to Windows-1250; a character that Windows-1250 lacks, and every byte of
/// an ill-formed sequence, becomes "?".
std::string cp1250FromUtf8(std::string_view utf8);

/// Converts UTF-8 to Windows-1250 only when nothing is lost: the text is well-formed UTF-8
/// and every character has a Windows-1250 byte; otherwise nothing.
std::optional<std::string> exactCp1250FromUtf8(std::string_view utf8);

/// True when Windows-1250 has a byte for the character (Unicode code point).
bool hasCp1250Byte(char32_t c);

/// Shorthand for the system's own literal texts, written in UTF-8 in the source.
inline std::string cp1250(std::string_view utf8) { return cp1250FromUtf8(utf8); }

/// True when the text is well-formed UTF-8 (shortest forms, no surrogates, at most U+10FFFF).
bool isValidUtf8(std::string_view text);

/// True when the text holds a byte above 0x7F.
bool hasNonAscii(std::string_view text);

} // namespace ptw3
