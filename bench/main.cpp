#include "linelistener.h"
#include "processusage.h"

#include "panel/controlpanel.h"
#include "protocol/frame.h"
#include "protocol/vocabulary.h"
#include "serial/qserialportadapter.h"
#include "settings/keys.h"
#include "settings/qsettingsstore.h"
#include "system/pseudoterminal.h"

#include <QApplication>
#include <QEventLoop>
#include <QMap>
#include <QMetaEnum>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace zq4::bench {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kStartupWindows = 20;
constexpr int kLatencySends = 1000;
constexpr int kBurstSends = 200;
constexpr std::chrono::milliseconds kIdleSpan = 5s;
constexpr std::chrono::milliseconds kExposeTimeout = 5s;
constexpr std::chrono::milliseconds kFrameTimeout = 2s;
constexpr std::chrono::milliseconds kBurstTimeout = 60s;
constexpr std::chrono::milliseconds kSettleTimeout = 2s;
constexpr std::chrono::milliseconds kAsleepCheck = 1ms;

constexpr double kStartupTargetMs = 60;
constexpr double kSendP99TargetMs = 5;
constexpr double kPeakRssTargetMib = 40;
constexpr long kIdleWakeupTarget = 2;
// CPU time that still rounds to 0 ms.
constexpr double kIdleCpuTargetMs = 0.5;

// A frame lost or torn on the line is a fault of the program; slow figures are not.
constexpr int kExitFramesLost = 1;
constexpr int kExitSetupFailed = 2;

double milliseconds(Clock::duration span) {
    return std::chrono::duration<double, std::milli>(span).count();
}

// Nearest-rank percentile.
double percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const auto rank =
        static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(values.size())));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

QString ms(double value) {
    return QStringLiteral("%1 ms").arg(value, 0, 'f', value < 10 ? 2 : 1);
}

// One window with its parts, put together as the program does, but with a feedback that
// records the warnings instead of showing modal boxes.
struct RecordingFeedback final : OperatorFeedback {
    void beep() override { shown.push_back(QStringLiteral("beep")); }
    void warn(const QString& title, const QString& text) override {
        shown.push_back(title + QStringLiteral(": ") + text);
    }
    QStringList shown;
};

struct Session {
    QSettingsStore store;
    QSerialPortAdapter port{store};
    RecordingFeedback feedback;
    SystemDeviceDiscovery discovery;
    ControlPanel window{ControlPanelParts{store, port, feedback, discovery}};

    QPushButton* sendButton() {
        return window.findChild<QPushButton*>(QStringLiteral("SendButton"));
    }
    bool portOpen() const {
        const Result<bool> open = port.portOpen();
        return open && open.value();
    }
};

// Ends a run of the event loop once the platform has exposed the window. The expose event
// itself, in which the window paints for the first time, is handled before exec() returns.
class ExposeWatcher final : public QObject {
public:
    ExposeWatcher(QWindow& window, QEventLoop& loop) : m_window(window), m_loop(loop) {
        m_window.installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &m_window && event->type() == QEvent::Expose && m_window.isExposed()) {
            m_loop.quit();
        }
        return false;
    }

private:
    QWindow& m_window;
    QEventLoop& m_loop;
};

bool showExposed(QWidget& window) {
    window.show();
    QWindow* handle = window.windowHandle();
    if (handle == nullptr) {
        return false;
    }
    if (!handle->isExposed()) {
        QEventLoop loop;
        const ExposeWatcher watcher(*handle, loop);
        // A timer that goes with the loop, so none is left behind to fire while idle is measured.
        QTimer timeout;
        timeout.setSingleShot(true);
        QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
        timeout.start(kExposeTimeout);
        loop.exec();
    }
    return handle->isExposed();
}

// The choices of one send.
struct Choice {
    QString text;
    int brightness = 0;
    int message = 0;
    int address = 0;
};

// The n-th send of the run: texts of 0 to 13 characters, and codes that make every frame of
// the run differ from the others, so a lost, doubled or reordered frame shows.
Choice choiceFor(int n) {
    const QString text =
        QStringLiteral("F%1").arg(n).leftJustified(kTextFieldLength, QLatin1Char('.'));
    return {text.left(n % (kTextFieldLength + 1)), n % kBrightnessCount, n % kMessageCount,
            n % (kMaxAddress + 1)};
}

// What the display must receive for the choices: the text centred in 13 positions with the
// odd space on the right, the brightness, message and address codes, then 0xFF 0xFE.
QByteArray expectedFrame(const Choice& choice) {
    const auto length = static_cast<int>(choice.text.size());
    const int left = (kTextFieldLength - length) / 2;
    const int right = kTextFieldLength - length - left;
    QByteArray frame(left, ' ');
    frame += choice.text.toLatin1();
    frame += QByteArray(right, ' ');
    for (const int code : {choice.brightness, choice.message, choice.address}) {
        frame += static_cast<char>(static_cast<std::uint8_t>(code));
    }
    frame += static_cast<char>(kEndMarkerFirst);
    frame += static_cast<char>(kEndMarkerSecond);
    return frame;
}

// Puts the choices into the window's controls, as the operator would before pressing SEND.
void choose(ControlPanel& window, const Choice& choice) {
    window.setText1(choice.text);
    window.setBrtVal(choice.brightness);
    window.setMessage(choice.message);
    window.panel().setVScroll1(choice.address);
}

// How many of the expected frames arrived whole and in their place.
int wholeFrames(const QByteArray& received, const QByteArray& expected) {
    int whole = 0;
    for (qsizetype at = 0; at + kFrameLength <= expected.size(); at += kFrameLength) {
        whole += received.mid(at, kFrameLength) == expected.mid(at, kFrameLength) ? 1 : 0;
    }
    return whole;
}

struct StartupFigures {
    std::vector<double> times;
    ResidentMemory memory; // after the first window
    bool ok = false;
};

// Creates, shows and destroys fresh windows, each opening the port during its start-up.
StartupFigures measureStartup() {
    StartupFigures figures;
    for (int n = 0; n < kStartupWindows; ++n) {
        const Clock::time_point begin = Clock::now();
        auto session = std::make_unique<Session>();
        const bool exposed = showExposed(session->window);
        figures.times.push_back(milliseconds(Clock::now() - begin));
        if (!exposed || !session->portOpen() || !session->feedback.shown.isEmpty()) {
            std::fprintf(stderr, "start-up %d: window %s, port %s, shown: %s\n", n + 1,
                         exposed ? "exposed" : "never exposed",
                         session->portOpen() ? "open" : "closed",
                         qPrintable(session->feedback.shown.join(QStringLiteral(" | "))));
            return figures;
        }
        if (n == 0) {
            figures.memory = currentMemory();
        }
        session.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
    figures.ok = true;
    return figures;
}

// What reached the line's end against what was sent.
struct Delivery {
    int frames = 0;
    int whole = 0;
    qsizetype bytes = 0;
    qsizetype expectedBytes = 0;

    bool complete() const { return whole == frames && bytes == expectedBytes; }
};

Delivery delivered(const LineListener& listener, qsizetype base, const QByteArray& expected,
                   int frames) {
    const QByteArray received = listener.received().mid(base);
    return {frames, wholeFrames(received, expected), received.size(), expected.size()};
}

struct SendFigures {
    std::vector<double> arrival; // click to the frame's last byte readable at the line's end
    std::vector<double> handler; // click to the click's return
    Delivery delivery;
};

// One click at a time, the event loop turning in between as it would between an operator's
// clicks; only the click and the frame's arrival are timed.
SendFigures measureSends(Session& session, LineListener& listener, int first) {
    SendFigures figures;
    QPushButton* button = session.sendButton();
    const qsizetype base = listener.received().size();
    QByteArray expected;
    for (int n = first; n < first + kLatencySends; ++n) {
        const Choice choice = choiceFor(n);
        choose(session.window, choice);
        expected += expectedFrame(choice);
        QCoreApplication::processEvents();

        const Clock::time_point clicked = Clock::now();
        QTest::mouseClick(button, Qt::LeftButton);
        const Clock::time_point returned = Clock::now();
        const auto arrived = listener.waitForTotal(base + expected.size(), kFrameTimeout);
        if (!arrived) {
            break; // a frame short of bytes: the timings after it would mean nothing
        }
        figures.arrival.push_back(milliseconds(*arrived - clicked));
        figures.handler.push_back(milliseconds(returned - clicked));
    }
    figures.delivery = delivered(listener, base, expected, kLatencySends);
    return figures;
}

struct BurstFigures {
    Delivery delivery;
    double longestHandler = 0;
    double longestTimerGap = 0;
    double span = 0;
    bool finished = false;
};

// SEND clicked as fast as the event loop takes it: one click per turn of the loop, driven by
// a 0 ms timer, while a 1 ms timer notes the longest stretch the loop could not serve it.
BurstFigures runBurst(Session& session, LineListener& listener, int first) {
    BurstFigures figures;
    QPushButton* button = session.sendButton();
    const qsizetype base = listener.received().size();
    QByteArray expected;
    int sent = 0;

    QEventLoop loop;
    QTimer clicker;
    clicker.setInterval(0);
    QTimer watch;
    watch.setTimerType(Qt::PreciseTimer);
    watch.setInterval(1);
    Clock::time_point lastTick;

    QObject::connect(&watch, &QTimer::timeout, [&] {
        const Clock::time_point now = Clock::now();
        figures.longestTimerGap = std::max(figures.longestTimerGap, milliseconds(now - lastTick));
        lastTick = now;
    });
    QObject::connect(&clicker, &QTimer::timeout, [&] {
        const Choice choice = choiceFor(first + sent);
        choose(session.window, choice);
        expected += expectedFrame(choice);
        const Clock::time_point clicked = Clock::now();
        QTest::mouseClick(button, Qt::LeftButton);
        figures.longestHandler =
            std::max(figures.longestHandler, milliseconds(Clock::now() - clicked));
        if (++sent == kBurstSends) {
            clicker.stop();
            loop.quit();
        }
    });
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    timeout.start(kBurstTimeout);

    const Clock::time_point begin = Clock::now();
    lastTick = begin;
    watch.start();
    clicker.start();
    loop.exec();
    watch.stop();
    clicker.stop();
    figures.span = milliseconds(Clock::now() - begin);
    figures.finished = sent == kBurstSends;

    (void)listener.waitForTotal(base + expected.size(), kFrameTimeout);
    figures.delivery = delivered(listener, base, expected, kBurstSends);
    return figures;
}

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

struct IdleFigures {
    QString state;
    bool settled = false;   // the window's thread was asleep when the span began
    double cpuMs = 0;       // getrusage user + system
    double clockCpuMs = 0;  // the same from the scheduler's clock
    long wakeups = 0;       // times the program's threads went to sleep again
    long windowWakeups = 0; // the window's thread alone
    QString threads;        // each thread's voluntary (involuntary) switches
    long minorFaults = 0;
    long majorFaults = 0;
    QString events;
    bool portOpen = false;
};

double spanMs(std::chrono::nanoseconds span) {
    return std::chrono::duration<double, std::milli>(span).count();
}

// The span is watched from a thread of the bench's own. It begins once the window's thread
// sleeps in its event loop, and when it is over the watcher wakes that thread to end the loop:
// so the measurement itself neither wakes the program inside the span nor is counted, and the
// watcher's own CPU time and sleeps are taken out of the process's figures.
IdleFigures measureIdle(Session& session, const QString& state) {
    IdleFigures figures;
    figures.state = state;
    // Paints and focus changes still pending run now, not inside the span.
    QCoreApplication::processEvents();

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

    figures.cpuMs =
        spanMs((after.process.cpu - before.process.cpu) - (after.watcher.cpu - before.watcher.cpu));
    figures.clockCpuMs = spanMs((after.process.clockCpu - before.process.clockCpu) -
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

QString cpuModel() {
    std::ifstream info("/proc/cpuinfo");
    std::string line;
    while (std::getline(info, line)) {
        if (line.starts_with("model name")) {
            return QString::fromStdString(line.substr(line.find(':') + 1)).trimmed();
        }
    }
    return QStringLiteral("unknown CPU");
}

// The 1-minute load average: other work on the machine shows in every figure.
QString loadAverage() {
    std::ifstream load("/proc/loadavg");
    std::string minute;
    load >> minute;
    return minute.empty() ? QStringLiteral("unknown") : QString::fromStdString(minute);
}

struct Row {
    QString figure;
    QString measured;
    QString target;
    QString verdict;
};

QString verdict(bool met) {
    return met ? QStringLiteral("met") : QStringLiteral("MISSED");
}

void printTable(const std::vector<Row>& rows) {
    const Row header{QStringLiteral("figure"), QStringLiteral("measured"), QStringLiteral("target"),
                     QString()};
    qsizetype widths[3] = {header.figure.size(), header.measured.size(), header.target.size()};
    for (const Row& row : rows) {
        widths[0] = std::max(widths[0], row.figure.size());
        widths[1] = std::max(widths[1], row.measured.size());
        widths[2] = std::max(widths[2], row.target.size());
    }
    const auto print = [&](const Row& row) {
        const QString line = QStringLiteral("%1  %2  %3  %4")
                                 .arg(row.figure, -static_cast<int>(widths[0]))
                                 .arg(row.measured, -static_cast<int>(widths[1]))
                                 .arg(row.target, -static_cast<int>(widths[2]))
                                 .arg(row.verdict)
                                 .trimmed();
        std::printf("%s\n", qPrintable(line));
    };
    print(header);
    for (const Row& row : rows) {
        print(row);
    }
}

QString memoryText(const ResidentMemory& memory) {
    return QStringLiteral("ru_maxrss %1 MiB, VmHWM %2 MiB (now %3 MiB)")
        .arg(memory.maxRss, 0, 'f', 1)
        .arg(memory.highWaterMark, 0, 'f', 1)
        .arg(memory.now, 0, 'f', 1);
}

int run(PseudoTerminal& line, double applicationStart) {
    const QString loadBefore = loadAverage();
    const StartupFigures startup = measureStartup();
    if (!startup.ok) {
        return kExitSetupFailed;
    }

    Session session;
    if (!showExposed(session.window) || !session.portOpen() || session.sendButton() == nullptr) {
        std::fprintf(stderr, "the window did not come up with its port open\n");
        return kExitSetupFailed;
    }

    LineListener listener(line);
    listener.start();
    const SendFigures sends = measureSends(session, listener, 0);
    const BurstFigures burst = runBurst(session, listener, kLatencySends);
    listener.stop();
    const ResidentMemory afterBurst = currentMemory();

    std::vector<IdleFigures> idle;
    const auto state = [&session] {
        const QWidget* focus = session.window.focusWidget();
        return QStringLiteral("window %1, focus on %2")
            .arg(session.window.isActiveWindow() ? QStringLiteral("active")
                                                 : QStringLiteral("inactive"),
                 focus != nullptr ? focus->objectName() : QStringLiteral("nothing"));
    };
    // After the clicks SEND holds the focus.
    idle.push_back(measureIdle(session, state()));
    // The operator about to type: a focused text box blinks its cursor.
    session.window.findChild<QWidget*>(QStringLiteral("Text1"))->setFocus();
    QCoreApplication::processEvents();
    idle.push_back(measureIdle(session, state()));
    // The operator working in another program: no window of the panel is active, and Text1
    // keeps the focus within it without blinking.
    QApplication::setActiveWindow(nullptr);
    QCoreApplication::processEvents();
    idle.push_back(measureIdle(session, state()));

    const std::vector<double>& startTimes = startup.times;
    const double startMedian = percentile(startTimes, 0.5);
    const double sendP99 = sends.arrival.empty() ? 0 : percentile(sends.arrival, 0.99);
    const bool sendsWhole = sends.delivery.complete();
    const bool burstWhole = burst.finished && burst.delivery.complete();
    const double peakMib = std::max(afterBurst.maxRss, afterBurst.highWaterMark);

    std::vector<Row> rows;
    rows.push_back(
        {QStringLiteral("start-up: create, show, exposed (%1 fresh windows)").arg(kStartupWindows),
         QStringLiteral("median %1, min %2, max %3, first %4")
             .arg(ms(startMedian), ms(*std::min_element(startTimes.begin(), startTimes.end())),
                  ms(*std::max_element(startTimes.begin(), startTimes.end())),
                  ms(startTimes.front())),
         QStringLiteral("median < %1").arg(ms(kStartupTargetMs)),
         verdict(startMedian < kStartupTargetMs)});
    if (!sends.arrival.empty()) {
        rows.push_back({QStringLiteral("SEND: click to 18 bytes readable (%1 sends)")
                            .arg(sends.arrival.size()),
                        QStringLiteral("p50 %1, p99 %2, max %3")
                            .arg(ms(percentile(sends.arrival, 0.5)), ms(sendP99),
                                 ms(percentile(sends.arrival, 1.0))),
                        QStringLiteral("p99 < %1").arg(ms(kSendP99TargetMs)),
                        verdict(sendP99 < kSendP99TargetMs)});
        rows.push_back(
            {QStringLiteral("SEND: click handler, write and one store put (same)"),
             QStringLiteral("p50 %1, p99 %2, max %3")
                 .arg(ms(percentile(sends.handler, 0.5)), ms(percentile(sends.handler, 0.99)),
                      ms(percentile(sends.handler, 1.0))),
             QString(), QString()});
    }
    rows.push_back({QStringLiteral("SEND: frames whole and as expected"),
                    QStringLiteral("%1 of %2 (%3 of %4 bytes)")
                        .arg(sends.delivery.whole)
                        .arg(sends.delivery.frames)
                        .arg(sends.delivery.bytes)
                        .arg(sends.delivery.expectedBytes),
                    QStringLiteral("all"), verdict(sendsWhole)});
    rows.push_back(
        {QStringLiteral("burst: %1 clicks back to back, frames in order").arg(kBurstSends),
         QStringLiteral("%1 of %2 (%3 of %4 bytes), in %5")
             .arg(burst.delivery.whole)
             .arg(burst.delivery.frames)
             .arg(burst.delivery.bytes)
             .arg(burst.delivery.expectedBytes)
             .arg(ms(burst.span)),
         QStringLiteral("all"), verdict(burstWhole)});
    rows.push_back({QStringLiteral("burst: longest single click handler"), ms(burst.longestHandler),
                    QString(), QString()});
    rows.push_back({QStringLiteral("burst: longest gap between 1 ms timer ticks"),
                    ms(burst.longestTimerGap), QString(), QString()});
    rows.push_back({QStringLiteral("memory: peak RSS after start-up"), memoryText(startup.memory),
                    QString(), QString()});
    rows.push_back({QStringLiteral("memory: peak RSS after the burst"), memoryText(afterBurst),
                    QStringLiteral("< %1 MiB").arg(kPeakRssTargetMib),
                    verdict(peakMib < kPeakRssTargetMib)});
    const auto idleSeconds = std::chrono::duration_cast<std::chrono::seconds>(kIdleSpan).count();
    for (const IdleFigures& figures : idle) {
        const bool met = figures.settled && figures.clockCpuMs < kIdleCpuTargetMs &&
                         figures.wakeups <= kIdleWakeupTarget && figures.portOpen;
        rows.push_back(
            {QStringLiteral("idle %1 s, port %2: %3")
                 .arg(idleSeconds)
                 .arg(figures.portOpen ? QStringLiteral("open") : QStringLiteral("closed"),
                      figures.state),
             QStringLiteral("CPU %1 (getrusage %2), wake-ups %3 (window thread %4)%5")
                 .arg(ms(figures.clockCpuMs), ms(figures.cpuMs))
                 .arg(figures.wakeups)
                 .arg(figures.windowWakeups)
                 .arg(figures.settled ? QString() : QStringLiteral(", never settled")),
             QStringLiteral("CPU 0 ms, <= %1 wake-ups").arg(kIdleWakeupTarget), verdict(met)});
    }

    const QString buildType = QStringLiteral(ZQ4_BUILD_TYPE);
    std::printf("zq4-bench: %s build, %u cores (%s), Qt %s, platform %s\n",
                qPrintable(buildType.isEmpty() ? QStringLiteral("unnamed") : buildType),
                std::thread::hardware_concurrency(), qPrintable(cpuModel()), qVersion(),
                qPrintable(QGuiApplication::platformName()));
    std::printf("line: pseudo-terminal %s, which does not pace bytes at 1200 baud (one frame "
                "takes 150 ms on a real line)\n",
                qPrintable(line.devicePath()));
    std::printf("load average %s at the start, %s at the end; QApplication created in %s, "
                "once, before the figures below\n\n",
                qPrintable(loadBefore), qPrintable(loadAverage()),
                qPrintable(ms(applicationStart)));
    printTable(rows);
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
    return sendsWhole && burstWhole ? EXIT_SUCCESS : kExitFramesLost;
}

} // namespace

} // namespace zq4::bench

// Everything in one process, headless unless told otherwise, with a settings folder of its
// own whose store maps Com1 to a pseudo-terminal: the user's own settings are never touched.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QTemporaryDir configHome;
    QTemporaryDir runtimeDir;
    if (!configHome.isValid() || !runtimeDir.isValid()) {
        std::fprintf(stderr, "cannot create a temporary folder\n");
        return zq4::bench::kExitSetupFailed;
    }
    qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        qputenv("XDG_RUNTIME_DIR", runtimeDir.path().toLocal8Bit());
    }
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, configHome.path());

    zq4::PseudoTerminal line;
    if (!line.valid()) {
        std::fprintf(stderr, "cannot open a pseudo-terminal\n");
        return zq4::bench::kExitSetupFailed;
    }
    {
        QSettings store(configHome.filePath(QStringLiteral("ZQ4/ZQ4.ini")), QSettings::IniFormat);
        store.setValue(zq4::keys::kPorts + QLatin1Char('/') + zq4::keys::portKey(1),
                       line.devicePath());
        store.sync();
        if (store.status() != QSettings::NoError) {
            std::fprintf(stderr, "cannot write the settings store\n");
            return zq4::bench::kExitSetupFailed;
        }
    }

    const auto begin = std::chrono::steady_clock::now();
    QApplication app(argc, argv);
    const std::chrono::duration<double, std::milli> applicationStart =
        std::chrono::steady_clock::now() - begin;
    return zq4::bench::run(line, applicationStart.count());
}
