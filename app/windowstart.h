#pragma once

#include <QString>
#include <QtGlobal>

namespace zq4 {

// Why the window has no display to open on, told before anything is made: on a system whose
// windows need X11 or Wayland, no platform is given (-platform, QT_QPA_PLATFORM) and no display
// is named (DISPLAY, WAYLAND_DISPLAY, a Wayland session). Empty when there may be one.
QString MissingDisplay(int argc, const char* const* argv);

// Made just before the application object and let go right after it. Meanwhile Qt's messages
// wait; should no platform plugin start (a display named that cannot be reached, a platform that
// does not exist), the program says why in one line and ends with exit status 1, in place of
// Qt's abort. When it goes, the messages that waited are passed on.
class PlatformStartWatch {
public:
    PlatformStartWatch();
    ~PlatformStartWatch();
    PlatformStartWatch(const PlatformStartWatch&) = delete;
    PlatformStartWatch& operator=(const PlatformStartWatch&) = delete;

private:
    QtMessageHandler m_previous = nullptr;
};

} // namespace zq4
