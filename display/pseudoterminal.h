#pragma once

#include <QString>

namespace zq4 {

// A pseudo-terminal whose slave side stands in for a serial device. The slave stays open in
// this program for the whole life of the object, so the master never sees a hang-up when a
// user of the device closes it; it is raw, so no byte is translated on the way.
class PseudoTerminal {
public:
    PseudoTerminal() = default;
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // Creates the pair; on failure errorString() tells why.
    bool open();

    // The non-blocking master side, from which the bytes written to the device are read.
    int masterDescriptor() const { return m_master; }
    // The device path a serial program opens ("/dev/pts/5").
    QString devicePath() const { return m_devicePath; }
    QString errorString() const { return m_errorString; }

private:
    bool fail(const QString& step);

    int m_master = -1;
    int m_slave = -1;
    QString m_devicePath;
    QString m_errorString;
};

} // namespace zq4
