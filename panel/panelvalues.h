#pragma once

#include <QString>

namespace zq4 {

// The panel values, one per control, as the routines read and write them. Setting a value
// here runs nothing: the routines themselves run what a pick or a change sets off.
class PanelValues {
public:
    virtual ~PanelValues() = default;

    virtual int portPosition() const = 0; // position in the port list (CommSel), -1 = none
    virtual void setPortPosition(int position) = 0;
    virtual int address() const = 0; // address code 0..128 (VScroll1)
    virtual void setAddress(int address) = 0;
    virtual int brightness() const = 0; // position in the brightness list (BrtVal), -1 = none
    virtual void setBrightness(int position) = 0;
    virtual int message() const = 0; // position in the message list (Message), -1 = none
    virtual void setMessage(int position) = 0;
    virtual QString customText() const = 0; // the custom text (Text1)
    virtual void setCustomText(const QString& text) = 0;
    virtual QString shownAddress() const = 0; // the address as AddrDis shows it
    virtual void setShownAddress(const QString& text) = 0;
};

// The panel values on their own, for running the routines without a window.
class PlainPanelValues : public PanelValues {
public:
    int portPosition() const override { return m_portPosition; }
    void setPortPosition(int position) override { m_portPosition = position; }
    int address() const override { return m_address; }
    void setAddress(int address) override { m_address = address; }
    int brightness() const override { return m_brightness; }
    void setBrightness(int position) override { m_brightness = position; }
    int message() const override { return m_message; }
    void setMessage(int position) override { m_message = position; }
    QString customText() const override { return m_customText; }
    void setCustomText(const QString& text) override { m_customText = text; }
    QString shownAddress() const override { return m_shownAddress; }
    void setShownAddress(const QString& text) override { m_shownAddress = text; }

private:
    int m_portPosition = -1;
    int m_address = 0;
    int m_brightness = -1;
    int m_message = -1;
    QString m_customText;
    QString m_shownAddress;
};

} // namespace zq4
