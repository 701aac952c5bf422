#include "panel/controlpanel.h"
#include "panel/portmap.h"
#include "panel/portmapdialog.h"

#include "settings/keys.h"
#include "tests/support/fakes.h"

#include <QTest>
#include <QtWidgets>

#include <gtest/gtest.h>

namespace zq4 {
namespace {

const SerialDevice kAdapter{"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0",
                            "/dev/ttyUSB0",
                            "FT232R USB UART",
                            "FTDI",
                            "A1B2C3",
                            true};
const SerialDevice kSecondAdapter{
    "/dev/serial/by-id/usb-PL2303-if00-port0", "/dev/ttyUSB1", "PL2303", "", "", true};
const SerialDevice kBuiltIn{"/dev/ttyS0", "/dev/ttyS0", "", "", "", false};

// The window over fakes, started once the test has set the store, the port and the devices.
class PortMapTest : public ::testing::Test {
protected:
    void start() {
        window =
            std::make_unique<ControlPanel>(ControlPanelParts{store, port, feedback, discovery});
    }
    QComboBox* commSel() { return window->findChild<QComboBox*>(QStringLiteral("CommSel")); }

    test::MemoryStore store;
    test::FakePort port;
    test::RecordingFeedback feedback;
    test::FakeDiscovery discovery;
    std::unique_ptr<ControlPanel> window;
};

TEST_F(PortMapTest, PortListMenuOpensOnRightClickContextKeyAndShiftF10) {
    start();
    QContextMenuEvent click(QContextMenuEvent::Mouse, {5, 5}, commSel()->mapToGlobal(QPoint(5, 5)));
    const std::tuple<const char*, std::function<void()>, bool> requests[] = {
        {"right-click", [&] { QApplication::sendEvent(commSel(), &click); }, true},
        {"menu key", [&] { QTest::keyClick(commSel(), Qt::Key_Menu); }, true},
        {"Shift+F10", [&] { QTest::keyClick(commSel(), Qt::Key_F10, Qt::ShiftModifier); }, true},
        {"F10", [&] { QTest::keyClick(commSel(), Qt::Key_F10); }, false},
    };
    for (const auto& [how, request, opens] : requests) {
        SCOPED_TRACE(how);
        request();
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_EQ(menu != nullptr, opens);
        if (opens) {
            ASSERT_EQ(menu->actions().size(), 1);
            EXPECT_EQ(menu->actions().front()->text(), "Map ports to devices...");
            menu->actions().front()->trigger();
            menu->close();
            auto* dialog = qobject_cast<PortMapDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(dialog->windowTitle(), "ZQ4 Ports");
            dialog->reject();
        }
    }
}

TEST_F(PortMapTest, DialogListsDevicesByStableLinkWithWhatIsKnownAndMarksAbsentOnes) {
    discovery.present = {kAdapter, kBuiltIn};
    const QString gone = QStringLiteral("/dev/serial/by-id/usb-gone-if00-port0");
    PortMapDialog dialog(discovery, {"", "", gone, "", "", "", "", "", ""});
    const auto row = [&](int port) { return dialog.findChild<QComboBox*>(keys::portKey(port)); };
    const auto found = [&](int port) {
        return dialog.findChild<QLabel*>(keys::portKey(port) + "Found");
    };
    EXPECT_EQ(row(9)->accessibleName() + '|' + found(9)->accessibleName(),
              "Com9: device|Com9: device found");

    QComboBox* com1 = row(1);
    ASSERT_EQ(com1->count(), 2);
    EXPECT_EQ(com1->itemText(0), kAdapter.path) << "what is stored: the stable link";
    EXPECT_EQ(com1->itemData(0, Qt::DisplayRole).toString(),
              "FT232R USB UART, FTDI, serial number A1B2C3 - " + kAdapter.path);
    EXPECT_EQ(com1->itemData(1, Qt::DisplayRole).toString(), "/dev/ttyS0");
    EXPECT_EQ(com1->currentText(), "") << "not mapped";
    EXPECT_EQ(com1->lineEdit()->placeholderText(), "/dev/ttyS0");
    com1->setCurrentIndex(0);
    EXPECT_EQ(found(1)->text(), "FT232R USB UART, FTDI, serial number A1B2C3");

    EXPECT_EQ(row(3)->currentText(), gone);
    EXPECT_EQ(row(3)->itemData(0, Qt::DisplayRole).toString(), gone + " (not present)");
    EXPECT_EQ(found(3)->text(), "(not present)");

    discovery.present.push_back(kSecondAdapter);
    QTest::mouseClick(dialog.findChild<QPushButton*>("Refresh"), Qt::LeftButton);
    EXPECT_EQ(row(2)->count(), 3) << "the adapter plugged in since is listed";
    EXPECT_EQ(dialog.devices(), QStringList({kAdapter.path, "", gone, "", "", "", "", "", ""}));
}

// OK stores the map in one write; only a change to the device of the port in use picks it again.
TEST_F(PortMapTest, OkStoresTheMapAndPicksThePortInUseAgainWhenItsDeviceChanged) {
    const struct {
        int port;
        QString typed;
        int writes;
        std::vector<std::int16_t> opens;
    } cases[] = {{5, "/dev/ttyUSB5", 1, {1}}, {1, "/dev/ttyUSB1", 1, {1, 1}}, {1, "", 0, {1}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        store = test::MemoryStore();
        port.opens.clear();
        start();
        const int putsBefore = store.puts;
        PortMapDialog* dialog = window->portMap().openDialog();
        auto* row = dialog->findChild<QComboBox*>(keys::portKey(c.port));
        QTest::keyClicks(row, c.typed);
        QTest::keyClick(row, Qt::Key_Return);
        EXPECT_TRUE(dialog->isHidden()) << "Return is OK";
        EXPECT_EQ(store.puts - putsBefore, c.writes);
        EXPECT_EQ(port.opens, c.opens);
        EXPECT_EQ(commSel()->itemData(c.port - 1, Qt::ToolTipRole).toString(),
                  c.writes > 0 ? c.typed : "/dev/ttyS" + QString::number(c.port - 1));
        EXPECT_EQ(store.value(keys::kPorts, keys::portKey(c.port)), c.typed);
    }
}

// Over the port list: its device, open or why not, and where the map is made.
TEST_F(PortMapTest, PortListToolTipTellsTheDeviceWhetherItIsOpenAndWhyNot) {
    store.set(keys::kPorts, keys::portKey(1), "/dev/ttyUSB7");
    for (const bool fails : {false, true}) {
        port = test::FakePort();
        port.failing.fill(test::FakePort::PortOpenSet, fails ? 1 : 0);
        start();
        QHelpEvent hover(QEvent::ToolTip, {5, 5}, commSel()->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(commSel(), &hover);
        EXPECT_EQ(commSel()->toolTip(),
                  "Sets the Serial Port for communicating with the Display\nCom1: /dev/ttyUSB7: " +
                      QString(fails ? "not open: step 2 failed" : "open") + '\n' + kMapPortsHint);
    }
}

// Nothing is mapped for the operator: the warning only names the adapter and says how.
TEST_F(PortMapTest, FirstStartWarningNamesTheOnlyUsbAdapterPresent) {
    const struct {
        std::vector<SerialDevice> present;
        bool anyMapped, named;
    } cases[] = {{{kAdapter, kBuiltIn}, false, true},
                 {{kAdapter, kSecondAdapter}, false, false},
                 {{kAdapter}, true, false},
                 {{kBuiltIn}, false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.present.size());
        store = test::MemoryStore();
        if (c.anyMapped) {
            store.set(keys::kPorts, keys::portKey(5), "/dev/ttyUSB5");
        }
        discovery.present = c.present;
        port.failing = {test::FakePort::PortOpenSet};
        feedback.shown.clear();
        start();
        const QString named = "Found FT232R USB UART at " + kAdapter.path +
                              ": map Com1 to it with Map ports to devices...\n";
        EXPECT_EQ(feedback.shown,
                  QStringList({"beep", "box:ZQ4:step 2 failed\n\n" + (c.named ? named : "") +
                                           kMapPortsHint}));
        EXPECT_EQ(store.puts, 0);
    }
}

} // namespace
} // namespace zq4
