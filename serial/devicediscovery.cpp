#include "serial/devicediscovery.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>

namespace zq4 {

std::vector<SerialDevice> SystemDeviceDiscovery::devices() {
    std::vector<SerialDevice> found;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        found.push_back(SerialDevice{
            .path = info.systemLocation(),
            .systemPath = info.systemLocation(),
            .description = info.description(),
            .manufacturer = info.manufacturer(),
            .serialNumber = info.serialNumber(),
            .isUsb = info.hasVendorIdentifier(),
        });
    }
    PreferStableLinks(found, m_byIdFolder);
    std::sort(found.begin(), found.end(),
              [](const SerialDevice& a, const SerialDevice& b) { return a.path < b.path; });
    return found;
}

void PreferStableLinks(std::vector<SerialDevice>& devices, const QString& byIdFolder) {
    const QFileInfoList links =
        QDir(byIdFolder)
            .entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (SerialDevice& device : devices) {
        const QString node = QFileInfo(device.systemPath).canonicalFilePath();
        for (const QFileInfo& link : links) {
            if (link.isSymLink() && !node.isEmpty() && link.canonicalFilePath() == node) {
                device.path = link.absoluteFilePath();
                device.isUsb = device.isUsb || link.fileName().startsWith(QStringLiteral("usb-"));
                break;
            }
        }
    }
}

} // namespace zq4
