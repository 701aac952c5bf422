#include "serial/porterrors.h"

#include "serial/portselection.h"

namespace zq4 {

namespace {

bool isStandIn(const QString& reason) {
    return reason.trimmed().isEmpty() || reason.startsWith(QStringLiteral("Unknown error"));
}

// A reason an operator can act on for each error, for when the platform gives none.
QString reasonFor(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return QStringLiteral("the device does not exist");
    case QSerialPort::OpenError:
        return QStringLiteral("the port is already open");
    case QSerialPort::NotOpenError:
        return QStringLiteral("the port is not open");
    case QSerialPort::WriteError:
        return QStringLiteral("the device did not accept the bytes written to it");
    case QSerialPort::ReadError:
        return QStringLiteral("the device could not be read");
    case QSerialPort::ResourceError:
        return QStringLiteral("the device is no longer available");
    case QSerialPort::UnsupportedOperationError:
        return QStringLiteral("the device does not support 1200 baud, 8 data bits, no parity, "
                              "1 stop bit");
    case QSerialPort::TimeoutError:
        return QStringLiteral("the device did not answer in time");
    case QSerialPort::PermissionError:
    case QSerialPort::NoError:
    case QSerialPort::UnknownError:
        break;
    }
    return QStringLiteral("the device cannot be used as a serial port");
}

} // namespace

QString FailureText(const QString& where, QSerialPort::SerialPortError error,
                    const QString& reason) {
    return QStringLiteral("%1: %2").arg(where, isStandIn(reason) ? reasonFor(error) : reason);
}

QString OpenFailureText(const QString& where, const OpenFailure& failure) {
    const QString text = FailureText(where, failure.error, failure.reason);
    if (failure.error == QSerialPort::DeviceNotFoundError) {
        if (failure.deviceGiven) {
            return text + QStringLiteral(" (check the path, or plug the device in)");
        }
        return text + (failure.mappedIn.isEmpty()
                           ? QStringLiteral(" (plug the device in)")
                           : QStringLiteral(" (plug the device in, or map the port to its device "
                                            "in %1)")
                                 .arg(failure.mappedIn));
    }
    // A file, a folder or any other device that is not a terminal opens, but cannot take the
    // line settings.
    if (failure.error != QSerialPort::PermissionError &&
        (failure.fileOrFolder || failure.error == QSerialPort::UnsupportedOperationError)) {
        return text + QStringLiteral(" (not a serial device)");
    }
    return text;
}

QString NoSuchPortText(int portNumber) {
    return QStringLiteral("%1 there is no such port: the ports are %2 to %3")
        .arg(PortLabel(portNumber), PortSelection().front().label, PortSelection().back().label);
}

QString AlreadyOpenText(const QString& where) {
    return QStringLiteral("%1: the port is already open: close it first").arg(where);
}

QString LossText(const QString& where) {
    return QStringLiteral("%1: the device is no longer available: the port is closed; reconnect "
                          "the device: the next send opens it again")
        .arg(where);
}

QString BusyText(const QString& where, qint64 frames) {
    return QStringLiteral("the line is busy: %1 frames are still waiting for %2. This one was not "
                          "sent: send again once the display has taken them.")
        .arg(frames)
        .arg(where);
}

QString UnsentText(const QString& where, qint64 unsent, const QString& interruption) {
    if (!interruption.isEmpty()) {
        return QStringLiteral("%1: %2 came before the device took the last %3 bytes: they were "
                              "discarded when the port closed")
            .arg(where, interruption)
            .arg(unsent);
    }
    return QStringLiteral("%1: the device did not take the last %2 bytes in time: they were "
                          "discarded when the port closed")
        .arg(where)
        .arg(unsent);
}

} // namespace zq4
