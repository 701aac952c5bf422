#pragma once

#include "system/pseudoterminal.h"

namespace zq4::test {

// Raw, 9600 baud, 2 stop bits, hardware flow control: unlike the panel's settings, so a test can
// tell when an open applied them. (A pseudo-terminal always carries 8 data bits without parity,
// whatever it is told.)
void setForeignLineSettings(PseudoTerminal& line);

// Fills the line through the slave held by the pseudo-terminal, in writes of `chunk` bytes 'x',
// as a display that has stopped reading leaves it; returns how many bytes it took.
qsizetype fillLine(PseudoTerminal& line, qsizetype chunk);

} // namespace zq4::test
