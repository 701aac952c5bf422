#include "serial/devicewatch.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>

namespace zq4 {

namespace {

#ifdef Q_OS_LINUX

const QString kDevices = QStringLiteral("/dev");
const QString kPseudoTerminals = QStringLiteral("/dev/pts/");

// The folders to watch for a device at `path`: the nearest of its folders that exists, and that
// of the device a link there leads to.
QStringList foldersFor(const QString& path) {
    const QString device = QDir::cleanPath(path);
    if (!QDir::isAbsolutePath(device) || device.startsWith(kPseudoTerminals)) {
        return {};
    }
    const QString top = device.startsWith(kDevices + u'/') ? kDevices : QDir::rootPath();
    QString folder = QFileInfo(device).path();
    while (!QFileInfo(folder).isDir() && folder != top) {
        folder = QFileInfo(folder).path();
    }
    QStringList folders;
    if (QFileInfo(folder).isDir()) {
        folders << folder;
    }
    const QFileInfo link(device);
    if (const QString target = link.canonicalFilePath();
        link.isSymLink() && !target.isEmpty() && !target.startsWith(kPseudoTerminals)) {
        if (const QString targetFolder = QFileInfo(target).path();
            !folders.contains(targetFolder)) {
            folders << targetFolder;
        }
    }
    return folders;
}

#else

QStringList foldersFor(const QString& /*path*/) {
    return {};
}

#endif

} // namespace

DeviceWatch::DeviceWatch(QObject* parent) : QObject(parent) {}

DeviceWatch::~DeviceWatch() = default;

void DeviceWatch::watch(const QString& device) {
    m_device = device;
    follow();
}

void DeviceWatch::stop() {
    m_device.clear();
    if (m_watcher != nullptr && !m_watcher->directories().isEmpty()) {
        m_watcher->removePaths(m_watcher->directories());
    }
}

QStringList DeviceWatch::folders() const {
    return m_watcher != nullptr ? m_watcher->directories() : QStringList();
}

// Watches the folders where the device is looked for now; its folders may have come or gone.
void DeviceWatch::follow() {
    const QStringList wanted = m_device.isEmpty() ? QStringList() : foldersFor(m_device);
    if (m_watcher == nullptr) {
        if (wanted.isEmpty()) {
            return;
        }
        m_watcher = std::make_unique<QFileSystemWatcher>();
        connect(m_watcher.get(), &QFileSystemWatcher::directoryChanged, this, [this] {
            follow();
            emit changed();
        });
    }
    QStringList gone = m_watcher->directories();
    gone.removeIf([&wanted](const QString& folder) { return wanted.contains(folder); });
    if (!gone.isEmpty()) {
        m_watcher->removePaths(gone);
    }
    QStringList added = wanted;
    added.removeIf(
        [this](const QString& folder) { return m_watcher->directories().contains(folder); });
    if (!added.isEmpty()) {
        m_watcher->addPaths(added);
    }
}

} // namespace zq4
