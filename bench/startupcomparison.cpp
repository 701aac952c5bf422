// Start-up of the panel program against a bare Qt Widgets window, each started as a process of
// its own on the same X server (scripts/bench runs this under xvfb-run).
//
// How it measures, the same way for both programs:
// - time: from just before the process is spawned to the moment the X server reports its
//   top-level window mapped (MapNotify on the root window's substructure, told apart by
//   _NET_WM_PID). That spans loading and linking, Qt's start, building the window and, for the
//   panel, its start-up routine with the port's open, up to show(). Watching the server needs
//   nothing inside either program, and a poll() on the connection wakes at once.
// - memory: the peak resident size (VmHWM, which counts the program's own image only, not the
//   spawning process) and the CPU time of all its threads, both read a fixed settle time after
//   the map, so the first paint is in both; then the window is closed as a window manager
//   would and the process must end by itself.
// - rounds alternate which program starts first, after one uncounted start of each, and the
//   ratios are the median of each round's panel / bare ratio, so load that drifts during the
//   run falls on both alike.
// The panel's settings folder is a throwaway one whose [Ports] Com1 maps a pseudo-terminal, so
// its port opens as in use; the check that the panel holds that device open guards against a
// start-up that went otherwise (a warning box would be mapped instead of the window).
#include "report.h"
#include "system/pseudoterminal.h"
#include "xwindowwatch.h"


#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

extern char** environ;

namespace zq4::bench {

namespace {

using namespace std::chrono_literals;

constexpr int kDefaultRounds = 41;
constexpr std::chrono::milliseconds kMapTimeout = 10s;
constexpr std::chrono::milliseconds kSettle = 300ms;
constexpr std::chrono::milliseconds kCloseTimeout = 5s;
constexpr double kKibPerMib = 1024.0;

struct Launch {
    double mappedMs = 0;
    double peakMib = 0;
    double cpuMs = 0;
    bool holdsDevice = false;
};

long statusKib(pid_t process, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(process) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with(field + ":")) {
            return std::stol(line.substr(field.size() + 1));
        }
    }
    return -1;
}

// The CPU time of every thread alive now, from the scheduler's clock (nanoseconds).
double threadsCpuMs(pid_t process) {
    double total = 0;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(process));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        std::ifstream schedstat(tasks.filePath(task + QStringLiteral("/schedstat")).toStdString());
        double nanoseconds = 0;
        if (schedstat >> nanoseconds) {
            total += nanoseconds / 1e6;
        }
    }
    return total;
}

bool holdsOpen(pid_t process, const QString& device) {
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(process));
    for (const QString& fd : fds.entryList(QDir::System | QDir::NoDotAndDotDot)) {
        if (QFile::symLinkTarget(fds.filePath(fd)) == device) {
            return true;
        }
    }
    return false;
}

// Waits for the process to end; kills it when it has not ended by the deadline. Whether it
// ended by itself with status 0.
bool reap(pid_t process, std::chrono::milliseconds timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    int status = 0;
    while (Clock::now() < deadline) {
        if (::waitpid(process, &status, WNOHANG) == process) {
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        }
        std::this_thread::sleep_for(5ms);
    }
    ::kill(process, SIGKILL);
    ::waitpid(process, &status, 0);
    return false;
}

std::optional<Launch> launch(XWindowWatch& watch, const QString& program, const QString& device) {
    const QByteArray path = QFile::encodeName(program);
    char* const argv[] = {const_cast<char*>(path.constData()), nullptr};
    const Clock::time_point begin = Clock::now();
    pid_t process = 0;
    if (::posix_spawn(&process, path.constData(), nullptr, nullptr, argv, environ) != 0) {
        std::fprintf(stderr, "cannot start %s\n", path.constData());
        return std::nullopt;
    }
    const std::optional<xcb_window_t> window = watch.waitForMap(process, begin + kMapTimeout);
    const Clock::time_point mapped = Clock::now();
    if (!window) {
        std::fprintf(stderr, "%s mapped no window\n", path.constData());
        (void)reap(process, 0ms); // killed: it failed already
        return std::nullopt;
    }
    watch.drainUntil(mapped + kSettle);
    Launch figures{milliseconds(mapped - begin),
                   static_cast<double>(statusKib(process, "VmHWM")) / kKibPerMib,
                   threadsCpuMs(process), holdsOpen(process, device)};
    watch.askToClose(*window);
    if (!reap(process, kCloseTimeout)) {
        std::fprintf(stderr, "%s did not end cleanly when its window was closed\n",
                     path.constData());
        return std::nullopt;
    }
    return figures;
}

QString spread(const std::vector<double>& values, const char* unit, int decimals) {
    const auto text = [&](double value) {
        return QStringLiteral("%1 %2").arg(value, 0, 'f', decimals).arg(QLatin1String(unit));
    };
    return QStringLiteral("median %1, min %2, max %3")
        .arg(text(percentile(values, 0.5)), text(percentile(values, 0.0)),
             text(percentile(values, 1.0)));
}

double medianRatio(const std::vector<double>& panel, const std::vector<double>& bare) {
    std::vector<double> ratios;
    for (std::size_t n = 0; n < panel.size(); ++n) {
        ratios.push_back(panel[n] / bare[n]);
    }
    return percentile(ratios, 0.5);
}

// Series of one program's launches: time to map, peak memory, CPU time.
struct Series {
    std::vector<double> mapped;
    std::vector<double> peak;
    std::vector<double> cpu;

    void add(const Launch& launch) {
        mapped.push_back(launch.mappedMs);
        peak.push_back(launch.peakMib);
        cpu.push_back(launch.cpuMs);
    }
};

int compare(const QString& panelProgram, const QString& bareProgram, int rounds,
            const PseudoTerminal& line) {
    XWindowWatch watch;
    if (!watch.connected()) {
        std::fprintf(stderr, "cannot reach the X server (DISPLAY=%s)\n", qgetenv("DISPLAY").data());
        return EXIT_FAILURE;
    }
    const QString loadBefore = loadAverage();
    Series panel;
    Series bare;
    // Round -1 warms the file cache and is not counted.
    for (int round = -1; round < rounds; ++round) {
        const bool panelFirst = round % 2 != 0;
        for (const bool isPanel : {panelFirst, !panelFirst}) {
            const auto figures =
                launch(watch, isPanel ? panelProgram : bareProgram, line.devicePath());
            if (!figures) {
                return EXIT_FAILURE;
            }
            if (isPanel && !figures->holdsDevice) {
                std::fprintf(stderr, "the panel came up without its port %s open\n",
                             qPrintable(line.devicePath()));
                return EXIT_FAILURE;
            }
            if (round >= 0) {
                (isPanel ? panel : bare).add(*figures);
            }
        }
    }

    std::printf("\nzq4-startup: %d rounds, bare Qt window and panel started alternately on X "
                "display %s; load average %s at the start, %s at the end\n\n",
                rounds, qgetenv("DISPLAY").constData(), qPrintable(loadBefore),
                qPrintable(loadAverage()));
    const auto rows = [&](const QString& what, const std::vector<double> Series::*series,
                          const char* unit, int decimals) {
        return std::vector<Row>{{QStringLiteral("%1: bare Qt window").arg(what),
                                 spread(bare.*series, unit, decimals), QString(), QString()},
                                {QStringLiteral("%1: panel zq4, port open").arg(what),
                                 spread(panel.*series, unit, decimals), QString(), QString()},
                                {QStringLiteral("%1: panel / bare").arg(what),
                                 QStringLiteral("%1 (median of the rounds' ratios)")
                                     .arg(medianRatio(panel.*series, bare.*series), 0, 'f', 2),
                                 QString(), QString()}};
    };
    std::vector<Row> table =
        rows(QStringLiteral("process start to window mapped"), &Series::mapped, "ms", 1);
    for (const auto& part :
         {rows(QStringLiteral("peak RSS (VmHWM) once up"), &Series::peak, "MiB", 1),
          rows(QStringLiteral("CPU time, all threads, once up"), &Series::cpu, "ms", 1)}) {
        table.insert(table.end(), part.begin(), part.end());
    }
    printTable(table);
    return EXIT_SUCCESS;
}

} // namespace

} // namespace zq4::bench

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <panel program> <bare window program> [rounds]\n", argv[0]);
        return EXIT_FAILURE;
    }
    const int rounds = argc > 3 ? std::atoi(argv[3]) : zq4::bench::kDefaultRounds;
    if (rounds < 1) {
        std::fprintf(stderr, "rounds must be a positive number\n");
        return EXIT_FAILURE;
    }
    QTemporaryDir configHome;
    QTemporaryDir runtimeDir;
    zq4::PseudoTerminal line;
    if (!configHome.isValid() || !runtimeDir.isValid() || !line.valid()) {
        std::fprintf(stderr, "cannot create a temporary folder or a pseudo-terminal\n");
        return EXIT_FAILURE;
    }
    if (!zq4::bench::mapFirstPort(configHome.path(), line.devicePath())) {
        return EXIT_FAILURE;
    }
    // Both programs inherit the same surroundings; neither ever sees the user's settings.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome.path()));
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir.path()));
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    return zq4::bench::compare(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]),
                               rounds, line);
}
