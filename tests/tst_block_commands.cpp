// "Load Block" and "Save Block" through the real main window, with the file
// dialog answered by a script (and once by driving Qt's own dialog).
#include "engine/cell_text.h"
#include "main_window/dct_window.h"
#include "tests/support/testutils.h"
#include "views/square_grid.h"

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include <algorithm>

#include <cmath>

using quadrel::DCT;
using Harness = quadrel::test::ScriptedWindow;

using namespace quadrel::test;

namespace {

// Everything a load may change: both blocks and all that the window shows.
struct Snapshot {
    quadrel::Block space, freq;
    QStringList texts;
    QList<QColor> colours;
    QString label1, label2;
    bool operator==(const Snapshot&) const = default;
};

Snapshot Take(DCT& w) {
    Snapshot s{w.Document().Space(),
               w.Document().Freq(),
               {},
               {},
               Find<QLabel>(w, "Label1")->text(),
               Find<QLabel>(w, "Label2")->text()};
    for (int k = 0; k < 64; ++k) {
        s.texts << Cell(w, k)->text();
        s.colours << Shape1(w)->Colour(k);
    }
    return s;
}

void SetSpace(DCT& w, const QList<double>& values) {
    for (int k = 0; k < 64; ++k) {
        w.Document().Engine().SpaceArray[k % 8][k / 8] = values.value(k);
    }
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool WriteAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// What a load must show: the space block as read, its DCT with the frequency
// grid's truncation fed back, and the grey squares.
void VerifyShown(DCT& w, const quadrel::Block& expectedSpace) {
    QCOMPARE(w.Document().Space(), expectedSpace);
    quadrel::DctEngine reference = quadrel::test::ReadyEngine();
    reference.SpaceArray = expectedSpace;
    reference.PerformDCT();
    for (int k = 0; k < 64; ++k) {
        // A cell whose text did not change keeps its exact coefficient, so
        // compare what is shown.
        const std::string shown = quadrel::TruncatedText(reference.FreqArray[k % 8][k / 8]);
        QCOMPARE(quadrel::TruncatedText(w.Document().Freq()[k % 8][k / 8]), shown);
        QCOMPARE(Cell(w, k)->text().toStdString(), shown);
        const int g = quadrel::GreyLevel(expectedSpace[k % 8][k / 8]);
        QCOMPARE(Shape1(w)->Colour(k), QColor(g, g, g));
    }
    QCOMPARE(Find<QLabel>(w, "Label1")->text(), QStringLiteral("Freq. Amplitudes"));
    QCOMPARE(Find<QLabel>(w, "Label2")->text(), QStringLiteral("Pixel Pattern"));
}

} // namespace

class TestBlockCommands : public QObject {
    Q_OBJECT
private slots:
    void saveThenLoadGivesTheTruncatedBlock_data();
    void saveThenLoadGivesTheTruncatedBlock();
    void savedFileBytes();
    void shortAndLongFiles_data();
    void shortAndLongFiles();
    void failedLoadChangesNothing_data();
    void failedLoadChangesNothing();
    void failedOrCancelledSaveKeepsTheFile();
    void saveAsksBeforeReplacing_data();
    void saveAsksBeforeReplacing();
    void replaceQuestionDefaultsToNo();
    void dialogFiltersAndNames();
    void realFileDialog();
};

void TestBlockCommands::saveThenLoadGivesTheTruncatedBlock_data() {
    QTest::addColumn<QList<double>>("space");
    QList<double> ramp, signedBlock;
    for (int k = 0; k < 64; ++k) {
        ramp << k * 4.1;
        signedBlock << (k % 2 ? -1.0 : 1.0) * (k * k * 0.7 + 0.5) * (k == 63 ? 1e12 : 1.0);
    }
    signedBlock[1] = -0.5;
    QTest::newRow("ramp with fractions") << ramp;
    QTest::newRow("signs, -0.5 and a large value") << signedBlock;
    // Transforms of typed 300-digit numbers can pass the ceiling of a cell; the
    // file must still read back, saturated like a typed value.
    QList<double> beyondTheCeiling(64, 5.0);
    beyondTheCeiling[0] = 3e301;
    beyondTheCeiling[9] = -1.5e305;
    QTest::newRow("beyond the ceiling") << beyondTheCeiling;
}

void TestBlockCommands::saveThenLoadGivesTheTruncatedBlock() {
    QFETCH(QList<double>, space);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("round trip.csv"));
    Harness h;
    SetSpace(h.window, space);
    h.window.Document().DCTandDraw();
    h.desktop.answers = {path, path};
    Click(Command1(h.window, 11)); // "Save Block"
    SetSpace(h.window, QList<double>(64, 77.0));
    h.window.Document().DCTandDraw();
    Click(Command1(h.window, 7)); // "Load Block"
    QCOMPARE(h.desktop.messages, QStringList());
    quadrel::Block truncated{};
    for (int k = 0; k < 64; ++k) {
        truncated[k % 8][k / 8] = std::clamp(std::trunc(space[k]), -quadrel::kMaxTextMagnitude,
                                             quadrel::kMaxTextMagnitude) +
                                  0.0;
    }
    VerifyShown(h.window, truncated);
}

void TestBlockCommands::savedFileBytes() {
    // Both blocks exactly as they stand: no transform runs before the save.
    QTemporaryDir dir;
    Harness h;
    for (int x = 0; x < 8; ++x) {
        for (int y = 0; y < 8; ++y) {
            h.window.Document().Engine().SpaceArray[x][y] = (x < 2 || x > 5) ? 255.0 : 0.0;
            h.window.Document().Engine().FreqArray[x][y] = x - y + 0.5;
        }
    }
    h.desktop.answers = {dir.filePath(QStringLiteral("b.txt"))};
    Click(Command1(h.window, 11));
    QByteArray expected = QByteArray("255,255,0,0,0,0,255,255\r\n").repeated(8);
    expected += "# Pixel brightness above, DCT Values below\r\n"
                "0,1,2,3,4,5,6,7\r\n"
                "0,0,1,2,3,4,5,6\r\n"
                "-1,0,0,1,2,3,4,5\r\n"
                "-2,-1,0,0,1,2,3,4\r\n"
                "-3,-2,-1,0,0,1,2,3\r\n"
                "-4,-3,-2,-1,0,0,1,2\r\n"
                "-5,-4,-3,-2,-1,0,0,1\r\n"
                "-6,-5,-4,-3,-2,-1,0,0\r\n";
    QCOMPARE(ReadAll(dir.filePath(QStringLiteral("b.txt"))), expected);
}

void TestBlockCommands::shortAndLongFiles_data() {
    QTest::addColumn<int>("count");
    QTest::newRow("empty file") << 0;
    QTest::newRow("ten values") << 10;
    QTest::newRow("hundred values") << 100;
}

void TestBlockCommands::shortAndLongFiles() {
    QFETCH(int, count);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("values.txt"));
    QByteArray text;
    for (int k = 0; k < count; ++k) {
        text += QByteArray::number(k + 1) + "\n";
    }
    QVERIFY(WriteAll(path, text));
    Harness h;
    SetSpace(h.window, QList<double>(64, 200.0));
    h.desktop.answers = {path};
    Click(Command1(h.window, 7));
    QCOMPARE(h.desktop.messages, QStringList());
    quadrel::Block expected{};
    for (int k = 0; k < 64; ++k) {
        expected[k % 8][k / 8] = k < count ? k + 1.0 : 200.0; // later cells keep theirs
    }
    VerifyShown(h.window, expected); // transformed and redrawn in every case
}

void TestBlockCommands::failedLoadChangesNothing_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("problem");
    QByteArray badLast;
    for (int k = 0; k < 63; ++k) {
        badLast += "9\r\n";
    }
    QTest::newRow("missing file") << QByteArray() << "cannot be opened";
    QTest::newRow("not a number") << QByteArray("1,2\r\n3,x4")
                                  << "Line 2, value 4: \"x4\" is not a number";
    QTest::newRow("nan") << QByteArray("nan") << "Line 1, value 1: \"nan\" is not a finite number";
    QTest::newRow("binary") << QByteArray("\0\x01\x02", 3) << "\"\\x00\\x01\\x02\" is not a number";
    QTest::newRow("over 1 MiB") << QByteArray((1 << 20) + 1, '\n') << "larger than 1 MiB";
    QTest::newRow("bad 64th value") << badLast + "-"
                                    << "Line 64, value 64";
}

void TestBlockCommands::failedLoadChangesNothing() {
    QFETCH(QByteArray, content);
    QFETCH(QString, problem);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bad.txt"));
    if (!content.isEmpty()) {
        QVERIFY(WriteAll(path, content));
    }
    Harness h;
    QList<double> ramp;
    for (int k = 0; k < 64; ++k) {
        ramp << k * 3.5;
    }
    SetSpace(h.window, ramp);
    h.window.Document().DCTandDraw();
    h.window.Document().SetSquaresCaption(QStringLiteral("Freq. Pattern:  1  2"));
    const Snapshot before = Take(h.window);
    h.desktop.answers = {path};
    Click(Command1(h.window, 7));
    QVERIFY(Take(h.window) == before);
    QCOMPARE(h.desktop.messages.size(), 1);
    QVERIFY2(h.desktop.messages[0].startsWith(QStringLiteral("Load Block: ")),
             qPrintable(h.desktop.messages[0]));
    QVERIFY2(h.desktop.messages[0].contains(path), qPrintable(h.desktop.messages[0]));
    QVERIFY2(h.desktop.messages[0].contains(problem), qPrintable(h.desktop.messages[0]));

    h.desktop.answers = {QString()}; // cancelled: nothing read, nothing said
    Click(Command1(h.window, 7));
    QVERIFY(Take(h.window) == before);
    QCOMPARE(h.desktop.messages.size(), 1);
}

void TestBlockCommands::failedOrCancelledSaveKeepsTheFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kept.txt"));
    QVERIFY(WriteAll(path, "1,2,3"));
    Harness h;
    SetSpace(h.window, QList<double>(64, 5.0));
    h.desktop.answers = {path, QString()};
    Click(Command1(h.window, 7));
    Click(Command1(h.window, 11)); // proposes kept.txt, then cancelled
    QCOMPARE(ReadAll(path), QByteArray("1,2,3"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("kept.txt")});

    const QString nowhere = dir.filePath(QStringLiteral("no such folder/block.txt"));
    h.desktop.answers = {nowhere};
    Click(Command1(h.window, 11));
    QCOMPARE(h.desktop.messages.size(), 1);
    QVERIFY2(h.desktop.messages[0].startsWith(QStringLiteral("Save Block: ")),
             qPrintable(h.desktop.messages[0]));
    QVERIFY2(h.desktop.messages[0].contains(nowhere), qPrintable(h.desktop.messages[0]));
    QVERIFY(!QFile::exists(nowhere));
}

void TestBlockCommands::saveAsksBeforeReplacing_data() {
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QList<bool>>("replies");
    QTest::addColumn<QStringList>("names"); // the dialog's answers, "" cancels
    QTest::addColumn<bool>("replaced");
    QTest::addColumn<bool>("otherWritten");
    QTest::newRow("new file") << false << QList<bool>{} << QStringList{"a"} << true << false;
    QTest::newRow("yes") << true << QList<bool>{true} << QStringList{"a"} << true << false;
    QTest::newRow("no, then cancel")
        << true << QList<bool>{false} << QStringList{"a", ""} << false << false;
    QTest::newRow("no, then another name")
        << true << QList<bool>{false} << QStringList{"a", "b"} << false << true;
}

void TestBlockCommands::saveAsksBeforeReplacing() {
    QFETCH(bool, exists);
    QFETCH(QList<bool>, replies);
    QFETCH(QStringList, names);
    QFETCH(bool, replaced);
    QFETCH(bool, otherWritten);
    QTemporaryDir dir;
    const QString a = dir.filePath(QStringLiteral("a"));
    if (exists) {
        QVERIFY(WriteAll(a, "1,2,3"));
    }
    Harness h;
    for (const QString& name : names) {
        h.desktop.answers << (name.isEmpty() ? QString() : dir.filePath(name));
    }
    h.desktop.replies = replies;
    Click(Command1(h.window, 11));
    QCOMPARE(h.desktop.questions.size(), exists ? 1 : 0);
    if (exists) {
        QVERIFY(h.desktop.questions[0].startsWith(QStringLiteral("Save Block: ")));
        QVERIFY(h.desktop.questions[0].contains(QDir::toNativeSeparators(a)));
    }
    // After No the dialog comes back with the refused name proposed.
    QCOMPARE(h.desktop.dialogs.size(), names.size());
    QCOMPARE(h.desktop.dialogs.last().preset, names.size() > 1 ? a : QString());
    QCOMPARE(ReadAll(a).startsWith("1,2,3"), exists && !replaced);
    QCOMPARE(QFile::exists(dir.filePath(QStringLiteral("b"))), otherWritten);
    QCOMPARE(h.desktop.messages, QStringList());
}

void TestBlockCommands::replaceQuestionDefaultsToNo() {
    quadrel::SystemDesktop desktop;
    bool defaultIsNo = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        defaultIsNo = box->standardButton(box->defaultButton()) == QMessageBox::No;
        QTest::keyClick(box, Qt::Key_Return); // takes the default
    });
    QVERIFY(!desktop.AskYesNo(nullptr, QStringLiteral("Save Block"), QStringLiteral("Replace?")));
    QVERIFY(defaultIsNo);
}

void TestBlockCommands::dialogFiltersAndNames() {
    QTemporaryDir dir;
    const QString a = dir.filePath(QStringLiteral("a.txt"));
    const QString b = dir.filePath(QStringLiteral("b.csv"));
    QVERIFY(WriteAll(a, "1"));
    const QString openFilter = QStringLiteral("text, csv files|*.txt;*.csv|all files|*.*");
    const QString saveFilter = QStringLiteral("text, csv files|*.csv;*.txt|all files|*.*");
    const QString preset = quadrel::ProgramFolder() + QStringLiteral("/*.txt");
    Harness h;
    h.desktop.answers = {b, a, QString(), b, QString()};
    h.desktop.replies = {true};    // replace b.csv, saved by the first click
    Click(Command1(h.window, 11)); // first use: nothing proposed
    Click(Command1(h.window, 7));  // starts in the program folder, whatever was used
    Click(Command1(h.window, 11)); // proposes the file just loaded; cancelled
    Click(Command1(h.window, 11)); // still proposes it
    Click(Command1(h.window, 7));  // the program folder again, not b.csv; cancelled
    const QList<quadrel::test::ScriptedDesktop::FileDialog> expected{{true, saveFilter, QString()},
                                                                     {false, openFilter, preset},
                                                                     {true, saveFilter, a},
                                                                     {true, saveFilter, a},
                                                                     {false, openFilter, preset}};
    QVERIFY(h.desktop.dialogs == expected);
}

void TestBlockCommands::realFileDialog() {
    // Qt's own dialog: answered by typing the name and accepting, as a user would.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("real.txt"));
    Harness h;
    h.desktop.realFileDialogs = true;
    DCT& window = h.window;
    QStringList seenFolders;
    const auto answerNextDialog = [&] {
        QTimer::singleShot(0, [&] {
            auto* fileDialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(fileDialog);
            seenFolders << fileDialog->directory().absolutePath();
            fileDialog->selectFile(path);
            QMetaObject::invokeMethod(fileDialog, "accept");
        });
    };
    SetSpace(window, QList<double>(64, 99.5));
    answerNextDialog();
    Click(Command1(window, 11));
    SetSpace(window, QList<double>(64, 0.0));
    answerNextDialog();
    Click(Command1(window, 7));
    QCOMPARE(h.desktop.messages, QStringList());
    QCOMPARE(window.Document().Space()[4][4], 99.0);
    QCOMPARE(seenFolders.value(1), QDir(quadrel::ProgramFolder()).absolutePath());
}

QTEST_MAIN(TestBlockCommands)
#include "tst_block_commands.moc"
