// The block model on its own, as quadrel-cli uses it: the cell-change rule, the
// round trip that loses a little to the shown texts, and the pattern cycle.
#include "engine/block_model.h"
#include "engine/cell_text.h"

#include <QtTest>

#include <string>

using namespace quadrel;

class TestBlockModel : public QObject {
    Q_OBJECT
private slots:
    void cellChangeRule_data();
    void cellChangeRule();
    void roundTripLosesToTheShownTexts();
    void cycleLeavesTheShownAmplitudesInTheFreqBlock();
    void showingAViewStoresNothing();
};

void TestBlockModel::cellChangeRule_data() {
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("written");
    QTest::addColumn<bool>("stores");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<double>("value");
    QTest::newRow("new number") << "5"
                                << "12" << true << "12" << 12.0;
    QTest::newRow("cleaned") << "5"
                             << "-1a2" << true << "-12" << -12.0;
    QTest::newRow("unicode minus") << "5"
                                   << "\u22127" << true << "-7" << -7.0;
    QTest::newRow("no number") << "5"
                               << "1-2" << true << "1-2" << 0.0;
    QTest::newRow("same text") << "5"
                               << "5" << false << "5" << 777.0;
}

void TestBlockModel::cellChangeRule() {
    QFETCH(QString, before);
    QFETCH(QString, written);
    QFETCH(bool, stores);
    QFETCH(QString, shown);
    QFETCH(double, value);
    BlockModel model;
    const int k = 19;
    QVERIFY(model.SetCellText(k, before.toStdString()));
    model.SetFreq(CellColumn(k), CellRow(k), 777); // a value the text does not spell
    QCOMPARE(model.SetCellText(k, written.toStdString()), stores);
    QCOMPARE(QString::fromStdString(model.CellText(k)), shown);
    QCOMPARE(model.Freq().Cell(k), value);
}

void TestBlockModel::roundTripLosesToTheShownTexts() {
    BlockModel model;
    model.DCTandDraw(); // as the window opens: every cell shows 0
    Block flat{};
    for (int k = 0; k < kBlockCells; ++k) {
        flat.Cell(k) = 100;
    }
    model.SetSpaceBlock(flat);
    model.DCTandDraw();
    model.IDCTandDraw();
    int below = 0;
    for (int k = 0; k < kBlockCells; ++k) {
        below += model.Grey(k) == 99 ? 1 : 0;
        QVERIFY(model.Grey(k) == 99 || model.Grey(k) == 100);
    }
    // The AC residues truncate to the 0 already shown, so they stay and pull
    // 41 pixels just below 100.
    QCOMPARE(below, 41);
    QCOMPARE(model.CellsCaption(), std::string(kFreqAmplitudesCaption));
    QCOMPARE(model.SquaresCaption(), std::string(kPixelPatternCaption));
}

void TestBlockModel::cycleLeavesTheShownAmplitudesInTheFreqBlock() {
    BlockModel model;
    model.ShowCyclePattern(3, 5);
    for (int k = 0; k < kBlockCells; ++k) {
        QCOMPARE(model.CellText(k), FlooredText(model.Space().Cell(k)));
        QCOMPARE(model.Freq().Cell(k), CellTextValue(model.CellText(k)));
    }
    QCOMPARE(model.SquaresCaption(), std::string("DCT Pattern:  5  3"));
}

void TestBlockModel::showingAViewStoresNothing() {
    BlockModel model;
    model.ShowCyclePattern(1, 0);
    const Block freq = model.Freq();
    BlockShown other = model.Shown();
    other.CellTexts.fill("9");
    int written = 0;
    BlockObserver counter;
    counter.CellWritten = [&written](int) { ++written; };
    model.SetObserver(counter);
    model.Show(other);
    QCOMPARE(written, kBlockCells);
    QCOMPARE(model.Freq(), freq);
    QCOMPARE(model.Shown(), other);
}

QTEST_APPLESS_MAIN(TestBlockModel)
#include "tst_block_model.moc"
