#pragma once

#include "protocol/vocabulary.h"

#include <QString>

#include <array>
#include <cstdint>

namespace zq4 {

struct PortEntry {
    QString label;           // "Com1:" .. "Com9:"
    std::int16_t portNumber; // 1 .. 9, the list data of the entry
};

// The port list in its order; position = port number - 1.
const std::array<PortEntry, kPortCount>& PortSelection();

// The label the port list shows for a port number ("Com3:"); also names the port in
// failure descriptions, including for numbers outside the list.
QString PortLabel(int portNumber);

} // namespace zq4
