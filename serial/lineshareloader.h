#pragma once

#include "core/status.h"
#include "protocol/frame.h"

#include <QString>

#include <functional>
#include <optional>

namespace zq4 {

// Asked while a script waits for the window: an answer that is not empty names what ends the
// wait ("SIGTERM").
using ShareInterruption = std::function<QString()>;

// The code of the line a window shares with scripts (serial/lineshare.h, panel/linesharehost.h)
// is a module of its own, zq4-lineshare, loaded on first use: Qt's network library, and what
// Debian's brings along (Kerberos, libproxy), then cost nothing to the window's start. It is
// found beside the program, or where it is installed. A function of the module by its name, or
// null, and `error` says why.
QFunctionPointer LineShareFunction(const char* name, QString& error);

// HandFrameToWindow (serial/lineshare.h), run from the module. When the module cannot be loaded
// no window is asked: no value, and `error` says why.
std::optional<Status> HandFrameToWindowThroughModule(const QString& device, const QString& where,
                                                     const FrameInputs& inputs,
                                                     const ShareInterruption& interruption,
                                                     QString& error);

} // namespace zq4
