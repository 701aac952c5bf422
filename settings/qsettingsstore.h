#pragma once

#include "settings/store.h"

namespace zq4 {

// The store as an INI file in the user's configuration folder:
// $XDG_CONFIG_HOME/<application>/<application>.ini, else ~/.config/<application>/<application>.ini.
class QSettingsStore final : public SettingsStore {
public:
    QString GetSetting(const QString& application, const QString& section, const QString& key,
                       const QString& defaultValue) override;
    Status PutSetting(const QString& application, const QString& section, const QString& key,
                      const QString& value) override;
};

} // namespace zq4
