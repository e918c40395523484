// Our decoder of sequential scans against libjpeg on files cjpeg writes and on
// a real photograph: the same coefficients in every block, block bit ranges
// that cover the scan data exactly, and symbols whose codes are the file's
// bits. Damaged, truncated and unsupported files.
#include "jpeg/jpeg_huffman.h"
#include "jpeg_file/jpeg_file.h"
#include "jpeg_file/scan_decoder.h"

#include <QFile>
#include <QImage>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <functional>

using namespace quadrel;
using namespace quadrel::jpeg_file;

namespace {

const QString kPhotos = QStringLiteral("/usr/lib/python3/dist-packages/skimage/data/");

std::span<const std::uint8_t> Span(const QByteArray& bytes) {
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()),
            static_cast<std::size_t>(bytes.size())};
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + '\n';
    }
    return text;
}

JpegFile Parsed(const QByteArray& bytes) {
    Result<JpegFile> file = ReadJpegFile(Span(bytes));
    if (!file) {
        qFatal("ReadJpegFile failed: %s", file.Message().c_str());
    }
    return std::move(file).Value();
}

/// The first difference between two pictures' coefficients, or "". Blocks
/// for which `compared` says no are passed over.
QString Difference(const jpeg::CodedPicture& ours, const jpeg::CodedPicture& theirs,
                   const std::function<bool(std::size_t, std::size_t)>& compared) {
    if (ours.Width != theirs.Width || ours.Height != theirs.Height ||
        ours.Components.size() != theirs.Components.size()) {
        return QStringLiteral("frames differ");
    }
    for (std::size_t c = 0; c < ours.Components.size(); ++c) {
        const jpeg::CodedComponent& a = ours.Components[c];
        const jpeg::CodedComponent& b = theirs.Components[c];
        if (a.Id != b.Id || a.H != b.H || a.V != b.V || a.BlocksAcross != b.BlocksAcross ||
            a.BlocksDown != b.BlocksDown || a.Blocks.size() != b.Blocks.size()) {
            return QStringLiteral("component %1 differs in shape").arg(c);
        }
        for (std::size_t i = 0; i < a.Blocks.size(); ++i) {
            if (compared(c, i) && a.Blocks[i] != b.Blocks[i]) {
                return QStringLiteral("component %1, block %2 of %3")
                    .arg(c)
                    .arg(i)
                    .arg(a.Blocks.size());
            }
        }
    }
    return {};
}

QString Difference(const jpeg::CodedPicture& ours, const jpeg::CodedPicture& theirs) {
    return Difference(ours, theirs, [](std::size_t, std::size_t) { return true; });
}

/// A scan's data as the test reads it on its own: the file position and
/// value of every data bit, and the data bits before which an RSTn stood.
struct ScanData {
    std::vector<std::uint64_t> Positions;
    std::vector<int> Bits;
    std::vector<std::size_t> RestartsAt;

    std::size_t IndexOf(std::uint64_t position) const {
        const auto at = std::lower_bound(Positions.begin(), Positions.end(), position);
        return at != Positions.end() && *at == position
                   ? static_cast<std::size_t>(at - Positions.begin())
                   : Positions.size() + 1;
    }
    bool Ones(std::size_t from, std::size_t to) const {
        return std::all_of(Bits.begin() + std::ptrdiff_t(from), Bits.begin() + std::ptrdiff_t(to),
                           [](int bit) { return bit == 1; });
    }
};

ScanData ReadScanData(const QByteArray& bytes, std::size_t start) {
    ScanData data;
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[qsizetype(i)]); };
    for (std::size_t i = start; i < std::size_t(bytes.size());) {
        const std::uint8_t b = byte(i);
        if (b == 0xFF) {
            const int next = i + 1 < std::size_t(bytes.size()) ? byte(i + 1) : -1;
            if (next == 0xFF) { // a fill byte before a marker
                ++i;
                continue;
            }
            if (next >= 0xD0 && next <= 0xD7) {
                data.RestartsAt.push_back(data.Positions.size());
                i += 2;
                continue;
            }
            if (next != 0x00) {
                break;
            }
        }
        for (int bit = 0; bit < 8; ++bit) {
            data.Positions.push_back(std::uint64_t(i) * 8 + std::uint64_t(bit));
            data.Bits.push_back((b >> (7 - bit)) & 1);
        }
        i += b == 0xFF ? 2 : 1;
    }
    return data;
}

std::size_t ComponentIndex(const JpegFile& file, int id) {
    const auto& components = file.FrameHeader->Components;
    return static_cast<std::size_t>(
        std::find_if(components.begin(), components.end(),
                     [&](const FrameComponent& c) { return c.Id == id; }) -
        components.begin());
}

} // namespace

class TestScanDecoder : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void matchesLibjpeg_data() { AddFiles(); }
    void matchesLibjpeg();
    void bitRangesCoverTheScans_data() { AddFiles(); }
    void bitRangesCoverTheScans();
    void detailSymbolsAreTheFileBits_data() { AddFiles(); }
    void detailSymbolsAreTheFileBits();
    void truncated_data();
    void truncated();
    void restartMarkers_data();
    void restartMarkers();
    void refused_data();
    void refused();
    void impossibleTables_data();
    void impossibleTables();

private:
    void AddFiles();
    QByteArray Cjpeg(const QString& photo, int width, int height, bool grey,
                     const QStringList& options);

    QTemporaryDir dir_;
    QMap<QString, QByteArray> files_;
};

QByteArray TestScanDecoder::Cjpeg(const QString& photo, int width, int height, bool grey,
                                  const QStringList& options) {
    const QImage picture =
        QImage(kPhotos + photo)
            .copy(150, 150, width, height)
            .convertToFormat(grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    const QString input = dir_.filePath(grey ? QStringLiteral("in.pgm") : QStringLiteral("in.ppm"));
    if (!picture.save(input)) {
        qFatal("cannot write %s", qPrintable(input));
    }
    QProcess process;
    process.start(QStringLiteral("cjpeg"), options + QStringList{input});
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        qFatal("cjpeg %s failed", qPrintable(options.join(' ')));
    }
    return process.readAllStandardOutput();
}

void TestScanDecoder::initTestCase() {
    if (QStandardPaths::findExecutable(QStringLiteral("cjpeg")).isEmpty()) {
        QSKIP("cjpeg (libjpeg-turbo-progs) is not installed.");
    }
    if (!QFile::exists(kPhotos + QStringLiteral("hubble_deep_field.jpg"))) {
        QSKIP("python3-skimage's photos are missing.");
    }
    QVERIFY(dir_.isValid());
    const auto scanScript = [this](const char* name, const char* text) {
        QFile script(dir_.filePath(QString::fromLatin1(name)));
        if (!script.open(QIODevice::WriteOnly) || script.write(text) < 0) {
            qFatal("cannot write a scan script");
        }
        return script.fileName();
    };
    const QString apart = scanScript("apart.txt", "0;\n1;\n2;\n");
    const QString mixed = scanScript("mixed.txt", "0;\n1 2;\n");
    const QString q = QStringLiteral("-quality");
    const QString sample = QStringLiteral("-sample");
    // Sizes that leave partial MCUs at the right and the bottom.
    files_[QStringLiteral("grey q50 37x29")] =
        Cjpeg(QStringLiteral("camera.png"), 37, 29, true, {q, QStringLiteral("50")});
    files_[QStringLiteral("4:2:0 101x53")] =
        Cjpeg(QStringLiteral("astronaut.png"), 101, 53, false, {sample, QStringLiteral("2x2")});
    files_[QStringLiteral("4:2:2 restart 2 rows")] =
        Cjpeg(QStringLiteral("chelsea.png"), 99, 61, false,
              {sample, QStringLiteral("2x1"), QStringLiteral("-restart"), QStringLiteral("2")});
    files_[QStringLiteral("4:1:1 optimised")] =
        Cjpeg(QStringLiteral("coffee.png"), 77, 45, false,
              {sample, QStringLiteral("4x1"), QStringLiteral("-optimize")});
    // Every block its own restart interval: the markers cycle through 0..7.
    files_[QStringLiteral("4:4:4 q95 restart each MCU")] =
        Cjpeg(QStringLiteral("astronaut.png"), 64, 40, false,
              {q, QStringLiteral("95"), QStringLiteral("-restart"), QStringLiteral("1B")});
    files_[QStringLiteral("4:2:0 a scan per component, restart 3")] =
        Cjpeg(QStringLiteral("coffee.png"), 37, 29, false,
              {QStringLiteral("-baseline"), sample, QStringLiteral("2x2"), QStringLiteral("-scans"),
               apart, QStringLiteral("-restart"), QStringLiteral("3B")});
    files_[QStringLiteral("4:2:2 luminance alone, then chrominance")] =
        Cjpeg(QStringLiteral("chelsea.png"), 53, 41, false,
              {QStringLiteral("-baseline"), sample, QStringLiteral("2x1"), QStringLiteral("-scans"),
               mixed, QStringLiteral("-optimize")});
    QFile hubble(kPhotos + QStringLiteral("hubble_deep_field.jpg"));
    QVERIFY(hubble.open(QIODevice::ReadOnly));
    files_[QStringLiteral("hubble_deep_field.jpg")] = hubble.readAll();
}

void TestScanDecoder::AddFiles() {
    QTest::addColumn<QByteArray>("bytes");
    for (auto it = files_.cbegin(); it != files_.cend(); ++it) {
        QTest::newRow(qPrintable(it.key())) << it.value();
    }
}

void TestScanDecoder::matchesLibjpeg() {
    QFETCH(QByteArray, bytes);
    const JpegFile file = Parsed(bytes);
    const Result<ScanDecoding> ours = DecodeSequentialScans(Span(bytes), file);
    QVERIFY2(ours.Ok(), ours.Message().c_str());
    QVERIFY2(ours->Warnings.empty(), Joined(ours->Warnings).c_str());
    std::vector<std::string> warnings;
    const Result<jpeg::CodedPicture> theirs = ReadStoredCoefficients(Span(bytes), warnings);
    QVERIFY2(theirs.Ok(), theirs.Message().c_str());
    QVERIFY2(warnings.empty(), Joined(warnings).c_str());
    const QString difference = Difference(ours->Picture, *theirs);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    QCOMPARE(ours->Picture.QuantTables, theirs->QuantTables);
    for (std::size_t c = 0; c < theirs->Components.size(); ++c) {
        QCOMPARE(ours->Picture.Components[c].QuantTable, theirs->Components[c].QuantTable);
    }
}

// Block after block in file order, each starts where the one before ended;
// only at a restart marker may the encoder's padding (fewer than 8 one bits)
// lie between. What the last block leaves of the data is padding too.
void TestScanDecoder::bitRangesCoverTheScans() {
    QFETCH(QByteArray, bytes);
    const JpegFile file = Parsed(bytes);
    const Result<ScanDecoding> ours = DecodeSequentialScans(Span(bytes), file);
    QVERIFY2(ours.Ok(), ours.Message().c_str());
    for (const Scan& scan : file.Scans) {
        const ScanData data = ReadScanData(bytes, scan.DataOffset);
        std::vector<BlockBitRange> ranges;
        for (const ScanComponent& member : scan.Components) {
            for (const BlockBitRange& range : ours->Bits[ComponentIndex(file, member.Id)]) {
                QVERIFY(range.BitLength > 0 || range.BitOffset == 0);
                if (range.BitLength > 0) {
                    ranges.push_back(range);
                }
            }
        }
        std::sort(ranges.begin(), ranges.end(),
                  [](const auto& a, const auto& b) { return a.BitOffset < b.BitOffset; });
        std::size_t cursor = 0;
        std::size_t padding = 0;
        std::size_t restarts = 0;
        std::uint64_t coded = 0;
        for (const BlockBitRange& range : ranges) {
            const std::size_t at = data.IndexOf(range.BitOffset);
            QVERIFY2(at < data.Positions.size(), "a block starts off the scan's data bits");
            if (std::binary_search(data.RestartsAt.begin(), data.RestartsAt.end(), at)) {
                QVERIFY(at >= cursor && at - cursor < 8 && data.Ones(cursor, at));
                padding += at - cursor;
                ++restarts;
            } else {
                QCOMPARE(at, cursor);
            }
            cursor = at + range.BitLength;
            coded += range.BitLength;
        }
        const std::size_t total = data.Positions.size();
        QVERIFY(cursor <= total && total - cursor < 8 && data.Ones(cursor, total));
        padding += total - cursor;
        QCOMPARE(restarts, data.RestartsAt.size());
        QCOMPARE(coded + padding, std::uint64_t(total));
    }
}

// The block with the most bits: its symbols, code and amplitude bits one
// after the other, are the file's data bits from the block's offset on, and
// give the block's coefficients.
void TestScanDecoder::detailSymbolsAreTheFileBits() {
    QFETCH(QByteArray, bytes);
    const JpegFile file = Parsed(bytes);
    const Result<ScanDecoding> plain = DecodeSequentialScans(Span(bytes), file);
    QVERIFY2(plain.Ok(), plain.Message().c_str());
    BlockAddress longest;
    BlockBitRange range;
    for (std::size_t c = 0; c < plain->Bits.size(); ++c) {
        const int across = plain->Picture.Components[c].BlocksAcross;
        for (std::size_t i = 0; i < plain->Bits[c].size(); ++i) {
            if (plain->Bits[c][i].BitLength > range.BitLength) {
                range = plain->Bits[c][i];
                longest = {int(c), int(i) % across, int(i) / across};
            }
        }
    }
    const Result<ScanDecoding> ours = DecodeSequentialScans(Span(bytes), file, longest);
    QVERIFY2(ours.Ok(), ours.Message().c_str());
    const std::vector<DecodedSymbol>& symbols = ours->DetailSymbols;
    QVERIFY(!symbols.empty() && symbols.front().Kind == jpeg::SymbolKind::Dc);

    const jpeg::CodedComponent& component =
        ours->Picture.Components[std::size_t(longest.Component)];
    const jpeg::CoefficientBlock& block =
        component.Blocks[std::size_t(longest.Y) * std::size_t(component.BlocksAcross) +
                         std::size_t(longest.X)];
    const auto scan = std::find_if(file.Scans.begin(), file.Scans.end(), [&](const Scan& s) {
        return std::any_of(s.Components.begin(), s.Components.end(),
                           [&](const ScanComponent& m) { return m.Id == component.Id; });
    });
    const ScanData data = ReadScanData(bytes, scan->DataOffset);
    const std::size_t start = data.IndexOf(range.BitOffset);
    QVERIFY(start < data.Positions.size());
    std::size_t cursor = start;
    const auto matches = [&](std::uint32_t value, int length) {
        for (int i = length - 1; i >= 0; --i, ++cursor) {
            if (cursor >= data.Bits.size() || int((value >> i) & 1U) != data.Bits[cursor]) {
                return false;
            }
        }
        return true;
    };
    jpeg::CoefficientBlock rebuilt{};
    int k = 1;
    for (const DecodedSymbol& symbol : symbols) {
        QCOMPARE(symbol.BitOffset, data.Positions[cursor]);
        QVERIFY(matches(symbol.Code, symbol.CodeLength));
        QVERIFY(matches(symbol.Bits, symbol.Size));
        QCOMPARE(symbol.Size, jpeg::SizeCategory(symbol.Amplitude));
        QCOMPARE(symbol.Bits, jpeg::AmplitudeBits(symbol.Amplitude, symbol.Size));
        if (symbol.Kind == jpeg::SymbolKind::Ac) {
            k += symbol.Run;
            QVERIFY(k < 64);
            rebuilt[std::size_t(jpeg::kZigZag[std::size_t(k++)])] =
                static_cast<std::int16_t>(symbol.Amplitude);
        } else if (symbol.Kind == jpeg::SymbolKind::Zrl) {
            k += 16;
        }
    }
    QCOMPARE(cursor - start, std::size_t(range.BitLength));
    QVERIFY(symbols.back().Kind == jpeg::SymbolKind::Eob || k == 64);
    rebuilt[0] = block[0];
    QCOMPARE(rebuilt, block);
}

void TestScanDecoder::truncated_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("scan");
    QTest::addColumn<double>("fraction"); // of that scan's data kept
    QTest::newRow("4:2:0, 60% of the scan") << QStringLiteral("4:2:0 101x53") << 0 << 0.6;
    QTest::newRow("restarts, 30% of the scan")
        << QStringLiteral("4:4:4 q95 restart each MCU") << 0 << 0.3;
    QTest::newRow("a scan per component, in the second")
        << QStringLiteral("4:2:0 a scan per component, restart 3") << 1 << 0.5;
}

// What ours decodes before the cut equals libjpeg's; both say the file is cut.
void TestScanDecoder::truncated() {
    QFETCH(QString, name);
    QFETCH(int, scan);
    QFETCH(double, fraction);
    const QByteArray whole = files_.value(name);
    const JpegFile wholeFile = Parsed(whole);
    const Scan& cutScan = wholeFile.Scans.at(std::size_t(scan));
    const auto kept = static_cast<std::size_t>(fraction * double(cutScan.DataLength));
    const QByteArray bytes = whole.left(qsizetype(cutScan.DataOffset) + qsizetype(kept));
    const JpegFile file = Parsed(bytes);
    const Result<ScanDecoding> ours = DecodeSequentialScans(Span(bytes), file);
    QVERIFY2(ours.Ok(), ours.Message().c_str());
    QVERIFY(!ours->Warnings.empty());
    std::vector<std::string> warnings;
    const Result<jpeg::CodedPicture> theirs = ReadStoredCoefficients(Span(bytes), warnings);
    QVERIFY2(theirs.Ok(), theirs.Message().c_str());
    QVERIFY(!warnings.empty());

    std::size_t decoded = 0;
    std::size_t left = 0;
    for (const ScanComponent& member : file.Scans.at(std::size_t(scan)).Components) {
        for (const BlockBitRange& range : ours->Bits[ComponentIndex(file, member.Id)]) {
            ++(range.BitLength > 0 ? decoded : left);
        }
    }
    QVERIFY(decoded > 0 && left > 0);
    const QString difference =
        Difference(ours->Picture, *theirs, [&](std::size_t c, std::size_t i) {
            // (the earlier scan's component is complete)
            return ours->Bits[c].empty() || ours->Bits[c][i].BitLength > 0 || (scan > 0 && c == 0);
        });
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

void TestScanDecoder::restartMarkers_data() {
    QTest::addColumn<int>("edit");
    QTest::addColumn<QString>("warning"); // a part of the one warning, "" for none
    QTest::newRow("numbered wrongly") << 0 << QStringLiteral("RST5 before MCU 2");
    QTest::newRow("fill bytes before it") << 1 << QString();
    QTest::newRow("left out") << 2 << QStringLiteral("no restart marker before MCU 2");
}

// The second restart marker changed: said, and no coefficient changes.
void TestScanDecoder::restartMarkers() {
    QFETCH(int, edit);
    QFETCH(QString, warning);
    const QByteArray whole = files_.value(QStringLiteral("4:4:4 q95 restart each MCU"));
    const JpegFile file = Parsed(whole);
    const auto byte = [&](qsizetype i) { return static_cast<std::uint8_t>(whole[i]); };
    qsizetype at = qsizetype(file.Scans[0].DataOffset);
    for (int seen = 0; seen < 2; ++at) {
        seen += byte(at) == 0xFF && (byte(at + 1) & 0xF8) == 0xD0 ? 1 : 0;
    }
    QCOMPARE(byte(at), std::uint8_t(0xD1));
    QByteArray bytes = whole;
    if (edit == 0) {
        bytes[at] = char(0xD5);
    } else if (edit == 1) {
        bytes.insert(at - 1, "\xFF\xFF", 2);
    } else {
        bytes.remove(at - 1, 2);
    }
    const Result<ScanDecoding> changed = DecodeSequentialScans(Span(bytes), Parsed(bytes));
    const Result<ScanDecoding> intact = DecodeSequentialScans(Span(whole), file);
    QVERIFY(changed.Ok() && intact.Ok());
    QCOMPARE(changed->Warnings.size(), std::size_t(warning.isEmpty() ? 0 : 1));
    QVERIFY2(changed->Warnings.empty() ||
                 changed->Warnings[0].find(warning.toStdString()) != std::string::npos,
             Joined(changed->Warnings).c_str());
    QVERIFY(Difference(changed->Picture, intact->Picture).isEmpty());
}

void TestScanDecoder::refused_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("libjpegReads");
    const QString q = QStringLiteral("-quality");
    const auto cjpeg = [this](const QString& option) {
        return Cjpeg(QStringLiteral("astronaut.png"), 101, 53, false,
                     {QStringLiteral("-sample"), QStringLiteral("2x2"), option});
    };
    QTest::newRow("progressive") << cjpeg(QStringLiteral("-progressive")) << true;
    QTest::newRow("arithmetic") << cjpeg(QStringLiteral("-arithmetic")) << true;

    const QByteArray baseline = files_.value(QStringLiteral("4:2:0 101x53"));
    const JpegFile file = Parsed(baseline);
    const auto segment = [&](const char* name) {
        return qsizetype(
            std::find_if(file.Segments.begin(), file.Segments.end(), [&](const Segment& s) {
                return s.Name == name;
            })->Offset);
    };
    // cjpeg's first DHT starts with the luminance DC table: counts 0 1 5 1 ...
    QByteArray counts = baseline;
    const qsizetype dht = segment("DHT");
    QCOMPARE(counts.mid(dht + 4, 4), QByteArray::fromHex("00000105"));
    counts[dht + 5] = 2; // two codes of one bit leave none for the longer ones
    counts[dht + 7] = 3;
    QTest::newRow("Huffman counts no code can have") << counts << false;
    QByteArray category = baseline;
    category[dht + 5 + 16] = 16; // the first DC symbol
    QTest::newRow("DC size category 16") << category << false;
    QByteArray undefined = baseline;
    const qsizetype sos = segment("SOS");
    undefined[sos + 6] = char(0x33); // the first component's tables: DC 3, AC 3
    QTest::newRow("table not defined") << undefined << false;
}

void TestScanDecoder::refused() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, libjpegReads);
    const Result<ScanDecoding> ours = DecodeSequentialScans(Span(bytes), Parsed(bytes));
    QVERIFY(!ours.Ok());
    QVERIFY(!ours.Message().empty());
    std::vector<std::string> warnings;
    const Result<jpeg::CodedPicture> theirs = ReadStoredCoefficients(Span(bytes), warnings);
    QCOMPARE(theirs.Ok(), libjpegReads);
    if (libjpegReads) {
        // cjpeg quantises the same whatever it codes with: the coefficients
        // are those of the baseline file.
        const QByteArray baseline = files_.value(QStringLiteral("4:2:0 101x53"));
        const Result<ScanDecoding> reference =
            DecodeSequentialScans(Span(baseline), Parsed(baseline));
        QVERIFY(reference.Ok());
        const QString difference = Difference(reference->Picture, *theirs);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }
}

void TestScanDecoder::impossibleTables_data() {
    QTest::addColumn<int>("edit");
    QTest::newRow("two codes of one bit, then more") << 0;
    QTest::newRow("a complete code: the all-ones code used") << 1;
    QTest::newRow("fewer symbols than codes") << 2;
}

// Tables the reader would not hand on, made by hand: our own check refuses them.
void TestScanDecoder::impossibleTables() {
    QFETCH(int, edit);
    const QByteArray bytes = files_.value(QStringLiteral("grey q50 37x29"));
    JpegFile file = Parsed(bytes);
    HuffmanTable& table = *file.Scans[0].DcTables[0];
    switch (edit) {
    case 0:
        table.Counts = {2, 0, 3};
        break;
    case 1: // 2 + 4 codes of 2 and 3 bits fill the code space
        table.Counts = {0, 2, 4};
        table.Values.resize(6);
        break;
    default:
        table.Values.pop_back();
        break;
    }
    const Result<ScanDecoding> ours = DecodeSequentialScans(Span(bytes), file);
    QVERIFY(!ours.Ok());
    QVERIFY2(ours.Message().find("DC Huffman table 0") != std::string::npos,
             ours.Message().c_str());
}

QTEST_GUILESS_MAIN(TestScanDecoder)
#include "tst_scan_decoder.moc"
