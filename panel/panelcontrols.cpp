#include "panel/panelcontrols.h"

#include "panel/classicstyle.h"

#include "protocol/codepage.h"
#include "protocol/vocabulary.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QKeyEvent>

#include <algorithm>

namespace zq4 {

namespace {

// What a key typed into a list found: an entry, or one of these.
constexpr int kNothingFound = -1;
constexpr int kNotAName = -2;

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

QString TypedRun::add(const QString& text) {
    m_new = m_text.isEmpty() || !m_sinceLast.isValid() || m_sinceLast.hasExpired(kPause.count());
    m_text = m_new ? text : m_text + text;
    m_sinceLast.start();
    return m_text;
}

bool TypedRun::goesOn() const {
    return !m_text.isEmpty() && m_sinceLast.isValid() && !m_sinceLast.hasExpired(kPause.count());
}

PanelList::PanelList(ClassicStyle& style, QWidget* parent) : QComboBox(parent), m_style(style) {
    setEditable(false);
}

void PanelList::showPopup() {
    m_style.applyToPopup(*this);
    if (m_findsByName && m_entries == nullptr) {
        m_entries = view();
        m_entries->installEventFilter(this);
    }
    QComboBox::showPopup();
}

void PanelList::keyPressEvent(QKeyEvent* event) {
    const int found = findByName(*event, currentIndex());
    if (found == kNotAName) {
        QComboBox::keyPressEvent(event);
        return;
    }
    // As Qt's own search does: a new entry shown is picked.
    if (found >= 0 && found != currentIndex()) {
        setCurrentIndex(found);
        emit activated(found);
        emit textActivated(itemText(found));
    }
}

void PanelList::focusOutEvent(QFocusEvent* event) {
    m_typed.clear();
    QComboBox::focusOutEvent(event);
}

bool PanelList::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && watched == m_entries) {
        const int found =
            findByName(static_cast<const QKeyEvent&>(*event), m_entries->currentIndex().row());
        if (found >= 0) {
            m_entries->setCurrentIndex(m_entries->model()->index(found, modelColumn()));
        }
        return found != kNotAName;
    }
    return QComboBox::eventFilter(watched, event);
}

int PanelList::findByName(const QKeyEvent& event, int current) {
    // Space opens the list, as in every list, unless it comes within a name being typed ("end w");
    // shortcuts stay shortcuts.
    const QString text = event.text();
    if (!m_findsByName || text.isEmpty() || !text.front().isPrint() ||
        (text.front().isSpace() && !m_typed.goesOn()) ||
        (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) != 0) {
        return kNotAName;
    }
    QString typed = m_typed.add(text);
    const bool byCode =
        std::all_of(typed.begin(), typed.end(), [](QChar c) { return c.isDigit(); });
    // The same key again goes on from the next entry, as in Qt's own search; the same letter
    // again finds the next entry that holds it.
    const bool sameKey = typed.size() > 1 && typed.count(typed.front()) == typed.size();
    if (sameKey && !byCode) {
        typed = typed.first(1);
    }
    const int entries = count();
    const int from = current < 0 ? 0 : (m_typed.isNew() || sameKey ? current + 1 : current);
    for (int step = 0; step < entries; ++step) {
        const int entry = (from + step) % entries;
        const QString label = itemText(entry);
        if (byCode ? label.startsWith(typed) : label.contains(typed, Qt::CaseInsensitive)) {
            return entry;
        }
    }
    return kNothingFound;
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

void AddressScrollBar::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    const bool shortcut =
        (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) != 0;
    if (!shortcut && text.compare(QLatin1String("a"), Qt::CaseInsensitive) == 0) {
        m_typed.clear();
        setAddress(kMaxAddress);
        return;
    }
    if (shortcut || text.size() != 1 || !text.front().isDigit()) {
        m_typed.clear();
        QScrollBar::keyPressEvent(event);
        return;
    }
    const QString typed = m_typed.add(text);
    bool isNumber = false;
    const int address = typed.toInt(&isNumber);
    if (!isNumber || address > kMaxAddress) {
        // The digit is dropped: the address typed so far stays, and the run with it.
        m_typed.clear();
        m_typed.add(typed.chopped(1));
        if (m_refusal) {
            m_refusal();
        }
        return;
    }
    setAddress(address);
}

void AddressScrollBar::focusOutEvent(QFocusEvent* event) {
    m_typed.clear();
    QScrollBar::focusOutEvent(event);
}

void PressOnReturn(QAbstractButton& button) {
    // Return and Enter press the button they come to; held down, they press it once.
    class ReturnPresses final : public QObject {
    public:
        using QObject::QObject;
        bool eventFilter(QObject* watched, QEvent* event) override {
            if (event->type() != QEvent::KeyPress) {
                return false;
            }
            const auto* key = static_cast<const QKeyEvent*>(event);
            const bool isReturn = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
            if (!isReturn || (key->modifiers() & ~Qt::KeypadModifier) != 0) {
                return false;
            }
            if (!key->isAutoRepeat()) {
                static_cast<QAbstractButton*>(watched)->click();
            }
            return true;
        }
    };
    button.installEventFilter(new ReturnPresses(&button));
}

QValidator::State SendableTextValidator::validate(QString& input, int& /*position*/) const {
    const QList<uint> characters = input.toUcs4();
    return std::all_of(characters.begin(), characters.end(),
                       [](uint c) { return isSendableCharacter(static_cast<char32_t>(c)); })
               ? Acceptable
               : Invalid;
}

} // namespace zq4
