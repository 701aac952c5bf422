// The yardstick for the panel's start-up: a Qt Widgets window with one label, shown, and
// nothing else. It has the panel window's size, so that both draw into as many pixels and the
// comparison is of the programs, not of their windows' areas.
#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    QLabel label(QStringLiteral("Bare Qt window"), &window);
    window.setFixedSize(296, 281);
    window.show();
    return app.exec();
}
