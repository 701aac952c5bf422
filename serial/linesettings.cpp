#include "serial/linesettings.h"

namespace zq4 {

void ApplyLineSettings(QSerialPort& port) {
    port.setBaudRate(kLineBaudRate);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
}

std::chrono::milliseconds LineTime(qint64 bytes) {
    return std::chrono::milliseconds(bytes * kLineBitsPerByte * 1000 / kLineBaudRate);
}

qint64 LineBytes(std::chrono::milliseconds time) {
    return time.count() * kLineBaudRate / (kLineBitsPerByte * 1000);
}

} // namespace zq4
