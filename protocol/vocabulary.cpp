#include "protocol/vocabulary.h"

#include <optional>
#include <string_view>

namespace zq4 {

namespace {

// Codes above this one carry "(code - 64)" after their three digits.
constexpr int kLastPlainCode = 128;
constexpr int kBracketOffset = 64;

struct NamedMessage {
    int code;
    std::string_view name;
};

// The messages that carry a name; every other code is shown by its number alone. Codes 137 and
// 138 carry an empty name, so their labels keep the two spaces that precede a name.
constexpr NamedMessage kNamedMessages[] = {
    {0, "CUSTOM"},
    {1, "UTC"},
    {2, "PLT UTC of T=0"},
    {3, "L-Count"},
    {4, "T-Count (DHMS)"},
    {5, "T-Count (Min Sec)"},
    {6, "T-Count (Sec)"},
    {7, "ALT First Motion"},
    {20, "Time In Hold "},
    {21, "Time Until Restart"},
    {22, "Total Holdtime"},
    {23, "Holdtime Used"},
    {24, "Holdtime Remaining"},
    {25, "Window Used"},
    {26, "Window Remaining"},
    {29, "Start of Window"},
    {30, "End of Window"},
    {31, "Functional Time"},
    {32, "Local Time of Year"},
    {33, "Operation Number"},
    {34, "UTC Start of Operation"},
    {129, "UTC"},
    {130, "UTC OF T-0"},
    {131, "L COUNT"},
    {132, "T COUNT"},
    {133, "W COUNT"},
    {134, "FIRST MOTION"},
    {135, "W BROACH"},
    {136, "X COUNT"},
    {137, ""},
    {138, ""},
    {139, "X BROACH"},
    {141, "Y COUNT"},
    {143, "Y BROACH"},
    {145, "Z COUNT"},
    {147, "Z BROACH"},
    {148, "TIME IN HOLD"},
    {149, "RESTART IN"},
    {150, "TOTAL HOLD"},
    {151, "HTU"},
    {152, "HTA"},
    {153, "WINDOW USED"},
    {154, "WINDOW LEFT"},
    {155, "START OF HOLD"},
    {156, "UTC RESTART"},
    {157, "START WINDOW"},
    {158, "END WINDOW"},
    {159, "FUNCTIONAL"},
    {160, "LOCAL TIME"},
    {161, "OP STARTS AT"},
};

std::optional<std::string_view> messageName(int code) {
    for (const NamedMessage& entry : kNamedMessages) {
        if (entry.code == code) {
            return entry.name;
        }
    }
    return std::nullopt;
}

QString messageLabel(int code) {
    QString label = code <= kLastPlainCode
                        ? QString::asprintf("%03d", code)
                        : QString::asprintf("%03d (%d)", code, code - kBracketOffset);
    if (const auto name = messageName(code)) {
        label += QLatin1String("  ") +
                 QString::fromLatin1(name->data(), static_cast<qsizetype>(name->size()));
    }
    return label;
}

} // namespace

const QStringList& MessageLabels() {
    static const QStringList labels = [] {
        QStringList result;
        result.reserve(kMessageCount);
        for (int code = 0; code < kMessageCount; ++code) {
            result.append(messageLabel(code));
        }
        return result;
    }();
    return labels;
}

const QStringList& BrightnessLabels() {
    static const QStringList labels{QStringLiteral("4"), QStringLiteral("3"), QStringLiteral("2"),
                                    QStringLiteral("1")};
    return labels;
}

QString AddressText(int address) {
    if (address == kAllDisplays) {
        return QStringLiteral("ALL");
    }
    return QString::number(address);
}

} // namespace zq4
