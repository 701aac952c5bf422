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
    const qsizetype chunk = 1 + data[0] % 32;
    const QByteArray line(reinterpret_cast<const char*>(data) + 1, qsizetype(size) - 1);

    zq4::FrameDecoder decoder;
    QByteArray seen;
    for (qsizetype at = 0; at < line.size(); at += chunk) {
        for (const zq4::DecoderEvent& event : decoder.feed(line.mid(at, chunk))) {
            // A decoded frame is 18 bytes, ends in the marker and carries codes in range.
            const auto* frame = std::get_if<zq4::DecodedFrame>(&event);
            if (frame != nullptr &&
                (frame->raw.size() != zq4::kFrameLength || !frame->raw.endsWith("\xFF\xFE") ||
                 frame->brightnessCode > 3 || frame->messageCode > 163 ||
                 frame->addressCode > 128 || frame->raw.left(13) != frame->textField)) {
                std::abort();
            }
            // Frames, malformed frames and skipped bytes each carry the bytes they came from.
            seen += std::visit([](const auto& part) { return part.raw; }, event);
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
