#include "idle.h"

#include <QApplication>
#include <QEventLoop>
#include <QMap>
#include <QMetaEnum>

#include <sys/resource.h>
#include <time.h>

#include <atomic>
#include <thread>

namespace zq4::bench {

namespace {

using namespace std::chrono_literals;

constexpr std::chrono::milliseconds kIdleSpan = 5s;
// Time for the window's thread to settle into its event loop before the span begins.
constexpr std::chrono::milliseconds kSettle = 200ms;
constexpr long kIdleWakeupTarget = 2;
// CPU time that still rounds to 0 ms.
constexpr double kIdleCpuTargetMs = 0.5;

// Counts the events the window's thread handles while told to, by kind and receiver, to tell
// what woke it.
class EventTally final : public QObject {
public:
    bool eventFilter(QObject* receiver, QEvent* event) override {
        if (counting) {
            const char* type = QMetaEnum::fromType<QEvent::Type>().valueToKey(event->type());
            ++m_counts[QStringLiteral("%1 -> %2")
                           .arg(type != nullptr ? QString::fromLatin1(type)
                                                : QString::number(event->type()),
                                QString::fromLatin1(receiver->metaObject()->className()))];
        }
        return false;
    }

    QString summary() const {
        QStringList parts;
        for (auto it = m_counts.cbegin(); it != m_counts.cend(); ++it) {
            parts += QStringLiteral("%1 x%2").arg(it.key()).arg(it.value());
        }
        return parts.isEmpty() ? QStringLiteral("none") : parts.join(QStringLiteral(", "));
    }

    std::atomic<bool> counting{false};

private:
    QMap<QString, int> m_counts;
};

// What the process, or the calling thread alone, has used so far: CPU time from the scheduler's
// clock and the times it went to sleep.
struct Usage {
    double cpuMs = 0;
    long sleeps = 0;
};

Usage usage(int who, clockid_t clock) {
    Usage usage;
    timespec time{};
    if (::clock_gettime(clock, &time) == 0) {
        usage.cpuMs = milliseconds(std::chrono::seconds(time.tv_sec) +
                                   std::chrono::nanoseconds(time.tv_nsec));
    }
    rusage counts{};
    if (::getrusage(who, &counts) == 0) {
        usage.sleeps = counts.ru_nvcsw;
    }
    return usage;
}

QString describeState(const QWidget& window) {
    const QWidget* focus = window.focusWidget();
    return QStringLiteral("window %1, focus on %2")
        .arg(window.isActiveWindow() ? QStringLiteral("active") : QStringLiteral("inactive"),
             focus != nullptr ? focus->objectName() : QStringLiteral("nothing"));
}

// The span is watched from a thread of the bench's own, which wakes the window's thread only
// once it is over, to end the loop: the measurement itself neither wakes the program inside the
// span nor is counted, and the watcher's own CPU time and sleeps are taken out of the process's.
} // namespace

IdleFigures measureIdle(const QWidget& window, const QString& port) {
    // Paints and focus changes still pending run now, not inside the span.
    QCoreApplication::processEvents();
    EventTally tally;
    QEventLoop loop;
    Usage process[2];
    Usage watcher[2];
    std::thread watching([&] {
        std::this_thread::sleep_for(kSettle);
        tally.counting = true;
        // The watcher's own span lies inside the process's, so what it takes out is its own.
        process[0] = usage(RUSAGE_SELF, CLOCK_PROCESS_CPUTIME_ID);
        watcher[0] = usage(RUSAGE_THREAD, CLOCK_THREAD_CPUTIME_ID);
        std::this_thread::sleep_for(kIdleSpan);
        watcher[1] = usage(RUSAGE_THREAD, CLOCK_THREAD_CPUTIME_ID);
        process[1] = usage(RUSAGE_SELF, CLOCK_PROCESS_CPUTIME_ID);
        tally.counting = false;
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    qApp->installEventFilter(&tally);
    loop.exec();
    qApp->removeEventFilter(&tally);
    watching.join();
    return {port, describeState(window),
            (process[1].cpuMs - process[0].cpuMs) - (watcher[1].cpuMs - watcher[0].cpuMs),
            (process[1].sleeps - process[0].sleeps) - (watcher[1].sleeps - watcher[0].sleeps),
            tally.summary()};
}

std::vector<IdleFigures> measureIdleStates(QWidget& window) {
    const QString open = QStringLiteral("port open");
    std::vector<IdleFigures> idle;
    // After the clicks SEND holds the focus.
    idle.push_back(measureIdle(window, open));
    // The operator about to type: a focused text box blinks its cursor.
    window.findChild<QWidget*>(QStringLiteral("Text1"))->setFocus();
    idle.push_back(measureIdle(window, open));
    // The operator working in another program: no window of the panel is active, and Text1
    // keeps the focus within it without blinking.
    QApplication::setActiveWindow(nullptr);
    idle.push_back(measureIdle(window, open));
    return idle;
}

std::vector<Row> idleRows(const std::vector<IdleFigures>& idle) {
    std::vector<Row> rows;
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(kIdleSpan).count();
    for (const IdleFigures& figures : idle) {
        rows.push_back(
            {QStringLiteral("idle %1 s, %2, %3").arg(seconds).arg(figures.port, figures.state),
             QStringLiteral("CPU %1, wake-ups %2").arg(ms(figures.cpuMs)).arg(figures.wakeups),
             QStringLiteral("CPU 0 ms, <= %1 wake-ups").arg(kIdleWakeupTarget),
             verdict(figures.cpuMs < kIdleCpuTargetMs && figures.wakeups <= kIdleWakeupTarget)});
    }
    return rows;
}

} // namespace zq4::bench
