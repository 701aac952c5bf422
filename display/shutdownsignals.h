#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace zq4 {

// SIGINT and SIGTERM delivered as a Qt signal through the event loop (a signalfd watched by a
// socket notifier), so the program can print its summary and exit cleanly.
class ShutdownSignals final : public QObject {
    Q_OBJECT
public:
    // Holds the two signals back for reading in the calling thread and in every thread it
    // starts later; call it before any thread starts. The constructor calls it too.
    static void block();

    explicit ShutdownSignals(QObject* parent = nullptr);
    ~ShutdownSignals() override;

    // Whether the signals are being watched; errorString() tells why not.
    bool isValid() const { return m_descriptor >= 0; }
    QString errorString() const { return m_errorString; }

signals:
    void received(int signalNumber);

private:
    void onActivated();

    int m_descriptor = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QString m_errorString;
};

} // namespace zq4
