#include "input/input_support.h"
#include "input/parameter_files.h"

#include <gtest/gtest.h>

namespace ptw3 {
namespace {

using test::readFolder;

TEST(ParameterFiles, FirstTwoNumbersOfAFile) {
    struct Case {
        const char* text;
        std::optional<std::pair<Real, Real>> numbers;
    };
    const Case cases[] = {
        {"0.005 0.002", std::pair<Real, Real>{0.005L, 0.002L}},
        {"0.005\r\n0.002\r\n", std::pair<Real, Real>{0.005L, 0.002L}},
        {"400 10 10\r\nnot read", std::pair<Real, Real>{400, 10}},
        {"0.01", std::pair<Real, Real>{0.01L, 0}},
        {"", std::pair<Real, Real>{0, 0}},
        {"0,005 0,002", std::nullopt},
        {"a 1", std::nullopt},
        {"1 b", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(firstTwoNumbers(c.text), c.numbers);
    }
}

TEST(ParameterFiles, DefaultsMessagesAndConversions) {
    struct Case {
        const char* name;
        std::map<std::string, std::string> files;
        MeasurementParameters expected;
        std::vector<std::string> lines; // after the header line
    };
    const auto params = [](Real a, Real b, int32_t measure, Real mk, Real first, Real h) {
        MeasurementParameters p;
        p.distanceA = a, p.distanceB = b, p.angleMeasure = measure;
        p.directionMeanError = mk, p.angleMeanError = 1.412L * mk;
        p.reductionFirst = first, p.meanHeight = h;
        return p;
    };
    const Case cases[] = {
        {"no files", {}, params(0.01L, 0.001L, 400, 10, 0, 0), {}},
        {"absolute values", {{"DALMIERZ", "-0.005 0.002"}}, params(0.005L, 0.002L, 400, 10, 0, 0), {}},
        {"implausible a",
         {{"dalmierz", "0.00005 0.001"}},
         params(0.01L, 0.001L, 400, 10, 0, 0),
         {" ** Niewiarygodnie mała wartośc parametru (a) w pliku <DALMIERZ>",
          "    Założono wartośc domyślną a=0.01m"}},
        {"unreadable distance meter",
         {{"DALMIERZ", "a b"}},
         params(0.01L, 0.001L, 400, 10, 0, 0),
         {" ** Błąd w pliku <DALMIERZ> - przyjęto domyslnie: a=0.01, b=0.001"}},
        {"degrees", {{"LIMBUS", "360 5"}}, params(0.01L, 0.001L, 360, 15.432L, 0, 0), {}},
        {"unknown measure",
         {{"LIMBUS", "300 10"}},
         params(0.01L, 0.001L, 400, 10, 0, 0),
         {" ** Błąd określenia miary w pliku <LIMBUS>", "    Przyjęto wartośc domyślną: 400 (grady)"}},
        {"implausible mk",
         {{"LIMBUS", "400 0.05"}},
         params(0.01L, 0.001L, 400, 10, 0, 0),
         {" ** Niewiarygodnie mała wartośc błędu średniego kierunku (mk w [cc]) w pliku <LIMBUS>",
          "    Założono wartośc domyślną mk=10[cc]"}},
        {"unreadable limbus",
         {{"LIMBUS", "400.0 10"}},
         params(0.01L, 0.001L, 400, 10, 0, 0),
         {" ** Błąd w pliku <LIMBUS> - przyjęto parametry domyślne:  400 10 10"}},
        {"negative mk", {{"LIMBUS", "400 -7"}}, params(0.01L, 0.001L, 400, 7, 0, 0), {}},
        {"reductions", {{"REDUKCJE", "0.5 250"}}, params(0.01L, 0.001L, 400, 10, 0.5L, 250), {}},
        {"unreadable reductions",
         {{"REDUKCJE", "x"}},
         params(0.01L, 0.001L, 400, 10, 0, 0),
         {" ** Błąd w pliku <REDUKCJE> - przyjęto parametry zerowe: 0.00  0.00"}},
        {"all three in order",
         {{"DALMIERZ", "x"}, {"LIMBUS", "1 1"}, {"REDUKCJE", "y"}},
         params(0.01L, 0.001L, 400, 1, 0, 0),
         {" ** Błąd w pliku <DALMIERZ> - przyjęto domyslnie: a=0.01, b=0.001",
          " ** Błąd określenia miary w pliku <LIMBUS>", "    Przyjęto wartośc domyślną: 400 (grady)",
          " ** Błąd w pliku <REDUKCJE> - przyjęto parametry zerowe: 0.00  0.00"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto files = c.files;
        files["XY.sta"] = "A 100 100\n";
        files["DLUGOSCI"] = "A B 100\n";
        const auto run = readFolder(files);
        const MeasurementParameters& p = run->network.parameters;
        EXPECT_EQ(p.distanceA, c.expected.distanceA);
        EXPECT_EQ(p.distanceB, c.expected.distanceB);
        EXPECT_EQ(p.angleMeasure, c.expected.angleMeasure);
        EXPECT_NEAR(static_cast<double>(p.directionMeanError),
                    static_cast<double>(c.expected.directionMeanError), 1e-15);
        EXPECT_NEAR(static_cast<double>(p.angleMeanError),
                    static_cast<double>(c.expected.angleMeanError), 1e-14);
        EXPECT_EQ(p.reductionFirst, c.expected.reductionFirst);
        EXPECT_EQ(p.meanHeight, c.expected.meanHeight);
        const auto lines = run->reportLines();
        ASSERT_GE(lines.size(), c.lines.size() + 1);
        EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.begin() + 1 + c.lines.size()),
                  c.lines);
    }
}

} // namespace
} // namespace ptw3
