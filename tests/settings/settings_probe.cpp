#include "settings/keys.h"
#include "settings/qsettingsstore.h"

#include <QSettings>

#ifdef Q_OS_UNIX
#include <grp.h>
#include <unistd.h>
#else
#include <fcntl.h>
#include <io.h>
#endif

#include <cstdio>

using namespace zq4;
using namespace zq4::keys;

// One store operation on the Startup section of the store under $XDG_CONFIG_HOME, in a process
// of its own, so that what it reads comes from the disk:
//   settings_probe <key>          prints the value, or "<absent>"
//   settings_probe <key> <value>  puts the value; a failure prints its description and exits 1
// Started as root it runs as user and group 65534, since root ignores permission bits. On Windows,
// where Qt takes the user's folder from the system, the store is moved to $XDG_CONFIG_HOME here.
int main(int argc, char** argv) {
#ifdef Q_OS_UNIX
    if (geteuid() == 0 && (setgroups(0, nullptr) || setgid(65534) || setuid(65534))) {
        return 2;
    }
#else
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       qEnvironmentVariable("XDG_CONFIG_HOME"));
    // The value exactly: no line end is turned into "\r\n".
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    QSettingsStore store;
    const QString key = QString::fromUtf8(argv[1]);
    // Naming the file, as warnings do, must not open it: a FIFO would block.
    (void)store.location(kApplication);
    const Status put =
        argc == 2 ? Status::Ok() : store.PutSetting(kApplication, kStartup, key, argv[2]);
    std::fputs(qUtf8Printable(argc == 2 ? store.GetSetting(kApplication, kStartup, key, "<absent>")
                                        : put.description()),
               stdout);
    return put ? 0 : 1;
}
