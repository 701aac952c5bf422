#include "panel/panelcontrols.h"

#include "panel/classicstyle.h"

#include "protocol/codepage.h"
#include "protocol/vocabulary.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>

#include <algorithm>

namespace zq4 {

namespace {

// What assistive technology reads from the address scroll bar: its value is the address, and as
// text "ALL" for 128, as the display shows it.
class AddressScrollBarAccessible final : public QAccessibleWidget,
                                         public QAccessibleValueInterface {
public:
    explicit AddressScrollBarAccessible(AddressScrollBar* bar)
        : QAccessibleWidget(bar, QAccessible::ScrollBar) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface) {
            return static_cast<QAccessibleValueInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text type) const override {
        return type == QAccessible::Value ? AddressText(bar()->address())
                                          : QAccessibleWidget::text(type);
    }

    QVariant currentValue() const override { return bar()->address(); }
    void setCurrentValue(const QVariant& value) override { bar()->setAddress(value.toInt()); }
    QVariant maximumValue() const override { return kMaxAddress; }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }

private:
    AddressScrollBar* bar() const { return static_cast<AddressScrollBar*>(widget()); }
};

QAccessibleInterface* addressScrollBarAccessible(const QString& /*className*/, QObject* object) {
    if (auto* bar = dynamic_cast<AddressScrollBar*>(object)) {
        return new AddressScrollBarAccessible(bar);
    }
    return nullptr;
}

} // namespace

PanelList::PanelList(ClassicStyle& style, QWidget* parent) : QComboBox(parent), m_style(style) {
    setEditable(false);
}

void PanelList::showPopup() {
    m_style.applyToPopup(*this);
    QComboBox::showPopup();
}

// A list given a style makes its popup list at once, only to give it the style's kind of entries.
// Before the popup is made there is nothing of it to update, and when it is made it takes the
// entries of the list's style then.
void PanelList::changeEvent(QEvent* event) {
    if (event->type() == QEvent::StyleChange && findChild<QAbstractItemView*>() == nullptr) {
        QWidget::changeEvent(event);
        return;
    }
    QComboBox::changeEvent(event);
}

AddressScrollBar::AddressScrollBar(QWidget* parent) : QScrollBar(Qt::Vertical, parent) {
    QAccessible::installFactory(addressScrollBarAccessible);
    // The widget's value runs from 0 at the top to 128 at the bottom: the address is the other
    // way round.
    setRange(0, kMaxAddress);
    setSingleStep(1);
    setPageStep(1);
    setValue(kMaxAddress);
    setTracking(false);
    setFocusPolicy(Qt::StrongFocus);
}

int AddressScrollBar::address() const {
    return kMaxAddress - (isSliderDown() ? sliderPosition() : value());
}

void AddressScrollBar::setAddress(int address) {
    setValue(kMaxAddress - address);
}

QValidator::State SendableTextValidator::validate(QString& input, int& /*position*/) const {
    const QList<uint> characters = input.toUcs4();
    return std::all_of(characters.begin(), characters.end(),
                       [](uint c) { return isSendableCharacter(static_cast<char32_t>(c)); })
               ? Acceptable
               : Invalid;
}

} // namespace zq4
