#pragma once

#include <QString>

namespace zq4::keys {

// Where the panel keeps the operator's last choices.
inline const QString kApplication = QStringLiteral("ZQ4");
inline const QString kStartup = QStringLiteral("Startup");

inline const QString kDakcomm = QStringLiteral("Dakcomm"); // port number 1..9
inline const QString kAddr = QStringLiteral("Addr");       // address code 0..128
inline const QString kBrt = QStringLiteral("Brt");         // brightness position 0..3
inline const QString kMessage = QStringLiteral("Message"); // message position 0..163
inline const QString kCustom = QStringLiteral("Custom");   // custom text, no fill spaces

// The operator's map from port number to device ("Com3" = "/dev/ttyUSB0"); the program writes
// this group only from the port map dialog.
inline const QString kPorts = QStringLiteral("Ports");
inline QString portKey(int portNumber) {
    return QStringLiteral("Com%1").arg(portNumber);
}

} // namespace zq4::keys
