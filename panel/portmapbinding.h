#pragma once

#include "core/feedback.h"
#include "panel/commselection.h"
#include "panel/panel.h"
#include "panel/portmap.h"
#include "serial/devicediscovery.h"
#include "settings/portmap.h"
#include "settings/store.h"

#include <QObject>
#include <QStringList>

#include <vector>

class QComboBox;

namespace zq4 {

class PortMapDialog;

// Binds the port map to the port list: its menu ("Map ports to devices...", on a right-click,
// the context-menu key or Shift+F10) opens the dialog; the list's tooltip tells the selected
// port's device and whether it is open, and the advice for a port that cannot be opened says
// where the map is changed. Not offered on Windows, where the tooltip alone is kept.
class PortMapBinding final : public QObject {
    Q_OBJECT
public:
    PortMapBinding(QComboBox& commSel, Panel& panel, CommSelection& commSelection,
                   SettingsStore& store, DeviceDiscovery& discovery, OperatorFeedback& feedback,
                   QObject* parent = nullptr);

    // Shows the dialog, modal, and returns at once; OK applies what it holds.
    PortMapDialog* openDialog();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Stores the rows the operator changed from the map the dialog opened with, in one write,
    // against the map as stored now; a row changed in the store meanwhile too keeps the store's
    // entry, and a box names it. A failed write beeps and shows a box and leaves the map as it
    // was. When the device of the port in use changed, the port is picked again, so the next
    // send goes to the new device.
    void apply(const QStringList& opened, const QStringList& chosen);
    // Names the ports whose change was not stored, and what they keep.
    QString conflictWarning(const std::vector<PortMapConflict>& conflicts, bool othersStored) const;
    // The port list's tooltip as it stands now.
    QString toolTip() const;
    void showMenu(const QPoint& globalPosition);
    void showEntryDevices();

    QComboBox& m_commSel;
    Panel& m_panel;
    CommSelection& m_commSelection;
    SettingsStore& m_store;
    DeviceDiscovery& m_discovery;
    OperatorFeedback& m_feedback;
    QString m_baseToolTip;
};

} // namespace zq4
