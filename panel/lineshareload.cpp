#include "panel/linesharehost.h"

#include "serial/lineshareloader.h"

namespace zq4 {

std::unique_ptr<QObject> LoadLineShareHost(const LineShareHostParts& parts, QString& error) {
    using Make = QObject* (*)(const LineShareHostParts&);
    const auto make = reinterpret_cast<Make>(LineShareFunction("zq4MakeLineShareHost", error));
    return std::unique_ptr<QObject>(make != nullptr ? make(parts) : nullptr);
}

} // namespace zq4
