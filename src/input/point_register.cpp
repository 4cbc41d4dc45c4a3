#include "input/point_register.h"

#include "common/encoding.h"
#include "common/text_file.h"
#include "input/tokenizer.h"

#include <array>

namespace ptw3 {
namespace fs = std::filesystem;

PointIndex::PointIndex(const Table<Point>& points) {
    m_index.reserve(static_cast<size_t>(points.count()));
    for (int32_t i = 1; i <= points.count(); ++i) {
        m_index.emplace(points[i].number, i);
    }
}

int32_t PointIndex::find(std::string_view number) const {
    const auto it = m_index.find(number.substr(0, pointNumberLength));
    return it == m_index.end() ? 0 : it->second;
}

void ObservedNumbers::add(std::string_view token, DiagnosticReport& report) {
    const std::string_view number = token.substr(0, pointNumberLength);
    if (m_seen.contains(number)) {
        return;
    }
    if (m_list.count() == maxPoints) {
        report.fatal(cp1250(" *** Liczba zidentyfikowanych różnych numerów punktów > 20000"));
    }
    m_seen.emplace(number);
    m_list.append(PointNumber(number));
}

namespace {

enum class ObservationFileKind { Directions, Angles, Lines };

struct PrePassFile {
    std::string_view name;
    ObservationFileKind kind;
};

constexpr std::array<PrePassFile, 11> prePassFiles = {{
    {"kierunki", ObservationFileKind::Directions},
    {"kierunki.mod", ObservationFileKind::Directions},
    {"kierunki.ort", ObservationFileKind::Directions},
    {"kierunki.gps", ObservationFileKind::Directions},
    {"katy", ObservationFileKind::Angles},
    {"katy.b", ObservationFileKind::Angles},
    {"dlugosci", ObservationFileKind::Lines},
    {"dlugosci.b", ObservationFileKind::Lines},
    {"dlugosci.gps", ObservationFileKind::Lines},
    {"azymuty", ObservationFileKind::Lines},
    {"azymuty.gps", ObservationFileKind::Lines},
}};

void scanDirections(const std::vector<std::string>& lines, ObservedNumbers& numbers,
                    DiagnosticReport& report) {
    bool inSet = false;
    for (const std::string& line : lines) {
        const Record r(line);
        if (!inSet) {
            if (r.count() >= 2) {
                numbers.add(r.token(1), report); // the station line
                inSet = true;
            }
        } else if (r.startsWithZero()) {
            inSet = false;
        } else if (r.count() >= 2) {
            numbers.add(r.token(1), report);
        }
    }
}

void scanAngles(const std::vector<std::string>& lines, ObservedNumbers& numbers,
                DiagnosticReport& report) {
    for (const std::string& line : lines) {
        const Record r(line);
        if (r.count() >= 4 && !r.startsWithZero()) {
            for (int32_t i = 1; i <= 3; ++i) {
                numbers.add(r.token(i), report);
            }
        }
    }
}

void scanLines(const std::vector<std::string>& lines, ObservedNumbers& numbers,
               DiagnosticReport& report) {
    for (const std::string& line : lines) {
        const Record r(line);
        if (r.count() < 3) {
            continue;
        }
        if (r.startsWithZero()) {
            return;
        }
        numbers.add(r.token(1), report);
        numbers.add(r.token(2), report);
    }
}

} // namespace

void collectObservedNumbers(const fs::path& folder, ObservedNumbers& numbers,
                            DiagnosticReport& report) {
    for (const PrePassFile& file : prePassFiles) {
        auto input = readInputFile(folder, file.name, report);
        if (!input) {
            continue;
        }
        const auto lines = splitLines(asCp1250(std::move(input->bytes)));
        switch (file.kind) {
        case ObservationFileKind::Directions:
            scanDirections(lines, numbers, report);
            break;
        case ObservationFileKind::Angles:
            scanAngles(lines, numbers, report);
            break;
        case ObservationFileKind::Lines:
            scanLines(lines, numbers, report);
            break;
        }
    }
}

} // namespace ptw3
