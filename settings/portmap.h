#pragma once

#include "core/status.h"
#include "settings/store.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <vector>

namespace zq4 {

// The operator's map from port number to device, kept in the group "Ports" of the store
// ("Com3=/dev/ttyUSB0"): the one place that reads and writes it. Every read asks the store
// afresh: another program, or the operator by hand, may change the map at any time. On Windows
// each port is its own device, COM<n>, whatever is stored.
class PortMap {
public:
    explicit PortMap(SettingsStore& store) : m_store(store) {}

    // The device a port opens: its entry (as EntryDevice), else its default device.
    QString deviceFor(int portNumber) const;
    // The device of every port, Com1 .. Com9 in order, from one read.
    QStringList devices() const;
    // The entries as stored, Com1 .. Com9 in order, trimmed; empty where a port is not mapped.
    QStringList entries() const;
    // Stores the entry of each port given, in one write, the other entries left as they are; an
    // empty entry removes the port's (not mapped). Nothing is stored when it fails.
    Status store(const std::map<int, QString>& entries);
    // Where the operator changes the map, to name in advice ("the group [Ports] of
    // /home/ann/.config/ZQ4/ZQ4.ini"); empty on Windows, where ports are not mapped.
    QString location() const;
    // deviceFor, for whoever opens ports; it needs the store, not this object.
    std::function<QString(int portNumber)> lookup() const;

    // The device of a port that is not mapped: "COM<n>" on Windows, else "/dev/ttyS<n-1>".
    static QString DefaultDevice(int portNumber);
    // The device a port opens for its entry, blanks around it ignored: its default device when
    // the entry is empty, and on Windows always. A name without a leading '/' is a device under
    // /dev ("ttyUSB0" is /dev/ttyUSB0), wherever the program was started.
    static QString EntryDevice(const QString& entry, int portNumber);

private:
    SettingsStore& m_store;
};

// A port whose row the operator changed in the map's dialog while its entry in the store was
// changed too, to another device.
struct PortMapConflict {
    int portNumber = 0;
    QString chosen; // the row as the operator left it; empty: not mapped
    QString stored; // the store's entry now; empty: not mapped
};

// What the dialog's OK stores: the rows the operator changed since the dialog opened, each
// applied to the map as stored now. A row whose entry was changed in the store meanwhile too
// keeps the stored entry and is a conflict, unless both changed it alike. Each list holds
// Com1 .. Com9, trimmed.
struct PortMapChanges {
    std::map<int, QString> entries; // port number -> entry to store; empty: not mapped
    std::vector<PortMapConflict> conflicts;
};
PortMapChanges ChangedPortMap(const QStringList& opened, const QStringList& chosen,
                              const QStringList& stored);

} // namespace zq4
