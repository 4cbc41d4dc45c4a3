// ptw3: the desktop program. The main window is the only window at start; the
// program ends when it is closed.

#include "common/clock.h"
#include "shell/main_window.h"
#include "shell/working_folder.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <filesystem>
#include <system_error>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // The program's title; as the application name it does not change the window captions.
    QApplication::setApplicationName(QString::fromUtf8("Wyrównanie sieci poziomej"));
    // The toolkit's own dialogs (files, fonts, printing) in the user's language.
    QTranslator toolkitTexts;
    if (toolkitTexts.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&toolkitTexts);
    }
    const ptw3::SystemClock clock;
    std::error_code error;
    ptw3::MainWindow window(ptw3::programFolder(), std::filesystem::current_path(error), clock);
    window.show();
    return QApplication::exec();
}
