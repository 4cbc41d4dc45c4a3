// Writes the program's icon for the desktop, drawn as the main window draws its logo:
// ptw3.svg and ptw3-<size>.png for every size asked for.
//
//   ptw3-icons FOLDER SIZE...

#include "window/window_pictures.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: ptw3-icons FOLDER SIZE...\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    std::ofstream svg(folder / "ptw3.svg", std::ios::binary);
    svg << ptw3::iconSvg();
    svg.close();
    bool written = static_cast<bool>(svg);
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        const std::string name = (folder / ("ptw3-" + std::to_string(size) + ".png")).string();
        written = written && size > 0 && ptw3::iconImage(size).save(QString::fromStdString(name));
    }
    if (!written) {
        std::fprintf(stderr, "ptw3-icons: cannot write the icons into %s\n", folder.c_str());
        return 1;
    }
    return 0;
}
