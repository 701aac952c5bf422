#include "protocol/frame.h"
#include "system/pseudoterminal.h"

#include <QTest>
#include <QtCore>

#include <gtest/gtest.h>

#include <csignal>

namespace zq4 {
namespace {

using namespace std::chrono_literals;

// The Windows build's programs as Windows runs them, under Wine on this machine: scripts/windows
// runs these checks with ZQ4_WINDOWS_BUILD naming the Windows build folder, WINEPREFIX its
// prepared Wine prefix, whose COM1 leads through the link <build>/com1 to a pseudo-terminal that
// each check points it at, and DISPLAY the one virtual X server that all of Wine's windows show
// on. ZQ4_INSTALLER names the installer, for its own check.
const QString kBuild = qEnvironmentVariable("ZQ4_WINDOWS_BUILD");
// Runs a program of the build under Wine, its DLLs found where they were built.
const QString kWineRun = kBuild + "/wine-run";
// The frame of "HOLD", brightness 4, message 20, address 5.
constexpr char kHold[] = "20 20 20 20 48 4f 4c 44 20 20 20 20 20 00 14 05 ff fe";

// Wine turns the command line into Windows' UTF-16 by the locale's character set.
void inUtf8(QProcess& process) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LC_ALL", "C.UTF-8");
    process.setProcessEnvironment(environment);
}

// What a command gave: its exit code (-1 when it did not end within 60 s) and output.
struct Outcome {
    int exitCode;
    QString out, err;
};

// A command to its end; while it runs, `watch` is called every millisecond.
Outcome run(const QStringList& command, const std::function<void()>& watch = {},
            const QString& folder = {}) {
    QProcess process;
    inUtf8(process);
    process.setWorkingDirectory(folder);
    process.start(command.first(), command.mid(1));
    bool finished = false;
    for (const QDeadlineTimer deadline(60s);
         !(finished = process.waitForFinished(1)) && !deadline.hasExpired();) {
        if (watch) {
            watch();
        }
    }
    return {finished ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()).remove('\r'),
            QString::fromUtf8(process.readAllStandardError()).remove('\r')};
}

// A Windows path of the prefix as this machine names it.
QString unixPath(const QString& windowsPath) {
    return run({"winepath", "-u", windowsPath}).out.trimmed();
}

// The id of the first window of that title, once it shows.
QString windowNamed(const QString& titlePattern) {
    return run({"xdotool", "search", "--sync", "--onlyvisible", "--name", titlePattern})
        .out.section('\n', 0, 0);
}

QStringList filesUnder(const QString& folder) {
    QStringList files;
    for (QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        files << QDir(folder).relativeFilePath(it.next());
    }
    return files;
}

struct WineTest : ::testing::Test {
    void SetUp() override {
        if (kBuild.isEmpty()) {
            GTEST_SKIP() << "ZQ4_WINDOWS_BUILD names no Windows build: scripts/windows runs these";
        }
        // COM1 leads to this test's line; the line starts out at other settings than the
        // display's, so that the program must set them.
        QFile::remove(kBuild + "/com1");
        ASSERT_TRUE(line.valid() && QFile::link(line.devicePath(), kBuild + "/com1"))
            << line.errorString().toStdString();
        termios settings = line.lineSettings();
        ::cfsetspeed(&settings, B9600);
        settings.c_cflag = (settings.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB;
        line.setLineSettings(settings);
    }
    void TearDown() override {
        if (panel.state() != QProcess::NotRunning) {
            (void)run({kWineRun, "taskkill", "/f", "/im", "zq4.exe"});
            panel.waitForFinished(10000);
        }
        QFile::remove(kBuild + "/com1");
    }

    // Whether the line is at 1200 baud, 8 data bits, no parity, 1 stop bit, no flow control.
    bool atDisplaySettings() const {
        const termios settings = line.lineSettings();
        return cfgetospeed(&settings) == B1200 && (settings.c_cflag & CSIZE) == CS8 &&
               (settings.c_cflag & (PARENB | CSTOPB | CRTSCTS)) == 0 &&
               (settings.c_iflag & (IXON | IXOFF)) == 0;
    }
    // Starts the window over these stored choices in %APPDATA%\ZQ4\ZQ4.ini; the file's path.
    QString start(const QByteArray& choices) {
        EXPECT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY"))
            << "no X server: scripts/windows has one";
        const QString appData = run({kWineRun, "cmd", "/c", "echo %APPDATA%"}).out.trimmed();
        const QString ini = unixPath(appData + "\\ZQ4\\ZQ4.ini");
        QFile file(ini);
        EXPECT_TRUE(QDir().mkpath(QFileInfo(ini).path()) && file.open(QIODevice::WriteOnly) &&
                    file.write(choices) == choices.size())
            << ini.toStdString();
        inUtf8(panel);
        panel.start(kWineRun, {kBuild + "/zq4.exe"});
        EXPECT_TRUE(panel.waitForStarted());
        return ini;
    }
    // Closes the window as its close button does, and waits for the program's end.
    void close() {
        (void)run({kWineRun, "taskkill", "/im", "zq4.exe"});
        ASSERT_TRUE(panel.waitForFinished(20000));
        EXPECT_EQ(panel.exitCode(), 0) << panel.readAllStandardError().toStdString();
    }

    PseudoTerminal line;
    QProcess panel;
};

// zq4.com, the console entry point: exact frames through COM1, the text in the ANSI code page
// (1252 under Wine), a port that leads nowhere named in its failure, and cmd taking zq4.com for
// "zq4" with its exit status.
TEST_F(WineTest, CommandLineSendsExactFramesThroughComPorts) {
    // Wine gives the line its earlier settings back when the port closes: they are watched while
    // the program runs.
    bool sawDisplaySettings = false;
    Outcome sent = run({kWineRun, kBuild + "/zq4.com", "send", "-p", "1", "-a", "5", "-m", "20",
                        "-b", "4", "-t", "HOLD"},
                       [&] { sawDisplaySettings = sawDisplaySettings || atDisplaySettings(); });
    EXPECT_EQ(sent.exitCode, 0) << sent.err.toStdString();
    // Nothing on standard error: no warning that no window could be asked (a module not found).
    EXPECT_EQ(sent.err, "");
    EXPECT_EQ(line.readFromLine(kFrameLength, 10s).toHex(' '), kHold);
    EXPECT_TRUE(sawDisplaySettings);

    sent = run({kWineRun, kBuild + "/zq4.com", "send", "-p", "com1", "-a", "all", "-m", "0", "-b",
                "1", "-t", "Caf\u00E9"});
    EXPECT_EQ(sent.exitCode, 0) << sent.err.toStdString();
    EXPECT_EQ(line.readFromLine(kFrameLength, 10s).toHex(' '),
              "20 20 20 20 43 61 66 e9 20 20 20 20 20 03 00 80 ff fe");

    sent = run({kWineRun, kBuild + "/zq4.com", "send", "-p", "7", "-m", "0", "-b", "1"});
    EXPECT_EQ(sent.exitCode, 1);
    EXPECT_TRUE(sent.err.contains("COM7") && sent.out.isEmpty()) << sent.err.toStdString();

    const Outcome version = run({kWineRun, "cmd", "/c", "zq4 --version"}, {}, kBuild);
    EXPECT_TRUE(version.out.startsWith("zq4 " ZQ4_VERSION "\n")) << version.out.toStdString();
    // A batch file, as a scheduled task runs one, gets zq4.com's exit status.
    QFile batch(kBuild + "/zq4-usage.bat");
    ASSERT_TRUE(batch.open(QIODevice::WriteOnly) &&
                batch.write("@zq4 send --no-such-option\r\n@exit /b %ERRORLEVEL%\r\n") > 0);
    batch.close();
    const Outcome usage = run({kWineRun, "cmd", "/c", "zq4-usage.bat"}, {}, kBuild);
    EXPECT_EQ(usage.exitCode, 2) << usage.err.toStdString();
    EXPECT_TRUE(usage.err.contains("no-such-option")) << usage.err.toStdString();
    EXPECT_TRUE(line.readFromLine(1, 200ms).isEmpty());
}

// Ctrl+C while the frame waits on a full line (a display that reads nothing) ends zq4.com's send
// at once, the port closed and Ctrl+C named. Wine gives a SIGINT to its process as Ctrl+C.
TEST_F(WineTest, CtrlCEndsACommandLineSendThatWaitsOnTheLine) {
    ASSERT_GT(line.fillLine(4096), 0);
    QProcess send;
    inUtf8(send);
    send.start(kWineRun, {kBuild + "/zq4.com", "send", "-p", "1", "-m", "0", "-b", "1"});
    // The line at the display's settings tells that the port is open.
    (void)QTest::qWaitFor(
        [&] { return atDisplaySettings() || send.state() == QProcess::NotRunning; }, 30000);
    // An ended program's id is 0, which would signal this whole process group.
    ASSERT_EQ(send.state(), QProcess::Running) << send.readAllStandardError().toStdString();
    ::kill(static_cast<pid_t>(send.processId()), SIGINT);
    ASSERT_TRUE(send.waitForFinished(10000));
    EXPECT_EQ(send.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(send.exitCode(), 1);
    EXPECT_EQ(QString::fromUtf8(send.readAllStandardError()).remove('\r').toStdString(),
              "zq4 send: Com1: (COM1): Ctrl+C came before the device took the last 18 bytes: "
              "they were discarded when the port closed\n");
    EXPECT_FALSE(atDisplaySettings());
}

// The window opens the stored port before it shows, SEND writes the frame of the restored
// choices, and the choices land in %APPDATA%\ZQ4\ZQ4.ini.
TEST_F(WineTest, WindowOpensTheStoredPortSendsAndStoresTheChoices) {
    const QString ini = start("[Startup]\r\nDakcomm=1\r\nAddr=5\r\nMessage=20\r\nCustom=HOLD\r\n");
    const QString window = windowNamed("ZQ4 Display Control Panel");
    ASSERT_FALSE(window.isEmpty());
    EXPECT_TRUE(atDisplaySettings());
    // SEND's middle: Wine draws the window's frame itself, around the panel's 296 x 281 pixels.
    const QString geometry = run({"xdotool", "getwindowgeometry", "--shell", window}).out;
    const int width = geometry.section("WIDTH=", 1).section('\n', 0, 0).toInt();
    const int height = geometry.section("HEIGHT=", 1).section('\n', 0, 0).toInt();
    const int edge = (width - 296) / 2;
    run({"xdotool", "mousemove", "--window", window, QString::number(edge + 252),
         QString::number(height - edge - (281 - 248)), "click", "1"});
    EXPECT_EQ(line.readFromLine(kFrameLength, 10s).toHex(' '), kHold);
    // The brightness, missing from the file, is stored by SEND with the rest.
    const auto stored = [&] {
        QFile file(ini);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<no file>");
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return stored().contains("Brt=0"); }, 10000))
        << stored().toStdString();
    if (const QString shot = qEnvironmentVariable("ZQ4_SCREENSHOT"); !shot.isEmpty()) {
        run({"import", "-window", window, shot});
    }
    close();
}

// A stored port that cannot be opened: the warning box, before the window, names the port and
// its device (Ctrl+C copies a box's text on Windows); once it is answered the window shows.
TEST_F(WineTest, WindowWarnsOfAStoredPortThatCannotBeOpened) {
    start("[Startup]\r\nDakcomm=7\r\n");
    const QString box = windowNamed("^ZQ4$");
    ASSERT_FALSE(box.isEmpty());
    run({"xdotool", "windowfocus", "--sync", box, "key", "ctrl+c"});
    const auto copied = [] { return run({"xclip", "-o", "-selection", "clipboard"}).out; };
    EXPECT_TRUE(QTest::qWaitFor([&] { return copied().contains("Com7: (COM7)"); }, 10000))
        << copied().toStdString();
    run({"xdotool", "windowfocus", "--sync", box, "key", "Return"});
    EXPECT_FALSE(windowNamed("ZQ4 Display Control Panel").isEmpty());
    close();
}

// The subsystem a Windows program's header names, as "(Windows GUI)": Wine opens no console
// either way, so only the header tells a window program from a console one.
std::string subsystem(const QString& program) {
    const QString header = run({"x86_64-w64-mingw32-objdump", "-p", program}).out;
    return header.section(QRegularExpression(R"(\nSubsystem\s+\S+\s+)"), 1)
        .section('\n', 0, 0)
        .toStdString();
}

// Starting zq4.exe opens no console beside the window; zq4.com, the command line, runs in the
// console it was started from.
TEST(WindowsPrograms, TheWindowIsAWindowProgramAndTheCommandLineAConsoleOne) {
    if (kBuild.isEmpty()) {
        GTEST_SKIP() << "ZQ4_WINDOWS_BUILD names no Windows build: scripts/windows runs these";
    }
    EXPECT_EQ(subsystem(kBuild + "/zq4.exe"), "(Windows GUI)");
    EXPECT_EQ(subsystem(kBuild + "/zq4.com"), "(Windows CUI)");
}

// The installer: a silent install into Program Files with a Start-menu entry and an uninstaller
// that Windows lists; the installed program runs from there alone (no build's DLLs on the path);
// the silent uninstall removes every file it installed.
TEST(Installer, InstallsRunsAndUninstallsSilently) {
    const QString installer = qEnvironmentVariable("ZQ4_INSTALLER");
    if (installer.isEmpty() || kBuild.isEmpty()) {
        GTEST_SKIP() << "ZQ4_INSTALLER names no installer: scripts/windows runs this";
    }
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY")) << "no X server: scripts/windows has one";
    const QString programs = unixPath("C:\\Program Files\\ZQ4"),
                  zq4 = "C:\\Program Files\\ZQ4\\zq4";
    ASSERT_FALSE(programs.isEmpty());
    ASSERT_FALSE(QFileInfo::exists(programs)) << "installed already";
    ASSERT_EQ(run({"wine", installer, "/S"}).exitCode, 0);
    const QStringList installed = filesUnder(programs);
    for (const char* file :
         {"zq4.exe", "zq4.com", "zq4-lineshare.dll", "Qt6Network.dll", "Qt6Core.dll",
          "platforms/qwindows.dll", "styles/qwindowsvistastyle.dll", "libstdc++-6.dll",
          "LICENSE.txt", "licenses/Qt/LGPL-3.0-only.txt", "Uninstall.exe"}) {
        EXPECT_TRUE(installed.contains(file))
            << file << " not in " << installed.join(' ').toStdString();
    }
    const QString startMenu = unixPath(
        "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\ZQ4 Display Control Panel");
    EXPECT_TRUE(QFileInfo::exists(startMenu + "/ZQ4 Display Control Panel.lnk"));
    const QStringList uninstallKey = {
        "wine", "reg", "query",
        "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ZQ4"};
    EXPECT_EQ(run(uninstallKey).exitCode, 0);

    const Outcome version = run({"wine", zq4 + ".com", "--version"});
    EXPECT_EQ(version.exitCode, 0) << version.err.toStdString();
    EXPECT_EQ(version.out.section('\n', 0, 0), "zq4 " ZQ4_VERSION);
    EXPECT_EQ(run({"wine", zq4 + ".com", "messages"}).out.count('\n'), 164);
    // The window program loads Qt's libraries at its start and the platform plugin with its
    // window: its warning about COM1, which leads nowhere here, shows that both are there.
    QProcess panel;
    inUtf8(panel);
    panel.start("wine", {zq4 + ".exe"});
    EXPECT_FALSE(windowNamed("^ZQ4$").isEmpty()) << panel.readAllStandardError().toStdString();
    (void)run({"wine", "taskkill", "/f", "/im", "zq4.exe"});
    panel.waitForFinished(10000);

    // The uninstaller copies itself away and returns at once: its work, which ends with the Start
    // menu and the key, is waited for.
    (void)run({"wine", "C:\\Program Files\\ZQ4\\Uninstall.exe", "/S"});
    (void)QTest::qWaitFor(
        [&] {
            return !QFileInfo::exists(programs) && !QFileInfo::exists(startMenu) &&
                   run(uninstallKey).exitCode != 0;
        },
        60000);
    EXPECT_EQ(filesUnder(programs).join(' ').toStdString(), "");
    EXPECT_FALSE(QFileInfo::exists(startMenu));
    EXPECT_NE(run(uninstallKey).exitCode, 0);
}

} // namespace
} // namespace zq4
