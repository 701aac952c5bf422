#pragma once

#include <QSerialPort>

#include <chrono>

namespace zq4 {

// The display's line: 1200 baud, 8 data bits, no parity, 1 stop bit, no flow control.
inline constexpr qint32 kLineBaudRate = 1200;
// Bits on the line per byte: start bit, 8 data bits, stop bit.
inline constexpr qint64 kLineBitsPerByte = 10;

void ApplyLineSettings(QSerialPort& port);

// How long the line takes for `bytes`, rounded down to the millisecond.
std::chrono::milliseconds LineTime(qint64 bytes);
// How many whole bytes the line takes in `time`.
qint64 LineBytes(std::chrono::milliseconds time);

} // namespace zq4
