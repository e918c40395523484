// Our JFIF files against cjpeg's for the same picture and settings: the same
// bytes, djpeg rebuilding the pixels the analysis reports, Qt reading them
// without a word.
#include "jpeg/colour_picture.h"
#include "jpeg/jfif_writer.h"
#include "jpeg/jpeg_picture.h"
#include "tests/support/reference_pictures.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace quadrel::jpeg;

namespace {

using quadrel::testing::PackedRows;
using quadrel::testing::PhotoLikeColourPicture;
using quadrel::testing::RunTool;

/// The first byte where two files differ, or -1.
qsizetype FirstDifference(const QByteArray& a, const QByteArray& b) {
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        if (a[i] != b[i]) {
            return i;
        }
    }
    return a.size() == b.size() ? -1 : n;
}

} // namespace

class TestJfifWriter : public QObject {
    Q_OBJECT

private slots:
    void equalsCjpeg_data();
    void equalsCjpeg();
    void optimalTable_data();
    void optimalTable();
    void refusesWhatBaselineCannotHold();

private:
    QTemporaryDir dir_;
};

void TestJfifWriter::equalsCjpeg_data() {
    QTest::addColumn<QString>("picture");
    QTest::addColumn<QString>("sampling"); // "grey" or a colour sampling's name
    QTest::addColumn<int>("quality");
    QTest::addColumn<bool>("optimise");
    QTest::addColumn<int>("restart");
    for (const char* picture : {"generated", "coffee.png"}) {
        for (const char* sampling : {"grey", "4:2:0", "4:2:2"}) {
            for (const int q : {50, 92}) {
                QTest::addRow("%s, %s, quality %d", picture, sampling, q)
                    << QString::fromLatin1(picture) << QString::fromLatin1(sampling) << q << false
                    << 0;
            }
            QTest::addRow("%s, %s, optimised", picture, sampling)
                << QString::fromLatin1(picture) << QString::fromLatin1(sampling) << 75 << true << 0;
        }
        // 7 MCUs between markers: the markers cycle through all eight numbers.
        QTest::addRow("%s, 4:2:0, restart 7", picture)
            << QString::fromLatin1(picture) << QStringLiteral("4:2:0") << 75 << false << 7;
        QTest::addRow("%s, grey, optimised, restart 5", picture)
            << QString::fromLatin1(picture) << QStringLiteral("grey") << 75 << true << 5;
    }
}

void TestJfifWriter::equalsCjpeg() {
    QFETCH(QString, picture);
    QFETCH(QString, sampling);
    QFETCH(int, quality);
    QFETCH(bool, optimise);
    QFETCH(int, restart);
    const QString cjpeg = QStandardPaths::findExecutable(QStringLiteral("cjpeg"));
    const QString djpeg = QStandardPaths::findExecutable(QStringLiteral("djpeg"));
    if (cjpeg.isEmpty() || djpeg.isEmpty()) {
        QSKIP("cjpeg/djpeg (libjpeg-turbo-progs) are not installed.");
    }
    const bool grey = sampling == QStringLiteral("grey");
    const QImage::Format format = grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888;
    const QString photo = QStringLiteral("/usr/lib/python3/dist-packages/skimage/data/") + picture;
    QImage original;
    if (picture == QStringLiteral("generated")) {
        original = PhotoLikeColourPicture(199, 145, 21, format);
    } else if (!QFile::exists(photo)) {
        QSKIP("python3-skimage's photos are missing.");
    } else {
        original = QImage(photo).convertToFormat(format);
    }
    const QString input = dir_.filePath(grey ? QStringLiteral("in.pgm") : QStringLiteral("in.ppm"));
    QVERIFY(original.save(input));
    const std::optional<Subsampling> s = SubsamplingFromName(sampling.toStdString());
    const SamplingFactors f = grey ? SamplingFactors{} : LumaFactors(*s);
    QStringList options = {QStringLiteral("-baseline"),
                           QStringLiteral("-dct"),
                           QStringLiteral("float"),
                           QStringLiteral("-quality"),
                           QString::number(quality),
                           QStringLiteral("-sample"),
                           QStringLiteral("%1x%2").arg(f.Horizontal).arg(f.Vertical)};
    if (optimise) {
        options << QStringLiteral("-optimize");
    }
    if (restart > 0) {
        options << QStringLiteral("-restart") << QStringLiteral("%1B").arg(restart);
    }
    const QByteArray theirs = RunTool(cjpeg, options + QStringList{input});

    const QByteArray pixels = PackedRows(original);
    const int channels = grey ? 1 : 3;
    ColourSettings settings;
    settings.LumaTable = LuminanceTable(quality);
    settings.ChromaTable = ChrominanceTable(quality);
    settings.Sampling = grey ? Subsampling::S444 : *s;
    settings.KeepBlocks = true;
    const ColourPicture in{reinterpret_cast<const std::uint8_t*>(pixels.constData()),
                           original.width(), original.height(),
                           std::ptrdiff_t(original.width()) * channels, channels};
    const ColourAnalysis analysis = AnalyseColourPicture(in, settings);
    const JfifOptions jfif{optimise, restart};
    const quadrel::Result<JfifFile> file = WriteJfifFile(analysis.Coded, jfif);
    QVERIFY2(file.Ok(), file.Message().c_str());
    const QByteArray ours = QByteArray::fromStdString(file->Bytes);
    const qsizetype at = FirstDifference(ours, theirs);
    QVERIFY2(at < 0, qPrintable(QStringLiteral("first difference at byte %1 of %2 (cjpeg: %3)")
                                    .arg(at)
                                    .arg(ours.size())
                                    .arg(theirs.size())));
    // The scan is what follows cjpeg's SOS segment, up to its EOI.
    const qsizetype sos = theirs.indexOf("\xFF\xDA");
    const qsizetype scan = sos + 2 + (quint8(theirs[sos + 2]) << 8 | quint8(theirs[sos + 3]));
    QCOMPARE(qsizetype(file->ScanBytes), theirs.size() - 2 - scan);
    QCOMPARE(file->HeaderBytes(), std::size_t(scan + 2));

    // The grey chain codes the same blocks, so writes the same file.
    if (grey) {
        PictureSettings greySettings;
        greySettings.Table = settings.LumaTable;
        greySettings.Encoder = DctMethod::Float;
        greySettings.KeepBlocks = true;
        const PictureAnalysis a =
            AnalysePicture(GreyPicture{in.Pixels, in.Width, in.Height, in.Stride}, greySettings);
        const quadrel::Result<std::string> greyFile =
            WriteJfif(GreyCodedPicture(a, in.Width, in.Height, greySettings.Table), jfif);
        QVERIFY(greyFile.Ok());
        QCOMPARE(QByteArray::fromStdString(*greyFile), theirs);
    }

    const QString jpg = dir_.filePath(QStringLiteral("ours.jpg"));
    QFile out(jpg);
    QVERIFY(out.open(QIODevice::WriteOnly) && out.write(ours) == ours.size());
    out.close();
    const QByteArray decoded = PackedRows(
        QImage::fromData(RunTool(djpeg, QStringList{QStringLiteral("-dct"), QStringLiteral("float"),
                                                    QStringLiteral("-pnm"), jpg}))
            .convertToFormat(format));
    QCOMPARE(decoded.size(), qsizetype(analysis.Reconstruction.size()));
    QVERIFY(std::equal(analysis.Reconstruction.begin(), analysis.Reconstruction.end(),
                       reinterpret_cast<const std::uint8_t*>(decoded.constData())));
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    QBuffer buffer;
    buffer.setData(ours);
    QImageReader reader(&buffer, "jpeg");
    const QImage read = reader.read();
    QVERIFY2(!read.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(read.size(), original.size());
}

void TestJfifWriter::optimalTable_data() {
    QTest::addColumn<QList<int>>("symbols"); // symbol, count, symbol, count, ...
    QTest::addColumn<QList<int>>("lengths"); // codes per length 1..16
    QTest::addColumn<QList<int>>("order");   // the symbols as the table lists them
    // Counts 8, 4, 2, 1 and the pseudo-symbol's 1: lengths 1, 2, 3, 4 and its 4.
    QTest::addRow("skewed") << QList<int>{0, 8, 1, 4, 2, 2, 3, 1}
                            << QList<int>{1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}
                            << QList<int>{0, 1, 2, 3};
    // Counts doubling over 20 symbols grow a tree 20 deep; folded to 16 bits,
    // the seven rarest share the longest length with the pseudo-symbol.
    QList<int> doubling;
    QList<int> order;
    for (int i = 0; i < 20; ++i) {
        doubling << i << (1 << i);
        order.prepend(i);
    }
    QTest::addRow("deep") << doubling << QList<int>{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 7}
                          << order;
    // One symbol: 1 bit, the pseudo-symbol took the other code.
    QTest::addRow("one") << QList<int>{5, 3}
                         << QList<int>{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}
                         << QList<int>{5};
}

void TestJfifWriter::optimalTable() {
    QFETCH(QList<int>, symbols);
    QFETCH(QList<int>, lengths);
    QFETCH(QList<int>, order);
    std::array<std::int64_t, 256> counts{};
    for (qsizetype i = 0; i < symbols.size(); i += 2) {
        counts[std::size_t(symbols[i])] = symbols[i + 1];
    }
    const HuffmanTableSpec spec = OptimalTable(counts);
    QCOMPARE(QList<int>(spec.Counts.begin(), spec.Counts.end()), lengths);
    QCOMPARE(QList<int>(spec.Symbols.begin(), spec.Symbols.end()), order);
}

void TestJfifWriter::refusesWhatBaselineCannotHold() {
    CodedPicture picture;
    picture.Width = 8;
    picture.Height = 8;
    picture.QuantTables.push_back(LuminanceTable(50));
    CodedComponent c;
    c.BlocksAcross = 1;
    c.BlocksDown = 1;
    c.Blocks.resize(1);
    picture.Components.push_back(c);
    QVERIFY(WriteJfif(picture).Ok());
    CodedPicture wide = picture;
    wide.Width = 65536;
    CodedPicture table = picture;
    table.QuantTables[0][5] = 256;
    CodedPicture dc = picture;
    dc.Components[0].Blocks[0][0] = 2048;
    CodedPicture ac = picture;
    ac.Components[0].Blocks[0][1] = -1024;
    CodedPicture missing = picture;
    missing.Components[0].Blocks.clear();
    for (const CodedPicture& bad : {wide, table, dc, ac, missing}) {
        QVERIFY(!WriteJfif(bad).Ok());
    }
}

QTEST_MAIN(TestJfifWriter)
#include "tst_jfif_writer.moc"
