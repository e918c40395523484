// The JPEG file reader against files whose contents are known without it:
// cjpeg's, made with the settings each row names, and the same files damaged
// by hand in known places.
#include "jpeg_file/jpeg_file.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <span>

using namespace quadrel::jpeg_file;

namespace {

constexpr int kWidth = 40;
constexpr int kHeight = 24;

QByteArray MakeSegment(int marker, const QByteArray& payload) {
    QByteArray s;
    s.append(char(0xFF)).append(char(marker));
    s.append(char((payload.size() + 2) >> 8)).append(char((payload.size() + 2) & 0xFF));
    return s + payload;
}

/// `jpeg` with `segment` right after SOI.
QByteArray WithSegment(const QByteArray& jpeg, const QByteArray& segment) {
    return jpeg.left(2) + segment + jpeg.mid(2);
}

/// Offset of the first marker 0xFF `marker`.
qsizetype MarkerAt(const QByteArray& jpeg, int marker) {
    return jpeg.indexOf(QByteArray(1, char(0xFF)) + char(marker));
}

quadrel::Result<JpegFile> Read(const QByteArray& bytes) {
    return ReadJpegFile(
        std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()), bytes.size()));
}

QString Names(const JpegFile& file) {
    QStringList names;
    for (const auto& s : file.Segments) {
        names << QString::fromStdString(s.Name);
    }
    return names.join(' ');
}

bool AnyWarningHas(const JpegFile& file, const QString& part) {
    return std::any_of(file.Warnings.begin(), file.Warnings.end(), [&](const std::string& w) {
        return QString::fromStdString(w).contains(part);
    });
}

/// A little-endian or big-endian Exif block with Make, Model, Orientation and DateTime.
QByteArray Exif(bool bigEndian, int orientation, const QByteArray& make, const QByteArray& model,
                const QByteArray& dateTime) {
    QByteArray tiff;
    auto put16 = [&](QByteArray& b, int v) {
        b.append(char(bigEndian ? v >> 8 : v & 0xFF)).append(char(bigEndian ? v & 0xFF : v >> 8));
    };
    auto put32 = [&](QByteArray& b, int v) {
        if (bigEndian) {
            put16(b, v >> 16);
            put16(b, v & 0xFFFF);
        } else {
            put16(b, v & 0xFFFF);
            put16(b, v >> 16);
        }
    };
    tiff.append(bigEndian ? "MM" : "II");
    put16(tiff, 42);
    put32(tiff, 8);
    const QList<QByteArray> texts = {make + '\0', model + '\0', dateTime + '\0'};
    const int tags[] = {0x010F, 0x0110, 0x0132};
    put16(tiff, 4);
    int data = 8 + 2 + 4 * 12 + 4;
    QByteArray values;
    for (int i = 0; i < 3; ++i) {
        if (i == 2) {
            put16(tiff, 0x0112); // tags in ascending order: Orientation before DateTime
            put16(tiff, 3);
            put32(tiff, 1);
            put16(tiff, orientation);
            put16(tiff, 0);
        }
        put16(tiff, tags[i]);
        put16(tiff, 2);
        put32(tiff, int(texts[i].size()));
        if (texts[i].size() <= 4) { // short values stand in the entry itself
            tiff += texts[i].leftJustified(4, '\0');
        } else {
            put32(tiff, data + int(values.size()));
            values += texts[i];
        }
    }
    put32(tiff, 0);
    return MakeSegment(0xE1, QByteArray("Exif\0\0", 6) + tiff + values);
}

/// An ICC profile in one APP2 chunk whose description says `name`: a version
/// 2 'desc' tag in ASCII, or a version 4 'mluc' tag in UTF-16.
QByteArray Icc(const QString& name, bool v4) {
    QByteArray desc;
    if (v4) {
        QByteArray utf16;
        for (const QChar c : name) {
            utf16.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xFF));
        }
        desc = QByteArray("mluc\0\0\0\0\0\0\0\1\0\0\0\x0c"
                          "enUS\0\0\0",
                          23) +
               char(utf16.size()) + QByteArray("\0\0\0\x1c", 4) + utf16;
    } else {
        desc =
            QByteArray("desc\0\0\0\0\0\0\0", 11) + char(name.size() + 1) + name.toLatin1() + '\0';
    }
    QByteArray profile(128, '\0');
    profile.append(QByteArray("\0\0\0\1desc\0\0\0\x90\0\0\0", 15)).append(char(desc.size()));
    profile += desc;
    return MakeSegment(0xE2, QByteArray("ICC_PROFILE\0\1\1", 14) + profile);
}

} // namespace

class TestJpegFile : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cjpegFiles_data();
    void cjpegFiles();
    void qualities_data();
    void qualities();
    void metadata_data();
    void metadata();
    void damaged_data();
    void damaged();

private:
    /// cjpeg's file for the grey or colour picture with `options`.
    QByteArray Cjpeg(bool grey, const QStringList& options);

    QTemporaryDir dir_;
    QString cjpeg_;
};

void TestJpegFile::initTestCase() {
    cjpeg_ = QStandardPaths::findExecutable(QStringLiteral("cjpeg"));
    if (cjpeg_.isEmpty()) {
        QSKIP("cjpeg (libjpeg-turbo-progs) is not installed.");
    }
    QImage colour(kWidth, kHeight, QImage::Format_RGB888);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            colour.setPixel(x, y, qRgb(x * 6, y * 10, (x * y) % 256));
        }
    }
    QVERIFY(colour.save(dir_.filePath("colour.ppm"), "PPM"));
    QVERIFY(
        colour.convertToFormat(QImage::Format_Grayscale8).save(dir_.filePath("grey.pgm"), "PGM"));
    QFile table(dir_.filePath("table.txt"));
    QVERIFY(table.open(QIODevice::WriteOnly));
    // The standard luminance table with its first entry one larger, then a
    // flat table for the chrominance slot.
    table.write("17 11 10 16 24 40 51 61 12 12 14 19 26 58 60 55 14 13 16 24 40 57 69 56 "
                "14 17 22 29 51 87 80 62 18 22 37 56 68 109 103 77 24 35 55 64 81 104 113 92 "
                "49 64 78 87 103 121 120 101 72 92 95 98 112 100 103 99\n");
    table.write(QByteArray("20 ").repeated(64) + "\n");
}

QByteArray TestJpegFile::Cjpeg(bool grey, const QStringList& options) {
    QProcess process;
    process.start(cjpeg_, options + QStringList{dir_.filePath(grey ? "grey.pgm" : "colour.ppm")});
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        qFatal("cjpeg failed");
    }
    return process.readAllStandardOutput();
}

void TestJpegFile::cjpegFiles_data() {
    QTest::addColumn<bool>("grey");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("names");
    QTest::addColumn<QString>("process");
    QTest::addColumn<QString>("sampling");
    QTest::addColumn<QSize>("mcus");
    QTest::addColumn<QString>("bands"); ///< Ss-Se of every scan
    QTest::addColumn<QString>("restarts");
    QTest::addColumn<bool>("showable");

    const QString colourBaseline = "SOI APP0 DQT DQT SOF0 DHT DHT DHT DHT SOS EOI";
    // 40 x 24: 8x8 MCUs 5 x 3; 16x16 MCUs 3 x 2; 16x8 MCUs 3 x 3.
    QTest::newRow("grey q50") << true << QStringList{"-quality", "50"}
                              << "SOI APP0 DQT SOF0 DHT DHT SOS EOI"
                              << "baseline"
                              << "" << QSize(5, 3) << "0-63"
                              << "none" << true;
    QTest::newRow("4:2:0 restart 2 MCUs")
        << false << QStringList{"-quality", "75", "-sample", "2x2", "-restart", "2B"}
        << "SOI APP0 DQT DQT SOF0 DHT DHT DHT DHT DRI SOS EOI"
        << "baseline"
        << "4:2:0" << QSize(3, 2) << "0-63"
        << "2 markers, interval 2" << true;
    QTest::newRow("grey restart 1 row")
        << true << QStringList{"-restart", "1"} << "SOI APP0 DQT SOF0 DHT DHT DRI SOS EOI"
        << "baseline"
        << "" << QSize(5, 3) << "0-63"
        << "2 markers, interval 5" << true;
    QTest::newRow("4:2:2 optimised")
        << false << QStringList{"-sample", "2x1", "-optimize"} << colourBaseline << "baseline"
        << "4:2:2" << QSize(3, 3) << "0-63"
        << "none" << true;
    QTest::newRow("4:4:4") << false << QStringList{"-sample", "1x1"} << colourBaseline << "baseline"
                           << "4:4:4" << QSize(5, 3) << "0-63"
                           << "none" << true;
    QTest::newRow("4:4:0") << false << QStringList{"-sample", "1x2"} << colourBaseline << "baseline"
                           << "4:4:0" << QSize(5, 2) << "0-63"
                           << "none" << true;
    QTest::newRow("4:1:1") << false << QStringList{"-sample", "4x1"} << colourBaseline << "baseline"
                           << "4:1:1" << QSize(2, 3) << "0-63"
                           << "none" << true;
    QTest::newRow("unnamed 2x2,1x2,1x1")
        << false << QStringList{"-sample", "2x2,1x2,1x1"} << colourBaseline << "baseline"
        << "2x2,1x2,1x1" << QSize(3, 2) << "0-63"
        << "none" << true;
    // libjpeg's standard progression for three components and for one.
    QTest::newRow("progressive colour")
        << false << QStringList{"-progressive", "-sample", "2x2"}
        << "SOI APP0 DQT DQT SOF2 DHT DHT SOS DHT SOS DHT SOS DHT SOS DHT SOS DHT SOS SOS DHT SOS "
           "DHT SOS DHT SOS EOI"
        << "progressive"
        << "4:2:0" << QSize(3, 2) << "0-0 1-5 1-63 1-63 6-63 1-63 0-0 1-63 1-63 1-63"
        << "none" << true;
    QTest::newRow("progressive grey") << true << QStringList{"-progressive"}
                                      << "SOI APP0 DQT SOF2 DHT SOS DHT SOS DHT SOS DHT SOS SOS "
                                         "DHT SOS EOI"
                                      << "progressive"
                                      << "" << QSize(5, 3) << "0-0 1-5 6-63 1-63 0-0 1-63"
                                      << "none" << true;
    QTest::newRow("arithmetic") << false << QStringList{"-arithmetic", "-sample", "2x2"}
                                << "SOI APP0 DQT DQT SOF9 DAC SOS EOI"
                                << "arithmetic"
                                << "4:2:0" << QSize(3, 2) << "0-63"
                                << "none" << false;
}

void TestJpegFile::cjpegFiles() {
    QFETCH(bool, grey);
    QFETCH(QStringList, options);
    QFETCH(QString, bands);
    const QByteArray bytes = Cjpeg(grey, options);
    const auto file = Read(bytes);
    QVERIFY(file.Ok());
    QTEST(Names(*file), "names");
    QVERIFY(file->FrameHeader.has_value());
    const Frame& frame = *file->FrameHeader;
    QTEST(QString::fromLatin1(ProcessName(frame.Kind).data()), "process");
    QTEST(QString::fromStdString(frame.SubsamplingName), "sampling");
    QTEST(QSize(frame.McusAcross, frame.McusDown), "mcus");
    QCOMPARE(frame.Width, kWidth);
    QCOMPARE(frame.Height, kHeight);
    QStringList seen;
    int restarts = 0;
    for (const Scan& scan : file->Scans) {
        seen << QStringLiteral("%1-%2").arg(scan.Ss).arg(scan.Se);
        restarts += scan.RestartMarkers;
        QCOMPARE(scan.RestartInterval, file->RestartInterval);
    }
    QCOMPARE(seen.join(' '), bands);
    QTEST(restarts == 0 && file->RestartInterval == 0
              ? QStringLiteral("none")
              : QStringLiteral("%1 markers, interval %2").arg(restarts).arg(file->RestartInterval),
          "restarts");
    QTEST(file->CannotShow.empty(), "showable");
    QVERIFY2(file->Warnings.empty(), file->Warnings.empty() ? "" : file->Warnings[0].c_str());
    QVERIFY(!file->Truncated);
    // The last scan's data runs up to EOI, which ends the file.
    const Scan& last = file->Scans.back();
    QCOMPARE(qsizetype(last.DataOffset + last.DataLength), bytes.size() - 2);
}

void TestJpegFile::qualities_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("quality");
    QTest::addColumn<bool>("exact");
    QTest::addColumn<double>("lumaDeviation");
    // Below 24 cjpeg writes 16-bit tables (entries above 255).
    for (const int q : {5, 23, 24, 50, 75, 100}) {
        QTest::addRow("cjpeg -quality %d", q)
            << QStringList{"-quality", QString::number(q)} << q << true << 0.0;
    }
    // One entry one step off the quality-50 table.
    QTest::newRow("hand-made table")
        << QStringList{"-qtables", "table.txt"} << 50 << false << 1.0 / 64;
}

void TestJpegFile::qualities() {
    QFETCH(QStringList, options);
    QFETCH(int, quality);
    QFETCH(bool, exact);
    QFETCH(double, lumaDeviation);
    if (options.contains("-qtables")) {
        options[1] = dir_.filePath(options[1]);
    }
    const auto file = Read(Cjpeg(false, options + QStringList{"-sample", "2x2"}));
    QVERIFY(file.Ok());
    QCOMPARE(file->QuantisationTables.size(), std::size_t(2));
    const QuantisationTable& luma = file->QuantisationTables[0];
    QCOMPARE(luma.Chrominance, false);
    QCOMPARE(luma.QualityEstimate, quality);
    QCOMPARE(luma.Exact, exact);
    QCOMPARE(luma.Deviation, lumaDeviation);
    const QuantisationTable& chroma = file->QuantisationTables[1];
    QCOMPARE(chroma.Chrominance, true);
    if (exact) {
        QCOMPARE(chroma.QualityEstimate, quality);
        QVERIFY(chroma.Exact);
    } else {
        QVERIFY(!chroma.Exact);
        QVERIFY(chroma.Deviation > 0);
    }
}

void TestJpegFile::metadata_data() {
    QTest::addColumn<QByteArray>("segment");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("orientation"); ///< -1: no Exif
    QTest::addColumn<QString>(
        "facts"); ///< Make|Model|DateTime, or the ICC name, Adobe transform, comment
    QTest::addColumn<QString>("warning");

    QTest::newRow("Exif little-endian") << Exif(false, 6, "Canon", "EOS 5D", "2024:05:01 12:34:56")
                                        << "APP1" << 6 << "Canon|EOS 5D|2024:05:01 12:34:56"
                                        << "";
    QTest::newRow("Exif big-endian") << Exif(true, 3, "NIKON", "D70", "2003:01:02 03:04:05")
                                     << "APP1" << 3 << "NIKON|D70|2003:01:02 03:04:05"
                                     << "";
    QTest::newRow("Exif bad orientation") << Exif(false, 9, "A", "B", "2000:01:01 00:00:00")
                                          << "APP1" << 0 << "A|B|2000:01:01 00:00:00"
                                          << "orientation 9";
    QTest::newRow("ICC profile v4") << Icc(QStringLiteral("Écran P3"), true) << "APP2" << -1
                                    << QStringLiteral("Écran P3") << "";
    QTest::newRow("ICC profile") << Icc("Tiny RGB", false) << "APP2" << -1 << "Tiny RGB"
                                 << "";
    QTest::newRow("Adobe YCCK") << MakeSegment(0xEE, QByteArray("Adobe\0\x64\0\0\0\0\2", 12))
                                << "APP14" << -1 << "2"
                                << "";
    QTest::newRow("comment") << MakeSegment(0xFE, QByteArray("made by hand\x01\0", 14)) << "COM"
                             << -1 << "made by hand."
                             << "";
}

void TestJpegFile::metadata() {
    QFETCH(QByteArray, segment);
    QFETCH(int, orientation);
    QFETCH(QString, facts);
    QFETCH(QString, warning);
    const auto file = Read(WithSegment(Cjpeg(true, {}), segment));
    QVERIFY(file.Ok());
    QTEST(QString::fromStdString(file->Segments[1].Name), "name");
    QVERIFY(!file->Segments[1].Summary.empty());
    QString seen;
    if (file->Exif) {
        QCOMPARE(file->Exif->Orientation, orientation);
        seen = QString::fromStdString(file->Exif->Make + "|" + file->Exif->Model + "|" +
                                      file->Exif->DateTime);
    } else if (file->AdobeTransform) {
        seen = QString::number(*file->AdobeTransform);
    } else if (!file->Comments.empty()) {
        seen = QString::fromStdString(file->Comments[0]);
    } else {
        seen = QString::fromStdString(file->IccProfileName);
    }
    QCOMPARE(seen, facts);
    QCOMPARE(file->Warnings.empty(), warning.isEmpty());
    if (!warning.isEmpty()) {
        QVERIFY(AnyWarningHas(*file, warning));
    }
}

void TestJpegFile::damaged_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("truncated");
    QTest::addColumn<bool>("showable");
    QTest::addColumn<QString>("warning"); ///< part of one warning, "" for none

    const QByteArray good = Cjpeg(true, {"-quality", "50"});
    const qsizetype dqt = MarkerAt(good, 0xDB);
    const qsizetype sof = MarkerAt(good, 0xC0);
    const qsizetype dht = MarkerAt(good, 0xC4);
    const qsizetype sos = MarkerAt(good, 0xDA);
    const QByteArray frame = good.mid(sof, 2 + 11);
    const QString inScan = QStringLiteral("ends inside the scan that starts at byte %1").arg(sos);

    QTest::newRow("not a JPEG") << QByteArray("GIF89a\1\0\1\0") << false << false << false << "";
    QTest::newRow("empty") << QByteArray() << false << false << false << "";
    QTest::newRow("only 0xFF") << good.left(1) << false << false << false << "";
    QTest::newRow("cut after SOI") << good.left(2) << true << true << false << "truncated";
    QTest::newRow("cut inside DQT") << good.left(dqt + 10) << true << true << false
                                    << "The DQT segment at byte " + QString::number(dqt);
    QTest::newRow("cut before SOS") << good.left(sos) << true << true << false << "truncated";
    QTest::newRow("cut inside the scan") << good.left(sos + 20) << true << true << true << inScan;
    QTest::newRow("cut before EOI") << good.left(good.size() - 2) << true << true << true << inScan;
    QTest::newRow("cut inside EOI") << good.left(good.size() - 1) << true << true << true << inScan;

    QByteArray zero = good;
    zero[dqt + 2] = 0;
    zero[dqt + 3] = 0;
    QTest::newRow("zero-length DQT") << zero << true << false << false << "length as 0";
    QByteArray overlong = good;
    overlong[4] = char(0xFF);
    overlong[5] = char(0xFF);
    QTest::newRow("overlong APP0") << overlong << true << true << false << "needs 65535 bytes";
    QByteArray scanFirst = good;
    scanFirst.remove(sof, frame.size());
    scanFirst.insert(scanFirst.size() - 2, frame);
    QTest::newRow("SOS before SOF")
        << scanFirst << true << false << false << "comes before any frame header";
    QByteArray twoFrames = good;
    twoFrames.insert(sof, frame);
    QTest::newRow("two SOFs") << twoFrames << true << false << true << "second frame header";
    QByteArray tooMany = good;
    tooMany[dht + 5 + 15] = char(250); // 16-bit codes: 250 more than the table has symbols for
    QTest::newRow("Huffman counts over 256")
        << tooMany << true << false << true << "more than the 256 symbols";
    QByteArray overfull = good;
    for (int l = 0; l < 16; ++l) { // all 12 DC codes one bit long, the same number of symbols
        overfull[dht + 5 + l] = char(l == 0 ? 12 : 0);
    }
    QTest::newRow("over-full Huffman code")
        << overfull << true << false << true << "more codes than its code lengths allow";
    QByteArray badId = good;
    badId[dqt + 4] = 5;
    QTest::newRow("DQT id 5") << badId << true << false << true << "only 0 to 3 exist";
    QByteArray huge = good;
    for (int i = 0; i < 4; ++i) {
        huge[sof + 5 + i] = char(0xFF);
    }
    QTest::newRow("65535x65535 frame") << huge << true << false << true << "";
    QByteArray twelveBit = good;
    twelveBit[sof + 4] = 12;
    QTest::newRow("12-bit baseline") << twelveBit << true << false << false << "precision of 12";
    QByteArray band = good;
    band[sos + 8] = 5; // Se of the one sequential scan
    QTest::newRow("sequential scan of 0 to 5")
        << band << true << false << true << "which a sequential scan cannot have";
    QByteArray stray = good;
    stray.insert(dqt, QByteArray(3, '\0'));
    QTest::newRow("stray bytes") << stray << true << false << true
                                 << "3 bytes at byte " + QString::number(dqt) + " belong to no";
}

void TestJpegFile::damaged() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, truncated);
    QFETCH(QString, warning);
    const auto file = Read(bytes);
    QTEST(file.Ok(), "ok");
    if (!file.Ok()) {
        QCOMPARE(QString::fromStdString(file.Message()),
                 QStringLiteral("This is not a JPEG file."));
        return;
    }
    QCOMPARE(file->Truncated, truncated);
    QTEST(file->CannotShow.empty(), "showable");
    if (warning.isEmpty()) {
        QVERIFY2(file->Warnings.empty(), file->Warnings.empty() ? "" : file->Warnings[0].c_str());
    } else {
        QStringList all;
        for (const auto& w : file->Warnings) {
            all << QString::fromStdString(w);
        }
        QVERIFY2(AnyWarningHas(*file, warning), qPrintable(all.join(" / ")));
    }
    if (QTest::currentDataTag() == QByteArray("65535x65535 frame")) {
        QCOMPARE(file->FrameHeader->McusAcross, 8192); // 65535 / 8, rounded up
    }
}

QTEST_GUILESS_MAIN(TestJpegFile)
#include "tst_jpeg_file.moc"
