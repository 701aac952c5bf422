#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>
#include <cstdlib>

namespace {

// The SVG drawn into a transparent square of size x size pixels; a null image if it cannot be read.
QImage renderSvg(const QString& path, int size) {
    QSvgRenderer renderer(path);
    if (!renderer.isValid()) {
        return {};
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    return image;
}

} // namespace

// Makes the PNG icons that the desktop's icon theme takes, from the committed artwork:
// rendericon <input.svg|input.xpm> <size> <output.png>
// An SVG is drawn at the size; an XPM, hand-tuned for one size, must already have it.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    bool sizeOk = false;
    const int size = arguments.size() == 4 ? arguments.at(2).toInt(&sizeOk) : 0;
    if (!sizeOk || size <= 0) {
        std::fprintf(stderr, "usage: rendericon <input.svg|input.xpm> <size> <output.png>\n");
        return EXIT_FAILURE;
    }
    const QString& input = arguments.at(1);
    const QImage image =
        input.endsWith(QStringLiteral(".svg")) ? renderSvg(input, size) : QImage(input, "XPM");
    if (image.isNull()) {
        std::fprintf(stderr, "rendericon: cannot read %s\n", qPrintable(input));
        return EXIT_FAILURE;
    }
    if (image.size() != QSize(size, size)) {
        std::fprintf(stderr, "rendericon: %s is %dx%d, not %dx%d\n", qPrintable(input),
                     image.width(), image.height(), size, size);
        return EXIT_FAILURE;
    }
    if (!image.save(arguments.at(3), "PNG")) {
        std::fprintf(stderr, "rendericon: cannot write %s\n", qPrintable(arguments.at(3)));
        return EXIT_FAILURE;
    }
    return EXIT_SUCCESS;
}
