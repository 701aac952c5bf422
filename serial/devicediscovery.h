#pragma once

#include <QString>

#include <utility>
#include <vector>

namespace zq4 {

// A serial device present now, as a port can be mapped to it.
struct SerialDevice {
    QString path;       // what a port is mapped to: its /dev/serial/by-id link when one leads to it
    QString systemPath; // the device node itself, e.g. /dev/ttyUSB0
    QString description;
    QString manufacturer;
    QString serialNumber;
    bool isUsb = false;
};

// The serial devices present now. Asked afresh each time: adapters come and go.
class DeviceDiscovery {
public:
    virtual ~DeviceDiscovery() = default;
    virtual std::vector<SerialDevice> devices() = 0;
};

// The devices the system lists as serial ports (pseudo-terminals are not among them), each
// named by the link in the by-id folder that leads to it, if any; in the order of their paths.
class SystemDeviceDiscovery final : public DeviceDiscovery {
public:
    explicit SystemDeviceDiscovery(QString byIdFolder = QStringLiteral("/dev/serial/by-id"))
        : m_byIdFolder(std::move(byIdFolder)) {}
    std::vector<SerialDevice> devices() override;

private:
    QString m_byIdFolder;
};

// Names each device by the link in byIdFolder that resolves to its systemPath, when there is
// one: such a link stays the same whichever USB socket the adapter is plugged into, while the
// node's name may change. A link named "usb-..." marks its device as a USB one.
void PreferStableLinks(std::vector<SerialDevice>& devices, const QString& byIdFolder);

} // namespace zq4
