// The files are read the way Pascal's Read(f, a, b) reads two numbers: blanks
// and line breaks separate, the rest of the file after the second is ignored.

#include "input/parameter_files.h"

#include "common/encoding.h"
#include "common/number_parse.h"
#include "common/text_file.h"
#include "input/tokenizer.h"

#include <cmath>

namespace ptw3 {
namespace fs = std::filesystem;

namespace {

constexpr Real smallestDistanceA = 0.0001L;      // m
constexpr Real smallestDirectionError = 0.1L;    // cc
constexpr int32_t gradMeasure = 400;
constexpr int32_t degreeMeasure = 360;

bool isWhitespace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0'; }

std::vector<std::string_view> firstTokens(std::string_view text, size_t count) {
    std::vector<std::string_view> tokens;
    size_t i = 0;
    while (tokens.size() < count && i < text.size()) {
        while (i < text.size() && isWhitespace(text[i])) {
            ++i;
        }
        const size_t start = i;
        while (i < text.size() && !isWhitespace(text[i])) {
            ++i;
        }
        if (i > start) {
            tokens.push_back(text.substr(start, i - start));
        }
    }
    return tokens;
}

/// The file's content, or nothing when the file is absent.
std::optional<std::string> parameterFile(const fs::path& folder, std::string_view name,
                                         DiagnosticReport& report) {
    auto input = readInputFile(folder, name, report);
    if (!input) {
        return std::nullopt;
    }
    return std::move(input->bytes);
}

} // namespace

std::optional<std::pair<Real, Real>> firstTwoNumbers(std::string_view text) {
    std::pair<Real, Real> values{0, 0};
    const auto tokens = firstTokens(text, 2);
    for (size_t i = 0; i < tokens.size(); ++i) {
        const auto v = parseReal(tokens[i]);
        if (!v) {
            return std::nullopt;
        }
        (i == 0 ? values.first : values.second) = *v;
    }
    return values;
}

void readParameterFiles(const fs::path& folder, MeasurementParameters& p,
                        DiagnosticReport& report) {
    p = MeasurementParameters{};

    if (const auto text = parameterFile(folder, "dalmierz", report)) {
        if (const auto ab = firstTwoNumbers(*text)) {
            p.distanceA = ab->first;
            p.distanceB = ab->second;
        } else {
            report.line(cp1250(" ** Błąd w pliku <DALMIERZ> - przyjęto domyslnie: a=0.01, b=0.001"));
        }
        p.distanceA = std::fabs(p.distanceA);
        p.distanceB = std::fabs(p.distanceB);
        if (p.distanceA < smallestDistanceA) {
            report.line(cp1250(" ** Niewiarygodnie mała wartośc parametru (a) w pliku <DALMIERZ>"));
            report.line(cp1250("    Założono wartośc domyślną a=0.01m"));
            p.distanceA = MeasurementParameters{}.distanceA;
        }
    }

    if (const auto text = parameterFile(folder, "limbus", report)) {
        const auto tokens = firstTokens(*text, 2);
        const auto code = tokens.size() >= 1 ? parseInteger(tokens[0]) : std::optional<int32_t>(0);
        const auto mk = tokens.size() >= 2 ? parseReal(tokens[1]) : std::optional<Real>(0);
        if (code && mk) {
            p.angleMeasure = *code;
            p.directionMeanError = *mk;
        } else {
            report.line(
                cp1250(" ** Błąd w pliku <LIMBUS> - przyjęto parametry domyślne:  400 10 10"));
        }
        if (p.angleMeasure == degreeMeasure) {
            p.directionMeanError *= arcSecondsToCcFactor;
        } else if (p.angleMeasure != gradMeasure) {
            report.line(cp1250(" ** Błąd określenia miary w pliku <LIMBUS>"));
            report.line(cp1250("    Przyjęto wartośc domyślną: 400 (grady)"));
            p.angleMeasure = gradMeasure;
        }
        p.directionMeanError = std::fabs(p.directionMeanError);
        if (p.directionMeanError < smallestDirectionError) {
            report.line(cp1250(" ** Niewiarygodnie mała wartośc błędu średniego kierunku (mk w "
                               "[cc]) w pliku <LIMBUS>"));
            report.line(cp1250("    Założono wartośc domyślną mk=10[cc]"));
            p.directionMeanError = MeasurementParameters{}.directionMeanError;
        }
    }

    if (const auto text = parameterFile(folder, "redukcje", report)) {
        if (const auto values = firstTwoNumbers(*text)) {
            p.reductionFirst = values->first;
            p.meanHeight = values->second;
        } else {
            report.line(cp1250(
                " ** Błąd w pliku <REDUKCJE> - przyjęto parametry zerowe: 0.00  0.00"));
        }
    }
}

} // namespace ptw3
