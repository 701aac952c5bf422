#pragma once

#include "core/feedback.h"
#include "panel/classicstyle.h"
#include "panel/commselection.h"
#include "panel/panel.h"
#include "panel/panelvalues.h"
#include "panel/portmapbinding.h"
#include "serial/devicediscovery.h"
#include "serial/port.h"
#include "settings/store.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace zq4 {

class AddressScrollBar;
class PanelList;
struct ControlLayout;

// What the window works through: the user's settings store, the serial port, what the
// operator is shown and the serial devices present. They must outlive the window.
struct ControlPanelParts {
    SettingsStore& store;
    SerialPort& port;
    OperatorFeedback& feedback;
    DeviceDiscovery& discovery;
};

// The window ZQ4. Its controls hold the panel values; the operator's events run the routines
// (a pick in CommSel, a move of VScroll1, SEND), and creating it runs Form_Load, so a start-up
// warning comes up before the window is shown. Setting a value from code runs nothing.
class ControlPanel final : public QWidget, public PanelValues {
    Q_OBJECT
public:
    explicit ControlPanel(const ControlPanelParts& parts);
    ~ControlPanel() override;

    int portPosition() const override;
    void setPortPosition(int position) override;
    int address() const override;
    void setAddress(int address) override;
    int brightness() const override;
    void setBrightness(int position) override;
    int message() const override;
    void setMessage(int position) override;
    QString customText() const override;
    void setCustomText(const QString& text) override;
    QString shownAddress() const override;
    void setShownAddress(const QString& text) override;

    Panel& panel() { return m_panel; }
    CommSelection& commSelection() { return m_commSelection; }
    PortMapBinding& portMap() { return *m_portMap; }

private:
    void createControls();
    void bindEvents();
    // The control, named, placed, worded and coloured as the layout has the control of that name.
    template <class Control> Control* laidOut(Control* control, const char* name);

    // Set on the window, its controls and their popups. It goes before them (members go before
    // the widgets inside the window); a widget whose style is gone falls back to the
    // application's, and nothing is drawn while the window is taken apart.
    ClassicStyle m_style;
    OperatorFeedback& m_feedback;
    CommSelection m_commSelection;
    Panel m_panel;

    PanelList* m_commSel = nullptr;
    QLineEdit* m_text1 = nullptr;
    AddressScrollBar* m_vScroll1 = nullptr;
    PanelList* m_message = nullptr;
    PanelList* m_brtVal = nullptr;
    QPushButton* m_sendButton = nullptr;
    QLineEdit* m_addrDis = nullptr;
    PortMapBinding* m_portMap = nullptr;
};

} // namespace zq4
