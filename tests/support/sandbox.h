#pragma once

#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtGlobal>

namespace zq4::test {

// Surroundings of its own for a run that must not touch the user's: headless unless a platform is
// asked for, and a settings folder of its own, removed with it. Made before the application
// object, which takes its platform and folders from them; the programs it starts inherit them.
class Sandbox {
public:
    Sandbox() {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
#ifdef Q_OS_WIN
        // Qt takes the user's settings folder from Windows (the roaming application data), which
        // no environment variable moves: it is moved for this process only.
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_configHome.path());
        // Qt's headless platform reads fonts from files, by default from a folder beside Qt's
        // libraries: it is pointed at the system's fonts, so that the window is measured in them.
        if (qEnvironmentVariableIsEmpty("QT_QPA_FONTDIR")) {
            qputenv("QT_QPA_FONTDIR",
                    QStandardPaths::writableLocation(QStandardPaths::FontsLocation).toLocal8Bit());
        }
#else
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_configHome.path()));
        // Headless machines often have no runtime folder; Qt wants one (private, 0700).
        if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && m_runtimeDir.isValid()) {
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtimeDir.path()));
        }
#endif
    }

    bool valid() const {
        return m_configHome.isValid();
    }

private:
    QTemporaryDir m_configHome;
#ifndef Q_OS_WIN
    QTemporaryDir m_runtimeDir;
#endif
};

} // namespace zq4::test
