#pragma once

#include "settings/store.h"

#include <QHash>

namespace zq4 {

// The store as an INI file in the user's configuration folder:
// $XDG_CONFIG_HOME/<application>/<application>.ini, else ~/.config/<application>/<application>.ini.
// Only that file is read. A file that is not a regular file (a symbolic link to one is) or is
// larger than 1 MiB is neither read nor written. A put rewrites the file whole and atomically,
// all its keys in one write; it fails, leaving the file as it is, when the file could not be read
// or replaced, or holds what a rewrite would lose or change (see RewriteProblem). A failure says
// why.
class QSettingsStore final : public SettingsStore {
public:
    QSettingsStore() = default;
    // The store in another configuration folder than the user's: the file is
    // <configFolder>/<application>/<application>.ini.
    explicit QSettingsStore(QString configFolder) : m_configFolder(std::move(configFolder)) {}

    QString GetSetting(const QString& application, const QString& section, const QString& key,
                       const QString& defaultValue) override;
    // One read of the file for all the keys.
    QStringList GetSettings(const QString& application, const QString& section,
                            const QStringList& keys, const QString& defaultValue) override;
    Status PutSetting(const QString& application, const QString& section, const QString& key,
                      const QString& value) override;
    Status PutSettings(const QString& application, const QString& section,
                       const QList<std::pair<QString, QString>>& keysAndValues) override;
    Status UpdateSettings(const QString& application, const QString& section,
                          const QList<std::pair<QString, QString>>& keysAndValues,
                          const QStringList& removedKeys) override;
    // The file's absolute path, in the platform's own notation.
    QString location(const QString& application) const override;
    // Why the file, which is there, is not read: not a regular file, larger than 1 MiB, a
    // symbolic link to nothing, behind a folder that may not be entered, or not to be opened.
    QString unreadableReason(const QString& application) const override;

private:
    // Where the application's file is, found once: finding the user's costs a QSettings of its
    // own.
    QString storePath(const QString& application) const;

    QString m_configFolder;
    mutable QHash<QString, QString> m_fileNames;
};

} // namespace zq4
