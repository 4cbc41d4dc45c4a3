// The sketch view offscreen: it opens the examples' results with the outliers of their
// control reports, centres a chosen outlier, zooms about the cursor, pans by dragging,
// fits, exports PNG, GeoPackage and DXF, and says so when a folder has no results.

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

/// The pixels of the image within a small distance of a colour of the sketch.
int pixelsOf(const QImage& image, std::string_view colour) {
    const QColor wanted(QString::fromLatin1(colour.data(), static_cast<qsizetype>(colour.size())));
    int pixels = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            pixels += std::abs(c.red() - wanted.red()) + std::abs(c.green() - wanted.green()) +
                                  std::abs(c.blue() - wanted.blue()) <
                              40
                          ? 1
                          : 0;
        }
    }
    return pixels;
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

    // The results shown go out as siec.gpkg and siec.dxf do, the outlier's line with them.
    const auto exported = [&](const char* name, bool (SketchView::*write)(const QString&)) {
        EXPECT_TRUE((view.*write)(QString::fromStdString((folder.path() / name).string())));
        return folder.read(name);
    };
    const std::string gpkg = exported("szkic.gpkg", &SketchView::exportGeoPackage);
    EXPECT_TRUE(gpkg.starts_with("SQLite format 3"));
    EXPECT_NE(gpkg.find("elipsy"), std::string::npos);
    const std::string dxf = exported("szkic.dxf", &SketchView::exportDxf);
    EXPECT_NE(dxf.find("ENTITIES"), std::string::npos);
    EXPECT_NE(dxf.find("ODSTAJACE"), std::string::npos);
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
        EXPECT_GT(pixelsOf(canvas, colour), 30);
    }
    fs::create_directories(PTW3_SCREENSHOT_DIR);
    EXPECT_TRUE(view.grab().save(QStringLiteral(PTW3_SCREENSHOT_DIR "/sketch_control.png")));
}

// The results of siec-blad-gruby as a plan with the advisor's proposals made by hand: the
// view is titled a plan, lists the proposals in their order, draws them in their colour with
// the plan's rings, and a click on one centres its line; without the advisor nothing of
// that colour is drawn.
TEST(SketchView, ShowsTheProposalsOfTheDesignAdvisor) {
    test::TempFolder folder;
    compute(folder, "siec-blad-gruby");
    auto results = readResultsJson(folder.path() / "wyniki.json");
    ASSERT_TRUE(results.has_value());
    results->control.reset();
    results->preAnalysis = test::handMadePlan(*results);
    SketchView view;
    view.setResults(*results);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    EXPECT_EQ(view.windowTitle(), "Projekt sieci");
    EXPECT_EQ(view.findChild<QLabel*>("listHeading")->text(),
              QString::fromUtf8("Obserwacje proponowane (doradca):"));
    auto* list = view.findChild<QListWidget*>("outlierList");
    ASSERT_EQ(list->count(), 3);
    const char* rows[] = {"+1  długość 1 – 3   Mp max 0.0203 m",
                          "+2  kierunek 2 – 6   Mp max 0.0181 m",
                          "+3  długość 6 – 2   Mp max 0.0169 m"};
    for (int i = 0; i < list->count(); ++i) {
        EXPECT_EQ(list->item(i)->text(), QString::fromUtf8(rows[i]));
    }
    EXPECT_TRUE(view.findChild<QLabel*>("sketchStatus")
                    ->text()
                    .contains(QString::fromUtf8("Mp ponad standard 0.0175 m: 2\nDoradca: "
                                                "kandydaci: 12, propozycje: 3, Mp max 0.0241 m "
                                                "\u2192 0.0169 m; cel osiągnięty")));
    EXPECT_TRUE(view.findChild<QLabel*>("controlLegend")->isVisible());
    auto* canvas = view.findChild<QWidget*>("sketchCanvas");
    const QImage drawn = canvas->grab().toImage();
    EXPECT_GT(pixelsOf(drawn, proposalColour), 100);
    EXPECT_GT(pixelsOf(drawn, aboveStandardColour), 30);
    fs::create_directories(PTW3_SCREENSHOT_DIR);
    EXPECT_TRUE(view.grab().save(QStringLiteral(PTW3_SCREENSHOT_DIR "/sketch_plan.png")));

    // The second proposal is the direction 2–6: the middle of its line comes to the centre.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(1)).center());
    const auto point = [&](const char* number) {
        return *std::find_if(results->points.begin(), results->points.end(),
                             [&](const PointResult& p) { return p.number == number; });
    };
    EXPECT_NEAR(static_cast<double>(view.viewCentre().x), (point("2").x + point("6").x) / 2,
                1e-6);
    EXPECT_NEAR(static_cast<double>(view.viewCentre().y), (point("2").y + point("6").y) / 2,
                1e-6);

    results->preAnalysis->advice.reset();
    view.setResults(*results);
    EXPECT_EQ(list->count(), 0);
    EXPECT_LT(pixelsOf(canvas->grab().toImage(), proposalColour), 5);
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
