#pragma once

#include "system/pseudoterminal.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace zq4::bench {

// Reads the display's end of the line on a thread of its own and notes when each chunk arrived,
// so that a send is timed to the moment its last byte became readable rather than to when the
// window's thread got round to looking.
class LineListener {
public:
    using Clock = std::chrono::steady_clock;

    explicit LineListener(PseudoTerminal& line);
    ~LineListener();
    LineListener(const LineListener&) = delete;
    LineListener& operator=(const LineListener&) = delete;

    // Reads on its thread until stopped, or until the listener goes.
    void start();
    void stop();

    // When the bytes read since start() first numbered `total` or more; nothing when that did not
    // happen within the timeout.
    std::optional<Clock::time_point> waitForTotal(qsizetype total,
                                                  std::chrono::milliseconds timeout);

private:
    void run();

    PseudoTerminal& m_line;
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::vector<std::pair<qsizetype, Clock::time_point>> m_arrivals; // the total after each chunk
};

} // namespace zq4::bench
