#include "panel/linesharehost.h"

#include "serial/lineshare.h"
#include "serial/portselection.h"

#include <QDeadlineTimer>
#include <QPointer>
#include <QTimer>

#include <vector>

namespace zq4 {

namespace {

// How often the host looks whether the frames it wrote have left the port, while any wait.
constexpr std::chrono::milliseconds kSentPoll{20};

class LineShareHost final : public QObject {
public:
    LineShareHost(const LineShareHostParts& parts, std::function<void(const QString&)> log);
    ~LineShareHost() override;
    LineShareHost(const LineShareHost&) = delete;
    LineShareHost& operator=(const LineShareHost&) = delete;

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

LineShareHost::LineShareHost(const LineShareHostParts& parts,
                             std::function<void(const QString&)> log)
    : m_parts(parts), m_server({.holdsLine = [this] { return holdsLine(); },
                                .send = [this](SharedFrame& frame) { send(frame); },
                                .log = std::move(log)}) {
    m_poll.setInterval(kSentPoll);
    connect(&m_poll, &QTimer::timeout, this, &LineShareHost::checkSent);
    m_parts.commSelection.setPortFollower([this] { follow(); });
    follow();
}

LineShareHost::~LineShareHost() {
    m_parts.commSelection.setPortFollower(nullptr);
    finishPending(QStringLiteral("the window closed before the frame had left the port: it goes "
                                 "out only if the device takes it before the port closes"));
}

void LineShareHost::follow() {
    // A pick closes the port, draining or dropping what it holds, and a lost device takes it
    // along: whether a frame written before went out is not known.
    finishPending(QStringLiteral("the port was closed (picked again in the window, or the device "
                                 "went away) before the frame had left it: it may not have "
                                 "reached the display"));
    const Result<bool> open = m_parts.port.isOpen();
    if (!open || !open.value()) {
        m_server.close();
        return;
    }
    const QString device = m_parts.device();
    if (m_server.isFor(device)) {
        return;
    }
    if (const Status listening = m_server.listen(device); !listening) {
        m_server.log(
            QStringLiteral("zq4 send cannot hand its frames for %1 to this window: %2; it finds "
                           "the line in use while the window holds it")
                .arg(device, listening.description()));
    }
}

bool LineShareHost::holdsLine() const {
    const Result<bool> open = m_parts.port.isOpen();
    return open && open.value() && m_server.isFor(m_parts.device());
}

void LineShareHost::send(SharedFrame& frame) {
    // One whole frame in one write, between the window's own: the port keeps them in order.
    // A failure is the window's own SEND's (a closed port, a write the line refused), told to
    // the script alone.
    if (const WriteStatus written = m_parts.port.write(BuildFrame(frame.inputs())); !written.ok()) {
        frame.finish(written.status);
        return;
    }
    m_pending.push_back({&frame, where(), QDeadlineTimer(kShareSendTime)});
    checkSent();
}

void LineShareHost::checkSent() {
    const qint64 queued = m_parts.queuedBytes();
    for (auto pending = m_pending.begin(); pending != m_pending.end();) {
        if (queued == 0 || pending->frame.isNull()) {
            if (pending->frame) {
                pending->frame->finish(Status::Ok());
            }
        } else if (pending->deadline.hasExpired()) {
            pending->frame->finish(Status::Failed(
                QStringLiteral("%1: the device did not take the frame within %2 s (%3 bytes are "
                               "still waiting): the window sends it when the device takes them, "
                               "or drops it when its port closes")
                    .arg(pending->where)
                    .arg(kShareSendTime.count() / 1000)
                    .arg(queued)));
        } else {
            ++pending;
            continue;
        }
        pending = m_pending.erase(pending);
    }
    if (m_pending.empty()) {
        m_poll.stop();
    } else if (!m_poll.isActive()) {
        m_poll.start();
    }
}

void LineShareHost::finishPending(const QString& why) {
    for (const Pending& pending : m_pending) {
        if (pending.frame) {
            pending.frame->finish(Status::Failed(pending.where + QStringLiteral(": ") + why));
        }
    }
    m_pending.clear();
    m_poll.stop();
}

QString LineShareHost::where() const {
    return QStringLiteral("%1 (%2)").arg(PortLabel(m_parts.commSelection.CommNum()),
                                         m_parts.device());
}

} // namespace

std::unique_ptr<QObject> MakeLineShareHost(const LineShareHostParts& parts,
                                           std::function<void(const QString&)> log) {
    return std::make_unique<LineShareHost>(parts, std::move(log));
}

} // namespace zq4
