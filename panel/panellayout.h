#pragma once

#include "panel/panelfont.h"

#include <QList>
#include <QRect>
#include <QRgb>
#include <QSize>
#include <QString>

#include <span>

namespace zq4 {

// One control of the window as the classic panel lays it out: its place, what it says and its
// own colour. A caption names the control beside or below it.
struct ControlLayout {
    const char* name; // the control's object name
    QRect place;      // in logical pixels, which Qt scales for the screen
    const char* text = nullptr;
    Qt::Alignment alignment = {};
    const char* toolTip = nullptr;
    QRgb colour = 0; // the control's own colour in the classic style; 0: the window's
    const char* accessibleName = nullptr;
    const char* names = nullptr; // the control a caption names
};

// The window's size, in logical pixels.
extern const QSize kPanelSize;
extern const QString kPanelCaption;

// Every control and caption, in the order they are made and read out.
std::span<const ControlLayout> PanelLayout();
// The layout of the control of that name, which must be one of PanelLayout().
const ControlLayout& LayoutOf(const char* name);
// The order in which the keyboard focus moves through the controls.
std::span<const char* const> PanelTabOrder();

// What each control must show whole and the room it has inside its edge: what the window's
// font is chosen by, before any control is made.
QList<TextRoom> PanelTextRooms();

} // namespace zq4
