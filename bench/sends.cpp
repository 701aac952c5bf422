#include "sends.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <chrono>

namespace zq4::bench {

namespace {

using namespace std::chrono_literals;

constexpr int kLatencySends = 1000;
constexpr int kBurstSends = 200;
constexpr std::chrono::milliseconds kFrameTimeout = 2s;
constexpr std::chrono::milliseconds kBurstTimeout = 60s;
constexpr double kSendP99TargetMs = 5;

// The choices for the n-th send, put into the window, and the frame they make appended to
// `expected`. The bytes come from the program's own frame builder: the bench checks that
// every frame crossed the line whole and in order; the frame's layout is the tests' concern.
void prepareSend(Session& session, int n, QByteArray& expected) {
    const FrameInputs choices = choicesFor(n);
    choose(session.window, choices);
    expected += BuildFrame(choices);
}

QString deliveryText(const Delivery& delivery) {
    return QStringLiteral("%1 of %2 (%3 of %4 bytes)")
        .arg(delivery.whole)
        .arg(delivery.frames)
        .arg(delivery.bytes)
        .arg(delivery.expectedBytes);
}

QString spread(const std::vector<double>& values) {
    return QStringLiteral("p50 %1, p99 %2, max %3")
        .arg(ms(percentile(values, 0.5)), ms(percentile(values, 0.99)),
             ms(percentile(values, 1.0)));
}

} // namespace

SendFigures measureSends(Session& session, LineListener& listener, int first) {
    SendFigures figures;
    QPushButton* button = session.sendButton();
    const qsizetype base = listener.received().size();
    QByteArray expected;
    for (int n = first; n < first + kLatencySends; ++n) {
        prepareSend(session, n, expected);
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

// One click per turn of the loop, driven by a 0 ms timer, while a 1 ms timer notes the longest
// stretch the loop could not serve it.
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
        prepareSend(session, first + sent, expected);
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

    // Whatever has not arrived by then shows as lost in the delivery below.
    (void)listener.waitForTotal(base + expected.size(), kFrameTimeout);
    figures.delivery = delivered(listener, base, expected, kBurstSends);
    return figures;
}

std::vector<Row> sendRows(const SendFigures& sends, const BurstFigures& burst) {
    std::vector<Row> rows;
    if (!sends.arrival.empty()) {
        const double p99 = percentile(sends.arrival, 0.99);
        rows.push_back({QStringLiteral("SEND: click to 18 bytes readable (%1 sends)")
                            .arg(sends.arrival.size()),
                        spread(sends.arrival), QStringLiteral("p99 < %1").arg(ms(kSendP99TargetMs)),
                        verdict(p99 < kSendP99TargetMs)});
        rows.push_back({QStringLiteral("SEND: click handler, write and one batched store put (same)"),
                        spread(sends.handler), QString(), QString()});
    }
    rows.push_back({QStringLiteral("SEND: frames whole and as expected"),
                    deliveryText(sends.delivery), QStringLiteral("all"),
                    verdict(sends.delivery.complete())});
    rows.push_back(
        {QStringLiteral("burst: %1 clicks back to back, frames in order").arg(kBurstSends),
         QStringLiteral("%1, in %2").arg(deliveryText(burst.delivery), ms(burst.span)),
         QStringLiteral("all"), verdict(burst.finished && burst.delivery.complete())});
    rows.push_back({QStringLiteral("burst: longest single click handler"), ms(burst.longestHandler),
                    QString(), QString()});
    rows.push_back({QStringLiteral("burst: longest gap between 1 ms timer ticks"),
                    ms(burst.longestTimerGap), QString(), QString()});
    return rows;
}

} // namespace zq4::bench
