#include "system/shutdownsignals.h"

#include <cerrno>
#include <csignal>
#include <cstring>

#include <sys/signalfd.h>
#include <unistd.h>

namespace zq4 {

namespace {

// The signals of the list that are not ignored.
sigset_t watchedSet(const QList<int>& signalNumbers) {
    sigset_t watched;
    sigemptyset(&watched);
    for (const int signalNumber : signalNumbers) {
        struct sigaction current {};
        if (::sigaction(signalNumber, nullptr, &current) == 0 && current.sa_handler != SIG_IGN) {
            sigaddset(&watched, signalNumber);
        }
    }
    return watched;
}

} // namespace

void ShutdownSignals::block(const QList<int>& signalNumbers) {
    // A shell starts background jobs with SIGINT ignored, and an ignored signal may be dropped
    // before anyone can read it. Blocked at the default action, it waits to be read instead.
    if (signalNumbers.contains(SIGINT)) {
        struct sigaction defaultAction {};
        defaultAction.sa_handler = SIG_DFL;
        sigemptyset(&defaultAction.sa_mask);
        ::sigaction(SIGINT, &defaultAction, nullptr);
    }
    const sigset_t watched = watchedSet(signalNumbers);
    ::pthread_sigmask(SIG_BLOCK, &watched, nullptr);
}

ShutdownSignals::ShutdownSignals(const QList<int>& signalNumbers, QObject* parent)
    : QObject(parent) {
    block(signalNumbers);
    const sigset_t watched = watchedSet(signalNumbers);
    m_descriptor = ::signalfd(-1, &watched, SFD_NONBLOCK | SFD_CLOEXEC);
    if (m_descriptor < 0) {
        m_errorString = QStringLiteral("cannot watch the signals that end the program: %1")
                            .arg(QString::fromLocal8Bit(std::strerror(errno)));
        ::pthread_sigmask(SIG_UNBLOCK, &watched, nullptr);
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

QString ShutdownSignals::takeReceived() {
    signalfd_siginfo info{};
    if (m_descriptor < 0 ||
        ::read(m_descriptor, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) {
        return QString();
    }
    const char* abbreviation = ::sigabbrev_np(static_cast<int>(info.ssi_signo));
    return abbreviation != nullptr ? QStringLiteral("SIG%1").arg(QLatin1String(abbreviation))
                                   : QStringLiteral("signal %1").arg(info.ssi_signo);
}

void ShutdownSignals::onActivated() {
    signalfd_siginfo info{};
    while (::read(m_descriptor, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        emit received(static_cast<int>(info.ssi_signo));
    }
}

} // namespace zq4
