#include "panel/linesharehost.h"

#include "serial/linelock.h"
#include "serial/lineshare.h"
#include "settings/keys.h"
#include "tests/support/fakes.h"

#include <QLocalSocket>
#include <QtTest>

#include <gtest/gtest.h>

#include <future>

namespace zq4 {
namespace {

using namespace std::chrono_literals;

const FrameInputs kHold{.text = "HOLD", .brightnessCode = 0, .messageCode = 20, .addressCode = 5};

// The window's side of a shared line over a fake port, on a device of the test's own, so that
// no real window's channel is met; the window's port is picked and open.
struct SharedLineTest : ::testing::Test {
    void SetUp() override {
        selection.CommSel_Click(0);
        host = MakeLineShareHost({.port = port,
                                  .commSelection = selection,
                                  .device = [this] { return device; },
                                  .queuedBytes = [this] { return queued; }},
                                 [this](const QString& line) { log << line; });
        ASSERT_TRUE(port.opened && log.isEmpty()) << log.join('\n').toStdString();
        puts = store.puts;
    }
    // Hands the frame over as zq4 send does, from a thread of its own while this one serves.
    std::optional<Status> handOver(const FrameInputs& inputs) {
        auto script = std::async(std::launch::async, [&] {
            return HandFrameToWindow(device, "Com1: (test)", inputs, {});
        });
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return script.wait_for(0ms) == std::future_status::ready; }, 10000));
        return script.get();
    }

    const QString device = "zq4-test-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
    test::MemoryStore store;
    test::FakePort port;
    test::RecordingFeedback feedback;
    CommSelection selection{port, store, feedback};
    QStringList log;
    int puts = 0;
    qint64 queued = 0; // bytes that have not left the port
    std::unique_ptr<QObject> host;
};

// A frame goes out through the window's port as it would from the script itself: written once,
// told as done once it has left the port, or as the port's own failure (a busy line refuses it as
// it refuses a SEND, in the window's words); one that the device does not take in time is told so,
// and never sent again. A window whose port has closed meanwhile takes nothing, and the script
// opens the line itself. The window shows and stores nothing.
TEST_F(SharedLineTest, AFrameGoesOutThroughTheWindowsPortAsFromTheScriptItself) {
    using enum test::FakePort::Step;
    // The step that fails, whether the port is open, whether its line is busy, bytes that do not
    // leave it, the outcome (none: not taken), frames written.
    const std::tuple<test::FakePort::Step, bool, bool, qint64, std::optional<QString>, int>
        cases[] = {
            {DiscardInput, true, false, 0, "", 1},
            {Write, true, false, 0, "step 4 failed", 0},
            {DiscardInput, true, true, 0, "the line is busy", 0},
            {DiscardInput, false, false, 0, std::nullopt, 0},
            {DiscardInput, true, false, 100,
             "Com1: (" + device +
                 "): the device did not take the frame within 3 s (100 bytes are still waiting): "
                 "the window sends it when the device takes them, or drops it when its port closes",
             1},
        };
    for (const auto& [failing, open, busy, stuck, outcome, written] : cases) {
        SCOPED_TRACE(outcome.value_or("(none)").toStdString());
        port.written.clear();
        port.failing = {failing};
        port.opened = open;
        port.busy = busy;
        queued = stuck;
        const std::optional<Status> handed = handOver(kHold);
        ASSERT_EQ(handed.has_value(), outcome.has_value());
        if (handed) {
            EXPECT_EQ(handed->description(), *outcome);
        }
        EXPECT_EQ(port.written, std::vector<QByteArray>(written, BuildFrame(kHold)));
    }
    EXPECT_EQ(feedback.shown, QStringList());
    EXPECT_EQ(store.puts, puts);
    EXPECT_EQ(log, QStringList());
}

// Each request that is not whole and valid in time is refused and logged, and nothing of it
// reaches the line; a script's frame handed over meanwhile goes out all the same.
TEST_F(SharedLineTest, RequestsNotWholeAndValidInTimeAreRefusedWhileOthersAreServed) {
    const auto request = [this](FrameInputs inputs, const QString& to = {}) {
        return ShareRequestBytes({to.isEmpty() ? LineDevice(device) : to, inputs});
    };
    const QByteArray whole = request(kHold);
    FrameInputs message164 = kHold;
    message164.messageCode = 164;
    // What a script writes, whether it then goes, and the log's reason.
    const std::tuple<QByteArray, bool, QString> cases[] = {
        {whole.left(whole.size() / 2), true, "its request was cut short after"},
        {QByteArray(kShareRequestLimit + 1, ' '), false, "larger than 2048 bytes"},
        {request(message164), false, "\"message\" must be a whole number 0..163, not 164"},
        {request(kHold, "/dev/elsewhere"), false, "the window holds"},
        {whole.left(whole.size() / 2), false, "no whole request came within 1000 ms"},
    };
    for (const auto& [sent, goes, reason] : cases) {
        SCOPED_TRACE(reason.toStdString());
        port.written.clear();
        log.clear();
        QLocalSocket script;
        script.connectToServer(LineShareName(device).value());
        ASSERT_TRUE(script.waitForConnected(5000));
        script.write(sent);
        (void)script.flush(); // a pipe on Windows finishes the write as events are handled
        if (goes) {
            script.disconnectFromServer();
        }
        EXPECT_EQ(handOver(kHold).value_or(Status::Failed("not taken")).description(), "");
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return script.state() == QLocalSocket::UnconnectedState; }, 5000));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !log.isEmpty(); }, 1000));
        EXPECT_EQ(log.size(), 1);
        EXPECT_TRUE(log.value(0).contains(reason)) << log.join('\n').toStdString();
        EXPECT_EQ(port.written, std::vector<QByteArray>{BuildFrame(kHold)});
    }
    EXPECT_EQ(feedback.shown, QStringList());
}

} // namespace
} // namespace zq4
