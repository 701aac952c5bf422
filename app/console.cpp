#include "cli/commandline.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTextStream>

#include <cstdlib>

#include <qt_windows.h>

// zq4.com, the console entry point on Windows. A command (send, messages, --help, --version)
// runs here, printing to the console it was started from and returning its exit status, so
// that scripts and scheduled tasks can use it. The window is zq4.exe, beside this program: it
// is started with the same arguments, and this program returns at once, as starting a window
// program from the console does.
int main(int argc, char** argv) {
    if (zq4::IsCommandLine(argc, argv)) {
        // What the command line prints is UTF-8: the console shows it as such while the program
        // runs, and gets its own code page back at the end. (Printed into a file or a pipe, it
        // stays UTF-8.)
        const UINT consoleCodePage = ::GetConsoleOutputCP();
        if (consoleCodePage != 0) {
            ::SetConsoleOutputCP(CP_UTF8);
        }
        const int exitCode = zq4::RunCommandLine(argc, argv);
        if (consoleCodePage != 0) {
            ::SetConsoleOutputCP(consoleCodePage);
        }
        return exitCode;
    }
    QCoreApplication app(argc, argv);
    const QString window =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("zq4.exe"));
    if (!QProcess::startDetached(window, QCoreApplication::arguments().mid(1))) {
        QTextStream(stderr) << QStringLiteral("zq4: cannot start the window %1: reinstall ZQ4")
                                   .arg(QDir::toNativeSeparators(window))
                            << Qt::endl;
        return EXIT_FAILURE;
    }
    return EXIT_SUCCESS;
}
