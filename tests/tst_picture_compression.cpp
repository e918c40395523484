// "Compress Picture" and quadrel-cli compress: coefficients, sizes and
// reconstructions against the real encoder and decoder, Quadrel mode against
// the main window's own Quant, the block a click sends, the MCU panel of a
// colour coding, a cancelled recomputation that keeps the last result, and the
// JPEG file the window saves.
#include "compression/colour_compression.h"
#include "compression/rate_distortion.h"
#include "compression/ssim_map.h"
#include "engine/block_model.h"
#include "jpeg/coded_picture.h"
#include "jpeg/encoder_dct.h"
#include "jpeg/jfif_writer.h"
#include "jpeg/jpeg_chain.h"
#include "jpeg/jpeg_exercise.h"
#include "main_window/application_setup.h"
#include "main_window/dct_window.h"
#include "picture_compression/compress_window.h"
#include "picture_compression/jpeg_preview.h"
#include "picture_compression/zoom_view.h"
#include "picture_io/picture_file.h"
#include "rate_distortion/rate_distortion_window.h"
#include "tests/support/jpeg_scan.h"
#include "tests/support/sample_pictures.h"
#include "tests/support/testutils.h"
#include "views/block_history.h"
#include "views/square_grid.h"

#include <QAbstractButton>
#include <QApplication>
#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineSeries>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

#include <jpeglib.h>

using namespace quadrel;
using quadrel::test::ScriptedWindow;

using namespace quadrel::test;

namespace {

using quadrel::testing::ScanBytes;

/// One block as the main window codes it: Load Block, the step, Quantise; the
/// indices are read off the frequency block, the reconstruction off the squares.
void ThroughTheWindowModel(const jpeg::Samples& block, int step, jpeg::Indices& indices,
                           jpeg::Samples& squares) {
    BlockModel model;
    Block space{};
    for (int k = 0; k < kBlockCells; ++k) {
        space.Cell(k) = block[std::size_t(k)]; // both count k = x + 8 y
    }
    model.SetSpaceBlock(space);
    model.DCTandDraw();
    model.Engine().QuantScale = step;
    model.Quantise();
    for (int k = 0; k < kBlockCells; ++k) {
        indices[std::size_t(k)] = int(model.Freq().Cell(k) / step);
        squares[std::size_t(k)] = std::uint8_t(model.Grey(k));
    }
}

QImage PhotoLike(int width, int height, std::uint64_t seed) {
    const std::vector<std::uint8_t> pixels = jpeg::PhotoLikePicture(width, height, seed);
    QImage grey(width, height, QImage::Format_Grayscale8);
    for (int y = 0; y < height; ++y) {
        std::copy_n(pixels.data() + static_cast<std::ptrdiff_t>(y) * width, width,
                    grey.scanLine(y));
    }
    return grey;
}

/// Three photo-like planes as R, G and B.
QImage ColourPhoto(int width, int height, std::uint64_t seed) {
    QImage picture(width, height, QImage::Format_RGB888);
    for (int c = 0; c < 3; ++c) {
        const std::vector<std::uint8_t> plane = jpeg::PhotoLikePicture(width, height, seed + c);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                picture.scanLine(y)[3 * x + c] = plane[std::size_t(y) * width + x];
            }
        }
    }
    return picture;
}

QByteArray Run(const QString& program, const QStringList& arguments, int* status = nullptr) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000)) {
        qFatal("%s did not finish", qPrintable(program));
    }
    if (status != nullptr) {
        *status = process.exitCode();
    }
    return process.readAllStandardOutput() + (status ? process.readAllStandardError() : "");
}

double Psnr(const QImage& a, const QImage& b) {
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const double e = a.constScanLine(y)[x] - b.constScanLine(y)[x];
            sum += e * e;
        }
    }
    return 10.0 * std::log10(255.0 * 255.0 / (sum / (a.width() * a.height())));
}

/// The quantised coefficients of a one-component JPEG, row-major, block by
/// block in raster order, as libjpeg reads them from the file.
std::vector<jpeg::CoefficientBlock> CoefficientsOf(const QByteArray& file) {
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(file.constData()),
                 static_cast<unsigned long>(file.size()));
    std::vector<jpeg::CoefficientBlock> blocks;
    if (jpeg_read_header(&info, TRUE) == JPEG_HEADER_OK && info.num_components == 1) {
        jvirt_barray_ptr* arrays = jpeg_read_coefficients(&info);
        const jpeg_component_info& component = info.comp_info[0];
        for (JDIMENSION by = 0; by < component.height_in_blocks; ++by) {
            const JBLOCKARRAY row = info.mem->access_virt_barray(
                reinterpret_cast<j_common_ptr>(&info), arrays[0], by, 1, FALSE);
            for (JDIMENSION bx = 0; bx < component.width_in_blocks; ++bx) {
                jpeg::CoefficientBlock& block = blocks.emplace_back();
                std::copy_n(row[0][bx], 64, block.begin());
            }
        }
    }
    jpeg_destroy_decompress(&info);
    return blocks;
}

jpeg::Samples SamplesOf(const Block& block) {
    jpeg::Samples samples{};
    for (int k = 0; k < 64; ++k) {
        samples[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(block.Cell(k));
    }
    return samples;
}

void Click(ZoomView* view, QPoint at) {
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

/// The whole number a figure shows, whatever the locale groups its digits with.
qint64 Digits(const QString& figure) {
    QString digits = figure;
    digits.remove(QRegularExpression(QStringLiteral("\\D")));
    return digits.toLongLong();
}

// The peak of this process's resident memory, in kB, since it was last reset
// (Linux: writing 5 to clear_refs resets it).
long PeakResidentKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').value(0).toLong();
        }
    }
    return -1;
}

} // namespace

class TestPictureCompression : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        ConfigureApplication(*qApp);
        QVERIFY(dir_.isValid());
    }
    void pictureEqualsTheBlockChain_data();
    void pictureEqualsTheBlockChain();
    void photosEqualLibjpeg_data();
    void photosEqualLibjpeg();
    void compressCommand_data();
    void compressCommand();
    void quadrelModeEqualsTheWindowsQuant_data();
    void quadrelModeEqualsTheWindowsQuant();
    void quadrelCoderEqualsTheEngine_data();
    void quadrelCoderEqualsTheEngine();
    void colourWindowEqualsTheCore_data();
    void colourWindowEqualsTheCore();
    void clickSendsTheExactBlock();
    void mcuPanelShowsTheCodedMcu_data();
    void mcuPanelShowsTheCodedMcu();
    void cancelKeepsTheLastResult();
    void badPictureChangesNothing_data();
    void badPictureChangesNothing();
    void directReadsEqualQtsReader_data();
    void directReadsEqualQtsReader();
    void damagedJpegsAreRefusedInEveryForm_data();
    void damagedJpegsAreRefusedInEveryForm();
    void cutHugeJpegIsRefusedWithoutItsMemory();
    void jpegPreviewEqualsDjpeg_data();
    void jpegPreviewEqualsDjpeg();
    void previewIsPaintedBeforeThePicture();
    void saveJpegWritesTheShownFile_data();
    void saveJpegWritesTheShownFile();
    void rateDistortionChartsEqualTheCsv();
    void settingsLists_data();
    void settingsLists();
    void cancelledSweepGivesNothing();
    void colourSweepGivesColourPoints_data();
    void colourSweepGivesColourPoints();
    void colourCurvesAreColourPoints();
    void optimisedPointsAreTheFilesSizes();
    void ssimMapViewHoldsTheFiguresSsim_data();
    void ssimMapViewHoldsTheFiguresSsim();
    void exportWritesTheViewsPixels_data();
    void exportWritesTheViewsPixels();
    void escapeCloses_data();
    void escapeCloses();

private:
    QTemporaryDir dir_;
};

void TestPictureCompression::pictureEqualsTheBlockChain_data() {
    QTest::addColumn<int>("quality");
    QTest::addColumn<jpeg::TieRule>("ties");
    QTest::newRow("quality 50") << 50 << jpeg::TieRule::AwayFromZero;
    QTest::newRow("quality 97: many ties") << 97 << jpeg::TieRule::AwayFromZero;
    QTest::newRow("quality 97, ties to even") << 97 << jpeg::TieRule::ToEven;
    QTest::newRow("quality 1") << 1 << jpeg::TieRule::ToEven;
}

// The whole-picture coder takes its own fast path; block for block it must give
// what the one-block chain gives, with the DC of the block before.
void TestPictureCompression::pictureEqualsTheBlockChain() {
    QFETCH(int, quality);
    QFETCH(jpeg::TieRule, ties);
    constexpr int w = 45, h = 35;
    std::vector<std::uint8_t> pixels = jpeg::PhotoLikePicture(w, h, 21);
    const auto at = [](int x, int y) { return std::size_t(y) * std::size_t(w) + std::size_t(x); };
    for (int x = 0; x < w; ++x) { // a hard edge: extreme coefficients
        pixels[at(x, 10)] = x % 2 ? 255 : 0;
    }
    const jpeg::QuantTable table = jpeg::LuminanceTable(quality);
    const jpeg::PictureAnalysis picture =
        jpeg::AnalysePicture({pixels.data(), w, h, w}, {table, ties, 2});
    int previousDc = 0;
    for (int by = 0; by < picture.BlocksDown; ++by) {
        for (int bx = 0; bx < picture.BlocksAcross; ++bx) {
            jpeg::Samples block{};
            for (int k = 0; k < 64; ++k) {
                const int x = std::min(bx * 8 + k % 8, w - 1), y = std::min(by * 8 + k / 8, h - 1);
                block[std::size_t(k)] = pixels[at(x, y)];
            }
            const jpeg::BlockAnalysis one =
                jpeg::AnalyseBlock(block, {table, previousDc, 64, ties});
            previousDc = one.Quantised[0];
            QCOMPARE(int(picture.BlockBits[std::size_t(by * picture.BlocksAcross + bx)]),
                     one.Bits.Total);
            for (int k = 0; k < 64; ++k) {
                const int x = bx * 8 + k % 8, y = by * 8 + k / 8;
                if (x < w && y < h) {
                    QCOMPARE(picture.Reconstruction[at(x, y)], one.Reconstruction[std::size_t(k)]);
                }
            }
        }
    }
}

void TestPictureCompression::photosEqualLibjpeg_data() {
    QTest::addColumn<QString>("photo");
    QTest::addColumn<int>("quality");
    QTest::addColumn<jpeg::DctMethod>("dct");
    // Fine detail, texture, stars on black, skin, a cup; the qualities where
    // an exact transform parted from the encoder's (1, 50, 95, 100) and between.
    for (const char* photo :
         {"camera.png", "brick.png", "hubble_deep_field.jpg", "astronaut.png", "coffee.png"}) {
        for (const int quality : {1, 10, 50, 90, 95, 100}) {
            QTest::addRow("%s, quality %d", photo, quality)
                << photo << quality << jpeg::DctMethod::Float;
        }
    }
    for (const int quality : {1, 50, 100}) {
        QTest::addRow("brick.png, quality %d, integer", quality)
            << "brick.png" << quality << jpeg::DctMethod::Integer;
    }
}

// Real photographs through cjpeg and djpeg and through the analysis: every
// quantised coefficient, every byte of the scan and every rebuilt pixel the same.
void TestPictureCompression::photosEqualLibjpeg() {
    QFETCH(QString, photo);
    QFETCH(int, quality);
    QFETCH(jpeg::DctMethod, dct);
    const QString path = QStringLiteral("/usr/lib/python3/dist-packages/skimage/data/") + photo;
    const QString cjpeg = QStandardPaths::findExecutable(QStringLiteral("cjpeg"));
    const QString djpeg = QStandardPaths::findExecutable(QStringLiteral("djpeg"));
    if (!QFile::exists(path) || cjpeg.isEmpty() || djpeg.isEmpty()) {
        QSKIP("python3-skimage's photos or cjpeg/djpeg (libjpeg-turbo-progs) are missing.");
    }
    const Result<QImage> loaded = LoadPictureFile(path, Qt::white, PictureForm::GreyAsIs);
    QVERIFY(loaded);
    const QImage grey = GreyPicture(*loaded);
    const QString pgm = dir_.filePath(QStringLiteral("photo.pgm"));
    const QString jpg = dir_.filePath(QStringLiteral("photo.jpg"));
    QVERIFY(grey.save(pgm));
    const QStringList method = dct == jpeg::DctMethod::Float
                                   ? QStringList{QStringLiteral("-dct"), QStringLiteral("float")}
                                   : QStringList{};
    Run(cjpeg, QStringList{QStringLiteral("-baseline"), QStringLiteral("-quality"),
                           QString::number(quality), QStringLiteral("-outfile"), jpg} +
                   method + QStringList{pgm});
    QFile encoded(jpg);
    QVERIFY(encoded.open(QIODevice::ReadOnly));
    const QByteArray file = encoded.readAll();
    const QImage decoded =
        QImage::fromData(Run(djpeg, method + QStringList{QStringLiteral("-pnm"), jpg}))
            .convertToFormat(QImage::Format_Grayscale8);
    QCOMPARE(decoded.size(), grey.size());

    CompressionSettings settings;
    settings.Quality = quality;
    settings.Dct = dct;
    const jpeg::PictureAnalysis ours = Compress(grey, settings);
    const qint64 scan = ScanBytes(file);
    const qint64 bytes = (ours.TotalBits + 7) / 8; // padded with 1 bits to a whole byte
    const double theirPsnr = Psnr(grey, decoded);
    qInfo("scan %lld bytes, ours %lld (%+.4f %%); PSNR djpeg %.4f dB, ours %.4f dB (%+.4f)",
          qlonglong(scan), qlonglong(bytes), 100.0 * double(bytes - scan) / double(scan), theirPsnr,
          ours.Psnr, ours.Psnr - theirPsnr);

    const std::vector<jpeg::CoefficientBlock> theirs = CoefficientsOf(file);
    QCOMPARE(qsizetype(theirs.size()), qsizetype(ours.BlocksAcross) * ours.BlocksDown);
    const jpeg::EncoderBlockCodec codec(*TableOf(settings), dct);
    int differentBlocks = 0;
    for (int by = 0; by < ours.BlocksDown; ++by) {
        for (int bx = 0; bx < ours.BlocksAcross; ++bx) {
            jpeg::Indices quantised{};
            codec.Forward(SamplesOf(PictureBlock(grey, bx, by)), quantised);
            const jpeg::CoefficientBlock& their =
                theirs[std::size_t(by) * std::size_t(ours.BlocksAcross) + std::size_t(bx)];
            differentBlocks += !std::equal(quantised.begin(), quantised.end(), their.begin());
        }
    }
    QCOMPARE(differentBlocks, 0);
    QCOMPARE(bytes, scan);
    QCOMPARE(ReconstructionPicture(ours, grey.size()), decoded);
    QCOMPARE(ours.Psnr, theirPsnr);
}

void TestPictureCompression::compressCommand_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("quality");
    QTest::addColumn<bool>("truncated");
    QTest::addColumn<QString>("dct");
    // 203 x 157: partial blocks at the right and at the bottom.
    QTest::newRow("PGM, quality 50") << "pgm" << 50 << false << "float";
    QTest::newRow("PGM, a table file") << "pgm" << 0 << false << "float"; // quality 0: the table
    QTest::newRow("grey PNG, quality 10") << "png" << 10 << false << "float";
    QTest::newRow("a table file, integer DCT") << "pgm" << 0 << false << "integer";
    QTest::newRow("truncated PNG") << "png" << 50 << true << "float";
}

void TestPictureCompression::compressCommand() {
    QFETCH(QString, format);
    QFETCH(int, quality);
    QFETCH(bool, truncated);
    QFETCH(QString, dct);
    const QString cjpeg = QStandardPaths::findExecutable(QStringLiteral("cjpeg"));
    const QString djpeg = QStandardPaths::findExecutable(QStringLiteral("djpeg"));
    if (cjpeg.isEmpty() || djpeg.isEmpty()) {
        QSKIP("cjpeg/djpeg (libjpeg-turbo-progs) are not installed; test.sh installs them.");
    }
    const QImage grey = PhotoLike(203, 157, 5);
    const QString picture = dir_.filePath(QStringLiteral("in.") + format);
    const QString back = dir_.filePath(QStringLiteral("back-%1.png").arg(QTest::currentDataTag()));
    QVERIFY(grey.save(picture));
    if (truncated) {
        QFile file(picture);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.resize(file.size() - 30));
    }
    // One value a line: a block file for us, white space between values for cjpeg.
    const QString tableFile = dir_.filePath(QStringLiteral("table.txt"));
    QFile tableOut(tableFile);
    QVERIFY(tableOut.open(QIODevice::WriteOnly));
    for (int i = 0; i < 64; ++i) {
        tableOut.write(QByteArray::number(2 + (i * 37) % 90) + '\n');
    }
    tableOut.close();
    const QStringList coding =
        quality > 0 ? QStringList{QStringLiteral("-quality"), QString::number(quality)}
                    : QStringList{QStringLiteral("-qtables"), tableFile};
    int status = -1;
    const QByteArray out =
        Run(QStringLiteral(QUADREL_CLI),
            {QStringLiteral("compress"), picture,
             quality > 0 ? QStringLiteral("--quality") : QStringLiteral("--table"), coding[1],
             QStringLiteral("--dct"), dct, QStringLiteral("-o"), back, QStringLiteral("--format"),
             QStringLiteral("json")},
            &status);
    if (truncated) {
        QCOMPARE(status, 1);
        QVERIFY2(out.contains("truncated"), out.constData());
        QVERIFY(!QFile::exists(back));
        return;
    }
    QCOMPARE(status, 0);
    const QJsonObject ours = QJsonDocument::fromJson(out).object();
    QCOMPARE(ours.value(QStringLiteral("width")).toInt(), 203);
    QCOMPARE(ours.value(QStringLiteral("height")).toInt(), 157);
    QCOMPARE(ours.value(QStringLiteral("blocks")).toInt(), 26 * 20);
    QCOMPARE(ours.value(QStringLiteral("dct")).toString(), dct);

    const QString jpg = dir_.filePath(QStringLiteral("ref.jpg"));
    const QString pgm = dir_.filePath(QStringLiteral("ref.pgm"));
    QVERIFY(grey.save(pgm));
    const QStringList method = {QStringLiteral("-dct"),
                                dct == QLatin1String("float") ? dct : QStringLiteral("int")};
    Run(cjpeg, QStringList{QStringLiteral("-baseline")} + method + coding +
                   QStringList{QStringLiteral("-outfile"), jpg, pgm});
    QFile encoded(jpg);
    QVERIFY(encoded.open(QIODevice::ReadOnly));
    const qint64 scan = ScanBytes(encoded.readAll());
    const QImage decoded =
        QImage::fromData(Run(djpeg, method + QStringList{QStringLiteral("-pnm"), jpg}));
    QCOMPARE(decoded.size(), grey.size());
    const double psnr = ours.value(QStringLiteral("psnr")).toDouble();
    QCOMPARE(ours.value(QStringLiteral("bytes")).toInteger(), scan);
    // The reconstruction written is djpeg's, and the one measured.
    const QImage written = QImage(back).convertToFormat(QImage::Format_Grayscale8);
    QCOMPARE(written, decoded.convertToFormat(QImage::Format_Grayscale8));
    QVERIFY(std::abs(Psnr(grey, written) - psnr) < 1e-9);
}

void TestPictureCompression::quadrelModeEqualsTheWindowsQuant_data() {
    QTest::addColumn<int>("step");
    QTest::addColumn<QPoint>("block");
    // 21 x 13: block (2, 1) is a partial corner block, padded.
    QTest::newRow("step 16, inner block") << 16 << QPoint(1, 0);
    QTest::newRow("step 1, corner block") << 1 << QPoint(2, 1);
    QTest::newRow("step 2, edge block") << 2 << QPoint(2, 0);
    QTest::newRow("step 512") << 512 << QPoint(0, 1);
}

void TestPictureCompression::quadrelModeEqualsTheWindowsQuant() {
    QFETCH(int, step);
    QFETCH(QPoint, block);
    const QImage grey = PhotoLike(21, 13, 3);
    CompressionSettings settings;
    settings.Mode = CompressionMode::QuadrelStep;
    settings.Step = step;
    const jpeg::PictureAnalysis picture = Compress(grey, settings);

    ScriptedWindow main;
    BlockDocument& document = main.window.Document();
    document.LoadSpaceBlock(PictureBlock(grey, block.x(), block.y()));
    while (document.QuantStep() < step) {
        Find<QPushButton>(main.window, "Command2")->click(); // "+"
    }
    while (document.QuantStep() > step) {
        Find<QPushButton>(main.window, "Command3")->click(); // "-"
    }
    QCOMPARE(document.QuantStep(), step);
    Command1(main.window, 6)->click(); // Quantise

    jpeg::Indices quantised{};
    jpeg::Samples back{};
    QuadrelCodeBlock(SamplesOf(PictureBlock(grey, block.x(), block.y())), step, quantised, back);
    for (int k = 0; k < 64; ++k) {
        const int u = k % 8, v = k / 8;
        QCOMPARE(double(quantised[std::size_t(k)] * step), document.Freq()[u][v]);
        const int g = Shape1(main.window)->Colour(k).red();
        QCOMPARE(int(back[std::size_t(k)]), g);
        const int x = block.x() * 8 + u, y = block.y() * 8 + v;
        if (x < grey.width() && y < grey.height()) { // the picture's own pixels
            QCOMPARE(int(picture.Reconstruction[std::size_t(y * grey.width() + x)]), g);
        }
    }
}

void TestPictureCompression::quadrelCoderEqualsTheEngine_data() {
    QTest::addColumn<int>("step");
    for (int step : {1, 2, 3, 8, 16, 100, 512}) {
        QTest::addRow("step %d", step) << step;
    }
}

// The whole-picture coder's own loops against the engine, bit for bit: photo-like
// blocks and the extremes (flat black and white, a checkerboard, ramps).
void TestPictureCompression::quadrelCoderEqualsTheEngine() {
    QFETCH(int, step);
    std::vector<jpeg::Samples> blocks;
    blocks.reserve(405);
    for (int i = 0; i < 400; ++i) {
        blocks.push_back(jpeg::ExerciseBlock(77, i));
    }
    for (int kind = 0; kind < 5; ++kind) {
        jpeg::Samples b{};
        for (int k = 0; k < 64; ++k) {
            const int x = k % 8, y = k / 8;
            const int values[] = {0, 255, (x + y) % 2 * 255, x * 36, 255 - y * 33};
            b[std::size_t(k)] = std::uint8_t(values[kind]);
        }
        blocks.push_back(b);
    }
    for (const jpeg::Samples& block : blocks) {
        jpeg::Indices fastIndices{}, engineIndices{};
        jpeg::Samples fast{}, engine{};
        QuadrelCodeBlock(block, step, fastIndices, fast);
        ThroughTheWindowModel(block, step, engineIndices, engine);
        QCOMPARE(fastIndices, engineIndices);
        QCOMPARE(fast, engine);
    }
}

void TestPictureCompression::colourWindowEqualsTheCore_data() {
    QTest::addColumn<int>("sampling");      // index into jpeg::kSubsamplings
    QTest::addColumn<int>("chromaQuality"); // 0: as the quality
    QTest::addColumn<bool>("box");
    // Odd sizes, so that the MCUs and the chroma samples reach past the picture.
    QTest::newRow("4:2:0 smooth") << 2 << 0 << false;
    QTest::newRow("4:4:4, chroma 20") << 0 << 20 << false;
    QTest::newRow("4:1:1 box, chroma 90") << 4 << 90 << true;
}

void TestPictureCompression::colourWindowEqualsTheCore() {
    QFETCH(int, sampling);
    QFETCH(int, chromaQuality);
    QFETCH(bool, box);
    const QImage picture = ColourPhoto(75, 43, 5);
    ScriptedWindow main;
    CompressWindow* window = new CompressWindow(main.window.Document(), main.desktop);
    QSignalSpy shown(window, &CompressWindow::ResultShown);
    window->SetPicture(picture, QStringLiteral("colour"));
    QVERIFY(shown.wait(10000));
    auto* figures = Find<QLabel>(*window, "figures");
    auto* result = Find<ZoomView>(*window, "resultView");
    auto* shownBox = Find<QComboBox>(*window, "shownBox");
    QCOMPARE(Find<QComboBox>(*window, "colourBox")->currentIndex(), 1); // colour by default
    QCOMPARE(Find<QLabel>(*window, "originalHeading")->text(), QStringLiteral("Original"));
    QCOMPARE(Find<ZoomView>(*window, "originalView")->Picture(), picture);
    Find<QSpinBox>(*window, "qualityBox")->setValue(60);
    QVERIFY(shown.wait(10000));
    Find<QComboBox>(*window, "samplingBox")->setCurrentIndex(sampling);
    Find<QComboBox>(*window, "upsamplingBox")->setCurrentIndex(box ? 1 : 0);
    if (chromaQuality > 0) {
        Find<QCheckBox>(*window, "chromaSameCheck")->setChecked(false);
        Find<QSpinBox>(*window, "chromaQualityBox")->setValue(chromaQuality);
    }
    ColourCompressionSettings settings;
    settings.Quality = 60;
    settings.ChromaQuality = chromaQuality > 0 ? chromaQuality : 60;
    settings.Sampling = jpeg::kSubsamplings.at(std::size_t(sampling));
    settings.Upsample = box ? jpeg::Upsampling::Box : jpeg::Upsampling::Smooth;
    const jpeg::ColourAnalysis expected = CompressColour(picture, settings);
    const QString size =
        QStringLiteral("Size %1 bytes").arg(QLocale::system().toString(qint64(expected.Bytes)));
    const QString psnr = QStringLiteral("PSNR %1 dB").arg(expected.Psnr, 0, 'f', 2);
    // Several changes may share one run: wait for the figures of the last.
    QTRY_VERIFY_WITH_TIMEOUT(figures->text().contains(size) && figures->text().contains(psnr),
                             10000);
    const QString text = figures->text();
    QVERIFY(text.contains(QStringLiteral("Cr: %1 blocks").arg(expected.Coding[2].Blocks)));
    QCOMPARE(result->Picture(), ColourReconstructionPicture(expected));

    // The planes cover the picture; Y at full size is the encoder's conversion,
    // and a chroma sample spreads over the pixels it stands for.
    const jpeg::SamplingFactors factors = jpeg::LumaFactors(settings.Sampling);
    for (int plane = 0; plane < 3; ++plane) {
        shownBox->setCurrentIndex(3 + plane);
        const QImage view = result->Picture();
        QCOMPARE(view.size(), picture.size());
        const int across = plane == 0 ? 1 : factors.Horizontal;
        const int down = plane == 0 ? 1 : factors.Vertical;
        for (int y = 0; y < view.height(); ++y) {
            for (int x = 0; x < view.width(); ++x) {
                const uchar* rgb = picture.constScanLine(y) + std::ptrdiff_t(3) * x;
                const int want =
                    across * down == 1
                        ? jpeg::RgbToYcc(rgb[0], rgb[1], rgb[2])[std::size_t(plane)]
                        : view.constScanLine(y / down * down)[std::ptrdiff_t(x / across) * across];
                QCOMPARE(int(view.constScanLine(y)[x]), want);
            }
        }
    }

    // Grey coding gives the grey chain's figures and the grey original.
    Find<QComboBox>(*window, "colourBox")->setCurrentIndex(0);
    QVERIFY(shown.wait(10000));
    CompressionSettings grey;
    grey.Quality = 60;
    QVERIFY(figures->text().startsWith(AnalysisText(Compress(GreyPicture(picture), grey)) + '\n'));
    QCOMPARE(Find<ZoomView>(*window, "originalView")->Picture(), GreyPicture(picture));
    QCOMPARE(Find<QLabel>(*window, "originalHeading")->text(), QStringLiteral("Original (grey)"));
    // Table and step modes are grey only.
    Find<QComboBox>(*window, "modeBox")->setCurrentIndex(3); // Quadrel's Quant rule
    QVERIFY(!Find<QComboBox>(*window, "colourBox")->isEnabled());
    QVERIFY(!Find<QComboBox>(*window, "samplingBox")->isEnabled());
    // Quadrel's quantiser makes no JPEG file, and the controls say so.
    for (const char* name : {"saveJpegButton", "optimiseHuffmanCheck"}) {
        const auto* control = Find<QAbstractButton>(*window, name);
        QVERIFY(!control->isEnabled());
        QVERIFY2(control->toolTip().contains(QStringLiteral("Quadrel")), name);
    }
    QVERIFY(shown.wait(10000));
    QVERIFY(!figures->text().contains(QStringLiteral("File:")));
    delete window;
}

void TestPictureCompression::clickSendsTheExactBlock() {
    // Colours, and an odd size: the last block column and row are partial.
    QImage picture(37, 29, QImage::Format_RGB32);
    for (int y = 0; y < 29; ++y) {
        for (int x = 0; x < 37; ++x) {
            picture.setPixel(x, y, qRgb(x * 7 % 256, y * 9 % 256, (x * y) % 256));
        }
    }
    ScriptedWindow main;
    CompressWindow* window = new CompressWindow(main.window.Document(), main.desktop);
    QSignalSpy shown(window, &CompressWindow::ResultShown);
    window->SetPicture(picture, QStringLiteral("colours"));
    window->show();
    QVERIFY(shown.wait(10000));
    Find<QComboBox>(*window, "colourBox")->setCurrentIndex(0); // in colour a click opens the MCU
    QVERIFY(shown.wait(10000));
    Find<QSpinBox>(*window, "zoomBox")->setValue(4);
    QSignalSpy changes(&main.window.Document(), &BlockDocument::BlockChanged);
    // Pixel (34, 26) of block (4, 3), seen at 4x in the reconstruction.
    Click(Find<ZoomView>(*window, "resultView"), QPoint(34 * 4 + 2, 26 * 4 + 1));
    QCOMPARE(changes.size(), 1);
    for (int k = 0; k < 64; ++k) {
        const int x = std::min(32 + k % 8, 36), y = std::min(24 + k / 8, 28);
        const QRgb c = picture.pixel(x, y);
        const double expected =
            std::floor(0.299 * qRed(c) + 0.587 * qGreen(c) + 0.114 * qBlue(c) + 0.5);
        QCOMPARE(main.window.Document().Space().Cell(k), expected);
    }
    Click(Find<ZoomView>(*window, "originalView"), QPoint(1, 1)); // the other view sends too
    QCOMPARE(changes.size(), 2);
    delete window;
}

void TestPictureCompression::mcuPanelShowsTheCodedMcu_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    // The last MCU is partial; at an even height the chroma rows below the last
    // sampled one repeat it rather than the picture's last pixel row.
    QTest::newRow("37 x 21") << 37 << 21;
    QTest::newRow("38 x 22") << 38 << 22;
    QTest::newRow("44 x 30, no padding block") << 44 << 30;
}

void TestPictureCompression::mcuPanelShowsTheCodedMcu() {
    QFETCH(int, width);
    QFETCH(int, height);
    const QImage picture = ColourPhoto(width, height, 11);
    ScriptedWindow main;
    BlockHistory history(main.window.Document());
    CompressWindow* window = new CompressWindow(main.window.Document(), main.desktop);
    QSignalSpy shown(window, &CompressWindow::ResultShown);
    window->SetPicture(picture, QStringLiteral("colour"));
    window->show();
    QVERIFY(shown.wait(10000));
    Find<QSpinBox>(*window, "zoomBox")->setValue(2);
    QSignalSpy changes(&main.window.Document(), &BlockDocument::BlockChanged);
    Click(Find<ZoomView>(*window, "originalView"), QPoint(2 * (width - 1), 2 * (height - 1)));
    QCOMPARE(changes.size(), 0); // in colour a click sends nothing by itself
    auto* panel = Find<QWidget>(*window, "mcuPanel");
    QVERIFY(panel->isVisible());
    // The last MCU of 4:2:0 starts at (32, 16).
    QVERIFY(Find<QLabel>(*panel, "mcuHeading")
                ->text()
                .contains(QStringLiteral("Only %1 x %2").arg(width - 32).arg(height - 16)));

    ColourCompressionSettings settings; // the window's defaults
    settings.KeepBlocks = true;
    const jpeg::ColourAnalysis expected = CompressColour(picture, settings);
    const auto table = [panel](const QString& block, const char* name) {
        return Find<QWidget>(*panel, "mcuBlock" + block)->findChild<QTableWidget*>(name);
    };
    // Each block with the component's block sent before it, whose DC predicts its own.
    struct Expected {
        QString Name;
        int Component, BlockX, BlockY, BeforeX, BeforeY;
    };
    const std::vector<Expected> blocks = {{"Y0", 0, 4, 2, 3, 3}, {"Y1", 0, 5, 2, 4, 2},
                                          {"Y2", 0, 4, 3, 5, 2}, {"Y3", 0, 5, 3, 4, 3},
                                          {"Cb", 1, 2, 1, 1, 1}, {"Cr", 2, 2, 1, 1, 1}};
    for (const Expected& b : blocks) {
        const jpeg::CodedComponent& coded = expected.Coded.Components[std::size_t(b.Component)];
        const auto kept = [&coded](int x, int y) {
            return coded.Blocks[std::size_t(y) * coded.BlocksAcross + x];
        };
        const jpeg::CoefficientBlock& want = kept(b.BlockX, b.BlockY);
        const auto* symbols = Find<QWidget>(*panel, "mcuBlock" + b.Name)
                                  ->findChild<QPlainTextEdit*>(QStringLiteral("symbols"));
        QVERIFY(symbols->toPlainText().contains(
            QStringLiteral("difference %1\n").arg(want[0] - kept(b.BeforeX, b.BeforeY)[0])));
        QTableWidget* indices = table(b.Name, "indices");
        QTableWidget* samples = table(b.Name, "samples");
        QVERIFY(indices && samples);
        jpeg::Samples values{};
        for (int k = 0; k < 64; ++k) {
            QCOMPARE(indices->item(k / 8, k % 8)->text().toInt(), int(want[std::size_t(k)]));
            QTableWidgetItem* sample = samples->item(k / 8, k % 8);
            values[std::size_t(k)] = sample ? std::uint8_t(sample->text().toInt()) : 0;
        }
        // Y blocks that start beyond the picture are padding.
        const bool padding = b.BlockX * 8 >= width || b.BlockY * 8 >= height;
        QCOMPARE(Find<QPushButton>(*panel, "sendBlock" + b.Name)->isEnabled(), !padding);
        if (!padding) { // the samples shown are those the encoder transformed
            const jpeg::EncoderBlockCodec codec(
                expected.Coded.QuantTables[b.Component == 0 ? 0 : 1], settings.Dct);
            jpeg::Indices quantised{};
            codec.Forward(values, quantised);
            QVERIFY(std::equal(quantised.begin(), quantised.end(), want.begin()));
        }
    }

    // Cb samples averaged from their 2 x 2 pixels as h2v2_downsample rounds, the
    // picture's last column repeated beyond it; rows below the sampled ones
    // repeat the last sampled row (10).
    const auto cbAverage = [&picture, width, height](int column, int row) {
        const int sampledRow = std::min(row, (height + 1) / 2 - 1);
        int sum = 0;
        for (int j = 0; j < 2; ++j) {
            for (int i = 0; i < 2; ++i) {
                const QRgb c = picture.pixel(std::min(2 * column + i, width - 1),
                                             std::min(2 * sampledRow + j, height - 1));
                sum += jpeg::RgbToYcc(qRed(c), qGreen(c), qBlue(c))[1];
            }
        }
        return (sum + 1 + (column & 1)) >> 2;
    };
    QTableWidget* cb = table(QStringLiteral("Cb"), "samples");
    for (const auto& [u, v] :
         {std::pair{0, 0}, std::pair{1, 1}, std::pair{3, 2}, std::pair{7, 7}}) {
        QCOMPARE(cb->item(v, u)->text().toInt(), cbAverage(16 + u, 8 + v));
    }

    // Send puts the Cb samples into the main window as one step; Undo takes it back.
    const Block before = main.window.Document().Space();
    Find<QPushButton>(*panel, "sendBlockCb")->click();
    QCOMPARE(changes.size(), 1);
    for (int k = 0; k < 64; ++k) {
        QCOMPARE(main.window.Document().Space().Cell(k),
                 double(cb->item(k / 8, k % 8)->text().toInt()));
    }
    QVERIFY(Find<QLabel>(*window, "status")->text().contains(QStringLiteral("sent to the main")));
    history.Undo();
    QCOMPARE(main.window.Document().Space(), before);

    // Grey coding closes the panel.
    Find<QComboBox>(*window, "colourBox")->setCurrentIndex(0);
    QVERIFY(shown.wait(10000));
    QVERIFY(!panel->isVisible());
    delete window;
}

void TestPictureCompression::cancelKeepsTheLastResult() {
    ScriptedWindow main;
    CompressWindow* window = new CompressWindow(main.window.Document(), main.desktop);
    QSignalSpy shown(window, &CompressWindow::ResultShown);
    auto* figures = Find<QLabel>(*window, "figures");
    auto* result = Find<ZoomView>(*window, "resultView");
    auto* step = Find<QSpinBox>(*window, "stepBox");
    auto* progress = Find<QProgressBar>(*window, "progressBar");
    auto* cancel = Find<QPushButton>(*window, "cancelButton");
    // Quadrel's quantiser on a picture large enough to take a second or more
    // on this build and machine (a sanitizer build is many times slower, an
    // optimised one on a fast machine codes 12 megapixels in under the 150 ms
    // before Cancel appears), so that the progress and Cancel appear.
    Find<QComboBox>(*window, "modeBox")->setCurrentIndex(3);
    QElapsedTimer timer;
    timer.start();
    window->SetPicture(PhotoLike(800, 600, 9), QStringLiteral("sample"));
    window->show();
    QVERIFY(shown.wait(60000));
    const auto scale =
        static_cast<int>(std::clamp(2000 / (timer.elapsed() + 1), qint64{1}, qint64{10}));
    window->SetPicture(PhotoLike(800 * scale, 600 * scale, 9), QStringLiteral("photo"));
    QVERIFY(shown.wait(60000));
    shown.clear();
    const QString before = figures->text();
    QVERIFY(before.contains(QStringLiteral("PSNR")));
    const QImage picture = result->Picture().copy();

    step->setValue(64);
    QTRY_VERIFY_WITH_TIMEOUT(cancel->isVisible() || !shown.isEmpty(), 20000);
    QVERIFY2(shown.isEmpty(), "finished before Cancel appeared");
    QVERIFY(progress->isVisible());
    QCOMPARE(figures->text(), before); // the last result stays until the next is ready
    QTest::mouseClick(cancel, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!progress->isVisible(), 60000);
    QVERIFY(!cancel->isVisible());
    QVERIFY(shown.isEmpty());
    QCOMPARE(figures->text(), before);
    QCOMPARE(result->Picture(), picture);
    // The controls say which setting the figures belong to, and going back computes nothing.
    QCOMPARE(step->value(), 16);
    QTest::qWait(250);
    QVERIFY(!progress->isVisible());
    QVERIFY(Find<QLabel>(*window, "status")->text().contains(QStringLiteral("Cancelled")));

    step->setValue(32); // and the next change computes again
    QVERIFY(shown.wait(60000));
    QVERIFY(figures->text() != before);
    delete window;
}

void TestPictureCompression::badPictureChangesNothing_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("why");
    const QByteArray png = Encoded(PhotoLike(64, 48, 1), "png");
    const QByteArray jpeg = Encoded(ColourPhoto(64, 48, 1), "jpeg");
    // A cut or damaged JPEG still gives a preview; the full read refuses it.
    QTest::newRow("cut PNG") << "cut.png" << png.left(png.size() - 12) << "truncated";
    QTest::newRow("cut JPEG") << "cut.jpg" << jpeg.left(jpeg.size() / 2) << "truncated";
    QTest::newRow("damaged JPEG") << "damaged.jpg" << WithDamagedScan(jpeg, 40, 3) << "corrupt";
}

void TestPictureCompression::badPictureChangesNothing() {
    QFETCH(QString, file);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, why);
    const QString cut = dir_.filePath(file);
    QFile out(cut);
    QVERIFY(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size());
    out.close();
    ScriptedWindow main;
    main.desktop.answers = {cut};
    CompressWindow* window = new CompressWindow(main.window.Document(), main.desktop);
    QSignalSpy shown(window, &CompressWindow::ResultShown);
    window->SetPicture(PhotoLike(40, 24, 2), QStringLiteral("good"));
    window->show();
    QVERIFY(shown.wait(10000));
    const auto* name = Find<QLabel>(*window, "pictureName");
    const auto* figures = Find<QLabel>(*window, "figures");
    const auto* original = Find<ZoomView>(*window, "originalView");
    const QString nameBefore = name->text();
    const QString figuresBefore = figures->text();
    const QImage originalBefore = original->Picture().copy();
    QSignalSpy changes(&main.window.Document(), &BlockDocument::BlockChanged);

    QTest::mouseClick(Find<QPushButton>(*window, "openButton"), Qt::LeftButton);
    QCOMPARE(main.desktop.messages.size(), 1);
    const QString& message = main.desktop.messages[0];
    QVERIFY2(message.startsWith(kCompressCaption) && message.contains(cut) && message.contains(why),
             qPrintable(message));
    QVERIFY(!shown.wait(300)); // nothing is computed again
    QCOMPARE(name->text(), nameBefore);
    QCOMPARE(figures->text(), figuresBefore);
    QVERIFY(!original->ShowsPreview());
    QCOMPARE(original->Picture(), originalBefore);
    QCOMPARE(changes.size(), 0);
    delete window;
}

// A CMYK JPEG as ImageMagick writes one (Adobe, inverted); empty without it.
QByteArray CmykJpeg(const QImage& picture, const QString& dir) {
    const QString convert = QStandardPaths::findExecutable(QStringLiteral("convert"));
    const QString from = dir + QStringLiteral("/cmyk.ppm");
    const QString to = dir + QStringLiteral("/cmyk.jpg");
    if (convert.isEmpty() || !picture.save(from, "PPM")) {
        return {};
    }
    int status = 0;
    Run(convert, {from, QStringLiteral("-colorspace"), QStringLiteral("CMYK"), to}, &status);
    QFile file(to);
    return status == 0 && file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TestPictureCompression::directReadsEqualQtsReader_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<PictureForm>("form");
    QByteArray rgb;
    QByteArray grey;
    for (int i = 0; i < 7 * 5; ++i) {
        grey += char(i * 7);
        rgb += char(i * 7);
        rgb += char(255 - i);
        rgb += char(i * i);
    }
    // Bytes read straight into the picture, and a greatest value under 255 that
    // Qt's reader scales.
    const std::pair<const char*, QByteArray> files[] = {
        {"PPM with a comment", "P6\n# by hand\n7 5\n255\n" + rgb},
        {"PGM, bytes after the samples", "P5 7 5 255\n" + grey + "end"},
        {"PGM up to 63", "P5 7 5 63\n" + QByteArray(35, char(40))}};
    // JPEGs that libjpeg decodes straight into the picture, in each way a file
    // may be stored turned; odd sizes leave padded rows and partial blocks.
    const QByteArray colour = Encoded(ColourPhoto(37, 21, 5), "jpeg");
    std::vector<std::pair<QString, QByteArray>> jpegs = {
        {QStringLiteral("grey JPEG"), Encoded(PhotoLike(35, 19, 2), "jpeg")},
        {QStringLiteral("progressive JPEG"), Encoded(ColourPhoto(33, 18, 3), "jpeg", 90, true)},
        {QStringLiteral("grey JPEG, Exif 6"),
         WithExifOrientation(Encoded(PhotoLike(35, 19, 2), "jpeg"), 6)}};
    for (int orientation = 1; orientation <= 8; ++orientation) {
        jpegs.emplace_back(QStringLiteral("JPEG, Exif %1").arg(orientation),
                           WithExifOrientation(colour, orientation));
    }
    // Over 2 MB decoded: the picture's memory is laid out apart from Qt's.
    const QByteArray large = Encoded(ColourPhoto(1001, 703, 4), "jpeg");
    jpegs.emplace_back(QStringLiteral("large JPEG"), large);
    jpegs.emplace_back(QStringLiteral("large JPEG, Exif 5"), WithExifOrientation(large, 5));
    // A kind left to Qt's reader once checked.
    if (const QByteArray cmyk = CmykJpeg(ColourPhoto(24, 16, 9), dir_.path()); !cmyk.isEmpty()) {
        jpegs.emplace_back(QStringLiteral("CMYK JPEG"), cmyk);
    }
    for (const auto& [name, bytes] : files) {
        jpegs.emplace_back(QString::fromLatin1(name), bytes);
    }
    for (const auto& [name, bytes] : jpegs) {
        for (const auto& [formName, form] : {std::pair{"RGB32", PictureForm::Rgb32},
                                             std::pair{"grey as is", PictureForm::GreyAsIs},
                                             std::pair{"packed", PictureForm::Packed}}) {
            QTest::addRow("%s, %s", qPrintable(name), formName) << bytes << form;
        }
    }
}

// The pixels Qt's own reader finds, turned upright, in the form asked for.
void TestPictureCompression::directReadsEqualQtsReader() {
    QFETCH(QByteArray, bytes);
    QFETCH(PictureForm, form);
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    const QImage qt = reader.read();
    QVERIFY(!qt.isNull());
    const bool grey = qt.format() == QImage::Format_Grayscale8;
    const QImage::Format expected = form == PictureForm::Rgb32    ? QImage::Format_RGB32
                                    : grey                        ? QImage::Format_Grayscale8
                                    : form == PictureForm::Packed ? QImage::Format_RGB888
                                                                  : QImage::Format_RGB32;
    const Result<QImage> ours = DecodePicture(bytes, Qt::white, form);
    QVERIFY(ours);
    QCOMPARE(ours->format(), expected);
    QCOMPARE(*ours, qt.convertToFormat(expected));
}

void TestPictureCompression::damagedJpegsAreRefusedInEveryForm_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("problem");
    const std::pair<const char*, QImage> pictures[] = {{"colour", ColourPhoto(320, 240, 6)},
                                                       {"grey", PhotoLike(320, 240, 8)}};
    for (const auto& [kind, picture] : pictures) {
        const QByteArray jpeg = Encoded(picture, "jpeg");
        QTest::addRow("%s, truncated", kind) << jpeg.chopped(300) << "truncated";
        QTest::addRow("%s, cut inside its headers", kind) << jpeg.left(150) << "truncated";
        QTest::addRow("%s, half, then an end marker", kind)
            << jpeg.left(jpeg.size() / 2) + "\xFF\xD9"
            << "truncated";
        QTest::addRow("%s, 300 scan bytes changed", kind)
            << WithDamagedScan(jpeg, 300, 3) << "corrupt";
        QTest::addRow("%s, whole", kind) << jpeg << QString();
    }
}

// Whatever the picture is decoded into, the one pass that decodes it finds the
// same damage; a whole file decodes at its size.
void TestPictureCompression::damagedJpegsAreRefusedInEveryForm() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, problem);
    for (const PictureForm form :
         {PictureForm::Rgb32, PictureForm::GreyAsIs, PictureForm::Packed}) {
        const Result<QImage> read = DecodePicture(bytes, Qt::white, form);
        if (problem.isEmpty()) {
            QVERIFY2(read, read.Message().c_str());
            QCOMPARE(read->size(), QSize(320, 240));
        } else {
            QVERIFY(!read);
            QVERIFY2(QString::fromStdString(read.Message()).contains(problem),
                     read.Message().c_str());
        }
    }
}

// A few hundred bytes whose header claims 16000 x 16000 pixels: libjpeg fills
// what a cut scan lacks, so the reading must stop at the cut rather than write
// a quarter of a gigabyte of grey first.
void TestPictureCompression::cutHugeJpegIsRefusedWithoutItsMemory() {
    QByteArray jpeg = Encoded(PhotoLike(64, 64, 3), "jpeg");
    const qsizetype frame = jpeg.indexOf("\xFF\xC0");
    QVERIFY(frame > 0);
    for (const qsizetype at : {frame + 5, frame + 7}) { // height, then width
        jpeg[at] = char(16000 >> 8);
        jpeg[at + 1] = char(16000 & 0xFF);
    }
    QFile reset(QStringLiteral("/proc/self/clear_refs"));
    if (!reset.open(QIODevice::WriteOnly) || reset.write("5") != 1) {
        QSKIP("this system cannot reset the peak of resident memory");
    }
    reset.close();
    const long before = PeakResidentKb();
    for (const PictureForm form :
         {PictureForm::Rgb32, PictureForm::GreyAsIs, PictureForm::Packed}) {
        const Result<QImage> read = DecodePicture(jpeg, Qt::white, form);
        QVERIFY(!read);
        QVERIFY2(QString::fromStdString(read.Message()).contains("truncated"),
                 read.Message().c_str());
    }
    QVERIFY2(PeakResidentKb() - before < 32L * 1024, qPrintable(QString::number(PeakResidentKb())));
}

// The preview is libjpeg's own reduced decoding, as djpeg -scale gives it,
// turned upright; anything but a JPEG gives none.
void TestPictureCompression::jpegPreviewEqualsDjpeg_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("denominator");
    QTest::addColumn<bool>("turned"); // Exif 6: a quarter turn clockwise
    const QByteArray colour = Encoded(ColourPhoto(203, 117, 4), "jpeg");
    QTest::newRow("colour 1/8") << colour << 8 << false;
    QTest::newRow("colour 1/2") << colour << 2 << false;
    QTest::newRow("colour 1/1") << colour << 1 << false;
    QTest::newRow("grey 1/4") << Encoded(PhotoLike(99, 64, 6), "jpeg") << 4 << false;
    QTest::newRow("Exif 6, 1/8") << WithExifOrientation(colour, 6) << 8 << true;
    QTest::newRow("PNG") << Encoded(PhotoLike(16, 16, 1), "png") << 8 << false;
    QTest::newRow("colour 1/3") << colour << 3 << false; // as libjpeg rounds it, to 3/8
}

void TestPictureCompression::jpegPreviewEqualsDjpeg() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, denominator);
    QFETCH(bool, turned);
    const QString djpeg = QStandardPaths::findExecutable(QStringLiteral("djpeg"));
    if (djpeg.isEmpty()) {
        QSKIP("djpeg (libjpeg-turbo-progs) is not installed; test.sh installs them.");
    }
    const QString path = dir_.filePath(QStringLiteral("preview.jpg"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();
    int status = 0;
    const QByteArray pnm = Run(djpeg,
                               {QStringLiteral("-scale"), QStringLiteral("1/%1").arg(denominator),
                                QStringLiteral("-pnm"), path},
                               &status);
    const Result<JpegPreview> preview = LoadJpegPreview(path, denominator);
    if (status != 0) { // djpeg cannot scale so, or it is no JPEG
        QVERIFY(!preview);
        return;
    }
    QVERIFY2(preview, preview.Message().c_str());
    QImage expected = QImage::fromData(pnm);
    expected = expected.convertToFormat(expected.isGrayscale() ? QImage::Format_Grayscale8
                                                               : QImage::Format_RGB888);
    const QImage full = QImage::fromData(bytes);
    QSize size = full.size();
    if (turned) {
        expected = expected.transformed(QTransform().rotate(90));
        size.transpose();
    }
    QCOMPARE(preview->Picture, expected);
    QCOMPARE(preview->Size, size);
}

// Opening a JPEG paints its preview, marked, before the picture is read; then
// the picture itself, exactly as read without a preview, and its numbers.
void TestPictureCompression::previewIsPaintedBeforeThePicture() {
    const QString path = dir_.filePath(QStringLiteral("first.jpg"));
    const QByteArray bytes = Encoded(ColourPhoto(320, 200, 7), "jpeg");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();
    ScriptedWindow main;
    main.desktop.answers = {path};
    CompressWindow* window = new CompressWindow(main.window.Document(), main.desktop);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    auto* original = Find<ZoomView>(*window, "originalView");
    auto* heading = Find<QLabel>(*window, "originalHeading");
    QStringList painted; // the heading at each paint of a picture
    struct Watch : QObject {
        std::function<void()> OnPaint;
        bool eventFilter(QObject* /*watched*/, QEvent* event) override {
            if (event->type() == QEvent::Paint) {
                OnPaint();
            }
            return false;
        }
    } watch;
    watch.OnPaint = [&] {
        if (!original->Picture().isNull()) {
            painted << QString::number(original->Picture().width()) + ' ' + heading->text();
        }
    };
    original->viewport()->installEventFilter(&watch);
    QSignalSpy shown(window, &CompressWindow::ResultShown);
    QTest::mouseClick(Find<QPushButton>(*window, "openButton"), Qt::LeftButton);
    QVERIFY(!painted.isEmpty());
    QVERIFY2(painted.first().startsWith(QStringLiteral("40 ")) &&
                 painted.first().contains(QStringLiteral("preview")),
             qPrintable(painted.first()));
    QVERIFY(shown.wait(10000));
    QTRY_VERIFY(painted.last().startsWith(QStringLiteral("320 ")));
    QVERIFY(!original->ShowsPreview());
    QVERIFY(!heading->text().contains(QStringLiteral("preview")));
    const Result<QImage> read =
        LoadPictureFile(path, QColor(kCompressionBackground), PictureForm::GreyAsIs);
    QVERIFY(read);
    QCOMPARE(original->Picture(), read->convertToFormat(QImage::Format_RGB888));
    delete window;
}

void TestPictureCompression::saveJpegWritesTheShownFile_data() {
    QTest::addColumn<bool>("colour");
    QTest::addColumn<bool>("optimise");
    QTest::addColumn<QString>("target"); // the name chosen; "folder.jpg" is made a folder
    QTest::newRow("grey") << false << false << QStringLiteral("saved.jpg");
    QTest::newRow("grey, optimised") << false << true << QStringLiteral("saved.jpg");
    QTest::newRow("colour") << true << false << QStringLiteral("saved.jpg");
    QTest::newRow("colour, optimised") << true << true << QStringLiteral("saved.jpg");
    QTest::newRow("onto a folder") << true << false << QStringLiteral("folder.jpg");
    QTest::newRow("into a missing folder") << false << true << QStringLiteral("missing/saved.jpg");
}

// The file saved is the one whose size the figures show, cjpeg's file for the
// same setting, and decoders read it cleanly; a failed save leaves no file.
void TestPictureCompression::saveJpegWritesTheShownFile() {
    QFETCH(bool, colour);
    QFETCH(bool, optimise);
    QFETCH(QString, target);
    const QString cjpeg = QStandardPaths::findExecutable(QStringLiteral("cjpeg"));
    const QString djpeg = QStandardPaths::findExecutable(QStringLiteral("djpeg"));
    if (cjpeg.isEmpty() || djpeg.isEmpty()) {
        QSKIP("cjpeg/djpeg (libjpeg-turbo-progs) are not installed.");
    }
    QTemporaryDir dir;
    const bool toFolder = target == QStringLiteral("folder.jpg");
    QVERIFY(!toFolder || QDir(dir.path()).mkdir(target));
    const QString path = dir.filePath(target);
    const QImage picture = colour ? ColourPhoto(77, 45, 3) : PhotoLike(77, 45, 3);
    ScriptedWindow main;
    main.desktop.answers = {path};
    main.desktop.replies = {true}; // the folder "exists": replace it
    CompressWindow* window = new CompressWindow(main.window.Document(), main.desktop);
    QSignalSpy shown(window, &CompressWindow::ResultShown);
    window->SetPicture(picture, QStringLiteral("photo.png"));
    window->show();
    QVERIFY(shown.wait(10000));
    auto* figures = Find<QLabel>(*window, "figures");
    if (optimise) {
        const QString plain = figures->text();
        Find<QCheckBox>(*window, "optimiseHuffmanCheck")->setChecked(true);
        QVERIFY(shown.wait(10000));
        QVERIFY(figures->text() != plain);
    }
    const QRegularExpressionMatch figure =
        QRegularExpression(QStringLiteral("File: (.+) bytes \\(headers (.+), scan (.+)\\)   "
                                          "(\\S+) bits per pixel"))
            .match(figures->text());
    QVERIFY2(figure.hasMatch(), qPrintable(figures->text()));
    QTest::mouseClick(Find<QPushButton>(*window, "saveJpegButton"), Qt::LeftButton);
    QCOMPARE(main.desktop.dialogs.size(), 1);
    QCOMPARE(main.desktop.dialogs[0].preset, QStringLiteral("photo.jpg"));
    const QString status = Find<QLabel>(*window, "status")->text();
    delete window;
    const QStringList left = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    if (target != QStringLiteral("saved.jpg")) {
        QVERIFY2(status.contains(QStringLiteral("not saved")), qPrintable(status));
        QCOMPARE(left, toFolder ? QStringList{target} : QStringList{});
        QVERIFY(!toFolder || QDir(path).isEmpty());
        return;
    }
    QVERIFY2(status.startsWith(QStringLiteral("Saved")), qPrintable(status));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray saved = file.readAll();
    QCOMPARE(qint64(saved.size()), Digits(figure.captured(1)));
    const qsizetype sos = saved.indexOf("\xFF\xDA");
    QVERIFY(sos > 0);
    // The headers: up to the end of the SOS segment, and EOI.
    QCOMPARE(Digits(figure.captured(2)),
             qint64(sos + 4 + (quint8(saved[sos + 2]) << 8 | quint8(saved[sos + 3]))));
    QCOMPARE(Digits(figure.captured(2)) + Digits(figure.captured(3)), qint64(saved.size()));
    QCOMPARE(figure.captured(4), QString::number(saved.size() * 8.0 / (77 * 45), 'f', 3));

    // cjpeg's file for the window's setting (quality 50, float DCT, 4:2:0).
    const QString pnm = dir.filePath(colour ? QStringLiteral("in.ppm") : QStringLiteral("in.pgm"));
    QVERIFY(picture.save(pnm));
    QStringList options{QStringLiteral("-baseline"), QStringLiteral("-dct"),
                        QStringLiteral("float"), QStringLiteral("-quality"), QStringLiteral("50")};
    if (colour) {
        options << QStringLiteral("-sample") << QStringLiteral("2x2");
    }
    if (optimise) {
        options << QStringLiteral("-optimize");
    }
    QCOMPARE(Run(cjpeg, options + QStringList{pnm}), saved);
    QProcess decoder;
    decoder.start(djpeg, QStringList{QStringLiteral("-pnm"), path});
    QVERIFY(decoder.waitForFinished(30000));
    QCOMPARE(decoder.exitCode(), 0);
    QCOMPARE(decoder.readAllStandardError(), QByteArray());
    QCOMPARE(QImage::fromData(decoder.readAllStandardOutput()).size(), picture.size());
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    QImageReader reader(path);
    const QImage read = reader.read();
    QVERIFY2(!read.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(read.size(), picture.size());
    QCOMPARE(read.isGrayscale(), !colour);
}

void TestPictureCompression::ssimMapViewHoldsTheFiguresSsim_data() {
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<int>("mode"); // the mode list's entry
    QTest::addColumn<int>("step");
    QTest::addColumn<bool>("integer"); // the integer DCT
    QTest::addColumn<bool>("white");   // coded unchanged, so SSIM 1 everywhere
    QImage flat(40, 24, QImage::Format_Grayscale8);
    flat.fill(128);
    QTest::newRow("grey, uniform step 24, integer DCT")
        << PhotoLike(61, 37, 2) << 2 << 24 << true << false;
    QTest::newRow("grey, Quadrel's rule at 32")
        << PhotoLike(61, 37, 3) << 3 << 32 << false << false;
    QTest::newRow("colour 4:2:0, quality 50")
        << ColourPhoto(53, 45, 4) << 0 << 16 << false << false;
    QTest::newRow("flat grey, coded unchanged") << flat << 0 << 16 << false << true;
}

// The map's mean over the picture less its edges is the SSIM the figures give,
// and the view shows the map of the coding the controls chose.
void TestPictureCompression::ssimMapViewHoldsTheFiguresSsim() {
    QFETCH(QImage, picture);
    QFETCH(int, mode);
    QFETCH(int, step);
    QFETCH(bool, integer);
    QFETCH(bool, white);
    const jpeg::DctMethod dct = integer ? jpeg::DctMethod::Integer : jpeg::DctMethod::Float;
    const bool colour = picture.format() != QImage::Format_Grayscale8;
    jpeg::SsimMap map;
    double ssim = 0.0;
    bool lossless = false;
    if (colour) {
        ColourCompressionSettings settings;
        settings.Dct = dct;
        settings.KeepBlocks = true;
        const jpeg::ColourAnalysis a = CompressColour(picture, settings);
        map = ColourSsimMap(picture, a, settings);
        ssim = a.Ssim;
        lossless = a.Lossless;
    } else {
        CompressionSettings settings;
        settings.Mode = mode == 2   ? CompressionMode::Uniform
                        : mode == 3 ? CompressionMode::QuadrelStep
                                    : CompressionMode::Quality;
        settings.Step = step;
        settings.Dct = dct;
        const jpeg::PictureAnalysis a = Compress(picture, settings);
        map = GreySsimMap(picture, a);
        ssim = a.Ssim;
        lossless = a.Lossless;
    }
    QCOMPARE(map.Values.size(), std::size_t(picture.width()) * std::size_t(picture.height()));
    double sum = 0.0;
    int count = 0;
    for (int y = jpeg::kSsimRadius; y < picture.height() - jpeg::kSsimRadius; ++y) {
        for (int x = jpeg::kSsimRadius; x < picture.width() - jpeg::kSsimRadius; ++x) {
            sum += map.Values[std::size_t(y) * std::size_t(picture.width()) + std::size_t(x)];
            ++count;
        }
    }
    QVERIFY2(std::abs(sum / count - ssim) < 1e-6, qPrintable(QString::number(sum / count - ssim)));

    ScriptedWindow main;
    CompressWindow* window = new CompressWindow(main.window.Document(), main.desktop);
    QSignalSpy shown(window, &CompressWindow::ResultShown);
    Find<QSpinBox>(*window, "stepBox")->setValue(step);
    Find<QComboBox>(*window, "dctBox")->setCurrentIndex(integer ? 1 : 0);
    Find<QComboBox>(*window, "modeBox")->setCurrentIndex(mode);
    Find<QComboBox>(*window, "shownBox")->setCurrentText(QStringLiteral("SSIM map"));
    window->SetPicture(picture, QStringLiteral("p"));
    window->show();
    QVERIFY(shown.wait(10000));
    const QImage view = Find<ZoomView>(*window, "resultView")->Picture();
    QCOMPARE(view, SsimMapPicture(map));
    QCOMPARE(lossless, white);
    if (white) {
        QImage allWhite(picture.size(), QImage::Format_Grayscale8);
        allWhite.fill(255);
        QCOMPARE(view, allWhite);
    }
    delete window;
}

void TestPictureCompression::exportWritesTheViewsPixels_data() {
    QTest::addColumn<QString>("view"); // Original, or the choice shown on the right
    QTest::addColumn<QString>("file");
    QTest::newRow("original") << "Original"
                              << "a.png";
    QTest::newRow("reconstruction") << "Reconstruction"
                                    << "b.png";
    QTest::newRow("difference") << "Difference"
                                << "c.png";
    QTest::newRow("Cb plane") << "Cb plane"
                              << "d.png";
    QTest::newRow("SSIM map") << "SSIM map"
                              << "f.png";
    QTest::newRow("reconstruction, PDF") << "Reconstruction"
                                         << "e.pdf";
}

// Each view's picture, pixel for pixel, into the file and onto the clipboard.
void TestPictureCompression::exportWritesTheViewsPixels() {
    QFETCH(QString, view);
    QFETCH(QString, file);
    QTemporaryDir dir;
    ScriptedWindow main;
    CompressWindow* window = new CompressWindow(main.window.Document(), main.desktop);
    QSignalSpy shown(window, &CompressWindow::ResultShown);
    window->SetPicture(ColourPhoto(45, 29, 5), QStringLiteral("photo.png"));
    window->show();
    QVERIFY(shown.wait(10000));
    const bool original = view == QLatin1String("Original");
    if (!original) {
        Find<QComboBox>(*window, "shownBox")->setCurrentText(view);
    }
    const QImage picture =
        Find<ZoomView>(*window, original ? "originalView" : "resultView")->Picture().copy();
    QVERIFY(!picture.isNull());
    const QString name = original ? QStringLiteral("Original") : QStringLiteral("Result");
    main.desktop.answers = {dir.filePath(file)};
    Find<QAction>(*window, qPrintable(QStringLiteral("export%1Action").arg(name)))->trigger();
    QCOMPARE(main.desktop.messages, QStringList{});
    QCOMPARE(main.desktop.dialogs.at(0).preset,
             QStringLiteral("photo-%1.png").arg(view.toLower().replace(u' ', u'-')));
    if (file.endsWith(QLatin1String(".png"))) {
        QCOMPARE(QImage(dir.filePath(file)).convertToFormat(QImage::Format_RGB32),
                 picture.convertToFormat(QImage::Format_RGB32));
    } else {
        QFile pdf(dir.filePath(file));
        QVERIFY(pdf.open(QIODevice::ReadOnly) && pdf.readAll().startsWith("%PDF-"));
    }
    Find<QAction>(*window, qPrintable(QStringLiteral("copy%1Action").arg(name)))->trigger();
    QCOMPARE(QApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32),
             picture.convertToFormat(QImage::Format_RGB32));
    delete window;
}

void TestPictureCompression::escapeCloses_data() {
    QTest::addColumn<QString>("focus"); // the control holding the focus
    QTest::newRow("spin box") << QStringLiteral("qualityBox");
    QTest::newRow("closed list") << QStringLiteral("modeBox");
    QTest::newRow("button") << QStringLiteral("openButton");
    QTest::newRow("view") << QStringLiteral("resultView");
}

void TestPictureCompression::escapeCloses() {
    QFETCH(QString, focus);
    ScriptedWindow main;
    QPointer<CompressWindow> window = new CompressWindow(main.window.Document(), main.desktop);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    auto* control = window->findChild<QWidget*>(focus);
    QVERIFY(control != nullptr);
    control->setFocus();
    QTest::keyClick(control, Qt::Key_A); // not every key closes it
    QVERIFY(window->isVisible());
    QTest::keyClick(control, Qt::Key_Escape);
    QTRY_VERIFY(window.isNull()); // closed, and so deleted
}

QTEST_MAIN(TestPictureCompression)
// Opened from Compress Picture for its picture: every chart point is the CSV's
// row, the current quality is among them, and a click on a point of the
// standard curve sets Compress Picture's quality.
void TestPictureCompression::rateDistortionChartsEqualTheCsv() {
    ScriptedWindow main;
    CompressWindow* window = new CompressWindow(main.window.Document(), main.desktop);
    QSignalSpy shown(window, &CompressWindow::ResultShown);
    window->SetPicture(PhotoLike(96, 64, 3), QStringLiteral("photo"));
    QVERIFY(shown.wait(10000));
    auto* quality = Find<QSpinBox>(*window, "qualityBox");
    quality->setValue(42);
    QVERIFY(shown.wait(10000));
    Find<QComboBox>(*window, "dctBox")->setCurrentIndex(1); // the curves follow the integer DCT
    QVERIFY(shown.wait(10000));
    QTest::mouseClick(Find<QPushButton>(*window, "rateDistortionButton"), Qt::LeftButton);
    auto* rd = window->findChild<RateDistortionWindow*>();
    QVERIFY(rd != nullptr);
    QSignalSpy curvesShown(rd, &RateDistortionWindow::CurvesShown);
    QVERIFY(curvesShown.wait(60000));
    QCOMPARE(rd->Curves().size(), std::size_t(4));
    CompressionSettings integer;
    integer.Quality = 42;
    integer.Dct = jpeg::DctMethod::Integer;
    const jpeg::PictureAnalysis coded = Compress(GreyPicture(PhotoLike(96, 64, 3)), integer);
    const std::vector<quadrel::RatePoint>& standardPoints = rd->Curves().front().Points;
    const auto current = std::find_if(standardPoints.begin(), standardPoints.end(),
                                      [](const quadrel::RatePoint& p) { return p.Setting == 42; });
    QVERIFY(current != standardPoints.end());
    QCOMPARE(current->Bytes, (coded.TotalBits + 7) / 8);
    QCOMPARE(current->Psnr, coded.Psnr);
    CompressionSettings floating = integer;
    floating.Dct = jpeg::DctMethod::Float;
    QVERIFY(Compress(GreyPicture(PhotoLike(96, 64, 3)), floating).Psnr != coded.Psnr);

    const QString csv = dir_.filePath(QStringLiteral("rd.csv"));
    QVERIFY(rd->ExportCsv(csv));
    QVERIFY(rd->ExportPng(dir_.filePath(QStringLiteral("rd.png"))));
    QVERIFY(rd->ExportSvg(dir_.filePath(QStringLiteral("rd.svg"))));
    QVERIFY(!QImage(dir_.filePath(QStringLiteral("rd.png"))).isNull());
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QStringList lines =
        QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    lines.removeFirst();
    for (const bool psnr : {true, false}) {
        QChart* chart = psnr ? rd->PsnrChart() : rd->SsimChart();
        QStringList plotted;
        bool marked = false;
        for (QAbstractSeries* s : chart->series()) {
            const auto* series = qobject_cast<QXYSeries*>(s);
            if (s->objectName() == QLatin1String("current")) {
                marked = series->count() == 2; // on the standard and optimised curves
                continue;
            }
            for (const QPointF& p : series->points()) {
                plotted << QStringLiteral("%1 %2 %3")
                               .arg(s->name())
                               .arg(p.x(), 0, 'g', 17)
                               .arg(p.y(), 0, 'g', 17);
            }
        }
        QStringList expected;
        for (const QString& line : lines) {
            const QStringList f = line.split(QLatin1Char(','));
            expected << QStringLiteral("%1 %2 %3")
                            .arg(f[0].mid(1, f[0].size() - 2))
                            .arg(f[3].toDouble(), 0, 'g', 17)
                            .arg(f[psnr ? 5 : 6].toDouble(), 0, 'g', 17);
        }
        QCOMPARE(plotted, expected);
        QVERIFY(marked);
    }

    // A click near the standard curve's point at quality 20 (as the chart reports
    // it) codes the picture at 20.
    auto* standard = qobject_cast<QXYSeries*>(rd->PsnrChart()->series().front());
    const auto at =
        std::find_if(rd->Curves().front().Points.begin(), rd->Curves().front().Points.end(),
                     [](const quadrel::RatePoint& p) { return p.Setting == 20; });
    QVERIFY(at != rd->Curves().front().Points.end());
    emit standard->clicked(QPointF(at->BitsPerPixel * 1.001, at->Psnr + 0.01));
    QTRY_COMPARE(quality->value(), 20);
}

void TestPictureCompression::settingsLists_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("expected"); // empty: refused
    QTest::newRow("range") << "5:95:45" << QList<int>{5, 50, 95};
    QTest::newRow("range stops before the end") << "10:20:4" << QList<int>{10, 14, 18};
    QTest::newRow("one-point range") << "7:7:1" << QList<int>{7};
    QTest::newRow("list, spaces, repeats kept") << "90, 10,10" << QList<int>{90, 10, 10};
    QTest::newRow("both ends of the range") << "1,100" << QList<int>{1, 100};
    QTest::newRow("0 is no quality") << "0:50:5" << QList<int>{};
    QTest::newRow("101 is none") << "5,101" << QList<int>{};
    QTest::newRow("falling range") << "50:5:5" << QList<int>{};
    QTest::newRow("step 0") << "5:50:0" << QList<int>{};
    QTest::newRow("two parts") << "5:50" << QList<int>{};
    QTest::newRow("empty item") << "5,,9" << QList<int>{};
    QTest::newRow("nothing") << "" << QList<int>{};
}

void TestPictureCompression::settingsLists() {
    QFETCH(QString, text);
    QFETCH(QList<int>, expected);
    const std::optional<std::vector<int>> settings = ParseSettings(text, 1, 100);
    QCOMPARE(settings.has_value(), !expected.isEmpty());
    if (settings) {
        QCOMPARE(QList<int>(settings->begin(), settings->end()), expected);
    }
}

void TestPictureCompression::cancelledSweepGivesNothing() {
    const QImage grey = GreyPicture(PhotoLike(64, 48, 1));
    const GreySweep sweep(grey, jpeg::DctMethod::Float);
    const std::atomic<bool> cancel{true};
    for (const GreyRule rule :
         {GreyRule::StandardTable, GreyRule::FlatTable, GreyRule::QuadrelStep}) {
        QVERIFY(!sweep.At(rule, 16, false, &cancel));
        QVERIFY(sweep.At(rule, 16, false));
    }
    QVERIFY(!sweep.At(GreyRule::QuadrelStep, 16, true)); // Quadrel's quantiser makes no file
    QVERIFY(!ColourPoint(PhotoLike(64, 48, 1), {}, false, &cancel));
    const ColourSweep colour(PhotoLike(64, 48, 1), jpeg::Subsampling::S420, jpeg::DctMethod::Float);
    QVERIFY(!colour.At({}, false, &cancel));
    QVERIFY(colour.At({}, false));
    CurveRequest request;
    request.Picture = grey;
    request.Qualities = {10, 50};
    request.Curves = {kCurveKinds.begin(), kCurveKinds.end()};
    std::atomic<int> done{0};
    QVERIFY(ComputeCurves(request, cancel, done).empty());
}

void TestPictureCompression::colourSweepGivesColourPoints_data() {
    QTest::addColumn<jpeg::Subsampling>("sampling");
    QTest::addColumn<jpeg::DctMethod>("dct");
    QTest::addColumn<bool>("optimise");
    QTest::addColumn<bool>("grey");
    QTest::newRow("4:2:0, float") << jpeg::Subsampling::S420 << jpeg::DctMethod::Float << false
                                  << false;
    QTest::newRow("4:2:2, integer, optimised")
        << jpeg::Subsampling::S422 << jpeg::DctMethod::Integer << true << false;
    QTest::newRow("grey, float, optimised")
        << jpeg::Subsampling::S444 << jpeg::DctMethod::Float << true << true;
}

// A sweep's point, prepared once for the picture, is the point made afresh
// for its setting: the file's and the scan's sizes, PSNR, SSIM to the last bit.
void TestPictureCompression::colourSweepGivesColourPoints() {
    QFETCH(jpeg::Subsampling, sampling);
    QFETCH(jpeg::DctMethod, dct);
    QFETCH(bool, optimise);
    QFETCH(bool, grey);
    const QImage picture = grey ? GreyPicture(PhotoLike(93, 70, 2)) : PhotoLike(93, 70, 2);
    const ColourSweep sweep(picture, sampling, dct);
    for (const auto& [q, m] : {std::pair{10, 10}, std::pair{75, 40}, std::pair{98, 98}}) {
        ColourCompressionSettings settings;
        settings.Quality = q;
        settings.ChromaQuality = m;
        settings.Sampling = sampling;
        settings.Dct = dct;
        const std::optional<RatePoint> fresh = ColourPoint(picture, settings, optimise);
        const std::optional<RatePoint> swept = sweep.At(settings, optimise, nullptr, 1);
        QVERIFY(fresh && swept);
        QCOMPARE(swept->Setting, q);
        QCOMPARE(swept->Bytes, fresh->Bytes);
        using Figures = std::array<double, 5>; // exact, unlike QCOMPARE of doubles
        QCOMPARE((Figures{swept->BitsPerPixel, swept->ScanBitsPerPixel, swept->Psnr, swept->PsnrY,
                          swept->Ssim}),
                 (Figures{fresh->BitsPerPixel, fresh->ScanBitsPerPixel, fresh->Psnr, fresh->PsnrY,
                          fresh->Ssim}));
    }
}

// The window's colour curves hold compress --colour's points, quality for quality.
void TestPictureCompression::colourCurvesAreColourPoints() {
    CurveRequest request;
    request.Picture = PhotoLike(70, 50, 3);
    request.Qualities = {20, 80};
    request.Curves = {CurveKind::StandardTables, CurveKind::OptimisedHuffman};
    request.Colour = jpeg::Subsampling::S422;
    request.Dct = jpeg::DctMethod::Integer;
    const std::atomic<bool> cancel{false};
    std::atomic<int> done{0};
    const std::vector<RateCurve> curves = ComputeCurves(request, cancel, done);
    QCOMPARE(curves.size(), std::size_t{2});
    for (const RateCurve& curve : curves) {
        QCOMPARE(curve.Points.size(), std::size_t{2});
        for (const RatePoint& point : curve.Points) {
            ColourCompressionSettings settings;
            settings.Quality = point.Setting;
            settings.ChromaQuality = point.Setting;
            settings.Sampling = *request.Colour;
            settings.Dct = request.Dct;
            const std::optional<RatePoint> fresh =
                ColourPoint(request.Picture, settings, curve.Kind == CurveKind::OptimisedHuffman);
            QVERIFY(fresh);
            QCOMPARE(point.Bytes, fresh->Bytes);
            using Figures = std::array<double, 3>; // exact, unlike QCOMPARE of doubles
            QCOMPARE((Figures{point.ScanBitsPerPixel, point.Psnr, point.Ssim}),
                     (Figures{fresh->ScanBitsPerPixel, fresh->Psnr, fresh->Ssim}));
        }
    }
    QCOMPARE(done.load(), 4);
}

// With optimised tables a point holds the written file's size, and its scan
// alone (no header, no stuffing) as the rate the curves share.
void TestPictureCompression::optimisedPointsAreTheFilesSizes() {
    const QImage grey = GreyPicture(PhotoLike(120, 88, 4));
    const GreySweep sweep(grey, jpeg::DctMethod::Float);
    const double pixels = 120.0 * 88.0;
    for (const int quality : {15, 60, 97}) {
        const std::optional<RatePoint> point = sweep.At(GreyRule::StandardTable, quality, true);
        QVERIFY(point);
        CompressionSettings settings;
        settings.Quality = quality;
        settings.KeepBlocks = true;
        const jpeg::PictureAnalysis a = Compress(grey, settings);
        jpeg::JfifOptions options;
        options.OptimiseHuffman = true;
        const Result<std::string> file = jpeg::WriteJfif(
            jpeg::GreyCodedPicture(a, 120, 88, jpeg::LuminanceTable(quality)), options);
        QVERIFY(file);
        const QByteArray bytes = QByteArray::fromStdString(*file);
        QCOMPARE(point->Bytes, bytes.size());
        QCOMPARE(point->ScanBitsPerPixel, 8.0 * double(ScanBytes(bytes)) / pixels);
        QVERIFY(point->ScanBitsPerPixel <= a.BitsPerPixel + 8.0 / pixels);
    }
}

#include "tst_picture_compression.moc"
