// The JPEG worksheet driven beside the real main window: it follows the block
// through the seam, its controls change the chain as the library says, its
// reports are quadrel-cli's, and "Send" loads the reconstruction.
#include "bitmap_viewer/image_frame.h"
#include "bitmap_viewer/picture_box.h"
#include "block_file/block_file_io.h"
#include "jpeg/jpeg_chain.h"
#include "jpeg_worksheet/jpeg_worksheet.h"
#include "jpeg_worksheet/live_text.h"
#include "jpeg_worksheet/number_grid.h"
#include "jpeg_worksheet/text_lines.h"
#include "main_window/application_setup.h"
#include "tests/support/testutils.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

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

/// Every grid against the library's chain for `samples` and `settings`.
void CheckGrids(const JpegWorksheet& sheet, const jpeg::Samples& samples,
                const jpeg::ChainSettings& settings) {
    const jpeg::BlockAnalysis want = jpeg::AnalyseBlock(samples, settings);
    const auto shown = [&](Grid g) { return sheet.GridWidget(g)->ShownValues(); };
    QCOMPARE(shown(Grid::Pixels), AsValues(samples));
    QCOMPARE(shown(Grid::Shifted), want.Shifted);
    QCOMPARE(shown(Grid::Coefficients), want.Coefficients);
    QCOMPARE(shown(Grid::Table), AsValues(settings.Table));
    QCOMPARE(shown(Grid::Quantised), AsValues(want.Quantised));
    QCOMPARE(shown(Grid::Reconstruction), AsValues(want.Reconstruction));
    QCOMPARE(shown(Grid::ReconstructionSquares), AsValues(want.Reconstruction));
    QCOMPARE(shown(Grid::OriginalSquares), AsValues(samples));
    QCOMPARE(shown(Grid::Error), AsValues(want.Error.Error));
    // One decimal shown; a symbol line per symbol; the library's bit total.
    const int k = 9;
    QCOMPARE(sheet.GridWidget(Grid::Coefficients)->CellText(k).toDouble(),
             std::round(want.Coefficients[k] * 10.0) / 10.0);
    QCOMPARE(sheet.SymbolList()->Lines().size(), want.Symbols.Count + 1);
    QVERIFY2(
        sheet.TotalsLabel()->Text().contains(QStringLiteral(" = %1 bits").arg(want.Bits.Total)),
        qPrintable(sheet.TotalsLabel()->Text()));
    QCOMPARE(sheet.ErrorLabel()->Text().contains(QStringLiteral("infinite")), want.Error.Lossless);
}

jpeg::ChainSettings Settings(int quality, int previousDc = 0, int keep = 64) {
    return {jpeg::LuminanceTable(quality), previousDc, keep, jpeg::TieRule::AwayFromZero};
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
    QCOMPARE(sheet.Samples(), Floored(doc.Space()));
}

void TestJpegWorksheet::controlsChangeTheChain_data() {
    QTest::addColumn<int>("quality");
    QTest::addColumn<bool>("bySlider");
    QTest::addColumn<int>("previousDc");
    QTest::addColumn<int>("keep");
    QTest::newRow("q1 by the box") << 1 << false << 0 << 64;
    QTest::newRow("q10 by the slider, previous DC") << 10 << true << -30 << 64;
    QTest::newRow("q75 keep 6") << 75 << false << 0 << 6;
    QTest::newRow("q100 keep 1") << 100 << true << 12 << 1;
    QTest::newRow("q50 keep 0") << 50 << false << 0 << 0;
}

void TestJpegWorksheet::controlsChangeTheChain() {
    QFETCH(int, quality);
    QFETCH(bool, bySlider);
    QFETCH(int, previousDc);
    QFETCH(int, keep);
    ScriptedWindow w;
    w.window.Document().LoadSpaceBlock(Textured(3));
    JpegWorksheet sheet(w.window.Document(), w.desktop);
    if (bySlider) {
        sheet.QualitySlider()->setValue(quality);
    } else {
        sheet.QualityBox()->setValue(quality);
    }
    sheet.PreviousDcBox()->setValue(previousDc);
    sheet.KeepSlider()->setValue(keep);
    QCOMPARE(sheet.QualityBox()->value(), quality);
    QCOMPARE(sheet.QualitySlider()->value(), quality);
    CheckGrids(sheet, Floored(w.window.Document().Space()), Settings(quality, previousDc, keep));
    // The kept part of the zig-zag path and the zeroed indices agree.
    const jpeg::Indices zigzag = sheet.Analysis().ZigZag;
    for (int p = keep; p < 64; ++p) {
        QCOMPARE(zigzag[static_cast<std::size_t>(p)], 0);
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
    sheet.QualityBox()->setValue(80);
    const jpeg::QuantTable before = sheet.Table();
    w.desktop.answers << path;
    sheet.LoadTable();
    QCOMPARE(w.desktop.messages.size(), good ? 0 : 1);
    QCOMPARE(sheet.FileTableOption()->isChecked(), good);
    if (!good) {
        QCOMPARE(sheet.Table(), before);
        QVERIFY(w.desktop.messages.first().startsWith(QStringLiteral("Load Table: ")));
        return;
    }
    const Result<jpeg::QuantTable> table = ReadTableFile(path);
    QVERIFY(table.Ok());
    QCOMPARE(sheet.Table(), *table);
    CheckGrids(sheet, Floored(w.window.Document().Space()), {*table, 0, 64});
    // Back to the standard table at the quality still set.
    sheet.StandardTableOption()->setChecked(true);
    QCOMPARE(sheet.Table(), jpeg::LuminanceTable(80));
}

void TestJpegWorksheet::copyGivesTheCliReport_data() {
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("fileTable");
    QTest::newRow("text") << int(report::Format::Text) << "text" << false;
    QTest::newRow("csv") << int(report::Format::Csv) << "csv" << false;
    QTest::newRow("markdown, table file") << int(report::Format::Markdown) << "markdown" << true;
    QTest::newRow("latex") << int(report::Format::Latex) << "latex" << false;
}

void TestJpegWorksheet::copyGivesTheCliReport() {
    QFETCH(int, format);
    QFETCH(QString, name);
    QFETCH(bool, fileTable);
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
    sheet.PreviousDcBox()->setValue(-7);
    sheet.KeepSlider()->setValue(20);
    if (fileTable) {
        const QString table = dir.filePath(QStringLiteral("table.csv"));
        Block steps;
        for (int k = 0; k < 64; ++k) {
            steps.Cell(k) = 3 + k;
        }
        QVERIFY(WriteBlockFile(table, steps, steps).Ok());
        w.desktop.answers << table;
        sheet.LoadTable();
        arguments << QStringLiteral("--table") << table;
    } else {
        sheet.QualityBox()->setValue(35);
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

    sheet.CopyReport(static_cast<report::Format>(format));
    QCOMPARE(QApplication::clipboard()->text(), expected);
}

void TestJpegWorksheet::sendLoadsTheReconstruction() {
    ScriptedWindow w;
    BlockDocument& doc = w.window.Document();
    doc.LoadSpaceBlock(Textured(6));
    JpegWorksheet sheet(doc, w.desktop);
    sheet.QualityBox()->setValue(20);
    sheet.KeepSlider()->setValue(5);
    const jpeg::Samples reconstruction = sheet.Analysis().Reconstruction;
    QVERIFY(AsValues(reconstruction) != AsValues(sheet.Samples()));
    QSignalSpy changed(&doc, &BlockDocument::BlockChanged);
    sheet.SendButton()->click();
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
        sheet->QualityBox()->setValue(64);
        sheet->resize(700, 500);
        QTest::keyClick(&w.window, Qt::Key_J, Qt::ControlModifier);
        QCOMPARE(OpenWindow<quadrel::worksheet::JpegWorksheet>(),
                 sheet.data()); // one worksheet, brought forward
        QVERIFY(QTest::qWaitForWindowActive(sheet));
        QTest::keyClick(sheet->QualityBox(), Qt::Key_Escape);
        QTRY_VERIFY(!sheet); // closed and deleted
    }
    ScriptedWindow w;
    w.window.ToolWindowActions().at(0)->trigger();
    JpegWorksheet* sheet = OpenWindow<quadrel::worksheet::JpegWorksheet>();
    QCOMPARE(sheet->QualityBox()->value(), 64);
    QCOMPARE(sheet->Table(), jpeg::LuminanceTable(64));
    QCOMPARE(sheet->size(), QSize(700, 500));
    // Every grid has a name for screen readers.
    for (int g = 0; g < kGridCount; ++g) {
        QVERIFY(!sheet->GridWidget(static_cast<Grid>(g))->accessibleName().isEmpty());
    }
}

QTEST_MAIN(TestJpegWorksheet)
#include "tst_jpeg_worksheet.moc"
