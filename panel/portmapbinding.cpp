#include "panel/portmapbinding.h"

#include "panel/portmap.h"
#include "panel/portmapdialog.h"
#include "serial/portselection.h"
#include "settings/keys.h"
#include "settings/portmap.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>

namespace zq4 {

PortMapBinding::PortMapBinding(QComboBox& commSel, Panel& panel, CommSelection& commSelection,
                               SettingsStore& store, DeviceDiscovery& discovery,
                               OperatorFeedback& feedback, QObject* parent)
    : QObject(parent), m_commSel(commSel), m_panel(panel), m_commSelection(commSelection),
      m_store(store), m_discovery(discovery), m_feedback(feedback),
      m_baseToolTip(commSel.toolTip()) {
    setObjectName(QStringLiteral("PortMapBinding"));
    m_commSel.installEventFilter(this);
    showEntryDevices();
    if (kPortMapOffered) {
        m_commSelection.setOpenFailureAdvice(
            [this](int portNumber) { return OpenFailureAdvice(m_store, m_discovery, portNumber); });
    }
}

PortMapDialog* PortMapBinding::openDialog() {
    const QStringList opened = PortMap(m_store).entries();
    auto* dialog = new PortMapDialog(m_discovery, opened, m_commSel.window());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this,
            [this, dialog, opened] { apply(opened, dialog->devices()); });
    dialog->show();
    return dialog;
}

void PortMapBinding::apply(const QStringList& opened, const QStringList& chosen) {
    // Another program, or the operator by hand, may have changed the map while the dialog was
    // open: only the operator's own changes are written, so nothing of theirs is undone.
    PortMap map(m_store);
    const auto [entries, conflicts] = ChangedPortMap(opened, chosen, map.entries());
    const int inUse = m_commSelection.CommNum();
    const QString deviceInUse = map.deviceFor(inUse);
    if (!entries.empty()) {
        if (const Status stored = map.store(entries); !stored) {
            m_feedback.beep();
            m_feedback.warn(keys::kApplication,
                            stored.description() +
                                QStringLiteral("\n\nThe ports keep the devices they had."));
            return;
        }
    }
    showEntryDevices();
    if (!conflicts.empty()) {
        m_feedback.beep();
        m_feedback.warn(keys::kApplication, conflictWarning(conflicts, !entries.empty()));
    }
    if (!entries.empty() && m_commSel.currentIndex() >= 0 && map.deviceFor(inUse) != deviceInUse) {
        m_panel.CommSel_Click();
    }
}

QString PortMapBinding::conflictWarning(const std::vector<PortMapConflict>& conflicts,
                                        bool othersStored) const {
    const auto shown = [](const QString& device) {
        return device.isEmpty() ? QStringLiteral("not mapped") : device;
    };
    const QString file = m_store.location(keys::kApplication);
    QStringList lines{
        QStringLiteral("While the dialog was open, the port map in %1 was changed elsewhere (by "
                       "another program, or by hand). These ports keep what is stored there; "
                       "your choice for them was not stored:")
            .arg(file.isEmpty() ? QStringLiteral("the settings") : file)};
    for (const PortMapConflict& conflict : conflicts) {
        lines << QStringLiteral("%1 %2 (your choice: %3)")
                     .arg(PortLabel(conflict.portNumber), shown(conflict.stored),
                          shown(conflict.chosen));
    }
    lines << (othersStored ? QStringLiteral("Your other changes were stored. ") : QString()) +
                 QStringLiteral("To change these ports, choose %1 again.").arg(kMapPortsEntry);
    return lines.join(u'\n');
}

QString PortMapBinding::toolTip() const {
    QStringList lines{m_baseToolTip};
    const int position = m_commSel.currentIndex();
    if (position < 0 || position >= kPortCount) {
        lines << QStringLiteral("No port is selected.");
    } else {
        const int portNumber = PortSelection()[static_cast<std::size_t>(position)].portNumber;
        const Result<bool> open = m_commSelection.port().isOpen();
        // Named as the warnings name it: "Com3: (/dev/ttyUSB0)".
        const QString named = QStringLiteral("%1 (%2)").arg(PortLabel(portNumber),
                                                            PortMap(m_store).deviceFor(portNumber));
        const QString prefix = named + QStringLiteral(": ");
        QString state = prefix;
        if (open && open.value()) {
            state += QStringLiteral("open");
        } else {
            state += QStringLiteral("not open");
            QString reason = !open ? open.description() : m_commSelection.lastFailure();
            // A failure of this port and device names them first: they are said once.
            if (reason.startsWith(prefix)) {
                reason.remove(0, prefix.size());
            }
            if (!reason.isEmpty()) {
                state += QStringLiteral(": ") + reason;
            }
        }
        lines << state;
    }
    if (kPortMapOffered) {
        lines << kMapPortsHint;
    }
    return lines.join(u'\n');
}

bool PortMapBinding::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &m_commSel) {
        return false;
    }
    if (event->type() == QEvent::ToolTip) {
        m_commSel.setToolTip(toolTip());
        return false;
    }
    if (!kPortMapOffered) {
        return false;
    }
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool shiftF10 = key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier;
        if (key->key() == Qt::Key_Menu || shiftF10) {
            showMenu(m_commSel.mapToGlobal(m_commSel.rect().bottomLeft()));
            return true;
        }
    } else if (event->type() == QEvent::ContextMenu) {
        // The keyboard's own context-menu event is answered by its key press above.
        const auto* request = static_cast<QContextMenuEvent*>(event);
        if (request->reason() != QContextMenuEvent::Keyboard) {
            showMenu(request->globalPos());
        }
        return true;
    }
    return false;
}

void PortMapBinding::showMenu(const QPoint& globalPosition) {
    auto* menu = new QMenu(&m_commSel);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(kMapPortsEntry, this, [this] { openDialog(); });
    menu->popup(globalPosition);
}

void PortMapBinding::showEntryDevices() {
    const QStringList devices = PortMap(m_store).devices();
    for (const PortEntry& entry : PortSelection()) {
        m_commSel.setItemData(entry.portNumber - 1, devices.at(entry.portNumber - 1),
                              Qt::ToolTipRole);
    }
}

} // namespace zq4
