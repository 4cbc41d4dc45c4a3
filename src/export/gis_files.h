// siec.gpkg and siec.dxf: the results for GIS and CAD programs, written through GDAL/OGR.
// The GeoPackage holds the layers punkty (points), obserwacje (one line a listed
// observation: an angle from its left target through the station to its right target),
// elipsy (the error ellipses at true scale) and, with the quality control or a
// pre-analysis, linie (the relative accuracy of the observed lines), with the fields and
// roundings of wyniki.json. The DXF draws the same in layers for CAD. Geometry is in
// (easting, northing) = (Y, X) order, metres, in the EPSG system of the network's
// coordinate system where there is one.
#pragma once

#include "export/results.h"

#include <filesystem>
#include <optional>

namespace ptw3 {

/// The projected reference system of a coordinate system and zone in the EPSG register.
struct GisCrs {
    int32_t epsg = 0;
    /// The millions of metres that the EPSG false easting adds to 500 km: the strip's number
    /// (5 to 8 in the 2000 system); 0 where the easting has no such prefix.
    int32_t eastingPrefix = 0;
};

/// The EPSG system of a coordinate system and zone; nothing for the local system, the
/// 1965/86 system (which has none) and UTM (whose zone the computation does not know).
std::optional<GisCrs> gisCrs(SystemZone system);

/// The easting (m) the GIS files give a point of stored easting y (m): y itself, with the
/// strip's number put in front where the EPSG system has one and y lacks or has another
/// (the reductions read the easting without its prefix, so the computation meant that strip).
Real gisEasting(const std::optional<GisCrs>& crs, Real y);

/// Writes a GeoPackage of the results to the file (any name; an existing one of that name in
/// other letters is overwritten): whole or not at all, a failure leaves an earlier file as it
/// was. False when it could not be written in full.
bool writeGeoPackageFile(const std::filesystem::path& file, const NetworkResults& results);

/// Writes a DXF drawing of the results to the file, as writeGeoPackageFile.
bool writeDxfFile(const std::filesystem::path& file, const NetworkResults& results);

/// Writes siec.gpkg into the folder (overwriting the file in any letter case of its name).
bool writeNetworkGeoPackage(const std::filesystem::path& folder, const NetworkResults& results);

/// Writes siec.dxf into the folder (overwriting the file in any letter case of its name).
bool writeNetworkDxf(const std::filesystem::path& folder, const NetworkResults& results);

} // namespace ptw3
