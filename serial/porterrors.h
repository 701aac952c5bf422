#pragma once

#include <QSerialPort>
#include <QString>

namespace zq4 {

// The texts by which the port's failures reach the operator, each naming the port and its device
// ("Com3: (/dev/ttyUSB0)", or the device alone when it was given directly) and what to do. The
// port decides what happened by codes and the descriptor's state; these only word it.

// The port's failure: "<where>: <reason>". The platform's own reason is kept; where it gives none
// (empty, or Qt's "Unknown error"), the error's own words stand in.
QString FailureText(const QString& where, QSerialPort::SerialPortError error,
                    const QString& reason);

// Why the device did not open, as FailureText, with what to do: for a device that is not there,
// plug it in (and for a port, check the path given, or map the port to its device in
// `mappedIn` when that is not empty); for one that opened as no terminal would, that it is no
// serial device.
struct OpenFailure {
    QSerialPort::SerialPortError error = QSerialPort::UnknownError;
    QString reason;
    bool deviceGiven = false;  // the device was named directly, not by a port
    bool fileOrFolder = false; // the path leads to a regular file or a folder
    QString mappedIn;          // where a port is mapped to a device; empty: not said
};
QString OpenFailureText(const QString& where, const OpenFailure& failure);

// A port number outside the port list.
QString NoSuchPortText(int portNumber);
// An open asked of a port that is open.
QString AlreadyOpenText(const QString& where);
// The device went away while the port was open.
QString LossText(const QString& where);
// A write refused because `frames` frames still wait for the line.
QString BusyText(const QString& where, qint64 frames);
// A close that discarded `unsent` bytes: their time was up, or `interruption` ("SIGTERM") came.
QString UnsentText(const QString& where, qint64 unsent, const QString& interruption);

} // namespace zq4
