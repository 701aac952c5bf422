#include "protocol/framedecoder.h"

#include "protocol/frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <random>
#include <variant>
#include <vector>

namespace zq4 {
namespace {

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray result;
    for (const int value : values) {
        result.append(static_cast<char>(static_cast<std::uint8_t>(value)));
    }
    return result;
}

// A frame put together by hand, byte for byte as it travels on the line.
QByteArray frameBytes(const QByteArray& textField, int brightness, int message, int address) {
    return textField + bytes({brightness, message, address, 0xFF, 0xFE});
}

const QByteArray kHoldField = QByteArrayLiteral("    HOLD     ");
const QByteArray kHoldFrame = frameBytes(kHoldField, 0, 20, 5);

std::vector<DecoderEvent> feedInPieces(FrameDecoder& decoder,
                                       const std::vector<QByteArray>& pieces) {
    std::vector<DecoderEvent> events;
    for (const QByteArray& piece : pieces) {
        for (DecoderEvent& event : decoder.feed(piece)) {
            events.push_back(std::move(event));
        }
    }
    return events;
}

void expectHoldFrame(const DecoderEvent& event) {
    ASSERT_TRUE(std::holds_alternative<DecodedFrame>(event));
    const auto& frame = std::get<DecodedFrame>(event);
    EXPECT_EQ(frame.textField, kHoldField);
    EXPECT_EQ(frame.brightnessCode, 0);
    EXPECT_EQ(frame.messageCode, 20);
    EXPECT_EQ(frame.addressCode, 5);
    EXPECT_EQ(frame.raw, kHoldFrame);
}

TEST(FrameDecoder, FrameSplitAtEveryPositionDecodesTheSame) {
    for (qsizetype split = 0; split <= kHoldFrame.size(); ++split) {
        SCOPED_TRACE(split);
        FrameDecoder decoder;
        const auto events =
            feedInPieces(decoder, {kHoldFrame.first(split), kHoldFrame.sliced(split)});
        ASSERT_EQ(events.size(), 1u);
        expectHoldFrame(events.front());
        EXPECT_EQ(decoder.pendingSize(), 0);
    }
}

TEST(FrameDecoder, FrameFedByteByByteDecodes) {
    FrameDecoder decoder;
    std::vector<QByteArray> pieces;
    for (const char byte : kHoldFrame) {
        pieces.push_back(QByteArray(1, byte));
    }
    const auto events = feedInPieces(decoder, pieces);
    ASSERT_EQ(events.size(), 1u);
    expectHoldFrame(events.front());
}

TEST(FrameDecoder, TwoFramesInOneChunkDecodeInOrder) {
    const QByteArray allDisplays = frameBytes(QByteArray(13, ' '), 3, 129, 128);
    FrameDecoder decoder;
    const auto events = decoder.feed(kHoldFrame + allDisplays);
    ASSERT_EQ(events.size(), 2u);
    expectHoldFrame(events[0]);
    ASSERT_TRUE(std::holds_alternative<DecodedFrame>(events[1]));
    const auto& second = std::get<DecodedFrame>(events[1]);
    EXPECT_EQ(second.brightnessCode, 3);
    EXPECT_EQ(second.messageCode, 129);
    EXPECT_EQ(second.addressCode, 128);
    EXPECT_EQ(second.raw, allDisplays);
}

TEST(FrameDecoder, GarbageBeforeFrameIsSkippedAndFrameStillDecodes) {
    // Noise that ends in 0xFF must not swallow the frame's first byte into a marker.
    const QByteArray noise = bytes({0x01, 0xFE, 0x00, 0x7F, 0xFF});
    for (const bool byteByByte : {false, true}) {
        SCOPED_TRACE(byteByByte);
        FrameDecoder decoder;
        std::vector<QByteArray> pieces;
        if (byteByByte) {
            for (const char byte : noise + kHoldFrame) {
                pieces.push_back(QByteArray(1, byte));
            }
        } else {
            pieces.push_back(noise + kHoldFrame);
        }
        const auto events = feedInPieces(decoder, pieces);
        QByteArray skipped;
        for (std::size_t i = 0; i + 1 < events.size(); ++i) {
            ASSERT_TRUE(std::holds_alternative<SkippedBytes>(events[i]));
            skipped += std::get<SkippedBytes>(events[i]).raw;
        }
        EXPECT_EQ(skipped, noise);
        ASSERT_FALSE(events.empty());
        expectHoldFrame(events.back());
    }
}

TEST(FrameDecoder, ShortFramesAreMalformedWithTheirBytes) {
    struct Case {
        const char* name;
        QByteArray raw;
    };
    const Case cases[] = {
        {"text field without codes", kHoldField + bytes({0xFF, 0xFE})},
        {"codes without text field", bytes({0x00, 0x14, 0x05, 0xFF, 0xFE})},
        {"end marker alone", bytes({0xFF, 0xFE})},
        {"one byte short", kHoldFrame.sliced(1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FrameDecoder decoder;
        // The frame after it shows that the decoder has found its footing again.
        const auto events = decoder.feed(c.raw + kHoldFrame);
        ASSERT_EQ(events.size(), 2u);
        ASSERT_TRUE(std::holds_alternative<MalformedFrame>(events[0]));
        EXPECT_EQ(std::get<MalformedFrame>(events[0]).reason, MalformedReason::TooShort);
        EXPECT_EQ(std::get<MalformedFrame>(events[0]).raw, c.raw);
        expectHoldFrame(events[1]);
    }
}

TEST(FrameDecoder, CodesOutOfRangeAreMalformed) {
    struct Case {
        int brightness, message, address;
        std::optional<MalformedReason> reason;
    };
    const Case cases[] = {
        {3, 163, 128, std::nullopt},
        {0, 0, 0, std::nullopt},
        {4, 0, 0, MalformedReason::BrightnessOutOfRange},
        {0xFD, 0, 0, MalformedReason::BrightnessOutOfRange},
        {0, 164, 0, MalformedReason::MessageOutOfRange},
        {0, 0xFD, 0, MalformedReason::MessageOutOfRange},
        {0, 0, 129, MalformedReason::AddressOutOfRange},
        {0, 0, 0xFD, MalformedReason::AddressOutOfRange},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.brightness << ' ' << c.message << ' ' << c.address);
        const QByteArray raw = frameBytes(kHoldField, c.brightness, c.message, c.address);
        FrameDecoder decoder;
        const auto events = decoder.feed(raw);
        ASSERT_EQ(events.size(), 1u);
        if (c.reason) {
            ASSERT_TRUE(std::holds_alternative<MalformedFrame>(events[0]));
            EXPECT_EQ(std::get<MalformedFrame>(events[0]).reason, *c.reason);
            EXPECT_EQ(std::get<MalformedFrame>(events[0]).raw, raw);
        } else {
            ASSERT_TRUE(std::holds_alternative<DecodedFrame>(events[0]));
            const auto& frame = std::get<DecodedFrame>(events[0]);
            EXPECT_EQ(frame.brightnessCode, c.brightness);
            EXPECT_EQ(frame.messageCode, c.message);
            EXPECT_EQ(frame.addressCode, c.address);
        }
    }
}

TEST(FrameDecoder, TextWithHighBytesDecodes) {
    // Every byte from 0x80 to 0xFD, thirteen to a frame.
    for (int first = 0x80; first <= 0xFD; first += kTextFieldLength) {
        QByteArray field;
        for (int i = 0; i < kTextFieldLength; ++i) {
            field.append(static_cast<char>(static_cast<std::uint8_t>(std::min(first + i, 0xFD))));
        }
        SCOPED_TRACE(field.toHex(' ').toStdString());
        FrameDecoder decoder;
        const auto events = decoder.feed(frameBytes(field, 2, 163, 127));
        ASSERT_EQ(events.size(), 1u);
        ASSERT_TRUE(std::holds_alternative<DecodedFrame>(events[0]));
        EXPECT_EQ(std::get<DecodedFrame>(events[0]).textField, field);
    }
}

TEST(FrameDecoder, LongStreamWithoutEndMarkerKeepsMemoryBoundedAndReportsDroppedBytes) {
    constexpr qsizetype kStreamLength = 1024 * 1024;
    std::mt19937 random(4);
    std::uniform_int_distribution<int> byteValue(0, 255);
    QByteArray stream;
    stream.reserve(kStreamLength);
    while (stream.size() < kStreamLength) {
        const auto byte = static_cast<std::uint8_t>(byteValue(random));
        const bool wouldEndMarker = byte == kEndMarkerSecond && !stream.isEmpty() &&
                                    static_cast<std::uint8_t>(stream.back()) == kEndMarkerFirst;
        stream.append(static_cast<char>(wouldEndMarker ? 0x00 : byte));
    }
    // The stream ends in 0xFF so that the frame fed after it checks that a trailing 0xFF
    // was kept without being taken for the start of a marker.
    stream.back() = static_cast<char>(kEndMarkerFirst);

    FrameDecoder decoder;
    QByteArray dropped;
    qsizetype largestPending = 0;
    std::uniform_int_distribution<qsizetype> chunkLength(1, 5000);
    for (qsizetype offset = 0; offset < stream.size();) {
        const qsizetype length = std::min(chunkLength(random), stream.size() - offset);
        decoder.feed(QByteArrayView(stream).sliced(offset, length), [&](const DecoderEvent& event) {
            ASSERT_TRUE(std::holds_alternative<SkippedBytes>(event));
            dropped += std::get<SkippedBytes>(event).raw;
            largestPending = std::max(largestPending, decoder.pendingSize());
        });
        largestPending = std::max(largestPending, decoder.pendingSize());
        offset += length;
    }
    EXPECT_LE(largestPending, kFrameLength);
    EXPECT_EQ(dropped.size() + decoder.pendingSize(), stream.size());
    EXPECT_TRUE(stream.startsWith(dropped));

    const auto events = decoder.feed(kHoldFrame);
    ASSERT_EQ(events.size(), 2u);
    ASSERT_TRUE(std::holds_alternative<SkippedBytes>(events[0]));
    EXPECT_EQ(dropped + std::get<SkippedBytes>(events[0]).raw, stream);
    expectHoldFrame(events[1]);
}

TEST(FrameDecoder, EndMarkerSplitAcrossChunksAfterNoiseEndsTheFrame) {
    FrameDecoder decoder;
    const QByteArray noise(40, 'x');
    auto events = decoder.feed(noise + kHoldFrame.first(kFrameLength - 1));
    ASSERT_EQ(events.size(), 1u);
    ASSERT_TRUE(std::holds_alternative<SkippedBytes>(events[0]));
    EXPECT_EQ(std::get<SkippedBytes>(events[0]).raw, noise);

    events = decoder.feed(kHoldFrame.last(1));
    ASSERT_EQ(events.size(), 1u);
    expectHoldFrame(events[0]);
}

TEST(FrameDecoder, TakePendingHandsOverAnUnfinishedFrameAndStartsAfresh) {
    FrameDecoder decoder;
    EXPECT_TRUE(decoder.feed(kHoldFrame.first(10)).empty());
    EXPECT_EQ(decoder.takePending(), kHoldFrame.first(10));
    EXPECT_EQ(decoder.pendingSize(), 0);
    const auto events = decoder.feed(kHoldFrame);
    ASSERT_EQ(events.size(), 1u);
    expectHoldFrame(events[0]);
}

} // namespace
} // namespace zq4
