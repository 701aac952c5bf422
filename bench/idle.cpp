#include "idle.h"

#include "processusage.h"

#include <QApplication>
#include <QEventLoop>
#include <QMap>
#include <QMetaEnum>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <thread>

namespace zq4::bench {

namespace {

using namespace std::chrono_literals;

constexpr std::chrono::milliseconds kIdleSpan = 5s;
constexpr std::chrono::milliseconds kSettleTimeout = 2s;
constexpr std::chrono::milliseconds kAsleepCheck = 1ms;
constexpr long kIdleWakeupTarget = 2;
// CPU time that still rounds to 0 ms.
constexpr double kIdleCpuTargetMs = 0.5;

// Counts the events the window's thread handles, by kind and receiver, to tell what woke it.
class EventTally final : public QObject {
public:
    bool eventFilter(QObject* receiver, QEvent* event) override {
        const char* type = QMetaEnum::fromType<QEvent::Type>().valueToKey(event->type());
        ++m_counts[QStringLiteral("%1 -> %2")
                       .arg(type != nullptr ? QString::fromLatin1(type)
                                            : QString::number(event->type()),
                            QString::fromLatin1(receiver->metaObject()->className()))];
        return false;
    }

    QString summary() const {
        QStringList parts;
        for (auto it = m_counts.cbegin(); it != m_counts.cend(); ++it) {
            parts += QStringLiteral("%1 x%2").arg(it.key()).arg(it.value());
        }
        return parts.isEmpty() ? QStringLiteral("none") : parts.join(QStringLiteral(", "));
    }

private:
    QMap<QString, int> m_counts;
};

// Each thread's voluntary (and involuntary) switches between two looks at /proc, and the
// threads that started or ended in between; `skipped` is left out.
QString describeThreads(const std::map<int, ThreadSwitches>& before,
                        const std::map<int, ThreadSwitches>& after, int skipped) {
    QStringList threads;
    for (const auto& [id, switches] : after) {
        const auto earlier = before.find(id);
        if (id == skipped) {
            continue;
        }
        if (earlier == before.end()) {
            threads += QStringLiteral("%1 started").arg(switches.name);
            continue;
        }
        threads += QStringLiteral("%1 %2 (%3)")
                       .arg(switches.name)
                       .arg(switches.voluntary - earlier->second.voluntary)
                       .arg(switches.involuntary - earlier->second.involuntary);
    }
    for (const auto& [id, switches] : before) {
        if (id != skipped && !after.contains(id)) {
            threads += QStringLiteral("%1 ended").arg(switches.name);
        }
    }
    return threads.join(QStringLiteral(", "));
}

long voluntarySwitchesOf(const std::map<int, ThreadSwitches>& threads, int id) {
    const auto found = threads.find(id);
    return found != threads.end() ? found->second.voluntary : 0;
}

// Waits until the thread sleeps and stays asleep across two looks, as a thread waiting in its
// event loop does; false when it did not within the timeout.
bool waitUntilAsleep(int threadId, std::chrono::milliseconds timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    long sleptBefore = -1;
    while (Clock::now() < deadline) {
        const long slept = voluntarySwitchesOf(currentThreadSwitches(), threadId);
        if (threadAsleep(threadId) && slept == sleptBefore) {
            return true;
        }
        sleptBefore = threadAsleep(threadId) ? slept : -1;
        std::this_thread::sleep_for(kAsleepCheck);
    }
    return false;
}

QString describeState(const Session& session) {
    const QWidget* focus = session.window.focusWidget();
    return QStringLiteral("window %1, focus on %2")
        .arg(session.window.isActiveWindow() ? QStringLiteral("active")
                                             : QStringLiteral("inactive"),
             focus != nullptr ? focus->objectName() : QStringLiteral("nothing"));
}

// The span is watched from a thread of the bench's own. It begins once the window's thread
// sleeps in its event loop, and when it is over the watcher wakes that thread to end the loop:
// so the measurement itself neither wakes the program inside the span nor is counted, and the
// watcher's own CPU time and sleeps are taken out of the process's figures.
IdleFigures measureIdle(const Session& session) {
    // Paints and focus changes still pending run now, not inside the span.
    QCoreApplication::processEvents();
    IdleFigures figures;
    figures.state = describeState(session);

    struct Look {
        std::map<int, ThreadSwitches> threads;
        Usage process;
        Usage watcher;
    };
    Look before;
    Look after;
    const auto windowThread = static_cast<int>(::gettid());
    int watcherThread = 0;
    EventTally tally;
    QEventLoop loop;

    std::thread watcher([&] {
        watcherThread = static_cast<int>(::gettid());
        figures.settled = waitUntilAsleep(windowThread, kSettleTimeout);
        // /proc is read outside the kernel's counts, and the watcher's counts inside the
        // process's, so only the watcher's own share is taken out.
        before.threads = currentThreadSwitches();
        before.process = processUsage();
        before.watcher = callingThreadUsage();
        std::this_thread::sleep_for(kIdleSpan);
        after.watcher = callingThreadUsage();
        after.process = processUsage();
        after.threads = currentThreadSwitches();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    qApp->installEventFilter(&tally);
    loop.exec();
    qApp->removeEventFilter(&tally);
    watcher.join();

    figures.cpuMs = milliseconds((after.process.cpu - before.process.cpu) -
                                 (after.watcher.cpu - before.watcher.cpu));
    figures.clockCpuMs = milliseconds((after.process.clockCpu - before.process.clockCpu) -
                                      (after.watcher.clockCpu - before.watcher.clockCpu));
    figures.wakeups = (after.process.voluntarySwitches - before.process.voluntarySwitches) -
                      (after.watcher.voluntarySwitches - before.watcher.voluntarySwitches);
    figures.windowWakeups = voluntarySwitchesOf(after.threads, windowThread) -
                            voluntarySwitchesOf(before.threads, windowThread);
    figures.threads = describeThreads(before.threads, after.threads, watcherThread);
    figures.minorFaults = after.process.minorFaults - before.process.minorFaults;
    figures.majorFaults = after.process.majorFaults - before.process.majorFaults;
    figures.events = tally.summary();
    figures.portOpen = session.portOpen();
    return figures;
}

} // namespace

std::vector<IdleFigures> measureIdleStates(Session& session) {
    std::vector<IdleFigures> idle;
    // After the clicks SEND holds the focus.
    idle.push_back(measureIdle(session));
    // The operator about to type: a focused text box blinks its cursor.
    session.window.findChild<QWidget*>(QStringLiteral("Text1"))->setFocus();
    idle.push_back(measureIdle(session));
    // The operator working in another program: no window of the panel is active, and Text1
    // keeps the focus within it without blinking.
    QApplication::setActiveWindow(nullptr);
    idle.push_back(measureIdle(session));
    return idle;
}

std::vector<Row> idleRows(const std::vector<IdleFigures>& idle) {
    std::vector<Row> rows;
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(kIdleSpan).count();
    for (const IdleFigures& figures : idle) {
        const bool met = figures.settled && figures.clockCpuMs < kIdleCpuTargetMs &&
                         figures.wakeups <= kIdleWakeupTarget && figures.portOpen;
        rows.push_back(
            {QStringLiteral("idle %1 s, port %2: %3")
                 .arg(seconds)
                 .arg(figures.portOpen ? QStringLiteral("open") : QStringLiteral("closed"),
                      figures.state),
             QStringLiteral("CPU %1 (getrusage %2), wake-ups %3 (window thread %4)%5")
                 .arg(ms(figures.clockCpuMs), ms(figures.cpuMs))
                 .arg(figures.wakeups)
                 .arg(figures.windowWakeups)
                 .arg(figures.settled ? QString() : QStringLiteral(", never settled")),
             QStringLiteral("CPU 0 ms, <= %1 wake-ups").arg(kIdleWakeupTarget), verdict(met)});
    }
    return rows;
}

void printIdleDetails(const std::vector<IdleFigures>& idle) {
    std::printf("\nIdle figures count the program's threads, not the bench's watcher, from the "
                "moment the window's thread sleeps. Below: each thread's voluntary (involuntary) "
                "switches from /proc/self/task, and the events the window's thread handled (the "
                "watcher's MetaCall -> QEventLoop, after the span, ends the loop).\n");
    for (const IdleFigures& figures : idle) {
        std::printf("  %s:\n    threads: %s\n    page faults: %ld minor, %ld major\n"
                    "    events: %s\n",
                    qPrintable(figures.state), qPrintable(figures.threads), figures.minorFaults,
                    figures.majorFaults, qPrintable(figures.events));
    }
}

} // namespace zq4::bench
