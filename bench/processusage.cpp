#include "processusage.h"

#include <sys/resource.h>
#include <time.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace zq4::bench {

namespace {

constexpr double kKibPerMib = 1024.0;

std::chrono::microseconds toMicroseconds(const timeval& time) {
    return std::chrono::seconds(time.tv_sec) + std::chrono::microseconds(time.tv_usec);
}

// The number after `field` in a /proc status file ("VmHWM:\t  1234 kB" gives 1234); -1 when
// the field is missing.
long statusField(const std::filesystem::path& file, std::string_view field) {
    std::ifstream status(file);
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with(field) && line.size() > field.size() && line[field.size()] == ':') {
            return std::stol(line.substr(field.size() + 1));
        }
    }
    return -1;
}

} // namespace

ProcessUsage currentUsage() {
    ProcessUsage usage;
    rusage self{};
    if (::getrusage(RUSAGE_SELF, &self) == 0) {
        usage.cpu = toMicroseconds(self.ru_utime) + toMicroseconds(self.ru_stime);
        usage.voluntarySwitches = self.ru_nvcsw;
    }
    timespec clock{};
    if (::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &clock) == 0) {
        usage.clockCpu =
            std::chrono::seconds(clock.tv_sec) + std::chrono::nanoseconds(clock.tv_nsec);
    }
    rusage caller{};
    if (::getrusage(RUSAGE_THREAD, &caller) == 0) {
        usage.callerVoluntarySwitches = caller.ru_nvcsw;
    }
    return usage;
}

std::map<int, ThreadSwitches> currentThreadSwitches() {
    std::map<int, ThreadSwitches> threads;
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
        ThreadSwitches switches;
        switches.voluntary = statusField(task.path() / "status", "voluntary_ctxt_switches");
        switches.involuntary = statusField(task.path() / "status", "nonvoluntary_ctxt_switches");
        if (switches.voluntary < 0 || switches.involuntary < 0) {
            continue; // the thread ended while being read
        }
        std::ifstream comm(task.path() / "comm");
        std::string name;
        std::getline(comm, name);
        switches.name = QString::fromStdString(name);
        threads.emplace(std::stoi(task.path().filename().string()), switches);
    }
    return threads;
}

ResidentMemory currentMemory() {
    ResidentMemory memory;
    rusage self{};
    if (::getrusage(RUSAGE_SELF, &self) == 0) {
        memory.maxRss = static_cast<double>(self.ru_maxrss) / kKibPerMib;
    }
    memory.highWaterMark =
        static_cast<double>(statusField("/proc/self/status", "VmHWM")) / kKibPerMib;
    memory.now = static_cast<double>(statusField("/proc/self/status", "VmRSS")) / kKibPerMib;
    return memory;
}

} // namespace zq4::bench
