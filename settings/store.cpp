#include "settings/store.h"

#include "protocol/frame.h"
#include "protocol/vocabulary.h"
#include "settings/keys.h"

#include <QStringView>

#include <algorithm>
#include <limits>

namespace zq4 {

namespace {

// Optional '-', then one or more ASCII digits, nothing else: the form numbers are stored in.
// Qt's own conversion would also accept blanks, '+' and non-ASCII digits.
bool isPlainDecimal(QStringView text) {
    const QStringView digits = text.startsWith(u'-') ? text.sliced(1) : text;
    return !digits.isEmpty() && std::all_of(digits.begin(), digits.end(),
                                            [](QChar c) { return c >= u'0' && c <= u'9'; });
}

} // namespace

std::optional<std::int16_t> StoredInteger(const QString& text, int minimum, int maximum) {
    if (!isPlainDecimal(text)) {
        return std::nullopt;
    }
    bool ok = false;
    const qlonglong value = QStringView(text).toLongLong(&ok, 10);
    if (!ok) {
        return std::nullopt; // more digits than a 64-bit integer holds
    }
    const qlonglong low = std::max<qlonglong>(minimum, std::numeric_limits<std::int16_t>::min());
    const qlonglong high = std::min<qlonglong>(maximum, std::numeric_limits<std::int16_t>::max());
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
