#pragma once

#include <QString>

#include <chrono>
#include <map>

namespace zq4::bench {

// What the process or one thread has used so far, as the kernel counts it.
struct Usage {
    std::chrono::microseconds cpu{0}; // user + system time, from getrusage
    // The same from the scheduler's own clock; getrusage splits its figure into user and
    // system time from samples, which can shift it by a few milliseconds over a short span.
    std::chrono::nanoseconds clockCpu{0};
    long voluntarySwitches = 0; // times it went to sleep
    long minorFaults = 0;       // pages mapped again without reading the disk
    long majorFaults = 0;       // pages read back from the disk
};

// Every thread, ended ones too.
Usage processUsage();
// The calling thread alone.
Usage callingThreadUsage();

// One thread's context switches so far, from /proc/self/task/<id>/status.
struct ThreadSwitches {
    QString name;
    long voluntary = 0;
    long involuntary = 0;
};

// Every thread alive now, by thread id.
std::map<int, ThreadSwitches> currentThreadSwitches();

// Whether the thread is asleep (state S in /proc/self/task/<id>/stat).
bool threadAsleep(int threadId);

// The process's resident memory in MiB: its peak as getrusage and /proc/self/status tell it,
// and its size now.
struct ResidentMemory {
    double maxRss = 0;
    double highWaterMark = 0;
    double now = 0;
};

ResidentMemory currentMemory();

} // namespace zq4::bench
