#include <QApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

// Every test program runs headless and with a settings folder of its own, so no test can
// read or write the real user's store.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QTemporaryDir configHome;
    if (!configHome.isValid()) {
        return EXIT_FAILURE;
    }
#ifdef Q_OS_WIN
    // Qt takes the user's settings folder from Windows (the roaming application data), which no
    // environment variable moves: it is moved for this process only.
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, configHome.path());
    // Qt's headless platform reads fonts from files, by default from a folder beside Qt's
    // libraries: it is pointed at the system's fonts, so that the window is measured in them.
    if (qEnvironmentVariableIsEmpty("QT_QPA_FONTDIR")) {
        qputenv("QT_QPA_FONTDIR",
                QStandardPaths::writableLocation(QStandardPaths::FontsLocation).toLocal8Bit());
    }
#else
    qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
    // Headless machines often have no runtime folder; Qt wants one (private, 0700).
    QTemporaryDir runtimeDir;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && runtimeDir.isValid()) {
        qputenv("XDG_RUNTIME_DIR", runtimeDir.path().toLocal8Bit());
    }
#endif

    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
