#include "interchange/import.h"

#include "common/encoding.h"
#include "common/text_file.h"
#include "interchange/working_folder.h"

#include <algorithm>
#include <cstdio>
#include <system_error>

namespace ptw3 {
namespace {

constexpr uintmax_t largestSource = 512u << 20; // bytes

std::string_view formatTitle(ImportFormat f) {
    switch (f) {
    case ImportFormat::Gsi: return "Leica GSI";
    case ImportFormat::LandXml: return "LandXML 1.2";
    case ImportFormat::Gama: return "GNU Gama (XML, sieć lokalna)";
    }
    return "";
}

std::string padded(std::string text, size_t width) {
    // Widths count characters of the UTF-8 text, not its bytes.
    size_t characters = 0;
    for (const char c : text) {
        characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    }
    if (characters < width) {
        text.append(width - characters, ' ');
    }
    return text;
}

} // namespace

std::optional<ImportFormat> importFormatNamed(std::string_view name) {
    if (name == "gsi") {
        return ImportFormat::Gsi;
    }
    if (name == "landxml") {
        return ImportFormat::LandXml;
    }
    if (name == "gama") {
        return ImportFormat::Gama;
    }
    return std::nullopt;
}

std::optional<ImportFormat> detectImportFormat(std::string_view content) {
    const size_t start = content.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
    if (start == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view head = content.substr(start, 4096);
    if (head.front() == '<') {
        if (head.find("<LandXML") != std::string_view::npos) {
            return ImportFormat::LandXml;
        }
        if (head.find("<gama-local") != std::string_view::npos ||
            head.find("<gama-xml") != std::string_view::npos) {
            return ImportFormat::Gama;
        }
        return std::nullopt;
    }
    // A GSI block starts with the point word 11 (GSI-8) or *11 (GSI-16), or 41 (codes).
    const std::string_view word = head.front() == '*' ? head.substr(1) : head;
    if (word.size() >= 7 && (word.starts_with("11") || word.starts_with("41")) &&
        word.find_first_not_of("0123456789.", 0) >= 2) {
        return ImportFormat::Gsi;
    }
    return std::nullopt;
}

std::string importReportText(const ImportRequest& request, ImportFormat format,
                             const ImportLog& log, const std::vector<std::string>& written,
                             const ImportedNetwork& network, const LocalDateTime& now) {
    std::string text;
    const auto line = [&](const std::string& utf8) { text += cp1250(utf8) + "\r\n"; };
    char date[32];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d %02d:%02d:%02d", now.year, now.month,
                  now.day, now.hour, now.minute, now.second);
    const std::string rule(95, '-');
    line(" ");
    line("  IMPORT DANYCH DO FOLDERU ROBOCZEGO");
    line("  " + rule);
    line("  Data importu:     " + std::string(date));
    line("  Plik źródłowy:    " + request.source.string());
    line("  Format:           " + std::string(formatTitle(format)));
    line("  Folder roboczy:   " + request.folder.string());
    line("  " + rule);
    line("  Rekord źródła                    Wynik");
    line("  " + rule);
    int32_t refused = 0;
    for (const ImportRecord& r : log.records) {
        refused += r.refused ? 1 : 0;
        line("  " + padded(r.where, 32) + " " + (r.refused ? "ODRZUCONY: " : "") + r.text);
    }
    line("  " + rule);
    size_t directions = 0;
    for (const ImportedSet& s : network.sets) {
        directions += s.directions.size();
    }
    const auto count = [&](const char* label, size_t n) {
        char number[16];
        std::snprintf(number, sizeof number, "%10zu", n);
        line("  " + padded(label, 40) + number);
    };
    count("Rekordy przyjęte", log.records.size() - static_cast<size_t>(refused));
    count("Rekordy odrzucone", static_cast<size_t>(refused));
    count("Punkty", network.points.size());
    count("Zestawy kierunków", network.sets.size());
    count("Kierunki", directions);
    count("Kąty", network.angles.size());
    count("Długości", network.distances.size());
    count("Azymuty", network.azimuths.size());
    std::string files;
    for (const std::string& name : written) {
        files += (files.empty() ? "" : ", ") + name;
    }
    line("  Zapisane pliki: " + (files.empty() ? std::string("brak") : files));
    line("  " + rule);
    return text;
}

ImportOutcome importIntoFolder(const ImportRequest& request, const LocalDateTime& now) {
    ImportOutcome outcome;
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(request.source, error);
    if (error) {
        outcome.error = "nie można odczytać pliku " + request.source.string();
        return outcome;
    }
    if (size > largestSource) {
        outcome.error = "plik " + request.source.string() + " jest za duży (ponad 512 MB)";
        return outcome;
    }
    const std::optional<std::string> bytes = readFileBytes(request.source);
    if (!bytes) {
        outcome.error = "nie można odczytać pliku " + request.source.string();
        return outcome;
    }
    outcome.format = request.format ? request.format : detectImportFormat(*bytes);
    if (!outcome.format) {
        outcome.error = "nie rozpoznano formatu pliku " + request.source.string() +
                        " (podaj --format gsi, landxml lub gama)";
        return outcome;
    }
    ImportLog log;
    ImportedNetwork network;
    switch (*outcome.format) {
    case ImportFormat::Gsi: network = readGsi(*bytes, request.profile, log); break;
    case ImportFormat::LandXml: network = readLandXml(*bytes, request.profile, log); break;
    case ImportFormat::Gama: network = readGamaXml(*bytes, log); break;
    }
    // A source without a point gives no working folder, only the report of why.
    std::vector<WorkingFile> files;
    if (!network.points.empty()) {
        files = workingFiles(network, log);
    }
    if (!request.overwrite) {
        outcome.existing = existingFiles(request.folder, files);
        if (!outcome.existing.empty()) {
            return outcome;
        }
    }
    for (const ImportRecord& r : log.records) {
        (r.refused ? outcome.refused : outcome.taken) += 1;
    }
    std::vector<std::string> names;
    for (const WorkingFile& f : files) {
        names.push_back(f.name);
    }
    const std::vector<std::string> failed = writeWorkingFiles(request.folder, files);
    for (const std::string& name : names) {
        if (std::find(failed.begin(), failed.end(), name) == failed.end()) {
            outcome.written.push_back(name);
        }
    }
    const std::string report =
        importReportText(request, *outcome.format, log, outcome.written, network, now);
    if (replaceFile(request.folder, importReportFile, report) == 0) {
        outcome.written.emplace_back(importReportFile);
    } else {
        outcome.error = "nie zapisano raportu " + std::string(importReportFile);
    }
    if (!failed.empty()) {
        outcome.error = "nie zapisano pliku " + failed.front();
    } else if (files.empty() && outcome.error.empty()) {
        outcome.error = "w pliku nie ma punktów: nie zapisano plików roboczych (zob. " +
                        std::string(importReportFile) + ")";
    }
    return outcome;
}

} // namespace ptw3
