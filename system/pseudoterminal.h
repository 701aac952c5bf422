#pragma once

#include <QByteArray>
#include <QString>

#include <termios.h>

#include <chrono>

namespace zq4 {

// A pseudo-terminal whose slave side stands in for a serial device: a program opens the device
// path as its port, and whoever holds this object plays the far end of the line on the master.
// The slave stays open here until closeSlave(), so the master sees no hang-up when a user of the
// device closes it. Both sides are raw, so no byte is translated on the way; the master does not
// block.
class PseudoTerminal {
public:
    // Creates the pair; valid() tells whether that worked, errorString() why not.
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool valid() const { return m_master >= 0 && !m_devicePath.isEmpty(); }
    QString errorString() const { return m_errorString; }

    // The master side, from which the bytes written to the device are read.
    int masterDescriptor() const { return m_master; }
    // The slave side held here, -1 once closed.
    int slaveDescriptor() const { return m_slave; }
    // The device path a serial program opens ("/dev/pts/5").
    QString devicePath() const { return m_devicePath; }

    // Once the slave is closed here, the master sees a hang-up whenever nobody else holds it.
    void closeSlave();
    // The device vanishes under whoever has the slave open.
    void closeMaster();

    // The line settings of the device, as a program that opened it set them.
    termios lineSettings() const;
    void setLineSettings(const termios& settings);

    // Writes to the line, as the display would; true once all of it was written and, while the
    // slave is held here, the input waits there unread (at most five seconds).
    bool writeToLine(const QByteArray& bytes);
    // What was sent to the device, until `count` bytes arrived, the slave hung up or the
    // deadline passed.
    QByteArray readFromLine(qsizetype count, std::chrono::milliseconds timeout);
    // True once nobody holds the slave open; what arrives meanwhile is dropped.
    bool waitForSlaveClosed(std::chrono::milliseconds timeout);
    // Fills the line through the slave held here, in writes of `chunk` bytes, as a display that
    // has stopped reading leaves it; returns how many bytes it took.
    qsizetype fillLine(qsizetype chunk);

private:
    void fail(const QString& step);

    int m_master = -1;
    int m_slave = -1;
    QString m_devicePath;
    QString m_errorString;
};

} // namespace zq4
