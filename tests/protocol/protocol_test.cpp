#include "protocol/codepage.h"
#include "protocol/frame.h"
#include "protocol/framedecoder.h"
#include "protocol/frametext.h"

#include <QtCore>

#include <gtest/gtest.h>

#include <cstdint>

namespace zq4 {
namespace {

// Whole frames are checked as the command line sends them; a part that cannot be built is left
// out, the end marker never.
TEST(BuildFrame, LeavesOutWhatCannotBeBuilt) {
    const std::vector<std::pair<FrameInputs, const char*>> cases{
        {{"ABCDEFGHIJKLMN", 1, 2, 3}, "01 02 03 ff fe"},
        {{"HOLD", -1, 20, 5}, "20 20 20 20 48 4f 4c 44 20 20 20 20 20 ff fe"},
        {{"HOLD", 0, 20, 256}, "20 20 20 20 48 4f 4c 44 20 20 20 20 20 ff fe"}};
    for (const auto& [inputs, frame] : cases) {
        EXPECT_EQ(BuildFrame(inputs).toHex(' '), frame) << inputs.text.toStdString();
    }
}

TEST(TextField, CentresUpToThirteenCharactersAndAStoredTextKeepsItsFirstThirteen) {
    // U+1F600 takes two UTF-16 units but is one character.
    const QString face = QString::fromUcs4(U"\U0001F600", 1);
    // Each field as it must come out: the text put in is the field without its spaces.
    for (const QString& field :
         QStringList{"             ", "      A      ", "    HOLD     ", "ABCDEFGHIJKL ",
                     "ABCDEFGHIJKLM", "      " + face + "      ", face.repeated(13)}) {
        EXPECT_EQ(TextField(field.trimmed()), field) << field.toStdString();
    }
    EXPECT_FALSE(TextField("ABCDEFGHIJKLMN").has_value());
    EXPECT_FALSE(TextField(face.repeated(14)).has_value());
    // A stored text, which the operator did not type, keeps its first 13 whole characters.
    const QString letters = QStringLiteral("ABCDEFGHIJKLM");
    for (const auto& [stored, kept] : {std::pair(face.repeated(13), face.repeated(13)),
                                       {letters.first(12) + face, letters.first(12) + face},
                                       {face.repeated(14), face.repeated(13)},
                                       {letters + face, letters}}) {
        EXPECT_EQ(RestoredCustomText(stored), kept) << stored.toStdString();
    }
}

// Every character up to beyond the basic plane, lone surrogates included, gives one printable
// byte: '?' exactly for what cannot be sent.
TEST(CodePage, GivesOneWindows1252BytePerCharacterAndTakesBackEachPrintableAssignedByte) {
    EXPECT_EQ(EncodeText("HOLD \u00E9\u20AC\u2122\u0178\u017E\u00FD").toHex(' '),
              "48 4f 4c 44 20 e9 80 99 9f 9e fd");
    for (char32_t character = 0; character < 0x20000; ++character) {
        SCOPED_TRACE(static_cast<std::uint32_t>(character));
        // Built unit by unit: the string factories would drop a byte order mark.
        const QByteArray encoded = EncodeText(QStringView(QChar::fromUcs4(character)).toString());
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

// Windows converts each byte of its code pages itself: the program's own table of Windows-1252
// must agree with it, and a code page of two-byte characters gives '?' for each of those.
#ifdef Q_OS_WIN
TEST(CodePage, AgreesWithWindowsAndSendsNoCharacterOfTwoBytes) {
    const std::optional<CodePage> windows = CodePage::Windows(1252);
    ASSERT_TRUE(windows.has_value());
    const CodePage own = CodePage::Windows1252();
    // Every character of the basic plane goes out as the same byte (Windows gives its five
    // unassigned bytes control characters, which are sent as '?' alike).
    for (char32_t character = 0; character < 0x10000; ++character) {
        const QString text = QStringView(QChar::fromUcs4(character)).toString();
        ASSERT_EQ(windows->encode(text), own.encode(text)) << static_cast<std::uint32_t>(character);
    }
    EXPECT_EQ(EncodeText("Caf\u00E9").toHex(' '), "43 61 66 e9");

    const std::optional<CodePage> japanese = CodePage::Windows(932);
    ASSERT_TRUE(japanese.has_value());
    // Two two-byte characters, then a half-width katakana that has one byte of its own.
    EXPECT_EQ(japanese->encode("\u3042\u6F22\uFF71A").toHex(' '), "3f 3f b1 41");
    EXPECT_FALSE(japanese->isSendable(U'\u3042'));
}
#endif

// Printable text stays as it is, a character beyond the basic plane and a backslash included.
TEST(EscapedText, ShowsWhatATerminalWouldActOnAsEscapes) {
    const std::pair<QString, QString> cases[] = {
        {"\x1b]0;x\x07\x1b[2J", R"(\e]0;x\x07\e[2J)"},
        {QString("a\tb\r\n") + QChar(0x7F) + QChar(0x9B), R"(a\x09b\x0D\x0A\x7F\x9B)"},
        {"abc\u202Eexe.txt\u2028\uE000", "abcU+202Eexe.txtU+2028U+E000"},
        {"C:\\é€ \U0001F600", "C:\\é€ \U0001F600"},
    };
    for (const auto& [text, shown] : cases) {
        EXPECT_EQ(EscapedText(text).toStdString(), shown.toStdString());
    }
}

using Lines = std::vector<std::string>;

std::string hex(const QByteArray& bytes) {
    return bytes.toHex(' ').toStdString();
}

// What the decoder reports for the chunks, one line per event: "frame", the reason a frame is
// malformed or "skipped", then the bytes. Skipped bytes in a row are one line, however cut.
// Between chunks the decoder never holds more than a frame.
Lines feed(FrameDecoder& decoder, const QByteArrayList& chunks) {
    Lines lines;
    for (const QByteArray& chunk : chunks) {
        for (const DecoderEvent& event : decoder.feed(chunk)) {
            if (const auto* frame = std::get_if<DecodedFrame>(&event)) {
                EXPECT_EQ(frame->textField + char(frame->brightnessCode) +
                              char(frame->messageCode) + char(frame->addressCode) + EndMarker(),
                          frame->raw);
                lines.push_back("frame " + hex(frame->raw));
            } else if (const auto* malformed = std::get_if<MalformedFrame>(&event)) {
                lines.push_back(MalformedReasonText(malformed->reason).toStdString() + " " +
                                hex(malformed->raw));
            } else if (!lines.empty() && lines.back().starts_with("skipped")) {
                lines.back() += " " + hex(std::get<SkippedBytes>(event).raw);
            } else {
                lines.push_back("skipped " + hex(std::get<SkippedBytes>(event).raw));
            }
        }
        EXPECT_LE(decoder.pendingSize(), kFrameLength);
    }
    return lines;
}

const QByteArray kHold =
    QByteArray::fromHex("20 20 20 20 48 4F 4C 44 20 20 20 20 20 00 14 05 FF FE");

TEST(FrameDecoder, ReportsTheSameEventsWhereverTheLineIsCut) {
    const QByteArray field = kHold.first(kTextFieldLength);
    // Each piece of the line with what it is reported as. The noise ends in 0xFF, which must
    // not take the next frame's first byte for the rest of an end marker.
    std::vector<std::pair<std::string, QByteArray>> pieces{
        {"skipped", QByteArray::fromHex("01 FE 00 7F FF")},
        {"frame", kHold},
        {"frame", QByteArray(kTextFieldLength, ' ') + QByteArray::fromHex("03 A3 80 FF FE")},
        {"too short", field + QByteArray::fromHex("FF FE")},
        {"too short", QByteArray::fromHex("00 14 05 FF FE")},
        {"too short", kHold.sliced(1)},
        {"brightness code out of range", field + QByteArray::fromHex("04 00 00 FF FE")},
        {"message code out of range", field + QByteArray::fromHex("00 A4 00 FF FE")},
        {"address code out of range", field + QByteArray::fromHex("00 00 81 FF FE")},
    };
    for (int first = 0x80; first <= 0xFD; first += kTextFieldLength) {
        QByteArray text;
        for (int i = 0; i < kTextFieldLength; ++i) {
            text += static_cast<char>(std::min(first + i, 0xFD));
        }
        pieces.emplace_back("frame", text + QByteArray::fromHex("02 A3 7F FF FE"));
    }
    QByteArray line;
    Lines expected;
    for (const auto& [kind, bytes] : pieces) {
        line += bytes;
        expected.push_back(kind + " " + hex(bytes));
    }
    for (qsizetype cut = 0; cut <= line.size(); ++cut) {
        FrameDecoder decoder;
        EXPECT_EQ(feed(decoder, {line.first(cut), line.sliced(cut)}), expected) << cut;
        EXPECT_EQ(decoder.pendingSize(), 0);
    }
}

} // namespace
} // namespace zq4
