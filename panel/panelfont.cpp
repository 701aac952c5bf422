#include "panel/panelfont.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QtDebug>

#include <algorithm>

namespace zq4 {

namespace {

constexpr double kPanelPointSize = 8.25;
constexpr double kSmallestPointSize = 6.0;
constexpr double kPointStep = 0.25;

QFont boldFont(const QString& family, double pointSize) {
    QFont font(family);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(pointSize);
    font.setBold(true);
    return font;
}

bool fits(const QFont& font, const QList<TextRoom>& rooms) {
    const QFontMetrics metrics(font);
    return std::all_of(rooms.begin(), rooms.end(), [&metrics](const TextRoom& room) {
        return metrics.height() <= room.room.height() &&
               std::all_of(room.texts.begin(), room.texts.end(), [&](const QString& text) {
                   return metrics.horizontalAdvance(text) <= room.room.width();
               });
    });
}

} // namespace

const QStringList& PanelFontFamilies() {
    static const QStringList families{
        QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
        QStringLiteral("Arial"),         QStringLiteral("Liberation Sans"),
        QStringLiteral("Arimo"),         QStringLiteral("Helvetica"),
        QStringLiteral("Nimbus Sans"),   QStringLiteral("DejaVu Sans"),
    };
    return families;
}

bool IsInstalledFamily(const QString& family) {
    // The installed families as the font database lists them, without loading any font file
    // (matching a font would, and would stand another font in for a missing family). Qt names a
    // family that comes from several foundries "Family [Foundry]".
    const QStringList installed = QFontDatabase::families();
    return std::any_of(installed.begin(), installed.end(), [&family](const QString& name) {
        return name.section(QStringLiteral(" ["), 0, 0) == family;
    });
}

QFont FittedFont(const QString& family, const QList<TextRoom>& rooms) {
    for (double size = kPanelPointSize; size >= kSmallestPointSize; size -= kPointStep) {
        const QFont font = boldFont(family, size);
        if (fits(font, rooms)) {
            return font;
        }
    }
    qWarning("zq4: the window's texts do not fit in %s even at %.2f pt", qUtf8Printable(family),
             kSmallestPointSize);
    return boldFont(family, kSmallestPointSize);
}

QFont PanelFont(const QList<TextRoom>& rooms) {
    QStringList installed = PanelFontFamilies();
    installed.removeIf([](const QString& family) { return !IsInstalledFamily(family); });
    for (const QString& family : installed) {
        if (const QFont font = boldFont(family, kPanelPointSize); fits(font, rooms)) {
            return font;
        }
    }
    return FittedFont(installed.isEmpty()
                          ? QFontDatabase::systemFont(QFontDatabase::GeneralFont).family()
                          : installed.first(),
                      rooms);
}

} // namespace zq4
