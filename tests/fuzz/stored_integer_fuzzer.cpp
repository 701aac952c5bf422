#include "settings/store.h"

#include <QRegularExpression>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Stored text of any shape: a value comes back only for plain decimal text inside the range,
// and then it is exactly the number the text spells.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    static const QRegularExpression decimal(
        QRegularExpression::anchoredPattern(QStringLiteral("-?[0-9]+")));
    for (const auto& [minimum, maximum] :
         {std::pair{-1, 163}, std::pair{0, 128}, std::pair{0, 9}}) {
        const auto value = zq4::StoredInteger(text, minimum, maximum);
        bool fits = false;
        const qlonglong spelled = text.toLongLong(&fits);
        const bool expected =
            decimal.match(text).hasMatch() && fits && spelled >= minimum && spelled <= maximum;
        if (value.has_value() != expected || (value && *value != spelled)) {
            std::abort();
        }
    }
    return 0;
}
