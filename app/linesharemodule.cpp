// The module zq4-lineshare: the code of the line a window shares with its user's scripts, which
// needs Qt's network library. The programs load it when they first need it
// (serial/lineshareloader.h), so that the library costs nothing to the window's start.
#include "panel/linesharehost.h"
#include "serial/lineshare.h"

extern "C" {

Q_DECL_EXPORT void zq4HandFrameToWindow(const QString& device, const QString& where,
                                        const zq4::FrameInputs& inputs,
                                        const zq4::ShareInterruption& interruption,
                                        std::optional<zq4::Status>& outcome) {
    outcome = zq4::HandFrameToWindow(device, where, inputs, interruption);
}

Q_DECL_EXPORT QObject* zq4MakeLineShareHost(const zq4::LineShareHostParts& parts) {
    return zq4::MakeLineShareHost(parts).release();
}

} // extern "C"
