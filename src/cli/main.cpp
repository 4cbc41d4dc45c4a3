// ptw3-cli: the computation of the desktop program without its window.

#include "cli/cli_arguments.h"
#include "cli/interchange_commands.h"
#include "cli/terminal_interaction.h"
#include "common/clock.h"
#include "common/run_context.h"
#include "common/stop.h"
#include "run/calculation_run.h"
#include "run/folder_memory.h"
#include "run/working_folder.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace ptw3;

namespace {

int run(const CliArguments& args) {
    std::error_code error;
    const fs::path startFolder = fs::current_path(error);
    const fs::path folder =
        args.folder ? fs::path(*args.folder)
                    : readWorkingFolder({programFolder(), userSettingsFolder()}, startFolder);
    if (!fs::is_directory(folder, error)) {
        std::fprintf(stderr, "ptw3-cli: warning: the working folder %s does not exist\n",
                     folder.c_str());
    }

    ProgramState state;
    useWorkingFolder(state, folder);
    std::fprintf(stderr, "%s\n", workingFolderStatus(folder).c_str());

    TerminalInteraction user(args.answers, stdout, stderr, stdin, isatty(fileno(stderr)) == 1);
    SystemClock clock;
    RunContext context(state.messages, user, clock);
    try {
        runCalculation(state, args.choices, context);
    } catch (const Stop& stop) {
        switch (stop.reason()) {
        case StopReason::FatalInput:
            std::fprintf(stderr, "ptw3-cli: computation stopped by a fatal input error\n");
            return exitFatalInput;
        case StopReason::UserDeclined:
            std::fprintf(stderr, "ptw3-cli: computation stopped by the answer No\n");
            return exitDeclined;
        case StopReason::WriteFailed:
            std::fprintf(stderr, "ptw3-cli: computation stopped: a report could not be written "
                                 "in full\n");
            return exitFatalInput;
        case StopReason::Abandoned: // the console never asks a computation to stop
        case StopReason::Interrupted:
            std::fprintf(stderr, "ptw3-cli: computation abandoned\n");
            return exitInternalError;
        }
        return exitInternalError;
    }
    return exitFinished;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    try {
        if (const std::optional<int> done = runInterchangeCommand(arguments)) {
            return *done;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ptw3-cli: internal error: %s\n", e.what());
        return exitInternalError;
    }
    const auto parsed = parseCliArguments(arguments);
    if (const auto* usage = std::get_if<UsageError>(&parsed)) {
        std::fprintf(stderr, "ptw3-cli: %s\nTry 'ptw3-cli --help'.\n", usage->message.c_str());
        return exitUsage;
    }
    const auto& args = std::get<CliArguments>(parsed);
    if (args.help) {
        std::fputs((cliHelp() + interchangeHelp()).c_str(), stdout);
        return exitFinished;
    }
    try {
        return run(args);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ptw3-cli: internal error: %s\n", e.what());
        return exitInternalError;
    }
}
