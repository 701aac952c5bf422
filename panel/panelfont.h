#pragma once

#include <QFont>
#include <QList>
#include <QSize>
#include <QStringList>

namespace zq4 {

// What one control must show whole: its texts, each on one line, in the room inside its edge.
struct TextRoom {
    QSize room;
    QStringList texts;
};

// The families the window's font is chosen from, best first: the panel's own font, fonts with
// its widths, then the sans-serif fonts Linux machines commonly have.
const QStringList& PanelFontFamilies();

// Whether the family itself is installed, not merely stood in for by another font.
bool IsInstalledFamily(const QString& family);

// The family in bold at 8.25 pt, or at the largest smaller size (down to 6 pt, in quarter
// points) at which every text fits its room; warns if even the smallest does not fit.
QFont FittedFont(const QString& family, const QList<TextRoom>& rooms);

// The window's font: the first installed family that fits every room at 8.25 pt; if none does,
// the first installed family (or the desktop's sans-serif font) made as small as it must be.
QFont PanelFont(const QList<TextRoom>& rooms);

} // namespace zq4
