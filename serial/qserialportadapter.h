#pragma once

#include "serial/port.h"
#include "settings/store.h"

#include <QObject>
#include <QSerialPort>

#include <chrono>
#include <functional>
#include <map>

namespace zq4 {

// The device a port number stands for: "COM<n>" on Windows; elsewhere the "Ports" group's
// "Com<n>" entry of the store when there is one (as MappedDevice), else "/dev/ttyS<n-1>".
QString DeviceForPort(SettingsStore& store, int portNumber);
// The device a port opens for its entry in the "Ports" group, blanks around it ignored: the port's
// default device when the entry is empty, and on Windows always. A name without a leading '/' is
// a device under /dev ("ttyUSB0" is /dev/ttyUSB0), wherever the program was started.
QString MappedDevice(const QString& mapped, int portNumber);
// The "Ports" group as stored: the device of Com1 .. Com9, trimmed, empty where none is mapped.
QStringList StoredPortMap(SettingsStore& store);
// Stores the device of each port number given in one write, the other ports' entries left as
// they are; an empty device removes the port's entry (not mapped). Nothing is stored when it fails.
Status StorePortMap(SettingsStore& store, const std::map<int, QString>& devices);
// The device of every port, 1 to kPortCount in order (as DeviceForPort), from one read of the
// store.
QStringList DevicesForPorts(SettingsStore& store);
// The device of a port that the store does not map: "COM<n>" on Windows, else "/dev/ttyS<n-1>".
QString DefaultDeviceForPort(int portNumber);

// The display's line: 1200 baud, 8 data bits, no parity, 1 stop bit, no flow control.
inline constexpr qint32 kLineBaudRate = 1200;
void ApplyLineSettings(QSerialPort& port);

// Closing waits for what is still queued as long as it takes on the line, plus this much.
inline constexpr std::chrono::milliseconds kDrainMargin{1000};

// SerialPort over QSerialPort at 1200 baud, 8 data bits, no parity, 1 stop bit, no flow
// control. A device that a running process holds by a lock file (in any of the usual forms) is
// not opened, and the failure names that process; every path to one device is one line, opened
// and locked as the device it leads to. Output the line cannot take yet waits in the port's
// queue and goes out as the device becomes writable. Closing (also on destruction) first writes
// out and drains what is pending, for as long as it takes at 1200 baud plus kDrainMargin; what
// is still left then is discarded and its count reported. Closing restores the line settings
// the device had before the open and removes the lock file. A port that disappears while open
// is closed at once and reported once: through the LostHandler, or as the failure of a close
// that was waiting when it went.
class QSerialPortAdapter final : public QObject, public SerialPort {
    Q_OBJECT
public:
    explicit QSerialPortAdapter(SettingsStore& store, QObject* parent = nullptr);
    ~QSerialPortAdapter() override;

    Status setCommPort(std::int16_t portNumber) override;
    Result<bool> portOpen() const override;
    Status setPortOpen(bool open) override;
    Status setInputLen(int length) override;
    Result<QByteArray> input() override;
    Status setOutput(const QByteArray& bytes) override;
    void setLostHandler(LostHandler handler) override;

    // The device of the current port number: the one open now, or the one the next open uses.
    QString deviceName() const;
    // Opens this device from the next open on, whatever the port number maps to; failure
    // descriptions then name the device alone. Empty goes back to the port's device.
    void setDevice(const QString& device) { m_fixedDevice = device; }
    // The bytes written that have not left the port yet: those the port holds and those in the
    // device's own queue; 0 while closed.
    qint64 queuedBytes() const;

    // Asked while closing waits for queued output: an answer that is not empty names what ends
    // the wait ("SIGTERM"), and what is still queued is discarded at once; the close's failure
    // says so. Lets a program that is told to end give up a frame a full line holds back.
    using Interruption = std::function<QString()>;
    void setInterruption(Interruption interruption) { m_interruption = std::move(interruption); }

private:
    bool isOpen() const;
    QString deviceToOpen() const;
    void onErrorOccurred(QSerialPort::SerialPortError error);
    bool isLoss(QSerialPort::SerialPortError error) const;
    bool isHungUp() const;
    QString describeLoss(const QString& reason) const;
    bool isBackPressure() const;
    void reportLoss();
    void closeLostPort();
    Status drainAndClose();
    qint64 kernelQueued() const;
    void closeQuietly();
    void pullReceived();
    QString portAndDevice() const;
    QString describe(QSerialPort::SerialPortError error, const QString& reason) const;
    QString describeCurrentError() const;
    QString describeOpenFailure() const;

    SettingsStore& m_store;
    QSerialPort m_port; // a child, so that the line settings can be read off it
    std::int16_t m_portNumber = 1;
    QString m_device;
    QString m_fixedDevice;
    int m_inputLen = 0;
    bool m_closing = false;
    bool m_lost = false;              // gone while open; closed before the next operation
    bool m_lossReportPending = false; // the LostHandler has yet to hear of it
    QString m_lossDescription;
    LostHandler m_lostHandler;
    Interruption m_interruption;
};

} // namespace zq4
