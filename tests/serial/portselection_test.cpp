#include "fakes.h"

#include "serial/portselection.h"
#include "serial/qserialportadapter.h"
#include "settings/keys.h"

#include <gtest/gtest.h>

namespace zq4 {
namespace {

TEST(PortSelection, ListsCom1ToCom9WithTheirPortNumbersInOrder) {
    const auto& entries = PortSelection();
    const QStringList labels{
        "Com1:", "Com2:", "Com3:", "Com4:", "Com5:", "Com6:", "Com7:", "Com8:", "Com9:"};
    ASSERT_EQ(static_cast<qsizetype>(entries.size()), labels.size());
    for (std::size_t position = 0; position < entries.size(); ++position) {
        EXPECT_EQ(entries[position].label, labels[static_cast<qsizetype>(position)]);
        EXPECT_EQ(entries[position].portNumber, static_cast<int>(position) + 1);
    }
}

struct DeviceCase {
    const char* name;
    int portNumber;
    QString mapped; // null: no entry in the "Ports" group
    QString device;
};

class DeviceForPortCase : public ::testing::TestWithParam<DeviceCase> {};

TEST_P(DeviceForPortCase, FollowsThePortsGroupElseTheSerialDevice) {
    const DeviceCase& c = GetParam();
    test::MemoryStore store;
    if (!c.mapped.isNull()) {
        store.preset(keys::kApplication, keys::kPorts, keys::portKey(c.portNumber), c.mapped);
    }
    // An entry for another port never leaks into this one.
    store.preset(keys::kApplication, keys::kPorts, keys::portKey(c.portNumber % 9 + 1),
                 QStringLiteral("/dev/ttyACM7"));

    EXPECT_EQ(DeviceForPort(store, c.portNumber), c.device);
    EXPECT_TRUE(store.puts.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Ports, DeviceForPortCase,
    ::testing::Values(DeviceCase{"Com1Unmapped", 1, QString(), "/dev/ttyS0"},
                      DeviceCase{"Com9Unmapped", 9, QString(), "/dev/ttyS8"},
                      DeviceCase{"Mapped", 3, "/dev/ttyUSB0", "/dev/ttyUSB0"},
                      DeviceCase{"MappedById", 4, "/dev/serial/by-id/usb-FTDI_A1-if00-port0",
                                 "/dev/serial/by-id/usb-FTDI_A1-if00-port0"},
                      DeviceCase{"MappedWithBlanks", 2, "  /dev/ttyUSB1 ", "/dev/ttyUSB1"},
                      DeviceCase{"MappedEmpty", 5, "", "/dev/ttyS4"},
                      DeviceCase{"MappedBlank", 6, "   ", "/dev/ttyS5"}),
    [](const ::testing::TestParamInfo<DeviceCase>& info) { return info.param.name; });

} // namespace
} // namespace zq4
