#include "serial/qserialportadapter.h"

#include "serial/linelock.h"
#include "serial/portselection.h"
#include "settings/keys.h"

#include <QDeadlineTimer>
#include <QDir>
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
#include <thread>

namespace zq4 {

namespace {

// Bits on the line per byte: start bit, 8 data bits, stop bit.
constexpr qint64 kBitsPerByte = 10;
// How often closing looks whether the queued bytes have gone out, the device has gone or the
// wait is to be given up.
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

std::chrono::milliseconds lineTime(qint64 bytes) {
    return std::chrono::milliseconds(bytes * kBitsPerByte * 1000 / kLineBaudRate);
}

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
    : QObject(parent), m_store(store), m_port(this) {
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
    // QSerialPort takes any lock file but its own as stale, and removes it.
    if (const std::optional<LineHolder> holder = LineLockHolder(m_device)) {
        return Status::Failed(QStringLiteral("%1: %2").arg(portAndDevice(), InUseReason(*holder)));
    }
    // Every path to a device is one line: it is opened, and locked, as the device it leads to.
    m_port.setPortName(LineDevice(m_device));
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

qint64 QSerialPortAdapter::queuedBytes() const {
    return isOpen() ? m_port.bytesToWrite() + kernelQueued() : 0;
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
    m_lossDescription =
        describeLoss(error == QSerialPort::ResourceError ? m_port.errorString() : QString());
    QMetaObject::invokeMethod(this, &QSerialPortAdapter::reportLoss, Qt::QueuedConnection);
}

QString QSerialPortAdapter::describeLoss(const QString& reason) const {
    // A full line (EAGAIN) that a write met just before is no reason for the loss.
    const bool told = !isGeneric(reason) && reason != qt_error_string(EAGAIN);
    return QStringLiteral("%1: the device is no longer available%2: the port is closed; "
                          "reconnect the device and pick the port again")
        .arg(portAndDevice(), told ? QStringLiteral(" (%1)").arg(reason) : QString());
}

bool QSerialPortAdapter::isHungUp() const {
#ifdef Q_OS_UNIX
    // A terminal whose device has gone is hung up: it reports end of file on every read.
    pollfd entry{static_cast<int>(m_port.handle()), POLLIN, 0};
    return ::poll(&entry, 1, 0) > 0 && (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#else
    return false;
#endif
}

bool QSerialPortAdapter::isLoss(QSerialPort::SerialPortError error) const {
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError &&
        error != QSerialPort::WriteError) {
        return false;
    }
#ifdef Q_OS_UNIX
    if (isHungUp()) {
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
    const QDeadlineTimer deadline(lineTime(m_port.bytesToWrite() + kernelQueued()) + kDrainMargin);
    QString interruption;
    const auto keepWaiting = [&] {
        if (m_lost || isHungUp()) {
            return false;
        }
        if (m_interruption) {
            interruption = m_interruption();
        }
        return interruption.isEmpty() && !deadline.hasExpired();
    };
    const auto slice = [&deadline] {
        return std::min(kDrainPoll, std::chrono::milliseconds(deadline.remainingTime()));
    };
    while (m_port.bytesToWrite() > 0 && keepWaiting()) {
        m_port.clearError();
        if (!m_port.waitForBytesWritten(static_cast<int>(slice().count())) &&
            m_port.error() != QSerialPort::TimeoutError && !isBackPressure()) {
            break;
        }
    }
    // tcdrain() has no time limit, so the kernel's queue is watched until it is empty.
    while (m_port.bytesToWrite() == 0 && kernelQueued() > 0 && keepWaiting()) {
        std::this_thread::sleep_for(slice());
    }
    const QString where = portAndDevice();
    if (m_lost || isHungUp()) {
        // Told here, as the close's own failure: the LostHandler need not tell it again.
        const QString description = m_lost ? m_lossDescription : describeLoss(QString());
        m_lossReportPending = false;
        closeQuietly();
        m_lost = false;
        return Status::Failed(description);
    }
    const qint64 unsent = m_port.bytesToWrite() + kernelQueued();
#ifdef Q_OS_UNIX
    if (unsent == 0) {
        // Only the device's own transmit buffer may still hold bytes: closing may discard them.
        ::tcdrain(m_port.handle());
    }
#endif
    if (kernelQueued() > 0) {
        // Closing would wait for the kernel's queue to go out: it is discarded first. (A
        // pseudo-terminal has no such queue to count, and no such wait.) What the port itself
        // still holds goes with the close.
        (void)m_port.clear(QSerialPort::Output);
    }
    closeQuietly();
    if (unsent > 0 && !interruption.isEmpty()) {
        return Status::Failed(QStringLiteral("%1: %2 came before the device took the last %3 "
                                             "bytes: they were discarded when the port closed")
                                  .arg(where, interruption)
                                  .arg(unsent));
    }
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
        text = RefusedOpenReason(m_device);
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
