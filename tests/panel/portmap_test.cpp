#include "panel/controlpanel.h"
#include "panel/portmap.h"
#include "panel/portmapdialog.h"

#include "settings/keys.h"
#include "tests/support/fakes.h"

#include <QtTest>
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
const QString kPortTip = QStringLiteral("Sets the Serial Port for communicating with the Display");

// The window over fakes, started once the test has set the store, the port and the devices.
class PortMapTest : public ::testing::Test {
protected:
    void start() {
        window =
            std::make_unique<ControlPanel>(ControlPanelParts{store, port, feedback, discovery});
    }
    QComboBox* commSel() { return window->findChild<QComboBox*>(QStringLiteral("CommSel")); }
    // The port list's tooltip as hovering over it shows it: its device, open or why not, and
    // where the map is made.
    void expectToolTip(const QString& state) {
        QHelpEvent hover(QEvent::ToolTip, {5, 5}, commSel()->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(commSel(), &hover);
        EXPECT_EQ(commSel()->toolTip(), QStringList({kPortTip, state, kMapPortsHint}).join('\n'));
    }

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
    const auto found = [&](int n) { return dialog.findChild<QLabel*>(keys::portKey(n) + "Found"); };
    EXPECT_EQ(row(9)->accessibleName() + '|' + found(9)->accessibleName(),
              "Com9: device|Com9: device found");

    ASSERT_EQ(row(1)->count(), 2);
    EXPECT_EQ(row(1)->itemText(0), kAdapter.path) << "what is stored: the stable link";
    EXPECT_EQ(row(1)->itemData(0, Qt::DisplayRole).toString(),
              "FT232R USB UART, FTDI, serial number A1B2C3 - " + kAdapter.path);
    EXPECT_EQ(row(1)->itemData(1, Qt::DisplayRole).toString(), "/dev/ttyS0");
    EXPECT_EQ(row(1)->currentText(), "") << "not mapped";
    EXPECT_EQ(row(1)->lineEdit()->placeholderText(), "/dev/ttyS0");
    row(1)->setCurrentIndex(0);
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
// The port list then names each port's device, and its tooltip the port in use, open.
TEST_F(PortMapTest, OkStoresTheMapAndPicksThePortInUseAgainWhenItsDeviceChanged) {
    const std::tuple<int, QString, int, std::vector<std::int16_t>> cases[] = {
        {5, "/dev/ttyUSB5", 1, {1}}, {1, "/dev/ttyUSB1", 1, {1, 1}}, {1, "", 0, {1}}};
    for (const auto& [portNumber, typed, writes, opens] : cases) {
        SCOPED_TRACE(typed.toStdString());
        store = test::MemoryStore();
        port.opens.clear();
        start();
        const int putsBefore = store.puts;
        PortMapDialog* dialog = window->portMap().openDialog();
        QTest::keyClicks(dialog->findChild<QComboBox*>(keys::portKey(portNumber)), typed + '\r');
        EXPECT_TRUE(dialog->isHidden()) << "Return is OK";
        EXPECT_EQ(store.puts - putsBefore, writes);
        EXPECT_EQ(port.opens, opens);
        EXPECT_EQ(commSel()->itemData(portNumber - 1, Qt::ToolTipRole).toString(),
                  writes > 0 ? typed : "/dev/ttyS" + QString::number(portNumber - 1));
        EXPECT_EQ(store.value(keys::kPorts, keys::portKey(portNumber)), typed);
        expectToolTip("Com1: " + (portNumber == 1 && writes ? typed : "/dev/ttyS0") + ": open");
    }
}

// Nothing is mapped for the operator: the warning only names the adapter and says how.
TEST_F(PortMapTest, FirstStartWarningNamesTheOnlyUsbAdapterPresent) {
    const std::tuple<std::vector<SerialDevice>, QString, bool> cases[] = {
        {{kAdapter, kBuiltIn}, "", true},
        {{kAdapter, kSecondAdapter}, "", false},
        {{kAdapter}, "/dev/ttyUSB5", false},
        {{kBuiltIn}, "", false}};
    for (const auto& [present, com5, named] : cases) {
        SCOPED_TRACE(present.size());
        store = test::MemoryStore();
        store.set(keys::kPorts, keys::portKey(5), com5);
        discovery.present = present;
        port.failing = {test::FakePort::PortOpenSet};
        feedback.shown.clear();
        start();
        const QString found = "Found FT232R USB UART at " + kAdapter.path +
                              ": map Com1 to it with Map ports to devices...\n";
        EXPECT_EQ(feedback.shown, QStringList({"beep", "box:ZQ4:step 2 failed\n\n" +
                                                           (named ? found : "") + kMapPortsHint}));
        EXPECT_EQ(store.puts, 0);
        expectToolTip("Com1: /dev/ttyS0: not open: step 2 failed");
    }
}

} // namespace
} // namespace zq4
