// The "JPEG File" window on a file cjpeg wrote: its tables and the block
// under a click as libjpeg stores them, sent to the main window as one undo
// step; a file that is no JPEG opens no window.
#include "bitmap_viewer/image_frame.h"
#include "jpeg_file/scan_decoder.h"
#include "jpeg_file_window/jpeg_file_window.h"
#include "jpeg_worksheet/number_grid.h"
#include "main_window/desktop_window.h"
#include "picture_compression/zoom_view.h"
#include "tests/support/testutils.h"

#include <QAction>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTreeWidget>
#include <QtTest>

using namespace quadrel;
using namespace quadrel::test;

namespace {

/// The 64 cells of an 8x8 grid as whole numbers, row by row.
QList<int> Cells(const QTableWidget& grid) {
    QList<int> cells;
    for (int k = 0; k < 64; ++k) {
        const QTableWidgetItem* item = grid.item(k / 8, k % 8);
        cells << (item != nullptr ? item->text().toInt() : -9999);
    }
    return cells;
}

template <typename Values> QList<int> List(const Values& values) {
    return QList<int>(values.begin(), values.end());
}

/// The "JPEG File" windows open now.
QList<JpegFileWindow*> JpegWindows() {
    QList<JpegFileWindow*> windows;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->objectName() == QLatin1String("jpegFileWindow")) {
            windows << qobject_cast<JpegFileWindow*>(window);
        }
    }
    return windows;
}

} // namespace

class TestJpegFileWindow : public QObject {
    Q_OBJECT
private slots:
    void blockUnderAClickGoesToTheMainWindow();
};

void TestJpegFileWindow::blockUnderAClickGoesToTheMainWindow() {
    const QString cjpeg = QStandardPaths::findExecutable(QStringLiteral("cjpeg"));
    if (cjpeg.isEmpty()) {
        QSKIP("cjpeg (libjpeg-turbo-progs) is not installed.");
    }
    QTemporaryDir dir;
    QImage picture(96, 64, QImage::Format_RGB888);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            picture.setPixel(x, y, qRgb((x * 7 + y) % 256, (y * 9) % 256, (x * y) % 256));
        }
    }
    const QString ppm = dir.filePath(QStringLiteral("in.ppm"));
    const QString jpg = dir.filePath(QStringLiteral("in.jpg"));
    const QString png = dir.filePath(QStringLiteral("in.png"));
    QVERIFY(picture.save(ppm) && picture.save(png));
    QCOMPARE(QProcess::execute(cjpeg, {QStringLiteral("-quality"), QStringLiteral("80"),
                                       QStringLiteral("-sample"), QStringLiteral("2x2"),
                                       QStringLiteral("-outfile"), jpg, ppm}),
             0);

    ScriptedDesktop desktop;
    DesktopWindow main(&desktop);
    DCT& dct = *Find<DCT>(main, "DCT");
    desktop.answers = {png, jpg};
    QAction* open = Find<QAction>(main, "openJpegFileAction");
    open->trigger(); // no JPEG: said, and no window
    QCOMPARE(desktop.messages.size(), 1);
    QVERIFY(desktop.messages.first().contains(QStringLiteral("not a JPEG")));
    QVERIFY(JpegWindows().isEmpty());
    open->trigger();
    QCOMPARE(JpegWindows().size(), 1);
    JpegFileWindow* window = JpegWindows().first();
    QCOMPARE(window->windowTitle(), QStringLiteral("JPEG File"));
    QVERIFY(QTest::qWaitForWindowExposed(window));

    // Table 0 is the luminance table at quality 80, table 1 the chrominance one.
    QCOMPARE(Cells(*Find<QTableWidget>(*window, "quantTable0")), List(jpeg::LuminanceTable(80)));
    QCOMPARE(Cells(*Find<QTableWidget>(*window, "quantTable1")), List(jpeg::ChrominanceTable(80)));
    QCOMPARE(Find<QLabel>(*window, "quality1")->text(), QString::fromUtf8("quality ≈ 80 (exact)"));

    // Pixel (40, 20) lies in Y block 5, 2 and in Cb block 2, 1.
    QFile file(jpg);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    std::vector<std::string> warnings;
    const Result<jpeg::CodedPicture> stored = jpeg_file::ReadStoredCoefficients(
        std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                  static_cast<std::size_t>(bytes.size())),
        warnings);
    QVERIFY(stored.Ok());
    auto* view = Find<ZoomView>(*window, "picture");
    const QPoint at = QPoint(40, 20) * view->Zoom() - QPoint(view->horizontalScrollBar()->value(),
                                                             view->verticalScrollBar()->value());
    QCOMPARE(view->PixelAt(at), QPoint(40, 20));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    const auto expected = [&](int component, int x, int y) {
        const jpeg::CodedComponent& c = stored->Components[static_cast<std::size_t>(component)];
        return List(
            c.Blocks.at(static_cast<std::size_t>(y) * static_cast<std::size_t>(c.BlocksAcross) +
                        static_cast<std::size_t>(x)));
    };
    QCOMPARE(Cells(*Find<QTableWidget>(*window, "coefficientsGrid0")), expected(0, 5, 2));
    QCOMPARE(Cells(*Find<QTableWidget>(*window, "coefficientsGrid1")), expected(1, 2, 1));

    // A sequential file: the block's symbols, DC first, and its bits marked.
    const auto* symbols = Find<QTreeWidget>(*window, "symbols0");
    QVERIFY(symbols->topLevelItemCount() > 1);
    QCOMPARE(symbols->topLevelItem(0)->text(0), QStringLiteral("DC"));
    QVERIFY(!Find<QTextEdit>(*window, "bits0")->extraSelections().isEmpty());

    // Send: the Y samples are the main window's pixel block; Undo puts the old one back.
    const BlockState before = dct.Document().Snapshot();
    const QList<int> samples = Cells(*Find<QTableWidget>(*window, "samplesGrid0"));
    Click(Find<QPushButton>(*window, "sendBlock"));
    for (int k = 0; k < 64; ++k) {
        QCOMPARE(dct.Document().Space().Cell(k), double(samples[k]));
    }
    Find<QAction>(main, "undoAction")->trigger();
    QVERIFY(dct.Document().Snapshot() == before);

    // The bitmap viewer showing the file opens another window on it.
    dct.OpenPicture(jpg);
    auto* viewer = OpenWindow<ImageFrame>();
    QVERIFY(viewer != nullptr);
    Find<QAction>(*viewer, "lookInsideJpeg")->trigger();
    QCOMPARE(JpegWindows().size(), 2);
    // So does Compress Picture after opening it.
    dct.ToolWindowActions().at(1)->trigger();
    auto* compress = OpenWindow<CompressWindow>();
    QVERIFY(compress != nullptr);
    QVERIFY(!Find<QPushButton>(*compress, "lookInsideJpeg")->isEnabled());
    desktop.answers = {jpg};
    Click(Find<QPushButton>(*compress, "openButton"));
    Click(Find<QPushButton>(*compress, "lookInsideJpeg"));
    QCOMPARE(JpegWindows().size(), 3);

    // The chrominance table goes to the worksheet as its table.
    Click(Find<QPushButton>(*window, "useTable1"));
    auto* sheet = OpenWindow<worksheet::JpegWorksheet>();
    QVERIFY(sheet != nullptr);
    const auto* table = Find<worksheet::NumberGrid>(*sheet, "tableGrid");
    for (int k = 0; k < 64; ++k) {
        QCOMPARE(table->CellText(k).toInt(),
                 jpeg::ChrominanceTable(80)[static_cast<std::size_t>(k)]);
    }
}

QTEST_MAIN(TestJpegFileWindow)
#include "tst_jpeg_file_window.moc"
