#include "window/options_box.h"

#include "run/coordinate_systems.h"
#include "run/option_lists.h"
#include "window/window_style.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStyleOptionComboBox>

#include <algorithm>

namespace ptw3 {
namespace {

constexpr int drawnListWidth = 185;
/// A line edit keeps 2 pixels free on each side of its text and 1 for the cursor.
constexpr int lineEditTextMargins = 6;
/// The advisor's budget field takes a number of proposals from 1 to this.
constexpr int largestAdvisorBudget = 999;

QComboBox* optionList(const char* name, QWidget* window) {
    auto* combo = new QComboBox(window);
    combo->setObjectName(name);
    combo->setEditable(true);
    // Typed texts are compared with the entries exactly: nothing completes or adds them.
    combo->setCompleter(nullptr);
    combo->setInsertPolicy(QComboBox::NoInsert);
    return combo;
}

int widestEntry(const QComboBox* combo) {
    const QFontMetrics metrics(combo->font());
    int widest = 0;
    for (int i = 0; i < combo->count(); ++i) {
        widest = std::max(widest, metrics.horizontalAdvance(combo->itemText(i)));
    }
    return widest;
}

// The list's width at which its edit field shows the longest entry whole, blanks at the end
// included (the field scrolls to keep the cursor after them in sight).
int widthShowingEveryEntry(const QComboBox* combo) {
    constexpr int probeWidth = 1000;
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.editable = true;
    option.frame = true;
    option.rect = QRect(0, 0, probeWidth, combo->sizeHint().height());
    const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                       QStyle::SC_ComboBoxEditField, combo);
    return widestEntry(combo) + lineEditTextMargins + probeWidth - field.width();
}

// The drop-down list is as wide as its longest entry, whatever the width of the list.
void widenDropDown(QComboBox* combo) {
    QAbstractItemView* view = combo->view();
    const bool scrolls = combo->count() > combo->maxVisibleItems();
    view->setMinimumWidth(view->sizeHintForColumn(0) + 2 * view->frameWidth() +
                          (scrolls ? view->verticalScrollBar()->sizeHint().width() : 0));
}

} // namespace

OptionsBox::OptionsBox(QWidget* window, Handlers handlers) {
    m_systemList = optionList("ComboBox6", window);
    for (const CoordinateSystemEntry& entry : coordinateSystemEntries) {
        m_systemList->addItem(fromUtf8(entry.text));
    }
    m_systemList->setMaxVisibleItems(static_cast<int>(coordinateSystemEntries.size()));
    m_principleList = optionList("ComboBox4", window);
    for (const PrincipleEntry& entry : principleEntries) {
        m_principleList->addItem(fromUtf8(entry.text));
    }
    m_modeList = optionList("ComboBox1", window);
    for (const ModeEntry& entry : modeEntries) {
        m_modeList->addItem(fromUtf8(entry.text));
    }
    m_mpLimitList = optionList("MpLimitList", window);
    for (const MpLimitEntry& entry : mpLimitEntries) {
        m_mpLimitList->addItem(fromUtf8(entry.text));
    }
    m_mpLimitList->setToolTip(
        fromUtf8("Dopuszczalny błąd położenia punktu Mp w kontroli wyrównania; "
                 "inną wartość wpisz w metrach, np. 0.07"));
    int listWidth = drawnListWidth;
    for (QComboBox* list : {m_systemList, m_principleList, m_modeList, m_mpLimitList}) {
        listWidth = std::max(listWidth, widthShowingEveryEntry(list));
        widenDropDown(list);
    }
    m_extraWidth = listWidth - drawnListWidth;
    const int extra = m_extraWidth;

    auto* frame = new QFrame(window);
    frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
    place(frame, {16, 208, 209 + extra, 353});
    frame->lower();

    auto* heading = new QLabel(fromUtf8("    Wybierz opcje:   "), window);
    place(heading, {24, 216, 185 + extra, 17});
    heading->setFont(boldFont(window->font()));

    auto* help = new ClickLabel(QStringLiteral("  ?"), window, std::move(handlers.help));
    help->setObjectName("StaticText2");
    place(help, {32, 244, 33, 25});
    help->setFont(boldFont(window->font(), 12));
    help->setFrameStyle(QFrame::Panel | QFrame::Raised);
    setBackground(help, aqua);
    help->setCursor(Qt::PointingHandCursor);
    auto* helpPointer = new QLabel(fromUtf8("<---- czytaj opis "), window);
    place(helpPointer, {72, 248, 137 + extra, 17});

    const auto placeList = [&](QComboBox* list, const char* caption, int top) {
        auto* label = new QLabel(fromUtf8(caption), window);
        place(label, {24, top - 18, listWidth, 17});
        place(list, {24, top, listWidth, list->sizeHint().height()});
    };
    // Four lists 48 pixels apart leave the rows below them where they were.
    placeList(m_systemList, " Układ  XY ,  strefa   ", 294);
    placeList(m_principleList, " Zasada wyrównania ", 342);
    placeList(m_modeList, " Tryb obliczeń   ", 390);
    placeList(m_mpLimitList, " Standard dokładności Mp [m] ", 438);
    QObject::connect(m_systemList, &QComboBox::editTextChanged, window,
                     [changed = std::move(handlers.systemChanged)] { changed(); });
    // A text that names no standard shows the standard the run takes instead.
    QObject::connect(m_mpLimitList->lineEdit(), &QLineEdit::editingFinished, window, [this] {
        if (!mpLimitByText(m_mpLimitList->currentText().toStdString())) {
            m_mpLimitList->setCurrentIndex(0);
            m_mpLimitList->setEditText(m_mpLimitList->itemText(0));
        }
    });

    auto* iterationsLabel = new QLabel(fromUtf8("  Liczba iteracji "), window);
    place(iterationsLabel, {24, 470, 140 + extra, 17});
    m_iterations = new QLineEdit(QStringLiteral("4"), window);
    m_iterations->setObjectName("Edit1");
    place(m_iterations, {168 + extra, 468, 41, 21});

    m_accelerate = new QCheckBox(fromUtf8(" przyspiesz analizę dokładności "), window);
    m_accelerate->setObjectName("CheckBox1");
    place(m_accelerate, {32, 498, 177 + extra, 17});
    m_accelerate->setChecked(true);
    m_standard = new QRadioButton(fromUtf8(" standard"), window);
    m_standard->setObjectName("RadioButton1");
    place(m_standard, {48, 520, 80, 17});
    m_turbo = new QRadioButton(fromUtf8(" turbo"), window);
    m_turbo->setObjectName("RadioButton2");
    place(m_turbo, {136, 520, 73, 17});
    m_turbo->setChecked(true);
    // Below the reports' options: whether the machine-readable results and the sketch are
    // written beside the reports.
    m_extraFiles = new QCheckBox(fromUtf8(" pliki JSON, CSV, SVG "), window);
    m_extraFiles->setObjectName("ExtraFilesBox");
    place(m_extraFiles, {32, 540, 177 + extra, 17});
    m_extraFiles->setChecked(true);
    for (QWidget* caption :
         std::initializer_list<QWidget*>{m_accelerate, m_standard, m_turbo, m_extraFiles}) {
        fitToWidth(caption);
    }
    QObject::connect(m_accelerate, &QCheckBox::toggled, window,
                     [this] { showAccelerationChoice(); });

    // The pre-analysis of a planned network and the design advisor; the window places them.
    m_planFrame = new QFrame(window);
    m_planFrame->setFrameStyle(QFrame::Panel | QFrame::Raised);
    m_preAnalysis = new QCheckBox(fromUtf8(" analiza przedwykonawcza (projekt sieci)"), window);
    m_preAnalysis->setObjectName("PreAnalysisBox");
    m_preAnalysis->setToolTip(
        fromUtf8("Oczekiwana dokładność i niezawodność sieci projektowanej, liczona z "
                 "przybliżonych współrzędnych i błędów średnich obserwacji (PROJEKT.ptw)"));
    m_advise = new QCheckBox(fromUtf8(" proponuj obserwacje (doradca)"), window);
    m_advise->setObjectName("AdviseBox");
    m_advise->setToolTip(fromUtf8("Doradca dobiera kolejno obserwacje, które najbardziej "
                                  "zbliżają sieć do standardu dokładności Mp"));
    m_budgetLabel = new QLabel(fromUtf8("najwyżej"), window);
    m_budget = new QSpinBox(window);
    m_budget->setObjectName("AdvisorBudget");
    m_budget->setRange(1, largestAdvisorBudget);
    m_budget->setValue(PlanOptions{}.advisorBudget);
    m_budget->setToolTip(fromUtf8("Największa liczba proponowanych obserwacji"));
    m_radiusLabel = new QLabel(fromUtf8("kandydaci w promieniu [m]"), window);
    m_candidateRadius = new QLineEdit(window);
    m_candidateRadius->setObjectName("CandidateRadius");
    m_candidateRadius->setPlaceholderText(fromUtf8("tylko KANDYDACI"));
    m_candidateRadius->setToolTip(
        fromUtf8("Kandydatami są też pary punktów nie dalej niż ta odległość, jeszcze "
                 "niepołączone obserwacją; puste pole: tylko obserwacje z pliku KANDYDACI"));
    m_budgetLabel->setBuddy(m_budget);
    m_radiusLabel->setBuddy(m_candidateRadius);
    // A text that is no length in metres is cleared, to show that no pairs are generated.
    QObject::connect(m_candidateRadius, &QLineEdit::editingFinished, window, [this] {
        if (!metresByText(m_candidateRadius->text().toStdString())) {
            m_candidateRadius->clear();
        }
    });
    QObject::connect(m_preAnalysis, &QCheckBox::toggled, window, [this] { enablePlanChoice(); });
    QObject::connect(m_advise, &QCheckBox::toggled, window, [this] { enablePlanChoice(); });
    enablePlanChoice();
}

// Three rows: the pre-analysis, the advisor with its budget, the radius of the candidates.
void OptionsBox::placePlanBox(const Rect& box) {
    constexpr int margin = 8, indent = 20, rowPitch = 21, captionHeight = 17, fieldHeight = 21;
    constexpr int budgetWidth = 52, radiusWidth = 104, gap = 6;
    place(m_planFrame, box);
    m_planFrame->lower();
    const int left = box.left + margin;
    const int right = box.left + box.width - margin;
    const int top = box.top + (box.height - 3 * rowPitch) / 2;
    place(m_preAnalysis, {left, top + 2, right - left, captionHeight});
    place(m_budget, {right - budgetWidth, top + rowPitch, budgetWidth, fieldHeight});
    const int budgetLabelWidth = m_budgetLabel->sizeHint().width();
    place(m_budgetLabel, {right - budgetWidth - gap - budgetLabelWidth, top + rowPitch + 2,
                          budgetLabelWidth, captionHeight});
    place(m_advise, {left + indent, top + rowPitch + 2,
                     right - budgetWidth - 2 * gap - budgetLabelWidth - left - indent,
                     captionHeight});
    place(m_candidateRadius, {right - radiusWidth, top + 2 * rowPitch, radiusWidth, fieldHeight});
    place(m_radiusLabel, {left + 2 * indent, top + 2 * rowPitch + 2,
                          right - radiusWidth - gap - left - 2 * indent, captionHeight});
    for (QWidget* caption : std::initializer_list<QWidget*>{m_preAnalysis, m_advise}) {
        fitToWidth(caption);
    }
}

RunChoices OptionsBox::choices() const {
    RunChoices choices;
    choices.system = chosenSystem();
    choices.principle = principleByText(m_principleList->currentText().toStdString());
    choices.analysisMode = modeByText(m_modeList->currentText().toStdString());
    const IterationChoice iterations = interpretIterationField(m_iterations->text().toStdString());
    choices.iterationCount = iterations.iterationCount;
    choices.accelerationBoost = iterations.accelerationBoost;
    choices.acceleration = accelerationOf(m_accelerate->isChecked(), m_turbo->isChecked());
    choices.extraFiles = m_extraFiles->isChecked();
    if (const auto limit = mpLimitByText(m_mpLimitList->currentText().toStdString())) {
        choices.controlOptions.mpLimit = *limit;
    }
    // The plan is held to the standard the control of an adjustment uses. The advisor's
    // options count only with the pre-analysis, as they take input only then.
    choices.preAnalysis = m_preAnalysis->isChecked();
    choices.plan.mpLimit = choices.controlOptions.mpLimit;
    choices.plan.advise = choices.preAnalysis && m_advise->isChecked();
    if (choices.plan.advise) {
        choices.plan.advisorBudget = m_budget->value();
        choices.plan.candidatesWithin = metresByText(m_candidateRadius->text().toStdString());
    }
    return choices;
}

std::optional<SystemZone> OptionsBox::chosenSystem() const {
    const auto entry = entryByText(m_systemList->currentText().toStdString());
    if (!entry) {
        return std::nullopt;
    }
    return coordinateSystemEntries[static_cast<size_t>(*entry)].system;
}

std::optional<QString> OptionsBox::correctedIterations() const {
    const auto corrected =
        interpretIterationField(m_iterations->text().toStdString()).correctedText;
    if (!corrected) {
        return std::nullopt;
    }
    return QString::fromStdString(*corrected);
}

void OptionsBox::showSystemEntry(int entry) {
    const QSignalBlocker blocker(m_systemList);
    m_systemList->setCurrentIndex(entry);
    m_systemList->setEditText(fromUtf8(coordinateSystemEntries[static_cast<size_t>(entry)].text));
}

void OptionsBox::setIterationsText(const QString& text) {
    m_iterations->setText(text);
}

void OptionsBox::showAccelerationChoice() {
    m_standard->setVisible(m_accelerate->isChecked());
    m_turbo->setVisible(m_accelerate->isChecked());
}

void OptionsBox::enablePlanChoice() {
    m_preAnalysis->setEnabled(m_enabled);
    const bool plan = m_enabled && m_preAnalysis->isChecked();
    m_advise->setEnabled(plan);
    for (QWidget* control :
         std::initializer_list<QWidget*>{m_budgetLabel, m_budget, m_radiusLabel,
                                         m_candidateRadius}) {
        control->setEnabled(plan && m_advise->isChecked());
    }
}

void OptionsBox::setEnabled(bool enabled) {
    for (QWidget* control :
         std::initializer_list<QWidget*>{m_systemList, m_principleList, m_modeList, m_mpLimitList,
                                         m_iterations, m_accelerate, m_standard, m_turbo,
                                         m_extraFiles}) {
        control->setEnabled(enabled);
    }
    m_enabled = enabled;
    enablePlanChoice();
}

} // namespace ptw3
