#pragma once

#include "core/status.h"
#include "serial/devicediscovery.h"
#include "serial/qserialportadapter.h"
#include "settings/store.h"

#include <QStringList>

#include <map>
#include <vector>

namespace zq4 {

// Whether the operator maps ports to devices: on Windows each port is its own device, COM<n>.
#ifdef Q_OS_WIN
inline constexpr bool kPortMapOffered = false;
#else
inline constexpr bool kPortMapOffered = true;
#endif

inline const QString kMapPortsEntry = QStringLiteral("Map ports to devices...");
inline const QString kMapPortsHint =
    QStringLiteral("Right-click the port list for \"Map ports to devices...\".");

// "FT232R USB UART, FTDI, serial number A1B2C3": what is known of the device, empty when nothing.
QString DescribeDevice(const SerialDevice& device);

// The device present now that path names, by its link or its node; null when none.
const SerialDevice* FindDevice(const std::vector<SerialDevice>& devices, const QString& path);

// A port whose row the operator changed in the dialog while its entry in the store was changed
// too, to another device.
struct PortMapConflict {
    int portNumber = 0;
    QString chosen; // the row as the operator left it; empty: not mapped
    QString stored; // the store's entry now; empty: not mapped
};

// What OK stores: the rows the operator changed since the dialog opened, each applied to the map
// as stored now. A row whose entry was changed in the store meanwhile too keeps the stored entry
// and is a conflict, unless both changed it alike. Each list holds Com1 .. Com9, trimmed.
struct PortMapChanges {
    std::map<int, QString> devices; // port number -> device to store; empty: not mapped
    std::vector<PortMapConflict> conflicts;
};
PortMapChanges ChangedPortMap(const QStringList& opened, const QStringList& chosen,
                              const QStringList& stored);

// What the operator can do when a port's device cannot be opened: map it in the port list's
// menu, kept in the store's file. On a first start (nothing mapped yet) with exactly one USB
// adapter present, that adapter is named as the likely device.
QString OpenFailureAdvice(SettingsStore& store, DeviceDiscovery& discovery, int portNumber);

} // namespace zq4
