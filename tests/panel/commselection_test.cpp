#include "tests/support/fakes.h"

#include "panel/commselection.h"
#include "settings/keys.h"

#include <gtest/gtest.h>

namespace zq4 {
namespace {

using test::FakePort;

// The routine over a port that fails the steps it is told to; the fake's failure texts are
// "step <n> failed", numbered in the order of FakePort::Step.
class CommSelClick : public ::testing::Test {
protected:
    FakePort port;
    test::MemoryStore store;
    test::RecordingFeedback feedback;
    CommSelection selection{port, store, feedback};
};

TEST_F(CommSelClick, TwoFailingStepsGiveTwoBeepsAndBoxesInOrderAndNoSaveUntilTheNextPick) {
    port.failing = {FakePort::CommPort, FakePort::PortOpenSet};
    selection.CommSel_Click(2);
    EXPECT_EQ(feedback.shown,
              (QStringList{"beep", "box:ZQ4:step 0 failed", "beep", "box:ZQ4:step 2 failed"}));
    EXPECT_EQ(selection.PortError(), 1);
    EXPECT_FALSE(store.has(keys::kStartup, keys::kDakcomm));

    port.failing.clear();
    selection.CommSel_Click(2);
    EXPECT_EQ(selection.PortError(), 0);
    EXPECT_EQ(store.value(keys::kStartup, keys::kDakcomm), QStringLiteral("3"));
}

// The save, emptying the receive buffer and the read after the open: each failure is reported
// in turn, the steps after it still run, and the port stays open.
TEST_F(CommSelClick, FailuresAfterTheOpenAreReportedAfterTheSaveAndLeaveThePortOpen) {
    port.failing = {FakePort::InputLen, FakePort::Input};
    store.failPuts = true;

    selection.CommSel_Click(4);

    EXPECT_EQ(feedback.shown,
              (QStringList{"beep", "box:ZQ4:disk full", "beep", "box:ZQ4:step 3 failed", "beep",
                           "box:ZQ4:step 4 failed"}));
    EXPECT_EQ(selection.PortError(), 1);
    EXPECT_TRUE(port.open);
}

TEST_F(CommSelClick, NoSelectionReopensThePreviousPortAndSavesNothing) {
    selection.CommSel_Click(5);

    selection.CommSel_Click(-1);

    EXPECT_EQ(port.opens, (std::vector<std::int16_t>{6, 6}));
    EXPECT_EQ(store.puts, 1);
    EXPECT_EQ(feedback.shown, (QStringList{"beep", "box:ZQ4:No entry of the port list is "
                                                   "selected: Com6: stays in use"}));
}

} // namespace
} // namespace zq4
