#include "panel/messageboxfeedback.h"

#include <QApplication>
#include <QMessageBox>

namespace zq4 {

void MessageBoxFeedback::beep() {
    QApplication::beep();
}

void MessageBoxFeedback::warn(const QString& title, const QString& text) {
    // No parent: the box can come up while the window is still being created.
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok);
    box.exec();
}

} // namespace zq4
