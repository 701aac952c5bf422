#pragma once

#include "report.h"
#include "session.h"

#include <vector>

namespace zq4::bench {

struct SendFigures {
    std::vector<double> arrival; // click to the frame's last byte readable at the line's end
    std::vector<double> handler; // click to the click's return
    Delivery delivery;
};

struct BurstFigures {
    Delivery delivery;
    double longestHandler = 0;
    double longestTimerGap = 0;
    double span = 0;
    bool finished = false;
};

// One click at a time, the event loop turning in between as it would between an operator's
// clicks; the sends use the choices from `first` on.
SendFigures measureSends(Session& session, LineListener& listener, int first);
// SEND clicked back to back as fast as the event loop takes it.
BurstFigures runBurst(Session& session, LineListener& listener, int first);

std::vector<Row> sendRows(const SendFigures& sends, const BurstFigures& burst);

} // namespace zq4::bench
