#include "protocol/frame.h"

#include <QList>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Any stored custom text is restored as at most 13 characters (a text that short unchanged), and
// the frame sent with it is always whole: 18 bytes with the end marker only at its end.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString stored =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString restored = zq4::RestoredCustomText(stored);
    const QByteArray frame = zq4::BuildFrame({restored, 3, 163, 128});
    if (restored.toUcs4().size() > zq4::kTextFieldLength ||
        (stored.toUcs4().size() <= zq4::kTextFieldLength && restored != stored) ||
        frame.size() != zq4::kFrameLength || frame.indexOf("\xFF\xFE") != zq4::kFrameLength - 2) {
        std::abort();
    }
    return 0;
}
