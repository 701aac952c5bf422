#include "serial/qserialportadapter.h"

#include "protocol/vocabulary.h"
#include "serial/linedrain.h"
#include "serial/linelock.h"
#include "serial/linesettings.h"
#include "serial/linestate.h"
#include "serial/porterrors.h"
#include "serial/portselection.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QMetaObject>

#include <algorithm>

namespace zq4 {

QSerialPortAdapter::QSerialPortAdapter(DeviceLookup deviceFor, QString mappedIn)
    : m_deviceFor(std::move(deviceFor)), m_mappedIn(std::move(mappedIn)), m_port(this) {
    ApplyLineSettings(m_port);
    connect(&m_port, &QSerialPort::errorOccurred, this, &QSerialPortAdapter::onErrorOccurred);
}

QSerialPortAdapter::~QSerialPortAdapter() {
    // The port's own destructor runs after this object's members are gone: it must not call
    // back into them.
    disconnect(&m_port, nullptr, this, nullptr);
    if (m_lost) {
        closeLostPort();
    } else if (m_port.isOpen()) {
        (void)drainAndClose(kLongestClose);
    }
}

Status QSerialPortAdapter::open(std::int16_t portNumber) {
    closeLostPort();
    if (portNumber < 1 || portNumber > kPortCount) {
        return Status::Failed(NoSuchPortText(portNumber));
    }
    if (m_port.isOpen()) {
        return Status::Failed(AlreadyOpenText(where()));
    }
    m_portNumber = portNumber;
    m_device = m_givenDevice.isEmpty() ? m_deviceFor(portNumber) : m_givenDevice;
    // QSerialPort takes any lock file but its own as stale, and removes it.
    if (const std::optional<LineHolder> holder = LineLockHolder(m_device)) {
        return Status::Failed(QStringLiteral("%1: %2").arg(where(), InUseReason(*holder)));
    }
    // Every path to a device is one line: it is opened, and locked, as the device it leads to.
    m_port.setPortName(LineDevice(m_device));
    m_port.clearError();
    if (!m_port.open(QIODevice::ReadWrite)) {
        const Status failed = Status::Failed(openFailure());
        m_port.clearError();
        return failed;
    }
    return Status::Ok();
}

Result<bool> QSerialPortAdapter::isOpen() const {
    return isOpenAndThere();
}

Status QSerialPortAdapter::close(std::chrono::milliseconds deadline) {
    if (m_lost) {
        closeLostPort();
    }
    return m_port.isOpen() ? drainAndClose(deadline) : Status::Ok();
}

Status QSerialPortAdapter::discardInput() {
    if (!isOpenAndThere()) {
        return Status::Failed(FailureText(where(), QSerialPort::NotOpenError, QString()));
    }
    m_port.clearError();
    if (!m_port.clear(QSerialPort::Input)) {
        const Status failed =
            Status::Failed(FailureText(where(), m_port.error(), m_port.errorString()));
        m_port.clearError();
        return failed;
    }
    return Status::Ok();
}

WriteStatus QSerialPortAdapter::write(const QByteArray& bytes) {
    if (!isOpenAndThere()) {
        return {Status::Failed(FailureText(where(), QSerialPort::NotOpenError, QString()))};
    }
    const qint64 waiting = m_port.bytesToWrite() + DeviceQueued(m_port);
    if (waiting > 0 && waiting + bytes.size() > LineBytes(kLongestWait)) {
        // Told in frames of this write's size, the one partly gone out among them.
        const qint64 size = std::max<qint64>(bytes.size(), 1);
        return {Status::Failed(BusyText(where(), (waiting + size - 1) / size)), true};
    }
    m_port.clearError();
    if (m_port.write(bytes) != bytes.size()) {
        const Status failed =
            Status::Failed(FailureText(where(), QSerialPort::WriteError, m_port.errorString()));
        m_port.clearError();
        return {failed};
    }
    // Hand the bytes to the device now rather than on the next turn of the event loop. What a
    // full line cannot take yet stays in the port, which writes it out as the device becomes
    // writable; only a device that went away meanwhile fails the write.
    m_port.flush();
    m_port.clearError();
    if (m_lost) {
        return {Status::Failed(m_lossDescription)};
    }
    return {};
}

void QSerialPortAdapter::setLostHandler(LostHandler handler) {
    m_lostHandler = std::move(handler);
}

QString QSerialPortAdapter::deviceName() const {
    return !m_device.isEmpty()        ? m_device
           : !m_givenDevice.isEmpty() ? m_givenDevice
                                      : m_deviceFor(m_portNumber);
}

QString QSerialPortAdapter::where() const {
    return m_givenDevice.isEmpty()
               ? QStringLiteral("%1 (%2)").arg(PortLabel(m_portNumber), deviceName())
               : deviceName();
}

QString QSerialPortAdapter::openFailure() const {
    OpenFailure failure;
    failure.error = m_port.error();
    // The system's "not permitted" has several causes; the lock files and the device tell which.
    failure.reason = failure.error == QSerialPort::PermissionError ? RefusedOpenReason(m_device)
                                                                   : m_port.errorString();
    failure.deviceGiven = !m_givenDevice.isEmpty();
    const QFileInfo target(m_device);
    failure.fileOrFolder = target.isFile() || target.isDir();
    failure.mappedIn = m_mappedIn;
    return OpenFailureText(where(), failure);
}

qint64 QSerialPortAdapter::queuedBytes() const {
    return isOpenAndThere() ? m_port.bytesToWrite() + DeviceQueued(m_port) : 0;
}

void QSerialPortAdapter::onErrorOccurred(QSerialPort::SerialPortError error) {
    // Only a device that has gone is a loss. Any other fault of a read or a write on a healthy
    // descriptor (a full line among them: QSerialPort tells it as a resource error) leaves what
    // waits in the port, to go out as the line takes it.
    const bool lineFault = error == QSerialPort::ResourceError || error == QSerialPort::ReadError ||
                           error == QSerialPort::WriteError;
    if (m_closing || m_lost || !m_port.isOpen() || !lineFault || !DeviceGone(m_port)) {
        return;
    }
    // A vanished device keeps the read notifier firing until the port is closed; closing
    // inside the port's own notification is not safe, so the close is deferred.
    m_lost = true;
    m_lossReportPending = true;
    m_lossDescription = LossText(where());
    QMetaObject::invokeMethod(this, &QSerialPortAdapter::reportLoss, Qt::QueuedConnection);
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

Status QSerialPortAdapter::drainAndClose(std::chrono::milliseconds deadline) {
    // As long as what waits takes on the line, plus a margin, and never past the deadline; then
    // what is left is dropped rather than holding the caller (a stalled adapter never drains).
    const qint64 waiting = m_port.bytesToWrite() + DeviceQueued(m_port);
    const Drained drained =
        DrainLine(m_port, QDeadlineTimer(std::min(deadline, LineTime(waiting) + kDrainMargin)),
                  m_interruption);
    const QString named = where();
    if (m_lost || drained.gone) {
        // Told here, as the close's own failure: the LostHandler need not tell it again.
        m_lossReportPending = false;
        closeQuietly();
        m_lost = false;
        return Status::Failed(LossText(named));
    }
    if (DeviceQueued(m_port) > 0) {
        // Closing would wait for the device's queue to go out: it is discarded first. What the
        // port itself still holds goes with the close.
        (void)m_port.clear(QSerialPort::Output);
    }
    closeQuietly();
    if (drained.unsent > 0) {
        return Status::Failed(UnsentText(named, drained.unsent, drained.interruption));
    }
    return Status::Ok();
}

void QSerialPortAdapter::closeQuietly() {
    m_closing = true;
    m_port.close();
    m_closing = false;
    m_port.clearError();
}

} // namespace zq4
