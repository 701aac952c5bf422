#include "serial/qserialportadapter.h"

#include "serial/portselection.h"
#include "settings/keys.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <thread>

namespace zq4 {

namespace {

// Bits on the line per byte: start bit, 8 data bits, stop bit.
constexpr qint64 kBitsPerByte = 10;
// How often closing looks whether the kernel's queue has gone out.
constexpr std::chrono::milliseconds kDrainPoll{20};
// Upper bound on non-blocking reads while collecting what has arrived, so a sender that
// never pauses cannot hold the panel.
constexpr int kMaxReceivePolls = 64;

bool isGeneric(const QString& reason) {
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

// QSerialPort reports a port held by another program and a missing permission alike.
QString permissionReason() {
#ifdef Q_OS_WIN
    return QStringLiteral("the port is in use by another program, or you lack permission");
#else
    return QStringLiteral("the port is in use by another program, or you lack permission: on "
                          "most systems join the group that owns the device, e.g. dialout");
#endif
}

#ifdef Q_OS_UNIX
// QSerialPort locks a device with a file named "LCK.." and the device path, less a leading
// "/dev/", with each '/' turned into '_'. When that name is longer than a file name may be,
// the lock fails and the port reports it like a port held by another program.
bool lockNameTooLong(const QString& device) {
    const QString name = device.startsWith(QStringLiteral("/dev/")) ? device.mid(5) : device;
    return QFile::encodeName(name).size() + 5 > NAME_MAX;
}
#endif

} // namespace

QString MappedDevice(const QString& mapped, int portNumber) {
#ifdef Q_OS_WIN
    // Each port is its own device, whatever is stored.
    Q_UNUSED(mapped);
    return DefaultDeviceForPort(portNumber);
#else
    const QString device = mapped.trimmed();
    if (device.isEmpty()) {
        return DefaultDeviceForPort(portNumber);
    }
    // A hand-written "Com3=ttyUSB0" names a device: it is taken under /dev, never in whatever
    // folder the program happens to run in. The path is made plain ("/dev/./x" is "/dev/x"), so
    // that one device has one lock file.
    return device.startsWith(u'/') ? device : QDir::cleanPath(QStringLiteral("/dev/") + device);
#endif
}

QString DeviceForPort(SettingsStore& store, int portNumber) {
    return MappedDevice(
        store.GetSetting(keys::kApplication, keys::kPorts, keys::portKey(portNumber), QString()),
        portNumber);
}

QStringList StoredPortMap(SettingsStore& store) {
    QStringList portKeys;
    for (const PortEntry& entry : PortSelection()) {
        portKeys << keys::portKey(entry.portNumber);
    }
    QStringList devices = store.GetSettings(keys::kApplication, keys::kPorts, portKeys, QString());
    for (QString& device : devices) {
        device = device.trimmed();
    }
    return devices;
}

Status StorePortMap(SettingsStore& store, const std::map<int, QString>& devices) {
    QList<std::pair<QString, QString>> entries;
    QStringList unmapped;
    for (const auto& [portNumber, device] : devices) {
        if (device.trimmed().isEmpty()) {
            unmapped << keys::portKey(portNumber);
        } else {
            entries.append({keys::portKey(portNumber), device.trimmed()});
        }
    }
    return store.UpdateSettings(keys::kApplication, keys::kPorts, entries, unmapped);
}

QStringList DevicesForPorts(SettingsStore& store) {
    QStringList devices = StoredPortMap(store);
    for (const PortEntry& entry : PortSelection()) {
        QString& device = devices[entry.portNumber - 1];
        device = MappedDevice(device, entry.portNumber);
    }
    return devices;
}

QString DefaultDeviceForPort(int portNumber) {
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(portNumber);
#else
    return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
#endif
}

void ApplyLineSettings(QSerialPort& port) {
    port.setBaudRate(kLineBaudRate);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
}

QSerialPortAdapter::QSerialPortAdapter(SettingsStore& store, QObject* parent)
    : QObject(parent), m_store(store) {
    ApplyLineSettings(m_port);
    connect(&m_port, &QSerialPort::errorOccurred, this, &QSerialPortAdapter::onErrorOccurred);
}

QSerialPortAdapter::~QSerialPortAdapter() {
    // The port's own destructor runs after this object's members are gone: it must not call
    // back into them.
    disconnect(&m_port, nullptr, this, nullptr);
    if (m_port.isOpen()) {
        if (m_lost) {
            closeQuietly();
        } else {
            (void)drainAndClose();
        }
    }
}

Status QSerialPortAdapter::setCommPort(std::int16_t portNumber) {
    if (portNumber < 1 || portNumber > kPortCount) {
        return Status::Failed(QStringLiteral("%1 there is no such port: the ports are %2 to %3")
                                  .arg(PortLabel(portNumber), PortSelection().front().label,
                                       PortSelection().back().label));
    }
    if (isOpen()) {
        return Status::Failed(QStringLiteral("%1: the port cannot be changed to %2 while it is "
                                             "open: close it first")
                                  .arg(portAndDevice(), PortLabel(portNumber)));
    }
    m_portNumber = portNumber;
    return Status::Ok();
}

Result<bool> QSerialPortAdapter::portOpen() const {
    return isOpen();
}

Status QSerialPortAdapter::setPortOpen(bool open) {
    if (m_lost) {
        closeLostPort();
    }
    if (!open) {
        return m_port.isOpen() ? drainAndClose() : Status::Ok();
    }
    if (m_port.isOpen()) {
        return Status::Ok();
    }
    m_device = deviceToOpen();
    m_port.setPortName(m_device);
    m_port.clearError();
    if (!m_port.open(QIODevice::ReadWrite)) {
        const Status failed = Status::Failed(describeOpenFailure());
        m_port.clearError();
        return failed;
    }
    return Status::Ok();
}

Status QSerialPortAdapter::setInputLen(int length) {
    if (length < 0) {
        return Status::Failed(QStringLiteral("%1 the read length must be 0 or more, not %2")
                                  .arg(PortLabel(m_portNumber))
                                  .arg(length));
    }
    m_inputLen = length;
    return Status::Ok();
}

Result<QByteArray> QSerialPortAdapter::input() {
    if (!isOpen()) {
        return Status::Failed(describe(QSerialPort::NotOpenError, QString()));
    }
    pullReceived();
    // A loss met while reading is closed and reported by the LostHandler; what had arrived
    // before it is still handed back.
    return m_inputLen > 0 ? m_port.read(m_inputLen) : m_port.readAll();
}

Status QSerialPortAdapter::setOutput(const QByteArray& bytes) {
    if (!isOpen()) {
        return Status::Failed(describe(QSerialPort::NotOpenError, QString()));
    }
    m_port.clearError();
    const qint64 written = m_port.write(bytes);
    if (written != bytes.size()) {
        const QString description =
            written < 0 ? describeCurrentError()
                        : describe(QSerialPort::WriteError,
                                   QStringLiteral("only %1 of %2 bytes were accepted")
                                       .arg(written)
                                       .arg(bytes.size()));
        m_port.clearError();
        return Status::Failed(description);
    }
    // Hand the bytes to the device now rather than on the next turn of the event loop. What a
    // full line cannot take yet stays queued in the port, which writes it out as the device
    // becomes writable.
    m_port.flush();
    if (m_lost) {
        return Status::Failed(m_lossDescription);
    }
    if (isBackPressure()) {
        m_port.clearError();
        return Status::Ok();
    }
    const QSerialPort::SerialPortError error = m_port.error();
    if (error == QSerialPort::WriteError || error == QSerialPort::ResourceError) {
        const QString description = describeCurrentError();
        m_port.clearError();
        return Status::Failed(description);
    }
    return Status::Ok();
}

void QSerialPortAdapter::setLostHandler(LostHandler handler) {
    m_lostHandler = std::move(handler);
}

QString QSerialPortAdapter::deviceName() const {
    return m_port.isOpen() ? m_device : deviceToOpen();
}

QString QSerialPortAdapter::deviceToOpen() const {
    return m_fixedDevice.isEmpty() ? DeviceForPort(m_store, m_portNumber) : m_fixedDevice;
}

bool QSerialPortAdapter::isOpen() const {
    return m_port.isOpen() && !m_lost;
}

void QSerialPortAdapter::onErrorOccurred(QSerialPort::SerialPortError error) {
    if (m_closing || m_lost || !m_port.isOpen() || !isLoss(error)) {
        return;
    }
    // A vanished device keeps the read notifier firing until the port is closed; closing
    // inside the port's own notification is not safe, so the close is deferred.
    m_lost = true;
    m_lossReportPending = true;
    // After a hang-up a read simply finds nothing, and the reason the port then gives is left
    // over from an earlier call: only a resource error carries the platform's own reason.
    const QString reason = error == QSerialPort::ResourceError && !isGeneric(m_port.errorString())
                               ? QStringLiteral(" (%1)").arg(m_port.errorString())
                               : QString();
    m_lossDescription = QStringLiteral("%1: the device is no longer available%2: the port is "
                                       "closed; reconnect the device and pick the port again")
                            .arg(portAndDevice(), reason);
    QMetaObject::invokeMethod(this, &QSerialPortAdapter::reportLoss, Qt::QueuedConnection);
}

bool QSerialPortAdapter::isLoss(QSerialPort::SerialPortError error) const {
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError &&
        error != QSerialPort::WriteError) {
        return false;
    }
#ifdef Q_OS_UNIX
    // A terminal whose device has gone is hung up: it reports end of file on every read.
    pollfd entry{static_cast<int>(m_port.handle()), POLLIN, 0};
    if (::poll(&entry, 1, 0) > 0 && (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        return true;
    }
    // The port keeps only the platform's text of the error; a full output queue (EAGAIN) is
    // reported as a resource error too, but only these mean the device is gone.
    const QString reason = m_port.errorString();
    return reason == qt_error_string(ENXIO) || reason == qt_error_string(EIO) ||
           reason == qt_error_string(ENODEV);
#else
    return error == QSerialPort::ResourceError;
#endif
}

bool QSerialPortAdapter::isBackPressure() const {
    const QSerialPort::SerialPortError error = m_port.error();
    return (error == QSerialPort::ResourceError || error == QSerialPort::WriteError) && !m_lost &&
           m_port.errorString() == qt_error_string(EAGAIN);
}

void QSerialPortAdapter::reportLoss() {
    closeLostPort();
    if (!m_lossReportPending) {
        return;
    }
    m_lossReportPending = false;
    if (m_lostHandler) {
        m_lostHandler(m_lossDescription);
    }
}

void QSerialPortAdapter::closeLostPort() {
    if (!m_lost) {
        return;
    }
    if (m_port.isOpen()) {
        closeQuietly();
    }
    m_lost = false;
}

Status QSerialPortAdapter::drainAndClose() {
    // As long as the queued bytes take on the line, plus a margin; then what is left is dropped
    // rather than holding the panel (a stalled adapter never drains).
    const qint64 queued = m_port.bytesToWrite() + kernelQueued();
    const QDeadlineTimer deadline(
        std::chrono::milliseconds(queued * kBitsPerByte * 1000 / kLineBaudRate) + kDrainMargin);
    while (m_port.bytesToWrite() > 0 && !deadline.hasExpired()) {
        m_port.clearError();
        if (!m_port.waitForBytesWritten(static_cast<int>(deadline.remainingTime())) &&
            !isBackPressure()) {
            break;
        }
    }
    // tcdrain() has no time limit, so the kernel's queue is watched until it is empty.
    while (m_port.bytesToWrite() == 0 && kernelQueued() > 0 && !deadline.hasExpired()) {
        std::this_thread::sleep_for(
            std::min(kDrainPoll, std::chrono::milliseconds(deadline.remainingTime())));
    }
    const qint64 unsent = m_port.bytesToWrite() + kernelQueued();
#ifdef Q_OS_UNIX
    if (unsent == 0) {
        // Only the device's own transmit buffer may still hold bytes: closing may discard them.
        ::tcdrain(m_port.handle());
    }
#endif
    const QString where = portAndDevice();
    if (kernelQueued() > 0) {
        // Closing would wait for the kernel's queue to go out: it is discarded first. (A
        // pseudo-terminal has no such queue to count, and no such wait.)
        (void)m_port.clear(QSerialPort::Output);
    }
    closeQuietly();
    if (unsent > 0) {
        return Status::Failed(QStringLiteral("%1: the device did not take the last %2 bytes in "
                                             "time: they were discarded when the port closed")
                                  .arg(where)
                                  .arg(unsent));
    }
    return Status::Ok();
}

qint64 QSerialPortAdapter::kernelQueued() const {
#if defined(Q_OS_UNIX) && defined(TIOCOUTQ)
    int queued = 0;
    // A device that cannot tell is taken as drained: closing then waits on QSerialPort's
    // queue only.
    return ::ioctl(static_cast<int>(m_port.handle()), TIOCOUTQ, &queued) == 0 ? queued : 0;
#else
    return 0;
#endif
}

void QSerialPortAdapter::closeQuietly() {
    m_closing = true;
    m_port.close();
    m_closing = false;
    m_port.clearError();
}

void QSerialPortAdapter::pullReceived() {
    // Bytes that reached the device before this call are fetched even when no event loop has
    // run since; a zero timeout never blocks.
    for (int poll = 0; poll < kMaxReceivePolls && !m_lost; ++poll) {
        if (!m_port.waitForReadyRead(0)) {
            break;
        }
    }
    // Polling also writes out queued bytes, and may find the line full.
    if (m_port.error() == QSerialPort::TimeoutError || isBackPressure()) {
        m_port.clearError();
    }
}

QString QSerialPortAdapter::portAndDevice() const {
    if (!m_fixedDevice.isEmpty()) {
        return deviceName();
    }
    return QStringLiteral("%1 (%2)").arg(PortLabel(m_portNumber), deviceName());
}

QString QSerialPortAdapter::describe(QSerialPort::SerialPortError error,
                                     const QString& reason) const {
    QString text;
    if (error == QSerialPort::PermissionError) {
        text = permissionReason();
    } else if (isGeneric(reason)) {
        text = reasonFor(error);
    } else {
        text = reason;
    }
    return QStringLiteral("%1: %2").arg(portAndDevice(), text);
}

QString QSerialPortAdapter::describeOpenFailure() const {
    const QSerialPort::SerialPortError error = m_port.error();
    QString description = describeCurrentError();
    if (error == QSerialPort::DeviceNotFoundError) {
#ifdef Q_OS_WIN
        description += QStringLiteral(" (plug the device in)");
#else
        if (!m_fixedDevice.isEmpty()) {
            return description + QStringLiteral(" (check the path, or plug the device in)");
        }
        description += QStringLiteral(" (plug the device in, or map the port to its device in "
                                      "the settings group \"%1\")")
                           .arg(keys::kPorts);
#endif
        return description;
    }
#ifdef Q_OS_UNIX
    if (error == QSerialPort::PermissionError && lockNameTooLong(m_device)) {
        return describe(QSerialPort::UnknownError,
                        QStringLiteral("the device path is too long (%1 characters): map the port "
                                       "to a shorter path, e.g. a symbolic link to the device")
                            .arg(m_device.size()));
    }
#endif
    // A file, a folder or any other device that is not a terminal opens, but cannot take the
    // line settings.
    const QFileInfo target(m_device);
    const bool notATerminal = m_port.errorString() == qt_error_string(ENOTTY);
    if (error != QSerialPort::PermissionError &&
        (target.isFile() || target.isDir() || notATerminal)) {
        description += QStringLiteral(" (not a serial device)");
    }
    return description;
}

QString QSerialPortAdapter::describeCurrentError() const {
    // error() first: errorString() alone turns an empty reason into "Unknown error".
    const QSerialPort::SerialPortError error = m_port.error();
    return describe(error, m_port.errorString());
}

} // namespace zq4
