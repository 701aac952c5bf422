#include "panel/commselection.h"

#include "serial/portselection.h"
#include "settings/keys.h"

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
    const Result<bool> open = m_port.portOpen();
    if (!open) {
        reportFailure(open.description());
    }
    if (!open || open.value()) {
        if (const Status closed = m_port.setPortOpen(false); !closed) {
            reportFailure(closed.description());
        }
    }

    // Point the port at the picked number, then open it with the line settings.
    if (const Status selected = m_port.setCommPort(m_commNum); !selected) {
        reportFailure(selected.description());
    }

    if (const Status opened = m_port.setPortOpen(true); !opened) {
        reportFailure(opened.description(),
                      m_openFailureAdvice ? m_openFailureAdvice(m_commNum) : QString());
    }

    // After a failure up to here (no selection, close, port number, open) nothing is saved.
    if (m_portError != 0) {
        return;
    }

    // Remember the port for the next start. A store that already holds it is not rewritten:
    // the file would come out the same, at the cost of a synced write on every start.
    const QString portNumber = QString::number(m_commNum);
    if (m_store.GetSetting(keys::kApplication, keys::kStartup, keys::kDakcomm, QString()) !=
        portNumber) {
        if (const Status saved =
                m_store.PutSetting(keys::kApplication, keys::kStartup, keys::kDakcomm, portNumber);
            !saved) {
            reportFailure(saved.description());
        }
    }

    // Empty the receive buffer: the next read takes everything that arrived so far, and
    // what it returns is discarded, never interpreted.
    if (const Status length = m_port.setInputLen(0); !length) {
        reportFailure(length.description());
    }

    if (const Result<QByteArray> received = m_port.input(); !received) {
        reportFailure(received.description());
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
