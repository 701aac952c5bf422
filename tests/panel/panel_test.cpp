#include "panel/panel.h"

#include "settings/keys.h"
#include "tests/support/fakes.h"

#include <gtest/gtest.h>

namespace zq4 {
namespace {

// A window's worth of state over the store, started as the program starts.
struct Started {
    explicit Started(test::MemoryStore& store) : store(store) { panel.Form_Load(); }

    test::MemoryStore& store;
    PlainPanelValues values;
    test::FakePort port;
    test::RecordingFeedback feedback;
    CommSelection selection{port, store, feedback};
    Panel panel{values, selection, store, feedback};
};

// Stored values within their control's range come back, -1 ("no selection") and port 0 ("no
// port") included; anything else, or nothing stored, gives the key's default. A longer text
// keeps its first 13 characters. The port restored is opened and, unless stored so, saved.
TEST(PanelStartUp, RestoresValuesInRangeAndFallsBackOtherwise) {
    // Dakcomm, Addr, Brt, Message, Custom as stored; CommSel, VScroll1, BrtVal, Message, Text1.
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
        test::MemoryStore store;
        for (qsizetype i = 0; i < stored.size(); ++i) {
            store.set(keys::kStartup, order[i], stored[i]);
        }
        Started run(store);
        const PlainPanelValues& v = run.values;
        EXPECT_EQ(Values(v.commSel(), v.vScroll1(), v.brtVal(), v.message(), v.text1()), expected);
        EXPECT_EQ(v.addrDis(), v.vScroll1() == 128 ? "ALL" : QString::number(v.vScroll1()));
        const int commSel = std::get<0>(expected);
        EXPECT_EQ(run.port.open ? run.port.commPort - 1 : -1, commSel);
        EXPECT_EQ(store.value(keys::kStartup, keys::kDakcomm),
                  commSel < 0 ? "0" : QString::number(commSel + 1));
        EXPECT_TRUE(run.feedback.shown.isEmpty());
    }
}

// SEND writes only a whole frame, and only to an open port, then stores the choices in one put
// whatever came of the frame. It beeps once however many things failed, and shows a box for a
// failed store only the first time that failure comes up in a run.
TEST(PanelSend, BeepsOnceWhenSomethingFailedAndShowsEachStoreFailureOnce) {
    test::MemoryStore store;
    store.set(keys::kStartup, keys::kDakcomm, "0");
    Started run(store);
    store.log = &run.feedback.shown;
    // Port open, how the store fails ("" when it does not), brightness, message and text; whether
    // a frame is written, what the operator was shown ("put" standing for the put of the values).
    const std::tuple<bool, QString, int, int, QString, bool, QString> sends[] = {
        {false, "", 0, 0, "T", false, "put|beep"},
        {true, "", 0, 129, " x ", true, "put"},
        {true, "disk full", 0, 0, "T", true, "put|beep|box:ZQ4:disk full"},
        {false, "disk full", 0, 0, "T", false, "put|beep"},
        {true, "read-only", 0, 0, "T", true, "put|beep|box:ZQ4:read-only"},
        {true, "disk full", 0, 0, "T", true, "put|beep"},
        {true, "", -1, 7, "A", false, "put|beep"},
        {true, "", 1, -1, "B", false, "put|beep"},
        {true, "", 1, 7, "ABCDEFGHIJKLMN", false, "put|beep"},
        {true, "disk full", -1, 0, "T", false, "put|beep"},
    };
    std::size_t frames = 0;
    for (const auto& [open, failure, brightness, message, text, written, shown] : sends) {
        const QString put = QStringLiteral("put:Addr=0,Brt=%1,Message=%2,Custom=%3")
                                .arg(QString::number(brightness), QString::number(message), text);
        SCOPED_TRACE(put.toStdString() + (open ? " open " : " closed ") + failure.toStdString());
        run.port.open = open;
        store.failPuts = !failure.isEmpty();
        store.failure = failure;
        run.values.setBrtVal(brightness);
        run.values.setMessage(message);
        run.values.setText1(text);
        run.feedback.shown.clear();
        run.panel.SendButton_Click();
        EXPECT_EQ(run.feedback.shown.join('|'), QString(shown).replace("put", put));
        frames += written ? 1 : 0;
        EXPECT_EQ(run.port.written.size(), frames);
    }
}

} // namespace
} // namespace zq4
