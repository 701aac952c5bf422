#include "pseudoterminal.h"

#include <QDeadlineTimer>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace zq4::test {

namespace {

// poll() on one descriptor until one of `events` shows or the deadline passes.
short pollFor(int fd, short events, const QDeadlineTimer& deadline) {
    for (;;) {
        pollfd entry{fd, events, 0};
        const int waited = ::poll(&entry, 1, static_cast<int>(deadline.remainingTime()));
        if (waited > 0) {
            return entry.revents;
        }
        if (waited == 0 || errno != EINTR) {
            return 0;
        }
    }
}

} // namespace

PseudoTerminal::PseudoTerminal() {
    std::array<char, 128> name{};
    if (::openpty(&m_master, &m_slave, name.data(), nullptr, nullptr) != 0) {
        m_master = m_slave = -1;
        return;
    }
    m_slavePath = QString::fromLocal8Bit(name.data());
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    termios settings{};
    ::tcgetattr(m_slave, &settings);
    ::cfmakeraw(&settings);
    settings.c_cflag &= ~CSIZE;
    settings.c_cflag |= CS7 | PARENB | CSTOPB;
    ::cfsetispeed(&settings, B9600);
    ::cfsetospeed(&settings, B9600);
    ::tcsetattr(m_slave, TCSANOW, &settings);
}

PseudoTerminal::~PseudoTerminal() {
    closeSlave();
    closeMaster();
}

void PseudoTerminal::closeSlave() {
    if (m_slave >= 0) {
        ::close(m_slave);
        m_slave = -1;
    }
}

void PseudoTerminal::closeMaster() {
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
}

bool PseudoTerminal::writeToLine(const QByteArray& bytes) {
    return ::write(m_master, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size();
}

QByteArray PseudoTerminal::readFromLine(qsizetype count, std::chrono::milliseconds timeout) {
    QByteArray received;
    const QDeadlineTimer deadline(timeout);
    std::array<char, 4096> chunk{};
    while (received.size() < count) {
        const short events = pollFor(m_master, POLLIN, deadline);
        if ((events & POLLIN) == 0) {
            break;
        }
        const ssize_t got = ::read(m_master, chunk.data(), chunk.size());
        if (got <= 0) {
            break;
        }
        received.append(chunk.data(), got);
    }
    return received;
}

bool PseudoTerminal::lineStaysQuiet(std::chrono::milliseconds window) {
    return readFromLine(1, window).isEmpty();
}

bool PseudoTerminal::waitForSlaveClosed(std::chrono::milliseconds timeout) {
    const QDeadlineTimer deadline(timeout);
    while (!deadline.hasExpired()) {
        const short events = pollFor(m_master, POLLIN, deadline);
        if (events & POLLHUP) {
            return true;
        }
        // Output still on its way counts as readable: take it and keep waiting.
        std::array<char, 4096> chunk{};
        if ((events & POLLIN) != 0 && ::read(m_master, chunk.data(), chunk.size()) <= 0) {
            return false;
        }
    }
    return false;
}

bool PseudoTerminal::slaveHeldOpen() {
    pollfd entry{m_master, POLLIN, 0};
    return ::poll(&entry, 1, 0) >= 0 && (entry.revents & POLLHUP) == 0;
}

std::optional<termios> PseudoTerminal::lineSettings() const {
    termios settings{};
    // The master answers with the settings of its slave.
    if (::tcgetattr(m_master, &settings) != 0) {
        return std::nullopt;
    }
    return settings;
}

bool waitForInputQueued(int slave, std::chrono::milliseconds timeout) {
    return (pollFor(slave, POLLIN, QDeadlineTimer(timeout)) & POLLIN) != 0;
}

} // namespace zq4::test
