#include "settings/store.h"

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

QStringList SettingsStore::GetSettings(const QString& application, const QString& section,
                                       const QStringList& keys, const QString& defaultValue) {
    QStringList values;
    for (const QString& key : keys) {
        values << GetSetting(application, section, key, defaultValue);
    }
    return values;
}

} // namespace zq4
