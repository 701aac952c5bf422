#include "display/eventlog.h"

#include "protocol/codepage.h"
#include "protocol/vocabulary.h"

#include <type_traits>

namespace zq4 {

namespace {

// Noise can run long; its line shows this many bytes and its length.
constexpr qsizetype kShownSkippedBytes = 48;

QString timeText(const QTime& time) {
    return time.toString(QStringLiteral("HH:mm:ss.zzz"));
}

QString quoted(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

QString HexBytes(QByteArrayView bytes, qsizetype maximumBytes) {
    const bool cut = maximumBytes >= 0 && bytes.size() > maximumBytes;
    const QByteArrayView shown = cut ? bytes.first(maximumBytes) : bytes;
    QString text = QString::fromLatin1(shown.toByteArray().toHex(' ').toUpper());
    if (cut) {
        text += QStringLiteral(" ...");
    }
    return text;
}

QString QuotedText(const QByteArray& field) {
    const QString decoded = DecodeText(field);
    QString text;
    // DecodeText gives one character per byte, so position i of both belongs together.
    for (qsizetype i = 0; i < decoded.size() && i < field.size(); ++i) {
        const QChar character = decoded.at(i);
        if (character == QLatin1Char('"') || character == QLatin1Char('\\')) {
            text += QLatin1Char('\\');
            text += character;
        } else if (character == QChar::ReplacementCharacter || !character.isPrint()) {
            text += QStringLiteral("\\x") + HexBytes(field.sliced(i, 1));
        } else {
            text += character;
        }
    }
    return quoted(text);
}

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
    // One pass over the pattern: a text that holds "%1" must not be taken for a place marker.
    QString text =
        QStringLiteral("address %1  brightness %2  message %3  text %4")
            .arg(AddressText(frame.addressCode), BrightnessLabels().at(frame.brightnessCode),
                 quoted(MessageLabels().at(frame.messageCode)), QuotedText(frame.textField));
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
