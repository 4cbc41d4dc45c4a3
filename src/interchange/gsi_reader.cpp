// Leica GSI field files (GSI-8, and GSI-16 with blocks marked by a leading '*') read into a
// survey. A block is one line of words: a 2-digit word index, 4 information characters (for
// a measured value the last is its unit), a sign and 8 (GSI-16: 16) data characters; the data
// carry no decimal point, the unit fixes the decimals.
//
// What a block is follows from its words: a reading when it holds Hz (21), V (22) or a
// distance (31, 32); else a station set-up when it holds station coordinates (84, 85, 86) or
// the instrument height (88); else a known point when it holds coordinates (81, 82) alone.
// Only such coordinate blocks make reference points: station coordinates and target
// coordinates beside readings (the instrument's own results, or unset zeros) serve as
// approximate coordinates. Point numbers lose their leading zeros.
#include "interchange/field_survey.h"
#include "interchange/import.h"

#include <array>
#include <map>
#include <set>

namespace ptw3 {
namespace {

enum class UnitKind { Metre, Foot, Grad, Degree, DegreeMinuteSecond, Mil };

// The unit digit of a measured value (position 6 of its word).
struct GsiUnit {
    char digit;
    UnitKind kind;
    int decimals;
    const char* name;
};

// clang-format off
constexpr std::array<GsiUnit, 9> gsiUnits{{
    {'0', UnitKind::Metre,              3, "m, ostatnia cyfra 1 mm"},
    {'1', UnitKind::Foot,               3, "stopy, ostatnia cyfra 1/1000 ft"},
    {'2', UnitKind::Grad,               5, "400 gon"},
    {'3', UnitKind::Degree,             5, "360° dziesiętnie"},
    {'4', UnitKind::DegreeMinuteSecond, 5, "360° sześćdziesiątkowo"},
    {'5', UnitKind::Mil,                4, "6400 mil"},
    {'6', UnitKind::Metre,              4, "m, ostatnia cyfra 0,1 mm"},
    {'7', UnitKind::Foot,               4, "stopy, ostatnia cyfra 1/10000 ft"},
    {'8', UnitKind::Metre,              5, "m, ostatnia cyfra 0,01 mm"},
}};
// clang-format on

constexpr Real gradsPerDegree = 400.0L / 360;
constexpr Real gradsPerMil = 400.0L / 6400;
constexpr int minutesPerDegree = 60;
constexpr int secondsPerMinute = 60;

enum class WordUse { Point, Angle, Length, Ignored };

// The words read, and those passed over with what they hold.
struct WordKind {
    int index;
    WordUse use;
    const char* meaning;
};

// clang-format off
constexpr std::array<WordKind, 45> wordKinds{{
    {11, WordUse::Point,   "numer punktu"},
    {12, WordUse::Ignored, "numer seryjny"},
    {13, WordUse::Ignored, "typ instrumentu"},
    {17, WordUse::Ignored, "data"},
    {18, WordUse::Ignored, "rok i czas"},
    {19, WordUse::Ignored, "czas"},
    {21, WordUse::Angle,   "kierunek Hz"},
    {22, WordUse::Angle,   "kąt pionowy V"},
    {25, WordUse::Ignored, "różnica kierunków"},
    {31, WordUse::Length,  "długość skośna"},
    {32, WordUse::Length,  "długość pozioma"},
    {33, WordUse::Ignored, "przewyższenie"},
    {41, WordUse::Ignored, "kod"},
    {42, WordUse::Ignored, "informacja 1"},
    {43, WordUse::Ignored, "informacja 2"},
    {44, WordUse::Ignored, "informacja 3"},
    {45, WordUse::Ignored, "informacja 4"},
    {46, WordUse::Ignored, "informacja 5"},
    {47, WordUse::Ignored, "informacja 6"},
    {48, WordUse::Ignored, "informacja 7"},
    {49, WordUse::Ignored, "informacja 8"},
    {51, WordUse::Ignored, "ppm i stała pryzmatu"},
    {52, WordUse::Ignored, "liczba pomiarów i odchylenie"},
    {53, WordUse::Ignored, "średnie odchylenie"},
    {58, WordUse::Ignored, "stała pryzmatu"},
    {59, WordUse::Ignored, "ppm"},
    {71, WordUse::Ignored, "uwaga 1"},
    {72, WordUse::Ignored, "uwaga 2"},
    {73, WordUse::Ignored, "uwaga 3"},
    {74, WordUse::Ignored, "uwaga 4"},
    {75, WordUse::Ignored, "uwaga 5"},
    {76, WordUse::Ignored, "uwaga 6"},
    {77, WordUse::Ignored, "uwaga 7"},
    {78, WordUse::Ignored, "uwaga 8"},
    {79, WordUse::Ignored, "uwaga 9"},
    {81, WordUse::Length,  "E celu"},
    {82, WordUse::Length,  "N celu"},
    {83, WordUse::Length,  "H celu"},
    {84, WordUse::Length,  "E stanowiska"},
    {85, WordUse::Length,  "N stanowiska"},
    {86, WordUse::Length,  "H stanowiska"},
    {87, WordUse::Ignored, "wysokość celu"},
    {88, WordUse::Ignored, "wysokość instrumentu"},
    {89, WordUse::Ignored, "wysokość instrumentu nad znakiem"},
    {95, WordUse::Ignored, "wilgotność i temperatura"},
}};
// clang-format on

const WordKind* wordKind(int index) {
    for (const WordKind& k : wordKinds) {
        if (k.index == index) {
            return &k;
        }
    }
    return nullptr;
}

constexpr size_t gsi8DataLength = 8;
constexpr size_t gsi16DataLength = 16;
constexpr size_t longestShownWord = 30;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The text of a word as the log shows it: printable ASCII, bytes beyond it as '?'.
std::string shown(std::string_view text) {
    std::string out;
    for (const char c : text.substr(0, longestShownWord)) {
        out += c > ' ' && c < '\x7f' ? c : '?';
    }
    return text.size() > longestShownWord ? out + "…" : out;
}

std::string twoDigits(int index) {
    return std::string(1, static_cast<char>('0' + index / 10)) +
           static_cast<char>('0' + index % 10);
}

// A measured value: digits only, turned by its unit into metres or grads.
std::optional<Real> measuredValue(int index, WordUse use, char unitDigit, char sign,
                                  std::string_view data, std::string& why) {
    const GsiUnit* unit = nullptr;
    for (const GsiUnit& u : gsiUnits) {
        unit = u.digit == unitDigit ? &u : unit;
    }
    const std::string word = "słowo " + twoDigits(index);
    if (unit == nullptr) {
        why = word + ": nieznana jednostka „" + shown(std::string_view(&unitDigit, 1)) + "”";
        return std::nullopt;
    }
    if (unit->kind == UnitKind::Foot) {
        why = word + ": jednostka " + unit->name + " nie jest obsługiwana (tylko metry)";
        return std::nullopt;
    }
    if ((use == WordUse::Length) != (unit->kind == UnitKind::Metre)) {
        why = word + ": jednostka " + unit->name +
              (use == WordUse::Length ? " nie jest jednostką długości"
                                      : " nie jest jednostką kąta");
        return std::nullopt;
    }
    uint64_t n = 0;
    for (const char c : data) {
        if (!isDigit(c)) {
            why = word + ": dane „" + shown(data) + "” nie są liczbą";
            return std::nullopt;
        }
        n = n * 10 + static_cast<uint64_t>(c - '0');
    }
    Real scale = 1;
    for (int i = 0; i < unit->decimals; ++i) {
        scale *= 10;
    }
    Real value = 0;
    switch (unit->kind) {
    case UnitKind::Metre:
    case UnitKind::Grad: value = static_cast<Real>(n) / scale; break;
    case UnitKind::Degree: value = static_cast<Real>(n) / scale * gradsPerDegree; break;
    case UnitKind::Mil: value = static_cast<Real>(n) / scale * gradsPerMil; break;
    case UnitKind::DegreeMinuteSecond: {
        // DDD.MMSSs: degrees, minutes, seconds and tenths of a second.
        const auto fraction = static_cast<int>(n % 100000);
        const int minutes = fraction / 1000, secondTenths = fraction % 1000;
        if (minutes >= minutesPerDegree || secondTenths >= secondsPerMinute * 10) {
            why = word + ": „" + shown(data) + "” nie jest kątem w stopniach, minutach i "
                                               "sekundach";
            return std::nullopt;
        }
        const Real degrees = static_cast<Real>(n / 100000) + minutes / Real(minutesPerDegree) +
                             secondTenths / Real(10 * minutesPerDegree * secondsPerMinute);
        value = degrees * gradsPerDegree;
        break;
    }
    case UnitKind::Foot: break;
    }
    return sign == '-' ? -value : value;
}

// A point number: the data less their leading zeros, printable ASCII only.
std::optional<std::string> pointNumber(std::string_view data, std::string& why) {
    const size_t first = data.find_first_not_of('0');
    const std::string number(first == std::string_view::npos ? "" : data.substr(first));
    if (number.empty()) {
        why = "numer punktu zerowy";
        return std::nullopt;
    }
    for (const char c : number) {
        if (!(c > ' ' && c < '\x7f')) {
            why = "numer punktu „" + shown(number) + "” z niedozwolonym znakiem";
            return std::nullopt;
        }
    }
    return number;
}

class GsiReader {
public:
    explicit GsiReader(FieldSurvey& survey)
        : m_survey(survey) {}

    void block(std::string_view line, const FieldSource& at);

private:
    FieldSurvey& m_survey;
    std::optional<size_t> m_setup; ///< the set-up the readings go to
};

void GsiReader::block(std::string_view line, const FieldSource& at) {
    const bool sixteen = line.front() == '*';
    if (sixteen) {
        line.remove_prefix(1);
    }
    const size_t dataLength = sixteen ? gsi16DataLength : gsi8DataLength;
    std::optional<std::string> number;
    std::map<int, Real> values;
    std::set<int> seen;
    std::vector<std::string> ignored;
    while (!line.empty()) {
        const size_t start = line.find_first_not_of(" \t");
        if (start == std::string_view::npos) {
            break;
        }
        line.remove_prefix(start);
        const size_t end = std::min(line.find_first_of(" \t"), line.size());
        const std::string_view word = line.substr(0, end);
        line.remove_prefix(end);
        if (word.size() < 7 || !isDigit(word[0]) || !isDigit(word[1]) ||
            (word[6] != '+' && word[6] != '-')) {
            m_survey.refused(at, "nieczytelne słowo „" + shown(word) + "”");
            continue;
        }
        const int index = (word[0] - '0') * 10 + (word[1] - '0');
        const std::string_view data = word.substr(7);
        const WordKind* kind = wordKind(index);
        if (kind == nullptr) {
            m_survey.refused(at, "nieznane słowo „" + shown(word) + "”");
            continue;
        }
        if (!seen.insert(index).second) {
            m_survey.refused(at, "słowo " + twoDigits(index) + " powtórzone w bloku");
            continue;
        }
        if (kind->use == WordUse::Ignored) {
            ignored.push_back(twoDigits(index) + " (" + kind->meaning + ")");
            continue;
        }
        if (data.size() != dataLength) {
            m_survey.refused(at, "słowo " + twoDigits(index) + ": " +
                                     std::to_string(data.size()) + " znaków danych zamiast " +
                                     std::to_string(dataLength));
            continue;
        }
        std::string why;
        if (kind->use == WordUse::Point) {
            number = pointNumber(data, why);
        } else if (const auto v = measuredValue(index, kind->use, word[5], word[6], data, why)) {
            values[index] = *v;
        }
        if (!why.empty()) {
            m_survey.refused(at, why);
        }
    }
    if (!ignored.empty()) {
        std::string list;
        for (const std::string& w : ignored) {
            list += (list.empty() ? "" : ", ") + w;
        }
        m_survey.took(at, "pominięte słowa: " + list);
    }
    const auto has = [&](int index) { return values.contains(index); };
    const bool reading = has(21) || has(22) || has(31) || has(32);
    const bool station = has(84) || has(85) || has(86) || seen.contains(88);
    const bool coordinates = has(81) || has(82);
    if (!number) {
        if (reading || station || coordinates) {
            m_survey.refused(at, "blok bez numeru punktu (słowo 11)");
        }
        return;
    }
    const auto coordinatePoint = [&](int east, int north, int height, bool known) {
        if (has(east) != has(north)) {
            m_survey.refused(at, "punkt " + *number + ": słowo " +
                                     twoDigits(has(east) ? east : north) + " bez słowa " +
                                     twoDigits(has(east) ? north : east));
            return;
        }
        if (has(east)) {
            FieldPoint p{at, *number, values[north], values[east], std::nullopt, known};
            if (has(height)) {
                p.h = values[height];
            }
            m_survey.points.push_back(std::move(p));
        }
    };
    if (reading) {
        if (!m_setup) {
            m_survey.refused(at, "pomiar na " + *number +
                                     " przed pierwszym stanowiskiem (blokiem z 84–86 lub 88)");
            return;
        }
        FieldReading r;
        r.source = at;
        r.target = *number;
        const auto value = [&](int index) {
            return has(index) ? std::optional<Real>(values[index]) : std::nullopt;
        };
        r.horizontalGrad = value(21);
        r.zenithGrad = value(22);
        r.slopeM = value(31);
        r.horizontalM = value(32);
        m_survey.setups[*m_setup].readings.push_back(std::move(r));
        coordinatePoint(81, 82, 83, false);
    } else if (station) {
        m_setup = m_survey.setups.size();
        m_survey.setups.push_back({at, *number, {}});
        coordinatePoint(84, 85, 86, false);
    } else if (coordinates) {
        coordinatePoint(81, 82, 83, true);
    } else {
        m_survey.refused(at, "blok punktu " + *number +
                                 " bez pomiaru, współrzędnych ani wysokości instrumentu");
    }
}

} // namespace

ImportedNetwork readGsi(std::string_view text, const InstrumentProfile& profile, ImportLog& log) {
    FieldSurvey survey;
    GsiReader reader(survey);
    int64_t lineNumber = 0;
    while (!text.empty()) {
        const size_t end = std::min(text.find_first_of("\r\n"), text.size());
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end);
        if (text.starts_with("\r\n")) {
            text.remove_prefix(2);
        } else if (!text.empty()) {
            text.remove_prefix(1);
        }
        ++lineNumber;
        if (line.find_first_not_of(" \t") != std::string_view::npos) {
            reader.block(line.substr(line.find_first_not_of(" \t")),
                         {lineNumber, "wiersz " + std::to_string(lineNumber)});
        }
    }
    return fieldNetwork(survey, profile, log);
}

} // namespace ptw3
