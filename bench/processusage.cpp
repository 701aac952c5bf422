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

Usage usage(int who, clockid_t clock) {
    Usage usage;
    rusage counts{};
    if (::getrusage(who, &counts) == 0) {
        usage.cpu = toMicroseconds(counts.ru_utime) + toMicroseconds(counts.ru_stime);
        usage.voluntarySwitches = counts.ru_nvcsw;
        usage.minorFaults = counts.ru_minflt;
        usage.majorFaults = counts.ru_majflt;
    }
    timespec time{};
    if (::clock_gettime(clock, &time) == 0) {
        usage.clockCpu = std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec);
    }
    return usage;
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

Usage processUsage() {
    return usage(RUSAGE_SELF, CLOCK_PROCESS_CPUTIME_ID);
}

Usage callingThreadUsage() {
    return usage(RUSAGE_THREAD, CLOCK_THREAD_CPUTIME_ID);
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

bool threadAsleep(int threadId) {
    std::ifstream stat("/proc/self/task/" + std::to_string(threadId) + "/stat");
    std::string line;
    std::getline(stat, line);
    // "<id> (<name>) <state> ...": the name may itself hold spaces and parentheses.
    const std::size_t nameEnd = line.rfind(')');
    return nameEnd != std::string::npos && nameEnd + 2 < line.size() && line[nameEnd + 2] == 'S';
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
