#include "protocol/frame.h"
#include "protocol/framedecoder.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// The first byte chooses how the rest is chunked, so every split of a line is explored.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::size_t chunk = 1 + data[0] % 32;
    const QByteArray line(reinterpret_cast<const char*>(data + 1),
                          static_cast<qsizetype>(size - 1));

    zq4::FrameDecoder decoder;
    QByteArray seen;
    for (qsizetype at = 0; at < line.size(); at += static_cast<qsizetype>(chunk)) {
        for (const zq4::DecoderEvent& event :
             decoder.feed(line.mid(at, static_cast<qsizetype>(chunk)))) {
            if (const auto* frame = std::get_if<zq4::DecodedFrame>(&event)) {
                // A decoded frame is 18 bytes, ends in the marker and carries codes in range.
                if (frame->raw.size() != zq4::kFrameLength || !frame->raw.endsWith("\xFF\xFE") ||
                    frame->brightnessCode > 3 || frame->messageCode > 163 ||
                    frame->addressCode > 128 || frame->raw.left(13) != frame->textField) {
                    std::abort();
                }
                seen += frame->raw;
            } else if (const auto* malformed = std::get_if<zq4::MalformedFrame>(&event)) {
                seen += malformed->raw;
            } else {
                seen += std::get<zq4::SkippedBytes>(event).raw;
            }
        }
        // Never more than one frame's worth held back.
        if (decoder.pendingSize() > zq4::kFrameLength) {
            std::abort();
        }
    }
    // Every byte is accounted for exactly once, in order.
    seen += decoder.takePending();
    if (seen != line) {
        std::abort();
    }
    return 0;
}
