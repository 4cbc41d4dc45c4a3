// ptw3: the desktop program.

#include "common/clock.h"
#include "shell/main_window.h"
#include "shell/working_folder.h"

#include <QApplication>

#include <filesystem>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QString::fromUtf8("Wyrównanie sieci poziomej"));
    const ptw3::SystemClock clock;
    ptw3::MainWindow window(ptw3::programFolder(), std::filesystem::current_path(), clock);
    window.show();
    return QApplication::exec();
}
