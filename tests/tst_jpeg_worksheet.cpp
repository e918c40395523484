// The JPEG worksheet driven beside the real main window: it follows the block
// through the seam, its controls change the chain as the library says, its
// reports are quadrel-cli's, and "Send" loads the reconstruction.
#include "bitmap_viewer/image_frame.h"
#include "bitmap_viewer/picture_box.h"
#include "block_file/block_file_io.h"
#include "jpeg/engine_layout.h"
#include "jpeg/jpeg_chain.h"
#include "jpeg_worksheet/exercise_pdf.h"
#include "jpeg_worksheet/exercise_sheet_dialog.h"
#include "jpeg_worksheet/jpeg_worksheet.h"
#include "jpeg_worksheet/live_text.h"
#include "jpeg_worksheet/number_grid.h"
#include "jpeg_worksheet/text_lines.h"
#include "main_window/application_setup.h"
#include "tests/support/testutils.h"
#include "views/view_zoom.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QStandardPaths>
#include <QSvgRenderer>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <memory>

using namespace quadrel;
using namespace quadrel::worksheet;
using quadrel::test::ScriptedWindow;

using namespace quadrel::test;

namespace {

/// A block with detail in every frequency, so that no index is trivially zero.
Block Textured(int seed) {
    Block b;
    for (int k = 0; k < 64; ++k) {
        b.Cell(k) = (k * 37 + seed * 11 + (k / 8) * (k % 8) * 5) % 256;
    }
    return b;
}

jpeg::Samples Floored(const Block& b) {
    jpeg::Samples s{};
    for (int k = 0; k < 64; ++k) {
        s[static_cast<std::size_t>(k)] =
            static_cast<std::uint8_t>(std::clamp(std::floor(b.Cell(k)), 0.0, 255.0));
    }
    return s;
}

template <typename Numbers> NumberGrid::Values AsValues(const Numbers& numbers) {
    NumberGrid::Values v{};
    for (std::size_t i = 0; i < v.size(); ++i) {
        v[i] = static_cast<double>(numbers[i]);
    }
    return v;
}

/// The values the grid of that name shows.
const NumberGrid::Values& Shown(const QWidget& sheet, const char* grid) {
    return Find<NumberGrid>(sheet, grid)->ShownValues();
}

/// The zig-zag sequence as the worksheet writes it, the zeros after EOB put back.
QList<int> ShownZigZag(const QWidget& sheet) {
    QStringList items = Find<LiveText>(sheet, "zigZagLabel")->Text().split(QStringLiteral(", "));
    const bool ended = items.last() == QLatin1String("EOB");
    if (ended) {
        items.removeLast();
    }
    QList<int> indices;
    for (const QString& item : items) {
        indices << item.toInt();
    }
    while (ended && indices.size() < 64) {
        indices << 0;
    }
    return indices;
}

/// Every grid against the library's chain for `samples` and `settings`.
void CheckGrids(const QWidget& sheet, const jpeg::Samples& samples,
                const jpeg::ChainSettings& settings) {
    const jpeg::BlockAnalysis want = jpeg::AnalyseBlock(samples, settings);
    QCOMPARE(Shown(sheet, "pixelsGrid"), AsValues(samples));
    QCOMPARE(Shown(sheet, "shiftedGrid"), want.Shifted);
    QCOMPARE(Shown(sheet, "coefficientsGrid"), want.Coefficients);
    QCOMPARE(Shown(sheet, "tableGrid"), AsValues(settings.Table));
    QCOMPARE(Shown(sheet, "quantisedGrid"), AsValues(want.Quantised));
    QCOMPARE(Shown(sheet, "reconstructionGrid"), AsValues(want.Reconstruction));
    QCOMPARE(Shown(sheet, "reconstructionSquaresGrid"), AsValues(want.Reconstruction));
    QCOMPARE(Shown(sheet, "originalSquaresGrid"), AsValues(samples));
    QCOMPARE(Shown(sheet, "errorGrid"), AsValues(want.Error.Error));
    // One decimal shown; the library's zig-zag order; a symbol line per
    // symbol; the library's bit total.
    const int k = 9;
    QCOMPARE(Find<NumberGrid>(sheet, "coefficientsGrid")->CellText(k).toDouble(),
             std::round(want.Coefficients[k] * 10.0) / 10.0);
    QCOMPARE(ShownZigZag(sheet), QList<int>(want.ZigZag.begin(), want.ZigZag.end()));
    QCOMPARE(Find<TextLines>(sheet, "symbolList")->Lines().size(), want.Symbols.Count + 1);
    const QString totals = Find<LiveText>(sheet, "totalsLabel")->Text();
    QVERIFY2(totals.contains(QStringLiteral(" = %1 bits").arg(want.Bits.Total)),
             qPrintable(totals));
    QCOMPARE(Find<LiveText>(sheet, "errorLabel")->Text().contains(QStringLiteral("infinite")),
             want.Error.Lossless);
}

/// Replaces the spin box's number by typing, as a user does.
void TypeInto(QSpinBox* box, int value) {
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(box, QString::number(value));
}

/// Moves the slider to `value` with the keyboard: Home, then single steps.
void SlideTo(QSlider* slider, int value) {
    QTest::keyClick(slider, Qt::Key_Home);
    for (int v = slider->minimum(); v < value; ++v) {
        QTest::keyClick(slider, Qt::Key_Right);
    }
}

QSpinBox* QualityBox(const QWidget& sheet) {
    return Find<QSpinBox>(sheet, "qualityBox");
}

jpeg::ChainSettings Settings(int quality, int previousDc = 0, int keep = 64,
                             bool chrominance = false) {
    if (chrominance) {
        return {jpeg::ChrominanceTable(quality), previousDc, keep, jpeg::TieRule::AwayFromZero,
                jpeg::HuffmanClass::Chrominance};
    }
    return {jpeg::LuminanceTable(quality), previousDc, keep, jpeg::TieRule::AwayFromZero};
}

/// Chooses Y or Cb/Cr in the component box with the keyboard.
void ChooseComponent(const QWidget& sheet, bool chrominance) {
    auto* box = Find<QComboBox>(sheet, "componentBox");
    QTest::keyClick(box, chrominance ? Qt::Key_End : Qt::Key_Home);
    QCOMPARE(box->currentText(), chrominance ? QStringLiteral("Chrominance (Cb, Cr)")
                                             : QStringLiteral("Luminance (Y)"));
}

} // namespace

class TestJpegWorksheet : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void followsTheBlock_data();
    void followsTheBlock();
    void controlsChangeTheChain_data();
    void controlsChangeTheChain();
    void tableFromFile_data();
    void tableFromFile();
    void copyGivesTheCliReport_data();
    void copyGivesTheCliReport();
    void sendLoadsTheReconstruction();
    void opensByKeyboardAndRemembers();
    void damagedGeometryGivesThePage_data();
    void damagedGeometryGivesThePage();
    void storedComponentIsOneOfTwo_data();
    void storedComponentIsOneOfTwo();
    void exerciseModeByKeyboard();
    void checkMarksEachAnswer_data();
    void checkMarksEachAnswer();
    void newExerciseIsTheCliBlock_data();
    void newExerciseIsTheCliBlock();
    void symbolListShowsEveryColumn_data();
    void symbolListShowsEveryColumn();
    void pageFitsAProjectorAt150();
    void exportWritesWhatIsShown_data();
    void exportWritesWhatIsShown();
    void exerciseSheetPdf_data();
    void exerciseSheetPdf();
    void exerciseSheetFromTheExportMenu();
};

void TestJpegWorksheet::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
    ConfigureApplication(*qApp);
}

void TestJpegWorksheet::init() {
    QSettings(QStringLiteral("Quadrel"), QStringLiteral("Quadrel")).clear();
}

void TestJpegWorksheet::followsTheBlock_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("load") << "load";
    QTest::newRow("typed coefficient and Enter") << "typed";
    QTest::newRow("DCT then IDCT") << "idct";
    QTest::newRow("pick in the bitmap viewer") << "pick";
    QTest::newRow("constant block: lossless") << "constant";
}

void TestJpegWorksheet::followsTheBlock() {
    QFETCH(QString, how);
    ScriptedWindow w;
    BlockDocument& doc = w.window.Document();
    JpegWorksheet sheet(doc, w.desktop);
    if (how == QLatin1String("load")) {
        doc.LoadSpaceBlock(Textured(1));
    } else if (how == QLatin1String("typed")) {
        // A typed coefficient gives a space block of fractions and values
        // outside 0..255: taken as the squares show them.
        Cell(w.window, 1)->setText(QStringLiteral("900"));
        QTest::keyClick(Cell(w.window, 1), Qt::Key_Return);
        const Block& space = doc.Space();
        QVERIFY(std::any_of(space.begin(), space.end(), [](const Block::Column& c) {
            return std::any_of(c.begin(), c.end(), [](double v) { return v != std::floor(v); });
        }));
    } else if (how == QLatin1String("idct")) {
        doc.LoadSpaceBlock(Textured(2));
        Click(Command1(w.window, 2));
    } else if (how == QLatin1String("pick")) {
        QImage picture(64, 64, QImage::Format_RGB32);
        for (int k = 0; k < 64 * 64; ++k) {
            picture.setPixel(k % 64, k / 64, qRgb((k * 7) % 256, (k * 3) % 256, k % 256));
        }
        ImageFrame frame(doc, w.desktop);
        frame.Picture1()->SetPicture(picture);
        MoveOver(frame.Picture1(), QPoint(13, 21));
    } else {
        Block flat;
        for (auto& column : flat) {
            column.fill(100);
        }
        doc.LoadSpaceBlock(flat);
    }
    QVERIFY(doc.Space() != Block{});
    CheckGrids(sheet, Floored(doc.Space()), Settings(50));
}

void TestJpegWorksheet::controlsChangeTheChain_data() {
    QTest::addColumn<int>("quality");
    QTest::addColumn<bool>("bySlider");
    QTest::addColumn<int>("previousDc");
    QTest::addColumn<int>("keep");
    QTest::addColumn<bool>("chrominance");
    QTest::newRow("q1 by the box") << 1 << false << 0 << 64 << false;
    QTest::newRow("q10 by the slider, previous DC") << 10 << true << -30 << 64 << false;
    QTest::newRow("q75 keep 6") << 75 << false << 0 << 6 << false;
    QTest::newRow("q100 keep 1") << 100 << true << 12 << 1 << false;
    QTest::newRow("q50 keep 0") << 50 << false << 0 << 0 << false;
    QTest::newRow("chrominance q30, previous DC") << 30 << false << 9 << 64 << true;
    QTest::newRow("chrominance q90 by the slider, keep 12") << 90 << true << 0 << 12 << true;
}

void TestJpegWorksheet::controlsChangeTheChain() {
    QFETCH(int, quality);
    QFETCH(bool, bySlider);
    QFETCH(int, previousDc);
    QFETCH(int, keep);
    QFETCH(bool, chrominance);
    ScriptedWindow w;
    w.window.Document().LoadSpaceBlock(Textured(3));
    JpegWorksheet sheet(w.window.Document(), w.desktop);
    ChooseComponent(sheet, chrominance);
    auto* slider = Find<QSlider>(sheet, "qualitySlider");
    if (bySlider) {
        SlideTo(slider, quality);
    } else {
        TypeInto(QualityBox(sheet), quality);
    }
    TypeInto(Find<QSpinBox>(sheet, "previousDcBox"), previousDc);
    SlideTo(Find<QSlider>(sheet, "keepSlider"), keep);
    QCOMPARE(QualityBox(sheet)->value(), quality);
    QCOMPARE(slider->value(), quality);
    CheckGrids(sheet, Floored(w.window.Document().Space()),
               Settings(quality, previousDc, keep, chrominance));
    // The zig-zag sequence shown is zero from position k on.
    const QList<int> zigzag = ShownZigZag(sheet);
    for (int p = keep; p < 64; ++p) {
        QCOMPARE(zigzag.at(p), 0);
    }
}

void TestJpegWorksheet::tableFromFile_data() {
    QTest::addColumn<QString>("content");
    QTest::addColumn<bool>("good");
    QString good;
    for (int k = 0; k < 64; ++k) {
        good += QString::number(1 + (k * 5) % 255) + (k % 8 == 7 ? "\n" : ",");
    }
    QTest::newRow("64 steps") << good << true;
    QTest::newRow("a zero step") << QString(good).replace(0, 1, "0") << false;
    QTest::newRow("a fraction") << QString(good).replace(0, 1, "1.5") << false;
    QTest::newRow("a step over 255") << QString(good).replace(0, 1, "256") << false;
    QTest::newRow("too few") << QStringLiteral("1,2,3\n") << false;
    QTest::newRow("no such file") << QString() << false;
}

void TestJpegWorksheet::tableFromFile() {
    QFETCH(QString, content);
    QFETCH(bool, good);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("table.txt"));
    if (!content.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content.toUtf8());
    }
    ScriptedWindow w;
    w.window.Document().LoadSpaceBlock(Textured(4));
    JpegWorksheet sheet(w.window.Document(), w.desktop);
    TypeInto(QualityBox(sheet), 80);
    const NumberGrid::Values before = Shown(sheet, "tableGrid");
    w.desktop.answers << path;
    Click(Find<QPushButton>(sheet, "loadTableButton"));
    QCOMPARE(w.desktop.messages.size(), good ? 0 : 1);
    QCOMPARE(Find<QRadioButton>(sheet, "fileTableOption")->isChecked(), good);
    if (!good) {
        QCOMPARE(Shown(sheet, "tableGrid"), before);
        QVERIFY(w.desktop.messages.first().startsWith(QStringLiteral("Load Table: ")));
        return;
    }
    const Result<jpeg::QuantTable> table = ReadTableFile(path);
    QVERIFY(table.Ok());
    CheckGrids(sheet, Floored(w.window.Document().Space()), {*table, 0, 64});
    // Back to the standard table at the quality still set, by the keyboard:
    // the sheet is never shown, so the option has no laid-out text to click.
    QTest::keyClick(Find<QRadioButton>(sheet, "standardTableOption"), Qt::Key_Space);
    QCOMPARE(Shown(sheet, "tableGrid"), AsValues(jpeg::LuminanceTable(80)));
}

void TestJpegWorksheet::copyGivesTheCliReport_data() {
    QTest::addColumn<QString>("entry"); ///< in the "Copy as" menu
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("fileTable");
    QTest::addColumn<bool>("chrominance");
    QTest::newRow("text") << "&Text"
                          << "text" << false << false;
    QTest::newRow("csv") << "C&SV"
                         << "csv" << false << false;
    QTest::newRow("markdown, table file") << "&Markdown"
                                          << "markdown" << true << false;
    QTest::newRow("latex") << "&LaTeX"
                           << "latex" << false << false;
    QTest::newRow("text, chrominance") << "&Text"
                                       << "text" << false << true;
    QTest::newRow("csv, table file, chrominance") << "C&SV"
                                                  << "csv" << true << true;
}

void TestJpegWorksheet::copyGivesTheCliReport() {
    QFETCH(QString, entry);
    QFETCH(QString, name);
    QFETCH(bool, fileTable);
    QFETCH(bool, chrominance);
    QTemporaryDir dir;
    ScriptedWindow w;
    // Fractions in the space block: both take the grey levels the squares show.
    Block block = Textured(5);
    block.Cell(3) += 0.75;
    w.window.Document().LoadSpaceBlock(block);
    JpegWorksheet sheet(w.window.Document(), w.desktop);
    QStringList arguments{
        QStringLiteral("jpeg"),      QStringLiteral("--format"), name,
        QStringLiteral("--prev-dc"), QStringLiteral("-7"),       QStringLiteral("--keep"),
        QStringLiteral("20")};
    TypeInto(Find<QSpinBox>(sheet, "previousDcBox"), -7);
    SlideTo(Find<QSlider>(sheet, "keepSlider"), 20);
    if (chrominance) {
        ChooseComponent(sheet, true);
        arguments << QStringLiteral("--chrominance");
    }
    if (fileTable) {
        const QString table = dir.filePath(QStringLiteral("table.csv"));
        Block steps;
        for (int k = 0; k < 64; ++k) {
            steps.Cell(k) = 3 + k;
        }
        QVERIFY(WriteBlockFile(table, steps, steps).Ok());
        w.desktop.answers << table;
        Click(Find<QPushButton>(sheet, "loadTableButton"));
        arguments << QStringLiteral("--table") << table;
    } else {
        TypeInto(QualityBox(sheet), 35);
        arguments << QStringLiteral("--quality") << QStringLiteral("35");
    }
    // The block as the CLI reads it: the 64 grey levels in a block file.
    Block grey;
    const jpeg::Samples samples = Floored(block);
    for (int k = 0; k < 64; ++k) {
        grey.Cell(k) = samples[static_cast<std::size_t>(k)];
    }
    const QString blockFile = dir.filePath(QStringLiteral("block.csv"));
    QVERIFY(WriteBlockFile(blockFile, grey, grey).Ok());
    arguments << blockFile;

    QProcess cliRun;
    cliRun.start(QStringLiteral(QUADREL_CLI), arguments);
    QVERIFY(cliRun.waitForFinished(30000));
    QCOMPARE(cliRun.exitCode(), 0);
    const QString expected = QString::fromUtf8(cliRun.readAllStandardOutput());
    QVERIFY(expected.size() > 500);

    const QList<QAction*> entries = Find<QPushButton>(sheet, "copyButton")->menu()->actions();
    const auto chosen = std::find_if(entries.begin(), entries.end(),
                                     [&entry](const QAction* a) { return a->text() == entry; });
    QVERIFY(chosen != entries.end());
    (*chosen)->trigger();
    QCOMPARE(QApplication::clipboard()->text(), expected);
}

void TestJpegWorksheet::sendLoadsTheReconstruction() {
    ScriptedWindow w;
    BlockDocument& doc = w.window.Document();
    doc.LoadSpaceBlock(Textured(6));
    JpegWorksheet sheet(doc, w.desktop);
    TypeInto(QualityBox(sheet), 20);
    SlideTo(Find<QSlider>(sheet, "keepSlider"), 5);
    const NumberGrid::Values shown = Shown(sheet, "reconstructionGrid");
    QVERIFY(shown != Shown(sheet, "pixelsGrid"));
    jpeg::Samples reconstruction{};
    std::transform(shown.begin(), shown.end(), reconstruction.begin(),
                   [](double v) { return static_cast<std::uint8_t>(v); });
    QSignalSpy changed(&doc, &BlockDocument::BlockChanged);
    Click(Find<QPushButton>(sheet, "sendButton"));
    QCOMPARE(changed.count(), 1);
    for (int k = 0; k < 64; ++k) {
        QCOMPARE(doc.Space().Cell(k), double(reconstruction[static_cast<std::size_t>(k)]));
    }
    // Transformed and shown as Load Block shows a block read from a file, from
    // the same cells before (an unchanged cell text keeps its stored number).
    ScriptedWindow loaded;
    loaded.window.Document().LoadSpaceBlock(Textured(6));
    loaded.window.Document().SetSpaceBlock(doc.Space());
    loaded.window.Document().DCTandDraw();
    QCOMPARE(doc.Freq(), loaded.window.Document().Freq());
    for (int k = 0; k < 64; ++k) {
        QCOMPARE(doc.CellText(k), loaded.window.Document().CellText(k));
        QCOMPARE(doc.SquareColour(k), loaded.window.Document().SquareColour(k));
    }
    QCOMPARE(doc.CellsCaption(), kFreqAmplitudes);
    // The worksheet now shows the chain of the block it sent.
    CheckGrids(sheet, reconstruction, Settings(20, 0, 5));
}

void TestJpegWorksheet::opensByKeyboardAndRemembers() {
    {
        ScriptedWindow w;
        w.window.show();
        QVERIFY(QTest::qWaitForWindowActive(&w.window));
        QTest::keyClick(&w.window, Qt::Key_J, Qt::ControlModifier);
        QPointer<JpegWorksheet> sheet = OpenWindow<quadrel::worksheet::JpegWorksheet>();
        QVERIFY(sheet);
        QVERIFY(sheet->isVisible());
        QCOMPARE(sheet->windowTitle(), kWorksheetTitle);
        QVERIFY(!sheet->isModal());
        TypeInto(QualityBox(*sheet), 64);
        ChooseComponent(*sheet, true);
        sheet->resize(700, 500);
        QTest::keyClick(&w.window, Qt::Key_J, Qt::ControlModifier);
        QCOMPARE(OpenWindow<quadrel::worksheet::JpegWorksheet>(),
                 sheet.data()); // one worksheet, brought forward
        QVERIFY(QTest::qWaitForWindowActive(sheet));
        QTest::keyClick(QualityBox(*sheet), Qt::Key_Escape);
        QTRY_VERIFY(!sheet); // closed and deleted
    }
    ScriptedWindow w;
    w.window.ToolWindowActions().at(0)->trigger();
    JpegWorksheet* sheet = OpenWindow<quadrel::worksheet::JpegWorksheet>();
    QCOMPARE(QualityBox(*sheet)->value(), 64);
    QCOMPARE(Find<QComboBox>(*sheet, "componentBox")->currentIndex(), 1);
    QCOMPARE(Shown(*sheet, "tableGrid"), AsValues(jpeg::ChrominanceTable(64)));
    QCOMPARE(sheet->size(), QSize(700, 500));
    // Every grid has a name for screen readers.
    const QList<NumberGrid*> grids = sheet->findChildren<NumberGrid*>();
    QCOMPARE(grids.size(), kGridCount);
    for (const NumberGrid* grid : grids) {
        QVERIFY2(!grid->accessibleName().isEmpty(), qPrintable(grid->objectName()));
    }
}

void TestJpegWorksheet::damagedGeometryGivesThePage_data() {
    QTest::addColumn<QByteArray>("geometry");
    QWidget tiny;
    tiny.resize(386, 117);
    QTest::newRow("386x117") << tiny.saveGeometry();
    QTest::newRow("random bytes") << QByteArray("\x01\xd9\xd0\xcb\x00\x03garbage", 14);
}

void TestJpegWorksheet::damagedGeometryGivesThePage() {
    QFETCH(QByteArray, geometry);
    ScriptedWindow w;
    const QSize page = JpegWorksheet(w.window.Document(), w.desktop).size();
    QSettings(QStringLiteral("Quadrel"), QStringLiteral("Quadrel"))
        .setValue(QStringLiteral("JpegWorksheet/geometry"), geometry);
    QCOMPARE(JpegWorksheet(w.window.Document(), w.desktop).size(), page);
}

void TestJpegWorksheet::storedComponentIsOneOfTwo_data() {
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<int>("index");
    QTest::newRow("chrominance") << QVariant(QStringLiteral("chrominance")) << 1;
    QTest::newRow("another case") << QVariant(QStringLiteral("Chrominance")) << 0;
    QTest::newRow("an index") << QVariant(1) << 0;
}

void TestJpegWorksheet::storedComponentIsOneOfTwo() {
    QFETCH(QVariant, stored);
    QFETCH(int, index);
    QSettings(QStringLiteral("Quadrel"), QStringLiteral("Quadrel"))
        .setValue(QStringLiteral("JpegWorksheet/component"), stored);
    ScriptedWindow w;
    const JpegWorksheet sheet(w.window.Document(), w.desktop);
    QCOMPARE(Find<QComboBox>(sheet, "componentBox")->currentIndex(), index);
}

namespace {

/// The answers a student who worked the chain right types, as the exercise asks for them.
struct Typed {
    QStringList Quantised;
    QString ZigZag, DcDifference, Symbols, BitTotal;
};

Typed RightAnswers(const jpeg::BlockAnalysis& a) {
    Typed t;
    for (int index : a.Quantised) {
        t.Quantised << QString::number(index);
    }
    int last = 63;
    while (last > 0 && a.ZigZag.at(static_cast<std::size_t>(last)) == 0) {
        --last;
    }
    QStringList zigzag;
    for (int i = 0; i <= last; ++i) {
        zigzag << QString::number(a.ZigZag.at(static_cast<std::size_t>(i)));
    }
    t.ZigZag = zigzag.join(QStringLiteral(", ")) + (last < 63 ? ", EOB" : "");
    t.DcDifference = QString::number(a.DcDifference);
    QStringList symbols;
    for (const jpeg::Symbol& symbol : a.Symbols) {
        const bool valued =
            symbol.Kind == jpeg::SymbolKind::Dc || symbol.Kind == jpeg::SymbolKind::Ac;
        symbols << QStringLiteral("%1/%2").arg(symbol.Run).arg(symbol.Size) +
                       (valued ? QStringLiteral(" %1").arg(symbol.Amplitude) : QString());
    }
    t.Symbols = symbols.join(QLatin1Char('\n'));
    t.BitTotal = QString::number(a.Bits.Total);
    return t;
}

void Enter(const QWidget& sheet, const Typed& t) {
    auto* grid = Find<QTableWidget>(sheet, "quantisedAnswerGrid");
    for (int k = 0; k < 64; ++k) {
        grid->item(k / 8, k % 8)->setText(t.Quantised.at(k));
    }
    Find<QLineEdit>(sheet, "zigZagAnswer")->setText(t.ZigZag);
    Find<QLineEdit>(sheet, "dcDifferenceAnswer")->setText(t.DcDifference);
    Find<QPlainTextEdit>(sheet, "symbolsAnswer")->setPlainText(t.Symbols);
    Find<QLineEdit>(sheet, "bitTotalAnswer")->setText(t.BitTotal);
}

QString MarkOf(const QWidget& sheet, const char* mark) {
    return Find<QLabel>(sheet, mark)->text();
}

} // namespace

void TestJpegWorksheet::exerciseModeByKeyboard() {
    ScriptedWindow w;
    w.window.Document().LoadSpaceBlock(Textured(3));
    JpegWorksheet sheet(w.window.Document(), w.desktop);
    sheet.show();
    QVERIFY(QTest::qWaitForWindowActive(&sheet));
    const std::array<const char*, 6> computed{"shiftedGrid", "coefficientsGrid", "quantisedGrid",
                                              "zigZagLabel", "symbolList",       "totalsLabel"};
    QTest::keyClick(&sheet, Qt::Key_E, Qt::ControlModifier);
    QCOMPARE(sheet.windowTitle(), kExerciseTitle);
    QVERIFY(Find<QWidget>(sheet, "exercisePanel")->isVisible());
    QVERIFY(Find<QWidget>(sheet, "pixelsGrid")->isVisible()); // the block is given
    for (const char* name : computed) {
        QVERIFY2(!Find<QWidget>(sheet, name)->isVisible(), name);
    }
    // Show Step, by its mnemonic (a click shown for a moment): the level shift, and nothing after
    // it.
    QTest::keyClick(&sheet, Qt::Key_W, Qt::AltModifier);
    QTRY_VERIFY(Find<QWidget>(sheet, "shiftedGrid")->isVisible());
    QVERIFY(!Find<QWidget>(sheet, "coefficientsGrid")->isVisible());
    // An answer typed and checked without the mouse.
    const jpeg::BlockAnalysis chain =
        jpeg::AnalyseBlock(Floored(w.window.Document().Space()), Settings(50));
    QTest::keyClick(&sheet, Qt::Key_O, Qt::AltModifier);
    QTest::keyClicks(QApplication::focusWidget(), QString::number(chain.Bits.Total));
    QTest::keyClick(&sheet, Qt::Key_R, Qt::AltModifier);
    QTest::keyClicks(QApplication::focusWidget(), QString::number(chain.DcDifference + 1));
    QTest::keyClick(&sheet, Qt::Key_I, Qt::AltModifier); // the grid, at its first cell
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    for (const QChar c : QString::number(chain.Quantised[1])) { // the first key opens the editor
        QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTest::keyClick(&sheet, Qt::Key_H, Qt::AltModifier);
    QTRY_VERIFY(!MarkOf(sheet, "scoreLabel").isEmpty());
    QVERIFY(MarkOf(sheet, "bitTotalMark").startsWith(QStringLiteral("Right")));
    QVERIFY(MarkOf(sheet, "dcDifferenceMark").startsWith(QStringLiteral("Wrong")));
    QCOMPARE(MarkOf(sheet, "scoreLabel"), QStringLiteral("Score: 1 of 5 answers right."));
    const QTableWidgetItem* typed = Find<QTableWidget>(sheet, "quantisedAnswerGrid")->item(0, 1);
    QCOMPARE(typed->text(), QString::number(chain.Quantised[1]));
    QCOMPARE(typed->toolTip(), QStringLiteral("Right"));
    QCOMPARE(MarkOf(sheet, "quantisedMark"), QStringLiteral("Wrong: 1 of 64 indices"));
    // Another block takes the marks away, not the answers.
    w.window.Document().LoadSpaceBlock(Textured(4));
    QVERIFY(MarkOf(sheet, "scoreLabel").isEmpty() && MarkOf(sheet, "bitTotalMark").isEmpty());
    QCOMPARE(typed->text(), QString::number(chain.Quantised[1]));
    // Leaving the mode shows everything again.
    QTest::keyClick(&sheet, Qt::Key_E, Qt::ControlModifier);
    QCOMPARE(sheet.windowTitle(), kWorksheetTitle);
    QVERIFY(!Find<QWidget>(sheet, "exercisePanel")->isVisible());
    for (const char* name : computed) {
        QVERIFY2(Find<QWidget>(sheet, name)->isVisible(), name);
    }
}

void TestJpegWorksheet::checkMarksEachAnswer_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed"); // "right", "wrong", or another right spelling
    QTest::addColumn<bool>("right");
    for (const char* field : {"quantised", "zigZag", "dcDifference", "symbols", "bitTotal"}) {
        QTest::addRow("%s right", field) << field << "right" << true;
        QTest::addRow("%s wrong", field) << field << "wrong" << false;
    }
    QTest::newRow("zig-zag with spaces and eob") << "zigZag"
                                                 << "spaced" << true;
    QTest::newRow("symbols with EOB and ZRL by name") << "symbols"
                                                      << "named" << true;
    QTest::newRow("symbols one short") << "symbols"
                                       << "short" << false;
}

void TestJpegWorksheet::checkMarksEachAnswer() {
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(bool, right);
    ScriptedWindow w;
    Block block = Textured(5); // ends in EOB
    if (typed == QLatin1String("named")) {
        // Only the DC and F(7, 7): three runs of 16 zeros (ZRL), no EOB.
        for (int k = 0; k < 64; ++k) {
            const int x = k % 8;
            const int y = k / 8;
            const double c =
                std::cos((2 * x + 1) * 7 * M_PI / 16) * std::cos((2 * y + 1) * 7 * M_PI / 16);
            block.Cell(k) = std::round(100 + 60 * c);
        }
    }
    w.window.Document().LoadSpaceBlock(block);
    JpegWorksheet sheet(w.window.Document(), w.desktop);
    Find<QAction>(sheet, "exerciseAction")->trigger();
    const jpeg::BlockAnalysis chain =
        jpeg::AnalyseBlock(Floored(w.window.Document().Space()), Settings(50));
    Typed t = RightAnswers(chain);
    if (typed == QLatin1String("wrong")) {
        if (field == QLatin1String("quantised")) {
            t.Quantised[9] = QString::number(chain.Quantised[9] + 1);
        } else if (field == QLatin1String("zigZag")) {
            t.ZigZag.chop(QStringLiteral(", EOB").size()); // the end of block left out
            QVERIFY(t.ZigZag.endsWith(QLatin1Char('1')));  // the last non-zero index stays
        } else if (field == QLatin1String("dcDifference")) {
            t.DcDifference = QString::number(-chain.DcDifference);
        } else if (field == QLatin1String("symbols")) {
            t.Symbols.replace(QStringLiteral("/"), QStringLiteral("/1")); // every size wrong
        } else {
            t.BitTotal = QString::number(chain.Bits.Total - 1);
        }
    } else if (typed == QLatin1String("spaced")) {
        QVERIFY(t.ZigZag.endsWith(QStringLiteral("EOB")));
        t.ZigZag.replace(QStringLiteral(", "), QStringLiteral("  ")).replace("EOB", "eob");
    } else if (typed == QLatin1String("named")) {
        QCOMPARE(t.Symbols.count(QStringLiteral("15/0")), 3);
        t.Symbols.replace(QStringLiteral("15/0"), QStringLiteral("ZRL"));
        t.Symbols.replace(QRegularExpression(QStringLiteral("0/0$")), QStringLiteral("EOB"));
    } else if (typed == QLatin1String("short")) {
        t.Symbols = t.Symbols.section(QLatin1Char('\n'), 0, -2); // EOB missing
    }
    Enter(sheet, t);
    Click(Find<QPushButton>(sheet, "checkButton"));
    const QString word = right ? QStringLiteral("Right") : QStringLiteral("Wrong");
    const QByteArray mark = (field + QStringLiteral("Mark")).toLatin1();
    QVERIFY2(MarkOf(sheet, mark.constData()).startsWith(word),
             qPrintable(MarkOf(sheet, mark.constData())));
    // Said in words where it stands, for the eye and for a screen reader.
    const QByteArray answer =
        (field == QLatin1String("quantised") ? QStringLiteral("quantisedAnswerGrid")
                                             : field + QStringLiteral("Answer"))
            .toLatin1();
    QCOMPARE(Find<QWidget>(sheet, answer.constData())->accessibleDescription(),
             MarkOf(sheet, mark.constData()));
    if (field == QLatin1String("quantised")) {
        const QTableWidgetItem* cell = Find<QTableWidget>(sheet, "quantisedAnswerGrid")->item(1, 1);
        QCOMPARE(cell->toolTip(), word);
        QCOMPARE(cell->data(Qt::AccessibleDescriptionRole).toString(), word);
    }
    QCOMPARE(MarkOf(sheet, "scoreLabel"),
             QStringLiteral("Score: %1 of 5 answers right.").arg(right ? 5 : 4));
}

void TestJpegWorksheet::newExerciseIsTheCliBlock_data() {
    QTest::addColumn<QString>("seed");
    QTest::addColumn<int>("quality");
    QTest::addColumn<QString>("difficulty"); // "" for any
    QTest::newRow("any") << "0" << 50 << "";
    QTest::newRow("medium") << "21" << 75 << "medium";
    QTest::newRow("hard, largest seed") << "9007199254740991" << 90 << "hard";
    QTest::newRow("easy") << "4" << 30 << "easy";
}

void TestJpegWorksheet::newExerciseIsTheCliBlock() {
    QFETCH(QString, seed);
    QFETCH(int, quality);
    QFETCH(QString, difficulty);
    QStringList arguments{"exercise", "--seed", seed, "--quality", QString::number(quality),
                          "-f",       "json"};
    if (!difficulty.isEmpty()) {
        arguments << QStringLiteral("--difficulty") << difficulty;
    }
    QProcess cli;
    cli.start(QStringLiteral(QUADREL_CLI), arguments);
    QVERIFY(cli.waitForFinished(30000));
    const QJsonArray rows = QJsonDocument::fromJson(cli.readAllStandardOutput())
                                .object()[QStringLiteral("exercises")][0][QStringLiteral("block")]
                                .toArray();
    QCOMPARE(rows.size(), 8);

    ScriptedWindow w;
    JpegWorksheet sheet(w.window.Document(), w.desktop);
    Find<QLineEdit>(sheet, "exerciseSeed")->setText(seed);
    Find<QSpinBox>(sheet, "exerciseQuality")->setValue(quality);
    const QStringList levels{"", "easy", "medium", "hard"};
    Find<QComboBox>(sheet, "exerciseDifficulty")->setCurrentIndex(levels.indexOf(difficulty));
    Click(Find<QPushButton>(sheet, "newExerciseButton"));
    for (int k = 0; k < 64; ++k) {
        QCOMPARE(Shown(sheet, "pixelsGrid")[static_cast<std::size_t>(k)],
                 rows[k / 8][k % 8].toDouble());
    }
    QCOMPARE(QualityBox(sheet)->value(), quality);
    QCOMPARE(sheet.windowTitle(), kExerciseTitle);
    QVERIFY(!Find<QWidget>(sheet, "quantisedGrid")->isVisible());
}

void TestJpegWorksheet::symbolListShowsEveryColumn_data() {
    QTest::addColumn<int>("quality");
    QTest::addColumn<bool>("chrominance");
    // Many symbols with long codes; and few, with a DC of the most bits.
    QTest::newRow("quality 100, Y") << 100 << false;
    QTest::newRow("quality 95, Cb/Cr") << 95 << true;
    QTest::newRow("quality 10, Y") << 10 << false;
}

// Every line fits the list as painted (whole character cells of the widest
// character), each column sits under its heading, and the list grows with the window.
void TestJpegWorksheet::symbolListShowsEveryColumn() {
    QFETCH(int, quality);
    QFETCH(bool, chrominance);
    ScriptedWindow w;
    JpegWorksheet sheet(w.window.Document(), w.desktop);
    sheet.show();
    QVERIFY(QTest::qWaitForWindowExposed(&sheet));
    // Sized once shown: before, the page's height may be a pixel short.
    sheet.resize(sheet.PageSize());
    TypeInto(QualityBox(sheet), quality);
    ChooseComponent(sheet, chrominance);
    w.window.Document().LoadSpaceBlock(Textured(3));
    const auto* list = Find<TextLines>(sheet, "symbolList");
    const QStringList lines = list->Lines();
    QVERIFY(lines.size() > 1);

    const QFontMetricsF metrics(list->font());
    double cell = 0;
    for (char16_t c = 32; c <= 126; ++c) {
        cell = std::max(cell, metrics.horizontalAdvance(QChar(c)));
    }
    const QString& heading = lines.first();
    const QStringList headings{QStringLiteral("Kind"),           QStringLiteral("Run/Size"),
                               QStringLiteral("Value"),          QStringLiteral("Code"),
                               QStringLiteral("Amplitude bits"), QStringLiteral("Length")};
    QList<qsizetype> starts;
    for (const QString& word : headings) {
        starts << heading.indexOf(word, starts.isEmpty() ? 0 : starts.last());
        QVERIFY2(starts.last() >= 0, qPrintable(heading));
    }
    for (const QString& line : lines) {
        QVERIFY2(std::ceil(cell) * static_cast<double>(line.size()) <= list->viewport()->width(),
                 qPrintable(line));
        QCOMPARE(line.size(), heading.size()); // the last column ends under "Length"
        for (qsizetype i = 1; i < starts.size(); ++i) {
            QVERIFY2(line.at(starts[i] - 1) == QLatin1Char(' '), qPrintable(line + u'|' + heading));
        }
    }
    // A heading and 21 symbols at the page's size; more lines in a taller window.
    const int lineHeight = list->fontMetrics().lineSpacing();
    QVERIFY(list->viewport()->height() >= 22 * lineHeight);
    const int before = list->height();
    sheet.resize(sheet.width(), sheet.height() + 5 * lineHeight);
    QTRY_VERIFY(list->height() >= before + 4 * lineHeight);
}

// The page grows with the zoom; on a 1920 x 1080 projector at 150 % the whole
// page, with room for a title bar and a panel, should need no scroll bar.
void TestJpegWorksheet::pageFitsAProjectorAt150() {
    ScriptedWindow w;
    JpegWorksheet sheet(w.window.Document(), w.desktop);
    sheet.show();
    QVERIFY(QTest::qWaitForWindowExposed(&sheet));
    const QSize at100 = sheet.PageSize();
    ApplyZoom(150);
    // The font change reaches the widgets posted, and their layouts follow.
    QTRY_VERIFY(sheet.PageSize().width() > at100.width());
    const QSize page = sheet.PageSize();
    // At that size the page shows whole: no scroll bar comes.
    sheet.resize(page);
    const auto* scroll = sheet.findChild<QScrollArea*>();
    QTRY_COMPARE(scroll->viewport()->size(), scroll->widget()->size());
    QTest::qWait(100); // wrapped labels and the like settle
    const bool scrolled =
        scroll->verticalScrollBar()->isVisible() || scroll->horizontalScrollBar()->isVisible();
    ApplyZoom(100);
    qInfo("page at 100 %%: %d x %d, at 150 %%: %d x %d", at100.width(), at100.height(),
          page.width(), page.height());
    // Grids, captions and the symbol list all grow with the zoom.
    QVERIFY(at100.width() * 5 < page.width() * 4 && at100.height() * 5 < page.height() * 4);
    QVERIFY2(page.width() <= 1920 && page.height() <= 1080 - 80,
             qPrintable(QStringLiteral("%1 x %2").arg(page.width()).arg(page.height())));
    QVERIFY(!scrolled);
}

void TestJpegWorksheet::exportWritesWhatIsShown_data() {
    QTest::addColumn<QString>("part"); // the action's name: export<part>Action
    QTest::addColumn<QString>("file");
    QTest::newRow("page, PNG") << "Page"
                               << "page.png";
    QTest::newRow("symbols' box, PNG") << "Step5"
                                       << "codes.png";
    QTest::newRow("reconstruction box, SVG") << "Step7"
                                             << "recon.svg";
    QTest::newRow("page, PDF") << "Page"
                               << "page.pdf";
    QTest::newRow("no suffix: PNG") << "Step1"
                                    << "block";
}

// A PNG holds the pixels on screen, the whole page even where it is scrolled
// away; SVG and PDF are drawings of the same size; Copy puts the same pixels
// on the clipboard.
void TestJpegWorksheet::exportWritesWhatIsShown() {
    QFETCH(QString, part);
    QFETCH(QString, file);
    QTemporaryDir dir;
    ScriptedWindow w;
    w.window.Document().LoadSpaceBlock(Textured(4));
    JpegWorksheet sheet(w.window.Document(), w.desktop);
    sheet.resize(600, 400); // scrolled: most of the page is out of view
    sheet.show();
    QVERIFY(QTest::qWaitForWindowExposed(&sheet));
    auto* menu = Find<QMenu>(sheet, "exportMenu");
    emit menu->aboutToShow();
    QWidget* shown =
        part == QLatin1String("Page") ? sheet.findChild<QScrollArea*>()->widget() : nullptr;
    for (QGroupBox* box : sheet.findChildren<QGroupBox*>()) {
        if (QStringLiteral("Step") + box->title().section(QLatin1Char(' '), 0, 0) == part) {
            shown = box;
        }
    }
    QVERIFY(shown != nullptr);
    w.desktop.answers = {dir.filePath(file)};
    Find<QAction>(*menu, qPrintable(QStringLiteral("export%1Action").arg(part)))->trigger();
    QCOMPARE(w.desktop.messages, QStringList{});
    const QString written =
        dir.filePath(file.contains(u'.') ? file : file + QStringLiteral(".png"));
    const QImage screen = shown->grab().toImage().convertToFormat(QImage::Format_RGB32);
    if (written.endsWith(QLatin1String(".png"))) {
        QCOMPARE(QImage(written).convertToFormat(QImage::Format_RGB32), screen);
    } else if (written.endsWith(QLatin1String(".svg"))) {
        const QSvgRenderer svg(written);
        QVERIFY(svg.isValid());
        QCOMPARE(svg.viewBox().size(), shown->size());
    } else {
        QFile pdf(written);
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        const QByteArray bytes = pdf.readAll();
        QVERIFY(bytes.startsWith("%PDF-"));
        // One point a pixel.
        const QRegularExpressionMatch box =
            QRegularExpression(QStringLiteral("/MediaBox \\[0 0 ([0-9.]+) ([0-9.]+)\\]"))
                .match(QString::fromLatin1(bytes));
        QVERIFY(box.hasMatch());
        QCOMPARE(box.captured(1).toDouble(), shown->width());
        QCOMPARE(box.captured(2).toDouble(), shown->height());
    }
    Find<QAction>(*menu, qPrintable(QStringLiteral("copy%1Action").arg(part)))->trigger();
    QCOMPARE(QApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32), screen);
}

namespace {

/// What a poppler tool prints for `arguments`; empty when it cannot run.
QString PopplerOutput(const QString& tool, const QStringList& arguments) {
    QProcess run;
    run.start(tool, arguments);
    if (!run.waitForFinished(30000) || run.exitCode() != 0) {
        return {};
    }
    return QString::fromUtf8(run.readAllStandardOutput());
}

} // namespace

void TestJpegWorksheet::exerciseSheetPdf_data() {
    QTest::addColumn<QString>("part"); // as quadrel-cli exercise --sheet takes it
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("difficulty");
    QTest::newRow("questions, 4 medium") << "questions" << 4 << "medium";
    QTest::newRow("both, 2") << "both" << 2 << "";
    QTest::newRow("answers, 3 hard") << "answers" << 3 << "hard";
}

// One exercise to a page, each page the CLI's text for that exercise; a
// questions sheet holds none of the answers' headings.
void TestJpegWorksheet::exerciseSheetPdf() {
    QFETCH(QString, part);
    QFETCH(int, count);
    QFETCH(QString, difficulty);
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()) {
        QSKIP("pdftotext (poppler-utils) is not installed");
    }
    report::ExerciseSheet sheet{7, count, 50, jpeg::Difficulty::Any,
                                *report::SheetPartFromName(part.toStdString())};
    QStringList arguments{QStringLiteral("exercise"),
                          QStringLiteral("--seed"),
                          QStringLiteral("7"),
                          QStringLiteral("--count"),
                          QString::number(count),
                          QStringLiteral("--sheet"),
                          part};
    if (!difficulty.isEmpty()) {
        sheet.Level = *jpeg::DifficultyFromName(difficulty.toStdString());
        arguments << QStringLiteral("--difficulty") << difficulty;
    }
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("sheet.pdf"));
    const Status written = WriteExerciseSheetPdf(file, sheet);
    QVERIFY2(written.Ok(), written.Message().c_str());
    QFile pdf(file);
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    QCOMPARE(pdf.read(5), QByteArray("%PDF-"));
    const QString info = PopplerOutput(QStringLiteral("pdfinfo"), {file});
    QCOMPARE(QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info).captured(1),
             QString::number(count));

    QProcess cli;
    cli.start(QStringLiteral(QUADREL_CLI), arguments);
    QVERIFY(cli.waitForFinished(30000));
    QCOMPARE(cli.exitCode(), 0);
    const QStringList cliLines = QString::fromUtf8(cli.readAllStandardOutput()).split('\n');
    // Every line the CLI gives for exercise k is on page k.
    int page = 0;
    QString text;
    const QString headingText = QStringLiteral("Exercise %1 of %2");
    for (const QString& line : cliLines) {
        if (line.simplified() == headingText.arg(page + 1).arg(count)) {
            ++page;
            text = PopplerOutput(QStringLiteral("pdftotext"),
                                 {QStringLiteral("-layout"), QStringLiteral("-f"),
                                  QString::number(page), QStringLiteral("-l"),
                                  QString::number(page), file, QStringLiteral("-")})
                       .simplified();
            QVERIFY(!text.isEmpty());
        }
        if (page > 0 && !line.simplified().isEmpty()) {
            QVERIFY2(text.contains(line.simplified()), qPrintable(line));
        }
    }
    QCOMPARE(page, count);
    const QString all =
        PopplerOutput(QStringLiteral("pdftotext"), {file, QStringLiteral("-")}).simplified();
    // The headings of the chain's results, none of which a task names.
    for (const char* answer : {"DCT coefficients", "Dequantised", "Zig-zag sequence:",
                               "Bits per pixel", "Compression ratio", "Reconstruction ("}) {
        QVERIFY2(all.contains(QLatin1String(answer)) == (part != "questions"), answer);
    }
}

// The menu's dialog asks for the sheet; the name typed gets ".pdf"; the file
// holds what the same sheet written directly holds.
void TestJpegWorksheet::exerciseSheetFromTheExportMenu() {
    QTemporaryDir dir;
    ScriptedWindow w;
    JpegWorksheet sheet(w.window.Document(), w.desktop);
    sheet.show();
    auto* menu = Find<QMenu>(sheet, "exportMenu");
    emit menu->aboutToShow();
    auto* action = Find<QAction>(sheet, "exerciseSheetPdfAction");
    QVERIFY(menu->actions().contains(action));
    bool asked = false;
    QTimer::singleShot(0, [&asked] {
        auto* dialog = qobject_cast<ExerciseSheetDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog != nullptr);
        Find<QLineEdit>(*dialog, "sheetSeed")->setText(QStringLiteral("9"));
        Find<QSpinBox>(*dialog, "sheetCount")->setValue(3);
        Find<QComboBox>(*dialog, "sheetPart")->setCurrentIndex(1); // questions only
        asked = true;
        dialog->accept();
    });
    w.desktop.answers = {dir.filePath(QStringLiteral("sheet"))};
    action->trigger();
    QVERIFY(asked);
    QCOMPARE(w.desktop.messages, QStringList{});
    QFile written(dir.filePath(QStringLiteral("sheet.pdf")));
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QString direct = dir.filePath(QStringLiteral("direct.pdf"));
    QVERIFY(WriteExerciseSheetPdf(direct,
                                  {9, 3, 50, jpeg::Difficulty::Any, report::SheetPart::Questions})
                .Ok());
    const auto text = [](const QString& file) {
        return PopplerOutput(QStringLiteral("pdftotext"), {file, QStringLiteral("-")});
    };
    QVERIFY(written.read(5) == "%PDF-");
    QVERIFY(!text(direct).isEmpty());
    QCOMPARE(text(written.fileName()), text(direct));
}

QTEST_MAIN(TestJpegWorksheet)
#include "tst_jpeg_worksheet.moc"
