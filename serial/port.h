#pragma once

#include "core/status.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>

namespace zq4 {

// At most this much of the line's time waits to go out, counting the port's own bytes and the
// device's: at 1200 baud, 240 bytes, 13 frames. A write beyond it is refused as busy.
inline constexpr std::chrono::milliseconds kLongestWait{2000};
// Closing waits for what still waits as long as it takes on the line, plus this much.
inline constexpr std::chrono::milliseconds kDrainMargin{1000};
// So a close never needs longer than this: what a pick, or the end of the program, may take.
inline constexpr std::chrono::milliseconds kLongestClose = kLongestWait + kDrainMargin;

// What came of a write: the bytes wait for the line, or they were refused. A busy line refuses
// them without a fault: what waits for it already takes as long as the port lets wait.
struct [[nodiscard]] WriteStatus {
    Status status = Status::Ok();
    bool busy = false;

    bool ok() const { return status.ok(); }
    QString description() const { return status.description(); }
};

// The serial port as the panel drives it: exactly the operations its routines use, each able to
// fail with a description. Line settings are fixed: 1200 baud, 8N1.
class SerialPort {
public:
    virtual ~SerialPort() = default;

    // Opens the device of a port number ("Com3:") with the line settings; fails while open.
    virtual Status open(std::int16_t portNumber) = 0;
    // Whether the port is open.
    virtual Result<bool> isOpen() const = 0;
    // Closes the port once what waits for the line has gone out, waiting no longer than
    // `deadline` (nor than the line needs for it plus a margin); what is left then is discarded,
    // and the failure says how much.
    virtual Status close(std::chrono::milliseconds deadline) = 0;
    // Throws away what was received and not yet read: nothing received is interpreted.
    virtual Status discardInput() = 0;
    // Hands the bytes to the line, in order, behind what waits already; refused as busy when
    // that would make more wait than kLongestWait of the line's time.
    virtual WriteStatus write(const QByteArray& bytes) = 0;

    // Called once when an open port fails under the program (a USB adapter pulled out):
    // the port has already been closed; the text names the port and the reason.
    using LostHandler = std::function<void(const QString& description)>;
    virtual void setLostHandler(LostHandler handler) = 0;
};

} // namespace zq4
