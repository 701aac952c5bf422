#include "protocol/codepage.h"
#include "protocol/frame.h"
#include "protocol/framedecoder.h"
#include "protocol/vocabulary.h"

#include <gtest/gtest.h>

#include <variant>
#include <vector>

namespace zq4 {
namespace {

const QStringList& sampleTexts() {
    static const QStringList texts = {
        QString(),
        QStringLiteral("A"),
        QStringLiteral("HOLD"),
        QStringLiteral("T-0 12:00"),
        QStringLiteral("ABCDEFGHIJKL"),
        QStringLiteral("ABCDEFGHIJKLM"),
        QStringLiteral(" padded "),
        QStringLiteral("é€"),
        QStringLiteral("Größe ½ °C"),
        QStringLiteral("€‰ŒšŸ¡¿ý"),
        QStringLiteral("\"%1\\%2\""),
    };
    return texts;
}

TEST(RoundTrip, EveryBuiltFrameDecodesToItsInputs) {
    const std::vector<int> addresses = {0, 1, 64, 127, 128};
    for (const QString& text : sampleTexts()) {
        for (const QChar character : text) {
            ASSERT_TRUE(isSendableCharacter(character.unicode())) << text.toStdString();
        }
    }

    std::vector<FrameInputs> sent;
    QByteArray line;
    for (int message = 0; message < kMessageCount; ++message) {
        for (int brightness = 0; brightness < kBrightnessCount; ++brightness) {
            for (const int address : addresses) {
                for (const QString& text : sampleTexts()) {
                    const FrameInputs inputs{text, static_cast<std::int16_t>(brightness),
                                             static_cast<std::int16_t>(message),
                                             static_cast<std::int16_t>(address)};
                    sent.push_back(inputs);
                    line += BuildFrame(inputs);
                }
            }
        }
    }

    // The whole line in chunks of changing length, as reads from a port would return it.
    FrameDecoder decoder;
    std::vector<DecoderEvent> events;
    qsizetype chunk = 1;
    for (qsizetype offset = 0; offset < line.size(); offset += chunk, chunk = chunk % 41 + 1) {
        for (DecoderEvent& event : decoder.feed(
                 QByteArrayView(line).sliced(offset, std::min(chunk, line.size() - offset)))) {
            events.push_back(std::move(event));
        }
    }
    EXPECT_EQ(decoder.pendingSize(), 0);
    ASSERT_EQ(events.size(), sent.size());

    for (std::size_t i = 0; i < sent.size(); ++i) {
        const FrameInputs& inputs = sent[i];
        ASSERT_TRUE(std::holds_alternative<DecodedFrame>(events[i]))
            << "frame " << i << " text " << inputs.text.toStdString();
        const auto& frame = std::get<DecodedFrame>(events[i]);
        ASSERT_EQ(frame.brightnessCode, inputs.brightnessCode) << i;
        ASSERT_EQ(frame.messageCode, inputs.messageCode) << i;
        ASSERT_EQ(frame.addressCode, inputs.addressCode) << i;
        ASSERT_EQ(DecodeText(frame.textField), TextField(inputs.text).value())
            << inputs.text.toStdString();
        ASSERT_EQ(frame.raw, BuildFrame(inputs)) << i;
    }
}

TEST(RoundTrip, FramesBuiltWithoutAPieceArriveAsShortFrames) {
    struct Case {
        const char* name;
        FrameInputs inputs;
        qsizetype length;
    };
    const Case cases[] = {
        {"no brightness selected", {QStringLiteral("HOLD"), -1, 20, 5}, 15},
        {"no message selected", {QString(), 0, -1, 128}, 15},
        {"text longer than the field", {QStringLiteral("FOURTEEN CHARS"), 0, 20, 5}, 5},
        {"neither piece", {QStringLiteral("FOURTEEN CHARS"), -1, -1, 0}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray raw = BuildFrame(c.inputs);
        ASSERT_EQ(raw.size(), c.length);
        FrameDecoder decoder;
        const auto events = decoder.feed(raw);
        ASSERT_EQ(events.size(), 1u);
        ASSERT_TRUE(std::holds_alternative<MalformedFrame>(events[0]));
        EXPECT_EQ(std::get<MalformedFrame>(events[0]).reason, MalformedReason::TooShort);
        EXPECT_EQ(std::get<MalformedFrame>(events[0]).raw, raw);
    }
}

} // namespace
} // namespace zq4
