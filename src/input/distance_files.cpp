#include "input/distance_files.h"

#include "common/encoding.h"
#include "common/number_format.h"
#include "input/tokenizer.h"

#include <cmath>

namespace ptw3 {
namespace {

enum class Kind { Distance, Azimuth };

void readLineFile(const std::vector<std::string>& lines, Kind kind, ReadMode mode,
                  NetworkData& network, const PointIndex& index, DiagnosticReport& report) {
    const bool distance = kind == Kind::Distance;
    Table<LineObservation>& table = distance ? network.distances : network.azimuths;
    const MeasurementParameters& par = network.parameters;

    for (const std::string& line : lines) {
        const Record r(line);
        if (r.count() < 3) {
            continue;
        }
        if (r.startsWithZero()) {
            return;
        }
        const PointNumber from = toPointNumber(r.token(1));
        const PointNumber to = toPointNumber(r.token(2));
        const std::string ends = rightAlign(from, pointNumberWidth) + " " +
                                 rightAlign(to, pointNumberWidth) + " " + std::string(r.token(3));
        const std::string rejection = distance ? cp1250(" * Wykluczono dlugość: ") + ends
                                               : cp1250(" * Wykluczono azymut ") + ends;
        LineObservation o;
        o.from = index.find(from);
        o.to = index.find(to);
        if (o.from == 0 || o.to == 0) {
            report.line(distance ? rejection + "  #" : rejection);
            continue;
        }
        if (table.count() == (distance ? maxDistances : maxAzimuths)) {
            report.fatal(cp1250(distance ? " *** Liczba długości > 100000"
                                         : " *** Liczba azymutów > 100000"));
        }
        const auto value = r.number(3);
        if (!value) {
            const std::string pair = rightAlign(from, pointNumberWidth) + " - " +
                                     rightAlign(to, pointNumberWidth);
            const std::string shortPair = from + " - " + to;
            if (distance) {
                const std::string text = cp1250(" *** Błąd odczytu dlugosci: ");
                report.fatal(text + pair, text + shortPair);
            }
            report.fatal(cp1250(" *** Błąd odczytu azumutu: ") + pair,
                         cp1250(" *** Błąd odczytu azymutu: ") + shortPair);
        }
        o.value = *value;
        o.meanError = r.numberOrMissing(4);
        if (distance) {
            if (mode == ReadMode::Grouped || o.meanError == missingValue) {
                o.meanError = distanceMeterError(par, o.value);
            }
        } else if (o.meanError == missingValue) {
            o.meanError = par.directionMeanError;
            report.defaultTaken(cp1250(" * Brak błędu średniego azymutu: ") + ends,
                                cp1250("Przyjęto Maz = ") + fixed(o.meanError, 10, 1));
        }
        if (o.value == missingValue) {
            report.line(distance ? rejection + "  ##" : rejection);
            continue;
        }
        if (distance && tooSmallToWeight(o.meanError)) {
            // A zero mean error cannot be weighted: the distance meter's one replaces it.
            o.meanError = distanceMeterError(par, o.value);
            report.defaultTaken(cp1250(" * Zerowy błąd średni długości: ") + ends,
                                cp1250("Przyjęto md = ") + fixed(o.meanError, 10, 4));
        }
        ++network.points[o.from].observationCount;
        ++network.points[o.to].observationCount;
        table.append(o);
    }
}

} // namespace

Real distanceMeterError(const MeasurementParameters& par, Real lengthM) {
    const Real proportional = 0.01L * par.distanceB * lengthM;
    return std::sqrt(par.distanceA * par.distanceA + proportional * proportional);
}

void readDistanceFile(const std::vector<std::string>& lines, ReadMode mode, NetworkData& network,
                      const PointIndex& index, DiagnosticReport& report) {
    readLineFile(lines, Kind::Distance, mode, network, index, report);
}

void readAzimuthFile(const std::vector<std::string>& lines, NetworkData& network,
                     const PointIndex& index, DiagnosticReport& report) {
    readLineFile(lines, Kind::Azimuth, ReadMode::Individual, network, index, report);
}

} // namespace ptw3
