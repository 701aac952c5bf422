#include "serial/devicediscovery.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace zq4 {
namespace {

// Stand-in nodes and a by-id folder of relative links, as udev makes them.
TEST(DeviceDiscovery, DevicesAreNamedByTheStableLinkThatLeadsToThemWhenThereIsOne) {
    QTemporaryDir dev;
    ASSERT_TRUE(dev.isValid() && QDir(dev.path()).mkpath("serial/by-id"));
    for (const char* node : {"ttyUSB0", "ttyUSB1", "ttyS0"}) {
        QFile file(dev.filePath(node));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    const QString byId = dev.filePath("serial/by-id");
    const QString usbLink = byId + "/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0";
    const QString pciLink = byId + "/pci-0000:00:14.0-port0";
    ASSERT_TRUE(QFile::link("../../ttyUSB0", usbLink) && QFile::link("../../ttyUSB1", pciLink) &&
                QFile::link("../../ttyUSB9", byId + "/usb-gone-if00-port0"));

    std::vector<SerialDevice> devices;
    for (const char* node : {"ttyUSB0", "ttyUSB1", "ttyS0"}) {
        devices.push_back({.path = dev.filePath(node), .systemPath = dev.filePath(node)});
    }
    PreferStableLinks(devices, byId);

    const std::vector<std::pair<QString, bool>> expected = {
        {usbLink, true}, {pciLink, false}, {dev.filePath("ttyS0"), false}};
    ASSERT_EQ(devices.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(devices[i].path.toStdString(), expected[i].first.toStdString());
        EXPECT_EQ(devices[i].isUsb, expected[i].second) << i;
        EXPECT_EQ(devices[i].systemPath, dev.filePath(devices[i].systemPath.section('/', -1)));
    }
}

} // namespace
} // namespace zq4
