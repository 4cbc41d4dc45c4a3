// Synthetic working folders for benchmarks and stress tests: a network of points on a
// perturbed grid, or scattered as in a field network, with every kind of input file,
// observations computed from the true coordinates plus normal noise. The same options give
// the same bytes on every platform.
#pragma once

#include <bitset>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ptw3::bench {

/// The files of a working folder that the generator can write.
enum class FileKind {
    Title,                ///< tytul
    SystemZone,           ///< uklad
    DistanceMeter,        ///< DALMIERZ
    Limbus,               ///< LIMBUS
    Reductions,           ///< REDUKCJE
    ReferencePoints,      ///< XY.sta
    ApproximatePoints,    ///< XY.prz
    Heights,              ///< H.prz
    Directions,           ///< KIERUNKI
    PolarDirections,      ///< KIERUNKI.mod
    OrthogonalDirections, ///< KIERUNKI.ort
    GpsDirections,        ///< KIERUNKI.gps
    Angles,               ///< KATY
    AnglesWithErrors,     ///< KATY.b
    Distances,            ///< DLUGOSCI
    DistancesWithErrors,  ///< DLUGOSCI.b
    GpsDistances,         ///< DLUGOSCI.gps
    Azimuths,             ///< AZYMUTY
    GpsAzimuths,          ///< AZYMUTY.gps
};
inline constexpr int fileKindCount = static_cast<int>(FileKind::GpsAzimuths) + 1;

/// The name of the file in the working folder.
std::string_view fileName(FileKind kind);

/// How the points are laid out.
enum class NetworkShape {
    Grid,        ///< a square grid of about 1 km, reference points spread over it
    Chain,       ///< a ladder two points wide, held by reference points at its start only
    TwoClusters, ///< two grids 5 km apart, joined by one line between their middle points
    /// points of irregular density (settlements, sparse areas) about 1 km apart, direction
    /// sets of 6 to 15 sight lines, few reference points, GPS vectors across the area
    Field,
};

/// The shape that a command line names: grid, chain, clusters or field.
std::optional<NetworkShape> shapeNamed(std::string_view name);

inline constexpr int32_t minGeneratedPoints = 10;
inline constexpr int32_t maxGeneratedPoints = 20000;
inline constexpr int32_t minDirectionsPerSet = 2;
inline constexpr int32_t maxDirectionsPerSet = 8;

struct GeneratorOptions {
    int32_t pointCount = maxGeneratedPoints; ///< 10 to 20000
    uint64_t seed = 1;
    NetworkShape shape = NetworkShape::Grid;
    /// Directions of each set of KIERUNKI, 2 to 8 (fewer only where the grid runs out); in a
    /// field network, of the sets of KIERUNKI.mod and KIERUNKI.ort only.
    int32_t directionsPerSet = 6;
    /// The file kinds to write, indexed by FileKind; all by default.
    std::bitset<fileKindCount> files = std::bitset<fileKindCount>().set();

    bool writes(FileKind kind) const { return files.test(static_cast<size_t>(kind)); }
    void setWrites(FileKind kind, bool on) { files.set(static_cast<size_t>(kind), on); }
};

/// A point of the network at its true position (coordinates in m, rounded to the mm).
struct TruePoint {
    std::string number;
    double x = 0; ///< north
    double y = 0; ///< east
};

/// The mean Earth radius (m) of the height reduction of lengths measured on the ground.
inline constexpr double earthRadiusM = 6370000;

/// The length measured on the ground between two points at the heights hi, hj (m) whose
/// length in the plane is planeM: the program takes -((hi + hj)/2) D / R off a measured D
/// (no geoid undulation in the local system), so D = planeM / (1 - (hi + hj)/(2 R)).
double groundLengthM(double planeM, double heightI, double heightJ);

/// The true positions behind the network of these options: the points in grid order, row
/// by row from the south-west corner, or for a field in the order they were drawn. Depends
/// on pointCount, seed and shape only.
std::vector<TruePoint> truePoints(const GeneratorOptions& options);

/// Writes the chosen files of the network into the folder (created when missing; files of
/// the same names in any letter case are overwritten). Throws std::invalid_argument for
/// options out of range and std::runtime_error when a file cannot be written.
void generateNetwork(const std::filesystem::path& folder, const GeneratorOptions& options);

} // namespace ptw3::bench
