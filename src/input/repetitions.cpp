// Observations are grouped by their points (the unordered pair of ends, or the
// station with the unordered pair of targets), so each observation k meets only
// the earlier observations j < k that repeat it, in table order.

#include "input/repetitions.h"

#include "common/encoding.h"
#include "common/number_format.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <vector>

namespace ptw3 {
namespace {

constexpr Real distanceThresholdM = 0.2L;
constexpr Real angleThresholdGrad = 0.02L;
constexpr Real azimuthThresholdGrad = 0.01L;
constexpr Real directionThresholdGrad = 0.01L;
constexpr Real ccPerGrad = 10000;
constexpr std::string_view pairSeparator = "  ";
constexpr std::string_view withinThreshold = "     ";
constexpr std::string_view beyondThreshold = " *** ";

uint64_t pairKey(int32_t a, int32_t b) {
    const auto lo = static_cast<uint64_t>(std::min(a, b));
    const auto hi = static_cast<uint64_t>(std::max(a, b));
    return lo << 32 | hi;
}

static_assert(maxPoints < 65536, "an angle key packs three point indices of 16 bits");
uint64_t angleKey(const Angle& a) {
    return static_cast<uint64_t>(a.station) << 32 |
           static_cast<uint64_t>(std::min(a.left, a.right)) << 16 |
           static_cast<uint64_t>(std::max(a.left, a.right));
}

/// Earlier members of each group, in table order.
using Groups = std::unordered_map<uint64_t, std::vector<int32_t>>;

const std::string& number(const NetworkData& n, int32_t point) { return n.points[point].number; }
std::string field(const NetworkData& n, int32_t point) {
    return rightAlign(number(n, point), pointNumberWidth);
}

// An angular difference folded into (-399.9, 399.9) grads.
Real foldedDifference(Real r) {
    if (r >= 399.9L) {
        return r - 400;
    }
    if (r <= -399.9L) {
        return r + 400;
    }
    return r;
}

std::string question(std::string_view what, std::string_view points, Real r, std::string_view unit) {
    return cp1250(what) + std::string(points) + "\n" + cp1250("     Z RÓŻNICĄ: ") + general(r) +
           std::string(unit) + "\n" + cp1250("     Czy chcesz liczyć dalej?");
}

void reportCount(std::string_view label, int32_t pairs, DiagnosticReport& report) {
    if (pairs > 0) {
        const std::string text = cp1250(label) + std::to_string(pairs);
        report.line(text);
        report.context().message(text);
    }
}

// Writes the three lines of a repeated pair and asks when it disagrees too much.
void reportPair(const std::string& first, const std::string& second, bool beyond,
                const std::string& questionText, DiagnosticReport& report) {
    report.line(pairSeparator);
    report.line(first);
    report.line(second + std::string(beyond ? beyondThreshold : withinThreshold));
    if (beyond) {
        report.askToContinue(questionText);
    }
}

} // namespace

void checkRepeatedDistances(NetworkData& n, DiagnosticReport& report) {
    Groups groups;
    int32_t pairs = 0;
    for (int32_t k = 1; k <= n.ld(); ++k) {
        const LineObservation& dk = n.distances[k];
        std::vector<int32_t>& earlier = groups[pairKey(dk.from, dk.to)];
        if (earlier.empty()) {
            ++n.points[dk.from].linkCount;
            ++n.points[dk.to].linkCount;
        }
        for (const int32_t j : earlier) {
            const LineObservation& dj = n.distances[j];
            const Real r = dj.value - dk.value;
            const bool beyond = std::fabs(r) > distanceThresholdM;
            reportPair(cp1250(" * DUBLET DLUGOSCI: ") + field(n, dk.from) + " " + field(n, dk.to) +
                           " " + fixed(dk.value, 10, 4) + "  md = " + fixed(dk.meanError, 10, 4),
                       std::string(20, ' ') + field(n, dj.from) + " " + field(n, dj.to) + " " +
                           fixed(dj.value, 10, 4) + "  md = " + fixed(dj.meanError, 10, 4) +
                           " r = " + fixed(r, 10, 4),
                       beyond,
                       question(" *** POWTÓRKA MIARY DŁUGOŚCI: ",
                                number(n, dk.from) + " " + number(n, dk.to), r, "m"),
                       report);
            ++pairs;
        }
        earlier.push_back(k);
    }
    reportCount(" LICZBA POWTÓREK DLUGOSCI = ", pairs, report);
}

void checkRepeatedAngles(NetworkData& n, DiagnosticReport& report) {
    Groups groups;
    int32_t pairs = 0;
    for (int32_t k = 1; k <= n.lka(); ++k) {
        const Angle& ak = n.angles[k];
        std::vector<int32_t>& earlier = groups[angleKey(ak)];
        for (const int32_t j : earlier) {
            const Angle& aj = n.angles[j];
            const bool sameOrder = aj.left == ak.left && aj.right == ak.right;
            const Real valueJ = sameOrder ? aj.value : 400 - aj.value;
            const Real rCc = foldedDifference(valueJ - ak.value) * ccPerGrad;
            const bool beyond = std::fabs(rCc) > angleThresholdGrad * ccPerGrad;
            reportPair(cp1250(" * DUBLET KĄTA: ") + field(n, ak.left) + " " + field(n, ak.station) +
                           " " + field(n, ak.right) + " " + fixed(ak.value, 10, 5) + "  ma = " +
                           fixed(ak.meanError, 10, 1),
                       std::string(16, ' ') + field(n, aj.left) + " " + field(n, aj.station) + " " +
                           field(n, aj.right) + " " + fixed(aj.value, 10, 5) + "  ma = " +
                           fixed(aj.meanError, 10, 1) + " r = " + fixed(rCc, 10, 1) + "[cc] ",
                       beyond,
                       question(" *** POWTÓRKA MIARY KĄTA: ",
                                number(n, ak.left) + " " + number(n, ak.station) + " " +
                                    number(n, ak.right),
                                rCc, "[cc]"),
                       report);
            ++pairs;
        }
        earlier.push_back(k);
    }
    reportCount(" LICZBA POWTÓREK KĄTÓW = ", pairs, report);
}

void checkRepeatedAzimuths(NetworkData& n, DiagnosticReport& report) {
    Groups groups;
    int32_t pairs = 0;
    for (int32_t k = 1; k <= n.laz(); ++k) {
        const LineObservation& zk = n.azimuths[k];
        std::vector<int32_t>& earlier = groups[pairKey(zk.from, zk.to)];
        if (earlier.empty()) {
            ++n.points[zk.from].linkCount;
            ++n.points[zk.to].linkCount;
        }
        // GPS azimuths (after lazt) are never compared; the earlier members of a
        // topographic azimuth's group are topographic too.
        const size_t compared = k <= n.lazt ? earlier.size() : 0;
        for (size_t e = 0; e < compared; ++e) {
            const int32_t j = earlier[e];
            const LineObservation& zj = n.azimuths[j];
            Real valueJ = zj.value;
            if (!(zj.from == zk.from && zj.to == zk.to)) {
                valueJ += 200; // the opposite direction
                if (valueJ < 0) {
                    valueJ += 400;
                }
            }
            const Real rCc = foldedDifference(valueJ - zk.value) * ccPerGrad;
            const bool beyond = std::fabs(rCc) > azimuthThresholdGrad * ccPerGrad;
            reportPair(cp1250(" * DUBLET AZYMUTU: ") + field(n, zk.from) + " " + field(n, zk.to) +
                           " " + fixed(zk.value, 10, 5) + "  Maz = " + fixed(zk.meanError, 10, 1),
                       std::string(19, ' ') + field(n, zj.from) + " " + field(n, zj.to) + " " +
                           fixed(zj.value, 10, 5) + "  Maz = " + fixed(zj.meanError, 10, 1) +
                           " r = " + fixed(rCc, 10, 1) + "[cc] ",
                       beyond,
                       question(" *** POWTÓRKA MIARY AZYMUTU: ",
                                number(n, zk.from) + " " + number(n, zk.to), rCc, "[cc]"),
                       report);
            ++pairs;
        }
        earlier.push_back(k);
    }
    reportCount(" LICZBA POWTÓREK AZYMUTÓW = ", pairs, report);
}

void mergeRepeatedDirections(NetworkData& n, DiagnosticReport& report) {
    for (DirectionSet& set : n.directionSets) {
        Table<Direction>& dirs = set.directions;
        std::vector<bool> merged(static_cast<size_t>(dirs.count()) + 1, false);
        int32_t placed = 0;
        for (int32_t i = 1; i <= dirs.count(); ++i) {
            if (merged[static_cast<size_t>(i)]) {
                continue;
            }
            const Direction first = dirs[i];
            Real sum = 0;
            int32_t readings = 1;
            for (int32_t j = i + 1; j <= dirs.count(); ++j) {
                if (merged[static_cast<size_t>(j)] || dirs[j].target != first.target) {
                    continue;
                }
                merged[static_cast<size_t>(j)] = true;
                Real d = dirs[j].value - first.value;
                if (d > 399) {
                    d -= 400;
                } else if (d < -399) {
                    d += 400;
                }
                sum += d;
                ++readings;
                if (std::fabs(d) > directionThresholdGrad) {
                    const std::string points =
                        number(n, set.station) + " " + number(n, first.target);
                    report.line(cp1250(" DUBLET KIERUNKU: ") + points + cp1250("  Z ODCHYŁKĄ = ") +
                                fixed(d * ccPerGrad, 10, 1) + " [cc]");
                    report.askToContinue(
                        question(" *** POWTÓRKA OBS. KIERUNKU: ", points, d * ccPerGrad, "[cc]"));
                }
            }
            Direction mean = first;
            mean.value = first.value + sum / readings;
            if (mean.value < 0) {
                mean.value += 400;
            }
            mean.meanError = first.meanError / std::sqrt(static_cast<Real>(readings));
            dirs[++placed] = mean;
        }
        dirs.resize(placed);
    }
}

} // namespace ptw3
