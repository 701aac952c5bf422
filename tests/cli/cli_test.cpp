#include "protocol/frame.h"
#include "protocol/vocabulary.h"
#include "serial/linelock.h"
#include "system/pseudoterminal.h"
#include "tests/protocol/messagelabels.h"

#include <QtCore>
#include <QtTest>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace zq4 {
namespace {

using namespace std::chrono_literals;

// What the settings file is: a file of the row's text (none without one), the same unreadable, or
// (the text unused) a named pipe, a folder, a symbolic link to nothing.
enum class Store { File, Unreadable, Fifo, Folder, Dangling };
// Where the program's standard output goes.
enum class Output { Pipe, FullDisk, Closed };

// One run of the program. In stored and the command, $LINE stands for the pseudo-terminal's path
// and $HOME for the test's folder.
struct Row {
    QString command;      // the arguments after the program's name, quoted as QProcess splits them
    QString stored = {};  // the settings file's text; empty: there is no file
    QByteArray sent = {}; // what reaches the far end of the line
    QString output = {};  // a text standard output holds; empty: it must be empty
    int exitCode = 0;
    QString error = {}; // a text standard error holds; empty: it must be empty
    Store store = Store::File;
    Output standardOutput = Output::Pipe;
    QStringList environment = {}; // added to the program's ("QT_QPA_PLATFORM=offscreen")
};

QByteArray frame(const char* textField, const char* codes) {
    return textField + QByteArray::fromHex(codes) + QByteArray::fromHex("fffe");
}

// The program as a shell starts it: no display at all, a settings folder of its own and a
// pseudo-terminal standing in for the display's line. The settings file is never written.
struct CommandLineTest : ::testing::Test {
    void check(std::initializer_list<Row> rows) {
        for (const Row& row : rows) {
            const auto fill = [this](QString text) {
                return text.replace("$LINE", line.devicePath()).replace("$HOME", home.path());
            };
            SCOPED_TRACE(fill(row.command).toStdString());
            if (row.store == Store::Unreadable && ::geteuid() == 0) {
                continue; // root reads every file
            }
            ASSERT_TRUE(makeStore(row.store, fill(row.stored).toUtf8()));
            const QByteArray stored = storeState();
            QProcess zq4;
            zq4.setEnvironment(QProcess::systemEnvironment().filter(
                                   QRegularExpression("^(?!(WAYLAND_)?DISPLAY=|QT_QPA_PLATFORM=)"))
                               << "XDG_CONFIG_HOME=" + home.path() << row.environment);
            if (row.standardOutput == Output::FullDisk) {
                zq4.setStandardOutputFile("/dev/full");
            } else if (row.standardOutput == Output::Closed) {
                zq4.setChildProcessModifier([] { ::close(STDOUT_FILENO); });
            }
            zq4.setWorkingDirectory(home.path());
            zq4.start(ZQ4_PROGRAM, QProcess::splitCommand(fill(row.command)));
            ASSERT_TRUE(zq4.waitForFinished(15000));
            output = QString::fromUtf8(zq4.readAllStandardOutput());
            error = QString::fromUtf8(zq4.readAllStandardError());
            EXPECT_EQ(zq4.exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(zq4.exitCode(), row.exitCode) << error.toStdString();
            EXPECT_TRUE(row.output.isEmpty() ? output.isEmpty() : output.contains(fill(row.output)))
                << output.toStdString();
            EXPECT_TRUE(row.error.isEmpty() ? error.isEmpty() : error.contains(fill(row.error)))
                << error.toStdString();
            // What came from outside reaches the terminal with its control characters escaped.
            EXPECT_FALSE(error.contains(QRegularExpression("[\\x00-\\x09\\x0b-\\x1f\\x7f-\\x9f]")))
                << error.toStdString();
            // The frame and nothing else: no text meant for a terminal reaches the line.
            const QByteArray sent =
                line.readFromLine(kFrameLength, row.sent.isEmpty() ? 100ms : 5s);
            EXPECT_EQ((sent + line.readFromLine(1, 10ms)).toHex(' '), row.sent.toHex(' '));
            EXPECT_EQ(storeState(), stored);
        }
    }

    bool makeStore(Store store, const QByteArray& text) {
        (void)QDir(storePath).removeRecursively();
        (void)QFile::remove(storePath); // absent already for the first row
        if (!QDir(home.path()).mkpath("ZQ4")) {
            return false;
        }
        QFile file(storePath);
        switch (store) {
        case Store::File:
        case Store::Unreadable:
            return (text.isEmpty() && store == Store::File) ||
                   (file.open(QIODevice::WriteOnly) && file.write(text) == text.size() &&
                    file.setPermissions(store == Store::Unreadable ? QFile::Permissions()
                                                                   : file.permissions()));
        case Store::Fifo:
            return ::mkfifo(QFile::encodeName(storePath).constData(), 0600) == 0;
        case Store::Folder:
            return QDir().mkpath(storePath);
        case Store::Dangling:
            return QFile::link(home.filePath("nowhere"), storePath);
        }
        return false;
    }

    // The settings file's text, or what it is when it is not a file: never opened then, as a
    // named pipe would block.
    QByteArray storeState() const {
        const QFileInfo info(storePath);
        if (info.isSymLink() && !info.exists()) {
            return "(link to nothing)";
        }
        if (!info.exists() || !info.isFile()) {
            return info.isDir() ? "(folder)" : info.exists() ? "(special file)" : "(none)";
        }
        QFile file(storePath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : "(unreadable)";
    }

    QTemporaryDir home;
    const QString storePath = home.filePath("ZQ4/ZQ4.ini");
    PseudoTerminal line;
    QString output; // the last run's standard output
    QString error;  // and its standard error
};

// A device that cannot be used ends the send with exit code 1, naming the device.
TEST_F(CommandLineTest, SendWritesTheFrameOfItsOptionsAndTheStoredChoices) {
    ASSERT_TRUE(QFile::link(line.devicePath(), home.filePath("line-link")));
    const QString storedChoices = "[Ports]\nCom3=$LINE\n[Startup]\nDakcomm=3\nAddr=127\nBrt=3\n"
                                  "Message=129\nCustom=T-10\n";
    check({
        {R"(send --device=$LINE --address all --brightness 1 --message "utc of t-0" --text=)", "",
         frame("             ", "038280")},
        // é and € in the display's code page; Com3 reaches the line through the settings' map.
        {"send -p com3: -m163 -b 2 -t é€", "[Ports]\nCom3=$LINE\n",
         frame("     \xe9\x80      ", "02a300")},
        {"send", storedChoices, frame("    T-10     ", "03817f")},
        // A port number with leading zeros, as an address or a code may have; a message given as
        // 'zq4 messages' prints it.
        {R"(send -p 03 -m "001  UTC" -t x)", "[Ports]\nCom3=$LINE\n",
         frame("      x      ", "000100")},
        {R"(send -d $LINE -m "138 (74)  ")", "", frame("             ", "008a00")},
        {"send --port Com3 --text HOLD -v", storedChoices, frame("    HOLD     ", "03817f"),
         R"(address 127  brightness 1  message "129 (65)  UTC"  text "    HOLD     ")"},
        // Stored values the window would not take fall back to the defaults; a long text is cut.
        {"send",
         "[Ports]\nCom1=$LINE\n[Startup]\nDakcomm=x\nAddr=200\nBrt=4\nMessage=-5\nCustom="
         "ABCDEFGHIJKLMNOP\n",
         frame("ABCDEFGHIJKLM", "000000")},
        {"send --dry-run -a ALL", storedChoices, "",
         "20 20 20 20 54 2D 31 30 20 20 20 20 20 03 81 80 FF FE\n"},
        // A relative path starts in the current folder, here the test's, not in /dev.
        {"send -d line-link -a 5 -b 4 -m 20 -t HOLD", "", frame("    HOLD     ", "001405")},
        {"send -d \"$HOME/\x1b[2J\"", "", "", "", 1, "$HOME/\\e[2J: "},
    });
}

// Every row would send without its fault: Com1 is the line and every stored choice is valid.
TEST_F(CommandLineTest, UsageErrorsAndInvalidValuesExitTwoAndWriteNothing) {
    // Each row: the command, a text of its error, what the store holds besides the port map. "None
    // selected" left in the store gives no code segment, so no frame.
    const std::tuple<QString, QString, QString> faults[] = {
        {"send --port Com10", R"(--port "Com10")", ""},
        {"send -p 1 -d $LINE", "--port and --device", ""},
        {"send --device=", R"(--device "")", ""},
        {"send -a 128", R"(--address "128")", ""},
        {"send -m 164", R"(--message "164")", ""},
        {"send -m UTC", R"("001  UTC", "129 (65)  UTC")", ""},
        {"send -b 5", R"(--brightness "5")", ""},
        {"send -t ABCDEFGHIJKLMN", "14 characters", ""},
        {"send -t ÿ", "U+00FF", ""},
        {"send --bogus", "bogus", ""},
        {"send now", R"("now")", ""},
        {"sned", R"("sned")", ""},
        {"\x1b[2Jx", R"("\e[2Jx")", ""},
        {"send --dry-run -t \"\x1b]0;x\x07\x1b[2J\"", R"(--text "\e]0;x\x07\e[2J")", ""},
        {"messages all", R"("all")", ""},
        {"send", "--brightness", "[Startup]\nBrt=-1\n"},
        {"send", "--message", "[Startup]\nMessage=-1\n"},
        {"send", "--port", "[Startup]\nDakcomm=0\n"},
    };
    for (const auto& [command, error, stored] : faults) {
        check({{command, "[Ports]\nCom1=$LINE\n" + stored, "", "", 2, error}});
    }
}

// A settings file that is there but cannot be read gives no stored choice: a send that needs one
// fails, naming the file and why, and a send given everything goes ahead with a warning. Com1 is
// the line, so a send that took the defaults would reach it.
TEST_F(CommandLineTest, ASettingsFileThatCannotBeReadGivesNoStoredChoice) {
    const QString stored = "[Ports]\nCom1=$LINE\n[Startup]\nDakcomm=3\nAddr=5\n";
    const QString large = stored + QString(1 << 20, '\n');
    const QString given = " -a 5 -m 20 -b 4 -t HOLD";
    const QString cannotRead = "the settings file $HOME/ZQ4/ZQ4.ini cannot be read: ";
    check({
        {"send --dry-run -v -t HOLD", large, "", "", 1, cannotRead + "it is larger than 1 MiB ("},
        {"send -t HOLD", large, "", "", 1, "--address, --message and --brightness in its place"},
        // The device of a port given is one of the stored choices.
        {"send -p 1" + given, large, "", "", 1, "give --device ("},
        {"send" + given, "", "", "", 1, cannotRead + "it is a named pipe (FIFO)", Store::Fifo},
        {"send" + given, "", "", "", 1, cannotRead + "it is a folder", Store::Folder},
        {"send" + given, "", "", "", 1, "$HOME/nowhere, which leads to no file", Store::Dangling},
        {"send" + given, stored, "", "", 1, cannotRead + "Permission denied", Store::Unreadable},
        {"send -d $LINE" + given, "", frame("    HOLD     ", "001405"), "", 0,
         "warning: the settings file $HOME/ZQ4/ZQ4.ini was not read", Store::Fifo},
        {"send --dry-run" + given, large, "", "20 20 20 20 48 4F 4C 44 20 20 20 20 20 00 14 05", 0,
         "was not read"},
    });
}

// Without a command, an argument that neither zq4 nor Qt takes is a usage error, with the usage;
// without a display (none named, one out of reach, or a platform given) one line says the window
// needs one and the command line does not. No window and no port opens (it would store its number).
TEST_F(CommandLineTest, AnArgumentNeitherZq4NorQtTakesOrNoDisplayOpensNoWindow) {
    const QStringList offscreen{"QT_QPA_PLATFORM=offscreen"};
    // The arguments, what the environment adds, the exit code, a text of the error.
    const std::tuple<QString, QStringList, int, QString> cases[] = {
        {"--verison", offscreen, 2, R"(unknown option "--verison")"},
        {"-V", offscreen, 2, R"(unknown option "-V")"},
        {"--version=1", offscreen, 2, R"(unknown option "--version=1")"},
        {"-v", offscreen, 2, R"(unknown option "-v")"},
        {"-platform offscreen -reverse --platform=xcb", offscreen, 2,
         R"(unknown option "--platform=xcb")"},
        {"-reverse now", offscreen, 2, R"(unexpected argument "now")"},
        {"-style", offscreen, 2, R"(option "-style" needs a value)"},
        {"", {}, 1, "the window needs a display"},
        {"-platform xcb", {}, 1, "the window needs a display"},
        {"", {"DISPLAY=:9999"}, 1, "the window needs a display"},
    };
    for (const auto& [command, environment, exitCode, fault] : cases) {
        check({{command, "[Ports]\nCom1=$LINE\n", "", "", exitCode, fault, Store::File,
                Output::Pipe, environment}});
        EXPECT_TRUE(exitCode == 2
                        ? error.contains("Usage: zq4 [Qt options]")
                        : error.contains("zq4 send works without one") && error.count('\n') == 1)
            << error.toStdString();
    }
}

// Help, the version and the labels need no display nor settings. Output that cannot be written (a
// full disk, a closed standard output) is a failure, also once the frame has gone out.
TEST_F(CommandLineTest, HelpVersionAndMessagesNeedNoDisplayAndAFailedWriteOfOutputExitsOne) {
    check({
        {"messages", "", "", "", 1, "standard output: No space left on device", Store::File,
         Output::FullDisk},
        {"send --dry-run -a 1 -m 1 -b 1 -t a", "", "", "", 1, "standard output: No space",
         Store::File, Output::FullDisk},
        {"--version", "", "", "", 1, "standard output: Bad file descriptor", Store::File,
         Output::Closed},
        {"send -d $LINE -a 5 -b 4 -m 20 -t HOLD -v", "", frame("    HOLD     ", "001405"), "", 1,
         "standard output: Bad file descriptor", Store::File, Output::Closed},
        {"--help", "", "", "zq4 send [options]"},
        {"-h", "", "", "--dry-run"},
        {"send --help", "", "", "--brightness 1..4"},
        {"--version", "", "", "zq4 " ZQ4_VERSION "\nCopyright (C) "},
        {"messages", "[Startup]\nMessage=5\n", "", test::kMessageLabels.join('\n') + '\n'},
    });
    EXPECT_EQ(output.count('\n'), kMessageCount);
}

// zq4 send ended by a signal while its frame waits on a full line (a display that reads
// nothing) gives the frame up at once: the line gets back the settings it had before the open,
// the lock file goes, and the exit status is 1, the signal named.
TEST(SendProgram, EndedWhileTheFrameWaitsRestoresTheLineAndRemovesItsLockFile) {
    for (const int signalNumber : {SIGTERM, SIGINT}) {
        const QString signalName = QStringLiteral("SIG%1").arg(::sigabbrev_np(signalNumber));
        SCOPED_TRACE(signalName.toStdString());
        QTemporaryDir home;
        PseudoTerminal line;
        termios before = line.lineSettings();
        ::cfsetspeed(&before, B9600);
        line.setLineSettings(before);
        ASSERT_GT(line.fillLine(4096), 0);
        const QString lockFile = LineLockFile(line.devicePath());
        QProcess zq4;
        zq4.setEnvironment(QProcess::systemEnvironment() << "XDG_CONFIG_HOME=" + home.path());
        zq4.start(ZQ4_PROGRAM, {"send", "-d", line.devicePath(), "-a", "5", "-m", "20", "-b", "4",
                                "-t", "HOLD"});
        ASSERT_TRUE(zq4.waitForStarted());
        // The line at 1200 baud tells that the port is open: the frame then waits about a second.
        const auto speed = [&line] {
            const termios settings = line.lineSettings();
            return ::cfgetospeed(&settings);
        };
        (void)QTest::qWaitFor(
            [&] { return speed() == B1200 || zq4.state() == QProcess::NotRunning; }, 10000);
        // An ended program's id is 0, which would signal this whole process group.
        ASSERT_EQ(zq4.state(), QProcess::Running);
        ::kill(static_cast<pid_t>(zq4.processId()), signalNumber);
        ASSERT_TRUE(zq4.waitForFinished(5000));
        EXPECT_EQ(zq4.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(zq4.exitCode(), 1);
        EXPECT_EQ(QString::fromUtf8(zq4.readAllStandardError()).toStdString(),
                  QStringLiteral("zq4 send: %1: %2 came before the device took the last 18 "
                                 "bytes: they were discarded when the port closed\n")
                      .arg(line.devicePath(), signalName)
                      .toStdString());
        EXPECT_FALSE(QFile::remove(lockFile)) << "the lock file was left";
        EXPECT_EQ(speed(), speed_t{B9600});
    }
}

} // namespace
} // namespace zq4
