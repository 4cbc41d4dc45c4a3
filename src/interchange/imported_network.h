// A network brought in from another program's file, before it becomes a working folder:
// points and observations named by their point numbers, values in this program's units
// (metres, grads, mean errors in m or cc), and the log of what each source record became.
#pragma once

#include "common/real.h"
#include "observations/coordinate_system.h"

#include <optional>
#include <string>
#include <vector>

namespace ptw3 {

struct ImportedPoint {
    std::string number;
    Real x = 0, y = 0; ///< m; x northing, y easting, as this program's axes
    std::optional<Real> h;
    bool reference = false; ///< a reference point (XY.sta); else approximate (XY.prz)
    /// A reference point's a-priori mean errors (m); none for an error-free fixed point.
    std::optional<Real> mx, my;
};

struct ImportedDirection {
    std::string target;
    Real valueGrad = 0;
    Real meanErrorCc = 0;
};

/// One set-up's directions; a repeated target stands for a repeated reading.
struct ImportedSet {
    std::string station;
    std::vector<ImportedDirection> directions;
};

/// A distance (m, mean error m) or an azimuth (grads, mean error cc) between two points.
struct ImportedLine {
    std::string from, to;
    Real value = 0;
    Real meanError = 0;
};

struct ImportedAngle {
    std::string left, station, right;
    Real valueGrad = 0;
    Real meanErrorCc = 0;
};

struct ImportedNetwork {
    std::vector<ImportedPoint> points;
    std::vector<ImportedSet> sets;
    std::vector<ImportedAngle> angles;
    std::vector<ImportedLine> distances;
    std::vector<ImportedLine> azimuths;
    std::optional<SystemZone> system; ///< when the source names one
    std::vector<std::string> title;   ///< lines for tytul (UTF-8), when the source has any
};

/// What one record of the source became, or why it was refused (UTF-8).
struct ImportRecord {
    std::string where; ///< "wiersz 12", "<RawObservation> 5", ...
    std::string text;
    bool refused = false;
};

struct ImportLog {
    std::vector<ImportRecord> records;
    void took(std::string where, std::string text) {
        records.push_back({std::move(where), std::move(text), false});
    }
    void refused(std::string where, std::string reason) {
        records.push_back({std::move(where), std::move(reason), true});
    }
};

/// The instrument's accuracy for formats that carry none: a direction's mean error, and a
/// distance's as a + b·D.
struct InstrumentProfile {
    Real directionCc = 10;
    Real distanceA = 0.003; ///< m
    Real distancePpm = 2;   ///< mm per km
    /// Two faces of one reading that differ by more than this (cc) are refused.
    Real faceToleranceCc = 100;
    Real distanceMeanError(Real lengthM) const { return distanceA + distancePpm * 1e-6 * lengthM; }
};

} // namespace ptw3
