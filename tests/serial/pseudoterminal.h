#pragma once

#include <QString>

#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <utility>

namespace zq4::test {

// An in-process pseudo-terminal: the panel opens the slave side by its path, the test plays
// the display on the master side.
class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    Q_DISABLE_COPY(PseudoTerminal)

    bool valid() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }

    // The test's own slave descriptor keeps the line's input alive; once it is closed, the
    // master sees a hang-up whenever nobody else has the slave open.
    void closeSlave() { ::close(std::exchange(m_slave, -1)); }
    // The device vanishes under whoever has the slave open.
    void closeMaster() { ::close(std::exchange(m_master, -1)); }

    // Raw, 9600 baud, 2 stop bits, hardware flow control: unlike the panel's settings, so a test
    // can tell when an open applied them. A new terminal starts so. (A pseudo-terminal always
    // carries 8 data bits without parity, whatever it is told.)
    void setForeignLineSettings();
    termios lineSettings() const;

    // Writes to the line, as the display would; true once all of it was written and, while the
    // test's slave descriptor is open, input waits there unread (at most five seconds).
    bool writeToLine(const QByteArray& bytes);
    // What the panel sent, until `count` bytes arrived, the slave hung up or the deadline passed.
    QByteArray readFromLine(qsizetype count, std::chrono::milliseconds timeout);
    // Fills the line through the test's slave descriptor, in writes of `chunk` bytes 'x', as a
    // display that has stopped reading leaves it; returns how many bytes it took.
    qsizetype fillLine(qsizetype chunk);
    // How many bytes the line holds while the display reads nothing (what fits depends on the
    // size of the writes); the line is read empty again before returning.
    qsizetype measureCapacity(qsizetype chunk);
    // True once nobody holds the slave open; what arrives meanwhile is dropped.
    bool waitForSlaveClosed(std::chrono::milliseconds timeout);

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
};

} // namespace zq4::test
