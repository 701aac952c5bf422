#pragma once

#include <QString>

#include <optional>

namespace zq4 {

// A running process that holds a serial device.
struct LineHolder {
    qint64 processId = 0;
    QString program; // the name the system gives the process; empty when it cannot be told
};

// The device file a path leads to, symbolic links resolved, so that every path to one device
// (a by-id link and the node it names) comes to one lock. A name without a folder is taken
// under /dev, as QSerialPort takes it; a path that leads nowhere is kept as it is.
QString LineDevice(const QString& path);

// The lock file QSerialPort takes for the device: "LCK.." and the path less "/dev/", each '/'
// turned into '_', in the first of the usual lock folders that can be read and written (or
// already holds it). Empty where devices are not locked by file (Windows).
QString LineLockFile(const QString& device);

// The running process that holds the device, reached by this path or by the device it leads
// to, through a lock file in any of the usual lock folders and forms: the process id as ten
// ASCII characters, QLockFile's lines, or a binary integer. A lock file whose process has
// ended is removed on the way where that is allowed. Nothing where devices are not locked by
// file: there the system itself refuses a port in use.
std::optional<LineHolder> LineLockHolder(const QString& path);

// The reason an open is refused because the holder has the device, for an operator.
QString InUseReason(const LineHolder& holder);

// Why the system refused to open the device as not permitted (QSerialPort::PermissionError), in
// words the operator can act on: the process that holds it, a lock file in the way, the
// missing permission (and the group to join), or a path too long for a lock file.
QString RefusedOpenReason(const QString& path);

} // namespace zq4
