#include "settings/store.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace zq4 {
namespace {

TEST(StoredIntegerTest, AcceptsOnlyPlainDecimalIntegersInRange) {
    struct Case {
        QString text;
        int minimum;
        int maximum;
        std::optional<std::int16_t> expected;
    };
    const std::vector<Case> cases = {
        {"0", 0, 128, 0},
        {"128", 0, 128, 128},
        {"-1", -1, 3, -1},
        {"3", -1, 3, 3},
        {"007", 0, 9, 7},
        {"-0", 0, 9, 0},
        {"0000000000000000000000000000001", 0, 9, 1},
        {"-32768", INT_MIN, INT_MAX, -32768},
        {"32767", INT_MIN, INT_MAX, 32767},
        // Not a plain decimal integer.
        {"", 0, 9, std::nullopt},
        {"-", 0, 9, std::nullopt},
        {"--1", -9, 9, std::nullopt},
        {"+1", 0, 9, std::nullopt},
        {" 1", 0, 9, std::nullopt},
        {"1 ", 0, 9, std::nullopt},
        {"- 1", -9, 9, std::nullopt},
        {"1.0", 0, 9, std::nullopt},
        {"1e2", 0, 999, std::nullopt},
        {"0x10", 0, 99, std::nullopt},
        {"12a", 0, 99, std::nullopt},
        {QString::fromUtf8("\xEF\xBC\x91"), 0, 9, std::nullopt}, // fullwidth one
        {QString::fromUtf8("\xD9\xA3"), 0, 9, std::nullopt},     // Arabic-Indic three
        // Out of range, on either side, or beyond what 16 or 64 bits hold.
        {"129", 0, 128, std::nullopt},
        {"-1", 0, 128, std::nullopt},
        {"-2", -1, 3, std::nullopt},
        {"32768", INT_MIN, INT_MAX, std::nullopt},
        {"-32769", INT_MIN, INT_MAX, std::nullopt},
        {"65537", INT_MIN, INT_MAX, std::nullopt},
        {"4294967297", INT_MIN, INT_MAX, std::nullopt},
        {"18446744073709551617", INT_MIN, INT_MAX, std::nullopt},
        {"99999999999999999999", 0, 128, std::nullopt},
        {"-99999999999999999999", -1, 128, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StoredInteger(c.text, c.minimum, c.maximum), c.expected)
            << '"' << c.text.toStdString() << "\" in [" << c.minimum << ", " << c.maximum << ']';
    }
}

} // namespace
} // namespace zq4
