#include "serial/linelock.h"
#include "system/pseudoterminal.h"

#include <QtCore>
#include <QtTest>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>

namespace zq4 {
namespace {

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
