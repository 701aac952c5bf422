#include "panel/controlpanel.h"

#include "protocol/codepage.h"
#include "protocol/frame.h"
#include "protocol/vocabulary.h"
#include "serial/portselection.h"
#include "serial/qserialportadapter.h"

#include <QAbstractItemView>
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

// The window's artwork is built into the static library, which needs an explicit start.
static void initArtwork() {
    Q_INIT_RESOURCE(zq4);
}

namespace zq4 {

namespace {

constexpr int kTwipsPerPixel = 15;

// A control's place in twips (left, top, width, height) as logical pixels, which Qt scales
// for the screen.
QRect fromTwips(int left, int top, int width, int height) {
    return {left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
            height / kTwipsPerPixel};
}

const QColor kWindowGrey(192, 192, 192);
const QColor kPortOrange(255, 128, 0);
const QColor kListYellow(255, 255, 0);
const QColor kSendCyan(0, 255, 255);
const QColor kAddressWhite(255, 255, 255);

const QString kCaption = QStringLiteral("ZQ4 Display Control Panel");
const QString kCommSelTip =
    QStringLiteral("Sets the Serial Port for communicating with the Display");
const QString kSendTip = QStringLiteral("Sends User Settings to the Display");

// The window's font: "MS Sans Serif" 8.25 pt bold where it is installed. Elsewhere the first
// installed font with the same widths (Arial's metrics) stands in, then any bold sans.
QFont panelFont() {
    const QString family = QStringLiteral("MS Sans Serif");
    if (QFont::substitutes(family).isEmpty()) {
        QFont::insertSubstitutions(family,
                                   {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Arial"),
                                    QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                    QStringLiteral("Helvetica"), QStringLiteral("Nimbus Sans")});
    }
    QFont font(family);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    font.setBold(true);
    return font;
}

// Lets into the text box only characters that reach the display as themselves, whether they
// are typed or pasted: a paste holding one such character is refused whole.
class SendableTextValidator final : public QValidator {
public:
    using QValidator::QValidator;

    State validate(QString& input, int& /*position*/) const override {
        const QList<uint> characters = input.toUcs4();
        const bool sendable = std::all_of(characters.begin(), characters.end(), [](uint c) {
            return isSendableCharacter(static_cast<char32_t>(c));
        });
        return sendable ? Acceptable : Invalid;
    }
};

QLabel* createLabel(QWidget* parent, const QString& name, const QString& text,
                    Qt::Alignment alignment, const QRect& place) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setAlignment(alignment | Qt::AlignVCenter);
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, kWindowGrey);
    label->setPalette(palette);
    label->setGeometry(place);
    return label;
}

// A pick-only drop-down list whose box and popup list are drawn in the given colour.
QComboBox* createList(QWidget* parent, const QString& name, const QColor& colour,
                      const QRect& place) {
    auto* list = new QComboBox(parent);
    list->setObjectName(name);
    list->setEditable(false);
    // The style sheet draws the box itself, so its colour is exact on every style, with a
    // sunken edge that turns black while the list has the keyboard focus.
    list->setStyleSheet(
        QStringLiteral("QComboBox#%1 { background-color: %2; color: black;"
                       " border: 2px inset %3; padding-left: 2px; }"
                       "QComboBox#%1:focus { border: 2px solid black; }"
                       "QComboBox#%1 QAbstractItemView { background-color: %2; color: black; }")
            .arg(name, colour.name(), kWindowGrey.name()));
    list->setGeometry(place);
    return list;
}

} // namespace

ControlPanel::ControlPanel(const ControlPanelParts& parts)
    : m_commSelection(parts.port, parts.store, parts.feedback),
      m_panel(*this, m_commSelection, parts.store, parts.feedback) {
    initArtwork();
    setObjectName(QStringLiteral("ZQ4"));
    setWindowTitle(kCaption);
    QIcon icon;
    icon.addFile(QStringLiteral(":/zq4/zq4-32.xpm"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/zq4/zq4-16.xpm"), QSize(16, 16));
    setWindowIcon(icon);
    // A fixed size that can be minimised but not maximised.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(4440 / kTwipsPerPixel, 4215 / kTwipsPerPixel);
    setFont(panelFont());
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kWindowGrey);
    setPalette(palette);

    createControls(parts.store);
    bindEvents();
    m_portMap = new PortMapBinding(*m_commSel, m_panel, m_commSelection, parts.store,
                                   parts.discovery, parts.feedback, this);
    m_panel.Form_Load();
}

ControlPanel::~ControlPanel() = default;

void ControlPanel::createControls(SettingsStore& store) {
    m_image1 = new QLabel(this);
    m_image1->setObjectName(QStringLiteral("Image1"));
    m_image1->setPixmap(QPixmap(QStringLiteral(":/zq4/logo.xpm")));
    m_image1->setGeometry(fromTwips(120, 120, 1200, 900));

    createLabel(this, QStringLiteral("Label8"), QStringLiteral("SERIAL PORT:"), Qt::AlignRight,
                fromTwips(1560, 255, 1455, 255));
    m_commSel =
        createList(this, QStringLiteral("CommSel"), kPortOrange, fromTwips(3120, 240, 1095, 315));
    m_commSel->setToolTip(kCommSelTip);
    for (const PortEntry& entry : PortSelection()) {
        m_commSel->addItem(entry.label, QVariant::fromValue(entry.portNumber));
        m_commSel->setItemData(m_commSel->count() - 1, DeviceForPort(store, entry.portNumber),
                               Qt::ToolTipRole);
    }

    createLabel(this, QStringLiteral("Label1"), QStringLiteral("ADDRESS"), Qt::AlignHCenter,
                fromTwips(240, 1200, 975, 255));
    createLabel(this, QStringLiteral("Label3"), QStringLiteral("CUSTOM TEXT"), Qt::AlignHCenter,
                fromTwips(1560, 1200, 2415, 255));

    m_text1 = new QLineEdit(this);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setMaxLength(kTextFieldLength);
    m_text1->setValidator(new SendableTextValidator(m_text1));
    m_text1->setGeometry(fromTwips(1320, 1440, 2895, 315));

    // The widget's value runs from 0 at the top to 128 at the bottom; the address is the
    // other way round, so the up arrow raises it and "ALL" sits at the top.
    m_vScroll1 = new QScrollBar(Qt::Vertical, this);
    m_vScroll1->setObjectName(QStringLiteral("VScroll1"));
    m_vScroll1->setRange(0, kMaxAddress);
    m_vScroll1->setSingleStep(1);
    m_vScroll1->setPageStep(1);
    m_vScroll1->setValue(kMaxAddress);
    // The value changes when a drag ends; while it lasts only the thumb moves.
    m_vScroll1->setTracking(false);
    m_vScroll1->setFocusPolicy(Qt::StrongFocus);
    m_vScroll1->setGeometry(fromTwips(600, 1560, 255, 2055));

    createLabel(this, QStringLiteral("Label4"), QStringLiteral("MESSAGE"), Qt::AlignHCenter,
                fromTwips(1800, 2160, 1815, 255));
    m_message =
        createList(this, QStringLiteral("Message"), kListYellow, fromTwips(1320, 2400, 2895, 315));
    m_message->addItems(MessageLabels());
    m_message->setMaxVisibleItems(16);
    // The popup list is wide enough to show every label whole.
    QAbstractItemView* messageView = m_message->view();
    messageView->setFont(font());
    messageView->setMinimumWidth(messageView->sizeHintForColumn(0) +
                                 messageView->verticalScrollBar()->sizeHint().width() +
                                 2 * messageView->frameWidth());

    createLabel(this, QStringLiteral("Label2"), QStringLiteral("BRIGHTNESS:"), Qt::AlignRight,
                fromTwips(2040, 2880, 1335, 255));
    m_brtVal =
        createList(this, QStringLiteral("BrtVal"), kListYellow, fromTwips(3480, 2880, 735, 315));
    m_brtVal->addItems(BrightnessLabels());

    m_sendButton = new QPushButton(QStringLiteral("SEND"), this);
    m_sendButton->setObjectName(QStringLiteral("SendButton"));
    m_sendButton->setToolTip(kSendTip);
    // A style sheet, because several styles draw push buttons from their own theme and
    // ignore the palette's button colour.
    m_sendButton->setStyleSheet(
        QStringLiteral("QPushButton#SendButton { background-color: %1; color: black;"
                       " border: 2px outset %2; }"
                       "QPushButton#SendButton:focus { border-color: %3; }"
                       "QPushButton#SendButton:pressed { border-style: inset; }")
            .arg(kSendCyan.name(), kSendCyan.darker(130).name(), kSendCyan.darker(220).name()));
    m_sendButton->setGeometry(fromTwips(3360, 3480, 855, 495));

    // The address display is only ever written by the panel.
    m_addrDis = new QLineEdit(this);
    m_addrDis->setObjectName(QStringLiteral("AddrDis"));
    m_addrDis->setReadOnly(true);
    m_addrDis->setFocusPolicy(Qt::NoFocus);
    QPalette addressPalette = m_addrDis->palette();
    addressPalette.setColor(QPalette::Base, kAddressWhite);
    m_addrDis->setPalette(addressPalette);
    m_addrDis->setGeometry(fromTwips(480, 3720, 495, 285));

    for (QComboBox* list : {m_commSel, m_message, m_brtVal}) {
        list->view()->setFont(font());
    }

    setTabOrder(m_commSel, m_text1);
    setTabOrder(m_text1, m_message);
    setTabOrder(m_message, m_brtVal);
    setTabOrder(m_brtVal, m_vScroll1);
    setTabOrder(m_vScroll1, m_sendButton);
    m_commSel->setFocus();
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
    m_text1->setText(text);
}

QString ControlPanel::addrDis() const {
    return m_addrDis->text();
}

void ControlPanel::setAddrDis(const QString& text) {
    m_addrDis->setText(text);
}

} // namespace zq4
