#pragma once

#include "core/status.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>

namespace zq4 {

// The serial port as the panel drives it: exactly the operations its routines use,
// each able to fail with a description. Line settings are fixed: 1200 baud, 8N1.
class SerialPort {
public:
    virtual ~SerialPort() = default;

    // CommPort: selects the port number the next open uses (only while closed).
    virtual Status setCommPort(std::int16_t portNumber) = 0;
    // PortOpen: whether the port is open; opening applies the line settings.
    virtual Result<bool> portOpen() const = 0;
    virtual Status setPortOpen(bool open) = 0;
    // InputLen: 0 makes the next read of Input return everything received so far.
    virtual Status setInputLen(int length) = 0;
    // Input: returns what was received and removes it from the receive buffer.
    virtual Result<QByteArray> input() = 0;
    // Output: transmits the bytes in order.
    virtual Status setOutput(const QByteArray& bytes) = 0;

    // Called once when an open port fails under the program (a USB adapter pulled out):
    // the port has already been closed; the text names the port and the reason.
    using LostHandler = std::function<void(const QString& description)>;
    virtual void setLostHandler(LostHandler handler) = 0;
};

} // namespace zq4
