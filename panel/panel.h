#pragma once

#include "core/feedback.h"
#include "panel/commselection.h"
#include "panel/panelvalues.h"
#include "settings/store.h"

#include <QSet>
#include <QString>

namespace zq4 {

// The routines that run on the window's events, working on the panel values.
class Panel {
public:
    Panel(PanelValues& values, CommSelection& commSelection, SettingsStore& store,
          OperatorFeedback& feedback);

    // Restores the stored choices and opens the stored port; runs before the window shows.
    void Form_Load();
    // The address scroll bar's one routine, run by both its events: VScroll1_Change when its
    // value has changed, VScroll1_Scroll at each move of its thumb while it is dragged, so the
    // shown address follows the thumb. AddrDis = "ALL" for 128, else the address as decimal text.
    void VScroll1_Change();
    void VScroll1_Scroll() { VScroll1_Change(); }
    // Writes the command frame to the port in one write, then stores the choices in one put. A
    // port that is not open is picked again first. Beeps once when the frame was not written or
    // the choices not stored. What kept a whole frame from going out is shown in a box: the port
    // that could not be opened again each time, a busy line once per burst; a store failure once
    // per run. One box at most: what comes together shares it.
    void SendButton_Click();
    void CommSel_Click();

    // Setting the port list's selection to an entry counts as a pick: it runs CommSel_Click.
    void setPortPosition(int position);
    // Setting the address to a different value counts as a change: it runs VScroll1_Change.
    void setAddress(int address);

private:
    PanelValues& m_values;
    CommSelection& m_commSelection;
    SettingsStore& m_store;
    OperatorFeedback& m_feedback;
    QSet<QString> m_shownStoreFailures; // descriptions of store failures already shown by SEND
    bool m_busyShown = false;           // the busy line was told, and no frame went through since
};

} // namespace zq4
