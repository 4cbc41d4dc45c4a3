// The data input of one computation, in its fixed order: parameters, the
// pre-pass over the observation files, coordinates, directions, angles,
// distances and azimuths; then the unobserved points are removed, repeated
// observations checked, Schreiber angles formed, links counted, the unknowns
// ordered, the heights completed and the count summary written to ER3a.ptw. The title
// file and whether H.prz exists go to the network too: the engine reads nothing of the folder.

#include "input/read_network_data.h"

#include "common/encoding.h"
#include "common/interruption.h"
#include "common/number_format.h"
#include "common/run_phases.h"
#include "common/text_file.h"
#include "input/angle_files.h"
#include "input/coordinate_files.h"
#include "input/diagnostic_report.h"
#include "input/direction_files.h"
#include "input/distance_files.h"
#include "input/ordering.h"
#include "input/parameter_files.h"
#include "input/point_register.h"
#include "input/repetitions.h"

#include <array>
#include <cassert>
#include <cmath>
#include <optional>
#include <unordered_set>

namespace ptw3 {
namespace fs = std::filesystem;

namespace {

constexpr Real angleErrorPerDirectionError = 1.412L; // ma = 1.412 mk

/// The lines of an input file of the folder, or nothing when it does not exist.
std::optional<std::vector<std::string>> inputFile(const fs::path& folder, std::string_view name,
                                                  DiagnosticReport& report) {
    auto file = readInputFile(folder, name, report);
    if (!file) {
        return std::nullopt;
    }
    return splitLines(asCp1250(std::move(file->bytes)));
}

/// The lines of the title file tytul as the main report's heading shows them: without the
/// file each is " "; lines a short file lacks are empty.
std::array<std::string, titleLineCount> readTitle(const fs::path& folder,
                                                  DiagnosticReport& report) {
    std::array<std::string, titleLineCount> title;
    const auto lines = inputFile(folder, "tytul", report);
    if (!lines) {
        title.fill(" ");
        return title;
    }
    for (size_t i = 0; i < title.size() && i < lines->size(); ++i) {
        title[i] = (*lines)[i];
    }
    return title;
}

/// Reads an observation file of the folder when it exists, and marks the observations it
/// added with the file's entry in inputFiles.
template <class Read>
void readObservationFile(const fs::path& folder, std::string_view name, NetworkData& n,
                         DiagnosticReport& report, Read read) {
    auto input = readInputFile(folder, name, report);
    if (!input) {
        return;
    }
    const int32_t sets = n.lst(), angles = n.lka(), distances = n.ld(), azimuths = n.laz();
    read(splitLines(asCp1250(std::move(input->bytes))));
    const int32_t file = n.inputFiles.append(input->name);
    for (int32_t i = sets + 1; i <= n.lst(); ++i) {
        for (Direction& d : n.directionSets[i].directions) {
            d.source.file = file;
        }
    }
    for (int32_t i = angles + 1; i <= n.lka(); ++i) {
        n.angles[i].source.file = file;
    }
    for (int32_t i = distances + 1; i <= n.ld(); ++i) {
        n.distances[i].source.file = file;
    }
    for (int32_t i = azimuths + 1; i <= n.laz(); ++i) {
        n.azimuths[i].source.file = file;
    }
}

// Keeps the points that some accepted observation touches and renumbers every table.
void removeUnobservedPoints(NetworkData& n) {
    const int32_t firstFixed = n.lp() - n.ls + 1;
    std::vector<int32_t> newIndex(static_cast<size_t>(n.lp()) + 1, 0);
    int32_t kept = 0;
    for (int32_t i = 1; i <= n.lp(); ++i) {
        if (n.points[i].observationCount == 0) {
            if (i >= firstFixed) {
                --n.ls;
            }
            continue;
        }
        newIndex[static_cast<size_t>(i)] = ++kept;
        if (kept != i) {
            n.points[kept] = std::move(n.points[i]);
        }
        n.points[kept].linkCount = 0;
    }
    n.points.resize(kept);

    const auto renumber = [&](int32_t& p) { p = newIndex[static_cast<size_t>(p)]; };
    for (LineObservation& d : n.distances) {
        renumber(d.from);
        renumber(d.to);
    }
    for (Angle& a : n.angles) {
        renumber(a.left);
        renumber(a.station);
        renumber(a.right);
    }
    for (LineObservation& a : n.azimuths) {
        renumber(a.from);
        renumber(a.to);
    }
    for (DirectionSet& set : n.directionSets) {
        renumber(set.station);
        for (Direction& d : set.directions) {
            renumber(d.target);
        }
    }
}

void dropShortDirectionSets(NetworkData& n) {
    int32_t kept = 0;
    for (int32_t i = 1; i <= n.lst(); ++i) {
        if (n.directionSets[i].directions.count() > 1) {
            ++kept;
            if (kept != i) {
                n.directionSets[kept] = std::move(n.directionSets[i]);
            }
        }
    }
    n.directionSets.resize(kept);
}

// Schreiber's angles between every two directions of a set: the weight of the angle
// (i, j) is p(i) p(j) / Σp with p = 1/m², so its mean error is √(Σp) m(i) m(j).
void formSchreiberAngles(NetworkData& n, DiagnosticReport& report) {
    for (const DirectionSet& set : n.directionSets) {
        const Table<Direction>& dirs = set.directions;
        Real weightSum = 0;
        for (const Direction& d : dirs) {
            weightSum += 1 / (d.meanError * d.meanError);
        }
        const Real rootWeightSum = std::sqrt(weightSum);
        for (int32_t i = 1; i < dirs.count(); ++i) {
            for (int32_t j = i + 1; j <= dirs.count(); ++j) {
                if (n.lka() == maxAngles) {
                    report.fatal(cp1250(" *** Liczba kątów (włącznie z kątami Schreibera)> 500000"));
                }
                Angle a;
                a.left = dirs[i].target;
                a.station = set.station;
                a.right = dirs[j].target;
                a.value = dirs[j].value - dirs[i].value;
                if (a.value < 0) {
                    a.value += 400;
                }
                a.meanError = rootWeightSum * dirs[i].meanError * dirs[j].meanError;
                n.angles.append(a);
            }
        }
    }
}

// A point at a station is seen when an earlier angle at that station has it as a target;
// the station gains a link unless both targets were seen, each unseen target one.
void countAngleLinks(NetworkData& n) {
    std::unordered_set<uint64_t> seen;
    seen.reserve(static_cast<size_t>(n.lka()) * 2);
    const auto key = [](int32_t station, int32_t point) {
        return static_cast<uint64_t>(station) << 32 | static_cast<uint64_t>(point);
    };
    for (const Angle& a : n.angles) {
        const bool leftSeen = seen.contains(key(a.station, a.left));
        const bool rightSeen = seen.contains(key(a.station, a.right));
        if (!(leftSeen && rightSeen)) {
            ++n.points[a.station].linkCount;
            n.points[a.left].linkCount += leftSeen ? 0 : 1;
            n.points[a.right].linkCount += rightSeen ? 0 : 1;
        }
        seen.insert(key(a.station, a.left));
        seen.insert(key(a.station, a.right));
    }
}

void completeHeights(NetworkData& n) {
    Real sum = 0;
    int32_t given = 0;
    for (const Point& p : n.points) {
        if (p.h != missingValue) {
            sum += p.h;
            ++given;
        }
    }
    const Real meanHeight = given > 0 ? sum / given : n.parameters.meanHeight;
    for (Point& p : n.points) {
        if (p.h == missingValue) {
            p.h = meanHeight;
        }
    }
}

void writeCountSummary(const NetworkData& n, DiagnosticReport& report) {
    struct Count {
        int32_t value;
        std::string_view label;
    };
    // clang-format off
    const std::array<Count, 13> counts = {{
        {n.lp(),     " lp      punktów sieci"},
        {n.lrsxy,    " lrsxy   liczba pseudoobserwacji współrzędnych"},
        {n.ls,       " ls      stałych punktów nawiązania"},
        {n.lst(),    " lst     stanowisk obserwacji kierunkowych"},
        {n.lki,      " lki     kierunków"},
        {n.lka1,     " lka1    kątów"},
        {n.lka2(),   " lka2    kątów Schreibera (z kierunków)"},
        {n.ld(),     " ld      długości razem"},
        {n.ldk,      " ldk     długości klasycznych"},
        {n.ldgps,    " ldgps   długości - pseudoobserwacji gps"},
        {n.laz(),    " laz     azymutów razem"},
        {n.lazt,     " lazt    azymutów topo"},
        {n.lazgps,   " lazgps  azymutów - pseudoobserwacji gps"},
    }};
    // clang-format on
    for (const Count& c : counts) {
        report.line(integer(c.value, 10) + cp1250(c.label));
    }
}

// The data input's progress: the share of its steps done, reported as each step begins; a
// stop the person asked for takes effect between steps (the longest, the ordering of
// 20 000 points, takes a few tenths of a second).
class InputSteps {
public:
    static constexpr int32_t count = 16;

    explicit InputSteps(RunContext& context)
        : m_context(context) {}
    void next() {
        m_context.checkCancelled();
        m_context.progress(cp1250(phase::readingData), static_cast<double>(m_done) / count);
        ++m_done;
    }
    void finish() {
        assert(m_done == count);
        m_context.progress(cp1250(phase::readingData), 1);
    }

private:
    RunContext& m_context;
    int32_t m_done = 0;
};

void readAllFiles(const fs::path& folder, NetworkData& n, DiagnosticReport& report) {
    InputSteps steps(report.context());
    steps.next();
    report.line(cp1250(" DIAGNOSTYKA WSTĘPNA ZBIORÓW DANYCH"));
    n.title = readTitle(folder, report);
    readParameterFiles(folder, n.parameters, report);

    steps.next();
    ObservedNumbers observed(n.observedNumbers);
    collectObservedNumbers(folder, observed, report);

    steps.next();
    if (const auto lines = inputFile(folder, "xy.sta", report)) {
        readCoordinateFile(*lines, CoordinateFile::Reference, n, report);
    } else if (const auto withHeights = inputFile(folder, "xyh.sta", report)) {
        readCoordinateFile(*withHeights, CoordinateFile::ReferenceWithHeights, n, report);
    } else {
        // Without reference points there is nothing to adjust: the computation stops here,
        // before the engine could overwrite the results of an earlier one.
        report.fatal(cp1250("*** Brak zbioru wspólrzędnych punktów nawiązania"));
    }
    if (const auto lines = inputFile(folder, "xy.prz", report)) {
        readCoordinateFile(*lines, CoordinateFile::Approximate, n, report);
    }
    steps.next();
    arrangePointTable(n, observed, report);
    const PointIndex index(n.points);
    n.parameters.angleMeanError = angleErrorPerDirectionError * n.parameters.directionMeanError;

    steps.next();
    {
        ReportFile carried(folder, "dlugosci.pom", report.context());
        for (const char* name : {"kierunki", "kierunki.mod", "kierunki.ort", "kierunki.gps"}) {
            readObservationFile(folder, name, n, report, [&](const auto& lines) {
                readDirectionFile(lines, n, index, carried, report);
            });
        }
        carried.close();
    }
    const auto angles = [&](ReadMode mode) {
        return [&, mode](const auto& lines) { readAngleFile(lines, mode, n, index, report); };
    };
    const auto distances = [&](ReadMode mode) {
        return [&, mode](const auto& lines) { readDistanceFile(lines, mode, n, index, report); };
    };
    const auto azimuths = [&](const auto& lines) { readAzimuthFile(lines, n, index, report); };
    steps.next();
    readObservationFile(folder, "katy", n, report, angles(ReadMode::Grouped));
    readObservationFile(folder, "katy.b", n, report, angles(ReadMode::Individual));

    steps.next();
    readObservationFile(folder, "dlugosci", n, report, distances(ReadMode::Grouped));
    readObservationFile(folder, "dlugosci.b", n, report, distances(ReadMode::Individual));
    const int32_t beforeCarried = n.ld();
    readObservationFile(folder, "dlugosci.pom", n, report, distances(ReadMode::Grouped));
    n.ldpom = n.ld() - beforeCarried;
    n.ldk = n.ld();
    readObservationFile(folder, "dlugosci.gps", n, report, distances(ReadMode::Individual));
    n.ldgps = n.ld() - n.ldk;

    steps.next();
    readObservationFile(folder, "azymuty", n, report, azimuths);
    n.lazt = n.laz();
    readObservationFile(folder, "azymuty.gps", n, report, azimuths);
    n.lazgps = n.laz() - n.lazt;

    steps.next();
    removeUnobservedPoints(n);
    steps.next();
    checkRepeatedDistances(n, report);
    checkRepeatedAngles(n, report);
    checkRepeatedAzimuths(n, report);
    steps.next();
    mergeRepeatedDirections(n, report);
    dropShortDirectionSets(n);

    steps.next();
    n.lka1 = n.lka();
    formSchreiberAngles(n, report);
    countAngleLinks(n);
    steps.next();
    buildAdjacency(n, report);
    steps.next();
    optimiseOrdering(n, report);

    steps.next();
    if (const auto lines = inputFile(folder, "h.prz", report)) {
        n.heightFileFound = true;
        readHeights(*lines, n, PointIndex(n.points), report);
    }
    completeHeights(n);

    n.lrsxy = 0;
    n.reducedDirectionCount = 0;
    for (const Point& p : n.points) {
        n.lrsxy += (p.mx > 0 ? 1 : 0) + (p.my > 0 ? 1 : 0);
    }
    for (const DirectionSet& set : n.directionSets) {
        n.reducedDirectionCount += set.directions.count() - 1;
    }
    steps.next();
    writeCountSummary(n, report);
    report.close();
    steps.finish();
}

} // namespace

void readNetworkData(const fs::path& folder, NetworkData& n, RunContext& context) {
    n = NetworkData{};
    DiagnosticReport report(folder, context);
    markingInterruption({&report.file()}, [&] { readAllFiles(folder, n, report); });
}

} // namespace ptw3
