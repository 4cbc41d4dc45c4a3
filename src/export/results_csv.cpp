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

template <class Field> std::string headerOf(std::span<const Field> fields) {
    std::string header;
    for (const Field& f : fields) {
        header += header.empty() ? "" : ",";
        header += f.name;
    }
    return header;
}

/// Writes the header and one line a record; `cells(line, record, index)` appends the cells
/// of a record.
template <class Record, class Cells>
bool writeTable(const fs::path& folder, std::string_view name, const std::string& header,
                const std::vector<Record>& records, Cells cells) {
    OutputFile out(folder, name);
    out.write(header + std::string(lineEnd));
    std::string line;
    for (size_t i = 0; i < records.size(); ++i) {
        line.clear();
        cells(line, records[i], i);
        line += lineEnd;
        out.write(line);
    }
    return out.commit();
}

template <class Field, class Record>
void appendCells(std::string& line, std::span<const Field> fields, const Record& record) {
    for (size_t i = 0; i < fields.size(); ++i) {
        line += i == 0 ? "" : ",";
        appendCell(line, fields[i].value(record), fields[i].decimals);
    }
}

} // namespace

bool writePointsCsv(const fs::path& folder, const NetworkResults& r) {
    return writeTable(folder, "punkty.csv", headerOf(pointFields()), r.points,
                      [](std::string& line, const PointResult& p, size_t) {
                          appendCells(line, pointFields(), p);
                      });
}

bool writeObservationsCsv(const fs::path& folder, const NetworkResults& r) {
    const auto fields = observationFields();
    std::string header = headerOf(fields);
    // The column of the snooping steps is there when the quality control was made.
    std::vector<int32_t> stepOf;
    if (r.control) {
        header += ",snooping_step";
        stepOf = snoopingSteps(r);
    }
    return writeTable(
        folder, "obserwacje.csv", header, r.observations,
        [&](std::string& line, const ObservationResult& o, size_t index) {
            for (size_t i = 0; i < fields.size(); ++i) {
                line += i == 0 ? "" : ",";
                if (carries(fields[i], o.kind)) {
                    appendCell(line, fields[i].value(r, o), fields[i].decimals);
                }
            }
            if (r.control) {
                line += ",";
                if (stepOf[index] > 0) {
                    appendCell(line, stepOf[index], 0);
                }
            }
        });
}

bool writeLinesCsv(const fs::path& folder, const NetworkResults& r) {
    static const std::vector<LineAccuracy> none;
    const std::vector<LineAccuracy>& lines = r.preAnalysis ? r.preAnalysis->lines.lines
                                             : r.control   ? r.control->relative.lines
                                                           : none;
    return writeTable(folder, "linie.csv", headerOf(lineFields()), lines,
                      [&](std::string& line, const LineAccuracy& l, size_t) {
                          for (size_t i = 0; i < lineFields().size(); ++i) {
                              line += i == 0 ? "" : ",";
                              appendCell(line, lineFields()[i].value(r, l),
                                         lineFields()[i].decimals);
                          }
                      });
}

} // namespace ptw3
