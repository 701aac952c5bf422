#pragma once

#include "panel/commselection.h"
#include "serial/lineshare.h"
#include "serial/port.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <vector>

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

// The window's side of a line shared with this user's scripts: while the port is open, a frame
// that `zq4 send` hands over for its device is written through the port in turn with the
// window's own SENDs, and the script is told once it has left the port, or why not. Nothing of
// the window changes for it: its values, the stored choices and what the operator is shown stay
// as they were.
class LineShareHost final : public QObject {
public:
    // Refusals and failures to listen go to `log`, one line each (standard error when not set).
    explicit LineShareHost(const LineShareHostParts& parts,
                           std::function<void(const QString&)> log = {});
    ~LineShareHost() override;
    LineShareHost(const LineShareHost&) = delete;
    LineShareHost& operator=(const LineShareHost&) = delete;

    // Listens for the device of the port open now, and follows the port's picks and losses
    // from then on.
    void start();

private:
    struct Pending {
        QPointer<SharedFrame> frame;
        QString where;
        QDeadlineTimer deadline;
    };

    void follow();
    bool holdsLine() const;
    void send(SharedFrame& frame);
    void checkSent();
    void finishPending(const QString& why);
    QString where() const;

    LineShareHostParts m_parts;
    LineShareServer m_server;
    QTimer m_poll;
    std::vector<Pending> m_pending; // written, in order, not yet known to have left the port
};

} // namespace zq4
