#include "serial/lineshare.h"

#include "protocol/codepage.h"
#include "protocol/frametext.h"
#include "protocol/vocabulary.h"
#include "serial/linelock.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QTextStream>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <sys/un.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cmath>

namespace zq4 {

namespace {

const QString kDevice = QStringLiteral("device");
const QString kText = QStringLiteral("text");
const QString kBrightness = QStringLiteral("brightness");
const QString kMessage = QStringLiteral("message");
const QString kAddress = QStringLiteral("address");
const QString kAnswer = QStringLiteral("answer");
const QString kError = QStringLiteral("error");
const QString kAccepted = QStringLiteral("accepted");
const QString kAbsent = QStringLiteral("absent");
const QString kRefused = QStringLiteral("refused");
const QString kSent = QStringLiteral("sent");
const QString kFailed = QStringLiteral("failed");
const QByteArray kConfirmation = QByteArrayLiteral("{\"send\":true}\n");

// An answer's line holds at most a failure's text, which names a port and its device.
constexpr qsizetype kAnswerLimit = 8192;
// How often a script that waits looks whether it is told to end.
constexpr std::chrono::milliseconds kWaitSlice{50};
// How long a listen waits for a program that may already answer on the channel's name.
constexpr int kProbeMilliseconds = 200;

QByteArray line(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

QByteArray answer(const QString& kind, const QString& error = QString()) {
    QJsonObject object{{kAnswer, kind}};
    if (!error.isEmpty()) {
        object.insert(kError, error);
    }
    return line(object);
}

#ifdef Q_OS_UNIX
// The user's runtime folder, which must be theirs alone: a socket in a folder that others may
// write could be another user's, put there to take the frames.
Result<QString> runtimeFolder() {
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    QString unset;
    if (folder.isEmpty()) {
        folder = QStringLiteral("/run/user/%1").arg(::geteuid());
        unset = QStringLiteral(" (XDG_RUNTIME_DIR is unset)");
    }
    const QFileInfo info(folder);
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                            QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                            QFileDevice::WriteOther | QFileDevice::ExeOther;
    if (!info.exists()) {
        return Status::Failed(
            QStringLiteral("the runtime folder %1 does not exist%2").arg(folder, unset));
    }
    if (!info.isDir()) {
        return Status::Failed(QStringLiteral("the runtime folder %1 is not a folder").arg(folder));
    }
    if (info.ownerId() != ::geteuid() || (info.permissions() & others) != 0) {
        return Status::Failed(QStringLiteral("the runtime folder %1 is not yours alone: it must "
                                             "belong to you with mode 0700")
                                  .arg(folder));
    }
    return folder;
}
#endif

// A code given as a JSON number: a whole number in 0..highest.
std::optional<std::int16_t> code(const QJsonValue& value, int highest) {
    if (!value.isDouble()) {
        return std::nullopt;
    }
    const double number = value.toDouble();
    if (number < 0 || number > highest || number != std::floor(number)) {
        return std::nullopt;
    }
    return static_cast<std::int16_t>(number);
}

Status invalidCode(const QString& key, const QJsonValue& value, int highest) {
    const QString given = value.isDouble() ? QString::number(value.toDouble())
                                           : QStringLiteral("a value that is no number");
    return Status::Failed(QStringLiteral("\"%1\" must be a whole number 0..%2, not %3")
                              .arg(key)
                              .arg(highest)
                              .arg(given));
}

// What a waiting script reads: an answer's line, or why there is none.
enum class Read { Line, Closed, TimedOut, Interrupted };

Read readLine(QLocalSocket& socket, const QDeadlineTimer& deadline,
              const ShareInterruption& interruption, QString& interruptedBy, QByteArray& read) {
    while (!socket.canReadLine()) {
        if (interruption) {
            interruptedBy = interruption();
            if (!interruptedBy.isEmpty()) {
                return Read::Interrupted;
            }
        }
        if (socket.bytesAvailable() > kAnswerLimit ||
            socket.state() != QLocalSocket::ConnectedState) {
            return Read::Closed;
        }
        if (deadline.hasExpired()) {
            return Read::TimedOut;
        }
        const auto slice = std::min<qint64>(kWaitSlice.count(), deadline.remainingTime());
        (void)socket.waitForReadyRead(static_cast<int>(slice));
    }
    read = socket.readLine(kAnswerLimit).trimmed();
    return Read::Line;
}

QJsonObject object(const QByteArray& bytes) {
    return QJsonDocument::fromJson(bytes).object();
}

// The device a path leads to, in one spelling: Windows names its ports in any case.
QString sharedDevice(const QString& path) {
#ifdef Q_OS_WIN
    return LineDevice(path).toUpper();
#else
    return LineDevice(path);
#endif
}

Status refused(const QString& where, const QString& reason) {
    return Status::Failed(QStringLiteral("%1: the window that holds the line refused the frame: %2")
                              .arg(where, reason));
}

} // namespace

Result<QString> LineShareName(const QString& device) {
    const QString line = sharedDevice(device);
#ifdef Q_OS_WIN
    // Pipes are seen by every user of the machine: the user's name keeps two users' windows on
    // one port apart, the pipe's access list keeps others out.
    QString name = line;
    name.replace(QLatin1Char('\\'), QLatin1Char('_'));
    return QStringLiteral("zq4-%1-%2").arg(qEnvironmentVariable("USERNAME"), name);
#else
    const Result<QString> folder = runtimeFolder();
    if (!folder) {
        return Status::Failed(folder.description());
    }
    // Named as the device's lock file is ("LCK..ttyUSB0"), so that the folder tells which
    // window holds which line; a request names its device in full, which the window checks.
    QString name = line.startsWith(QStringLiteral("/dev/")) ? line.mid(5) : line;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    QString path = folder.value() + QStringLiteral("/zq4-line-") + name;
    // A socket's path has room for about a hundred bytes: a long one is named by a digest.
    if (QFile::encodeName(path).size() >= static_cast<qsizetype>(sizeof(sockaddr_un::sun_path))) {
        path =
            folder.value() + QStringLiteral("/zq4-line-") +
            QString::fromLatin1(QCryptographicHash::hash(line.toUtf8(), QCryptographicHash::Sha256)
                                    .toHex()
                                    .left(32));
    }
    return path;
#endif
}

QByteArray ShareRequestBytes(const ShareRequest& request) {
    return line({{kDevice, request.device},
                 {kText, request.inputs.text},
                 {kBrightness, request.inputs.brightnessCode},
                 {kMessage, request.inputs.messageCode},
                 {kAddress, request.inputs.addressCode}});
}

Result<ShareRequest> ParseShareRequest(const QByteArray& bytes) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        return Status::Failed(QStringLiteral("it is not a request: %1 at byte %2")
                                  .arg(error.errorString())
                                  .arg(error.offset));
    }
    if (!document.isObject()) {
        return Status::Failed(QStringLiteral("it is not a request: no JSON object"));
    }
    const QJsonObject request = document.object();
    const QStringList keys = {kDevice, kText, kBrightness, kMessage, kAddress};
    for (const QString& key : request.keys()) {
        if (!keys.contains(key)) {
            return Status::Failed(QStringLiteral("it holds \"%1\", which no request has").arg(key));
        }
    }
    for (const QString& key : keys) {
        if (!request.contains(key)) {
            return Status::Failed(QStringLiteral("\"%1\" is missing").arg(key));
        }
    }
    ShareRequest taken;
    taken.device = request.value(kDevice).toString();
    if (!request.value(kDevice).isString() || taken.device.isEmpty()) {
        return Status::Failed(QStringLiteral("\"device\" must name a device"));
    }
    // The text as the text box and `zq4 send --text` take it.
    const QJsonValue text = request.value(kText);
    const QList<uint> characters = text.toString().toUcs4();
    if (!text.isString() || characters.size() > kTextFieldLength ||
        !std::all_of(characters.begin(), characters.end(),
                     [](uint c) { return isSendableCharacter(static_cast<char32_t>(c)); })) {
        return Status::Failed(QStringLiteral("\"text\" must be at most %1 characters the display "
                                             "can show")
                                  .arg(kTextFieldLength));
    }
    taken.inputs.text = text.toString();
    const std::pair<const QString&, int> codes[] = {
        {kBrightness, static_cast<int>(BrightnessLabels().size()) - 1},
        {kMessage, kMessageCount - 1},
        {kAddress, kAllDisplays},
    };
    std::int16_t* into[] = {&taken.inputs.brightnessCode, &taken.inputs.messageCode,
                            &taken.inputs.addressCode};
    for (std::size_t i = 0; i < std::size(codes); ++i) {
        const auto& [key, highest] = codes[i];
        const std::optional<std::int16_t> value = code(request.value(key), highest);
        if (!value) {
            return invalidCode(key, request.value(key), highest);
        }
        *into[i] = *value;
    }
    return taken;
}

std::optional<Status> HandFrameToWindow(const QString& device, const QString& where,
                                        const FrameInputs& inputs,
                                        const ShareInterruption& interruption) {
    const QString line = sharedDevice(device);
    const Result<QString> name = LineShareName(line);
    // Without a folder of the user's own no window of theirs listens.
    if (!name) {
        return std::nullopt;
    }
    QLocalSocket socket;
    socket.connectToServer(name.value());
    const QDeadlineTimer answerDeadline(kShareAnswerTime);
    while (socket.state() == QLocalSocket::ConnectingState && !answerDeadline.hasExpired()) {
        (void)socket.waitForConnected(
            static_cast<int>(std::min<qint64>(kWaitSlice.count(), answerDeadline.remainingTime())));
    }
    if (socket.state() != QLocalSocket::ConnectedState) {
        return std::nullopt;
    }
    socket.write(ShareRequestBytes({line, inputs}));
    QString interruptedBy;
    QByteArray read;
    switch (readLine(socket, answerDeadline, interruption, interruptedBy, read)) {
    case Read::Interrupted:
        return Status::Failed(QStringLiteral("%1: %2 came before the window that holds the line "
                                             "took the frame: nothing was sent")
                                  .arg(where, interruptedBy));
    case Read::Closed:
    case Read::TimedOut:
        return std::nullopt;
    case Read::Line:
        break;
    }
    const QJsonObject accepted = object(read);
    const QString kind = accepted.value(kAnswer).toString();
    if (kind == kRefused) {
        return refused(where, accepted.value(kError).toString());
    }
    if (kind != kAccepted) {
        return std::nullopt; // absent, or no answer of ours: nothing was sent
    }

    // Confirmed: from here on the frame is the window's, and a failure is told, never retried.
    socket.write(kConfirmation);
    (void)socket.flush();
    switch (readLine(socket, QDeadlineTimer(kShareSendTime + kShareAnswerTime), interruption,
                     interruptedBy, read)) {
    case Read::Interrupted:
        return Status::Failed(QStringLiteral("%1: %2 came before the window that holds the line "
                                             "told whether the frame went out: it may still go out")
                                  .arg(where, interruptedBy));
    case Read::Closed:
        return Status::Failed(QStringLiteral("%1: the window that holds the line ended before it "
                                             "told whether the frame went out")
                                  .arg(where));
    case Read::TimedOut:
        return Status::Failed(QStringLiteral("%1: the window that holds the line did not tell "
                                             "within %2 s whether the frame went out: it may still "
                                             "go out")
                                  .arg(where)
                                  .arg((kShareSendTime + kShareAnswerTime).count() / 1000));
    case Read::Line:
        break;
    }
    const QJsonObject outcome = object(read);
    const QString error = outcome.value(kError).toString();
    if (outcome.value(kAnswer).toString() == kSent) {
        return Status::Ok();
    }
    if (outcome.value(kAnswer).toString() == kFailed && !error.isEmpty()) {
        return Status::Failed(error);
    }
    // A confirmation that came too late is refused: the frame was not sent.
    if (outcome.value(kAnswer).toString() == kRefused) {
        return refused(where, error);
    }
    return Status::Failed(QStringLiteral("%1: the window that holds the line gave an answer that "
                                         "cannot be read: %2")
                              .arg(where, QString::fromUtf8(read)));
}

SharedFrame::SharedFrame(FrameInputs inputs, QLocalSocket& socket, QObject* parent)
    : QObject(parent), m_inputs(std::move(inputs)), m_socket(socket) {}

void SharedFrame::finish(const Status& outcome) {
    if (m_finished) {
        return;
    }
    m_finished = true;
    m_socket.write(outcome ? answer(kSent) : answer(kFailed, outcome.description()));
    // Handed to the system at once: a window that closes runs no event loop to do it later.
    (void)m_socket.flush();
    m_socket.disconnectFromServer();
}

// One script's connection, from its request to its frame's outcome. It owns the socket; the
// server owns it.
class ShareExchange final : public QObject {
public:
    ShareExchange(QLocalSocket* socket, LineShareServer& server)
        : QObject(&server), m_server(server), m_socket(socket) {
        socket->setParent(this);
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, &ShareExchange::onTimeout);
        connect(socket, &QLocalSocket::readyRead, this, &ShareExchange::onReadyRead);
        connect(socket, &QLocalSocket::disconnected, this, &ShareExchange::onDisconnected);
        m_timer.start(kShareAnswerTime);
        onReadyRead(); // what came with the connection
    }
    ~ShareExchange() override {
        // Let go without a word: the server stops listening.
        disconnect(m_socket, nullptr, this, nullptr);
        m_socket->abort();
    }

private:
    enum class Phase { Request, Confirmation, Handed, Over };

    void onReadyRead() {
        if (m_phase == Phase::Handed || m_phase == Phase::Over) {
            (void)m_socket->readAll(); // nothing more is taken
            return;
        }
        m_buffer += m_socket->read(kShareRequestLimit + 1 - m_buffer.size());
        const qsizetype end = m_buffer.indexOf('\n');
        if (end < 0) {
            if (m_buffer.size() > kShareRequestLimit) {
                refuse(
                    QStringLiteral("the request is larger than %1 bytes").arg(kShareRequestLimit));
            }
            return;
        }
        if (end + 1 != m_buffer.size() || m_socket->bytesAvailable() > 0) {
            refuse(QStringLiteral("more came after a line before the window answered it"));
            return;
        }
        const QByteArray received = m_buffer;
        m_buffer.clear();
        if (m_phase == Phase::Request) {
            takeRequest(received.chopped(1));
        } else if (received == kConfirmation) {
            m_timer.stop();
            m_phase = Phase::Handed;
            auto* frame = new SharedFrame(m_request.inputs, *m_socket, this);
            m_server.m_holder.send(*frame);
        } else {
            refuse(QStringLiteral("the acceptance was not followed by the confirmation"));
        }
    }

    void takeRequest(const QByteArray& received) {
        const Result<ShareRequest> request = ParseShareRequest(received);
        if (!request) {
            refuse(request.description());
            return;
        }
        if (request.value().device != m_server.device()) {
            refuse(QStringLiteral("the window holds %1, not %2")
                       .arg(m_server.device(), request.value().device));
            return;
        }
        if (!m_server.m_holder.holdsLine()) {
            end(answer(kAbsent));
            return;
        }
        m_request = request.value();
        m_phase = Phase::Confirmation;
        m_socket->write(answer(kAccepted));
        m_timer.start(kShareAnswerTime);
    }

    void onTimeout() {
        refuse(m_phase == Phase::Request
                   ? QStringLiteral("no whole request came within %1 ms (%2 bytes did)")
                         .arg(kShareAnswerTime.count())
                         .arg(m_buffer.size())
                   : QStringLiteral("the acceptance was not confirmed within %1 ms")
                         .arg(kShareAnswerTime.count()));
    }

    void onDisconnected() {
        if ((m_phase == Phase::Request && !m_buffer.isEmpty()) || m_phase == Phase::Confirmation) {
            m_server.log(QStringLiteral("a script's frame for %1 was not sent: %2")
                             .arg(m_server.device(),
                                  m_phase == Phase::Request
                                      ? QStringLiteral("its request was cut short after %1 bytes")
                                            .arg(m_buffer.size())
                                      : QStringLiteral("it went before confirming")));
        }
        m_phase = Phase::Over;
        m_timer.stop();
        deleteLater();
    }

    void refuse(const QString& reason) {
        m_server.log(QStringLiteral("refused a script's frame for %1: %2; nothing was sent")
                         .arg(m_server.device(), reason));
        end(answer(kRefused, reason));
    }

    void end(const QByteArray& last) {
        m_phase = Phase::Over;
        m_timer.stop();
        m_socket->write(last);
        m_socket->disconnectFromServer();
    }

    LineShareServer& m_server;
    QLocalSocket* m_socket;
    QTimer m_timer;
    Phase m_phase = Phase::Request;
    QByteArray m_buffer;
    ShareRequest m_request;
};

LineShareServer::LineShareServer(Holder holder, QObject* parent)
    : QObject(parent), m_holder(std::move(holder)), m_server(this) {
    // Owner-only: on Linux the socket's mode is 0700, on Windows the pipe admits the user alone.
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &LineShareServer::onNewConnection);
}

LineShareServer::~LineShareServer() {
    close();
}

Status LineShareServer::listen(const QString& device) {
    close();
    const QString line = sharedDevice(device);
    const Result<QString> name = LineShareName(line);
    if (!name) {
        return Status::Failed(name.description());
    }
    // A program that answers on the name keeps it; a name nobody answers on is left from one
    // that ended, and is taken over.
    QLocalSocket probe;
    probe.connectToServer(name.value());
    if (probe.waitForConnected(kProbeMilliseconds)) {
        return Status::Failed(
            QStringLiteral("another program already takes frames at %1").arg(name.value()));
    }
    if (!m_server.listen(name.value())) {
        return Status::Failed(
            QStringLiteral("%1 cannot be made: %2").arg(name.value(), m_server.errorString()));
    }
    m_device = line;
    return Status::Ok();
}

void LineShareServer::close() {
    m_server.close();
    m_device.clear();
    const QObjectList exchanges = children();
    for (QObject* child : exchanges) {
        delete dynamic_cast<ShareExchange*>(child);
    }
}

bool LineShareServer::isFor(const QString& device) const {
    return isListening() && sharedDevice(device) == m_device;
}

void LineShareServer::log(const QString& text) const {
    if (m_holder.log) {
        m_holder.log(text);
        return;
    }
    // What a script sent may hold control characters: they are shown escaped.
    QTextStream(stderr) << QStringLiteral("zq4: ") << EscapedText(text) << Qt::endl;
}

void LineShareServer::onNewConnection() {
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        new ShareExchange(socket, *this);
    }
}

} // namespace zq4
