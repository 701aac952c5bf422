#include "display/shutdownsignals.h"

#include <cerrno>
#include <csignal>
#include <cstring>

#include <sys/signalfd.h>
#include <unistd.h>

namespace zq4 {

namespace {

sigset_t shutdownSet() {
    sigset_t watched;
    sigemptyset(&watched);
    sigaddset(&watched, SIGINT);
    sigaddset(&watched, SIGTERM);
    return watched;
}

} // namespace

void ShutdownSignals::block() {
    const sigset_t watched = shutdownSet();
    ::pthread_sigmask(SIG_BLOCK, &watched, nullptr);
    // A shell starts background jobs with SIGINT ignored, and an ignored signal is dropped
    // before anyone can read it. Blocked at the default action, it waits to be read instead.
    struct sigaction defaultAction {};
    defaultAction.sa_handler = SIG_DFL;
    sigemptyset(&defaultAction.sa_mask);
    ::sigaction(SIGINT, &defaultAction, nullptr);
    ::sigaction(SIGTERM, &defaultAction, nullptr);
}

ShutdownSignals::ShutdownSignals(QObject* parent) : QObject(parent) {
    block();
    const sigset_t watched = shutdownSet();
    m_descriptor = ::signalfd(-1, &watched, SFD_NONBLOCK | SFD_CLOEXEC);
    if (m_descriptor < 0) {
        m_errorString = QStringLiteral("cannot watch SIGINT and SIGTERM: %1")
                            .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_descriptor, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &ShutdownSignals::onActivated);
}

ShutdownSignals::~ShutdownSignals() {
    m_notifier.reset();
    if (m_descriptor >= 0) {
        ::close(m_descriptor);
    }
}

void ShutdownSignals::onActivated() {
    signalfd_siginfo info{};
    while (::read(m_descriptor, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        emit received(static_cast<int>(info.ssi_signo));
    }
}

} // namespace zq4
