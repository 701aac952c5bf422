#include <QCoreApplication>
#include <QImage>

#include <cstdio>
#include <cstdlib>

// Converts one of the committed XPM images into the PNG that the desktop's icon theme takes:
// xpmtopng <input.xpm> <output.png>
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() != 3) {
        std::fprintf(stderr, "usage: xpmtopng <input.xpm> <output.png>\n");
        return EXIT_FAILURE;
    }
    const QImage image(arguments.at(1), "XPM");
    if (image.isNull() || !image.save(arguments.at(2), "PNG")) {
        std::fprintf(stderr, "xpmtopng: cannot convert %s\n", qPrintable(arguments.at(1)));
        return EXIT_FAILURE;
    }
    return EXIT_SUCCESS;
}
