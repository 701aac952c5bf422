#pragma once

#include <QString>

namespace zq4 {

// What the operator is shown when a port step fails.
class OperatorFeedback {
public:
    virtual ~OperatorFeedback() = default;
    virtual void beep() = 0;
    // A modal warning box: exclamation icon, one OK button; returns when it is dismissed.
    virtual void warn(const QString& title, const QString& text) = 0;
};

} // namespace zq4
