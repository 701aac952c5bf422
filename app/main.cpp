#include "panel/controlpanel.h"
#include "panel/messageboxfeedback.h"
#include "serial/devicediscovery.h"
#include "serial/qserialportadapter.h"
#include "settings/qsettingsstore.h"

#include <QApplication>

// The real parts, declared before the window that works through them, so they outlive it: at
// the end the window goes first, then the port, which sends what is pending before it closes.
int main(int argc, char** argv) {
    QApplication app(argc, argv);
    zq4::QSettingsStore store;
    zq4::QSerialPortAdapter port(store);
    zq4::MessageBoxFeedback feedback;
    zq4::SystemDeviceDiscovery discovery;
    zq4::ControlPanel window({store, port, feedback, discovery});
    window.show();
    return app.exec();
}
