#pragma once

#include "linelistener.h"
#include "report.h"

#include <QWidget>

#include <optional>
#include <vector>

namespace zq4::bench {

struct SendFigures {
    std::vector<double> arrival; // click to the frame's last byte readable at the line's end
    std::vector<double> handler; // click to the click's return
};

struct BurstFigures {
    double longestHandler = 0;
    double longestTimerGap = 0;
    double span = 0;
};

// SEND clicked one click at a time, the event loop turning in between as it would between an
// operator's clicks; nothing when a frame did not reach the line's end in time.
std::optional<SendFigures> measureSends(QWidget& window, LineListener& listener);
// SEND clicked back to back as fast as the event loop takes it.
BurstFigures runBurst(QWidget& window);

std::vector<Row> sendRows(const SendFigures& sends, const BurstFigures& burst);

} // namespace zq4::bench
