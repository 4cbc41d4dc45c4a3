#include "common/interruption.h"

#include "common/encoding.h"

namespace ptw3 {

std::string interruptedReportLine() {
    return cp1250(" *** OBLICZENIA PRZERWANE PRZEZ UŻYTKOWNIKA - RAPORT NIEPEŁNY");
}

void closeInterruptedReports(std::initializer_list<ReportFile*> reports) {
    for (ReportFile* report : reports) {
        if (report->isOpen()) {
            report->line(" ");
            report->line(interruptedReportLine());
            report->close();
        }
    }
}

} // namespace ptw3
