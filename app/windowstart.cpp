#include "app/windowstart.h"

#include "protocol/frametext.h"

#include <QByteArray>
#include <QMutex>
#include <QRegularExpression>
#include <QTextStream>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace zq4 {

namespace {

const QString kCommandLineWorks = QStringLiteral("; zq4 send works without one");

// The variables by which a program finds its display, as they are set.
QString displayVariables() {
    QStringList variables;
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const QString value = qEnvironmentVariable(name);
        variables << (value.isEmpty() ? QStringLiteral("%1 unset").arg(QLatin1String(name))
                                      : QStringLiteral("%1=%2").arg(QLatin1String(name), value));
    }
    return variables.join(QStringLiteral(", "));
}

// A message of Qt's, kept until it may be shown. The context's texts are copied: they need not
// outlive the call.
struct HeldMessage {
    QtMsgType type;
    QByteArray file;
    int line;
    QByteArray function;
    QByteArray category;
    QString text;
};

QMutex heldMutex;
std::vector<HeldMessage> heldMessages;
QtMessageHandler passOn = nullptr;

void passOnHeld() {
    const QMutexLocker lock(&heldMutex);
    for (const HeldMessage& held : heldMessages) {
        const QMessageLogContext context(
            held.file.isNull() ? nullptr : held.file.constData(), held.line,
            held.function.isNull() ? nullptr : held.function.constData(),
            held.category.isNull() ? nullptr : held.category.constData());
        passOn(held.type, context, held.text);
    }
    heldMessages.clear();
}

// Qt's own words when no platform plugin could start, and, before them, when the one asked for
// is not there at all.
bool noPlatformStarted(const QString& text) {
    return text.contains(QStringLiteral("no Qt platform plugin could be initialized"));
}
const QRegularExpression
    kPlatformNotFound(QStringLiteral(R"re(Could not find the Qt platform plugin "([^"]*)")re"));
const QRegularExpression
    kAvailable(QStringLiteral(R"re(Available platform plugins are: ([^\n]*))re"));

// What stopped the window, in one line.
QString whyNoWindow(const QString& fatalText) {
    QString missingPlatform;
    {
        const QMutexLocker lock(&heldMutex);
        for (const HeldMessage& held : heldMessages) {
            if (const auto match = kPlatformNotFound.match(held.text); match.hasMatch()) {
                missingPlatform = match.captured(1);
            }
        }
    }
    if (!missingPlatform.isNull()) {
        const auto available = kAvailable.match(fatalText);
        return QStringLiteral("the window cannot start: there is no Qt platform plugin \"%1\" "
                              "(-platform, QT_QPA_PLATFORM)%2")
                   .arg(missingPlatform,
                        available.hasMatch()
                            ? QStringLiteral("; the platforms are ") +
                                  available.captured(1).remove(QRegularExpression("\\.$"))
                            : QString()) +
               kCommandLineWorks;
    }
    return QStringLiteral("the window needs a display, and none could be reached (%1)")
               .arg(displayVariables()) +
           kCommandLineWorks;
}

void holdMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg && noPlatformStarted(text)) {
        // Nothing of the panel's exists yet: there is nothing to undo, and Qt's own state, half
        // made, is not to be torn down.
        QTextStream(stderr) << QStringLiteral("zq4: ") << EscapedText(whyNoWindow(text))
                            << Qt::endl;
        std::_Exit(EXIT_FAILURE);
    }
    {
        const QMutexLocker lock(&heldMutex);
        heldMessages.push_back({type, QByteArray(context.file), context.line,
                                QByteArray(context.function), QByteArray(context.category), text});
    }
    if (type == QtFatalMsg) {
        passOnHeld(); // Qt ends the program after this one
    }
}

} // namespace

QString MissingDisplay(int argc, const char* const* argv) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN) && !defined(Q_OS_ANDROID)
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0) {
            return QString();
        }
    }
    for (const char* variable : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        if (!qEnvironmentVariableIsEmpty(variable)) {
            return QString();
        }
    }
    // A Wayland session's display may go unnamed: its library then takes the usual one.
    if (qEnvironmentVariable("XDG_SESSION_TYPE") == QStringLiteral("wayland")) {
        return QString();
    }
    return QStringLiteral("the window needs a display, and there is none (%1)")
               .arg(displayVariables()) +
           kCommandLineWorks;
#else
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    return QString();
#endif
}

PlatformStartWatch::PlatformStartWatch() : m_previous(qInstallMessageHandler(holdMessage)) {
    passOn = m_previous;
}

PlatformStartWatch::~PlatformStartWatch() {
    qInstallMessageHandler(m_previous);
    passOnHeld();
}

} // namespace zq4
