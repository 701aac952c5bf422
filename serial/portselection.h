#pragma once

#include <QString>

#include <array>
#include <cstdint>

namespace zq4 {

struct PortEntry {
    QString label;            // "Com1:" .. "Com9:"
    std::int16_t portNumber;  // 1 .. 9, the list data of the entry
};

inline constexpr int kPortCount = 9;

// The port list in its order; position = port number - 1.
const std::array<PortEntry, kPortCount>& PortSelection();

} // namespace zq4
