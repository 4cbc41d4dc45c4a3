// dmsToGrads: arc seconds / 3240 = grads (1 grad = 3240"), each step in extended precision.

#include "input/tokenizer.h"

#include "common/number_parse.h"
#include "input/network_data.h"

namespace ptw3 {

Record::Record(std::string_view line) {
    size_t i = 0;
    while (i < line.size() && static_cast<int32_t>(m_tokens.size()) < maxTokensPerRecord) {
        while (i < line.size() && isSeparator(line[i])) {
            ++i;
        }
        const size_t start = i;
        while (i < line.size() && !isSeparator(line[i])) {
            ++i;
        }
        if (i > start) {
            m_tokens.push_back(line.substr(start, i - start));
        }
    }
}

std::optional<Real> Record::number(int32_t i) const {
    if (i < 1 || i > count()) {
        return std::nullopt;
    }
    return parseReal(token(i));
}

Real dmsToGrads(Real v) {
    const Real d = std::trunc(v);
    const Real t = (v - d) * 100;
    Real m = std::trunc(t);
    Real s = (t - m) * 100;
    if (m > 60) {
        m = 60;
    }
    if (s > 60) {
        s = 60;
    }
    return (d * 3600 + m * 60 + s) * 0.025L / 81;
}

} // namespace ptw3
