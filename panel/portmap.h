#pragma once

#include "serial/devicediscovery.h"
#include "settings/store.h"

#include <QString>

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

// What the operator can do when a port's device cannot be opened: map it in the port list's
// menu, kept in the store's file. On a first start (nothing mapped yet) with exactly one USB
// adapter present, that adapter is named as the likely device.
QString OpenFailureAdvice(SettingsStore& store, DeviceDiscovery& discovery, int portNumber);

} // namespace zq4
