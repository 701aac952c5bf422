#include "pseudoterminal.h"

#include <QDeadlineTimer>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>

#include <cstdlib>
#include <limits>

namespace zq4::test {

// The events poll() reports on one descriptor before the deadline; none once it has passed.
static short pollFor(int fd, const QDeadlineTimer& deadline, short events = POLLIN) {
    pollfd entry{fd, events, 0};
    ::poll(&entry, 1, static_cast<int>(deadline.remainingTime()));
    return entry.revents;
}

// When openpty() fails both descriptors stay -1, the path stays empty and valid() is false.
PseudoTerminal::PseudoTerminal() {
    ::openpty(&m_master, &m_slave, nullptr, nullptr, nullptr);
    m_slavePath = QString::fromLocal8Bit(::ptsname(m_master));
    setForeignLineSettings();
}

PseudoTerminal::~PseudoTerminal() {
    closeSlave();
    closeMaster();
}

// Line settings asked of the master are those of its slave.
void PseudoTerminal::setForeignLineSettings() {
    termios settings = lineSettings();
    ::cfmakeraw(&settings);
    settings.c_cflag |= CSTOPB | CRTSCTS;
    ::cfsetspeed(&settings, B9600);
    ::tcsetattr(m_master, TCSANOW, &settings);
}

termios PseudoTerminal::lineSettings() const {
    termios settings{};
    ::tcgetattr(m_master, &settings);
    return settings;
}

bool PseudoTerminal::writeToLine(const QByteArray& bytes) {
    const auto size = static_cast<size_t>(bytes.size());
    return ::write(m_master, bytes.constData(), size) == bytes.size() &&
           (m_slave < 0 || (pollFor(m_slave, QDeadlineTimer(5000)) & POLLIN) != 0);
}

QByteArray PseudoTerminal::readFromLine(qsizetype count, std::chrono::milliseconds timeout) {
    QByteArray received;
    const QDeadlineTimer deadline(timeout);
    QByteArray chunk(4096, Qt::Uninitialized);
    ssize_t got = 1;
    while (got > 0 && received.size() < count && (pollFor(m_master, deadline) & POLLIN) != 0) {
        got = ::read(m_master, chunk.data(), chunk.size());
        received.append(chunk.constData(), got > 0 ? got : 0);
    }
    return received;
}

qsizetype PseudoTerminal::fillLine(qsizetype chunk) {
    const int flags = ::fcntl(m_slave, F_GETFL);
    ::fcntl(m_slave, F_SETFL, flags | O_NONBLOCK);
    const QByteArray bytes(chunk, 'x');
    qsizetype held = 0;
    // The kernel makes more room a moment after the line first reports it full.
    do {
        ssize_t put = 0;
        while ((put = ::write(m_slave, bytes.constData(), static_cast<size_t>(chunk))) > 0) {
            held += put;
        }
    } while ((pollFor(m_slave, QDeadlineTimer(500), POLLOUT) & POLLOUT) != 0);
    ::fcntl(m_slave, F_SETFL, flags);
    return held;
}

qsizetype PseudoTerminal::measureCapacity(qsizetype chunk) {
    const qsizetype held = fillLine(chunk);
    return readFromLine(held, std::chrono::seconds(5)).size() == held ? held : 0;
}

bool PseudoTerminal::waitForSlaveClosed(std::chrono::milliseconds timeout) {
    // Reading ends at the hang-up, or at the deadline while the slave is still held.
    readFromLine(std::numeric_limits<qsizetype>::max(), timeout);
    return (pollFor(m_master, QDeadlineTimer(0)) & POLLHUP) != 0;
}

} // namespace zq4::test
