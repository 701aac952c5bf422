#include "serial/commselection.h"

#include "serial/portselection.h"
#include "settings/keys.h"

namespace zq4 {

CommSelection::CommSelection(SerialPort& port, SettingsStore& store, OperatorFeedback& feedback)
    : m_port(port), m_store(store), m_feedback(feedback) {
    m_port.setLostHandler([this](const QString& description) { reportFailure(description); });
}

CommSelection::~CommSelection() {
    m_port.setLostHandler(nullptr);
}

void CommSelection::CommSel_Click(int selectedPosition) {
    // 1
    m_portError = 0;

    // 2: without a valid selection the previous port number stays.
    if (selectedPosition >= 0 && selectedPosition < kPortCount) {
        m_commNum = PortSelection()[static_cast<std::size_t>(selectedPosition)].portNumber;
    } else {
        reportFailure(QStringLiteral("No entry of the port list is selected: %1 stays in use")
                          .arg(PortLabel(m_commNum)));
    }

    // 3: a failing test still goes on to the close.
    const Result<bool> open = m_port.portOpen();
    if (!open) {
        reportFailure(open.description());
    }
    if (!open || open.value()) {
        if (const Status closed = m_port.setPortOpen(false); !closed) {
            reportFailure(closed.description());
        }
    }

    // 4
    if (const Status selected = m_port.setCommPort(m_commNum); !selected) {
        reportFailure(selected.description());
    }

    // 5
    if (const Status opened = m_port.setPortOpen(true); !opened) {
        reportFailure(opened.description());
    }

    // 6: nothing is saved after a failure up to the open.
    if (m_portError != 0) {
        return;
    }

    // 7
    if (const Status saved = m_store.PutSetting(keys::kApplication, keys::kStartup, keys::kDakcomm,
                                                QString::number(m_commNum));
        !saved) {
        reportFailure(saved.description());
    }

    // 8
    if (const Status length = m_port.setInputLen(0); !length) {
        reportFailure(length.description());
    }

    // 9: whatever the port received so far is discarded, never interpreted.
    if (const Result<QByteArray> received = m_port.input(); !received) {
        reportFailure(received.description());
    }
}

void CommSelection::reportFailure(const QString& description) {
    m_feedback.beep();
    m_portError = 1;
    m_feedback.warn(keys::kApplication, description);
}

} // namespace zq4
