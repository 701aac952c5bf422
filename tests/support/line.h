#pragma once

#include "system/pseudoterminal.h"

namespace zq4::test {

// Fills the line through the slave held by the pseudo-terminal, in writes of `chunk` bytes 'x',
// as a display that has stopped reading leaves it; returns how many bytes it took.
qsizetype fillLine(PseudoTerminal& line, qsizetype chunk);

} // namespace zq4::test
