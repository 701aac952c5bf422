#include "sends.h"

#include "protocol/frame.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace zq4::bench {

namespace {

using namespace std::chrono_literals;

constexpr int kSends = 1000;
constexpr int kBurstSends = 200;
constexpr std::chrono::milliseconds kFrameTimeout = 2s;
constexpr double kSendP99TargetMs = 5;

QPushButton* sendButton(QWidget& window) {
    return window.findChild<QPushButton*>(QStringLiteral("SendButton"));
}

// A text of its own for each send, so that each stores something new, as the operator's would.
void typeText(QWidget& window, int n) {
    window.findChild<QLineEdit*>(QStringLiteral("Text1"))->setText(QString::number(n));
}

QString spread(const std::vector<double>& values) {
    return QStringLiteral("p50 %1, p99 %2, max %3")
        .arg(ms(percentile(values, 0.5)), ms(percentile(values, 0.99)),
             ms(percentile(values, 1.0)));
}

} // namespace

std::optional<SendFigures> measureSends(QWidget& window, LineListener& listener) {
    SendFigures figures;
    QPushButton* button = sendButton(window);
    for (int n = 1; n <= kSends; ++n) {
        typeText(window, n);
        QCoreApplication::processEvents();
        const Clock::time_point clicked = Clock::now();
        QTest::mouseClick(button, Qt::LeftButton);
        const Clock::time_point returned = Clock::now();
        const auto arrived = listener.waitForTotal(n * kFrameLength, kFrameTimeout);
        if (!arrived) {
            std::fprintf(stderr, "zq4-bench: send %d of %d did not reach the line's end\n", n,
                         kSends);
            return std::nullopt;
        }
        figures.arrival.push_back(milliseconds(*arrived - clicked));
        figures.handler.push_back(milliseconds(returned - clicked));
    }
    return figures;
}

// One click per turn of the loop, driven by a 0 ms timer, while a 1 ms timer notes the longest
// stretch the loop could not serve it.
BurstFigures runBurst(QWidget& window) {
    BurstFigures figures;
    QPushButton* button = sendButton(window);
    int sent = 0;
    QEventLoop loop;
    QTimer clicker;
    clicker.setInterval(0);
    QTimer watch;
    watch.setTimerType(Qt::PreciseTimer);
    watch.setInterval(1);
    Clock::time_point lastTick = Clock::now();
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const Clock::time_point now = Clock::now();
        figures.longestTimerGap = std::max(figures.longestTimerGap, milliseconds(now - lastTick));
        lastTick = now;
    });
    QObject::connect(&clicker, &QTimer::timeout, [&] {
        typeText(window, ++sent);
        const Clock::time_point clicked = Clock::now();
        QTest::mouseClick(button, Qt::LeftButton);
        figures.longestHandler =
            std::max(figures.longestHandler, milliseconds(Clock::now() - clicked));
        if (sent == kBurstSends) {
            loop.quit();
        }
    });
    const Clock::time_point begin = Clock::now();
    watch.start();
    clicker.start();
    loop.exec();
    figures.span = milliseconds(Clock::now() - begin);
    return figures;
}

std::vector<Row> sendRows(const SendFigures& sends, const BurstFigures& burst) {
    return {
        {QStringLiteral("SEND: click to 18 bytes readable (%1 sends)").arg(kSends),
         spread(sends.arrival), QStringLiteral("p99 < %1").arg(ms(kSendP99TargetMs)),
         verdict(percentile(sends.arrival, 0.99) < kSendP99TargetMs)},
        {QStringLiteral("SEND: click handler, write and one batched store put (same)"),
         spread(sends.handler), QString(), QString()},
        {QStringLiteral("burst: %1 clicks back to back").arg(kBurstSends), ms(burst.span),
         QString(), QString()},
        {QStringLiteral("burst: longest click handler / longest gap between 1 ms timer ticks"),
         QStringLiteral("%1 / %2").arg(ms(burst.longestHandler), ms(burst.longestTimerGap)),
         QString(), QString()},
    };
}

} // namespace zq4::bench
