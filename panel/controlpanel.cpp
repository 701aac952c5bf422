#include "panel/controlpanel.h"

#include "panel/panelcontrols.h"
#include "panel/panelfont.h"
#include "panel/panellayout.h"

#include "protocol/frame.h"
#include "protocol/vocabulary.h"
#include "serial/portselection.h"

#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>

namespace zq4 {

namespace {

// The window's artwork is compiled in as XPM arrays, which QPixmap reads directly: reading it
// as an image file would first look through every image format plugin installed.
#include "resources/logo.xpm"
#include "resources/logo@2x.xpm"
#include "resources/zq4-16.xpm"
#include "resources/zq4-32.xpm"

// On screens scaled by more than 1 the logo is drawn from its picture at twice the size, which
// is read only there.
QPixmap logo(const QSize& size, qreal devicePixelRatio) {
    QIcon logo;
    logo.addPixmap(QPixmap(logo_xpm));
    if (devicePixelRatio > 1) {
        QPixmap twice(logo_2x_xpm);
        twice.setDevicePixelRatio(2);
        logo.addPixmap(twice);
    }
    return logo.pixmap(size, devicePixelRatio);
}

} // namespace

ControlPanel::ControlPanel(const ControlPanelParts& parts)
    : m_feedback(parts.feedback), m_commSelection(parts.port, parts.store, parts.feedback),
      m_panel(*this, m_commSelection, parts.store, parts.feedback) {
    setObjectName(QStringLiteral("ZQ4"));
    setWindowTitle(kPanelCaption);
    QIcon icon;
    icon.addPixmap(QPixmap(zq4_32_xpm));
    icon.addPixmap(QPixmap(zq4_16_xpm));
    setWindowIcon(icon);
    // A fixed size that can be minimised but not maximised.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(kPanelSize);

    // The font is chosen before the controls are made, so that each is made in it: a font
    // changed later would have every list make its popup and every text box lay out its text
    // again. A list's popup, a window of its own, takes the font from its list when first shown.
    setFont(PanelFont(PanelTextRooms()));
    createControls();
    m_style.applyToWindow(*this);
    bindEvents();
    m_portMap = new PortMapBinding(*m_commSel, m_panel, m_commSelection, parts.store,
                                   parts.discovery, parts.feedback, this);
    m_panel.Form_Load();
}

ControlPanel::~ControlPanel() = default;

template <class Control> Control* ControlPanel::laidOut(Control* control, const char* name) {
    const ControlLayout& layout = LayoutOf(name);
    control->setObjectName(QLatin1String(name));
    control->setGeometry(layout.place);
    if constexpr (requires { control->setText(QString()); }) {
        if (layout.text != nullptr) {
            control->setText(QLatin1String(layout.text));
        }
    }
    if (layout.toolTip != nullptr) {
        control->setToolTip(QLatin1String(layout.toolTip));
    }
    if (layout.colour != 0) {
        ClassicStyle::setOwnColour(*control, QColor(layout.colour));
    }
    // Assistive technology names each control by its caption: screen readers on Linux follow the
    // caption's relation to it (and name a list by its entry), others read the accessible name.
    if (layout.accessibleName != nullptr) {
        control->setAccessibleName(QLatin1String(layout.accessibleName));
    }
    return control;
}

// In the layout's order, the order in which assistive technology reads them.
void ControlPanel::createControls() {
    const auto caption = [this](const char* name) {
        QLabel* label = laidOut(new QLabel(this), name);
        label->setAlignment(LayoutOf(name).alignment | Qt::AlignVCenter);
    };

    QLabel* image1 = laidOut(new QLabel(this), "Image1");
    image1->setPixmap(logo(image1->size(), devicePixelRatioF()));

    caption("Label8");
    m_commSel = laidOut(new PanelList(m_style, this), "CommSel");
    // Each entry's tooltip names its device; the port map binding keeps them current.
    for (const PortEntry& entry : PortSelection()) {
        m_commSel->addItem(entry.label, QVariant::fromValue(entry.portNumber));
    }

    caption("Label1");
    caption("Label3");
    m_text1 = laidOut(new QLineEdit(this), "Text1");
    m_text1->setMaxLength(kTextFieldLength);
    m_text1->setValidator(new SendableTextValidator(m_text1));

    m_vScroll1 = laidOut(new AddressScrollBar(this), "VScroll1");

    caption("Label4");
    m_message = laidOut(new PanelList(m_style, this), "Message");
    m_message->addItems(MessageLabels());
    m_message->setMaxVisibleItems(16);
    // Most labels start with a code alone: the operator finds a message by a word of its name.
    m_message->setFindsByName(true);

    caption("Label2");
    m_brtVal = laidOut(new PanelList(m_style, this), "BrtVal");
    m_brtVal->addItems(BrightnessLabels());

    m_sendButton = laidOut(new QPushButton(this), "SendButton");
    PressOnReturn(*m_sendButton);

    // The address display is only ever written by the panel.
    m_addrDis = laidOut(new QLineEdit(this), "AddrDis");
    m_addrDis->setReadOnly(true);
    m_addrDis->setFocusPolicy(Qt::NoFocus);

    for (const ControlLayout& each : PanelLayout()) {
        if (each.names != nullptr) {
            findChild<QLabel*>(QLatin1String(each.name))
                ->setBuddy(findChild<QWidget*>(QLatin1String(each.names)));
        }
    }
    const std::span<const char* const> tabOrder = PanelTabOrder();
    for (std::size_t next = 1; next < tabOrder.size(); ++next) {
        setTabOrder(findChild<QWidget*>(QLatin1String(tabOrder[next - 1])),
                    findChild<QWidget*>(QLatin1String(tabOrder[next])));
    }
    m_commSel->setFocus();
}

void ControlPanel::bindEvents() {
    // activated, not currentIndexChanged: picking the port already shown runs the routine too.
    connect(m_commSel, &QComboBox::activated, this, [this] { m_panel.CommSel_Click(); });
    connect(m_vScroll1, &QScrollBar::valueChanged, this, [this] { m_panel.VScroll1_Change(); });
    connect(m_vScroll1, &QScrollBar::sliderMoved, this, [this] { m_panel.VScroll1_Scroll(); });
    m_vScroll1->setRefusal([this] { m_feedback.beep(); });
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
    return m_vScroll1->address();
}

void ControlPanel::setAddress(int address) {
    const QSignalBlocker blocker(m_vScroll1);
    m_vScroll1->setAddress(address);
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
    // The box holds 13 UTF-16 units, 13 of the characters the display can show. A text restored
    // from a file edited by hand may hold others of two units each (each goes out as '?'): it
    // keeps those of its first 13 characters that fit whole.
    QString fitting = RestoredCustomText(text).left(kTextFieldLength);
    if (!fitting.isEmpty() && fitting.back().isHighSurrogate()) {
        fitting.chop(1);
    }
    const QSignalBlocker blocker(m_text1);
    m_text1->setText(fitting);
}

QString ControlPanel::shownAddress() const {
    return m_addrDis->text();
}

void ControlPanel::setShownAddress(const QString& text) {
    m_addrDis->setText(text);
}

} // namespace zq4
