#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace zq4 {

inline constexpr int kTextFieldLength = 13;
inline constexpr int kFrameLength = 18;
inline constexpr std::uint8_t kEndMarkerFirst = 0xFF;
inline constexpr std::uint8_t kEndMarkerSecond = 0xFE;

// The four values one command frame carries.
struct FrameInputs {
    QString text;
    std::int16_t brightnessCode = 0;
    std::int16_t messageCode = 0;
    std::int16_t addressCode = 0;
};

// The custom text as the panel restores it from the store: the text box holds at most 13
// characters, so a longer stored text keeps its first 13 and every frame carries its text field.
QString RestoredCustomText(const QString& stored);

// The text centred in 13 positions, padded with spaces (the odd space goes on the right);
// no value when the text is longer than 13 characters.
std::optional<QString> TextField(const QString& text);

// Brightness, message and address code as three bytes in that order; no value when any
// code lies outside 0..255 (a list with nothing selected gives -1).
std::optional<QByteArray> CodeBytes(int brightnessCode, int messageCode, int addressCode);

// 0xFF 0xFE, which closes every frame.
QByteArray EndMarker();

// Text field (in the display's code page), code segment and end marker joined in that order.
// A piece that cannot be built is left out; the end marker is always there.
QByteArray BuildFrame(const FrameInputs& inputs);

} // namespace zq4
