#include "serial/portselection.h"

namespace zq4 {

QString PortLabel(int portNumber) {
    return QStringLiteral("Com%1:").arg(portNumber);
}

const std::array<PortEntry, kPortCount>& PortSelection() {
    static const std::array<PortEntry, kPortCount> entries = [] {
        std::array<PortEntry, kPortCount> list;
        for (int position = 0; position < kPortCount; ++position) {
            const auto portNumber = static_cast<std::int16_t>(position + 1);
            list[position] = PortEntry{PortLabel(portNumber), portNumber};
        }
        return list;
    }();
    return entries;
}

} // namespace zq4
