#include "display/eventlog.h"

#include "protocol/frametext.h"

#include <type_traits>

namespace zq4 {

namespace {

// Noise can run long; its line shows this many bytes and its length.
constexpr qsizetype kShownSkippedBytes = 48;

QString timeText(const QTime& time) {
    return time.toString(QStringLiteral("HH:mm:ss.zzz"));
}

} // namespace

QString EventLog::line(const DecoderEvent& event, const QTime& time) {
    QString text;
    std::visit(
        [&](const auto& found) {
            using Found = std::decay_t<decltype(found)>;
            if constexpr (std::is_same_v<Found, DecodedFrame>) {
                ++m_frames;
                text = frameLine(found);
            } else if constexpr (std::is_same_v<Found, MalformedFrame>) {
                ++m_malformed;
                text = QStringLiteral("malformed frame (%1), %2 bytes: %3")
                           .arg(MalformedReasonText(found.reason),
                                QString::number(found.raw.size()), HexBytes(found.raw));
            } else {
                m_skippedBytes += found.raw.size();
                text = QStringLiteral("skipped %1 bytes: %2")
                           .arg(QString::number(found.raw.size()),
                                HexBytes(found.raw, kShownSkippedBytes));
            }
        },
        event);
    return timeText(time) + QStringLiteral("  ") + text;
}

QString EventLog::frameLine(const DecodedFrame& frame) const {
    QString text = FrameText(frame);
    if (m_showHex) {
        text += QStringLiteral("  bytes: ") + HexBytes(frame.raw);
    }
    return text;
}

QString EventLog::unfinishedLine(const QByteArray& bytes, const QTime& time) {
    m_skippedBytes += bytes.size();
    return timeText(time) + QStringLiteral("  unfinished frame at exit, %1 bytes: %2")
                                .arg(QString::number(bytes.size()), HexBytes(bytes));
}

QString EventLog::summary() const {
    return QStringLiteral("summary: %1 frames, %2 malformed frames, %3 skipped bytes")
        .arg(m_frames)
        .arg(m_malformed)
        .arg(m_skippedBytes);
}

} // namespace zq4
