// The GIS and CAD files through GDAL/OGR. GDAL's messages are caught (the core writes nothing
// to stderr) and any failure among them fails the file. The error ellipse of semi-axes A, B
// and azimuth Fi of the major axis (clockwise from X, north) is the polygon of the points
// (north, east) = centre + A cos t (cos Fi, sin Fi) + B sin t (−sin Fi, cos Fi) at equal steps
// of t.
#include "export/gis_files.h"

#include "export/output_file.h"
#include "export/result_fields.h"
#include "export/sketch.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_vsi.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <array>
#include <cctype>
#include <cmath>
#include <memory>
#include <numbers>
#include <span>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace ptw3 {
namespace {

namespace fs = std::filesystem;
using enum CoordinateSystem;

struct CrsRow {
    CoordinateSystem system;
    int32_t zone; ///< as the system list gives it: the 1965 zone or the central meridian
    GisCrs crs;
};

// The 1965 zones as the EPSG register defines them (Pulkovo 1942(58) / Poland zone I to V:
// stereographic zones 1 to 4 and the Gauss-Krüger zone 5); the 1942 system in the 6° and 3°
// strips of Pulkovo 1942(58); the 1992 and 2000 systems of ETRF2000-PL.
// clang-format off
constexpr std::array<CrsRow, 16> crsTable = {{
    {Cs1965,        1,  {3120, 0}},
    {Cs1965,        2,  {2172, 0}},
    {Cs1965,        3,  {2173, 0}},
    {Cs1965,        4,  {2174, 0}},
    {Cs1965,        5,  {2175, 0}},
    {Cs1942Strips6, 15, {3333, 3}},
    {Cs1942Strips6, 21, {3334, 4}},
    {Cs1942Strips3, 15, {3329, 5}},
    {Cs1942Strips3, 18, {3330, 6}},
    {Cs1942Strips3, 21, {3331, 7}},
    {Cs1942Strips3, 24, {3332, 8}},
    {Cs1992,        0,  {2180, 0}},
    {Cs2000,        15, {2176, 5}},
    {Cs2000,        18, {2177, 6}},
    {Cs2000,        21, {2178, 7}},
    {Cs2000,        24, {2179, 8}},
}};
// clang-format on

constexpr int ellipseVertices = 64;
constexpr Real metresPerPrefix = 1000000;
/// Text height of the point numbers in the DXF, as a share of the mean line length.
constexpr Real textHeightShareOfLine = 0.025L;

constexpr const char* pointsLayer = "punkty";
constexpr const char* observationsLayer = "obserwacje";
constexpr const char* ellipsesLayer = "elipsy";
constexpr const char* linesLayer = "linie";

/// GDAL's messages while a file is written: none reaches stderr, a failure is remembered.
class GdalMessages {
  public:
    GdalMessages() { CPLPushErrorHandlerEx(record, this); }
    ~GdalMessages() { CPLPopErrorHandler(); }
    GdalMessages(const GdalMessages&) = delete;
    GdalMessages& operator=(const GdalMessages&) = delete;

    bool failed() const { return m_failed; }

  private:
    static void CPL_STDCALL record(CPLErr level, CPLErrorNum, const char*) {
        if (level >= CE_Failure) {
            static_cast<GdalMessages*>(CPLGetErrorHandlerUserData())->m_failed = true;
        }
    }
    bool m_failed = false;
};

/// A configuration option of GDAL set for this thread while the object lives.
class ThreadOption {
  public:
    ThreadOption(const char* key, const char* value)
        : m_key(key) {
        if (const char* old = CPLGetThreadLocalConfigOption(key, nullptr)) {
            m_old = old;
        }
        CPLSetThreadLocalConfigOption(key, value);
    }
    ~ThreadOption() { CPLSetThreadLocalConfigOption(m_key, m_old ? m_old->c_str() : nullptr); }
    ThreadOption(const ThreadOption&) = delete;
    ThreadOption& operator=(const ThreadOption&) = delete;

  private:
    const char* m_key;
    std::optional<std::string> m_old;
};

GDALDriver* driverNamed(const char* name) {
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(name);
    if (driver == nullptr) {
        GDALAllRegister();
        driver = GetGDALDriverManager()->GetDriverByName(name);
    }
    return driver;
}

/// A point of the files: easting, northing (m).
struct MapPoint {
    double east = 0, north = 0;
};

class MapAxes {
  public:
    explicit MapAxes(const NetworkResults& r)
        : m_points(r.points)
        , m_crs(gisCrs(r.run.system)) {}

    const std::optional<GisCrs>& crs() const { return m_crs; }

    /// The point of the given index, when it has one that can be drawn.
    std::optional<MapPoint> at(int32_t index) const {
        if (index < 0 || static_cast<size_t>(index) >= m_points.size() ||
            !drawable(m_points[static_cast<size_t>(index)])) {
            return std::nullopt;
        }
        return of(m_points[static_cast<size_t>(index)]);
    }

    MapPoint of(const PointResult& p) const {
        return {static_cast<double>(gisEasting(m_crs, p.y)), static_cast<double>(p.x)};
    }

    /// The error ellipse at true scale, closed (the first vertex repeated).
    std::vector<MapPoint> ellipse(const PointResult& p) const {
        const MapPoint centre = of(p);
        const Real phi = p.fi * std::numbers::pi_v<Real> / 200;
        const Real sinPhi = std::sin(phi), cosPhi = std::cos(phi);
        std::vector<MapPoint> ring;
        ring.reserve(ellipseVertices + 1);
        for (int k = 0; k <= ellipseVertices; ++k) {
            const Real t = 2 * std::numbers::pi_v<Real> * (k % ellipseVertices) / ellipseVertices;
            const Real major = p.a * std::cos(t), minor = p.b * std::sin(t);
            ring.push_back({centre.east + static_cast<double>(major * sinPhi + minor * cosPhi),
                            centre.north + static_cast<double>(major * cosPhi - minor * sinPhi)});
        }
        return ring;
    }

    /// The line through the points of the indices, when all of them can be drawn.
    std::unique_ptr<OGRLineString> line(std::initializer_list<int32_t> indices) const {
        auto line = std::make_unique<OGRLineString>();
        for (const int32_t i : indices) {
            const auto q = at(i);
            if (!q) {
                return nullptr;
            }
            line->addPoint(q->east, q->north);
        }
        return line;
    }

  private:
    const std::vector<PointResult>& m_points;
    std::optional<GisCrs> m_crs;
};

std::unique_ptr<OGRPolygon> polygonOf(const std::vector<MapPoint>& ring) {
    auto linear = std::make_unique<OGRLinearRing>();
    for (const MapPoint& q : ring) {
        linear->addPoint(q.east, q.north);
    }
    auto polygon = std::make_unique<OGRPolygon>();
    polygon->addRingDirectly(linear.release());
    return polygon;
}

/// A column's type and subtype.
struct ColumnType {
    OGRFieldType type = OFTString;
    OGRFieldSubType subtype = OFSTNone;
};

// The column type of a field is that of its value for a record with every optional figure
// present.
ColumnType columnTypeOf(const FieldValue& probe) {
    if (std::holds_alternative<Real>(probe)) {
        return {OFTReal};
    }
    if (std::holds_alternative<int32_t>(probe)) {
        return {OFTInteger};
    }
    if (std::holds_alternative<bool>(probe)) {
        return {OFTInteger, OFSTBoolean};
    }
    return {};
}

bool createColumn(OGRLayer& layer, std::string_view name, ColumnType type) {
    OGRFieldDefn column(std::string(name).c_str(), type.type);
    column.SetSubType(type.subtype);
    return layer.CreateField(&column) == OGRERR_NONE;
}

struct Probe {
    NetworkResults results;
    PointResult point;
    ObservationResult observation;
    LineAccuracy line;

    Probe() {
        results.points.resize(1);
        observation.file = "";
        observation.line = 0;
        observation.left = observation.from = observation.to = 0;
        observation.reliability = ReliabilityFigures{0, 0, 0, 0, 0};
        line.from = line.to = 1;
    }
};

void setField(OGRFeature& f, int column, const FieldValue& v, int decimals) {
    if (const auto* real = std::get_if<Real>(&v)) {
        if (std::isfinite(*real)) {
            f.SetField(column, roundedTo(*real, decimals));
        } else {
            f.SetFieldNull(column);
        }
    } else if (const auto* integer = std::get_if<int32_t>(&v)) {
        f.SetField(column, *integer);
    } else if (const auto* text = std::get_if<std::string>(&v)) {
        f.SetField(column, text->c_str());
    } else if (const auto* flag = std::get_if<bool>(&v)) {
        f.SetField(column, *flag ? 1 : 0);
    } else {
        f.SetFieldNull(column);
    }
}

/// Writes one layer in one transaction; `fill(feature, index)` sets the fields and geometry
/// of a record. False when any step failed.
template <class Fill>
bool writeLayer(GDALDataset& data, OGRLayer& layer, size_t records, Fill fill) {
    if (data.StartTransaction() != OGRERR_NONE) {
        return false;
    }
    bool written = true;
    for (size_t i = 0; i < records && written; ++i) {
        OGRFeatureUniquePtr feature(OGRFeature::CreateFeature(layer.GetLayerDefn()));
        fill(*feature, i);
        written = layer.CreateFeature(feature.get()) == OGRERR_NONE;
    }
    if (!written) {
        data.RollbackTransaction();
        return false;
    }
    return data.CommitTransaction() == OGRERR_NONE;
}

OGRLayer* createLayer(GDALDataset& data, const char* name, OGRSpatialReference* srs,
                      OGRwkbGeometryType type, const char* description) {
    char** options = CSLSetNameValue(nullptr, "DESCRIPTION", description);
    OGRLayer* layer = data.CreateLayer(name, srs, type, options);
    CSLDestroy(options);
    return layer;
}

template <class Field> bool createColumns(OGRLayer& layer, std::span<const Field> fields,
                                          const auto& probeValue) {
    for (const Field& field : fields) {
        if (!createColumn(layer, field.name, columnTypeOf(probeValue(field)))) {
            return false;
        }
    }
    return true;
}

bool fillGeoPackage(GDALDataset& data, const NetworkResults& r) {
    const MapAxes axes(r);
    OGRSpatialReference srs;
    if (axes.crs()) {
        if (srs.importFromEPSG(axes.crs()->epsg) != OGRERR_NONE) {
            return false;
        }
        srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    } else {
        // The GeoPackage's own entry for plane coordinates in no known system (srs_id −1);
        // without it the layers would be taken for longitudes and latitudes.
        srs.SetLocalCS("Undefined cartesian SRS");
        srs.SetLinearUnits(SRS_UL_METER, 1);
    }
    OGRSpatialReference* layerSrs = &srs;
    const Probe probe;

    OGRLayer* points =
        createLayer(data, pointsLayer, layerSrs, wkbPoint,
                    "Punkty sieci: współrzędne X (północ), Y (wschód) i ich dokładność, m; "
                    "geometria w kolejności (Y, X)");
    if (points == nullptr ||
        !createColumns(*points, pointFields(),
                       [&](const PointField& f) { return f.value(probe.point); }) ||
        !writeLayer(data, *points, r.points.size(), [&](OGRFeature& f, size_t i) {
            const PointResult& p = r.points[i];
            const auto fields = pointFields();
            for (size_t k = 0; k < fields.size(); ++k) {
                setField(f, static_cast<int>(k), fields[k].value(p), fields[k].decimals);
            }
            if (drawable(p)) {
                const MapPoint q = axes.of(p);
                f.SetGeometryDirectly(new OGRPoint(q.east, q.north));
            }
        })) {
        return false;
    }

    const auto fields = observationFields();
    OGRLayer* observations = createLayer(
        data, observationsLayer, layerSrs, wkbLineString,
        "Obserwacje: linia od stanowiska do celu; kąt od lewego celu przez stanowisko do "
        "prawego celu");
    if (observations == nullptr ||
        !createColumns(*observations, fields, [&](const ObservationField& f) {
            return f.value(probe.results, probe.observation);
        })) {
        return false;
    }
    std::vector<int32_t> stepOf;
    if (r.control) {
        if (!createColumn(*observations, "snooping_step", {OFTInteger})) {
            return false;
        }
        stepOf = snoopingSteps(r);
    }
    if (!writeLayer(data, *observations, r.observations.size(), [&](OGRFeature& f, size_t i) {
            const ObservationResult& o = r.observations[i];
            for (size_t k = 0; k < fields.size(); ++k) {
                if (carries(fields[k], o.kind)) {
                    setField(f, static_cast<int>(k), fields[k].value(r, o), fields[k].decimals);
                }
            }
            if (r.control && stepOf[i] > 0) {
                f.SetField(static_cast<int>(fields.size()), stepOf[i]);
            }
            auto line = o.kind == ListedKind::Angle ? axes.line({o.left, o.from, o.to})
                                                    : axes.line({o.from, o.to});
            if (line) {
                f.SetGeometryDirectly(line.release());
            }
        })) {
        return false;
    }

    std::vector<size_t> withEllipse;
    for (size_t i = 0; i < r.points.size(); ++i) {
        if (drawable(r.points[i]) && hasEllipse(r.points[i])) {
            withEllipse.push_back(i);
        }
    }
    OGRLayer* ellipses = createLayer(
        data, ellipsesLayer, layerSrs, wkbPolygon,
        "Elipsy błędów średnich punktów w skali rzeczywistej (półosie A, B w metrach, "
        "azymut Fi osi A w gradach), 64 wierzchołki");
    if (ellipses == nullptr) {
        return false;
    }
    // The point's number and the figures of its ellipse.
    std::vector<const PointField*> ellipseFields;
    for (const PointField& field : pointFields()) {
        if (field.name == "number" || field.name == "a_m" || field.name == "b_m" ||
            field.name == "fi_grad") {
            if (!createColumn(*ellipses, field.name, columnTypeOf(field.value(probe.point)))) {
                return false;
            }
            ellipseFields.push_back(&field);
        }
    }
    if (!writeLayer(data, *ellipses, withEllipse.size(), [&](OGRFeature& f, size_t i) {
            const PointResult& p = r.points[withEllipse[i]];
            for (size_t k = 0; k < ellipseFields.size(); ++k) {
                setField(f, static_cast<int>(k), ellipseFields[k]->value(p),
                         ellipseFields[k]->decimals);
            }
            f.SetGeometryDirectly(polygonOf(axes.ellipse(p)).release());
        })) {
        return false;
    }

    if (!r.control && !r.preAnalysis) {
        return true;
    }
    const std::vector<LineAccuracy>& lines =
        r.preAnalysis ? r.preAnalysis->lines.lines : r.control->relative.lines;
    OGRLayer* relative = createLayer(
        data, linesLayer, layerSrs, wkbLineString,
        "Dokładność względna obserwowanych linii: elipsa względna (A, B w metrach, Fi w "
        "gradach), błąd długości i kierunku");
    return relative != nullptr &&
           createColumns(*relative, lineFields(),
                         [&](const LineField& f) { return f.value(probe.results, probe.line); }) &&
           writeLayer(data, *relative, lines.size(), [&](OGRFeature& f, size_t i) {
               const LineAccuracy& l = lines[i];
               const auto fields = lineFields();
               for (size_t k = 0; k < fields.size(); ++k) {
                   setField(f, static_cast<int>(k), fields[k].value(r, l), fields[k].decimals);
               }
               // The control names points by their index from 1.
               if (auto line = axes.line({l.from - 1, l.to - 1})) {
                   f.SetGeometryDirectly(line.release());
               }
           });
}

std::string upper(std::string_view id) {
    std::string name(id);
    for (char& c : name) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return name;
}

/// A text of an OGR style string, in double quotes.
std::string styleText(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

std::string_view pointLayerName(const PointResult& p) {
    if (!p.controlled) {
        return "PUNKTY-BEZ-KONTROLI";
    }
    switch (p.kind) {
    case PointKind::Fixed:
        return "PUNKTY-STALE";
    case PointKind::MovingReference:
        return "PUNKTY-RUCHOME";
    case PointKind::Determined:
        return "PUNKTY-WYZNACZANE";
    }
    return "PUNKTY";
}

/// The DXF entities: one a feature of the single layer GDAL writes, the CAD layer a field.
class DxfEntities {
  public:
    explicit DxfEntities(OGRLayer& layer)
        : m_layer(layer) {}

    bool add(std::string_view cadLayer, const std::string& style,
             std::unique_ptr<OGRGeometry> geometry) {
        OGRFeatureUniquePtr feature(OGRFeature::CreateFeature(m_layer.GetLayerDefn()));
        feature->SetField("Layer", std::string(cadLayer).c_str());
        if (!style.empty()) {
            feature->SetStyleString(style.c_str());
        }
        feature->SetGeometryDirectly(geometry.release());
        return m_layer.CreateFeature(feature.get()) == OGRERR_NONE;
    }

  private:
    OGRLayer& m_layer;
};

std::string pen(std::string_view colour) {
    return "PEN(c:" + std::string(colour) + ")";
}

// The colours of the sketch where they tell something; the sketch's dark greys (directions,
// angles, points, numbers) would vanish on a CAD program's dark background, so those take
// their layer's colour, which the program shows in black or white.
std::string linePen(ListedKind kind) {
    return kind == ListedKind::Direction || kind == ListedKind::Angle
               ? std::string()
               : pen(lineStyle(kind).colour);
}

bool fillDxf(GDALDataset& data, const NetworkResults& r) {
    OGRLayer* layer = data.CreateLayer("entities", nullptr, wkbUnknown, nullptr);
    if (layer == nullptr) {
        return false;
    }
    DxfEntities entities(*layer);
    const MapAxes axes(r);
    const Sketch sketch = buildSketch(r);
    bool written = true;

    for (const SketchLine& line : sketch.lines) {
        written = written && entities.add(upper(lineStyle(line.kind).id), linePen(line.kind),
                                          axes.line({line.from, line.to}));
    }
    for (const SketchOutlier& outlier : sketch.outliers) {
        for (const SketchLine& segment : outlier.segments) {
            written = written && entities.add("ODSTAJACE", pen(outlierColour),
                                              axes.line({segment.from, segment.to}));
        }
    }
    for (const PointResult& p : r.points) {
        if (drawable(p) && hasEllipse(p)) {
            written = written && entities.add("ELIPSY", pen(ellipseColour),
                                              polygonOf(axes.ellipse(p)));
        }
    }

    const Real height = sketch.meanLineLength > 0
                            ? roundNumberNear(textHeightShareOfLine * sketch.meanLineLength)
                            : 1;
    const std::string size = std::to_string(static_cast<double>(height)) + "g";
    for (const PointResult& p : r.points) {
        if (!drawable(p)) {
            continue;
        }
        const MapPoint q = axes.of(p);
        written = written && entities.add(pointLayerName(p), "",
                                          std::make_unique<OGRPoint>(q.east, q.north));
        // Above and right of the point, as the sketch writes the numbers.
        const double offset = static_cast<double>(height) / 2;
        const std::string label =
            "LABEL(f:\"Arial\",t:" + styleText(p.number) + ",s:" + size + ",p:1)";
        written = written && entities.add("NUMERY", label,
                                          std::make_unique<OGRPoint>(q.east + offset,
                                                                     q.north + offset));
    }
    return written;
}

/// Builds the file in GDAL's in-memory file system, in a folder of this thread's (a thread
/// writes one file at a time), and writes it out as a whole or not at all. In memory the
/// writers' many small writes and seeks (the DXF writer copies its entities back line by line)
/// cost no system calls, and the GeoPackage's transactions no waits for the disk.
bool writeThroughGdal(const fs::path& target, const char* driverName, const NetworkResults& r,
                      bool (*fill)(GDALDataset&, const NetworkResults&)) {
    std::ostringstream folder;
    folder << "/vsimem/ptw3-" << std::this_thread::get_id();
    const std::string memoryFile = folder.str() + "/" + target.filename().string();
    VSIRmdirRecursive(folder.str().c_str());
    bool written = false;
    vsi_l_offset length = 0;
    std::unique_ptr<GByte, decltype(&VSIFree)> bytes(nullptr, VSIFree);
    {
        GdalMessages messages;
        // Polygons as closed polylines, not hatches.
        const ThreadOption noHatch("DXF_WRITE_HATCH", "NO");
        if (GDALDriver* driver = driverNamed(driverName)) {
            GDALDatasetUniquePtr data(
                driver->Create(memoryFile.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
            written = data && fill(*data, r);
            data.reset(); // closes the file, which may fail too
        }
        written = written && !messages.failed();
        bytes.reset(VSIGetMemFileBuffer(memoryFile.c_str(), &length, TRUE));
        VSIRmdirRecursive(folder.str().c_str());
    }
    if (!written || !bytes) {
        return false;
    }
    const fs::path parent = target.has_parent_path() ? target.parent_path() : fs::path(".");
    OutputFile out(parent, target.filename().string());
    out.write({reinterpret_cast<const char*>(bytes.get()), static_cast<size_t>(length)});
    return out.commit();
}

} // namespace

std::optional<GisCrs> gisCrs(SystemZone system) {
    for (const CrsRow& row : crsTable) {
        if (row.system == system.system && row.zone == system.zone) {
            return row.crs;
        }
    }
    return std::nullopt;
}

Real gisEasting(const std::optional<GisCrs>& crs, Real y) {
    if (!crs || crs->eastingPrefix == 0 || !std::isfinite(y)) {
        return y;
    }
    const Real prefix = std::trunc(y / metresPerPrefix);
    return y + (crs->eastingPrefix - prefix) * metresPerPrefix;
}

bool writeGeoPackageFile(const fs::path& file, const NetworkResults& results) {
    return writeThroughGdal(file, "GPKG", results, fillGeoPackage);
}

bool writeDxfFile(const fs::path& file, const NetworkResults& results) {
    return writeThroughGdal(file, "DXF", results, fillDxf);
}

bool writeNetworkGeoPackage(const fs::path& folder, const NetworkResults& results) {
    return writeGeoPackageFile(folder / "siec.gpkg", results);
}

bool writeNetworkDxf(const fs::path& folder, const NetworkResults& results) {
    return writeDxfFile(folder / "siec.dxf", results);
}

} // namespace ptw3
