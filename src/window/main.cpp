// ptw3: the desktop program. The main window is the only window at start; the
// program ends when it is closed.
//
//   ptw3 [FOLDER]    FOLDER becomes the working folder (and is remembered)

#include "common/clock.h"
#include "window/main_window.h"
#include "window/window_pictures.h"
#include "run/working_folder.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QStandardPaths>
#include <QTranslator>

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // The name under which the user's configuration folder is kept (~/.config/ptw3); the
    // program's Polish title is the name of its desktop entry.
    QApplication::setApplicationName(QStringLiteral("ptw3"));
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128}) {
        icon.addPixmap(QPixmap::fromImage(ptw3::iconImage(size)));
    }
    QApplication::setWindowIcon(icon);
    // The toolkit's own dialogs (files, fonts, printing) in the user's language.
    QTranslator toolkitTexts;
    if (toolkitTexts.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&toolkitTexts);
    }

    const ptw3::SystemClock clock;
    std::error_code error;
    const fs::path startFolder = fs::current_path(error);
    const fs::path userSettings =
        QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation).toStdString();
    ptw3::MainWindow window(ptw3::programFolder(), startFolder, clock, userSettings);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1) {
        const fs::path folder = fs::absolute(arguments.at(1).toStdString(), error);
        if (fs::is_directory(folder, error)) {
            window.chooseWorkingFolder(folder);
        } else {
            std::fprintf(stderr, "ptw3: nie ma folderu %s\n", folder.c_str());
        }
    }
    window.show();
    return QApplication::exec();
}
