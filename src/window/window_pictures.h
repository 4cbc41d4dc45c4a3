// The pictures of the main window, drawn rather than stored: the logo (a small
// triangulation network with the program's name) and the help picture. The
// program's icon is the logo's network on a square, as pixels and as SVG text, so
// the desktop shows the same picture as the window.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QSize>

#include <string>

namespace ptw3 {

/// The logo at the left of the top band.
QPixmap logoPicture(QSize size);

/// The help picture: a question mark on a page with "POMOC".
QPixmap helpPicture(QSize size);

/// The program's icon, `size` pixels square; the name is left out where it could not be read.
QImage iconImage(int size);

/// The program's icon as an SVG document.
std::string iconSvg();

} // namespace ptw3
