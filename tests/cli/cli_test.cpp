#include "protocol/frame.h"
#include "protocol/vocabulary.h"
#include "system/pseudoterminal.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace zq4 {
namespace {

using namespace std::chrono_literals;

constexpr int kTimeoutMs = 15000;

// One run of the program. In stored and arguments, $LINE stands for the pseudo-terminal's path
// and $HOME for the test's folder.
struct Row {
    QString stored;        // the settings file's text; empty: there is no file
    QStringList arguments; // after the program's name
    int exitCode = 0;
    QByteArray sent;    // what reaches the far end of the line
    QString output;     // a text standard output holds; empty: it must be empty
    QString error = {}; // a text standard error holds; empty: it must be empty
};

QByteArray frame(const char* textField, const char* codes) {
    return QByteArray(textField) + QByteArray::fromHex(codes) + QByteArray::fromHex("fffe");
}

// The program as a shell starts it: no display at all, a settings folder of its own and a
// pseudo-terminal standing in for the display's line.
class CommandLineTest : public ::testing::Test {
protected:
    void check(const Row& row) {
        const auto fill = [this](QString text) {
            return text.replace("$LINE", line.devicePath()).replace("$HOME", home.path());
        };
        QStringList arguments;
        for (const QString& argument : row.arguments) {
            arguments.append(fill(argument));
        }
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const QString file = home.filePath("ZQ4/ZQ4.ini");
        QFile::remove(file);
        if (!row.stored.isEmpty()) {
            ASSERT_TRUE(QDir(home.path()).mkpath("ZQ4"));
            QFile out(file);
            ASSERT_TRUE(out.open(QIODevice::WriteOnly) && out.write(fill(row.stored).toUtf8()) > 0);
        }
        const QByteArray storedBefore = contents(file);

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            environment.remove(name);
        }
        environment.insert("XDG_CONFIG_HOME", home.path());
        QProcess zq4;
        zq4.setProcessEnvironment(environment);
        zq4.start(ZQ4_PROGRAM, arguments);
        ASSERT_TRUE(zq4.waitForFinished(kTimeoutMs));
        const QString output = QString::fromUtf8(zq4.readAllStandardOutput());
        const QString error = QString::fromUtf8(zq4.readAllStandardError());

        EXPECT_EQ(zq4.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(zq4.exitCode(), row.exitCode) << error.toStdString();
        EXPECT_TRUE(row.output.isEmpty() ? output.isEmpty() : output.contains(fill(row.output)))
            << output.toStdString();
        EXPECT_TRUE(row.error.isEmpty() ? error.isEmpty() : error.contains(fill(row.error)))
            << error.toStdString();
        EXPECT_EQ(line.readFromLine(kFrameLength, row.sent.isEmpty() ? 100ms : 5s)
                      .toHex(' ')
                      .toStdString(),
                  row.sent.toHex(' ').toStdString());
        EXPECT_EQ(contents(file).toStdString(), storedBefore.toStdString())
            << "the settings file is never written";
    }

    static QByteArray contents(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(no file)");
    }

    QTemporaryDir home;
    PseudoTerminal line;
};

TEST_F(CommandLineTest, SendWritesTheFrameOfItsOptionsAndTheStoredChoices) {
    const QString storedChoices = "[Ports]\nCom3=$LINE\n[Startup]\nDakcomm=3\nAddr=127\nBrt=3\n"
                                  "Message=129\nCustom=T-10\n";
    const Row rows[] = {
        {{},
         {"send", "-d", "$LINE", "-a", "5", "-b", "4", "-m", "20", "-t", "HOLD"},
         0,
         frame("    HOLD     ", "001405"),
         {}},
        {{},
         {"send", "--device=$LINE", "--address", "all", "--brightness", "1", "--message",
          "utc of t-0", "--text", ""},
         0,
         frame("             ", "038280"),
         {}},
        // é and € in the display's code page; Com3 reaches the line through the settings' map.
        {"[Ports]\nCom3=$LINE\n",
         {"send", "-p", "com3:", "-m163", "-b", "2", "-t", "é€"},
         0,
         QByteArray(5, ' ') + QByteArray::fromHex("e980") + QByteArray(6, ' ') +
             QByteArray::fromHex("02a300fffe"),
         {}},
        {storedChoices, {"send"}, 0, frame("    T-10     ", "03817f"), {}},
        {storedChoices,
         {"send", "--port", "Com3", "--text", "HOLD", "-v"},
         0,
         frame("    HOLD     ", "03817f"),
         R"(address 127  brightness 1  message "129 (65)  UTC"  text "    HOLD     ")"},
        // Stored values the window would not take fall back to the defaults; a long text is cut.
        {"[Ports]\nCom1=$LINE\n[Startup]\nDakcomm=x\nAddr=200\nBrt=4\nMessage=-5\n"
         "Custom=ABCDEFGHIJKLMNOP\n",
         {"send"},
         0,
         frame("ABCDEFGHIJKLM", "000000"),
         {}},
        {storedChoices,
         {"send", "--dry-run", "-a", "ALL"},
         0,
         {},
         "20 20 20 20 54 2D 31 30 20 20 20 20 20 03 81 80 FF FE\n"},
    };
    for (const Row& row : rows) {
        check(row);
    }
}

// Every row would send without its fault: Com1 is the line and every stored choice is valid.
TEST_F(CommandLineTest, UsageErrorsAndInvalidValuesExitTwoAndWriteNothing) {
    const QString ports = "[Ports]\nCom1=$LINE\n";
    const std::pair<QStringList, QString> faults[] = {
        {{"send", "-p", "0"}, R"(--port "0")"},
        {{"send", "--port", "Com10"}, R"(--port "Com10")"},
        {{"send", "-p", "1", "-d", "$LINE"}, "--port and --device"},
        {{"send", "-d", ""}, R"(--device "")"},
        {{"send", "-a", "128"}, R"(--address "128")"},
        {{"send", "-a", "-1"}, R"(--address "-1")"},
        {{"send", "-a", "al"}, R"(--address "al")"},
        {{"send", "-m", "164"}, R"(--message "164")"},
        {{"send", "-m", "no such name"}, R"(--message "no such name")"},
        {{"send", "-m", "UTC"}, R"("001  UTC", "129 (65)  UTC")"},
        {{"send", "-b", "0"}, R"(--brightness "0")"},
        {{"send", "-b", "5"}, R"(--brightness "5")"},
        {{"send", "-t", "ABCDEFGHIJKLMN"}, "14 characters"},
        {{"send", "-t", "ÿ"}, "U+00FF"},
        {{"send", "-t", "Ω"}, "U+03A9"},
        {{"send", "-t", "A\tB"}, "U+0009"},
        {{"send", "--bogus"}, "bogus"},
        {{"send", "-p"}, "-p"},
        {{"send", "now"}, R"("now")"},
        {{"sned"}, R"("sned")"},
        {{"messages", "all"}, R"("all")"},
    };
    for (const auto& [arguments, error] : faults) {
        check({ports, arguments, 2, {}, {}, error});
    }
    // "None selected" left in the store gives no code segment, so no frame.
    const std::pair<QString, QString> noneSelected[] = {
        {"Brt=-1", "--brightness"}, {"Message=-1", "--message"}, {"Dakcomm=0", "--port"}};
    for (const auto& [stored, error] : noneSelected) {
        check({ports + "[Startup]\n" + stored + '\n', {"send"}, 2, {}, {}, error});
    }
}

TEST_F(CommandLineTest, PortOrDeviceThatCannotBeUsedExitsOneNamingIt) {
    check({{}, {"send", "-d", "$HOME/no-such-line"}, 1, {}, {}, "$HOME/no-such-line: "});
    check({"[Ports]\nCom4=$HOME/no-such-line\n",
           {"send", "-p", "4"},
           1,
           {},
           {},
           "Com4: ($HOME/no-such-line): "});
}

TEST_F(CommandLineTest, HelpVersionAndMessagesNeedNoDisplayNorSettings) {
    const QString version = QStringLiteral("zq4 " ZQ4_VERSION "\n");
    const Row rows[] = {
        {{}, {"--help"}, 0, {}, "zq4 send [options]"},
        {{}, {"-h"}, 0, {}, "--dry-run"},
        {{}, {"send", "--help"}, 0, {}, "--brightness 1..4"},
        {{}, {"--version"}, 0, {}, version},
        {"[Startup]\nMessage=5\n", {"messages"}, 0, {}, MessageLabels().join('\n') + '\n'},
    };
    for (const Row& row : rows) {
        check(row);
    }
    QProcess messages;
    messages.start(ZQ4_PROGRAM, {"messages"});
    ASSERT_TRUE(messages.waitForFinished(kTimeoutMs));
    EXPECT_EQ(messages.readAllStandardOutput().count('\n'), kMessageCount);
}

} // namespace
} // namespace zq4
