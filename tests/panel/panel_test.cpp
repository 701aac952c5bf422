#include "panel/panel.h"

#include "settings/keys.h"
#include "tests/common/fakes.h"

#include <gtest/gtest.h>

#include <memory>

namespace zq4 {
namespace {

using testing::FakePort;
using testing::MemoryStore;
using testing::RecordingFeedback;

// Panel values that count how often the address display was written.
class CountingValues : public PlainPanelValues {
public:
    void setAddrDis(const QString& text) override {
        ++addrDisWrites;
        PlainPanelValues::setAddrDis(text);
    }
    int addrDisWrites = 0;
};

QByteArray Bytes(std::initializer_list<int> values) {
    QByteArray bytes;
    for (int value : values) {
        bytes.append(static_cast<char>(value));
    }
    return bytes;
}

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
    EXPECT_EQ(selection->CommNum(), 1);
    EXPECT_TRUE(port->open);
    EXPECT_EQ(port->opens, std::vector<std::int16_t>{1});
    EXPECT_EQ(stored(keys::kDakcomm), "1");
    EXPECT_EQ(values->vScroll1(), 0);
    EXPECT_EQ(values->brtVal(), 0);
    EXPECT_EQ(values->message(), 0);
    EXPECT_EQ(values->text1(), "");
    EXPECT_EQ(values->addrDis(), "0");
    // The address did not change, so only the last step of start-up wrote the display.
    EXPECT_EQ(values->addrDisWrites, 1);
    EXPECT_TRUE(feedback->shown.isEmpty());
}

TEST_F(PanelTest, StartUpRestoresStoredChoices) {
    store.set(keys::kStartup, keys::kDakcomm, "4");
    store.set(keys::kStartup, keys::kAddr, "77");
    store.set(keys::kStartup, keys::kBrt, "2");
    store.set(keys::kStartup, keys::kMessage, "163");
    store.set(keys::kStartup, keys::kCustom, "  AB  ");
    start();
    EXPECT_EQ(values->commSel(), 3);
    EXPECT_EQ(port->opens, std::vector<std::int16_t>{4});
    EXPECT_EQ(values->vScroll1(), 77);
    EXPECT_EQ(values->addrDis(), "77");
    // Restoring a different address is a change of the scroll bar, then start-up writes it once
    // more.
    EXPECT_EQ(values->addrDisWrites, 2);
    EXPECT_EQ(values->brtVal(), 2);
    EXPECT_EQ(values->message(), 163);
    EXPECT_EQ(values->text1(), "  AB  ");
}

struct StoredValueCase {
    const char* key;
    const char* text;
    int expected;
};

class StoredValueTest : public PanelTest, public ::testing::WithParamInterface<StoredValueCase> {};

int Restored(const PanelValues& values, const CommSelection& selection, const QString& key) {
    if (key == keys::kDakcomm) {
        return selection.CommNum();
    }
    if (key == keys::kAddr) {
        return values.vScroll1();
    }
    if (key == keys::kBrt) {
        return values.brtVal();
    }
    return values.message();
}

// A stored number that is not a decimal integer or lies outside its control's range falls back
// to that key's default; the edges of each range, -1 for "no selection" included, are kept.
TEST_P(StoredValueTest, StartUpKeepsInRangeValuesAndFallsBackOtherwise) {
    const StoredValueCase& c = GetParam();
    store.set(keys::kStartup, c.key, c.text);
    start();
    EXPECT_EQ(Restored(*values, *selection, c.key), c.expected) << c.key << "=" << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Keys, StoredValueTest,
    ::testing::Values(StoredValueCase{"Dakcomm", "9", 9}, StoredValueCase{"Dakcomm", "10", 1},
                      StoredValueCase{"Dakcomm", "-1", 1}, StoredValueCase{"Dakcomm", "COM3", 1},
                      StoredValueCase{"Addr", "128", 128}, StoredValueCase{"Addr", "129", 0},
                      StoredValueCase{"Addr", "-1", 0}, StoredValueCase{"Addr", "5x", 0},
                      StoredValueCase{"Brt", "3", 3}, StoredValueCase{"Brt", "-1", -1},
                      StoredValueCase{"Brt", "4", 0}, StoredValueCase{"Brt", "-2", 0},
                      StoredValueCase{"Message", "163", 163}, StoredValueCase{"Message", "-1", -1},
                      StoredValueCase{"Message", "164", 0},
                      StoredValueCase{"Message", "99999999999", 0}));

TEST_F(PanelTest, StoredPortZeroLeavesNoSelectionAndThePortClosed) {
    store.set(keys::kStartup, keys::kDakcomm, "0");
    start();
    EXPECT_EQ(values->commSel(), -1);
    EXPECT_FALSE(port->open);
    EXPECT_TRUE(port->opens.empty());
    EXPECT_TRUE(feedback->shown.isEmpty());
}

TEST_F(PanelTest, FailedOpenAtStartUpIsReportedAndStartUpGoesOn) {
    store.set(keys::kStartup, keys::kAddr, "128");
    start({FakePort::PortOpenSet});
    EXPECT_EQ(feedback->count("beep"), 1);
    EXPECT_EQ(feedback->count("box:ZQ4:"), 1);
    EXPECT_EQ(selection->PortError(), 1);
    EXPECT_EQ(values->addrDis(), "ALL");
}

TEST_F(PanelTest, SendWritesTheFrameInOneWrite) {
    store.set(keys::kStartup, keys::kAddr, "5");
    store.set(keys::kStartup, keys::kMessage, "20");
    store.set(keys::kStartup, keys::kCustom, "HOLD");
    start();
    panel->SendButton_Click();
    ASSERT_EQ(port->written.size(), 1u);
    EXPECT_EQ(port->written[0], Bytes({0x20, 0x20, 0x20, 0x20, 0x48, 0x4F, 0x4C, 0x44, 0x20, 0x20,
                                       0x20, 0x20, 0x20, 0x00, 0x14, 0x05, 0xFF, 0xFE}));
    EXPECT_TRUE(feedback->shown.isEmpty());
}

TEST_F(PanelTest, AllDisplaysShowsAllAndSends0x80) {
    start();
    panel->setVScroll1(128);
    EXPECT_EQ(values->addrDis(), "ALL");
    values->setBrtVal(3);
    panel->SendButton_Click();
    ASSERT_EQ(port->written.size(), 1u);
    EXPECT_EQ(port->written[0].right(5), Bytes({0x03, 0x00, 0x80, 0xFF, 0xFE}));
    EXPECT_EQ(port->written[0].left(13), QByteArray(13, ' '));
    EXPECT_EQ(stored(keys::kAddr), "128");
    EXPECT_EQ(stored(keys::kBrt), "3");
}

TEST_F(PanelTest, SendWithClosedPortStillStoresChoices) {
    store.set(keys::kStartup, keys::kDakcomm, "0");
    start();
    values->setText1(" x ");
    values->setMessage(129);
    panel->setVScroll1(12);
    panel->SendButton_Click();
    EXPECT_TRUE(port->written.empty());
    EXPECT_TRUE(feedback->shown.isEmpty());
    EXPECT_EQ(stored(keys::kAddr), "12");
    EXPECT_EQ(stored(keys::kBrt), "0");
    EXPECT_EQ(stored(keys::kMessage), "129");
    EXPECT_EQ(stored(keys::kCustom), " x ");
}

TEST_F(PanelTest, SendWithoutBrightnessOrMessageWritesNothingBeepsAndStoresMinusOne) {
    start();
    for (int which = 0; which < 2; ++which) {
        values->setBrtVal(which == 0 ? -1 : 1);
        values->setMessage(which == 1 ? -1 : 7);
        feedback->shown.clear();
        panel->SendButton_Click();
        EXPECT_TRUE(port->written.empty());
        EXPECT_EQ(feedback->shown, QStringList{"beep"});
        EXPECT_EQ(stored(which == 0 ? keys::kBrt : keys::kMessage), "-1");
    }
    start();
    EXPECT_EQ(values->brtVal(), 1);
    EXPECT_EQ(values->message(), -1);
}

TEST_F(PanelTest, SendSkipsFailedStoreSilently) {
    start();
    store.failPuts = true;
    const int putsBefore = store.puts;
    panel->SendButton_Click();
    EXPECT_EQ(port->written.size(), 1u);
    EXPECT_EQ(store.puts - putsBefore, 4);
    EXPECT_TRUE(feedback->shown.isEmpty());
}

TEST_F(PanelTest, LongStoredTextIsRestoredAsItsFirst13CharactersAndSentWhole) {
    store.set(keys::kStartup, keys::kCustom, "ABCDEFGHIJKLMNOPQ");
    start();
    EXPECT_EQ(values->text1(), "ABCDEFGHIJKLM");
    panel->SendButton_Click();
    ASSERT_EQ(port->written.size(), 1u);
    EXPECT_EQ(port->written[0].size(), 18);
    EXPECT_EQ(port->written[0].left(13), "ABCDEFGHIJKLM");
}

TEST_F(PanelTest, SendWithTextLongerThanTheFieldWritesNothingAndBeeps) {
    start();
    values->setText1(QStringLiteral("ABCDEFGHIJKLMN"));
    panel->SendButton_Click();
    EXPECT_TRUE(port->written.empty());
    EXPECT_EQ(feedback->shown, QStringList{"beep"});
    EXPECT_EQ(stored(keys::kCustom), "ABCDEFGHIJKLMN");
}

TEST(RestoredCustomTextTest, CountsCharactersNotUtf16Units) {
    const QString clock = QString::fromUcs4(U"\U0001F552");
    QString fourteen;
    for (int i = 0; i < 14; ++i) {
        fourteen += clock;
    }
    EXPECT_EQ(RestoredCustomText(fourteen).toUcs4().size(), 13);
    EXPECT_TRUE(RestoredCustomText(fourteen).isValidUtf16());
    EXPECT_EQ(RestoredCustomText(QStringLiteral("ÅÄÖ")), QStringLiteral("ÅÄÖ"));
}

TEST_F(PanelTest, SettingTheAddressRunsChangeOnlyWhenItDiffers) {
    start();
    const int before = values->addrDisWrites;
    panel->setVScroll1(0);
    EXPECT_EQ(values->addrDisWrites, before);
    panel->setVScroll1(127);
    EXPECT_EQ(values->addrDisWrites, before + 1);
    EXPECT_EQ(values->addrDis(), "127");
}

TEST_F(PanelTest, SettingThePortSelectionRunsThePick) {
    start();
    panel->setCommSel(6);
    EXPECT_EQ(selection->CommNum(), 7);
    EXPECT_EQ(port->opens, (std::vector<std::int16_t>{1, 7}));
    EXPECT_EQ(stored(keys::kDakcomm), "7");
}

TEST_F(PanelTest, ScrollFollowsTheAddressWhileDragging) {
    start();
    values->setVScroll1(64);
    panel->VScroll1_Scroll();
    EXPECT_EQ(values->addrDis(), "64");
    values->setVScroll1(128);
    panel->VScroll1_Scroll();
    EXPECT_EQ(values->addrDis(), "ALL");
}

TEST_F(PanelTest, ChoicesStoredBySendComeBackAtTheNextStart) {
    start();
    panel->setCommSel(2);
    panel->setVScroll1(100);
    values->setBrtVal(1);
    values->setMessage(150);
    values->setText1("T-10");
    panel->SendButton_Click();
    start();
    EXPECT_EQ(values->commSel(), 2);
    EXPECT_EQ(values->vScroll1(), 100);
    EXPECT_EQ(values->brtVal(), 1);
    EXPECT_EQ(values->message(), 150);
    EXPECT_EQ(values->text1(), "T-10");
}

} // namespace
} // namespace zq4
