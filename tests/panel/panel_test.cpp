#include "panel/panel.h"

#include "protocol/frame.h"
#include "settings/keys.h"
#include "tests/support/fakes.h"

#include <gtest/gtest.h>

#include <memory>

namespace zq4 {
namespace {

using test::FakePort;
using test::MemoryStore;
using test::RecordingFeedback;

// Panel values that count how often the address display was written.
class CountingValues : public PlainPanelValues {
public:
    void setAddrDis(const QString& text) override {
        ++addrDisWrites;
        PlainPanelValues::setAddrDis(text);
    }
    int addrDisWrites = 0;
};

class PanelTest : public ::testing::Test {
protected:
    // A fresh window's worth of state over the same store, as a new start of the program.
    void start(QList<FakePort::Step> failingSteps = {}) {
        panel.reset();
        selection.reset();
        values = std::make_unique<CountingValues>();
        port = std::make_unique<FakePort>();
        port->failing = failingSteps;
        feedback = std::make_unique<RecordingFeedback>();
        selection = std::make_unique<CommSelection>(*port, store, *feedback);
        panel = std::make_unique<Panel>(*values, *selection, store, *feedback);
        panel->Form_Load();
    }
    void storeValue(const QString& key, const QString& value) {
        store.set(keys::kStartup, key, value);
    }
    QString stored(const QString& key) const { return store.value(keys::kStartup, key); }

    MemoryStore store;
    std::unique_ptr<CountingValues> values;
    std::unique_ptr<FakePort> port;
    std::unique_ptr<RecordingFeedback> feedback;
    std::unique_ptr<CommSelection> selection;
    std::unique_ptr<Panel> panel;
};

TEST_F(PanelTest, FirstStartOnEmptyStorePicksDefaultsAndOpensCom1) {
    start();
    EXPECT_EQ(values->commSel(), 0);
    EXPECT_EQ(port->opens, std::vector<std::int16_t>{1});
    EXPECT_EQ(stored(keys::kDakcomm), "1");
    EXPECT_EQ(std::tuple(values->vScroll1(), values->brtVal(), values->message(), values->text1()),
              std::tuple(0, 0, 0, QString()));
    EXPECT_EQ(values->addrDis(), "0");
    // The address did not change, so only the last step of start-up wrote the display.
    EXPECT_EQ(values->addrDisWrites, 1);
    EXPECT_TRUE(feedback->shown.isEmpty());
}

// Stored values within their control's range come back, -1 ("no selection") and port 0 ("no
// port") included; anything else falls back to the key's default. A longer text keeps its first
// 13 characters.
TEST_F(PanelTest, StartUpRestoresValuesInRangeAndFallsBackOtherwise) {
    struct Case {
        QString dakcomm, addr, brt, message, custom;
        int commSel, vScroll1, brtVal, messagePos;
        QString text1;
    };
    const std::vector<Case> cases{
        {"4", "77", "2", "163", "  AB  ", 3, 77, 2, 163, "  AB  "},
        {"0", "128", "-1", "-1", "ABCDEFGHIJKLMNOPQ", -1, 128, -1, -1, "ABCDEFGHIJKLM"},
        {"10", "129", "4", "164", "", 0, 0, 0, 0, ""},
        {"COM3", "-1", "-2", "99999999999", "x", 0, 0, 0, 0, "x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dakcomm.toStdString());
        storeValue(keys::kDakcomm, c.dakcomm);
        storeValue(keys::kAddr, c.addr);
        storeValue(keys::kBrt, c.brt);
        storeValue(keys::kMessage, c.message);
        storeValue(keys::kCustom, c.custom);
        start();
        EXPECT_EQ(values->commSel(), c.commSel);
        EXPECT_EQ(port->open, c.commSel >= 0);
        EXPECT_EQ(values->vScroll1(), c.vScroll1);
        EXPECT_EQ(values->addrDis(), c.vScroll1 == 128 ? "ALL" : QString::number(c.vScroll1));
        EXPECT_EQ(values->brtVal(), c.brtVal);
        EXPECT_EQ(values->message(), c.messagePos);
        EXPECT_EQ(values->text1(), c.text1);
        EXPECT_TRUE(feedback->shown.isEmpty());
    }
}

TEST_F(PanelTest, FailedOpenAtStartUpIsReportedAndStartUpGoesOn) {
    storeValue(keys::kAddr, "128");
    start({FakePort::PortOpenSet});
    EXPECT_EQ(feedback->shown.size(), 2);
    EXPECT_EQ(selection->PortError(), 1);
    EXPECT_EQ(values->addrDis(), "ALL");
}

TEST_F(PanelTest, SendWritesOneWholeFrameThenStoresTheChoices) {
    storeValue(keys::kCustom, "ABCDEFGHIJKLMNOPQ");
    start();
    panel->setVScroll1(128);
    values->setBrtVal(3);
    panel->SendButton_Click();
    ASSERT_EQ(port->written.size(), 1u);
    EXPECT_EQ(port->written[0], QByteArray("ABCDEFGHIJKLM\x03\x00\x80\xFF\xFE", 18));
    EXPECT_EQ(QStringList({stored(keys::kAddr), stored(keys::kBrt), stored(keys::kMessage),
                           stored(keys::kCustom)}),
              QStringList({"128", "3", "0", "ABCDEFGHIJKLM"}));
    EXPECT_TRUE(feedback->shown.isEmpty());
}

TEST_F(PanelTest, SendWithClosedPortStillStoresChoices) {
    storeValue(keys::kDakcomm, "0");
    start();
    values->setText1(" x ");
    values->setMessage(129);
    panel->setVScroll1(12);
    panel->SendButton_Click();
    EXPECT_TRUE(port->written.empty());
    EXPECT_EQ(QStringList({stored(keys::kAddr), stored(keys::kBrt), stored(keys::kMessage),
                           stored(keys::kCustom)}),
              QStringList({"12", "0", "129", " x "}));
}

// A frame without its code segment or its text field is never written: SEND beeps instead and
// still stores the values, -1 for a list without a selection.
TEST_F(PanelTest, IncompleteFrameIsNotWrittenButBeepsAndStores) {
    start();
    const std::vector<std::tuple<int, int, QString>> cases{
        {-1, 7, "A"}, {1, -1, "B"}, {1, 7, "ABCDEFGHIJKLMN"}};
    for (const auto& [brightness, message, text] : cases) {
        values->setBrtVal(brightness);
        values->setMessage(message);
        values->setText1(text);
        feedback->shown.clear();
        panel->SendButton_Click();
        EXPECT_TRUE(port->written.empty());
        EXPECT_EQ(feedback->shown, QStringList{"beep"});
        EXPECT_EQ(stored(keys::kBrt), QString::number(brightness));
        EXPECT_EQ(stored(keys::kMessage), QString::number(message));
        EXPECT_EQ(stored(keys::kCustom), text);
    }
}

// SEND tells the operator what went wrong: one beep however many steps failed, and a box for a
// failed store only the first time its description comes up in a run. The choices go to the
// store in one put, after the frame.
TEST_F(PanelTest, SendBeepsOnceWhenSomethingFailedAndShowsEachStoreFailureOnce) {
    storeValue(keys::kDakcomm, "0");
    start();
    values->setText1("T");
    store.log = &feedback->shown;
    const QString put = "put:Addr=0,Brt=0,Message=0,Custom=T";
    // Whether the port is open, how the store fails ("" when it does not), what SEND showed.
    const std::vector<std::tuple<bool, QString, QStringList>> sends{
        {false, "", {put, "beep"}},
        {true, "", {put}},
        {true, "disk full", {put, "beep", "box:ZQ4:disk full"}},
        {false, "disk full", {put, "beep"}},
        {true, "read-only", {put, "beep", "box:ZQ4:read-only"}},
        {true, "disk full", {put, "beep"}}};
    std::size_t frames = 0;
    for (const auto& [open, failure, shown] : sends) {
        SCOPED_TRACE(failure.toStdString() + (open ? " open" : " closed"));
        port->open = open;
        store.failPuts = !failure.isEmpty();
        store.failure = failure;
        feedback->shown.clear();
        panel->SendButton_Click();
        EXPECT_EQ(feedback->shown.join(u'|').toStdString(), shown.join(u'|').toStdString());
        frames += open ? 1 : 0;
        EXPECT_EQ(port->written.size(), frames);
    }
    // An incomplete frame and a failing store: still one beep.
    values->setBrtVal(-1);
    feedback->shown.clear();
    panel->SendButton_Click();
    EXPECT_EQ(feedback->shown.join(u'|').toStdString(),
              "put:Addr=0,Brt=-1,Message=0,Custom=T|beep");
}

TEST_F(PanelTest, SettingAValueRunsItsRoutineOnlyAsAPickOrAChange) {
    start();
    const int writes = values->addrDisWrites;
    panel->setVScroll1(0);
    EXPECT_EQ(values->addrDisWrites, writes);
    panel->setVScroll1(127);
    EXPECT_EQ(values->addrDisWrites, writes + 1);
    EXPECT_EQ(values->addrDis(), "127");

    panel->setCommSel(6);
    EXPECT_EQ(selection->CommNum(), 7);
    EXPECT_EQ(port->opens, (std::vector<std::int16_t>{1, 7}));
    EXPECT_EQ(stored(keys::kDakcomm), "7");
}

TEST(RestoredCustomTextTest, CountsCharactersNotUtf16Units) {
    const QString fourteenClocks = QString::fromUcs4(U"\U0001F552").repeated(14);
    EXPECT_EQ(RestoredCustomText(fourteenClocks).toUcs4().size(), 13);
    EXPECT_TRUE(RestoredCustomText(fourteenClocks).isValidUtf16());
}

} // namespace
} // namespace zq4
