#include "panel/controlpanel.h"
#include "panel/portmap.h"
#include "panel/portmapdialog.h"

#include "serial/qserialportadapter.h"
#include "settings/keys.h"
#include "settings/qsettingsstore.h"
#include "system/pseudoterminal.h"
#include "tests/support/fakes.h"

#include <QTest>
#include <QtWidgets>

#include <gtest/gtest.h>

namespace zq4 {
namespace {

using namespace std::chrono_literals;

// The port map as the operator changes it: the user's store as an INI file in a folder of its
// own, the real serial port adapter, and pseudo-terminals, reached by typing their paths.
class PortMapEndToEndTest : public ::testing::Test {
protected:
    void start(const QByteArray& file) {
        ASSERT_TRUE(home.isValid() && first.valid() && second.valid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, home.path());
        QDir().mkpath(home.filePath("ZQ4"));
        QFile ini(iniPath());
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly) && ini.write(file) == file.size());
        ini.close();
        window =
            std::make_unique<ControlPanel>(ControlPanelParts{store, adapter, feedback, discovery});
    }
    QString iniPath() const { return home.filePath("ZQ4/ZQ4.ini"); }
    QByteArray iniBytes() const {
        QFile ini(iniPath());
        return ini.open(QIODevice::ReadOnly) ? ini.readAll() : QByteArray("<no file>");
    }
    // Opens the dialog as the port list's menu does and types the device for the port.
    PortMapDialog* typeDevice(int portNumber, const QString& device) {
        PortMapDialog* dialog = window->portMap().openDialog();
        QTest::keyClicks(dialog->findChild<QComboBox*>(keys::portKey(portNumber)), device);
        return dialog;
    }

    QTemporaryDir home;
    PseudoTerminal first, second;
    QSettingsStore store;
    QSerialPortAdapter adapter{store};
    test::RecordingFeedback feedback;
    test::FakeDiscovery discovery;
    std::unique_ptr<ControlPanel> window;
};

// Cancel keeps the operator's own file as it was; OK stores the typed device for the next pick.
TEST_F(PortMapEndToEndTest, TypedPathForCom2IsWhereSendGoesOnceCom2IsPicked) {
    start("[Ports]\nCom1 = " + first.devicePath().toUtf8() + "\n[Startup]\nMessage=3\n");
    const QByteArray before = iniBytes();
    PortMapDialog* dialog = typeDevice(2, second.devicePath());
    QTest::keyClick(dialog, Qt::Key_Escape);
    EXPECT_TRUE(dialog->isHidden());
    EXPECT_EQ(iniBytes(), before);

    dialog = typeDevice(2, second.devicePath());
    dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    EXPECT_EQ(QSettings(iniPath(), QSettings::IniFormat).value("Ports/Com2").toString(),
              second.devicePath());
    auto* list = window->findChild<QComboBox*>("CommSel");
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(list->currentText(), "Com2:");
    QTest::mouseClick(window->findChild<QPushButton*>("SendButton"), Qt::LeftButton);
    EXPECT_EQ(second.readFromLine(18, 5s).toHex(' ').toStdString(),
              (QByteArray(13, ' ') + QByteArray::fromHex("000300fffe")).toHex(' ').toStdString());
    EXPECT_EQ(feedback.shown, QStringList());
}

// A file with a line that is not a setting cannot be rewritten without losing that line.
TEST_F(PortMapEndToEndTest, HandWrittenFileThatCannotBeRewrittenIsKeptAndTheBoxSaysWhy) {
    const QString missing = home.filePath("no-such-line");
    start("[Ports]\nCom2=" + missing.toUtf8() + "\nCom3 /dev/ttyUSB1\n[Startup]\nDakcomm=2\n");
    const QByteArray before = iniBytes();
    ASSERT_EQ(feedback.shown.size(), 2);
    EXPECT_TRUE(feedback.shown[1].startsWith("box:ZQ4:Com2: (" + missing + "): "));
    EXPECT_TRUE(feedback.shown[1].endsWith(
        "\n\n" + kMapPortsHint + "\nThe map is kept in the group [Ports] of " + iniPath() + "."))
        << feedback.shown[1].toStdString();

    feedback.shown.clear();
    typeDevice(1, first.devicePath())->accept();
    EXPECT_EQ(feedback.shown,
              QStringList({"beep", "box:ZQ4:Cannot write the settings file " + iniPath() +
                                       ": it holds lines that are not settings (each line must be "
                                       "a [section] or a key=value); correct or remove the "
                                       "file\n\nThe ports keep the devices they had."}));
    EXPECT_EQ(iniBytes(), before);
}

} // namespace
} // namespace zq4
