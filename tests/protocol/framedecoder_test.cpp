#include "protocol/framedecoder.h"

#include "protocol/frame.h"

#include <gtest/gtest.h>

#include <QtCore>

namespace zq4 {
namespace {

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
