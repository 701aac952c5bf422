#pragma once

#include "core/feedback.h"
#include "panel/classicstyle.h"
#include "panel/commselection.h"
#include "panel/panel.h"
#include "panel/panelfont.h"
#include "panel/panelvalues.h"
#include "panel/portmapbinding.h"
#include "serial/devicediscovery.h"
#include "serial/port.h"
#include "settings/store.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;

namespace zq4 {

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

    int commSel() const override;
    void setCommSel(int position) override;
    int vScroll1() const override;
    void setVScroll1(int address) override;
    int brtVal() const override;
    void setBrtVal(int position) override;
    int message() const override;
    void setMessage(int position) override;
    QString text1() const override;
    void setText1(const QString& text) override;
    QString addrDis() const override;
    void setAddrDis(const QString& text) override;

    Panel& panel() { return m_panel; }
    CommSelection& commSelection() { return m_commSelection; }
    PortMapBinding& portMap() { return *m_portMap; }

    // What each control must show whole and the room it has: what the font is chosen by.
    QList<TextRoom> textRooms() const;

private:
    void createControls();
    void bindEvents();

    // Set on the window, its controls and their popups. It goes before them (members go before
    // the widgets inside the window); a widget whose style is gone falls back to the
    // application's, and nothing is drawn while the window is taken apart.
    ClassicStyle m_style;
    CommSelection m_commSelection;
    Panel m_panel;

    QLabel* m_image1 = nullptr;
    QComboBox* m_commSel = nullptr;
    QLineEdit* m_text1 = nullptr;
    QScrollBar* m_vScroll1 = nullptr;
    QComboBox* m_message = nullptr;
    QComboBox* m_brtVal = nullptr;
    QPushButton* m_sendButton = nullptr;
    QLineEdit* m_addrDis = nullptr;
    PortMapBinding* m_portMap = nullptr;
};

} // namespace zq4
