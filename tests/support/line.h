#pragma once

#include "system/pseudoterminal.h"

namespace zq4::test {

// Raw, 9600 baud, 2 stop bits, hardware flow control: unlike the panel's settings, so a test can
// tell when an open applied them. (A pseudo-terminal always carries 8 data bits without parity,
// whatever it is told.)
inline void setForeignLineSettings(PseudoTerminal& line) {
    termios settings = line.lineSettings();
    ::cfmakeraw(&settings);
    settings.c_cflag |= CSTOPB | CRTSCTS;
    ::cfsetspeed(&settings, B9600);
    line.setLineSettings(settings);
}

} // namespace zq4::test
