// The main window as the desktop sees it: the menu bar over the unchanged
// client area, undo and redo of every command that changes the block, and
// files opened from outside (command line or drop).
#include "bitmap_viewer/image_frame.h"
#include "bitmap_viewer/picture_box.h"
#include "engine/cell_text.h"
#include "main_window/application_setup.h"
#include "main_window/desktop_window.h"
#include "tests/support/testutils.h"
#include "views/block_export.h"
#include "views/square_grid.h"
#include "views/twips_layout.h"
#include "views/view_zoom.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <functional>

#include <sys/stat.h>

using quadrel::DesktopWindow;
using quadrel::test::ScriptedDesktop;

using namespace quadrel::test;

namespace {

struct Fixture {
    QTemporaryDir dir;
    ScriptedDesktop desktop;
    DesktopWindow window{&desktop};

    quadrel::DCT& main() { return *Find<quadrel::DCT>(window, "DCT"); }
    quadrel::BlockState state() { return main().Document().Snapshot(); }
    QString write(const QString& name, const QByteArray& bytes) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            return {};
        }
        return file.fileName();
    }
    QString picture() {
        QImage image(64, 48, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                image.setPixel(x, y, qRgb(4 * x, 5 * y, 200 - 3 * x));
            }
        }
        const QString path = dir.filePath(QStringLiteral("picture.bmp"));
        return image.save(path) ? path : QString();
    }
    int squaresAt(int grey) {
        int count = 0;
        for (int k = 0; k < 64; ++k) {
            count += Shape1(main())->Colour(k) == QColor(grey, grey, grey) ? 1 : 0;
        }
        return count;
    }
};

using Action = std::function<void(Fixture&)>;

struct SvgRect {
    QRect rect;
    QString fill;
};

// The rectangles of an SVG file with the fill each inherits from its groups.
QList<SvgRect> FilledRects(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QList<SvgRect> rects;
    QStringList fills{QStringLiteral("none")};
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("g")) {
            const auto fill = xml.attributes().value(QLatin1String("fill"));
            fills << (fill.isEmpty() ? fills.back() : fill.toString());
        } else if (xml.isEndElement() && xml.name() == QLatin1String("g")) {
            fills.removeLast();
        } else if (xml.isStartElement() && xml.name() == QLatin1String("rect") &&
                   fills.back() != QLatin1String("none")) {
            const auto at = [&](const char* name) {
                return xml.attributes().value(QLatin1String(name)).toInt();
            };
            rects.append({QRect(at("x"), at("y"), at("width"), at("height")), fills.back()});
        }
    }
    return xml.hasError() ? QList<SvgRect>{} : rects;
}

QString Hex(int grey) {
    return QColor(grey, grey, grey).name();
}

} // namespace

Q_DECLARE_METATYPE(Action)

class TestDesktopWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QSettings(QStringLiteral("Quadrel"), QStringLiteral("Quadrel")).clear();
        quadrel::ConfigureApplication(*qApp);
    }
    void init() { QSettings(QStringLiteral("Quadrel"), QStringLiteral("Quadrel")).clear(); }
    void cleanup() { quadrel::ApplyZoom(100); }
    void menuBarOverUnchangedClientArea();
    void zoomScalesTheLayout_data();
    void zoomScalesTheLayout();
    void zoomKeysStepThroughTheLevels();
    void menuCommands();
    void undoRedoPutsBackEverything_data();
    void undoRedoPutsBackEverything();
    void pickSessionIsOneStep();
    void openFromOutside_data();
    void openFromOutside();
    void exportGrids_data();
    void exportGrids();
    void exportPatternChart_data();
    void exportPatternChart();
    void exportAsksBeforeReplacing_data();
    void exportAsksBeforeReplacing();
    void recentFilesHeldToTheMenu_data();
    void recentFilesHeldToTheMenu();
};

void TestDesktopWindow::menuBarOverUnchangedClientArea() {
    Fixture f;
    f.window.show();
    QVERIFY(QTest::qWaitForWindowActive(&f.window));
    QCOMPARE(f.window.windowTitle(), QStringLiteral("Quadrel v3.0"));
    QCOMPARE(f.window.centralWidget(), &f.main());
    const int menuHeight = f.window.menuBar()->height();
    QVERIFY(menuHeight > 0);
    QCOMPARE(f.main().geometry(), QRect(0, menuHeight, 600, 456));
    QCOMPARE(f.window.size(), QSize(600, menuHeight + 456));
    QStringList menus;
    for (QAction* menu : f.window.menuBar()->actions()) {
        menus << menu->text();
    }
    QCOMPARE(menus, (QStringList{"&File", "&Edit", "&View", "&Tools", "&Options", "&Help"}));

    // The keyboard still walks the client area's controls in their old order.
    QList<QWidget*> expected;
    for (int i : {0, 1, 2, 3, 4, 5}) {
        expected << Command1(f.main(), i);
    }
    for (int k = 0; k < 64; ++k) {
        expected << Cell(f.main(), k);
    }
    expected << Command1(f.main(), 6) << Command1(f.main(), 7)
             << Find<QPushButton>(f.main(), "Command2") << Find<QPushButton>(f.main(), "Command3")
             << Command1(f.main(), 8) << Command1(f.main(), 10) << Command1(f.main(), 11)
             << Option1(f.main(), 0);
    Command1(f.main(), 0)->setFocus();
    for (qsizetype i = 1; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), expected[i]);
    }
}

void TestDesktopWindow::zoomScalesTheLayout_data() {
    QTest::addColumn<int>("percent");
    QTest::addColumn<QSize>("client"); // 9000 x 6840 twips at 15 a pixel, scaled
    QTest::addColumn<QRect>("cell9");  // 840, 840, 495 x 495 twips
    QTest::addColumn<int>("squares");  // 7 pitches of 480 twips and a side of 495
    QTest::addColumn<QSize>("entry");  // "Enter X Y Data": 3690 x 1290 twips
    QTest::newRow("100 %") << 100 << QSize(600, 456) << QRect(56, 56, 33, 33) << 7 * 32 + 33
                           << QSize(246, 86);
    QTest::newRow("125 %") << 125 << QSize(750, 570) << QRect(70, 70, 41, 41) << 7 * 40 + 41
                           << QSize(307, 107);
    QTest::newRow("150 %") << 150 << QSize(900, 684) << QRect(84, 84, 49, 49) << 7 * 48 + 49
                           << QSize(369, 129);
    QTest::newRow("200 %") << 200 << QSize(1200, 912) << QRect(112, 112, 66, 66) << 7 * 64 + 66
                           << QSize(492, 172);
}

// View > Zoom lays the twips layout out again, fonts included, and keeps the
// choice: a window made after a new start (the stored zoom applied) looks the same.
void TestDesktopWindow::zoomScalesTheLayout() {
    QFETCH(int, percent);
    QFETCH(QSize, client);
    QFETCH(QRect, cell9);
    QFETCH(int, squares);
    QFETCH(QSize, entry);
    const auto check = [&](DesktopWindow& window) {
        auto& main = *Find<quadrel::DCT>(window, "DCT");
        QTRY_COMPARE(window.size(),
                     QSize(client.width(), window.menuBar()->height() + client.height()));
        QCOMPARE(main.geometry(), QRect(QPoint(0, window.menuBar()->height()), client));
        QCOMPARE(Cell(main, 9)->geometry(), cell9);
        QCOMPARE(Find<quadrel::SquareGrid>(main, "Shape1")->size(), QSize(squares, squares));
        QCOMPARE(Find<QLabel>(main, "Label1")->font().pointSizeF(), 14.25 * percent / 100);
        QCOMPARE(Command1(main, 2)->font().pointSizeF(), 8.25 * percent / 100);
        QVERIFY(Find<QAction>(window, qPrintable(QStringLiteral("zoomAction_%1").arg(percent)))
                    ->isChecked());
        Command1(main, 1)->click(); // View Single DCT Pattern
        auto* xy = OpenWindow<quadrel::X_Y_Entry>();
        QVERIFY(xy != nullptr);
        QCOMPARE(xy->size(), entry);
        QCOMPARE(Find<QPushButton>(*xy, "Command1")->geometry(),
                 quadrel::TwipsLayout::Pixels(QRect(3000, 720, 495, 375), percent));
        xy->close();
        QTRY_VERIFY(OpenWindow<quadrel::X_Y_Entry>() == nullptr); // gone, not hidden
    };
    {
        Fixture f;
        f.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        Find<QAction>(f.window, qPrintable(QStringLiteral("zoomAction_%1").arg(percent)))
            ->trigger();
        check(f.window);
    }
    QCOMPARE(quadrel::StoredZoom(), percent);
    quadrel::ApplyZoom(100);
    quadrel::ApplyZoom(quadrel::StoredZoom()); // as a new start does
    Fixture again;
    again.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&again.window));
    check(again.window);
}

// Ctrl++ and Ctrl+= step up, Ctrl+- down, within the levels; Ctrl+0 goes back
// to 100 %; the keys work in the worksheet too.
void TestDesktopWindow::zoomKeysStepThroughTheLevels() {
    Fixture f;
    f.window.show();
    QVERIFY(QTest::qWaitForWindowActive(&f.window));
    const auto press = [](QWidget* where, Qt::Key key) {
        QTest::keyClick(where, key, Qt::ControlModifier);
        return quadrel::CurrentZoom();
    };
    QCOMPARE(press(&f.window, Qt::Key_Plus), 125);
    QCOMPARE(press(&f.window, Qt::Key_Equal), 150);
    QCOMPARE(press(&f.window, Qt::Key_Plus), 200);
    QCOMPARE(press(&f.window, Qt::Key_Plus), 200);
    QCOMPARE(press(&f.window, Qt::Key_Minus), 150);
    QCOMPARE(press(&f.window, Qt::Key_0), 100);
    QCOMPARE(press(&f.window, Qt::Key_Minus), 100);
    QCOMPARE(quadrel::StoredZoom(), 100);
    QTest::keyClick(&f.window, Qt::Key_J, Qt::ControlModifier);
    auto* sheet = OpenWindow<quadrel::worksheet::JpegWorksheet>();
    QVERIFY(sheet != nullptr && QTest::qWaitForWindowActive(sheet));
    QCOMPARE(press(sheet, Qt::Key_Plus), 125);
    QCOMPARE(press(sheet, Qt::Key_0), 100);
    sheet->close();
}

void TestDesktopWindow::menuCommands() {
    Fixture f;
    QMultiMap<QString, QAction*> bySequence;
    for (QAction* action : f.window.findChildren<QAction*>()) {
        if (!action->shortcut().isEmpty()) {
            bySequence.insert(action->shortcut().toString(), action);
        }
    }
    QCOMPARE(bySequence.uniqueKeys(),
             (QStringList{"Ctrl++", "Ctrl+-", "Ctrl+0", "Ctrl+J", "Ctrl+O", "Ctrl+Q", "Ctrl+S",
                          "Ctrl+Shift+J", "Ctrl+Shift+Z", "Ctrl+Z", "F1"}));
    // Each key has one action, so none is ambiguous; the menus list the main
    // window's own F1 and tool-window actions.
    QCOMPARE(bySequence.size(), bySequence.uniqueKeys().size());
    QVERIFY(Find<QMenu>(f.window, "toolsMenu")->actions().contains(bySequence.value("Ctrl+J")));
    QVERIFY(
        Find<QMenu>(f.window, "toolsMenu")->actions().contains(bySequence.value("Ctrl+Shift+J")));
    QCOMPARE(bySequence.value("F1"), f.main().ReadMeAction());
    QCOMPARE(bySequence.value("Ctrl+Z"), Find<QAction>(f.window, "undoAction"));
    QCOMPARE(bySequence.value("Ctrl+Shift+Z"), Find<QAction>(f.window, "redoAction"));
    // Load and Save ask for their files as the buttons do.
    bySequence.value("Ctrl+O")->trigger();
    bySequence.value("Ctrl+S")->trigger();
    QCOMPARE(f.desktop.dialogs.size(), 2);
    QVERIFY(!f.desktop.dialogs[0].save && f.desktop.dialogs[1].save);

    // The step time: one choice checked, applied and kept.
    Find<QAction>(f.window, "paceAction_slow")->trigger();
    QVERIFY(Find<QAction>(f.window, "paceAction_slow")->isChecked());
    QVERIFY(!Find<QAction>(f.window, "paceAction_instant")->isChecked());
    QCOMPARE(f.main().Document().CurrentStepTimes(), quadrel::StepTimesOf(quadrel::Pace::Slow));
    QCOMPARE(quadrel::StoredPace(), quadrel::Pace::Slow);
    f.window.SetPace(quadrel::Pace::Instant); // for this run only
    QCOMPARE(quadrel::StoredPace(), quadrel::Pace::Slow);
}

void TestDesktopWindow::undoRedoPutsBackEverything_data() {
    QTest::addColumn<Action>("command");
    const auto click = [](int index) {
        return Action([index](Fixture& f) { Command1(f.main(), index)->click(); });
    };
    QTest::newRow("Quantise") << click(6);
    QTest::newRow("DCT") << click(3);
    QTest::newRow("Quantise in Build Mode") << Action([](Fixture& f) {
        Option1(f.main(), 1)->click();
        Command1(f.main(), 6)->click();
    });
    QTest::newRow("pattern cycle") << click(0);
    // The second cycle ends where the first did: no step, but Undo is free again.
    QTest::newRow("two pattern cycles") << Action([](Fixture& f) {
        Command1(f.main(), 0)->click();
        Command1(f.main(), 0)->click();
    });
    QTest::newRow("single pattern") << Action([](Fixture& f) {
        Command1(f.main(), 1)->click();
        QTest::keyClick(Text1(*OpenWindow<quadrel::X_Y_Entry>(), 0), Qt::Key_3);
    });
    QTest::newRow("Load Block") << Action([](Fixture& f) {
        f.desktop.answers = {f.write(QStringLiteral("b.txt"), "1,2,3\n4,5,6")};
        Command1(f.main(), 7)->click();
    });
    QTest::newRow("a new block from another window") << Action([](Fixture& f) {
        quadrel::Block space{};
        space[2][5] = 255;
        f.main().Document().LoadSpaceBlock(space);
    });
    QTest::newRow("Send from the JPEG worksheet") << Action([](Fixture& f) {
        f.main().ToolWindowActions().at(0)->trigger();
        Click(Find<QPushButton>(*OpenWindow<quadrel::worksheet::JpegWorksheet>(), "sendButton"));
    });
    // Typing and Enter are one step: Undo goes back to before the typing.
    QTest::newRow("Enter after typing") << Action([](Fixture& f) {
        quadrel::test::TypeIntoCell(Cell(f.main(), 10), QStringLiteral("-321"));
        QTest::keyClick(Cell(f.main(), 10), Qt::Key_Return);
    });
    QTest::newRow("typing alone") << Action(
        [](Fixture& f) { quadrel::test::TypeIntoCell(Cell(f.main(), 10), QStringLiteral("57")); });
}

// From DCT -> IDCT of a constant 100 block, whose 41 squares at 99 come from
// coefficients the cells show truncated: Undo must put back the exact
// coefficients, not what their texts say.
void TestDesktopWindow::undoRedoPutsBackEverything() {
    QFETCH(Action, command);
    Fixture f;
    quadrel::Block flat{};
    for (auto& column : flat) {
        column.fill(100);
    }
    f.main().Document().LoadSpaceBlock(flat);
    Command1(f.main(), 2)->click();
    QCOMPARE(f.squaresAt(99), 41);
    const quadrel::BlockState before = f.state();

    command(f);
    const quadrel::BlockState after = f.state();
    QVERIFY(!(after == before));
    QVERIFY(Find<QAction>(f.window, "undoAction")->isEnabled());
    Find<QAction>(f.window, "undoAction")->trigger();
    QVERIFY(f.state() == before);
    QCOMPARE(f.squaresAt(99), 41);
    Find<QAction>(f.window, "redoAction")->trigger();
    QVERIFY(f.state() == after);
    Find<QAction>(f.window, "undoAction")->trigger();
    QVERIFY(!Find<QAction>(f.window, "redoAction")->text().isEmpty());
    // The restored coefficients are the exact ones: IDCT gives the same picture.
    Command1(f.main(), 2)->click();
    QCOMPARE(f.squaresAt(99), 41);
    QVERIFY(f.state() == before);
}

void TestDesktopWindow::pickSessionIsOneStep() {
    Fixture f;
    const auto pick = [&](int times) {
        for (int i = 0; i < times; ++i) {
            MoveOver(OpenWindow<quadrel::ImageFrame>()->Picture1(), QPoint(3 * i + 1, 2 * i + 5));
        }
        return f.state();
    };
    const quadrel::BlockState start = f.state();
    f.window.OpenFile(f.picture());
    QVERIFY(OpenWindow<quadrel::ImageFrame>() != nullptr);
    const quadrel::BlockState firstPicks = pick(3);
    Command1(f.main(), 6)->click(); // another command ends the session's step
    const quadrel::BlockState quantised = f.state();
    const quadrel::BlockState secondPicks = pick(4);
    QTest::mouseClick(OpenWindow<quadrel::ImageFrame>()->Picture1(),
                      Qt::LeftButton); // closes the viewer
    QTRY_VERIFY(OpenWindow<quadrel::ImageFrame>() == nullptr);
    f.window.OpenFile(f.picture());
    MoveOver(OpenWindow<quadrel::ImageFrame>()->Picture1(), QPoint(40, 30));

    for (const quadrel::BlockState& expected : {secondPicks, quantised, firstPicks, start}) {
        Find<QAction>(f.window, "undoAction")->trigger();
        QVERIFY(f.state() == expected);
    }
    QVERIFY(!Find<QAction>(f.window, "undoAction")->isEnabled());
}

void TestDesktopWindow::openFromOutside_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content"); // "picture": a BMP the test draws
    QTest::addColumn<bool>("drop");
    QTest::addColumn<QString>("outcome"); // "block", "viewer" or the message's title
    for (bool drop : {false, true}) {
        const char* how = drop ? "dropped" : "named";
        QTest::addRow("%s block file", how) << "b.csv" << QByteArray("10,20,30") << drop << "block";
        QTest::addRow("%s picture", how) << "p.bmp" << QByteArray("picture") << drop << "viewer";
        QTest::addRow("%s bad block file", how)
            << "bad.txt" << QByteArray("1,2,x") << drop << "Load Block";
        QTest::addRow("%s damaged picture", how)
            << "cut.jpg" << QByteArray("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00", 11) << drop
            << "DCT Bitmap Viewer";
    }
    QTest::newRow("missing file") << "none.txt" << QByteArray() << false << "Load Block";
}

void TestDesktopWindow::openFromOutside() {
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(bool, drop);
    QFETCH(QString, outcome);
    Fixture f;
    QString path = f.dir.filePath(name);
    if (content == "picture") {
        path = f.picture();
    } else if (!content.isEmpty()) {
        path = f.write(name, content);
    }
    const quadrel::BlockState before = f.state();
    if (drop) {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(path)});
        mime.setText(path);
        // Over a cell, which would otherwise take the file's name as text.
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Cell(f.main(), 12), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent event(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Cell(f.main(), 12), &event);
    } else {
        f.window.OpenFile(path);
    }
    if (outcome == QLatin1String("block")) {
        QCOMPARE(f.main().Document().Space()[2][0], 30.0);
        const QList<QAction*> recent = Find<QMenu>(f.window, "recentMenu")->actions();
        QCOMPARE(recent.size(), 1);
        QCOMPARE(recent[0]->toolTip(),
                 QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
    } else if (outcome == QLatin1String("viewer")) {
        QVERIFY(OpenWindow<quadrel::ImageFrame>() != nullptr);
        QVERIFY(OpenWindow<quadrel::ImageFrame>()->isVisible());
        QCOMPARE(OpenWindow<quadrel::ImageFrame>()->Picture1()->Picture().size(), QSize(64, 48));
        QVERIFY(f.state() == before);
    } else {
        QCOMPARE(f.desktop.messages.size(), 1);
        QVERIFY2(f.desktop.messages[0].startsWith(outcome + QLatin1String(": ")),
                 qPrintable(f.desktop.messages[0]));
        QVERIFY(f.state() == before);
        QVERIFY(OpenWindow<quadrel::ImageFrame>() == nullptr);
    }
    if (outcome != QLatin1String("viewer") && outcome != QLatin1String("block")) {
        return;
    }
    QVERIFY(f.desktop.messages.isEmpty());
}

void TestDesktopWindow::exportGrids_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("PNG") << "grids.png";
    QTest::newRow("SVG") << "grids.svg";
    QTest::newRow("no suffix: PNG") << "grids";
    QTest::newRow("folder missing") << "missing/grids.svg";
}

// Squares of many grey levels, clipped ones included, exported and read back.
void TestDesktopWindow::exportGrids() {
    QFETCH(QString, name);
    Fixture f;
    quadrel::Block space{};
    for (int k = 0; k < 64; ++k) {
        space.Cell(k) = 9.5 * k - 180;
    }
    f.main().Document().LoadSpaceBlock(space);
    f.desktop.answers = {f.dir.filePath(name)};
    Find<QAction>(f.window, "exportGridsAction")->trigger();
    const quadrel::GridsPicture grids = f.main().Grids();
    if (name.startsWith(QLatin1String("missing"))) {
        QCOMPARE(f.desktop.messages.size(), 1);
        QVERIFY(f.desktop.messages[0].startsWith(QLatin1String("Export Grids: ")));
        return;
    }
    QVERIFY(f.desktop.messages.isEmpty());
    const QString path =
        f.dir.filePath(name.endsWith(QLatin1String(".svg"))   ? name
                       : name.endsWith(QLatin1String(".png")) ? name
                                                              : name + QLatin1String(".png"));
    if (path.endsWith(QLatin1String(".svg"))) {
        QStringList squares;
        for (const SvgRect& r : FilledRects(path)) {
            if (r.rect.size() == QSize(33, 33)) {
                squares << r.fill;
            }
        }
        QStringList shown;
        for (int k = 0; k < 64; ++k) {
            shown << Shape1(f.main())->Colour(k).name();
        }
        QCOMPARE(squares, shown);
        return;
    }
    // The exported picture and the window itself agree on every square.
    const QImage exported(path);
    const QImage window = f.main().grab().toImage();
    QVERIFY(!exported.isNull());
    int greys = 0;
    for (int k = 0; k < 64; ++k) {
        const QPoint centre = grids.Squares[static_cast<std::size_t>(k)].center();
        QCOMPARE(QColor(exported.pixel(centre)), Shape1(f.main())->Colour(k));
        QCOMPARE(exported.pixel(centre), window.pixel(centre));
        greys += k > 0 && Shape1(f.main())->Colour(k) != Shape1(f.main())->Colour(k - 1);
    }
    QVERIFY(greys > 20); // the block really shows many levels
}

void TestDesktopWindow::exportPatternChart_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("PNG") << "chart.png";
    QTest::newRow("SVG") << "chart.svg";
}

void TestDesktopWindow::exportPatternChart() {
    QFETCH(QString, name);
    Fixture f;
    const QString path = f.dir.filePath(name);
    f.desktop.answers = {path};
    Find<QAction>(f.window, "exportChartAction")->trigger();
    QVERIFY(f.desktop.messages.isEmpty());
    // Each tile is the pattern the cycle shows: DC 512 plus F(u, v) = 512.
    using Key = std::pair<int, int>;
    const auto key = [](const QRect& r) { return Key(r.x(), r.y()); };
    QMap<Key, QString> expected;
    quadrel::DctEngine reference = quadrel::test::ReadyEngine();
    for (int v = 0; v < 8; ++v) {
        for (int u = 0; u < 8; ++u) {
            reference.ResetFreqSpace();
            reference.FreqArray[0][0] = 512;
            reference.FreqArray[u][v] = 512;
            reference.PerformIDCT();
            for (int y = 0; y < 8; ++y) {
                for (int x = 0; x < 8; ++x) {
                    expected.insert(key(quadrel::PatternChartSquare(u, v, x, y)),
                                    Hex(quadrel::GreyLevel(reference.SpaceArray[x][y])));
                }
            }
        }
    }
    QMap<Key, QString> found;
    if (name.endsWith(QLatin1String(".svg"))) {
        for (const SvgRect& r : FilledRects(path)) {
            if (r.rect.size() == QSize(6, 6)) {
                found.insert(key(r.rect), r.fill);
            }
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains(">(3, 5)</text>"));
    } else {
        const QImage chart(path);
        for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
            const QPoint centre(it.key().first + 3, it.key().second + 3);
            found.insert(it.key(), QColor(chart.pixel(centre)).name());
        }
    }
    QCOMPARE(found.size(), 64 * 64);
    QVERIFY(found == expected);
}

void TestDesktopWindow::exportAsksBeforeReplacing_data() {
    QTest::addColumn<QString>("typed");    // the name given in the dialog
    QTest::addColumn<QString>("existing"); // made before the export: "chart.png" or "pipe.png"
    QTest::addColumn<QList<bool>>("replies");
    QTest::addColumn<bool>("replaced");
    QTest::addColumn<QString>("warning"); // part of the warning shown, or empty
    QTest::newRow("new file") << "chart.png"
                              << "" << QList<bool>{} << true << "";
    QTest::newRow("existing, Yes") << "chart.png"
                                   << "chart.png" << QList<bool>{true} << true << "";
    QTest::newRow("existing, No") << "chart.png"
                                  << "chart.png" << QList<bool>{false} << false << "";
    QTest::newRow("suffix added names an existing file")
        << "chart"
        << "chart.png" << QList<bool>{false} << false << "";
    QTest::newRow("FIFO refused at once")
        << "pipe.png"
        << "pipe.png" << QList<bool>{true} << false << "not an ordinary file";
}

void TestDesktopWindow::exportAsksBeforeReplacing() {
    QFETCH(QString, typed);
    QFETCH(QString, existing);
    QFETCH(QList<bool>, replies);
    QFETCH(bool, replaced);
    QFETCH(QString, warning);
    Fixture f;
    const QString path = f.dir.filePath(QStringLiteral("chart.png"));
    if (existing == QLatin1String("pipe.png")) {
        QCOMPARE(mkfifo(QFile::encodeName(f.dir.filePath(existing)), 0600), 0);
    } else if (!existing.isEmpty()) {
        QVERIFY(!f.write(existing, "old").isEmpty());
    }
    f.desktop.answers = {f.dir.filePath(typed)};
    f.desktop.replies = replies;
    Find<QAction>(f.window, "exportChartAction")->trigger();
    QCOMPARE(f.desktop.questions.size(), existing.isEmpty() ? 0 : 1);
    if (!existing.isEmpty()) {
        QVERIFY2(f.desktop.questions[0].contains(f.dir.filePath(existing)),
                 qPrintable(f.desktop.questions[0]));
    }
    QCOMPARE(f.desktop.messages.size(), warning.isEmpty() ? 0 : 1);
    if (!warning.isEmpty()) {
        QVERIFY2(f.desktop.messages[0].contains(warning), qPrintable(f.desktop.messages[0]));
        return;
    }
    QCOMPARE(!QImage(path).isNull(), replaced);
}

void TestDesktopWindow::recentFilesHeldToTheMenu_data() {
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QStringList>("shown");
    QStringList many;
    for (int i = 0; i < 5000; ++i) {
        many << QStringLiteral("/blocks/b%1.txt").arg(i);
    }
    QTest::newRow("5000 entries: the newest eight") << many << many.mid(0, 8);
    QTest::newRow("empty and repeated entries left out")
        << QStringList{"", "/a.txt", "/a.txt", "", "/b.txt"} << QStringList{"/a.txt", "/b.txt"};
}

void TestDesktopWindow::recentFilesHeldToTheMenu() {
    QFETCH(QStringList, stored);
    QFETCH(QStringList, shown);
    QSettings(QStringLiteral("Quadrel"), QStringLiteral("Quadrel"))
        .setValue(QStringLiteral("recentBlockFiles"), stored);
    Fixture f;
    QStringList tips;
    for (const QAction* action : Find<QMenu>(f.window, "recentMenu")->actions()) {
        tips << action->toolTip();
    }
    QCOMPARE(tips, shown);
}

QTEST_MAIN(TestDesktopWindow)
#include "tst_desktop_window.moc"
