#include "system/pseudoterminal.h"
#include "tests/support/fakes.h"

#include "panel/commselection.h"
#include "serial/devicediscovery.h"
#include "serial/linelock.h"
#include "serial/lineshare.h"
#include "serial/qserialportadapter.h"
#include "settings/keys.h"

#include <QtTest>

#include <gtest/gtest.h>

#include <cstring>
#include <future>
#include <thread>
#include <tuple>

#include <sys/stat.h>

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
    // Each frame handed over in a send of its own; the description of the first one refused.
    std::string sendEach(const QByteArray& frames) {
        Status sent = Status::Ok();
        for (qsizetype at = 0; sent && at < frames.size(); at += kFrame.size()) {
            sent = adapter.setOutput(frames.mid(at, kFrame.size()));
        }
        return sent.description().toStdString();
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
    QSerialPortAdapter adapter{store};
    CommSelection selection{adapter, store, feedback};
};

// Before each pick the line is set raw, 9600 baud, 2 stop bits, hardware flow control, so only a
// fresh open explains 1200 baud, 1 stop bit and no flow control. A pseudo-terminal always
// carries 8 data bits without parity, whatever it is told: the adapter's port object tells what
// it was told.
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
        const auto* port = adapter.findChild<QSerialPort*>();
        ASSERT_NE(port, nullptr);
        EXPECT_EQ(std::tuple(port->baudRate(), port->dataBits(), port->parity(), port->stopBits(),
                             port->flowControl()),
                  std::tuple(kLineBaudRate, QSerialPort::Data8, QSerialPort::NoParity,
                             QSerialPort::OneStop, QSerialPort::NoFlowControl));
        ASSERT_TRUE(first.writeToLine("fresh"));
        EXPECT_EQ(adapter.input().value(), QByteArray("fresh"));
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
        QSerialPortAdapter port(store);
        EXPECT_TRUE(port.setPortOpen(true).ok() && port.setOutput(block).ok());
        EXPECT_TRUE(port.setPortOpen(false).ok());
        EXPECT_TRUE(port.setCommPort(2).ok() && port.setPortOpen(true).ok());
        EXPECT_TRUE(port.setOutput(block).ok());
    }
    const auto [onFirst, onSecond] = display.get();
    EXPECT_TRUE(onFirst == block) << onFirst.size();
    EXPECT_TRUE(onSecond == block) << onSecond.size();
}

// The display reads nothing for a while: what the line cannot take waits in the program and,
// once the display reads again, goes out whole and in order with no further send to push it.
// Then the display stops reading for good with the line full: closing waits as long as the
// queued frames take at 1200 baud (10 bits a byte) plus a margin, no longer, then discards what
// is left and says how much.
TEST_F(SerialAdapter, FramesBeyondWhatTheLineHoldsWaitInOrderUntilTheCloseDeadline) {
    ASSERT_TRUE(adapter.setPortOpen(true).ok());
    // What the line holds while the display reads nothing, read empty again.
    const qsizetype capacity = first.fillLine(kFrame.size());
    ASSERT_TRUE(capacity > 0 && first.readFromLine(capacity, 5s).size() == capacity);
    QByteArray frames = numberedFrames(capacity * 3 / 2 / kFrame.size());
    ASSERT_EQ(sendEach(frames), "");
    auto display =
        std::async(std::launch::async, [&] { return first.readFromLine(frames.size(), 20s); });
    // Only the event loop runs meanwhile.
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return display.wait_for(0s) == std::future_status::ready; }, 25000));
    QByteArray received = display.get();
    EXPECT_TRUE(received == frames) << received.size() << " of " << frames.size();
    EXPECT_TRUE(feedback.shown.isEmpty() && adapter.portOpen().value()) << shown();

    const qsizetype full = first.fillLine(kFrame.size());
    ASSERT_GT(full, 0);
    // A full line may still find room for a few hundred bytes more a moment later: the frames
    // are more than that, so that some of them surely wait.
    frames = numberedFrames(60);
    ASSERT_EQ(sendEach(frames), "");
    const auto closing = std::chrono::steady_clock::now();
    const Status closed = adapter.setPortOpen(false);
    const auto took = std::chrono::steady_clock::now() - closing;
    first.closeSlave();
    received = first.readFromLine(full + frames.size(), 5s);
    ASSERT_GE(received.size(), full);
    ASSERT_TRUE(frames.startsWith(received.mid(full)));
    const qsizetype unsent = full + frames.size() - received.size();
    const std::chrono::milliseconds lineTime(unsent * 10 * 1000 / kLineBaudRate);
    EXPECT_GE(took, lineTime + kDrainMargin);
    EXPECT_LT(took, lineTime + kDrainMargin + 1s);
    EXPECT_EQ(closed.description(),
              QStringLiteral("Com1: (%1): the device did not take the last %2 bytes in time: they "
                             "were discarded when the port closed")
                  .arg(first.devicePath(), QString::number(unsent)));
}

TEST_F(SerialAdapter, DeviceLostWhileOpenIsReportedOnceAndThePortCloses) {
    selection.CommSel_Click(0);
    ASSERT_EQ(selection.PortError(), 0) << shown();
    first.closeMaster();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !feedback.shown.isEmpty(); }, 5000));
    EXPECT_FALSE(QTest::qWaitFor([&] { return feedback.shown.size() > 2; }, 1000)) << shown();
    EXPECT_TRUE(showsOneFailureOf("Com1: (" + first.devicePath() + ")")) << shown();
    EXPECT_FALSE(adapter.portOpen().value());
}

// The line vanishes while closing waits for frames that a full line could not take: the close
// says the device is gone, once (the LostHandler adds nothing), and not that it was too slow.
TEST_F(SerialAdapter, DeviceThatVanishesWhileClosingWaitsIsReportedGoneOnce) {
    selection.CommSel_Click(0);
    ASSERT_GT(first.fillLine(kFrame.size()), 0);
    ASSERT_EQ(sendEach(numberedFrames(60)), "");
    auto vanish = std::async(std::launch::async, [&] {
        std::this_thread::sleep_for(200ms);
        first.closeMaster();
    });
    const Status closed = adapter.setPortOpen(false);
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
    QSerialPortAdapter other(store);
    other.setDevice(folder.filePath("line"));
    ASSERT_TRUE(other.setPortOpen(true).ok());
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
    EXPECT_TRUE(adapter.setPortOpen(true).ok());
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
        const Status opened = adapter.setPortOpen(true);
        if (!reason.isEmpty()) {
            EXPECT_EQ(opened.description().toStdString(),
                      ("Com1: (" + first.devicePath() + "): " + reason).toStdString());
            EXPECT_TRUE(written.open(QIODevice::ReadOnly) && written.readAll() == lock);
        } else {
            EXPECT_TRUE(opened && adapter.setOutput(kFrame) && adapter.setPortOpen(false))
                << opened.description().toStdString();
            EXPECT_EQ(first.readFromLine(kFrame.size(), 1s), kFrame);
            EXPECT_FALSE(written.exists());
        }
        (void)adapter.setPortOpen(false); // closed already, unless a check above failed
        (void)QFile::remove(lockFile);    // the holder's, or one a failed check left
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

// A window takes scripts' frames on a socket in the user's runtime folder, and only in one that is
// the user's alone: none in a folder others may enter, or in one that is missing. The socket is
// named by the device the path leads to, by a digest where the name would not fit a socket's path.
TEST(LineShareName, IsTheDevicesSocketInARuntimeFolderOfTheUsersOwn) {
    QTemporaryDir folder;
    PseudoTerminal line;
    const QString link = folder.filePath("line");
    ASSERT_TRUE(folder.isValid() && line.valid() && QFile::link(line.devicePath(), link));
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    const auto restore = qScopeGuard([&] { qputenv("XDG_RUNTIME_DIR", saved); });
    const QString ownName =
        folder.path() + "/zq4-line-" + line.devicePath().mid(5).replace('/', '_');
    // The folder's mode, or none: it is missing; the path asked for; the name, or a text of why
    // not.
    const std::tuple<int, QString, QString> cases[] = {
        {0700, link, ownName},
        {0700, "/dev/" + QString(200, 'x'), folder.path() + "/zq4-line-"},
        {0750, line.devicePath(), "is not yours alone"},
        {0701, line.devicePath(), "is not yours alone"},
        {-1, line.devicePath(), "/missing does not exist"},
    };
    for (const auto& [mode, path, expected] : cases) {
        SCOPED_TRACE(QString::number(mode, 8).toStdString());
        const QString runtime = mode < 0 ? folder.filePath("missing") : folder.path();
        ASSERT_TRUE(mode < 0 || ::chmod(QFile::encodeName(runtime), mode) == 0);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
        const Result<QString> name = LineShareName(path);
        const QString got = name ? name.value() : name.description();
        EXPECT_TRUE(got.contains(expected)) << got.toStdString();
        EXPECT_TRUE(!name || QFile::encodeName(got).size() < 108) << got.toStdString();
    }
}

} // namespace
} // namespace zq4
