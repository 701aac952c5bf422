#include "panel/controlpanel.h"
#include "panel/messageboxfeedback.h"

#include "protocol/vocabulary.h"
#include "serial/qserialportadapter.h"
#include "settings/keys.h"
#include "tests/common/fakes.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace zq4 {
namespace {

using testing::FakePort;
using testing::MemoryStore;
using testing::RecordingFeedback;

constexpr int kWaitMs = 5000;

QRect twips(int left, int top, int width, int height) {
    return {left / 15, top / 15, width / 15, height / 15};
}

// The colour that most of the widget's pixels are drawn in, as it appears on screen.
QColor dominantColour(QWidget* widget) {
    const QImage image = widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            ++counts[image.pixel(x, y)];
        }
    }
    QRgb best = 0;
    int bestCount = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > bestCount) {
            best = it.key();
            bestCount = it.value();
        }
    }
    return QColor(best);
}

class WindowTest : public ::testing::Test {
protected:
    ControlPanel& open() {
        window = std::make_unique<ControlPanel>(ControlPanelParts{store, port, feedback});
        return *window;
    }
    ControlPanel& openShown() {
        open();
        window->show();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        return *window;
    }
    template <class T> T* control(const char* name) {
        T* found = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QRect scrollBarPart(QStyle::SubControl part) {
        auto* bar = control<QScrollBar>("VScroll1");
        QStyleOptionSlider option;
        option.initFrom(bar);
        option.orientation = bar->orientation();
        option.minimum = bar->minimum();
        option.maximum = bar->maximum();
        option.sliderPosition = bar->sliderPosition();
        option.sliderValue = bar->value();
        option.singleStep = bar->singleStep();
        option.pageStep = bar->pageStep();
        option.upsideDown = bar->invertedAppearance();
        option.subControls = QStyle::SC_All;
        return bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, part, bar);
    }

    MemoryStore store;
    FakePort port;
    RecordingFeedback feedback;
    std::unique_ptr<ControlPanel> window;
};

TEST_F(WindowTest, WindowHasItsCaptionNameAndFixedClientArea) {
    ControlPanel& panel = open();
    EXPECT_EQ(panel.objectName(), "ZQ4");
    EXPECT_EQ(panel.windowTitle(), "ZQ4 Display Control Panel");
    EXPECT_EQ(panel.size(), QSize(296, 281));
    EXPECT_EQ(panel.minimumSize(), QSize(296, 281));
    EXPECT_EQ(panel.maximumSize(), QSize(296, 281));
    EXPECT_TRUE(panel.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(panel.windowFlags() & Qt::WindowMaximizeButtonHint);
}

struct ControlCase {
    const char* name;
    const char* kind;
    QRect place;
    const char* text;
    const char* toolTip;
    Qt::Alignment alignment;
};

TEST_F(WindowTest, EveryControlHasItsKindPlaceTextAndToolTip) {
    const Qt::Alignment none;
    const ControlCase cases[] = {
        {"Image1", "QLabel", twips(120, 120, 1200, 900), "", "", none},
        {"Label8", "QLabel", twips(1560, 255, 1455, 255), "SERIAL PORT:", "", Qt::AlignRight},
        {"CommSel", "QComboBox", twips(3120, 240, 1095, 315),
         "Com1:", "Sets the Serial Port for communicating with the Display", none},
        {"Label1", "QLabel", twips(240, 1200, 975, 255), "ADDRESS", "", Qt::AlignHCenter},
        {"Label3", "QLabel", twips(1560, 1200, 2415, 255), "CUSTOM TEXT", "", Qt::AlignHCenter},
        {"Text1", "QLineEdit", twips(1320, 1440, 2895, 315), "", "", none},
        {"VScroll1", "QScrollBar", twips(600, 1560, 255, 2055), "", "", none},
        {"Label4", "QLabel", twips(1800, 2160, 1815, 255), "MESSAGE", "", Qt::AlignHCenter},
        {"Message", "QComboBox", twips(1320, 2400, 2895, 315), "000  CUSTOM", "", none},
        {"Label2", "QLabel", twips(2040, 2880, 1335, 255), "BRIGHTNESS:", "", Qt::AlignRight},
        {"BrtVal", "QComboBox", twips(3480, 2880, 735, 315), "4", "", none},
        {"SendButton", "QPushButton", twips(3360, 3480, 855, 495), "SEND",
         "Sends User Settings to the Display", none},
        {"AddrDis", "QLineEdit", twips(480, 3720, 495, 285), "0", "", none},
    };
    open();
    for (const ControlCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto* widget = control<QWidget>(c.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_STREQ(widget->metaObject()->className(), c.kind);
        EXPECT_EQ(widget->parentWidget(), window.get());
        EXPECT_EQ(widget->geometry(), c.place);
        EXPECT_EQ(widget->toolTip(), QString::fromUtf8(c.toolTip));
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            EXPECT_EQ(label->text(), QString::fromUtf8(c.text));
            if (c.alignment != none) {
                EXPECT_EQ(label->alignment() & Qt::AlignHorizontal_Mask, c.alignment);
            }
        } else if (auto* list = qobject_cast<QComboBox*>(widget)) {
            EXPECT_EQ(list->currentText(), QString::fromUtf8(c.text));
        } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            EXPECT_EQ(edit->text(), QString::fromUtf8(c.text));
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            EXPECT_EQ(button->text(), QString::fromUtf8(c.text));
        }
    }
}

TEST_F(WindowTest, ListsHoldThePortsMessagesAndBrightnessesInOrder) {
    open();
    const auto entries = [](QComboBox* list) {
        QStringList texts;
        for (int i = 0; i < list->count(); ++i) {
            texts << list->itemText(i);
        }
        return texts;
    };
    EXPECT_EQ(entries(control<QComboBox>("CommSel")),
              QStringList({"Com1:", "Com2:", "Com3:", "Com4:", "Com5:", "Com6:", "Com7:", "Com8:",
                           "Com9:"}));
    EXPECT_EQ(entries(control<QComboBox>("Message")), MessageLabels());
    EXPECT_EQ(entries(control<QComboBox>("BrtVal")), QStringList({"4", "3", "2", "1"}));
}

TEST_F(WindowTest, ControlsAreDrawnInTheirColours) {
    const struct {
        const char* name;
        QColor colour;
    } cases[] = {
        {"Label8", QColor(192, 192, 192)},   {"Label1", QColor(192, 192, 192)},
        {"Label3", QColor(192, 192, 192)},   {"Label4", QColor(192, 192, 192)},
        {"Label2", QColor(192, 192, 192)},   {"CommSel", QColor(255, 128, 0)},
        {"Message", QColor(255, 255, 0)},    {"BrtVal", QColor(255, 255, 0)},
        {"SendButton", QColor(0, 255, 255)}, {"AddrDis", QColor(255, 255, 255)},
    };
    open();
    EXPECT_EQ(dominantColour(window.get()), QColor(192, 192, 192));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(dominantColour(control<QWidget>(c.name)), c.colour);
    }
}

TEST_F(WindowTest, PopupListsKeepTheirListsColours) {
    const struct {
        const char* name;
        QColor colour;
    } cases[] = {
        {"CommSel", QColor(255, 128, 0)},
        {"Message", QColor(255, 255, 0)},
        {"BrtVal", QColor(255, 255, 0)},
    };
    openShown();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto* list = control<QComboBox>(c.name);
        list->showPopup();
        ASSERT_TRUE(QTest::qWaitFor([list] { return list->view()->isVisible(); }, kWaitMs));
        EXPECT_EQ(dominantColour(list->view()->viewport()), c.colour);
        list->hidePopup();
    }
}

TEST_F(WindowTest, EveryControlUsesTheBoldPanelFont) {
    open();
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        if (widget->isWindow() || widget->parentWidget() != window.get()) {
            continue;
        }
        SCOPED_TRACE(widget->objectName().toStdString());
        EXPECT_TRUE(widget->font().bold());
        EXPECT_DOUBLE_EQ(widget->font().pointSizeF(), 8.25);
        EXPECT_TRUE(QFontInfo(widget->font()).bold());
        EXPECT_EQ(QFontInfo(widget->font()).styleHint(), QFont::SansSerif);
    }
}

// The panel font where it is installed, and the bold sans a bare Debian machine falls back to.
std::vector<QFont> fontsToFit(const QFont& panelFont) {
    std::vector<QFont> fonts{panelFont};
    if (QFontDatabase::hasFamily(QStringLiteral("DejaVu Sans"))) {
        QFont fallback(QStringLiteral("DejaVu Sans"));
        fallback.setPointSizeF(panelFont.pointSizeF());
        fallback.setBold(true);
        fonts.push_back(fallback);
    }
    return fonts;
}

TEST_F(WindowTest, FontWithTheSameWidthsStandsInForTheMissingPanelFont) {
    if (QFontDatabase::hasFamily(QStringLiteral("MS Sans Serif")) ||
        !QFontDatabase::hasFamily(QStringLiteral("Liberation Sans"))) {
        GTEST_SKIP() << "needs Liberation Sans and no MS Sans Serif";
    }
    open();
    EXPECT_EQ(QFontInfo(window->font()).family(), "Liberation Sans");
}

TEST_F(WindowTest, EveryCaptionFitsItsBox) {
    open();
    for (const QFont& font : fontsToFit(window->font())) {
        SCOPED_TRACE(QFontInfo(font).family().toStdString());
        window->setFont(font);
        for (const char* name : {"Label8", "Label1", "Label3", "Label4", "Label2"}) {
            SCOPED_TRACE(name);
            auto* label = control<QLabel>(name);
            const QFontMetrics metrics = label->fontMetrics();
            EXPECT_LE(metrics.horizontalAdvance(label->text()), label->contentsRect().width());
            EXPECT_LE(metrics.height(), label->contentsRect().height());
        }

        auto* send = control<QPushButton>("SendButton");
        QStyleOptionButton buttonOption;
        buttonOption.initFrom(send);
        buttonOption.text = send->text();
        const QRect sendText =
            send->style()->subElementRect(QStyle::SE_PushButtonContents, &buttonOption, send);
        EXPECT_LE(send->fontMetrics().horizontalAdvance(send->text()), sendText.width());
        EXPECT_LE(send->fontMetrics().height(), sendText.height());
    }
}

TEST_F(WindowTest, EveryPortAndBrightnessEntryFitsItsList) {
    open();
    for (const QFont& font : fontsToFit(window->font())) {
        SCOPED_TRACE(QFontInfo(font).family().toStdString());
        window->setFont(font);
        for (const char* name : {"CommSel", "BrtVal"}) {
            SCOPED_TRACE(name);
            auto* list = control<QComboBox>(name);
            QStyleOptionComboBox option;
            option.initFrom(list);
            option.editable = false;
            option.frame = true;
            option.subControls = QStyle::SC_All;
            const QRect field = list->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                              QStyle::SC_ComboBoxEditField, list);
            for (int i = 0; i < list->count(); ++i) {
                EXPECT_LE(list->fontMetrics().horizontalAdvance(list->itemText(i)), field.width())
                    << list->itemText(i).toStdString();
            }
        }
    }
}

TEST_F(WindowTest, TextBoxAndAddressDisplayShowTheirWidestValuesWhole) {
    open();
    // QLineEdit keeps two pixels free on each side of its text.
    constexpr int kLineEditMargins = 4;
    const struct {
        const char* name;
        QString widest;
    } cases[] = {
        {"Text1", QString(13, u'W')},
        {"AddrDis", QStringLiteral("ALL")},
        {"AddrDis", QStringLiteral("128")},
    };
    for (const QFont& font : fontsToFit(window->font())) {
        SCOPED_TRACE(QFontInfo(font).family().toStdString());
        window->setFont(font);
        for (const auto& c : cases) {
            SCOPED_TRACE(c.widest.toStdString());
            auto* edit = control<QLineEdit>(c.name);
            QStyleOptionFrame option;
            option.initFrom(edit);
            option.lineWidth =
                edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
            const QRect contents =
                edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
            EXPECT_LE(edit->fontMetrics().horizontalAdvance(c.widest),
                      contents.width() - kLineEditMargins);
        }
    }
}

TEST_F(WindowTest, MessagePopupShowsEveryLabelWhole) {
    open();
    auto* list = control<QComboBox>("Message");
    QAbstractItemView* view = list->view();
    int widest = 0;
    for (const QString& label : MessageLabels()) {
        widest = std::max(widest, view->fontMetrics().horizontalAdvance(label));
    }
    list->showPopup();
    ASSERT_TRUE(QTest::qWaitFor([view] { return view->isVisible(); }, kWaitMs));
    EXPECT_GE(view->viewport()->width(), view->sizeHintForColumn(0));
    EXPECT_GE(view->viewport()->width(), widest);
    list->hidePopup();
}

TEST_F(WindowTest, PortEntriesNameTheirDevicesInTooltips) {
    store.set(keys::kPorts, QStringLiteral("Com3"), QStringLiteral("/dev/ttyUSB0"));
    open();
    auto* list = control<QComboBox>("CommSel");
    EXPECT_EQ(list->itemData(2, Qt::ToolTipRole).toString(), "/dev/ttyUSB0");
    for (int position = 0; position < list->count(); ++position) {
        SCOPED_TRACE(position);
        EXPECT_EQ(list->itemData(position, Qt::ToolTipRole).toString(),
                  DeviceForPort(store, position + 1));
        EXPECT_EQ(list->itemData(position).toInt(), position + 1);
    }
}

TEST_F(WindowTest, WindowCarriesLogoAndIconsInBothSizes) {
    open();
    const QPixmap logo = control<QLabel>("Image1")->pixmap();
    EXPECT_EQ(logo.size(), QSize(80, 60));
    const QList<QSize> sizes = window->windowIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
    for (const QSize& size : {QSize(16, 16), QSize(32, 32)}) {
        const QImage icon = window->windowIcon().pixmap(size).toImage();
        QSet<QRgb> colours;
        for (int y = 0; y < icon.height(); ++y) {
            for (int x = 0; x < icon.width(); ++x) {
                colours.insert(icon.pixel(x, y));
            }
        }
        EXPECT_LE(colours.size(), 16) << size.width();
        EXPECT_GT(colours.size(), 2) << size.width();
    }
}

TEST_F(WindowTest, FocusMovesThroughTheControlsInPanelOrder) {
    openShown();
    ASSERT_TRUE(QTest::qWaitFor([this] { return QApplication::focusWidget() != nullptr; }));
    EXPECT_EQ(QApplication::focusWidget()->objectName(), "CommSel");
    QStringList visited;
    for (int i = 0; i < 6; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    EXPECT_EQ(visited,
              QStringList({"Text1", "Message", "BrtVal", "VScroll1", "SendButton", "CommSel"}));
}

TEST_F(WindowTest, ListWithTheKeyboardFocusIsOutlinedInBlack) {
    openShown();
    auto* ports = control<QComboBox>("CommSel");
    auto* messages = control<QComboBox>("Message");
    ports->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([ports] { return ports->hasFocus(); }, kWaitMs));
    const auto edge = [](QWidget* widget) {
        return QColor(widget->grab().toImage().pixel(0, widget->height() / 2));
    };
    EXPECT_EQ(edge(ports), QColor(Qt::black));
    EXPECT_NE(edge(messages), QColor(Qt::black));
}

TEST_F(WindowTest, AddressDisplayIsReadOnlyAndNeverFocused) {
    open();
    auto* display = control<QLineEdit>("AddrDis");
    EXPECT_TRUE(display->isReadOnly());
    EXPECT_EQ(display->focusPolicy(), Qt::NoFocus);
}

TEST_F(WindowTest, ListsCannotBeTypedInto) {
    openShown();
    for (const char* name : {"CommSel", "Message", "BrtVal"}) {
        SCOPED_TRACE(name);
        auto* list = control<QComboBox>(name);
        const int count = list->count();
        EXPECT_FALSE(list->isEditable());
        EXPECT_EQ(list->lineEdit(), nullptr);
        list->setFocus();
        QTest::keyClicks(list, QStringLiteral("XYZ"));
        QTest::keyClick(list, Qt::Key_Return);
        EXPECT_EQ(list->count(), count);
        EXPECT_GE(list->currentIndex(), 0);
    }
}

struct TypingCase {
    const char* name;
    QString typed;
    bool pasted;
    QString expected;
};

TEST_F(WindowTest, TextBoxTakesThirteenSendableCharacters) {
    const TypingCase cases[] = {
        {"thirteen characters typed", QStringLiteral("ABCDEFGHIJKLM"), false,
         QStringLiteral("ABCDEFGHIJKLM")},
        {"14th character typed is refused", QStringLiteral("ABCDEFGHIJKLMN"), false,
         QStringLiteral("ABCDEFGHIJKLM")},
        {"y with diaeresis typed is refused", QStringLiteral("T-\u00ff10"), false,
         QStringLiteral("T-10")},
        {"accented capital typed is kept", QStringLiteral("\u00c4 12"), false,
         QStringLiteral("\u00c4 12")},
        {"y with diaeresis pasted refuses the whole paste", QStringLiteral("T-\u00ff10"), true,
         QString()},
        {"sendable paste is kept", QStringLiteral("HOLD \u00c4"), true,
         QStringLiteral("HOLD \u00c4")},
        {"long paste keeps thirteen", QStringLiteral("0123456789ABCDEF"), true,
         QStringLiteral("0123456789ABC")},
    };
    openShown();
    auto* text = control<QLineEdit>("Text1");
    for (const TypingCase& c : cases) {
        SCOPED_TRACE(c.name);
        text->clear();
        text->setFocus();
        if (c.pasted) {
            QApplication::clipboard()->setText(c.typed);
            QTest::keySequence(text, QKeySequence::Paste);
        } else {
            QTest::keyClicks(text, c.typed);
        }
        EXPECT_EQ(text->text(), c.expected);
    }
}

TEST_F(WindowTest, SettingValuesFromCodeRunsNoRoutine) {
    ControlPanel& panel = open();
    const std::size_t opensAtStart = port.opens.size();
    panel.setCommSel(4);
    panel.setVScroll1(77);
    panel.setBrtVal(2);
    panel.setMessage(129);
    panel.setText1(QStringLiteral("ABC"));
    EXPECT_EQ(port.opens.size(), opensAtStart);
    EXPECT_EQ(panel.addrDis(), "0");
    EXPECT_EQ(control<QComboBox>("CommSel")->currentText(), "Com5:");
    EXPECT_EQ(panel.vScroll1(), 77);
    EXPECT_EQ(control<QComboBox>("BrtVal")->currentText(), "2");
    EXPECT_EQ(control<QComboBox>("Message")->currentText(), "129 (65)  UTC");
    EXPECT_EQ(control<QLineEdit>("Text1")->text(), "ABC");
}

TEST_F(WindowTest, RepickingTheOpenPortRunsThePortSelectionAgain) {
    openShown();
    auto* list = control<QComboBox>("CommSel");
    ASSERT_EQ(port.opens.size(), 1u);
    list->setFocus();
    list->showPopup();
    ASSERT_TRUE(QTest::qWaitFor([list] { return list->view()->isVisible(); }, kWaitMs));
    QTest::keyClick(list->view(), Qt::Key_Return);
    EXPECT_EQ(port.opens, (std::vector<std::int16_t>{1, 1}));
    EXPECT_EQ(list->currentText(), "Com1:");
}

struct ScrollCase {
    const char* name;
    QStyle::SubControl part;
    int startAddress;
    int expectedAddress;
};

TEST_F(WindowTest, EachArrowAndPageClickMovesTheAddressByOne) {
    const ScrollCase cases[] = {
        {"up arrow raises", QStyle::SC_ScrollBarSubLine, 5, 6},
        {"down arrow lowers", QStyle::SC_ScrollBarAddLine, 5, 4},
        {"page above the thumb raises", QStyle::SC_ScrollBarSubPage, 64, 65},
        {"page below the thumb lowers", QStyle::SC_ScrollBarAddPage, 64, 63},
        {"up arrow stops at ALL", QStyle::SC_ScrollBarSubLine, 128, 128},
        {"down arrow stops at 0", QStyle::SC_ScrollBarAddLine, 0, 0},
        {"up arrow from 127 reaches ALL", QStyle::SC_ScrollBarSubLine, 127, 128},
    };
    ControlPanel& panel = openShown();
    auto* bar = control<QScrollBar>("VScroll1");
    for (const ScrollCase& c : cases) {
        SCOPED_TRACE(c.name);
        panel.panel().setVScroll1(c.startAddress);
        const QRect part = scrollBarPart(c.part);
        ASSERT_TRUE(part.isValid());
        QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, part.center());
        EXPECT_EQ(panel.vScroll1(), c.expectedAddress);
        EXPECT_EQ(panel.addrDis(), AddressText(c.expectedAddress));
    }
}

TEST_F(WindowTest, AllIsAtTheTopOfTheScrollBar) {
    ControlPanel& panel = open();
    panel.panel().setVScroll1(kAllDisplays);
    const int thumbAtAll = scrollBarPart(QStyle::SC_ScrollBarSlider).top();
    panel.panel().setVScroll1(0);
    const int thumbAtZero = scrollBarPart(QStyle::SC_ScrollBarSlider).top();
    EXPECT_LT(thumbAtAll, thumbAtZero);
}

TEST_F(WindowTest, UpKeyRaisesTheAddress) {
    ControlPanel& panel = openShown();
    auto* bar = control<QScrollBar>("VScroll1");
    bar->setFocus();
    QTest::keyClick(bar, Qt::Key_Up);
    QTest::keyClick(bar, Qt::Key_Up);
    EXPECT_EQ(panel.vScroll1(), 2);
    EXPECT_EQ(panel.addrDis(), "2");
}

TEST_F(WindowTest, AddressDisplayFollowsTheThumbBeforeItIsReleased) {
    ControlPanel& panel = openShown();
    panel.panel().setVScroll1(64);
    auto* bar = control<QScrollBar>("VScroll1");
    const QPoint grip = scrollBarPart(QStyle::SC_ScrollBarSlider).center();
    const auto send = [bar](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
        QMouseEvent event(type, at, bar->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(bar, &event);
    };

    send(QEvent::MouseButtonPress, grip, Qt::LeftButton);
    const QStringList shownWhileDragging = [&] {
        QStringList shown;
        for (int step = 1; step <= 3; ++step) {
            send(QEvent::MouseMove, grip + QPoint(0, 12 * step), Qt::LeftButton);
            shown << panel.addrDis();
        }
        return shown;
    }();
    const QString shownBeforeRelease = panel.addrDis();
    EXPECT_EQ(bar->value(), kMaxAddress - 64);
    send(QEvent::MouseButtonRelease, grip + QPoint(0, 36), Qt::NoButton);

    const int dropped = panel.vScroll1();
    EXPECT_LT(dropped, 64);
    EXPECT_EQ(shownWhileDragging.size(), 3);
    EXPECT_NE(shownWhileDragging.at(0), "64");
    EXPECT_NE(shownWhileDragging.at(0), shownWhileDragging.at(2));
    EXPECT_EQ(shownBeforeRelease, AddressText(dropped));
    EXPECT_EQ(panel.addrDis(), AddressText(dropped));
}

TEST_F(WindowTest, SendButtonRunsTheSend) {
    ControlPanel& panel = openShown();
    panel.panel().setVScroll1(kAllDisplays);
    QTest::mouseClick(control<QPushButton>("SendButton"), Qt::LeftButton);
    ASSERT_EQ(port.written.size(), 1u);
    EXPECT_EQ(port.written.front().size(), 18);
    EXPECT_EQ(static_cast<std::uint8_t>(port.written.front().at(15)), 0x80);
    EXPECT_EQ(store.value(keys::kStartup, keys::kAddr), "128");
}

// What a modal box showed the operator.
struct ShownBox {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
    QString text;
    QStringList buttons;
};

TEST(MessageBoxFeedbackTest, WarningIsAModalBoxWithExclamationAndOneOk) {
    ShownBox shown;
    bool seen = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            return;
        }
        seen = true;
        shown.icon = box->icon();
        shown.title = box->windowTitle();
        shown.text = box->text();
        for (QAbstractButton* button : box->buttons()) {
            shown.buttons << button->text().remove(u'&');
        }
        box->button(QMessageBox::Ok)->click();
    });
    poll.start();
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            modal->close();
        }
    });
    giveUp.start(kWaitMs);

    MessageBoxFeedback feedback;
    feedback.warn(QStringLiteral("ZQ4"), QStringLiteral("Cannot open Com3: (/dev/ttyUSB0)"));

    ASSERT_TRUE(seen);
    EXPECT_EQ(shown.icon, QMessageBox::Warning);
    EXPECT_EQ(shown.title, "ZQ4");
    EXPECT_EQ(shown.text, "Cannot open Com3: (/dev/ttyUSB0)");
    EXPECT_EQ(shown.buttons, QStringList({"OK"}));
}

} // namespace
} // namespace zq4
