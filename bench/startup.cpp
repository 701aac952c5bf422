#include "startup.h"

#include "session.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace zq4::bench {

namespace {

constexpr int kStartupWindows = 20;
constexpr double kStartupTargetMs = 60;

} // namespace

StartupFigures measureStartup() {
    StartupFigures figures;
    for (int n = 0; n < kStartupWindows; ++n) {
        const Clock::time_point begin = Clock::now();
        auto session = std::make_unique<Session>();
        const bool exposed = showExposed(session->window);
        figures.times.push_back(milliseconds(Clock::now() - begin));
        if (!exposed || !session->portOpen() || !session->feedback.shown.isEmpty()) {
            std::fprintf(stderr, "start-up %d: window %s, port %s, shown: %s\n", n + 1,
                         exposed ? "exposed" : "never exposed",
                         session->portOpen() ? "open" : "closed",
                         qPrintable(session->feedback.shown.join(QStringLiteral(" | "))));
            return figures;
        }
        if (n == 0) {
            figures.memory = currentMemory();
        }
        session.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
    figures.ok = true;
    return figures;
}

std::vector<Row> startupRows(const StartupFigures& figures) {
    const std::vector<double>& times = figures.times;
    const double median = percentile(times, 0.5);
    return {{QStringLiteral("start-up: create, show, exposed (%1 fresh windows)").arg(times.size()),
             QStringLiteral("median %1, min %2, max %3, first %4")
                 .arg(ms(median), ms(*std::min_element(times.begin(), times.end())),
                      ms(*std::max_element(times.begin(), times.end())), ms(times.front())),
             QStringLiteral("median < %1").arg(ms(kStartupTargetMs)),
             verdict(median < kStartupTargetMs)}};
}

} // namespace zq4::bench
