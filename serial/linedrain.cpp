#include "serial/linedrain.h"

#include "serial/linestate.h"

#include <algorithm>
#include <chrono>

namespace zq4 {

namespace {

// How long one wait lasts before the drain looks again whether it is to be given up.
constexpr std::chrono::milliseconds kSlice{20};

} // namespace

Drained DrainLine(QSerialPort& port, QDeadlineTimer deadline,
                  const std::function<QString()>& interruption) {
    Drained drained;
    while (true) {
        drained.gone = DeviceGone(port);
        drained.unsent = port.bytesToWrite() + DeviceQueued(port);
        if (drained.gone || drained.unsent == 0 || deadline.hasExpired()) {
            break;
        }
        if (interruption) {
            drained.interruption = interruption();
            if (!drained.interruption.isEmpty()) {
                break;
            }
        }
        const auto slice = std::min(kSlice, std::chrono::ceil<std::chrono::milliseconds>(
                                                deadline.remainingTimeAsDuration()));
        if (port.bytesToWrite() > 0) {
            // Ends as soon as bytes went out. A full line is no failure: the wait goes on.
            port.clearError();
            (void)port.waitForBytesWritten(static_cast<int>(slice.count()));
        } else {
            (void)WaitForDeviceGone(port, slice);
        }
    }
    // The device's transmitter sends its last bytes before a close lets go of the line: the
    // system waits for that itself.
    return drained;
}

} // namespace zq4
