#include "cli/endrequests.h"

#if defined(Q_OS_LINUX)
#include "system/shutdownsignals.h"

#include <csignal>
#elif defined(Q_OS_WIN)
#include <QDeadlineTimer>
#include <QThread>

#include <qt_windows.h>

#include <atomic>
#endif

namespace zq4 {

#if defined(Q_OS_LINUX)

struct EndRequests::Watch {
    ShutdownSignals endSignals{{SIGINT, SIGTERM, SIGHUP}};
};

EndRequests::EndRequests() : m_watch(std::make_unique<Watch>()) {}

bool EndRequests::isValid() const {
    return m_watch->endSignals.isValid();
}

QString EndRequests::take() {
    return m_watch->endSignals.takeReceived();
}

#elif defined(Q_OS_WIN)

namespace {

// The console's event, as the console's handler thread noted it for the waiting thread; -1 none.
std::atomic<int> g_event{-1};
// Set once the program has let go of the port: a closing console ends the process as soon as
// its handler returns, so the handler waits for that (Windows allows it a few seconds).
std::atomic<bool> g_finished{false};

BOOL WINAPI onConsoleEvent(DWORD event) {
    g_event.store(static_cast<int>(event));
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        const QDeadlineTimer deadline(4000);
        while (!g_finished.load() && !deadline.hasExpired()) {
            QThread::msleep(10);
        }
    }
    return TRUE;
}

QString eventName(int event) {
    switch (event) {
    case CTRL_C_EVENT:
        return QStringLiteral("Ctrl+C");
    case CTRL_BREAK_EVENT:
        return QStringLiteral("Ctrl+Break");
    case CTRL_CLOSE_EVENT:
        return QStringLiteral("the console window's closing");
    default:
        return QStringLiteral("the end of the session");
    }
}

} // namespace

struct EndRequests::Watch {
    bool valid = false;
};

EndRequests::EndRequests() : m_watch(std::make_unique<Watch>()) {
    g_event.store(-1);
    g_finished.store(false);
    m_watch->valid = ::SetConsoleCtrlHandler(onConsoleEvent, TRUE) != 0;
}

bool EndRequests::isValid() const {
    return m_watch->valid;
}

QString EndRequests::take() {
    const int event = g_event.exchange(-1);
    return event < 0 ? QString() : eventName(event);
}

#else

struct EndRequests::Watch {};

EndRequests::EndRequests() = default;

bool EndRequests::isValid() const {
    return false;
}

QString EndRequests::take() {
    return QString();
}

#endif

EndRequests::~EndRequests() {
#if defined(Q_OS_WIN)
    if (m_watch->valid) {
        ::SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    }
    g_finished.store(true);
#endif
}

} // namespace zq4
