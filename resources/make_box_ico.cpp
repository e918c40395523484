// Draws the bitmap viewer's pointer, box.ico, and writes it to the path given.
//
// The pointer's hot spot is its top-left pixel (0, 0), which is the top-left
// pixel of the picked 8x8 block. Pixels (0..7, 0..7) stay transparent so that
// the picked pixels show through; a black line just right of and below them
// (column 8, row 8) closes the box, with a white line outside it (column 9,
// row 9) so that the box shows on dark and light pictures alike. A short tail
// from the box's bottom-right corner makes it easy to find.
//
// Icon files carry no hot spot, so the viewer sets (0, 0) when it loads the file.
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>

#include <cstdio>

namespace {

QImage BoxPointer() {
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    const QRgb black = qRgba(0, 0, 0, 255);
    const QRgb white = qRgba(255, 255, 255, 255);
    for (int k = 0; k <= 8; ++k) {
        image.setPixel(8, k, black);
        image.setPixel(k, 8, black);
    }
    for (int k = 0; k <= 9; ++k) {
        image.setPixel(9, k, white);
        image.setPixel(k, 9, white);
    }
    for (int k = 10; k <= 15; ++k) {
        image.setPixel(k, k, black);
        image.setPixel(k + 1, k, white);
        image.setPixel(k, k + 1, white);
    }
    return image;
}

} // namespace

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_box_ico <output.ico>\n");
        return 2;
    }
    QImageWriter writer(QString::fromLocal8Bit(argv[1]), "ico");
    if (!writer.write(BoxPointer())) {
        std::fprintf(stderr, "make_box_ico: %s\n", qPrintable(writer.errorString()));
        return 1;
    }
    return 0;
}
