#pragma once

#include "settings/store.h"

namespace zq4 {

// The store as an INI file in the user's configuration folder:
// $XDG_CONFIG_HOME/<application>/<application>.ini, else ~/.config/<application>/<application>.ini.
// Only that file is read. A put rewrites it whole and atomically; it fails, leaving the file as
// it is, when the file holds lines that are not settings or cannot be read or replaced.
class QSettingsStore final : public SettingsStore {
public:
    QString GetSetting(const QString& application, const QString& section, const QString& key,
                       const QString& defaultValue) override;
    Status PutSetting(const QString& application, const QString& section, const QString& key,
                      const QString& value) override;
    Status PutSettings(const QString& application, const QString& section,
                       const QList<std::pair<QString, QString>>& keysAndValues) override;
    // The file's absolute path, in the platform's own notation.
    QString location(const QString& application) const override;
};

} // namespace zq4
