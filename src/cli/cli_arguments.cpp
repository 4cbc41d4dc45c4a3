#include "cli/cli_arguments.h"

#include "common/number_parse.h"
#include "run/calculation_run.h"
#include "run/coordinate_systems.h"

#include <array>
#include <charconv>
#include <string_view>

namespace ptw3 {
namespace {

/// More threads than this is a typing error, not a machine.
constexpr int32_t maxThreads = 1024;

struct Word {
    std::string_view word;
    size_t entry;
};

constexpr std::array<Word, 4> principleWords = {{
    {"lsq", 0}, {"robust-d", 1}, {"robust-k", 2}, {"robust-dk", 3}}};
constexpr std::array<Word, 2> modeWords = {{{"full", 0}, {"approx", 1}}};

template <class Entries, class Words>
std::optional<std::string> listText(std::string_view value, const Entries& entries,
                                    const Words& words) {
    for (const Word& w : words) {
        if (value == w.word) {
            return std::string(entries[w.entry].text);
        }
    }
    for (const auto& e : entries) {
        if (value == e.text) {
            return std::string(e.text);
        }
    }
    return std::nullopt;
}

// "2000:18" or an entry text.
std::optional<std::string> systemText(std::string_view value) {
    if (const auto entry = entryByText(value)) {
        return std::string(value);
    }
    const size_t colon = value.find(':');
    if (colon == std::string_view::npos) {
        return std::nullopt;
    }
    const auto system = parseInteger(value.substr(0, colon));
    const auto zone = parseInteger(value.substr(colon + 1));
    if (!system || !zone) {
        return std::nullopt;
    }
    if (const auto entry = entryBySystemZone(*system, *zone)) {
        return std::string(coordinateSystemEntries[static_cast<size_t>(*entry)].text);
    }
    return std::nullopt;
}

} // namespace

std::variant<CliArguments, UsageError> parseCliArguments(const std::vector<std::string>& args) {
    CliArguments parsed;
    parsed.principleText = std::string(principleEntries[0].text);
    parsed.modeText = std::string(modeEntries[0].text);
    bool answerGiven = false;
    bool optionsEnded = false;

    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            if (parsed.folder) {
                return UsageError{"more than one working folder given: " + arg};
            }
            parsed.folder = arg;
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::optional<std::string> inlineValue;
        if (const size_t equals = arg.find('='); arg.starts_with("--") && equals != std::string::npos) {
            inlineValue = arg.substr(equals + 1);
            arg.resize(equals);
        }
        const auto value = [&]() -> std::optional<std::string> {
            if (inlineValue) {
                return inlineValue;
            }
            if (i + 1 < args.size()) {
                return args[++i];
            }
            return std::nullopt;
        };
        const auto flag = [&]() { return !inlineValue; };

        if (arg == "--help" || arg == "-h") {
            parsed.help = true;
        } else if ((arg == "--yes" || arg == "--no") && flag()) {
            const AnswerMode mode = arg == "--yes" ? AnswerMode::Yes : AnswerMode::No;
            if (answerGiven && parsed.answers != mode) {
                return UsageError{"--yes and --no exclude each other"};
            }
            parsed.answers = mode;
            answerGiven = true;
        } else if (arg == "--no-extra-files" && flag()) {
            parsed.extraFiles = false;
        } else if (arg == "--system" || arg == "--principle" || arg == "--mode" ||
                   arg == "--iterations" || arg == "--acceleration" || arg == "--arithmetic" ||
                   arg == "--threads") {
            const auto v = value();
            if (!v) {
                return UsageError{arg + " needs a value"};
            }
            if (arg == "--system") {
                parsed.systemText = systemText(*v);
                if (!parsed.systemText) {
                    return UsageError{"unknown coordinate system: \"" + *v + "\""};
                }
            } else if (arg == "--principle") {
                const auto text = listText(*v, principleEntries, principleWords);
                if (!text) {
                    return UsageError{"unknown adjustment principle: \"" + *v + "\""};
                }
                parsed.principleText = *text;
            } else if (arg == "--mode") {
                const auto text = listText(*v, modeEntries, modeWords);
                if (!text) {
                    return UsageError{"unknown analysis mode: \"" + *v + "\""};
                }
                parsed.modeText = *text;
            } else if (arg == "--threads") {
                int32_t threads = -1;
                const auto [end, error] = std::from_chars(v->data(), v->data() + v->size(), threads);
                if (error != std::errc() || end != v->data() + v->size() || threads < 0 ||
                    threads > maxThreads) {
                    return UsageError{"--threads takes a whole number from 0 to " +
                                      std::to_string(maxThreads) + ": \"" + *v + "\""};
                }
                parsed.threadCount = threads;
            } else if (arg == "--arithmetic") {
                if (*v != "double-double" && *v != "extended") {
                    return UsageError{"unknown arithmetic: \"" + *v + "\""};
                }
                parsed.arithmetic =
                    *v == "extended" ? Arithmetic::Extended : Arithmetic::DoubleDouble;
            } else if (arg == "--iterations") {
                parsed.iterationsText = *v;
            } else if (*v == "none" || *v == "standard" || *v == "turbo") {
                parsed.accelerate = *v != "none";
                parsed.turbo = *v == "turbo";
            } else {
                return UsageError{"unknown acceleration level: \"" + *v + "\""};
            }
        } else {
            return UsageError{"unknown option: " + args[i]};
        }
    }
    return parsed;
}

std::string cliHelp() {
    std::string help = R"HELP(Usage: ptw3-cli [OPTIONS] [FOLDER]

Adjusts the horizontal control network kept in the working folder, exactly as the
desktop program's "OBLICZAJ " button does, and writes the reports ER3a.ptw, RPW.ptw,
ER3.ptw, XY.ptw and DXDY.ptw into that folder, with the results for scripts and GIS and
a sketch of the network beside them (see --no-extra-files).

  FOLDER                  working folder (default: the one tarvel.ini beside the program
                          names in section [General], key path; else the current directory)
  --system TEXT           an entry text of the coordinate-system list, or codes S:Z
                          ("2000:18", "1965:3", "0:0"); default: restored from the folder's
                          uklad file, else "Lokalny (bez redukcji)". The run rewrites uklad
                          with the system only when the folder already has one.
  --principle TEXT        lsq | robust-d | robust-k | robust-dk, or an entry text of the
                          principle list (default "STANDARD MNK")
  --mode TEXT             full | approx, or an entry text of the mode list
                          (default "PEŁNY  [standard]")
  --iterations TEXT       the iteration field, with its rules: not an integer gives 4,
                          1 or less gives 2, 8361 gives 4 with a finer analysis threshold
                          (default "4")
  --acceleration LEVEL    none | standard | turbo (default turbo); every level computes
                          the exact accuracy figures
  --arithmetic KIND       double-double | extended: the arithmetic of the solution of the
                          normal equations and of the accuracy analysis (default
                          double-double: about 32 digits on the vector units; extended:
                          the 80-bit type, about 19 digits, several times slower)
  --threads N             threads of the solution and the accuracy analysis (default 0: one
                          per processor); the reports do not depend on it
  --no-extra-files        write only the reports; without it the run also writes
                          wyniki.json, punkty.csv, obserwacje.csv and siec.svg (UTF-8)
  --yes | --no            answer every question "... Czy chcesz liczyć dalej?" so; without
                          either, ask at the terminal (t = Tak/yes, n = Nie/no), or answer No
                          when standard input is not a terminal
  --help                  this text

Coordinate systems (S:Z and entry text):
)HELP";
    for (const CoordinateSystemEntry& e : coordinateSystemEntries) {
        const std::string codes = std::to_string(e.system) + ":" + std::to_string(e.zone);
        help += "  " + codes + std::string(codes.size() < 10 ? 10 - codes.size() : 1, ' ') +
                "\"" + std::string(e.text) + "\"\n";
    }
    help += R"HELP(
Principles:  lsq "STANDARD MNK", robust-d "EST. MOCNA dla  Długości  [D]",
             robust-k "EST. MOCNA dla  Kątów [K]    ", robust-dk "EST. MOCNA dla  [D] + [K]"
Modes:       full "PEŁNY  [standard]", approx "z przybliżoną oceną Mv  "

Output: each line of the message list on standard output as it is written (UTF-8);
questions and information boxes on standard error.

Exit status:
  0  the computation finished (" KONIEC OBLICZEŃ:" was written)
  1  an unexpected internal failure
  2  wrong usage
  3  a fatal input error stopped the computation (see ER3a.ptw), or a report could
     not be written in full (the message names the file and the reason)
  4  the answer No to "Czy chcesz liczyć dalej?" stopped the computation
)HELP";
    return help;
}

} // namespace ptw3
