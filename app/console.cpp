#include "cli/commandline.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTextStream>

#include <cstdlib>

// zq4.com, the console entry point on Windows. A command (send, messages, --help, --version)
// runs here, printing to the console it was started from and returning its exit status, so
// that scripts and scheduled tasks can use it. The window is zq4.exe, beside this program: it
// is started with the same arguments, and this program returns at once, as starting a window
// program from the console does.
int main(int argc, char** argv) {
    if (zq4::IsCommandLine(argc, argv)) {
        return zq4::RunCommandLine(argc, argv);
    }
    QCoreApplication app(argc, argv);
    const QString window = QDir(QCoreApplication::applicationDirPath()).filePath(
        QStringLiteral("zq4.exe"));
    if (!QProcess::startDetached(window, QCoreApplication::arguments().mid(1))) {
        QTextStream(stderr) << QStringLiteral("zq4: cannot start the window %1: reinstall ZQ4")
                                   .arg(QDir::toNativeSeparators(window))
                            << Qt::endl;
        return EXIT_FAILURE;
    }
    return EXIT_SUCCESS;
}
