#pragma once

#include <QByteArray>
#include <QString>

namespace zq4 {

// The single-byte code page of the frame's text: the system's ANSI code page on Windows,
// Windows-1252 elsewhere. Every character becomes exactly one byte.

// The byte that replaces a character the frame's text cannot carry.
inline constexpr char kReplacementByte = '?';

// One byte per character. A character with no byte in the code page, or whose byte is a
// control byte (below 0x20, 0x7F) or one of the end marker's bytes (0xFE, 0xFF), becomes '?',
// so encoded text is always printable and never contains an end marker.
QByteArray EncodeText(const QString& text);

// The inverse of EncodeText for bytes received from a line: one character per byte.
QString DecodeText(const QByteArray& bytes);

// Whether the character reaches the display as itself (what the text box lets the operator type).
bool isSendableCharacter(char32_t character);

} // namespace zq4
