#include "protocol/codepage.h"

#include <QChar>
#include <QList>

#include <cstdint>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

namespace zq4 {

namespace {

// Windows-1252 differs from Latin-1 only at 0x80..0x9F; five bytes there stand for nothing.
constexpr char32_t kNone = 0;
constexpr std::array<char32_t, 32> kWindows1252High = {
    0x20AC, kNone,  0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, kNone,  0x017D, kNone,  // 0x88
    kNone,  0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, kNone,  0x017E, 0x0178, // 0x98
};

// Bytes the text may carry: printable ones, and never a byte of the end marker.
bool isTextByte(std::uint8_t byte) {
    return byte >= 0x20 && byte != 0x7F && byte != 0xFE && byte != 0xFF;
}

#ifdef Q_OS_WIN
// Each byte alone as Windows converts it in that code page. A lead byte of a two-byte character
// stands for nothing alone, and a byte the code page does not assign fails to convert.
std::optional<std::array<std::optional<char32_t>, 256>> windowsTable(unsigned identifier) {
    CPINFO info{};
    if (!::GetCPInfo(identifier, &info)) {
        return std::nullopt;
    }
    std::array<std::optional<char32_t>, 256> table;
    for (int value = 0; value < 256; ++value) {
        const char byte = static_cast<char>(value);
        if (::IsDBCSLeadByteEx(identifier, static_cast<BYTE>(value))) {
            continue;
        }
        wchar_t wide[2] = {};
        const int length =
            ::MultiByteToWideChar(identifier, MB_ERR_INVALID_CHARS, &byte, 1, wide, 2);
        if (length == 1 && !QChar::isSurrogate(wide[0])) {
            table[static_cast<std::size_t>(value)] = static_cast<char32_t>(wide[0]);
        }
    }
    return table;
}
#endif

} // namespace

CodePage::CodePage(const ByteTable& table) : m_characters(table) {
    for (int value = 0; value < 256; ++value) {
        const auto byte = static_cast<std::uint8_t>(value);
        const std::optional<char32_t>& character = m_characters[byte];
        // Unassigned bytes may stand for invisible control characters (U+0081 ..): those are no
        // text either. The lowest byte for a character wins, should two stand for one.
        if (character && isTextByte(byte) && QChar::category(*character) != QChar::Other_Control) {
            m_bytes.emplace(*character, static_cast<char>(byte));
        }
    }
}

CodePage CodePage::Windows1252() {
    ByteTable table;
    for (int value = 0; value < 256; ++value) {
        const char32_t character =
            value >= 0x80 && value < 0xA0 ? kWindows1252High[value - 0x80] : char32_t(value);
        if (value < 0x80 || value >= 0xA0 || character != kNone) {
            table[static_cast<std::size_t>(value)] = character;
        }
    }
    return CodePage(table);
}

std::optional<CodePage> CodePage::Windows(unsigned identifier) {
#ifdef Q_OS_WIN
    if (const auto table = windowsTable(identifier)) {
        return CodePage(*table);
    }
    return std::nullopt;
#else
    if (identifier == 1252) {
        return Windows1252();
    }
    return std::nullopt;
#endif
}

const CodePage& CodePage::Frame() {
#ifdef Q_OS_WIN
    static const CodePage frame = Windows(::GetACP()).value_or(Windows1252());
#else
    static const CodePage frame = Windows1252();
#endif
    return frame;
}

QByteArray CodePage::encode(const QString& text) const {
    const QList<uint> characters = text.toUcs4();
    QByteArray encoded;
    encoded.reserve(characters.size());
    for (const uint character : characters) {
        const auto found = m_bytes.find(static_cast<char32_t>(character));
        encoded.append(found == m_bytes.end() ? kReplacementByte : found->second);
    }
    return encoded;
}

QString CodePage::decode(const QByteArray& bytes) const {
    QString decoded;
    decoded.reserve(bytes.size());
    for (const char raw : bytes) {
        const std::optional<char32_t>& character = m_characters[static_cast<std::uint8_t>(raw)];
        decoded.append(
            QStringView(QChar::fromUcs4(character.value_or(QChar::ReplacementCharacter))));
    }
    return decoded;
}

bool CodePage::isSendable(char32_t character) const {
    return m_bytes.contains(character);
}

QByteArray EncodeText(const QString& text) {
    return CodePage::Frame().encode(text);
}

QString DecodeText(const QByteArray& bytes) {
    return CodePage::Frame().decode(bytes);
}

bool isSendableCharacter(char32_t character) {
    return CodePage::Frame().isSendable(character);
}

} // namespace zq4
