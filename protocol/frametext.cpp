#include "protocol/frametext.h"

#include "protocol/codepage.h"
#include "protocol/vocabulary.h"

namespace zq4 {

namespace {

QString quoted(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

QString FrameText(const DecodedFrame& frame) {
    // One pass over the pattern: a text that holds "%1" must not be taken for a place marker.
    return QStringLiteral("address %1  brightness %2  message %3  text %4")
        .arg(AddressText(frame.addressCode), BrightnessLabels().at(frame.brightnessCode),
             quoted(MessageLabels().at(frame.messageCode)), QuotedText(frame.textField));
}

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

QString EscapedText(QStringView text) {
    constexpr char32_t kEscape = 0x1B;
    const auto hex = [](char32_t character, int digits) {
        return QString::number(static_cast<uint>(character), 16)
            .toUpper()
            .rightJustified(digits, QLatin1Char('0'));
    };
    QString escaped;
    escaped.reserve(text.size());
    for (const char32_t character : text.toUcs4()) {
        const QChar::Category category = QChar::category(character);
        if (character == kEscape) {
            escaped += QStringLiteral("\\e");
        } else if (category == QChar::Other_Control) {
            escaped += QStringLiteral("\\x") + hex(character, 2);
        } else if (!QChar::isPrint(character) || category == QChar::Separator_Line ||
                   category == QChar::Separator_Paragraph) {
            escaped += QStringLiteral("U+") + hex(character, 4);
        } else {
            escaped += QString::fromUcs4(&character, 1);
        }
    }
    return escaped;
}

} // namespace zq4
