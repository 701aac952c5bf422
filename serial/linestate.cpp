#include "serial/linestate.h"

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <poll.h>
#include <sys/ioctl.h>
#endif

namespace zq4 {

#ifdef Q_OS_WIN

qint64 DeviceQueued(const QSerialPort&) {
    return 0;
}

bool DeviceGone(const QSerialPort& port) {
    DWORD errors = 0;
    return ::ClearCommError(port.handle(), &errors, nullptr) == 0;
}

bool WaitForDeviceGone(const QSerialPort& port, std::chrono::milliseconds) {
    return DeviceGone(port);
}

#else

namespace {

// The descriptor's state after waiting at most `timeout` for a change; it asks for no event, so
// only a hang-up, an error or a closed descriptor ends the wait early.
bool hungUp(int descriptor, std::chrono::milliseconds timeout) {
    pollfd entry{descriptor, 0, 0};
    return ::poll(&entry, 1, static_cast<int>(timeout.count())) > 0 &&
           (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

} // namespace

qint64 DeviceQueued(const QSerialPort& port) {
#ifdef TIOCOUTQ
    int queued = 0;
    return ::ioctl(port.handle(), TIOCOUTQ, &queued) == 0 ? queued : 0;
#else
    Q_UNUSED(port);
    return 0;
#endif
}

bool DeviceGone(const QSerialPort& port) {
    return hungUp(port.handle(), std::chrono::milliseconds(0));
}

bool WaitForDeviceGone(const QSerialPort& port, std::chrono::milliseconds timeout) {
    return hungUp(port.handle(), timeout);
}

#endif

} // namespace zq4
