#pragma once

#include <QDeadlineTimer>
#include <QSerialPort>
#include <QString>

#include <functional>

namespace zq4 {

// What came of letting the line take what waits for it.
struct Drained {
    qint64 unsent = 0;    // bytes that still wait: the port's own and the device's
    bool gone = false;    // the device went away meanwhile
    QString interruption; // what ended the wait before its time ("SIGTERM"); empty when nothing
};

// Lets what waits for the line go out of an open port, the port's own bytes and then the
// device's, until none is left, the device goes, `interruption` names a reason to stop, or the
// deadline passes: the calling thread waits no longer than that. What is still left stays where
// it is.
Drained DrainLine(QSerialPort& port, QDeadlineTimer deadline,
                  const std::function<QString()>& interruption);

} // namespace zq4
