// zq4-mapped: starts a program and returns as soon as the X server maps its window, which it
// tells apart by the _NET_WM_PID every Qt window carries. hyperfine times it: from the start of a
// program to its mapped window, plus this program's own start (about a millisecond, the same for
// every program it starts). The program runs on; the next `zq4-mapped --close` closes it.
//
//   zq4-mapped [--title TITLE] [--hold MS] PROGRAM [ARGUMENT...]
//   zq4-mapped --close
//
// --title: the window mapped must carry this title (a warning box of the panel would come first).
// --hold: the program stays up MS milliseconds after the map, then its window is closed as its
// close button does, and it must end by itself with status 0 within five seconds; GNU time, which
// waits for it too, reads its peak memory so. --close: closes every window on the display so and
// waits until their programs have ended. Exit status 0, else 1 with a message; 2 for a usage error.
#include "xwindowwatch.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

extern char** environ;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kMapTimeout = 10s;
constexpr auto kEndTimeout = 5s;

int fail(const std::string& message) {
    std::fprintf(stderr, "zq4-mapped: %s\n", message.c_str());
    return EXIT_FAILURE;
}

int unreachable() {
    const char* display = std::getenv("DISPLAY");
    return fail(std::string("cannot reach the X server of DISPLAY=") +
                (display != nullptr ? display : "(unset)"));
}

// Whether the process has ended (or was gone already) within the timeout.
bool waitForEnd(pid_t process, std::chrono::milliseconds timeout) {
    // glibc 2.36 declares pidfd_open() for C only.
    const auto handle = static_cast<int>(::syscall(SYS_pidfd_open, process, 0));
    if (handle < 0) {
        return true;
    }
    pollfd ended{handle, POLLIN, 0};
    const bool done = ::poll(&ended, 1, static_cast<int>(timeout.count())) == 1;
    ::close(handle);
    return done;
}

int closeAll() {
    zq4::bench::XWindowWatch watch;
    if (!watch.connected()) {
        return unreachable();
    }
    const auto windows = watch.mappedWindows();
    for (const auto& [window, process] : windows) {
        watch.askToClose(window);
    }
    for (const auto& [window, process] : windows) {
        if (!waitForEnd(process, kEndTimeout)) {
            return fail("process " + std::to_string(process) +
                        " did not end on its window's close");
        }
    }
    return EXIT_SUCCESS;
}

int start(const std::string& title, int holdMs, char** command) {
    zq4::bench::XWindowWatch watch;
    if (!watch.connected()) {
        return unreachable();
    }
    const Clock::time_point begin = Clock::now();
    pid_t process = 0;
    if (::posix_spawnp(&process, command[0], nullptr, nullptr, command, environ) != 0) {
        return fail(std::string("cannot start ") + command[0]);
    }
    const auto giveUp = [process](const std::string& why) {
        ::kill(process, SIGKILL);
        ::waitpid(process, nullptr, 0);
        return fail(why);
    };
    const std::optional<xcb_window_t> window = watch.waitForMap(process, begin + kMapTimeout);
    if (!window) {
        return giveUp(std::string(command[0]) + " mapped no window");
    }
    // Read whether it is asked for or not, so that every program's start is timed alike.
    const std::string shown = watch.title(*window);
    if (!title.empty() && shown != title) {
        return giveUp(std::string(command[0]) + " mapped a window titled \"" + shown +
                      "\" first, not \"" + title + '"');
    }
    if (holdMs < 0) {
        return EXIT_SUCCESS;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(holdMs));
    watch.askToClose(*window);
    if (!waitForEnd(process, kEndTimeout)) {
        return giveUp(std::string(command[0]) + " did not end on its window's close");
    }
    int status = 0;
    ::waitpid(process, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return fail(std::string(command[0]) + " did not end cleanly on its window's close");
    }
    return EXIT_SUCCESS;
}

} // namespace

int main(int argc, char** argv) {
    const std::string usage =
        "usage: zq4-mapped [--title TITLE] [--hold MS] PROGRAM [ARGUMENT...] | zq4-mapped --close";
    if (argc == 2 && std::string(argv[1]) == "--close") {
        return closeAll();
    }
    std::string title;
    int holdMs = -1;
    int next = 1;
    for (; next + 1 < argc && std::string(argv[next]).starts_with("--"); next += 2) {
        const std::string option = argv[next];
        if (option == "--title") {
            title = argv[next + 1];
        } else if (option == "--hold" && std::atoi(argv[next + 1]) >= 0) {
            holdMs = std::atoi(argv[next + 1]);
        } else {
            next = argc;
        }
    }
    if (next >= argc) {
        std::fprintf(stderr, "%s\n", usage.c_str());
        return 2;
    }
    return start(title, holdMs, argv + next);
}
