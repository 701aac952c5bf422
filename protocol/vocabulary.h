#pragma once

#include <QString>
#include <QStringList>

namespace zq4 {

// The ports the operator picks from, "Com1:" .. "Com9:", and that the store maps to devices.
inline constexpr int kPortCount = 9;
inline constexpr int kMessageCount = 164;
inline constexpr int kBrightnessCount = 4;
inline constexpr int kMaxAddress = 128;
inline constexpr int kAllDisplays = 128;

// The 164 message labels in code order: a label's position is its message code.
const QStringList& MessageLabels();

// "4", "3", "2", "1": a label's position is its brightness code.
const QStringList& BrightnessLabels();

// "ALL" for 128, otherwise the address as decimal text ("0" .. "127").
QString AddressText(int address);

} // namespace zq4
