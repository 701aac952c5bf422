#include "panel/commselection.h"

#include "settings/keys.h"
#include "tests/support/fakes.h"

#include <gtest/gtest.h>

#include <random>

namespace zq4 {
namespace {

using test::FakePort;

// Random picks over a port whose steps fail at random: each failure is told with one beep and
// one box, and PortError, the port in use and the stored port keep to their rules.
TEST(ChaoticPort, PicksKeepTheirRules) {
    std::mt19937 random(20261206);
    const auto uniform = [&random](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    test::RecordingFeedback feedback;
    test::MemoryStore store;
    store.log = &feedback.shown;
    FakePort port;
    CommSelection selection(port, store, feedback);
    int saves = 0;
    for (int pick = 0; pick < 5000; ++pick) {
        port.failing.clear();
        for (int step = FakePort::CommPort; step <= FakePort::Output; ++step) {
            if (uniform(0, 9) == 0) {
                port.failing.push_back(static_cast<FakePort::Step>(step));
            }
        }
        feedback.shown.clear();
        const int position = uniform(-1, 8);
        const std::int16_t before = selection.CommNum();
        // A store that already holds the port is not written; one that does not must be.
        store.set(keys::kStartup, keys::kDakcomm, QString());
        selection.CommSel_Click(position);

        const qsizetype boxes = feedback.shown.filter("box:").size();
        ASSERT_EQ(boxes, feedback.shown.count("beep"));
        ASSERT_EQ(selection.PortError(), boxes > 0 ? 1 : 0);
        ASSERT_EQ(selection.CommNum(), position >= 0 ? position + 1 : before);
        // Saved exactly when an entry was picked and nothing up to the open failed, and then
        // before any box.
        const qsizetype save =
            feedback.shown.indexOf(QStringLiteral("put:Dakcomm=%1").arg(selection.CommNum()));
        const bool opened = position >= 0 && !port.fails(FakePort::CommPort) &&
                            !port.fails(FakePort::PortOpenGet) &&
                            !port.fails(FakePort::PortOpenSet);
        ASSERT_EQ(save >= 0, opened);
        saves += opened ? 1 : 0;
        ASSERT_TRUE(save < 0 || feedback.shown.first(save).filter("box:").isEmpty());
    }
    // The run exercised both outcomes of a pick.
    EXPECT_GT(saves, 1000);
    EXPECT_LT(saves, 4000);
}

} // namespace
} // namespace zq4
