#include "panel/controlpanel.h"
#include "panel/messageboxfeedback.h"

#include "protocol/vocabulary.h"
#include "tests/support/fakes.h"

#include <QTest>
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

    test::MemoryStore store;
    test::FakePort port;
    test::RecordingFeedback feedback;
    test::FakeDiscovery discovery;
    ControlPanel window{ControlPanelParts{store, port, feedback, discovery}};
};

// Every text also fits inside a two-pixel edge, in the panel font or its stand-in and in the bold
// sans every Debian machine has.
TEST_F(WindowTest, EveryControlHasItsKindPlaceColourFittingTextAndToolTip) {
    const QColor grey(192, 192, 192), orange(255, 128, 0), yellow(255, 255, 0), cyan(0, 255, 255);
    // The colour a control is filled with, just inside its edge, as it appears on screen.
    const auto fill = [](QWidget* widget) { return widget->grab().toImage().pixelColor(2, 2); };
    const char* portTip = "Sets the Serial Port for communicating with the Display";
    const char* sendTip = "Sends User Settings to the Display";
    const struct {
        const char *name, *kind, *text, *toolTip;
        QRect twips;
        QColor colour;
        Qt::Alignment align;
    } cases[] = {
        {"Image1", "QLabel", "", "", {120, 120, 1200, 900}, {}, Qt::AlignLeft},
        {"Label8", "QLabel", "SERIAL PORT:", "", {1560, 255, 1455, 255}, grey, Qt::AlignRight},
        {"CommSel", "QComboBox", "Com1:", portTip, {3120, 240, 1095, 315}, orange, {}},
        {"Label1", "QLabel", "ADDRESS", "", {240, 1200, 975, 255}, grey, Qt::AlignHCenter},
        {"Label3", "QLabel", "CUSTOM TEXT", "", {1560, 1200, 2415, 255}, grey, Qt::AlignHCenter},
        {"Text1", "QLineEdit", "", "", {1320, 1440, 2895, 315}, {}, Qt::AlignLeft},
        {"VScroll1", "QScrollBar", "", "", {600, 1560, 255, 2055}, {}, {}},
        {"Label4", "QLabel", "MESSAGE", "", {1800, 2160, 1815, 255}, grey, Qt::AlignHCenter},
        {"Message", "QComboBox", "000  CUSTOM", "", {1320, 2400, 2895, 315}, yellow, {}},
        {"Label2", "QLabel", "BRIGHTNESS:", "", {2040, 2880, 1335, 255}, grey, Qt::AlignRight},
        {"BrtVal", "QComboBox", "4", "", {3480, 2880, 735, 315}, yellow, {}},
        {"SendButton", "QPushButton", "SEND", sendTip, {3360, 3480, 855, 495}, cyan, {}},
        {"AddrDis", "QLineEdit", "0", "", {480, 3720, 495, 285}, Qt::white, Qt::AlignLeft},
    };
    EXPECT_EQ(window.windowTitle(), "ZQ4 Display Control Panel");
    EXPECT_EQ(window.maximumSize(), window.minimumSize());
    EXPECT_EQ(window.size(), QSize(296, 281));
    EXPECT_EQ(fill(&window), grey);
    QFont fallback(QStringLiteral("DejaVu Sans"), -1, QFont::Bold);
    fallback.setPointSizeF(8.25);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QWidget* widget = control(c.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_STREQ(widget->metaObject()->className(), c.kind);
        EXPECT_EQ(widget->geometry(), QRect(c.twips.topLeft() / 15, c.twips.size() / 15));
        EXPECT_EQ(widget->toolTip(), c.toolTip);
        const QString text =
            widget->property(qobject_cast<QComboBox*>(widget) ? "currentText" : "text").toString();
        EXPECT_EQ(text, c.text);
        if (auto* list = qobject_cast<QComboBox*>(widget)) {
            QTest::keyClicks(list, QStringLiteral("XYZ\r"));
            EXPECT_FALSE(list->isEditable());
            EXPECT_EQ(list->currentText(), c.text) << "a list is picked from, never typed into";
        }
        EXPECT_EQ(widget->property("alignment").value<Qt::Alignment>() & Qt::AlignHorizontal_Mask,
                  c.align);
        if (c.colour.isValid()) {
            EXPECT_EQ(fill(widget), c.colour);
        }
        EXPECT_TRUE(widget->font().bold());
        EXPECT_DOUBLE_EQ(widget->font().pointSizeF(), 8.25);
        for (const QFont& font : {widget->font(), fallback}) {
            SCOPED_TRACE(font.family().toStdString());
            widget->setFont(font);
            const QRect room = widget->contentsRect().adjusted(2, 2, -2, -2);
            EXPECT_LE(widget->fontMetrics().horizontalAdvance(text), room.width());
            EXPECT_LE(widget->fontMetrics().height(), room.height());
        }
    }
}

TEST_F(WindowTest, FocusMovesInPanelOrderAndOutlinesTheFocusedListInBlack) {
    QStringList visited{QApplication::focusWidget()->objectName()};
    for (int tabs = 0; tabs < 6; ++tabs) {
        for (const char* name : {"CommSel", "Message", "BrtVal"}) {
            QWidget* list = control(name);
            const QColor edge = list->grab().toImage().pixel(0, list->height() / 2);
            EXPECT_EQ(edge == Qt::black, list->hasFocus()) << name << " after tabs: " << tabs;
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    EXPECT_EQ(visited, QStringList({"CommSel", "Text1", "Message", "BrtVal", "VScroll1",
                                    "SendButton", "CommSel"}));
}

TEST_F(WindowTest, TextBoxTakesThirteenSendableCharacters) {
    const struct {
        QString entered;
        bool pasted;
        QString kept;
    } cases[] = {
        {"ABCDEFGHIJKLMN", false, "ABCDEFGHIJKLM"}, {"T-\u00ff10", false, "T-10"},
        {"\u00c4 12", false, "\u00c4 12"},          {"T-\u00ff10", true, ""},
        {"HOLD \u00c4", true, "HOLD \u00c4"},       {"0123456789ABCDEF", true, "0123456789ABC"},
    };
    auto* text = control<QLineEdit>("Text1");
    for (const auto& c : cases) {
        SCOPED_TRACE((c.pasted ? "pasted " : "typed ") + c.entered.toStdString());
        text->clear();
        QApplication::clipboard()->setText(c.entered);
        c.pasted ? QTest::keySequence(text, QKeySequence::Paste)
                 : QTest::keyClicks(text, c.entered);
        EXPECT_EQ(text->text(), c.kept);
    }
}

TEST_F(WindowTest, EachArrowAndPageClickMovesTheAddressByOneWithAllAtTheTop) {
    const struct {
        QStyle::SubControl part;
        int from, to;
    } cases[] = {
        {QStyle::SC_ScrollBarSubLine, 5, 6},     {QStyle::SC_ScrollBarAddLine, 5, 4},
        {QStyle::SC_ScrollBarSubPage, 64, 65},   {QStyle::SC_ScrollBarAddPage, 64, 63},
        {QStyle::SC_ScrollBarSubLine, 127, 128}, {QStyle::SC_ScrollBarSubLine, 128, 128},
        {QStyle::SC_ScrollBarAddLine, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "part " << c.part << " from " << c.from);
        window.panel().setVScroll1(c.from);
        QTest::mouseClick(control("VScroll1"), Qt::LeftButton, {}, scrollBarPart(c.part).center());
        EXPECT_EQ(window.addrDis(), AddressText(c.to));
    }
}

TEST_F(WindowTest, AddressDisplayFollowsTheThumbBeforeItIsReleased) {
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
