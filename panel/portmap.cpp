#include "panel/portmap.h"

#include "settings/keys.h"
#include "settings/portmap.h"

#include <QFileInfo>

#include <algorithm>

namespace zq4 {

QString DescribeDevice(const SerialDevice& device) {
    QStringList known;
    for (const QString& part : {device.description, device.manufacturer}) {
        if (!part.isEmpty() && !known.contains(part)) {
            known << part;
        }
    }
    if (!device.serialNumber.isEmpty()) {
        known << QStringLiteral("serial number %1").arg(device.serialNumber);
    }
    return known.join(QStringLiteral(", "));
}

const SerialDevice* FindDevice(const std::vector<SerialDevice>& devices, const QString& path) {
    const QString wanted = path.trimmed();
    if (wanted.isEmpty()) {
        return nullptr;
    }
    const QString node = QFileInfo(wanted).canonicalFilePath();
    const auto found = std::find_if(devices.begin(), devices.end(), [&](const SerialDevice& d) {
        return d.path == wanted || d.systemPath == wanted ||
               (!node.isEmpty() && QFileInfo(d.systemPath).canonicalFilePath() == node);
    });
    return found == devices.end() ? nullptr : &*found;
}

QString OpenFailureAdvice(SettingsStore& store, DeviceDiscovery& discovery, int portNumber) {
    QStringList advice;
    const PortMap map(store);
    const QStringList mapped = map.entries();
    const bool firstStart = std::all_of(mapped.begin(), mapped.end(),
                                        [](const QString& device) { return device.isEmpty(); });
    if (firstStart) {
        std::vector<SerialDevice> adapters = discovery.devices();
        std::erase_if(adapters, [](const SerialDevice& device) { return !device.isUsb; });
        if (adapters.size() == 1) {
            const SerialDevice& adapter = adapters.front();
            const QString name = adapter.description.isEmpty()
                                     ? QStringLiteral("a USB serial adapter")
                                     : adapter.description;
            advice << QStringLiteral("Found %1 at %2: map %3 to it with %4")
                          .arg(name, adapter.path, keys::portKey(portNumber), kMapPortsEntry);
        }
    }
    advice << kMapPortsHint;
    if (const QString location = map.location(); !location.isEmpty()) {
        advice << QStringLiteral("The map is kept in %1.").arg(location);
    }
    return advice.join(u'\n');
}

} // namespace zq4
