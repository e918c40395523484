// What the "JPEG File" window and quadrel-cli inspect show beside the
// reader's facts: a table's codes as the decoder builds them, and which bits
// of which bytes a block's bit range marks.
#include "jpeg/jpeg_huffman.h"
#include "jpeg_file/jpeg_contents.h"

#include <QtTest>

#include <string>
#include <vector>

using namespace quadrel;

Q_DECLARE_METATYPE(std::vector<std::uint8_t>)

class TestJpegContents : public QObject {
    Q_OBJECT
private slots:
    void codesAreTheStandardOnes_data();
    void codesAreTheStandardOnes();
    void bitsAroundMarkTheBlocksBits_data();
    void bitsAroundMarkTheBlocksBits();
};

void TestJpegContents::codesAreTheStandardOnes_data() {
    QTest::addColumn<bool>("ac");
    QTest::addColumn<bool>("chrominance");
    QTest::newRow("DC luminance") << false << false;
    QTest::newRow("DC chrominance") << false << true;
    QTest::newRow("AC luminance") << true << false;
    QTest::newRow("AC chrominance") << true << true;
}

// Counted up from the table's counts, every code is the one the encoder's
// default tables give the symbol.
void TestJpegContents::codesAreTheStandardOnes() {
    QFETCH(bool, ac);
    QFETCH(bool, chrominance);
    const jpeg::HuffmanClass tables =
        chrominance ? jpeg::HuffmanClass::Chrominance : jpeg::HuffmanClass::Luminance;
    const jpeg::HuffmanTableSpec spec = ac ? jpeg::AcTableSpec(tables) : jpeg::DcTableSpec(tables);
    jpeg_file::HuffmanTable table;
    table.Kind = ac ? jpeg_file::HuffmanKind::Ac : jpeg_file::HuffmanKind::Dc;
    std::copy(spec.Counts.begin(), spec.Counts.end(), table.Counts.begin());
    table.Values = spec.Symbols;
    const std::vector<jpeg_file::HuffmanCodeEntry> codes = jpeg_file::HuffmanCodes(table);
    QCOMPARE(codes.size(), spec.Symbols.size());
    for (const jpeg_file::HuffmanCodeEntry& e : codes) {
        const jpeg::HuffmanCode code = ac ? jpeg::AcCode(e.Symbol >> 4, e.Symbol & 15, tables)
                                          : jpeg::DcCode(e.Symbol, tables);
        QCOMPARE(QString::fromStdString(e.Code),
                 QString::fromStdString(jpeg::BitText(code.Code, code.Length)));
    }
}

void TestJpegContents::bitsAroundMarkTheBlocksBits_data() {
    QTest::addColumn<std::vector<std::uint8_t>>("bytes");
    QTest::addColumn<int>("bitOffset");
    QTest::addColumn<int>("bitLength");
    QTest::addColumn<QStringList>("marked");
    QTest::addColumn<bool>("stuffed");
    // A5 = 10100101, 3C = 00111100.
    QTest::newRow("across a byte boundary")
        << std::vector<std::uint8_t>{0x12, 0xA5, 0x3C, 0x00, 0x77} << 10 << 9
        << QStringList{"100101", "001"} << false;
    // The zero stuffed after FF is no data: the block goes on in the byte after it.
    QTest::newRow("over a stuffed byte")
        << std::vector<std::uint8_t>{0xAA, 0xFF, 0x00, 0x81, 0x00} << 4 << 16
        << QStringList{"1010", "11111111", "1000"} << true;
    QTest::newRow("within one byte")
        << std::vector<std::uint8_t>{0x0F} << 3 << 2 << QStringList{"01"} << false;
    QTest::newRow("beyond the bytes")
        << std::vector<std::uint8_t>{0x0F} << 8 << 2 << QStringList{} << false;
}

void TestJpegContents::bitsAroundMarkTheBlocksBits() {
    QFETCH(std::vector<std::uint8_t>, bytes);
    QFETCH(int, bitOffset);
    QFETCH(int, bitLength);
    QFETCH(QStringList, marked);
    QFETCH(bool, stuffed);
    const jpeg_file::MarkedBytes shown = jpeg_file::BitsAround(
        bytes, {static_cast<std::uint64_t>(bitOffset), static_cast<std::uint32_t>(bitLength)});
    QStringList pieces;
    for (const auto& [from, to] : shown.Marked) {
        pieces << QString::fromStdString(shown.Text.substr(from, to - from));
    }
    QCOMPARE(pieces, marked);
    QCOMPARE(QString::fromStdString(shown.Text).contains(QStringLiteral("stuffed")), stuffed);
}

QTEST_MAIN(TestJpegContents)
#include "tst_jpeg_contents.moc"
