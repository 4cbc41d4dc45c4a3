// siec.gpkg and siec.dxf of whole computed folders read back with GDAL: every point,
// observation and ellipse is a feature at the coordinates and with the figures of wyniki.json
// (read here as plain JSON), the ellipses recomputed from their axes, the reference system the
// one the EPSG register gives the network's system; and the register's definitions of the
// systems agree with the program's projection constants.

#include "export/gis_files.h"
#include "observations/projections.h"
#include "run/coordinate_systems.h"
#include "test_support.h"

#include <gdal_priv.h>
#include <nlohmann/json.hpp>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <numbers>
#include <set>

namespace ptw3 {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const fs::path examples = PTW3_EXAMPLES_DIR;
const fs::path testData = PTW3_TEST_DATA_DIR;

GDALDatasetUniquePtr openVector(const fs::path& file) {
    GDALAllRegister();
    return GDALDatasetUniquePtr(
        GDALDataset::Open(file.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
}

std::vector<OGRFeatureUniquePtr> featuresOf(OGRLayer& layer) {
    std::vector<OGRFeatureUniquePtr> features;
    layer.ResetReading();
    while (OGRFeature* f = layer.GetNextFeature()) {
        features.emplace_back(f);
    }
    return features;
}

/// A point's (easting, northing) as the JSON gives it.
struct Position {
    double east, north;
};

double grads(double radians) {
    return radians * 200 / std::numbers::pi;
}

TEST(GisFiles, EveryPointObservationAndEllipseOfAComputedFolderStandsAsInItsResults) {
    struct Case {
        const char* what;
        fs::path folder;
        int expectedEpsg; ///< 0: no reference system
        bool angles;
    };
    const Case cases[] = {
        {"2000 system, zone 7", examples / "siec-2000", 2178, false},
        {"local system, outliers", examples / "siec-blad-gruby", 0, false},
        {"every kind of observation", testData / "complete_network", 0, true},
    };
    constexpr double coordinateTolerance = 1e-5; // the last decimal of wyniki.json, m
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempFolder folder;
        folder.copyFilesOf(c.folder);
        test::computeFolder(folder.path());
        for (const std::string& name : folder.names()) {
            EXPECT_FALSE(name.ends_with(".tmp")) << name;
        }
        const json results = json::parse(folder.read("wyniki.json"));
        std::map<std::string, Position> position;
        for (const json& p : results["points"]) {
            position[p["number"]] = {p["y_m"], p["x_m"]};
        }

        const auto gpkg = openVector(folder.path() / "siec.gpkg");
        ASSERT_TRUE(gpkg);
        OGRLayer* points = gpkg->GetLayerByName("punkty");
        ASSERT_NE(points, nullptr);
        const OGRSpatialReference* srs = points->GetSpatialRef();
        if (c.expectedEpsg == 0) {
            // The GeoPackage's undefined Cartesian system, not taken for degrees.
            ASSERT_NE(srs, nullptr);
            EXPECT_TRUE(srs->IsLocal());
            EXPECT_EQ(srs->GetAuthorityCode(nullptr), nullptr);
        } else {
            ASSERT_NE(srs, nullptr);
            EXPECT_STREQ(srs->GetAuthorityName(nullptr), "EPSG");
            EXPECT_EQ(std::atoi(srs->GetAuthorityCode(nullptr)), c.expectedEpsg);
        }
        const auto pointFeatures = featuresOf(*points);
        ASSERT_EQ(pointFeatures.size(), results["points"].size());
        for (size_t i = 0; i < pointFeatures.size(); ++i) {
            const OGRFeature& f = *pointFeatures[i];
            const json& p = results["points"][i];
            EXPECT_EQ(f.GetFieldAsString("number"), p["number"].get<std::string>());
            EXPECT_EQ(f.GetFieldAsString("kind"), p["kind"].get<std::string>());
            EXPECT_EQ(f.GetFieldAsDouble("mp_m"), p["mp_m"].get<double>());
            EXPECT_EQ(f.GetFieldAsInteger("controlled") != 0, p["controlled"].get<bool>());
            const auto* geometry = dynamic_cast<const OGRPoint*>(f.GetGeometryRef());
            ASSERT_NE(geometry, nullptr);
            EXPECT_NEAR(geometry->getX(), p["y_m"].get<double>(), coordinateTolerance);
            EXPECT_NEAR(geometry->getY(), p["x_m"].get<double>(), coordinateTolerance);
        }

        OGRLayer* observations = gpkg->GetLayerByName("obserwacje");
        ASSERT_NE(observations, nullptr);
        const auto observationFeatures = featuresOf(*observations);
        ASSERT_EQ(observationFeatures.size(), results["observations"].size());
        size_t angles = 0, outlierSegments = 0;
        for (size_t i = 0; i < observationFeatures.size(); ++i) {
            const OGRFeature& f = *observationFeatures[i];
            const json& o = results["observations"][i];
            const bool angle = o["kind"] == "angle";
            angles += angle ? 1 : 0;
            outlierSegments += o["outlier"].get<bool>() ? (angle ? 2 : 1) : 0;
            EXPECT_EQ(f.GetFieldAsString("kind"), o["kind"].get<std::string>());
            if (o["line"].is_number()) {
                EXPECT_EQ(f.GetFieldAsInteger("line"), o["line"].get<int>());
            }
            EXPECT_EQ(f.GetFieldAsInteger("outlier") != 0, o["outlier"].get<bool>());
            for (const char* figure : {"v_cc", "v_m", "r", "w"}) {
                if (o.contains(figure) && !o[figure].is_null()) {
                    EXPECT_EQ(f.GetFieldAsDouble(figure), o[figure].get<double>()) << figure;
                } else {
                    EXPECT_FALSE(f.IsFieldSetAndNotNull(f.GetFieldIndex(figure))) << figure;
                }
            }
            std::vector<std::string> through = {o["from"], o["to"]};
            if (angle) {
                through.insert(through.begin(), o["left"].get<std::string>());
            }
            const auto* line = dynamic_cast<const OGRLineString*>(f.GetGeometryRef());
            ASSERT_NE(line, nullptr) << i;
            ASSERT_EQ(static_cast<size_t>(line->getNumPoints()), through.size());
            for (int k = 0; k < line->getNumPoints(); ++k) {
                const Position& q = position.at(through[static_cast<size_t>(k)]);
                EXPECT_NEAR(line->getX(k), q.east, coordinateTolerance);
                EXPECT_NEAR(line->getY(k), q.north, coordinateTolerance);
            }
        }
        EXPECT_EQ(angles > 0, c.angles);

        // Each ellipse recomputed: its farthest vertices A from the centre along the azimuth
        // Fi, its nearest B across.
        OGRLayer* ellipses = gpkg->GetLayerByName("elipsy");
        ASSERT_NE(ellipses, nullptr);
        std::vector<const json*> withEllipse;
        for (const json& p : results["points"]) {
            if (p["kind"] != "fixed" && p["a_m"].is_number() && p["a_m"].get<double>() > 0) {
                withEllipse.push_back(&p);
            }
        }
        const auto ellipseFeatures = featuresOf(*ellipses);
        ASSERT_EQ(ellipseFeatures.size(), withEllipse.size());
        for (size_t i = 0; i < ellipseFeatures.size(); ++i) {
            const json& p = *withEllipse[i];
            EXPECT_EQ(ellipseFeatures[i]->GetFieldAsString("number"),
                      p["number"].get<std::string>());
            const auto* polygon =
                dynamic_cast<const OGRPolygon*>(ellipseFeatures[i]->GetGeometryRef());
            ASSERT_NE(polygon, nullptr);
            const OGRLinearRing* ring = polygon->getExteriorRing();
            EXPECT_EQ(ring->getNumPoints(), 65);
            // The centre is the mean of the vertices, free of the rounding of the JSON's.
            const int vertices = ring->getNumPoints() - 1;
            Position centre{0, 0};
            for (int k = 0; k < vertices; ++k) {
                centre.east += ring->getX(k) / vertices;
                centre.north += ring->getY(k) / vertices;
            }
            EXPECT_NEAR(centre.east, position.at(p["number"]).east, coordinateTolerance);
            EXPECT_NEAR(centre.north, position.at(p["number"]).north, coordinateTolerance);
            double farthest = 0, nearest = 1e9, farthestAzimuth = 0;
            for (int k = 0; k < vertices; ++k) {
                const double de = ring->getX(k) - centre.east;
                const double dn = ring->getY(k) - centre.north;
                const double d = std::hypot(de, dn);
                if (d > farthest) {
                    farthest = d;
                    farthestAzimuth = grads(std::atan2(de, dn));
                }
                nearest = std::min(nearest, d);
            }
            const double a = p["a_m"], b = p["b_m"];
            EXPECT_NEAR(farthest, a, 2 * coordinateTolerance);
            EXPECT_NEAR(nearest, b, 2 * coordinateTolerance);
            if (a - b > 0.001) { // else the azimuth of the major axis is hardly defined
                const double offAxis = std::remainder(farthestAzimuth - p["fi_grad"].get<double>(),
                                                      200.0);
                EXPECT_NEAR(offAxis, 0, 0.01);
            }
        }
        EXPECT_EQ(gpkg->GetLayerByName("linie") != nullptr, results.contains("kontrola"));
        if (results.contains("kontrola")) {
            EXPECT_EQ(static_cast<size_t>(gpkg->GetLayerByName("linie")->GetFeatureCount()),
                      results["kontrola"]["relative_accuracy"]["lines"].size());
        }

        // The drawing: a POINT and a number a point, the ellipses, the outliers' lines.
        const auto dxf = openVector(folder.path() / "siec.dxf");
        ASSERT_TRUE(dxf);
        std::map<std::string, int> byLayer;
        std::set<std::string> numbers;
        for (const auto& f : featuresOf(*dxf->GetLayer(0))) {
            const std::string layer = f->GetFieldAsString("Layer");
            ++byLayer[layer];
            if (layer == "NUMERY") {
                numbers.insert(f->GetFieldAsString("Text"));
            } else if (layer == "ELIPSY") { // a closed polyline, not a filled hatch
                EXPECT_EQ(wkbFlatten(f->GetGeometryRef()->getGeometryType()), wkbLineString);
            } else if (layer.starts_with("PUNKTY")) {
                const auto* q = dynamic_cast<const OGRPoint*>(f->GetGeometryRef());
                ASSERT_NE(q, nullptr);
                const bool atAPoint = std::any_of(position.begin(), position.end(),
                                                  [&](const auto& numbered) {
                    return std::fabs(numbered.second.east - q->getX()) < coordinateTolerance &&
                           std::fabs(numbered.second.north - q->getY()) < coordinateTolerance;
                });
                EXPECT_TRUE(atAPoint) << q->getX() << " " << q->getY();
            }
        }
        int pointEntities = 0;
        for (const auto& [layer, count] : byLayer) {
            pointEntities += layer.starts_with("PUNKTY") ? count : 0;
        }
        EXPECT_EQ(static_cast<size_t>(pointEntities), position.size());
        EXPECT_EQ(numbers.size(), position.size());
        EXPECT_EQ(static_cast<size_t>(byLayer["ELIPSY"]), withEllipse.size());
        EXPECT_EQ(static_cast<size_t>(byLayer["ODSTAJACE"]), outlierSegments);
    }
}

// Any slip in the table of EPSG codes puts the network in another place: the register's
// ellipsoid and, for the transverse Mercator systems, the central meridian, the scale and the
// false origin are those the program computes with.
TEST(GisFiles, TheEpsgSystemsAgreeWithTheProjectionConstants) {
    GDALAllRegister();
    for (const CoordinateSystemEntry& entry : coordinateSystemEntries) {
        SCOPED_TRACE(std::string(entry.text));
        const auto crs = gisCrs(entry.system);
        if (!crs) {
            continue;
        }
        OGRSpatialReference srs;
        ASSERT_EQ(srs.importFromEPSG(crs->epsg), OGRERR_NONE);
        const ProjectionParameters p = projectionParameters(entry.system);
        EXPECT_NEAR(srs.GetSemiMajor(), static_cast<double>(p.semiMajorAxis), 1e-3);
        if (p.formulas != ProjectionFormulas::GaussKruger) {
            continue;
        }
        EXPECT_STREQ(srs.GetAttrValue("PROJECTION"), SRS_PT_TRANSVERSE_MERCATOR);
        EXPECT_NEAR(srs.GetNormProjParm(SRS_PP_CENTRAL_MERIDIAN),
                    static_cast<double>(p.centralMeridian), 1e-12);
        EXPECT_NEAR(srs.GetNormProjParm(SRS_PP_SCALE_FACTOR), static_cast<double>(p.scaleFactor),
                    1e-12);
        EXPECT_EQ(srs.GetNormProjParm(SRS_PP_FALSE_EASTING), 1e6 * crs->eastingPrefix + 500000);
        EXPECT_EQ(srs.GetNormProjParm(SRS_PP_FALSE_NORTHING), static_cast<double>(p.falseNorthing));
    }
}

// A file that cannot be put in place is reported, and nothing is left beside it; an existing
// file of the name in other letters is overwritten, not doubled.
TEST(GisFiles, AFailedWriteIsReportedAndAnOldFileInAnyCaseReplaced) {
    NetworkResults results;
    results.run.system = {CoordinateSystem::Cs1992, 0};
    PointResult point;
    point.number = "1";
    point.x = 500000;
    point.y = 600000;
    results.points.push_back(point);
    using Writer = bool (*)(const fs::path&, const NetworkResults&);
    struct Case {
        const char* name;
        const char* oldName;
        Writer write;
    };
    const Case cases[] = {{"siec.gpkg", "SIEC.GPKG", writeNetworkGeoPackage},
                          {"siec.dxf", "Siec.Dxf", writeNetworkDxf}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempFolder blocked;
        fs::create_directory(blocked.path() / c.oldName);
        EXPECT_FALSE(c.write(blocked.path(), results));
        EXPECT_EQ(blocked.names(), std::vector<std::string>{c.oldName});

        test::TempFolder folder;
        folder.write(c.oldName, "left from before");
        EXPECT_TRUE(c.write(folder.path(), results));
        EXPECT_EQ(folder.names(), std::vector<std::string>{c.oldName});
        const auto written = openVector(folder.path() / c.oldName);
        ASSERT_TRUE(written);
        EXPECT_EQ(written->GetLayer(0)->GetFeatureCount(), c.write == writeNetworkDxf ? 2 : 1);
    }
}

} // namespace
} // namespace ptw3
