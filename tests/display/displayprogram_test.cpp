#include "display/pseudoterminal.h"
#include "panel/panel.h"
#include "panel/panelvalues.h"
#include "serial/commselection.h"
#include "serial/qserialportadapter.h"
#include "settings/keys.h"
#include "tests/common/fakes.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <initializer_list>
#include <memory>

#include <unistd.h>

namespace zq4 {
namespace {

using testing::MemoryStore;
using testing::RecordingFeedback;

constexpr int kTimeoutMs = 15000;

// zq4-display running as a process of its own, its output read line by line.
class DisplayProgram {
public:
    explicit DisplayProgram(const QStringList& arguments) {
        m_process.setProgram(QStringLiteral(ZQ4_DISPLAY_PROGRAM));
        m_process.setArguments(arguments);
        m_process.start();
    }
    ~DisplayProgram() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(kTimeoutMs);
        }
    }

    // The next output line that contains the text, waiting for it up to the deadline; an empty
    // text when it did not come.
    QString waitForLine(const QString& text) {
        const QDeadlineTimer deadline(kTimeoutMs);
        for (;;) {
            readLines();
            while (m_next < m_lines.size()) {
                const QString& line = m_lines.at(m_next++);
                if (line.contains(text)) {
                    return line;
                }
            }
            if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning) {
                return QString();
            }
            m_process.waitForReadyRead(
                static_cast<int>(qMin<qint64>(deadline.remainingTime(), 100)));
        }
    }

    // The pseudo-terminal the program announced.
    QString devicePath() {
        static const QRegularExpression announcement(QStringLiteral("virtual display on (\\S+)$"));
        return announcement.match(waitForLine(QStringLiteral("virtual display on "))).captured(1);
    }

    // Sends the signal and waits for the program to end; false when it did not.
    bool stop(int signalNumber) {
        ::kill(static_cast<pid_t>(m_process.processId()), signalNumber);
        return m_process.waitForFinished(kTimeoutMs);
    }

    bool finish() { return m_process.waitForFinished(kTimeoutMs); }
    int exitCode() const { return m_process.exitCode(); }
    QProcess::ExitStatus exitStatus() const { return m_process.exitStatus(); }
    QString errorOutput() { return QString::fromUtf8(m_process.readAllStandardError()); }
    QStringList lines() {
        readLines();
        return m_lines;
    }

private:
    void readLines() {
        while (m_process.canReadLine()) {
            m_lines.append(QString::fromUtf8(m_process.readLine()).chopped(1));
        }
        // What is left once the program has ended is its last line without a line break.
        if (m_process.state() == QProcess::NotRunning && m_process.bytesAvailable() > 0) {
            m_lines.append(QString::fromUtf8(m_process.readAll()));
        }
    }

    QProcess m_process;
    QStringList m_lines;
    qsizetype m_next = 0;
};

// The panel routines with their real port, as the zq4 program runs them.
struct PanelSession {
    explicit PanelSession(const QString& device) {
        store.set(keys::kPorts, keys::portKey(1), device);
        panel.Form_Load();
    }

    void send(int brightness, int message, int address, const QString& text) {
        values.setBrtVal(brightness);
        values.setMessage(message);
        panel.setVScroll1(address);
        values.setText1(text);
        panel.SendButton_Click();
    }

    MemoryStore store;
    RecordingFeedback feedback;
    QSerialPortAdapter port{store};
    CommSelection commSelection{port, store, feedback};
    PlainPanelValues values;
    Panel panel{values, commSelection, store, feedback};
};

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray result;
    for (const int value : values) {
        result.append(static_cast<char>(static_cast<std::uint8_t>(value)));
    }
    return result;
}

TEST(DisplayProgram, AnnouncesItsDeviceAndTheSettingsLinesThatReachIt) {
    DisplayProgram display({});
    const QString device = display.devicePath();
    ASSERT_TRUE(device.startsWith(QStringLiteral("/dev/"))) << device.toStdString();

    const QString settingsFile =
        QDir(qEnvironmentVariable("XDG_CONFIG_HOME")).filePath(QStringLiteral("ZQ4/ZQ4.ini"));
    EXPECT_FALSE(display.waitForLine(settingsFile).isEmpty());
    EXPECT_EQ(display.waitForLine(QStringLiteral("[")), QStringLiteral("[Ports]"));
    EXPECT_EQ(display.waitForLine(QStringLiteral("=")), QStringLiteral("Com1=") + device);
}

TEST(DisplayProgram, ShowsWhatThePanelSendsAndSummarisesOnInterrupt) {
    DisplayProgram display({});
    const QString device = display.devicePath();
    ASSERT_FALSE(device.isEmpty());

    {
        PanelSession session(device);
        ASSERT_TRUE(session.feedback.shown.isEmpty())
            << session.feedback.shown.join('\n').toStdString();
        session.send(0, 20, 5, QStringLiteral("HOLD"));
        EXPECT_TRUE(
            display
                .waitForLine(QStringLiteral("  address 5  brightness 4  message \"020  Time "
                                            "In Hold \"  text \"    HOLD     \""))
                .endsWith(QStringLiteral("\"    HOLD     \"")));
    }
    // A second run of the panel: the display kept listening while the port was closed.
    {
        PanelSession session(device);
        session.send(3, 129, 128, QStringLiteral("é€"));
        EXPECT_FALSE(display
                         .waitForLine(QStringLiteral("  address ALL  brightness 1  message "
                                                     "\"129 (65)  UTC\"  text \"     é€      \""))
                         .isEmpty());
    }

    ASSERT_TRUE(display.stop(SIGINT));
    EXPECT_EQ(display.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(display.exitCode(), 0);
    EXPECT_EQ(display.lines().last(),
              QStringLiteral("summary: 2 frames, 0 malformed frames, 0 skipped bytes"));
}

TEST(DisplayProgram, WatchesASerialDeviceAndReportsWhatIsNotAFrame) {
    PseudoTerminal line;
    ASSERT_TRUE(line.open()) << line.errorString().toStdString();
    DisplayProgram display({QStringLiteral("--hex"), line.devicePath()});
    ASSERT_FALSE(display.waitForLine(QStringLiteral("watching ") + line.devicePath()).isEmpty())
        << display.errorOutput().toStdString();

    const QByteArray frame = QByteArray(13, ' ') + bytes({0x03, 0x81, 0x80, 0xFF, 0xFE});
    const QByteArray sent =
        bytes({0x01, 0x02}) + frame + bytes({0x00, 0x14, 0x05, 0xFF, 0xFE}) + bytes({0x20, 0x41});
    ASSERT_EQ(::write(line.masterDescriptor(), sent.constData(), static_cast<size_t>(sent.size())),
              sent.size());

    EXPECT_FALSE(display.waitForLine(QStringLiteral("  skipped 2 bytes: 01 02")).isEmpty());
    EXPECT_TRUE(display.waitForLine(QStringLiteral("address ALL"))
                    .endsWith(QStringLiteral("  bytes: 20 20 20 20 20 20 20 20 20 20 20 20 20 "
                                             "03 81 80 FF FE")));
    EXPECT_FALSE(display
                     .waitForLine(QStringLiteral("  malformed frame (too short), 5 bytes: "
                                                 "00 14 05 FF FE"))
                     .isEmpty());

    ASSERT_TRUE(display.stop(SIGTERM));
    EXPECT_EQ(display.exitCode(), 0);
    const QStringList lines = display.lines();
    ASSERT_GE(lines.size(), 2);
    EXPECT_TRUE(lines.at(lines.size() - 2)
                    .endsWith(QStringLiteral("  unfinished frame at exit, 2 bytes: 20 41")));
    EXPECT_EQ(lines.last(),
              QStringLiteral("summary: 1 frames, 1 malformed frames, 4 skipped bytes"));
}

TEST(DisplayProgram, DeviceThatGoesAwayEndsTheProgramWithADeviceError) {
    auto line = std::make_unique<PseudoTerminal>();
    ASSERT_TRUE(line->open()) << line->errorString().toStdString();
    const QString device = line->devicePath();
    DisplayProgram display({device});
    ASSERT_FALSE(display.waitForLine(QStringLiteral("watching ") + device).isEmpty())
        << display.errorOutput().toStdString();

    line.reset();
    ASSERT_TRUE(display.finish());
    EXPECT_EQ(display.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(display.exitCode(), 1);
    EXPECT_TRUE(display.errorOutput().contains(device));
    EXPECT_TRUE(display.lines().last().startsWith(QStringLiteral("summary: ")));
}

TEST(DisplayProgram, CommandLineAnswersWithItsExitCodes) {
    struct Case {
        QStringList arguments;
        int exitCode;
        const char* output; // what standard output or standard error must contain
    };
    const QString missing = QDir::temp().filePath(QStringLiteral("zq4-no-such-device"));
    const Case cases[] = {
        {{QStringLiteral("--help")}, 0, "--hex"},
        {{QStringLiteral("--no-such-option")}, 2, "no-such-option"},
        {{QStringLiteral("/dev/a"), QStringLiteral("/dev/b")}, 2, "/dev/a /dev/b"},
        {{missing}, 1, "zq4-no-such-device"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        DisplayProgram display(c.arguments);
        ASSERT_TRUE(display.finish());
        EXPECT_EQ(display.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(display.exitCode(), c.exitCode);
        const QString output = display.lines().join('\n') + display.errorOutput();
        EXPECT_TRUE(output.contains(QLatin1String(c.output))) << output.toStdString();
    }
}

} // namespace
} // namespace zq4
