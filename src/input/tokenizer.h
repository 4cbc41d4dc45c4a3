// The lexical layer of every input file: a record line split into tokens at
// blanks, tabs and NUL characters, numeric tokens converted, and packed
// sexagesimal values (DDD.MMSS) converted to grads.
#pragma once

#include "common/real.h"

#include <optional>
#include <string_view>
#include <vector>

namespace ptw3 {

/// True for the characters that separate tokens: blank, tab and NUL. Commas and semicolons
/// belong to tokens.
constexpr bool isSeparator(char c) { return c == ' ' || c == '\t' || c == '\0'; }

/// The tokens of one record line, numbered from 1; they view the line, which must outlive
/// them. Tokens past the 500th are ignored.
class Record {
public:
    explicit Record(std::string_view line);

    int32_t count() const { return static_cast<int32_t>(m_tokens.size()); }
    /// Token i (1-based), or empty text when the line has fewer tokens.
    std::string_view token(int32_t i) const {
        return i >= 1 && i <= count() ? m_tokens[static_cast<size_t>(i) - 1] : std::string_view();
    }
    /// Token i as a number, or nothing when it is absent or not a number.
    std::optional<Real> number(int32_t i) const;
    /// Token i as a number, or the missing-value marker -1.
    Real numberOrMissing(int32_t i) const { return number(i).value_or(missingValue); }
    /// True when token 1 is "0" (group, end and closing records).
    bool startsWithZero() const { return token(1) == "0"; }

private:
    std::vector<std::string_view> m_tokens;
};

/// Converts a packed sexagesimal value DDD.MMSS (256.2845 is 256° 28' 45") to grads; minutes
/// and seconds above 60 count as 60.
Real dmsToGrads(Real v);

/// Arc seconds to centesimal seconds, with the factor the angular input files are defined by.
inline constexpr Real arcSecondsToCcFactor = 3.0864L;

} // namespace ptw3
