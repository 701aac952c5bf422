#include "tests/support/line.h"

#include <QDeadlineTimer>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace zq4::test {

qsizetype fillLine(PseudoTerminal& line, qsizetype chunk) {
    const int slave = line.slaveDescriptor();
    const int flags = ::fcntl(slave, F_GETFL);
    ::fcntl(slave, F_SETFL, flags | O_NONBLOCK);
    const QByteArray bytes(chunk, 'x');
    qsizetype held = 0;
    // The kernel makes more room a moment after the line first reports it full.
    for (pollfd writable{slave, POLLOUT, 0};
         ::poll(&writable, 1, 500) > 0 && (writable.revents & POLLOUT) != 0;) {
        for (ssize_t put = 0; (put = ::write(slave, bytes.constData(), size_t(chunk))) > 0;) {
            held += put;
        }
    }
    ::fcntl(slave, F_SETFL, flags);
    return held;
}

} // namespace zq4::test
