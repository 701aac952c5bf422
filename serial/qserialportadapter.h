#pragma once

#include "serial/port.h"

#include <QObject>
#include <QSerialPort>

#include <chrono>
#include <functional>

namespace zq4 {

// SerialPort over QSerialPort at 1200 baud, 8 data bits, no parity, 1 stop bit, no flow
// control. A device that a running process holds by a lock file (in any of the usual forms) is
// not opened, and the failure names that process; every path to one device is one line, opened
// and locked as the device it leads to. What the line cannot take yet waits, up to kLongestWait,
// and goes out as the device becomes writable. Closing (also on destruction) first lets it go
// out, for as long as it takes at 1200 baud plus kDrainMargin at most; what is still left then
// is discarded and its count reported. Closing restores the line settings the device had before
// the open and removes the lock file. A port whose device disappears while open is closed at once
// and reported once: through the LostHandler, or as the failure of a close that was waiting when
// it went.
class QSerialPortAdapter final : public QObject, public SerialPort {
    Q_OBJECT
public:
    // Names the device of a port number; asked at each open, since the map may change between
    // picks.
    using DeviceLookup = std::function<QString(int portNumber)>;
    // `mappedIn` says where a port is mapped to another device, for a port whose device is not
    // there ("the group [Ports] of ~/.config/ZQ4/ZQ4.ini"); empty: not said.
    explicit QSerialPortAdapter(DeviceLookup deviceFor, QString mappedIn = QString());
    ~QSerialPortAdapter() override;

    Status open(std::int16_t portNumber) override;
    Result<bool> isOpen() const override;
    Status close(std::chrono::milliseconds deadline) override;
    Status discardInput() override;
    WriteStatus write(const QByteArray& bytes) override;
    void setLostHandler(LostHandler handler) override;

    // The device of the port: the one open now, else the one the next open of it uses.
    QString deviceName() const;
    // Opens this device from the next open on, whatever the port number maps to; failure
    // descriptions then name the device alone. Empty goes back to the port's device.
    void setDevice(const QString& device) { m_givenDevice = device; }
    // The bytes written that have not left the port yet: those the port holds and those in the
    // device's own queue; 0 while closed.
    qint64 queuedBytes() const;

    // Asked while closing waits for output: an answer that is not empty names what ends the wait
    // ("SIGTERM"), and what is still waiting is discarded at once; the close's failure says so.
    // Lets a program that is told to end give up a frame a full line holds back.
    using Interruption = std::function<QString()>;
    void setInterruption(Interruption interruption) { m_interruption = std::move(interruption); }

private:
    bool isOpenAndThere() const { return m_port.isOpen() && !m_lost; }
    QString where() const;
    QString openFailure() const;
    void onErrorOccurred(QSerialPort::SerialPortError error);
    void reportLoss();
    void closeLostPort();
    Status drainAndClose(std::chrono::milliseconds deadline);
    void closeQuietly();

    DeviceLookup m_deviceFor;
    QString m_mappedIn;
    QSerialPort m_port; // a child, so that the line settings can be read off it
    std::int16_t m_portNumber = 1;
    QString m_device; // the device opened last, or tried
    QString m_givenDevice;
    bool m_closing = false;
    bool m_lost = false;              // gone while open; closed before the next operation
    bool m_lossReportPending = false; // the LostHandler has yet to hear of it
    QString m_lossDescription;
    LostHandler m_lostHandler;
    Interruption m_interruption;
};

} // namespace zq4
