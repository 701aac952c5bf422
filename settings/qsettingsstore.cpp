#include "settings/qsettingsstore.h"

#include "settings/storefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QStringList>
#include <QVariant>

#include <filesystem>
#include <system_error>

namespace zq4 {

namespace {

QString nativeName(const QString& path) {
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

Status cannotWrite(const QString& fileName, const QString& reason) {
    return Status::Failed(
        QStringLiteral("Cannot write the settings file %1: %2").arg(nativeName(fileName), reason));
}

// The application's file, where QSettings puts it (QSettings::setPath included). QSettings reads
// its file as soon as it is made, so the name is taken from a sibling that does not exist.
QString userFileName(const QString& application) {
    const QSettings sibling(QSettings::IniFormat, QSettings::UserScope, application,
                            application + QStringLiteral(".where"));
    return QFileInfo(sibling.fileName()).dir().filePath(application + QStringLiteral(".ini"));
}

// The store's file as it is on disk, looked at before QSettings opens it: QSettings would wait
// for ever on a FIFO, and reads a file of any size whole.
struct StoreFile {
    bool present = false;
    QString unusable;      // why it is not read, nor written when present; empty when usable
    bool unopened = false; // it is a file, but the system would not open it
    QByteArray bytes;      // what it holds, when asked for
};

StoreFile unusableFile(const QString& reason, bool unopened = false) {
    StoreFile file;
    file.present = true;
    file.unusable = reason;
    file.unopened = unopened;
    return file;
}

enum class Bytes { Skipped, Read };

StoreFile lookAt(const QString& fileName, Bytes bytes) {
    namespace fs = std::filesystem;
    const QFileInfo info(fileName);
    const fs::path path = info.filesystemAbsoluteFilePath();
    std::error_code error;
    const fs::file_status status = fs::status(path, error); // a symbolic link's target
    if (status.type() == fs::file_type::not_found) {
        // Nothing to read; a put writes the file the link names.
        StoreFile absent;
        if (info.isSymLink()) {
            absent.unusable = QStringLiteral("it is a symbolic link to %1, which leads to no file")
                                  .arg(nativeName(info.symLinkTarget()));
        }
        return absent;
    }
    if (error) {
        // A folder on the way that may not be entered hides the file.
        const QString why = QString::fromLocal8Bit(QByteArray::fromStdString(error.message()));
        return unusableFile(QStringLiteral("it cannot be looked at (%1)").arg(why));
    }
    const std::uintmax_t size =
        status.type() == fs::file_type::regular ? fs::file_size(path, error) : 0;
    if (QString reason = UnusableStoreFile(status.type(), size); !reason.isEmpty()) {
        return unusableFile(reason);
    }
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        return unusableFile(file.errorString(), true);
    }
    // Read as large as it is (checked above): a buffer for the largest file allowed would be
    // taken on every read of a setting.
    StoreFile usable;
    usable.present = true;
    if (bytes == Bytes::Read) {
        usable.bytes = file.read(qint64(size));
    }
    return usable;
}

// Why a write of about `size` bytes failed. QSettings does not say: the file system's state
// tells the common causes, and a write of the same size beside the file, never committed and
// removed, meets any other one (a full disk) with its own description.
QString writeFailureReason(const QString& fileName, qint64 size) {
    const QFileInfo file(fileName);
    const QFileInfo folder(file.absolutePath());
    if (!folder.exists()) {
        return QStringLiteral("its folder %1 cannot be created").arg(nativeName(folder.filePath()));
    }
    if (file.exists() && !file.isWritable()) {
        return QStringLiteral("the file is read-only");
    }
    if (!folder.isWritable()) {
        return QStringLiteral("its folder %1 is read-only").arg(nativeName(folder.filePath()));
    }
    QSaveFile probe(fileName);
    if (probe.open(QIODevice::WriteOnly) && probe.write(QByteArray(size, '\n')) == size &&
        probe.flush()) {
        probe.cancelWriting();
        return QStringLiteral("the write failed, and the system does not tell why");
    }
    const QString reason = probe.error() == QFileDevice::ResourceError
                               ? QStringLiteral("the disk is full (%1)").arg(probe.errorString())
                               : probe.errorString();
    probe.cancelWriting();
    return reason;
}

} // namespace

// Every operation reads and writes only the store's own file: no organisation-wide or
// system-wide files take part, so what the panel restores is what this user stored.

QString QSettingsStore::GetSetting(const QString& application, const QString& section,
                                   const QString& key, const QString& defaultValue) {
    return GetSettings(application, section, {key}, defaultValue).constFirst();
}

QStringList QSettingsStore::GetSettings(const QString& application, const QString& section,
                                        const QStringList& keys, const QString& defaultValue) {
    const QString fileName = storePath(application);
    const StoreFile file = lookAt(fileName, Bytes::Read);
    if (!file.present || !file.unusable.isEmpty()) {
        return QStringList(keys.size(), defaultValue);
    }
    QSettings settings(fileName, QSettings::IniFormat);
    settings.beginGroup(section);
    QStringList texts;
    for (const QString& key : keys) {
        const QVariant value = settings.value(key);
        if (!value.isValid()) {
            texts << defaultValue;
        } else if (value.typeId() == QMetaType::QStringList) {
            // An unquoted "a, b" is read as it stands, not as QSettings' list.
            texts
                << WrittenValue(file.bytes, section, key).value_or(value.toStringList().join(u','));
        } else if (!value.canConvert<QString>()) {
            // A hand-written "@Rect(...)" or "@Variant(...)" holds no text to restore.
            texts << defaultValue;
        } else {
            texts << value.toString();
        }
    }
    return texts;
}

Status QSettingsStore::PutSetting(const QString& application, const QString& section,
                                  const QString& key, const QString& value) {
    return PutSettings(application, section, {{key, value}});
}

Status QSettingsStore::PutSettings(const QString& application, const QString& section,
                                   const QList<std::pair<QString, QString>>& keysAndValues) {
    return UpdateSettings(application, section, keysAndValues, {});
}

Status QSettingsStore::UpdateSettings(const QString& application, const QString& section,
                                      const QList<std::pair<QString, QString>>& keysAndValues,
                                      const QStringList& removedKeys) {
    const QString fileName = storePath(application);
    const StoreFile file = lookAt(fileName, Bytes::Read);
    if (file.present && !file.unusable.isEmpty()) {
        return cannotWrite(
            fileName,
            file.unopened
                ? QStringLiteral("the file cannot be read (%1)").arg(file.unusable)
                : file.unusable + QStringLiteral(", so it is not read either; remove or mend it"));
    }
    // A write rewrites the whole file from what QSettings understood. A file that holds more is
    // left as it is rather than lose the rest, the operator's hand-written port map among it.
    if (const QString problem = RewriteProblem(file.bytes); !problem.isEmpty()) {
        return cannotWrite(fileName, problem);
    }
    // About what the file will hold; QSettings' quotes and escapes add a little.
    qint64 size = file.bytes.size() + section.toUtf8().size() + 3;
    for (const auto& [key, value] : keysAndValues) {
        size += key.toUtf8().size() + value.toUtf8().size() + 2;
    }
    if (size > qint64(kMaxStoreFileSize)) {
        return cannotWrite(fileName, QStringLiteral("it would grow larger than 1 MiB, which the "
                                                    "store does not read back"));
    }
    // The new file replaces the old one only once it is complete on disk, so a write that fails
    // leaves the old file as it was.
    QSettings settings(fileName, QSettings::IniFormat);
    settings.setAtomicSyncRequired(true);
    settings.beginGroup(section);
    for (const auto& [key, value] : keysAndValues) {
        settings.setValue(key, value);
    }
    for (const QString& key : removedKeys) {
        settings.remove(key);
    }
    settings.endGroup();
    settings.sync();
    // Only a failed write: what QSettings could not parse in the file (a byte-order mark it
    // skips, but still reports) is the checks' business above.
    if (settings.status() == QSettings::AccessError) {
        return cannotWrite(fileName, writeFailureReason(fileName, size));
    }
    return Status::Ok();
}

QString QSettingsStore::storePath(const QString& application) const {
    if (!m_configFolder.isEmpty()) {
        return QDir(m_configFolder)
            .filePath(application + u'/' + application + QStringLiteral(".ini"));
    }
    auto found = m_fileNames.find(application);
    if (found == m_fileNames.end()) {
        found = m_fileNames.insert(application, userFileName(application));
    }
    return *found;
}

QString QSettingsStore::unreadableReason(const QString& application) const {
    return lookAt(storePath(application), Bytes::Skipped).unusable;
}

QString QSettingsStore::location(const QString& application) const {
    // Named, never opened: the file may be one that must not be (a FIFO would block).
    return nativeName(storePath(application));
}

} // namespace zq4
