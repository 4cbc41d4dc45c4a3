// The command line of ptw3-cli: the working folder and the option controls of
// the main window, given as words or as the window's own entry texts.
#pragma once

#include "solver/arithmetic.h"

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
    std::optional<std::string> systemText; ///< an entry text of the system list
    std::string principleText;             ///< an entry text of the principle list
    std::string modeText;                  ///< an entry text of the mode list
    std::string iterationsText = "4";      ///< passed through the iteration field's rules
    bool accelerate = true;
    bool turbo = true;
    bool extraFiles = true; ///< false with --no-extra-files
    Arithmetic arithmetic = Arithmetic::DoubleDouble;
    int32_t threadCount = 0; ///< 0: one per hardware thread
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
