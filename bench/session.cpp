#include "session.h"

#include "protocol/vocabulary.h"

#include <QEventLoop>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

#include <chrono>

namespace zq4::bench {

namespace {

constexpr std::chrono::milliseconds kExposeTimeout{5000};

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

} // namespace

QPushButton* Session::sendButton() {
    return window.findChild<QPushButton*>(QStringLiteral("SendButton"));
}

bool Session::portOpen() const {
    const Result<bool> open = port.portOpen();
    return open && open.value();
}

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

FrameInputs choicesFor(int n) {
    const QString text =
        QStringLiteral("F%1").arg(n).leftJustified(kTextFieldLength, QLatin1Char('.'));
    return {text.left(n % (kTextFieldLength + 1)), static_cast<std::int16_t>(n % kBrightnessCount),
            static_cast<std::int16_t>(n % kMessageCount),
            static_cast<std::int16_t>(n % (kMaxAddress + 1))};
}

void choose(ControlPanel& window, const FrameInputs& choices) {
    window.setCustomText(choices.text);
    window.setBrightness(choices.brightnessCode);
    window.setMessage(choices.messageCode);
    window.panel().setAddress(choices.addressCode);
}

Delivery delivered(const LineListener& listener, qsizetype base, const QByteArray& expected,
                   int frames) {
    const QByteArray received = listener.received().mid(base);
    Delivery delivery{frames, 0, received.size(), expected.size()};
    for (qsizetype at = 0; at + kFrameLength <= expected.size(); at += kFrameLength) {
        delivery.whole += received.mid(at, kFrameLength) == expected.mid(at, kFrameLength) ? 1 : 0;
    }
    return delivery;
}

} // namespace zq4::bench
