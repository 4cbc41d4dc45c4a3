// Field files made from a network as the data input read it, for round trips through the
// importers and for timing them: a Leica GSI-16 file and LandXML 1.2 survey data, each
// direction set observed as one set-up in both faces, each distance as a slope distance at
// a zenith angle off the horizontal, the reference points as known coordinates.
#pragma once

#include "input/network_data.h"

#include <string>

namespace ptw3::bench {

struct FieldFileOptions {
    /// Zenith angle of the first sight (grads); each further sight 0.01037 g more, so that
    /// every slope distance must be reduced.
    Real zenithGrad = 97.53;
    /// Approximate points given as approximate coordinates (LandXML CgPoints that are not
    /// control points); else the importer computes them.
    bool approximatePoints = false;
};

/// GSI-16: coordinate blocks of the reference points (11, 81, 82, 83), then per direction
/// set a station block (11, 84–86 for a reference station, 88), the face I readings (11, 21,
/// 22, 31 when a distance was measured from the station, 87) and the face II readings in
/// reverse order. Values to 0.01 mm and 0.01 mgon; point numbers must not start with 0.
std::string gsiFromNetwork(const NetworkData& network, const FieldFileOptions& options = {});

/// LandXML 1.2 in metres and grads with the same set-ups and readings as RawObservations.
std::string landXmlFromNetwork(const NetworkData& network, const FieldFileOptions& options = {});

} // namespace ptw3::bench
