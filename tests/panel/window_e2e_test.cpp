#include "panel/controlpanel.h"
#include "panel/portmapdialog.h"

#include "serial/qserialportadapter.h"
#include "settings/keys.h"
#include "settings/qsettingsstore.h"
#include "system/pseudoterminal.h"
#include "tests/support/fakes.h"

#include <QSerialPort>
#include <QtTest>
#include <QtWidgets>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>

namespace zq4 {
namespace {

using namespace std::chrono_literals;

// The whole program as the operator meets it: the user's store as an INI file in a folder of
// its own, the real serial port adapter, and pseudo-terminals standing in for the display's line.
struct WindowEndToEndTest : ::testing::Test {
    QString iniPath() const { return home.filePath("ZQ4/ZQ4.ini"); }
    QByteArray iniBytes() const {
        QFile ini(iniPath());
        return ini.open(QIODevice::ReadOnly) ? ini.readAll() : QByteArray("<no file>");
    }
    QString stored(const char* key) {
        return QSettings(iniPath(), QSettings::IniFormat).value(key).toString();
    }
    QString shown(const char* name) {
        auto* c = window->findChild<QWidget*>(name);
        return c->property(qobject_cast<QComboBox*>(c) ? "currentText" : "text").toString();
    }
    QWidget* focus(const char* name) {
        window->findChild<QWidget*>(name)->setFocus();
        return QApplication::focusWidget();
    }
    // Opens the dialog as the port list's menu does and types the device for the port.
    PortMapDialog* typeDevice(int portNumber, const QString& device) {
        PortMapDialog* dialog = window->portMap().openDialog();
        QTest::keyClicks(dialog->findChild<QComboBox*>(keys::portKey(portNumber)), device);
        return dialog;
    }

    QTemporaryDir home;
    PseudoTerminal first, second;
    QSettingsStore store;
    QSerialPortAdapter adapter{store};
    test::RecordingFeedback feedback;
    test::FakeDiscovery discovery;
    std::unique_ptr<ControlPanel> window;
};
// The operator maps Com2 to a line by typing its path (cancelling once, which leaves the file
// as the operator wrote it), picks Com2, changes each value and sends.
TEST_F(WindowEndToEndTest, OperatorMapsAndPicksAPortChangesEachValueAndSends) {
    // The store file as an earlier run or the operator left it.
    const QByteArray file = "[Ports]\nCom1 = " + first.devicePath().toUtf8() +
                            "\n[Startup]\nDakcomm=1\nAddr=5\nBrt=1\nMessage=20\nCustom=HOLD\n";
    ASSERT_TRUE(home.isValid() && first.valid() && second.valid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, home.path());
    QFile ini(iniPath());
    ASSERT_TRUE(QDir().mkpath(home.filePath("ZQ4")) && ini.open(QIODevice::WriteOnly) &&
                ini.write(file) == file.size() && ini.flush());
    window = std::make_unique<ControlPanel>(ControlPanelParts{store, adapter, feedback, discovery});
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    EXPECT_EQ(QStringList({shown("CommSel"), shown("AddrDis"), shown("BrtVal"), shown("Message"),
                           shown("Text1")}),
              QStringList({"Com1:", "5", "3", "020  Time In Hold ", "HOLD"}));
    const QByteArray before = iniBytes();
    PortMapDialog* dialog = typeDevice(2, second.devicePath());
    QTest::keyClick(dialog, Qt::Key_Escape);
    EXPECT_TRUE(dialog->isHidden());
    EXPECT_EQ(iniBytes(), before);
    dialog = typeDevice(2, second.devicePath());
    dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    EXPECT_EQ(stored("Ports/Com2"), second.devicePath());

    QTest::keyClick(focus("CommSel"), Qt::Key_Down);
    EXPECT_EQ(shown("CommSel"), "Com2:");
    first.closeSlave();
    EXPECT_TRUE(first.waitForSlaveClosed(5s)) << "the line picked before is let go";
    QTest::keySequence(focus("Text1"), QKeySequence::SelectAll);
    QTest::keyClicks(focus("Text1"), QStringLiteral("T-10"));
    QTest::keyClick(focus("Message"), Qt::Key_Down);
    QTest::keyClick(focus("BrtVal"), Qt::Key_Up);
    QTest::keyClick(focus("VScroll1"), Qt::Key_Up);
    QTest::mouseClick(focus("SendButton"), Qt::LeftButton);

    EXPECT_EQ(second.readFromLine(18, 5s).toHex(' '),
              (QByteArray("    T-10     ") + QByteArray::fromHex("001506fffe")).toHex(' '));
    EXPECT_EQ(QStringList({stored("Startup/Dakcomm"), stored("Startup/Addr"), stored("Startup/Brt"),
                           stored("Startup/Message"), stored("Startup/Custom")}),
              QStringList({"2", "6", "0", "21", "T-10"}));
    EXPECT_EQ(feedback.shown, QStringList());
}

// zq4 headless with its own settings folder whose "Com1:" is a pseudo-terminal ends on each
// signal as on the window's close: the port is drained and let go with its lock file, so the
// device is free for whoever opens it next. Under nohup, which ignores SIGHUP, it runs on.
TEST(PanelProgram, EndsAsOnCloseWhenSignalledAndRunsOnAfterAnIgnoredHangUp) {
    for (const auto& [signalNumber, ignored] :
         {std::pair{SIGTERM, false}, {SIGINT, false}, {SIGHUP, false}, {SIGHUP, true}}) {
        SCOPED_TRACE(::strsignal(signalNumber) + std::string(ignored ? " ignored" : ""));
        QTemporaryDir home;
        PseudoTerminal line;
        const QString storeFile = home.filePath("ZQ4/ZQ4.ini");
        QSettings(storeFile, QSettings::IniFormat).setValue("Ports/Com1", line.devicePath());
        QProcess panel;
        panel.setEnvironment(QProcess::systemEnvironment()
                             << "XDG_CONFIG_HOME=" + home.path() << "QT_QPA_PLATFORM=offscreen");
        panel.setProcessChannelMode(QProcess::ForwardedChannels);
        panel.setChildProcessModifier([ignored] { ::signal(SIGHUP, ignored ? SIG_IGN : SIG_DFL); });
        panel.start(ZQ4_PANEL_PROGRAM, {});
        // The program tells it has opened the port by storing the port's number.
        const auto opened = [&storeFile] {
            return QSettings(storeFile, QSettings::IniFormat).value("Startup/Dakcomm") == "1";
        };
        // Waits until the port is open or the program has ended; the check below tells which.
        (void)QTest::qWaitFor([&] { return opened() || panel.waitForFinished(20); }, 15000);
        ASSERT_TRUE(opened() && panel.state() == QProcess::Running);
        ::kill(static_cast<pid_t>(panel.processId()), signalNumber);
        if (ignored) {
            EXPECT_FALSE(panel.waitForFinished(500));
            // Signals only a program that still runs: an ended one's id is 0, the process group.
            panel.terminate();
        }
        ASSERT_TRUE(panel.waitForFinished(15000));
        // Killed by the signal, the program would have a crash exit with the signal's number.
        EXPECT_EQ(panel.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(panel.exitCode(), 0);
        QSerialPort next(line.devicePath());
        EXPECT_TRUE(next.open(QIODevice::ReadWrite)) << next.errorString().toStdString();
    }
}

} // namespace
} // namespace zq4
