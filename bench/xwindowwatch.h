#pragma once

#include <xcb/xcb.h>

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zq4::bench {

// Watches the X server for top-level windows being mapped, and asks a window to close as a
// window manager would. Watching starts when it connects, so no map is missed between a
// process's start and the first wait.
class XWindowWatch {
public:
    XWindowWatch();
    ~XWindowWatch();
    XWindowWatch(const XWindowWatch&) = delete;
    XWindowWatch& operator=(const XWindowWatch&) = delete;

    bool connected() const { return m_connection != nullptr; }

    // The first top-level window that the process maps from now on (told apart by the
    // _NET_WM_PID every Qt window carries); nothing when none is mapped before the deadline.
    std::optional<xcb_window_t> waitForMap(pid_t process,
                                           std::chrono::steady_clock::time_point deadline);
    // The top-level windows mapped now, each with its process.
    std::vector<std::pair<xcb_window_t, pid_t>> mappedWindows();
    std::string title(xcb_window_t window);
    // Sends WM_DELETE_WINDOW, which a Qt program takes as the window's close button.
    void askToClose(xcb_window_t window);

private:
    // The next event, or nullptr once the deadline has passed; the caller frees it.
    xcb_generic_event_t* nextEvent(std::chrono::steady_clock::time_point deadline);
    std::optional<pid_t> windowProcess(xcb_window_t window);
    xcb_atom_t atom(const char* name);

    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = 0;
    xcb_atom_t m_pidAtom = 0;
    xcb_atom_t m_nameAtom = 0;
    xcb_atom_t m_protocolsAtom = 0;
    xcb_atom_t m_deleteAtom = 0;
};

} // namespace zq4::bench
