#include "panel/controlpanel.h"

#include "core/feedback.h"
#include "serial/qserialportadapter.h"
#include "settings/qsettingsstore.h"
#include "system/pseudoterminal.h"
#include "tests/support/fakes.h"

#include <QSerialPort>
#include <QTest>
#include <QtWidgets>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>

namespace zq4 {
namespace {

using namespace std::chrono_literals;

// Records what the operator was shown ("beep", "box:<title>:<text>") and counts the boxes that
// came up while the window was on screen.
class ScreenNotingFeedback final : public OperatorFeedback {
public:
    void beep() override { shown.push_back(QStringLiteral("beep")); }
    void warn(const QString& title, const QString& text) override {
        const QWidgetList windows = QApplication::topLevelWidgets();
        boxesOverTheWindow += std::count_if(windows.begin(), windows.end(), [](QWidget* window) {
            return window->objectName() == QLatin1String("ZQ4") && window->isVisible();
        });
        shown.push_back(QStringLiteral("box:%1:%2").arg(title, text));
    }

    QStringList shown;
    int boxesOverTheWindow = 0;
};

// The whole program as the operator meets it: the user's store as an INI file in a folder of
// its own, the real serial port adapter, and pseudo-terminals standing in for the display's line.
class WindowEndToEndTest : public ::testing::Test {
protected:
    // Writes the store file as an earlier run and the operator left it, then starts the program.
    void start(const QStringList& keysAndValues) {
        EXPECT_TRUE(home.isValid() && first.valid() && second.valid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, home.path());
        QSettings file(home.filePath("ZQ4/ZQ4.ini"), QSettings::IniFormat);
        for (qsizetype i = 0; i + 1 < keysAndValues.size(); i += 2) {
            file.setValue(keysAndValues[i], keysAndValues[i + 1]);
        }
        file.sync();
        window =
            std::make_unique<ControlPanel>(ControlPanelParts{store, adapter, feedback, discovery});
    }
    QString stored(const char* key) {
        return QSettings(home.filePath("ZQ4/ZQ4.ini"), QSettings::IniFormat).value(key).toString();
    }
    QString shown(const char* name) {
        auto* c = window->findChild<QWidget*>(name);
        return c->property(qobject_cast<QComboBox*>(c) ? "currentText" : "text").toString();
    }
    QWidget* focus(const char* name) {
        window->findChild<QWidget*>(name)->setFocus();
        return QApplication::focusWidget();
    }

    QTemporaryDir home;
    PseudoTerminal first, second;
    QSettingsStore store;
    QSerialPortAdapter adapter{store};
    ScreenNotingFeedback feedback;
    test::FakeDiscovery discovery;
    std::unique_ptr<ControlPanel> window;
};

TEST_F(WindowEndToEndTest, OperatorPicksPortTypesChoosesAndSends) {
    start({"Ports/Com1", first.devicePath(), "Ports/Com2", second.devicePath(), "Startup/Dakcomm",
           "2", "Startup/Addr", "5", "Startup/Brt", "1", "Startup/Message", "20", "Startup/Custom",
           "HOLD"});
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    EXPECT_EQ(QStringList({shown("CommSel"), shown("AddrDis"), shown("BrtVal"), shown("Message"),
                           shown("Text1")}),
              QStringList({"Com2:", "5", "3", "020  Time In Hold ", "HOLD"}));

    QTest::keyClick(focus("CommSel"), Qt::Key_Up);
    EXPECT_EQ(adapter.deviceName(), first.devicePath());
    second.closeSlave();
    EXPECT_TRUE(second.waitForSlaveClosed(5s)) << "the line picked before is let go";
    QTest::keySequence(focus("Text1"), QKeySequence::SelectAll);
    QTest::keyClicks(focus("Text1"), QStringLiteral("T-10"));
    QTest::keyClick(focus("Message"), Qt::Key_Down);
    QTest::keyClick(focus("BrtVal"), Qt::Key_Up);
    QTest::keyClick(focus("VScroll1"), Qt::Key_Up);
    QTest::mouseClick(focus("SendButton"), Qt::LeftButton);

    EXPECT_EQ(first.readFromLine(18, 5s).toHex(' '),
              (QByteArray("    T-10     ") + QByteArray::fromHex("001506fffe")).toHex(' '));
    EXPECT_EQ(QStringList({stored("Startup/Dakcomm"), stored("Startup/Addr"), stored("Startup/Brt"),
                           stored("Startup/Message"), stored("Startup/Custom")}),
              QStringList({"1", "6", "0", "21", "T-10"}));
    EXPECT_EQ(feedback.shown, QStringList());
}

TEST_F(WindowEndToEndTest, PortThatCannotOpenWarnsBeforeTheWindowShows) {
    start({"Ports/Com1", home.filePath("no-such-line"), "Startup/Addr", "12"});
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    EXPECT_EQ(feedback.boxesOverTheWindow, 0) << "the box came up before the window showed";
    // A beep, then one box naming the port and its device, whatever the system's reason.
    EXPECT_EQ(feedback.shown.size(), 2);
    EXPECT_EQ(feedback.shown.join('|').section(')', 0, 0),
              "beep|box:ZQ4:Com1: (" + home.filePath("no-such-line"));
    EXPECT_EQ(shown("AddrDis"), "12") << "the rest of start-up still ran";
}

// Starts the program zq4 headless, with its own settings folder whose "Com1:" is the device;
// true once the program has opened the port, which it tells by storing the port's number.
bool startWithOpenPort(QProcess& panel, const QTemporaryDir& home, const QString& device) {
    const QString storeFile = home.filePath("ZQ4/ZQ4.ini");
    QSettings(storeFile, QSettings::IniFormat).setValue("Ports/Com1", device);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", home.path());
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    panel.setProcessEnvironment(environment);
    panel.setProcessChannelMode(QProcess::ForwardedChannels);
    panel.start(ZQ4_PANEL_PROGRAM, {});
    const auto stored = [&storeFile] {
        return QSettings(storeFile, QSettings::IniFormat).value("Startup/Dakcomm").toString();
    };
    const QDeadlineTimer deadline(15s);
    while (stored() != "1" && !panel.waitForFinished(20) && !deadline.hasExpired()) {
    }
    return stored() == "1" && panel.state() == QProcess::Running;
}

// The program ends on each signal as on the window's close: the port is drained and let go with
// its lock file, so the device is free for whoever opens it next.
TEST(PanelProgram, EndsAsOnCloseWhenSignalled) {
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(::strsignal(signalNumber));
        QTemporaryDir home;
        PseudoTerminal line;
        QProcess panel;
        ASSERT_TRUE(startWithOpenPort(panel, home, line.devicePath()));
        ::kill(static_cast<pid_t>(panel.processId()), signalNumber);
        ASSERT_TRUE(panel.waitForFinished(15000));
        // Killed by the signal, the program would have a crash exit with the signal's number.
        EXPECT_EQ(panel.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(panel.exitCode(), 0);
        QSerialPort next;
        next.setPortName(line.devicePath());
        EXPECT_TRUE(next.open(QIODevice::ReadWrite)) << next.errorString().toStdString();
    }
}

// Started under nohup, which ignores SIGHUP, the program outlives its terminal.
TEST(PanelProgram, KeepsRunningOnIgnoredHangUp) {
    QTemporaryDir home;
    PseudoTerminal line;
    QProcess panel;
    panel.setChildProcessModifier([] { ::signal(SIGHUP, SIG_IGN); });
    ASSERT_TRUE(startWithOpenPort(panel, home, line.devicePath()));
    ::kill(static_cast<pid_t>(panel.processId()), SIGHUP);
    EXPECT_FALSE(panel.waitForFinished(500));
    ::kill(static_cast<pid_t>(panel.processId()), SIGTERM);
    ASSERT_TRUE(panel.waitForFinished(15000));
    EXPECT_EQ(panel.exitStatus(), QProcess::NormalExit);
}

} // namespace
} // namespace zq4
