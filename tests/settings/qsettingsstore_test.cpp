#include "settings/keys.h"
#include "settings/qsettingsstore.h"

#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace zq4 {
namespace {

using Permissions = QFileDevice::Permissions;

constexpr int kProbeDeadlineMs = 60000;

struct ProbeRun {
    int exitCode = -1;
    QByteArray out;
    QString err;
};

// A store in a folder of its own; the probe process is pointed at the same folder.
class QSettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_home.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_home.path());
    }

    QString folderPath() const { return m_home.filePath(keys::kApplication); }
    QString iniPath() const { return folderPath() + QStringLiteral("/ZQ4.ini"); }

    void writeIni(const QByteArray& bytes) const {
        ASSERT_TRUE(QDir().mkpath(folderPath()));
        QFile file(iniPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    QByteArray readIni() const {
        QFile file(iniPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QString get(const QString& key, const QString& defaultValue) {
        return m_store.GetSetting(keys::kApplication, keys::kStartup, key, defaultValue);
    }
    Status put(const QString& key, const QString& value) {
        return m_store.PutSetting(keys::kApplication, keys::kStartup, key, value);
    }

    ProbeRun runProbe(const QStringList& args, const QByteArray& input = {}) const {
        QProcess probe;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.path());
        probe.setProcessEnvironment(environment);
        probe.start(QStringLiteral(ZQ4_SETTINGS_PROBE), args);
        if (!probe.waitForStarted(kProbeDeadlineMs)) {
            return {};
        }
        probe.write(input);
        probe.closeWriteChannel();
        if (!probe.waitForFinished(kProbeDeadlineMs) ||
            probe.exitStatus() != QProcess::NormalExit) {
            return {};
        }
        return {probe.exitCode(), probe.readAllStandardOutput(),
                QString::fromUtf8(probe.readAllStandardError())};
    }

    // The value as a new process reads it from the disk.
    QString getInNewProcess(const QString& section, const QString& key) const {
        const ProbeRun run =
            runProbe({QStringLiteral("get"), section, key, QStringLiteral("<absent>")});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        return QString::fromUtf8(run.out);
    }

    QTemporaryDir m_home;
    QSettingsStore m_store;
};

TEST_F(QSettingsStoreTest, EmptyStoreReadsEveryDefaultAndCreatesNothing) {
    const std::vector<std::pair<QString, QString>> defaults = {
        {keys::kDakcomm, "1"}, {keys::kAddr, "0"},  {keys::kBrt, "0"},
        {keys::kMessage, "0"}, {keys::kCustom, ""},
    };
    for (const auto& [key, defaultValue] : defaults) {
        EXPECT_EQ(get(key, defaultValue), defaultValue) << key.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(folderPath()));
}

TEST_F(QSettingsStoreTest, NumbersAreWrittenAsDecimalTextUnderStartup) {
    ASSERT_TRUE(put(keys::kDakcomm, "7"));
    ASSERT_TRUE(put(keys::kAddr, "128"));
    ASSERT_TRUE(put(keys::kBrt, "-1"));

    const QStringList lines = QString::fromUtf8(readIni()).split(u'\n');
    EXPECT_EQ(lines.first(), "[Startup]");
    EXPECT_TRUE(lines.contains("Dakcomm=7"));
    EXPECT_TRUE(lines.contains("Addr=128"));
    EXPECT_TRUE(lines.contains("Brt=-1"));
    EXPECT_EQ(getInNewProcess(keys::kStartup, keys::kBrt), "-1");
}

TEST_F(QSettingsStoreTest, WrittenTextIsReadBackExactlyByANewProcess) {
    const QStringList values = {
        "  AB  ",
        " ",
        "",
        "a,b",
        " a , b ",
        "\"quoted\"",
        "'single'",
        "back\\slash\\",
        "\\n is not a line break",
        "key=value",
        "semi;colon",
        "#hash",
        "@at",
        "@ByteArray(x)",
        "[Section]",
        "Zürich, \"Ost\"; x=y \\ z",
        QString::fromUtf8("Grüße ÄÖÜ ß €"),
        QString::fromUtf8("日本語"),
        QString::fromUtf8("\xF0\x9F\x98\x80 outside the basic plane"),
        "tab\there",
        "line\nbreak",
    };
    for (const QString& value : values) {
        SCOPED_TRACE(value.toStdString());
        ASSERT_TRUE(put(keys::kCustom, value));
        EXPECT_EQ(getInNewProcess(keys::kStartup, keys::kCustom), value);
        EXPECT_EQ(get(keys::kCustom, "<absent>"), value);
    }
}

TEST_F(QSettingsStoreTest, OneMegabyteCustomTextRoundTrips) {
    const QString pattern = QString::fromUtf8("Zürich, \"x\"; a=b \\ ");
    QString value;
    while (value.size() < (1 << 20)) {
        value += pattern;
    }
    value.truncate(1 << 20);

    ASSERT_TRUE(put(keys::kCustom, value));
    EXPECT_TRUE(getInNewProcess(keys::kStartup, keys::kCustom) == value);

    const ProbeRun run = runProbe({"put", keys::kStartup, keys::kCustom}, (value + "2").toUtf8());
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(get(keys::kCustom, "") == value + "2");
}

TEST_F(QSettingsStoreTest, PutReplacesTheValueAndKeepsTheOthers) {
    writeIni("[Ports]\nCom3=/dev/ttyUSB0\n\n[Startup]\nAddr=5\nCustom=old\n");

    ASSERT_TRUE(put(keys::kCustom, "new"));

    EXPECT_EQ(getInNewProcess(keys::kStartup, keys::kCustom), "new");
    EXPECT_EQ(getInNewProcess(keys::kStartup, keys::kAddr), "5");
    EXPECT_EQ(getInNewProcess(keys::kPorts, keys::portKey(3)), "/dev/ttyUSB0");
}

TEST_F(QSettingsStoreTest, HandWrittenValuesReadAsTheirText) {
    struct Case {
        QByteArray file;
        QString key;
        QString expected;
    };
    const std::vector<Case> cases = {
        {"[Startup]\nCustom=a,b\n", keys::kCustom, "a,b"},
        {"[Startup]\nCustom=a,b,\n", keys::kCustom, "a,b,"},
        {"[Startup]\nCustom=\"  AB  \"\n", keys::kCustom, "  AB  "},
        {"[Startup]\nCustom=\n", keys::kCustom, ""},
        {"[Startup]\nAddr = 12 \n", keys::kAddr, "12"},
        // Keys and sections are case-sensitive: these are not "Addr" under "Startup".
        {"[Startup]\naddr=5\nADDR=6\n", keys::kAddr, "<default>"},
        {"[startup]\nAddr=5\n", keys::kAddr, "<default>"},
        // Qt's typed values that are not text read as absent.
        {"[Startup]\nCustom=@Rect(1 2 3 4)\n", keys::kCustom, "<default>"},
        {"[Startup]\nCustom=@Variant(\\0\\0\\0\\x7f)\n", keys::kCustom, "<default>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        writeIni(c.file);
        EXPECT_EQ(getInNewProcess(keys::kStartup, c.key).replace("<absent>", "<default>"),
                  c.expected);
    }
}

TEST_F(QSettingsStoreTest, OnlyTheUsersOwnFileIsRead) {
    // Qt would otherwise also read an organisation-wide file beside the application's folder.
    QFile shared(m_home.filePath("ZQ4.ini"));
    ASSERT_TRUE(shared.open(QIODevice::WriteOnly));
    shared.write("[Startup]\nAddr=9\n");
    shared.close();

    EXPECT_EQ(get(keys::kAddr, "0"), "0");
}

// Files whose lines are, in part or whole, not settings.
std::vector<std::pair<const char*, QByteArray>> unreadableFiles() {
    std::mt19937 random(4);
    std::uniform_int_distribution<int> byte(0, 255);
    QByteArray binary;
    for (int i = 0; i < 4096; ++i) {
        binary.append(static_cast<char>(static_cast<std::uint8_t>(byte(random))));
    }
    return {
        {"text lines", "this is not\na settings file\n"},
        {"binary bytes", binary},
        {"zero bytes", QByteArray(64, '\0')},
        {"setting among garbage", "[Ports]\nCom3=/dev/ttyUSB0\nCom4 /dev/ttyUSB1\n"},
        {"hash comment", "# port map\n[Ports]\nCom3=/dev/ttyUSB0\n"},
    };
}

TEST_F(QSettingsStoreTest, UnreadableFileReadsAsDefaults) {
    for (const auto& [name, bytes] : unreadableFiles()) {
        SCOPED_TRACE(name);
        writeIni(bytes);
        EXPECT_EQ(getInNewProcess(keys::kStartup, keys::kDakcomm), "<absent>");
        EXPECT_EQ(getInNewProcess(keys::kStartup, keys::kCustom), "<absent>");
    }
    // The lines that are settings still count.
    writeIni("[Ports]\nCom3=/dev/ttyUSB0\nCom4 /dev/ttyUSB1\n");
    EXPECT_EQ(getInNewProcess(keys::kPorts, keys::portKey(3)), "/dev/ttyUSB0");
}

TEST_F(QSettingsStoreTest, UnreadableFileIsNotOverwritten) {
    // The same process may have read the file before, as start-up does before it stores the
    // port: the refusal must not depend on being the first to parse it.
    for (const bool readFirst : {false, true}) {
        for (const auto& [name, bytes] : unreadableFiles()) {
            SCOPED_TRACE(std::string(name) + (readFirst ? ", read first" : ""));
            writeIni(bytes);
            if (readFirst) {
                EXPECT_EQ(get(keys::kDakcomm, "1"), "1");
            }
            for (int attempt = 0; attempt < 2; ++attempt) {
                const Status status = put(keys::kDakcomm, "3");
                ASSERT_FALSE(status);
                EXPECT_TRUE(status.description().contains(iniPath()))
                    << status.description().toStdString();
            }
            EXPECT_EQ(readIni(), bytes);
        }
    }
}

TEST_F(QSettingsStoreTest, CorrectedFileIsWrittenAgain) {
    writeIni("[Ports]\nCom3 /dev/ttyUSB0\n");
    ASSERT_FALSE(put(keys::kDakcomm, "3"));

    // One character more: a file changed within the same millisecond is told by its size.
    writeIni("[Ports]\nCom3 =/dev/ttyUSB0\n");
    ASSERT_TRUE(put(keys::kDakcomm, "3"));
    EXPECT_EQ(getInNewProcess(keys::kStartup, keys::kDakcomm), "3");
    EXPECT_EQ(getInNewProcess(keys::kPorts, keys::portKey(3)), "/dev/ttyUSB0");
}

TEST_F(QSettingsStoreTest, PutThatCannotReachTheDiskFailsAndKeepsTheFile) {
    struct Case {
        const char* name;
        Permissions folder;
        Permissions file;
        QString reason;
    };
    const Permissions readOnly = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
    const Permissions readWrite =
        readOnly | QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    const Permissions traverse = QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
    const std::vector<Case> cases = {
        {"read-only folder", readOnly | traverse, readWrite,
         "its folder " + QDir::toNativeSeparators(folderPath()) + " is read-only"},
        {"read-only file", readWrite | traverse, readOnly, "the file is read-only"},
        {"unreadable file", readWrite | traverse, readWrite & ~readOnly, "the file cannot be read"},
    };
    const QByteArray old = "[Startup]\nAddr=5\n";
    // The probe may run as an unprivileged user, who must reach the store's folder.
    ASSERT_TRUE(QFile::setPermissions(m_home.path(), readOnly | traverse | QFile::WriteOwner));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeIni(old);
        ASSERT_TRUE(QFile::setPermissions(iniPath(), c.file));
        ASSERT_TRUE(QFile::setPermissions(folderPath(), c.folder));

        const ProbeRun run = runProbe({"--unprivileged", "put", keys::kStartup, keys::kAddr}, "7");

        ASSERT_TRUE(QFile::setPermissions(folderPath(), readWrite | traverse));
        ASSERT_TRUE(QFile::setPermissions(iniPath(), readWrite));
        EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
        EXPECT_EQ(run.err, "Cannot write the settings file " + QDir::toNativeSeparators(iniPath()) +
                               ": " + c.reason);
        EXPECT_EQ(readIni(), old);
        EXPECT_EQ(QDir(folderPath()).entryList(QDir::Files), QStringList{"ZQ4.ini"});
    }
}

} // namespace
} // namespace zq4
