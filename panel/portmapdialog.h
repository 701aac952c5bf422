#pragma once

#include "serial/devicediscovery.h"

#include <QDialog>
#include <QStringList>

#include <vector>

class QComboBox;
class QLabel;

namespace zq4 {

// "ZQ4 Ports": one row per port, Com1: to Com9:, each an editable list of the serial devices
// present now, into which any path may be typed. An empty row is not mapped and shows the
// port's default device in grey. Beside each row, what its device is, or that it is not present
// (a default device too); a name without a leading '/' is shown with the device under /dev that
// the port opens for it. Beside Refresh, how many devices were found. Stores nothing itself:
// devices() is what the operator chose.
class PortMapDialog final : public QDialog {
    Q_OBJECT
public:
    // stored: the device of Com1 .. Com9 as stored now, empty where none is mapped.
    PortMapDialog(DeviceDiscovery& discovery, const QStringList& stored, QWidget* parent = nullptr);

    // The device of Com1 .. Com9 as the rows show them, trimmed; empty: not mapped.
    QStringList devices() const;

    // Lists the devices present again; what the rows hold stays.
    void refresh();

private:
    struct Row {
        QComboBox* device = nullptr;
        QLabel* found = nullptr;
        QString stored;
    };
    void fill(Row& row, int portNumber);
    void showFound(const Row& row, int portNumber);

    DeviceDiscovery& m_discovery;
    std::vector<SerialDevice> m_present;
    std::vector<Row> m_rows;
    QLabel* m_listed = nullptr;
};

} // namespace zq4
