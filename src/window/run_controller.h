// A computation of the window on a thread of its own. Message lines and progress
// go back to the window's thread as they come; questions and information boxes are
// shown there while the computation's thread waits for the answer. A stop asked for
// (the stop button, or closing the program) takes effect within the computation's
// next look for it; the window hears of the end through its event queue.
#pragma once

#include "common/clock.h"
#include "common/stop.h"
#include "run/calculation_run.h"
#include "run/program_state.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>
#include <string>

namespace ptw3 {

/// How a computation ended.
struct RunOutcome {
    std::optional<StopReason> stop;   ///< the reason it stopped before its summary
    std::optional<std::string> error; ///< an unexpected failure (UTF-8)
};

/// What the window shows of a computation; called on the window's thread.
class RunView {
public:
    virtual ~RunView() = default;
    virtual void showMessageLine(int index, const QString& text) = 0;
    virtual void blankMessageLines(int first, int last) = 0;
    /// A Yes/No question; true means Yes.
    virtual bool askQuestion(const QString& text) = 0;
    virtual void showInformation(const QString& text) = 0;
    virtual void showProgress(const QString& phase, double fraction) = 0;
    virtual void runFinished(const RunOutcome& outcome) = 0;
};

class RunController : public QObject {
public:
    RunController(QObject* parent, RunView& view, ProgramState& state, const Clock& clock);
    ~RunController() override;

    bool running() const { return m_run != nullptr; }
    /// Starts a computation with the choices; nothing while one runs.
    void start(const RunChoices& choices);
    /// Asks the computation under way to stop.
    void stop(StopReason reason);
    /// Asks the computation to stop and waits until it has, serving its dialogs meanwhile
    /// (the view answers them at once when the window is going away).
    void abandonAndWait();

private:
    class WorkerInteraction;
    struct Run;
    void finish();

    RunView& m_view;
    ProgramState& m_state;
    const Clock& m_clock;
    std::unique_ptr<Run> m_run;
};

} // namespace ptw3
