#include "fakes.h"
#include "pseudoterminal.h"

#include "serial/commselection.h"
#include "serial/qserialportadapter.h"
#include "settings/keys.h"
#include "settings/qsettingsstore.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

namespace zq4 {
namespace {

using namespace std::chrono_literals;
using test::MemoryStore;
using test::PseudoTerminal;
using test::RecordingFeedback;

constexpr auto kDeadline = 5s;

// One command frame as the panel sends it: text field, three code bytes, end marker.
const QByteArray kFrame =
    QByteArray("   HOLD 10    ").left(13) + QByteArray("\x85\x0b\xc3\xff\xfe", 5);

class AdapterOnPty : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(first.valid());
        ASSERT_TRUE(second.valid());
        ASSERT_EQ(kFrame.size(), 18);
        map(1, first);
        map(2, second);
    }

    void map(int portNumber, const PseudoTerminal& pty) {
        store.preset(keys::kApplication, keys::kPorts, keys::portKey(portNumber), pty.slavePath());
    }
    QString savedPort() {
        return store.GetSetting(keys::kApplication, keys::kStartup, keys::kDakcomm, QString());
    }
    qsizetype beeps() const { return feedback.events.count(QStringLiteral("beep")); }

    // What the port hands back once the line's bytes reached it, without running the event
    // loop in between.
    QByteArray inputOnceQueued(const PseudoTerminal& pty) {
        if (!test::waitForInputQueued(pty.slave(), kDeadline)) {
            return {};
        }
        const Result<QByteArray> received = adapter.input();
        return received ? received.value() : QByteArray("<failed>");
    }

    PseudoTerminal first;
    PseudoTerminal second;
    MemoryStore store;
    RecordingFeedback feedback;
    QSerialPortAdapter adapter{store};
    CommSelection selection{adapter, store, feedback};
};

TEST_F(AdapterOnPty, PickOpensTheMappedDeviceAt1200Baud8N1WhileOpen) {
    selection.CommSel_Click(0);
    ASSERT_EQ(selection.PortError(), 0) << feedback.events.join('\n').toStdString();

    const std::optional<termios> open = first.lineSettings();
    ASSERT_TRUE(open.has_value());
    EXPECT_EQ(cfgetospeed(&*open), speed_t{B1200});
    EXPECT_EQ(cfgetispeed(&*open), speed_t{B1200});
    EXPECT_EQ(open->c_cflag & CSIZE, tcflag_t{CS8});
    EXPECT_EQ(open->c_cflag & PARENB, tcflag_t{0});
    EXPECT_EQ(open->c_cflag & CSTOPB, tcflag_t{0});
    EXPECT_EQ(open->c_cflag & CRTSCTS, tcflag_t{0});
    EXPECT_EQ(open->c_iflag & (IXON | IXOFF), tcflag_t{0});
    EXPECT_EQ(savedPort(), QStringLiteral("1"));
    EXPECT_EQ(adapter.deviceName(), first.slavePath());

    ASSERT_TRUE(adapter.setPortOpen(false).ok());
    const std::optional<termios> closed = first.lineSettings();
    ASSERT_TRUE(closed.has_value());
    EXPECT_EQ(cfgetospeed(&*closed), speed_t{B9600});
}

TEST_F(AdapterOnPty, BytesReceivedBeforeThePickAreDiscarded) {
    ASSERT_TRUE(first.writeToLine("stale"));
    ASSERT_TRUE(test::waitForInputQueued(first.slave(), kDeadline));

    selection.CommSel_Click(0);
    ASSERT_EQ(selection.PortError(), 0);

    ASSERT_TRUE(first.writeToLine("fresh"));
    EXPECT_EQ(inputOnceQueued(first), QByteArray("fresh"));
}

TEST_F(AdapterOnPty, InputReturnsWhatArrivedWithoutAnEventLoopUpToInputLen) {
    selection.CommSel_Click(0);
    ASSERT_EQ(selection.PortError(), 0);

    ASSERT_TRUE(first.writeToLine(QByteArray("\x00\xff\x80 reply", 9)));
    EXPECT_EQ(inputOnceQueued(first), QByteArray("\x00\xff\x80 reply", 9));

    ASSERT_TRUE(adapter.setInputLen(2).ok());
    ASSERT_TRUE(first.writeToLine("abcde"));
    EXPECT_EQ(inputOnceQueued(first), QByteArray("ab"));
    ASSERT_TRUE(adapter.setInputLen(0).ok());
    const Result<QByteArray> rest = adapter.input();
    ASSERT_TRUE(rest.ok());
    EXPECT_EQ(rest.value(), QByteArray("cde"));
    const Result<QByteArray> none = adapter.input();
    ASSERT_TRUE(none.ok());
    EXPECT_TRUE(none.value().isEmpty());
}

TEST_F(AdapterOnPty, OutputDeliversExactlyTheFrame) {
    first.closeSlave();
    selection.CommSel_Click(0);
    ASSERT_EQ(selection.PortError(), 0);

    ASSERT_TRUE(adapter.setOutput(kFrame).ok());
    EXPECT_EQ(first.readFromLine(kFrame.size(), kDeadline), kFrame);

    // Whatever else had been sent is on the line once the port has closed.
    ASSERT_TRUE(adapter.setPortOpen(false).ok());
    EXPECT_EQ(first.readFromLine(1, kDeadline), QByteArray());
}

TEST_F(AdapterOnPty, SwitchingPortsClosesTheFirstAndSendsOnlyOnTheSecond) {
    first.closeSlave();
    second.closeSlave();
    selection.CommSel_Click(0);
    ASSERT_EQ(selection.PortError(), 0);
    ASSERT_TRUE(first.slaveHeldOpen());

    selection.CommSel_Click(1);
    ASSERT_EQ(selection.PortError(), 0) << feedback.events.join('\n').toStdString();

    EXPECT_TRUE(first.waitForSlaveClosed(kDeadline));
    EXPECT_TRUE(second.slaveHeldOpen());
    EXPECT_EQ(savedPort(), QStringLiteral("2"));
    ASSERT_TRUE(adapter.setOutput(kFrame).ok());
    EXPECT_EQ(second.readFromLine(kFrame.size(), kDeadline), kFrame);
    EXPECT_EQ(first.readFromLine(1, kDeadline), QByteArray());
}

TEST_F(AdapterOnPty, PickingTheOpenPortAgainReopensSavesAgainAndEmptiesTheBuffer) {
    selection.CommSel_Click(0);
    ASSERT_EQ(store.puts.size(), 1);
    ASSERT_TRUE(first.writeToLine("stale"));
    ASSERT_TRUE(test::waitForInputQueued(first.slave(), kDeadline));

    selection.CommSel_Click(0);

    EXPECT_EQ(selection.PortError(), 0);
    EXPECT_EQ(store.puts.size(), 2);
    EXPECT_TRUE(adapter.portOpen().value());
    ASSERT_TRUE(first.writeToLine("fresh"));
    EXPECT_EQ(inputOnceQueued(first), QByteArray("fresh"));
}

TEST_F(AdapterOnPty, PortNumberCannotChangeWhileOpen) {
    selection.CommSel_Click(0);

    const Status refused = adapter.setCommPort(2);

    ASSERT_FALSE(refused.ok());
    EXPECT_TRUE(refused.description().startsWith("Com1: (" + first.slavePath() + "): "))
        << refused.description().toStdString();
    EXPECT_EQ(adapter.deviceName(), first.slavePath());
}

TEST_F(AdapterOnPty, PortHeldByAnotherUserIsReportedAsInUseOrNoPermission) {
    selection.CommSel_Click(0);
    ASSERT_EQ(selection.PortError(), 0);
    QSerialPortAdapter other(store);

    const Status refused = other.setPortOpen(true);

    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.description(),
              "Com1: (" + first.slavePath() +
                  "): the port is in use by another program, or you lack permission: on most "
                  "systems join the group that owns the device, e.g. dialout");
}

enum class Ending { ClosePort, EndProgram };

class PendingOutput : public AdapterOnPty, public ::testing::WithParamInterface<Ending> {};

// More than the line's buffers hold, so most of it is still waiting in the program when the
// port is closed; the frame handed over last must still arrive whole.
TEST_P(PendingOutput, ArrivesWholeWhenThePortCloses) {
    first.closeSlave();
    auto port = std::make_unique<QSerialPortAdapter>(store);
    ASSERT_TRUE(port->setCommPort(1).ok());
    ASSERT_TRUE(port->setPortOpen(true).ok());
    const QByteArray block = QByteArray(256 * 1024, '\x55') + kFrame;
    QByteArray received;
    std::thread display([&] { received = first.readFromLine(block.size(), 20s); });

    const Status handedOver = port->setOutput(block);
    Status closed = Status::Ok();
    if (GetParam() == Ending::ClosePort) {
        closed = port->setPortOpen(false);
    } else {
        port.reset();
    }
    display.join();

    EXPECT_TRUE(handedOver.ok());
    EXPECT_TRUE(closed.ok()) << closed.description().toStdString();
    EXPECT_EQ(received.size(), block.size());
    EXPECT_EQ(received.right(kFrame.size()), kFrame);
}

INSTANTIATE_TEST_SUITE_P(Closing, PendingOutput,
                         ::testing::Values(Ending::ClosePort, Ending::EndProgram),
                         [](const ::testing::TestParamInfo<Ending>& info) {
                             return info.param == Ending::ClosePort ? "ClosePort" : "EndProgram";
                         });

TEST_F(AdapterOnPty, DeviceLostWhileOpenIsReportedOnceAndThePortCloses) {
    first.closeSlave();
    selection.CommSel_Click(0);
    ASSERT_EQ(selection.PortError(), 0);

    first.closeMaster();

    ASSERT_TRUE(QTest::qWaitFor([&] { return beeps() > 0; }, 5000));
    EXPECT_FALSE(adapter.portOpen().value());
    EXPECT_EQ(selection.PortError(), 1);
    ASSERT_EQ(feedback.events.size(), 2);
    EXPECT_TRUE(feedback.events[1].startsWith("warn ZQ4: Com1: (" + first.slavePath() + "): "))
        << feedback.events[1].toStdString();
    EXPECT_FALSE(feedback.events[1].contains(QStringLiteral("Unknown error")));

    // The port no longer raises anything once closed.
    QTest::qWait(1000);
    EXPECT_EQ(beeps(), 1);

    // The next pick opens whatever the port is mapped to now.
    map(1, second);
    selection.CommSel_Click(0);
    EXPECT_EQ(selection.PortError(), 0) << feedback.events.join('\n').toStdString();
    ASSERT_TRUE(adapter.setOutput(kFrame).ok());
    EXPECT_EQ(second.readFromLine(kFrame.size(), kDeadline), kFrame);
}

TEST_F(AdapterOnPty, OutputToALostPortFailsAndTheLossIsStillReportedOnce) {
    first.closeSlave();
    selection.CommSel_Click(0);
    first.closeMaster();

    const Status sent = adapter.setOutput(kFrame);

    EXPECT_FALSE(sent.ok());
    EXPECT_TRUE(sent.description().startsWith("Com1: (" + first.slavePath() + "): "))
        << sent.description().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return beeps() > 0; }, 5000));
    QTest::qWait(200);
    EXPECT_EQ(beeps(), 1);
    EXPECT_FALSE(adapter.portOpen().value());
}

struct DeviceError {
    const char* name;
    QString relativePath; // inside a fresh temporary folder; empty: the folder itself
    bool regularFile;
};

void PrintTo(const DeviceError& error, std::ostream* out) {
    *out << error.name;
}

class UnusableDevice : public ::testing::TestWithParam<DeviceError> {};

TEST_P(UnusableDevice, FailsToOpenWithADescriptionNamingPortAndDevice) {
    const DeviceError& c = GetParam();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString device =
        c.relativePath.isEmpty() ? folder.path() : folder.filePath(c.relativePath);
    if (c.regularFile) {
        QFile file(device);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("not a serial device");
    }
    MemoryStore store;
    store.preset(keys::kApplication, keys::kPorts, keys::portKey(4), device);
    QSerialPortAdapter adapter(store);
    ASSERT_TRUE(adapter.setCommPort(4).ok());

    const Status opened = adapter.setPortOpen(true);

    ASSERT_FALSE(opened.ok());
    const QString prefix = "Com4: (" + device + "): ";
    EXPECT_TRUE(opened.description().startsWith(prefix)) << opened.description().toStdString();
    EXPECT_GT(opened.description().size(), prefix.size() + 5);
    EXPECT_FALSE(opened.description().contains(QStringLiteral("Unknown error")));
    EXPECT_FALSE(adapter.portOpen().value());
}

INSTANTIATE_TEST_SUITE_P(Paths, UnusableDevice,
                         ::testing::Values(DeviceError{"MissingPath", "ttyUSB9", false},
                                           DeviceError{"Directory", "", false},
                                           DeviceError{"RegularFile", "capture.bin", true}),
                         [](const ::testing::TestParamInfo<DeviceError>& info) {
                             return info.param.name;
                         });

TEST(ClosedAdapter, ReadAndWriteFailNamingPortAndDevice) {
    MemoryStore store;
    QSerialPortAdapter adapter(store);
    ASSERT_TRUE(adapter.setCommPort(3).ok());

    const Result<QByteArray> received = adapter.input();
    const Status sent = adapter.setOutput(kFrame);

    ASSERT_FALSE(received.ok());
    ASSERT_FALSE(sent.ok());
    EXPECT_EQ(received.description(), QStringLiteral("Com3: (/dev/ttyS2): the port is not open"));
    EXPECT_EQ(sent.description(), received.description());
    EXPECT_FALSE(adapter.portOpen().value());
}

TEST(ClosedAdapter, AcceptsOnlyThePortNumbersOfTheList) {
    MemoryStore store;
    QSerialPortAdapter adapter(store);
    for (const int number : {0, -1, 10, 255}) {
        const Status refused = adapter.setCommPort(static_cast<std::int16_t>(number));
        EXPECT_FALSE(refused.ok()) << number;
        EXPECT_TRUE(refused.description().startsWith(QStringLiteral("Com%1: ").arg(number)))
            << refused.description().toStdString();
    }
    EXPECT_EQ(adapter.deviceName(), QStringLiteral("/dev/ttyS0"));
    for (const int number : {1, 9}) {
        EXPECT_TRUE(adapter.setCommPort(static_cast<std::int16_t>(number)).ok()) << number;
        EXPECT_EQ(adapter.deviceName(), QStringLiteral("/dev/ttyS%1").arg(number - 1));
    }
    EXPECT_FALSE(adapter.setInputLen(-1).ok());
}

// The operator's port map and the saved port live in the same per-user file.
TEST(AdapterWithSettingsFile, PortsGroupIsReadFromTheFileAndLeftAsWritten) {
    PseudoTerminal pty;
    ASSERT_TRUE(pty.valid());
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder.path());
    const QString fileName = folder.filePath("ZQ4/ZQ4.ini");
    ASSERT_TRUE(QDir().mkpath(folder.filePath("ZQ4")));
    {
        QFile file(fileName);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Text));
        file.write("[Ports]\nCom2=" + pty.slavePath().toLocal8Bit() + "\n");
    }
    QSettingsStore store;
    RecordingFeedback feedback;
    QSerialPortAdapter adapter(store);
    CommSelection selection(adapter, store, feedback);

    selection.CommSel_Click(1);

    EXPECT_EQ(selection.PortError(), 0) << feedback.events.join('\n').toStdString();
    EXPECT_EQ(adapter.deviceName(), pty.slavePath());
    QSettings written(fileName, QSettings::IniFormat);
    EXPECT_EQ(written.value("Startup/Dakcomm").toString(), QStringLiteral("2"));
    EXPECT_EQ(written.value("Ports/Com2").toString(), pty.slavePath());
    EXPECT_EQ(written.childGroups(), (QStringList{"Ports", "Startup"}));
}

} // namespace
} // namespace zq4
