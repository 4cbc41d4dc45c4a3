// The files beside the reports as a script meets them: the field names and JSON types of
// wyniki.json (the schema the README documents), the columns of the CSV files, the outliers
// against the control report, reading wyniki.json back, and when the files are written.

#include "common/encoding.h"
#include "common/stop.h"
#include "common/text_file.h"
#include "engine/synthetic_network.h"
#include "export/extra_files.h"
#include "export/results_csv.h"
#include "export/results_json.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <set>

namespace ptw3 {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;
using Schema = std::vector<std::pair<std::string, std::string>>; // name, type

const fs::path examples = PTW3_EXAMPLES_DIR;

// clang-format off
const Schema runSchema = {
    {"kind", "string"}, {"program_version", "string"}, {"coordinate_system", "integer"},
    {"zone", "integer"}, {"principle", "string"}, {"analysis_mode", "string"},
    {"iterations", "integer"}, {"acceleration", "string"}, {"acceleration_boost", "boolean"},
    {"started", "string"}, {"finished", "string"}, {"system_defect", "boolean"},
    {"reliability", "string"}};
const Schema countsSchema = {
    {"lp", "integer"}, {"ls", "integer"}, {"lr", "integer"}, {"lrsxy", "integer"},
    {"lka", "integer"}, {"lst", "integer"}, {"lki", "integer"}, {"lazt", "integer"},
    {"lazg", "integer"}, {"ldk", "integer"}, {"ldg", "integer"}, {"n", "integer"},
    {"m", "integer"}, {"redundancy", "integer"}, {"points_without_control", "integer"},
    {"outliers", "integer"}, {"redundancy_sum", "number|null"}};
const Schema unitErrorSchema = {
    {"mo", "number"}, {"mo_reported", "number"}, {"partial", "array"}, {"z", "number"},
    {"z_percent", "number"}, {"mp_mean_m", "number"}, {"mp_max_m", "number"},
    {"mp_max_point", "string|null"}};
const Schema partialSchema = {
    {"kind", "string"}, {"mo", "number"}, {"f", "number"}, {"a_priori", "boolean"}};
const Schema pointSchema = {
    {"number", "string"}, {"kind", "string"}, {"x_m", "number"}, {"y_m", "number"},
    {"mx_m", "number"}, {"my_m", "number"}, {"mp_m", "number"}, {"a_m", "number"},
    {"b_m", "number"}, {"fi_grad", "number"}, {"controlled", "boolean"}};
Schema observationSchema(const std::string& unit, const std::string& valueUnit) {
    return {{"kind", "string"}, {"file", "string|null"}, {"line", "integer|null"},
            {"left", "string|null"}, {"from", "string"}, {"to", "string"},
            {"observed_" + valueUnit, "number"}, {"adjusted_" + valueUnit, "number"},
            {"v_" + unit, "number"}, {"m_apriori_" + unit, "number"},
            {"m_adjusted_" + unit, "number"}, {"mv_" + unit, "number"}, {"r", "number|null"},
            {"w", "number|null"}, {"w_mo", "number|null"},
            {"gross_error_" + unit, "number|null"}, {"mdb_" + unit, "number|null"},
            {"outlier", "boolean"}};
}
const Schema controlSchema = {
    {"global_test", "object"}, {"snooping", "object"}, {"reference_check", "object"},
    {"relative_accuracy", "object"}, {"accuracy_standard", "object"}};
const Schema globalTestSchema = {
    {"skipped", "string|null"}, {"f", "integer"}, {"sum_of_squares", "number"}, {"mo", "number"},
    {"alpha", "number"}, {"chi2_lower", "number"}, {"chi2_upper", "number"},
    {"chi2_upper_one_sided", "number"}, {"verdict", "string"}};
const Schema snoopingSchema = {
    {"skipped", "string|null"}, {"critical", "number"}, {"step_limit", "integer"},
    {"largest_w", "number|null"}, {"largest_observation", "integer|null"},
    {"limit_reached", "boolean"}, {"steps", "array"}};
Schema stepSchema(const std::string& unit) {
    return {{"observation", "integer"}, {"also_removed", "integer|null"}, {"w", "number"},
            {"gross_error_" + unit, "number"}, {"mo_after", "number"}, {"f_after", "integer"},
            {"largest_remaining_w", "number|null"},
            {"largest_remaining_observation", "integer|null"}};
}
const Schema referenceSchema = {
    {"skipped", "string|null"}, {"alpha", "number"}, {"doubtful_points", "array"},
    {"rounds", "array"}};
const Schema roundSchema = {{"doubtful", "string|null"}, {"points", "array"}};
const Schema referencePointSchema = {
    {"point", "string"}, {"moving", "boolean"}, {"testable", "boolean"}, {"dx_m", "number"},
    {"dy_m", "number"}, {"shift_m", "number"}, {"qxx_mm2", "number"}, {"qxy_mm2", "number"},
    {"qyy_mm2", "number"}, {"t", "number"}, {"critical", "number"}, {"f", "integer"}};
const Schema relativeSchema = {{"skipped", "string|null"}, {"lines", "array"}};
const Schema lineSchema = {
    {"from", "string"}, {"to", "string"}, {"length_m", "number"}, {"a_m", "number"},
    {"b_m", "number"}, {"fi_grad", "number"}, {"length_error_m", "number"},
    {"length_error_ppm", "number"}, {"direction_error_cc", "number"}};
const Schema standardSchema = {
    {"limit_m", "number"}, {"checked", "integer"}, {"met", "boolean"}, {"failing", "array"},
    {"largest_point", "string|null"}, {"largest_mp_m", "number"}};
const Schema planSchema = {
    {"relative_accuracy", "object"}, {"accuracy_standard", "object"}, {"advice", "object|null"}};
const Schema adviceSchema = {
    {"skipped", "string|null"}, {"candidates", "integer"}, {"worst_mp_before_m", "number"},
    {"failing_before", "integer"}, {"weak_before", "integer"}, {"goal_met", "boolean"},
    {"stop_reason", "string"}, {"proposals", "array"}};
Schema proposalSchema(const std::string& unit) {
    return {{"kind", "string"}, {"from", "string"}, {"to", "string"}, {"line", "integer|null"},
            {"m_apriori_" + unit, "number"}, {"worst_mp_m", "number"}, {"failing", "integer"},
            {"weak_observations", "integer"}};
}
// clang-format on

std::string typeOf(const Json& j) {
    if (j.is_null()) {
        return "null";
    }
    if (j.is_boolean()) {
        return "boolean";
    }
    if (j.is_number_integer()) {
        return "integer";
    }
    if (j.is_number_float()) {
        return "number";
    }
    return j.is_string() ? "string" : j.is_array() ? "array" : "object";
}

void expectSchema(const Json& object, const Schema& schema) {
    ASSERT_TRUE(object.is_object());
    std::vector<std::string> names;
    for (const auto& [name, value] : object.items()) {
        names.push_back(name);
    }
    std::vector<std::string> expected;
    for (const auto& [name, type] : schema) {
        expected.push_back(name);
        SCOPED_TRACE(name);
        const std::string actual = typeOf(object.at(name));
        EXPECT_TRUE(type == actual || type.starts_with(actual + "|") ||
                    type.ends_with("|" + actual))
            << actual << " is not " << type;
    }
    EXPECT_EQ(names, expected);
}

/// Cells of a CSV line (RFC 4180 quoting).
std::vector<std::string> csvCells(const std::string& line) {
    std::vector<std::string> cells(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            cells.back() += "\"\"";
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
            cells.back() += c;
        } else if (c == ',' && !quoted) {
            cells.emplace_back();
        } else {
            cells.back() += c;
        }
    }
    return cells;
}

struct Computed {
    test::TempFolder folder;

    void run(bool extraFiles = true, std::deque<bool> answers = std::deque<bool>(50, true)) {
        test::computeFolder(folder.path(), extraFiles, std::move(answers));
    }
    Json json() const { return Json::parse(folder.read("wyniki.json")); }
};

/// The 2000-system example (GPS lengths and azimuths) and a synthetic local network with
/// angles and topographic azimuths: together every kind of observation.
std::vector<std::unique_ptr<Computed>> computedNetworks() {
    std::vector<std::unique_ptr<Computed>> runs;
    runs.push_back(std::make_unique<Computed>());
    runs.back()->folder.copyFilesOf(examples / "siec-2000");
    runs.push_back(std::make_unique<Computed>());
    std::mt19937 random(5);
    for (const auto& [name, content] : test::networkFiles(test::scatter(15, 3, random), random)) {
        runs.back()->folder.write(name, test::crlf(content));
    }
    for (auto& run : runs) {
        run->run();
    }
    return runs;
}

TEST(ResultFiles, JsonFieldsAndTypesOfEveryRecordKind) {
    std::set<std::string> kinds;
    for (const auto& run : computedNetworks()) {
        const Json j = run->json();
        EXPECT_EQ(j.at("format"), "ptw3-wyniki");
        EXPECT_EQ(j.at("format_version"), 1);
        expectSchema(j.at("run"), runSchema);
        expectSchema(j.at("counts"), countsSchema);
        expectSchema(j.at("unit_error"), unitErrorSchema);
        for (const Json& partial : j.at("unit_error").at("partial")) {
            expectSchema(partial, partialSchema);
        }
        for (const Json& point : j.at("points")) {
            expectSchema(point, pointSchema);
        }
        for (const Json& o : j.at("observations")) {
            const std::string kind = o.at("kind");
            SCOPED_TRACE(kind);
            kinds.insert(kind);
            const bool length = kind == "distance" || kind == "gps_distance";
            expectSchema(o, length ? observationSchema("m", "m") : observationSchema("cc", "grad"));
        }
        EXPECT_EQ(j.at("points").size(), static_cast<size_t>(j.at("counts").at("lp")));
    }
    EXPECT_EQ(kinds, (std::set<std::string>{"angle", "direction", "distance", "gps_distance",
                                            "azimuth", "gps_azimuth"}));
}

TEST(ResultFiles, CsvColumnsFollowTheJsonFields) {
    for (const auto& run : computedNetworks()) {
        const Json j = run->json();
        struct Table {
            const char* file;
            std::vector<std::string> header;
            const Json& records;
        };
        std::vector<std::string> pointColumns;
        for (const auto& [name, type] : pointSchema) {
            pointColumns.push_back(name);
        }
        const std::vector<std::string> observationColumns = {"kind",
                                                             "file",
                                                             "line",
                                                             "left",
                                                             "from",
                                                             "to",
                                                             "observed_grad",
                                                             "adjusted_grad",
                                                             "observed_m",
                                                             "adjusted_m",
                                                             "v_cc",
                                                             "v_m",
                                                             "m_apriori_cc",
                                                             "m_apriori_m",
                                                             "m_adjusted_cc",
                                                             "m_adjusted_m",
                                                             "mv_cc",
                                                             "mv_m",
                                                             "r",
                                                             "w",
                                                             "w_mo",
                                                             "gross_error_cc",
                                                             "gross_error_m",
                                                             "mdb_cc",
                                                             "mdb_m",
                                                             "outlier",
                                                             "snooping_step"};
        const Table tables[] = {{"punkty.csv", pointColumns, j.at("points")},
                                {"obserwacje.csv", observationColumns, j.at("observations")}};
        for (const Table& table : tables) {
            SCOPED_TRACE(table.file);
            const std::string text = run->folder.read(table.file);
            EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1); // CR LF line ends
            const auto lines = splitLines(text);
            ASSERT_EQ(lines.size(), table.records.size() + 1);
            const auto header = csvCells(lines[0]);
            EXPECT_EQ(header, table.header);
            for (size_t i = 1; i < lines.size(); ++i) {
                const auto cells = csvCells(lines[i]);
                ASSERT_EQ(cells.size(), header.size()) << lines[i];
                const Json& record = table.records[i - 1];
                for (size_t c = 0; c < cells.size(); ++c) {
                    if (header[c] == "snooping_step") {
                        continue; // the quality control's column, below
                    }
                    const auto value = record.find(header[c]);
                    if (value == record.end() || value->is_null()) {
                        EXPECT_EQ(cells[c], "") << header[c];
                    } else if (value->is_string()) {
                        EXPECT_EQ(cells[c], "\"" + value->get<std::string>() + "\"") << header[c];
                    } else if (value->is_number()) {
                        EXPECT_DOUBLE_EQ(std::stod(cells[c]), value->get<double>()) << header[c];
                    }
                }
            }
        }
    }
}

TEST(ResultFiles, OutliersAreThoseOfTheControlReportAndReadBack) {
    Computed run;
    run.folder.copyFilesOf(examples / "siec-blad-gruby");
    run.run();
    const auto rows = test::outlierRows(run.folder.read("er3.ptw"));
    ASSERT_FALSE(rows.empty());
    const auto results = readResultsJson(run.folder.path() / "wyniki.json");
    ASSERT_TRUE(results.has_value());
    std::vector<std::vector<std::string>> marked;
    for (const ObservationResult& o : results->observations) {
        if (o.outlier) {
            std::vector<std::string> numbers;
            for (const int32_t p : {o.left, o.from, o.to}) {
                if (p >= 0) {
                    numbers.push_back(results->points[static_cast<size_t>(p)].number);
                }
            }
            marked.push_back(numbers);
        }
    }
    EXPECT_EQ(marked, rows);
    EXPECT_EQ(results->counts.outliers, static_cast<int32_t>(rows.size()));
    EXPECT_EQ(results->points.size(), 9u);
    EXPECT_EQ(results->observations.size(), 41u + 16u);
    EXPECT_NEAR(static_cast<double>(*results->counts.redundancySum), 36, 0.05);
}

// The quality control's columns: the snooping step of each observation taken out (a set's
// last reading leaves with its partner) and the relative accuracy of each line, rounded to
// the decimals of their fields.
TEST(ResultFiles, SnoopingStepsAndLinesOfTheQualityControl) {
    Computed run;
    run.folder.copyFilesOf(examples / "siec-lokalna");
    run.run();
    auto results = readResultsJson(run.folder.path() / "wyniki.json");
    ASSERT_TRUE(results.has_value());
    QualityControl control;
    control.snooping.steps.resize(2);
    control.snooping.steps[0].observation = 3;
    control.snooping.steps[0].alsoRemoved = 5;
    control.snooping.steps[1].observation = 10;
    // Point indices count from 1: 1 and 3 are the first and third points of the list.
    control.relative.lines = {{1, 3, 275.9991234L, 0.0012345L, 0.0004321L, 123.45678L,
                               0.0010049L, 3.6449L, 18.746L}};
    results->control = control;
    test::TempFolder out;
    ASSERT_TRUE(writeObservationsCsv(out.path(), *results));
    ASSERT_TRUE(writeLinesCsv(out.path(), *results));

    const auto rows = splitLines(out.read("obserwacje.csv"));
    ASSERT_EQ(rows.size(), results->observations.size() + 1);
    ASSERT_EQ(csvCells(rows[0]).back(), "snooping_step");
    for (size_t i = 1; i < rows.size(); ++i) {
        const auto cells = csvCells(rows[i]);
        ASSERT_EQ(cells.size(), csvCells(rows[0]).size()) << rows[i];
        const std::string expected = i - 1 == 3 || i - 1 == 5 ? "1" : i - 1 == 10 ? "2" : "";
        EXPECT_EQ(cells.back(), expected) << "observation " << i - 1;
    }

    const std::string p1 = "\"" + results->points[0].number + "\"";
    const std::string p3 = "\"" + results->points[2].number + "\"";
    EXPECT_EQ(out.read("linie.csv"),
              "from,to,length_m,a_m,b_m,fi_grad,m_length_m,m_length_ppm,m_direction_cc\r\n" +
                  p1 + "," + p3 + ",275.99912,0.00123,0.00043,123.4568,0.00100,3.64,18.75\r\n");
}

/// Every value of a quality control as "name=value", numbers to 9 digits.
class Flattened {
  public:
    explicit Flattened(const QualityControl& c) {
        const GlobalTest& g = c.global;
        add("global.skipped", g.skipped);
        add("global.f", g.f);
        for (const auto& [name, v] : {std::pair{"sum", g.sumOfSquares}, {"mo", g.mo},
                                      {"alpha", g.alpha}, {"lower", g.lower}, {"upper", g.upper},
                                      {"upperOneSided", g.upperOneSided}}) {
            add(std::string("global.") + name, v);
        }
        add("global.verdict", static_cast<int32_t>(g.verdict));
        const Snooping& s = c.snooping;
        add("snooping.skipped", s.skipped);
        add("snooping.critical", s.critical);
        add("snooping.stepLimit", s.stepLimit);
        add("snooping.largestW", s.largestW);
        add("snooping.largestObservation", s.largestObservation);
        add("snooping.limitReached", s.limitReached);
        for (const SnoopingStep& step : s.steps) {
            add("step.observation", step.observation);
            add("step.alsoRemoved", step.alsoRemoved);
            add("step.w", step.w);
            add("step.grossError", step.grossError);
            add("step.moAfter", step.moAfter);
            add("step.fAfter", step.fAfter);
            add("step.largestRemainingW", step.largestRemainingW);
            add("step.largestRemainingObservation", step.largestRemainingObservation);
        }
        add("reference.skipped", c.reference.skipped);
        add("reference.alpha", c.reference.alpha);
        for (const int32_t p : c.reference.doubtfulPoints) {
            add("reference.doubtful", p);
        }
        for (const ReferenceRound& round : c.reference.rounds) {
            add("round.doubtful", round.doubtful);
            for (const ReferencePointTest& t : round.points) {
                add("test.point", t.point);
                add("test.moving", t.moving);
                add("test.testable", t.testable);
                for (const Real v : {t.dx, t.dy, t.qxx, t.qxy, t.qyy, t.statistic, t.critical}) {
                    add("test.value", v);
                }
                add("test.f", t.f);
            }
        }
        addLines(c.relative);
        addStandard(c.standard);
    }

    explicit Flattened(const PreAnalysis& a) {
        for (const PlannedPoint& p : a.points) {
            add("point", p.point);
            for (const Real v : {p.mx, p.my, p.mp, p.a, p.b, p.fi}) {
                add("point.value", v);
            }
            add("point.controlled", p.controlled);
        }
        for (const PlannedObservation& o : a.observations) {
            add("observation", o.observation);
            add("observation.r", o.r);
            add("observation.mdb", o.mdb);
        }
        addLines(a.lines);
        addStandard(a.standard);
        add("advice", a.advice.has_value());
        if (!a.advice) {
            return;
        }
        const DesignAdvice& d = *a.advice;
        add("advice.skipped", d.skipped);
        add("advice.candidates", d.candidates);
        add("advice.worstMpBefore", d.worstMpBefore);
        add("advice.failingBefore", d.failingBefore);
        add("advice.weakBefore", d.weakBefore);
        add("advice.goalMet", d.goalMet);
        add("advice.stopReason", d.stopReason);
        for (const Proposal& p : d.proposals) {
            add("proposal.kind", static_cast<int32_t>(p.candidate.kind));
            add("proposal.from", p.candidate.from);
            add("proposal.to", p.candidate.to);
            add("proposal.meanError", p.candidate.meanError);
            add("proposal.line", p.candidate.line);
            add("proposal.worstMp", p.worstMp);
            add("proposal.failing", p.failing);
            add("proposal.weak", p.weakObservations);
        }
    }

    std::vector<std::string> items;

  private:
    void addLines(const RelativeAccuracy& a) {
        add("relative.skipped", a.skipped);
        for (const LineAccuracy& l : a.lines) {
            add("line.from", l.from);
            add("line.to", l.to);
            for (const Real v : {l.length, l.a, l.b, l.fi, l.lengthError, l.lengthErrorPpm,
                                 l.directionErrorCc}) {
                add("line.value", v);
            }
        }
    }
    void addStandard(const AccuracyStandard& s) {
        add("standard.limit", s.limit);
        add("standard.checked", s.checked);
        for (const int32_t p : s.failing) {
            add("standard.failing", p);
        }
        add("standard.largestPoint", s.largestPoint);
        add("standard.largestMp", s.largestMp);
    }
    void add(const std::string& name, Real v) {
        char text[64];
        std::snprintf(text, sizeof text, "%.9Lg", v);
        items.push_back(name + "=" + text);
    }
    void add(const std::string& name, int32_t v) {
        items.push_back(name + "=" + std::to_string(v));
    }
    void add(const std::string& name, bool v) { items.push_back(name + (v ? "=yes" : "=no")); }
    void add(const std::string& name, const std::string& v) { items.push_back(name + "=" + v); }
    template <class T> void add(const std::string& name, const std::optional<T>& v) {
        if (v) {
            add(name, *v);
        } else {
            items.push_back(name + "=null");
        }
    }
};

// The quality control in wyniki.json: its fields and types (the schema the README documents),
// the points named by their numbers and the observations by their index in the file's array,
// the whole section read back as it was, and no section when no control was made.
TEST(ResultFiles, TheQualityControlFollowsItsSchemaAndReadsBack) {
    Computed run;
    run.folder.copyFilesOf(examples / "siec-blad-gruby");
    run.run();
    auto results = readResultsJson(run.folder.path() / "wyniki.json");
    ASSERT_TRUE(results.has_value());
    QualityControl skipped;
    skipped.global.skipped = "brak obserwacji nadliczbowych";
    skipped.snooping.skipped = "wyrównanie estymacją mocną: wagi nie są wagami obserwacji";
    skipped.reference.skipped = "jeden punkt nawiązania — sieć bez nadliczbowych nawiązań";
    skipped.relative.skipped = "tryb z przybliżoną oceną Mv";
    struct Case {
        const char* what;
        std::optional<QualityControl> control;
    };
    const Case cases[] = {{"made by hand", test::handMadeControl(*results)},
                          {"every test skipped", skipped},
                          {"no control", std::nullopt}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        results->control = c.control;
        test::TempFolder folder;
        ASSERT_TRUE(writeResultsJson(folder.path(), *results));
        const Json j = Json::parse(folder.read("wyniki.json"));
        const auto back = readResultsJson(folder.path() / "wyniki.json");
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(back->observations.size(), results->observations.size());
        if (!c.control) {
            EXPECT_FALSE(j.contains("kontrola"));
            EXPECT_FALSE(back->control.has_value());
            continue;
        }
        ASSERT_TRUE(back->control.has_value());
        EXPECT_EQ(Flattened(*back->control).items, Flattened(*c.control).items);

        const Json& k = j.at("kontrola");
        expectSchema(k, controlSchema);
        expectSchema(k.at("global_test"), globalTestSchema);
        expectSchema(k.at("snooping"), snoopingSchema);
        expectSchema(k.at("reference_check"), referenceSchema);
        expectSchema(k.at("relative_accuracy"), relativeSchema);
        expectSchema(k.at("accuracy_standard"), standardSchema);
        const Json& observations = j.at("observations");
        const auto observed = [&](const Json& index) {
            const Json& o = observations.at(index.get<size_t>());
            return o.at("kind").get<std::string>() + " " + o.at("from").get<std::string>() +
                   "-" + o.at("to").get<std::string>();
        };
        std::vector<std::string> removed;
        for (const Json& step : k.at("snooping").at("steps")) {
            const bool length = observations.at(step.at("observation").get<size_t>())
                                    .at("kind")
                                    .get<std::string>() == "distance";
            expectSchema(step, stepSchema(length ? "m" : "cc"));
            removed.push_back(observed(step.at("observation")));
            if (!step.at("also_removed").is_null()) {
                removed.push_back(observed(step.at("also_removed")));
            }
        }
        for (const Json& round : k.at("reference_check").at("rounds")) {
            expectSchema(round, roundSchema);
            for (const Json& point : round.at("points")) {
                expectSchema(point, referencePointSchema);
            }
        }
        for (const Json& line : k.at("relative_accuracy").at("lines")) {
            expectSchema(line, lineSchema);
        }
        if (c.control->snooping.steps.empty()) {
            EXPECT_EQ(k.at("snooping").at("skipped"), *skipped.snooping.skipped);
            continue;
        }
        EXPECT_EQ(removed, (std::vector<std::string>{"distance 4-1", "direction 1-2",
                                                     "direction 1-5"}));
        EXPECT_EQ(k.at("reference_check").at("doubtful_points"), Json::parse(R"(["1002"])"));
        EXPECT_EQ(k.at("reference_check").at("rounds").at(0).at("doubtful"), "1002");
        EXPECT_EQ(k.at("reference_check").at("rounds").at(1).at("doubtful"), nullptr);
        EXPECT_EQ(k.at("accuracy_standard").at("failing"), Json::parse(R"(["5", "6"])"));
        EXPECT_EQ(k.at("accuracy_standard").at("met"), false);
        const Json& line = k.at("relative_accuracy").at("lines").at(0);
        EXPECT_EQ(line.at("from").get<std::string>() + "-" + line.at("to").get<std::string>(),
                  "4-1");
        EXPECT_NEAR(k.at("reference_check").at("rounds").at(0).at("points").at(0).at("shift_m"),
                    std::hypot(0.04512, 0.03125), 1e-5);
    }
}

/// A pre-analysis made by hand on the results of an adjustment: every point not fixed and
/// every observation with figures of their own (the last observation without an MDB), a line,
/// the standard failing at the first point, and the advisor's proposals as given. No value
/// has more decimals than wyniki.json keeps.
PreAnalysis handMadePlan(const NetworkResults& r, std::optional<DesignAdvice> advice) {
    PreAnalysis a;
    for (size_t i = 0; i < r.points.size(); ++i) {
        if (r.points[i].kind != PointKind::Fixed) {
            const Real k = static_cast<Real>(i) + 1;
            a.points.push_back({static_cast<int32_t>(i) + 1, 0.001L * k, 0.0012L * k,
                                0.00156L * k, 0.00131L * k, 0.00087L * k, 12.5L * k, i != 1});
        }
    }
    for (size_t i = 0; i < r.observations.size(); ++i) {
        const Real rI = (static_cast<Real>(i % 9) + 0.5L) / 10;
        a.observations.push_back({static_cast<int32_t>(i), rI,
                                  i + 1 < r.observations.size()
                                      ? std::optional(isLength(r.observations[i].kind) ? 0.01234L
                                                                                       : 42.17L)
                                      : std::nullopt});
    }
    a.lines.lines = {{1, 3, 275.99912L, 0.01234L, 0.00432L, 123.4568L, 0.00321L, 11.63L,
                      18.75L}};
    a.standard.limit = 0.002L;
    a.standard.checked = static_cast<int32_t>(a.points.size());
    a.standard.failing = {2, 1};
    a.standard.largestPoint = 2;
    a.standard.largestMp = 0.00312L;
    a.advice = std::move(advice);
    return a;
}

// The pre-analysis in wyniki.json: the run marked as one, the points and the observations
// with the plan's figures, the section "projekt" following its schema (the advisor's proposals
// naming their points by number), read back as it was; and linie.csv with the plan's lines.
TEST(ResultFiles, ThePreAnalysisFollowsItsSchemaAndReadsBack) {
    Computed run;
    run.folder.copyFilesOf(examples / "siec-lokalna");
    run.run();
    const auto adjusted = readResultsJson(run.folder.path() / "wyniki.json");
    ASSERT_TRUE(adjusted.has_value());
    EXPECT_EQ(run.json().at("run").at("kind"), "adjustment");
    EXPECT_FALSE(adjusted->preAnalysis.has_value());
    const int32_t first = 1, third = 3; // points of the list, counted from 1
    DesignAdvice advised;
    advised.candidates = 14;
    advised.worstMpBefore = 0.00936L;
    advised.failingBefore = 2;
    advised.weakBefore = 4;
    advised.proposals = {
        {{ListedKind::Distance, first, third, 0.005L, 7}, 0.0042L, 1, 3},
        {{ListedKind::Direction, third, first, 10, std::nullopt}, 0.00187L, 0, 0},
    };
    advised.goalMet = true;
    advised.stopReason = "cel osiągnięty";
    DesignAdvice skipped;
    skipped.skipped = "brak kandydatów";
    struct Case {
        const char* what;
        std::optional<DesignAdvice> advice;
    };
    const Case cases[] = {
        {"with proposals", advised}, {"advisor skipped", skipped}, {"no advisor", std::nullopt}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NetworkResults results = *adjusted;
        const PreAnalysis plan = handMadePlan(results, c.advice);
        applyPreAnalysis(results, plan);
        test::TempFolder folder;
        ASSERT_TRUE(writeResultsJson(folder.path(), results));
        ASSERT_TRUE(writeLinesCsv(folder.path(), results));
        const Json j = Json::parse(folder.read("wyniki.json"));
        expectSchema(j.at("run"), runSchema);
        EXPECT_EQ(j.at("run").at("kind"), "pre_analysis");
        EXPECT_FALSE(j.contains("kontrola"));
        const Json& p = j.at("projekt");
        expectSchema(p, planSchema);
        expectSchema(p.at("relative_accuracy"), relativeSchema);
        expectSchema(p.at("accuracy_standard"), standardSchema);
        EXPECT_EQ(p.at("accuracy_standard").at("failing"),
                  Json::array({results.points[1].number, results.points[0].number}));

        // The points and observations carry the plan's figures; the unit error is 1.
        const Json& point = j.at("points").at(2);
        EXPECT_NEAR(point.at("mp_m").get<double>(), 0.00468, 1e-9);
        EXPECT_EQ(j.at("points").at(1).at("controlled"), false);
        EXPECT_EQ(j.at("unit_error").at("mo"), 1.0);
        const Json& o = j.at("observations").at(4); // r = 0.45
        const std::string unit = o.at("kind") == "distance" ? "m" : "cc";
        EXPECT_NEAR(o.at("mv_" + unit).get<double>(),
                    o.at("m_apriori_" + unit).get<double>() * std::sqrt(0.45), 0.01);
        EXPECT_NEAR(o.at("m_adjusted_" + unit).get<double>(),
                    o.at("m_apriori_" + unit).get<double>() * std::sqrt(0.55), 0.01);
        EXPECT_TRUE(o.at("w").is_null());
        const Json& last = j.at("observations").back();
        EXPECT_TRUE(last.at(last.at("kind") == "distance" ? "mdb_m" : "mdb_cc").is_null());

        if (c.advice && !c.advice->skipped) {
            const Json& proposals = p.at("advice").at("proposals");
            expectSchema(p.at("advice"), adviceSchema);
            ASSERT_EQ(proposals.size(), 2u);
            expectSchema(proposals.at(0), proposalSchema("m"));
            expectSchema(proposals.at(1), proposalSchema("cc"));
            EXPECT_EQ(proposals.at(1).at("from"), results.points[2].number);
            EXPECT_EQ(proposals.at(1).at("to"), results.points[0].number);
            EXPECT_EQ(proposals.at(0).at("line"), 7);
        } else if (c.advice) {
            expectSchema(p.at("advice"), adviceSchema);
        } else {
            EXPECT_TRUE(p.at("advice").is_null());
        }

        const auto back = readResultsJson(folder.path() / "wyniki.json");
        ASSERT_TRUE(back.has_value());
        ASSERT_TRUE(back->preAnalysis.has_value());
        EXPECT_FALSE(back->control.has_value());
        EXPECT_EQ(Flattened(*back->preAnalysis).items, Flattened(plan).items);

        const std::string lines = folder.read("linie.csv");
        EXPECT_NE(lines.find("\"" + results.points[0].number + "\",\"" +
                             results.points[2].number + "\",275.99912,0.01234,"),
                  std::string::npos)
            << lines;
    }
}

TEST(ResultFiles, WrittenUnlessTurnedOffAndNeverLeftFromAnEarlierComputation) {
    struct Case {
        const char* what;
        bool extraFiles;
        bool expected;
    };
    const Case cases[] = {{"written", true, true}, {"turned off", false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Computed run;
        run.folder.copyFilesOf(examples / "siec-lokalna");
        run.run(c.extraFiles);
        for (const std::string_view name : extraFileNames) {
            EXPECT_EQ(run.folder.exists(name), c.expected) << name;
        }
    }

    // A stale sketch goes when the next adjustment starts, even if that one then stops.
    Computed run;
    run.folder.copyFilesOf(examples / "siec-lokalna");
    run.folder.write("SIEC.SVG", "<svg/>");
    run.folder.write("XY.prz", "1 5000 3000\r\n"); // on top of the fixed point 1001
    EXPECT_THROW(run.run(true, {false}), Stop);
    EXPECT_FALSE(run.folder.exists("SIEC.SVG"));

    // And when the next computation writes none.
    Computed plain;
    plain.folder.copyFilesOf(examples / "siec-lokalna");
    plain.folder.write("wyniki.json", "{}");
    plain.run(false);
    EXPECT_FALSE(plain.folder.exists("wyniki.json"));
}

} // namespace
} // namespace ptw3
