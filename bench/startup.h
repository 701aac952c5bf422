#pragma once

#include "processusage.h"
#include "report.h"

#include <vector>

namespace zq4::bench {

struct StartupFigures {
    std::vector<double> times;
    ResidentMemory memory; // after the first window
    bool ok = false;
};

// Creates, shows and destroys fresh windows in this process, each opening the port during its
// start-up; `ok` is false, and the reason printed, when one came up otherwise.
StartupFigures measureStartup();
std::vector<Row> startupRows(const StartupFigures& figures);

} // namespace zq4::bench
