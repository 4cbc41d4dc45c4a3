// The fonts the windows are drawn with: the classic Windows faces where the
// platform has them, else the platform's own fixed-pitch or general font.
#pragma once

#include <QFont>
#include <QFontDatabase>
#include <QStringList>

namespace ptw3 {

inline QFont fontWithFallback(const QString& family, QFontDatabase::SystemFont fallback,
                              int pointSize) {
    QFont font = QFontDatabase::systemFont(fallback);
    font.setFamilies({family, font.family()});
    font.setPointSize(pointSize);
    return font;
}

/// Courier New, or the platform's fixed-pitch font.
inline QFont courierNew(int pointSize) {
    return fontWithFallback(QStringLiteral("Courier New"), QFontDatabase::FixedFont, pointSize);
}

/// MS Sans Serif, or the platform's general font.
inline QFont msSansSerif(int pointSize) {
    return fontWithFallback(QStringLiteral("MS Sans Serif"), QFontDatabase::GeneralFont, pointSize);
}

} // namespace ptw3
