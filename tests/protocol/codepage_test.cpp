#include "protocol/codepage.h"

#include <gtest/gtest.h>

#include <QList>

#include <cstdint>
#include <vector>

namespace zq4 {
namespace {

// Built unit by unit: the string factories would drop a byte order mark.
QString fromCodePoint(char32_t character) {
    return QStringView(QChar::fromUcs4(character)).toString();
}

QByteArray bytes(std::initializer_list<std::uint8_t> values) {
    QByteArray result;
    for (const std::uint8_t value : values) {
        result.append(static_cast<char>(value));
    }
    return result;
}

bool isPrintableTextByte(std::uint8_t byte) {
    return (byte >= 0x20 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFD);
}

// The five bytes Windows-1252 leaves without a character.
bool isUnassignedByte(std::uint8_t byte) {
    return byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
}

TEST(EncodeText, GivesOneWindows1252BytePerCharacter) {
    const std::vector<std::pair<QString, QByteArray>> cases{
        {QStringLiteral("HOLD 12"), QByteArray("HOLD 12")},
        {QStringLiteral("\u00E9"), bytes({0xE9})},
        {QStringLiteral("\u20AC"), bytes({0x80})},
        {QStringLiteral("\u2122\u0178\u017E"), bytes({0x99, 0x9F, 0x9E})},
        {QStringLiteral("\u00FD\u00A0"), bytes({0xFD, 0xA0})},
        {QString(), QByteArray()},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(EncodeText(text), expected) << text.toStdString();
    }
}

TEST(EncodeText, ReplacesWhatCannotBeSentWithAQuestionMark) {
    const std::vector<std::pair<QString, QByteArray>> cases{
        {QStringLiteral("\u0100"), QByteArray("?")},
        {QStringLiteral("\u00FF\u00FE"), QByteArray("??")},
        {QStringLiteral("\t"), QByteArray("?")},
        {QStringLiteral("a\r\nb"), QByteArray("a??b")},
        {QStringLiteral("\u007F"), QByteArray("?")},
        {QString(QChar(0)), QByteArray("?")},
        {QStringLiteral("\u001A"), QByteArray("?")},
        {fromCodePoint(U'\U0001F600'), QByteArray("?")},
        {QString(QChar(0xD800)), QByteArray("?")},
        {QStringLiteral("x\u4E2Dy"), QByteArray("x?y")},
        {QStringLiteral("\u0081\u009D"), QByteArray("??")},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(EncodeText(text), expected) << text.toStdString();
    }
}

TEST(EncodeText, EveryBasicPlaneCharacterGivesAPrintableByteThatIsNeverAnEndMarkerByte) {
    QString all;
    all.reserve(0x10000);
    for (int unit = 0; unit <= 0xFFFF; ++unit) {
        all.append(QChar(static_cast<char16_t>(unit)));
    }
    const QByteArray encoded = EncodeText(all);
    EXPECT_EQ(encoded.size(), all.toUcs4().size());
    for (const char raw : encoded) {
        ASSERT_TRUE(isPrintableTextByte(static_cast<std::uint8_t>(raw)))
            << static_cast<int>(static_cast<std::uint8_t>(raw));
    }
}

TEST(IsSendableCharacter, AgreesWithEncodeText) {
    int sendable = 0;
    for (char32_t character = 0; character < 0x20000; ++character) {
        const QByteArray encoded = EncodeText(fromCodePoint(character));
        ASSERT_EQ(encoded.size(), 1) << static_cast<std::uint32_t>(character);
        const bool sentAsItself = encoded != QByteArray("?") || character == U'?';
        ASSERT_EQ(isSendableCharacter(character), sentAsItself)
            << static_cast<std::uint32_t>(character);
        sendable += sentAsItself ? 1 : 0;
    }
    // Printable ASCII plus the printable upper half, less what the code page lacks there.
    EXPECT_GE(sendable, 95 + 110);
    EXPECT_LE(sendable, 95 + 126);
}

TEST(IsSendableCharacter, RefusesControlsAndTheEndMarkerCharacters) {
    for (const char32_t character :
         {U'\0', U'\t', U'\n', U'\x1A', U'\x7F', U'\u00FE', U'\u00FF', U'\u0100', U'\U0001F600'}) {
        EXPECT_FALSE(isSendableCharacter(character)) << static_cast<std::uint32_t>(character);
    }
    for (const char32_t character : {U' ', U'?', U'~', U'\u00E9', U'\u20AC', U'\u00FD'}) {
        EXPECT_TRUE(isSendableCharacter(character)) << static_cast<std::uint32_t>(character);
    }
}

TEST(DecodeText, GivesOneCharacterPerByte) {
    QByteArray everyByte;
    for (int value = 0; value < 256; ++value) {
        everyByte.append(static_cast<char>(value));
    }
    const QString decoded = DecodeText(everyByte);
    EXPECT_EQ(decoded.size(), 256);
    EXPECT_EQ(DecodeText(bytes({0x48, 0xE9, 0x80, 0xFF})), QStringLiteral("H\u00E9\u20AC\u00FF"));
}

TEST(DecodeText, ReversesEncodeTextForEverySendableByte) {
    for (int value = 0; value < 256; ++value) {
        const QByteArray byte = bytes({static_cast<std::uint8_t>(value)});
        const QString character = DecodeText(byte);
        if (character == QString(QChar::ReplacementCharacter)) {
            continue;
        }
        const bool sendable = isSendableCharacter(character.toUcs4().front());
        const auto raw = static_cast<std::uint8_t>(value);
        EXPECT_EQ(sendable, isPrintableTextByte(raw) && !isUnassignedByte(raw)) << value;
        if (sendable) {
            EXPECT_EQ(EncodeText(character), byte) << value;
        }
    }
}

} // namespace
} // namespace zq4
