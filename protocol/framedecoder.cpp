#include "protocol/framedecoder.h"

#include "protocol/frame.h"
#include "protocol/vocabulary.h"

#include <utility>

namespace zq4 {

namespace {

constexpr int kBrightnessOffset = kTextFieldLength;
constexpr int kMessageOffset = kTextFieldLength + 1;
constexpr int kAddressOffset = kTextFieldLength + 2;

bool endsWithMarker(const QByteArray& bytes) {
    const qsizetype size = bytes.size();
    return size >= 2 && static_cast<std::uint8_t>(bytes[size - 2]) == kEndMarkerFirst &&
           static_cast<std::uint8_t>(bytes[size - 1]) == kEndMarkerSecond;
}

} // namespace

QString MalformedReasonText(MalformedReason reason) {
    switch (reason) {
    case MalformedReason::TooShort:
        return QStringLiteral("too short");
    case MalformedReason::BrightnessOutOfRange:
        return QStringLiteral("brightness code out of range");
    case MalformedReason::MessageOutOfRange:
        return QStringLiteral("message code out of range");
    case MalformedReason::AddressOutOfRange:
        return QStringLiteral("address code out of range");
    }
    return QString();
}

std::vector<DecoderEvent> FrameDecoder::feed(QByteArrayView bytes) {
    std::vector<DecoderEvent> events;
    feed(bytes, [&events](const DecoderEvent& event) { events.push_back(event); });
    return events;
}

void FrameDecoder::feed(QByteArrayView bytes, const EventHandler& handler) {
    QByteArray skipped;
    const auto reportSkipped = [&skipped, &handler] {
        if (!skipped.isEmpty()) {
            handler(SkippedBytes{std::exchange(skipped, QByteArray())});
        }
    };
    for (const char byte : bytes) {
        m_pending.append(byte);
        if (endsWithMarker(m_pending)) {
            reportSkipped();
            completeFrame(handler);
        } else if (m_pending.size() >= kFrameLength) {
            // A frame that ends later starts after the oldest pending byte, so that byte can
            // only be noise. Everything younger, a trailing 0xFF included, may still be a frame.
            skipped.append(m_pending.front());
            m_pending.remove(0, 1);
        }
    }
    reportSkipped();
}

QByteArray FrameDecoder::takePending() {
    return std::exchange(m_pending, QByteArray());
}

void FrameDecoder::completeFrame(const EventHandler& handler) {
    const QByteArray raw = std::exchange(m_pending, QByteArray());
    if (raw.size() < kFrameLength) {
        handler(MalformedFrame{MalformedReason::TooShort, raw});
        return;
    }
    const auto code = [&raw](int offset) { return static_cast<std::uint8_t>(raw[offset]); };
    const DecodedFrame frame{
        .textField = raw.first(kTextFieldLength),
        .brightnessCode = code(kBrightnessOffset),
        .messageCode = code(kMessageOffset),
        .addressCode = code(kAddressOffset),
        .raw = raw,
    };
    if (frame.brightnessCode >= kBrightnessCount) {
        handler(MalformedFrame{MalformedReason::BrightnessOutOfRange, raw});
    } else if (frame.messageCode >= kMessageCount) {
        handler(MalformedFrame{MalformedReason::MessageOutOfRange, raw});
    } else if (frame.addressCode > kMaxAddress) {
        handler(MalformedFrame{MalformedReason::AddressOutOfRange, raw});
    } else {
        handler(frame);
    }
}

} // namespace zq4
