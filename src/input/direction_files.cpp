#include "input/direction_files.h"

#include "common/encoding.h"
#include "common/number_format.h"
#include "input/tokenizer.h"

#include <vector>

namespace ptw3 {
namespace {

constexpr std::string_view codeCarriesDistances = "2";
constexpr std::string_view codeIndividualErrors = "11";

// The set's mean error (cc) from its end line's m, in the angular unit of the readings.
Real setMeanError(bool closedByZero, Real m, bool degrees, Real mk) {
    if (!closedByZero || m == missingValue) {
        return mk;
    }
    m *= 10000;
    if (degrees) {
        m = dmsToGrads(m * 0.0001L) * 10000;
    }
    return m != missingValue && !tooSmallToWeight(m) ? m : mk;
}

} // namespace

void readDirectionFile(const std::vector<std::string>& lines, NetworkData& network,
                       const PointIndex& index, ReportFile& carried, DiagnosticReport& report) {
    const MeasurementParameters& par = network.parameters;
    const bool degrees = par.angleMeasure == 360;
    size_t i = 0;
    for (;;) {
        while (i < lines.size() && Record(lines[i]).count() == 0) {
            ++i;
        }
        if (i == lines.size()) {
            return;
        }
        const Record stationLine(lines[i++]);
        if (stationLine.startsWithZero() || stationLine.count() < 2) {
            return;
        }
        const PointNumber station = toPointNumber(stationLine.token(1));
        const std::string code(stationLine.token(2));
        const std::string stationField = rightAlign(station, pointNumberWidth);

        DirectionSet set;
        set.station = index.find(station);
        if (set.station == 0) {
            report.line(cp1250(" * Wykluczono stanowisko ") + stationField);
            while (i < lines.size() && !Record(lines[i++]).startsWithZero()) {
            }
            continue;
        }
        if (network.lst() == maxDirectionSets) {
            report.fatal(cp1250(" *** Liczba stanowisk > 40000"));
        }

        bool closedByZero = false;
        Real closingM = missingValue;
        PointNumber lastTarget;
        std::vector<std::string> zeroErrorLines; // code-11 directions with a zero mean error
        for (; i < lines.size(); ++i) {
            const Record r(lines[i]);
            if (r.startsWithZero()) {
                closedByZero = true;
                closingM = r.numberOrMissing(2);
                ++i;
                break;
            }
            if (r.count() < 2) {
                continue;
            }
            if (set.directions.count() == maxDirectionsPerSet) {
                const std::string text = cp1250(" *** Liczba kierunków > 500  na stanowisku ");
                report.fatal(text + stationField, text + station);
            }
            const PointNumber target = toPointNumber(r.token(1));
            lastTarget = target;
            const std::string targetField = rightAlign(target, pointNumberWidth);
            Real meanError = r.numberOrMissing(3);
            if (code == codeCarriesDistances) {
                if (meanError != missingValue) {
                    carried.line(stationField + " " + targetField + " " + fixed(meanError, 12, 4) +
                                 " " + " -1 ");
                    ++network.ldpom;
                }
                meanError = missingValue;
            }
            Direction d;
            d.target = index.find(target);
            if (d.target == 0) {
                report.line(cp1250(" * Wykluczono kierunek ") + stationField + " " + targetField +
                            " " + std::string(r.token(2)));
                continue;
            }
            const auto reading = r.number(2);
            if (!reading) {
                const std::string text = cp1250(" *** Błąd odczytu kierunku: ");
                report.fatal(text + stationField + " - " + targetField,
                             text + station + " - " + target);
            }
            if (*reading == missingValue) {
                continue; // dropped without a message
            }
            d.value = degrees ? dmsToGrads(*reading) : *reading;
            d.meanError = meanError != missingValue && degrees ? meanError * arcSecondsToCcFactor
                                                               : meanError;
            set.directions.append(d);
            if (code == codeIndividualErrors && tooSmallToWeight(d.meanError)) {
                zeroErrorLines.push_back(cp1250(" * Zerowy błąd średni kierunku: ") + stationField +
                                         " " + targetField + " " + std::string(r.token(2)));
            }
        }

        const Real md = setMeanError(closedByZero, closingM, degrees, par.directionMeanError);
        for (Direction& d : set.directions) {
            // A zero individual error could not be weighted (Schreiber's weights divide by m²):
            // it takes the set's mean error, as one not given does.
            if (code != codeIndividualErrors || d.meanError == missingValue ||
                tooSmallToWeight(d.meanError)) {
                d.meanError = md;
            }
        }
        for (const std::string& text : zeroErrorLines) {
            report.defaultTaken(text, cp1250("Przyjęto mk = ") + fixed(md, 10, 1));
        }
        const int32_t k = set.directions.count();
        if (k == 1) {
            report.line(cp1250(" * Wykluczono stanowisko z 1 kierunkiem: ") + stationField + " " +
                        rightAlign(lastTarget, pointNumberWidth));
            continue;
        }
        network.lki += k;
        network.points[set.station].observationCount += k;
        for (const Direction& d : set.directions) {
            ++network.points[d.target].observationCount;
        }
        network.directionSets.append(std::move(set));
    }
}

} // namespace ptw3
