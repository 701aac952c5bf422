#include "panel/panellayout.h"

#include "panel/classicstyle.h"

#include "protocol/frame.h"
#include "protocol/vocabulary.h"
#include "serial/portselection.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace zq4 {

namespace {

constexpr int kTwipsPerPixel = 15;

// A place in twips (left, top, width, height), as the classic panel was drawn.
constexpr QRect fromTwips(int left, int top, int width, int height) {
    return {left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
            height / kTwipsPerPixel};
}

constexpr QRgb kPortOrange = qRgb(255, 128, 0);
constexpr QRgb kListYellow = qRgb(255, 255, 0);
constexpr QRgb kSendCyan = qRgb(0, 255, 255);
constexpr QRgb kAddressWhite = qRgb(255, 255, 255);

constexpr ControlLayout kLayout[] = {
    {.name = "Image1", .place = fromTwips(120, 120, 1200, 900)},
    {.name = "Label8",
     .place = fromTwips(1560, 255, 1455, 255),
     .text = "SERIAL PORT:",
     .alignment = Qt::AlignRight,
     .names = "CommSel"},
    {.name = "CommSel",
     .place = fromTwips(3120, 240, 1095, 315),
     .toolTip = "Sets the Serial Port for communicating with the Display",
     .colour = kPortOrange,
     .accessibleName = "Serial port"},
    {.name = "Label1",
     .place = fromTwips(240, 1200, 975, 255),
     .text = "ADDRESS",
     .alignment = Qt::AlignHCenter,
     .names = "VScroll1"},
    {.name = "Label3",
     .place = fromTwips(1560, 1200, 2415, 255),
     .text = "CUSTOM TEXT",
     .alignment = Qt::AlignHCenter,
     .names = "Text1"},
    {.name = "Text1", .place = fromTwips(1320, 1440, 2895, 315), .accessibleName = "Custom text"},
    {.name = "VScroll1", .place = fromTwips(600, 1560, 255, 2055), .accessibleName = "Address"},
    {.name = "Label4",
     .place = fromTwips(1800, 2160, 1815, 255),
     .text = "MESSAGE",
     .alignment = Qt::AlignHCenter,
     .names = "Message"},
    {.name = "Message",
     .place = fromTwips(1320, 2400, 2895, 315),
     .colour = kListYellow,
     .accessibleName = "Message"},
    {.name = "Label2",
     .place = fromTwips(2040, 2880, 1335, 255),
     .text = "BRIGHTNESS:",
     .alignment = Qt::AlignRight,
     .names = "BrtVal"},
    {.name = "BrtVal",
     .place = fromTwips(3480, 2880, 735, 315),
     .colour = kListYellow,
     .accessibleName = "Brightness"},
    {.name = "SendButton",
     .place = fromTwips(3360, 3480, 855, 495),
     .text = "SEND",
     .toolTip = "Sends User Settings to the Display",
     .colour = kSendCyan},
    {.name = "AddrDis", .place = fromTwips(480, 3720, 495, 285), .colour = kAddressWhite},
};

constexpr const char* kTabOrder[] = {"CommSel", "Text1",    "Message",
                                     "BrtVal",  "VScroll1", "SendButton"};

} // namespace

const QSize kPanelSize = fromTwips(0, 0, 4440, 4215).size();
const QString kPanelCaption = QStringLiteral("ZQ4 Display Control Panel");

std::span<const ControlLayout> PanelLayout() {
    return kLayout;
}

const ControlLayout& LayoutOf(const char* name) {
    const auto* found =
        std::find_if(std::begin(kLayout), std::end(kLayout), [name](const ControlLayout& each) {
            return std::strcmp(each.name, name) == 0;
        });
    Q_ASSERT(found != std::end(kLayout));
    return *found;
}

std::span<const char* const> PanelTabOrder() {
    return kTabOrder;
}

QList<TextRoom> PanelTextRooms() {
    // Inside a two-pixel edge, as the controls draw their text.
    const auto inside = [](const char* name) { return LayoutOf(name).place.size() - QSize(4, 4); };
    QList<TextRoom> rooms;
    for (const ControlLayout& control : kLayout) {
        if (control.text != nullptr) {
            rooms.append({inside(control.name), {QString::fromLatin1(control.text)}});
        }
    }
    // A list shows its entry beside its arrow.
    QStringList ports;
    for (const PortEntry& entry : PortSelection()) {
        ports << entry.label;
    }
    for (const auto& [name, entries] :
         {std::pair{"CommSel", ports}, std::pair{"Message", MessageLabels()},
          std::pair{"BrtVal", BrightnessLabels()}}) {
        rooms.append({ListEntryRect(LayoutOf(name).place.size()).size(), entries});
    }
    // The text box shows 13 of any letter or digit whole, the address display every address.
    TextRoom text{inside("Text1"), {}};
    for (const QChar c : QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789")) {
        text.texts.append(QString(kTextFieldLength, c));
    }
    rooms.append(text);
    TextRoom address{inside("AddrDis"), {}};
    for (int value = 0; value <= kMaxAddress; ++value) {
        address.texts.append(AddressText(value));
    }
    rooms.append(address);
    return rooms;
}

} // namespace zq4
