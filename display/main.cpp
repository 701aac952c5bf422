#include "display/virtualdisplay.h"
#include "protocol/frametext.h"
#include "system/shutdownsignals.h"
#include "system/standardstreams.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kUsageError = 2;
constexpr int kDeviceError = 1;

// The text names what the program was given (a device, an option), which may hold control
// characters: they are shown escaped, never sent to the terminal.
void complain(const QString& text) {
    QTextStream(stderr) << QStringLiteral("zq4-display: ") << zq4::EscapedText(text) << Qt::endl;
}

// Standard output could not take what was printed: the program fails rather than end as if
// it had been read.
void checkStandardOutputAtExit() {
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        const int error = errno;
        complain(QStringLiteral("cannot write to standard output: %1")
                     .arg(QString::fromLocal8Bit(std::strerror(error))));
        std::_Exit(EXIT_FAILURE);
    }
}

int usageError(const QString& text) {
    complain(text);
    QTextStream(stderr) << QStringLiteral("Try 'zq4-display --help'.") << Qt::endl;
    return kUsageError;
}

} // namespace

int main(int argc, char** argv) {
    zq4::ReserveStandardStreams();
    // Blocked before the application exists, so that no thread it may start takes them.
    const QList<int> endSignals = {SIGINT, SIGTERM, SIGHUP};
    zq4::ShutdownSignals::block(endSignals);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zq4-display"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZQ4_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Shows every command frame that reaches a display on a serial line, one line each.\n"
        "Without a device, creates a pseudo-terminal for the panel to send to and prints the\n"
        "settings lines that make the panel's first port reach it.\n"
        "SIGINT (Ctrl+C), SIGTERM or SIGHUP prints a summary and ends the program.\n"
        "Exit status: 0 ok, 1 device error, 2 usage error."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption hexOption(
        QStringLiteral("hex"),
        QStringLiteral("Add the raw bytes to every frame's line (malformed frames and "
                       "skipped bytes always show theirs)."));
    parser.addOption(hexOption);
    parser.addPositionalArgument(
        QStringLiteral("device"),
        QStringLiteral("Serial device to watch at 1200 baud, 8N1 (for example /dev/ttyUSB0); a "
                       "relative path starts in the current folder."),
        QStringLiteral("[device]"));

    if (!parser.parse(QCoreApplication::arguments())) {
        return usageError(parser.errorText());
    }
    // The arguments are known to parse: this only answers --help, --help-all and --version,
    // which print and end the program in the parser; what they printed is checked on the way out.
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all")) ||
        parser.isSet(QStringLiteral("version"))) {
        std::atexit(checkStandardOutputAtExit);
    }
    parser.process(app);
    const QStringList devices = parser.positionalArguments();
    if (devices.size() > 1) {
        return usageError(
            QStringLiteral("one device at most, got %1").arg(devices.join(QLatin1Char(' '))));
    }
    if (!devices.isEmpty() && devices.front().isEmpty()) {
        return usageError(
            QStringLiteral("no device name given: name a device, or none for a pseudo-terminal"));
    }

    zq4::ShutdownSignals shutdownSignals(endSignals);
    if (!shutdownSignals.isValid()) {
        complain(shutdownSignals.errorString());
        return EXIT_FAILURE;
    }

    zq4::VirtualDisplay display(parser.isSet(hexOption), stdout);
    const bool watching =
        devices.isEmpty() ? display.listenOnPseudoTerminal() : display.watchDevice(devices.front());
    if (!watching) {
        complain(display.errorString());
        return kDeviceError;
    }
    // The device's path, which the panel needs, reached nobody.
    if (!display.outputError().isEmpty()) {
        complain(display.outputError());
        return EXIT_FAILURE;
    }

    QObject::connect(&shutdownSignals, &zq4::ShutdownSignals::received, &app, [&display] {
        display.finish();
        QCoreApplication::exit(display.outputError().isEmpty() ? EXIT_SUCCESS : EXIT_FAILURE);
    });
    QObject::connect(&display, &zq4::VirtualDisplay::outputFailed, &app,
                     [](const QString& description) {
                         complain(description);
                         QCoreApplication::exit(EXIT_FAILURE);
                     });
    QObject::connect(&display, &zq4::VirtualDisplay::lineFailed, &app,
                     [&display](const QString& description) {
                         complain(description);
                         display.finish();
                         QCoreApplication::exit(kDeviceError);
                     });
    return QCoreApplication::exec();
}
