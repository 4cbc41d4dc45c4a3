#include "export/results_csv.h"

#include "export/output_file.h"
#include "export/result_fields.h"

#include <charconv>
#include <cmath>
#include <span>
#include <string>
#include <vector>

namespace ptw3 {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view lineEnd = "\r\n";

void appendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    out += '"';
}

void appendCell(std::string& out, const FieldValue& v, int decimals) {
    if (const auto* real = std::get_if<Real>(&v)) {
        if (!std::isfinite(*real)) {
            return; // empty, as the JSON's null
        }
        char digits[64];
        const auto end = std::to_chars(digits, digits + sizeof digits, roundedTo(*real, decimals),
                                       std::chars_format::fixed, decimals);
        out.append(digits, end.ptr);
    } else if (const auto* integer = std::get_if<int32_t>(&v)) {
        out += std::to_string(*integer);
    } else if (const auto* text = std::get_if<std::string>(&v)) {
        appendQuoted(out, *text);
    } else if (const auto* flag = std::get_if<bool>(&v)) {
        out += *flag ? "true" : "false";
    }
}

template <class Field, class Record, class Cell>
bool writeTable(const fs::path& folder, std::string_view name, std::span<const Field> fields,
                const std::vector<Record>& records, Cell cell) {
    OutputFile out(folder, name);
    std::string line;
    for (const Field& f : fields) {
        line += line.empty() ? "" : ",";
        line += f.name;
    }
    out.write(line + std::string(lineEnd));
    for (const Record& record : records) {
        line.clear();
        for (size_t i = 0; i < fields.size(); ++i) {
            line += i == 0 ? "" : ",";
            cell(line, fields[i], record);
        }
        line += lineEnd;
        out.write(line);
    }
    return out.commit();
}

} // namespace

bool writePointsCsv(const fs::path& folder, const NetworkResults& r) {
    return writeTable(folder, "punkty.csv", pointFields(), r.points,
                      [](std::string& line, const PointField& f, const PointResult& p) {
                          appendCell(line, f.value(p), f.decimals);
                      });
}

bool writeObservationsCsv(const fs::path& folder, const NetworkResults& r) {
    return writeTable(
        folder, "obserwacje.csv", observationFields(), r.observations,
        [&](std::string& line, const ObservationField& f, const ObservationResult& o) {
            if (carries(f, o.kind)) {
                appendCell(line, f.value(r, o), f.decimals);
            }
        });
}

} // namespace ptw3
