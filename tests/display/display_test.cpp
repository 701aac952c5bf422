#include "display/eventlog.h"
#include "protocol/frame.h"
#include "serial/qserialportadapter.h"
#include "settings/portmap.h"
#include "system/pseudoterminal.h"
#include "tests/support/fakes.h"

#include <QtCore>

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <functional>
#include <thread>
#include <tuple>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zq4 {
namespace {

constexpr int kTimeoutMs = 15000;

// The next whole line of the program's output that holds the text; empty when none came in time.
QString nextLine(QProcess& program, const QString& text) {
    while (program.canReadLine() || program.waitForReadyRead(kTimeoutMs)) {
        const QString line = program.canReadLine() ? QString::fromUtf8(program.readLine()) : "";
        if (line.contains(text)) {
            return line.chopped(1);
        }
    }
    return {};
}

// Each row: whether the raw bytes are shown, what arrived on the line, the lines logged for it.
TEST(EventLog, LinesShowLabelsQuotedTextAndTheBytesOfWhatIsNoFrame) {
    const std::tuple<bool, QByteArray, QString> cases[] = {
        {true, QByteArray(13, ' ') + QByteArray::fromHex("038180fffe"),
         R"(address ALL  brightness 1  message "129 (65)  UTC"  text "             "  bytes: )"
         "20 20 20 20 20 20 20 20 20 20 20 20 20 03 81 80 FF FE"},
        // 0x81 has no character in the code page, 0x09 and 0x7F are control bytes, %1 is text.
        {false,
         QByteArray::fromHex("225ce98081097f") + "%1%2  " + QByteArray::fromHex("018900fffe"),
         R"(address 0  brightness 3  message "137 (73)  "  text "\"\\é€\x81\x09\x7F%1%2  ")"},
        {false, QByteArray::fromHex("001405fffe"),
         "malformed frame (too short), 5 bytes: 00 14 05 FF FE"},
        // Noise shows its length and its first 48 bytes; the last 17 may still begin a frame.
        {false, QByteArray(1017, 'x'),
         "skipped 1000 bytes: " + QString("78 ").repeated(48) + "..."},
    };
    EventLog plain(false), withHex(true);
    const QTime time(14, 3, 7, 123);
    for (const auto& [hex, received, expected] : cases) {
        QStringList lines;
        for (const DecoderEvent& event : FrameDecoder().feed(received)) {
            lines.append((hex ? withHex : plain).line(event, time));
        }
        EXPECT_EQ(lines.join('\n').toStdString(), ("14:03:07.123  " + expected).toStdString());
    }
    EXPECT_EQ(plain.unfinishedLine("  A", time).toStdString(),
              "14:03:07.123  unfinished frame at exit, 3 bytes: 20 20 41");
    EXPECT_EQ(plain.summary().toStdString(),
              "summary: 1 frames, 1 malformed frames, 1003 skipped bytes");
}

// The program prints the settings lines ("[Ports]", "Com1=<device>") that lead Com1: to its line.
// Each frame comes from a port of its own, closed after it: the display listens on meanwhile.
// Then frames come as fast as the line takes them: SIGINT still ends the program at once.
TEST(DisplayProgram, ShowsFramesFromPortsOpenedInTurnAndEndsOnInterruptWhileFramesKeepArriving) {
    QProcess display;
    display.start(ZQ4_DISPLAY_PROGRAM, {});
    const QString section = nextLine(display, "["), entry = nextLine(display, "=");
    test::MemoryStore store;
    store.set(section.mid(1).chopped(1), entry.section('=', 0, 0), entry.section('=', 1));
    for (int send = 0; send < 2; ++send) {
        QSerialPortAdapter port(PortMap(store).lookup());
        ASSERT_TRUE(port.open(1) && port.write(BuildFrame({"é€", 0, 0, 5})).ok());
        const QString line = nextLine(display, "address");
        EXPECT_TRUE(QTime::fromString(line.left(12), "HH:mm:ss.zzz").isValid() &&
                    line.mid(12) ==
                        R"(  address 5  brightness 4  message "000  CUSTOM"  text "     é€      ")")
            << line.toStdString();
    }
    const int line = ::open(qPrintable(entry.section('=', 1)), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(line, 0);
    std::atomic<bool> stop = false;
    std::thread writer([line, &stop] {
        const QByteArray frames = BuildFrame({"", 3, 129, 128}).repeated(64);
        while (!stop && ::write(line, frames.constData(), frames.size()) > 0) {
        }
    });
    nextLine(display, "address ALL");
    // An ended program's id is 0, which would signal this whole process group. (One that ended
    // on its own shows no summary.)
    if (display.state() == QProcess::Running) {
        ::kill(static_cast<pid_t>(display.processId()), SIGINT);
    }
    const bool ended = display.waitForFinished(5000);
    stop = true;
    writer.join();
    ::close(line);
    ASSERT_TRUE(ended || display.waitForFinished(kTimeoutMs));
    EXPECT_TRUE(ended) << "the program ended only once the frames paused";
    // A program ended by the signal itself would have the signal's number as its exit code.
    EXPECT_EQ(display.exitCode(), 0);
    // The bytes of a frame cut off at the end count as skipped.
    const QString summary = nextLine(display, "summary");
    EXPECT_TRUE(summary.contains(QRegularExpression("^summary: [1-9][0-9]* frames, 0 malformed")))
        << summary.toStdString();
}

// Each row: the arguments, the exit code, a text the output must hold, what is done to the
// program as it starts, in a folder that holds a plain file, "not-a-line". Of two lines, one is
// held here, the other only its group, tty, may use, as on a desktop (as root, whom permissions do
// not stop, the program runs as another user). Output that cannot be written ends the program: the
// pseudo-terminal's path would reach nobody; a closed one stays closed, nothing takes its place.
TEST(DisplayProgram, CommandLineAnswersWithItsExitCodes) {
    QTemporaryDir folder;
    PseudoTerminal held, forbidden;
    QSerialPort holder(held.devicePath());
    const QByteArray forbiddenPath = forbidden.devicePath().toLocal8Bit();
    const group* tty = ::getgrnam("tty");
    ASSERT_TRUE(QFile(folder.filePath("not-a-line")).open(QIODevice::WriteOnly) &&
                holder.open(QIODevice::ReadWrite) && tty != nullptr &&
                (::geteuid() != 0 || ::chown(forbiddenPath.constData(), 0, tty->gr_gid) == 0) &&
                ::chmod(forbiddenPath.constData(), S_IRGRP | S_IWGRP) == 0);
    const auto asAnotherUser = [](QProcess& display) {
        display.setChildProcessModifier([] {
            if (::geteuid() == 0 &&
                (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
                ::_exit(127);
            }
        });
    };
    const auto toFullDisk = [](QProcess& display) { display.setStandardOutputFile("/dev/full"); };
    const auto withoutOutput = [](QProcess& display) {
        display.setChildProcessModifier([] { ::close(STDOUT_FILENO); });
    };
    const QString fullDisk = "cannot write to standard output: No space left on device";
    const struct {
        QStringList arguments;
        int exitCode;
        QString output;
        std::function<void(QProcess&)> prepare = {};
    } cases[] = {
        {{"--help"}, 0, "--hex"},
        {{"--no-such-option"}, 2, "no-such-option"},
        {{"/dev/a", "/dev/b"}, 2, "/dev/a /dev/b"},
        {{""}, 2, "no device name"},
        // A relative path is taken from the working folder, not from /dev.
        {{"not-a-line"}, 1, "cannot open " + QDir(folder.path()).canonicalPath() + "/not-a-line"},
        {{held.devicePath()},
         1,
         QStringLiteral("cannot open %1: the port is in use by %2 (process %3): close it there "
                        "first")
             .arg(held.devicePath(), QFileInfo(QCoreApplication::applicationFilePath()).fileName())
             .arg(QCoreApplication::applicationPid())},
        {{forbidden.devicePath()},
         1,
         QStringLiteral("cannot open %1: you lack permission to use the device: join the group "
                        "that owns it, %2, then log in again (on Debian: sudo adduser $USER %2)")
             .arg(forbidden.devicePath(), QFileInfo(forbidden.devicePath()).group()),
         asAnotherUser},
        // Control characters of a name given reach the terminal escaped.
        {{"\x1b[2J\u009b"}, 1, "/\\e[2J\\x9B: "},
        {{"--\x1b[2J"}, 2, "\\e[2J"},
        {{}, 1, fullDisk, toFullDisk},
        {{"--help"}, 1, fullDisk, toFullDisk},
        {{}, 1, "cannot write to standard output: Bad file descriptor", withoutOutput},
    };
    for (const auto& [arguments, exitCode, output, prepare] : cases) {
        QProcess display;
        if (prepare) {
            prepare(display);
        }
        display.setWorkingDirectory(folder.path());
        display.start(ZQ4_DISPLAY_PROGRAM, arguments);
        ASSERT_TRUE(display.waitForFinished(kTimeoutMs)) << arguments.join(' ').toStdString();
        const QString shown =
            QString::fromUtf8(display.readAllStandardOutput() + display.readAllStandardError());
        EXPECT_EQ(display.exitCode(), exitCode) << shown.toStdString();
        EXPECT_TRUE(shown.contains(output)) << shown.toStdString();
        EXPECT_FALSE(shown.contains(QRegularExpression("[\\x00-\\x09\\x0b-\\x1f\\x7f-\\x9f]")))
            << shown.toStdString();
    }
}

} // namespace
} // namespace zq4
