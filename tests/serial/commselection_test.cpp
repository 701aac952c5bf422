#include "fakes.h"

#include "serial/commselection.h"
#include "settings/keys.h"

#include <gtest/gtest.h>

namespace zq4 {
namespace {

using test::MemoryStore;
using test::RecordingFeedback;
using test::ScriptedPort;

const QString kDakcommPath = QStringLiteral("ZQ4/Startup/Dakcomm/");

class CommSelClick : public ::testing::Test {
protected:
    ScriptedPort port;
    MemoryStore store;
    RecordingFeedback feedback;
    CommSelection selection{port, store, feedback};

    QString savedPort() {
        return store.GetSetting(keys::kApplication, keys::kStartup, keys::kDakcomm, QString());
    }
    qsizetype beeps() const { return feedback.events.count(QStringLiteral("beep")); }
};

TEST_F(CommSelClick, FirstPickOpensThePortSavesItAndEmptiesTheReceiveBuffer) {
    selection.CommSel_Click(2);

    EXPECT_EQ(port.calls, (QStringList{"portOpen", "setCommPort(3)", "setPortOpen(true)",
                                       "setInputLen(0)", "input"}));
    EXPECT_EQ(store.puts, QStringList{kDakcommPath + "3"});
    EXPECT_EQ(selection.CommNum(), 3);
    EXPECT_EQ(selection.PortError(), 0);
    EXPECT_TRUE(feedback.events.isEmpty());
}

TEST_F(CommSelClick, PickingTheOpenPortAgainClosesReopensAndSavesAgain) {
    selection.CommSel_Click(4);
    port.calls.clear();

    selection.CommSel_Click(4);

    EXPECT_EQ(port.calls, (QStringList{"portOpen", "setPortOpen(false)", "setCommPort(5)",
                                       "setPortOpen(true)", "setInputLen(0)", "input"}));
    EXPECT_EQ(store.puts, (QStringList{kDakcommPath + "5", kDakcommPath + "5"}));
    EXPECT_TRUE(port.open);
}

struct FailingStep {
    const char* name;
    QString failingCall;
    bool storeRefuses;
    bool saved;    // a put of "Dakcomm" was made
    bool leftOpen; // the port is open when the routine ends
    QStringList calls;
};

void PrintTo(const FailingStep& step, std::ostream* out) {
    *out << step.name;
}

class CommSelClickFailingStep : public CommSelClick,
                                public ::testing::WithParamInterface<FailingStep> {};

// One failing step: one beep and one box, PortError 1, and the routine goes on as far as the
// failure lets it. The port was open on Com2: before the pick of Com4:.
TEST_P(CommSelClickFailingStep, IsReportedOnceAndTheRoutineResumes) {
    const FailingStep& failure = GetParam();
    selection.CommSel_Click(1);
    port.calls.clear();
    store.puts.clear();
    if (!failure.failingCall.isEmpty()) {
        port.failing.insert(failure.failingCall);
    }
    store.failPuts = failure.storeRefuses;

    selection.CommSel_Click(3);

    EXPECT_EQ(port.calls, failure.calls);
    EXPECT_EQ(beeps(), 1);
    ASSERT_EQ(feedback.events.size(), 2);
    EXPECT_TRUE(feedback.events[1].startsWith(QStringLiteral("warn ZQ4: ")));
    EXPECT_EQ(selection.PortError(), 1);
    EXPECT_EQ(store.puts.size(), failure.saved ? 1 : 0);
    EXPECT_EQ(port.open, failure.leftOpen);
}

const QStringList kWholeRoutine{"portOpen",          "setPortOpen(false)", "setCommPort(4)",
                                "setPortOpen(true)", "setInputLen(0)",     "input"};
const QStringList kUpToTheOpen = kWholeRoutine.mid(0, 4);

INSTANTIATE_TEST_SUITE_P(
    Steps, CommSelClickFailingStep,
    ::testing::Values(
        // A failing test of PortOpen still goes on to the close.
        FailingStep{"OpenTest", "portOpen", false, false, true, kUpToTheOpen},
        FailingStep{"Close", "setPortOpen(false)", false, false, true, kUpToTheOpen},
        // The open still runs, on the port number the port held before.
        FailingStep{"CommPort", "setCommPort(4)", false, false, true, kUpToTheOpen},
        FailingStep{"Open", "setPortOpen(true)", false, false, false, kUpToTheOpen},
        FailingStep{"Save", "", true, true, true, kWholeRoutine},
        FailingStep{"InputLen", "setInputLen(0)", false, true, true, kWholeRoutine},
        FailingStep{"Input", "input", false, true, true, kWholeRoutine}),
    [](const ::testing::TestParamInfo<FailingStep>& info) { return info.param.name; });

TEST_F(CommSelClick, TwoFailingStepsGiveTwoBeepsAndTwoBoxesInOrder) {
    port.failing = {"setCommPort(7)", "setPortOpen(true)"};

    selection.CommSel_Click(6);

    EXPECT_EQ(feedback.events, (QStringList{"beep", "warn ZQ4: setCommPort(7) failed", "beep",
                                            "warn ZQ4: setPortOpen(true) failed"}));
    EXPECT_TRUE(store.puts.isEmpty());
}

TEST_F(CommSelClick, FailedOpenLeavesDakcommUnwrittenAndPortErrorSetUntilTheNextPick) {
    port.failing = {"setPortOpen(true)"};
    selection.CommSel_Click(2);
    ASSERT_EQ(selection.PortError(), 1);
    EXPECT_EQ(savedPort(), QString());
    EXPECT_EQ(port.calls.count(QStringLiteral("input")), 0);

    port.failing.clear();
    selection.CommSel_Click(2);

    EXPECT_EQ(selection.PortError(), 0);
    EXPECT_EQ(savedPort(), QStringLiteral("3"));
}

class CommSelClickWithoutSelection : public CommSelClick,
                                     public ::testing::WithParamInterface<int> {};

// Steps 3 to 5 still run with the previous port number, reopening the previous port.
TEST_P(CommSelClickWithoutSelection, ReopensThePreviousPortAndSavesNothing) {
    selection.CommSel_Click(5);
    port.calls.clear();
    store.puts.clear();

    selection.CommSel_Click(GetParam());

    EXPECT_EQ(selection.CommNum(), 6);
    EXPECT_EQ(port.calls, (QStringList{"portOpen", "setPortOpen(false)", "setCommPort(6)",
                                       "setPortOpen(true)"}));
    EXPECT_TRUE(port.open);
    EXPECT_TRUE(store.puts.isEmpty());
    EXPECT_EQ(beeps(), 1);
    EXPECT_EQ(selection.PortError(), 1);
}

INSTANTIATE_TEST_SUITE_P(Positions, CommSelClickWithoutSelection, ::testing::Values(-1, 9));

TEST_F(CommSelClick, LostPortIsReportedLikeAFailedStep) {
    selection.CommSel_Click(0);
    ASSERT_TRUE(port.lostHandler);

    port.lostHandler(QStringLiteral("Com1: (/dev/ttyUSB0): the device is gone"));

    EXPECT_EQ(feedback.events,
              (QStringList{"beep", "warn ZQ4: Com1: (/dev/ttyUSB0): the device is gone"}));
    EXPECT_EQ(selection.PortError(), 1);
}

TEST(CommSelectionLifetime, EndingTheRoutineOwnerUninstallsTheLostHandler) {
    ScriptedPort port;
    MemoryStore store;
    RecordingFeedback feedback;
    {
        CommSelection selection(port, store, feedback);
        EXPECT_TRUE(port.lostHandler);
    }
    EXPECT_FALSE(port.lostHandler);
}

} // namespace
} // namespace zq4
