// Colour pictures through cjpeg and djpeg and through the colour analysis: the
// scan's bytes, and every rebuilt pixel under both upsamplings, the same; and
// every MCU laid open as the coder coded it.
#include "jpeg/colour_picture.h"
#include "jpeg/encoder_dct.h"
#include "jpeg/jpeg_exercise.h"
#include "jpeg/mcu_detail.h"
#include "jpeg/ssim.h"
#include "tests/support/jpeg_scan.h"
#include "tests/support/reference_pictures.h"

#include <QFile>
#include <QImage>
#include <QSize>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <cstring>

using namespace quadrel::jpeg;

namespace {

using quadrel::testing::PackedRows;
using quadrel::testing::PhotoLikeColourPicture;
using quadrel::testing::RunTool;
using quadrel::testing::ScanBytes;

double Psnr(const uchar* a, const uchar* b, qsizetype count) {
    double sum = 0;
    for (qsizetype i = 0; i < count; ++i) {
        const double e = double(a[i]) - double(b[i]);
        sum += e * e;
    }
    return 10.0 * std::log10(255.0 * 255.0 / (sum / double(count)));
}

} // namespace

class TestColourJpeg : public QObject {
    Q_OBJECT

private slots:
    void equalsLibjpeg_data();
    void equalsLibjpeg();
    void cancelledComesBackEmpty();
    void transformedOnceEqualsTheWholeChain_data();
    void transformedOnceEqualsTheWholeChain();
    void everyMcuIsTheCodersOwn_data();
    void everyMcuIsTheCodersOwn();
    void ssimEqualsScikitImage_data();
    void ssimEqualsScikitImage();

private:
    QTemporaryDir dir_;
};

void TestColourJpeg::equalsLibjpeg_data() {
    QTest::addColumn<QString>("picture");
    QTest::addColumn<Subsampling>("sampling");
    QTest::addColumn<int>("quality");
    QTest::addColumn<int>("chromaQuality");
    QTest::addColumn<DctMethod>("dct");
    // 199 x 145 leaves partial MCUs and padding blocks in every sampling;
    // coffee.png (400 x 600) padding rows at 4:2:0 and 4:4:0, columns at 4:1:1.
    for (const char* picture : {"generated", "coffee.png"}) {
        for (const Subsampling s : kSubsamplings) {
            for (const auto& [q, m] : {std::pair{50, 50}, std::pair{90, 70}}) {
                QTest::addRow("%s, %s, quality %d,%d", picture, SubsamplingName(s).data(), q, m)
                    << QString::fromLatin1(picture) << s << q << m << DctMethod::Float;
            }
        }
        QTest::addRow("%s, 4:2:0, quality 75, integer DCT", picture)
            << QString::fromLatin1(picture) << Subsampling::S420 << 75 << 75 << DctMethod::Integer;
    }
    // Two chroma samples or fewer across: the decoder repeats instead of smoothing.
    for (const Subsampling s : kSubsamplings) {
        QTest::addRow("tiny, %s, quality 60,40", SubsamplingName(s).data())
            << QStringLiteral("tiny") << s << 60 << 40 << DctMethod::Float;
    }
    QTest::addRow("generated grey, quality 80")
        << QStringLiteral("grey") << Subsampling::S444 << 80 << 80 << DctMethod::Float;
}

void TestColourJpeg::equalsLibjpeg() {
    QFETCH(QString, picture);
    QFETCH(Subsampling, sampling);
    QFETCH(int, quality);
    QFETCH(int, chromaQuality);
    QFETCH(DctMethod, dct);
    const QString cjpeg = QStandardPaths::findExecutable(QStringLiteral("cjpeg"));
    const QString djpeg = QStandardPaths::findExecutable(QStringLiteral("djpeg"));
    const QString photo = QStringLiteral("/usr/lib/python3/dist-packages/skimage/data/") + picture;
    if (cjpeg.isEmpty() || djpeg.isEmpty()) {
        QSKIP("cjpeg/djpeg (libjpeg-turbo-progs) are not installed.");
    }
    const bool grey = picture == QStringLiteral("grey");
    const QImage::Format format = grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888;
    QImage original;
    if (picture == QStringLiteral("generated") || grey) {
        original = PhotoLikeColourPicture(199, 145, 11, format);
    } else if (picture == QStringLiteral("tiny")) {
        original = PhotoLikeColourPicture(3, 9, 11, format);
    } else if (!QFile::exists(photo)) {
        QSKIP("python3-skimage's photos are missing.");
    } else {
        original = QImage(photo).convertToFormat(format);
    }
    const QString input = dir_.filePath(grey ? QStringLiteral("in.pgm") : QStringLiteral("in.ppm"));
    const QString jpg = dir_.filePath(QStringLiteral("out.jpg"));
    QVERIFY(original.save(input));
    const SamplingFactors f = LumaFactors(sampling);
    const QStringList method = dct == DctMethod::Float
                                   ? QStringList{QStringLiteral("-dct"), QStringLiteral("float")}
                                   : QStringList{};
    RunTool(cjpeg, QStringList{QStringLiteral("-baseline")} + method +
                       QStringList{QStringLiteral("-quality"),
                                   QStringLiteral("%1,%2").arg(quality).arg(chromaQuality),
                                   QStringLiteral("-sample"),
                                   QStringLiteral("%1x%2").arg(f.Horizontal).arg(f.Vertical),
                                   QStringLiteral("-outfile"), jpg, input});
    QFile encoded(jpg);
    QVERIFY(encoded.open(QIODevice::ReadOnly));
    const qint64 scan = ScanBytes(encoded.readAll());

    const QByteArray pixels = PackedRows(original);
    const int channels = grey ? 1 : 3;
    ColourSettings settings;
    settings.LumaTable = LuminanceTable(quality);
    settings.ChromaTable = ChrominanceTable(chromaQuality);
    settings.Sampling = sampling;
    settings.Dct = dct;
    const ColourPicture ours{reinterpret_cast<const std::uint8_t*>(pixels.constData()),
                             original.width(), original.height(),
                             std::ptrdiff_t(original.width()) * channels, channels};
    ColourAnalysis result;
    for (const Upsampling up : {Upsampling::Smooth, Upsampling::Box}) {
        settings.Upsample = up;
        result = AnalyseColourPicture(ours, settings);
        QStringList options = method + QStringList{QStringLiteral("-pnm")};
        if (up == Upsampling::Box) {
            options << QStringLiteral("-nosmooth");
        }
        const QByteArray theirs = PackedRows(
            QImage::fromData(RunTool(djpeg, options + QStringList{jpg})).convertToFormat(format));
        QCOMPARE(theirs.size(), pixels.size());
        const auto* rebuilt = reinterpret_cast<const uchar*>(theirs.constData());
        const double theirPsnr =
            Psnr(reinterpret_cast<const uchar*>(pixels.constData()), rebuilt, pixels.size());
        qInfo("%s: scan %lld bytes, ours %lld; PSNR djpeg %.4f dB, ours %.4f dB (Y %.4f dB)",
              up == Upsampling::Smooth ? "smooth" : "box", qlonglong(scan), qlonglong(result.Bytes),
              theirPsnr, result.Psnr, result.PsnrY);
        std::int64_t componentBits = 0;
        for (const ComponentCoding& c : result.Coding) {
            componentBits += c.Bits();
        }
        QCOMPARE(componentBits, result.TotalBits);
        QCOMPARE(result.Bytes, scan);
        QCOMPARE(int(result.Coding.size()), channels);
        QVERIFY(std::equal(result.Reconstruction.begin(), result.Reconstruction.end(), rebuilt,
                           rebuilt + theirs.size()));
        QCOMPARE(result.Psnr, theirPsnr);
    }
    // djpeg -grayscale gives the Y plane as decoded, before any upsampling.
    const QByteArray decodedY = PackedRows(
        QImage::fromData(RunTool(djpeg, method + QStringList{QStringLiteral("-grayscale"),
                                                             QStringLiteral("-pnm"), jpg}))
            .convertToFormat(QImage::Format_Grayscale8));
    QByteArray originalY = pixels;
    if (!grey) {
        originalY.resize(pixels.size() / 3);
        for (qsizetype i = 0; i < originalY.size(); ++i) {
            originalY[i] = char(RgbToYcc(quint8(pixels[3 * i]), quint8(pixels[3 * i + 1]),
                                         quint8(pixels[3 * i + 2]))[0]);
        }
    }
    QCOMPARE(decodedY.size(), originalY.size());
    QCOMPARE(result.PsnrY,
             Psnr(reinterpret_cast<const uchar*>(originalY.constData()),
                  reinterpret_cast<const uchar*>(decodedY.constData()), originalY.size()));
}

// A cancel already asked for stops the analysis before any block is coded.
void TestColourJpeg::cancelledComesBackEmpty() {
    constexpr std::ptrdiff_t kStride = 192; // 64 pixels of three bytes
    const std::vector<std::uint8_t> pixels(std::size_t{kStride} * 48, 100);
    const std::atomic<bool> cancel{true};
    const ColourAnalysis result =
        AnalyseColourPicture({pixels.data(), 64, 48, kStride, 3}, ColourSettings{}, &cancel);
    QVERIFY(result.Cancelled);
    QVERIFY(result.Reconstruction.empty() && result.Coding.empty());
}

void TestColourJpeg::transformedOnceEqualsTheWholeChain_data() {
    QTest::addColumn<Subsampling>("sampling");
    QTest::addColumn<DctMethod>("dct");
    QTest::addColumn<int>("channels");
    // 61 x 37: partial MCUs and padding blocks in every sampling.
    for (const Subsampling s : kSubsamplings) {
        QTest::addRow("%s, float", SubsamplingName(s).data()) << s << DctMethod::Float << 3;
    }
    QTest::newRow("4:2:0, integer") << Subsampling::S420 << DctMethod::Integer << 3;
    QTest::newRow("4:1:1, integer") << Subsampling::S411 << DctMethod::Integer << 3;
    QTest::newRow("grey, integer") << Subsampling::S444 << DctMethod::Integer << 1;
}

// One transform quantised with many pairs of tables gives, pair for pair, the
// whole chain's blocks, reconstruction and figures, whatever the threads.
void TestColourJpeg::transformedOnceEqualsTheWholeChain() {
    QFETCH(Subsampling, sampling);
    QFETCH(DctMethod, dct);
    QFETCH(int, channels);
    const QImage original = PhotoLikeColourPicture(
        61, 37, 4, channels == 1 ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    const QByteArray pixels = PackedRows(original);
    const ColourPicture picture{reinterpret_cast<const std::uint8_t*>(pixels.constData()), 61, 37,
                                std::ptrdiff_t{61} * channels, channels};
    const TransformedColourPicture transformed(picture, sampling, dct, 3);
    for (const auto& [q, m] : {std::pair{5, 30}, std::pair{50, 50}, std::pair{100, 97}}) {
        ColourSettings settings;
        settings.LumaTable = LuminanceTable(q);
        settings.ChromaTable = ChrominanceTable(m);
        settings.Sampling = sampling;
        settings.Dct = dct;
        settings.KeepBlocks = true;
        const ColourAnalysis whole = AnalyseColourPicture(picture, settings);
        settings.Threads = 1;
        settings.Sampling = Subsampling::S444; // the transform's own are used
        settings.Dct = dct == DctMethod::Float ? DctMethod::Integer : DctMethod::Float;
        const ColourAnalysis once = transformed.Analyse(settings);
        QCOMPARE(once.Coded.Components.size(), whole.Coded.Components.size());
        for (std::size_t c = 0; c < whole.Coded.Components.size(); ++c) {
            QCOMPARE(once.Coded.Components[c].Blocks, whole.Coded.Components[c].Blocks);
            QCOMPARE(once.Coding[c].DcBits, whole.Coding[c].DcBits);
            QCOMPARE(once.Coding[c].AcBits, whole.Coding[c].AcBits);
        }
        QCOMPARE(once.Reconstruction, whole.Reconstruction);
        // To the last bit, not within QCOMPARE's tolerance for doubles.
        using Figures = std::array<double, 3>;
        QCOMPARE((Figures{once.Psnr, once.PsnrY, once.Ssim}),
                 (Figures{whole.Psnr, whole.PsnrY, whole.Ssim}));
    }
    const std::atomic<bool> cancel{true};
    QVERIFY(transformed.Analyse(ColourSettings{}, &cancel).Cancelled);
}

void TestColourJpeg::everyMcuIsTheCodersOwn_data() {
    QTest::addColumn<Subsampling>("sampling");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    // Partial MCUs, padding blocks and, at an even height, chroma rows below
    // the last sampled one.
    for (const Subsampling s : kSubsamplings) {
        QTest::addRow("%s, 45 x 27", SubsamplingName(s).data()) << s << 45 << 27;
        QTest::addRow("%s, 50 x 34", SubsamplingName(s).data()) << s << 50 << 34;
    }
}

// The samples an MCU shows transform to the coded indices, a padding block
// repeats the DC before it, and the bits of every MCU's blocks add up to each
// component's bits: the averages, the padding and the DC chain are the coder's.
void TestColourJpeg::everyMcuIsTheCodersOwn() {
    QFETCH(Subsampling, sampling);
    QFETCH(int, width);
    QFETCH(int, height);
    const QImage picture = PhotoLikeColourPicture(width, height, 11, QImage::Format_RGB888);
    const ColourPicture input{picture.constBits(), width, height, picture.bytesPerLine(), 3};
    ColourSettings settings;
    settings.Sampling = sampling;
    settings.KeepBlocks = true;
    const ColourAnalysis analysis = AnalyseColourPicture(input, settings);
    const std::array<EncoderBlockCodec, 2> codecs = {
        EncoderBlockCodec(settings.LumaTable, settings.Dct),
        EncoderBlockCodec(settings.ChromaTable, settings.Dct)};
    const SamplingFactors luma = LumaFactors(sampling);
    std::array<std::int64_t, 3> bits{};
    for (int y = 0; y < height; y += 8 * luma.Vertical) {
        for (int x = 0; x < width; x += 8 * luma.Horizontal) {
            const quadrel::Result<McuDetail> mcu =
                DescribeMcu(input, sampling, analysis.Coded, x, y);
            QVERIFY2(mcu.Ok(), mcu.Message().c_str());
            for (const McuBlock& block : mcu->Blocks) {
                bits[block.Component] += block.Bits;
                if (block.Padding) {
                    QCOMPARE(block.DcDifference, 0);
                    QVERIFY(std::all_of(block.Quantised.begin() + 1, block.Quantised.end(),
                                        [](int index) { return index == 0; }));
                    continue;
                }
                Indices quantised{};
                codecs[block.Component == 0 ? 0 : 1].Forward(block.Values(), quantised);
                QCOMPARE(quantised, block.Quantised);
            }
        }
    }
    for (std::size_t c = 0; c < 3; ++c) {
        QCOMPARE(bits[c], analysis.Coding[c].Bits());
    }
    QVERIFY(!DescribeMcu(input,
                         Subsampling::S444 == sampling ? Subsampling::S420 : Subsampling::S444,
                         analysis.Coded, 0, 0)
                 .Ok()); // blocks of another sampling
}

// scikit-image's SSIM as Wang et al. define it: the mean, and every pixel's
// value written out as doubles.
constexpr const char* kSkimageSsim = R"(
import sys, numpy as np
from skimage.metrics import structural_similarity
w, h = int(sys.argv[3]), int(sys.argv[4])
a = np.fromfile(sys.argv[1], np.uint8).reshape(h, w)
b = np.fromfile(sys.argv[2], np.uint8).reshape(h, w)
m, s = structural_similarity(a, b, gaussian_weights=True, sigma=1.5,
                             use_sample_covariance=False, data_range=255, full=True)
s.astype(np.float64).tofile(sys.argv[5])
print(repr(m))
)";

void TestColourJpeg::ssimEqualsScikitImage_data() {
    QTest::addColumn<QString>("picture");
    QTest::addColumn<int>("quality");
    QTest::addColumn<QSize>("size"); // of the generated picture
    QTest::newRow("camera.png, quality 50") << QStringLiteral("camera.png") << 50 << QSize();
    QTest::newRow("astronaut.png's Y, quality 20")
        << QStringLiteral("astronaut.png") << 20 << QSize();
    // Small enough that the reflected edges weigh in the map and the mean.
    QTest::newRow("generated 23 x 17, quality 10")
        << QStringLiteral("generated") << 10 << QSize(23, 17);
    // The window's own size: each window reaches some rows twice, and the
    // mean is a single pixel's.
    QTest::newRow("generated 11 x 11, quality 30")
        << QStringLiteral("generated") << 30 << QSize(11, 11);
    // Inner rows of 8 + 7 pixels, in as many partial sums; rows reflected at
    // both ends of a short picture.
    QTest::newRow("generated 25 x 12, quality 5")
        << QStringLiteral("generated") << 5 << QSize(25, 12);
}

void TestColourJpeg::ssimEqualsScikitImage() {
    QFETCH(QString, picture);
    QFETCH(int, quality);
    QFETCH(QSize, size);
    const QString python = QStringLiteral("/usr/bin/python3");
    QProcess probe;
    probe.start(python, {QStringLiteral("-c"), QStringLiteral("import skimage.metrics")});
    if (!probe.waitForFinished(60000) || probe.exitCode() != 0) {
        QSKIP("python3-skimage is not installed.");
    }
    QImage original;
    if (picture == QStringLiteral("generated")) {
        original = PhotoLikeColourPicture(size.width(), size.height(), 11, QImage::Format_RGB888);
    } else if (const QString photo =
                   QStringLiteral("/usr/lib/python3/dist-packages/skimage/data/") + picture;
               QFile::exists(photo)) {
        original = QImage(photo);
    } else {
        QSKIP("python3-skimage's photos are missing.");
    }
    const bool grey = original.isGrayscale();
    original = original.convertToFormat(grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    ColourSettings settings;
    settings.LumaTable = LuminanceTable(quality);
    settings.ChromaTable = ChrominanceTable(quality);
    settings.Sampling = Subsampling::S444;
    const ColourPicture colour{original.constBits(), original.width(), original.height(),
                               original.bytesPerLine(), grey ? 1 : 3};
    const ColourAnalysis coded = AnalyseColourPicture(colour, settings);
    // At 4:4:4 Y goes through the chain as a grey picture of its own would.
    const std::vector<SampledPlane> planes = SampledPlanes(colour, Subsampling::S444);
    const SampledPlane& y = planes[0];
    const ColourPicture yAlone{y.Samples.data(), y.Width, y.Height, y.Width, 1};
    const ColourAnalysis yCoded = AnalyseColourPicture(yAlone, settings);
    QCOMPARE(coded.Ssim, yCoded.Ssim);

    const QString a = dir_.filePath(QStringLiteral("a.raw"));
    const QString b = dir_.filePath(QStringLiteral("b.raw"));
    const QString map = dir_.filePath(QStringLiteral("map.raw"));
    for (const auto& [path, pixels] : {std::pair{a, &y.Samples}, {b, &yCoded.Reconstruction}}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(pixels->data()), qint64(pixels->size()));
    }
    const double expected =
        RunTool(python, {QStringLiteral("-c"), QString::fromLatin1(kSkimageSsim), a, b,
                         QString::number(y.Width), QString::number(y.Height), map})
            .trimmed()
            .toDouble();
    // The same sums in another order: a few parts in 10^10 apart.
    QVERIFY2(std::abs(yCoded.Ssim - expected) < 1e-6, qPrintable(QStringLiteral("%1 against %2")
                                                                     .arg(yCoded.Ssim, 0, 'g', 17)
                                                                     .arg(expected, 0, 'g', 17)));

    const GreyPicture before{y.Samples.data(), y.Width, y.Height, y.Width};
    const GreyPicture after{yCoded.Reconstruction.data(), y.Width, y.Height, y.Width};
    const SsimMap local = LocalSsim(before, after, 3);
    QCOMPARE(local.Mean, yCoded.Ssim); // nor does the number of threads change it
    QFile values(map);
    QVERIFY(values.open(QIODevice::ReadOnly));
    const QByteArray bytes = values.readAll();
    QCOMPARE(bytes.size(), qsizetype(local.Values.size() * sizeof(double)));
    double worst = 0.0;
    for (std::size_t i = 0; i < local.Values.size(); ++i) {
        double value = 0.0;
        std::memcpy(&value, bytes.constData() + i * sizeof(double), sizeof(double));
        worst = std::max(worst, std::abs(double(local.Values[i]) - value));
    }
    QVERIFY2(worst < 1e-6, qPrintable(QString::number(worst))); // float map, float division
}

QTEST_GUILESS_MAIN(TestColourJpeg)
#include "tst_colour_jpeg.moc"
