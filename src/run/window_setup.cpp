#include "run/window_setup.h"

#include "run/uklad.h"

namespace ptw3 {

WindowSetup setUpWindow(ProgramState& state, const std::filesystem::path& workingFolder) {
    WindowSetup setup;
    CalculationOptions& options = state.options;
    options.workingFolder = workingFolder;
    setup.statusText = workingFolderStatus(workingFolder);
    setup.files = scanFileSet(workingFolder);
    options.coordinateSystem = 0;
    options.zone = 0;
    options.adjustmentPrinciple = principleLeastSquares;
    options.analysisMode = analysisFull;
    setup.systemEntry = restoreCoordinateSystem(state);
    return setup;
}

} // namespace ptw3
