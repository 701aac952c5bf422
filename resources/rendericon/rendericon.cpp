#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QtEndian>

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

// The artwork at one size: an SVG is drawn at it; an XPM, hand-tuned for one size, must already
// have it. Says why on stderr and gives a null image when it cannot be had.
QImage artwork(const QString& input, int size) {
    const QImage image =
        input.endsWith(QStringLiteral(".svg")) ? renderSvg(input, size) : QImage(input, "XPM");
    if (image.isNull()) {
        std::fprintf(stderr, "rendericon: cannot read %s\n", qPrintable(input));
        return {};
    }
    if (image.size() != QSize(size, size)) {
        std::fprintf(stderr, "rendericon: %s is %dx%d, not %dx%d\n", qPrintable(input),
                     image.width(), image.height(), size, size);
        return {};
    }
    return image;
}

QByteArray png(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

template <class T> void append(QByteArray& bytes, T value) {
    const T little = qToLittleEndian(value);
    bytes.append(reinterpret_cast<const char*>(&little), sizeof little);
}

// A Windows icon file holding each image as PNG data, which Windows reads for every size: a
// 6-byte header, a 16-byte entry per image, then the images.
QByteArray icoFile(const QList<QImage>& images) {
    constexpr int kHeaderSize = 6;
    constexpr int kEntrySize = 16;
    QByteArray header;
    QByteArray data;
    append<quint16>(header, 0); // reserved
    append<quint16>(header, 1); // an icon, not a cursor
    append<quint16>(header, static_cast<quint16>(images.size()));
    for (const QImage& image : images) {
        const QByteArray encoded = png(image);
        // A size of 256 is written as 0.
        header.append(static_cast<char>(image.width() & 0xFF));
        header.append(static_cast<char>(image.height() & 0xFF));
        header.append('\0');         // no palette
        header.append('\0');         // reserved
        append<quint16>(header, 1);  // colour planes
        append<quint16>(header, 32); // bits per pixel
        append<quint32>(header, static_cast<quint32>(encoded.size()));
        append<quint32>(
            header, static_cast<quint32>(kHeaderSize + kEntrySize * images.size() + data.size()));
        data.append(encoded);
    }
    return header + data;
}

bool write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush()) {
        std::fprintf(stderr, "rendericon: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

int usage() {
    std::fprintf(stderr, "usage: rendericon <input.svg|input.xpm> <size> <output.png>\n"
                         "       rendericon <output.ico> <input.svg|input.xpm>:<size>...\n");
    return EXIT_FAILURE;
}

} // namespace

// Makes the icons that desktops take from the committed artwork: a PNG of one size for the icon
// themes of Linux desktops, or a Windows icon file of several sizes for the program's file.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() >= 3 && arguments.at(1).endsWith(QStringLiteral(".ico"))) {
        QList<QImage> images;
        for (const QString& argument : arguments.mid(2)) {
            bool sizeOk = false;
            const int size = argument.section(u':', -1).toInt(&sizeOk);
            if (!sizeOk || size <= 0 || size > 256) {
                return usage();
            }
            images.append(artwork(argument.section(u':', 0, -2), size));
            if (images.back().isNull()) {
                return EXIT_FAILURE;
            }
        }
        return write(arguments.at(1), icoFile(images)) ? EXIT_SUCCESS : EXIT_FAILURE;
    }
    bool sizeOk = false;
    const int size = arguments.size() == 4 ? arguments.at(2).toInt(&sizeOk) : 0;
    if (!sizeOk || size <= 0) {
        return usage();
    }
    const QImage image = artwork(arguments.at(1), size);
    return !image.isNull() && write(arguments.at(3), png(image)) ? EXIT_SUCCESS : EXIT_FAILURE;
}
