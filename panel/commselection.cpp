#include "panel/commselection.h"

#include "serial/portselection.h"
#include "settings/keys.h"
#include "settings/storedchoices.h"

#include <QScopeGuard>

namespace zq4 {

CommSelection::CommSelection(SerialPort& port, SettingsStore& store, OperatorFeedback& feedback)
    : m_port(port), m_store(store), m_feedback(feedback) {
    m_port.setLostHandler([this](const QString& description) {
        followPort();
        reportFailure(description);
    });
}

CommSelection::~CommSelection() {
    m_port.setLostHandler(nullptr);
}

void CommSelection::CommSel_Click(int selectedPosition) {
    const auto followed = qScopeGuard([this] { followPort(); });
    // A fresh pick starts without a failure.
    m_portError = 0;
    m_lastFailure.clear();

    // The picked entry's port number; without a valid selection the previous one stays.
    if (selectedPosition >= 0 && selectedPosition < kPortCount) {
        m_commNum = PortSelection()[static_cast<std::size_t>(selectedPosition)].portNumber;
    } else {
        reportFailure(QStringLiteral("No entry of the port list is selected: %1 stays in use")
                          .arg(PortLabel(m_commNum)));
    }

    // Let go of the port in use; when it cannot even tell whether it is open, close it anyway.
    // What still waits for the line holds the pick for a few seconds at most.
    const Result<bool> open = m_port.isOpen();
    if (!open) {
        reportFailure(open.description());
    }
    if (!open || open.value()) {
        if (const Status closed = m_port.close(kLongestClose); !closed) {
            reportFailure(closed.description());
        }
    }

    // Open the picked port's device with the line settings.
    if (const Status opened = m_port.open(m_commNum); !opened) {
        reportFailure(opened.description(),
                      m_openFailureAdvice ? m_openFailureAdvice(m_commNum) : QString());
    }

    // After a failure up to here (no selection, close, open) nothing is saved.
    if (m_portError != 0) {
        return;
    }

    // Remember the port for the next start.
    if (const Status saved = StoredChoices::StorePort(m_store, m_commNum); !saved) {
        reportFailure(saved.description());
    }

    // Empty the receive buffer: what arrived so far is discarded, never interpreted.
    if (const Status discarded = m_port.discardInput(); !discarded) {
        reportFailure(discarded.description());
    }
}

void CommSelection::followPort() {
    if (m_portFollower) {
        m_portFollower();
    }
}

void CommSelection::reportFailure(const QString& description, const QString& advice) {
    m_feedback.beep();
    m_portError = 1;
    m_lastFailure = description;
    m_feedback.warn(keys::kApplication,
                    advice.isEmpty() ? description : description + QStringLiteral("\n\n") + advice);
}

} // namespace zq4
