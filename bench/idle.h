#pragma once

#include "report.h"
#include "session.h"

#include <QString>

#include <vector>

namespace zq4::bench {

struct IdleFigures {
    QString state;
    bool settled = false;   // the window's thread was asleep when the span began
    double cpuMs = 0;       // getrusage user + system
    double clockCpuMs = 0;  // the same from the scheduler's clock
    long wakeups = 0;       // times the program's threads went to sleep again
    long windowWakeups = 0; // the window's thread alone
    QString threads;        // each thread's voluntary (involuntary) switches
    long minorFaults = 0;
    long majorFaults = 0;
    QString events;
    bool portOpen = false;
};

// The program left alone for five seconds in three states: as after the clicks (SEND holds the
// focus), with the custom text box focused, and with no window of the panel active.
std::vector<IdleFigures> measureIdleStates(Session& session);

std::vector<Row> idleRows(const std::vector<IdleFigures>& idle);
// Per state: each thread's switches, the page faults and the events the window's thread handled.
void printIdleDetails(const std::vector<IdleFigures>& idle);

} // namespace zq4::bench
