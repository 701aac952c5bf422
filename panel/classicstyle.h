#pragma once

#include <QProxyStyle>
#include <QRect>
#include <QSize>

class QComboBox;
class QStyleOptionButton;

namespace zq4 {

// Where each list of the window draws its arrow's button and its entry (the room its font
// must fit), inside its two-pixel edge.
QRect ListArrowRect(const QSize& list);
QRect ListEntryRect(const QSize& list);

// The one home of the window's classic look, the same on every desktop: a fixed base style
// (Fusion) with the classic palette, each control's own colour, and the window's own drawing of
// its lists, of SEND and of the black two-pixel edge of the focused list, scroll bar or button.
//
// It is set on the window, each of its controls and their popups, never on the application:
// dialogs and message boxes keep the desktop's style and palette.
class ClassicStyle final : public QProxyStyle {
public:
    ClassicStyle();

    // The window's colours: black text on the window grey and on white boxes; what the base
    // style draws from the other roles (scroll bars, the selection) in fixed light shades. Every
    // role of every group is set, so no colour is taken from the desktop.
    QPalette standardPalette() const override;

    // A control's own colour, in the role of its palette that this style draws it from: the
    // face of a button, the box of a list or a text box.
    static void setOwnColour(QWidget& control, const QColor& colour);
    // Puts the window and every control inside it in the classic look: the classic palette,
    // filled in behind the controls, and this style, which unlike the palette and the font
    // reaches none of the widgets inside a widget by itself.
    void applyToWindow(QWidget& window);
    // A list's popup list is a window of its own, made when the list first needs it: this puts
    // it in this style and the classic palette, with the list's colour behind its entries, and
    // makes it wide enough for every entry (it takes the list's font by itself).
    void applyToPopup(QComboBox& list);

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                            QPainter* painter, const QWidget* widget) const override;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl part,
                         const QWidget* widget) const override;

private:
    void setOnEachWidget(QWidget& widget);
    void drawList(const QStyleOptionComplex* option, QPainter* painter) const;
    void drawButton(const QStyleOptionButton& button, QPainter* painter,
                    const QWidget* widget) const;
};

} // namespace zq4
