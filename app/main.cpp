#include "panel/controlpanel.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    zq4::ControlPanel window;
    window.show();
    return app.exec();
}
