#include "xwindowwatch.h"

#include <poll.h>

#include <cstdlib>
#include <cstring>

namespace zq4::bench {

XWindowWatch::XWindowWatch() {
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection) != 0) {
        xcb_disconnect(connection);
        return;
    }
    m_connection = connection;
    m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    // Without a window manager every top-level window is a child of the root: its map
    // reaches whoever watches the root's substructure.
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &mask);
    m_pidAtom = atom("_NET_WM_PID");
    m_nameAtom = atom("_NET_WM_NAME");
    m_protocolsAtom = atom("WM_PROTOCOLS");
    m_deleteAtom = atom("WM_DELETE_WINDOW");
}

XWindowWatch::~XWindowWatch() {
    if (m_connection != nullptr) {
        xcb_disconnect(m_connection);
    }
}

xcb_atom_t XWindowWatch::atom(const char* name) {
    const auto cookie =
        xcb_intern_atom(m_connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(m_connection, cookie, nullptr);
    const xcb_atom_t value = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return value;
}

xcb_generic_event_t* XWindowWatch::nextEvent(std::chrono::steady_clock::time_point deadline) {
    while (true) {
        if (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
            return event;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || xcb_connection_has_error(m_connection) != 0) {
            return nullptr;
        }
        pollfd server{xcb_get_file_descriptor(m_connection), POLLIN, 0};
        ::poll(&server, 1, static_cast<int>(left.count()) + 1);
    }
}

std::optional<pid_t> XWindowWatch::windowProcess(xcb_window_t window) {
    const auto cookie =
        xcb_get_property(m_connection, 0, window, m_pidAtom, XCB_ATOM_CARDINAL, 0, 1);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(m_connection, cookie, nullptr);
    std::optional<pid_t> process;
    if (reply != nullptr && reply->format == 32 && xcb_get_property_value_length(reply) == 4) {
        process = static_cast<pid_t>(*static_cast<uint32_t*>(xcb_get_property_value(reply)));
    }
    std::free(reply);
    return process;
}

std::optional<xcb_window_t>
XWindowWatch::waitForMap(pid_t process, std::chrono::steady_clock::time_point deadline) {
    while (xcb_generic_event_t* event = nextEvent(deadline)) {
        std::optional<xcb_window_t> mapped;
        if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY) {
            const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
            // Pop-ups and tool tips bypass the window manager; the window proper does not.
            if (map->override_redirect == 0 && windowProcess(map->window) == process) {
                mapped = map->window;
            }
        }
        std::free(event);
        if (mapped) {
            return mapped;
        }
    }
    return std::nullopt;
}

std::vector<std::pair<xcb_window_t, pid_t>> XWindowWatch::mappedWindows() {
    std::vector<std::pair<xcb_window_t, pid_t>> windows;
    xcb_query_tree_reply_t* tree =
        xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, m_root), nullptr);
    if (tree == nullptr) {
        return windows;
    }
    const xcb_window_t* children = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
        xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
            m_connection, xcb_get_window_attributes(m_connection, children[i]), nullptr);
        const bool viewable =
            attributes != nullptr && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(attributes);
        if (const std::optional<pid_t> process = windowProcess(children[i]); viewable && process) {
            windows.emplace_back(children[i], *process);
        }
    }
    std::free(tree);
    return windows;
}

std::string XWindowWatch::title(xcb_window_t window) {
    const auto cookie =
        xcb_get_property(m_connection, 0, window, m_nameAtom, XCB_GET_PROPERTY_TYPE_ANY, 0, 256);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(m_connection, cookie, nullptr);
    std::string title;
    if (reply != nullptr && reply->format == 8) {
        title.assign(static_cast<const char*>(xcb_get_property_value(reply)),
                     static_cast<std::size_t>(xcb_get_property_value_length(reply)));
    }
    std::free(reply);
    return title;
}

void XWindowWatch::askToClose(xcb_window_t window) {
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = m_protocolsAtom;
    message.data.data32[0] = m_deleteAtom;
    message.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(m_connection, 0, window, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(m_connection);
}

} // namespace zq4::bench
