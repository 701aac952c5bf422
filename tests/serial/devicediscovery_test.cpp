#include "serial/devicediscovery.h"

#include <QtCore>

#include <gtest/gtest.h>

namespace zq4 {
namespace {

// Stand-in nodes and a by-id folder of relative links, as udev makes them, one of them dangling.
TEST(DeviceDiscovery, DevicesAreNamedByTheStableLinkThatLeadsToThemWhenThereIsOne) {
    QTemporaryDir dev;
    ASSERT_TRUE(dev.isValid() && QDir(dev.path()).mkpath("serial/by-id"));
    const QString byId = dev.filePath("serial/by-id");
    ASSERT_TRUE(QFile::link("../../ttyUSB0", byId + "/usb-FTDI_A1B2C3-if00-port0") &&
                QFile::link("../../ttyUSB1", byId + "/pci-0000:00:14.0-port0") &&
                QFile::link("../../ttyUSB9", byId + "/usb-gone-if00-port0"));
    std::vector<SerialDevice> devices;
    for (const char* node : {"ttyUSB0", "ttyUSB1", "ttyS0"}) {
        ASSERT_TRUE(QFile(dev.filePath(node)).open(QIODevice::WriteOnly));
        devices.push_back({dev.filePath(node), dev.filePath(node), {}, {}, {}, false});
    }
    PreferStableLinks(devices, byId);
    QStringList named;
    for (const SerialDevice& d : devices) {
        named << QStringLiteral("%1 %2 %3").arg(d.path, d.systemPath).arg(d.isUsb);
    }
    EXPECT_EQ(named.join('|').remove(dev.path()).toStdString(),
              "/serial/by-id/usb-FTDI_A1B2C3-if00-port0 /ttyUSB0 1|"
              "/serial/by-id/pci-0000:00:14.0-port0 /ttyUSB1 0|/ttyS0 /ttyS0 0");
}

} // namespace
} // namespace zq4
