#include "window/file_panels.h"

#include "common/folder_files.h"
#include "window/window_style.h"

#include <QLabel>

namespace ptw3 {
namespace {

// Where each file panel sits, in the order of the file set (Panel1 first). The result
// column starts a row higher than drawn, where the window was empty, to take PROJEKT.ptw.
// clang-format off
constexpr std::array<Rect, fileSetSize> panelGeometry = {{
    {336, 136, 105, 25}, {448, 136, 105, 25}, {560, 104, 113, 25}, {232, 136,  97, 25},
    {688, 104, 113, 25}, {232, 168,  97, 25}, { 16, 104, 105, 25}, { 16, 136, 105, 25},
    { 16, 168, 105, 25}, {128, 104,  97, 25}, {688, 136, 113, 25}, {128, 168,  97, 25},
    {128, 136,  97, 25}, {688, 240, 113, 33}, {688, 280, 113, 25}, {688, 376, 113, 25},
    {688, 312, 113, 25}, {688, 344, 113, 25}, {448, 168, 105, 25}, {560, 136, 113, 25},
    {560, 168, 113, 25}, {688, 168, 113, 25}, {336, 168, 105, 25}, {688, 408, 113, 25},
    {688, 440, 113, 25},
}};
// clang-format on
constexpr Rect resultsCaptionGeometry = {688, 222, 113, 17};
/// Below PROJEKT.ptw, the last of the result column.
constexpr Rect sketchGeometry = {688, 472, 113, 25};

QColor captionColour(CaptionColour colour) {
    switch (colour) {
    case CaptionColour::Maroon:
        return maroon;
    case CaptionColour::Navy:
        return navy;
    case CaptionColour::Green:
        return green;
    case CaptionColour::WindowText:
        break;
    }
    return systemColour(QPalette::WindowText);
}

} // namespace

FilePanels::FilePanels(QWidget* window,
                       const std::array<std::function<void()>, fileSetSize>& clicks,
                       std::function<void()> sketchClick) {
    auto* inputs = new QLabel(fromUtf8("   Zbiory  wejściowe:  "), window);
    place(inputs, {16, 89, 200, 15});
    auto* results = new QLabel(fromUtf8(" Zbiory wynikowe: "), window);
    place(results, resultsCaptionGeometry);

    for (size_t i = 0; i < fileSet.size(); ++i) {
        const FileSetEntry& entry = fileSet[i];
        auto* panel = new ClickLabel(fromUtf8(entry.caption), window, clicks[i]);
        panel->setObjectName(fromUtf8(entry.panel));
        place(panel, panelGeometry[i]);
        panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
        panel->setAlignment(Qt::AlignCenter);
        panel->setFont(boldFont(window->font()));
        setTextColour(panel, captionColour(entry.colour));
        if (entry.panel != "Panel16") {
            panel->setCursor(Qt::PointingHandCursor);
        }
        setBackground(panel, systemColour(QPalette::Button));
        m_panels[i] = panel;
    }
    m_sketch = new ClickLabel(fromUtf8("Szkic sieci"), window, std::move(sketchClick));
    m_sketch->setObjectName("SketchPanel");
    place(m_sketch, sketchGeometry);
    m_sketch->setFrameStyle(QFrame::Panel | QFrame::Raised);
    m_sketch->setAlignment(Qt::AlignCenter);
    m_sketch->setFont(boldFont(window->font()));
    setTextColour(m_sketch, green);
    m_sketch->setCursor(Qt::PointingHandCursor);
    setBackground(m_sketch, systemColour(QPalette::Button));
}

void FilePanels::show(const FileSetState& files, const std::filesystem::path& folder) {
    if (findFileNoCase(folder, "wyniki.json")) {
        setBackground(m_sketch, systemColour(QPalette::Base));
    }
    for (size_t i = 0; i < fileSet.size(); ++i) {
        m_paths[i] = files.paths[i];
        const bool present = files.present[i] == 1;
        if (fileSet[i].group == FileGroup::Input) {
            setBackground(m_panels[i],
                          systemColour(present ? QPalette::ToolTipBase : QPalette::Button));
        } else if (present) {
            setBackground(m_panels[i], systemColour(QPalette::Base));
        }
    }
}

const std::filesystem::path& FilePanels::path(int index) const {
    return m_paths[static_cast<size_t>(index)];
}

} // namespace ptw3
