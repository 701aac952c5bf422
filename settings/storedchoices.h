#pragma once

#include "core/status.h"
#include "protocol/vocabulary.h"
#include "settings/store.h"

#include <QString>

#include <cstdint>

namespace zq4 {

// The range start-up takes a stored number in, and what stands in for a number that is missing,
// is not a decimal integer or lies outside that range.
struct ChoiceRange {
    int minimum;
    int maximum;
    int defaultValue;
};

// The range of the control each stored number feeds; port 0 and position -1 are "none selected".
inline constexpr ChoiceRange kPortRange{0, kPortCount, 1};
inline constexpr ChoiceRange kAddressRange{0, kMaxAddress, 0};
inline constexpr ChoiceRange kBrightnessRange{-1, kBrightnessCount - 1, 0};
inline constexpr ChoiceRange kMessageRange{-1, kMessageCount - 1, 0};

// The operator's last choices, as the section "Startup" of the store keeps them: the one place
// that reads and writes them. Numbers are stored as decimal text.
struct StoredChoices {
    std::int16_t port = kPortRange.defaultValue;             // Dakcomm: 1..9, 0: none
    std::int16_t address = kAddressRange.defaultValue;       // Addr: address code 0..128
    std::int16_t brightness = kBrightnessRange.defaultValue; // Brt: brightness position, -1: none
    std::int16_t message = kMessageRange.defaultValue;       // Message: message position, -1: none
    QString text;                                            // Custom: without fill spaces

    // The choices from one read, as start-up restores them: each number that is missing, is not
    // a decimal integer or lies outside its range gives its default, and the text keeps its
    // first 13 characters.
    static StoredChoices Read(SettingsStore& store);

    // What SEND stores: address, brightness, message and text, in one write (the port is stored
    // when a pick opens it). Nothing is stored when it fails.
    Status storeSent(SettingsStore& store) const;

    // The port a pick opened. A store that holds it already is not rewritten: the file would
    // come out the same, at the cost of a synced write on every start.
    static Status StorePort(SettingsStore& store, int portNumber);
};

} // namespace zq4
