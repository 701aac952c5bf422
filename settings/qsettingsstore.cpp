#include "settings/qsettingsstore.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSettings>
#include <QStringList>
#include <QVariant>

namespace zq4 {

namespace {

// The store's files that hold lines that are not settings. Qt keeps a file's parsed contents
// for the whole process and reports such lines only when it first parses them, so a later
// QSettings on the same unchanged file would not report them again.
class UnreadableFiles {
public:
    // Remembers the file, as it is on disk now, when reading it met lines that are not settings.
    void noteRead(const QSettings& settings) {
        if (settings.status() != QSettings::FormatError) {
            return;
        }
        const QMutexLocker lock(&m_mutex);
        m_files.insert(settings.fileName(), Version(settings.fileName()));
    }

    // Whether the file, unchanged since, was found holding lines that are not settings.
    bool contains(const QSettings& settings) const {
        const QMutexLocker lock(&m_mutex);
        const auto found = m_files.constFind(settings.fileName());
        return found != m_files.cend() && *found == Version(settings.fileName());
    }

private:
    // Size and time of change, the marks by which Qt too tells that a file has changed.
    struct Version {
        explicit Version(const QString& fileName) {
            const QFileInfo file(fileName);
            size = file.size();
            modified = file.lastModified();
        }
        bool operator==(const Version&) const = default;

        qint64 size = 0;
        QDateTime modified;
    };

    mutable QMutex m_mutex;
    QHash<QString, Version> m_files;
};

UnreadableFiles& unreadableFiles() {
    static UnreadableFiles files;
    return files;
}

// Why the file could not be written, as far as the file system tells after the fact.
QString accessReason(const QFileInfo& file) {
    const QFileInfo folder(file.absolutePath());
    const QString folderName = QDir::toNativeSeparators(folder.absoluteFilePath());
    if (!folder.exists()) {
        return QStringLiteral("its folder %1 cannot be created").arg(folderName);
    }
    if (file.exists() && !file.isReadable()) {
        return QStringLiteral("the file cannot be read");
    }
    if (file.exists() && !file.isWritable()) {
        return QStringLiteral("the file is read-only");
    }
    if (!folder.isWritable()) {
        return QStringLiteral("its folder %1 is read-only").arg(folderName);
    }
    return QStringLiteral("access denied");
}

Status writeFailure(const QSettings& settings, bool unreadableLines) {
    const QFileInfo file(settings.fileName());
    const QString reason =
        unreadableLines
            ? QStringLiteral("it holds lines that are not settings (each line must be a [section], "
                             "a key=value or a ;comment); correct or remove the file")
            : accessReason(file);
    return Status::Failed(QStringLiteral("Cannot write the settings file %1: %2")
                              .arg(QDir::toNativeSeparators(file.absoluteFilePath()), reason));
}

} // namespace

// Both operations read and write only the per-user file: no organisation-wide or system-wide
// files take part, so what the panel restores is what this user stored.

QString QSettingsStore::GetSetting(const QString& application, const QString& section,
                                   const QString& key, const QString& defaultValue) {
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, application, application);
    settings.setFallbacksEnabled(false);
    settings.beginGroup(section);
    const QVariant value = settings.value(key);
    unreadableFiles().noteRead(settings);
    if (!value.isValid()) {
        return defaultValue;
    }
    // An unquoted "a,b" written by hand comes back as a list; its text is the items rejoined.
    if (value.typeId() == QMetaType::QStringList) {
        return value.toStringList().join(u',');
    }
    // A hand-written "@Rect(...)" or "@Variant(...)" holds no text to restore.
    if (!value.canConvert<QString>()) {
        return defaultValue;
    }
    return value.toString();
}

Status QSettingsStore::PutSetting(const QString& application, const QString& section,
                                  const QString& key, const QString& value) {
    return PutSettings(application, section, {{key, value}});
}

Status QSettingsStore::PutSettings(const QString& application, const QString& section,
                                   const QList<std::pair<QString, QString>>& keysAndValues) {
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, application, application);
    settings.setFallbacksEnabled(false);
    // A write rewrites the whole file from what could be read. A file that could not be read
    // completely is left as it is rather than lose the lines that were not understood, the
    // operator's hand-written port map among them. Listing every key parses every section.
    static_cast<void>(settings.allKeys());
    unreadableFiles().noteRead(settings);
    if (unreadableFiles().contains(settings)) {
        return writeFailure(settings, true);
    }
    if (settings.status() != QSettings::NoError) {
        return writeFailure(settings, false);
    }
    // The new file replaces the old one only once it is complete on disk, so a write that
    // fails leaves the old file as it was.
    settings.setAtomicSyncRequired(true);
    settings.beginGroup(section);
    for (const auto& [key, value] : keysAndValues) {
        settings.setValue(key, value);
    }
    settings.endGroup();
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        return writeFailure(settings, settings.status() == QSettings::FormatError);
    }
    return Status::Ok();
}

QString QSettingsStore::location(const QString& application) const {
    const QSettings settings(QSettings::IniFormat, QSettings::UserScope, application, application);
    return QDir::toNativeSeparators(QFileInfo(settings.fileName()).absoluteFilePath());
}

} // namespace zq4
