#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <functional>
#include <variant>
#include <vector>

namespace zq4 {

// A complete command frame whose codes all lie in their ranges.
struct DecodedFrame {
    QByteArray textField; // the 13 text bytes, in the display's code page
    std::uint8_t brightnessCode = 0;
    std::uint8_t messageCode = 0;
    std::uint8_t addressCode = 0;
    QByteArray raw; // all 18 bytes, end marker included
};

// Why bytes closed by an end marker are not a command frame.
enum class MalformedReason {
    TooShort,             // fewer than 18 bytes up to and including the end marker
    BrightnessOutOfRange, // brightness code above 3
    MessageOutOfRange,    // message code above 163
    AddressOutOfRange,    // address code above 128
};

// A short description of the reason, for people reading a log of the line.
QString MalformedReasonText(MalformedReason reason);

struct MalformedFrame {
    MalformedReason reason = MalformedReason::TooShort;
    QByteArray raw; // end marker included
};

// Bytes that cannot belong to any frame: line noise before a frame, or bytes that went
// longer than a frame without an end marker.
struct SkippedBytes {
    QByteArray raw;
};

using DecoderEvent = std::variant<DecodedFrame, MalformedFrame, SkippedBytes>;

// Finds command frames in bytes received in any chunking. A frame ends at its end marker
// 0xFF 0xFE, which occurs nowhere else in a frame: the text never carries those bytes and the
// codes never exceed 0xA3. At most one frame's worth of bytes is held between calls, so a line
// that never sends an end marker costs no memory: what can no longer be part of a frame is
// reported as skipped and dropped.
class FrameDecoder {
public:
    using EventHandler = std::function<void(const DecoderEvent&)>;

    // Events for the given bytes, in the order their bytes arrived.
    std::vector<DecoderEvent> feed(QByteArrayView bytes);
    void feed(QByteArrayView bytes, const EventHandler& handler);

    // Bytes received since the last end marker that may still begin a frame.
    qsizetype pendingSize() const { return m_pending.size(); }
    // Hands over the pending bytes (an unfinished frame) and starts afresh.
    QByteArray takePending();

private:
    void completeFrame(const EventHandler& handler);

    QByteArray m_pending;
};

} // namespace zq4
