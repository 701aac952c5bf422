#pragma once

#include <QString>

namespace zq4 {

// The panel values, one per control, as the routines read and write them. Setting a value
// here runs nothing: the routines themselves run what a pick or a change sets off.
class PanelValues {
public:
    virtual ~PanelValues() = default;

    virtual int commSel() const = 0; // port list position, -1 = none
    virtual void setCommSel(int position) = 0;
    virtual int vScroll1() const = 0; // address 0..128
    virtual void setVScroll1(int address) = 0;
    virtual int brtVal() const = 0; // brightness position, -1 = none
    virtual void setBrtVal(int position) = 0;
    virtual int message() const = 0; // message position, -1 = none
    virtual void setMessage(int position) = 0;
    virtual QString text1() const = 0; // custom text
    virtual void setText1(const QString& text) = 0;
    virtual QString addrDis() const = 0; // the address as shown
    virtual void setAddrDis(const QString& text) = 0;
};

// The panel values on their own, for running the routines without a window.
class PlainPanelValues : public PanelValues {
public:
    int commSel() const override { return m_commSel; }
    void setCommSel(int position) override { m_commSel = position; }
    int vScroll1() const override { return m_vScroll1; }
    void setVScroll1(int address) override { m_vScroll1 = address; }
    int brtVal() const override { return m_brtVal; }
    void setBrtVal(int position) override { m_brtVal = position; }
    int message() const override { return m_message; }
    void setMessage(int position) override { m_message = position; }
    QString text1() const override { return m_text1; }
    void setText1(const QString& text) override { m_text1 = text; }
    QString addrDis() const override { return m_addrDis; }
    void setAddrDis(const QString& text) override { m_addrDis = text; }

private:
    int m_commSel = -1;
    int m_vScroll1 = 0;
    int m_brtVal = -1;
    int m_message = -1;
    QString m_text1;
    QString m_addrDis;
};

} // namespace zq4
