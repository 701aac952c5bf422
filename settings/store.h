#pragma once

#include "core/status.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <utility>

namespace zq4 {

// The per-user store of text values addressed by application, section and key.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // The stored text, or defaultValue when the application, section or key is absent.
    virtual QString GetSetting(const QString& application, const QString& section,
                               const QString& key, const QString& defaultValue) = 0;

    // The stored texts of several keys of one section, in the keys' order, read together;
    // defaultValue for each key that is absent.
    virtual QStringList GetSettings(const QString& application, const QString& section,
                                    const QStringList& keys, const QString& defaultValue);

    // Creates application, section and key as needed and replaces any earlier value.
    // Fails when the value did not reach the disk.
    virtual Status PutSetting(const QString& application, const QString& section,
                              const QString& key, const QString& value) = 0;

    // Puts every key of the section in one write; fails as PutSetting does, and then none of them
    // is stored.
    virtual Status PutSettings(const QString& application, const QString& section,
                               const QList<std::pair<QString, QString>>& keysAndValues) = 0;

    // Puts keysAndValues and removes removedKeys of the section, all in one write; fails as
    // PutSetting does, and then nothing changes.
    virtual Status UpdateSettings(const QString& application, const QString& section,
                                  const QList<std::pair<QString, QString>>& keysAndValues,
                                  const QStringList& removedKeys) = 0;

    // Where the operator finds the application's settings (a file's path), to name in advice;
    // empty when they are kept nowhere the operator can look.
    virtual QString location(const QString& /*application*/) const { return QString(); }

    // Why the application's settings are there but cannot be read ("it is a folder, not a regular
    // file"), for whoever must not take the defaults that every get then gives; empty when they
    // can be read or there are none.
    virtual QString unreadableReason(const QString& /*application*/) const { return QString(); }
};

// Stored text -> integer within [minimum, maximum], or no value when the text is not a
// plain decimal integer ("-" allowed, digits only) or lies outside the range.
std::optional<std::int16_t> StoredInteger(const QString& text, int minimum, int maximum);

} // namespace zq4
