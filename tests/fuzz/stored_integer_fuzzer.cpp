#include "settings/store.h"

#include <QString>

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

// Stored text of any shape: a value comes back only for plain decimal text inside the range,
// and then it is exactly the number the text spells, as the standard library reads it.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::string utf8 = text.toStdString();
    long long spelled = 0;
    const auto [end, error] = std::from_chars(utf8.data(), utf8.data() + utf8.size(), spelled);
    // from_chars takes exactly an optional '-' and ASCII digits; text past them is not a number.
    const bool number = !utf8.empty() && error == std::errc() && end == utf8.data() + utf8.size();
    for (const auto& [minimum, maximum] : {std::pair{-1, 163}, {0, 128}, {0, 9}}) {
        const auto value = zq4::StoredInteger(text, minimum, maximum);
        const bool expected = number && spelled >= minimum && spelled <= maximum;
        if (value.has_value() != expected || (value && *value != spelled)) {
            std::abort();
        }
    }
    return 0;
}
