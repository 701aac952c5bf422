#include "settings/keys.h"
#include "settings/portmap.h"
#include "settings/qsettingsstore.h"
#include "settings/storefile.h"

#include <QtCore>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#ifdef Q_OS_UNIX
#include <sys/mount.h>
#include <sys/stat.h>
#endif

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

// What a rewrite by QSettings would lose or change, told from the file's bytes alone; the
// store refuses to rewrite such a file. Each row: the start of the reason ("" when a rewrite
// keeps everything), the files that give it.
TEST(StoreFileChecks, ARewriteIsRefusedWhenItWouldLoseOrChangeWhatTheFileHolds) {
    const std::string blanks = "the hand-written value ";
    const std::pair<std::string, QByteArrayList> cases[] = {
        // A byte-order mark is no line; a line end inside double quotes, or escaped, continues
        // the line; an unquoted comma makes a list, written back with its items joined by ", ".
        {"",
         {"", "\r\n  \n", "[Startup]\r\nAddr=5\r\n[Ports]\r\nCom3 = /dev/ttyUSB0\r\n",
          "top=1\n[ Startup ]\nCustom=\"a;b\\\"#c\"\n", "\xEF\xBB\xBF[Startup]\nCustom=bom\n",
          "[Startup]\nCustom=Z\xC3\xBCrich\n", "[Startup]\nCustom=\"two\nlines\"\nText=a\\\nb\n",
          "[Ports]\nCom3=usb-A, B-port0\n"}},
        {"it holds lines that are not settings",
         {"[Startup]\nCom4 /dev/ttyUSB1\n", "[Startup\nAddr=5\n", "[Startup] Addr=5\n",
          "[Startup]\n=5\n", "[Startup]\nCustom=Z\xFCrich\n",
          "\xEF\xBB\xBF# note\n[Startup]\nCom4 /dev/ttyUSB1\n"}},
        {"its comment lines would be lost",
         {";note\n[Startup]\n", "[Startup]\n  #Addr=3\n", "# Com3 is the bench display\n",
          "[Startup]\nCustom=kept ; note\n", "[Startup] ; note\n"}},
        {blanks,
         {"[Ports]\nCom3=\"usb-A,B\", \"x\"\n", "[Ports]\nCom3=a ,b\n", "[Ports]\nCom3=a,  b\n",
          "[Ports]\nCom3=a,\n"}},
        {blanks + "\"a,b\" of Ports/Com3", {"[Ports]\nCom3=a,b\n"}},
    };
    for (const auto& [reason, files] : cases) {
        for (const QByteArray& bytes : files) {
            const std::string problem = RewriteProblem(bytes).toStdString();
            EXPECT_TRUE(reason.empty() ? problem.empty() : problem.starts_with(reason))
                << bytes.toPercentEncoding().toStdString() << ": " << problem;
        }
    }
}

// A port's entry names its device: blanks around it do not count, a name without a leading '/'
// is under /dev wherever the program runs, and an empty entry is the port's default device. On
// Windows each port is COM<n>, whatever the entry.
TEST(PortMapTest, AnEntryNamesTheDeviceThePortOpens) {
    const std::tuple<QString, int, QString> cases[] = {
        {"  ", 9, "/dev/ttyS8"},
        {" /dev/serial/by-id/usb-A, B-port0 ", 3, "/dev/serial/by-id/usb-A, B-port0"},
        {"pts/5", 3, "/dev/pts/5"},
        {"./ttyUSB0", 3, "/dev/ttyUSB0"},
    };
    for (const auto& [entry, portNumber, device] : cases) {
#ifdef Q_OS_WIN
        EXPECT_EQ(PortMap::EntryDevice(entry, portNumber), QString("COM%1").arg(portNumber));
#else
        EXPECT_EQ(PortMap::EntryDevice(entry, portNumber), device) << entry.toStdString();
#endif
    }
}

// A store in a folder of its own, which the probe, a new process that may run as another user,
// finds through XDG_CONFIG_HOME (on Windows too, where the probe moves its store there itself).
struct QSettingsStoreTest : ::testing::Test {
    void SetUp() override {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_home.path());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.path()));
#ifdef Q_OS_UNIX
        ASSERT_EQ(chmod(qPrintable(m_home.path()), 0711), 0);
#endif
    }
    void writeFile(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) &&
                    file.write(bytes) == bytes.size());
    }
    QByteArray rawIni() {
        QFile file(m_ini);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<no file>");
    }
    // The file with its lines ending in '\n' (QSettings ends them with "\r\n" on Windows).
    std::string readIni() {
#ifdef Q_OS_WIN
        return rawIni().replace("\r\n", "\n").toStdString();
#else
        return rawIni().toStdString();
#endif
    }
    std::string get(const QString& key) {
        return m_store.GetSetting(kApplication, kStartup, key, "<default>").toStdString();
    }
    Status put(const QString& key, const QString& value) {
        return m_store.PutSetting(kApplication, kStartup, key, value);
    }
    // The probe's exit code (a signal's number when it crashed) and output; -1 when it hung, and
    // then it is killed as `process` ends.
    std::pair<int, std::string> probe(const QStringList& args) {
        QProcess process;
        process.start(ZQ4_SETTINGS_PROBE, args);
        return {process.waitForFinished(10000) ? process.exitCode() : -1,
                process.readAll().toStdString()};
    }
    std::string cannotWrite(const std::string& reason) {
        return "Cannot write the settings file " + QDir::toNativeSeparators(m_ini).toStdString() +
               ": " + reason;
    }

    QTemporaryDir m_home;
    const QString m_folder = m_home.filePath("ZQ4"), m_ini = m_folder + "/ZQ4.ini";
    QSettingsStore m_store;
};

// An empty store reads every default and creates nothing: an organisation-wide file beside the
// user's folder is not the user's store. The store names its file.
TEST_F(QSettingsStoreTest, PutValuesAreWrittenAsTextAndReadBackExactlyByANewProcess) {
    writeFile(m_home.filePath("ZQ4.ini"), "[Startup]\nAddr=9\n");
    for (const QString& key : {kDakcomm, kAddr, kBrt, kMessage, kCustom}) {
        EXPECT_EQ(get(key), "<default>") << key.toStdString();
    }
    EXPECT_FALSE(QFile::exists(m_folder));
    EXPECT_EQ(m_store.location(kApplication), QDir::toNativeSeparators(m_ini))
        << "named before it exists";
    ASSERT_TRUE(put(kDakcomm, "7") && put(kAddr, "128") && put(kBrt, "-1"));
    EXPECT_EQ(readIni(), "[Startup]\nAddr=128\nBrt=-1\nDakcomm=7\n");
    EXPECT_EQ(probe({kBrt}), std::make_pair(0, std::string("-1")));
    const QString large = QString("Zürich, \"x\"; a=b \\ ").repeated(1 << 14);
    // A '#' inside a value is no comment: the put after it must still succeed.
    for (const QString& text : QStringList{"  AB  ", "T#1", "", "a,b", "@ByteArray(x)",
                                           "[S]\n#x=y; \\n\t\"q\" Grüße 日本語 😀", large}) {
        SCOPED_TRACE(text.left(20).toStdString());
        const Status stored = put(kCustom, text);
        ASSERT_TRUE(stored) << stored.description().toStdString();
        EXPECT_TRUE(probe({kCustom}) == std::make_pair(0, text.toStdString()));
    }
    // The store would not read a file that large back.
    EXPECT_THAT(put(kCustom, large.repeated(4)).description().toStdString(),
                ::testing::HasSubstr("larger than 1 MiB"));
    EXPECT_EQ(probe({kBrt}), std::make_pair(0, std::string("-1")));
}

// A write the file refuses changes nothing, removals included.
TEST_F(QSettingsStoreTest, HandWrittenFileIsReadForItsSettingsAndKeptWhenNotAllAreSettings) {
    QByteArray binary(1 << 20, '\0'); // random bytes, as large as a file the store reads
    QRandomGenerator(4).fillRange(reinterpret_cast<quint32*>(binary.data()), binary.size() / 4);
    const std::string notSettings = "it holds lines that are not settings (each line must be a "
                                    "[section] or a key=value); correct or remove the file";
    // File, the Custom value read from it, why a put may not rewrite it ("" when it may).
    const std::vector<std::tuple<QByteArray, std::string, std::string>> cases = {
        {"[Startup]\nCustom=@Rect(1 2 3 4)\n", "<default>", ""},
        {binary, "<default>", notSettings},
        {"[Startup]\nCustom=kept\nCom4 /dev/ttyUSB1\n", "kept", notSettings},
        // Blanks around a hand-written comma are read as written, and kept: QSettings would
        // rewrite them as ", ".
        {"[Startup]\nCustom=usb-A, B-port0\n", "usb-A, B-port0", ""},
        {"[Ports]\nCustom=a,  b\n[Startup]\nCustom=a , b\n", "a , b", "would be rewritten"}};
    for (const auto& [file, custom, reason] : cases) {
        SCOPED_TRACE(file.left(40).toPercentEncoding().toStdString());
        writeFile(m_ini, file);
        EXPECT_EQ(get(kCustom), custom);
        const Status written =
            m_store.UpdateSettings(kApplication, kStartup, {{kDakcomm, "3"}}, {kCustom});
        EXPECT_EQ(written.ok(), reason.empty());
        EXPECT_THAT(written.description().toStdString(), ::testing::HasSubstr(reason));
        EXPECT_EQ(rawIni() == file, !reason.empty());
    }
}

// A file that is not a regular one (reading a FIFO waits for a writer for ever) or is larger than
// 1 MiB is neither read nor written, and a put says what it is. The probe does each read and put,
// and must answer within its time limit.
TEST_F(QSettingsStoreTest, FileThatIsNotARegularFileOrTooLargeIsNeitherReadNorWritten) {
    ASSERT_TRUE(QDir().mkpath(m_folder));
    const QString target = m_folder + "/target.ini";
    writeFile(target, "[Startup]\nAddr=4\n");
#ifdef Q_OS_UNIX
    // The probe, another user when run as root, may replace the file.
    ASSERT_EQ(chmod(qPrintable(m_folder), 0777) | chmod(qPrintable(target), 0666), 0);
#endif
    const QByteArray large = "[Startup]\nAddr=4\nCustom=" + QByteArray(1 << 20, 'x') + "\n";
    // What the file is, how it is made, why a put refuses it ("" when it does not).
    std::vector<std::tuple<std::string, std::function<void()>, std::string>> cases = {
        {"folder", [&] { ASSERT_TRUE(QDir().mkpath(m_ini)); }, "it is a folder"},
        {"large", [&] { writeFile(m_ini, large); }, "it is larger than 1 MiB (1048601 bytes)"}};
#ifdef Q_OS_UNIX
    cases.insert(cases.begin(), {"FIFO", [&] { ASSERT_EQ(mkfifo(qPrintable(m_ini), 0666), 0); },
                                 "it is a named pipe"});
    cases.push_back({"link to a file", [&] { ASSERT_TRUE(QFile::link(target, m_ini)); }, ""});
#endif
    for (const auto& [name, create, reason] : cases) {
        SCOPED_TRACE(name);
        // What the row before made.
        ASSERT_TRUE(QFile::remove(m_ini) || QDir(m_ini).removeRecursively());
        create();
        const QFileInfo before(m_ini);
        EXPECT_EQ(probe({kAddr}), std::pair(0, std::string(reason.empty() ? "4" : "<absent>")));
        const auto [exitCode, output] = probe({kAddr, "5"});
        EXPECT_EQ(exitCode, reason.empty() ? 0 : 1) << output;
        EXPECT_THAT(output, ::testing::StartsWith(reason.empty() ? "" : cannotWrite(reason)));
        EXPECT_EQ(probe({kAddr}), std::pair(0, std::string(reason.empty() ? "5" : "<absent>")));
        const QFileInfo after(m_ini);
        EXPECT_TRUE(reason.empty() ||
                    std::tuple(after.isFile(), after.size(), after.lastModified()) ==
                        std::tuple(before.isFile(), before.size(), before.lastModified()));
    }
}

#ifdef Q_OS_UNIX
// A put into a folder that is read-only, then into one on a file system that is full, says why
// and leaves the file as it was, and nothing beside it. The probe puts: root would ignore the
// folder's permissions.
TEST_F(QSettingsStoreTest, PutThatCannotBeWrittenSaysWhyAndLeavesTheFileAsItWas) {
    const auto refused = [&](const std::string& reason, const std::string& files) {
        EXPECT_EQ(probe({kAddr, "7"}), std::pair(1, cannotWrite(reason)));
        EXPECT_EQ(readIni(), "[Startup]\nAddr=5\n");
        EXPECT_EQ(QDir(m_folder).entryList(QDir::Files).join(u' ').toStdString(), files);
    };
    writeFile(m_ini, "[Startup]\nAddr=5\n");
    ASSERT_EQ(chmod(qPrintable(m_ini), 0666) | chmod(qPrintable(m_folder), 0555), 0);
    refused("its folder " + m_folder.toStdString() + " is read-only", "ZQ4.ini");
    // Writable again, so that a test run without root can remove it.
    ASSERT_EQ(chmod(qPrintable(m_folder), 0777), 0);
    if (mount("tmpfs", qPrintable(m_folder), "tmpfs", 0, "size=64k,mode=0777") != 0) {
        GTEST_SKIP() << "a small file system cannot be mounted here: "
                     << qt_error_string(errno).toStdString();
    }
    const auto unmount = qScopeGuard([&] { EXPECT_EQ(umount(qPrintable(m_folder)), 0); });
    writeFile(m_ini, "[Startup]\nAddr=5\n");
    QFile filler(m_folder + "/filler"); // takes what room is left
    ASSERT_TRUE(chmod(qPrintable(m_ini), 0666) == 0 && filler.open(QIODevice::WriteOnly));
    ASSERT_LT(filler.write(QByteArray(1 << 16, 'f')), 1 << 16);
    refused("the disk is full (No space left on device)", "filler ZQ4.ini");
}
#endif

} // namespace
} // namespace zq4
