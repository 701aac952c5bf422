#pragma once

#include <QAbstractButton>
#include <QComboBox>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QValidator>

#include <chrono>
#include <functional>

class QAbstractItemView;
class QKeyEvent;

namespace zq4 {

class ClassicStyle;

// The window's controls that behave otherwise than Qt's own; the rest are Qt's, as they are.

// Keys typed into a control one after the other, as one text: a pause of about a second, or
// anything else done there, starts a new one. Timed as each key comes, so that it never wakes
// the program by itself.
class TypedRun {
public:
    static constexpr std::chrono::milliseconds kPause{1000};

    // The run with `text` added; a new run when the last key came longer ago than kPause.
    QString add(const QString& text);
    // Whether the run began with the last key added.
    bool isNew() const { return m_new; }
    // Whether a run is going on: its last key came within kPause.
    bool goesOn() const;
    void clear() { m_text.clear(); }

private:
    QString m_text;
    bool m_new = true;
    QElapsedTimer m_sinceLast;
};

// A pick-only drop-down list whose popup list is made only when it is first shown, which most
// runs of the panel never need, and is then put in the classic look. A list that finds by name
// takes letters typed into it, closed or open, as part of a name: each finds the next entry whose
// label holds what was typed in a run (in any case), from the entry shown on and round to the
// first; digits alone find the label that starts with them, as a code. No edit field appears.
class PanelList final : public QComboBox {
public:
    PanelList(ClassicStyle& style, QWidget* parent);

    void setFindsByName(bool findsByName) { m_findsByName = findsByName; }

    void showPopup() override;

protected:
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The entry the key finds from `current`, else a negative number: the key is not part of a
    // name, or no entry holds the run.
    int findByName(const QKeyEvent& event, int current);

    ClassicStyle& m_style;
    bool m_findsByName = false;
    TypedRun m_typed;
    QAbstractItemView* m_entries = nullptr; // the popup's list, once made, when it finds by name
};

// The address scroll bar: the address runs from "ALL" (128) at the top to 0 at the bottom, so the
// up arrow raises it, by one for each arrow or page click. A drag moves only the thumb until it
// ends. Assistive technology reads and sets the address as its value. Digits typed in a run set
// the address they make ("064" is 64, "128" ALL), as A does ALL; a digit that would make it more
// than 128 is refused, and the refusal told. Every other key does as Qt's scroll bar does.
class AddressScrollBar final : public QScrollBar {
public:
    explicit AddressScrollBar(QWidget* parent);

    // Where the thumb is: while it is dragged, before the value follows.
    int address() const;
    // Moves to the address as the operator would: a new value tells it has changed.
    void setAddress(int address);

    // Called for each digit refused.
    void setRefusal(std::function<void()> refusal) { m_refusal = std::move(refusal); }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    TypedRun m_typed;
    std::function<void()> m_refusal;
};

// Return and Enter press the button while it has the focus, once per key press, as Space does
// (and as a focused button does on Windows).
void PressOnReturn(QAbstractButton& button);

// Lets into the custom text box only characters that reach the display as themselves, typed or
// pasted: a paste holding any other is refused whole. Each of them is one UTF-16 unit, so the
// box's maximum length counts them.
class SendableTextValidator final : public QValidator {
public:
    using QValidator::QValidator;

    State validate(QString& input, int& position) const override;
};

} // namespace zq4
