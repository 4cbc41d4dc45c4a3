#include "input/angle_files.h"

#include "common/encoding.h"
#include "common/number_format.h"
#include "input/tokenizer.h"

namespace ptw3 {

void readAngleFile(const std::vector<std::string>& lines, ReadMode mode, NetworkData& network,
                   const PointIndex& index, DiagnosticReport& report) {
    const MeasurementParameters& par = network.parameters;
    const bool degrees = par.angleMeasure == 360;
    Table<Angle>& angles = network.angles;
    int32_t groupStart = angles.count() + 1;

    for (const std::string& line : lines) {
        const Record r(line);
        if (r.count() < 4) {
            continue;
        }
        if (r.startsWithZero()) {
            // Group record 0 any any m: m in the angular unit of the values.
            Real m = r.number(4) ? *r.number(4) * 10000 : missingValue;
            if (degrees && m != missingValue) {
                m = dmsToGrads(m * 0.0001L) * 10000;
            }
            if (mode == ReadMode::Individual) {
                continue;
            }
            if (m == missingValue || tooSmallToWeight(m)) {
                m = par.angleMeanError;
            }
            for (int32_t i = groupStart; i <= angles.count(); ++i) {
                angles[i].meanError = m;
            }
            groupStart = angles.count() + 1;
            continue;
        }

        const PointNumber left = toPointNumber(r.token(1));
        const PointNumber station = toPointNumber(r.token(2));
        const PointNumber right = toPointNumber(r.token(3));
        const std::string numbers = rightAlign(left, pointNumberWidth) + " " +
                                    rightAlign(station, pointNumberWidth) + " " +
                                    rightAlign(right, pointNumberWidth);
        const std::string rejection =
            cp1250(" * Wykluczono kąt: ") + numbers + " " + std::string(r.token(4));
        Angle angle;
        angle.left = index.find(left);
        angle.station = index.find(station);
        angle.right = index.find(right);
        if (angle.left == 0 || angle.station == 0 || angle.right == 0) {
            report.line(rejection);
            continue;
        }
        if (angles.count() == maxAngles) {
            report.fatal(cp1250(" *** Liczba kątów > 500000"));
        }
        const auto value = r.number(4);
        if (!value) {
            report.fatal(cp1250(" *** Błąd odczytu kąta: ") + numbers,
                         cp1250(" *** Błąd odczytu kąta") + " " + left + " " + station + " " +
                             right);
        }
        angle.meanError = r.numberOrMissing(5);
        if (angle.meanError != missingValue && degrees) {
            angle.meanError *= arcSecondsToCcFactor;
        }
        if (mode == ReadMode::Grouped || angle.meanError == missingValue) {
            angle.meanError = par.angleMeanError;
        }
        if (*value == missingValue) {
            report.line(rejection);
            continue;
        }
        if (tooSmallToWeight(angle.meanError)) {
            // 1/m² would be unbounded: the angle takes the default of LIMBUS instead.
            angle.meanError = par.angleMeanError;
            report.defaultTaken(cp1250(" * Zerowy błąd średni kąta: ") + numbers + " " +
                                    std::string(r.token(4)),
                                cp1250("Przyjęto ma = ") + fixed(angle.meanError, 10, 1));
        }
        angle.value = degrees ? dmsToGrads(*value) : *value;
        for (const int32_t p : {angle.left, angle.station, angle.right}) {
            ++network.points[p].observationCount;
        }
        angles.append(angle);
    }
}

} // namespace ptw3
