#include "input/coordinate_files.h"

#include "common/encoding.h"
#include "common/number_format.h"
#include "common/number_parse.h"
#include "input/tokenizer.h"

#include <algorithm>

namespace ptw3 {
namespace {

bool isErrorFree(const Point& p) { return p.mx == 0 && p.my == 0; }

// The numbers held by the point table while a coordinate file is read.
std::unordered_set<std::string, NumberHash, std::equal_to<>> numbersOf(const Table<Point>& points) {
    std::unordered_set<std::string, NumberHash, std::equal_to<>> numbers;
    for (const Point& p : points) {
        numbers.insert(p.number);
    }
    return numbers;
}

} // namespace

void readCoordinateFile(const std::vector<std::string>& lines, CoordinateFile kind,
                        NetworkData& network, DiagnosticReport& report) {
    Table<Point>& points = network.points;
    const bool reference = kind != CoordinateFile::Approximate;
    auto numbers = numbersOf(points);
    int32_t groupStart = points.count() + 1;

    for (const std::string& line : lines) {
        const Record r(line);
        if (r.count() < 3) {
            continue;
        }
        const PointNumber number = toPointNumber(r.token(1));
        if (!reference && r.startsWithZero()) {
            break;
        }
        if (numbers.contains(number)) {
            continue;
        }
        if (reference && r.startsWithZero()) {
            // A group record: the a-priori mean errors (m) of the points since the previous
            // one, -1 where a value is absent. Points after the last group record stay
            // error-free.
            for (int32_t i = groupStart; i <= points.count(); ++i) {
                points[i].mx = r.numberOrMissing(2);
                points[i].my = r.numberOrMissing(3);
                points[i].mh = r.numberOrMissing(4);
            }
            groupStart = points.count() + 1;
            continue;
        }

        if (points.count() == maxPoints) {
            report.fatal(cp1250(" *** Liczba danych punktów > 20000"));
        }
        const auto x = r.number(2);
        const auto y = r.number(3);
        if (!x || !y) {
            const std::string axis = !x ? "x" : "y";
            report.fatal(cp1250(" *** Brak współrzędnej " + axis + " punktu: ") +
                             std::string(r.token(1)),
                         cp1250(" *** Brak współrzędnej x lub y punktu: ") +
                             std::string(r.token(1)));
        }
        if (*x == missingValue || *y == missingValue) {
            continue; // a point written with -1 is left out without a message
        }
        Point p;
        p.number = number;
        p.x = *x;
        p.y = *y;
        p.h = kind == CoordinateFile::ReferenceWithHeights ? r.numberOrMissing(4) : missingValue;
        const Real apriori = reference ? 0 : missingValue;
        p.mx = p.my = p.mh = apriori;
        numbers.insert(number);
        points.append(std::move(p));
    }

    if (reference) {
        // Error-free fixed points to the front, in file order.
        int32_t fixedCount = 0;
        for (int32_t i = 1; i <= points.count(); ++i) {
            if (isErrorFree(points[i])) {
                ++fixedCount;
                std::swap(points[fixedCount], points[i]);
            }
        }
        network.ls = fixedCount;
    }
}

void arrangePointTable(NetworkData& network, const ObservedNumbers& observed,
                       DiagnosticReport& report) {
    Table<Point>& points = network.points;
    // Weighted reference points, approximate points, then the error-free fixed points.
    std::rotate(points.begin(), points.begin() + network.ls, points.end());

    const int32_t firstFixed = points.count() - network.ls + 1;
    int32_t kept = 0;
    for (int32_t i = 1; i <= points.count(); ++i) {
        if (observed.contains(points[i].number)) {
            ++kept;
            if (kept != i) {
                points[kept] = std::move(points[i]);
            }
            continue;
        }
        if (points[i].number != "0") {
            report.line(cp1250(" * Punkt poza siecią: ") +
                        rightAlign(points[i].number, pointNumberWidth));
        }
        if (i >= firstFixed) {
            --network.ls;
        }
    }
    points.resize(kept);
}

void readHeights(const std::vector<std::string>& lines, NetworkData& network,
                 const PointIndex& index, DiagnosticReport& report) {
    for (const std::string& line : lines) {
        const Record r(line);
        if (r.count() < 2 || r.startsWithZero()) {
            continue;
        }
        const int32_t point = index.find(r.token(1));
        if (point == 0) {
            continue;
        }
        const auto h = parseReal(r.token(2).substr(0, pointNumberLength));
        if (!h) {
            report.fatal(cp1250(" *** Blad w pliku <H.prz>: ") + line);
        }
        network.points[point].h = *h;
    }
}

} // namespace ptw3
