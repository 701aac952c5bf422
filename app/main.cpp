#include "app/windowstart.h"
#include "cli/commandline.h"
#include "panel/controlpanel.h"
#include "panel/linesharehost.h"
#include "panel/messageboxfeedback.h"
#include "protocol/frametext.h"
#include "serial/devicediscovery.h"
#include "serial/qserialportadapter.h"
#include "settings/portmap.h"
#include "settings/qsettingsstore.h"

#include <QApplication>
#include <QTextStream>
#include <QTimer>

#include <chrono>
#include <cstdlib>
#include <memory>

#ifdef Q_OS_LINUX
#include "system/shutdownsignals.h"
#include "system/standardstreams.h"

#include <csignal>
#endif

namespace {

// How long after the window shows it starts to take its user's scripts' frames.
constexpr std::chrono::milliseconds kLineShareDelay{1000};

} // namespace

int main(int argc, char** argv) {
#ifdef Q_OS_LINUX
    zq4::ReserveStandardStreams();
#endif
    // The command line needs no display: it is told apart before any GUI object exists.
    if (zq4::IsCommandLine(argc, argv)) {
        return zq4::RunCommandLine(argc, argv);
    }
    if (const QString missing = zq4::MissingDisplay(argc, argv); !missing.isEmpty()) {
        QTextStream(stderr) << QStringLiteral("zq4: ") << zq4::EscapedText(missing) << Qt::endl;
        return EXIT_FAILURE;
    }
#ifdef Q_OS_LINUX
    // A session that ends, a closed terminal or a plain kill end the panel as its window's close
    // does, so the port is drained and let go with its lock file. Blocked before the
    // application exists, so that no thread it may start takes them.
    const QList<int> endSignals = {SIGINT, SIGTERM, SIGHUP};
    zq4::ShutdownSignals::block(endSignals);
#endif
    // Wayland names the window by this id, which the desktop matches to the entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.zq4.zq4"));
    auto platformStart = std::make_unique<zq4::PlatformStartWatch>();
    QApplication app(argc, argv);
    platformStart.reset();

    bool ending = false;
#ifdef Q_OS_LINUX
    zq4::ShutdownSignals shutdownSignals(endSignals);
    if (!shutdownSignals.isValid()) {
        QTextStream(stderr) << QStringLiteral("zq4: ") << shutdownSignals.errorString() << Qt::endl;
    }
    QObject::connect(&shutdownSignals, &zq4::ShutdownSignals::received, &app, [&ending] {
        ending = true;
        // Ends every event loop, a warning box's too; the window and its port go when main
        // returns.
        QCoreApplication::exit(EXIT_SUCCESS);
    });
#endif

    // The real parts, declared before the window that works through them, so they outlive it:
    // at the end the window goes first, then the port, which lets what still waits for the line
    // go out before it closes (a few seconds at most). The port finds each port's device in the
    // map at each pick; the window's own warning says where the map is changed.
    zq4::QSettingsStore store;
    zq4::QSerialPortAdapter port(zq4::PortMap(store).lookup());
    zq4::MessageBoxFeedback feedback;
    zq4::SystemDeviceDiscovery discovery;
    zq4::ControlPanel window({store, port, feedback, discovery});
    // A signal that came while a start-up warning was up ends the panel before it shows.
    if (ending) {
        return EXIT_SUCCESS;
    }
    window.show();
    // Frames of this user's scripts for the line the window holds go out through its port, in
    // turn with its own SENDs. Its code is loaded once the window's start has settled: Qt's
    // network library and what it brings along would add to the start, and compete with the
    // window's first paints.
    std::unique_ptr<QObject> lineShare;
    QTimer::singleShot(kLineShareDelay, &window, [&] {
        QString error;
        lineShare = zq4::LoadLineShareHost({.port = port,
                                            .commSelection = window.commSelection(),
                                            .device = [&port] { return port.deviceName(); },
                                            .queuedBytes = [&port] { return port.queuedBytes(); }},
                                           error);
        if (!lineShare) {
            QTextStream(stderr) << QStringLiteral("zq4: zq4 send cannot hand its frames to this "
                                                  "window, and finds its line in use: ")
                                << zq4::EscapedText(error) << Qt::endl;
        }
    });
    return app.exec();
}
