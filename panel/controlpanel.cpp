#include "panel/controlpanel.h"

#include "protocol/codepage.h"
#include "protocol/frame.h"
#include "protocol/vocabulary.h"
#include "serial/portselection.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QApplication>
#include <QComboBox>
#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStyleOptionFocusRect>
#include <QValidator>
#include <qdrawutil.h>

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

const QColor kWindowGrey(192, 192, 192);
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
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, kWindowGrey);
    label->setPalette(palette);
    label->setGeometry(caption.place);
    return label;
}

// Draws a two-pixel edge inside the box: the top and left sides in one colour, the bottom and
// right in the other, meeting on the diagonal at the corners (raised, sunken or flat).
void drawEdge(QPainter& painter, const QRect& box, const QColor& topLeft,
              const QColor& bottomRight) {
    constexpr qreal kWidth = 2;
    const QRectF outer(box);
    const QRectF inner = outer.adjusted(kWidth, kWidth, -kWidth, -kWidth);
    const QPolygonF sides[] = {
        {{outer.bottomLeft(), outer.bottomRight(), inner.bottomRight(), inner.bottomLeft()}},
        {{outer.topRight(), outer.bottomRight(), inner.bottomRight(), inner.topRight()}},
        {{outer.topLeft(), outer.bottomLeft(), inner.bottomLeft(), inner.topLeft()}},
        {{outer.topLeft(), outer.topRight(), inner.topRight(), inner.topLeft()}},
    };
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (int side = 0; side < 4; ++side) {
        painter.setBrush(side < 2 ? bottomRight : topLeft);
        painter.drawPolygon(sides[side]);
    }
    painter.restore();
}

// The two-pixel black edge of the control that has the keyboard focus.
void drawFocusEdge(QPainter& painter, const QRect& box) {
    painter.save();
    painter.setPen(QPen(Qt::black, 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(box).adjusted(1, 1, -1, -1));
    painter.restore();
}

// A pick-only drop-down list drawn in its own colour on every style: the box with black text, a
// sunken edge in the window grey that turns black while the list has the keyboard focus, and the
// arrow on a small raised button. Its popup list is made only when it is first shown, which most
// runs of the panel never need: it then takes the list's font and colour and is wide enough for
// every entry.
class PanelList final : public QComboBox {
public:
    PanelList(const QColor& colour, QWidget* parent) : QComboBox(parent), m_colour(colour) {}

    void showPopup() override {
        if (!m_popupReady) {
            m_popupReady = true;
            QAbstractItemView* popup = view();
            popup->setFont(font());
            // The popup's scroll bar keeps the application's colours: it takes its background
            // from Window, which the popup's entries are drawn on.
            QScrollBar* bar = popup->verticalScrollBar();
            QPalette barPalette = bar->palette();
            barPalette.setColor(QPalette::Window,
                                QApplication::palette(bar).color(QPalette::Window));
            QPalette palette = popup->palette();
            for (const QPalette::ColorRole role : {QPalette::Base, QPalette::Window}) {
                palette.setColor(role, m_colour);
            }
            for (const QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText}) {
                palette.setColor(role, Qt::black);
            }
            popup->setPalette(palette);
            bar->setPalette(barPalette);
            popup->setMinimumWidth(popup->sizeHintForColumn(0) + bar->sizeHint().width() +
                                   2 * popup->frameWidth());
        }
        QComboBox::showPopup();
    }

protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QPainter painter(this);
        const QRect box = rect();
        painter.fillRect(box, m_colour);
        if (hasFocus()) {
            drawFocusEdge(painter, box);
        } else {
            drawEdge(painter, box, kWindowGrey, kWindowGrey.lighter());
        }

        QStyleOptionComboBox option;
        initStyleOption(&option);
        const QRect arrow = ListArrowRect(box.size());
        // The arrow's button is sunk while the popup list is open.
        const bool sunken = (option.state & QStyle::State_Sunken) != 0 &&
                            option.activeSubControls == QStyle::SC_ComboBoxArrow;
        // The button's shades are tones of the list's colour.
        const QColor dark = m_colour.darker(150);
        if (sunken) {
            painter.setPen(dark);
            painter.setBrush(m_colour);
            painter.drawRect(arrow.adjusted(0, 0, -1, -1));
        } else {
            QPalette bevel = palette();
            bevel.setColor(QPalette::Light, m_colour);
            bevel.setColor(QPalette::Button, m_colour.lighter(115));
            bevel.setColor(QPalette::Dark, dark);
            bevel.setColor(QPalette::Shadow, m_colour.darker(300));
            const QBrush fill(m_colour);
            qDrawWinButton(&painter, arrow, bevel, false, &fill);
        }
        QStyleOption arrowOption = option;
        arrowOption.rect = arrow.adjusted(3, 3, -3, -3);
        if (sunken) {
            arrowOption.rect.translate(
                style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &option, this),
                style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &option, this));
        }
        arrowOption.state &= QStyle::State_Enabled;
        for (const QPalette::ColorRole role :
             {QPalette::Text, QPalette::WindowText, QPalette::ButtonText}) {
            arrowOption.palette.setColor(role, Qt::black);
        }
        style()->drawPrimitive(QStyle::PE_IndicatorArrowDown, &arrowOption, &painter, this);

        const QRect entry = ListEntryRect(box.size());
        painter.setClipRect(entry);
        painter.setPen(Qt::black);
        painter.drawText(entry, Qt::AlignLeft | Qt::AlignVCenter, currentText());
    }

private:
    QColor m_colour;
    bool m_popupReady = false;
};

QComboBox* createList(QWidget* parent, const QString& name, const QColor& colour,
                      const QRect& place) {
    auto* list = new PanelList(colour, parent);
    list->setObjectName(name);
    list->setEditable(false);
    list->setGeometry(place);
    return list;
}

// The SEND button, drawn cyan with black text on every style (several styles draw push buttons
// from their own theme and ignore the palette): a raised edge in darker cyan that sinks while
// the button is pressed and is black while the button has the keyboard focus.
class SendButton final : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QPainter painter(this);
        const QRect box = rect();
        painter.fillRect(box, kSendCyan);
        const QColor shade = hasFocus() ? QColor(Qt::black) : kSendCyan.darker(130);
        const QColor lit = shade.lighter();
        if (hasFocus() && !isDown()) {
            drawFocusEdge(painter, box);
        } else if (isDown()) {
            drawEdge(painter, box, shade, lit);
        } else {
            drawEdge(painter, box, lit, shade);
        }

        QStyleOptionButton option;
        initStyleOption(&option);
        QRect label = box.adjusted(2, 2, -2, -2);
        if (isDown()) {
            label.translate(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &option, this),
                            style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &option, this));
        }
        painter.setPen(Qt::black);
        painter.drawText(label, Qt::AlignCenter | Qt::TextShowMnemonic, text());
        // Inside the edge, the style's own focus mark, where the style draws one.
        if (hasFocus()) {
            QStyleOptionFocusRect focus;
            focus.QStyleOption::operator=(option);
            focus.rect = box.adjusted(2, 2, -2, -2);
            focus.backgroundColor = kSendCyan;
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
        }
    }
};

// The address scroll bar, which draws a black edge while it has the keyboard focus, as the lists
// do: the platform styles draw no focus mark on a scroll bar.
class AddressScrollBar final : public QScrollBar {
public:
    explicit AddressScrollBar(QWidget* parent) : QScrollBar(Qt::Vertical, parent) {}

protected:
    void paintEvent(QPaintEvent* event) override {
        QScrollBar::paintEvent(event);
        if (hasFocus()) {
            QPainter painter(this);
            drawFocusEdge(painter, rect());
        }
    }
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
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kWindowGrey);
    setPalette(palette);

    // The font is chosen before the controls are made, so that each is made in it: a font
    // changed later would have every list make its popup and every text box lay out its text
    // again. A list's popup, a window of its own, takes the font from its list when first shown.
    setFont(PanelFont(textRooms()));
    createControls();
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
    m_commSel = createList(this, QStringLiteral("CommSel"), kPortOrange, kCommSelPlace);
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
    m_message = createList(this, QStringLiteral("Message"), kListYellow, kMessagePlace);
    m_message->addItems(MessageLabels());
    m_message->setMaxVisibleItems(16);

    QLabel* brightnessLabel = createLabel(this, kCaptions[kBrightnessCaption]);
    m_brtVal = createList(this, QStringLiteral("BrtVal"), kListYellow, kBrtValPlace);
    m_brtVal->addItems(BrightnessLabels());

    m_sendButton = new SendButton(kSendText, this);
    m_sendButton->setObjectName(QStringLiteral("SendButton"));
    m_sendButton->setToolTip(kSendTip);
    m_sendButton->setGeometry(kSendButtonPlace);

    // The address display is only ever written by the panel.
    m_addrDis = new QLineEdit(this);
    m_addrDis->setObjectName(QStringLiteral("AddrDis"));
    m_addrDis->setReadOnly(true);
    m_addrDis->setFocusPolicy(Qt::NoFocus);
    QPalette addressPalette = m_addrDis->palette();
    addressPalette.setColor(QPalette::Base, kAddressWhite);
    m_addrDis->setPalette(addressPalette);
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

QRect ListArrowRect(const QSize& list) {
    constexpr int kEdge = 2;
    constexpr int kArrowWidth = 16;
    return {list.width() - kEdge - kArrowWidth, kEdge, kArrowWidth, list.height() - 2 * kEdge};
}

QRect ListEntryRect(const QSize& list) {
    constexpr int kEdge = 2;
    const int left = kEdge + 2;
    return {left, kEdge, ListArrowRect(list).left() - left, list.height() - 2 * kEdge};
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

int ControlPanel::commSel() const {
    return m_commSel->currentIndex();
}

void ControlPanel::setCommSel(int position) {
    const QSignalBlocker blocker(m_commSel);
    m_commSel->setCurrentIndex(position);
}

int ControlPanel::vScroll1() const {
    // While the thumb is dragged the address is where the thumb is, not yet the value.
    const int widgetValue =
        m_vScroll1->isSliderDown() ? m_vScroll1->sliderPosition() : m_vScroll1->value();
    return kMaxAddress - widgetValue;
}

void ControlPanel::setVScroll1(int address) {
    const QSignalBlocker blocker(m_vScroll1);
    m_vScroll1->setValue(kMaxAddress - address);
}

int ControlPanel::brtVal() const {
    return m_brtVal->currentIndex();
}

void ControlPanel::setBrtVal(int position) {
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

QString ControlPanel::text1() const {
    return m_text1->text();
}

void ControlPanel::setText1(const QString& text) {
    const QSignalBlocker blocker(m_text1);
    m_text1->setText(RestoredCustomText(text));
}

QString ControlPanel::addrDis() const {
    return m_addrDis->text();
}

void ControlPanel::setAddrDis(const QString& text) {
    m_addrDis->setText(text);
}

} // namespace zq4
