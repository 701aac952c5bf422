#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>
#include <unordered_map>

namespace zq4 {

// The byte that replaces a character the frame's text cannot carry.
inline constexpr char kReplacementByte = '?';

// A code page as the frame's text uses it: one byte per character. A character with no single
// byte of its own in the code page (one of two bytes in a Japanese or Chinese code page, for
// instance), or whose byte is a control byte (below 0x20, 0x7F) or one of the end marker's bytes
// (0xFE, 0xFF), becomes '?', so encoded text is always printable and never holds an end marker.
class CodePage {
public:
    // The frame's code page: the system's ANSI code page on Windows, Windows-1252 elsewhere.
    static const CodePage& Frame();
    // Windows-1252, from the program's own table: the same bytes on every machine.
    static CodePage Windows1252();
    // A Windows code page by its number, as Windows converts it; elsewhere only 1252 is known.
    static std::optional<CodePage> Windows(unsigned identifier);

    QByteArray encode(const QString& text) const;
    // The inverse of encode for bytes received from a line: one character per byte.
    QString decode(const QByteArray& bytes) const;
    // Whether the character reaches the display as itself.
    bool isSendable(char32_t character) const;

private:
    // What each byte stands for alone; no value where the code page has no character.
    using ByteTable = std::array<std::optional<char32_t>, 256>;
    explicit CodePage(const ByteTable& table);

    ByteTable m_characters;
    std::unordered_map<char32_t, char> m_bytes;
};

// The frame's code page at work.
QByteArray EncodeText(const QString& text);
QString DecodeText(const QByteArray& bytes);
// Whether the character reaches the display as itself (what the text box lets the operator type).
bool isSendableCharacter(char32_t character);

} // namespace zq4
