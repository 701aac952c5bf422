#include "protocol/frame.h"
#include "system/pseudoterminal.h"

#include <QtCore>

#include <gtest/gtest.h>

#include <chrono>

namespace zq4 {
namespace {

using namespace std::chrono_literals;

// The Windows build's programs as Windows runs them, under Wine on this machine: scripts/windows
// runs these checks with ZQ4_WINDOWS_BUILD naming the Windows build folder and WINEPREFIX its
// prepared Wine prefix, whose COM1 leads through the link <build>/com1 to a pseudo-terminal that
// each check points it at. ZQ4_INSTALLER names the installer, for its own check.

struct Outcome {
    bool finished = false;
    int exitCode = -1;
    QString out;
    QString err;
};

QString windowsBuild() {
    return qEnvironmentVariable("ZQ4_WINDOWS_BUILD");
}

QProcessEnvironment wineEnvironment(const QString& display = {}) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Wine turns the command line into Windows' UTF-16 by the locale's character set.
    environment.insert("LC_ALL", "C.UTF-8");
    if (!display.isEmpty()) {
        environment.insert("DISPLAY", display);
    }
    return environment;
}

// A program of the Windows build under Wine (its DLLs found where they were built), or with
// plain Wine an installed one, to its end. While it runs, `watch` is called every millisecond.
Outcome run(const QStringList& command, bool fromBuild = true, const QString& workingFolder = {},
            const std::function<void()>& watch = {}, const QString& display = {}) {
    QProcess process;
    process.setProcessEnvironment(wineEnvironment(display));
    process.setWorkingDirectory(workingFolder);
    process.start(fromBuild ? windowsBuild() + "/wine-run" : QStringLiteral("wine"), command);
    Outcome result;
    const QDeadlineTimer deadline(60s);
    while (!(result.finished = process.waitForFinished(1)) && !deadline.hasExpired()) {
        if (watch) {
            watch();
        }
    }
    result.exitCode = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput()).remove('\r');
    result.err = QString::fromUtf8(process.readAllStandardError()).remove('\r');
    return result;
}

QString program(const char* name) {
    return windowsBuild() + "/" + name;
}

// A Windows path of the prefix as this machine names it.
QString unixPath(const QString& windowsPath) {
    QProcess winepath;
    winepath.setProcessEnvironment(wineEnvironment());
    winepath.start("winepath", {"-u", windowsPath});
    winepath.waitForFinished(30000);
    return QString::fromUtf8(winepath.readAllStandardOutput()).trimmed();
}

// The 18 bytes of a frame whose text field is already centred.
QByteArray frame(const QByteArray& textField, int brightness, int message, int address) {
    return textField + char(brightness) + char(message) + char(address) +
           QByteArray::fromHex("fffe");
}

struct WineTest : ::testing::Test {
    void SetUp() override {
        if (windowsBuild().isEmpty()) {
            GTEST_SKIP() << "ZQ4_WINDOWS_BUILD names no Windows build: scripts/windows runs these";
        }
        ASSERT_TRUE(line.valid()) << line.errorString().toStdString();
        // COM1 leads to this test's line; the line starts out at other settings than the
        // display's, so that the program must set them.
        const QString link = windowsBuild() + "/com1";
        QFile::remove(link);
        ASSERT_TRUE(QFile::link(line.devicePath(), link));
        termios settings = line.lineSettings();
        cfsetispeed(&settings, B9600);
        cfsetospeed(&settings, B9600);
        settings.c_cflag = (settings.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB;
        line.setLineSettings(settings);
    }
    void TearDown() override { QFile::remove(windowsBuild() + "/com1"); }

    // Whether the line is at 1200 baud, 8 data bits, no parity, 1 stop bit, no flow control.
    bool atDisplaySettings() const {
        const termios settings = line.lineSettings();
        return cfgetospeed(&settings) == B1200 && (settings.c_cflag & CSIZE) == CS8 &&
               (settings.c_cflag & (PARENB | CSTOPB | CRTSCTS)) == 0 &&
               (settings.c_iflag & (IXON | IXOFF)) == 0;
    }

    PseudoTerminal line;
};

// zq4.com, the console entry point: exact frames through COM1, the text in the ANSI code page
// (1252 under Wine), a port that leads nowhere named in its failure, and cmd taking zq4.com for
// "zq4" with its exit status.
TEST_F(WineTest, CommandLineSendsExactFramesThroughComPorts) {
    // Wine gives the line its earlier settings back when the port closes: they are watched while
    // the program runs.
    bool sawDisplaySettings = false;
    Outcome sent = run({program("zq4.com"), "send", "-p", "1", "-a", "5", "-m", "20", "-b", "4",
                        "-t", "HOLD"},
                       true, {}, [&] { sawDisplaySettings = sawDisplaySettings || atDisplaySettings(); });
    ASSERT_TRUE(sent.finished);
    EXPECT_EQ(sent.exitCode, 0) << sent.err.toStdString();
    // Nothing on standard error: no warning that no window could be asked (a module not found).
    EXPECT_EQ(sent.err, "");
    EXPECT_EQ(line.readFromLine(kFrameLength, 10s).toHex(' '),
              frame("    HOLD     ", 0, 20, 5).toHex(' '));
    EXPECT_TRUE(sawDisplaySettings);

    sent = run({program("zq4.com"), "send", "-p", "com1", "-a", "all", "-m", "0", "-b", "1", "-t",
                "Caf\u00E9"});
    EXPECT_EQ(sent.exitCode, 0) << sent.err.toStdString();
    EXPECT_EQ(line.readFromLine(kFrameLength, 10s).toHex(' '),
              frame("    Caf\xE9     ", 3, 0, 128).toHex(' '));

    sent = run({program("zq4.com"), "send", "-p", "7", "-m", "0", "-b", "1"});
    EXPECT_EQ(sent.exitCode, 1);
    EXPECT_TRUE(sent.err.contains("COM7")) << sent.err.toStdString();
    EXPECT_TRUE(sent.out.isEmpty());

    const Outcome version = run({"cmd", "/c", "zq4 --version"}, true, windowsBuild());
    EXPECT_TRUE(version.out.startsWith("zq4 " ZQ4_VERSION "\n")) << version.out.toStdString();
    // A batch file, as a scheduled task runs one, gets zq4.com's exit status.
    QFile batch(windowsBuild() + "/zq4-usage.bat");
    ASSERT_TRUE(batch.open(QIODevice::WriteOnly) &&
                batch.write("@zq4 send --no-such-option\r\n@exit /b %ERRORLEVEL%\r\n") > 0);
    batch.close();
    const Outcome usage = run({"cmd", "/c", "zq4-usage.bat"}, true, windowsBuild());
    EXPECT_EQ(usage.exitCode, 2) << usage.err.toStdString();
    EXPECT_TRUE(usage.err.contains("no-such-option")) << usage.err.toStdString();
    EXPECT_TRUE(line.readFromLine(1, 200ms).isEmpty());
}

// The X display of the windows: the one scripts/windows runs Wine on (Wine keeps its desktop on
// the display of its first window), else a virtual X server of its own, on the first free display
// from :90.
struct VirtualScreen {
    VirtualScreen() : name(qEnvironmentVariable("DISPLAY")) {
        for (int number = 90; number < 130 && name.isEmpty(); ++number) {
            if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number))) {
                continue;
            }
            server.start("Xvfb", {QStringLiteral(":%1").arg(number), "-screen", "0", "800x600x24",
                                  "-nolisten", "tcp"});
            server.waitForStarted();
            const QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(number);
            QDeadlineTimer deadline(10s);
            while (!QFile::exists(socket) && server.state() == QProcess::Running &&
                   !deadline.hasExpired()) {
                QThread::msleep(50);
            }
            if (QFile::exists(socket) && server.state() == QProcess::Running) {
                name = QStringLiteral(":%1").arg(number);
            } else {
                server.kill();
                server.waitForFinished();
            }
        }
    }
    ~VirtualScreen() {
        if (server.state() != QProcess::NotRunning) {
            server.terminate();
            server.waitForFinished(5000);
        }
    }

    // Runs an X tool on this screen; its standard output.
    QString tool(const QString& program, const QStringList& arguments) const {
        QProcess process;
        process.setProcessEnvironment(wineEnvironment(name));
        process.start(program, arguments);
        process.waitForFinished(30000);
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    }
    // The id of the first window of that title, once it shows (at most 30 seconds).
    QString window(const QString& titlePattern) const {
        return tool("xdotool", {"search", "--sync", "--onlyvisible", "--name", titlePattern})
            .section('\n', 0, 0);
    }

    QProcess server;
    QString name;
};

struct WindowTest : WineTest {
    void SetUp() override {
        WineTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        ASSERT_FALSE(screen.name.isEmpty()) << "no virtual X server could start";
        const Outcome appData = run({"cmd", "/c", "echo %APPDATA%"});
        ini = unixPath(appData.out.trimmed() + "\\ZQ4\\ZQ4.ini");
        ASSERT_FALSE(ini.isEmpty());
        QDir().mkpath(QFileInfo(ini).path());
    }
    void TearDown() override {
        if (panel.state() != QProcess::NotRunning) {
            (void)run({"taskkill", "/f", "/im", "zq4.exe"});
            panel.waitForFinished(10000);
        }
        WineTest::TearDown();
    }

    void store(const QByteArray& text) {
        QFile file(ini);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
    }
    QByteArray stored() {
        QFile file(ini);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<no file>");
    }
    void start() {
        panel.setProcessEnvironment(wineEnvironment(screen.name));
        panel.start(windowsBuild() + "/wine-run", {program("zq4.exe")});
        ASSERT_TRUE(panel.waitForStarted());
    }
    // Closes the window as its close button does, and waits for the program's end.
    void close() {
        (void)run({"taskkill", "/im", "zq4.exe"});
        ASSERT_TRUE(panel.waitForFinished(20000));
        EXPECT_EQ(panel.exitCode(), 0) << panel.readAllStandardError().toStdString();
    }

    VirtualScreen screen;
    QString ini;
    QProcess panel;
};

// The window opens the stored port before it shows, SEND writes the frame of the restored
// choices, and the choices land in %APPDATA%\ZQ4\ZQ4.ini.
TEST_F(WindowTest, OpensTheStoredPortSendsAndStoresTheChoices) {
    store("[Startup]\r\nDakcomm=1\r\nAddr=5\r\nMessage=20\r\nCustom=HOLD\r\n");
    start();
    const QString window = screen.window("ZQ4 Display Control Panel");
    ASSERT_FALSE(window.isEmpty());
    EXPECT_TRUE(atDisplaySettings());
    // SEND's middle: Wine draws the window's frame itself, around the panel's 296 x 281 pixels.
    const QString geometry = screen.tool("xdotool", {"getwindowgeometry", "--shell", window});
    const int width = geometry.section("WIDTH=", 1).section('\n', 0, 0).toInt();
    const int height = geometry.section("HEIGHT=", 1).section('\n', 0, 0).toInt();
    const int edge = (width - 296) / 2;
    screen.tool("xdotool", {"mousemove", "--window", window, QString::number(edge + 252),
                            QString::number(height - edge - (281 - 248)), "click", "1"});
    EXPECT_EQ(line.readFromLine(kFrameLength, 10s).toHex(' '),
              frame("    HOLD     ", 0, 20, 5).toHex(' '));
    // The brightness, missing from the file, is stored by SEND with the rest.
    QDeadlineTimer deadline(10s);
    while (!stored().contains("Brt=0") && !deadline.hasExpired()) {
        QThread::msleep(100);
    }
    EXPECT_TRUE(stored().contains("Brt=0")) << stored().toStdString();
    const QString shot = qEnvironmentVariable("ZQ4_SCREENSHOT");
    if (!shot.isEmpty()) {
        screen.tool("import", {"-window", window, shot});
    }
    close();
}

// A stored port that cannot be opened: the warning box, before the window, names the port and
// its device (Ctrl+C copies a box's text on Windows).
TEST_F(WindowTest, WarnsOfAStoredPortThatCannotBeOpened) {
    store("[Startup]\r\nDakcomm=7\r\n");
    start();
    const QString box = screen.window("^ZQ4$");
    ASSERT_FALSE(box.isEmpty());
    screen.tool("xdotool", {"windowfocus", "--sync", box, "key", "ctrl+c"});
    QString copied;
    QDeadlineTimer deadline(10s);
    while (!copied.contains("Com7:") && !deadline.hasExpired()) {
        copied = screen.tool("xclip", {"-o", "-selection", "clipboard"});
    }
    EXPECT_TRUE(copied.contains("Com7: (COM7)")) << copied.toStdString();
    screen.tool("xdotool", {"windowfocus", "--sync", box, "key", "Return"});
    EXPECT_FALSE(screen.window("ZQ4 Display Control Panel").isEmpty());
    close();
}

// The installer: a silent install into Program Files with a Start-menu entry and an uninstaller
// that Windows lists; the installed program runs from there alone (no build's DLLs on the path);
// the silent uninstall removes every file it installed.
TEST(Installer, InstallsRunsAndUninstallsSilently) {
    const QString installer = qEnvironmentVariable("ZQ4_INSTALLER");
    if (installer.isEmpty() || windowsBuild().isEmpty()) {
        GTEST_SKIP() << "ZQ4_INSTALLER names no installer: scripts/windows runs this";
    }
    const QString programs = unixPath("C:\\Program Files\\ZQ4");
    ASSERT_FALSE(programs.isEmpty());
    ASSERT_FALSE(QFileInfo::exists(programs)) << "installed already";
    // Every program here runs on one screen: Wine's desktop, started by the first program that
    // makes a window (the installer does), serves the later ones.
    VirtualScreen screen;
    ASSERT_FALSE(screen.name.isEmpty());
    const auto inPrefix = [&](const QStringList& command) {
        return run(command, false, {}, {}, screen.name);
    };

    const Outcome install = inPrefix({installer, "/S"});
    ASSERT_TRUE(install.finished);
    EXPECT_EQ(install.exitCode, 0);
    QStringList installed;
    for (QDirIterator it(programs, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        installed << QDir(programs).relativeFilePath(it.next());
    }
    for (const char* file : {"zq4.exe", "zq4.com", "zq4-lineshare.dll", "Qt6Network.dll",
                             "Qt6Core.dll", "platforms/qwindows.dll",
                             "styles/qwindowsvistastyle.dll", "libstdc++-6.dll", "LICENSE.txt",
                             "licenses/Qt/LGPL-3.0-only.txt", "Uninstall.exe"}) {
        EXPECT_TRUE(installed.contains(file)) << file << " not in " << installed.join(' ').toStdString();
    }
    const QString startMenu =
        unixPath("C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\ZQ4 Display Control Panel");
    EXPECT_TRUE(QFileInfo::exists(startMenu + "/ZQ4 Display Control Panel.lnk"));
    const QString uninstallKey = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ZQ4";
    EXPECT_EQ(inPrefix({"reg", "query", uninstallKey}).exitCode, 0);

    const Outcome version = inPrefix({"C:\\Program Files\\ZQ4\\zq4.com", "--version"});
    EXPECT_EQ(version.exitCode, 0) << version.err.toStdString();
    EXPECT_EQ(version.out.section('\n', 0, 0), "zq4 " ZQ4_VERSION);
    const Outcome messages = inPrefix({"C:\\Program Files\\ZQ4\\zq4.com", "messages"});
    EXPECT_EQ(messages.out.count('\n'), 164);
    // The window program loads Qt's libraries at its start and the platform plugin with its
    // window: its warning about COM1, which leads nowhere here, shows that both are there.
    {
        QProcess panel;
        panel.setProcessEnvironment(wineEnvironment(screen.name));
        panel.start("wine", {"C:\\Program Files\\ZQ4\\zq4.exe"});
        EXPECT_FALSE(screen.window("^ZQ4$").isEmpty()) << panel.readAllStandardError().toStdString();
        (void)inPrefix({"taskkill", "/f", "/im", "zq4.exe"});
        panel.waitForFinished(10000);
    }

    // The uninstaller copies itself away and returns at once: its work is waited for.
    (void)inPrefix({"C:\\Program Files\\ZQ4\\Uninstall.exe", "/S"});
    QDeadlineTimer deadline(60s);
    while (QFileInfo::exists(programs) && !deadline.hasExpired()) {
        QThread::msleep(200);
    }
    QStringList left;
    for (QDirIterator it(programs, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        left << it.next();
    }
    EXPECT_TRUE(left.isEmpty()) << left.join(' ').toStdString();
    EXPECT_FALSE(QFileInfo::exists(startMenu));
    EXPECT_NE(inPrefix({"reg", "query", uninstallKey}).exitCode, 0);
}

} // namespace
} // namespace zq4
