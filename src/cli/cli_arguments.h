// The command line of ptw3-cli: the working folder and the choices of a computation, given
// as words (or as the entry texts of the window's lists) and mapped straight to the typed
// choices of the run.
#pragma once

#include "run/calculation_run.h"

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace ptw3 {

/// Exit statuses of ptw3-cli.
enum ExitStatus : int {
    exitFinished = 0,      ///< the computation ran to its summary
    exitInternalError = 1, ///< an unexpected failure inside the program
    exitUsage = 2,         ///< wrong command line
    exitFatalInput = 3,    ///< a fatal input error, or a report not written in full, stopped it
    exitDeclined = 4,      ///< the answer No to "Czy chcesz liczyć dalej?" stopped it
};

enum class AnswerMode { Ask, Yes, No };

struct CliArguments {
    bool help = false;
    std::optional<std::string> folder;
    /// Without --system the system stays empty: the folder's uklad decides.
    RunChoices choices;
    AnswerMode answers = AnswerMode::Ask;
};

struct UsageError {
    std::string message;
};

/// Parses the arguments after the program name.
std::variant<CliArguments, UsageError> parseCliArguments(const std::vector<std::string>& args);

/// The --help text.
std::string cliHelp();

} // namespace ptw3
