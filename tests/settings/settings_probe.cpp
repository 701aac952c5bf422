#include "settings/keys.h"
#include "settings/qsettingsstore.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include <grp.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

// One store operation on the store of application "ZQ4" under $XDG_CONFIG_HOME:
//   settings_probe [--unprivileged] get <section> <key> <default>  writes the value to stdout
//   settings_probe [--unprivileged] put <section> <key>            takes the value from stdin
// Texts are UTF-8. A failed put prints its description to stderr and exits with 1.
// --unprivileged runs as user and group 65534 when started as root, since root ignores
// permission bits.

namespace {

constexpr uid_t kUnprivilegedUser = 65534;
constexpr gid_t kUnprivilegedGroup = 65534;

bool dropRoot() {
    if (geteuid() != 0) {
        return true;
    }
    return setgroups(0, nullptr) == 0 && setgid(kUnprivilegedGroup) == 0 &&
           setuid(kUnprivilegedUser) == 0;
}

} // namespace

int main(int argc, char** argv) {
    // Before Qt reads anything in the name of root.
    if (argc > 1 && std::strcmp(argv[1], "--unprivileged") == 0) {
        if (!dropRoot()) {
            std::perror("settings_probe: cannot drop root");
            return 2;
        }
    }
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (!args.isEmpty() && args.first() == QStringLiteral("--unprivileged")) {
        args.removeFirst();
    }

    zq4::QSettingsStore store;
    QFile out;
    QFile in;
    QFile err;
    if (!out.open(stdout, QIODevice::WriteOnly) || !in.open(stdin, QIODevice::ReadOnly) ||
        !err.open(stderr, QIODevice::WriteOnly)) {
        return 2;
    }
    if (args.size() == 4 && args[0] == QStringLiteral("get")) {
        out.write(store.GetSetting(zq4::keys::kApplication, args[1], args[2], args[3]).toUtf8());
        return EXIT_SUCCESS;
    }
    if (args.size() == 3 && args[0] == QStringLiteral("put")) {
        const QString value = QString::fromUtf8(in.readAll());
        const zq4::Status status =
            store.PutSetting(zq4::keys::kApplication, args[1], args[2], value);
        if (!status) {
            err.write(status.description().toUtf8());
            return EXIT_FAILURE;
        }
        return EXIT_SUCCESS;
    }
    err.write("usage: settings_probe [--unprivileged] get <section> <key> <default> | put "
              "<section> <key>\n");
    return 2;
}
