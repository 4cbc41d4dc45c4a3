#include "interchange/working_folder.h"

#include "common/encoding.h"
#include "common/number_format.h"
#include "common/folder_files.h"
#include "common/text_file.h"
#include "run/uklad.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>
#include <system_error>
#include <unordered_set>

namespace ptw3 {
namespace {

constexpr size_t longestNumber = 16;
constexpr size_t mostDirections = 500;

// Values keep digits well below what the adjustment prints, so that weights and reductions
// carried over from another program change no printed figure (an ellipse's orientation of a
// nearly round ellipse moves with the fourth digit of a mean error).
std::string coordinate(Real v) { return trimmedDecimal(v, 6); }
std::string grads(Real v) { return trimmedDecimal(v, 10); }
std::string metres(Real v) { return trimmedDecimal(v, 7); }
std::string meanErrorMetres(Real v) { return trimmedDecimal(v, 10); }
std::string cc(Real v) { return trimmedDecimal(v, 6); }

class FileText {
public:
    void line(const std::string& utf8) { m_text += cp1250(utf8) + "\r\n"; }
    bool empty() const { return m_text.empty(); }
    std::string take() { return std::move(m_text); }

private:
    std::string m_text;
};

} // namespace

std::vector<WorkingFile> workingFiles(const ImportedNetwork& n, ImportLog& log) {
    std::unordered_set<std::string> known;
    FileText sta, prz, heights;
    // Reference points with their a-priori mean errors (m), 0 0 for error-free fixed ones.
    std::vector<std::pair<std::string, std::pair<Real, Real>>> references;
    for (const ImportedPoint& p : n.points) {
        const std::string where = "punkt " + p.number;
        // The files hold Windows-1250: a character it lacks would turn into "?" and could
        // make two points one.
        const std::optional<std::string> bytes = exactCp1250FromUtf8(p.number);
        if (!bytes || bytes->empty() || bytes->size() > longestNumber || *bytes == "0" ||
            std::any_of(bytes->begin(), bytes->end(),
                        [](char c) { return static_cast<unsigned char>(c) <= ' '; })) {
            log.refused(where, "numer punktu niedozwolony (pusty, 0, ze spacją lub znakiem "
                               "sterującym, ze znakiem spoza Windows-1250 lub dłuższy niż 16 "
                               "znaków)");
            continue;
        }
        if (!known.insert(p.number).second) {
            log.refused(where, "punkt podany drugi raz");
            continue;
        }
        const std::string record = p.number + " " + coordinate(p.x) + " " + coordinate(p.y);
        if (p.reference) {
            references.push_back({record, {p.mx.value_or(0), p.my.value_or(0)}});
        } else {
            prz.line(record);
        }
        if (p.h) {
            heights.line(p.number + " " + metres(*p.h));
        }
    }
    // The error-free fixed points first, then the weighted ones in runs of equal mean errors,
    // each run closed by its group record (0 0 0 closes the fixed ones): the data input
    // brings the error-free points to the front by exchanges, which keeps every point's order
    // only when they stand there already.
    std::optional<std::pair<Real, Real>> run;
    const auto closeRun = [&] {
        if (run) {
            sta.line("0 " + meanErrorMetres(run->first) + " " + meanErrorMetres(run->second));
        }
        run.reset();
    };
    for (const bool errorFree : {true, false}) {
        for (const auto& [record, errors] : references) {
            if ((errors == std::pair<Real, Real>{0, 0}) != errorFree) {
                continue;
            }
            if (run && *run != errors) {
                closeRun();
            }
            run = errors;
            sta.line(record);
        }
    }
    closeRun();
    const auto knows = [&](const std::string& number) { return known.contains(number); };

    FileText sets;
    for (const ImportedSet& s : n.sets) {
        const std::string where = "stanowisko " + s.station;
        if (!knows(s.station)) {
            log.refused(where, "zestaw kierunków ze stanowiska spoza sieci");
            continue;
        }
        std::vector<const ImportedDirection*> kept;
        for (const ImportedDirection& d : s.directions) {
            if (knows(d.target)) {
                kept.push_back(&d);
            } else {
                log.refused(where + " - " + d.target, "kierunek do punktu spoza sieci");
            }
        }
        if (kept.size() < 2 || kept.size() > mostDirections) {
            log.refused(where, "zestaw z " + std::to_string(kept.size()) +
                                   " kierunkami (dozwolone od 2 do 500)");
            continue;
        }
        sets.line(s.station + " 11");
        for (const ImportedDirection* d : kept) {
            sets.line(d->target + " " + grads(d->valueGrad) + " " + cc(d->meanErrorCc));
        }
        sets.line("0");
    }
    FileText angles;
    for (const ImportedAngle& a : n.angles) {
        if (!knows(a.left) || !knows(a.station) || !knows(a.right)) {
            log.refused("kąt " + a.left + " " + a.station + " " + a.right,
                        "kąt z punktem spoza sieci");
            continue;
        }
        angles.line(a.left + " " + a.station + " " + a.right + " " + grads(a.valueGrad) + " " +
                    cc(a.meanErrorCc));
    }
    FileText distances;
    for (const ImportedLine& d : n.distances) {
        if (!knows(d.from) || !knows(d.to)) {
            log.refused("długość " + d.from + " - " + d.to, "długość z punktem spoza sieci");
            continue;
        }
        distances.line(d.from + " " + d.to + " " + metres(d.value) + " " +
                       meanErrorMetres(d.meanError));
    }
    FileText azimuths;
    for (const ImportedLine& a : n.azimuths) {
        if (!knows(a.from) || !knows(a.to)) {
            log.refused("azymut " + a.from + " - " + a.to, "azymut z punktem spoza sieci");
            continue;
        }
        azimuths.line(a.from + " " + a.to + " " + grads(a.value) + " " + cc(a.meanError));
    }

    std::vector<WorkingFile> files;
    const auto add = [&](const char* name, FileText& text) {
        if (!text.empty()) {
            files.push_back({name, text.take()});
        }
    };
    add("XY.sta", sta);
    add("XY.prz", prz);
    add("H.prz", heights);
    add("KIERUNKI", sets);
    add("KATY.b", angles);
    add("DLUGOSCI.b", distances);
    add("AZYMUTY", azimuths);
    // The values are written in grads whatever the folder's measure was.
    files.push_back({"LIMBUS", "400 10\r\n"});
    if (n.system) {
        files.push_back({"uklad", ukladText(*n.system)});
    }
    if (!n.title.empty()) {
        FileText title;
        for (const std::string& line : n.title) {
            title.line(line);
        }
        files.push_back({"tytul", title.take()});
    }
    return files;
}

std::vector<std::string> existingFiles(const std::filesystem::path& folder,
                                       const std::vector<WorkingFile>& files) {
    std::vector<std::string> existing;
    for (const WorkingFile& f : files) {
        if (findFileNoCase(folder, f.name)) {
            existing.push_back(f.name);
        }
    }
    return existing;
}

std::vector<std::string> writeWorkingFiles(const std::filesystem::path& folder,
                                           const std::vector<WorkingFile>& files) {
    std::vector<std::string> failed;
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    for (const WorkingFile& f : files) {
        if (replaceFile(folder, f.name, f.bytes) != 0) {
            failed.push_back(f.name);
        }
    }
    return failed;
}

} // namespace ptw3
