#pragma once

#include <QByteArray>
#include <QString>

#include <termios.h>

#include <chrono>
#include <optional>

namespace zq4::test {

// An in-process pseudo-terminal: the panel opens the slave side by its path, the test plays
// the display on the master side. The slave starts in raw mode with line settings unlike
// the panel's (9600 baud, 7 data bits, even parity, 2 stop bits), so a test can tell that
// the panel's open set its own.
class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool valid() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }

    // The test's own slave descriptor keeps the line's input alive; once it is closed, the
    // master sees a hang-up whenever nobody else has the slave open.
    int slave() const { return m_slave; }
    void closeSlave();
    void closeMaster();

    // Writes to the line, as the display would.
    bool writeToLine(const QByteArray& bytes);

    // Reads what the panel sent until `count` bytes arrived or the deadline passed.
    QByteArray readFromLine(qsizetype count, std::chrono::milliseconds timeout);
    // True when nothing more arrives within the window.
    bool lineStaysQuiet(std::chrono::milliseconds window);

    // True once nobody holds the slave open (the master reports a hang-up).
    bool waitForSlaveClosed(std::chrono::milliseconds timeout);
    bool slaveHeldOpen();

    // The slave's line settings as they are now.
    std::optional<termios> lineSettings() const;

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
};

// Waits until the test's slave descriptor has bytes to read, without reading them.
bool waitForInputQueued(int slave, std::chrono::milliseconds timeout);

} // namespace zq4::test
