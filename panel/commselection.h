#pragma once

#include "core/feedback.h"
#include "serial/devicewatch.h"
#include "serial/port.h"
#include "settings/store.h"

#include <cstdint>
#include <functional>

namespace zq4 {

// The port-selection routine, with the port number in use (CommNum) and whether the last pick
// met a failure (PortError), which live as long as the window. While the port in use is not
// open (lost, or its last pick failed), its device is watched for (on Linux): at each change
// where it is looked for, the routine runs again, telling nothing, so that an adapter plugged
// back in is used again without a pick.
class CommSelection {
public:
    // Installs the port's LostHandler: a port lost while open is reported like a failed step.
    CommSelection(SerialPort& port, SettingsStore& store, OperatorFeedback& feedback);
    ~CommSelection();
    CommSelection(const CommSelection&) = delete;
    CommSelection& operator=(const CommSelection&) = delete;

    // Runs when an entry of the port list is picked; selectedPosition is the list's
    // selection (-1 when none). Each failing step beeps, sets PortError and shows a warning
    // box, then the next step runs; a failure up to the open ends the routine unsaved.
    void CommSel_Click(int selectedPosition);
    // Runs the routine for the selected port when the port is not open, as a SEND does before
    // it writes, telling the operator nothing itself: returns the first failure as the pick's box
    // would show it, or an empty text once the port is open.
    QString reopen(int selectedPosition);

    std::int16_t CommNum() const { return m_commNum; }
    void setCommNum(std::int16_t portNumber) { m_commNum = portNumber; }
    std::int16_t PortError() const { return m_portError; }
    // The description of the last failure since the latest pick began; empty when none.
    QString lastFailure() const { return m_lastFailure; }

    // What to tell the operator, after the description, when a port number's device cannot be
    // opened; the description alone when unset or empty.
    using OpenFailureAdvice = std::function<QString(int portNumber)>;
    void setOpenFailureAdvice(OpenFailureAdvice advice) { m_openFailureAdvice = std::move(advice); }

    SerialPort& port() { return m_port; }

    // Called after each pick, whatever it came to, and when the open port is lost: whoever
    // follows the port (the line shared with scripts) looks at it again.
    using PortFollower = std::function<void()>;
    void setPortFollower(PortFollower follower) { m_portFollower = std::move(follower); }

private:
    // The routine's steps; each failure is shown when `tell`, and noted either way.
    void select(int selectedPosition, bool tell);
    void runSteps(int selectedPosition);
    void reportFailure(const QString& description, const QString& advice = QString());
    void followPort();
    bool portIsOpen() const;
    // Watches for the device of the port in use while the port is not open.
    void watchWhileClosed();
    void deviceChanged();

    SerialPort& m_port;
    SettingsStore& m_store;
    OperatorFeedback& m_feedback;
    std::int16_t m_commNum = 0;
    std::int16_t m_portError = 0;
    QString m_lastFailure;
    OpenFailureAdvice m_openFailureAdvice;
    PortFollower m_portFollower;
    bool m_tell = true;     // whether failures are shown as they come
    QString m_firstFailure; // of the latest run, with its advice
    bool m_running = false; // a run of the routine waits for the operator (a box is up)
    bool m_changedMeanwhile = false;
    DeviceWatch m_deviceWatch;
};

} // namespace zq4
