#include "protocol/frame.h"

#include "protocol/codepage.h"

#include <QList>

namespace zq4 {

QString RestoredCustomText(const QString& stored) {
    const QList<uint> characters = stored.toUcs4();
    if (characters.size() <= kTextFieldLength) {
        return stored;
    }
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(characters.constData()),
                             kTextFieldLength);
}

std::optional<QString> TextField(const QString& text) {
    // Characters are code points: each one becomes one byte of the frame.
    const auto length = static_cast<int>(text.toUcs4().size());
    const int fill = kTextFieldLength - length;
    if (fill < 0) {
        return std::nullopt;
    }
    const int left = fill / 2;
    const int right = fill - left;
    return QString(left, QLatin1Char(' ')) + text + QString(right, QLatin1Char(' '));
}

std::optional<QByteArray> CodeBytes(int brightnessCode, int messageCode, int addressCode) {
    QByteArray segment;
    for (const int code : {brightnessCode, messageCode, addressCode}) {
        if (code < 0 || code > 255) {
            return std::nullopt;
        }
        segment.append(static_cast<char>(static_cast<std::uint8_t>(code)));
    }
    return segment;
}

QByteArray EndMarker() {
    QByteArray marker;
    marker.append(static_cast<char>(kEndMarkerFirst));
    marker.append(static_cast<char>(kEndMarkerSecond));
    return marker;
}

QByteArray BuildFrame(const FrameInputs& inputs) {
    QByteArray frame;
    frame.reserve(kFrameLength);
    if (const auto field = TextField(inputs.text)) {
        frame.append(EncodeText(*field));
    }
    if (const auto codes =
            CodeBytes(inputs.brightnessCode, inputs.messageCode, inputs.addressCode)) {
        frame.append(*codes);
    }
    frame.append(EndMarker());
    return frame;
}

} // namespace zq4
