#pragma once

#include <QString>

#include <memory>

namespace zq4 {

// What tells the command line to end while it waits for the line to take a frame: SIGINT,
// SIGTERM or SIGHUP on Linux; Ctrl+C, Ctrl+Break or the console window closing on Windows.
// Watched from construction to destruction, in place of their usual effect (the program's end
// on the spot, which would leave the port's lock and line settings behind).
class EndRequests {
public:
    EndRequests();
    ~EndRequests();
    EndRequests(const EndRequests&) = delete;
    EndRequests& operator=(const EndRequests&) = delete;

    // Whether the requests are watched; when not, they keep their usual effect.
    bool isValid() const;
    // The name of a request that came since the last call ("SIGTERM", "Ctrl+C"); empty when none.
    QString take();

private:
    struct Watch;
    std::unique_ptr<Watch> m_watch;
};

} // namespace zq4
