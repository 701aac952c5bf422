#include "display/virtualdisplay.h"

#include "protocol/frametext.h"
#include "serial/linelock.h"
#include "serial/linesettings.h"
#include "serial/portselection.h"
#include "settings/keys.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTime>

#include <array>
#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace zq4 {

namespace {

constexpr std::size_t kReadChunk = 4096;
// Reads per wake-up: a line that never pauses must still let the event loop run, which brings
// the signals that end the program. The notifier fires again while bytes are left.
constexpr int kMaxReadsPerWakeUp = 16;

// The settings file the panel reads its port map from.
QString panelSettingsFile() {
    const QString configFolder =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir(configFolder)
        .filePath(keys::kApplication + QLatin1Char('/') + keys::kApplication +
                  QStringLiteral(".ini"));
}

} // namespace

VirtualDisplay::VirtualDisplay(bool showHex, FILE* output, QObject* parent)
    : QObject(parent), m_log(showHex), m_output(output) {}

bool VirtualDisplay::listenOnPseudoTerminal() {
    auto terminal = std::make_unique<PseudoTerminal>();
    if (!terminal->valid()) {
        m_errorString = terminal->errorString();
        return false;
    }
    m_terminal = std::move(terminal);
    m_terminalNotifier =
        std::make_unique<QSocketNotifier>(m_terminal->masterDescriptor(), QSocketNotifier::Read);
    connect(m_terminalNotifier.get(), &QSocketNotifier::activated, this,
            &VirtualDisplay::readPseudoTerminal);

    m_device = m_terminal->devicePath();
    print(QStringLiteral("zq4-display: virtual display on %1").arg(m_device));
    print(QStringLiteral("To reach it from the panel's \"%1\", put these lines into %2:")
              .arg(PortLabel(1), panelSettingsFile()));
    print(QStringLiteral("[%1]").arg(keys::kPorts));
    print(QStringLiteral("%1=%2").arg(keys::portKey(1), m_device));
    print(QStringLiteral("Waiting for frames; Ctrl+C ends."));
    return true;
}

bool VirtualDisplay::watchDevice(const QString& path) {
    // QSerialPort looks up a relative name under /dev; the path is the file it names.
    const QString device = QFileInfo(path).absoluteFilePath();
    // QSerialPort takes any lock file but its own as stale, and removes it.
    if (const std::optional<LineHolder> holder = LineLockHolder(device)) {
        m_errorString = QStringLiteral("cannot open %1: %2").arg(device, InUseReason(*holder));
        return false;
    }
    auto port = std::make_unique<QSerialPort>();
    // Every path to a device is one line: it is opened, and locked, as the device it leads to.
    port->setPortName(LineDevice(device));
    ApplyLineSettings(*port);
    if (!port->open(QIODevice::ReadOnly)) {
        const QString reason = port->error() == QSerialPort::PermissionError
                                   ? RefusedOpenReason(device)
                                   : port->errorString();
        m_errorString = QStringLiteral("cannot open %1: %2").arg(device, reason);
        return false;
    }
    m_serialPort = std::move(port);
    m_device = device;
    connect(m_serialPort.get(), &QSerialPort::readyRead, this, &VirtualDisplay::readSerialPort);
    connect(m_serialPort.get(), &QSerialPort::errorOccurred, this, &VirtualDisplay::onSerialError);

    print(
        QStringLiteral("zq4-display: watching %1 at %2 baud, 8N1").arg(device).arg(kLineBaudRate));
    print(QStringLiteral("Waiting for frames; Ctrl+C ends."));
    return true;
}

void VirtualDisplay::readPseudoTerminal() {
    std::array<char, kReadChunk> buffer{};
    for (int reads = 0; reads < kMaxReadsPerWakeUp; ++reads) {
        const ssize_t count = ::read(m_terminal->masterDescriptor(), buffer.data(), buffer.size());
        if (count > 0) {
            receive(QByteArrayView(buffer.data(), count));
            continue;
        }
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return;
        }
        // The slave side is held open here, so the line cannot hang up; anything else that
        // stops the reads would make the notifier fire without end.
        const QString reason = count == 0 ? QStringLiteral("end of input")
                                          : QString::fromLocal8Bit(std::strerror(errno));
        m_terminalNotifier->setEnabled(false);
        emit lineFailed(QStringLiteral("reading %1 failed: %2").arg(m_device, reason));
        return;
    }
}

void VirtualDisplay::readSerialPort() {
    receive(m_serialPort->readAll());
}

void VirtualDisplay::onSerialError(QSerialPort::SerialPortError error) {
    if (m_lineFailed || error == QSerialPort::NoError || error == QSerialPort::TimeoutError) {
        return;
    }
    m_lineFailed = true;
    const QString description =
        error == QSerialPort::ResourceError
            ? QStringLiteral("%1 is no longer available (%2)")
                  .arg(m_device, m_serialPort->errorString())
            : QStringLiteral("reading %1 failed: %2").arg(m_device, m_serialPort->errorString());
    // The port is closed, so that a vanished device stops signalling, once it has finished
    // its own notification: closing from inside it is not safe.
    QMetaObject::invokeMethod(
        this,
        [this, description] {
            m_serialPort->close();
            emit lineFailed(description);
        },
        Qt::QueuedConnection);
}

void VirtualDisplay::receive(QByteArrayView bytes) {
    m_decoder.feed(bytes, [this](const DecoderEvent& event) {
        print(m_log.line(event, QTime::currentTime()));
    });
}

void VirtualDisplay::finish() {
    if (m_finished) {
        return;
    }
    m_finished = true;
    const QByteArray unfinished = m_decoder.takePending();
    if (!unfinished.isEmpty()) {
        print(m_log.unfinishedLine(unfinished, QTime::currentTime()));
    }
    print(m_log.summary());
}

void VirtualDisplay::print(const QString& line) {
    // A device's name is the operator's and may hold control characters (a frame's line has its
    // text escaped already). Each line is flushed at once: the output is often a pipe, read while
    // the program runs.
    if (!m_outputError.isEmpty()) {
        return;
    }
    m_output << EscapedText(line) << Qt::endl;
    if (m_output.status() != QTextStream::Ok) {
        m_outputError = QStringLiteral("cannot write to standard output: %1")
                            .arg(m_output.device()->errorString());
        emit outputFailed(m_outputError);
    }
}

} // namespace zq4
