#pragma once

#include <QComboBox>
#include <QScrollBar>
#include <QValidator>

namespace zq4 {

class ClassicStyle;

// The window's controls that behave otherwise than Qt's own; the rest are Qt's, as they are.

// A pick-only drop-down list whose popup list is made only when it is first shown, which most
// runs of the panel never need, and is then put in the classic look.
class PanelList final : public QComboBox {
public:
    PanelList(ClassicStyle& style, QWidget* parent);

    void showPopup() override;

protected:
    void changeEvent(QEvent* event) override;

private:
    ClassicStyle& m_style;
};

// The address scroll bar: the address runs from "ALL" (128) at the top to 0 at the bottom, so the
// up arrow raises it, by one for each arrow or page click. A drag moves only the thumb until it
// ends. Assistive technology reads and sets the address as its value.
class AddressScrollBar final : public QScrollBar {
public:
    explicit AddressScrollBar(QWidget* parent);

    // Where the thumb is: while it is dragged, before the value follows.
    int address() const;
    // Moves to the address as the operator would: a new value tells it has changed.
    void setAddress(int address);
};

// Lets into the custom text box only characters that reach the display as themselves, typed or
// pasted: a paste holding any other is refused whole. Each of them is one UTF-16 unit, so the
// box's maximum length counts them.
class SendableTextValidator final : public QValidator {
public:
    using QValidator::QValidator;

    State validate(QString& input, int& position) const override;
};

} // namespace zq4
