#include "panel/controlpanel.h"
#include "panel/linesharehost.h"
#include "panel/portmapdialog.h"
#include "protocol/frame.h"

#include "serial/lineshare.h"
#include "serial/qserialportadapter.h"
#include "settings/keys.h"
#include "settings/portmap.h"
#include "settings/qsettingsstore.h"
#include "system/pseudoterminal.h"
#include "tests/support/fakes.h"

#include <QSerialPort>
#include <QtTest>
#include <QtWidgets>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <future>

#include <sys/stat.h>
#include <unistd.h>

namespace zq4 {
namespace {

using namespace std::chrono_literals;

// The whole program as the operator meets it: the user's store as an INI file in a folder of
// its own, the real serial port adapter, and pseudo-terminals standing in for the display's line.
struct WindowEndToEndTest : ::testing::Test {
    // The store file as an earlier run or the operator left it, then the window over it.
    void start(const QByteArray& file) {
        ASSERT_TRUE(home.isValid() && first.valid() && second.valid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, home.path());
        QFile ini(iniPath());
        ASSERT_TRUE(QDir().mkpath(home.filePath("ZQ4")) && ini.open(QIODevice::WriteOnly) &&
                    ini.write(file) == file.size() && ini.flush());
        window =
            std::make_unique<ControlPanel>(ControlPanelParts{store, *adapter, feedback, discovery});
    }
    QByteArray comOneIsFirst() const { return "[Ports]\nCom1=" + first.devicePath().toUtf8(); }
    // SEND pressed with this custom text.
    void send(const QString& text) {
        window->findChild<QLineEdit*>("Text1")->setText(text);
        QTest::mouseClick(window->findChild<QPushButton*>("SendButton"), Qt::LeftButton);
    }
    QString iniPath() const { return home.filePath("ZQ4/ZQ4.ini"); }
    QByteArray iniBytes() const {
        QFile ini(iniPath());
        return ini.open(QIODevice::ReadOnly) ? ini.readAll() : QByteArray("<no file>");
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
    std::unique_ptr<QSerialPortAdapter> adapter =
        std::make_unique<QSerialPortAdapter>(PortMap(store).lookup());
    test::RecordingFeedback feedback;
    test::FakeDiscovery discovery;
    std::unique_ptr<ControlPanel> window;
};
// The operator maps Com2 to a line by typing its path (cancelling once, which leaves the file
// as the operator wrote it), picks Com2, changes each value and sends.
TEST_F(WindowEndToEndTest, OperatorMapsAndPicksAPortChangesEachValueAndSends) {
    start("[Ports]\nCom1 = " + first.devicePath().toUtf8() +
          "\n[Startup]\nDakcomm=1\nAddr=5\nBrt=1\nMessage=20\nCustom=HOLD\n");
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    EXPECT_EQ(QStringList({shown("CommSel"), shown("AddrDis"), shown("BrtVal"), shown("Message"),
                           shown("Text1")}),
              QStringList({"Com1:", "5", "3", "020  Time In Hold ", "HOLD"}));
    const QByteArray before = iniBytes();
    for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
        PortMapDialog* dialog = window->portMap().openDialog();
        QTest::keyClicks(dialog->findChild<QComboBox*>(keys::portKey(2)), second.devicePath());
        QTest::keyClick(dialog, key);
        EXPECT_EQ(iniBytes() == before, key == Qt::Key_Escape) << key;
    }

    QTest::keyClick(focus("CommSel"), Qt::Key_Down);
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
    EXPECT_TRUE(
        iniBytes().endsWith("[Startup]\nAddr=6\nBrt=0\nCustom=T-10\nDakcomm=2\nMessage=21\n"))
        << iniBytes().toStdString();
    EXPECT_EQ(feedback.shown, QStringList());
}

// SENDs back to back, each with its own text, arrive whole and in order while the far end reads.
// Once it takes nothing, about 2 s of the line's time (13 frames at 1200 baud) waits; each SEND
// beyond writes nothing and beeps, the burst shows one box, and the choices are still stored.
// Closing the window then ends the program (the window, then the port) within 4 s, however full.
TEST_F(WindowEndToEndTest, SendsArriveInOrderAndABurstIntoAStoppedLineHoldsThirteenFrames) {
    start(comOneIsFirst());
    auto display =
        std::async(std::launch::async, [&] { return first.readFromLine(200 * kFrameLength, 20s); });
    QByteArray frames;
    for (int number = 0; number < 200; ++number) {
        frames += BuildFrame({QString::number(number), 0, 0, 0});
        send(QString::number(number));
    }
    const QByteArray received = display.get();
    EXPECT_TRUE(received == frames) << received.size() << " of " << frames.size();
    EXPECT_EQ(feedback.shown, QStringList());

    ASSERT_EQ(::tcflow(first.slaveDescriptor(), TCOOFF), 0);
    for (int number = 0; number < 200; ++number) {
        send("HELD " + QString::number(number));
    }
    EXPECT_EQ(feedback.shown.count("beep"), 187);
    const QStringList boxes = feedback.shown.filter("box:");
    ASSERT_EQ(boxes.size(), 1) << boxes.join('\n').toStdString();
    EXPECT_TRUE(boxes.front().startsWith("box:ZQ4:the line is busy: 13 frames are still waiting "
                                         "for Com1: (" +
                                         first.devicePath() + ")"))
        << boxes.front().toStdString();
    EXPECT_TRUE(iniBytes().contains("\nCustom=HELD 199\n"));
    const auto closing = std::chrono::steady_clock::now();
    window->close();
    EXPECT_TRUE(window->isHidden());
    window.reset();
    adapter.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - closing, 4s);
}

// With the window holding Com1 and sharing its line, a script's zq4 send hands its frame over:
// exit 0 and exactly its 18 bytes on the line; the window's values, what it showed and the file
// stay, and the channel is the user's alone. The window's own SENDs meanwhile arrive whole beside
// it; a send to another line opens that line itself, and a dry run sends nothing.
TEST_F(WindowEndToEndTest, AScriptsFrameGoesOutThroughTheWindowThatHoldsTheLine) {
    start(comOneIsFirst() + "\nCom2=" + second.devicePath().toUtf8() +
          "\n\n[Startup]\nDakcomm=1\nAddr=7\nBrt=1\nMessage=21\nCustom=T-10\n");
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    const std::unique_ptr<QObject> host =
        MakeLineShareHost({.port = *adapter,
                           .commSelection = window->commSelection(),
                           .device = [this] { return adapter->deviceName(); },
                           .queuedBytes = [this] { return adapter->queuedBytes(); }});
    struct stat socket {};
    ASSERT_EQ(::stat(QFile::encodeName(LineShareName(first.devicePath()).value()), &socket), 0);
    EXPECT_EQ(socket.st_mode, S_IFSOCK | 0700u);
    EXPECT_EQ(socket.st_uid, ::geteuid());

    // Runs zq4 send while the window serves; its exit code, and the bytes on the line meanwhile.
    QByteArray line, output;
    const auto send = [&](const QStringList& options, const std::function<void()>& meanwhile = {}) {
        QProcess script;
        script.setEnvironment(QProcess::systemEnvironment() << "XDG_CONFIG_HOME=" + home.path());
        script.start(ZQ4_PANEL_PROGRAM,
                     QStringList{"send", "-t", "HOLD", "-a", "5", "-m", "20", "-b", "4"} + options);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                if (meanwhile) {
                    meanwhile();
                }
                line += first.readFromLine(1 << 16, 0ms);
                return script.state() == QProcess::NotRunning;
            },
            10000));
        EXPECT_EQ(script.readAllStandardError(), "");
        output = script.readAllStandardOutput();
        line += first.readFromLine(1 << 16, 50ms);
        return script.exitCode();
    };
    const QByteArray scripts = "    HOLD     " + QByteArray::fromHex("001405fffe");
    const QByteArray stored = iniBytes();
    EXPECT_EQ(send({"-p", "1", "-v"}), 0);
    EXPECT_EQ(line.toHex(' '), scripts.toHex(' '));
    EXPECT_EQ(output,
              "address 5  brightness 4  message \"020  Time In Hold \"  text \"    HOLD     \"\n");
    EXPECT_EQ(iniBytes(), stored);
    EXPECT_EQ(feedback.shown, QStringList());

    // The window's own frames still carry its values: the script's changed none of them.
    line.clear();
    int clicks = 0;
    auto* sendButton = window->findChild<QPushButton*>("SendButton");
    EXPECT_EQ(send({"-p", "1"}, [&] { clicks < 100 && (sendButton->click(), ++clicks); }), 0);
    const QByteArray windows = "    T-10     " + QByteArray::fromHex("011507fffe");
    ASSERT_EQ(line.size(), (clicks + 1) * kFrameLength);
    EXPECT_EQ(QByteArray(line).replace(windows, "").toHex(' '), scripts.toHex(' '));

    line.clear();
    EXPECT_EQ(send({"-p", "2"}), 0);
    EXPECT_EQ(second.readFromLine(kFrameLength, 5s).toHex(' '), scripts.toHex(' '));
    EXPECT_EQ(send({"-p", "1", "--dry-run"}), 0);
    EXPECT_EQ(line, "");
}

// An adapter pulled out and plugged back in under the same path (a link re-pointed at another
// pseudo-terminal, as /dev/serial/by-id/... is): the loss is told once; a SEND while it is away
// beeps, its one box names the port, device and why, and the choices are stored. Back, it opens by
// itself without a box; back before its loss was seen, the next SEND opens it, without a pick.
TEST_F(WindowEndToEndTest, AnAdapterThatComesBackIsUsedAgainWithoutAPick) {
    const QString link = home.filePath("usb-adapter");
    ASSERT_TRUE(QFile::link(first.devicePath(), link));
    start("[Ports]\nCom1=" + link.toUtf8());
    const auto isOpen = [&] { return adapter->isOpen().value(); };
    send("FIRST");
    EXPECT_EQ(first.readFromLine(18, 5s), BuildFrame({"FIRST", 0, 0, 0}));

    const auto told = [&](const QString& what) {
        return feedback.shown.size() == 2 &&
               feedback.shown.join('|').startsWith("beep|box:ZQ4:Com1: (" + link + "): " + what);
    };
    ASSERT_TRUE(QFile::remove(link));
    first.closeMaster();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !feedback.shown.isEmpty(); }, 5000));
    EXPECT_TRUE(told("the device is no longer available"))
        << feedback.shown.join('\n').toStdString();
    feedback.shown.clear();
    send("AWAY");
    EXPECT_TRUE(told("")) << feedback.shown.join('\n').toStdString();
    EXPECT_TRUE(iniBytes().contains("\nCustom=AWAY\n"));

    ASSERT_TRUE(QFile::link(second.devicePath(), link));
    EXPECT_TRUE(QTest::qWaitFor(isOpen, 5000)) << "opened by itself";
    send("BACK");
    EXPECT_EQ(second.readFromLine(18, 5s), BuildFrame({"BACK", 0, 0, 0}));

    PseudoTerminal third;
    ASSERT_TRUE(QFile::remove(link) && QFile::link(third.devicePath(), link));
    second.closeMaster();
    ASSERT_TRUE(QTest::qWaitFor([&] { return feedback.shown.size() > 2; }, 5000));
    EXPECT_FALSE(QTest::qWaitFor(isOpen, 200)) << "no change since the loss";
    send("AGAIN");
    EXPECT_EQ(third.readFromLine(18, 5s), BuildFrame({"AGAIN", 0, 0, 0}));
    EXPECT_EQ(feedback.shown.size(), 4) << feedback.shown.join('\n').toStdString();
}

// zq4 headless with a settings folder of its own whose "Com1:" is a pseudo-terminal, started with
// Qt's own options (X11's among them, which other platforms leave alone), takes a script's frame
// for its line, and ends on each signal as on the window's close: the port is drained and let go
// with its lock file, so the device is free for whoever opens it next. Under nohup it runs on.
TEST(PanelProgram, SharesItsLineAndEndsAsOnCloseWhenSignalledAndRunsOnAfterAnIgnoredHangUp) {
    for (const auto& [signalNumber, ignored] :
         {std::pair{SIGTERM, false}, {SIGINT, false}, {SIGHUP, false}, {SIGHUP, true}}) {
        SCOPED_TRACE(::strsignal(signalNumber) + std::string(ignored ? " ignored" : ""));
        QTemporaryDir home;
        PseudoTerminal line;
        QSettings(home.filePath("ZQ4/ZQ4.ini"), QSettings::IniFormat)
            .setValue("Ports/Com1", line.devicePath());
        QProcess panel;
        panel.setEnvironment(QProcess::systemEnvironment() << "XDG_CONFIG_HOME=" + home.path());
        panel.setProcessChannelMode(QProcess::ForwardedChannels);
        panel.setChildProcessModifier([ignored] { ::signal(SIGHUP, ignored ? SIG_IGN : SIG_DFL); });
        panel.start(ZQ4_PANEL_PROGRAM,
                    {"-platform", "offscreen", "--reverse", "-style=fusion", "-widgetcount",
                     "-qwindowtitle", "ZQ4", "-geometry", "296x281+0+0", "-display", ":0"});
        // Once up, the program takes a script's frame for its line: waits for its channel, or its
        // end; the check below tells which.
        const QString channel = LineShareName(line.devicePath()).value();
        (void)QTest::qWaitFor(
            [&] { return QFileInfo::exists(channel) || panel.waitForFinished(20); }, 15000);
        ASSERT_TRUE(QFileInfo::exists(channel) && panel.state() == QProcess::Running);
        QProcess script;
        script.setEnvironment(panel.environment());
        script.start(ZQ4_PANEL_PROGRAM, {"send", "-p", "1", "-t", "x", "-a", "0", "-m", "0"});
        EXPECT_TRUE(script.waitForFinished(10000));
        EXPECT_EQ(script.exitCode(), 0) << script.readAllStandardError().toStdString();
        EXPECT_EQ(line.readFromLine(kFrameLength, 5s).size(), kFrameLength);
        // An ended program's id is 0, which would signal this whole process group.
        ASSERT_EQ(panel.state(), QProcess::Running);
        ::kill(static_cast<pid_t>(panel.processId()), signalNumber);
        if (ignored) {
            EXPECT_FALSE(panel.waitForFinished(500));
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
