#include "panel/controlpanel.h"

#include "panel/classicstyle.h"

#include "protocol/codepage.h"
#include "protocol/frame.h"
#include "protocol/vocabulary.h"
#include "serial/portselection.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QValidator>

#include <algorithm>
#include <utility>

namespace zq4 {

namespace {

constexpr int kTwipsPerPixel = 15;

// The window's artwork is compiled in as XPM arrays, which QPixmap reads directly: reading it
// as an image file would first look through every image format plugin installed.
#include "resources/logo.xpm"
#include "resources/logo@2x.xpm"
#include "resources/zq4-16.xpm"
#include "resources/zq4-32.xpm"

// A control's place in twips (left, top, width, height) as logical pixels, which Qt scales
// for the screen.
constexpr QRect fromTwips(int left, int top, int width, int height) {
    return {left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
            height / kTwipsPerPixel};
}

// Where each control sits.
constexpr QRect kImage1Place = fromTwips(120, 120, 1200, 900);
constexpr QRect kCommSelPlace = fromTwips(3120, 240, 1095, 315);
constexpr QRect kText1Place = fromTwips(1320, 1440, 2895, 315);
constexpr QRect kVScroll1Place = fromTwips(600, 1560, 255, 2055);
constexpr QRect kMessagePlace = fromTwips(1320, 2400, 2895, 315);
constexpr QRect kBrtValPlace = fromTwips(3480, 2880, 735, 315);
constexpr QRect kSendButtonPlace = fromTwips(3360, 3480, 855, 495);
constexpr QRect kAddrDisPlace = fromTwips(480, 3720, 495, 285);

// The window's captions: each names the control beside or below it.
struct Caption {
    const char* name;
    const char* text;
    Qt::Alignment alignment;
    QRect place;
};
enum CaptionIndex {
    kSerialPortCaption,
    kAddressCaption,
    kCustomTextCaption,
    kMessageCaption,
    kBrightnessCaption
};
constexpr Caption kCaptions[] = {
    {"Label8", "SERIAL PORT:", Qt::AlignRight, fromTwips(1560, 255, 1455, 255)},
    {"Label1", "ADDRESS", Qt::AlignHCenter, fromTwips(240, 1200, 975, 255)},
    {"Label3", "CUSTOM TEXT", Qt::AlignHCenter, fromTwips(1560, 1200, 2415, 255)},
    {"Label4", "MESSAGE", Qt::AlignHCenter, fromTwips(1800, 2160, 1815, 255)},
    {"Label2", "BRIGHTNESS:", Qt::AlignRight, fromTwips(2040, 2880, 1335, 255)},
};
const QString kSendText = QStringLiteral("SEND");

const QColor kPortOrange(255, 128, 0);
const QColor kListYellow(255, 255, 0);
const QColor kSendCyan(0, 255, 255);
const QColor kAddressWhite(255, 255, 255);

const QString kCaption = QStringLiteral("ZQ4 Display Control Panel");
const QString kCommSelTip =
    QStringLiteral("Sets the Serial Port for communicating with the Display");
const QString kSendTip = QStringLiteral("Sends User Settings to the Display");

// Lets into the text box only characters that reach the display as themselves, whether they
// are typed or pasted: a paste holding one such character is refused whole.
class SendableTextValidator final : public QValidator {
public:
    using QValidator::QValidator;

    State validate(QString& input, int& position) const override {
        const QList<uint> characters = input.toUcs4();
        const bool sendable = std::all_of(characters.begin(), characters.end(), [](uint c) {
            return isSendableCharacter(static_cast<char32_t>(c));
        });
        if (!sendable) {
            return Invalid;
        }
        // At most 13 characters: what was just inserted before the cursor loses its end, so a
        // 14th typed character is refused and a long paste is cut. Sendable characters are
        // one UTF-16 unit each, so positions count characters.
        const int excess = static_cast<int>(input.size()) - kTextFieldLength;
        if (excess > 0) {
            const int from = position >= excess ? position - excess : kTextFieldLength;
            input.remove(from, excess);
            position = std::min(position, from);
        }
        return Acceptable;
    }
};

QLabel* createLabel(QWidget* parent, const Caption& caption) {
    auto* label = new QLabel(QString::fromLatin1(caption.text), parent);
    label->setObjectName(QString::fromLatin1(caption.name));
    label->setAlignment(caption.alignment | Qt::AlignVCenter);
    label->setGeometry(caption.place);
    return label;
}

// A control's own colour, in the role of its palette that the classic style draws it from.
void setOwnColour(QWidget* control, QPalette::ColorRole role, const QColor& colour) {
    QPalette palette = control->palette();
    palette.setColor(role, colour);
    control->setPalette(palette);
}

// A pick-only drop-down list. Its popup list is made only when it is first shown, which most
// runs of the panel never need: it then takes the list's font and is wide enough for every entry.
class PanelList final : public QComboBox {
public:
    PanelList(ClassicStyle& style, QWidget* parent) : QComboBox(parent), m_style(style) {}

    void showPopup() override {
        m_style.applyToPopup(*this);
        if (!m_popupReady) {
            m_popupReady = true;
            QAbstractItemView* popup = view();
            popup->setFont(font());
            popup->setMinimumWidth(popup->sizeHintForColumn(0) +
                                   popup->verticalScrollBar()->sizeHint().width() +
                                   2 * popup->frameWidth());
        }
        QComboBox::showPopup();
    }

protected:
    // A list given a style makes its popup list at once, only to give it the style's kind of
    // entries. Before the popup is made there is nothing of it to update, and when it is made it
    // takes the entries of the list's style then.
    void changeEvent(QEvent* event) override {
        if (event->type() == QEvent::StyleChange && findChild<QAbstractItemView*>() == nullptr) {
            QWidget::changeEvent(event);
            return;
        }
        QComboBox::changeEvent(event);
    }

private:
    ClassicStyle& m_style;
    bool m_popupReady = false;
};

QComboBox* createList(ClassicStyle& style, QWidget* parent, const QString& name,
                      const QColor& colour, const QRect& place) {
    auto* list = new PanelList(style, parent);
    list->setObjectName(name);
    list->setEditable(false);
    setOwnColour(list, QPalette::Base, colour);
    list->setGeometry(place);
    return list;
}

// The address scroll bar, which assistive technology reads in its own way (below): the widget's
// value runs from 0 at the top, the address the other way.
class AddressScrollBar final : public QScrollBar {
public:
    explicit AddressScrollBar(QWidget* parent) : QScrollBar(Qt::Vertical, parent) {}
};

// What assistive technology reads from the address scroll bar: its value is the address (the
// widget's own value runs the other way), and as text "ALL" for 128, as the display shows it.
class AddressScrollBarAccessible final : public QAccessibleWidget,
                                         public QAccessibleValueInterface {
public:
    explicit AddressScrollBarAccessible(QScrollBar* bar)
        : QAccessibleWidget(bar, QAccessible::ScrollBar) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface) {
            return static_cast<QAccessibleValueInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text type) const override {
        return type == QAccessible::Value ? AddressText(address()) : QAccessibleWidget::text(type);
    }

    QVariant currentValue() const override { return address(); }
    void setCurrentValue(const QVariant& value) override {
        bar()->setValue(kMaxAddress - value.toInt());
    }
    QVariant maximumValue() const override { return kMaxAddress; }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }

private:
    QScrollBar* bar() const { return static_cast<QScrollBar*>(widget()); }
    int address() const { return kMaxAddress - bar()->value(); }
};

QAccessibleInterface* addressScrollBarAccessible(const QString& /*className*/, QObject* object) {
    if (auto* bar = dynamic_cast<AddressScrollBar*>(object)) {
        return new AddressScrollBarAccessible(bar);
    }
    return nullptr;
}

} // namespace

ControlPanel::ControlPanel(const ControlPanelParts& parts)
    : m_commSelection(parts.port, parts.store, parts.feedback),
      m_panel(*this, m_commSelection, parts.store, parts.feedback) {
    QAccessible::installFactory(addressScrollBarAccessible);
    setObjectName(QStringLiteral("ZQ4"));
    setWindowTitle(kCaption);
    QIcon icon;
    icon.addPixmap(QPixmap(zq4_32_xpm));
    icon.addPixmap(QPixmap(zq4_16_xpm));
    setWindowIcon(icon);
    // A fixed size that can be minimised but not maximised.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(4440 / kTwipsPerPixel, 4215 / kTwipsPerPixel);
    // The window draws in its own colours whatever the desktop's; its controls take them from it.
    setAutoFillBackground(true);
    setPalette(m_style.standardPalette());

    // The font is chosen before the controls are made, so that each is made in it: a font
    // changed later would have every list make its popup and every text box lay out its text
    // again. A list's popup, a window of its own, takes the font from its list when first shown.
    setFont(PanelFont(textRooms()));
    createControls();
    m_style.apply(this);
    bindEvents();
    m_portMap = new PortMapBinding(*m_commSel, m_panel, m_commSelection, parts.store,
                                   parts.discovery, parts.feedback, this);
    m_panel.Form_Load();
}

ControlPanel::~ControlPanel() = default;

void ControlPanel::createControls() {
    m_image1 = new QLabel(this);
    m_image1->setObjectName(QStringLiteral("Image1"));
    // On screens scaled by more than 1 the logo is drawn from its picture at twice the size,
    // which is read only there.
    QIcon logo;
    logo.addPixmap(QPixmap(logo_xpm));
    if (devicePixelRatioF() > 1) {
        QPixmap twice(logo_2x_xpm);
        twice.setDevicePixelRatio(2);
        logo.addPixmap(twice);
    }
    m_image1->setPixmap(logo.pixmap(kImage1Place.size(), devicePixelRatioF()));
    m_image1->setGeometry(kImage1Place);

    QLabel* serialPortLabel = createLabel(this, kCaptions[kSerialPortCaption]);
    m_commSel = createList(m_style, this, QStringLiteral("CommSel"), kPortOrange, kCommSelPlace);
    m_commSel->setToolTip(kCommSelTip);
    // Each entry's tooltip names its device; the port map binding keeps them current.
    for (const PortEntry& entry : PortSelection()) {
        m_commSel->addItem(entry.label, QVariant::fromValue(entry.portNumber));
    }

    QLabel* addressLabel = createLabel(this, kCaptions[kAddressCaption]);
    QLabel* customTextLabel = createLabel(this, kCaptions[kCustomTextCaption]);

    m_text1 = new QLineEdit(this);
    m_text1->setObjectName(QStringLiteral("Text1"));
    // The validator limits the length: maxLength would count UTF-16 units, not characters.
    m_text1->setValidator(new SendableTextValidator(m_text1));
    m_text1->setGeometry(kText1Place);

    // The widget's value runs from 0 at the top to 128 at the bottom; the address is the
    // other way round, so the up arrow raises it and "ALL" sits at the top.
    m_vScroll1 = new AddressScrollBar(this);
    m_vScroll1->setObjectName(QStringLiteral("VScroll1"));
    m_vScroll1->setRange(0, kMaxAddress);
    m_vScroll1->setSingleStep(1);
    m_vScroll1->setPageStep(1);
    m_vScroll1->setValue(kMaxAddress);
    // The value changes when a drag ends; while it lasts only the thumb moves.
    m_vScroll1->setTracking(false);
    m_vScroll1->setFocusPolicy(Qt::StrongFocus);
    m_vScroll1->setGeometry(kVScroll1Place);

    QLabel* messageLabel = createLabel(this, kCaptions[kMessageCaption]);
    m_message = createList(m_style, this, QStringLiteral("Message"), kListYellow, kMessagePlace);
    m_message->addItems(MessageLabels());
    m_message->setMaxVisibleItems(16);

    QLabel* brightnessLabel = createLabel(this, kCaptions[kBrightnessCaption]);
    m_brtVal = createList(m_style, this, QStringLiteral("BrtVal"), kListYellow, kBrtValPlace);
    m_brtVal->addItems(BrightnessLabels());

    m_sendButton = new QPushButton(kSendText, this);
    m_sendButton->setObjectName(QStringLiteral("SendButton"));
    m_sendButton->setToolTip(kSendTip);
    setOwnColour(m_sendButton, QPalette::Button, kSendCyan);
    m_sendButton->setGeometry(kSendButtonPlace);

    // The address display is only ever written by the panel.
    m_addrDis = new QLineEdit(this);
    m_addrDis->setObjectName(QStringLiteral("AddrDis"));
    m_addrDis->setReadOnly(true);
    m_addrDis->setFocusPolicy(Qt::NoFocus);
    setOwnColour(m_addrDis, QPalette::Base, kAddressWhite);
    m_addrDis->setGeometry(kAddrDisPlace);

    // Assistive technology names each control by its label: screen readers on Linux follow the
    // label relation (and name a list by its entry), others read the accessible name.
    const std::pair<QLabel*, QWidget*> labelled[] = {
        {serialPortLabel, m_commSel}, {addressLabel, m_vScroll1},  {customTextLabel, m_text1},
        {messageLabel, m_message},    {brightnessLabel, m_brtVal},
    };
    for (const auto& [label, control] : labelled) {
        label->setBuddy(control);
    }
    m_commSel->setAccessibleName(QStringLiteral("Serial port"));
    m_vScroll1->setAccessibleName(QStringLiteral("Address"));
    m_text1->setAccessibleName(QStringLiteral("Custom text"));
    m_message->setAccessibleName(QStringLiteral("Message"));
    m_brtVal->setAccessibleName(QStringLiteral("Brightness"));

    setTabOrder(m_commSel, m_text1);
    setTabOrder(m_text1, m_message);
    setTabOrder(m_message, m_brtVal);
    setTabOrder(m_brtVal, m_vScroll1);
    setTabOrder(m_vScroll1, m_sendButton);
    m_commSel->setFocus();
}

QList<TextRoom> ControlPanel::textRooms() const {
    // Inside a two-pixel edge, as the controls draw their text.
    const auto inside = [](const QRect& place) { return place.size() - QSize(4, 4); };
    QList<TextRoom> rooms;
    for (const Caption& caption : kCaptions) {
        rooms.append({inside(caption.place), {QString::fromLatin1(caption.text)}});
    }
    rooms.append({inside(kSendButtonPlace), {kSendText}});
    // A list shows its entry beside its arrow.
    QStringList ports;
    for (const PortEntry& entry : PortSelection()) {
        ports << entry.label;
    }
    for (const auto& [place, texts] :
         {std::pair{kCommSelPlace, ports}, std::pair{kMessagePlace, MessageLabels()},
          std::pair{kBrtValPlace, BrightnessLabels()}}) {
        rooms.append({ListEntryRect(place.size()).size(), texts});
    }
    // The text box shows 13 of any letter or digit whole, the address display every address.
    TextRoom text{inside(kText1Place), {}};
    for (const QChar c : QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789")) {
        text.texts.append(QString(kTextFieldLength, c));
    }
    rooms.append(text);
    TextRoom address{inside(kAddrDisPlace), {}};
    for (int value = 0; value <= kMaxAddress; ++value) {
        address.texts.append(AddressText(value));
    }
    rooms.append(address);
    return rooms;
}

void ControlPanel::bindEvents() {
    // activated, not currentIndexChanged: picking the port already shown runs the routine too.
    connect(m_commSel, &QComboBox::activated, this, [this] { m_panel.CommSel_Click(); });
    connect(m_vScroll1, &QScrollBar::valueChanged, this, [this] { m_panel.VScroll1_Change(); });
    connect(m_vScroll1, &QScrollBar::sliderMoved, this, [this] { m_panel.VScroll1_Scroll(); });
    connect(m_sendButton, &QPushButton::clicked, this, [this] { m_panel.SendButton_Click(); });
}

int ControlPanel::portPosition() const {
    return m_commSel->currentIndex();
}

void ControlPanel::setPortPosition(int position) {
    const QSignalBlocker blocker(m_commSel);
    m_commSel->setCurrentIndex(position);
}

int ControlPanel::address() const {
    // While the thumb is dragged the address is where the thumb is, not yet the value.
    const int widgetValue =
        m_vScroll1->isSliderDown() ? m_vScroll1->sliderPosition() : m_vScroll1->value();
    return kMaxAddress - widgetValue;
}

void ControlPanel::setAddress(int address) {
    const QSignalBlocker blocker(m_vScroll1);
    m_vScroll1->setValue(kMaxAddress - address);
}

int ControlPanel::brightness() const {
    return m_brtVal->currentIndex();
}

void ControlPanel::setBrightness(int position) {
    const QSignalBlocker blocker(m_brtVal);
    m_brtVal->setCurrentIndex(position);
}

int ControlPanel::message() const {
    return m_message->currentIndex();
}

void ControlPanel::setMessage(int position) {
    const QSignalBlocker blocker(m_message);
    m_message->setCurrentIndex(position);
}

QString ControlPanel::customText() const {
    return m_text1->text();
}

void ControlPanel::setCustomText(const QString& text) {
    const QSignalBlocker blocker(m_text1);
    m_text1->setText(RestoredCustomText(text));
}

QString ControlPanel::shownAddress() const {
    return m_addrDis->text();
}

void ControlPanel::setShownAddress(const QString& text) {
    m_addrDis->setText(text);
}

} // namespace zq4
