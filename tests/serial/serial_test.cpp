#include "system/pseudoterminal.h"
#include "tests/support/fakes.h"

#include "panel/commselection.h"
#include "serial/devicediscovery.h"
#include "serial/devicewatch.h"
#include "serial/linelock.h"
#include "serial/linesettings.h"
#include "serial/lineshare.h"
#include "serial/porterrors.h"
#include "serial/qserialportadapter.h"
#include "settings/keys.h"
#include "settings/portmap.h"

#include <QtTest>

#include <gtest/gtest.h>

#include <future>
#include <thread>
#include <tuple>

#include <sys/stat.h>

namespace zq4 {
namespace {

using namespace std::chrono_literals;

// One command frame: text field, brightness, message and address codes, end marker.
const QByteArray kFrame = QByteArray("   HOLD 10   ") + QByteArray("\x85\x0b\xc3\xff\xfe", 5);

// The real adapter under the port-selection routine, Com1: and Com2: mapped to pseudo-terminals
// that play the display (Com2's path with blanks around it, as a hand-written file may have).
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
    // Why a line that a running process holds cannot be opened: this test program, say.
    static QString heldBy(qint64 process) {
        return QStringLiteral("the port is in use by %1 (process %2): close it there first")
            .arg(QFileInfo(QCoreApplication::applicationFilePath()).fileName())
            .arg(process);
    }

    PseudoTerminal first, second;
    test::MemoryStore store;
    test::RecordingFeedback feedback;
    QSerialPortAdapter adapter{PortMap(store).lookup()};
    CommSelection selection{adapter, store, feedback};
};

// Before each pick the line is set to 9600 baud, 2 stop bits, flow control, so only a fresh open
// explains 1200 baud 8N1; the port object tells the data bits and parity, which a pseudo-terminal
// ignores. What arrived before the pick is gone; what arrives after it is there to read.
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

// A held line takes nothing: 2 s of frames (13 at 1200 baud) wait in the program (the window's
// burst test counts the SENDs refused beyond). Released, they go out whole and in order with no
// further write. Held again, a close waits as long as the 13 take plus the margin, then discards
// them and says how much; one the device vanishes from says it is gone, and nothing else does.
TEST_F(SerialAdapter, AtMostTwoSecondsOfFramesWaitAndACloseWaitsNoLongerThanTheyTake) {
    ASSERT_TRUE(adapter.open(1).ok());
    holdLine(true);
    QByteArray frames; // 13 that differ in their text, so a lost, doubled or reordered one shows
    for (int number = 0; number < 13; ++number) {
        frames += QByteArray::number(number).rightJustified(13, ' ') + kFrame.mid(13);
    }
    ASSERT_EQ(sendEach(frames), "");
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

    ASSERT_TRUE(adapter.open(1).ok());
    holdLine(true);
    ASSERT_EQ(sendEach(frames), "");
    auto vanish = std::async(std::launch::async, [&] {
        std::this_thread::sleep_for(200ms);
        first.closeMaster();
    });
    const QString gone = adapter.close(kLongestClose).description();
    vanish.get();
    EXPECT_TRUE(
        gone.startsWith("Com1: (" + first.devicePath() + "): the device is no longer available"))
        << gone.toStdString();
    EXPECT_FALSE(QTest::qWaitFor([&] { return !feedback.shown.isEmpty(); }, 200)) << shown();
}

// A missing path, a folder, a file, a terminal that another adapter holds through a link to it,
// a file by a path too long to lock: each box ends with the reason given here, or the platform's.
// A link by such a path to a free terminal opens, since the lock is the terminal's.
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
    const std::pair<QString, QString> cases[] = {
        {file.fileName() + ".missing", ""},
        {QDir::tempPath(), ""},
        {file.fileName(), ""},
        {first.devicePath(), heldBy(QCoreApplication::applicationPid())},
        {deep + "/file", QStringLiteral("the device path is too long for a lock file (%1 "
                                        "characters, symbolic links resolved): move the device "
                                        "to a shorter path")
                             .arg(deep.size() + 5)},
    };
    for (const auto& [device, reason] : cases) {
        store.set(keys::kPorts, keys::portKey(4), device);
        feedback.shown.clear();
        selection.CommSel_Click(3);
        // One beep and one box naming port and device, then a reason that is not a stand-in.
        const QString prefix = "box:ZQ4:Com4: (" + device + "): ", box = feedback.shown.value(1);
        EXPECT_TRUE(feedback.shown.size() == 2 && box.startsWith(prefix) &&
                    box.size() > prefix.size() + 5 && !box.contains("Unknown error") &&
                    (reason.isEmpty() || box.endsWith("): " + reason)))
            << shown();
    }
    store.set(keys::kPorts, keys::portKey(4), deep + "/line");
    EXPECT_TRUE(adapter.open(4).ok());
}

// Lock files in each usual form, naming a running process (this one) or an ended one. A running
// holder refuses the open, is named and keeps its file; an ended one's is no obstacle, nor is
// QLockFile's form naming another program than the process runs (its id was taken over). A fresh
// empty file names nobody and is in the way (QSerialPort takes it as stale only when old).
TEST_F(SerialAdapter, ALockFileOfARunningProcessRefusesTheOpenInEachForm) {
    QProcess ended;
    ended.start("true");
    ASSERT_TRUE(ended.waitForStarted());
    const qint64 running = QCoreApplication::applicationPid(), gone = ended.processId();
    ASSERT_TRUE(ended.waitForFinished());
    const QString program = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    const auto qt = [](qint64 id, const QString& name) {
        return QByteArray::number(id) + '\n' + name.toUtf8() + '\n' +
               QSysInfo::machineHostName().toUtf8() + '\n';
    };
    // Ten characters and a newline, the id as the machine's integer, QLockFile's lines.
    const auto forms = [&](qint64 id) {
        const auto binary = static_cast<std::int32_t>(id);
        return QByteArrayList{QByteArray::number(id).rightJustified(10, ' ') + '\n',
                              QByteArray(reinterpret_cast<const char*>(&binary), sizeof binary),
                              qt(id, program)};
    };
    const QString lockFile = LineLockFile(first.devicePath());
    // Each row: the reason the open is refused (empty: it opens), the lock files that give it.
    const std::pair<QString, QByteArrayList> cases[] = {
        {heldBy(running), forms(running)},
        {"", forms(gone) << qt(running, "not-" + program)},
        {"the lock file " + lockFile +
             " is in the way, though no running program holds it: remove it (as root if need be)",
         {""}},
    };
    for (const auto& [reason, locks] : cases) {
        for (const QByteArray& lock : locks) {
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
    }
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
    // The folder's mode (none: it is missing), the path asked for, the name or why there is none.
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

// An adapter's link in a by-id folder that went with the last adapter: the nearest existing folder
// of its path is watched, following the path down as its folders come back, each change told; then
// the folder of the node the link leads to too, where its group is set. Never a pseudo-terminal.
TEST(DeviceWatchTest, FollowsThePathDownAsItsFoldersComeBackAndWatchesTheLinkedNode) {
    QTemporaryDir dev;
    ASSERT_TRUE(dev.isValid());
    DeviceWatch watch;
    int changes = 0;
    QObject::connect(&watch, &DeviceWatch::changed, [&changes] { ++changes; });
    // True once these folders of the stand-in /dev are watched, after a change was told.
    const auto watches = [&](const QString& folders) {
        const int before = changes;
        return QTest::qWaitFor(
            [&] {
                return watch.folders().join(' ').remove(dev.path()) == folders && changes > before;
            },
            5000);
    };
    watch.watch(dev.filePath("serial/by-id/usb-adapter"));
    EXPECT_EQ(watch.folders(), QStringList{dev.path()});
    ASSERT_TRUE(QDir(dev.path()).mkdir("serial"));
    EXPECT_TRUE(watches("/serial")) << watch.folders().join(' ').toStdString();
    ASSERT_TRUE(QDir(dev.path()).mkdir("serial/by-id"));
    EXPECT_TRUE(watches("/serial/by-id")) << watch.folders().join(' ').toStdString();
    ASSERT_TRUE(QDir(dev.path()).mkdir("nodes") &&
                QFile(dev.filePath("nodes/ttyUSB0")).open(QIODevice::WriteOnly) &&
                QFile::link("../../nodes/ttyUSB0", dev.filePath("serial/by-id/usb-adapter")));
    EXPECT_TRUE(watches("/serial/by-id /nodes")) << watch.folders().join(' ').toStdString();
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
