#pragma once

#include <QSerialPort>

#include <chrono>

namespace zq4 {

// What the device itself tells of the line, asked of an open port's handle. The platforms
// differ only here.

// The bytes the device holds that have not gone out yet (the kernel's queue, TIOCOUTQ). 0 where
// it cannot tell, and on Windows, where a write stays among the port's own bytes to write until
// the driver has done with it.
qint64 DeviceQueued(const QSerialPort& port);

// Whether the device has gone away under the open port: its descriptor is hung up, failed or
// closed (POLLHUP, POLLERR, POLLNVAL); on Windows, its error state cannot be read
// (ClearCommError fails).
bool DeviceGone(const QSerialPort& port);

// Waits at most `timeout` for the device to go away, and tells whether it has. The waits of a
// drain between looks at what the device still holds (there is no event for its queue emptying).
// Returns at once on Windows, whose device holds nothing the port does not count.
bool WaitForDeviceGone(const QSerialPort& port, std::chrono::milliseconds timeout);

} // namespace zq4
