#include "panel/controlpanel.h"
#include "panel/messageboxfeedback.h"
#include "panel/panelfont.h"

#include "protocol/codepage.h"
#include "protocol/frame.h"
#include "protocol/vocabulary.h"
#include "tests/support/fakes.h"

#include <QtTest>
#include <QtWidgets>

#include <gtest/gtest.h>

namespace zq4 {
namespace {

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    template <class T = QWidget> T* control(const char* name) {
        T* found = window.findChild<T*>(QString::fromLatin1(name));
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
    // Every text a control can show fits on one line inside a two-pixel edge (and beside a
    // list's arrow) in the control's font: each list entry, 13 of the widest letter or digit
    // in the text box, every address.
    void expectTextsFit() {
        for (QWidget* widget : window.findChildren<QWidget*>()) {
            QStringList texts{widget->property("text").toString()};
            QRect room = widget->contentsRect().adjusted(2, 2, -2, -2);
            if (auto* list = qobject_cast<QComboBox*>(widget)) {
                texts.clear();
                for (int i = 0; i < list->count(); ++i) {
                    texts << list->itemText(i);
                }
                QStyleOptionComboBox option;
                option.initFrom(list);
                option.subControls = QStyle::SC_All;
                const QRect arrow = list->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                                  QStyle::SC_ComboBoxArrow, list);
                room.setWidth(room.width() - arrow.width());
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

    test::MemoryStore store;
    test::FakePort port;
    test::RecordingFeedback feedback;
    test::FakeDiscovery discovery;
    ControlPanel window{ControlPanelParts{store, port, feedback, discovery}};
};

TEST_F(WindowTest, EveryControlHasItsKindPlaceColourFittingTextAndToolTip) {
    const QColor grey(192, 192, 192), orange(255, 128, 0), yellow(255, 255, 0), cyan(0, 255, 255);
    // The colour a control is filled with, just inside its edge, as it appears on screen.
    const auto fill = [](QWidget* widget) { return widget->grab().toImage().pixelColor(2, 2); };
    const char* portTip = "Sets the Serial Port for communicating with the Display";
    const char* sendTip = "Sends User Settings to the Display";
    // Name, class, text, tooltip, place in logical pixels, fill, alignment.
    const std::tuple<const char*, const char*, const char*, const char*, QRect, QColor,
                     Qt::Alignment>
        cases[] = {
            {"Image1", "QLabel", "", "", {8, 8, 80, 60}, {}, Qt::AlignLeft},
            {"Label8", "QLabel", "SERIAL PORT:", "", {104, 17, 97, 17}, grey, Qt::AlignRight},
            {"CommSel", "QComboBox", "Com1:", portTip, {208, 16, 73, 21}, orange, {}},
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
    EXPECT_EQ(window.windowTitle(), "ZQ4 Display Control Panel");
    EXPECT_EQ(window.maximumSize(), window.minimumSize());
    EXPECT_EQ(window.size(), QSize(296, 281));
    EXPECT_EQ(fill(&window), grey);
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
            QTest::keyClicks(list, QStringLiteral("XYZ\r"));
            EXPECT_FALSE(list->isEditable());
            EXPECT_EQ(list->currentText(), text) << "a list is picked from, never typed into";
        }
        EXPECT_EQ(widget->property("alignment").value<Qt::Alignment>() & Qt::AlignHorizontal_Mask,
                  align);
        if (colour.isValid()) {
            EXPECT_EQ(fill(widget), colour);
        }
        EXPECT_TRUE(widget->font().bold());
        EXPECT_LE(widget->font().pointSizeF(), 8.25);
        EXPECT_GE(widget->font().pointSizeF(), 6.0);
    }
    expectTextsFit();
}

// Whichever of the window's font families a machine has, that family fits every control, at
// 8.25 pt or made smaller.
TEST_F(WindowTest, EachInstalledPanelFontFitsEveryControl) {
    QStringList installed = PanelFontFamilies();
    installed.removeIf([](const QString& family) { return !IsInstalledFamily(family); });
    if (installed.isEmpty()) {
        GTEST_SKIP() << "none of the window's font families is installed";
    }
    for (const QString& family : installed) {
        SCOPED_TRACE(family.toStdString());
        const QFont font = FittedFont(family, window.textRooms());
        EXPECT_EQ(QFontInfo(font).family().section(QStringLiteral(" ["), 0, 0), family);
        EXPECT_TRUE(font.bold());
        EXPECT_LE(font.pointSizeF(), 8.25);
        for (QWidget* widget : window.findChildren<QWidget*>()) {
            widget->setFont(font);
        }
        expectTextsFit();
    }
}

// A black edge (11:1 against the window grey) marks the focused list, scroll bar or button.
TEST_F(WindowTest, FocusMovesInPanelOrderAndOutlinesTheFocusedControlInBlack) {
    QStringList visited{QApplication::focusWidget()->objectName()};
    for (int tabs = 0; tabs < 6; ++tabs) {
        for (const char* name : {"CommSel", "Message", "BrtVal", "VScroll1", "SendButton"}) {
            QWidget* widget = control(name);
            const QImage image = widget->grab().toImage();
            for (const QPoint edge : {QPoint(0, widget->height() / 2),
                                      QPoint(widget->width() / 2, widget->height() - 1)}) {
                EXPECT_EQ(image.pixelColor(edge) == Qt::black, widget->hasFocus())
                    << name << " after tabs: " << tabs;
            }
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    EXPECT_EQ(visited, QStringList({"CommSel", "Text1", "Message", "BrtVal", "VScroll1",
                                    "SendButton", "CommSel"}));
}

TEST_F(WindowTest, TextBoxTakesThirteenSendableCharacters) {
    // Entered, whether pasted (else typed), kept.
    const std::tuple<QString, bool, QString> cases[] = {
        {"ABCDEFGHIJKLMN", false, "ABCDEFGHIJKLM"},
        {"T-\u00ff10", false, "T-10"},
        {"\u00c4 12", false, "\u00c4 12"},
        {"T-\u00ff10", true, ""},
        {"HOLD \u00c4", true, "HOLD \u00c4"},
        {"0123456789ABCDEF", true, "0123456789ABC"},
        {"ABCDEFGHIJKL\U0001F600", false, "ABCDEFGHIJKL"},
        {"ABCDEFGHIJKL\U0001F600", true, ""}};
    auto* text = control<QLineEdit>("Text1");
    for (const auto& [entered, pasted, kept] : cases) {
        SCOPED_TRACE((pasted ? "pasted " : "typed ") + entered.toStdString());
        text->clear();
        QApplication::clipboard()->setText(entered);
        if (pasted) {
            QTest::keySequence(text, QKeySequence::Paste);
        }
        // One key per character, as a keyboard or an input method delivers it.
        for (const char32_t character : pasted ? QList<uint>() : entered.toUcs4()) {
            QTest::sendKeyEvent(QTest::Click, text, Qt::Key_unknown,
                                QString::fromUcs4(&character, 1), Qt::NoModifier);
        }
        EXPECT_EQ(text->text(), kept);
    }
}

// A stored text may hold characters of two UTF-16 units each (the operator cannot type them):
// the box keeps at most 13 whole characters, and the frame and the store get what it shows.
TEST_F(WindowTest, TextBoxKeepsThirteenWholeCharactersOfAStoredText) {
    const QString smile = QString::fromUcs4(U"\U0001F600", 1);
    const std::pair<QString, QString> cases[] = {{smile.repeated(13), smile.repeated(13)},
                                                 {"ABCDEFGHIJKL" + smile, "ABCDEFGHIJKL" + smile},
                                                 {smile.repeated(14), smile.repeated(13)},
                                                 {"ABCDEFGHIJKLM" + smile, "ABCDEFGHIJKLM"},
                                                 {"ABCDEFGHIJKLMN", "ABCDEFGHIJKLM"}};
    for (const auto& [stored, kept] : cases) {
        SCOPED_TRACE(stored.toStdString());
        window.setText1(stored);
        EXPECT_EQ(window.text1(), kept) << "set by a routine";
        store.set(QStringLiteral("Startup"), QStringLiteral("Custom"), stored);
        window.panel().Form_Load();
        EXPECT_EQ(window.text1(), kept) << "restored at start-up";
        QTest::mouseClick(control("SendButton"), Qt::LeftButton);
        ASSERT_FALSE(port.written.empty());
        EXPECT_EQ(port.written.back().left(kTextFieldLength), EncodeText(*TextField(kept)));
        EXPECT_EQ(store.value(QStringLiteral("Startup"), QStringLiteral("Custom")), kept);
    }
}

TEST_F(WindowTest, ArrowAndPageClicksMoveTheAddressByOneAndTheDisplayFollowsTheThumb) {
    const std::tuple<QStyle::SubControl, int, int> cases[] = {
        {QStyle::SC_ScrollBarSubLine, 5, 6},     {QStyle::SC_ScrollBarAddLine, 5, 4},
        {QStyle::SC_ScrollBarSubPage, 64, 65},   {QStyle::SC_ScrollBarAddPage, 64, 63},
        {QStyle::SC_ScrollBarSubLine, 127, 128}, {QStyle::SC_ScrollBarSubLine, 128, 128},
        {QStyle::SC_ScrollBarAddLine, 0, 0}};
    for (const auto& [part, from, to] : cases) {
        SCOPED_TRACE(::testing::Message() << "part " << part << " from " << from);
        window.panel().setVScroll1(from);
        QTest::mouseClick(control("VScroll1"), Qt::LeftButton, {}, scrollBarPart(part).center());
        EXPECT_EQ(window.addrDis(), AddressText(to));
    }
    // The address display follows the thumb before it is released.
    window.panel().setVScroll1(64);
    auto* bar = control<QScrollBar>("VScroll1");
    const QPoint grip = scrollBarPart(QStyle::SC_ScrollBarSlider).center();
    QTest::mousePress(bar, Qt::LeftButton, {}, grip);
    QStringList shown{window.addrDis()};
    for (int step = 1; step <= 3; ++step) {
        QTest::mouseMove(bar, grip + QPoint(0, 12 * step));
        shown << window.addrDis();
    }
    EXPECT_EQ(bar->value(), kMaxAddress - 64) << "the value holds until the thumb is dropped";
    QTest::mouseRelease(bar, Qt::LeftButton, {}, grip + QPoint(0, 36));
    EXPECT_EQ(shown.first(), "64");
    EXPECT_EQ(shown.last(), window.addrDis()) << "the drop keeps the address the drag showed";
    EXPECT_EQ(shown.removeDuplicates(), 0) << "each move shows a new address";
}

// The routines run on the operator's picks, even of the entry already shown, never on a value
// set from code.
TEST_F(WindowTest, OnlyTheOperatorsPicksRunTheRoutines) {
    window.setCommSel(4);
    window.setVScroll1(77);
    EXPECT_EQ(window.addrDis(), "0");
    auto* list = control<QComboBox>("CommSel");
    list->showPopup();
    QTest::keyClick(list->view(), Qt::Key_Return);
    EXPECT_EQ(port.opens, (std::vector<std::int16_t>{1, 5})) << "at start-up and on the pick";
}

// Each control is named by the label beside it, through the label relation screen readers
// follow and its accessible name (which Qt on Linux ignores for a list, naming it by its entry).
TEST_F(WindowTest, EveryControlIsNamedByItsLabelAndTheScrollBarReportsTheAddress) {
    // Control, its label as "name=text" (none for SEND), accessible name, role.
    const std::tuple<const char*, QStringList, const char*, QAccessible::Role> cases[] = {
        {"CommSel", {"Label8=SERIAL PORT:"}, "Serial port", QAccessible::ComboBox},
        {"VScroll1", {"Label1=ADDRESS"}, "Address", QAccessible::ScrollBar},
        {"Text1", {"Label3=CUSTOM TEXT"}, "Custom text", QAccessible::EditableText},
        {"Message", {"Label4=MESSAGE"}, "Message", QAccessible::ComboBox},
        {"BrtVal", {"Label2=BRIGHTNESS:"}, "Brightness", QAccessible::ComboBox},
        {"SendButton", {}, "SEND", QAccessible::Button}};
    for (const auto& [name, labels, accessibleName, role] : cases) {
        SCOPED_TRACE(name);
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
    }
    // The scroll bar runs from 128 at the top to 0 at the bottom; its value as assistive
    // technology reads it is the address, shown as the address display shows it.
    QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(control("VScroll1"));
    QAccessibleValueInterface* value = bar->valueInterface();
    ASSERT_NE(value, nullptr);
    for (const int address : {0, 64, 128}) {
        window.panel().setVScroll1(address);
        EXPECT_EQ(value->currentValue().toInt(), address);
        EXPECT_EQ(bar->text(QAccessible::Value), AddressText(address));
    }
    EXPECT_EQ(value->minimumValue().toInt(), 0);
    EXPECT_EQ(value->maximumValue().toInt(), kMaxAddress);
}

// Return in the text box is only a key: no frame goes out. SEND is reached by Tab and pressed
// with Space.
TEST_F(WindowTest, ReturnInTheTextBoxSendsNothingAndSpaceOnSendSends) {
    auto* send = control<QPushButton>("SendButton");
    EXPECT_FALSE(send->isDefault() || send->autoDefault());
    QTest::keyClicks(control("Text1"), QStringLiteral("T-10\r"));
    QTest::keyClick(control("Text1"), Qt::Key_Enter);
    EXPECT_TRUE(port.written.empty());
    QTest::keyClick(send, Qt::Key_Space);
    ASSERT_EQ(port.written.size(), 1u);
    EXPECT_EQ(port.written.front().left(kTextFieldLength), "    T-10     ");
}

// The warning box is modal, titled as given, with the exclamation icon and one OK button.
TEST(MessageBoxFeedbackTest, WarningBoxIsModalWithOneOkButton) {
    QString seen;
    QTimer::singleShot(0, [&seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen = QStringLiteral("%1|%2|%3|%4")
                   .arg(box->windowTitle(), box->text())
                   .arg(box->icon() == QMessageBox::Warning)
                   .arg(box->buttons().size());
        box->button(QMessageBox::Ok)->click();
    });
    MessageBoxFeedback().warn(QStringLiteral("ZQ4"), QStringLiteral("Com3: (/dev/x): gone"));
    EXPECT_EQ(seen, QStringLiteral("ZQ4|Com3: (/dev/x): gone|1|1"));
}

} // namespace
} // namespace zq4
