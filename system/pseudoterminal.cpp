#include "system/pseudoterminal.h"

#include <QDeadlineTimer>

#include <array>
#include <cerrno>
#include <cstring>
#include <limits>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

namespace zq4 {

namespace {

// The events poll() reports on one descriptor before the deadline; none once it has passed.
short pollFor(int fd, const QDeadlineTimer& deadline) {
    pollfd entry{fd, POLLIN, 0};
    ::poll(&entry, 1, static_cast<int>(deadline.remainingTime()));
    return entry.revents;
}

} // namespace

PseudoTerminal::PseudoTerminal() {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0) {
        fail(QStringLiteral("cannot create a pseudo-terminal"));
        return;
    }
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        fail(QStringLiteral("cannot unlock the pseudo-terminal"));
        return;
    }
    std::array<char, 128> name{};
    if (::ptsname_r(m_master, name.data(), name.size()) != 0) {
        fail(QStringLiteral("cannot name the pseudo-terminal"));
        return;
    }
    const QString path = QString::fromLocal8Bit(name.data());
    m_slave = ::open(name.data(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave < 0) {
        fail(QStringLiteral("cannot open %1").arg(path));
        return;
    }
    termios settings{};
    if (::tcgetattr(m_slave, &settings) != 0) {
        fail(QStringLiteral("cannot read the line settings of %1").arg(path));
        return;
    }
    ::cfmakeraw(&settings);
    if (::tcsetattr(m_slave, TCSANOW, &settings) != 0) {
        fail(QStringLiteral("cannot make %1 raw").arg(path));
        return;
    }
    const int flags = ::fcntl(m_master, F_GETFL);
    if (flags < 0 || ::fcntl(m_master, F_SETFL, flags | O_NONBLOCK) != 0) {
        fail(QStringLiteral("cannot make the pseudo-terminal non-blocking"));
        return;
    }
    m_devicePath = path;
}

PseudoTerminal::~PseudoTerminal() {
    closeSlave();
    closeMaster();
}

void PseudoTerminal::fail(const QString& step) {
    m_errorString =
        QStringLiteral("%1: %2").arg(step, QString::fromLocal8Bit(std::strerror(errno)));
    closeSlave();
    closeMaster();
}

void PseudoTerminal::closeSlave() {
    if (m_slave >= 0) {
        ::close(std::exchange(m_slave, -1));
    }
}

void PseudoTerminal::closeMaster() {
    if (m_master >= 0) {
        ::close(std::exchange(m_master, -1));
    }
}

// Line settings asked of the master are those of its slave.
termios PseudoTerminal::lineSettings() const {
    termios settings{};
    ::tcgetattr(m_master, &settings);
    return settings;
}

void PseudoTerminal::setLineSettings(const termios& settings) {
    ::tcsetattr(m_master, TCSANOW, &settings);
}

bool PseudoTerminal::writeToLine(const QByteArray& bytes) {
    const auto size = static_cast<size_t>(bytes.size());
    return ::write(m_master, bytes.constData(), size) == bytes.size() &&
           (m_slave < 0 || (pollFor(m_slave, QDeadlineTimer(5000)) & POLLIN) != 0);
}

QByteArray PseudoTerminal::readFromLine(qsizetype count, std::chrono::milliseconds timeout) {
    QByteArray received;
    const QDeadlineTimer deadline(timeout);
    std::array<char, 4096> chunk{};
    while (received.size() < count && (pollFor(m_master, deadline) & POLLIN) != 0) {
        const ssize_t got = ::read(m_master, chunk.data(), chunk.size());
        if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        }
        if (got <= 0) {
            break; // hung up: nobody holds the slave any more
        }
        received.append(chunk.data(), got);
    }
    return received;
}

bool PseudoTerminal::waitForSlaveClosed(std::chrono::milliseconds timeout) {
    // Reading ends at the hang-up, or at the deadline while the slave is still held.
    readFromLine(std::numeric_limits<qsizetype>::max(), timeout);
    return (pollFor(m_master, QDeadlineTimer(0)) & POLLHUP) != 0;
}

qsizetype PseudoTerminal::fillLine(qsizetype chunk) {
    const int flags = ::fcntl(m_slave, F_GETFL);
    ::fcntl(m_slave, F_SETFL, flags | O_NONBLOCK);
    const QByteArray bytes(chunk, 'x');
    qsizetype held = 0;
    // The kernel makes more room a moment after the line first reports it full.
    for (pollfd writable{m_slave, POLLOUT, 0};
         ::poll(&writable, 1, 500) > 0 && (writable.revents & POLLOUT) != 0;) {
        for (ssize_t put = 0; (put = ::write(m_slave, bytes.constData(), size_t(chunk))) > 0;) {
            held += put;
        }
    }
    ::fcntl(m_slave, F_SETFL, flags);
    return held;
}

} // namespace zq4
