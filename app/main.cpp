#include "cli/commandline.h"
#include "panel/controlpanel.h"

#include <QApplication>

int main(int argc, char** argv) {
    // The command line needs no display: it is told apart before any GUI object exists.
    if (zq4::IsCommandLine(argc, argv)) {
        return zq4::RunCommandLine(argc, argv);
    }
    QApplication app(argc, argv);
    zq4::ControlPanel window;
    window.show();
    return app.exec();
}
