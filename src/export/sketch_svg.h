// siec.svg: the network sketch as an SVG drawing, UTF-8. A legend band on top (symbols,
// line styles, the ellipse magnification with its scale bar, the map scale bar), then the
// network at equal scale with X north up: observation lines by kind, error ellipses, the
// points by kind with the numbers that fit, the points without control ringed, and the
// outliers in red with their w and ∇. After a quality control, its findings too: the points
// above the accuracy standard ringed, the observations data snooping took out with their
// steps, and the shifts of the doubtful reference points as arrows magnified like the
// ellipses. The sketch of a plan is titled so, rings its points above the standard and draws
// the observations the design advisor proposes dashed with their order numbers. Each layer
// is a <g> with an id, one element a feature.
#pragma once

#include "export/results.h"

#include <filesystem>
#include <string>

namespace ptw3 {

/// The drawing's text.
std::string sketchSvg(const NetworkResults& results);

/// Writes siec.svg into the folder; false when it could not be written in full.
bool writeSketchSvg(const std::filesystem::path& folder, const NetworkResults& results);

} // namespace ptw3
