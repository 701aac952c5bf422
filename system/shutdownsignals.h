#pragma once

#include <QList>
#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace zq4 {

// The signals that end a program (SIGINT, SIGTERM, ...) delivered as a Qt signal through the
// event loop (a signalfd watched by a socket notifier), so that the program can end as it does
// on its own: print its summary, close its window and let go of its port.
class ShutdownSignals final : public QObject {
    Q_OBJECT
public:
    // Holds the signals back for reading in the calling thread and in every thread it starts
    // later; call it before any thread starts. The constructor calls it too. A signal that the
    // program was started with ignored stays ignored (nohup ignores SIGHUP), except SIGINT.
    static void block(const QList<int>& signalNumbers);

    explicit ShutdownSignals(const QList<int>& signalNumbers, QObject* parent = nullptr);
    ~ShutdownSignals() override;

    // Whether the signals are being watched; errorString() tells why not. Signals that cannot
    // be watched are let through again, so they keep their usual effect.
    bool isValid() const { return m_descriptor >= 0; }
    QString errorString() const { return m_errorString; }

    // For a program that waits without an event loop: the name of a signal that came and has
    // not been handed out yet ("SIGTERM"), taken from the queue; empty when none came.
    QString takeReceived();

signals:
    void received(int signalNumber);

private:
    void onActivated();

    int m_descriptor = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QString m_errorString;
};

} // namespace zq4
