// The yardstick for the panel's start-up: a Qt Widgets window with one label, shown, and
// nothing else.
#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    QLabel label(QStringLiteral("Bare Qt window"), &window);
    window.show();
    return app.exec();
}
