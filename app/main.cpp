#include "panel/controlpanel.h"

#include <QApplication>

int main(int argc, char** argv) {
    // Wayland names the window by this id, which the desktop matches to the entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.zq4.zq4"));
    QApplication app(argc, argv);
    zq4::ControlPanel window;
    window.show();
    return app.exec();
}
