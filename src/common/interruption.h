// A computation the person stops (the stop button, or closing the program during a
// run) leaves every report it had open ending in one line that says so, so that a
// half-written report is never taken for a finished one. Fatal input errors and the
// answer No keep the lines of their own.
#pragma once

#include "common/stop.h"
#include "common/text_file.h"

#include <initializer_list>

namespace ptw3 {

/// The last line of a report whose computation the person stopped (Windows-1250).
std::string interruptedReportLine();

/// True for the stops a person asked for, not for a fatal input error or a No answer.
inline bool stoppedByPerson(StopReason reason) {
    return reason == StopReason::Interrupted || reason == StopReason::Abandoned;
}

/// Ends each report that is still open with interruptedReportLine() and closes it.
void closeInterruptedReports(std::initializer_list<ReportFile*> reports);

/// Runs `work`; when the person stops the computation meanwhile, the reports still open
/// are ended with the line that says so before the stop goes on.
template <class Work>
void markingInterruption(std::initializer_list<ReportFile*> reports, Work&& work) {
    try {
        work();
    } catch (const Stop& stop) {
        if (stoppedByPerson(stop.reason())) {
            closeInterruptedReports(reports);
        }
        throw;
    }
}

} // namespace ptw3
