#include "tests/support/fakes.h"

#include "panel/commselection.h"

#include <gtest/gtest.h>

namespace zq4 {
namespace {

using test::FakePort;

// Picks in turn over a port that fails the steps it is told to. Each failure is reported as it
// comes, in order, and the steps after it still run; the port is saved (with the puts noted
// among what the operator was shown) only when the pick opened it, before any later failure.
TEST(CommSelClick, ReportsEachFailedStepInOrderAndSavesOnlyAPortItOpened) {
    FakePort port;
    test::MemoryStore store;
    test::RecordingFeedback feedback;
    store.log = &feedback.shown;
    CommSelection selection{port, store, feedback};
    using enum FakePort::Step;
    // The steps that fail, whether the put fails, the pick, what the operator was shown (each box
    // titled ZQ4).
    const std::tuple<QList<FakePort::Step>, bool, int, QString> picks[] = {
        {{CommPort, PortOpenSet}, false, 2, "beep|box:step 0 failed|beep|box:step 2 failed"},
        {{InputLen}, false, 2, "put:Dakcomm=3|beep|box:step 3 failed"},
        {{Input}, true, 4, "put:Dakcomm=5|beep|box:disk full|beep|box:step 4 failed"},
        {{}, false, -1, "beep|box:No entry of the port list is selected: Com5: stays in use"},
    };
    for (const auto& [failing, failPuts, position, shown] : picks) {
        port.failing = failing;
        store.failPuts = failPuts;
        feedback.shown.clear();
        selection.CommSel_Click(position);
        EXPECT_EQ(feedback.shown.join('|').replace("box:ZQ4:", "box:"), shown);
        EXPECT_EQ(selection.PortError(), shown.contains("box:") ? 1 : 0) << shown.toStdString();
        EXPECT_EQ(port.open, !failing.contains(PortOpenSet)) << shown.toStdString();
    }
    // The pick without a selection reopened the port in use.
    EXPECT_EQ(port.opens, (std::vector<std::int16_t>{3, 5, 5}));
}

} // namespace
} // namespace zq4
