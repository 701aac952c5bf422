#include "system/pseudoterminal.h"
#include "tests/support/fakes.h"

#include "panel/commselection.h"
#include "serial/devicediscovery.h"
#include "serial/devicewatch.h"
#include "serial/linelock.h"
#include "serial/linesettings.h"
#include "serial/porterrors.h"
#include "serial/qserialportadapter.h"
#include "settings/keys.h"
#include "settings/portmap.h"

#include <QtTest>

#include <gtest/gtest.h>

#include <cstring>
#include <future>
#include <thread>
#include <tuple>

namespace zq4 {
namespace {

using namespace std::chrono_literals;

// One command frame: text field, brightness, message and address codes, end marker.
const QByteArray kFrame = QByteArray("   HOLD 10   ") + QByteArray("\x85\x0b\xc3\xff\xfe", 5);

// `count` frames that differ in their text field, so a lost, doubled or reordered one shows.
QByteArray numberedFrames(qsizetype count) {
    QByteArray frames;
    for (qsizetype number = 0; number < count; ++number) {
        frames += QByteArray::number(number).rightJustified(13, ' ') + kFrame.mid(13);
    }
    return frames;
}

// The real adapter under the port-selection routine; Com1: and Com2: are mapped to two
// pseudo-terminals that play the display (Com2's map with blanks around the path, which a
// hand-written file may hold).
struct SerialAdapter : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(first.valid() && second.valid());
        store.set(keys::kPorts, keys::portKey(1), first.devicePath());
        store.set(keys::kPorts, keys::portKey(2), ' ' + second.devicePath() + ' ');
    }
    // Each frame handed over in a write of its own; the description of the first one refused.
    std::string sendEach(const QByteArray& frames) {
        WriteStatus sent;
        for (qsizetype at = 0; sent.ok() && at < frames.size(); at += kFrame.size()) {
            sent = adapter.write(frames.mid(at, kFrame.size()));
        }
        return sent.description().toStdString();
    }
    // The display stops taking bytes, as a line held back does, or takes them again.
    void holdLine(bool held) {
        ASSERT_EQ(::tcflow(first.slaveDescriptor(), held ? TCOOFF : TCOON), 0);
    }
    // What reaches the display while only the event loop runs.
    QByteArray receive(qsizetype count) {
        auto display =
            std::async(std::launch::async, [&] { return first.readFromLine(count, 10s); });
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return display.wait_for(0s) == std::future_status::ready; }, 15000));
        return display.get();
    }
    std::string shown() const { return feedback.shown.join('\n').toStdString(); }
    // One beep and one box naming port and device, then a reason that is not a stand-in.
    bool showsOneFailureOf(const QString& portAndDevice) const {
        const QString prefix = "box:ZQ4:" + portAndDevice + ": ", box = feedback.shown.value(1);
        return feedback.shown.size() == 2 && box.startsWith(prefix) &&
               box.size() > prefix.size() + 5 && !box.contains(QStringLiteral("Unknown error"));
    }

    PseudoTerminal first, second;
    test::MemoryStore store;
    test::RecordingFeedback feedback;
    QSerialPortAdapter adapter{PortMap(store).lookup()};
    CommSelection selection{adapter, store, feedback};
};

// Before each pick the line is set raw, 9600 baud, 2 stop bits, hardware flow control, so only a
// fresh open explains 1200 baud, 1 stop bit and no flow control. A pseudo-terminal always
// carries 8 data bits without parity, whatever it is told: the adapter's port object tells what
// it was told. What arrived before the pick is gone; what arrives after it is there to read.
TEST_F(SerialAdapter, EachPickReopensAt1200Baud8N1AndDiscardsEarlierInput) {
    for (int pick = 1; pick <= 2; ++pick) {
        SCOPED_TRACE(pick);
        termios foreign = first.lineSettings();
        ::cfmakeraw(&foreign);
        foreign.c_cflag |= CSTOPB | CRTSCTS;
        ::cfsetspeed(&foreign, B9600);
        first.setLineSettings(foreign);
        ASSERT_TRUE(first.writeToLine("stale"));
        selection.CommSel_Click(0);
        ASSERT_EQ(selection.PortError(), 0) << shown();
        const termios line = first.lineSettings();
        EXPECT_EQ(cfgetospeed(&line), speed_t{B1200});
        EXPECT_EQ(line.c_cflag & (CSTOPB | CRTSCTS), tcflag_t{0});
        auto* port = adapter.findChild<QSerialPort*>();
        ASSERT_NE(port, nullptr);
        EXPECT_EQ(std::tuple(port->baudRate(), port->dataBits(), port->parity(), port->stopBits(),
                             port->flowControl()),
                  std::tuple(kLineBaudRate, QSerialPort::Data8, QSerialPort::NoParity,
                             QSerialPort::OneStop, QSerialPort::NoFlowControl));
        ASSERT_TRUE(first.writeToLine("fresh"));
        EXPECT_TRUE(QTest::qWaitFor([&] { return port->bytesAvailable() >= 5; }, 5000));
        EXPECT_EQ(port->readAll(), QByteArray("fresh"));
    }
}

// More than the line's buffers hold, so most of it still waits in the program when the port
// closes or the adapter ends; the frame handed over last must still arrive whole. The test's
// own slave descriptors keep both lines up, so each read ends only at its count.
TEST_F(SerialAdapter, OutputHandedOverArrivesWholeWhenThePortClosesAndWhenTheAdapterEnds) {
    const QByteArray block = QByteArray(256 * 1024, '\x55') + kFrame;
    // Com1 drains only as it is read, and before Com2 opens: the reads go in that order.
    auto display = std::async(std::launch::async, [&] {
        const QByteArray onFirst = first.readFromLine(block.size(), 20s);
        return std::pair(onFirst, second.readFromLine(block.size(), 20s));
    });
    {
        QSerialPortAdapter port(PortMap(store).lookup());
        EXPECT_TRUE(port.open(1).ok() && port.write(block).ok());
        EXPECT_TRUE(port.close(kLongestClose).ok());
        EXPECT_TRUE(port.open(2).ok() && port.write(block).ok());
    }
    const auto [onFirst, onSecond] = display.get();
    EXPECT_TRUE(onFirst == block) << onFirst.size();
    EXPECT_TRUE(onSecond == block) << onSecond.size();
}

// The display takes nothing for a while: the frames handed over wait in the program, up to 2 s
// of the line's time (13 frames of 18 bytes at 1200 baud); the next is refused as busy, naming
// how many wait, and nothing of it is kept. The line held back is no loss. Once the display takes
// bytes again, the 13 go out whole and in order with no further write to push them, and writes
// are taken again. Held back once more, a close waits as long as the 13 take at 1200 baud plus a
// margin, no longer, then discards them and says how much.
TEST_F(SerialAdapter, AtMostTwoSecondsOfFramesWaitAndACloseWaitsNoLongerThanTheyTake) {
    ASSERT_TRUE(adapter.open(1).ok());
    holdLine(true);
    const QByteArray frames = numberedFrames(13);
    ASSERT_EQ(sendEach(frames), "");
    const WriteStatus refused = adapter.write(kFrame);
    EXPECT_TRUE(refused.busy);
    EXPECT_EQ(refused.description(), BusyText("Com1: (" + first.devicePath() + ")", 13));
    holdLine(false);
    QByteArray received = receive(frames.size());
    EXPECT_TRUE(received == frames) << received.size() << " of " << frames.size();
    EXPECT_TRUE(adapter.write(kFrame).ok() && receive(kFrame.size()) == kFrame);
    EXPECT_TRUE(feedback.shown.isEmpty() && adapter.isOpen().value()) << shown();

    holdLine(true);
    ASSERT_EQ(sendEach(frames), "");
    const auto closing = std::chrono::steady_clock::now();
    const Status closed = adapter.close(kLongestClose);
    const auto took = std::chrono::steady_clock::now() - closing;
    holdLine(false);
    EXPECT_EQ(first.readFromLine(1, 200ms), QByteArray());
    EXPECT_GE(took, LineTime(frames.size()) + kDrainMargin);
    EXPECT_LT(took, LineTime(frames.size()) + kDrainMargin + 500ms);
    EXPECT_EQ(closed.description(),
              UnsentText("Com1: (" + first.devicePath() + ")", frames.size(), QString()));
}

TEST_F(SerialAdapter, DeviceLostWhileOpenIsReportedOnceAndThePortCloses) {
    selection.CommSel_Click(0);
    ASSERT_EQ(selection.PortError(), 0) << shown();
    first.closeMaster();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !feedback.shown.isEmpty(); }, 5000));
    EXPECT_FALSE(QTest::qWaitFor([&] { return feedback.shown.size() > 2; }, 1000)) << shown();
    EXPECT_TRUE(showsOneFailureOf("Com1: (" + first.devicePath() + ")")) << shown();
    EXPECT_FALSE(adapter.isOpen().value());
}

// The line vanishes while closing waits for frames that a full line could not take: the close
// says the device is gone, once (the LostHandler adds nothing), and not that it was too slow.
TEST_F(SerialAdapter, DeviceThatVanishesWhileClosingWaitsIsReportedGoneOnce) {
    selection.CommSel_Click(0);
    holdLine(true);
    ASSERT_EQ(sendEach(numberedFrames(13)), "");
    auto vanish = std::async(std::launch::async, [&] {
        std::this_thread::sleep_for(200ms);
        first.closeMaster();
    });
    const Status closed = adapter.close(kLongestClose);
    vanish.get();
    EXPECT_TRUE(closed.description().startsWith("Com1: (" + first.devicePath() +
                                                "): the device is no longer available"))
        << closed.description().toStdString();
    EXPECT_FALSE(QTest::qWaitFor([&] { return !feedback.shown.isEmpty(); }, 200)) << shown();
}

// A missing path, a directory, a regular file, a terminal that another adapter (of this program)
// holds open through a link to it, and a file by a path too long to be locked; a link to a free
// terminal by such a path opens, since the lock is the terminal's. Each box ends with the reason
// given here, or else with the platform's own.
TEST_F(SerialAdapter, UnusableDevicesFailToOpenWithADescriptionNamingPortAndDevice) {
    QTemporaryFile file;
    QTemporaryDir folder;
    const QString deep = QFileInfo(folder.path()).canonicalFilePath() + '/' + QString(120, 'd') +
                         '/' + QString(120, 'd');
    ASSERT_TRUE(file.open() && QDir().mkpath(deep) &&
                QFile(deep + "/file").open(QFile::WriteOnly) &&
                QFile::link(first.devicePath(), folder.filePath("line")) &&
                QFile::link(second.devicePath(), deep + "/line"));
    QSerialPortAdapter other(PortMap(store).lookup());
    other.setDevice(folder.filePath("line"));
    ASSERT_TRUE(other.open(1).ok());
    const QString program = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    const std::pair<QString, QString> cases[] = {
        {file.fileName() + ".missing", ""},
        {QDir::tempPath(), ""},
        {file.fileName(), ""},
        {first.devicePath(), QStringLiteral("the port is in use by %1 (process %2): close it there "
                                            "first")
                                 .arg(program)
                                 .arg(QCoreApplication::applicationPid())},
        {deep + "/file", QStringLiteral("the device path is too long for a lock file (%1 "
                                        "characters, symbolic links resolved): move the device "
                                        "to a shorter path")
                             .arg(deep.size() + 5)},
    };
    for (const auto& [device, reason] : cases) {
        store.set(keys::kPorts, keys::portKey(4), device);
        feedback.shown.clear();
        selection.CommSel_Click(3);
        EXPECT_TRUE(showsOneFailureOf("Com4: (" + device + ")")) << shown();
        EXPECT_TRUE(reason.isEmpty() || feedback.shown.value(1).endsWith("): " + reason))
            << shown();
    }
    store.set(keys::kPorts, keys::portKey(4), deep + "/line");
    EXPECT_TRUE(adapter.open(4).ok());
}

// Lock files that other programs leave for the line, in each usual form, naming a running
// process (a child "sleep") or one that has ended. A running holder refuses the open, is named,
// and keeps its lock file; an ended one's file is no obstacle. QLockFile's form that names
// another program than the one the process runs is one whose id was taken over. A fresh empty
// file, which names nobody, is in the way (QSerialPort takes it as stale only when it is old).
TEST_F(SerialAdapter, ALockFileOfARunningProcessRefusesTheOpenInEachForm) {
    QProcess sleeping, ended;
    sleeping.start("sleep", {"60"});
    ended.start("true");
    ASSERT_TRUE(sleeping.waitForStarted() && ended.waitForStarted());
    const qint64 running = sleeping.processId(), gone = ended.processId();
    ASSERT_TRUE(ended.waitForFinished());
    const auto ascii = [](qint64 id) {
        return QByteArray::number(id).rightJustified(10, ' ') + '\n';
    };
    const auto binary = [](qint64 id) {
        const auto value = static_cast<std::int32_t>(id);
        return QByteArray(reinterpret_cast<const char*>(&value), sizeof value);
    };
    const auto qt = [](qint64 id, const char* program) {
        return QByteArray::number(id) + '\n' + program + '\n' +
               QSysInfo::machineHostName().toUtf8() + '\n';
    };
    const QString lockFile = LineLockFile(first.devicePath());
    const QString inUse =
        QStringLiteral("the port is in use by sleep (process %1): close it there first")
            .arg(running);
    // Each row: the lock file's bytes, the reason the open is refused; empty: it opens.
    const std::pair<QByteArray, QString> cases[] = {
        {ascii(running), inUse},
        {qt(running, "sleep"), inUse},
        {binary(running), inUse},
        {ascii(gone), ""},
        {qt(gone, "sleep"), ""},
        {binary(gone), ""},
        {qt(running, "not-sleep"), ""},
        {"", "the lock file " + lockFile +
                 " is in the way, though no running program holds it: remove it (as root if "
                 "need be)"},
    };
    for (const auto& [lock, reason] : cases) {
        SCOPED_TRACE(lock.toHex(' ').toStdString());
        QFile written(lockFile);
        ASSERT_TRUE(written.open(QIODevice::WriteOnly) && written.write(lock) == lock.size());
        written.close();
        const Status opened = adapter.open(1);
        if (!reason.isEmpty()) {
            EXPECT_EQ(opened.description().toStdString(),
                      ("Com1: (" + first.devicePath() + "): " + reason).toStdString());
            EXPECT_TRUE(written.open(QIODevice::ReadOnly) && written.readAll() == lock);
        } else {
            EXPECT_TRUE(opened && adapter.write(kFrame).ok() && adapter.close(kLongestClose))
                << opened.description().toStdString();
            EXPECT_EQ(first.readFromLine(kFrame.size(), 1s), kFrame);
            EXPECT_FALSE(written.exists());
        }
        (void)adapter.close(kLongestClose); // closed already, unless a check above failed
        (void)QFile::remove(lockFile);      // the holder's, or one a failed check left
    }
    sleeping.kill();
    sleeping.waitForFinished();
}

// Stand-in nodes and a by-id folder of relative links, as udev makes them, one of them dangling.
TEST(DeviceDiscovery, DevicesAreNamedByTheStableLinkThatLeadsToThemWhenThereIsOne) {
    QTemporaryDir dev;
    ASSERT_TRUE(dev.isValid() && QDir(dev.path()).mkpath("serial/by-id"));
    const QString byId = dev.filePath("serial/by-id");
    ASSERT_TRUE(QFile::link("../../ttyUSB0", byId + "/usb-FTDI_A1B2C3-if00-port0") &&
                QFile::link("../../ttyUSB1", byId + "/pci-0000:00:14.0-port0") &&
                QFile::link("../../ttyUSB9", byId + "/usb-gone-if00-port0"));
    std::vector<SerialDevice> devices;
    for (const char* node : {"ttyUSB0", "ttyUSB1", "ttyS0"}) {
        ASSERT_TRUE(QFile(dev.filePath(node)).open(QIODevice::WriteOnly));
        devices.push_back({dev.filePath(node), dev.filePath(node), {}, {}, {}, false});
    }
    PreferStableLinks(devices, byId);
    QStringList named;
    for (const SerialDevice& d : devices) {
        named << QStringLiteral("%1 %2 %3").arg(d.path, d.systemPath).arg(d.isUsb);
    }
    EXPECT_EQ(named.join('|').remove(dev.path()).toStdString(),
              "/serial/by-id/usb-FTDI_A1B2C3-if00-port0 /ttyUSB0 1|"
              "/serial/by-id/pci-0000:00:14.0-port0 /ttyUSB1 0|/ttyS0 /ttyS0 0");
}

// An adapter's link in a by-id folder that went with the last adapter: the nearest folder of its
// path that exists is watched, and the watch follows the path down as its folders come back,
// telling each change; once the link is there, the folder of the node it leads to is watched
// too, where the node's group is set. A pseudo-terminal is never watched for.
TEST(DeviceWatchTest, FollowsThePathDownAsItsFoldersComeBackAndWatchesTheLinkedNode) {
    QTemporaryDir dev;
    ASSERT_TRUE(dev.isValid());
    DeviceWatch watch;
    int changes = 0;
    QObject::connect(&watch, &DeviceWatch::changed, [&changes] { ++changes; });
    // True once these folders of the stand-in /dev are watched, after a change was told.
    const auto watches = [&](const QStringList& folders) {
        QStringList expected;
        for (const QString& folder : folders) {
            expected << dev.path() + folder;
        }
        const int before = changes;
        return QTest::qWaitFor([&] { return watch.folders() == expected && changes > before; },
                               5000);
    };
    watch.watch(dev.filePath("serial/by-id/usb-adapter"));
    EXPECT_EQ(watch.folders(), QStringList{dev.path()});
    ASSERT_TRUE(QDir(dev.path()).mkdir("serial"));
    EXPECT_TRUE(watches({"/serial"})) << watch.folders().join(' ').toStdString();
    ASSERT_TRUE(QDir(dev.path()).mkdir("serial/by-id"));
    EXPECT_TRUE(watches({"/serial/by-id"})) << watch.folders().join(' ').toStdString();
    ASSERT_TRUE(QDir(dev.path()).mkdir("nodes") &&
                QFile(dev.filePath("nodes/ttyUSB0")).open(QIODevice::WriteOnly) &&
                QFile::link("../../nodes/ttyUSB0", dev.filePath("serial/by-id/usb-adapter")));
    EXPECT_TRUE(watches({"/serial/by-id", "/nodes"})) << watch.folders().join(' ').toStdString();
    const int before = changes;
    ASSERT_TRUE(QFile::setPermissions(dev.filePath("nodes/ttyUSB0"),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    EXPECT_TRUE(QTest::qWaitFor([&] { return changes > before; }, 5000)) << "the node's mode";

    PseudoTerminal line;
    watch.watch(line.devicePath());
    EXPECT_EQ(watch.folders(), QStringList());
}

} // namespace
} // namespace zq4
