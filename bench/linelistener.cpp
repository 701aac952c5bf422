#include "linelistener.h"

#include <algorithm>

namespace zq4::bench {

namespace {

// How often the thread looks at the stop flag while the line is quiet.
constexpr std::chrono::milliseconds kStopCheck{20};

} // namespace

LineListener::LineListener(PseudoTerminal& line) : m_line(line) {}

LineListener::~LineListener() {
    stop();
}

void LineListener::start() {
    m_stopping = false;
    m_thread = std::thread(&LineListener::run, this);
}

void LineListener::stop() {
    m_stopping = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

std::optional<LineListener::Clock::time_point>
LineListener::waitForTotal(qsizetype total, std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    const auto reached = [&] { return !m_arrivals.empty() && m_arrivals.back().first >= total; };
    if (!m_arrived.wait_for(lock, timeout, reached)) {
        return std::nullopt;
    }
    return std::find_if(m_arrivals.begin(), m_arrivals.end(),
                        [total](const auto& arrival) { return arrival.first >= total; })
        ->second;
}

void LineListener::run() {
    while (!m_stopping) {
        // Returns as soon as one read brought anything, with all that read brought.
        const qsizetype count = m_line.readFromLine(1, kStopCheck).size();
        if (count == 0) {
            continue;
        }
        const Clock::time_point now = Clock::now();
        {
            const std::lock_guard lock(m_mutex);
            m_arrivals.emplace_back((m_arrivals.empty() ? 0 : m_arrivals.back().first) + count,
                                    now);
        }
        m_arrived.notify_all();
    }
}

} // namespace zq4::bench
