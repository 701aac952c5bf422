#include "protocol/codepage.h"

#include <QList>
#include <QStringDecoder>

#include <array>
#include <cstdint>
#include <optional>
#include <unordered_map>

#if !defined(Q_OS_WIN)
#include <iconv.h>
#endif

namespace zq4 {

namespace {

// What one byte of the code page stands for; no value when the code page has no character there.
using ByteTable = std::array<std::optional<char32_t>, 256>;

std::optional<char32_t> decodeWithQt(QStringDecoder& decoder, std::uint8_t byte) {
    decoder.resetState();
    const char raw = static_cast<char>(byte);
    const QString decoded = decoder.decode(QByteArrayView(&raw, 1));
    if (decoder.hasError()) {
        return std::nullopt;
    }
    const QList<uint> characters = decoded.toUcs4();
    if (characters.size() != 1 || characters.front() == QChar::ReplacementCharacter) {
        return std::nullopt;
    }
    return static_cast<char32_t>(characters.front());
}

#if !defined(Q_OS_WIN)
// For a Qt built without ICU, whose own converters do not know Windows-1252.
ByteTable tableFromIconv() {
    ByteTable table;
    iconv_t converter = iconv_open("UTF-32LE", "WINDOWS-1252");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        return table;
    }
    for (int value = 0; value < 256; ++value) {
        char in = static_cast<char>(value);
        std::array<unsigned char, 8> out{};
        char* inPointer = &in;
        char* outPointer = reinterpret_cast<char*>(out.data());
        std::size_t inLeft = 1;
        std::size_t outLeft = out.size();
        iconv(converter, nullptr, nullptr, nullptr, nullptr);
        const std::size_t result = iconv(converter, &inPointer, &inLeft, &outPointer, &outLeft);
        if (result == static_cast<std::size_t>(-1) || out.size() - outLeft != 4) {
            continue;
        }
        const char32_t character =
            static_cast<char32_t>(out[0]) | (static_cast<char32_t>(out[1]) << 8) |
            (static_cast<char32_t>(out[2]) << 16) | (static_cast<char32_t>(out[3]) << 24);
        if (character != QChar::ReplacementCharacter) {
            table[static_cast<std::size_t>(value)] = character;
        }
    }
    iconv_close(converter);
    return table;
}
#endif

ByteTable buildByteTable() {
#if defined(Q_OS_WIN)
    QStringDecoder decoder(QStringConverter::System, QStringConverter::Flag::Stateless);
#else
    QStringDecoder decoder("windows-1252", QStringConverter::Flag::Stateless);
    if (!decoder.isValid()) {
        return tableFromIconv();
    }
#endif
    ByteTable table;
    for (int value = 0; value < 256; ++value) {
        table[static_cast<std::size_t>(value)] =
            decodeWithQt(decoder, static_cast<std::uint8_t>(value));
    }
    return table;
}

const ByteTable& byteTable() {
    static const ByteTable table = buildByteTable();
    return table;
}

// Bytes the text may carry: printable ones, and never a byte of the end marker.
bool isTextByte(std::uint8_t byte) {
    return byte >= 0x20 && byte != 0x7F && byte != 0xFE && byte != 0xFF;
}

// Character to byte, for the characters that reach the display as themselves. Built from the
// decoding table so that no converter's substitution byte can ever end up in a frame.
const std::unordered_map<char32_t, std::uint8_t>& sendableBytes() {
    static const auto map = [] {
        std::unordered_map<char32_t, std::uint8_t> result;
        const ByteTable& table = byteTable();
        for (int value = 0; value < 256; ++value) {
            const auto byte = static_cast<std::uint8_t>(value);
            const auto& character = table[byte];
            // The code page's unassigned bytes may decode to invisible control characters
            // (U+0081 ..): those are no text either.
            if (character && isTextByte(byte) &&
                QChar::category(*character) != QChar::Other_Control) {
                result.emplace(*character, byte);
            }
        }
        return result;
    }();
    return map;
}

} // namespace

QByteArray EncodeText(const QString& text) {
    const auto& bytes = sendableBytes();
    const QList<uint> characters = text.toUcs4();
    QByteArray encoded;
    encoded.reserve(characters.size());
    for (const uint character : characters) {
        const auto found = bytes.find(static_cast<char32_t>(character));
        encoded.append(found == bytes.end() ? kReplacementByte : static_cast<char>(found->second));
    }
    return encoded;
}

QString DecodeText(const QByteArray& bytes) {
    const ByteTable& table = byteTable();
    QString decoded;
    decoded.reserve(bytes.size());
    for (const char raw : bytes) {
        const auto& character = table[static_cast<std::uint8_t>(raw)];
        decoded.append(
            QStringView(QChar::fromUcs4(character.value_or(QChar::ReplacementCharacter))));
    }
    return decoded;
}

bool isSendableCharacter(char32_t character) {
    return sendableBytes().contains(character);
}

} // namespace zq4
