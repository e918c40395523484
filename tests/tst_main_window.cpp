// The main window driven through its real widgets: start-up, the cell-change
// rule, the drivers, quantising and the pattern cycle.
#include "engine/cell_text.h"
#include "main_window/application_setup.h"
#include "main_window/dct_window.h"
#include "tests/support/testutils.h"
#include "views/cell_panel_style.h"
#include "views/square_grid.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStyleFactory>
#include <QStyleOptionFrame>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

using quadrel::DCT;
using quadrel::test::ScriptedWindow;

using Action = std::function<void(ScriptedWindow&)>;
Q_DECLARE_METATYPE(Action)

using namespace quadrel::test;

namespace {

int Grey(const DCT& w, int k) {
    return Shape1(w)->Colour(k).red();
}

struct Coefficient {
    int u;
    int v;
    double value;
};

// An engine of its own that holds the inverse transform of the given coefficients.
quadrel::DctEngine Reconstruction(std::initializer_list<Coefficient> coefficients) {
    quadrel::DctEngine reference = quadrel::test::ReadyEngine();
    for (const Coefficient& c : coefficients) {
        reference.SetFreqValue(c.u, c.v, c.value);
    }
    reference.PerformIDCT();
    return reference;
}

bool AllCellsAreWholeNumbers(const DCT& w) {
    static const QRegularExpression whole(QStringLiteral("^-?(0|[1-9][0-9]*)$"));
    for (int k = 0; k < 64; ++k) {
        const QString text = Cell(w, k)->text();
        if (!whole.match(text).hasMatch() || text == QLatin1String("-0")) {
            return false;
        }
    }
    return true;
}

void TypeIntoCell(DCT& w, int k, const QString& text) {
    QLineEdit* cell = Cell(w, k);
    cell->selectAll();
    QTest::keyClick(cell, Qt::Key_Delete);
    QTest::keyClicks(cell, text);
}

// Runs `action` at the n-th yield of a running command (1-based), then keeps
// counting. The cycle yields exactly once per step.
class YieldHook : public QObject {
public:
    explicit YieldHook(std::function<void(int)> onYield) : onYield_(std::move(onYield)) {
        startTimer(0);
    }
    int yields = 0;

protected:
    void timerEvent(QTimerEvent*) override { onYield_(++yields); }

private:
    std::function<void(int)> onYield_;
};

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { quadrel::ConfigureApplication(*qApp); }
    void startUpScreen();
    void cellPanelIsTheStylesOwn_data();
    void cellPanelIsTheStylesOwn();
    void layoutAndTabOrder();
    void cellChangeRule_data();
    void cellChangeRule();
    void typingIntoPixelGridChangesTheCoefficient();
    void dctReplacesOnlyCellsWhoseTextChanged();
    void enterRunsTheInverseTransform();
    void buildModePaintsEveryIntermediatePicture_data();
    void buildModePaintsEveryIntermediatePicture();
    void cellsWithoutANumber_data();
    void cellsWithoutANumber();
    void hugeValuesStayPlainDigits_data();
    void hugeValuesStayPlainDigits();
    void quantiseButton();
    void scaleButtons_data();
    void scaleButtons();
    void cycleShowsAllPatternsInOrder();
    void stopDuringAndBeforeCycle_data();
    void stopDuringAndBeforeCycle();
    void stopInNestedCycleEndsOnlyTheNestedOne();
    void quitDuringCycleEndsAtOnce();
    void blockChangedOncePerCompletedChange_data();
    void blockChangedOncePerCompletedChange();
};

// The cells' panel, drawn once and then copied, has the pixels Fusion draws
// each time, wherever it lies, in every state and colour.
void TestMainWindow::cellPanelIsTheStylesOwn_data() {
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<int>("state");
    QTest::addColumn<QColor>("base");
    const int normal = QStyle::State_Enabled | QStyle::State_Sunken;
    QTest::newRow("cell") << QRect(5, 7, 33, 33) << normal << QColor(0xC0, 0xC0, 0xC0);
    QTest::newRow("focused, wide")
        << QRect(0, 0, 50, 20) << (normal | QStyle::State_HasFocus) << QColor(0xC0, 0xC0, 0xC0);
    QTest::newRow("disabled, white")
        << QRect(3, 2, 33, 33) << int(QStyle::State_Sunken) << QColor(Qt::white);
}

void TestMainWindow::cellPanelIsTheStylesOwn() {
    QFETCH(QRect, rect);
    QFETCH(int, state);
    QFETCH(QColor, base);
    QStyleOptionFrame option;
    option.rect = rect;
    option.state = QStyle::State(state);
    option.lineWidth = 1;
    option.palette.setColor(QPalette::Base, base);
    const auto paint = [&](const QStyle& style) {
        QImage image(rect.bottomRight().x() + 4, rect.bottomRight().y() + 4,
                     QImage::Format_ARGB32_Premultiplied);
        image.fill(QColor(0x80, 0x90, 0xA0));
        QPainter painter(&image);
        style.drawPrimitive(QStyle::PE_PanelLineEdit, &option, &painter);
        return image;
    };
    const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    quadrel::CellPanelStyle cached;
    const QImage expected = paint(*fusion);
    QCOMPARE(paint(cached), expected);                // drawn, then kept
    QCOMPARE(paint(cached), expected);                // copied
    option.palette.setColor(QPalette::Base, Qt::red); // another colour is drawn anew
    QVERIFY(paint(cached) != expected);
    QCOMPARE(paint(cached), paint(*fusion));
}

void TestMainWindow::startUpScreen() {
    DCT w;
    // The version comes from project() in CMakeLists.txt; e2e_startup checks it
    // against CMake's own value.
    const QString title = QStringLiteral("Quadrel v") + QLatin1String(quadrel::kVersion);
    QCOMPARE(w.windowTitle(), title);
    QCOMPARE(Find<QLabel>(w, "Label3")->text(), title);
    QCOMPARE(Find<QLabel>(w, "Label1")->text(), QStringLiteral("Freq. Amplitudes"));
    QCOMPARE(Find<QLabel>(w, "Label2")->text(), QStringLiteral("Pixel Pattern"));
    QCOMPARE(Command1(w, 6)->text(), QStringLiteral("Quant 16"));
    QVERIFY(Option1(w, 0)->isChecked());
    QVERIFY(!Option1(w, 1)->isChecked());
    QVERIFY(w.findChild<QPushButton*>(QStringLiteral("Command1_9")) == nullptr);
    for (int k = 0; k < 64; ++k) {
        QCOMPARE(Cell(w, k)->text(), QStringLiteral("0"));
        QCOMPARE(Shape1(w)->Colour(k), QColor(Qt::black));
    }
    QCOMPARE(w.size(), QSize(600, 456));
    // The grid labels need a fixed-pitch face even where Courier New is missing.
    QVERIFY(QFontInfo(Find<QLabel>(w, "Label1")->font()).fixedPitch());
    QVERIFY(QFontInfo(Find<QLabel>(w, "Label1")->font()).bold());
}

void TestMainWindow::layoutAndTabOrder() {
    DCT w;
    // Element 43 sits in column 3, row 5 of both grids.
    QCOMPARE(Cell(w, 43)->geometry(), QRect(24 + 3 * 32, 24 + 5 * 32, 33, 33));
    QCOMPARE(Shape1(w)->SquareRect(43).translated(Shape1(w)->pos()),
             QRect(320 + 3 * 32, 24 + 5 * 32, 33, 33));
    QCOMPARE(Command1(w, 6)->geometry(), QRect(232, 328, 57, 33));
    QCOMPARE(Find<QPushButton>(w, "Command3")->geometry(), QRect(288, 344, 17, 17));

    QList<QWidget*> expected;
    for (int i : {0, 1, 2, 3, 4, 5}) {
        expected << Command1(w, i);
    }
    for (int k = 0; k < 64; ++k) {
        expected << Cell(w, k);
    }
    expected << Command1(w, 6) << Command1(w, 7) << Find<QPushButton>(w, "Command2")
             << Find<QPushButton>(w, "Command3") << Command1(w, 8) << Command1(w, 10)
             << Command1(w, 11) << Option1(w, 0) << Option1(w, 1);
    QWidget* current = expected.front();
    for (qsizetype i = 1; i < expected.size(); ++i) {
        current = current->nextInFocusChain();
        QCOMPARE(current, expected[i]);
    }
}

void TestMainWindow::cellChangeRule_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<bool>("paste");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<double>("stored");
    QTest::newRow("typed 12a") << "12a" << false << "12" << 12.0;
    QTest::newRow("pasted 1a2b") << "1a2b" << true << "12" << 12.0;
    QTest::newRow("pasted 1.5") << "1.5" << true << "15" << 15.0;
    QTest::newRow("pasted +5") << "+5" << true << "5" << 5.0;
    QTest::newRow("pasted blank -7") << " -7" << true << "-7" << -7.0;
    QTest::newRow("typed 007") << "007" << false << "007" << 7.0;
}

void TestMainWindow::cellChangeRule() {
    QFETCH(QString, input);
    QFETCH(bool, paste);
    QFETCH(QString, shown);
    QFETCH(double, stored);
    DCT w;
    QLineEdit* cell = Cell(w, 19);
    cell->clear();
    if (paste) {
        QApplication::clipboard()->setText(input);
        cell->paste();
    } else {
        QTest::keyClicks(cell, input);
    }
    QCOMPARE(cell->text(), shown);
    QCOMPARE(w.Document().Engine().FreqArray[3][2], stored);
}

void TestMainWindow::typingIntoPixelGridChangesTheCoefficient() {
    DCT w;
    Click(Command1(w, 0)); // the cycle leaves pixel amplitudes in the grid
    QCOMPARE(Find<QLabel>(w, "Label1")->text(), QStringLiteral("Pixel Amplitudes"));
    const double pixel = w.Document().Engine().SpaceArray[2][0];
    TypeIntoCell(w, 2, QStringLiteral("77"));
    QCOMPARE(w.Document().Engine().FreqArray[2][0], 77.0);
    QCOMPARE(w.Document().Engine().SpaceArray[2][0], pixel);
}

void TestMainWindow::dctReplacesOnlyCellsWhoseTextChanged() {
    // A constant block of 100 leaves tiny residues in the AC coefficients. Their
    // cells already show 0, so they keep those residues, and the reconstruction
    // comes back just below 100 in 41 cells.
    DCT w;
    for (int x = 0; x < 8; ++x) {
        for (int y = 0; y < 8; ++y) {
            w.Document().SetSpace(x, y, 100);
        }
    }
    Click(Command1(w, 3));
    QCOMPARE(Cell(w, 0)->text(), QStringLiteral("400"));
    QVERIFY(w.Document().Engine().FreqArray[1][0] != 0.0);
    Click(Command1(w, 2));
    int at99 = 0;
    for (int k = 0; k < 64; ++k) {
        at99 += Grey(w, k) == 99 ? 1 : 0;
        QVERIFY(Grey(w, k) == 99 || Grey(w, k) == 100);
    }
    QCOMPARE(at99, 41);
}

void TestMainWindow::enterRunsTheInverseTransform() {
    DCT w;
    Find<QLabel>(w, "Label1")->setText(QStringLiteral("x"));
    Find<QLabel>(w, "Label2")->setText(QStringLiteral("y"));
    TypeIntoCell(w, 0, QStringLiteral("512"));
    QCOMPARE(Grey(w, 0), 0); // typing alone transforms nothing
    QTest::keyClick(Cell(w, 0), Qt::Key_Return);
    for (int k = 0; k < 64; ++k) {
        QCOMPARE(Grey(w, k), 128);
    }
    QCOMPARE(Find<QLabel>(w, "Label1")->text(), QStringLiteral("Freq. Amplitudes"));
    QCOMPARE(Find<QLabel>(w, "Label2")->text(), QStringLiteral("Pixel Pattern"));
    QCOMPARE(Cell(w, 0)->text(), QStringLiteral("512"));
}

void TestMainWindow::buildModePaintsEveryIntermediatePicture_data() {
    QTest::addColumn<int>("option");
    QTest::addColumn<int>("minPaints");
    QTest::addColumn<int>("maxPaints");
    QTest::newRow("Fast Mode") << 0 << 1 << 1;
    QTest::newRow("Build Mode") << 1 << 65 << 65;
}

void TestMainWindow::buildModePaintsEveryIntermediatePicture() {
    QFETCH(int, option);
    QFETCH(int, minPaints);
    QFETCH(int, maxPaints);
    DCT w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    Option1(w, option)->click();
    QCOMPARE(w.Document().Engine().BuildMode, option == 1);
    TypeIntoCell(w, 0, QStringLiteral("512"));
    TypeIntoCell(w, 9, QStringLiteral("300"));
    quadrel::test::PaintCounter counter(Shape1(w));
    // The squares change in every step, so each step must reach the screen.
    QTest::keyClick(Cell(w, 9), Qt::Key_Return);
    QVERIFY2(counter.Count() >= minPaints && counter.Count() <= maxPaints,
             qPrintable(QString::number(counter.Count())));
}

void TestMainWindow::cellsWithoutANumber_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << "";
    QTest::newRow("lone minus") << "-";
    QTest::newRow("1-2") << "1-2";
    QTest::newRow("--3") << "--3";
}

void TestMainWindow::cellsWithoutANumber() {
    QFETCH(QString, text);
    DCT w;
    TypeIntoCell(w, 0, QStringLiteral("512"));
    TypeIntoCell(w, 5, text);
    QCOMPARE(Cell(w, 5)->text(), text);
    QCOMPARE(w.Document().Engine().FreqArray[5][0], 0.0); // counts as 0, like an unwritten cell
    Click(Command1(w, 2));
    QCOMPARE(Cell(w, 5)->text(), QStringLiteral("0"));
    QCOMPARE(Grey(w, 27), 128);
    TypeIntoCell(w, 5, text);
    Click(Command1(w, 6));
    QVERIFY(AllCellsAreWholeNumbers(w));
    Click(Command1(w, 3));
    QVERIFY(AllCellsAreWholeNumbers(w));
}

void TestMainWindow::hugeValuesStayPlainDigits_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("30 digits") << "123456789012345678901234567890";
    QTest::newRow("negative 30 digits") << "-999999999999999999999999999999";
    QTest::newRow("500 digits") << QString(500, QLatin1Char('7'));
}

void TestMainWindow::hugeValuesStayPlainDigits() {
    QFETCH(QString, text);
    DCT w;
    TypeIntoCell(w, 0, text);
    TypeIntoCell(w, 9, text);
    QTest::keyClick(Cell(w, 0), Qt::Key_Return);
    QVERIFY(AllCellsAreWholeNumbers(w));
    Click(Command1(w, 6)); // quantise
    QVERIFY(AllCellsAreWholeNumbers(w));
    Click(Command1(w, 3)); // DCT of the huge picture
    QVERIFY(AllCellsAreWholeNumbers(w));
    Click(Command1(w, 2));
    QVERIFY(AllCellsAreWholeNumbers(w));
    for (const auto& column : w.Document().Engine().SpaceArray) {
        for (double s : column) {
            QVERIFY(std::isfinite(s));
        }
    }
}

void TestMainWindow::quantiseButton() {
    DCT w;
    TypeIntoCell(w, 0, QStringLiteral("1020"));
    TypeIntoCell(w, 1, QStringLiteral("47"));
    TypeIntoCell(w, 8, QStringLiteral("-15"));
    Command1(w, 6)->click();
    QCOMPARE(Cell(w, 0)->text(), QStringLiteral("1024"));
    QCOMPARE(Cell(w, 1)->text(), QStringLiteral("32"));
    QCOMPARE(Cell(w, 8)->text(), QStringLiteral("0"));
    // The reconstruction is shown at once: F(0,0)=1024 and F(1,0)=32 alone.
    quadrel::DctEngine reference = Reconstruction({{0, 0, 1024}, {1, 0, 32}});
    for (int k = 0; k < 64; ++k) {
        QCOMPARE(Grey(w, k), quadrel::GreyLevel(reference.SpaceArray[k % 8][k / 8]));
    }
}

void TestMainWindow::scaleButtons_data() {
    QTest::addColumn<bool>("plus");
    QTest::addColumn<QStringList>("captions");
    QTest::newRow("+") << true << QStringList{"Quant 32",  "Quant 64",  "Quant 128",
                                              "Quant 256", "Quant 512", "Quant 512"};
    QTest::newRow("-") << false
                       << QStringList{"Quant 8", "Quant 4", "Quant 2", "Quant 1", "Quant 1"};
}

void TestMainWindow::scaleButtons() {
    QFETCH(bool, plus);
    QFETCH(QStringList, captions);
    DCT w;
    TypeIntoCell(w, 1, QStringLiteral("100"));
    for (const QString& caption : captions) {
        (plus ? Find<QPushButton>(w, "Command2") : Find<QPushButton>(w, "Command3"))->click();
        QCOMPARE(Command1(w, 6)->text(), caption);
    }
    QCOMPARE(Cell(w, 1)->text(), QStringLiteral("100")); // the scale buttons do not quantise
}

void TestMainWindow::cycleShowsAllPatternsInOrder() {
    DCT w;
    QStringList captions;
    QList<QPair<int, int>> coefficients;
    YieldHook hook([&](int) {
        captions << Find<QLabel>(w, "Label2")->text();
        // A row that varies tells a horizontal frequency, a column a vertical one.
        const auto& s = w.Document().Engine().SpaceArray;
        const int u = (s[0][0] != s[1][0] || s[0][0] != s[7][0]) ? 1 : 0;
        const int v = (s[0][0] != s[0][1] || s[0][0] != s[0][7]) ? 1 : 0;
        coefficients << qMakePair(u, v);
    });
    Command1(w, 0)->click();
    QCOMPARE(hook.yields, 64);
    QCOMPARE(captions.front(), QStringLiteral("DCT Pattern:  0  0"));
    QCOMPARE(captions[3], QStringLiteral("DCT Pattern:  0  3"));
    QCOMPARE(captions[8 * 2 + 5], QStringLiteral("DCT Pattern:  2  5"));
    QCOMPARE(captions.back(), QStringLiteral("DCT Pattern:  7  7"));
    // Step (v, u) = (0, 3) varies from left to right only.
    QCOMPARE(coefficients[3], qMakePair(1, 0));
    QCOMPARE(coefficients[8], qMakePair(0, 1));
    QCOMPARE(coefficients[0], qMakePair(0, 0));
    QCOMPARE(Find<QLabel>(w, "Label1")->text(), QStringLiteral("Pixel Amplitudes"));

    // The last pattern stays on screen: F(0,0) = F(7,7) = 512.
    quadrel::DctEngine reference = Reconstruction({{0, 0, 512}, {7, 7, 512}});
    for (int k = 0; k < 64; ++k) {
        const double s = reference.SpaceArray[k % 8][k / 8];
        QCOMPARE(Grey(w, k), quadrel::GreyLevel(s));
        QCOMPARE(Cell(w, k)->text(), QString::fromStdString(quadrel::FlooredText(s)));
    }
    // "DCT" afterwards analyses the last pattern.
    Click(Command1(w, 3));
    reference.PerformDCT();
    QCOMPARE(Find<QLabel>(w, "Label1")->text(), QStringLiteral("Freq. Amplitudes"));
    QCOMPARE(Cell(w, 0)->text(),
             QString::fromStdString(quadrel::TruncatedText(reference.FreqArray[0][0])));
    QCOMPARE(Cell(w, 63)->text(),
             QString::fromStdString(quadrel::TruncatedText(reference.FreqArray[7][7])));
    QCOMPARE(Cell(w, 1)->text(), QStringLiteral("0"));
}

void TestMainWindow::stopDuringAndBeforeCycle_data() {
    QTest::addColumn<int>("stopAtYield"); // 0: STOP pressed before the cycle starts
    QTest::addColumn<QString>("lastCaption");
    QTest::addColumn<int>("steps");
    QTest::newRow("before the cycle") << 0 << "DCT Pattern:  0  0" << 1;
    QTest::newRow("during pattern (2, 4)") << 21 << "DCT Pattern:  2  4" << 21;
    QTest::newRow("during the last pattern") << 64 << "DCT Pattern:  7  7" << 64;
}

void TestMainWindow::stopDuringAndBeforeCycle() {
    QFETCH(int, stopAtYield);
    QFETCH(QString, lastCaption);
    QFETCH(int, steps);
    DCT w;
    if (stopAtYield == 0) {
        Command1(w, 4)->click();
        QCOMPARE(Find<QLabel>(w, "Label2")->text(),
                 QStringLiteral("Pixel Pattern")); // nothing visible
    }
    YieldHook hook([&](int n) {
        if (n == stopAtYield) {
            Command1(w, 4)->click();
        }
    });
    Command1(w, 0)->click();
    QCOMPARE(hook.yields, steps);
    QCOMPARE(Find<QLabel>(w, "Label2")->text(), lastCaption);
    QVERIFY(!w.Document().Engine().StopFlag);
}

void TestMainWindow::stopInNestedCycleEndsOnlyTheNestedOne() {
    DCT w;
    QStringList captions;
    YieldHook hook([&](int n) {
        captions << Find<QLabel>(w, "Label2")->text();
        if (n == 3) {
            // Clicked from a separate event, so this hook keeps firing in the nested yields.
            QTimer::singleShot(0, &w, [&w] { Command1(w, 0)->click(); });
        } else if (n == 6) {
            Command1(w, 4)->click(); // ends the nested cycle after its third pattern
        }
    });
    Command1(w, 0)->click();
    // The nested cycle runs inside the outer yield of pattern (0, 3), which
    // the hook therefore sees only as the nested patterns.
    QCOMPARE(captions.mid(0, 7),
             (QStringList{"DCT Pattern:  0  0", "DCT Pattern:  0  1", "DCT Pattern:  0  2",
                          "DCT Pattern:  0  0", "DCT Pattern:  0  1", "DCT Pattern:  0  2",
                          "DCT Pattern:  0  4"}));
    QCOMPARE(hook.yields, 64 - 1 + 3);
    QCOMPARE(captions.back(), QStringLiteral("DCT Pattern:  7  7"));
    QVERIFY(!w.Document().Engine().StopFlag);
}

void TestMainWindow::quitDuringCycleEndsAtOnce() {
    DCT w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    YieldHook hook([&](int n) {
        if (n == 10) {
            Command1(w, 5)->click();
        }
    });
    Command1(w, 0)->click();
    QCOMPARE(hook.yields, 10); // no further step was computed
    QCOMPARE(Find<QLabel>(w, "Label2")->text(), QStringLiteral("DCT Pattern:  1  1"));
    QVERIFY(!w.isVisible());
}

void TestMainWindow::blockChangedOncePerCompletedChange_data() {
    QTest::addColumn<Action>("action");
    QTest::addColumn<int>("announced");
    const auto click = [](int index) {
        return Action([index](ScriptedWindow& s) { Click(Command1(s.window, index)); });
    };
    QTest::newRow("DCT") << click(3) << 1;
    QTest::newRow("IDCT") << click(2) << 1;
    QTest::newRow("Quantise") << click(6) << 1;
    QTest::newRow("pattern cycle: every step") << click(0) << 64;
    QTest::newRow("STOP alone") << click(4) << 0;
    QTest::newRow("Build Mode IDCT") << Action([](ScriptedWindow& s) {
        Option1(s.window, 1)->click();
        Click(Command1(s.window, 2));
    }) << 1;
    QTest::newRow("+ and -") << Action([](ScriptedWindow& s) {
        Find<QPushButton>(s.window, "Command2")->click();
        Find<QPushButton>(s.window, "Command3")->click();
    }) << 2;
    // "0" becomes "01", "012", then "012a", which the rule cleans back to "012".
    QTest::newRow("typing 12a") << Action([](ScriptedWindow& s) {
        QTest::keyClicks(Cell(s.window, 5), QStringLiteral("12a"));
    }) << 3;
    QTest::newRow("value setters alone") << Action([](ScriptedWindow& s) {
        s.window.Document().SetSpace(1, 1, 50);
        s.window.Document().SetFreq(2, 2, 50);
        s.window.Document().ClearFreq();
    }) << 0;
    QTest::newRow("frequency dialog key") << Action([](ScriptedWindow& s) {
        Click(Command1(s.window, 1));
        QTest::keyClick(Text1(*OpenWindow<quadrel::X_Y_Entry>(), 0), '3');
    }) << 1;
    QTest::newRow("Load Block") << Action([](ScriptedWindow& s) {
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("b.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("1,2,3") == 5);
        file.close();
        s.desktop.answers = {file.fileName()};
        Click(Command1(s.window, 7));
    }) << 1;
    QTest::newRow("cancelled Load Block") << click(7) << 0;
}

void TestMainWindow::blockChangedOncePerCompletedChange() {
    QFETCH(Action, action);
    QFETCH(int, announced);
    ScriptedWindow s;
    quadrel::BlockDocument& document = s.window.Document();
    int count = 0;
    quadrel::Block freqSeen{};
    QString captionSeen;
    QObject::connect(&document, &quadrel::BlockDocument::BlockChanged, [&] {
        ++count;
        freqSeen = document.Freq();
        captionSeen = document.SquaresCaption();
    });
    action(s);
    QCOMPARE(count, announced);
    if (announced > 0) { // the last announcement came when all was done
        QCOMPARE(freqSeen, document.Freq());
        QCOMPARE(captionSeen, document.SquaresCaption());
    }
}

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
