// Text rules of the grid: cleaning, values, and the writers' number texts.
#include "engine/cell_text.h"

#include <QtTest>

#include <cmath>
#include <limits>

using namespace quadrel;

class TestCellText : public QObject {
    Q_OBJECT
private slots:
    void clean_data();
    void clean();
    void value_data();
    void value();
    void truncated_data();
    void truncated();
    void floored_data();
    void floored();
    void wholeNumbersReadBackExactly_data();
    void wholeNumbersReadBackExactly();
    void grey_data();
    void grey();
    void signedText_data();
    void signedText();
};

void TestCellText::clean_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("cleaned");
    QTest::newRow("letter after digits") << "12a"
                                         << "12";
    QTest::newRow("pasted 1a2b") << "1a2b"
                                 << "12";
    QTest::newRow("decimal point") << "1.5"
                                   << "15";
    QTest::newRow("plus sign") << "+5"
                               << "5";
    QTest::newRow("blank then minus") << " -7"
                                      << "-7";
    QTest::newRow("exponent") << "1e5"
                              << "15";
    QTest::newRow("non-ASCII") << QString::fromUtf8("4\u00e9\u20ac2") << "42";
    QTest::newRow("Unicode minus sign") << QString::fromUtf8("\u221230") << "-30";
    QTest::newRow("Unicode minus inside") << QString::fromUtf8("1\u22122") << "1-2";
    QTest::newRow("nothing left") << "abc"
                                  << "";
}

void TestCellText::clean() {
    QFETCH(QString, typed);
    QFETCH(QString, cleaned);
    QCOMPARE(QString::fromStdString(CleanCellText(typed.toStdString())), cleaned);
}

void TestCellText::value_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("-12") << "-12" << -12.0;
    QTest::newRow("leading zeros") << "007" << 7.0;
    QTest::newRow("-0 is plain zero") << "-0" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("lone minus") << "-" << 0.0;
    QTest::newRow("inner minus") << "1-2" << 0.0;
    QTest::newRow("double minus") << "--3" << 0.0;
    QTest::newRow("trailing minus") << "5-" << 0.0;
    QTest::newRow("30 digits") << "123456789012345678901234567890"
                               << 123456789012345678901234567890.0;
    QTest::newRow("400 digits saturates") << QString(400, QLatin1Char('9')) << kMaxTextMagnitude;
    QTest::newRow("-400 digits saturates")
        << "-" + QString(400, QLatin1Char('9')) << -kMaxTextMagnitude;
}

void TestCellText::value() {
    QFETCH(QString, text);
    QFETCH(double, value);
    const double got = CellTextValue(text.toStdString());
    QCOMPARE(got, value);
    QVERIFY(!std::signbit(got) || value < 0);
}

void TestCellText::truncated_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("-0.9") << -0.9 << "0";
    QTest::newRow("-1.2") << -1.2 << "-1";
    QTest::newRow("3.7") << 3.7 << "3";
    QTest::newRow("-3.7") << -3.7 << "-3";
    QTest::newRow("1024") << 1024.0 << "1024";
    QTest::newRow("negative zero") << -0.0 << "0";
    QTest::newRow("tiny residue") << -1.5e-6 << "0";
    QTest::newRow("1e29 in plain digits") << 1e29 << "99999999999999991433150857216";
    QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << "0";
    QTest::newRow("inf") << std::numeric_limits<double>::infinity() << "0";
}

void TestCellText::truncated() {
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(TruncatedText(value)), text);
}

void TestCellText::floored_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("-0.5") << -0.5 << "-1";
    QTest::newRow("255.9") << 255.9 << "255";
    QTest::newRow("127.5") << 127.5 << "127";
    QTest::newRow("99.99999") << 99.99999 << "99";
    QTest::newRow("-0") << -0.0 << "0";
}

void TestCellText::floored() {
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(FlooredText(value)), text);
}

void TestCellText::wholeNumbersReadBackExactly_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("held"); // what the shown text reads back as
    QTest::newRow("2^53 + 2") << 9007199254740994.0 << 9007199254740994.0;
    QTest::newRow("-1e29") << -1e29 << -1e29;
    QTest::newRow("2.5e299") << 2.5e299 << 2.5e299;
    QTest::newRow("-7.3e299") << -7.3e299 << -7.3e299;
    QTest::newRow("just below 1e300") << std::nextafter(1e300, 0.0) << std::nextafter(1e300, 0.0);
    QTest::newRow("1e300") << 1e300 << 1e300;
    // A transform of values at the ceiling goes beyond it; the cell must show
    // what its text will hold, not digits that read back as another number.
    QTest::newRow("just above 1e300") << std::nextafter(1e300, 2e300) << 1e300;
    QTest::newRow("4 x 2.6e299") << 4 * 2.6e299 << 1e300;
    QTest::newRow("-1.6e301") << -1.6e301 << -1e300;
    QTest::newRow("largest finite") << std::numeric_limits<double>::max() << 1e300;
}

void TestCellText::wholeNumbersReadBackExactly() {
    QFETCH(double, value);
    QFETCH(double, held);
    for (const std::string& text : {TruncatedText(value), FlooredText(value)}) {
        QVERIFY(text.find_first_not_of("-0123456789") == std::string::npos);
        const double back = CellTextValue(CleanCellText(text));
        QCOMPARE(back, held);
        QCOMPARE(TruncatedText(back), text); // and it shows the same text again
    }
}

void TestCellText::grey_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("grey");
    QTest::newRow("-0.5") << -0.5 << 0;
    QTest::newRow("255.9") << 255.9 << 255;
    QTest::newRow("300") << 300.0 << 255;
    QTest::newRow("127.5") << 127.5 << 127;
    QTest::newRow("beyond int range") << 1e300 << 255;
    QTest::newRow("far below") << -1e300 << 0;
    QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << 0;
}

void TestCellText::grey() {
    QFETCH(double, value);
    QFETCH(int, grey);
    QCOMPARE(GreyLevel(value), grey);
}

void TestCellText::signedText_data() {
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << " 0";
    QTest::newRow("5") << 5 << " 5";
    QTest::newRow("-2") << -2 << "-2";
    QTest::newRow("int min") << std::numeric_limits<int>::min() << "-2147483648";
}

void TestCellText::signedText() {
    QFETCH(int, n);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(SignedText(n)), text);
}

QTEST_APPLESS_MAIN(TestCellText)
#include "tst_cell_text.moc"
