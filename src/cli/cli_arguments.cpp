#include "cli/cli_arguments.h"

#include "common/number_parse.h"
#include "run/coordinate_systems.h"
#include "run/option_lists.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <string_view>

namespace ptw3 {
namespace {

/// More threads than this is a typing error, not a machine.
constexpr int32_t maxThreads = 1024;
/// More data-snooping steps than this would re-adjust the network for hours.
constexpr int32_t maxSnoopingSteps = 1000;
/// More proposals than this is no plan a person reads through.
constexpr int32_t maxAdvisorBudget = 1000;

template <class Value> struct Word {
    std::string_view word;
    Value value;
};

constexpr std::array<Word<AdjustmentPrinciple>, 4> principleWords = {{
    {"lsq", AdjustmentPrinciple::LeastSquares},
    {"robust-d", AdjustmentPrinciple::RobustDistances},
    {"robust-k", AdjustmentPrinciple::RobustAngles},
    {"robust-dk", AdjustmentPrinciple::RobustDistancesAndAngles},
}};
constexpr std::array<Word<AnalysisMode>, 2> modeWords = {{
    {"full", AnalysisMode::Full},
    {"approx", AnalysisMode::Approximate},
}};
constexpr std::array<Word<AccelerationLevel>, 3> accelerationWords = {{
    {"none", AccelerationLevel::None},
    {"standard", AccelerationLevel::Standard},
    {"turbo", AccelerationLevel::Turbo},
}};
constexpr std::array<Word<Arithmetic>, 2> arithmeticWords = {{
    {"double-double", Arithmetic::DoubleDouble},
    {"extended", Arithmetic::Extended},
}};
constexpr std::array<Word<Real>, 2> mpLimitWords = {{
    {"detailed", detailedControlLimit},
    {"survey", surveyControlLimit},
}};

template <class Value, size_t N>
std::optional<Value> byWord(const std::array<Word<Value>, N>& words, std::string_view value) {
    for (const Word<Value>& w : words) {
        if (value == w.word) {
            return w.value;
        }
    }
    return std::nullopt;
}

// "2000:18" or an entry text of the system list.
std::optional<SystemZone> systemOf(std::string_view value) {
    if (const auto entry = entryByText(value)) {
        return coordinateSystemEntries[static_cast<size_t>(*entry)].system;
    }
    const size_t colon = value.find(':');
    if (colon == std::string_view::npos) {
        return std::nullopt;
    }
    const auto number = parseInteger(value.substr(0, colon));
    const auto zone = parseInteger(value.substr(colon + 1));
    if (!number || !zone) {
        return std::nullopt;
    }
    const auto system = systemByNumber(*number);
    if (!system || !entryBySystemZone({*system, *zone})) {
        return std::nullopt;
    }
    return SystemZone{*system, *zone};
}

/// A whole number from first to last, as written (no sign but "-", no blanks).
std::optional<int32_t> integerIn(std::string_view text, int32_t first, int32_t last) {
    int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < first ||
        value > last) {
        return std::nullopt;
    }
    return value;
}

/// A positive finite decimal number in the number form of the input files.
std::optional<Real> positiveReal(std::string_view text) {
    const auto value = parseReal(text);
    if (!value || !(*value > 0) || !std::isfinite(*value)) {
        return std::nullopt;
    }
    return value;
}

/// A number strictly between 0 and 1, in the number form of the input files.
std::optional<Real> fraction(std::string_view text) {
    const auto value = parseReal(text);
    if (!value || !(*value > 0) || !(*value < 1)) {
        return std::nullopt;
    }
    return value;
}

/// "distance", "direction" or both, separated by a comma: which kinds of candidates the
/// advisor generates.
bool candidateKindsOf(std::string_view text, PlanOptions& plan) {
    plan.candidateDistances = plan.candidateDirections = false;
    while (true) {
        const size_t comma = text.find(',');
        const std::string_view word = text.substr(0, comma);
        if (word == "distance") {
            plan.candidateDistances = true;
        } else if (word == "direction") {
            plan.candidateDirections = true;
        } else {
            return false;
        }
        if (comma == std::string_view::npos) {
            return true;
        }
        text.remove_prefix(comma + 1);
    }
}

/// The options of the pre-analysis that only mean something beside another one: the first
/// given without the one it needs, with that one.
std::optional<UsageError> planDependencies(const std::vector<std::string>& given) {
    const auto has = [&](std::string_view option) {
        return std::find(given.begin(), given.end(), option) != given.end();
    };
    struct Needs {
        std::string_view option, needed;
    };
    constexpr Needs needs[] = {
        {"--advise", "--pre-analysis"},
        {"--candidates-within", "--advise"},
        {"--advisor-budget", "--advise"},
        {"--advisor-min-redundancy", "--advise"},
        {"--candidate-kinds", "--candidates-within"},
        {"--candidate-distance-error", "--candidates-within"},
        {"--candidate-direction-error", "--candidates-within"},
    };
    for (const Needs& n : needs) {
        if (has(n.option) && !has(n.needed)) {
            return UsageError{std::string(n.option) + " needs " + std::string(n.needed)};
        }
    }
    return std::nullopt;
}

} // namespace

std::variant<CliArguments, UsageError> parseCliArguments(const std::vector<std::string>& args) {
    CliArguments parsed;
    RunChoices& choices = parsed.choices;
    choices.principle = AdjustmentPrinciple::LeastSquares;
    choices.analysisMode = AnalysisMode::Full;
    bool answerGiven = false;
    bool optionsEnded = false;
    std::vector<std::string> planOptionsGiven;

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
        if (const size_t equals = arg.find('=');
            arg.starts_with("--") && equals != std::string::npos) {
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
            choices.extraFiles = false;
        } else if (arg == "--no-control" && flag()) {
            choices.control = false;
        } else if (arg == "--pre-analysis" && flag()) {
            choices.preAnalysis = true;
            planOptionsGiven.push_back(arg);
        } else if (arg == "--advise" && flag()) {
            choices.plan.advise = true;
            planOptionsGiven.push_back(arg);
        } else if (arg == "--system" || arg == "--principle" || arg == "--mode" ||
                   arg == "--iterations" || arg == "--acceleration" || arg == "--arithmetic" ||
                   arg == "--threads" || arg == "--snooping-critical" ||
                   arg == "--snooping-steps" || arg == "--mp-limit" ||
                   arg == "--candidates-within" || arg == "--candidate-kinds" ||
                   arg == "--candidate-distance-error" || arg == "--candidate-direction-error" ||
                   arg == "--advisor-budget" || arg == "--advisor-min-redundancy") {
            const auto v = value();
            if (!v) {
                return UsageError{arg + " needs a value"};
            }
            planOptionsGiven.push_back(arg);
            PlanOptions& plan = choices.plan;
            if (arg == "--candidates-within" || arg == "--candidate-distance-error" ||
                arg == "--candidate-direction-error") {
                const auto number = positiveReal(*v);
                if (!number) {
                    return UsageError{arg + " takes a positive number: \"" + *v + "\""};
                }
                if (arg == "--candidates-within") {
                    plan.candidatesWithin = *number;
                } else if (arg == "--candidate-distance-error") {
                    plan.candidateDistanceError = *number;
                } else {
                    plan.candidateDirectionError = *number;
                }
            } else if (arg == "--candidate-kinds") {
                if (!candidateKindsOf(*v, plan)) {
                    return UsageError{"--candidate-kinds takes distance, direction or both "
                                      "separated by a comma: \"" + *v + "\""};
                }
            } else if (arg == "--advisor-budget") {
                const auto budget = integerIn(*v, 1, maxAdvisorBudget);
                if (!budget) {
                    return UsageError{"--advisor-budget takes a whole number from 1 to " +
                                      std::to_string(maxAdvisorBudget) + ": \"" + *v + "\""};
                }
                plan.advisorBudget = *budget;
            } else if (arg == "--advisor-min-redundancy") {
                const auto r = fraction(*v);
                if (!r) {
                    return UsageError{"--advisor-min-redundancy takes a number between 0 and 1: "
                                      "\"" + *v + "\""};
                }
                plan.minRedundancy = *r;
            } else if (arg == "--system") {
                choices.system = systemOf(*v);
                if (!choices.system) {
                    return UsageError{"unknown coordinate system: \"" + *v + "\""};
                }
            } else if (arg == "--principle") {
                choices.principle = byWord(principleWords, *v);
                if (!choices.principle) {
                    choices.principle = principleByText(*v);
                }
                if (!choices.principle) {
                    return UsageError{"unknown adjustment principle: \"" + *v + "\""};
                }
            } else if (arg == "--mode") {
                choices.analysisMode = byWord(modeWords, *v);
                if (!choices.analysisMode) {
                    choices.analysisMode = modeByText(*v);
                }
                if (!choices.analysisMode) {
                    return UsageError{"unknown analysis mode: \"" + *v + "\""};
                }
            } else if (arg == "--threads") {
                const auto threads = integerIn(*v, 0, maxThreads);
                if (!threads) {
                    return UsageError{"--threads takes a whole number from 0 to " +
                                      std::to_string(maxThreads) + ": \"" + *v + "\""};
                }
                choices.threadCount = *threads;
            } else if (arg == "--snooping-steps") {
                const auto steps = integerIn(*v, 0, maxSnoopingSteps);
                if (!steps) {
                    return UsageError{"--snooping-steps takes a whole number from 0 to " +
                                      std::to_string(maxSnoopingSteps) + ": \"" + *v + "\""};
                }
                choices.controlOptions.snoopingSteps = *steps;
            } else if (arg == "--snooping-critical") {
                const auto critical = positiveReal(*v);
                if (!critical) {
                    return UsageError{"--snooping-critical takes a positive number: \"" + *v +
                                      "\""};
                }
                choices.controlOptions.snoopingCritical = *critical;
            } else if (arg == "--mp-limit") {
                auto limit = byWord(mpLimitWords, *v);
                if (!limit) {
                    limit = positiveReal(*v);
                }
                if (!limit) {
                    return UsageError{"--mp-limit takes a positive number of metres, detailed "
                                      "or survey: \"" + *v + "\""};
                }
                choices.controlOptions.mpLimit = *limit;
                choices.plan.mpLimit = *limit;
            } else if (arg == "--arithmetic") {
                const auto arithmetic = byWord(arithmeticWords, *v);
                if (!arithmetic) {
                    return UsageError{"unknown arithmetic: \"" + *v + "\""};
                }
                choices.arithmetic = *arithmetic;
            } else if (arg == "--iterations") {
                const IterationChoice iterations = interpretIterationField(*v);
                choices.iterationCount = iterations.iterationCount;
                choices.accelerationBoost = iterations.accelerationBoost;
            } else if (const auto level = byWord(accelerationWords, *v)) {
                choices.acceleration = *level;
            } else {
                return UsageError{"unknown acceleration level: \"" + *v + "\""};
            }
        } else {
            return UsageError{"unknown option: " + args[i]};
        }
    }
    if (auto error = planDependencies(planOptionsGiven)) {
        return std::move(*error);
    }
    return parsed;
}

std::string cliHelp() {
    std::string help = R"HELP(Usage: ptw3-cli [OPTIONS] [FOLDER]

Adjusts the horizontal control network kept in the working folder, exactly as the
desktop program's "OBLICZAJ " button does, and writes the reports ER3a.ptw, RPW.ptw,
ER3.ptw, XY.ptw and DXDY.ptw into that folder, tests the adjustment in KONTROLA.ptw (see
--no-control), and writes the results for scripts and GIS and a sketch of the network
beside them (see --no-extra-files). With --pre-analysis it plans the network instead and
writes PROJEKT.ptw.

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
                          double-double: about 32 digits on the vector units, a
                          supernodal factorisation over a nested-dissection ordering;
                          extended: the 80-bit type, about 19 digits, in the profile of
                          the Cuthill-McKee ordering, many times slower)
  --threads N             threads of the solution, the accuracy analysis and the quality
                          control (default 0: one per processor); the reports do not depend
                          on it
  --no-extra-files        write only the reports; without it the run also writes
                          wyniki.json, punkty.csv, obserwacje.csv, siec.svg, siec.gpkg,
                          siec.dxf and linie.csv (UTF-8)
  --no-control            leave out the quality control after the adjustment: no
                          KONTROLA.ptw, no linie.csv, no verdict lines, obserwacje.csv
                          without its snooping column
  --snooping-critical X   data snooping takes out the observation with the largest |w|
                          while that exceeds X (default 3.29, alpha = 0.001)
  --snooping-steps N      at most N observations taken out, 0 to 1000 (default 10)
  --mp-limit X            the accuracy standard: the largest mean position error Mp in
                          metres, or detailed (0.05) or survey (0.10) (default detailed), of
                          the quality control and of the pre-analysis
  --pre-analysis          plan a network instead of adjusting it: the observations of the
                          folder (their values may be placeholders) take the values the
                          approximate coordinates give, and PROJEKT.ptw gives the expected
                          accuracy of the points (unit error 1), the reliability of the
                          observations, the lines and the accuracy standard; no RPW.ptw,
                          ER3.ptw, ER3a.ptw, XY.ptw or DXDY.ptw is left
  --advise                with --pre-analysis: the design advisor proposes observations to
                          add, the best first, until every point meets the standard and has
                          control; candidates from the folder's file KANDYDACI (lines
                          "D|K from to value mean-error", D a distance in m, K a direction in
                          cc from the station of a set) and those of --candidates-within
  --candidates-within M   with --advise: every pair of points at most M metres apart that no
                          observation joins is a candidate too
  --candidate-kinds LIST  distance, direction or distance,direction (default both): the
                          kinds of the generated candidates
  --candidate-distance-error M    mean error of a generated distance (default 0.005 m)
  --candidate-direction-error CC  mean error of a generated direction (default 10 cc)
  --advisor-budget N      at most N proposals, 1 to 1000 (default 50)
  --advisor-min-redundancy R      a second goal: every observation's redundancy number r at
                          least R, 0 < R < 1
  --yes | --no            answer every question "... Czy chcesz liczyć dalej?" so; without
                          either, ask at the terminal (t = Tak/yes, n = Nie/no), or answer No
                          when standard input is not a terminal
  --help                  this text

Coordinate systems (S:Z and entry text):
)HELP";
    for (const CoordinateSystemEntry& e : coordinateSystemEntries) {
        const std::string codes =
            std::to_string(systemNumber(e.system.system)) + ":" + std::to_string(e.system.zone);
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
