#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QFileSystemWatcher;

namespace zq4 {

// Watches for a device to come back at its path, and tells each change where it is looked for.
// On Linux it watches, through the kernel's notifications of changes to files (inotify), the
// nearest folder of the path that exists (never one above /dev for a device under it: a USB
// adapter's /dev/serial/by-id goes with the last adapter), and, while the path is a link to a
// device, that device's folder too (its group may be set a moment after it appears). It follows
// the path down as its folders come back. It never polls: nothing wakes the program until
// something changes there. A pseudo-terminal is never watched for: its number goes to whichever
// terminal is opened next. Elsewhere it watches nothing.
class DeviceWatch final : public QObject {
    Q_OBJECT
public:
    explicit DeviceWatch(QObject* parent = nullptr);
    ~DeviceWatch() override;

    // Watches for `device` from now on, instead of what was watched before.
    void watch(const QString& device);
    void stop();
    // The folders watched now: none while nothing is.
    QStringList folders() const;

signals:
    // Something changed where the device is looked for: it may be back.
    void changed();

private:
    void follow();

    QString m_device;
    std::unique_ptr<QFileSystemWatcher> m_watcher; // made at the first watch
};

} // namespace zq4
