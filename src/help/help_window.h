// The two help windows: the general help (the program, its files and results)
// and the options help. Each opening makes a new window; the main window stays
// usable while they are open.
#pragma once

class QWidget;

namespace ptw3 {

/// Opens a new general help window ("Pomoc", fixed-pitch text).
QWidget* openGeneralHelp(QWidget* owner);

/// Opens a new options help window ("Pomoc").
QWidget* openOptionsHelp(QWidget* owner);

} // namespace ptw3
