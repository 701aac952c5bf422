#include "settings/storedchoices.h"

#include "protocol/frame.h"
#include "settings/keys.h"

namespace zq4 {

namespace {

// Each stored number: its key, its range and default, and the choice it holds.
struct NumberKey {
    const QString& key;
    ChoiceRange range;
    std::int16_t StoredChoices::*choice;
};

const NumberKey kNumbers[] = {
    {keys::kDakcomm, kPortRange, &StoredChoices::port},
    {keys::kAddr, kAddressRange, &StoredChoices::address},
    {keys::kBrt, kBrightnessRange, &StoredChoices::brightness},
    {keys::kMessage, kMessageRange, &StoredChoices::message},
};

} // namespace

StoredChoices StoredChoices::Read(SettingsStore& store) {
    QStringList keys;
    for (const NumberKey& number : kNumbers) {
        keys << number.key;
    }
    keys << keys::kCustom;
    const QStringList stored = store.GetSettings(keys::kApplication, keys::kStartup, keys, {});
    StoredChoices choices;
    for (qsizetype i = 0; i < std::ssize(kNumbers); ++i) {
        const ChoiceRange& range = kNumbers[i].range;
        choices.*kNumbers[i].choice = StoredInteger(stored.at(i), range.minimum, range.maximum)
                                          .value_or(static_cast<std::int16_t>(range.defaultValue));
    }
    choices.text = RestoredCustomText(stored.constLast());
    return choices;
}

Status StoredChoices::storeSent(SettingsStore& store) const {
    QList<std::pair<QString, QString>> values;
    for (const NumberKey& number : kNumbers) {
        if (number.choice != &StoredChoices::port) {
            values.append({number.key, QString::number(this->*number.choice)});
        }
    }
    values.append({keys::kCustom, text});
    return store.PutSettings(keys::kApplication, keys::kStartup, values);
}

Status StoredChoices::StorePort(SettingsStore& store, int portNumber) {
    const QString stored = QString::number(portNumber);
    if (store.GetSetting(keys::kApplication, keys::kStartup, keys::kDakcomm, {}) == stored) {
        return Status::Ok();
    }
    return store.PutSetting(keys::kApplication, keys::kStartup, keys::kDakcomm, stored);
}

} // namespace zq4
