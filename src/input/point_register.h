// Point numbers: the index from a number to its entry of the point table, and
// the list of the numbers the observation files mention, built by a pre-pass
// over those files before any coordinates are read.
#pragma once

#include "input/diagnostic_report.h"
#include "input/network_data.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace ptw3 {

struct NumberHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

/// Number -> index of the point table (the point table never holds a number twice).
class PointIndex {
public:
    PointIndex() = default;
    explicit PointIndex(const Table<Point>& points);

    /// The index of the point with this number (cut to 16 characters), or 0.
    int32_t find(std::string_view number) const;

private:
    std::unordered_map<std::string, int32_t, NumberHash, std::equal_to<>> m_index;
};

/// The numbers the observation files mention, in order of first appearance.
class ObservedNumbers {
public:
    explicit ObservedNumbers(Table<PointNumber>& list)
        : m_list(list) {}

    /// Appends the number (cut to 16 characters) when it is new; the 20001st distinct
    /// number stops the computation.
    void add(std::string_view token, DiagnosticReport& report);
    bool contains(std::string_view number) const { return m_seen.contains(number); }

private:
    Table<PointNumber>& m_list;
    std::unordered_set<std::string, NumberHash, std::equal_to<>> m_seen;
};

/// The pre-pass: registers the point numbers of every observation file of the folder, in
/// the fixed order of the files.
void collectObservedNumbers(const std::filesystem::path& folder, ObservedNumbers& numbers,
                            DiagnosticReport& report);

} // namespace ptw3
