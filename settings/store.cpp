#include "settings/store.h"

#include "protocol/frame.h"
#include "protocol/vocabulary.h"
#include "settings/keys.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace zq4 {

std::optional<std::int16_t> StoredInteger(const QString& text, int minimum, int maximum) {
    // Optional '-', then one or more ASCII digits, nothing else: the form numbers are stored in.
    // Anything that is not ASCII turns into '?', which no number holds.
    const QByteArray ascii = text.toLatin1();
    const char* const end = ascii.constData() + ascii.size();
    long long value = 0;
    const auto [stop, error] = std::from_chars(ascii.constData(), end, value, 10);
    if (error != std::errc() || stop != end) {
        return std::nullopt;
    }
    const long long low = std::max<long long>(minimum, std::numeric_limits<std::int16_t>::min());
    const long long high = std::min<long long>(maximum, std::numeric_limits<std::int16_t>::max());
    if (value < low || value > high) {
        return std::nullopt;
    }
    return static_cast<std::int16_t>(value);
}

std::int16_t StartupInteger(const QString& stored, int defaultValue, int minimum, int maximum) {
    return StoredInteger(stored, minimum, maximum)
        .value_or(static_cast<std::int16_t>(defaultValue));
}

StartupChoices ReadStartupChoices(SettingsStore& store) {
    const QStringList stored = store.GetSettings(
        keys::kApplication, keys::kStartup,
        {keys::kDakcomm, keys::kAddr, keys::kBrt, keys::kMessage, keys::kCustom}, QString());
    const StartupChoices defaults;
    return {
        .port = StartupInteger(stored.at(0), defaults.port, 0, kPortCount),
        .address = StartupInteger(stored.at(1), defaults.address, 0, kMaxAddress),
        .brightness = StartupInteger(stored.at(2), defaults.brightness, -1, kBrightnessCount - 1),
        .message = StartupInteger(stored.at(3), defaults.message, -1, kMessageCount - 1),
        .text = RestoredCustomText(stored.at(4)),
    };
}

QStringList SettingsStore::GetSettings(const QString& application, const QString& section,
                                       const QStringList& keys, const QString& defaultValue) {
    QStringList values;
    for (const QString& key : keys) {
        values << GetSetting(application, section, key, defaultValue);
    }
    return values;
}

} // namespace zq4
