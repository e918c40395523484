// The transform engine against the numbers a student can check by hand.
#include "engine/dct_engine.h"
#include "engine/luma.h"
#include "tests/support/ready_engine.h"

#include <QtTest>

#include <cmath>

using quadrel::DctEngine;

namespace {

void FillSpace(DctEngine& e, double value) {
    for (auto& column : e.SpaceArray) {
        column.fill(value);
    }
}

} // namespace

class TestEngine : public QObject {
    Q_OBJECT
private slots:
    void startValues();
    void constantBlocks_data();
    void constantBlocks();
    void roundTripOfConstantBlockLeaves41CellsBelow100();
    void singlePixel();
    void loneCoefficient_data();
    void loneCoefficient();
    void roundTripStaysClose();
    void buildModeShowsEveryIntermediatePicture();
    void buildModeReadsCoefficientsAsTheyStandAtTheirTurn();
    void setValueIgnoresIndexesOutsideTheBlock_data();
    void setValueIgnoresIndexesOutsideTheBlock();
    void quantise_data();
    void quantise();
    void quantiseTwiceIsStableForNonNegativeDc();
    void scaleSteps_data();
    void scaleSteps();
    void lumaOfGreys();
    void lumaOfPureColours_data();
    void lumaOfPureColours();
};

void TestEngine::startValues() {
    DctEngine e = quadrel::test::ReadyEngine();
    QCOMPARE(e.QuantScale, 16);
    QVERIFY(!e.BuildMode);
    QVERIFY(!e.StopFlag);
    QCOMPARE(e.BlockSize, 8);
    QCOMPARE(e.MaxIndex, 7);
    QCOMPARE(e.PiValue, 3.1415927);
    // The table is built with the rounded pi, not the true one.
    QCOMPARE(e.CosTable[1][4], std::cos(3.0 * 4.0 * 3.1415927 / 2.0 / 8.0));
    QVERIFY(e.CosTable[1][4] != std::cos(3.0 * 4.0 * M_PI / 16.0));
    e.PerformDCT();
    for (const auto& column : e.FreqArray) {
        for (double f : column) {
            QCOMPARE(f, 0.0);
        }
    }
}

void TestEngine::constantBlocks_data() {
    QTest::addColumn<double>("level");
    QTest::addColumn<double>("dc");
    QTest::newRow("100") << 100.0 << 400.0;
    QTest::newRow("255") << 255.0 << 1020.0;
    // 4 x 2.6e299 lies beyond what a cell's text can hold: the result stops there.
    QTest::newRow("2.6e299 saturates") << 2.6e299 << 1e300;
}

void TestEngine::constantBlocks() {
    QFETCH(double, level);
    QFETCH(double, dc);
    DctEngine e = quadrel::test::ReadyEngine();
    FillSpace(e, level);
    e.PerformDCT();
    QCOMPARE(e.FreqArray[0][0], dc); // exactly
    int exactZeros = 0;
    for (int u = 0; u < 8; ++u) {
        for (int v = 0; v < 8; ++v) {
            if (u == 0 && v == 0) {
                continue;
            }
            QVERIFY2(std::abs(e.FreqArray[u][v]) < 2e-5 * level / 100.0,
                     qPrintable(QString::number(e.FreqArray[u][v])));
            exactZeros += e.FreqArray[u][v] == 0.0 ? 1 : 0;
        }
    }
    QVERIFY(exactZeros < 63); // the rounded pi leaves residues
}

void TestEngine::roundTripOfConstantBlockLeaves41CellsBelow100() {
    DctEngine e = quadrel::test::ReadyEngine();
    FillSpace(e, 100.0);
    e.PerformDCT();
    e.PerformIDCT();
    int below = 0;
    for (const auto& column : e.SpaceArray) {
        for (double s : column) {
            QVERIFY(s >= 99.99998 && s <= 100.00003);
            below += s < 100.0 ? 1 : 0;
        }
    }
    QCOMPARE(below, 41);
}

void TestEngine::singlePixel() {
    DctEngine e = quadrel::test::ReadyEngine();
    e.SetSpaceValue(0, 0, 255);
    e.PerformDCT();
    QCOMPARE(e.FreqArray[0][0], 15.9375);
    QVERIFY(std::abs(e.FreqArray[1][0] - 31.2625) < 5e-5);
    QCOMPARE(e.FreqArray[0][1], e.FreqArray[1][0]);
    QVERIFY(std::abs(e.FreqArray[1][1] - 61.3237) < 5e-5);
}

void TestEngine::loneCoefficient_data() {
    QTest::addColumn<int>("u");
    QTest::addColumn<int>("v");
    QTest::newRow("F(1,0) varies along a row") << 1 << 0;
    QTest::newRow("F(0,1) varies down a column") << 0 << 1;
    QTest::newRow("F(0,0) is flat") << 0 << 0;
}

void TestEngine::loneCoefficient() {
    QFETCH(int, u);
    QFETCH(int, v);
    const double profile[8] = {125.5405, 106.4281, 71.1130,   24.9716,
                               -24.9716, -71.1130, -106.4281, -125.5405};
    DctEngine e = quadrel::test::ReadyEngine();
    e.SetFreqValue(u, v, 512);
    e.PerformIDCT();
    for (int x = 0; x < 8; ++x) {
        for (int y = 0; y < 8; ++y) {
            const double expected = (u == 1) ? profile[x] : (v == 1) ? profile[y] : 128.0;
            QVERIFY2(
                std::abs(e.SpaceArray[x][y] - expected) < 5e-5,
                qPrintable(QStringLiteral("(%1,%2) = %3").arg(x).arg(y).arg(e.SpaceArray[x][y])));
        }
    }
}

void TestEngine::roundTripStaysClose() {
    DctEngine e = quadrel::test::ReadyEngine();
    for (int x = 0; x < 8; ++x) {
        for (int y = 0; y < 8; ++y) {
            e.SpaceArray[x][y] = (x * 37 + y * 91 + x * y * 13) % 256;
        }
    }
    const quadrel::Block original = e.SpaceArray;
    e.PerformDCT();
    e.PerformIDCT();
    for (int x = 0; x < 8; ++x) {
        for (int y = 0; y < 8; ++y) {
            QVERIFY(std::abs(e.SpaceArray[x][y] - original[x][y]) < 2e-4);
        }
    }
}

void TestEngine::buildModeShowsEveryIntermediatePicture() {
    DctEngine e = quadrel::test::ReadyEngine();
    e.SetFreqValue(0, 0, 512);
    e.SetFreqValue(3, 2, 100);
    e.BuildMode = true;
    std::vector<quadrel::Block> pictures;
    e.SetBuildStepObserver([&] { pictures.push_back(e.SpaceArray); });
    e.PerformIDCT();
    QCOMPARE(pictures.size(), std::size_t{64});
    for (const auto& column : pictures.front()) {
        for (double s : column) {
            QCOMPARE(s, 128.0); // F(0,0) alone
        }
    }
    QVERIFY(pictures.back() == e.SpaceArray);

    e.BuildMode = false;
    pictures.clear();
    e.PerformIDCT();
    QVERIFY(pictures.empty());
}

void TestEngine::buildModeReadsCoefficientsAsTheyStandAtTheirTurn() {
    // The window's grid writes may replace a coefficient between two steps.
    DctEngine e = quadrel::test::ReadyEngine();
    e.SetFreqValue(7, 7, 100.7);
    e.BuildMode = true;
    e.SetBuildStepObserver([&] { e.FreqArray[7][7] = std::trunc(e.FreqArray[7][7]); });
    e.PerformIDCT();
    DctEngine fast = quadrel::test::ReadyEngine();
    fast.SetFreqValue(7, 7, 100.0);
    fast.PerformIDCT();
    QVERIFY(e.SpaceArray == fast.SpaceArray);
}

void TestEngine::setValueIgnoresIndexesOutsideTheBlock_data() {
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    QTest::addColumn<bool>("written");
    QTest::newRow("top right") << 7 << 0 << true;
    QTest::newRow("element 43") << 3 << 5 << true;
    QTest::newRow("first -1") << -1 << 0 << false;
    QTest::newRow("first 8") << 8 << 0 << false;
    QTest::newRow("second 8") << 0 << 8 << false;
    QTest::newRow("both huge") << 1000 << -1000 << false;
}

void TestEngine::setValueIgnoresIndexesOutsideTheBlock() {
    QFETCH(int, first);
    QFETCH(int, second);
    QFETCH(bool, written);
    DctEngine e = quadrel::test::ReadyEngine();
    const DctEngine before = e;
    e.SetFreqValue(first, second, 512);
    e.SetSpaceValue(first, second, 77);
    int changedFreq = 0;
    int changedSpace = 0;
    for (int i = 0; i < 8; ++i) {
        for (int j = 0; j < 8; ++j) {
            changedFreq += e.FreqArray[i][j] != before.FreqArray[i][j];
            changedSpace += e.SpaceArray[i][j] != before.SpaceArray[i][j];
        }
    }
    QCOMPARE(changedFreq, written ? 1 : 0);
    QCOMPARE(changedSpace, written ? 1 : 0);
    if (written) {
        QCOMPARE(e.FreqArray[first][second], 512.0);
        QCOMPARE(e.SpaceArray[first][second], 77.0);
    }
}

void TestEngine::quantise_data() {
    QTest::addColumn<int>("scale");
    QTest::addColumn<bool>("dc");
    QTest::addColumn<double>("input");
    QTest::addColumn<double>("expected");
    QTest::newRow("AC 30") << 16 << false << 30.0 << 16.0;
    QTest::newRow("AC -30") << 16 << false << -30.0 << -16.0;
    QTest::newRow("AC 15.9 dead zone") << 16 << false << 15.9 << 0.0;
    QTest::newRow("AC -15.9 dead zone") << 16 << false << -15.9 << 0.0;
    QTest::newRow("AC 16") << 16 << false << 16.0 << 16.0;
    QTest::newRow("AC 47.5") << 16 << false << 47.5 << 32.0;
    QTest::newRow("DC 1020") << 16 << true << 1020.0 << 1024.0;
    QTest::newRow("DC 400") << 16 << true << 400.0 << 400.0;
    QTest::newRow("DC 7.9") << 16 << true << 7.9 << 0.0;
    QTest::newRow("DC 8 rounds up") << 16 << true << 8.0 << 16.0;
    QTest::newRow("DC -16 moves to 0") << 16 << true << -16.0 << 0.0;
    QTest::newRow("DC -30") << 16 << true << -30.0 << -16.0;
    QTest::newRow("AC 2.7 at 1") << 1 << false << 2.7 << 2.0;
    QTest::newRow("AC -2.7 at 1") << 1 << false << -2.7 << -2.0;
    QTest::newRow("DC 2.5 at 1") << 1 << true << 2.5 << 3.0;
    QTest::newRow("DC 2.4 at 1") << 1 << true << 2.4 << 2.0;
    QTest::newRow("AC huge at 512") << 512 << false << 1e300 << std::trunc(1e300 / 512) * 512;
}

void TestEngine::quantise() {
    QFETCH(int, scale);
    QFETCH(bool, dc);
    QFETCH(double, input);
    QFETCH(double, expected);
    DctEngine e = quadrel::test::ReadyEngine();
    e.QuantScale = scale;
    const int u = dc ? 0 : 2;
    const int v = dc ? 0 : 5;
    e.FreqArray[u][v] = input;
    e.QuantiseBlock();
    QCOMPARE(e.FreqArray[u][v], expected);
    QVERIFY(!std::signbit(e.FreqArray[u][v]) || expected < 0); // never a negative zero
}

void TestEngine::quantiseTwiceIsStableForNonNegativeDc() {
    DctEngine e = quadrel::test::ReadyEngine();
    for (int x = 0; x < 8; ++x) {
        for (int y = 0; y < 8; ++y) {
            e.SpaceArray[x][y] = (x * 53 + y * 29) % 256;
        }
    }
    e.PerformDCT();
    e.QuantiseBlock();
    const quadrel::Block once = e.FreqArray;
    e.QuantiseBlock();
    QVERIFY(e.FreqArray == once);
}

void TestEngine::scaleSteps_data() {
    QTest::addColumn<bool>("up");
    QTest::addColumn<QList<int>>("scales");
    QTest::newRow("+ six times") << true << QList<int>{32, 64, 128, 256, 512, 512};
    QTest::newRow("- five times") << false << QList<int>{8, 4, 2, 1, 1};
}

void TestEngine::scaleSteps() {
    QFETCH(bool, up);
    QFETCH(QList<int>, scales);
    DctEngine e = quadrel::test::ReadyEngine();
    for (int expected : scales) {
        up ? e.DoubleScale() : e.HalveScale();
        QCOMPARE(e.QuantScale, expected);
    }
}

void TestEngine::lumaOfGreys() {
    // Integer arithmetic gives k for every grey; the double evaluation order
    // gives k - 1 for exactly these.
    const QList<int> darker = {23,  41,  46,  55,  63,  82,  92,  97,  101, 110, 111, 126, 159,
                               164, 184, 189, 194, 197, 202, 209, 220, 222, 237, 245, 247, 252};
    for (int k = 0; k < 256; ++k) {
        const int expected = darker.contains(k) ? k - 1 : k;
        QCOMPARE(quadrel::Luma(quadrel::Components(quadrel::MakeColourValue(k, k, k))), expected);
    }
}

void TestEngine::lumaOfPureColours_data() {
    QTest::addColumn<int>("colour");
    QTest::addColumn<int>("luma");
    QTest::newRow("red") << quadrel::MakeColourValue(255, 0, 0) << 76;
    QTest::newRow("green") << quadrel::MakeColourValue(0, 255, 0) << 150;
    QTest::newRow("blue") << quadrel::MakeColourValue(0, 0, 255) << 28;
    QTest::newRow("white") << quadrel::MakeColourValue(255, 255, 255) << 255;
    QTest::newRow("black") << 0 << 0;
    QTest::newRow("outside the area") << quadrel::kOutsideArea << 255;
    QTest::newRow("200,100,50") << quadrel::MakeColourValue(200, 100, 50) << 124;
}

void TestEngine::lumaOfPureColours() {
    QFETCH(int, colour);
    QFETCH(int, luma);
    QCOMPARE(quadrel::Luma(quadrel::Components(colour)), luma);
}

QTEST_APPLESS_MAIN(TestEngine)
#include "tst_engine.moc"
