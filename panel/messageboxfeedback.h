#pragma once

#include "core/feedback.h"

namespace zq4 {

// The operator feedback of the desktop: the system beep and a modal warning message box.
class MessageBoxFeedback final : public OperatorFeedback {
public:
    void beep() override;
    // Exclamation icon, a single OK button; returns when the operator dismisses it.
    void warn(const QString& title, const QString& text) override;
};

} // namespace zq4
