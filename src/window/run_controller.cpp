#include "window/run_controller.h"

#include "common/run_context.h"

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <thread>

namespace ptw3 {

// The computation's side of the dialogue with the person: everything is handed to the
// window's thread, lines and progress without waiting, questions and boxes waiting for the
// answer.
class RunController::WorkerInteraction : public UserInteraction {
public:
    WorkerInteraction(RunController& controller, RunView& view)
        : m_controller(controller)
        , m_view(view) {}

    void message(int32_t index, const std::string& text) override {
        post([&view = m_view, index, line = QString::fromStdString(text)] {
            view.showMessageLine(index, line);
        });
    }
    void messagesBlanked(int32_t first, int32_t last) override {
        post([&view = m_view, first, last] { view.blankMessageLines(first, last); });
    }
    bool confirm(const std::string& text) override {
        bool yes = false;
        QMetaObject::invokeMethod(
            &m_controller, [&] { yes = m_view.askQuestion(QString::fromStdString(text)); },
            Qt::BlockingQueuedConnection);
        return yes;
    }
    void inform(const std::string& text) override {
        QMetaObject::invokeMethod(
            &m_controller, [&] { m_view.showInformation(QString::fromStdString(text)); },
            Qt::BlockingQueuedConnection);
    }
    void progress(const std::string& phase, double fraction) override {
        post([&view = m_view, name = QString::fromStdString(phase), fraction] {
            view.showProgress(name, fraction);
        });
    }

private:
    template <class Call> void post(Call&& call) {
        QMetaObject::invokeMethod(&m_controller, std::forward<Call>(call), Qt::QueuedConnection);
    }

    RunController& m_controller;
    RunView& m_view;
};

// One computation under way: the options it started with, its context and its thread.
struct RunController::Run {
    Run(RunController& controller, RunView& view, ProgramState& state, const Clock& clock)
        : user(controller, view)
        , context(state.messages, user, clock) {}

    RunOutcome outcome;
    WorkerInteraction user;
    RunContext context;
    std::thread thread;
    std::atomic<bool> done = false;
};

RunController::RunController(QObject* parent, RunView& view, ProgramState& state,
                             const Clock& clock)
    : QObject(parent)
    , m_view(view)
    , m_state(state)
    , m_clock(clock) {}

RunController::~RunController() {
    abandonAndWait();
}

void RunController::start(const RunChoices& choices) {
    if (m_run) {
        return;
    }
    m_run = std::make_unique<Run>(*this, m_view, m_state, m_clock);
    Run* r = m_run.get();
    r->thread = std::thread([this, r, choices] {
        try {
            runCalculation(m_state, choices, r->context);
        } catch (const Stop& stop) {
            r->outcome.stop = stop.reason();
            writeStopLines(stop, r->context);
        } catch (const std::exception& e) {
            r->outcome.error = e.what();
        } catch (...) {
            r->outcome.error = "nieznany błąd";
        }
        QMetaObject::invokeMethod(
            this, [this] { finish(); }, Qt::QueuedConnection);
        r->done.store(true);
    });
}

void RunController::stop(StopReason reason) {
    if (m_run) {
        m_run->context.requestCancel(reason);
    }
}

void RunController::abandonAndWait() {
    if (!m_run) {
        return;
    }
    m_run->context.requestCancel(StopReason::Abandoned);
    // The computation may be waiting for the window to show a question: keep serving it
    // until it has unwound (its end may be handled meanwhile).
    while (m_run && !m_run->done.load()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    if (m_run) {
        m_run->thread.join();
        m_run.reset();
    }
}

void RunController::finish() {
    if (!m_run) {
        return;
    }
    const std::unique_ptr<Run> run = std::move(m_run);
    run->thread.join();
    m_view.runFinished(run->outcome);
}

} // namespace ptw3
