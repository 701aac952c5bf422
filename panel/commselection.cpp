#include "panel/commselection.h"

#include "serial/portselection.h"
#include "settings/keys.h"
#include "settings/portmap.h"
#include "settings/storedchoices.h"

#include <QScopeGuard>

namespace zq4 {

CommSelection::CommSelection(SerialPort& port, SettingsStore& store, OperatorFeedback& feedback)
    : m_port(port), m_store(store), m_feedback(feedback) {
    m_port.setLostHandler([this](const QString& description) {
        // Watched for before the operator is told, so that it is seen if it comes back while the
        // box is up.
        watchWhileClosed();
        followPort();
        const bool told = m_tell;
        m_tell = true;
        reportFailure(description);
        m_tell = told;
    });
    QObject::connect(&m_deviceWatch, &DeviceWatch::changed, [this] { deviceChanged(); });
}

CommSelection::~CommSelection() {
    m_port.setLostHandler(nullptr);
}

void CommSelection::CommSel_Click(int selectedPosition) {
    select(selectedPosition, true);
}

QString CommSelection::reopen(int selectedPosition) {
    if (portIsOpen()) {
        return QString();
    }
    if (selectedPosition < 0 || selectedPosition >= kPortCount) {
        return QStringLiteral(
            "No port is selected in the port list: pick the display's port there");
    }
    select(selectedPosition, false);
    // What failed after the open (storing the port, emptying its input) does not keep a frame
    // from going out.
    return portIsOpen() ? QString() : m_firstFailure;
}

void CommSelection::select(int selectedPosition, bool tell) {
    const auto followed = qScopeGuard([this] { followPort(); });
    const bool told = m_tell;
    m_tell = tell;
    m_running = true;
    runSteps(selectedPosition);
    m_running = false;
    m_tell = told;
    watchWhileClosed();
    // The device may have come back while a box of this run was up.
    if (m_changedMeanwhile) {
        m_changedMeanwhile = false;
        deviceChanged();
    }
}

void CommSelection::runSteps(int selectedPosition) {
    // A fresh pick starts without a failure.
    m_portError = 0;
    m_lastFailure.clear();
    m_firstFailure.clear();

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
    m_portError = 1;
    m_lastFailure = description;
    const QString text =
        advice.isEmpty() ? description : description + QStringLiteral("\n\n") + advice;
    if (m_firstFailure.isEmpty()) {
        m_firstFailure = text;
    }
    if (m_tell) {
        m_feedback.beep();
        m_feedback.warn(keys::kApplication, text);
    }
}

bool CommSelection::portIsOpen() const {
    const Result<bool> open = m_port.isOpen();
    return open && open.value();
}

void CommSelection::watchWhileClosed() {
    if (portIsOpen() || m_commNum < 1 || m_commNum > kPortCount) {
        m_deviceWatch.stop();
    } else {
        m_deviceWatch.watch(PortMap(m_store).deviceFor(m_commNum));
    }
}

// Something changed where the device of the port in use is looked for: it may be back. It is
// tried silently; the next SEND tells what keeps it from opening.
void CommSelection::deviceChanged() {
    if (m_running) {
        m_changedMeanwhile = true;
        return;
    }
    (void)reopen(m_commNum - 1);
}

} // namespace zq4
