#include "panel/linesharehost.h"
#include "panel/panel.h"

#include "serial/linelock.h"
#include "serial/lineshare.h"
#include "settings/keys.h"
#include "tests/support/fakes.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QtTest>

#include <gtest/gtest.h>

#include <future>

namespace zq4 {
namespace {

using namespace std::chrono_literals;

// A window's worth of state over a store in memory and a fake port.
struct Rig {
    test::MemoryStore store;
    PlainPanelValues values;
    test::FakePort port;
    test::RecordingFeedback feedback;
    CommSelection selection{port, store, feedback};
    Panel panel{values, selection, store, feedback};
};
struct PanelTest : ::testing::Test, Rig {};

// Stored values within their control's range come back, -1 ("no selection") and port 0 ("no
// port") included; anything else, or nothing stored, gives the key's default. A longer text
// keeps its first 13 characters. The port restored is opened and, unless stored so, saved.
TEST(PanelStartUp, RestoresValuesInRangeAndFallsBackOtherwise) {
    // Dakcomm, Addr, Brt, Message, Custom as stored; the values they restore, in that order.
    using Values = std::tuple<int, int, int, int, QString>;
    const std::pair<QStringList, Values> cases[] = {
        {{}, {0, 0, 0, 0, ""}},
        {{"4", "77", "2", "163", "  AB  "}, {3, 77, 2, 163, "  AB  "}},
        {{"0", "128", "-1", "-1", "ABCDEFGHIJKLMNOPQ"}, {-1, 128, -1, -1, "ABCDEFGHIJKLM"}},
        {{"10", "129", "4", "164", ""}, {0, 0, 0, 0, ""}},
        {{"COM3", "-1", "-2", "99999999999", "x"}, {0, 0, 0, 0, "x"}},
    };
    const QStringList order{keys::kDakcomm, keys::kAddr, keys::kBrt, keys::kMessage, keys::kCustom};
    for (const auto& [stored, expected] : cases) {
        SCOPED_TRACE(stored.join(' ').toStdString());
        Rig run;
        for (qsizetype i = 0; i < stored.size(); ++i) {
            run.store.set(keys::kStartup, order[i], stored[i]);
        }
        run.panel.Form_Load();
        const PlainPanelValues& v = run.values;
        EXPECT_EQ(
            Values(v.portPosition(), v.address(), v.brightness(), v.message(), v.customText()),
            expected);
        const int commSel = std::get<0>(expected);
        EXPECT_EQ(run.port.opened ? run.port.opens.back() - 1 : -1, commSel);
        EXPECT_EQ(run.store.GetSetting(keys::kApplication, keys::kStartup, keys::kDakcomm, ""),
                  commSel < 0 ? "0" : QString::number(commSel + 1));
        EXPECT_TRUE(run.feedback.shown.isEmpty());
    }
}

// SEND writes only a whole frame, only to an open port that is not busy, then stores the choices
// in one put whatever came of the frame. A port not open is picked again first (its save noted
// among the puts); a frame that cannot go out for want of a port says why. It beeps once however
// much failed, and shows at most one box: the reopen's failure, a busy line at a burst's first SEND
// (until a frame goes through), a failed store the first time that failure comes in a run.
TEST_F(PanelTest, SendBeepsOnceWhenSomethingFailedAndShowsOneBoxForWhatIsNew) {
    store.set(keys::kStartup, keys::kDakcomm, "0");
    panel.Form_Load();
    store.log = &feedback.shown;
    // The port: 'o' open, 'r' closed and opens again, 'x' closed and fails to open, '-' none
    // selected; line busy, the store's failure, brightness, message, text; whether a frame is
    // written, what the operator was shown ("put": the put of the values).
    const std::tuple<char, bool, QString, int, int, QString, bool, QString> sends[] = {
        {'x', false, "", 0, 0, "T", false, "put|beep|box:ZQ4:step 2 failed"},
        {'o', false, "", 0, 129, " x ", true, "put"},
        {'o', false, "disk full", 0, 0, "T", true, "put|beep|box:ZQ4:disk full"},
        {'x', false, "disk full", 0, 0, "T", false, "put|beep|box:ZQ4:step 2 failed"},
        {'o', false, "read-only", 0, 0, "T", true, "put|beep|box:ZQ4:read-only"},
        {'o', false, "disk full", 0, 0, "T", true, "put|beep"},
        {'o', false, "", -1, 7, "A", false, "put|beep"},
        {'o', false, "", 1, 7, "ABCDEFGHIJKLMN", false, "put|beep"},
        {'o', false, "disk full", -1, 0, "T", false, "put|beep"},
        {'x', false, "", -1, 0, "T", false, "put|beep"},
        {'o', true, "", 0, 0, "T", false, "put|beep|box:ZQ4:the line is busy"},
        {'o', true, "", 0, 0, "T", false, "put|beep"},
        {'x', false, "", 0, 0, "T", false, "put|beep|box:ZQ4:step 2 failed"},
        {'o', true, "quota", 0, 0, "T", false, "put|beep|box:ZQ4:quota"},
        {'o', false, "", 0, 0, "T", true, "put"},
        {'o', true, "no room", 0, 0, "T", false, "put|beep|box:ZQ4:the line is busy\n\nno room"},
        {'r', false, "", 0, 0, "T", true, "put:Dakcomm=1|put"},
        {'x', false, "full", 0, 0, "T", false, "put|beep|box:ZQ4:step 2 failed\n\nfull"},
        {'-', false, "", 0, 0, "T", false,
         "put|beep|box:ZQ4:No port is selected in the port list: pick the display's port there"},
    };
    std::size_t frames = 0;
    for (const auto& [state, busy, failure, brightness, message, text, written, shown] : sends) {
        const QString put = QStringLiteral("put:Addr=0,Brt=%1,Message=%2,Custom=%3")
                                .arg(QString::number(brightness), QString::number(message), text);
        SCOPED_TRACE(put.toStdString() + ' ' + state + (busy ? " busy" : ""));
        values.setPortPosition(state == '-' ? -1 : 0);
        port.opened = state == 'o';
        port.failing = state == 'x' ? QList{test::FakePort::Open} : QList<test::FakePort::Step>{};
        port.busy = busy;
        store.failure = failure;
        values.setBrightness(brightness);
        values.setMessage(message);
        values.setCustomText(text);
        feedback.shown.clear();
        panel.SendButton_Click();
        EXPECT_EQ(feedback.shown.join('|').toStdString(),
                  QString(shown).replace(QRegularExpression("put(?=\\||$)"), put).toStdString());
        frames += written ? 1 : 0;
        EXPECT_EQ(port.written.size(), frames);
    }
}

// Picks in turn over a port that fails the steps it is told to. Each failure is reported as it
// comes, in order, and the steps after it still run; the port is saved (the puts noted among what
// the operator was shown) only when the pick opened it. A port that cannot tell whether it is open,
// or cannot be closed, is a failure too; a clean pick clears PortError.
TEST_F(PanelTest, PickReportsEachFailedStepInOrderAndSavesOnlyAPortItOpened) {
    store.log = &feedback.shown;
    using enum test::FakePort::Step;
    // The steps that fail, whether the put fails, the pick, what the operator was shown.
    const std::tuple<QList<test::FakePort::Step>, bool, int, QString> picks[] = {
        {{Open}, false, 2, "beep|box:step 2 failed"},
        {{DiscardInput}, false, 2, "put:Dakcomm=3|beep|box:step 3 failed"},
        {{IsOpen}, false, 0, "beep|box:step 0 failed"},
        {{Close, Open}, false, 1, "beep|box:step 1 failed|beep|box:step 2 failed"},
        {{DiscardInput}, true, 4, "put:Dakcomm=5|beep|box:disk full|beep|box:step 3 failed"},
        {{}, false, -1, "beep|box:No entry of the port list is selected: Com5: stays in use"},
        {{}, false, 8, "put:Dakcomm=9"},
    };
    for (const auto& [failing, failPuts, position, shown] : picks) {
        port.failing = failing;
        store.failure = failPuts ? "disk full" : "";
        feedback.shown.clear();
        selection.CommSel_Click(position);
        EXPECT_EQ(feedback.shown.join('|').replace("box:ZQ4:", "box:"), shown);
        EXPECT_EQ(selection.PortError(), shown.contains("box:") ? 1 : 0) << shown.toStdString();
    }
    // The pick without a selection reopened the port in use.
    EXPECT_EQ(port.opens, (std::vector<std::int16_t>{3, 1, 5, 5, 9}));
}

const FrameInputs kHold{.text = "HOLD", .brightnessCode = 0, .messageCode = 20, .addressCode = 5};

// The window's side of a shared line over a fake port, on a device of the test's own, so that
// no real window's channel is met; the window's port is picked and open.
struct SharedLineTest : ::testing::Test, Rig {
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
    QStringList log;
    int puts = 0;
    qint64 queued = 0; // bytes that have not left the port
    std::unique_ptr<QObject> host;
};

// A frame goes out through the window's port as from the script itself: written once, told as done
// once it has left the port, or as the port's own failure (a busy line refuses it as a SEND, in the
// window's words); one the device does not take in time is told so, never sent again. A window
// whose port has closed takes nothing: the script opens the line. The window shows, stores nothing.
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
    // What a script writes, whether it then goes, and the log's reason.
    const std::tuple<QByteArray, bool, QString> cases[] = {
        {whole.left(whole.size() / 2), true, "its request was cut short after"},
        {QByteArray(kShareRequestLimit + 1, ' '), false, "larger than 2048 bytes"},
        {request({"HOLD", 0, 164, 5}), false, "\"message\" must be a whole number 0..163, not 164"},
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

// The script's side against a window that misbehaves: one that says nothing within a second
// counts as absent (the script opens the line itself); one that accepted and then goes without
// telling is a failure, never a reason to open the line and send the frame a second time.
TEST(ScriptHandingOver, ASilentWindowIsAbsentAndOneGoneAfterAcceptingIsAFailure) {
    const QString device = "zq4-test-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
    // The window's answer to the request (it closes at the confirmation), the script's outcome
    // (none: it opens the line itself).
    const std::pair<QByteArray, std::optional<QString>> cases[] = {
        {"", std::nullopt},
        {"{\"answer\":\"accepted\"}\n",
         "Com1: (test): the window that holds the line ended before it told whether the frame "
         "went out"},
    };
    for (const auto& [answer, outcome] : cases) {
        SCOPED_TRACE(answer.toStdString());
        QLocalServer window;
        window.setSocketOptions(QLocalServer::UserAccessOption);
        ASSERT_TRUE(window.listen(LineShareName(device).value()))
            << window.errorString().toStdString();
        QObject::connect(&window, &QLocalServer::newConnection, [&window, answer] {
            QLocalSocket* script = window.nextPendingConnection();
            QObject::connect(script, &QLocalSocket::readyRead, [script, answer] {
                while (script->canReadLine()) {
                    if (script->readLine().startsWith("{\"send\"")) {
                        script->disconnectFromServer();
                    } else {
                        script->write(answer);
                    }
                }
            });
        });
        QElapsedTimer took;
        took.start();
        auto script = std::async(std::launch::async, [&device] {
            return HandFrameToWindow(device, "Com1: (test)", kHold, {});
        });
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return script.wait_for(0ms) == std::future_status::ready; }, 10000));
        const std::optional<Status> handed = script.get();
        const QString none = "(none: the script opens the line)";
        EXPECT_EQ((handed ? handed->description() : none).toStdString(),
                  outcome.value_or(none).toStdString());
        EXPECT_LT(took.elapsed(), 2 * kShareAnswerTime.count());
    }
}

} // namespace
} // namespace zq4
