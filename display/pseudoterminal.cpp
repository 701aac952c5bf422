#include "display/pseudoterminal.h"

#include <array>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace zq4 {

PseudoTerminal::~PseudoTerminal() {
    if (m_slave >= 0) {
        ::close(m_slave);
    }
    if (m_master >= 0) {
        ::close(m_master);
    }
}

bool PseudoTerminal::fail(const QString& step) {
    m_errorString =
        QStringLiteral("%1: %2").arg(step, QString::fromLocal8Bit(std::strerror(errno)));
    return false;
}

bool PseudoTerminal::open() {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0) {
        return fail(QStringLiteral("cannot create a pseudo-terminal"));
    }
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        return fail(QStringLiteral("cannot unlock the pseudo-terminal"));
    }
    std::array<char, 128> name{};
    if (::ptsname_r(m_master, name.data(), name.size()) != 0) {
        return fail(QStringLiteral("cannot name the pseudo-terminal"));
    }
    m_devicePath = QString::fromLocal8Bit(name.data());

    m_slave = ::open(name.data(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave < 0) {
        return fail(QStringLiteral("cannot open %1").arg(m_devicePath));
    }
    termios settings{};
    if (::tcgetattr(m_slave, &settings) != 0) {
        return fail(QStringLiteral("cannot read the line settings of %1").arg(m_devicePath));
    }
    ::cfmakeraw(&settings);
    if (::tcsetattr(m_slave, TCSANOW, &settings) != 0) {
        return fail(QStringLiteral("cannot make %1 raw").arg(m_devicePath));
    }

    const int flags = ::fcntl(m_master, F_GETFL);
    if (flags < 0 || ::fcntl(m_master, F_SETFL, flags | O_NONBLOCK) != 0) {
        return fail(QStringLiteral("cannot make the pseudo-terminal non-blocking"));
    }
    return true;
}

} // namespace zq4
