// zq4-bench: the panel's window in this process, its Com1 mapped to a link to a pseudo-terminal
// (as /dev/serial/by-id/... leads to an adapter) whose far end a thread of the bench reads, in the
// tests' surroundings (headless, a throwaway settings folder). It prints what only this program
// can tell: a SEND's way from the click to the bytes on the line, a burst of sends, and the
// wake-ups of the window left alone, last with its device gone (the link removed, the line hung
// up) and watched for. Exits 2 when it cannot measure (no window with its port open, a frame that
// never reaches the line, a loss not told); speed never fails.
//
// zq4-bench -- COMMAND [ARGUMENT...] runs the command in the same surroundings instead, with the
// line's device in ZQ4_BENCH_LINE: scripts/bench starts the program zq4 so.
#include "idle.h"
#include "linelistener.h"
#include "report.h"
#include "sends.h"

#include "panel/controlpanel.h"
#include "serial/qserialportadapter.h"
#include "settings/portmap.h"
#include "settings/qsettingsstore.h"
#include "system/pseudoterminal.h"
#include "tests/support/fakes.h"
#include "tests/support/sandbox.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zq4::bench {

namespace {

constexpr int kExitCannotMeasure = 2;

// The kernel's file-change watches this process holds (inotify instances): where a device that
// went is watched for.
int changeWatches() {
    int watches = 0;
    for (const QFileInfo& descriptor :
         QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System | QDir::Files)) {
        watches += descriptor.symLinkTarget().endsWith(QLatin1String("inotify")) ? 1 : 0;
    }
    return watches;
}

// Takes the line away as an adapter pulled out: its link goes and the line hangs up. True once
// the panel has told the loss and closed the port.
bool loseTheLine(PseudoTerminal& line, const QString& link, QSerialPortAdapter& port,
                 const test::RecordingFeedback& feedback) {
    if (!QFile::remove(link)) {
        return false;
    }
    line.closeMaster();
    return QTest::qWaitFor(
        [&] {
            const Result<bool> open = port.isOpen();
            return open && !open.value() && feedback.shown.size() >= 2;
        },
        5000);
}

int measure(PseudoTerminal& line, const QString& link, SettingsStore& store) {
    QSerialPortAdapter port(PortMap(store).lookup());
    test::RecordingFeedback feedback;
    SystemDeviceDiscovery discovery;
    ControlPanel window(ControlPanelParts{store, port, feedback, discovery});
    window.show();
    const Result<bool> open = port.isOpen();
    if (!QTest::qWaitForWindowExposed(&window) || !open || !open.value() ||
        !feedback.shown.isEmpty()) {
        std::fprintf(stderr, "zq4-bench: the window did not come up with its port open: %s\n",
                     qPrintable(feedback.shown.join(QStringLiteral(" | "))));
        return kExitCannotMeasure;
    }

    LineListener listener(line);
    listener.start();
    const std::optional<SendFigures> sends = measureSends(window, listener);
    if (!sends) {
        return kExitCannotMeasure;
    }
    const BurstFigures burst = runBurst(window);
    listener.stop();
    std::vector<IdleFigures> idle = measureIdleStates(window);
    const int watchesBefore = changeWatches();
    if (!loseTheLine(line, link, port, feedback)) {
        std::fprintf(stderr, "zq4-bench: the panel did not tell the loss of its line: %s\n",
                     qPrintable(feedback.shown.join(QStringLiteral(" | "))));
        return kExitCannotMeasure;
    }
    idle.push_back(measureIdle(window, changeWatches() > watchesBefore
                                           ? QStringLiteral("device lost, watched for by inotify")
                                           : QStringLiteral("device lost, NOT watched for")));

    std::printf("zq4-bench: Qt %s, platform %s; line: pseudo-terminal %s, which does not pace "
                "bytes at 1200 baud (one frame takes 150 ms on a real line)\n\n",
                qVersion(), qPrintable(QGuiApplication::platformName()),
                qPrintable(line.devicePath()));
    std::vector<Row> rows = sendRows(*sends, burst);
    const std::vector<Row> idleFigures = idleRows(idle);
    rows.insert(rows.end(), idleFigures.begin(), idleFigures.end());
    printTable(rows);
    std::printf("\nWhat the window's thread handled while idle:\n");
    for (const IdleFigures& figures : idle) {
        std::printf("  %s, %s: %s\n", qPrintable(figures.port), qPrintable(figures.state),
                    qPrintable(figures.events));
    }
    return EXIT_SUCCESS;
}

// The command's exit status, or 1 when it could not be started or crashed.
int runCommand(const PseudoTerminal& line, int argc, char** argv) {
    qputenv("ZQ4_BENCH_LINE", QFile::encodeName(line.devicePath()));
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    const int status = QProcess::execute(QString::fromLocal8Bit(argv[0]), arguments);
    if (status < 0) {
        std::fprintf(stderr, "zq4-bench: %s %s\n", argv[0],
                     status == -2 ? "cannot be started" : "crashed");
        return EXIT_FAILURE;
    }
    return status;
}

} // namespace

} // namespace zq4::bench

int main(int argc, char** argv) {
    const zq4::test::Sandbox sandbox;
    zq4::PseudoTerminal line;
    const QTemporaryDir links;
    const QString link = links.filePath(QStringLiteral("usb-line"));
    if (!sandbox.valid() || !line.valid() || !links.isValid() ||
        !QFile::link(line.devicePath(), link)) {
        std::fprintf(stderr,
                     "zq4-bench: cannot make a settings folder, a pseudo-terminal or a link to "
                     "it %s\n",
                     qPrintable(line.errorString()));
        return zq4::bench::kExitCannotMeasure;
    }
    zq4::QSettingsStore store;
    const zq4::Status mapped = zq4::PortMap(store).store({{1, link}});
    if (!mapped) {
        std::fprintf(stderr, "zq4-bench: cannot map Com1 to the line: %s\n",
                     qPrintable(mapped.description()));
        return zq4::bench::kExitCannotMeasure;
    }
    if (argc > 2 && std::strcmp(argv[1], "--") == 0) {
        int programOnly = 1;
        const QCoreApplication app(programOnly, argv);
        return zq4::bench::runCommand(line, argc - 2, argv + 2);
    }
    QApplication app(argc, argv);
    return zq4::bench::measure(line, link, store);
}
