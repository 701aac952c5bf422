#include "settings/keys.h"
#include "settings/qsettingsstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <tuple>
#include <vector>

namespace zq4 {
namespace {

using namespace keys;

TEST(StoredIntegerTest, AcceptsOnlyPlainDecimalIntegersInRange) {
    // Range, what each of the texts reads as within it.
    const std::vector<std::tuple<int, int, std::optional<std::int16_t>, QStringList>> cases = {
        {-1, 128, -1, {"-1", "-01"}},
        {-1, 128, 0, {"0", "-0"}},
        {-1, 128, 128, {"128", "00000000000000000000128"}},
        {-99999, 99999, -32768, {"-32768"}},
        {-99999, 99999, 32767, {"32767"}},
        // Not a plain decimal integer, though Qt's own conversion takes some; out of range.
        {-1, 128, {}, {"", "-", "--1", "+1", " 1", "1 ", "- 1", "1.0", "1e2", "0x10", "12a"}},
        {-1, 128, {}, {"\uFF11", "129", "-2", "99999999999999999999", "-99999999999999999999"}},
        {-99999, 99999, {}, {"32768", "-32769", "65537", "18446744073709551617"}}};
    for (const auto& [minimum, maximum, expected, texts] : cases) {
        for (const QString& text : texts) {
            EXPECT_EQ(StoredInteger(text, minimum, maximum), expected)
                << '"' << text.toStdString() << "\" in [" << minimum << ", " << maximum << ']';
        }
    }
}

// A store in a folder of its own, which the probe, a new process that may run as another user,
// finds through XDG_CONFIG_HOME.
struct QSettingsStoreTest : ::testing::Test {
    void SetUp() override {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_home.path());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.path()));
        ASSERT_EQ(chmod(qPrintable(m_home.path()), 0711), 0);
    }
    void writeFile(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) &&
                    file.write(bytes) == bytes.size());
    }
    std::string readIni() {
        QFile file(m_ini);
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "<no file>";
    }
    std::string get(const QString& key) {
        return m_store.GetSetting(kApplication, kStartup, key, "<default>").toStdString();
    }
    Status put(const QString& key, const QString& value) {
        return m_store.PutSetting(kApplication, kStartup, key, value);
    }
    // The probe's exit code (a signal's number when it crashed) and output.
    std::pair<int, std::string> probe(const QStringList& args) {
        QProcess process;
        process.start(ZQ4_SETTINGS_PROBE, args);
        EXPECT_TRUE(process.waitForFinished(60000));
        return {process.exitCode(), process.readAll().toStdString()};
    }

    QTemporaryDir m_home;
    const QString m_folder = m_home.filePath("ZQ4");
    const QString m_ini = m_folder + "/ZQ4.ini";
    QSettingsStore m_store;
};

TEST_F(QSettingsStoreTest, EmptyStoreReadsEveryDefaultAndCreatesNothing) {
    // An organisation-wide file beside the user's folder is not the user's store.
    writeFile(m_home.filePath("ZQ4.ini"), "[Startup]\nAddr=9\n");
    for (const QString& key : {kDakcomm, kAddr, kBrt, kMessage, kCustom}) {
        EXPECT_EQ(get(key), "<default>") << key.toStdString();
    }
    EXPECT_FALSE(QFile::exists(m_folder));
}

TEST_F(QSettingsStoreTest, PutValuesAreWrittenAsTextAndReadBackExactlyByANewProcess) {
    ASSERT_TRUE(put(kDakcomm, "7") && put(kAddr, "128") && put(kBrt, "-1"));
    EXPECT_EQ(readIni(), "[Startup]\nAddr=128\nBrt=-1\nDakcomm=7\n");
    EXPECT_EQ(probe({kBrt}), std::make_pair(0, std::string("-1")));
    const QString megabyte = QString("Zürich, \"x\"; a=b \\ ").repeated(1 << 16).left(1 << 20);
    const QStringList texts = {
        "  AB  ", "", "a,b", "@ByteArray(x)", "[S]\n#x=y; \\n\t\"q\" Grüße 日本語 😀", megabyte};
    for (const QString& text : texts) {
        ASSERT_TRUE(put(kCustom, text));
        EXPECT_TRUE(probe({kCustom}) == std::make_pair(0, text.toStdString()))
            << text.left(20).toStdString();
    }
}

TEST_F(QSettingsStoreTest, HandWrittenFileIsReadForItsSettingsAndKeptWhenNotAllAreSettings) {
    // 10 MiB of random bytes.
    std::vector<quint32> words(10 << 18);
    QRandomGenerator(4).fillRange(words.data(), words.size());
    const QByteArray binary(reinterpret_cast<const char*>(words.data()), 10 << 20);
    // File, the Custom value read from it, whether a put may rewrite it. Each file differs in
    // size from the one before, which is how a file changed by hand is told from the one read.
    const std::vector<std::tuple<QByteArray, std::string, bool>> cases = {
        {"[Startup]\nCustom=a,b\n", "a,b", true},
        {"[Startup]\ncustom=x\nCUSTOM=y\n[startup]\nCustom=z\n", "<default>", true},
        {"[Startup]\nCustom=@Rect(1 2 3 4)\n", "<default>", true},
        {"this is not\na settings file\n", "<default>", false},
        {binary, "<default>", false},
        {"[Startup]\nCustom=kept\nCom4 /dev/ttyUSB1\n", "kept", false},
        {"[Startup]\nCustom=kept\nCom4 =/dev/ttyUSB1\n", "kept", true}};
    for (const auto& [file, custom, writable] : cases) {
        SCOPED_TRACE(file.left(40).toPercentEncoding().toStdString());
        writeFile(m_ini, file);
        EXPECT_EQ(get(kCustom), custom);
        EXPECT_EQ(put(kDakcomm, "3").ok(), writable);
        EXPECT_EQ(readIni() == file.toStdString(), !writable);
    }
}

TEST_F(QSettingsStoreTest, BatchPutStoresEveryKeyOrNoneAndTheStoreNamesItsFile) {
    EXPECT_EQ(m_store.location(kApplication), m_ini);
    ASSERT_TRUE(m_store.PutSettings(kApplication, kPorts, {{"Com1", "/dev/a"}, {"Com2", ""}}));
    EXPECT_EQ(readIni(), "[Ports]\nCom1=/dev/a\nCom2=\n");
    writeFile(m_ini, "[Ports]\nCom1=/dev/a\nCom3 /dev/b\n");
    EXPECT_FALSE(m_store.PutSettings(kApplication, kPorts, {{"Com1", "/dev/c"}, {"Com2", "/d"}}));
    EXPECT_EQ(readIni(), "[Ports]\nCom1=/dev/a\nCom3 /dev/b\n");
}

TEST_F(QSettingsStoreTest, StoreFileThatIsAFolderReadsDefaultsAndRefusesPuts) {
    ASSERT_TRUE(QDir().mkpath(m_ini));
    EXPECT_EQ(get(kAddr), "<default>");
    EXPECT_EQ(put(kAddr, "5").description().toStdString(),
              ("Cannot write the settings file " + m_ini + ": access denied").toStdString());
}

TEST_F(QSettingsStoreTest, PutIntoAReadOnlyFolderFailsAndLeavesTheFileAsItWas) {
    writeFile(m_ini, "[Startup]\nAddr=5\n");
    ASSERT_EQ(chmod(qPrintable(m_ini), 0666) | chmod(qPrintable(m_folder), 0555), 0);
    const QString failure =
        "Cannot write the settings file " + m_ini + ": its folder " + m_folder + " is read-only";
    EXPECT_EQ(probe({kAddr, "7"}), std::make_pair(1, failure.toStdString()));
    // Writable again, so that a test run without root can remove it.
    ASSERT_EQ(chmod(qPrintable(m_folder), 0755), 0);
    EXPECT_EQ(readIni(), "[Startup]\nAddr=5\n");
    EXPECT_EQ(QDir(m_folder).entryList(QDir::Files).join(u' ').toStdString(), "ZQ4.ini");
}

} // namespace
} // namespace zq4
