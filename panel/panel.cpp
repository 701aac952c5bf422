#include "panel/panel.h"

#include "protocol/frame.h"
#include "protocol/vocabulary.h"
#include "settings/keys.h"
#include "settings/storedchoices.h"

namespace zq4 {

Panel::Panel(PanelValues& values, CommSelection& commSelection, SettingsStore& store,
             OperatorFeedback& feedback)
    : m_values(values), m_commSelection(commSelection), m_store(store), m_feedback(feedback) {}

void Panel::Form_Load() {
    // A stored value that is not a decimal integer, or lies outside the range of the control it
    // feeds, gives that key's default: start-up never fails on the store.
    const StoredChoices stored = StoredChoices::Read(m_store);
    m_commSelection.setCommNum(stored.port);
    setPortPosition(stored.port - 1);
    setAddress(stored.address);
    m_values.setBrightness(stored.brightness);
    m_values.setMessage(stored.message);
    m_values.setCustomText(stored.text);
    // Shown even when the stored address left the scroll bar where it was.
    VScroll1_Change();
}

void Panel::VScroll1_Change() {
    m_values.setShownAddress(AddressText(m_values.address()));
}

void Panel::SendButton_Click() {
    const FrameInputs inputs{
        .text = m_values.customText(),
        .brightnessCode = static_cast<std::int16_t>(m_values.brightness()),
        .messageCode = static_cast<std::int16_t>(m_values.message()),
        .addressCode = static_cast<std::int16_t>(m_values.address()),
    };
    // Only a whole frame is written: one without its code segment (no brightness or no message
    // selected) or without its text field would tell the display nothing it can act on. A frame
    // that is not written, for that or because the port refused it (not open, or the line busy),
    // is told by a beep; the choices are still stored below.
    bool frameWritten = false;
    QStringList told; // the texts of this SEND's one box
    if (!CodeBytes(inputs.brightnessCode, inputs.messageCode, inputs.addressCode) ||
        !TextField(inputs.text)) {
        // Nothing to send: the beep below tells it.
    } else if (const QString reopenFailure = m_commSelection.reopen(m_values.portPosition());
               !reopenFailure.isEmpty()) {
        // A port that is not open (lost, or its last pick failed) is picked again first, so that
        // an adapter plugged back in is used without a pick; when that fails, the operator is
        // told why, once for this SEND.
        told << reopenFailure;
    } else {
        const WriteStatus written = m_commSelection.port().write(BuildFrame(inputs));
        frameWritten = written.ok();
        // A busy line is told once for a burst of SENDs: a box for the first one it refuses, and
        // again only once a frame has gone through.
        if (written.busy && !m_busyShown) {
            told << written.description();
        }
        m_busyShown = (m_busyShown || written.busy) && !frameWritten;
    }

    const Status stored = StoredChoices{.address = inputs.addressCode,
                                        .brightness = inputs.brightnessCode,
                                        .message = inputs.messageCode,
                                        .text = inputs.text}
                              .storeSent(m_store);
    // One beep per SEND, whatever failed. A store that cannot be written usually stays so: its
    // box comes up the first time, not on every SEND.
    if (!frameWritten || !stored) {
        m_feedback.beep();
    }
    if (!stored && !m_shownStoreFailures.contains(stored.description())) {
        m_shownStoreFailures.insert(stored.description());
        told << stored.description();
    }
    if (!told.isEmpty()) {
        m_feedback.warn(keys::kApplication, told.join(QStringLiteral("\n\n")));
    }
}

void Panel::CommSel_Click() {
    m_commSelection.CommSel_Click(m_values.portPosition());
}

void Panel::setPortPosition(int position) {
    m_values.setPortPosition(position);
    // Clearing the selection (a stored port 0) picks nothing: the port stays closed.
    if (position >= 0) {
        CommSel_Click();
    }
}

void Panel::setAddress(int address) {
    if (address == m_values.address()) {
        return;
    }
    m_values.setAddress(address);
    VScroll1_Change();
}

} // namespace zq4
