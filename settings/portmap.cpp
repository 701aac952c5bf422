#include "settings/portmap.h"

#include "protocol/vocabulary.h"
#include "settings/keys.h"

#include <QDir>

namespace zq4 {

namespace {

QStringList portKeys() {
    QStringList portKeys;
    for (int portNumber = 1; portNumber <= kPortCount; ++portNumber) {
        portKeys << keys::portKey(portNumber);
    }
    return portKeys;
}

} // namespace

QString PortMap::deviceFor(int portNumber) const {
    return EntryDevice(
        m_store.GetSetting(keys::kApplication, keys::kPorts, keys::portKey(portNumber), QString()),
        portNumber);
}

QStringList PortMap::devices() const {
    QStringList devices = entries();
    for (int portNumber = 1; portNumber <= kPortCount; ++portNumber) {
        QString& device = devices[portNumber - 1];
        device = EntryDevice(device, portNumber);
    }
    return devices;
}

QStringList PortMap::entries() const {
    QStringList entries = m_store.GetSettings(keys::kApplication, keys::kPorts, portKeys(), {});
    for (QString& entry : entries) {
        entry = entry.trimmed();
    }
    return entries;
}

Status PortMap::store(const std::map<int, QString>& entries) {
    QList<std::pair<QString, QString>> mapped;
    QStringList unmapped;
    for (const auto& [portNumber, entry] : entries) {
        if (entry.trimmed().isEmpty()) {
            unmapped << keys::portKey(portNumber);
        } else {
            mapped.append({keys::portKey(portNumber), entry.trimmed()});
        }
    }
    return m_store.UpdateSettings(keys::kApplication, keys::kPorts, mapped, unmapped);
}

QString PortMap::location() const {
#ifdef Q_OS_WIN
    return QString();
#else
    const QString file = m_store.location(keys::kApplication);
    return file.isEmpty() ? QStringLiteral("the settings group [%1]").arg(keys::kPorts)
                          : QStringLiteral("the group [%1] of %2").arg(keys::kPorts, file);
#endif
}

std::function<QString(int portNumber)> PortMap::lookup() const {
    return [&store = m_store](int portNumber) { return PortMap(store).deviceFor(portNumber); };
}

QString PortMap::DefaultDevice(int portNumber) {
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(portNumber);
#else
    return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
#endif
}

QString PortMap::EntryDevice(const QString& entry, int portNumber) {
#ifdef Q_OS_WIN
    // Each port is its own device, whatever is stored.
    Q_UNUSED(entry);
    return DefaultDevice(portNumber);
#else
    const QString device = entry.trimmed();
    if (device.isEmpty()) {
        return DefaultDevice(portNumber);
    }
    // A hand-written "Com3=ttyUSB0" names a device: it is taken under /dev, never in whatever
    // folder the program happens to run in. The path is made plain ("/dev/./x" is "/dev/x"), so
    // that one device has one lock file.
    return device.startsWith(u'/') ? device : QDir::cleanPath(QStringLiteral("/dev/") + device);
#endif
}

PortMapChanges ChangedPortMap(const QStringList& opened, const QStringList& chosen,
                              const QStringList& stored) {
    PortMapChanges changes;
    for (int portNumber = 1; portNumber <= kPortCount; ++portNumber) {
        const qsizetype row = portNumber - 1;
        const QString before = opened.value(row);
        const QString mine = chosen.value(row);
        const QString now = stored.value(row);
        if (mine == before || mine == now) {
            continue;
        }
        if (now == before) {
            changes.entries[portNumber] = mine;
        } else {
            changes.conflicts.push_back({portNumber, mine, now});
        }
    }
    return changes;
}

} // namespace zq4
