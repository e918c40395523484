// The textbook JPEG chain against the numbers courses publish and against
// Quadrel's own transform.
#include "engine/dct_engine.h"
#include "jpeg/encoder_dct.h"
#include "jpeg/engine_layout.h"
#include "jpeg/exercise_check.h"
#include "jpeg/jpeg_chain.h"
#include "jpeg/jpeg_exercise.h"
#include "jpeg/jpeg_huffman.h"
#include "jpeg/jpeg_picture.h"
#include "jpeg/ssim.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <random>

using namespace quadrel::jpeg;

namespace {

// The worked example that courses and the encyclopedia's JPEG page use.
constexpr Samples kWorkedExample = {
    52, 55, 61, 66, 70, 61,  64,  73,  63, 59, 55, 90, 109, 85,  69,  72, 62, 59, 68, 113, 144, 104,
    66, 73, 63, 58, 71, 122, 154, 106, 70, 69, 67, 61, 68,  104, 126, 88, 68, 70, 79, 65,  60,  70,
    77, 68, 58, 75, 85, 71,  64,  59,  55, 61, 65, 83, 87,  79,  69,  68, 65, 76, 78, 94};

Samples Flat(int level) {
    Samples s{};
    s.fill(static_cast<std::uint8_t>(level));
    return s;
}

Indices ZigZagOf(std::initializer_list<std::pair<int, int>> positionsAndValues) {
    Indices z{};
    for (auto [position, value] : positionsAndValues) {
        z[static_cast<std::size_t>(position)] = value;
    }
    return z;
}

QString SymbolText(const SymbolList& list) {
    QStringList parts;
    for (const Symbol& s : list) {
        switch (s.Kind) {
        case SymbolKind::Dc:
            parts << QStringLiteral("DC%1:%2")
                         .arg(s.Amplitude)
                         .arg(QString::fromStdString(BitText(s.Code.Code, s.Code.Length) + "|" +
                                                     BitText(s.Bits, s.Size)));
            break;
        case SymbolKind::Ac:
            parts << QStringLiteral("%1/%2").arg(s.Run).arg(s.Amplitude);
            break;
        case SymbolKind::Zrl:
            parts << QStringLiteral("ZRL");
            break;
        case SymbolKind::Eob:
            parts << QStringLiteral("EOB");
            break;
        }
    }
    return parts.join(QLatin1Char(' '));
}

// What a baseline JPEG file holds that the bit count can be checked against.
struct JpegFile {
    QuantTable Table{};    ///< the first quantisation table, row-major
    qint64 ScanBytes = -1; ///< entropy-coded bytes, stuffed zeros taken out
};

JpegFile ParseJpeg(const QByteArray& bytes) {
    JpegFile file;
    qsizetype at = 2; // after SOI
    while (at + 4 <= bytes.size() && static_cast<quint8>(bytes[at]) == 0xff) {
        const auto marker = static_cast<quint8>(bytes[at + 1]);
        const int length =
            (static_cast<quint8>(bytes[at + 2]) << 8) | static_cast<quint8>(bytes[at + 3]);
        const qsizetype body = at + 4;
        if (marker == 0xdb) { // DQT, 8-bit entries in zig-zag order
            for (int z = 0; z < 64; ++z) {
                file.Table[static_cast<std::size_t>(kZigZag[static_cast<std::size_t>(z)])] =
                    static_cast<quint8>(bytes[body + 1 + z]);
            }
        }
        if (marker == 0xda) { // SOS: the entropy-coded data runs to EOI
            qint64 count = 0;
            for (qsizetype i = at + 2 + length; i + 1 < bytes.size(); ++i) {
                const auto b = static_cast<quint8>(bytes[i]);
                if (b == 0xff && static_cast<quint8>(bytes[i + 1]) == 0xd9) {
                    file.ScanBytes = count;
                    break;
                }
                ++count;
                if (b == 0xff && bytes[i + 1] == 0) {
                    ++i; // a stuffed zero is no data
                }
            }
            break;
        }
        at += 2 + length;
    }
    return file;
}

double PsnrOf(const std::vector<std::uint8_t>& a, const QByteArray& pgm, int width, int height) {
    // djpeg writes "P5\n<w> <h>\n255\n" and then the samples.
    const QByteArray header = QByteArray("P5\n") + QByteArray::number(width) + ' ' +
                              QByteArray::number(height) + "\n255\n";
    if (!pgm.startsWith(header) || pgm.size() != header.size() + qsizetype{width} * height) {
        return -1.0;
    }
    double sum = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double e = a[i] - static_cast<quint8>(pgm[header.size() + static_cast<qsizetype>(i)]);
        sum += e * e;
    }
    return 10.0 * std::log10(255.0 * 255.0 / (sum / static_cast<double>(a.size())));
}

QByteArray Run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        qWarning() << program << arguments << process.readAllStandardError();
        return {};
    }
    return process.readAllStandardOutput();
}

} // namespace

class TestJpeg : public QObject {
    Q_OBJECT
private slots:
    void workedExample();
    void answersAreReadAsWritten_data();
    void answersAreReadAsWritten();
    void qualityTables_data();
    void qualityTables();
    void engineLayout_data();
    void engineLayout();
    void defaultCodes_data();
    void defaultCodes();
    void symbols_data();
    void symbols();
    void acBitsInRowMajorOrder_data();
    void acBitsInRowMajorOrder();
    void flatBlocksRoundHalvesAwayFromZero_data();
    void flatBlocksRoundHalvesAwayFromZero();
    void keepFirst_data();
    void keepFirst();
    void inverseUndoesForwardAndQuadrelRelationHolds();
    void exerciseBlocksAreReproducible_data();
    void exerciseBlocksAreReproducible();
    void pictureBitsAgreeWithBaselineEncoder_data();
    void pictureBitsAgreeWithBaselineEncoder();
    void transformedOnceEqualsTheWholeChain_data();
    void transformedOnceEqualsTheWholeChain();
    void wideTransformsEqualPortable_data();
    void wideTransformsEqualPortable();
    void ssimEdgeCases();
    void ssimReferenceEqualsMeanSsim_data();
    void ssimReferenceEqualsMeanSsim();
    void ssimEqualsDirectWindowSums_data();
    void ssimEqualsDirectWindowSums();
};

void TestJpeg::workedExample() {
    const BlockAnalysis a = AnalyseBlock(kWorkedExample, {LuminanceTable(50), 0, 64});
    QVERIFY(std::abs(a.Coefficients[0] - (-415.375)) < 1e-9);
    // Row = vertical frequency, column = horizontal, as the published matrix reads.
    const std::array<std::pair<int, double>, 4> published = {
        {{1, -30.19}, {2, -61.20}, {8, 4.47}, {9, -21.86}}};
    for (auto [index, value] : published) {
        QVERIFY2(std::abs(a.Coefficients[static_cast<std::size_t>(index)] - value) < 0.005,
                 qPrintable(QString::number(index)));
    }
    const Indices quantised = {-26, -3, -6, 2,  2,  -1, 0, 0, 0,  -2, -4, 1,  1, 0, 0, 0,
                               -3,  1,  5,  -1, -1, 0,  0, 0, -3, 1,  2,  -1, 0, 0, 0, 0,
                               1,   0,  0,  0,  0,  0,  0, 0, 0,  0,  0,  0,  0, 0, 0, 0,
                               0,   0,  0,  0,  0,  0,  0, 0, 0,  0,  0,  0,  0, 0, 0, 0};
    QCOMPARE(a.Quantised, quantised);
    const std::vector<int> sequence = {-26, -3, 0,  -3, -2, -6, 2, -4, 1, -3, 1, 1,  5,
                                       1,   2,  -1, 1,  -1, 2,  0, 0,  0, 0,  0, -1, -1};
    QVERIFY(std::equal(sequence.begin(), sequence.end(), a.ZigZag.begin()));
    QVERIFY(std::all_of(a.ZigZag.begin() + 26, a.ZigZag.end(), [](int v) { return v == 0; }));
    QCOMPARE(a.Symbols.Count, 1 + 19 + 1);
    QCOMPARE(SymbolText(a.Symbols).left(20), QStringLiteral("DC-26:110|00101 0/-3"));
    QVERIFY(SymbolText(a.Symbols).endsWith(QStringLiteral("0/2 5/-1 0/-1 EOB")));
    QCOMPARE(a.Bits.Total, a.Bits.Dc + a.Bits.Ac);
    QCOMPARE(a.Bits.Dc, 8);
    QCOMPARE(a.Bits.CompressionRatio, 512.0 / a.Bits.Total);
    QVERIFY(!a.Error.Lossless && a.Error.Psnr > 25.0 && a.Error.Psnr < 40.0);
}

void TestJpeg::qualityTables_data() {
    QTest::addColumn<int>("quality");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("entry");
    QTest::newRow("q1 limited to 255") << 1 << 0 << 255;
    QTest::newRow("q1 smallest entry also 255") << 1 << 2 << 255;
    QTest::newRow("q50 is the standard table") << 50 << 63 << 99;
    QTest::newRow("q50 corner") << 50 << 0 << 16;
    QTest::newRow("q100 limited to 1") << 100 << 45 << 1;
    QTest::newRow("q75 rounds (16*50+50)/100") << 75 << 0 << 8;
    QTest::newRow("q75 (121*50+50)/100") << 75 << 53 << 61;
    QTest::newRow("q10 scale 500") << 10 << 2 << 50;
    QTest::newRow("q10 limited") << 10 << 5 << 200;
    QTest::newRow("q49 scale 102") << 49 << 0 << 16;
    QTest::newRow("q49 (121*102+50)/100") << 49 << 53 << 123;
    QTest::newRow("below 1 taken as 1") << 0 << 0 << 255;
}

void TestJpeg::qualityTables() {
    QFETCH(int, quality);
    QFETCH(int, index);
    QFETCH(int, entry);
    const QuantTable table = LuminanceTable(quality);
    QCOMPARE(table[static_cast<std::size_t>(index)], entry);
    QVERIFY(std::all_of(table.begin(), table.end(), [](int e) { return e >= 1 && e <= 255; }));
    if (quality == 50) {
        QCOMPARE(table, kLuminanceTable);
    }
}

void TestJpeg::engineLayout_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("index"); // row-major
    QTest::newRow("corner") << 0 << 0 << 0;
    QTest::newRow("end of the first row") << 7 << 0 << 7;
    QTest::newRow("start of the second row") << 0 << 1 << 8;
    QTest::newRow("column 2, row 5") << 2 << 5 << 42;
    QTest::newRow("column 5, row 2") << 5 << 2 << 21;
    QTest::newRow("last cell") << 7 << 7 << 63;
}

void TestJpeg::engineLayout() {
    QFETCH(int, column);
    QFETCH(int, row);
    QFETCH(int, index);
    // No two cells alike, and [c][r] differs from [r][c]: a transposition shows.
    quadrel::Block block;
    for (std::size_t c = 0; c < 8; ++c) {
        for (std::size_t r = 0; r < 8; ++r) {
            block[c][r] = 10.0 * static_cast<double>(c) + static_cast<double>(r);
        }
    }
    const auto at = static_cast<std::size_t>(index);
    const double cell = block[static_cast<std::size_t>(column)][static_cast<std::size_t>(row)];
    const Reals values = ToRowMajor(block);
    QCOMPARE(values[at], cell);
    QCOMPARE(FromRowMajor(values), block);
    const Indices converted = ToRowMajor<int>(block, [](double v) { return -static_cast<int>(v); });
    QCOMPARE(converted[at], -static_cast<int>(cell));
    QCOMPARE(
        FromRowMajor(converted)[static_cast<std::size_t>(column)][static_cast<std::size_t>(row)],
        -cell);
}

void TestJpeg::defaultCodes_data() {
    QTest::addColumn<HuffmanClass>("tables");
    QTest::addColumn<int>("run"); // -1: the DC code of the size
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("code"); // empty: the pair has no code
    constexpr auto Y = HuffmanClass::Luminance;
    constexpr auto C = HuffmanClass::Chrominance;
    // As printed in the standard's tables of default codes (Annex K.3).
    QTest::newRow("Y DC 1") << Y << -1 << 1 << "010";
    QTest::newRow("Y EOB") << Y << 0 << 0 << "1010";
    QTest::newRow("C DC 2") << C << -1 << 2 << "10";
    QTest::newRow("C DC 3") << C << -1 << 3 << "110";
    QTest::newRow("C DC 11") << C << -1 << 11 << "11111111110";
    QTest::newRow("C EOB") << C << 0 << 0 << "00";
    QTest::newRow("C 0/1") << C << 0 << 1 << "01";
    QTest::newRow("C 1/1") << C << 1 << 1 << "1011";
    QTest::newRow("C 3/1") << C << 3 << 1 << "11011";
    QTest::newRow("C 7/1") << C << 7 << 1 << "1111010";
    QTest::newRow("C 9/1") << C << 9 << 1 << "111110111";
    QTest::newRow("C 0/A") << C << 0 << 10 << "111111110100";
    QTest::newRow("C ZRL") << C << 15 << 0 << "1111111010";
    QTest::newRow("C F/A") << C << 15 << 10 << "1111111111111110";
    QTest::newRow("C 1/0 has none") << C << 1 << 0 << "";
    QTest::newRow("C DC 12 has none") << C << -1 << 12 << "";
}

void TestJpeg::defaultCodes() {
    QFETCH(HuffmanClass, tables);
    QFETCH(int, run);
    QFETCH(int, size);
    QFETCH(QString, code);
    const HuffmanCode c = run < 0 ? DcCode(size, tables) : AcCode(run, size, tables);
    QCOMPARE(QString::fromStdString(BitText(c.Code, c.Length)), code);
}

void TestJpeg::symbols_data() {
    QTest::addColumn<HuffmanClass>("tables");
    QTest::addColumn<Indices>("zigzag");
    QTest::addColumn<int>("dcDifference");
    QTest::addColumn<QString>("symbols");
    QTest::addColumn<int>("bits");
    constexpr auto Y = HuffmanClass::Luminance;
    constexpr auto C = HuffmanClass::Chrominance;
    Indices ones{};
    ones.fill(1);
    // DC 0: code 00 and no amplitude bits; EOB 1010; ZRL 11 bits; 0/1 00 + 1 bit.
    QTest::newRow("all-zero AC: one EOB") << Y << Indices{} << 0 << "DC0:00| EOB" << 2 + 4;
    QTest::newRow("negative DC difference, ones' complement")
        << Y << Indices{} << -3 << "DC-3:011|00 EOB" << 3 + 2 + 4;
    QTest::newRow("positive DC difference") << Y << Indices{} << 3 << "DC3:011|11 EOB" << 3 + 2 + 4;
    QTest::newRow("run of 16 zeros is one ZRL")
        << Y << ZigZagOf({{17, 1}}) << 0 << "DC0:00| ZRL 0/1 EOB" << 2 + 11 + 3 + 4;
    QTest::newRow("run of 33 zeros is two ZRL and run 1")
        << Y << ZigZagOf({{34, 2}}) << 0 << "DC0:00| ZRL ZRL 1/2 EOB" << 2 + 22 + 5 + 2 + 4;
    QTest::newRow("nothing left for an EOB")
        << Y << ones << 0 << "DC0:00|" + QStringLiteral(" 0/1").repeated(63) << 2 + 63 * 3;
    QTest::newRow("largest sizes")
        << Y << ZigZagOf({{1, -1023}}) << 2047 << "DC2047:111111110|11111111111 0/-1023 EOB"
        << 9 + 11 + 16 + 10 + 4;
    // Chrominance: DC size 3 is 110, EOB 00, ZRL 10 bits, 0/1 01, 0/A 12 bits, DC 11 11 bits.
    QTest::newRow("chroma: negative DC difference")
        << C << Indices{} << -5 << "DC-5:110|010 EOB" << 3 + 3 + 2;
    QTest::newRow("chroma: a ZRL")
        << C << ZigZagOf({{17, 1}}) << 0 << "DC0:00| ZRL 0/1 EOB" << 2 + 10 + 3 + 2;
    QTest::newRow("chroma: largest sizes")
        << C << ZigZagOf({{1, -1023}}) << 2047 << "DC2047:11111111110|11111111111 0/-1023 EOB"
        << 11 + 11 + 12 + 10 + 2;
}

void TestJpeg::symbols() {
    QFETCH(HuffmanClass, tables);
    QFETCH(Indices, zigzag);
    QFETCH(int, dcDifference);
    QFETCH(QString, symbols);
    QFETCH(int, bits);
    SymbolList list;
    EncodeBlock(zigzag, dcDifference, list, tables);
    QCOMPARE(SymbolText(list), symbols);
    int sum = 0;
    for (const Symbol& s : list) {
        QVERIFY(s.Code.Length > 0);
        sum += s.Length();
    }
    QCOMPARE(sum, bits);
    QCOMPARE(CountBits(zigzag, dcDifference, tables).Total(), sum);
    // The chain codes with its component's tables: mid grey is DC 0 and EOB.
    const ChainSettings settings{kLuminanceTable, 0, kBlockCells, TieRule::AwayFromZero, tables};
    QCOMPARE(AnalyseBlock(Flat(128), settings).Bits.Total,
             tables == HuffmanClass::Luminance ? 2 + 4 : 2 + 2);
}

void TestJpeg::acBitsInRowMajorOrder_data() {
    QTest::addColumn<HuffmanClass>("tables");
    QTest::addColumn<double>("density"); ///< share of non-zero AC indices
    QTest::addColumn<int>("largest");    ///< magnitudes 1..largest
    constexpr auto Y = HuffmanClass::Luminance;
    constexpr auto C = HuffmanClass::Chrominance;
    // Sparse blocks bring runs over 15 (ZRL); full ones end without an EOB.
    QTest::newRow("luma, sparse") << Y << 0.03 << 3;
    QTest::newRow("luma, half") << Y << 0.5 << 40;
    QTest::newRow("luma, full, largest sizes") << Y << 1.0 << 1023;
    QTest::newRow("chroma, sparse") << C << 0.03 << 3;
    QTest::newRow("chroma, half, largest sizes") << C << 0.5 << 1023;
}

// Counting straight from the row-major order visits only the non-zero
// indices; it must count what the zig-zag walk counts, symbol for symbol.
void TestJpeg::acBitsInRowMajorOrder() {
    QFETCH(HuffmanClass, tables);
    QFETCH(double, density);
    QFETCH(int, largest);
    std::mt19937 random(7);
    std::bernoulli_distribution nonZero(density);
    std::uniform_int_distribution<int> magnitude(1, largest);
    for (int trial = 0; trial < 500; ++trial) {
        Indices block{};
        for (int& q : block) {
            q = nonZero(random) ? magnitude(random) * (random() % 2 == 0 ? 1 : -1) : 0;
        }
        if (trial % 5 == 0) {
            block[63] = 1; // the last index non-zero: no EOB
        }
        const int expected = CountAcBits(ToZigZag(block), tables);
        QCOMPARE(CountAcBitsRowMajor(block, tables), expected);
    }
}

void TestJpeg::flatBlocksRoundHalvesAwayFromZero_data() {
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("dcStep");
    QTest::addColumn<int>("quantisedDc");
    QTest::addColumn<int>("reconstructed");
    QTest::newRow("exact") << 100 << 16 << -14 << 100;
    QTest::newRow("+0.5 goes up") << 132 << 64 << 1 << 136;    // DC 32 / 64
    QTest::newRow("-0.5 goes down") << 124 << 64 << -1 << 120; // DC -32 / 64
    // A reconstructed pixel of exactly x.5 before rounding: -12/8 + 128, 12/8 + 128, -1020/8 + 128.
    QTest::newRow("pixel tie 126.5 goes up") << 127 << 12 << -1 << 127;
    QTest::newRow("pixel tie 129.5 goes up") << 129 << 12 << 1 << 130;
    QTest::newRow("pixel tie 0.5 goes up") << 0 << 255 << -4 << 1;
    QTest::newRow("clamped at 255") << 255 << 255 << 4 << 255;
}

void TestJpeg::flatBlocksRoundHalvesAwayFromZero() {
    QFETCH(int, level);
    QFETCH(int, dcStep);
    QFETCH(int, quantisedDc);
    QFETCH(int, reconstructed);
    QuantTable table = LuminanceTable(1);
    table[0] = dcStep;
    const BlockAnalysis a = AnalyseBlock(Flat(level), {table, 0, 64});
    QCOMPARE(a.Coefficients[0], (level - 128) * 8.0);
    QCOMPARE(a.Quantised[0], quantisedDc);
    QCOMPARE(a.Reconstruction, Flat(reconstructed));
    QCOMPARE(a.Error.Lossless, level == reconstructed);
    QCOMPARE(std::isinf(a.Error.Psnr), level == reconstructed);
}

void TestJpeg::keepFirst_data() {
    QTest::addColumn<int>("keep");
    QTest::addColumn<int>("nonZero");
    QTest::newRow("none, not even DC") << 0 << 0;
    QTest::newRow("DC only") << 1 << 1;
    QTest::newRow("first three") << 3 << 2; // -26, -3, 0
    QTest::newRow("all") << 64 << 20;
    QTest::newRow("beyond 64 means all") << 99 << 20;
}

void TestJpeg::keepFirst() {
    QFETCH(int, keep);
    QFETCH(int, nonZero);
    const BlockAnalysis a = AnalyseBlock(kWorkedExample, {kLuminanceTable, -20, keep});
    QCOMPARE(static_cast<int>(std::count_if(a.Quantised.begin(), a.Quantised.end(),
                                            [](int v) { return v != 0; })),
             nonZero);
    QCOMPARE(a.DcDifference, a.Quantised[0] + 20);
    if (keep == 1) {
        QCOMPARE(a.Reconstruction, Flat(a.Reconstruction[0]));
        QCOMPARE(a.Symbols.Count, 2);
    }
}

void TestJpeg::inverseUndoesForwardAndQuadrelRelationHolds() {
    std::mt19937 random(7);
    quadrel::DctEngine engine;
    engine.SetConsts();
    engine.MakeCosTable();
    for (int trial = 0; trial < 50; ++trial) {
        Samples block{};
        for (auto& s : block) {
            s = static_cast<std::uint8_t>(random() & 0xff);
        }
        for (int i = 0; i < 64; ++i) {
            engine.SpaceArray[static_cast<std::size_t>(i % 8)][static_cast<std::size_t>(i / 8)] =
                block[static_cast<std::size_t>(i)];
        }
        engine.PerformDCT();
        const Reals jpeg = ForwardDct(LevelShift(block));
        const Reals predicted = QuadrelFromJpeg(jpeg);
        const Reals back = InverseDct(jpeg);
        for (int i = 0; i < 64; ++i) {
            const auto k = static_cast<std::size_t>(i);
            const double quadrel = engine.FreqArray[k % 8][k / 8];
            // Quadrel's pi is 3.1415927, 4.6e-8 too large: a basis cosine moves by
            // at most 7 * 15 / 16 times that, over sums of up to 64 * 255.
            QVERIFY2(
                std::abs(quadrel - predicted[k]) < 1e-3,
                qPrintable(QStringLiteral("%1: %2 vs %3").arg(i).arg(quadrel).arg(predicted[k])));
            QVERIFY(std::abs(back[k] - LevelShift(block)[k]) < 1e-9);
        }
    }
}

void TestJpeg::exerciseBlocksAreReproducible_data() {
    QTest::addColumn<quint64>("seed");
    QTest::addColumn<quint64>("digest"); // FNV-1a of exercises 0..9, pinned once
    QTest::newRow("seed 1") << Q_UINT64_C(1) << Q_UINT64_C(2206162855824804964);
    QTest::newRow("largest seed") << ~Q_UINT64_C(0) << Q_UINT64_C(163652102812775653);
}

void TestJpeg::exerciseBlocksAreReproducible() {
    QFETCH(quint64, seed);
    QFETCH(quint64, digest);
    quint64 hash = 0xcbf29ce484222325ULL;
    int roughNeighbours = 0;
    for (int i = 0; i < 10; ++i) {
        const Samples block = ExerciseBlock(seed, i);
        for (std::size_t k = 0; k < block.size(); ++k) {
            hash = (hash ^ block[k]) * 0x100000001b3ULL;
            if (k % 8 != 7) {
                roughNeighbours += std::abs(block[k] - block[k + 1]) > 40;
            }
        }
        QVERIFY(ExerciseBlock(seed + 1, i) != block);
    }
    QCOMPARE(hash, digest);
    QVERIFY(roughNeighbours < 10 * 56 / 4); // photo-like: mostly smooth
}

void TestJpeg::pictureBitsAgreeWithBaselineEncoder_data() {
    QTest::addColumn<int>("quality"); // 0: the table below, through -qtables
    QTest::addColumn<unsigned>("threads");
    QTest::addColumn<TieRule>("ties");
    QTest::newRow("quality 50") << 50 << 1U << TieRule::AwayFromZero;
    QTest::newRow("quality 10, 3 threads") << 10 << 3U << TieRule::AwayFromZero;
    QTest::newRow("own table") << 0 << 2U << TieRule::AwayFromZero;
    // Small steps make exact ties common: here only the encoder's own tie rule agrees.
    QTest::newRow("quality 90, ties to even") << 90 << 2U << TieRule::ToEven;
}

void TestJpeg::pictureBitsAgreeWithBaselineEncoder() {
    QFETCH(int, quality);
    QFETCH(unsigned, threads);
    QFETCH(TieRule, ties);
    const QString cjpeg = QStandardPaths::findExecutable(QStringLiteral("cjpeg"));
    const QString djpeg = QStandardPaths::findExecutable(QStringLiteral("djpeg"));
    if (cjpeg.isEmpty() || djpeg.isEmpty()) {
        QSKIP("cjpeg/djpeg (libjpeg-turbo-progs) are not installed; test.sh installs them.");
    }
    // Partial blocks at the right and at the bottom.
    const int width = 203;
    const int height = 157;
    const std::vector<std::uint8_t> pixels = PhotoLikePicture(width, height, 11);
    QTemporaryDir dir;
    QFile pgm(dir.filePath(QStringLiteral("in.pgm")));
    QVERIFY(pgm.open(QIODevice::WriteOnly));
    pgm.write(QByteArray("P5\n") + QByteArray::number(width) + ' ' + QByteArray::number(height) +
              "\n255\n");
    pgm.write(reinterpret_cast<const char*>(pixels.data()), static_cast<qint64>(pixels.size()));
    pgm.close();

    QuantTable table{};
    QStringList arguments{QStringLiteral("-baseline"), QStringLiteral("-dct"),
                          QStringLiteral("float")};
    if (quality > 0) {
        table = LuminanceTable(quality);
        arguments << QStringLiteral("-quality") << QString::number(quality);
    } else {
        QStringList values;
        for (std::size_t i = 0; i < table.size(); ++i) {
            table[i] = 3 + static_cast<int>((i * 37) % 60);
            values << QString::number(table[i]);
        }
        QFile tables(dir.filePath(QStringLiteral("tables.txt")));
        QVERIFY(tables.open(QIODevice::WriteOnly));
        tables.write(values.join(QLatin1Char(' ')).toLatin1());
        tables.close();
        arguments << QStringLiteral("-qtables") << tables.fileName();
    }
    const QString jpg = dir.filePath(QStringLiteral("out.jpg"));
    arguments << QStringLiteral("-outfile") << jpg << pgm.fileName();
    Run(cjpeg, arguments);
    QFile encoded(jpg);
    QVERIFY(encoded.open(QIODevice::ReadOnly));
    const JpegFile file = ParseJpeg(encoded.readAll());
    QCOMPARE(file.Table, table);
    QVERIFY(file.ScanBytes > 0);

    const PictureAnalysis ours =
        AnalysePicture({pixels.data(), width, height, width}, {table, ties, threads});
    const qint64 ourBytes = (ours.TotalBits + 7) / 8; // padded with 1 bits to a whole byte
    const double disagreement = std::abs(static_cast<double>(ourBytes - file.ScanBytes)) /
                                static_cast<double>(file.ScanBytes);
    const double theirPsnr = PsnrOf(
        pixels, Run(djpeg, {QStringLiteral("-dct"), QStringLiteral("float"), jpg}), width, height);
    qInfo("scan %lld bytes, ours %lld (%.4f %%); PSNR ours %.4f dB, djpeg %.4f dB (%+.4f)",
          static_cast<long long>(file.ScanBytes), static_cast<long long>(ourBytes),
          100.0 * disagreement, ours.Psnr, theirPsnr, ours.Psnr - theirPsnr);
    QVERIFY(disagreement <= 0.001);
    QVERIFY(std::abs(ours.Psnr - theirPsnr) <= 0.01);
    QCOMPARE(ours.Reconstruction.size(), pixels.size());
    QVERIFY(ours.ZeroShare > 0.0 && ours.ZeroShare < 1.0);
}

namespace {

/// Indices 5 (DC), -2 at zig-zag position 2 and 1 at 20, after 17 zeros: the
/// symbols 0/3 5, 1/2 -2, ZRL, 1/1 1, EOB; 33 bits (3 + 3, 5 + 2, 11, 4 + 1, 4)
/// by the default luminance codes.
BlockAnalysis SmallChain() {
    BlockAnalysis a;
    a.ZigZag[0] = 5;
    a.ZigZag[2] = -2;
    a.ZigZag[20] = 1;
    for (int i = 0; i < kBlockCells; ++i) {
        a.Quantised.at(static_cast<std::size_t>(kZigZag.at(static_cast<std::size_t>(i)))) =
            a.ZigZag.at(static_cast<std::size_t>(i));
    }
    a.DcDifference = 5;
    a.Symbols = EncodeBlock(a.ZigZag, a.DcDifference);
    a.Bits.Total = 33;
    return a;
}

} // namespace

void TestJpeg::answersAreReadAsWritten_data() {
    QTest::addColumn<int>("field"); // AnswerField
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("right");
    QTest::addColumn<int>("firstWrongSymbol");
    const auto zigzag = static_cast<int>(AnswerField::ZigZag);
    const auto dc = static_cast<int>(AnswerField::DcDifference);
    const auto symbols = static_cast<int>(AnswerField::Symbols);
    const auto bits = static_cast<int>(AnswerField::BitTotal);
    const QString zeros = QStringLiteral("0, ").repeated(17);
    QTest::newRow("zig-zag") << zigzag << "5, 0, -2, " + zeros + "1, EOB" << true << -1;
    QTest::newRow("zig-zag spaced, eob")
        << zigzag << QString("5 0 -2 " + zeros + "1 eob").remove(',') << true << -1;
    QTest::newRow("zig-zag without EOB") << zigzag << "5, 0, -2, " + zeros + "1" << false << -1;
    QTest::newRow("zig-zag one zero short")
        << zigzag << "5, 0, -2, " + zeros.mid(3) + "1, EOB" << false << -1;
    QTest::newRow("zig-zag ended early") << zigzag << "5, 0, -2, EOB" << false << -1;
    QTest::newRow("DC difference") << dc << " +5 " << true << -1;
    QTest::newRow("DC difference as a fraction") << dc << "5.0" << false << -1;
    QTest::newRow("DC difference blank") << dc << "" << false << -1;
    QTest::newRow("bits") << bits << "33" << true << -1;
    QTest::newRow("bits past int") << bits << "4294967329" << false << -1; // 2^32 + 33
    QTest::newRow("symbols") << symbols << "0/3 5\n1/2 -2\n15/0\n1/1 1\n0/0" << true << -1;
    QTest::newRow("symbols by name, ';'")
        << symbols << "0/3 5; 1/2 -2; ZRL; 1/1 1; EOB" << true << -1;
    QTest::newRow("symbol sign wrong") << symbols << "0/3 5\n1/2 2\nZRL\n1/1 1\nEOB" << false << 1;
    QTest::newRow("ZRL given a value")
        << symbols << "0/3 5\n1/2 -2\n15/0 0\n1/1 1\nEOB" << false << 2;
    QTest::newRow("EOB missing") << symbols << "0/3 5\n1/2 -2\nZRL\n1/1 1" << false << 4;
    QTest::newRow("one too many") << symbols << "0/3 5\n1/2 -2\nZRL\n1/1 1\nEOB\nEOB" << false << 5;
}

void TestJpeg::answersAreReadAsWritten() {
    QFETCH(int, field);
    QFETCH(QString, answer);
    QFETCH(bool, right);
    QFETCH(int, firstWrongSymbol);
    const BlockAnalysis chain = SmallChain();
    QCOMPARE(chain.Symbols.Count, 5);
    int length = 0;
    for (const Symbol& symbol : chain.Symbols) {
        length += symbol.Length();
    }
    QCOMPARE(length, chain.Bits.Total);
    ExerciseAnswers answers;
    const auto which = static_cast<AnswerField>(field);
    std::string* text = which == AnswerField::ZigZag         ? &answers.ZigZag
                        : which == AnswerField::DcDifference ? &answers.DcDifference
                        : which == AnswerField::Symbols      ? &answers.Symbols
                                                             : &answers.BitTotal;
    *text = answer.toStdString();
    const ExerciseMarks marks = CheckAnswers(answers, chain);
    QCOMPARE(marks.IsRight(which), right);
    QCOMPARE(marks.Score(), int{right}); // every other answer is blank
    if (which == AnswerField::Symbols) {
        QCOMPARE(marks.FirstWrongSymbol, firstWrongSymbol);
    }
}

QTEST_APPLESS_MAIN(TestJpeg)
void TestJpeg::transformedOnceEqualsTheWholeChain_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<DctMethod>("method");
    // Partial blocks at the right and bottom; a picture of one partial block.
    QTest::newRow("61 x 37, float") << 61 << 37 << DctMethod::Float;
    QTest::newRow("61 x 37, integer") << 61 << 37 << DctMethod::Integer;
    QTest::newRow("5 x 3, integer") << 5 << 3 << DctMethod::Integer;
}

// One transform quantised at many tables gives, table for table, the chain's
// indices, bits, reconstruction and figures, whatever the threads.
void TestJpeg::transformedOnceEqualsTheWholeChain() {
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(DctMethod, method);
    const std::vector<std::uint8_t> pixels = PhotoLikePicture(width, height, 5);
    const GreyPicture picture{pixels.data(), width, height, width};
    const TransformedPicture transformed(picture, method, 3);
    QuantTable flat{};
    flat.fill(37);
    for (const QuantTable& table :
         {LuminanceTable(5), LuminanceTable(50), LuminanceTable(100), flat}) {
        PictureSettings settings;
        settings.Table = table;
        settings.KeepBlocks = true;
        settings.Encoder = method;
        const PictureAnalysis whole = AnalysePicture(picture, settings);
        settings.Threads = 1;
        const PictureAnalysis once = AnalysePicture(transformed, settings);
        QCOMPARE(once.Quantised, whole.Quantised);
        QCOMPARE(once.BlockBits, whole.BlockBits);
        QCOMPARE(once.Reconstruction, whole.Reconstruction);
        QCOMPARE(once.TotalBits, whole.TotalBits);
        QCOMPARE(once.Mse, whole.Mse);
        QCOMPARE(once.ZeroShare, whole.ZeroShare);
        QCOMPARE(std::isnan(once.Ssim), std::isnan(whole.Ssim));
        if (!std::isnan(whole.Ssim)) {
            QCOMPARE(once.Ssim, whole.Ssim);
        }
    }
}

void TestJpeg::wideTransformsEqualPortable_data() {
    QTest::addColumn<DctMethod>("method");
    QTest::addColumn<int>("quality");
    QTest::addColumn<int>("largest"); ///< magnitude of the random indices given to Inverse
    QTest::newRow("float, quality 50") << DctMethod::Float << 50 << 40;
    QTest::newRow("float, quality 100, outside the samples") << DctMethod::Float << 100 << 2047;
    QTest::newRow("float, quality 1") << DctMethod::Float << 1 << 8;
    QTest::newRow("integer, quality 50") << DctMethod::Integer << 50 << 40;
    QTest::newRow("integer, quality 100, outside the samples") << DctMethod::Integer << 100 << 2047;
    QTest::newRow("integer, quality 1") << DctMethod::Integer << 1 << 8;
}

// The vector-register transforms are the portable ones moved into registers:
// every bit the same, on blocks of a picture and on indices whose samples fall
// far outside 0..255 (where only the limiting decides).
void TestJpeg::wideTransformsEqualPortable() {
    if (__builtin_cpu_supports("avx2") == 0) {
        QSKIP("This processor has no AVX2: both are the portable transforms.");
    }
    QFETCH(DctMethod, method);
    QFETCH(int, quality);
    QFETCH(int, largest);
    const EncoderBlockCodec codec(LuminanceTable(quality), method);
    std::mt19937 random(11);
    std::uniform_int_distribution<int> sample(0, 255);
    std::uniform_int_distribution<int> index(-largest, largest);
    for (int trial = 0; trial < 300; ++trial) {
        Samples block{};
        for (std::uint8_t& s : block) {
            // Every third block is two levels only: the largest coefficients.
            s = static_cast<std::uint8_t>(trial % 3 == 0 ? (sample(random) < 128 ? 0 : 255)
                                                         : sample(random));
        }
        const TransformedBlock transformed = EncoderBlockCodec::Transform(block, method);
        QCOMPARE(transformed, EncoderBlockCodec::TransformPortable(block, method));
        Indices quantised{};
        codec.Quantise(transformed, quantised);
        Indices wild{};
        for (int& q : wild) {
            q = trial % 4 == 0 ? 0 : index(random);
        }
        wild[0] = index(random); // every fourth block: DC only
        for (const Indices& indices : {quantised, wild}) {
            Samples wide{};
            Samples portable{};
            codec.Inverse(indices, wide);
            codec.InversePortable(indices, portable);
            QCOMPARE(wide, portable);
        }
    }
}

void TestJpeg::ssimReferenceEqualsMeanSsim_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<unsigned>("threads");
    // Reflected rows at both ends of every window; the smallest picture with an
    // inside pixel; more rows than one thread's share; under the window.
    QTest::newRow("61 x 37, 1 thread") << 61 << 37 << 1U;
    QTest::newRow("11 x 11, 2 threads") << 11 << 11 << 2U;
    QTest::newRow("203 x 150, 3 threads") << 203 << 150 << 3U;
    QTest::newRow("12 x 10, under the window") << 12 << 10 << 2U;
}

// The sweep's SSIM is MeanSsim's to the last bit, for every picture held
// against the one reference, and none for a picture of another size.
void TestJpeg::ssimReferenceEqualsMeanSsim() {
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(unsigned, threads);
    const std::vector<std::uint8_t> a = PhotoLikePicture(width, height, 3);
    const GreyPicture pa{a.data(), width, height, width};
    const SsimReference reference(pa, threads);
    for (const int seed : {4, 5}) {
        const std::vector<std::uint8_t> b = PhotoLikePicture(width, height, seed);
        const GreyPicture pb{b.data(), width, height, width};
        const double expected = MeanSsim(pa, pb, 1);
        const double got = reference.Mean(pb, threads);
        QCOMPARE(std::isnan(got), std::isnan(expected));
        if (!std::isnan(expected)) {
            QCOMPARE(std::bit_cast<std::uint64_t>(got), std::bit_cast<std::uint64_t>(expected));
        }
    }
    QVERIFY(std::isnan(reference.Mean({a.data(), width, height - 1, width})));
}

void TestJpeg::ssimEdgeCases() {
    const std::vector<std::uint8_t> a = PhotoLikePicture(11, 11, 2);
    std::vector<std::uint8_t> b = a;
    const GreyPicture pa{a.data(), 11, 11, 11};
    const GreyPicture pb{b.data(), 11, 11, 11};
    QCOMPARE(MeanSsim(pa, pb), 1.0); // the smallest picture with an inside pixel
    b[60] = std::uint8_t(b[60] ^ 0x40);
    QVERIFY(MeanSsim(pa, pb) < 1.0);
    QVERIFY(std::isnan(MeanSsim({a.data(), 10, 11, 11}, {b.data(), 10, 11, 11})));
    QVERIFY(std::isnan(MeanSsim(pa, {b.data(), 11, 10, 11})));
    // Under the window the map is still made, reflected at every edge.
    const SsimMap small = LocalSsim({a.data(), 4, 3, 11}, {a.data(), 4, 3, 11});
    QCOMPARE(small.Values.size(), std::size_t(12));
    QVERIFY(
        std::all_of(small.Values.begin(), small.Values.end(), [](float v) { return v == 1.0F; }));
    QVERIFY(std::isnan(small.Mean));
}

void TestJpeg::ssimEqualsDirectWindowSums_data() {
    QTest::addColumn<int>("base");   // x's level, or -1 for a photo-like picture
    QTest::addColumn<int>("spread"); // x's noise about its level
    QTest::addColumn<int>("noise");  // y's noise about x
    QTest::addColumn<int>("shift");  // y's offset from x
    // Flat bright areas, where E[y^2] - mu_y^2 cancels in float.
    QTest::newRow("flat 250, y within 2") << 250 << 0 << 2 << 0;
    QTest::newRow("bright plateau, y within 40") << 245 << 3 << 40 << 0;
    QTest::newRow("255 coded as 0") << 255 << 0 << 0 << -255;
    QTest::newRow("dark plateau, y 6 brighter") << 4 << 2 << 1 << 6;
    QTest::newRow("photo-like, y within 25, 10 darker") << -1 << 0 << 25 << -10;
}

// Every pixel's SSIM and the mean against the window's 121 weighted sums taken
// directly in long double, with reflected edges.
void TestJpeg::ssimEqualsDirectWindowSums() {
    QFETCH(int, base);
    QFETCH(int, spread);
    QFETCH(int, noise);
    QFETCH(int, shift);
    constexpr int kWidth = 37;
    constexpr int kHeight = 29;
    std::mt19937 random(7);
    const auto around = [&](int level, int by) {
        return std::clamp(level + std::uniform_int_distribution(-by, by)(random), 0, 255);
    };
    std::vector<std::uint8_t> a = PhotoLikePicture(kWidth, kHeight, 6);
    std::vector<std::uint8_t> b(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        a[i] = std::uint8_t(base < 0 ? a[i] : around(base, spread));
        b[i] = std::uint8_t(around(a[i] + shift, noise));
    }
    std::array<long double, kSsimWindow> g{};
    long double total = 0;
    for (int i = 0; i < kSsimWindow; ++i) {
        const long double t = (i - kSsimRadius) / 1.5L;
        total += g[std::size_t(i)] = std::exp(-0.5L * t * t);
    }
    const auto reflect = [](int i, int n) { return i < 0 ? -i - 1 : (i >= n ? 2 * n - 1 - i : i); };
    const long double c1 = 6.5025L;
    const long double c2 = 58.5225L;
    const SsimMap map =
        LocalSsim({a.data(), kWidth, kHeight, kWidth}, {b.data(), kWidth, kHeight, kWidth}, 2);
    long double sum = 0;
    double worst = 0.0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            long double ux = 0, uy = 0, uxx = 0, uyy = 0, uxy = 0;
            for (int i = 0; i < kSsimWindow; ++i) {
                for (int j = 0; j < kSsimWindow; ++j) {
                    const long double w = g[std::size_t(i)] * g[std::size_t(j)] / (total * total);
                    const int at = reflect(y + i - kSsimRadius, kHeight) * kWidth +
                                   reflect(x + j - kSsimRadius, kWidth);
                    const long double p = a[std::size_t(at)];
                    const long double q = b[std::size_t(at)];
                    ux += w * p;
                    uy += w * q;
                    uxx += w * p * p;
                    uyy += w * q * q;
                    uxy += w * p * q;
                }
            }
            const long double s = (2 * ux * uy + c1) * (2 * (uxy - ux * uy) + c2) /
                                  ((ux * ux + uy * uy + c1) * (uxx - ux * ux + uyy - uy * uy + c2));
            worst = std::max(
                worst, double(std::abs(s - map.Values[std::size_t(y) * kWidth + std::size_t(x)])));
            if (y >= kSsimRadius && y < kHeight - kSsimRadius && x >= kSsimRadius &&
                x < kWidth - kSsimRadius) {
                sum += s;
            }
        }
    }
    QVERIFY2(worst < 1e-5, qPrintable(QString::number(worst)));
    const double expected =
        double(sum / ((kWidth - 2 * kSsimRadius) * (kHeight - 2 * kSsimRadius)));
    QVERIFY2(std::abs(map.Mean - expected) < 1e-6,
             qPrintable(QStringLiteral("%1 against %2").arg(map.Mean, 0, 'g', 17).arg(expected)));
    QCOMPARE(MeanSsim({a.data(), kWidth, kHeight, kWidth}, {b.data(), kWidth, kHeight, kWidth}),
             map.Mean);
}

#include "tst_jpeg.moc"
