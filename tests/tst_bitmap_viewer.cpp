// The bitmap viewer driven through its real widgets: picking under synthetic
// pointer moves, pictures good and bad written by the tests themselves, the
// pointer image and the window's life beside the main window.
#include "bitmap_viewer/image_frame.h"
#include "bitmap_viewer/picture_box.h"
#include "engine/cell_text.h"
#include "main_window/application_setup.h"
#include "main_window/dct_window.h"
#include "picture_io/picture_file.h"
#include "tests/support/sample_pictures.h"
#include "tests/support/testutils.h"
#include "views/square_grid.h"
#include "views/view_zoom.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace quadrel;
using quadrel::test::ScriptedWindow;

using namespace quadrel::test;

namespace {

// Neighbouring pixels differ in every component, so a misplaced read shows.
QImage Pattern(int w, int h, bool grey = false) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int k = 0; k < w * h; ++k) {
        const int x = k % w, y = k / w, g = (x * 5 + y * 3) % 256;
        image.setPixel(x, y, grey ? qRgb(g, g, g) : qRgb(x % 256, y % 256, (x * 7 + y * 13) % 256));
    }
    return image;
}

// What a point read must give, worked out from the picture, the area size and
// the pan (the picture pixel at the area's top-left corner).
ColourValue Expected(const QImage& picture, QColor background, int x, int y, QPoint pan = {}) {
    if (x < 0 || y < 0 || x >= 537 || y >= 401) {
        return -1;
    }
    x += pan.x(), y += pan.y();
    const QRgb c = picture.rect().contains(x, y) ? picture.pixel(x, y) : background.rgb();
    return qRed(c) + 256 * qGreen(c) + 65536 * qBlue(c);
}

// GIF of a grey picture, one 9-bit literal code per pixel; a clear code every
// 250 codes keeps the codes that wide, so no compressor is needed.
QByteArray GreyGif(const QImage& image) {
    const int w = image.width(), h = image.height();
    QByteArray gif("GIF89a"), data;
    const auto u16 = [&gif](int v) { gif.append(char(v & 255)).append(char(v >> 8)); };
    u16(w), u16(h), gif.append("\xF7\0\0", 3);
    for (int g = 0; g < 256 * 3; ++g) {
        gif.append(char(g / 3));
    }
    gif.append(','), u16(0), u16(0), u16(w), u16(h), gif.append("\0\x08", 2);
    quint32 bits = 0;
    int count = 0;
    const auto code = [&](int c) {
        for (bits |= quint32(c) << count, count += 9; count >= 8; count -= 8, bits >>= 8) {
            data.append(char(bits & 255));
        }
    };
    for (int k = 0; k < w * h; ++k) {
        k % 250 ? void() : code(256);
        code(qRed(image.pixel(k % w, k / w)));
    }
    code(257), code(0); // end, then flush the last partial byte
    for (qsizetype at = 0; at < data.size(); at += 255) {
        gif.append(char(data.mid(at, 255).size())).append(data.mid(at, 255));
    }
    return gif.append('\0').append(';');
}

QByteArray WithInt32(QByteArray bytes, int at, qint32 value) {
    for (int k = 0; k < 4; ++k) {
        bytes[at + k] = char((value >> (8 * k)) & 255);
    }
    return bytes;
}

// The same picture stored top row first, as a negative height says.
QByteArray TopDown(const QByteArray& bmp, int height) {
    QByteArray out = WithInt32(bmp, 22, -height);
    const int stride = (bmp.size() - 54) / height;
    for (int row = 0; row < height; ++row) {
        const qsizetype at = qsizetype{row} * stride;
        out.replace(54 + at, stride, bmp.mid(bmp.size() - at - stride, stride));
    }
    return out;
}

// An 8-bit run-length BMP that gives no image size: one run and an end of line
// for each row, then the end of the bitmap.
QByteArray RleBmp(int w, int h) {
    QByteArray data;
    for (int row = 0; row < h; ++row) {
        data.append(char(w)).append(char(row)).append("\0\0", 2);
    }
    data.append("\0\1", 2);
    QByteArray bmp = "BM" + QByteArray(52, '\0');
    bmp = WithInt32(WithInt32(bmp, 2, 54 + 1024 + data.size()), 10, 54 + 1024);
    bmp = WithInt32(WithInt32(WithInt32(bmp, 14, 40), 18, w), 22, h);
    bmp = WithInt32(WithInt32(bmp, 26, 1 | 8 << 16), 30, 1); // 1 plane, 8 bits; RLE8
    for (int g = 0; g < 256; ++g) {
        bmp.append(char(g)).append(char(g)).append(char(g)).append('\0');
    }
    return bmp + data;
}

// The JPEG with its frame header claiming another size.
QByteArray ClaimingSize(QByteArray jpeg, int w, int h) {
    const qsizetype sof = jpeg.indexOf("\xFF\xC0");
    jpeg[sof + 5] = char(h >> 8), jpeg[sof + 6] = char(h & 255);
    jpeg[sof + 7] = char(w >> 8), jpeg[sof + 8] = char(w & 255);
    return jpeg;
}

void SendMove(QWidget* widget, QPointF at) {
    // QTest::mouseMove without a button only moves the cursor; send the event.
    QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

} // namespace

class TestBitmapViewer : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup() {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (qobject_cast<ImageFrame*>(w)) {
                delete w;
            }
        }
    }
    void pickedBlock_data();
    void pickedBlock();
    void caption_data();
    void caption();
    void pictureFiles_data();
    void pictureFiles();
    void shownPictureMatchesPointReads_data();
    void shownPictureMatchesPointReads();
    void pointer_data();
    void pointer();
    void viewBitmapLifecycleAndLivePicking();
    void largePhotoOpens();
    void largeFileThatIsNoPictureIsNotRead();
    void panningReachesTheFarCorner_data();
    void panningReachesTheFarCorner();
    void panUnderAStillPointerPicksAgain();
    void dialogFilter_data();
    void dialogFilter();
    void storedOrientation_data();
    void storedOrientation();

private:
    // A viewer on the main window's block and its scripted desktop.
    static QPointer<ImageFrame> MakeFrame(ScriptedWindow& main) {
        auto frame = std::make_unique<ImageFrame>(main.window.Document(), main.desktop);
        frame->show();
        return frame.release(); // deletes itself when closed; cleanup() sees to the rest
    }
    QString WriteFile(const QString& name, const QByteArray& bytes) {
        QFile file(dir_.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            qFatal("cannot write %s", qPrintable(file.fileName()));
        }
        return file.fileName();
    }
    QTemporaryDir dir_;
};

void TestBitmapViewer::initTestCase() {
    ConfigureApplication(*qApp);
    QVERIFY(dir_.isValid());
}

void TestBitmapViewer::pickedBlock_data() {
    QTest::addColumn<QSize>("pictureSize");
    QTest::addColumn<QPointF>("pointer");
    QTest::newRow("inside a picture larger than the area") << QSize(600, 500) << QPointF(100, 50);
    QTest::newRow("last columns of the area") << QSize(600, 500) << QPointF(533, 50);
    QTest::newRow("bottom-right pixel of the area") << QSize(600, 500) << QPointF(536, 400);
    QTest::newRow("right edge of a smaller picture") << QSize(64, 48) << QPointF(60, 10);
    QTest::newRow("corner of a smaller picture") << QSize(64, 48) << QPointF(61, 44);
    QTest::newRow("beyond a smaller picture") << QSize(64, 48) << QPointF(300, 200);
    QTest::newRow("no picture at all") << QSize(0, 0) << QPointF(5, 5);
    QTest::newRow("fractional position") << QSize(64, 48) << QPointF(10.5, 20.75);
}

void TestBitmapViewer::pickedBlock() {
    QFETCH(QSize, pictureSize);
    QFETCH(QPointF, pointer);
    ScriptedWindow main;
    QPointer<ImageFrame> frame = MakeFrame(main);
    const QImage picture = Pattern(pictureSize.width(), pictureSize.height());
    frame->Picture1()->SetPicture(picture);
    QSignalSpy changes(&main.window.Document(), &BlockDocument::BlockChanged);
    SendMove(frame->Picture1(), pointer);
    QCOMPARE(changes.size(), 1); // one announcement per move, not one per cell

    DctEngine reference = quadrel::test::ReadyEngine();
    const QColor background = frame->Picture1()->BackColor();
    const int x0 = int(pointer.x()), y0 = int(pointer.y());
    for (int i = 0; i < 8; ++i) {
        for (int j = 0; j < 8; ++j) {
            const ColourValue c = Expected(picture, background, x0 + i, y0 + j);
            QCOMPARE(frame->Picture1()->Point(pointer.x() + i, pointer.y() + j), c);
            reference.SpaceArray[i][j] = Luma(Components(c));
        }
    }
    QCOMPARE(main.window.Document().Space(), reference.SpaceArray);
    reference.PerformDCT(); // the picked block is transformed and shown
    for (int k = 0; k < 64; ++k) {
        QCOMPARE(Cell(main.window, k)->text().toStdString(),
                 TruncatedText(reference.FreqArray.Cell(k)));
        const int g = GreyLevel(reference.SpaceArray.Cell(k));
        QCOMPARE(Shape1(main.window)->Colour(k), QColor(g, g, g));
    }
}

void TestBitmapViewer::caption_data() {
    QTest::addColumn<QPointF>("pointer");
    QTest::addColumn<QRgb>("colour");
    QTest::addColumn<QString>("caption");
    QTest::newRow("example") << QPointF(12, 34) << qRgb(200, 100, 50)
                             << "x=12 y=34      Y=124 R=200 G=100 B=50";
    QTest::newRow("origin, black")
        << QPointF(0, 0) << qRgb(0, 0, 0) << "x=0 y=0      Y=0 R=0 G=0 B=0";
    QTest::newRow("grey 23 comes out 22")
        << QPointF(536, 400) << qRgb(23, 23, 23) << "x=536 y=400      Y=22 R=23 G=23 B=23";
    QTest::newRow("fractional position")
        << QPointF(7.5, 0.25) << qRgb(0, 0, 255) << "x=7.5 y=0.25      Y=28 R=0 G=0 B=255";
}

void TestBitmapViewer::caption() {
    QFETCH(QPointF, pointer);
    QFETCH(QRgb, colour);
    QFETCH(QString, caption);
    ScriptedWindow main;
    QPointer<ImageFrame> frame = MakeFrame(main);
    QImage picture(600, 500, QImage::Format_RGB32);
    picture.fill(colour);
    frame->Picture1()->SetPicture(picture);
    const auto* label = Find<QLabel>(*frame, "Label1_0");
    QCOMPARE(label->text(), QStringLiteral("Label1"));
    SendMove(frame->Picture1(), pointer);
    QCOMPARE(label->text(), caption);
}

void TestBitmapViewer::pictureFiles_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("problem"); // empty: the picture loads
    QTest::addColumn<QImage>("expected"); // what a lossless picture shows
    const QImage source = Pattern(40, 30);
    const QByteArray bmp = Encoded(source, "bmp");
    const QByteArray jpeg = Encoded(source, "jpeg");
    const QByteArray progressive = Encoded(source, "jpeg", -1, true);
    const QByteArray gif = GreyGif(Pattern(40, 30, true));
    QByteArray garbage(3000, '\0');
    QRandomGenerator random(7);
    for (char& c : garbage) {
        c = char(random.bounded(256));
    }
    QTest::newRow("BMP") << bmp << QString() << source;
    QTest::newRow("JPEG") << jpeg << QString() << QImage();
    QTest::newRow("progressive JPEG") << progressive << QString() << QImage();
    QTest::newRow("GIF") << gif << QString() << Pattern(40, 30, true);
    QTest::newRow("zero bytes") << QByteArray() << "empty" << QImage();
    QTest::newRow("random garbage") << garbage << "not a JPEG, GIF, Windows bitmap" << QImage();
    const QByteArray webp = Encoded(source, "webp", 100); // 100: lossless
    QTest::newRow("WebP") << webp << QString() << source;
    QTest::newRow("truncated WebP") << webp.chopped(30) << "truncated" << QImage();
    QTest::newRow("WebP with a chunk beyond its end")
        << WithInt32(webp, 16, int(webp.size())) << "corrupt" << QImage();
    // Shown upright, as the camera was held: 30 x 40.
    QTest::newRow("JPEG stored on its side")
        << WithExifOrientation(jpeg, 6) << QString()
        << QImage::fromData(jpeg).transformed(QTransform().rotate(90));
    const QByteArray png = Encoded(source, "png");
    const QByteArray tiff = Encoded(source, "tiff");
    const QByteArray ppm = Encoded(source, "ppm");
    const QImage grey = Pattern(40, 30, true).convertToFormat(QImage::Format_Grayscale8);
    const QByteArray pgm = Encoded(grey, "pgm");
    QByteArray plainPgm = "P2\n# written by hand\n40 30\n255\n";
    for (int k = 0; k < 40 * 30; ++k) {
        plainPgm +=
            QByteArray::number(qGray(grey.pixel(k % 40, k / 40))) + (k % 40 == 39 ? "\n" : " ");
    }
    QByteArray badCrc = png;
    badCrc[png.indexOf("IDAT") + 10] = char(badCrc[png.indexOf("IDAT") + 10] ^ 1);
    QTest::newRow("PNG") << png << QString() << source;
    QTest::newRow("TIFF") << tiff << QString() << source;
    QTest::newRow("PPM") << ppm << QString() << source;
    QTest::newRow("PGM") << pgm << QString() << Pattern(40, 30, true);
    QTest::newRow("plain PGM") << plainPgm << QString() << Pattern(40, 30, true);
    QTest::newRow("truncated PNG") << png.chopped(20) << "truncated" << QImage();
    QTest::newRow("PNG with a damaged chunk") << badCrc << "corrupt" << QImage();
    QTest::newRow("truncated TIFF") << tiff.left(tiff.size() / 2) << "truncated" << QImage();
    QTest::newRow("truncated PPM") << ppm.chopped(1) << "truncated" << QImage();
    QTest::newRow("truncated plain PGM") << plainPgm.chopped(40) << "truncated" << QImage();
    QTest::newRow("PGM claiming 100000 x 100000")
        << QByteArray("P5 100000 100000 255\n") + pgm.right(1200) << "100000 x 100000 pixels"
        << QImage();
    QTest::newRow("truncated BMP") << bmp.left(bmp.size() - 100) << "truncated" << QImage();
    QTest::newRow("BMP header only") << bmp.left(54) << "truncated" << QImage();
    QTest::newRow("truncated JPEG") << jpeg.chopped(60) << "truncated" << QImage();
    QTest::newRow("truncated progressive JPEG")
        << progressive.chopped(40) << "truncated" << QImage();
    QTest::newRow("JPEG without a scan") << jpeg.left(200) << "truncated" << QImage();
    QTest::newRow("truncated GIF") << gif.left(gif.size() / 2) << "truncated" << QImage();
    QTest::newRow("GIF header only") << gif.left(13) << "truncated" << QImage();
    QTest::newRow("BMP claiming 100000 x 100000")
        << WithInt32(WithInt32(bmp, 18, 100000), 22, 100000) << "100000 x 100000 pixels"
        << QImage();
    QTest::newRow("BMP claiming width 0") << WithInt32(bmp, 18, 0) << "0 x 30" << QImage();
    QByteArray gifBomb = gif;
    for (int at : {6, 7, 8, 9, 786, 787, 788, 789}) { // screen and picture size
        gifBomb[at] = '\xFF';
    }
    QTest::newRow("GIF claiming 65535 x 65535") << gifBomb << "65535 x 65535 pixels" << QImage();
    QTest::newRow("top-down BMP") << TopDown(bmp, 30) << QString() << source;
    const QByteArray rle = RleBmp(40, 30);
    QTest::newRow("RLE BMP") << rle << QString() << QImage();
    QTest::newRow("truncated RLE BMP, no image size") << rle.chopped(60) << "truncated" << QImage();
    // The decoder fills what a damaged scan lacks and reports no error.
    const QByteArray larger = Encoded(Pattern(160, 120), "jpeg");
    QTest::newRow("half a JPEG, then an end marker")
        << larger.left(larger.size() * 2 / 3) + "\xFF\xD9"
        << "truncated" << QImage();
    QTest::newRow("JPEG claiming 5790 x 5790")
        << ClaimingSize(larger, 5790, 5790) << "truncated" << QImage();
    // Damage that Qt decodes into a garbled picture with no more than a warning.
    QTest::newRow("JPEG with 200 scan bytes changed: bad codes")
        << WithDamagedScan(Encoded(Pattern(320, 240), "jpeg"), 200, 1)
        << "corrupt (Corrupt JPEG data: bad Huffman code)" << QImage();
    QTest::newRow("JPEG with 200 scan bytes changed: data left over")
        << WithDamagedScan(larger, 200, 2) << "corrupt (Corrupt JPEG data: 119 extraneous bytes"
        << QImage();
    QTest::newRow("JPEG with stray bytes between its headers, as cameras write")
        << WithStrayHeaderBytes(jpeg, 3) << QString() << QImage();
}

void TestBitmapViewer::pictureFiles() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, problem);
    QFETCH(QImage, expected);
    const QString fileName = WriteFile(QString::fromLatin1(QTest::currentDataTag()), bytes);
    const QString missing = dir_.filePath(QStringLiteral("no such picture.bmp"));
    ScriptedWindow main;
    main.desktop.answers = {fileName, QString(), missing};
    const QStringList& messages = main.desktop.messages;
    QPointer<ImageFrame> frame = MakeFrame(main);
    QSignalSpy changes(&main.window.Document(), &BlockDocument::BlockChanged);
    const Block space = main.window.Document().Space();
    const QImage before = Pattern(5, 5);
    frame->Picture1()->SetPicture(before);
    auto* load = Find<QPushButton>(*frame, "Command1");

    QTest::mouseClick(load, Qt::LeftButton);
    if (problem.isEmpty()) {
        QCOMPARE(messages, QStringList());
        QCOMPARE(frame->Picture1()->Picture().size(),
                 expected.isNull() ? QSize(40, 30) : expected.size());
        QVERIFY(expected.isNull() || frame->Picture1()->Picture() == expected);
    } else {
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].contains(fileName) && messages[0].contains(problem),
                 qPrintable(messages[0]));
        QCOMPARE(frame->Picture1()->Picture(), before);
    }
    const QImage loaded = frame->Picture1()->Picture();
    QTest::mouseClick(load, Qt::LeftButton); // cancelled: nothing at all happens
    QTest::mouseClick(load, Qt::LeftButton); // a file that has gone
    QCOMPARE(frame->Picture1()->Picture(), loaded);
    QVERIFY(messages.constLast().contains(missing));
    QCOMPARE(messages.size(), problem.isEmpty() ? 1 : 2);
    QCOMPARE(changes.size(), 0); // loading never touches the block
    QCOMPARE(main.window.Document().Space(), space);
}

void TestBitmapViewer::shownPictureMatchesPointReads_data() {
    QTest::addColumn<QSize>("pictureSize");
    QTest::addColumn<int>("zoom");
    QTest::addColumn<int>("scale"); // screen pixels per picture pixel, across and down
    QTest::newRow("larger than the area: clipped") << QSize(700, 450) << 100 << 1;
    QTest::newRow("smaller: background beyond it") << QSize(64, 48) << 100 << 1;
    QTest::newRow("150 %: still unscaled") << QSize(700, 450) << 150 << 1;
    QTest::newRow("200 %: twice as large") << QSize(700, 450) << 200 << 2;
    QTest::newRow("200 %, smaller picture") << QSize(64, 48) << 200 << 2;
}

// Each picture pixel is drawn as scale x scale screen pixels, none blended;
// point reads and picking take the pixel the pointer is over, the pan too.
void TestBitmapViewer::shownPictureMatchesPointReads() {
    QFETCH(QSize, pictureSize);
    QFETCH(int, zoom);
    QFETCH(int, scale);
    ScriptedWindow main;
    QPointer<ImageFrame> frame = MakeFrame(main);
    const QImage picture = Pattern(pictureSize.width(), pictureSize.height());
    frame->Picture1()->SetPicture(picture);
    ApplyZoom(zoom); // the open viewer follows
    const auto restore = qScopeGuard([] { ApplyZoom(100); });
    PictureBox* area = frame->Picture1();
    const QColor background = area->BackColor();
    const QImage shown = area->grab().toImage();
    QCOMPARE(shown.size(), QSize(537, 401));
    for (int y = 0; y < shown.height(); y += 3) {
        for (int x = 0; x < shown.width(); x += 5) {
            const QRgb c = shown.pixel(x, y);
            const double px = double(x) / scale, py = double(y) / scale;
            QCOMPARE(area->Point(px, py), qRed(c) + 256 * qGreen(c) + 65536 * qBlue(c));
            QCOMPARE(area->Point(px, py), Expected(picture, background, x / scale, y / scale));
        }
    }
    QCOMPARE(area->Point(537.0 / scale, 0), -1);
    QCOMPARE(area->Point(0, 401.0 / scale), -1);
    QCOMPARE(area->Point(-0.5, 0), -1);

    // Panned where the picture is larger, the pointer at screen (101, 51) picks
    // from the picture pixel under it.
    const QPoint pan = area->ShownSize().width() < picture.width() ? QPoint(16, 8) : QPoint();
    area->SetOrigin(pan);
    SendMove(area, QPointF(101, 51));
    const int x0 = 101 / scale + pan.x(), y0 = 51 / scale + pan.y();
    QCOMPARE(Find<QLabel>(*frame, "Label1_0")->text().section(QLatin1Char(' '), 0, 1),
             QStringLiteral("x=%1 y=%2").arg(101.0 / scale + pan.x()).arg(51.0 / scale + pan.y()));
    Block expected{};
    for (int i = 0; i < 8; ++i) {
        for (int j = 0; j < 8; ++j) {
            expected[i][j] = Luma(
                Components(Expected(picture, background, x0 + i - pan.x(), y0 + j - pan.y(), pan)));
        }
    }
    QCOMPARE(main.window.Document().Space(), expected);
}

void TestBitmapViewer::pointer_data() {
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<bool>("custom");
    QTest::addColumn<int>("scale");
    QTest::newRow("box.ico beside the program") << ProgramFolder() + "/box.ico" << true << 1;
    QTest::newRow("box.ico around 2x2 pixels") << ProgramFolder() + "/box.ico" << true << 2;
    QTest::newRow("missing") << dir_.filePath(QStringLiteral("none.ico")) << false << 1;
    QTest::newRow("unreadable") << WriteFile(QStringLiteral("bad.ico"), "\0\0\1\0garbage") << false
                                << 2;
}

void TestBitmapViewer::pointer() {
    QFETCH(QString, fileName);
    QFETCH(bool, custom);
    QFETCH(int, scale);
    const QCursor cursor = PointerFromIconFile(fileName, scale);
    QCOMPARE(cursor.shape(), custom ? Qt::BitmapCursor : Qt::ArrowCursor);
    if (!custom) {
        return;
    }
    QCOMPARE(cursor.hotSpot(), QPoint(0, 0));
    // The picked 8x8 pixels show through; the box closes just right of and below them.
    const QImage image = cursor.pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    const int s = scale, box = 8 * s;
    QCOMPARE(image.size(), QSize(32, 32) * s);
    for (int k = 0; k < box * box; ++k) {
        QCOMPARE(qAlpha(image.pixel(k % box, k / box)), 0);
    }
    for (int k = 0; k < box + s; ++k) {
        QCOMPARE(image.pixel(box + s - 1, k), qRgb(0, 0, 0));
        QCOMPARE(image.pixel(k, box + s - 1), qRgb(0, 0, 0));
    }
}

void TestBitmapViewer::viewBitmapLifecycleAndLivePicking() {
    const QImage picture = Pattern(64, 48);
    const QString fileName = WriteFile(QStringLiteral("pattern.bmp"), Encoded(picture, "bmp"));
    const QString empty = WriteFile(QStringLiteral("empty.gif"), QByteArray());
    ScriptedWindow scripted;
    scripted.desktop.answers = {empty, fileName, fileName};
    scripted.desktop.realMessages = true;
    DCT& main = scripted.window;
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    const Block started = main.Document().Space();

    // The first picture fails: the real message box says why, and the empty
    // viewer opens all the same, ready for "Load Image".
    QString message;
    QTimer::singleShot(0, [&message] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            message = box->text();
            box->accept();
        }
    });
    Command1(main, 10)->click();
    QVERIFY2(message.contains(empty) && message.contains(QStringLiteral("empty")),
             qPrintable(message));
    QPointer<ImageFrame> frame = OpenWindow<quadrel::ImageFrame>();
    QVERIFY(frame && frame->isVisible() && frame->parent() == nullptr);
    QVERIFY(frame->Picture1()->Picture().isNull());
    QCOMPARE(frame->windowTitle(), QStringLiteral("DCT Bitmap Viewer"));
    QCOMPARE(frame->size(), QSize(555, 473)); // 8325 x 7095 twips
    QCOMPARE(frame->Picture1()->geometry(), QRect(8, 16, 537, 401));
    auto* load = Find<QPushButton>(*frame, "Command1");
    QCOMPARE(load->text(), QStringLiteral("Load Image"));
    QCOMPARE(load->nextInFocusChain(), frame->Picture1());
    QCOMPARE(frame->Picture1()->cursor().shape(), Qt::BitmapCursor);
    QCOMPARE(scripted.desktop.dialogs.size(), 1);
    QCOMPARE(scripted.desktop.dialogs[0].filter, kPictureFilter);
    QCOMPARE(scripted.desktop.dialogs[0].preset, ProgramFolder() + "/*.jpg");
    QTest::mouseClick(load, Qt::LeftButton);
    QCOMPARE(frame->Picture1()->Picture(), picture);
    Command1(main, 10)->click(); // present: shown and raised, no dialog
    QCOMPARE(OpenWindow<quadrel::ImageFrame>(), frame.data());
    QCOMPARE(scripted.desktop.dialogs.size(), 2);
    QVERIFY(main.Document().Space() == started); // loading alone changes no block

    // A move copies the block under the pointer and repaints the main window at once.
    quadrel::test::PaintCounter counter(&main);
    SendMove(frame->Picture1(), QPointF(60, 44));
    QVERIFY(counter.Count() > 0); // inside the move, not at the next idle moment
    for (int k = 0; k < 64; ++k) {
        const int x = 60 + k % 8, y = 44 + k / 8;
        const int l = Luma(Components(Expected(picture, frame->Picture1()->BackColor(), x, y)));
        QCOMPARE(main.Document().Space()[k % 8][k / 8], double(l));
        QCOMPARE(Shape1(main)->Colour(k), QColor(l, l, l));
    }
    const auto picked = main.Document().Space();

    // A button press closes the viewer; the block of the last move stays.
    QTest::mousePress(frame->Picture1(), Qt::RightButton, Qt::ShiftModifier, QPoint(3, 3));
    QTRY_VERIFY(frame.isNull());
    QVERIFY(main.Document().Space() == picked);
    Command1(main, 10)->click(); // created anew: the dialog comes again
    QCOMPARE(scripted.desktop.dialogs.size(), 3);
    frame = OpenWindow<quadrel::ImageFrame>();
    QVERIFY(frame && frame->isVisible());
    main.close(); // the viewer goes with the main window
    QTRY_VERIFY(frame.isNull());
}

void TestBitmapViewer::largePhotoOpens() {
    // 36 megapixels, beyond Qt's own 128 MB limit, in a small file.
    QImage photo(6000, 6000, QImage::Format_Grayscale8);
    for (int y = 0; y < photo.height(); ++y) {
        memset(photo.scanLine(y), y % 256, static_cast<size_t>(photo.bytesPerLine()));
    }
    const Result<QImage> load = DecodePicture(Encoded(photo, "jpeg"), Qt::white);
    QCOMPARE(load.Message(), std::string());
    QCOMPARE(load->size(), photo.size());
    QCOMPARE(qRed(load->pixel(5999, 300)), 300 % 256);
}

void TestBitmapViewer::panningReachesTheFarCorner_data() {
    QTest::addColumn<bool>("snap");
    QTest::addColumn<QPoint>("farthest"); // the pan at the end of both scroll bars
    QTest::addColumn<QPoint>("corner");   // picked block's top-left, in the picture
    // 1203 x 805: neither side a multiple of 8. The pointer rests on the
    // picture's last pixel.
    QTest::newRow("free") << false << QPoint(666, 404) << QPoint(1202, 804);
    QTest::newRow("snapped to the grid") << true << QPoint(672, 408) << QPoint(1200, 800);
}

void TestBitmapViewer::panningReachesTheFarCorner() {
    QFETCH(bool, snap);
    QFETCH(QPoint, farthest);
    QFETCH(QPoint, corner);
    ScriptedWindow main;
    QPointer<ImageFrame> frame = MakeFrame(main);
    Find<QCheckBox>(*frame, "snapToGrid")->setChecked(snap);
    const QImage picture = Pattern(1203, 805);
    frame->Picture1()->SetPicture(picture);
    PictureBox* area = frame->Picture1();
    QScrollBar* across = Find<QScrollBar>(*frame, "horizontalBar");
    QScrollBar* down = Find<QScrollBar>(*frame, "verticalBar");
    QVERIFY(across->isVisible() && down->isVisible());
    // Beside the area, never over it or the button.
    QVERIFY(!across->geometry().intersects(area->geometry()));
    QVERIFY(!down->geometry().intersects(area->geometry()));
    QVERIFY(!across->geometry().intersects(Find<QPushButton>(*frame, "Command1")->geometry()));
    QVERIFY(frame->rect().contains(down->geometry()) && frame->rect().contains(across->geometry()));

    // The wheel pans down three grid steps a notch, Shift sideways.
    QWheelEvent notch(QPointF(5, 5), area->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(area, &notch);
    QCOMPARE(area->Origin(), QPoint(0, 24));
    QWheelEvent sideways(QPointF(5, 5), area->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120),
                         Qt::NoButton, Qt::ShiftModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(area, &sideways);
    QCOMPARE(area->Origin(), QPoint(24, 24));

    across->triggerAction(QAbstractSlider::SliderToMaximum);
    down->triggerAction(QAbstractSlider::SliderToMaximum);
    QCOMPARE(area->Origin(), farthest);
    const QImage shown = area->grab().toImage();
    for (int k = 0; k < 200; ++k) {
        const int x = 536 - k % 20 * 17, y = 400 - k / 20 * 23;
        const QRgb c = shown.pixel(x, y);
        QCOMPARE(Expected(picture, area->BackColor(), x, y, farthest),
                 qRed(c) + 256 * qGreen(c) + 65536 * qBlue(c));
    }

    const QPoint last(1202, 804);
    SendMove(area, QPointF(last - farthest));
    const Block picked = main.window.Document().Space();
    frame->Picture1()->SetPicture(Pattern(1000, 300)); // shown from its corner again
    QCOMPARE(area->Origin(), QPoint());
    QVERIFY(!down->isVisible());
    frame->Picture1()->SetPicture(picture);
    const QString caption = Find<QLabel>(*frame, "Label1_0")->text();
    QVERIFY2(caption.startsWith(QStringLiteral("x=1202 y=804 ")), qPrintable(caption));
    for (int k = 0; k < 64; ++k) {
        const QPoint at = corner - farthest + QPoint(k % 8, k / 8);
        const int l =
            Luma(Components(Expected(picture, area->BackColor(), at.x(), at.y(), farthest)));
        QCOMPARE(picked[k % 8][k / 8], double(l));
    }
}

void TestBitmapViewer::dialogFilter_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("qtFilter");
    // On Linux "*.*" would hide every name without a dot, such as a saved "myblock".
    QTest::newRow("pictures")
        << kPictureFilter
        << "graphic files, jpg/gif/bmp/png/tif/webp/pbm/pgm/ppm (*.jpg *.jpeg *.gif *.bmp *.png "
           "*.tif *.tiff *.webp *.pbm *.pgm *.ppm);;all files (*)";
    QTest::newRow("blocks") << "text, csv files|*.txt;*.csv|all files|*.*"
                            << "text, csv files (*.txt *.csv);;all files (*)";
    QTest::newRow("*.* among others") << "some|*.*;*.a.*"
                                      << "some (* *.a.*)";
}

void TestBitmapViewer::dialogFilter() {
    QFETCH(QString, filter);
    QFETCH(QString, qtFilter);
    QCOMPARE(QtFilterFromPipeFilter(filter), qtFilter);
}

void TestBitmapViewer::storedOrientation_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QImageIOHandler::Transformations>("stored");
    const QByteArray jpeg = Encoded(Pattern(40, 30), "jpeg");
    QTest::newRow("no Exif") << jpeg << QImageIOHandler::Transformations();
    QTest::newRow("Exif 6") << WithExifOrientation(jpeg, 6)
                            << QImageIOHandler::Transformations(
                                   QImageIOHandler::TransformationRotate90);
    QTest::newRow("Exif 3") << WithExifOrientation(jpeg, 3)
                            << QImageIOHandler::Transformations(
                                   QImageIOHandler::TransformationRotate180);
    QTest::newRow("no picture") << QByteArray("text") << QImageIOHandler::Transformations();
}

void TestBitmapViewer::storedOrientation() {
    QFETCH(QByteArray, bytes);
    QFETCH(QImageIOHandler::Transformations, stored);
    QCOMPARE(StoredOrientation(bytes), stored);
}

void TestBitmapViewer::panUnderAStillPointerPicksAgain() {
    ScriptedWindow main;
    QPointer<ImageFrame> frame = MakeFrame(main);
    const QImage picture = Pattern(1203, 805);
    PictureBox* area = frame->Picture1();
    area->SetPicture(picture);
    SendMove(area, QPointF(100, 50));
    QWheelEvent notch(QPointF(100, 50), area->mapToGlobal(QPointF(100, 50)), QPoint(),
                      QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(area, &notch);
    const QPoint pan(0, 24);
    QCOMPARE(area->Origin(), pan);
    // The caption and the block follow the pixels now under the pointer.
    const QString caption = Find<QLabel>(*frame, "Label1_0")->text();
    QVERIFY2(caption.startsWith(QStringLiteral("x=100 y=74 ")), qPrintable(caption));
    for (int k = 0; k < 64; ++k) {
        const ColourValue c = Expected(picture, area->BackColor(), 100 + k % 8, 50 + k / 8, pan);
        QCOMPARE(main.window.Document().Space()[k % 8][k / 8], Luma(Components(c)));
    }
    // Once the pointer has left, a pan picks nothing.
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(area, &leave);
    QSignalSpy changes(&main.window.Document(), &BlockDocument::BlockChanged);
    QApplication::sendEvent(area, &notch);
    QCOMPARE(area->Origin(), QPoint(0, 48));
    QCOMPARE(changes.size(), 0);
}

void TestBitmapViewer::largeFileThatIsNoPictureIsNotRead() {
    // 900 MB of zeros, held sparse on disk: reading it whole takes seconds and
    // as much memory, its first bytes already tell that it is no picture.
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("zeros.bin")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(qint64{900} * 1024 * 1024));
    file.close();
    QElapsedTimer clock;
    clock.start();
    const quadrel::Result<QImage> load = quadrel::LoadPictureFile(file.fileName(), Qt::white);
    QVERIFY(!load);
    QVERIFY(QString::fromStdString(load.Message()).contains(QLatin1String("not a JPEG")));
    QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
}

QTEST_MAIN(TestBitmapViewer)
#include "tst_bitmap_viewer.moc"
