#include "panel/controlpanel.h"

#include "serial/qserialportadapter.h"
#include "settings/keys.h"
#include "settings/qsettingsstore.h"
#include "tests/serial/pseudoterminal.h"

#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

namespace zq4 {
namespace {

using namespace std::chrono_literals;

// Notes, for each box, whether any window was already on screen when it came up.
class WindowFeedback final : public OperatorFeedback {
public:
    struct Box {
        QString title;
        QString text;
        bool windowVisible;
    };

    void beep() override { ++beeps; }
    void warn(const QString& title, const QString& text) override {
        bool visible = false;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            visible = visible || widget->isVisible();
        }
        boxes.push_back({title, text, visible});
    }

    int beeps = 0;
    std::vector<Box> boxes;
};

QByteArray Bytes(std::initializer_list<int> values) {
    QByteArray bytes;
    for (int value : values) {
        bytes.append(static_cast<char>(value));
    }
    return bytes;
}

// The whole program as the operator meets it: the user's store as an INI file in a folder of
// its own, the real serial port adapter, and pseudo-terminals standing in for the display's line.
class WindowEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_home.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_home.path());
        ASSERT_TRUE(first.valid());
        ASSERT_TRUE(second.valid());
    }

    QString storeFile() const { return m_home.filePath(QStringLiteral("ZQ4/ZQ4.ini")); }

    void writeStore(const QList<std::pair<QString, QString>>& values) {
        QSettings file(storeFile(), QSettings::IniFormat);
        for (const auto& [key, value] : values) {
            file.setValue(key, value);
        }
        file.sync();
        ASSERT_EQ(file.status(), QSettings::NoError);
    }

    QString stored(const QString& key) const {
        QSettings file(storeFile(), QSettings::IniFormat);
        return file.value(key).toString();
    }

    ControlPanel& start() {
        adapter = std::make_unique<QSerialPortAdapter>(store);
        window = std::make_unique<ControlPanel>(ControlPanelParts{store, *adapter, feedback});
        return *window;
    }

    void showAndActivate() {
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    template <class T> T* control(const char* name) {
        T* found = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    // What arrived at the display's end of the line, waiting until `count` bytes are there.
    QByteArray receive(test::PseudoTerminal& line, qsizetype count) {
        QByteArray received;
        const QDeadlineTimer deadline(5s);
        while (received.size() < count && !deadline.hasExpired()) {
            QApplication::processEvents();
            received += line.readFromLine(count - received.size(), 20ms);
        }
        return received;
    }

    QTemporaryDir m_home;
    test::PseudoTerminal first;
    test::PseudoTerminal second;
    QSettingsStore store;
    WindowFeedback feedback;
    std::unique_ptr<QSerialPortAdapter> adapter;
    std::unique_ptr<ControlPanel> window;
};

TEST_F(WindowEndToEndTest, OperatorPicksPortTypesChoosesAndSends) {
    writeStore({
        {QStringLiteral("Ports/Com1"), first.slavePath()},
        {QStringLiteral("Ports/Com2"), second.slavePath()},
        {QStringLiteral("Startup/Dakcomm"), QStringLiteral("1")},
        {QStringLiteral("Startup/Addr"), QStringLiteral("5")},
        {QStringLiteral("Startup/Brt"), QStringLiteral("1")},
        {QStringLiteral("Startup/Message"), QStringLiteral("20")},
        {QStringLiteral("Startup/Custom"), QStringLiteral("HOLD")},
    });
    start();

    // The restored choices are there before the window is first shown.
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(control<QComboBox>("CommSel")->currentText(), "Com1:");
    EXPECT_EQ(control<QLineEdit>("AddrDis")->text(), "5");
    EXPECT_EQ(control<QComboBox>("BrtVal")->currentText(), "3");
    EXPECT_EQ(control<QComboBox>("Message")->currentText(), "020  Time In Hold ");
    EXPECT_EQ(control<QLineEdit>("Text1")->text(), "HOLD");
    EXPECT_EQ(adapter->deviceName(), first.slavePath());
    EXPECT_EQ(feedback.boxes.size(), 0u);
    showAndActivate();

    // Port: the next entry, picked with the keyboard, closes the first line and opens the second.
    auto* ports = control<QComboBox>("CommSel");
    ports->setFocus();
    QTest::keyClick(ports, Qt::Key_Down);
    EXPECT_EQ(ports->currentText(), "Com2:");
    EXPECT_EQ(adapter->deviceName(), second.slavePath());
    first.closeSlave();
    EXPECT_TRUE(first.waitForSlaveClosed(5s));
    EXPECT_EQ(stored(QStringLiteral("Startup/Dakcomm")), "2");

    auto* text = control<QLineEdit>("Text1");
    text->setFocus();
    QTest::keySequence(text, QKeySequence::SelectAll);
    QTest::keyClicks(text, QStringLiteral("T-10"));

    auto* messages = control<QComboBox>("Message");
    messages->setFocus();
    QTest::keyClick(messages, Qt::Key_Down);
    EXPECT_EQ(messages->currentText(), "021  Time Until Restart");

    auto* brightness = control<QComboBox>("BrtVal");
    brightness->setFocus();
    QTest::keyClick(brightness, Qt::Key_Up);
    EXPECT_EQ(brightness->currentText(), "4");

    auto* address = control<QScrollBar>("VScroll1");
    address->setFocus();
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(address, Qt::Key_Up);
    }
    EXPECT_EQ(control<QLineEdit>("AddrDis")->text(), "8");

    QTest::mouseClick(control<QPushButton>("SendButton"), Qt::LeftButton);

    const QByteArray expected = QByteArray("    T-10     ") + Bytes({0x00, 21, 8, 0xFF, 0xFE});
    EXPECT_EQ(receive(second, 18).toHex(' '), expected.toHex(' '));
    EXPECT_EQ(stored(QStringLiteral("Startup/Addr")), "8");
    EXPECT_EQ(stored(QStringLiteral("Startup/Brt")), "0");
    EXPECT_EQ(stored(QStringLiteral("Startup/Message")), "21");
    EXPECT_EQ(stored(QStringLiteral("Startup/Custom")), "T-10");
    EXPECT_EQ(feedback.beeps, 0);
    EXPECT_EQ(feedback.boxes.size(), 0u);
}

TEST_F(WindowEndToEndTest, FirstStartOnEmptyStoreSendsToAllWithDefaults) {
    writeStore({{QStringLiteral("Ports/Com1"), first.slavePath()}});
    start();
    showAndActivate();
    EXPECT_EQ(control<QComboBox>("CommSel")->currentText(), "Com1:");
    EXPECT_EQ(control<QLineEdit>("AddrDis")->text(), "0");
    EXPECT_EQ(stored(QStringLiteral("Startup/Dakcomm")), "1");

    auto* address = control<QScrollBar>("VScroll1");
    address->setFocus();
    QTest::keyClick(address, Qt::Key_Home);
    EXPECT_EQ(control<QLineEdit>("AddrDis")->text(), "ALL");
    QTest::mouseClick(control<QPushButton>("SendButton"), Qt::LeftButton);

    const QByteArray expected = QByteArray(13, ' ') + Bytes({0x00, 0x00, 0x80, 0xFF, 0xFE});
    EXPECT_EQ(receive(first, 18).toHex(' '), expected.toHex(' '));
    EXPECT_EQ(stored(QStringLiteral("Startup/Addr")), "128");
}

TEST_F(WindowEndToEndTest, PortThatCannotOpenWarnsBeforeTheWindowShows) {
    const QString missing = QDir(m_home.path()).filePath(QStringLiteral("no-such-line"));
    writeStore({
        {QStringLiteral("Ports/Com1"), missing},
        {QStringLiteral("Startup/Addr"), QStringLiteral("12")},
    });
    start();

    ASSERT_EQ(feedback.boxes.size(), 1u);
    EXPECT_EQ(feedback.beeps, 1);
    EXPECT_FALSE(feedback.boxes.front().windowVisible);
    EXPECT_EQ(feedback.boxes.front().title, "ZQ4");
    EXPECT_TRUE(feedback.boxes.front().text.contains(missing))
        << feedback.boxes.front().text.toStdString();
    EXPECT_TRUE(stored(QStringLiteral("Startup/Dakcomm")).isEmpty());

    // The rest of start-up still ran: the window shows the stored address.
    showAndActivate();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(control<QComboBox>("CommSel")->currentText(), "Com1:");
    EXPECT_EQ(control<QLineEdit>("AddrDis")->text(), "12");

    // SEND with the port closed sends nothing and still stores the choices.
    QTest::mouseClick(control<QPushButton>("SendButton"), Qt::LeftButton);
    EXPECT_EQ(stored(QStringLiteral("Startup/Addr")), "12");
    EXPECT_EQ(feedback.boxes.size(), 1u);
}

} // namespace
} // namespace zq4
