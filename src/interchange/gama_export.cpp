// The network of a working folder written as GNU Gama local XML. The folder is read and
// adjusted in a scratch copy (its own reports stay as they are), and every observation goes
// out as the last pass used it: reduced to the plane of the folder's coordinate system at the
// adjusted coordinates, with its a-priori mean error. The reductions are thus frozen: Gama,
// which reduces nothing, adjusts the same plane network. Axes "ne" with clockwise angles are
// this program's own (X north, Y east, bearings clockwise from X), so nothing is turned.
// Weighted reference points become adjusted points with observed coordinates of a diagonal
// covariance, the pseudo-observations the adjustment itself uses for them.
#include "interchange/gama_export.h"

#include "common/clock.h"
#include "common/encoding.h"
#include "common/number_format.h"
#include "common/folder_files.h"
#include "common/message_list.h"
#include "common/run_context.h"
#include "common/stop.h"
#include "common/text_file.h"
#include "common/user_interaction.h"
#include "engine/adjustment.h"
#include "engine/weighting.h"
#include "input/read_network_data.h"
#include "run/coordinate_systems.h"
#include "run/uklad.h"
#include "run/working_folder.h"

#include <cmath>
#include <cstdio>
#include <pugixml.hpp>
#include <random>
#include <sstream>
#include <system_error>

namespace ptw3 {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view gamaNamespace = "http://www.gnu.org/software/gama/gama-local";
constexpr Real millimetresPerMetre = 1000;
constexpr Real fullCircleGrad = 400;
/// Passes of the adjustment whose last one gives the reductions: enough for the increments
/// of any network that converges to vanish.
constexpr int32_t exportIterations = 6;
constexpr Real freeCoordinateDeviationMm = 1e6;

std::string coordinate(Real m) {
    return trimmedDecimal(m, 6);
}
std::string length(Real m) {
    return trimmedDecimal(m, 7);
}
std::string grads(Real g) {
    Real r = std::fmod(g, fullCircleGrad);
    if (r < 0) {
        r += fullCircleGrad;
    }
    std::string s = trimmedDecimal(r, 10);
    return s == "400" ? "0" : s;
}
std::string deviation(Real v) {
    return trimmedDecimal(v, 6);
}

// The computation asks nothing of a person here: a question (a defect of the system, nearly
// coincident points, a reduction too large) declines it, and the export says why.
class DecliningUser : public UserInteraction {
  public:
    void message(int32_t, const std::string&) override {}
    void messagesBlanked(int32_t, int32_t) override {}
    bool confirm(const std::string& text) override {
        question = text;
        return false;
    }
    void inform(const std::string& text) override { information = text; }

    std::string question;
    std::string information;
};

// A folder of the system's temporary directory, removed with its content when it goes.
class ScratchFolder {
  public:
    ScratchFolder() {
        std::random_device random;
        std::error_code error;
        for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
            const fs::path candidate =
                fs::temp_directory_path(error) / ("ptw3-gama-" + std::to_string(random()));
            if (!error && fs::create_directory(candidate, error) && !error) {
                m_path = candidate;
            }
        }
    }
    ~ScratchFolder() {
        if (!m_path.empty()) {
            std::error_code error;
            fs::remove_all(m_path, error);
        }
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const fs::path& path() const { return m_path; }

  private:
    fs::path m_path;
};

// The coordinate system the calculation run would take from the folder's uklad.
SystemZone folderSystem(const fs::path& folder) {
    const std::optional<StoredSystem> stored = readUklad(folder);
    if (!stored) {
        return {};
    }
    const std::optional<CoordinateSystem> system = systemByNumber(stored->system);
    if (!system) {
        return {};
    }
    const std::optional<int32_t> entry = entryByCode(systemZoneCode({*system, stored->zone}));
    return entry ? coordinateSystemEntries[static_cast<size_t>(*entry)].system : SystemZone{};
}

// Copies the input files of the folder (the file set's and the title) into the scratch one.
bool copyInputFiles(const fs::path& folder, const fs::path& scratch) {
    std::vector<std::string_view> names{"tytul"};
    for (const FileSetEntry& e : fileSet) {
        if (e.group == FileGroup::Input) {
            names.push_back(e.fileName);
        }
    }
    for (const std::string_view name : names) {
        if (const std::optional<fs::path> found = findFileNoCase(folder, name)) {
            std::error_code error;
            fs::copy_file(*found, scratch / found->filename(), error);
            if (error) {
                return false;
            }
        }
    }
    return true;
}

// The variance (mm²) of an observed coordinate of a moving reference point. Above 0.1 mm the
// adjustment weighs it by 1/(m + 1e-8 m)²; a smaller error (0 in "0 0.01 0") gives that
// coordinate no pseudo-observation, so the distances and angles alone settle it, which a
// deviation of a kilometre says to Gama.
Real coordinateVariance(Real meanErrorM) {
    const Real m = meanErrorM > pseudoObservationError
                       ? (meanErrorM + errorGuard) * millimetresPerMetre
                       : freeCoordinateDeviationMm;
    return m * m;
}

std::string utf8(const PointNumber& number) {
    return utf8FromCp1250(number);
}

struct Adjusted {
    NetworkData network;
    Table<Point> given; ///< the points as the data input read them
    AdjustmentOutcome outcome;
};

std::string descriptionText(const NetworkData& network, SystemZone system) {
    std::string text = "\n";
    for (const std::string& line : network.title) {
        text += utf8FromCp1250(line) + "\n";
    }
    text += "\n";
    if (system.system == CoordinateSystem::Local) {
        text += "Układ lokalny: X na północ, Y na wschód, kąty zgodnie z ruchem wskazówek "
                "zegara.\n"
                "Obserwacje po redukcjach programu ptw3 (długości z redukcją wysokościową, gdy "
                "podano wysokości).\n";
    } else {
        text += "Układ " + std::to_string(systemNumber(system.system)) +
                (system.zone != 0 ? ", strefa " + std::to_string(system.zone) : "") +
                ": X na północ, Y na wschód, kąty zgodnie z ruchem wskazówek zegara.\n"
                "Kierunki, kąty, długości i azymuty zredukowano do płaszczyzny układu przy "
                "współrzędnych wyrównanych\n"
                "(redukcje zamrożone): sieć wyrównana bez redukcji daje te same współrzędne.\n";
    }
    return text;
}

void addObservation(pugi::xml_node obs, const char* kind, const NetworkData& n,
                    const AdjustedObservation& o) {
    pugi::xml_node e = obs.append_child(kind);
    const bool angular = o.kind == ListedKind::Angle || o.kind == ListedKind::Direction ||
                         o.kind == ListedKind::Azimuth || o.kind == ListedKind::GpsAzimuth;
    if (o.kind == ListedKind::Angle) {
        e.append_attribute("from") = utf8(n.points[o.from].number).c_str();
        e.append_attribute("bs") = utf8(n.points[o.left].number).c_str();
        e.append_attribute("fs") = utf8(n.points[o.to].number).c_str();
    } else if (o.kind == ListedKind::Distance || o.kind == ListedKind::GpsDistance) {
        e.append_attribute("from") = utf8(n.points[o.from].number).c_str();
        e.append_attribute("to") = utf8(n.points[o.to].number).c_str();
    } else {
        e.append_attribute("to") = utf8(n.points[o.to].number).c_str();
    }
    e.append_attribute("val") = (angular ? grads(o.observed) : length(o.observed)).c_str();
    e.append_attribute("stdev") =
        deviation(angular ? o.meanError : o.meanError * millimetresPerMetre).c_str();
}

std::string gamaXml(const Adjusted& a, SystemZone system) {
    const NetworkData& n = a.network;
    pugi::xml_document document;
    pugi::xml_node declaration = document.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "UTF-8";
    pugi::xml_node root = document.append_child("gama-local");
    root.append_attribute("xmlns") = std::string(gamaNamespace).c_str();
    pugi::xml_node network = root.append_child("network");
    network.append_attribute("axes-xy") = "ne";
    network.append_attribute("angles") = "left-handed";
    network.append_child("description")
        .append_child(pugi::node_pcdata)
        .set_value(descriptionText(n, system).c_str());
    // Gama weighs by sigma-apr²/stdev²: with sigma-apr 1 every observation adds (v/stdev)² to
    // [pvv], as here, whatever the units, so Gama's m0 is this program's Mo.
    pugi::xml_node parameters = network.append_child("parameters");
    parameters.append_attribute("sigma-apr") = "1";
    parameters.append_attribute("conf-pr") = "0.95";
    parameters.append_attribute("tol-abs") = "1000";
    // A [pvv] too small to estimate from leaves the adjustment at the a-priori unit error 1
    // (a computed Mo of exactly 1 is the same to Gama).
    parameters.append_attribute("sigma-act") = a.outcome.mo == 1 ? "apriori" : "aposteriori";
    pugi::xml_node section = network.append_child("points-observations");

    // The points to determine start from the adjusted coordinates, at which the reductions
    // were taken: Gama's test of the absolute terms (tol-abs, 1 m) then catches only a real
    // blunder, never a rough approximation.
    std::vector<int32_t> weighted;
    for (int32_t k = 1; k <= a.given.count(); ++k) {
        const Point& p = a.given[k];
        const bool fixed = p.mx == 0 && p.my == 0;
        const WorkingPoint& start = a.outcome.coordinates[k];
        pugi::xml_node point = section.append_child("point");
        point.append_attribute("id") = utf8(p.number).c_str();
        point.append_attribute("x") = coordinate(fixed ? p.x : start.x).c_str();
        point.append_attribute("y") = coordinate(fixed ? p.y : start.y).c_str();
        if (fixed) {
            point.append_attribute("fix") = "xy";
        } else {
            point.append_attribute("adj") = "xy";
            if (p.mx > 0 || p.my > 0) {
                weighted.push_back(k);
            }
        }
    }
    if (!weighted.empty()) {
        pugi::xml_node block = section.append_child("coordinates");
        std::string variances = "\n";
        for (const int32_t k : weighted) {
            const Point& p = a.given[k];
            pugi::xml_node point = block.append_child("point");
            point.append_attribute("id") = utf8(p.number).c_str();
            point.append_attribute("x") = coordinate(p.x).c_str();
            point.append_attribute("y") = coordinate(p.y).c_str();
            variances += deviation(coordinateVariance(p.mx)) + " " +
                         deviation(coordinateVariance(p.my)) + "\n";
        }
        pugi::xml_node cov = block.append_child("cov-mat");
        cov.append_attribute("dim") = std::to_string(2 * weighted.size()).c_str();
        cov.append_attribute("band") = "0";
        cov.append_child(pugi::node_pcdata).set_value(variances.c_str());
    }

    // The result tables list the angles, the directions set by set, the lengths and the
    // bearings, each kind in the order of the network's tables; each kind goes out in
    // clusters of its own, the lines with their ends in the order of the files (the tables
    // list a line from the end placed first in the normal equations, a bearing turned by
    // 200 grads with it).
    pugi::xml_node angles, distances, azimuths, directions;
    int32_t set = 0, setLeft = 0, distance = 0, azimuth = 0;
    int32_t azimuthStation = 0;
    for (AdjustedObservation o : a.outcome.observations) {
        switch (o.kind) {
        case ListedKind::Angle:
            if (!angles) {
                angles = section.append_child("obs");
            }
            addObservation(angles, "angle", n, o);
            break;
        case ListedKind::Direction:
            if (setLeft == 0) {
                ++set;
                setLeft = n.directionSets[set].directions.count();
                directions = section.append_child("obs");
                directions.append_attribute("from") = utf8(n.points[o.from].number).c_str();
            }
            --setLeft;
            addObservation(directions, "direction", n, o);
            break;
        case ListedKind::Distance:
        case ListedKind::GpsDistance: {
            const LineObservation& line = n.distances[++distance];
            o.from = line.from;
            o.to = line.to;
            if (!distances) {
                distances = section.append_child("obs");
            }
            addObservation(distances, "distance", n, o);
            break;
        }
        case ListedKind::Azimuth:
        case ListedKind::GpsAzimuth: {
            const LineObservation& line = n.azimuths[++azimuth];
            if (o.from != line.from) {
                o.observed += fullCircleGrad / 2;
            }
            o.from = line.from;
            o.to = line.to;
            // Gama's azimuth stands at the station of its cluster.
            if (!azimuths || azimuthStation != o.from) {
                azimuths = section.append_child("obs");
                azimuths.append_attribute("from") = utf8(n.points[o.from].number).c_str();
                azimuthStation = o.from;
            }
            addObservation(azimuths, "azimuth", n, o);
            break;
        }
        }
    }
    std::ostringstream out;
    document.save(out, " ", pugi::format_default, pugi::encoding_utf8);
    return out.str();
}

} // namespace

GamaExport exportGamaXml(const fs::path& folder, const fs::path& out) {
    std::error_code error;
    if (!fs::is_directory(folder, error)) {
        return {"nie ma folderu roboczego " + folder.string()};
    }
    const ScratchFolder scratch;
    if (scratch.path().empty() || !copyInputFiles(folder, scratch.path())) {
        return {"nie można skopiować danych folderu do katalogu tymczasowego"};
    }
    const SystemZone system = folderSystem(folder);
    Adjusted a;
    MessageList messages;
    DecliningUser user;
    const SystemClock clock;
    RunContext context(messages, user, clock);
    CalculationOptions options;
    options.workingFolder = scratch.path();
    options.system = system;
    options.iterationCount = exportIterations;
    options.analysisMode = AnalysisMode::Approximate;
    CalculationResults results;
    try {
        readNetworkData(scratch.path(), a.network, context);
        // A planned network holds placeholders (lengths of 0) that only a pre-analysis
        // replaces; adjusted as they stand they would make a network of nonsense.
        for (const LineObservation& d : a.network.distances) {
            if (!(d.value > 0)) {
                return {"długość " + utf8(a.network.points[d.from].number) + " - " +
                        utf8(a.network.points[d.to].number) +
                        " bez wartości: folder z projektem sieci, nie z pomiarem; nic nie "
                        "zapisano"};
            }
        }
        a.given = a.network.points;
        adjustNetwork(options, a.network, results, context, &a.outcome);
    } catch (const Stop& stop) {
        const std::string why = !user.question.empty()      ? user.question
                                : !user.information.empty() ? user.information
                                                            : std::string(stop.what());
        return {"obliczenie sieci folderu przerwane, nic nie zapisano: " + why};
    }
    const std::string xml = gamaXml(a, system);
    const fs::path parent = out.parent_path().empty() ? fs::path(".") : out.parent_path();
    if (const int failure = replaceFile(parent, out.filename().string(), xml); failure != 0) {
        return {"nie zapisano pliku " + out.string() + ": " +
                utf8FromCp1250(readFailureReason(failure))};
    }
    return {};
}

} // namespace ptw3
