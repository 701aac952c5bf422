#include "serial/linelock.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#endif

namespace zq4 {

#ifdef Q_OS_UNIX
namespace {

// A lock file holds a process id and a few lines; anything longer is not a lock file.
constexpr qint64 kMaxLockFileSize = 4096;

// The folders serial programs keep their lock files in, in the order QSerialPort tries them.
QStringList lockFolders() {
    return {QStringLiteral("/var/lock"),
            QStringLiteral("/etc/locks"),
            QStringLiteral("/var/spool/locks"),
            QStringLiteral("/var/spool/uucp"),
            QStringLiteral("/tmp"),
            QStringLiteral("/var/tmp"),
            QStringLiteral("/var/lock/lockdev"),
            QStringLiteral("/run/lock"),
            QStandardPaths::writableLocation(QStandardPaths::TempLocation)};
}

// The path QSerialPort opens for a port name: a name without a folder is a node under /dev.
QString systemLocation(const QString& path) {
    return path.startsWith(QLatin1Char('/')) || path.startsWith(QStringLiteral("./")) ||
                   path.startsWith(QStringLiteral("../"))
               ? path
               : QStringLiteral("/dev/") + path;
}

QString lockFileName(const QString& device) {
    QString name = device.startsWith(QStringLiteral("/dev/")) ? device.mid(5) : device;
    return QStringLiteral("LCK..") + name.replace(QLatin1Char('/'), QLatin1Char('_'));
}

// What a lock file says: the process id, and in QLockFile's form the name of its program.
struct LockRecord {
    qint64 processId = 0;
    QString program;
};

std::optional<LockRecord> readLockFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QByteArray bytes = file.read(kMaxLockFileSize);
    // Ten ASCII characters (blanks, then the digits) and a newline, or QLockFile's lines: the
    // id, the program, the host, ...
    const QList<QByteArray> lines = bytes.split('\n');
    bool isNumber = false;
    const qint64 processId = lines.front().trimmed().toLongLong(&isNumber);
    if (isNumber) {
        return LockRecord{processId, lines.size() > 2 ? QString::fromUtf8(lines[1]) : QString()};
    }
    // The id as the machine's own integer, as older programs write it.
    std::int32_t binary = 0;
    if (bytes.size() == sizeof binary) {
        std::memcpy(&binary, bytes.constData(), sizeof binary);
        return LockRecord{binary, QString()};
    }
    return std::nullopt;
}

bool isRunning(qint64 processId) {
    // 0 and negative ids would name process groups, not a process.
    return processId > 0 && processId <= INT_MAX &&
           (::kill(static_cast<pid_t>(processId), 0) == 0 || errno == EPERM);
}

// QLockFile names the program by its executable's file name: a process of another program has
// taken over the id of one that ended (QLockFile itself takes such a lock as stale). A process
// whose program cannot be seen (another user's) counts as the one named.
bool runsProgram(qint64 processId, const QString& program) {
    if (program.isEmpty()) {
        return true;
    }
    QString executable =
        QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(processId))).fileName();
    executable.remove(QStringLiteral(" (deleted)"));
    return executable.isEmpty() || executable == program;
}

QString programName(qint64 processId) {
    QFile comm(QStringLiteral("/proc/%1/comm").arg(processId));
    return comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed()
                                          : QString();
}

bool lockNameTooLong(const QString& device) {
    return QFile::encodeName(lockFileName(device)).size() > NAME_MAX;
}

} // namespace

QString LineDevice(const QString& path) {
    const QString location = systemLocation(path);
    const QString device = QFileInfo(location).canonicalFilePath();
    return device.isEmpty() ? location : device;
}

QString LineLockFile(const QString& device) {
    const QString name = lockFileName(device);
    for (const QString& folder : lockFolders()) {
        const QFileInfo info(folder);
        const QString path = folder + QLatin1Char('/') + name;
        if (info.isReadable() && (QFileInfo::exists(path) || info.isWritable())) {
            return path;
        }
    }
    return QString();
}

std::optional<LineHolder> LineLockHolder(const QString& path) {
    const QString device = LineDevice(path);
    QStringList names = {lockFileName(device)};
    if (const QString given = systemLocation(path); given != device) {
        names.append(lockFileName(given));
    }
    // /var/lock is often a link to /run/lock: each folder is looked at once.
    QStringList seen;
    for (const QString& folder : lockFolders()) {
        const QString canonical = QFileInfo(folder).canonicalFilePath();
        if (canonical.isEmpty() || seen.contains(canonical)) {
            continue;
        }
        seen.append(canonical);
        for (const QString& name : names) {
            const QString lockFile = canonical + QLatin1Char('/') + name;
            if (!QFileInfo::exists(lockFile)) {
                continue;
            }
            const std::optional<LockRecord> record = readLockFile(lockFile);
            if (!record) {
                continue; // not readable here: the open tells whether it is in the way
            }
            if (isRunning(record->processId) && runsProgram(record->processId, record->program)) {
                return LineHolder{record->processId, programName(record->processId)};
            }
            // Its process has ended. Where it may not be removed the open fails on it and
            // RefusedOpenReason names it.
            (void)QFile::remove(lockFile);
        }
    }
    return std::nullopt;
}

QString InUseReason(const LineHolder& holder) {
    const QString program =
        holder.program.isEmpty() ? QStringLiteral("another program") : holder.program;
    return QStringLiteral("the port is in use by %1 (process %2): close it there first")
        .arg(program)
        .arg(holder.processId);
}

QString RefusedOpenReason(const QString& path) {
    const QString device = LineDevice(path);
    // QSerialPort locks before it opens: a lock it cannot take is what refused the open.
    if (lockNameTooLong(device)) {
        return QStringLiteral("the device path is too long for a lock file (%1 characters, "
                              "symbolic links resolved): move the device to a shorter path")
            .arg(device.size());
    }
    if (const std::optional<LineHolder> holder = LineLockHolder(path)) {
        return InUseReason(*holder);
    }
    const QString lockFile = LineLockFile(device);
    if (QFileInfo::exists(lockFile)) {
        return QStringLiteral("the lock file %1 is in the way, though no running program holds "
                              "it: remove it (as root if need be)")
            .arg(lockFile);
    }
    if (::faccessat(AT_FDCWD, QFile::encodeName(device).constData(), R_OK | W_OK, AT_EACCESS) !=
            0 &&
        (errno == EACCES || errno == EPERM)) {
        const QFileInfo node(device);
        const QFileDevice::Permissions groupReadWrite =
            QFileDevice::ReadGroup | QFileDevice::WriteGroup;
        // Joining the group helps only where the group may read and write, and root's is no
        // group to join.
        if (node.group().isEmpty() || node.groupId() == 0 ||
            (node.permissions() & groupReadWrite) != groupReadWrite) {
            return QStringLiteral("you lack permission to use the device: ask the administrator "
                                  "for access to it");
        }
        return QStringLiteral("you lack permission to use the device: join the group that owns "
                              "it, %1, then log in again (on Debian: sudo adduser $USER %1)")
            .arg(node.group());
    }
    return QStringLiteral("the device cannot be locked: the lock file %1 cannot be created")
        .arg(lockFile.isEmpty() ? QStringLiteral("for it") : lockFile);
}

#else

// Windows locks a port itself: "access denied" on COMn means another program has it open.
QString LineDevice(const QString& path) {
    return path;
}

QString LineLockFile(const QString&) {
    return QString();
}

std::optional<LineHolder> LineLockHolder(const QString&) {
    return std::nullopt;
}

QString InUseReason(const LineHolder& holder) {
    return QStringLiteral("the port is in use by another program (process %1): close it there "
                          "first")
        .arg(holder.processId);
}

QString RefusedOpenReason(const QString&) {
    return QStringLiteral("the port is in use by another program: close it there first");
}

#endif

} // namespace zq4
