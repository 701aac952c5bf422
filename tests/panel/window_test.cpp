#include "panel/classicstyle.h"
#include "panel/controlpanel.h"
#include "panel/messageboxfeedback.h"
#include "panel/panelfont.h"
#include "panel/panellayout.h"
#include "panel/portmap.h"
#include "panel/portmapdialog.h"

#include "protocol/frame.h"
#include "protocol/vocabulary.h"
#include "serial/qserialportadapter.h"
#include "settings/keys.h"
#include "settings/portmap.h"
#include "settings/qsettingsstore.h"
#include "tests/support/fakes.h"

#include <QtTest>
#include <QtWidgets>

#include <gtest/gtest.h>

namespace zq4 {
namespace {

const SerialDevice kAdapter{
    "/dev/serial/by-id/usb-FTDI_A1B2C3", "/dev/ttyUSB0", "FT232R USB UART", "FTDI", "A1B2C3", true};
const SerialDevice kSecondAdapter{
    "/dev/serial/by-id/usb-PL2303-if00-port0", "/dev/ttyUSB1", "PL2303", "", "", true};
const SerialDevice kBuiltIn{"/dev/ttyS0", "/dev/ttyS0", "", "", "", false};
const QString kPortTip = QStringLiteral("Sets the Serial Port for communicating with the Display");

// The window over fakes, shown; a test that sets the fakes first starts it again.
struct WindowTest : ::testing::Test {
    void SetUp() override { start(); }
    void start() { start(store, port); }
    void start(SettingsStore& settings, SerialPort& serial) {
        window.reset();
        window = std::make_unique<ControlPanel>(
            ControlPanelParts{settings, serial, feedback, discovery});
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    template <class T = QWidget> T* control(const char* name) {
        T* found = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QRect scrollBarPart(QStyle::SubControl part) {
        auto* bar = control<QScrollBar>("VScroll1");
        QStyleOptionSlider option;
        option.initFrom(bar);
        option.orientation = Qt::Vertical;
        option.maximum = bar->maximum();
        option.sliderPosition = bar->sliderPosition();
        return bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, part, bar);
    }
    // Every text a control can show (each list entry where the list draws it, 13 of any letter or
    // digit in the text box, every address) fits on one line inside a two-pixel edge, in its font.
    void expectTextsFit() {
        for (QWidget* widget : window->findChildren<QWidget*>()) {
            QStringList texts{widget->property("text").toString()};
            QRect room = widget->contentsRect().adjusted(2, 2, -2, -2);
            if (auto* list = qobject_cast<QComboBox*>(widget)) {
                for (int i = 0; i < list->count(); ++i) {
                    texts << list->itemText(i);
                }
                room = ListEntryRect(list->size());
            } else if (widget->objectName() == "Text1") {
                for (const QChar c : QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789")) {
                    texts << QString(kTextFieldLength, c);
                }
            } else if (widget->objectName() == "AddrDis") {
                for (int address = 0; address <= kMaxAddress; ++address) {
                    texts << AddressText(address);
                }
            } else if (!qobject_cast<QLabel*>(widget) && !qobject_cast<QPushButton*>(widget)) {
                continue;
            }
            SCOPED_TRACE(widget->objectName().toStdString());
            EXPECT_LE(widget->fontMetrics().height(), room.height());
            for (const QString& text : texts) {
                EXPECT_LE(widget->fontMetrics().horizontalAdvance(text), room.width())
                    << text.toStdString();
            }
        }
    }

    // The port list's tooltip as hovering over it shows it: its device, open or why not, and
    // where the map is made.
    void expectToolTip(const QString& state) {
        auto* list = control("CommSel");
        QHelpEvent hover(QEvent::ToolTip, {5, 5}, list->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(list, &hover);
        QStringList lines{kPortTip, state};
        if (kPortMapOffered) {
            lines << kMapPortsHint;
        }
        EXPECT_EQ(list->toolTip().toStdString(), lines.join('\n').toStdString());
    }

    test::MemoryStore store;
    test::FakePort port;
    test::RecordingFeedback feedback;
    test::FakeDiscovery discovery;
    std::unique_ptr<ControlPanel> window;
};

TEST_F(WindowTest, EveryControlHasItsKindPlaceColourFittingTextAndToolTip) {
    const QColor grey(192, 192, 192), orange(255, 128, 0), yellow(255, 255, 0), cyan(0, 255, 255);
    // The colour a control is filled with, just inside its edge, as it appears on screen.
    const auto fill = [](QWidget* widget) { return widget->grab().toImage().pixelColor(2, 2); };
    const char* sendTip = "Sends User Settings to the Display";
    // Name, class, text, tooltip, place in logical pixels, fill, alignment.
    const std::tuple<const char*, const char*, const char*, QString, QRect, QColor, Qt::Alignment>
        cases[] = {
            {"Image1", "QLabel", "", "", {8, 8, 80, 60}, {}, Qt::AlignLeft},
            {"Label8", "QLabel", "SERIAL PORT:", "", {104, 17, 97, 17}, grey, Qt::AlignRight},
            {"CommSel", "QComboBox", "Com1:", kPortTip, {208, 16, 73, 21}, orange, {}},
            {"Label1", "QLabel", "ADDRESS", "", {16, 80, 65, 17}, grey, Qt::AlignHCenter},
            {"Label3", "QLabel", "CUSTOM TEXT", "", {104, 80, 161, 17}, grey, Qt::AlignHCenter},
            {"Text1", "QLineEdit", "", "", {88, 96, 193, 21}, {}, Qt::AlignLeft},
            {"VScroll1", "QScrollBar", "", "", {40, 104, 17, 137}, {}, {}},
            {"Label4", "QLabel", "MESSAGE", "", {120, 144, 121, 17}, grey, Qt::AlignHCenter},
            {"Message", "QComboBox", "000  CUSTOM", "", {88, 160, 193, 21}, yellow, {}},
            {"Label2", "QLabel", "BRIGHTNESS:", "", {136, 192, 89, 17}, grey, Qt::AlignRight},
            {"BrtVal", "QComboBox", "4", "", {232, 192, 49, 21}, yellow, {}},
            {"SendButton", "QPushButton", "SEND", sendTip, {224, 232, 57, 33}, cyan, {}},
            {"AddrDis", "QLineEdit", "0", "", {32, 248, 33, 19}, Qt::white, Qt::AlignLeft},
        };
    EXPECT_EQ(window->windowTitle(), "ZQ4 Display Control Panel");
    EXPECT_EQ(window->maximumSize(), window->minimumSize());
    EXPECT_EQ(window->size(), QSize(296, 281));
    EXPECT_EQ(fill(window.get()), grey);
    for (const auto& [name, kind, text, toolTip, place, colour, align] : cases) {
        SCOPED_TRACE(name);
        QWidget* widget = control(name);
        ASSERT_NE(widget, nullptr);
        EXPECT_STREQ(widget->metaObject()->className(), kind);
        EXPECT_EQ(widget->geometry(), place);
        EXPECT_EQ(widget->toolTip(), toolTip);
        auto* list = qobject_cast<QComboBox*>(widget);
        EXPECT_EQ(widget->property(list ? "currentText" : "text").toString(), text);
        if (list) {
            list->showPopup();
            QAbstractItemView* entries = list->view();
            EXPECT_GE(entries->viewport()->width(), entries->sizeHintForColumn(0))
                << "the open list shows every entry whole";
            list->hidePopup();
        }
        EXPECT_EQ(widget->property("alignment").value<Qt::Alignment>() & Qt::AlignHorizontal_Mask,
                  align);
        if (colour.isValid()) {
            EXPECT_EQ(fill(widget), colour);
        }
        const qreal points = widget->font().pointSizeF();
        EXPECT_TRUE(widget->font().bold() && points >= 6.0 && points <= 8.25) << points;
    }
}

// The window's own font fits every control, and so does whichever of the window's font families
// a machine has, at 8.25 pt or made smaller.
TEST_F(WindowTest, ItsFontAndEachInstalledPanelFontFitEveryControl) {
    expectTextsFit();
    QStringList installed = PanelFontFamilies();
    installed.removeIf([](const QString& family) { return !IsInstalledFamily(family); });
    for (const QString& family : installed) {
        SCOPED_TRACE(family.toStdString());
        const QFont font = FittedFont(family, PanelTextRooms());
        EXPECT_EQ(QFontInfo(font).family().section(QStringLiteral(" ["), 0, 0), family);
        EXPECT_TRUE(font.bold() && font.pointSizeF() <= 8.25) << font.pointSizeF();
        for (QWidget* widget : window->findChildren<QWidget*>()) {
            widget->setFont(font);
        }
        expectTextsFit();
    }
}

// The window owns its colours and shapes: under a dark palette, under every installed style, and
// both, the window and each of its controls, a list's popup too, draw exactly as on the default
// desktop. The application keeps the desktop's style and palette, and dialogs follow them.
TEST_F(WindowTest, LooksTheSameOnEveryDesktopWhileDialogsFollowTheDesktop) {
    const auto looks = [this] {
        EXPECT_EQ(window->findChildren<QAbstractItemView*>().size(), 0)
            << "a list makes its popup list when first shown, not before";
        std::map<QString, QImage> drawn{{"ZQ4", window->grab().toImage()}};
        for (QWidget* widget : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            drawn[widget->objectName()] = widget->grab().toImage();
        }
        auto* list = control<QComboBox>("Message");
        list->showPopup();
        drawn["Message popup"] = list->view()->window()->grab().toImage();
        list->hidePopup();
        return drawn;
    };
    const std::map<QString, QImage> classic = looks();
    // Puts the desktop back as it was, whatever the checks below find.
    const auto restore =
        qScopeGuard([style = QApplication::style()->name(), palette = QApplication::palette()] {
            QApplication::setStyle(style);
            QApplication::setPalette(palette);
        });
    // White text on near-black, as dark desktop themes have it.
    const QPalette dark(Qt::white, QColor(53, 53, 53), QColor(80, 80, 80), Qt::black,
                        QColor(40, 40, 40), Qt::white, Qt::white, QColor(42, 42, 42),
                        QColor(53, 53, 53));
    for (const QString& style : QStyleFactory::keys()) {
        QApplication::setStyle(style);
        for (const QPalette& palette : {QApplication::style()->standardPalette(), dark}) {
            SCOPED_TRACE(style.toStdString() + (palette == dark ? ", dark palette" : ""));
            QApplication::setPalette(palette);
            const QPalette desktopPalette = QApplication::palette();
            start();
            QStringList changed;
            for (const auto& [name, image] : looks()) {
                if (image != classic.at(name)) {
                    changed << name;
                }
            }
            EXPECT_EQ(changed.join(' ').toStdString(), "");
            EXPECT_EQ(QApplication::style()->name(), style.toLower());
            EXPECT_EQ(QApplication::palette(), desktopPalette);
            PortMapDialog* dialog = window->portMap().openDialog();
            EXPECT_EQ(dialog->style(), QApplication::style());
            EXPECT_NE(dialog->palette().color(QPalette::Window),
                      window->palette().color(QPalette::Window));
            dialog->reject();
        }
    }
}

// Restored from the store, a text keeps what of its first 13 characters fits the box's 13 UTF-16
// units whole (a character of two, which the display cannot show, is never split). Return in the
// box sends nothing; Space, Return or Enter on SEND each send once.
TEST_F(WindowTest, TextBoxTakesThirteenSendableCharactersAndReturnSendsNothing) {
    enum How { Typed, Pasted, Restored };
    const QString smile = QString::fromUcs4(U"\U0001F600", 1);
    const std::tuple<QString, How, QString> cases[] = {
        {"ABCDEFGHIJKLMN", Typed, "ABCDEFGHIJKLM"},
        {"T-\u00ff10", Typed, "T-10"},
        {"T-\u00ff10", Pasted, ""},
        {"HOLD \u00c4", Pasted, "HOLD \u00c4"},
        {"ABCDEFGHIJKL" + smile, Typed, "ABCDEFGHIJKL"},
        {"ABCDEFGHIJKL" + smile, Restored, "ABCDEFGHIJKL"},
        {smile.repeated(14), Restored, smile.repeated(6)}};
    auto* text = control<QLineEdit>("Text1");
    for (const auto& [entered, how, kept] : cases) {
        SCOPED_TRACE(::testing::Message() << how << ' ' << entered.toStdString());
        text->clear();
        if (how == Restored) {
            window->setCustomText(entered);
        }
        QApplication::clipboard()->setText(entered);
        if (how == Pasted) {
            QTest::keySequence(text, QKeySequence::Paste);
        }
        // One key per character, as a keyboard or an input method delivers it.
        for (const char32_t character : how == Typed ? entered.toUcs4() : QList<uint>()) {
            QTest::sendKeyEvent(QTest::Click, text, Qt::Key_unknown,
                                QString::fromUcs4(&character, 1), Qt::NoModifier);
        }
        EXPECT_EQ(text->text(), kept);
    }
    QTest::keyClick(text, Qt::Key_Return);
    QTest::keyClick(text, Qt::Key_Enter);
    EXPECT_TRUE(port.written.empty());
    std::size_t sent = 0;
    for (const Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter}) {
        QTest::keyClick(control("SendButton"), key);
        EXPECT_EQ(port.written.size(), ++sent) << key;
    }
}

// Letters typed into the message list find the next entry holding them, in any case, from the
// entry shown on and round; keys typed without a pause make one search, digits find the code.
// The open list finds alike. A new visit to the list starts a new search.
TEST_F(WindowTest, TypedLettersFindAMessageByItsNameAndDigitsByItsCode) {
    auto* list = control<QComboBox>("Message");
    // What is typed, whether into the open list, the entry then shown.
    const std::tuple<QString, bool, QString> cases[] = {
        {"total", false, "022  Total Holdtime"},
        {"total", false, "150 (86)  TOTAL HOLD"},
        {"hold", true, "155 (91)  START OF HOLD"},
        {"first", false, "007  ALT First Motion"},
        {"150", false, "150 (86)  TOTAL HOLD"},
        {"qj", false, "150 (86)  TOTAL HOLD"},
        {"tt", false, "152 (88)  HTA"},
        {"end w", true, "158 (94)  END WINDOW"},
        {"end w", false, "158 (94)  END WINDOW"},
    };
    for (const auto& [typed, open, shown] : cases) {
        SCOPED_TRACE(typed.toStdString());
        control("BrtVal")->setFocus();
        list->setFocus();
        if (open) {
            list->showPopup();
            QTest::keyClicks(list->view(), typed);
            QTest::keyClick(list->view(), Qt::Key_Return);
        } else {
            QTest::keyClicks(list, typed);
        }
        EXPECT_EQ(list->currentText().toStdString(), shown.toStdString());
        EXPECT_TRUE(list->findChildren<QLineEdit*>().isEmpty()) << "pick-only";
    }
}

// Digits typed on the address scroll bar set the address, "128" or A giving ALL; a pause starts a
// new number, one above 128 is refused with a beep. Arrows still move by one. Assistive technology
// reads and sets the address as the scroll bar's value (not the widget's own, which runs back).
TEST_F(WindowTest, DigitsTypedOnTheScrollBarSetTheAddress) {
    QWidget* bar = control("VScroll1");
    QAccessibleInterface* read = QAccessible::queryAccessibleInterface(bar);
    ASSERT_NE(read->valueInterface(), nullptr);
    // Keys, whether a pause comes first, the address shown, the beeps so far.
    const std::tuple<QList<int>, bool, QString, int> cases[] = {
        {{Qt::Key_1, Qt::Key_2}, false, "12", 0},
        {{Qt::Key_A}, false, "ALL", 0},
        {{Qt::Key_0, Qt::Key_3, Qt::Key_0, Qt::Key_0}, false, "30", 1},
        {{Qt::Key_Up}, false, "31", 1},
        {{Qt::Key_1, Qt::Key_2, Qt::Key_8}, false, "ALL", 1},
        {{Qt::Key_6, Qt::Key_4}, true, "64", 1}};
    for (const auto& [keys, pause, shown, beeps] : cases) {
        SCOPED_TRACE(shown.toStdString());
        if (pause) {
            QTest::qWait(1100);
        }
        for (const int key : keys) {
            QTest::keyClick(bar, static_cast<Qt::Key>(key));
        }
        EXPECT_EQ(window->shownAddress().toStdString(), shown.toStdString());
        EXPECT_EQ(feedback.shown.count("beep"), beeps);
        EXPECT_EQ(AddressText(read->valueInterface()->currentValue().toInt()), shown);
        EXPECT_EQ(read->text(QAccessible::Value), shown);
    }
    // SEND sends the address shown, ALL as 128, whichever way it was set.
    for (const int address : {64, 5, 128, 0}) {
        if (address != 64) {
            read->valueInterface()->setCurrentValue(address);
        }
        EXPECT_EQ(window->shownAddress(), AddressText(address));
        QTest::keyClick(control("SendButton"), Qt::Key_Space);
        ASSERT_FALSE(port.written.empty());
        EXPECT_EQ(static_cast<std::uint8_t>(port.written.back().at(15)), address) << address;
    }
    EXPECT_EQ(read->valueInterface()->minimumValue(), 0);
    EXPECT_EQ(read->valueInterface()->maximumValue(), kMaxAddress);
}

TEST_F(WindowTest, ArrowAndPageClicksMoveTheAddressByOneAndTheDisplayFollowsTheThumb) {
    const std::tuple<QStyle::SubControl, int, int> cases[] = {
        {QStyle::SC_ScrollBarSubLine, 5, 6},     {QStyle::SC_ScrollBarAddLine, 5, 4},
        {QStyle::SC_ScrollBarSubPage, 64, 65},   {QStyle::SC_ScrollBarAddPage, 64, 63},
        {QStyle::SC_ScrollBarSubLine, 127, 128}, {QStyle::SC_ScrollBarSubLine, 128, 128},
        {QStyle::SC_ScrollBarAddLine, 0, 0}};
    for (const auto& [part, from, to] : cases) {
        SCOPED_TRACE(::testing::Message() << "part " << part << " from " << from);
        window->panel().setAddress(from);
        QTest::mouseClick(control("VScroll1"), Qt::LeftButton, {}, scrollBarPart(part).center());
        EXPECT_EQ(window->shownAddress(), AddressText(to));
    }
    // The address display follows the thumb before it is released.
    window->panel().setAddress(64);
    auto* bar = control<QScrollBar>("VScroll1");
    const QPoint grip = scrollBarPart(QStyle::SC_ScrollBarSlider).center();
    QTest::mousePress(bar, Qt::LeftButton, {}, grip);
    QStringList shown{window->shownAddress()};
    for (int step = 1; step <= 3; ++step) {
        QTest::mouseMove(bar, grip + QPoint(0, 12 * step));
        shown << window->shownAddress();
    }
    EXPECT_EQ(bar->value(), kMaxAddress - 64) << "the value holds until the thumb is dropped";
    QTest::mouseRelease(bar, Qt::LeftButton, {}, grip + QPoint(0, 36));
    EXPECT_EQ(shown.first(), "64");
    EXPECT_EQ(shown.last(), window->shownAddress()) << "the drop keeps the address the drag showed";
    EXPECT_EQ(shown.removeDuplicates(), 0) << "each move shows a new address";
}

// The routines run on the operator's picks, even of the entry already shown, never on a value
// set from code.
TEST_F(WindowTest, OnlyTheOperatorsPicksRunTheRoutines) {
    window->setPortPosition(4);
    window->setAddress(77);
    EXPECT_EQ(window->shownAddress(), "0");
    auto* list = control<QComboBox>("CommSel");
    list->showPopup();
    QTest::keyClick(list->view(), Qt::Key_Return);
    EXPECT_EQ(port.opens, (std::vector<std::int16_t>{1, 5})) << "at start-up and on the pick";
}

// Tab moves the focus through the controls in the panel's order and round; a black edge (11:1
// against the window grey) marks the focused list, scroll bar or button. Each control is named by
// the label beside it, through the label relation screen readers follow and its accessible name
// (which Qt on Linux ignores for a list, naming it by its entry).
TEST_F(WindowTest, FocusMovesInPanelOrderOutliningTheControlEachNamedByItsLabel) {
    // Control in the focus order, its label as "name=text" (none for SEND), accessible name, role.
    const std::tuple<const char*, QStringList, const char*, QAccessible::Role> cases[] = {
        {"CommSel", {"Label8=SERIAL PORT:"}, "Serial port", QAccessible::ComboBox},
        {"Text1", {"Label3=CUSTOM TEXT"}, "Custom text", QAccessible::EditableText},
        {"Message", {"Label4=MESSAGE"}, "Message", QAccessible::ComboBox},
        {"BrtVal", {"Label2=BRIGHTNESS:"}, "Brightness", QAccessible::ComboBox},
        {"VScroll1", {"Label1=ADDRESS"}, "Address", QAccessible::ScrollBar},
        {"SendButton", {}, "SEND", QAccessible::Button}};
    for (const auto& [name, labels, accessibleName, role] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), name);
        for (const char* outlined : {"CommSel", "Message", "BrtVal", "VScroll1", "SendButton"}) {
            QWidget* widget = control(outlined);
            const QImage image = widget->grab().toImage();
            for (const QPoint edge : {QPoint(0, widget->height() / 2),
                                      QPoint(widget->width() / 2, widget->height() - 1)}) {
                EXPECT_EQ(image.pixelColor(edge) == Qt::black, widget->hasFocus()) << outlined;
            }
        }
        QWidget* widget = control(name);
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        ASSERT_NE(accessible, nullptr);
        EXPECT_EQ(accessible->role(), role);
        EXPECT_EQ(qobject_cast<QComboBox*>(widget) ? widget->accessibleName()
                                                   : accessible->text(QAccessible::Name),
                  accessibleName);
        QStringList found;
        for (const auto& [label, relation] : accessible->relations(QAccessible::Label)) {
            found << label->object()->objectName() + '=' + label->text(QAccessible::Name);
        }
        EXPECT_EQ(found, labels);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(QApplication::focusWidget()->objectName(), "CommSel");
}

// On Windows each port is its own device, COM<n>: there is no map, and no menu to open it.
TEST_F(WindowTest, PortListMenuOpensOnRightClickContextKeyAndShiftF10) {
    QWidget* list = control("CommSel");
    QContextMenuEvent click(QContextMenuEvent::Mouse, {5, 5}, list->mapToGlobal(QPoint(5, 5)));
    const std::tuple<const char*, std::function<void()>, bool> requests[] = {
        {"right-click", [&] { QApplication::sendEvent(list, &click); }, true},
        {"menu key", [&] { QTest::keyClick(list, Qt::Key_Menu); }, true},
        {"Shift+F10", [&] { QTest::keyClick(list, Qt::Key_F10, Qt::ShiftModifier); }, true},
        {"F10", [&] { QTest::keyClick(list, Qt::Key_F10); }, false},
    };
    for (const auto& [how, request, opens] : requests) {
        SCOPED_TRACE(how);
        request();
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_EQ(menu != nullptr, opens && kPortMapOffered);
        if (menu != nullptr) {
            ASSERT_EQ(menu->actions().size(), 1);
            EXPECT_EQ(menu->actions().front()->text(), "Map ports to devices...");
            menu->actions().front()->trigger();
            menu->close();
            auto* dialog = qobject_cast<PortMapDialog*>(QApplication::activeModalWidget());
            ASSERT_TRUE(dialog != nullptr && dialog->windowTitle() == "ZQ4 Ports");
            dialog->reject();
        }
    }
}

#ifndef Q_OS_WIN
TEST_F(WindowTest, DialogListsDevicesByStableLinkWithWhatIsKnownAndMarksAbsentOnes) {
    discovery.present = {kAdapter, kBuiltIn};
    const QString gone = QStringLiteral("/dev/serial/by-id/usb-gone-if00-port0");
    PortMapDialog dialog(discovery, {"", "", gone, "ttyUSB0", "", "", "", "", ""});
    const auto row = [&](int port) { return dialog.findChild<QComboBox*>(keys::portKey(port)); };
    const auto found = [&](int n) { return dialog.findChild<QLabel*>(keys::portKey(n) + "Found"); };
    EXPECT_EQ(row(9)->accessibleName() + '|' + found(9)->accessibleName(),
              "Com9: device|Com9: device found");

    // What is stored is the stable link (in the dialog's devices below).
    ASSERT_EQ(row(1)->count(), 2);
    EXPECT_EQ(row(1)->itemData(0, Qt::DisplayRole).toString(),
              "FT232R USB UART, FTDI, serial number A1B2C3 - " + kAdapter.path);
    EXPECT_EQ(row(1)->itemData(1, Qt::DisplayRole).toString(), "/dev/ttyS0");
    EXPECT_EQ(row(1)->lineEdit()->placeholderText(), "/dev/ttyS0");
    row(1)->setCurrentIndex(0);
    EXPECT_EQ(found(1)->text(), "FT232R USB UART, FTDI, serial number A1B2C3");

    EXPECT_EQ(row(3)->currentText(), gone);
    EXPECT_EQ(row(3)->itemData(0, Qt::DisplayRole).toString(), gone + " (not present)");
    EXPECT_EQ(found(3)->text(), "(not present)");
    EXPECT_EQ(row(4)->count(), 2) << "ttyUSB0 is /dev/ttyUSB0, present";
    // An empty row's device shown in grey is marked too, unless it is listed.
    EXPECT_EQ(found(2)->text().toStdString(), "(not present)");
    EXPECT_EQ(
        (row(2)->accessibleDescription() + "|" + row(3)->accessibleDescription()).toStdString(),
        ("Empty: not mapped, Com2: uses /dev/ttyS1|Com3: opens " + gone).toStdString());

    // The explanation comes first to a screen reader; typing never changes the dialog's width.
    const QString readFirst =
        QAccessible::queryAccessibleInterface(&dialog)->child(0)->text(QAccessible::Name);
    EXPECT_EQ(readFirst.left(26).toStdString(), "The device each port opens");
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    const int width = dialog.width();
    QTest::keyClicks(row(6), "zq4-a-device-by-a-name-much-longer-than-any-row-shows");
    QCoreApplication::processEvents();
    EXPECT_EQ(dialog.width(), width);

    // A name without a leading '/' is the device under /dev that the port opens, shown with it.
    const std::pair<QString, QString> typed[] = {
        {"ttyUSB0", "FT232R USB UART, FTDI, serial number A1B2C3 - /dev/ttyUSB0"},
        {"null", "/dev/null"},
        {" zq4-absent", "/dev/zq4-absent (not present)"},
        {"/dev/null", ""},
        {"/dev/zq4-absent", "(not present)"},
        {"/dev/ttyS0", ""}};
    for (const auto& [text, shown] : typed) {
        row(5)->setEditText(text);
        EXPECT_EQ(found(5)->text().toStdString(), shown.toStdString()) << text.toStdString();
    }
    row(5)->setEditText("");

    // A /dev/ttyS node that is there without a port behind it is not present.
    discovery.present = {kAdapter, kSecondAdapter};
    QTest::mouseClick(dialog.findChild<QPushButton*>("Refresh"), Qt::LeftButton);
    EXPECT_EQ(row(2)->count(), 2) << "the adapter plugged in since is listed";
    EXPECT_EQ(dialog.findChild<QLabel*>("Listed")->text(), "Found 2 serial devices.");
    EXPECT_EQ(dialog.devices(),
              QStringList({kAdapter.path, "", gone, "ttyUSB0", "",
                           "zq4-a-device-by-a-name-much-longer-than-any-row-shows", "", "", ""}));
    row(1)->setEditText("");
    EXPECT_EQ(found(1)->text().toStdString(), "(not present)");
}

// OK writes only the rows the operator changed, against the settings file as it is then: what
// another program wrote while the dialog was open stays, unless the operator changed the same row,
// which keeps the file's entry and is named in a box. An empty row is no entry. Only a change to
// the device of the port in use (Com1) picks it again; each port's entry, and the port list's
// tooltip, name the device the file then gives. A map the file refuses changes nothing, and the
// operator is told.
TEST_F(WindowTest, OkWritesOnlyTheOperatorsChangesAndPicksThePortInUseAgainIfItsDeviceChanged) {
    QTemporaryDir home;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, home.path());
    QSettingsStore fileStore;
    const QString ini = fileStore.location(keys::kApplication);
    const auto write = [&ini](const QByteArray& bytes) {
        QFile file(ini);
        ASSERT_TRUE(QDir().mkpath(QFileInfo(ini).path()) && file.open(QIODevice::WriteOnly) &&
                    file.write(bytes) == bytes.size());
    };
    const auto read = [&ini] {
        QFile file(ini);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<no file>");
    };
    const QByteArray opened = "[Ports]\nCom3=/dev/ttyUSB7\n[Startup]\nDakcomm=1\n";
    const QByteArray other =
        "[Ports]\nCom3=/dev/ttyUSB9\nCom4=/dev/ttyACM0\n[Startup]\nDakcomm=1\n";
    const QByteArray otherAndCom5 = "[Ports]\nCom3=/dev/ttyUSB9\nCom4=/dev/ttyACM0\n"
                                    "Com5=/dev/ttyUSB5\n\n[Startup]\nDakcomm=1\n";
    const QByteArray com1 = "[Ports]\nCom1=pts/3\nCom3=/dev/ttyUSB7\n\n[Startup]\nDakcomm=1\n";
    const QByteArray kept = "[Other]\nKept=1\n", handWritten = opened + "[Other]\nnot a setting\n";
    const QString conflict = "beep|box:ZQ4:While the dialog was open, the port map in " + ini +
                             " was changed elsewhere (by another program, or by hand). These "
                             "ports keep what is stored there; your choice for them was not "
                             "stored:\nCom3: /dev/ttyUSB9 (your choice: %1)\n%2To change these "
                             "ports, choose Map ports to devices... again.";
    const QString conflictAndStored =
        conflict.arg("/dev/ttyUSB8", "Your other changes were stored. ");
    const QString refused = "beep|box:ZQ4:Cannot write the settings file " + ini +
                            ": it holds lines that are not settings (each line must be a [section] "
                            "or a key=value); correct or remove the file\n\nThe ports keep the "
                            "devices they had.";
    // The rows the operator sets, what the file holds at OK, the file after OK, the boxes, how
    // often Com1 was opened (at start-up, and again when picked).
    const std::tuple<std::map<int, QString>, QByteArray, QByteArray, QString, int> cases[] = {
        {{}, other, other, "", 1},
        {{{5, "/dev/ttyUSB5"}}, other, otherAndCom5, "", 1},
        {{{3, ""}}, opened + kept, kept + "\n[Startup]\nDakcomm=1\n", "", 1},
        {{{3, "/dev/ttyUSB9"}}, other, other, "", 1},
        {{{3, ""}}, other, other, conflict.arg("not mapped", ""), 1},
        {{{3, "/dev/ttyUSB8"}, {5, "/dev/ttyUSB5"}}, other, otherAndCom5, conflictAndStored, 1},
        {{{1, "pts/3"}}, opened, com1, "", 2},
        {{{1, "/dev/ttyUSB1"}}, handWritten, handWritten, refused, 1}};
    for (const auto& [rows, meanwhile, after, shown, opens] : cases) {
        SCOPED_TRACE(after.toStdString());
        write(opened);
        port.opens.clear();
        start(fileStore, port);
        feedback.shown.clear();
        PortMapDialog* dialog = window->portMap().openDialog();
        for (const auto& [portNumber, device] : rows) {
            QLineEdit* edit = dialog->findChild<QComboBox*>(keys::portKey(portNumber))->lineEdit();
            edit->selectAll();
            QTest::keyClick(edit, Qt::Key_Delete);
            QTest::keyClicks(edit, device);
        }
        write(meanwhile);
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        EXPECT_EQ(read().toStdString(), after.toStdString());
        EXPECT_EQ(feedback.shown.join('|').toStdString(), shown.toStdString());
        EXPECT_EQ(port.opens, std::vector<std::int16_t>(opens, 1));
        QStringList devices;
        for (int entry = 0; entry < kPortCount; ++entry) {
            devices << control<QComboBox>("CommSel")->itemData(entry, Qt::ToolTipRole).toString();
        }
        EXPECT_EQ(devices, PortMap(fileStore).devices());
        expectToolTip("Com1: (" + devices.front() + "): open");
    }
    window.reset(); // before the store it works through
}

// Nothing is mapped for the operator: the warning only names the adapter, says how and where the
// map is kept. The rest of start-up still runs.
TEST_F(WindowTest, FirstStartWarningNamesTheOnlyUsbAdapterPresent) {
    const std::tuple<std::vector<SerialDevice>, QString, bool> cases[] = {
        {{kAdapter, kBuiltIn}, "", true},
        {{kAdapter, kSecondAdapter}, "", false},
        {{kAdapter}, "/dev/ttyUSB5", false},
        {{kBuiltIn}, "", false}};
    const QString found = "Found FT232R USB UART at " + kAdapter.path +
                          ": map Com1 to it with Map ports to devices...\n";
    for (const auto& [present, com5, named] : cases) {
        SCOPED_TRACE(present.size());
        store = test::MemoryStore();
        store.set(keys::kPorts, keys::portKey(5), com5);
        store.set(keys::kStartup, keys::kAddr, "12");
        discovery.present = present;
        port.failing = {test::FakePort::Open};
        port.opened = false;
        feedback.shown.clear();
        start();
        EXPECT_EQ(feedback.shown.join('|'), "beep|box:ZQ4:step 2 failed\n\n" +
                                                (named ? found : "") + kMapPortsHint +
                                                "\nThe map is kept in the group [Ports] of the "
                                                "test's store.");
        EXPECT_EQ(store.puts, 0);
        EXPECT_EQ(window->shownAddress(), "12");
        expectToolTip("Com1: (/dev/ttyS0): not open: step 2 failed");
    }
}

// With the real port adapter: a mapped name without a leading '/' opens the device under /dev,
// and the port list's tooltip names the port and that device once, then why it is not open.
TEST_F(WindowTest, ToolTipNamesThePortAndItsDeviceOnceBeforeWhyItIsNotOpen) {
    store.set(keys::kPorts, keys::portKey(1), "zq4-absent1");
    QSerialPortAdapter adapter(PortMap(store).lookup());
    start(store, adapter);
    const QString named = "Com1: (/dev/zq4-absent1): ";
    ASSERT_TRUE(feedback.shown.size() == 2 && feedback.shown[1].startsWith("box:ZQ4:" + named))
        << feedback.shown.join('\n').toStdString();
    const QString reason = feedback.shown[1].section("\n\n", 0, 0).mid(8 + named.size());
    expectToolTip(named + "not open: " + reason);
    window.reset(); // before the adapter it works through
}

#endif

// A port that fails at start-up is told in a modal box before the window is shown.
TEST_F(WindowTest, StartUpWarningIsAModalBoxBeforeTheWindowShows) {
    window.reset();
    port.failing = {test::FakePort::Open};
    MessageBoxFeedback boxes;
    QStringList seen;
    QObject answer; // goes with the test, so the answer cannot come in a later one
    QTimer::singleShot(0, &answer, [&seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<ControlPanel*>(widget) != nullptr && widget->isVisible()) {
                seen << "window shown";
            }
        }
        seen << box->windowTitle() + ':' + box->text().section("\n\n", 0, 0);
        box->button(QMessageBox::Ok)->click();
    });
    const ControlPanel panel(ControlPanelParts{store, port, boxes, discovery});
    EXPECT_EQ(seen, QStringList({"ZQ4:step 2 failed"}));
}

} // namespace
} // namespace zq4
