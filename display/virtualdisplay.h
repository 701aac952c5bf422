#pragma once

#include "display/eventlog.h"
#include "protocol/framedecoder.h"
#include "system/pseudoterminal.h"

#include <QObject>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QTextStream>

#include <memory>

namespace zq4 {

// Watches one line, decodes what arrives on it and prints a line per frame as soon as it
// arrives. The line is either a new pseudo-terminal that the panel can open as its serial
// port, or a real serial device at the panel's line settings.
class VirtualDisplay final : public QObject {
    Q_OBJECT
public:
    VirtualDisplay(bool showHex, FILE* output, QObject* parent = nullptr);

    // Creates a pseudo-terminal and prints its device path and the settings lines that make
    // the panel's "Com1:" reach it.
    bool listenOnPseudoTerminal();
    // Opens the device at 1200 baud, 8 data bits, no parity, 1 stop bit; a relative path
    // starts in the current folder. A device that a running process holds by a lock file is
    // not opened: errorString() names the holder.
    bool watchDevice(const QString& path);
    // Why the last listen or watch failed, naming the device.
    QString errorString() const { return m_errorString; }
    // Why a line could not be printed; empty while every line was. Nothing is printed after it.
    QString outputError() const { return m_outputError; }

    // Prints what is left of an unfinished frame and the summary; later calls do nothing.
    void finish();

signals:
    // The line failed while being watched; the text names the device and the reason.
    void lineFailed(const QString& description);
    // A line could not be printed (a full disk, a closed output); the text says why. Sent once.
    void outputFailed(const QString& description);

private:
    void readPseudoTerminal();
    void readSerialPort();
    void onSerialError(QSerialPort::SerialPortError error);
    void receive(QByteArrayView bytes);
    void print(const QString& line);

    FrameDecoder m_decoder;
    EventLog m_log;
    QTextStream m_output;
    std::unique_ptr<PseudoTerminal> m_terminal;
    std::unique_ptr<QSocketNotifier> m_terminalNotifier;
    std::unique_ptr<QSerialPort> m_serialPort;
    QString m_device;
    QString m_errorString;
    QString m_outputError;
    bool m_lineFailed = false;
    bool m_finished = false;
};

} // namespace zq4
