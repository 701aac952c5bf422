#include "panel/panel.h"

#include "settings/keys.h"
#include "tests/support/fakes.h"

#include <gtest/gtest.h>

#include <random>

namespace zq4 {
namespace {

using test::FakePort;

// Random picks and sends over a port whose steps fail at random: the panel never crashes,
// writes only whole frames, and keeps PortError and the stored port to their rules.
TEST(ChaoticPort, PicksAndSendsKeepTheirRules) {
    std::mt19937 random(20261206);
    const auto uniform = [&random](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    test::RecordingFeedback feedback;
    test::MemoryStore store;
    store.log = &feedback.shown;
    FakePort port;
    PlainPanelValues values;
    CommSelection selection(port, store, feedback);
    Panel panel(values, selection, store, feedback);
    panel.Form_Load();

    int picks = 0, saves = 0;
    std::size_t frames = 0;
    for (int round = 0; round < 10000; ++round) {
        port.failing.clear();
        for (int step = FakePort::CommPort; step <= FakePort::Output; ++step) {
            if (uniform(0, 9) == 0) {
                port.failing.push_back(static_cast<FakePort::Step>(step));
            }
        }
        feedback.shown.clear();
        if (uniform(0, 1) == 0) {
            ++picks;
            const int position = uniform(-1, 8);
            const std::int16_t before = selection.CommNum();
            // A store that already holds the port is not written; one that does not must be.
            store.set(keys::kStartup, keys::kDakcomm, QString());
            values.setCommSel(position);
            panel.CommSel_Click();

            const qsizetype boxes = feedback.shown.filter("box:").size();
            ASSERT_EQ(boxes, feedback.shown.count("beep"));
            ASSERT_EQ(selection.PortError(), boxes > 0 ? 1 : 0);
            ASSERT_EQ(selection.CommNum(), position >= 0 ? position + 1 : before);
            // Saved exactly when an entry was picked and nothing up to the open failed, and
            // then before any box.
            const qsizetype save =
                feedback.shown.indexOf(QStringLiteral("put:Dakcomm=%1").arg(selection.CommNum()));
            const bool opened = position >= 0 && !port.fails(FakePort::CommPort) &&
                                !port.fails(FakePort::PortOpenGet) &&
                                !port.fails(FakePort::PortOpenSet);
            ASSERT_EQ(save >= 0, opened);
            saves += opened ? 1 : 0;
            ASSERT_TRUE(save < 0 || feedback.shown.first(save).filter("box:").isEmpty());
        } else {
            values.setBrtVal(uniform(-1, 3));
            values.setMessage(uniform(-1, 163));
            panel.setVScroll1(uniform(0, 128));
            QString text;
            for (int length = uniform(0, 13); length > 0; --length) {
                text += QChar(uniform(0x20, 0x17F));
            }
            values.setText1(text);
            panel.SendButton_Click();
            ASSERT_TRUE(feedback.shown.filter("box:").isEmpty());
        }
        for (; frames < port.written.size(); ++frames) {
            ASSERT_EQ(port.written[frames].size(), 18);
            ASSERT_EQ(port.written[frames].indexOf("\xFF\xFE"), 16);
        }
    }
    // The run exercised both outcomes of a pick and wrote frames.
    EXPECT_GT(picks, 4000);
    EXPECT_GT(saves, 1000);
    EXPECT_LT(saves, picks);
    EXPECT_GT(frames, 1000u);
}

} // namespace
} // namespace zq4
