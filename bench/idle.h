#pragma once

#include "report.h"

#include <QString>
#include <QWidget>

#include <vector>

namespace zq4::bench {

struct IdleFigures {
    QString port; // "port open", or what keeps it closed
    QString state;
    double cpuMs = 0; // the program's threads, the bench's watcher taken out
    long wakeups = 0; // times the program's threads went to sleep again
    QString events;   // what the window's thread handled, by kind and receiver
};

// The program left alone for five seconds in three states with its port open: as after the
// clicks (SEND holds the focus), with the custom text box focused, and with no window of the
// panel active.
std::vector<IdleFigures> measureIdleStates(QWidget& window);

// The program left alone for five seconds as it is, its port as `port` says.
IdleFigures measureIdle(const QWidget& window, const QString& port);

// The figures against their targets; what woke the window's thread is told apart.
std::vector<Row> idleRows(const std::vector<IdleFigures>& idle);

} // namespace zq4::bench
