#include "protocol/codepage.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace zq4 {
namespace {

// Built unit by unit: the string factories would drop a byte order mark.
QString fromCodePoint(char32_t character) {
    return QStringView(QChar::fromUcs4(character)).toString();
}

// Every character up to beyond the basic plane, lone surrogates included, gives one printable
// byte: '?' exactly for what cannot be sent.
TEST(CodePage, GivesOneWindows1252BytePerCharacterAndTakesBackEachPrintableAssignedByte) {
    EXPECT_EQ(EncodeText("HOLD \u00E9\u20AC\u2122\u0178\u017E\u00FD").toHex(' '),
              "48 4f 4c 44 20 e9 80 99 9f 9e fd");
    for (char32_t character = 0; character < 0x20000; ++character) {
        SCOPED_TRACE(static_cast<std::uint32_t>(character));
        const QByteArray encoded = EncodeText(fromCodePoint(character));
        ASSERT_EQ(encoded.size(), 1);
        const auto byte = static_cast<std::uint8_t>(encoded[0]);
        ASSERT_TRUE((byte >= 0x20 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFD));
        ASSERT_EQ(isSendableCharacter(character), byte != '?' || character == U'?');
    }
    // Decoding reverses it for every printable byte the code page assigns.
    const QByteArray unassigned = QByteArray::fromHex("81 8D 8F 90 9D");
    for (int value = 0; value < 256; ++value) {
        const QByteArray byte(1, static_cast<char>(value));
        const QString character = DecodeText(byte);
        ASSERT_EQ(character.size(), 1) << value;
        const bool sendable = value >= 0x20 && value != 0x7F && value <= 0xFD &&
                              !unassigned.contains(static_cast<char>(value));
        EXPECT_EQ(isSendableCharacter(character.front().unicode()), sendable) << value;
        if (sendable) {
            EXPECT_EQ(EncodeText(character), byte) << value;
        }
    }
}

} // namespace
} // namespace zq4
