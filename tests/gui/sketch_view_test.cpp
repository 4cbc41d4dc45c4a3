// The sketch view offscreen: it opens the examples' results with the outliers of their
// control reports, centres a chosen outlier, zooms about the cursor, pans by dragging,
// fits, exports PNG, and says so when a folder has no results.

#include "export/results_json.h"
#include "gui_support.h"
#include "sketch/sketch_view.h"

#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace ptw3 {
namespace {

namespace fs = std::filesystem;

void compute(const test::TempFolder& folder, const char* example) {
    folder.copyFilesOf(fs::path(PTW3_EXAMPLES_DIR) / example);
    test::computeFolder(folder.path());
}

TEST(SketchView, OpensEachExampleWithTheOutliersOfItsControlReport) {
    for (const char* example : {"siec-lokalna", "siec-2000", "siec-blad-gruby"}) {
        SCOPED_TRACE(example);
        test::TempFolder folder;
        compute(folder, example);
        SketchView view;
        ASSERT_TRUE(view.load(folder.path()));
        view.show();
        auto* list = view.findChild<QListWidget*>("outlierList");
        ASSERT_NE(list, nullptr);
        const auto rows = test::outlierRows(folder.read("er3.ptw"));
        ASSERT_EQ(list->count(), static_cast<int>(rows.size()));
        // Every row of the report is an entry of the list, whose order is by |w|.
        std::vector<QString> entries;
        for (int i = 0; i < list->count(); ++i) {
            entries.push_back(list->item(i)->text());
        }
        for (const auto& numbers : rows) {
            QStringList joined;
            for (const std::string& n : numbers) {
                joined << QString::fromStdString(n);
            }
            const QString ends = joined.join(QString::fromUtf8(" – "));
            EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                                    [&](const QString& e) { return e.contains(ends + "   "); }),
                      1)
                << ends.toStdString();
        }
        fs::create_directories(PTW3_SCREENSHOT_DIR);
        EXPECT_TRUE(view.grab().save(
            QStringLiteral(PTW3_SCREENSHOT_DIR "/sketch_%1.png").arg(QString::fromUtf8(example))));
    }
}

TEST(SketchView, CentresAnOutlierZoomsPansFitsAndExports) {
    test::TempFolder folder;
    compute(folder, "siec-blad-gruby");
    SketchView view;
    ASSERT_TRUE(view.load(folder.path()));
    view.show();
    QWidget* canvas = view.findChild<QWidget*>("sketchCanvas");
    ASSERT_NE(canvas, nullptr);
    const GridPoint fitted = view.viewCentre();
    const Real fittedScale = view.pixelsPerMetre();

    // The one outlier is the distance 4–1: its midpoint comes to the centre, closer up.
    auto* list = view.findChild<QListWidget*>("outlierList");
    ASSERT_EQ(list->count(), 1);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(0)).center());
    const GridPoint centre = view.viewCentre();
    EXPECT_NEAR(static_cast<double>(centre.x), (5390.46575 + 5210.3115) / 2, 0.01);
    EXPECT_NEAR(static_cast<double>(centre.y), (3600.43515 + 3310.11861) / 2, 0.01);
    EXPECT_GT(view.pixelsPerMetre(), fittedScale);

    // Zooming keeps the point under the cursor where it is.
    const QPointF cursor(canvas->width() * 0.25, canvas->height() * 0.75);
    const auto underCursor = [&] {
        const Real k = view.pixelsPerMetre();
        const GridPoint c = view.viewCentre();
        return GridPoint{c.x - (cursor.y() - canvas->height() / 2.0) / k,
                         c.y + (cursor.x() - canvas->width() / 2.0) / k};
    };
    const GridPoint before = underCursor();
    QWheelEvent wheel(cursor, canvas->mapToGlobal(cursor), {}, {0, 240}, Qt::NoButton, {},
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(canvas, &wheel);
    const GridPoint after = underCursor();
    EXPECT_NEAR(static_cast<double>(after.x), static_cast<double>(before.x), 1e-6);
    EXPECT_NEAR(static_cast<double>(after.y), static_cast<double>(before.y), 1e-6);

    // Dragging 40 px right and 30 px down moves the view west and north.
    const GridPoint start = view.viewCentre();
    const Real k = view.pixelsPerMetre();
    QTest::mousePress(canvas, Qt::LeftButton, {}, QPoint(100, 100));
    QMouseEvent move(QEvent::MouseMove, QPointF(140, 130), canvas->mapToGlobal(QPointF(140, 130)),
                     Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(canvas, &move);
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, QPoint(140, 130));
    EXPECT_NEAR(static_cast<double>(view.viewCentre().y), static_cast<double>(start.y - 40 / k),
                1e-9);
    EXPECT_NEAR(static_cast<double>(view.viewCentre().x), static_cast<double>(start.x + 30 / k),
                1e-9);

    view.findChild<QPushButton*>("fitButton")->click();
    EXPECT_NEAR(static_cast<double>(view.viewCentre().x), static_cast<double>(fitted.x), 1e-9);
    EXPECT_NEAR(static_cast<double>(view.viewCentre().y), static_cast<double>(fitted.y), 1e-9);
    EXPECT_EQ(view.pixelsPerMetre(), fittedScale);

    const QString png = QString::fromStdString((folder.path() / "szkic.png").string());
    ASSERT_TRUE(view.exportPng(png));
    EXPECT_EQ(QImage(png).size(), canvas->size() * canvas->devicePixelRatio());
}

// A wyniki.json with a quality control made by hand: the view reads it back, counts its
// findings in the status line, draws each kind of mark on the network and shows its legend.
TEST(SketchView, MarksTheFindingsOfTheQualityControl) {
    test::TempFolder folder;
    compute(folder, "siec-blad-gruby");
    auto results = readResultsJson(folder.path() / "wyniki.json");
    ASSERT_TRUE(results.has_value());
    results->control = test::handMadeControl(*results);
    ASSERT_TRUE(writeResultsJson(folder.path(), *results));
    SketchView view;
    ASSERT_TRUE(view.load(folder.path()));
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    EXPECT_TRUE(view.findChild<QLabel*>("sketchStatus")
                    ->text()
                    .contains(QString::fromUtf8("obserwacje usunięte: 3, wątpliwe punkty "
                                                "nawiązania: 1, Mp ponad standard 0.0175 m: 2")));

    EXPECT_TRUE(view.findChild<QLabel*>("controlLegend")->isVisible());
    const QImage canvas = view.findChild<QWidget*>("sketchCanvas")->grab().toImage();
    for (const std::string_view colour : {removedColour, shiftColour, aboveStandardColour}) {
        SCOPED_TRACE(std::string(colour));
        const QColor wanted(QString::fromLatin1(colour.data(), colour.size()));
        int pixels = 0;
        for (int y = 0; y < canvas.height(); ++y) {
            for (int x = 0; x < canvas.width(); ++x) {
                const QColor c = canvas.pixelColor(x, y);
                pixels += std::abs(c.red() - wanted.red()) + std::abs(c.green() - wanted.green()) +
                                      std::abs(c.blue() - wanted.blue()) <
                                  40
                              ? 1
                              : 0;
            }
        }
        EXPECT_GT(pixels, 30);
    }
    fs::create_directories(PTW3_SCREENSHOT_DIR);
    EXPECT_TRUE(view.grab().save(QStringLiteral(PTW3_SCREENSHOT_DIR "/sketch_control.png")));
}

TEST(SketchView, AFolderWithoutResultsSaysSo) {
    test::TempFolder folder;
    folder.write("wyniki.json", "{\"format\": \"something else\"}");
    SketchView view;
    EXPECT_FALSE(view.load(folder.path()));
    EXPECT_TRUE(view.findChild<QLabel*>("sketchStatus")->text().contains("wyniki.json"));
    EXPECT_EQ(view.findChild<QListWidget*>("outlierList")->count(), 0);
}

} // namespace
} // namespace ptw3
