#include "serial/porterrors.h"

#include <gtest/gtest.h>

namespace zq4 {
namespace {

// Each text names the port and its device (or the device alone, when it was given directly),
// keeps the platform's reason unless that is a stand-in, and says what to do.
TEST(PortErrors, TextsNameThePortAndDeviceWhatHappenedAndWhatToDo) {
    const QString where = "Com3: (/dev/ttyUSB0)";
    const QString map = "the group [Ports] of /home/ann/.config/ZQ4/ZQ4.ini";
    const auto open = [&](QSerialPort::SerialPortError error, const QString& reason,
                          bool deviceGiven = false, bool fileOrFolder = false,
                          const QString& mappedIn = {}) {
        return OpenFailureText(deviceGiven ? "/dev/x" : where,
                               {error, reason, deviceGiven, fileOrFolder, mappedIn});
    };
    using E = QSerialPort;
    const std::pair<QString, QString> cases[] = {
        {FailureText(where, E::WriteError, "Input/output error"), where + ": Input/output error"},
        {FailureText(where, E::NotOpenError, ""), where + ": the port is not open"},
        {FailureText(where, E::UnknownError, "Unknown error 4711"),
         where + ": the device cannot be used as a serial port"},
        {open(E::DeviceNotFoundError, "No such file or directory", false, false, map),
         where +
             ": No such file or directory (plug the device in, or map the port to its device "
             "in " +
             map + ")"},
        {open(E::DeviceNotFoundError, ""),
         where + ": the device does not exist (plug the device in)"},
        {open(E::DeviceNotFoundError, "No such file or directory", true, false, map),
         "/dev/x: No such file or directory (check the path, or plug the device in)"},
        {open(E::UnsupportedOperationError, "Inappropriate ioctl for device"),
         where + ": Inappropriate ioctl for device (not a serial device)"},
        {open(E::ResourceError, "Input/output error", false, true),
         where + ": Input/output error (not a serial device)"},
        {open(E::PermissionError, "you lack permission to use the device", false, true),
         where + ": you lack permission to use the device"},
        {NoSuchPortText(10), "Com10: there is no such port: the ports are Com1: to Com9:"},
        {AlreadyOpenText(where), where + ": the port is already open: close it first"},
        {LossText(where), where + ": the device is no longer available: the port is closed; "
                                  "reconnect the device: the next send opens it again"},
        {BusyText(where, 13), "the line is busy: 13 frames are still waiting for " + where +
                                  ". This one was not sent: send again once the display has "
                                  "taken them."},
        {UnsentText(where, 234, ""), where + ": the device did not take the last 234 bytes in "
                                             "time: they were discarded when the port closed"},
        {UnsentText("/dev/x", 18, "SIGTERM"), "/dev/x: SIGTERM came before the device took the "
                                              "last 18 bytes: they were discarded when the port "
                                              "closed"},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(text.toStdString(), expected.toStdString());
    }
}

} // namespace
} // namespace zq4
