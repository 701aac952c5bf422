#include "settings/qsettingsstore.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSettings>
#include <QStringList>
#include <QTemporaryFile>
#include <QVariant>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

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

// A larger file is taken for a mistake: it is neither read nor written.
constexpr qint64 kMaxFileSize = 1 << 20;
constexpr QByteArrayView kByteOrderMark = "\xEF\xBB\xBF";
// The section of the lines before the first [section].
const QString kGeneral = QStringLiteral("General");

QString nativeName(const QString& path) {
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

Status cannotWrite(const QString& fileName, const QString& reason) {
    return Status::Failed(
        QStringLiteral("Cannot write the settings file %1: %2").arg(nativeName(fileName), reason));
}

// The application's file, where QSettings puts it (QSettings::setPath included). QSettings reads
// its file as soon as it is made, so the name is taken from a sibling that does not exist.
QString storeFileName(const QString& application) {
    const QSettings sibling(QSettings::IniFormat, QSettings::UserScope, application,
                            application + QStringLiteral(".where"));
    return QFileInfo(sibling.fileName()).dir().filePath(application + QStringLiteral(".ini"));
}

// What a file that is not a regular file is.
QString kindOf(const QFileInfo& info) {
    if (info.isDir()) {
        return QStringLiteral("a folder");
    }
#ifdef Q_OS_UNIX
    struct stat status {};
    if (::stat(QFile::encodeName(info.absoluteFilePath()).constData(), &status) == 0) {
        if (S_ISFIFO(status.st_mode)) {
            return QStringLiteral("a named pipe (FIFO)");
        }
        if (S_ISSOCK(status.st_mode)) {
            return QStringLiteral("a socket");
        }
        if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode)) {
            return QStringLiteral("a device");
        }
    }
#endif
    return QStringLiteral("a special file");
}

// The store's file as it is on disk, looked at before QSettings opens it: QSettings would wait
// for ever on a FIFO, and reads a file of any size whole.
struct StoreFile {
    QString unusable; // why it is neither read nor written; empty when it is absent or was read
    QByteArray bytes;
};

StoreFile readStoreFile(const QString& fileName) {
    const QFileInfo info(fileName); // follows a symbolic link to the file it names
    if (!info.exists()) {
        return {};
    }
    if (!info.isFile()) {
        return {QStringLiteral("it is %1 and not a regular file, so it is not read either; "
                               "remove it")
                    .arg(kindOf(info)),
                {}};
    }
    if (info.size() > kMaxFileSize) {
        return {QStringLiteral("it is larger than 1 MiB (%1 bytes), so it is not read either; "
                               "remove it or make it smaller")
                    .arg(info.size()),
                {}};
    }
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        return {QStringLiteral("the file cannot be read (%1)").arg(file.errorString()), {}};
    }
    // Read as large as it is (checked above): a buffer for the largest file allowed would be
    // taken on every read of a setting.
    return {QString(), file.read(info.size())};
}

// Whether the file holds a comment, which QSettings drops when it rewrites the file: a ';'
// outside double quotes (QSettings skips the rest of the line), or a line starting with '#'
// (QSettings takes it for a key and rewrites it as "%23..."). Quotes and backslash escapes are
// followed as QSettings follows them, so that a value it wrote itself ("a;b" goes in quotes) is
// no comment.
bool holdsComments(QByteArrayView bytes) {
    if (bytes.startsWith(kByteOrderMark)) {
        bytes = bytes.sliced(kByteOrderMark.size());
    }
    bool inQuotes = false;
    bool lineStart = true;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\n' || c == '\r') {
            lineStart = true;
            continue;
        }
        if ((c == ';' || (c == '#' && lineStart)) && !inQuotes) {
            return true;
        }
        lineStart = lineStart && (c == ' ' || c == '\t');
        if (c == '\\') {
            ++i;
        } else if (c == '"') {
            inQuotes = !inQuotes;
        }
    }
    return false;
}

// The file without a UTF-8 byte-order mark and with each comment line (its first non-blank a ';'
// or '#') emptied. QSettings reports both as lines that are not settings: the mark when a
// [section] follows, though it skips it, and a '#' line without '='.
QByteArray withoutMarkAndCommentLines(QByteArrayView bytes) {
    if (bytes.startsWith(kByteOrderMark)) {
        bytes = bytes.sliced(kByteOrderMark.size());
    }
    QList<QByteArray> lines = bytes.toByteArray().split('\n');
    for (QByteArray& line : lines) {
        const QByteArray text = line.trimmed();
        if (text.startsWith(';') || text.startsWith('#')) {
            line.clear();
        }
    }
    return lines.join('\n');
}

// Whether the file holds lines that are not settings besides its mark and its comment lines
// (which have a warning of their own): the question goes to a copy without them.
bool notSettingsBeyondComments(QByteArrayView bytes) {
    QTemporaryFile copy;
    const QByteArray rest = withoutMarkAndCommentLines(bytes);
    if (!copy.open() || copy.write(rest) != rest.size() || !copy.flush()) {
        return true; // cannot tell: the file is kept as it is
    }
    QSettings settings(copy.fileName(), QSettings::IniFormat);
    (void)settings.allKeys(); // parses every section; the answer is the status
    return settings.status() != QSettings::NoError;
}

// The text of a hand-written, unquoted "key=a, b" as it stands in the file: QSettings reads it
// as the list "a", "b" and drops the blanks around each comma, which matter in a device path.
// The line is found by its section, key and items; when it is not, the items are joined by ','.
QString writtenList(const QByteArray& bytes, const QString& section, const QString& key,
                    const QStringList& items) {
    QStringList itemPatterns;
    for (const QString& item : items) {
        itemPatterns.push_back(QRegularExpression::escape(item));
    }
    const QRegularExpression sectionOrLine(
        QStringLiteral(R"(^[ \t]*(?:\[([^\]\r\n]*)\]|%1[ \t]*=[ \t]*(%2)[ \t]*\r?$))")
            .arg(QRegularExpression::escape(key),
                 itemPatterns.join(QStringLiteral("[ \\t]*,[ \\t]*"))),
        QRegularExpression::MultilineOption);
    QString currentSection = kGeneral;
    for (auto matches = sectionOrLine.globalMatch(QString::fromUtf8(bytes)); matches.hasNext();) {
        const QRegularExpressionMatch match = matches.next();
        if (match.capturedStart(1) >= 0) {
            currentSection = match.captured(1);
        } else if (currentSection == section) {
            return match.captured(2);
        }
    }
    return items.join(u',');
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

// Why the file, which is there, cannot be read; empty when it can be, or when there is none.
QString whyUnreadable(const QString& fileName) {
    const QFileInfo info(fileName); // follows a symbolic link to the file it names
    if (info.isSymLink() && !info.exists()) {
        return QStringLiteral("it is a symbolic link to %1, which leads to no file")
            .arg(nativeName(info.symLinkTarget()));
    }
    if (!info.exists()) {
#ifdef Q_OS_UNIX
        // A folder on the way that may not be entered hides the file: only the error tells that
        // apart from a file that is not there.
        struct stat status {};
        if (::stat(QFile::encodeName(fileName).constData(), &status) != 0 && errno != ENOENT &&
            errno != ENOTDIR) {
            return QStringLiteral("it cannot be looked at (%1)")
                .arg(QString::fromLocal8Bit(std::strerror(errno)));
        }
#endif
        return QString();
    }
    if (!info.isFile()) {
        return QStringLiteral("it is %1, not a regular file").arg(kindOf(info));
    }
    if (info.size() > kMaxFileSize) {
        return QStringLiteral("it is larger than 1 MiB (%1 bytes)").arg(info.size());
    }
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        return file.errorString();
    }
    return QString();
}

} // namespace

// Every operation reads and writes only the per-user file: no organisation-wide or system-wide
// files take part, so what the panel restores is what this user stored.

QString QSettingsStore::GetSetting(const QString& application, const QString& section,
                                   const QString& key, const QString& defaultValue) {
    return GetSettings(application, section, {key}, defaultValue).constFirst();
}

QStringList QSettingsStore::GetSettings(const QString& application, const QString& section,
                                        const QStringList& keys, const QString& defaultValue) {
    const QString fileName = storePath(application);
    const StoreFile file = readStoreFile(fileName);
    if (!file.unusable.isEmpty()) {
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
            texts << writtenList(file.bytes, section, key, value.toStringList());
        } else if (!value.canConvert<QString>()) {
            // A hand-written "@Rect(...)" or "@Variant(...)" holds no text to restore.
            texts << defaultValue;
        } else {
            texts << value.toString();
        }
    }
    unreadableFiles().noteRead(settings);
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
    const StoreFile file = readStoreFile(fileName);
    if (!file.unusable.isEmpty()) {
        return cannotWrite(fileName, file.unusable);
    }
    // A write rewrites the whole file from what QSettings understood. A file that holds more is
    // left as it is rather than lose the rest, the operator's hand-written port map among it.
    {
        QSettings reading(fileName, QSettings::IniFormat);
        const QStringList paths = reading.allKeys(); // parses every section
        unreadableFiles().noteRead(reading);
        bool notSettings = unreadableFiles().contains(reading);
        if (file.bytes.startsWith(kByteOrderMark) || (notSettings && holdsComments(file.bytes))) {
            notSettings = notSettingsBeyondComments(file.bytes);
        }
        if (notSettings) {
            return cannotWrite(fileName, QStringLiteral("it holds lines that are not settings "
                                                        "(each line must be a [section] or a "
                                                        "key=value); correct or remove the file"));
        }
        if (reading.status() == QSettings::AccessError) {
            return cannotWrite(fileName, QStringLiteral("the file cannot be read"));
        }
        // QSettings writes a list back as its items joined by ", ".
        for (const QString& path : paths) {
            const QVariant value = reading.value(path);
            if (value.typeId() != QMetaType::QStringList) {
                continue;
            }
            const qsizetype slash = path.indexOf(u'/');
            const QString written = writtenList(file.bytes, slash < 0 ? kGeneral : path.left(slash),
                                                path.sliced(slash + 1), value.toStringList());
            if (written != value.toStringList().join(QStringLiteral(", "))) {
                return cannotWrite(
                    fileName, QStringLiteral("the hand-written value \"%1\" of %2 would be "
                                             "rewritten with other blanks; put it in double quotes")
                                  .arg(written, path));
            }
        }
    }
    if (holdsComments(file.bytes)) {
        return cannotWrite(fileName,
                           QStringLiteral("its comment lines would be lost (lines starting with ; "
                                          "or #, or a ; after a value); move the comments out of "
                                          "the file so that the choices can be saved"));
    }
    // About what the file will hold; QSettings' quotes and escapes add a little.
    qint64 size = file.bytes.size() + section.toUtf8().size() + 3;
    for (const auto& [key, value] : keysAndValues) {
        size += key.toUtf8().size() + value.toUtf8().size() + 2;
    }
    if (size > kMaxFileSize) {
        return cannotWrite(fileName, QStringLiteral("it would grow larger than 1 MiB, which the "
                                                    "store does not read back"));
    }
    // A fresh QSettings, whose status tells only this write. The new file replaces the old one
    // only once it is complete on disk, so a write that fails leaves the old file as it was.
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
    if (settings.status() != QSettings::NoError) {
        return cannotWrite(fileName, writeFailureReason(fileName, size));
    }
    return Status::Ok();
}

QString QSettingsStore::storePath(const QString& application) const {
    auto found = m_fileNames.find(application);
    if (found == m_fileNames.end()) {
        found = m_fileNames.insert(application, storeFileName(application));
    }
    return *found;
}

QString QSettingsStore::unreadableReason(const QString& application) const {
    return whyUnreadable(storePath(application));
}

QString QSettingsStore::location(const QString& application) const {
    // Named, never opened: the file may be one that must not be (a FIFO would block).
    return nativeName(storePath(application));
}

} // namespace zq4
