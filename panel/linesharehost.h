#pragma once

#include "panel/commselection.h"
#include "serial/port.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace zq4 {

// What the window's side of a shared line works through: the window's port and its selection
// routine, which tells of each pick and loss, and two facts of the port beyond its operations.
struct LineShareHostParts {
    SerialPort& port;
    CommSelection& commSelection;
    // The device the port has open (or opens next), as it names it.
    std::function<QString()> device;
    // The bytes written to the port that have not left it yet, the device's own queue included.
    std::function<qint64()> queuedBytes;
};

// The window's side of a line shared with this user's scripts (serial/lineshare.h): while the
// port is open, a frame that `zq4 send` hands over for its device is written through the port in
// turn with the window's own SENDs, and the script is told once it has left the port, or why
// not. Nothing of the window changes for it: its values, the stored choices and what the
// operator is shown stay as they were. Made, it listens for the device of the port open now and
// follows the port's picks and losses from then on; it must go before the parts. Refusals and
// failures to listen go to `log`, one line each (standard error when not set).
std::unique_ptr<QObject> MakeLineShareHost(const LineShareHostParts& parts,
                                           std::function<void(const QString&)> log = {});

// MakeLineShareHost run from the module zq4-lineshare (serial/lineshareloader.h), which the
// window loads only once it is up. Null when the module cannot be loaded, and `error` says why.
std::unique_ptr<QObject> LoadLineShareHost(const LineShareHostParts& parts, QString& error);

} // namespace zq4
