#include "panel/classicstyle.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QPainter>
#include <QScrollBar>
#include <QStyleFactory>
#include <QStyleOption>
#include <qdrawutil.h>

#include <iterator>

namespace zq4 {

namespace {

constexpr int kEdge = 2;

// Each role's colour when enabled (active or not) and when disabled. The window's own colours
// are the grey behind it, black text and white boxes; the rest are the light shades the base
// style draws scroll bars, selections and disabled text in.
struct RoleColours {
    QPalette::ColorRole role;
    QRgb enabled;
    QRgb disabled;
};
constexpr RoleColours kClassicColours[] = {
    {QPalette::Window, qRgb(192, 192, 192), qRgb(192, 192, 192)},
    {QPalette::WindowText, qRgb(0, 0, 0), qRgb(190, 190, 190)},
    {QPalette::Base, qRgb(255, 255, 255), qRgb(239, 239, 239)},
    {QPalette::AlternateBase, qRgb(247, 247, 247), qRgb(247, 247, 247)},
    {QPalette::Text, qRgb(0, 0, 0), qRgb(190, 190, 190)},
    {QPalette::PlaceholderText, qRgba(0, 0, 0, 128), qRgba(0, 0, 0, 128)},
    {QPalette::BrightText, qRgb(255, 255, 255), qRgb(255, 255, 255)},
    {QPalette::Button, qRgb(239, 239, 239), qRgb(239, 239, 239)},
    {QPalette::ButtonText, qRgb(0, 0, 0), qRgb(190, 190, 190)},
    {QPalette::Light, qRgb(255, 255, 255), qRgb(255, 255, 255)},
    {QPalette::Midlight, qRgb(202, 202, 202), qRgb(202, 202, 202)},
    {QPalette::Mid, qRgb(184, 184, 184), qRgb(184, 184, 184)},
    {QPalette::Dark, qRgb(159, 159, 159), qRgb(190, 190, 190)},
    {QPalette::Shadow, qRgb(118, 118, 118), qRgb(177, 177, 177)},
    {QPalette::Highlight, qRgb(48, 140, 198), qRgb(145, 145, 145)},
    {QPalette::HighlightedText, qRgb(255, 255, 255), qRgb(255, 255, 255)},
    {QPalette::Link, qRgb(0, 0, 255), qRgb(0, 0, 255)},
    {QPalette::LinkVisited, qRgb(255, 0, 255), qRgb(255, 0, 255)},
    {QPalette::ToolTipBase, qRgb(255, 255, 220), qRgb(255, 255, 220)},
    {QPalette::ToolTipText, qRgb(0, 0, 0), qRgb(0, 0, 0)},
};
static_assert(std::size(kClassicColours) == QPalette::NColorRoles - 1, "every role but NoRole");

// A two-pixel edge inside the box: the top and left sides in one colour, the bottom and right
// in the other, meeting on the diagonal at the corners (raised, sunken or flat).
void drawEdge(QPainter& painter, const QRect& box, const QColor& topLeft,
              const QColor& bottomRight) {
    const QRectF outer(box);
    const QRectF inner = outer.adjusted(kEdge, kEdge, -kEdge, -kEdge);
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
    painter.setPen(QPen(Qt::black, kEdge, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(box).adjusted(1, 1, -1, -1));
    painter.restore();
}

} // namespace

QRect ListArrowRect(const QSize& list) {
    constexpr int kArrowWidth = 16;
    return {list.width() - kEdge - kArrowWidth, kEdge, kArrowWidth, list.height() - 2 * kEdge};
}

QRect ListEntryRect(const QSize& list) {
    const int left = kEdge + 2;
    return {left, kEdge, ListArrowRect(list).left() - left, list.height() - 2 * kEdge};
}

ClassicStyle::ClassicStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

QPalette ClassicStyle::standardPalette() const {
    QPalette palette;
    for (const RoleColours& colours : kClassicColours) {
        for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
            palette.setColor(group, colours.role, QColor::fromRgba(colours.enabled));
        }
        palette.setColor(QPalette::Disabled, colours.role, QColor::fromRgba(colours.disabled));
    }
    return palette;
}

void ClassicStyle::setOwnColour(QWidget& control, const QColor& colour) {
    QPalette palette = control.palette();
    palette.setColor(qobject_cast<QAbstractButton*>(&control) != nullptr ? QPalette::Button
                                                                         : QPalette::Base,
                     colour);
    control.setPalette(palette);
}

void ClassicStyle::applyToWindow(QWidget& window) {
    window.setAutoFillBackground(true);
    window.setPalette(standardPalette());
    setOnEachWidget(window);
}

void ClassicStyle::setOnEachWidget(QWidget& widget) {
    QList<QWidget*> widgets = widget.findChildren<QWidget*>();
    widgets.prepend(&widget);
    for (QWidget* each : widgets) {
        // Setting the same style again would polish the widget again, and have a list redo its
        // popup's settings.
        if (each->style() != this) {
            each->setStyle(this);
        }
    }
}

void ClassicStyle::applyToPopup(QComboBox& list) {
    QAbstractItemView* entries = list.view();
    QWidget* popup = entries->window();
    setOnEachWidget(*popup);
    // The list sets its popup's palette from the desktop's menus when it makes it.
    const QPalette classic = standardPalette();
    popup->setPalette(classic);
    QPalette behind = classic;
    for (const QPalette::ColorRole role : {QPalette::Base, QPalette::Window}) {
        behind.setColor(role, list.palette().color(QPalette::Base));
    }
    entries->setPalette(behind);
    // The entries' scroll bar keeps the window's grey: it takes its background from Window,
    // which the entries are drawn on.
    QScrollBar* bar = entries->verticalScrollBar();
    bar->setPalette(classic);
    entries->setMinimumWidth(entries->sizeHintForColumn(0) + bar->sizeHint().width() +
                             2 * entries->frameWidth());
}

void ClassicStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                      QPainter* painter, const QWidget* widget) const {
    if (control == CC_ComboBox) {
        drawList(option, painter);
        return;
    }
    QProxyStyle::drawComplexControl(control, option, painter, widget);
    // The base style marks no focus on a scroll bar; the window's scroll bar takes it.
    if (control == CC_ScrollBar && (option->state & State_HasFocus) != 0) {
        drawFocusEdge(*painter, option->rect);
    }
}

// A pick-only list in its own colour: a sunken edge in the window grey that turns black while
// the list has the keyboard focus, and the arrow on a small raised button in tones of the list's
// colour, sunk while the popup list is open.
void ClassicStyle::drawList(const QStyleOptionComplex* option, QPainter* painter) const {
    const QRect box = option->rect;
    const QColor colour = option->palette.color(QPalette::Base);
    const QColor grey = option->palette.color(QPalette::Window);
    painter->save();
    painter->fillRect(box, colour);
    if ((option->state & State_HasFocus) != 0) {
        drawFocusEdge(*painter, box);
    } else {
        drawEdge(*painter, box, grey, grey.lighter());
    }

    const QRect arrow = proxy()->subControlRect(CC_ComboBox, option, SC_ComboBoxArrow, nullptr);
    const bool sunken =
        (option->state & State_Sunken) != 0 && option->activeSubControls == SC_ComboBoxArrow;
    const QColor dark = colour.darker(150);
    if (sunken) {
        painter->setPen(dark);
        painter->setBrush(colour);
        painter->drawRect(arrow.adjusted(0, 0, -1, -1));
    } else {
        QPalette bevel = option->palette;
        bevel.setColor(QPalette::Light, colour);
        bevel.setColor(QPalette::Button, colour.lighter(115));
        bevel.setColor(QPalette::Dark, dark);
        bevel.setColor(QPalette::Shadow, colour.darker(300));
        const QBrush fill(colour);
        qDrawWinButton(painter, arrow, bevel, false, &fill);
    }
    QStyleOption arrowOption = *option;
    arrowOption.rect = arrow.adjusted(3, 3, -3, -3);
    if (sunken) {
        arrowOption.rect.translate(proxy()->pixelMetric(PM_ButtonShiftHorizontal, option),
                                   proxy()->pixelMetric(PM_ButtonShiftVertical, option));
    }
    arrowOption.state &= State_Enabled;
    proxy()->drawPrimitive(PE_IndicatorArrowDown, &arrowOption, painter);
    painter->restore();
}

void ClassicStyle::drawControl(ControlElement element, const QStyleOption* option,
                               QPainter* painter, const QWidget* widget) const {
    if (const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
        button != nullptr && element == CE_PushButton) {
        drawButton(*button, painter, widget);
    } else if (const auto* list = qstyleoption_cast<const QStyleOptionComboBox*>(option);
               list != nullptr && element == CE_ComboBoxLabel) {
        const QRect entry =
            proxy()->subControlRect(CC_ComboBox, list, SC_ComboBoxEditField, widget);
        painter->save();
        painter->setClipRect(entry);
        painter->setPen(option->palette.color(QPalette::Text));
        painter->drawText(entry, Qt::AlignLeft | Qt::AlignVCenter, list->currentText);
        painter->restore();
    } else {
        QProxyStyle::drawControl(element, option, painter, widget);
    }
}

// A push button in its own colour: a raised edge in a darker tone that sinks while the button
// is pressed and is black while the button has the keyboard focus, with the base style's focus
// mark inside it.
void ClassicStyle::drawButton(const QStyleOptionButton& button, QPainter* painter,
                              const QWidget* widget) const {
    const QRect box = button.rect;
    const QColor face = button.palette.color(QPalette::Button);
    const bool focused = (button.state & State_HasFocus) != 0;
    const bool down = (button.state & State_Sunken) != 0;
    painter->save();
    painter->fillRect(box, face);
    const QColor shade = focused ? QColor(Qt::black) : face.darker(130);
    const QColor lit = shade.lighter();
    if (focused && !down) {
        drawFocusEdge(*painter, box);
    } else if (down) {
        drawEdge(*painter, box, shade, lit);
    } else {
        drawEdge(*painter, box, lit, shade);
    }

    const QRect inside = box.adjusted(kEdge, kEdge, -kEdge, -kEdge);
    QRect label = inside;
    if (down) {
        label.translate(proxy()->pixelMetric(PM_ButtonShiftHorizontal, &button, widget),
                        proxy()->pixelMetric(PM_ButtonShiftVertical, &button, widget));
    }
    painter->setPen(button.palette.color(QPalette::ButtonText));
    painter->drawText(label, Qt::AlignCenter | Qt::TextShowMnemonic, button.text);
    if (focused) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(button);
        focus.rect = inside;
        focus.backgroundColor = face;
        proxy()->drawPrimitive(PE_FrameFocusRect, &focus, painter, widget);
    }
    painter->restore();
}

QRect ClassicStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                                   SubControl part, const QWidget* widget) const {
    if (control == CC_ComboBox && (part == SC_ComboBoxArrow || part == SC_ComboBoxEditField)) {
        const QSize size = option->rect.size();
        const QRect place = part == SC_ComboBoxArrow ? ListArrowRect(size) : ListEntryRect(size);
        return place.translated(option->rect.topLeft());
    }
    return QProxyStyle::subControlRect(control, option, part, widget);
}

} // namespace zq4
