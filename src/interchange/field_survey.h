// A total-station survey as the field formats (GSI, LandXML) record it, before it becomes a
// network: coordinates, and instrument set-ups with their raw readings (circle readings in
// either face, zenith angles, slope or horizontal distances). fieldNetwork reduces it: faces
// averaged, slope distances brought to the horizontal, approximate coordinates computed.
#pragma once

#include "interchange/imported_network.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ptw3 {

/// Where a record stands in the source: its place in the log's order and its name there.
struct FieldSource {
    int64_t order = 0; ///< the records are listed in this order (a line, an offset)
    std::string where; ///< "wiersz 12", "<RawObservation> 5"
};

/// Coordinates the source gives for a point.
struct FieldPoint {
    FieldSource source;
    std::string number;
    Real x = 0, y = 0; ///< m, northing and easting
    std::optional<Real> h;
    /// A known point (reference, XY.sta); else the coordinates are only approximate.
    bool known = false;
};

/// One pointing of the telescope at a target, as recorded.
struct FieldReading {
    FieldSource source;
    std::string target;
    std::optional<Real> horizontalGrad; ///< circle reading Hz
    std::optional<Real> zenithGrad;     ///< zenith angle V, beyond 200 in face II
    std::optional<bool> faceTwo;        ///< the face, when the source states it
    std::optional<Real> slopeM;
    std::optional<Real> horizontalM;
};

/// One occupation of a station: its readings become one direction set.
struct FieldSetup {
    FieldSource source;
    std::string station;
    std::vector<FieldReading> readings;
};

/// A line of the log at its place in the source's order.
struct FieldNote {
    int64_t order = 0; ///< as FieldSource::order
    ImportRecord record;
};

struct FieldSurvey {
    std::vector<FieldPoint> points;
    std::vector<FieldSetup> setups;
    /// What the reader made of records that are neither points nor readings.
    std::vector<FieldNote> notes;

    void took(const FieldSource& at, std::string text);
    void refused(const FieldSource& at, std::string reason);
};

/// Horizontal distance (m) at the station's height from a slope distance S (m) and the
/// zenith angle z (grads, face I): S·sin z − (1 − k/2)·S·cos z·S·sin z / R, the earth's
/// curvature and the refraction with the coefficient k = 0.13.
Real horizontalFromSlope(Real slopeM, Real zenithGrad);

/// The network of the survey: the faces of a reading averaged (a pair that disagrees by more
/// than profile.faceToleranceCc refused), a round repeated kept as repeated readings,
/// distances of one target from one set-up averaged, the mean errors from the profile, and
/// approximate coordinates (polar points, free stations, intersections) for points the source
/// gives none. The survey's notes and what became of each record go to the log in the
/// source's order.
ImportedNetwork fieldNetwork(const FieldSurvey& survey, const InstrumentProfile& profile,
                             ImportLog& log);

} // namespace ptw3
