#include "idle.h"
#include "linelistener.h"
#include "processusage.h"
#include "report.h"
#include "sends.h"
#include "session.h"
#include "startup.h"
#include "system/pseudoterminal.h"


#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace zq4::bench {

namespace {

constexpr double kPeakRssTargetMib = 40;

// A frame lost or torn on the line is a fault of the program; slow figures are not.
constexpr int kExitFramesLost = 1;
constexpr int kExitSetupFailed = 2;

QString memoryText(const ResidentMemory& memory) {
    return QStringLiteral("ru_maxrss %1 MiB, VmHWM %2 MiB (now %3 MiB)")
        .arg(memory.maxRss, 0, 'f', 1)
        .arg(memory.highWaterMark, 0, 'f', 1)
        .arg(memory.now, 0, 'f', 1);
}

std::vector<Row> memoryRows(const ResidentMemory& afterStartup, const ResidentMemory& afterBurst) {
    const double peakMib = std::max(afterBurst.maxRss, afterBurst.highWaterMark);
    return {{QStringLiteral("memory: peak RSS after start-up"), memoryText(afterStartup), QString(),
             QString()},
            {QStringLiteral("memory: peak RSS after the burst"), memoryText(afterBurst),
             QStringLiteral("< %1 MiB").arg(kPeakRssTargetMib),
             verdict(peakMib < kPeakRssTargetMib)}};
}

void printSetting(const PseudoTerminal& line, const QString& loadBefore, double applicationStart) {
    const QString buildType = QStringLiteral(ZQ4_BUILD_TYPE);
    std::printf("zq4-bench: %s build, %u cores (%s), Qt %s, platform %s\n",
                qPrintable(buildType.isEmpty() ? QStringLiteral("unnamed") : buildType),
                std::thread::hardware_concurrency(), qPrintable(cpuModel()), qVersion(),
                qPrintable(QGuiApplication::platformName()));
    std::printf("line: pseudo-terminal %s, which does not pace bytes at 1200 baud (one frame "
                "takes 150 ms on a real line)\n",
                qPrintable(line.devicePath()));
    std::printf("load average %s at the start, %s at the end; QApplication created in %s, "
                "once, before the figures below\n\n",
                qPrintable(loadBefore), qPrintable(loadAverage()),
                qPrintable(ms(applicationStart)));
}

// Start-up first, in fresh windows; then one window for the sends, the burst and idle.
int run(PseudoTerminal& line, double applicationStart) {
    const QString loadBefore = loadAverage();
    const StartupFigures startup = measureStartup();
    if (!startup.ok) {
        return kExitSetupFailed;
    }

    Session session;
    if (!showExposed(session.window) || !session.portOpen() || session.sendButton() == nullptr) {
        std::fprintf(stderr, "the window did not come up with its port open\n");
        return kExitSetupFailed;
    }
    LineListener listener(line);
    listener.start();
    const SendFigures sends = measureSends(session, listener, 0);
    const BurstFigures burst = runBurst(session, listener, sends.delivery.frames);
    listener.stop();
    const ResidentMemory afterBurst = currentMemory();
    const std::vector<IdleFigures> idle = measureIdleStates(session);

    std::vector<Row> rows = startupRows(startup);
    for (const auto& part :
         {sendRows(sends, burst), memoryRows(startup.memory, afterBurst), idleRows(idle)}) {
        rows.insert(rows.end(), part.begin(), part.end());
    }
    printSetting(line, loadBefore, applicationStart);
    printTable(rows);
    printIdleDetails(idle);
    const bool whole = sends.delivery.complete() && burst.finished && burst.delivery.complete();
    return whole ? EXIT_SUCCESS : kExitFramesLost;
}

} // namespace

} // namespace zq4::bench

// Everything in one process, headless unless told otherwise, with a settings folder of its
// own whose store maps Com1 to a pseudo-terminal: the user's own settings are never touched.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QTemporaryDir configHome;
    QTemporaryDir runtimeDir;
    if (!configHome.isValid() || !runtimeDir.isValid()) {
        std::fprintf(stderr, "cannot create a temporary folder\n");
        return zq4::bench::kExitSetupFailed;
    }
    qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        qputenv("XDG_RUNTIME_DIR", runtimeDir.path().toLocal8Bit());
    }
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, configHome.path());

    zq4::PseudoTerminal line;
    if (!line.valid()) {
        std::fprintf(stderr, "cannot open a pseudo-terminal\n");
        return zq4::bench::kExitSetupFailed;
    }
    if (!zq4::bench::mapFirstPort(configHome.path(), line.devicePath())) {
        return zq4::bench::kExitSetupFailed;
    }

    const auto begin = zq4::bench::Clock::now();
    QApplication app(argc, argv);
    const double applicationStart = zq4::bench::milliseconds(zq4::bench::Clock::now() - begin);
    return zq4::bench::run(line, applicationStart);
}
