#pragma once

#include "protocol/framedecoder.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace zq4 {

// How a decoded frame reads to a person, the same for the virtual display and the command line:
// address 5  brightness 4  message "020  Time In Hold "  text "    HOLD     "
QString FrameText(const DecodedFrame& frame);

// "20 48 FF FE": the bytes in upper-case hexadecimal, separated by spaces; beyond maximumBytes
// the rest is left out and " ..." says so.
QString HexBytes(QByteArrayView bytes, qsizetype maximumBytes = -1);

// The text field in double quotes, decoded from the display's code page with every space kept.
// A byte that stands for no printable character is shown as \xNN; " and \ are escaped.
QString QuotedText(const QByteArray& field);

// Text from outside the program (an argument, a path, an environment variable) as a terminal
// may show it: ESC as \e, the other control characters as \xNN, and characters that show nothing
// or move text around (format characters, line and paragraph separators, private and unassigned
// code points) as U+NNNN. Everything else, backslashes included, is kept.
QString EscapedText(QStringView text);

} // namespace zq4
