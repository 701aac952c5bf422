#include "panel/panel.h"

#include "settings/keys.h"
#include "tests/support/fakes.h"

#include <gtest/gtest.h>

#include <random>

namespace zq4 {
namespace {

using test::FakePort;
using test::MemoryStore;
using test::RecordingFeedback;

// Random picks and sends over a port whose steps fail at random: the panel never crashes,
// writes only whole frames, and keeps PortError and the stored port to their rules.
TEST(ChaoticPort, PicksAndSendsKeepTheirRules) {
    std::mt19937 random(20261206);
    const auto uniform = [&random](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };

    RecordingFeedback feedback;
    MemoryStore store;
    store.log = &feedback.shown;
    FakePort port;
    PlainPanelValues values;
    CommSelection selection(port, store, feedback);
    Panel panel(values, selection, store, feedback);
    panel.Form_Load();

    const QList<FakePort::Step> steps{FakePort::CommPort,    FakePort::PortOpenGet,
                                      FakePort::PortOpenSet, FakePort::InputLen,
                                      FakePort::Input,       FakePort::Output};
    int picks = 0;
    int saves = 0;
    std::size_t framesChecked = 0;
    for (int round = 0; round < 10000; ++round) {
        port.failing.clear();
        for (FakePort::Step step : steps) {
            if (uniform(0, 9) == 0) {
                port.failing.push_back(step);
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

            const int boxes = feedback.count("box:");
            ASSERT_EQ(boxes, feedback.count("beep"));
            ASSERT_EQ(selection.PortError(), boxes > 0 ? 1 : 0);
            ASSERT_EQ(selection.CommNum(), position >= 0 ? position + 1 : before);
            const qsizetype save =
                feedback.shown.indexOf(QStringLiteral("put:Dakcomm=%1").arg(selection.CommNum()));
            // Saved exactly when an entry was picked and nothing up to the open failed, and
            // then before any box.
            const bool opened = position >= 0 && !port.fails(FakePort::CommPort) &&
                                !port.fails(FakePort::PortOpenGet) &&
                                !port.fails(FakePort::PortOpenSet);
            ASSERT_EQ(save >= 0, opened);
            if (save >= 0) {
                ++saves;
                ASSERT_EQ(feedback.shown.mid(0, save).filter("box:").size(), 0);
            }
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
            ASSERT_EQ(feedback.count("box:"), 0);
        }

        for (; framesChecked < port.written.size(); ++framesChecked) {
            const QByteArray& frame = port.written[framesChecked];
            ASSERT_EQ(frame.size(), 18);
            ASSERT_TRUE(frame.endsWith("\xFF\xFE"));
            ASSERT_EQ(frame.indexOf("\xFF\xFE"), 16);
        }
    }
    // The run exercised both outcomes of a pick and wrote frames.
    EXPECT_GT(picks, 4000);
    EXPECT_GT(saves, 1000);
    EXPECT_LT(saves, picks);
    EXPECT_GT(framesChecked, 1000u);
}

} // namespace
} // namespace zq4
