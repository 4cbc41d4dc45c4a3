// The option controls of the main window: the coordinate-system, principle and mode
// lists, the accuracy standard of the quality control, the iteration field, the
// acceleration box with its two choices, the box for the files beside the reports, the
// "  ?" of the options help, and the box of the pre-analysis of a planned network with the
// design advisor's options. Their texts are mapped here,
// and only here, to the typed choices of a run. The lists are as wide as their longest
// entry needs in the platform's font, and their drop-down lists too, so that every entry
// reads whole; the box grows to the right for them.
#pragma once

#include "observations/coordinate_system.h"
#include "run/calculation_run.h"
#include "window/window_style.h"

#include <QString>

#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QRadioButton;
class QSpinBox;
class QWidget;

namespace ptw3 {

class OptionsBox {
public:
    struct Handlers {
        std::function<void()> systemChanged; ///< the text of the system list changed
        std::function<void()> help;          ///< the "  ?" was clicked
    };
    OptionsBox(QWidget* window, Handlers handlers);

    /// How much wider than drawn (209 pixels) the box had to become.
    int extraWidth() const { return m_extraWidth; }
    /// Places the box of the pre-analysis, whose room the window gives.
    void placePlanBox(const Rect& box);

    /// The choices of a run as the controls hold them now; a list whose text names none of
    /// its entries gives no choice.
    RunChoices choices() const;
    /// The system the text of the system list names, if it names one.
    std::optional<SystemZone> chosenSystem() const;
    /// The text the iteration field is to show once the run has started with it, when its
    /// rules change it.
    std::optional<QString> correctedIterations() const;
    /// Shows an entry of the system list without it counting as the person's change.
    void showSystemEntry(int entry);
    void setIterationsText(const QString& text);
    void setEnabled(bool enabled);

private:
    /// The radio buttons are visible while the acceleration box is checked.
    void showAccelerationChoice();
    /// The advisor's options take input while the pre-analysis is chosen, its limits while
    /// the advisor is.
    void enablePlanChoice();

    QComboBox* m_systemList = nullptr;
    QComboBox* m_principleList = nullptr;
    QComboBox* m_modeList = nullptr;
    QComboBox* m_mpLimitList = nullptr; ///< the accuracy standard, m
    QLineEdit* m_iterations = nullptr;
    QCheckBox* m_accelerate = nullptr;
    QRadioButton* m_standard = nullptr;
    QRadioButton* m_turbo = nullptr;
    QCheckBox* m_extraFiles = nullptr; ///< wyniki.json, the CSV files and siec.svg
    QFrame* m_planFrame = nullptr;
    QCheckBox* m_preAnalysis = nullptr;
    QCheckBox* m_advise = nullptr;
    QLabel* m_budgetLabel = nullptr;
    QSpinBox* m_budget = nullptr; ///< at most this many proposals
    QLabel* m_radiusLabel = nullptr;
    QLineEdit* m_candidateRadius = nullptr; ///< m; empty: the candidates of KANDYDACI only
    bool m_enabled = true;
    int m_extraWidth = 0;
};

} // namespace ptw3
