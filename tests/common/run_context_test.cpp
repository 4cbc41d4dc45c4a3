#include "common/encoding.h"
#include "common/interruption.h"
#include "common/run_context.h"
#include "common/stop.h"
#include "common/text_file.h"
#include "run/calculation_run.h"
#include "run/working_folder.h"
#include "test_support.h"

#include <functional>
#include <gtest/gtest.h>

namespace ptw3 {
namespace {

using test::ScriptedInteraction;
using test::TempFolder;
using test::TestContext;

std::optional<StopReason> stopOf(const std::function<void()>& step) {
    try {
        step();
    } catch (const Stop& stop) {
        return stop.reason();
    }
    return std::nullopt;
}

TEST(RunCancel, TakesEffectAtTheNextLineQuestionOrBox) {
    struct Case {
        const char* step;
        std::function<void(RunContext&)> call;
    };
    const Case cases[] = {
        {"message", [](RunContext& c) { c.message("x"); }},
        {"messageAt", [](RunContext& c) { c.messageAt(7, "x"); }},
        {"confirm", [](RunContext& c) { c.confirm("?"); }},
        {"inform", [](RunContext& c) { c.inform("!"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.step);
        TestContext t({true});
        t.context.message("before");
        t.context.requestCancel();
        EXPECT_EQ(stopOf([&] { c.call(t.context); }), StopReason::Abandoned);
        // Nothing of the abandoned step reaches the list or the person.
        EXPECT_EQ(t.messages.messageLine, 1);
        EXPECT_EQ(t.user.transcript, std::vector<std::string>{"message: before"});
    }
}

// Cancels the computation while a question or a box is on the screen.
class CancellingInteraction : public ScriptedInteraction {
public:
    CancellingInteraction()
        : ScriptedInteraction({true}) {}
    RunContext* context = nullptr;
    bool confirm(const std::string& text) override {
        context->requestCancel();
        return ScriptedInteraction::confirm(text);
    }
    void inform(const std::string& text) override {
        context->requestCancel();
        ScriptedInteraction::inform(text);
    }
};

TEST(RunCancel, ACancelDuringAQuestionWinsOverTheAnswer) {
    MessageList messages;
    CancellingInteraction user;
    const FixedClock clock(LocalDateTime{});
    RunContext context(messages, user, clock);
    user.context = &context;
    // Yes would go on and No would end as declined; the abandoned run does neither.
    EXPECT_EQ(stopOf([&] { context.confirm("Czy chcesz liczyć dalej?"); }), StopReason::Abandoned);
    RunContext second(messages, user, clock);
    user.context = &second;
    EXPECT_EQ(stopOf([&] { second.inform("box"); }), StopReason::Abandoned);
}

// Cancels the computation when the message list shows the given line.
class CancelAtLine : public ScriptedInteraction {
public:
    explicit CancelAtLine(std::string line)
        : m_line(std::move(line)) {}
    RunContext* context = nullptr;
    void message(int32_t index, const std::string& text) override {
        ScriptedInteraction::message(index, text);
        if (text == m_line) {
            context->requestCancel();
        }
    }

private:
    std::string m_line;
};

TEST(RunCancel, AnAbandonedRunLeavesItsReportClosedAndWritesNoSummary) {
    TempFolder folder;
    const auto data = std::filesystem::path(PTW3_TEST_DATA_DIR) / "complete_network";
    folder.copyFilesOf(data);
    ProgramState state;
    useWorkingFolder(state, folder.path());
    const RunChoices choices;
    CancelAtLine user(" LICZBA POWTÓREK DLUGOSCI = 1");
    const FixedClock clock(LocalDateTime{});
    RunContext context(state.messages, user, clock);
    user.context = &context;

    EXPECT_EQ(stopOf([&] { runCalculation(state, choices, context); }), StopReason::Abandoned);
    EXPECT_EQ(user.messages.back().second, " LICZBA POWTÓREK DLUGOSCI = 1");
    // The diagnostic report was open when the run stopped: what it holds is complete and
    // flushed, a beginning of the report of the whole data input, and its last line says
    // that the computation was interrupted.
    const std::string written = folder.read("er3a.ptw");
    const std::string ending = " \r\n" + interruptedReportLine() + "\r\n";
    ASSERT_TRUE(written.ends_with(ending));
    const std::string partial = written.substr(0, written.size() - ending.size());
    const std::string whole = *readFileBytes(data / "expected" / "ER3a.ptw");
    ASSERT_FALSE(partial.empty());
    EXPECT_LT(partial.size(), whole.size());
    EXPECT_EQ(whole.substr(0, partial.size()), partial);
    EXPECT_TRUE(partial.ends_with("\r\n"));
}

} // namespace
} // namespace ptw3
