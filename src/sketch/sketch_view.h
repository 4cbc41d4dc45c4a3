// The window's view of the network sketch: the geometry of siec.svg drawn from the
// working folder's wyniki.json, zoomed with the wheel (about the cursor), panned by
// dragging, fitted to the window, with the outliers listed by |w| (a click centres the view
// on one) and the view exported to PNG. Point numbers are placed afresh at every scale, so
// zooming in shows the numbers that overlap at the whole network's scale. The findings of a
// quality control in wyniki.json are marked, with their legend beside the list. The sketch of
// a plan lists the design advisor's proposals in place of the outliers (a click centres the
// view on one) and draws them dashed with their order numbers.
#pragma once

#include "export/results.h"
#include "export/sketch.h"
#include "observations/projections.h"

#include <QWidget>

#include <filesystem>
#include <memory>

class QLabel;
class QListWidget;
class QPushButton;

namespace ptw3 {

class SketchCanvas;

class SketchView : public QWidget {
  public:
    explicit SketchView(QWidget* parent = nullptr);
    ~SketchView() override;

    /// Shows the results of the folder's wyniki.json; false (and a note in the view) when
    /// the folder has none that can be read.
    bool load(const std::filesystem::path& folder);
    /// Shows results held in memory.
    void setResults(NetworkResults results);

    /// Fits the whole network into the canvas.
    void fit();
    /// Saves the canvas as it is shown; false when the file could not be written.
    bool exportPng(const QString& path);
    /// Writes the results shown as a GeoPackage (the layers of siec.gpkg); false when there
    /// are none or the file could not be written.
    bool exportGeoPackage(const QString& path);
    /// Writes the results shown as a DXF drawing (as siec.dxf); false as exportGeoPackage.
    bool exportDxf(const QString& path);

    /// The point of the network at the canvas's centre (m) and the scale (px per m).
    GridPoint viewCentre() const;
    Real pixelsPerMetre() const;

  private:
    /// A row of the list: an outlier, or the proposal of that order in a plan.
    void outlierChosen(int row);
    void listProposals();
    /// Asks for a file name and writes the file with `write`, saying so when it fails.
    void chooseExportFile(const QString& title, const QString& suggested, const QString& filter,
                          bool (SketchView::*write)(const QString&));

    std::unique_ptr<NetworkResults> m_results;
    Sketch m_sketch;
    SketchCanvas* m_canvas = nullptr;
    QListWidget* m_outliers = nullptr; ///< or the proposals, in a plan
    QLabel* m_listHeading = nullptr;
    /// The legend of the marks of a quality control or a plan, shown when there are some.
    QLabel* m_controlLegend = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_fit = nullptr;
    QPushButton* m_export = nullptr;
    QPushButton* m_exportGeoPackage = nullptr;
    QPushButton* m_exportDxf = nullptr;
};

} // namespace ptw3
