#pragma once

#include <QStringList>

#include <chrono>
#include <map>

namespace zq4::bench {

// What the process has used so far, as the kernel counts it.
struct ProcessUsage {
    std::chrono::microseconds cpu{0}; // user + system time of every thread, ended ones too
    // The same from the scheduler's own clock (CLOCK_PROCESS_CPUTIME_ID); getrusage splits
    // its figure into user and system time from samples, which can shift it by a few
    // milliseconds over a short span.
    std::chrono::nanoseconds clockCpu{0};
    long voluntarySwitches = 0;       // every thread, ended ones too
    long callerVoluntarySwitches = 0; // the calling thread alone
};

ProcessUsage currentUsage();

// One thread's context switches so far, from /proc/self/task/<id>/status.
struct ThreadSwitches {
    QString name;
    long voluntary = 0;
    long involuntary = 0;
};

// Every thread alive now, by thread id.
std::map<int, ThreadSwitches> currentThreadSwitches();

// The process's resident memory in MiB: its peak as getrusage and /proc/self/status tell it,
// and its size now.
struct ResidentMemory {
    double maxRss = 0;
    double highWaterMark = 0;
    double now = 0;
};

ResidentMemory currentMemory();

} // namespace zq4::bench
