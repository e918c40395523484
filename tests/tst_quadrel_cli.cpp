// quadrel-cli: its replay of the window against the real window, and the
// program itself run as a user runs it.
#include "block_file/block_file_format.h"
#include "cli/window_replay.h"
#include "compression/rate_distortion.h"
#include "engine/cell_text.h"
#include "freq_entry/x_y_entry.h"
#include "main_window/dct_window.h"
#include "quadrel_version.h"
#include "tests/support/jpeg_scan.h"
#include "tests/support/private_device.h"
#include "tests/support/sample_pictures.h"
#include "tests/support/testutils.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <filesystem>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using quadrel::Block;
using quadrel::DCT;
using quadrel::cli::WindowReplay;
using quadrel::test::ScriptedWindow;

using namespace quadrel::test;

namespace {

using quadrel::testing::ScanBytes;

/// A window that has loaded `values` through its own "Load Block".
std::unique_ptr<ScriptedWindow> LoadedWindow(const std::vector<double>& values,
                                             const QTemporaryDir& dir) {
    auto scripted = std::make_unique<ScriptedWindow>();
    const QString path = dir.filePath(QStringLiteral("block.txt"));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    // Every value exactly: 17 significant digits read back to the same double.
    QStringList fields;
    for (double v : values) {
        fields << QString::number(v, 'g', 17);
    }
    file.write(fields.join(QLatin1Char(',')).toLatin1());
    file.close();
    scripted->desktop.answers = {path};
    Click(Command1(scripted->window, 7)); // "Load Block"
    return scripted;
}

QStringList Texts(const DCT& w) {
    QStringList t;
    for (int k = 0; k < 64; ++k) {
        t << Cell(w, k)->text();
    }
    return t;
}

QStringList Texts(const WindowReplay& r) {
    QStringList t;
    for (const std::string& s : r.FreqTexts()) {
        t << QString::fromStdString(s);
    }
    return t;
}

struct Run {
    int exitCode = -1;
    QByteArray out, err;
};

Run Cli(const QStringList& arguments, const QByteArray& input = {}) {
    QProcess p;
    p.start(QStringLiteral(QUADREL_CLI), arguments);
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(30000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

const QByteArray kWorkedExample = "52,55,61,66,70,61,64,73\n63,59,55,90,109,85,69,72\n"
                                  "62,59,68,113,144,104,66,73\n63,58,71,122,154,106,70,69\n"
                                  "67,61,68,104,126,88,68,70\n79,65,60,70,77,68,58,75\n"
                                  "85,71,64,59,55,61,65,83\n87,79,69,68,65,76,78,94\n";

std::vector<double> Values(const QByteArray& text) {
    return quadrel::ParseBlockValues(std::string_view(text.constData(), text.size())).Values;
}

} // namespace

class TestQuadrelCli : public QObject {
    Q_OBJECT
private slots:
    void replayMatchesTheWindow_data();
    void replayMatchesTheWindow();
    void patternMatchesTheDialog();
    void exitStatusAndMessages_data();
    void exitStatusAndMessages();
    void closedStandardStreamsAreReported_data();
    void closedStandardStreamsAreReported();
    void jsonHasTheKeysAndExactNumbers();
    void dctThenIdctIsTheWindowsRoundTrip();
    void outputFileIsReplacedOnlyOnSuccess();
    void compressWritesEveryOutputOrNone_data();
    void compressWritesEveryOutputOrNone();
    void exercisesAreReproducible();
    void exerciseDifficultyHolds_data();
    void exerciseDifficultyHolds();
    void exerciseSheetParts_data();
    void exerciseSheetParts();
    void exerciseLatexPrints_data();
    void exerciseLatexPrints();
    void compressReadsPictures_data();
    void compressReadsPictures();
    void outputTargets_data();
    void outputTargets();
    void namesThatAreNoUtf8_data();
    void namesThatAreNoUtf8();
    void compressColourEqualsLibjpeg_data();
    void compressColourEqualsLibjpeg();
    void uniformStepEqualsCjpegFlatTable_data();
    void uniformStepEqualsCjpegFlatTable();
    void inspectTellsWhatCjpegWrote_data();
    void inspectTellsWhatCjpegWrote();
    void rdRowsEqualCompressRuns_data();
    void rdRowsEqualCompressRuns();
};

void TestQuadrelCli::replayMatchesTheWindow_data() {
    QTest::addColumn<std::vector<double>>("values");
    QTest::addColumn<int>("step");
    std::vector<double> fractions(64);
    std::mt19937 random(3);
    for (double& v : fractions) {
        v = static_cast<double>(static_cast<int>(random() % 60000) - 20000) / 64.0;
    }
    std::vector<double> extremes(64, 0.0);
    extremes[0] = 1e300;
    extremes[9] = -1e300;
    extremes[20] = 0.4;
    QTest::newRow("worked example, step 1") << Values(kWorkedExample) << 1;
    QTest::newRow("worked example, step 16") << Values(kWorkedExample) << 16;
    QTest::newRow("constant 100") << std::vector<double>(64, 100.0) << 16;
    QTest::newRow("fractions and negatives, step 2") << fractions << 2;
    QTest::newRow("extremes, step 512") << extremes << 512;
}

void TestQuadrelCli::replayMatchesTheWindow() {
    QFETCH(std::vector<double>, values);
    QFETCH(int, step);
    QTemporaryDir dir;

    // dct: what Load Block shows and holds.
    auto loaded = LoadedWindow(values, dir);
    DCT& window = loaded->window;
    WindowReplay replay;
    replay.LoadBlock(values);
    QCOMPARE(replay.Engine().FreqArray, window.Document().Freq());
    QCOMPARE(Texts(replay), Texts(window));

    // idct of exactly what dct gives continues that window: Build Picture.
    std::vector<double> shown(64);
    for (std::size_t k = 0; k < 64; ++k) {
        shown[k] = replay.Engine().FreqArray[k % 8][k / 8];
    }
    WindowReplay built;
    built.EnterFrequencies(shown);
    built.BuildPicture();
    Click(Command1(window, 2)); // "Build Picture"
    QCOMPARE(built.Engine().SpaceArray, window.Document().Space());
    QCOMPARE(built.Engine().FreqArray, window.Document().Freq());

    // quant: Load Block, "+"/"-" to the step, Quantise.
    auto quantisedWindow = LoadedWindow(values, dir);
    DCT& quantised = quantisedWindow->window;
    while (quantised.Document().QuantStep() < step) {
        Click(Find<QPushButton>(quantised, "Command2"));
    }
    while (quantised.Document().QuantStep() > step) {
        Click(Find<QPushButton>(quantised, "Command3"));
    }
    Click(Command1(quantised, 6));
    QVERIFY(replay.SetQuantStep(step));
    replay.Quantise();
    QCOMPARE(replay.Engine().FreqArray, quantised.Document().Freq());
    QCOMPARE(replay.Engine().SpaceArray, quantised.Document().Space());

    // idct of whole numbers: as if typed into a fresh window's cells.
    ScriptedWindow typedWindow;
    DCT& typed = typedWindow.window;
    WindowReplay typedReplay;
    std::vector<double> whole(64);
    for (int k = 0; k < 64; ++k) {
        whole[static_cast<std::size_t>(k)] = std::trunc(values[static_cast<std::size_t>(k)] / 7.0);
        Cell(typed, k)->setText(
            QString::fromStdString(quadrel::TruncatedText(whole[static_cast<std::size_t>(k)])));
    }
    Click(Command1(typed, 2));
    typedReplay.EnterFrequencies(whole);
    typedReplay.BuildPicture();
    QCOMPARE(typedReplay.Engine().SpaceArray, typed.Document().Space());
}

void TestQuadrelCli::patternMatchesTheDialog() {
    ScriptedWindow scripted;
    DCT& window = scripted.window;
    Click(Command1(window, 1)); // "View Single DCT Pattern"
    quadrel::X_Y_Entry* dialog = OpenWindow<quadrel::X_Y_Entry>();
    QVERIFY(dialog != nullptr);
    for (auto [u, v] : {std::pair{0, 0}, {3, 5}, {7, 0}, {0, 7}}) {
        QTest::keyClick(Text1(*dialog, 0), char('0' + u));
        QTest::keyClick(Text1(*dialog, 1), char('0' + v));
        WindowReplay replay;
        replay.ShowPattern(u, v);
        QCOMPARE(replay.Engine().SpaceArray, window.Document().Space());
    }
}

void TestQuadrelCli::exitStatusAndMessages_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("expected"); // in standard output when 0, else in standard error
    const QByteArray flat = QByteArray("1,").repeated(63) + "1";
    QTest::newRow("help") << QStringList{"--help"} << QByteArray() << 0 << "pattern U V";
    QTest::newRow("version")
        << QStringList{"--version"} << QByteArray() << 0
        << QStringLiteral("quadrel-cli %1").arg(QLatin1String(quadrel::kVersion));
    QTest::newRow("no command") << QStringList{} << QByteArray() << 2 << "Usage:";
    QTest::newRow("unknown command") << QStringList{"dft"} << flat << 2 << "Usage:";
    QTest::newRow("unknown format") << QStringList{"-f", "yaml", "dct"} << flat << 2 << "yaml";
    QTest::newRow("step no window reaches")
        << QStringList{"quant", "--step", "3"} << flat << 2 << "--step";
    QTest::newRow("option of another command")
        << QStringList{"jpeg", "--step", "4"} << flat << 2 << "--step does not apply to jpeg";
    QTest::newRow("quality 0") << QStringList{"jpeg", "--quality", "0"} << flat << 2 << "--quality";
    QTest::newRow("dct of another command")
        << QStringList{"jpeg", "--dct", "float"} << flat << 2 << "--dct does not apply to jpeg";
    QTest::newRow("dct with Quadrel's step")
        << QStringList{"compress", "p.png", "--step", "4", "--dct", "integer"} << QByteArray() << 2
        << "--dct does not apply to --step";
    QTest::newRow("dct unknown") << QStringList{"compress", "p.png", "--dct", "fast"}
                                 << QByteArray() << 2 << "--dct takes float or integer";
    QTest::newRow("sampling without colour")
        << QStringList{"compress", "p.png", "--sampling", "4:4:4"} << QByteArray() << 2
        << "need --colour";
    QTest::newRow("colour with Quadrel's step")
        << QStringList{"compress", "p.png", "--colour", "--step", "4"} << QByteArray() << 2
        << "not --table, --uniform or --step";
    QTest::newRow("uniform step 256") << QStringList{"compress", "p.png", "--uniform", "256"}
                                      << QByteArray() << 2 << "--uniform takes";
    QTest::newRow("uniform and Quadrel's step")
        << QStringList{"compress", "p.png", "--uniform", "8", "--step", "8"} << QByteArray() << 2
        << "give one of";
    QTest::newRow("sampling unknown")
        << QStringList{"compress", "p.png", "--colour", "--sampling", "4:2:1"} << QByteArray() << 2
        << "--sampling takes";
    QTest::newRow("chroma quality 101")
        << QStringList{"compress", "p.png", "--colour", "--chroma-quality", "101"} << QByteArray()
        << 2 << "--chroma-quality takes";
    QTest::newRow("upsampling unknown")
        << QStringList{"compress", "p.png", "--colour", "--upsampling", "bicubic"} << QByteArray()
        << 2 << "--upsampling takes";
    QTest::newRow("jpeg file with Quadrel's step")
        << QStringList{"compress", "p.png", "--step", "4", "--jpeg", "o.jpg"} << QByteArray() << 2
        << "--jpeg does not apply to --step";
    QTest::newRow("optimize without jpeg")
        << QStringList{"compress", "p.png", "--optimize"} << QByteArray() << 2 << "need --jpeg";
    QTest::newRow("restart 0") << QStringList{"compress", "p.png",     "--jpeg",
                                              "o.jpg",    "--restart", "0"}
                               << QByteArray() << 2 << "--restart takes";
    QTest::newRow("pattern 8") << QStringList{"pattern", "8", "0"} << QByteArray() << 2 << "0 to 7";
    QTest::newRow("exercise without seed")
        << QStringList{"exercise"} << QByteArray() << 2 << "--seed";
    QTest::newRow("difficulty unknown")
        << QStringList{"exercise", "--seed", "1", "--difficulty", "extreme"} << QByteArray() << 2
        << "--difficulty takes easy, medium or hard";
    QTest::newRow("sheet unknown") << QStringList{"exercise", "--seed", "1", "--sheet", "keys"}
                                   << QByteArray() << 2 << "--sheet takes";
    // Steps of 255 leave only the DC, and at most a few ACs, of any block.
    QTest::newRow("difficulty out of reach")
        << QStringList{"exercise", "--seed", "1", "--difficulty", "hard", "--quality", "1"}
        << QByteArray() << 1 << "no hard block for exercise 1 among 4096 candidates at quality 1";
    QTest::newRow("bad value names line and value")
        << QStringList{"dct"} << QByteArray("1,2\n3,abc") << 1
        << "standard input: Line 2, value 4: \"abc\" is not a number.";
    QTest::newRow("endless input without a block")
        << QStringList{"dct"} << QByteArray(2'000'000, ' ') << 1 << "larger than 1 MiB";
    QTest::newRow("too few values")
        << QStringList{"idct", "-"} << QByteArray("1,2,3") << 1 << "3 values found";
    QTest::newRow("no grey level")
        << QStringList{"jpeg"} << "300," + flat.mid(2) << 1 << "value 1 (300) is not a grey level";
    QTest::newRow("value beyond the ceiling")
        << QStringList{"jpeg"} << "1e308," + flat.mid(2) << 1 << "value 1 (1e300 or more) is not";
    QTest::newRow("missing file") << QStringList{"dct", "/nonexistent/b.txt"} << QByteArray() << 1
                                  << "/nonexistent/b.txt: The file cannot be opened";
    QTest::newRow("table with a 0")
        << QStringList{"jpeg", "--table", "-", "/dev/null"} << "0," + flat.mid(2) << 1
        << "value 1 of the quantisation table";
    QTest::newRow("table and block both on standard input")
        << QStringList{"jpeg", "--table", "-"} << flat << 2 << "both come from standard input";
    QTest::newRow("negative previous DC")
        << QStringList{"jpeg", "--prev-dc", "-26"} << kWorkedExample << 0 << "DC difference: 0";
    QTest::newRow("keep 1") << QStringList{"jpeg", "--keep=1"} << kWorkedExample << 0
                            << "Zig-zag sequence: -26, EOB";
    QTest::newRow("lossless says so")
        << QStringList{"jpeg", "--quality", "100"} << flat << 0 << "PSNR (dB): infinite";
    QTest::newRow("help names --chrominance") << QStringList{"--help"} << QByteArray() << 0
                                              << "--chrominance works it as a Cb or Cr block";
    QTest::newRow("chrominance says so")
        << QStringList{"jpeg", "--chrominance"} << flat << 0
        << "Component: chrominance (Cb, Cr): its standard table and Huffman codes";
    QTest::newRow("chrominance is for jpeg only")
        << QStringList{"exercise", "--seed", "1", "--chrominance"} << QByteArray() << 2
        << "--chrominance does not apply to exercise";
    QTest::newRow("rd: quality 0") << QStringList{"rd", "p.png", "--qualities", "0:50:5"}
                                   << QByteArray() << 2 << "--qualities takes A:B:STEP";
    QTest::newRow("rd: a list with a gap") << QStringList{"rd", "p.png", "--qualities", "5,,9"}
                                           << QByteArray() << 2 << "--qualities takes";
    QTest::newRow("rd: sampling without colour")
        << QStringList{"rd", "p.png", "--sampling", "4:4:4"} << QByteArray() << 2
        << "--sampling, --chroma-quality and --upsampling need --colour.";
    QTest::newRow("qualities are for rd only")
        << QStringList{"compress", "p.png", "--qualities", "5"} << QByteArray() << 2
        << "--qualities does not apply to compress";
}

void TestQuadrelCli::exitStatusAndMessages() {
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(int, exitCode);
    QFETCH(QString, expected);
    const Run run = Cli(arguments, input);
    QCOMPARE(run.exitCode, exitCode);
    const QString shown = QString::fromUtf8(exitCode == 0 ? run.out : run.err);
    QVERIFY2(shown.contains(expected), qPrintable(shown.left(400)));
    if (exitCode != 0) {
        QVERIFY(run.out.isEmpty());
    }
}

void TestQuadrelCli::closedStandardStreamsAreReported_data() {
    QTest::addColumn<QString>("command"); // a shell command line; $0 is quadrel-cli
    QTest::addColumn<QString>("expected");
    QTest::newRow("input") << "\"$0\" dct <&-"
                           << "standard input: Standard input is closed.";
    QTest::newRow("table from input") << "\"$0\" jpeg --table - /dev/null <&-"
                                      << "Standard input is closed.";
    QTest::newRow("output") << "\"$0\" pattern 0 0 2>&1 >&-"
                            << "could not be written to standard output";
}

// A closed stream must not be confused with a descriptor the toolkit opens.
void TestQuadrelCli::closedStandardStreamsAreReported() {
    QFETCH(QString, command);
    QFETCH(QString, expected);
    QProcess p;
    p.start(QStringLiteral("sh"), {QStringLiteral("-c"), command, QStringLiteral(QUADREL_CLI)});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 1);
    const QString shown = QString::fromUtf8(p.readAllStandardError() + p.readAllStandardOutput());
    QVERIFY2(shown.contains(expected), qPrintable(shown));
}

void TestQuadrelCli::jsonHasTheKeysAndExactNumbers() {
    const Run run =
        Cli({QStringLiteral("jpeg"), QStringLiteral("--format"), QStringLiteral("json")},
            kWorkedExample);
    QCOMPARE(run.exitCode, 0);
    QJsonParseError error{};
    const QJsonObject o = QJsonDocument::fromJson(run.out, &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    for (const char* key : {"table", "coefficients", "quantised", "dequantised", "zigzag",
                            "symbols", "bits", "reconstruction", "mse", "psnr"}) {
        QVERIFY2(o.contains(QLatin1String(key)), key);
    }
    QCOMPARE(o[QStringLiteral("coefficients")][0][0].toDouble(), -415.375);
    QCOMPARE(o[QStringLiteral("quantised")][0][2].toInt(), -6); // row v = 0, column u = 2
    QCOMPARE(o[QStringLiteral("quantised")][2][0].toInt(), -3);
    QCOMPARE(o[QStringLiteral("zigzag")].toArray().size(), 64);
    const QJsonArray symbols = o[QStringLiteral("symbols")].toArray();
    int total = 0;
    for (const QJsonValue s : symbols) {
        total += s[QStringLiteral("length")].toInt();
    }
    QCOMPARE(symbols.first()[QStringLiteral("code")].toString(), QStringLiteral("110"));
    QCOMPARE(symbols.last()[QStringLiteral("kind")].toString(), QStringLiteral("EOB"));
    QCOMPARE(o[QStringLiteral("bits")][QStringLiteral("total")].toInt(), total);
    QVERIFY(o[QStringLiteral("psnr")].isDouble());
    QVERIFY(!o.contains(QStringLiteral("component")));

    // As a Cb or Cr block: the chrominance table (17 18 ... 99 at quality 50)
    // and codes, DC -415.375 / 17 -> -24, size 5: code 11110, bits 00111.
    const QJsonObject c =
        QJsonDocument::fromJson(Cli({QStringLiteral("jpeg"), QStringLiteral("--chrominance"),
                                     QStringLiteral("--format"), QStringLiteral("json")},
                                    kWorkedExample)
                                    .out)
            .object();
    QCOMPARE(c[QStringLiteral("component")].toString(), QStringLiteral("chrominance"));
    QCOMPARE(c[QStringLiteral("table")][0][0].toInt(), 17);
    QCOMPARE(c[QStringLiteral("table")][0][1].toInt(), 18);
    QCOMPARE(c[QStringLiteral("table")][7][7].toInt(), 99);
    const QJsonArray chroma = c[QStringLiteral("symbols")].toArray();
    QCOMPARE(chroma.first()[QStringLiteral("code")].toString(), QStringLiteral("11110"));
    QCOMPARE(chroma.first()[QStringLiteral("amplitude_bits")].toString(), QStringLiteral("00111"));
    QCOMPARE(chroma.last()[QStringLiteral("code")].toString(), QStringLiteral("00"));

    // dct: every double reads back to the window's own bits, residues included.
    const Run dct =
        Cli({QStringLiteral("dct"), QStringLiteral("-f"), QStringLiteral("json")}, kWorkedExample);
    WindowReplay replay;
    replay.LoadBlock(Values(kWorkedExample));
    const QJsonArray rows =
        QJsonDocument::fromJson(dct.out)[QStringLiteral("coefficients")].toArray();
    for (int v = 0; v < 8; ++v) {
        for (int u = 0; u < 8; ++u) {
            QCOMPARE(rows[v][u].toDouble(), replay.Engine().FreqArray[u][v]);
        }
    }
}

void TestQuadrelCli::dctThenIdctIsTheWindowsRoundTrip() {
    // A lone block is written as a block file, so the two commands chain.
    const QByteArray flat = QByteArray("100\n").repeated(64);
    const Run dct = Cli({QStringLiteral("dct"), QStringLiteral("--format=csv")}, flat);
    QCOMPARE(dct.out.left(4), QByteArray("400,"));
    const Run idct = Cli({QStringLiteral("idct"), QStringLiteral("--format=json")}, dct.out);
    const QJsonArray rows = QJsonDocument::fromJson(idct.out)[QStringLiteral("pixels")].toArray();
    int below = 0;
    for (const QJsonValue row : rows) {
        for (const QJsonValue p : row.toArray()) {
            below += p.toDouble() < 100.0 ? 1 : 0;
        }
    }
    QCOMPARE(below, 41);
}

void TestQuadrelCli::outputFileIsReplacedOnlyOnSuccess() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("key.md"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    const QStringList arguments = {QStringLiteral("jpeg"), QStringLiteral("-f"),
                                   QStringLiteral("markdown"), QStringLiteral("-o"), path};
    QCOMPARE(Cli(arguments, "1,2,x").exitCode, 1);
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("old"));
    old.close();
    QCOMPARE(Cli(arguments, kWorkedExample).exitCode, 0);
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), Cli(arguments.mid(0, 3), kWorkedExample).out);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("key.md")});
    QCOMPARE(Cli({QStringLiteral("pattern"), QStringLiteral("1"), QStringLiteral("1"),
                  QStringLiteral("-o"), dir.filePath(QStringLiteral("none/x"))})
                 .exitCode,
             1);
}

void TestQuadrelCli::compressWritesEveryOutputOrNone_data() {
    QTest::addColumn<QString>("output"); // file names in a fresh folder; empty as given
    QTest::addColumn<QString>("diff");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("both written") << "r.png"
                                  << "d.png" << 0 << "";
    QTest::newRow("--diff cannot be created: -o not written either")
        << "r.png"
        << "none/d.png" << 1 << "none/d.png: The file cannot be created";
    QTest::newRow("empty -o") << ""
                              << "d.png" << 2 << "-o needs a file name";
    QTest::newRow("empty --diff") << "r.png"
                                  << "" << 2 << "--diff needs a file name";
    QTest::newRow("one file named twice") << "same.png"
                                          << "./same.png" << 2 << "the same file";
    QTest::newRow("--diff to a full device: -o not written either")
        << "r.png"
        << "/dev/full" << 1 << "No space left on device";
    QTest::newRow("-o to standard output, where the report goes")
        << "-"
        << "d.png" << 2 << "name a file for each picture";
}

void TestQuadrelCli::compressWritesEveryOutputOrNone() {
    QFETCH(QString, output);
    QFETCH(QString, diff);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString picture = dir.filePath(QStringLiteral("in.pgm"));
    QImage grey(24, 16, QImage::Format_Grayscale8);
    grey.fill(90);
    QVERIFY(grey.save(picture));
    const auto named = [&dir](const QString& name) {
        if (name.startsWith('/')) {
            return QFile::decodeName(
                PrivateDevice(QFile::encodeName(name), QFile::encodeName(dir.path() + '/')));
        }
        return name.isEmpty() || name == QLatin1String("-") ? name : dir.filePath(name);
    };
    const Run run = Cli({QStringLiteral("compress"), picture, QStringLiteral("-o"), named(output),
                         QStringLiteral("--diff"), named(diff)});
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(QString::fromUtf8(run.err).contains(message), run.err.constData());
    const QStringList expected =
        exitCode == 0 ? QStringList{"d.png", "in.pgm", "r.png"} : QStringList{"in.pgm"};
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files, QDir::Name), expected);
}

void TestQuadrelCli::exercisesAreReproducible() {
    const QStringList three = {QStringLiteral("exercise"), QStringLiteral("--seed"),
                               QStringLiteral("5"),        QStringLiteral("--count"),
                               QStringLiteral("3"),        QStringLiteral("-f"),
                               QStringLiteral("json")};
    const Run first = Cli(three);
    QCOMPARE(first.exitCode, 0);
    QCOMPARE(Cli(three).out, first.out);
    const QJsonArray list =
        QJsonDocument::fromJson(first.out)[QStringLiteral("exercises")].toArray();
    QCOMPARE(list.size(), 3);
    const Run one = Cli(three.mid(0, 3) + three.mid(5));
    const QJsonValue alone = QJsonDocument::fromJson(one.out)[QStringLiteral("exercises")][0];
    QCOMPARE(alone[QStringLiteral("block")], list[0][QStringLiteral("block")]);
    QVERIFY(list[0][QStringLiteral("block")] != list[1][QStringLiteral("block")]);
}

void TestQuadrelCli::exerciseDifficultyHolds_data() {
    QTest::addColumn<QString>("difficulty");
    QTest::addColumn<QString>("quality");
    QTest::addColumn<int>("least");
    QTest::addColumn<int>("most");
    QTest::newRow("easy") << "easy"
                          << "50" << 1 << 4;
    QTest::newRow("medium") << "medium"
                            << "50" << 5 << 12;
    QTest::newRow("hard") << "hard"
                          << "50" << 13 << 64;
    QTest::newRow("easy, fine steps") << "easy"
                                      << "95" << 1 << 4;
    QTest::newRow("hard, coarse steps") << "hard"
                                        << "35" << 13 << 64;
}

// Counted from the grid the sheet prints, not by the code that chose the block.
void TestQuadrelCli::exerciseDifficultyHolds() {
    QFETCH(QString, difficulty);
    QFETCH(QString, quality);
    QFETCH(int, least);
    QFETCH(int, most);
    for (const char* seed : {"0", "1", "12345", "9007199254740991"}) {
        const Run run = Cli({"exercise", "--seed", seed, "--count", "50", "--difficulty",
                             difficulty, "--quality", quality, "-f", "json"});
        QCOMPARE(run.exitCode, 0);
        const QJsonArray list =
            QJsonDocument::fromJson(run.out)[QStringLiteral("exercises")].toArray();
        QCOMPARE(list.size(), 50);
        for (const QJsonValue exercise : list) {
            int nonZero = 0;
            for (const QJsonValue row : exercise[QStringLiteral("quantised")].toArray()) {
                for (const QJsonValue index : row.toArray()) {
                    nonZero += int{index.toInt() != 0};
                }
            }
            QVERIFY2(nonZero >= least && nonZero <= most, qPrintable(QString::number(nonZero)));
            QVERIFY(exercise[QStringLiteral("bits")][QStringLiteral("total")].toInt() > 0);
        }
    }
}

void TestQuadrelCli::exerciseSheetParts_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<QStringList>("answers"); // each in every key, none in a questions sheet
    QTest::addColumn<QString>("task");        // in every questions sheet
    QTest::addColumn<QString>("block");       // in the questions, not in the answers
    QTest::newRow("text") << "text" << QStringList{"\nQuantised\n", "Total:", "Zig-zag sequence:"}
                          << "\nTasks\n"
                          << "\nBlock\n";
    QTest::newRow("markdown") << "markdown"
                              << QStringList{"**Quantised**", "| Total |", "**Symbols**"}
                              << "**Tasks**"
                              << "**Block**";
    QTest::newRow("latex") << "latex"
                           << QStringList{"\\textbf{Quantised}", "Total &", "\\textbf{Symbols}"}
                           << "\\textbf{Tasks}"
                           << "\\textbf{Block}";
    QTest::newRow("csv") << "csv" << QStringList{"\nquantised\n", "bits.total,", "\nsymbols\n"}
                         << "\ntasks\n"
                         << "\nblock\n";
    QTest::newRow("json") << "json" << QStringList{"\"quantised\"", "\"total\"", "\"symbols\""}
                          << "\"tasks\""
                          << "\"block\"";
}

void TestQuadrelCli::exerciseSheetParts() {
    QFETCH(QString, format);
    QFETCH(QStringList, answers);
    QFETCH(QString, task);
    QFETCH(QString, block);
    const QStringList common{"exercise", "--seed", "21", "--count", "3", "-f", format};
    const QString questions =
        QString::fromUtf8(Cli(common + QStringList{"--sheet", "questions"}).out);
    const QString keys = QString::fromUtf8(Cli(common + QStringList{"--sheet", "answers"}).out);
    const Run both = Cli(common);
    QCOMPARE(both.exitCode, 0);
    // The default is the sheet as it always was: --sheet both says nothing new.
    QCOMPARE(Cli(common + QStringList{"--sheet", "both"}).out, both.out);
    for (const QString& answer : answers) {
        QVERIFY2(keys.contains(answer) && QString::fromUtf8(both.out).contains(answer),
                 qPrintable(answer));
        QVERIFY2(!questions.contains(answer), qPrintable(answer));
    }
    QVERIFY(questions.contains(task));
    // The questions give the block; the answers point to it by number.
    QVERIFY(questions.contains(block));
    QVERIFY(!keys.contains(block));
}

void TestQuadrelCli::exerciseLatexPrints_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("pages"); // 0: not counted
    QTest::newRow("questions") << QStringList{"--sheet", "questions"} << 12;
    QTest::newRow("answers") << QStringList{"--sheet", "answers"} << 0;
    QTest::newRow("both") << QStringList{} << 0;
    // The widest numbers and the longest symbol lists.
    QTest::newRow("hard at quality 100")
        << QStringList{"--difficulty", "hard", "--quality", "100"} << 0;
    QTest::newRow("easy at quality 5")
        << QStringList{"--difficulty", "easy", "--quality", "5"} << 0;
}

void TestQuadrelCli::exerciseLatexPrints() {
    QFETCH(QStringList, arguments);
    QFETCH(int, pages);
    const QString pdflatex = QStandardPaths::findExecutable(QStringLiteral("pdflatex"));
    if (pdflatex.isEmpty()) {
        QSKIP("pdflatex (texlive-latex-base) is not installed.");
    }
    QTemporaryDir dir;
    const QString tex = dir.filePath(QStringLiteral("sheet.tex"));
    QCOMPARE(Cli(QStringList{"exercise", "--seed", "8", "--count", "12", "-f", "latex", "-o", tex} +
                 arguments)
                 .exitCode,
             0);
    QProcess latex;
    latex.setWorkingDirectory(dir.path());
    latex.start(pdflatex, {QStringLiteral("-interaction=nonstopmode"),
                           QStringLiteral("-halt-on-error"), QStringLiteral("sheet.tex")});
    QVERIFY(latex.waitForFinished(120000));
    QFile logFile(dir.filePath(QStringLiteral("sheet.log")));
    QVERIFY(logFile.open(QIODevice::ReadOnly));
    const QString log = QString::fromLatin1(logFile.readAll());
    QVERIFY2(latex.exitCode() == 0, qPrintable(log.right(2000)));
    // Neither a line too wide nor a page too tall, by more than a point.
    static const QRegularExpression overfull(
        QStringLiteral("Overfull \\\\[hv]box \\((\\d+\\.?\\d*)pt too (wide|high)"));
    for (const QRegularExpressionMatch& m : overfull.globalMatch(log)) {
        QVERIFY2(m.captured(1).toDouble() <= 1.0, qPrintable(m.captured(0)));
    }
    // Each block with its tasks alone on its page.
    if (pages > 0) {
        QVERIFY2(log.contains(QStringLiteral("(%1 pages").arg(pages)), qPrintable(log.right(400)));
    }
}

void TestQuadrelCli::compressReadsPictures_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("size"); // empty: refused
    QTest::addColumn<QString>("problem");
    const auto picture = [](int w, int h) {
        QImage image(w, h, QImage::Format_RGB32);
        for (int k = 0; k < w * h; ++k) {
            const int x = k % w, y = k / w;
            image.setPixel(x, y, qRgb(x % 256, y % 256, (x * 7 + y * 13) % 256));
        }
        return image;
    };
    const QByteArray jpeg = Encoded(picture(40, 30), "jpeg");
    const QByteArray tiff = Encoded(picture(40, 30), "tiff");
    const QByteArray webp = Encoded(picture(40, 30), "webp");
    // Refused with one line of our own on standard error, nothing from the
    // libraries beneath Qt.
    QTest::newRow("JPEG with its scan damaged")
        << WithDamagedScan(Encoded(picture(320, 240), "jpeg"), 200, 1) << QSize() << "corrupt";
    QTest::newRow("truncated TIFF") << tiff.left(tiff.size() / 2) << QSize() << "truncated";
    QTest::newRow("PNG cut in its header")
        << Encoded(picture(40, 30), "png").left(40) << QSize() << "truncated";
    QTest::newRow("truncated WebP") << webp.chopped(30) << QSize() << "truncated";
    QTest::newRow("WebP") << webp << QSize(40, 30) << "";
    QTest::newRow("JPEG with stray bytes between its headers")
        << WithStrayHeaderBytes(jpeg, 3) << QSize(40, 30) << "";
    QTest::newRow("JPEG stored on its side: coded upright")
        << WithExifOrientation(jpeg, 6) << QSize(30, 40) << "";
}

void TestQuadrelCli::compressReadsPictures() {
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, size);
    QFETCH(QString, problem);
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("picture")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();
    const Run run = Cli({QStringLiteral("compress"), file.fileName(), QStringLiteral("-f"),
                         QStringLiteral("json")});
    if (size.isEmpty()) {
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.startsWith("quadrel-cli: ") && run.err.count('\n') == 1 &&
                     run.err.endsWith('\n') && run.err.contains(problem.toUtf8()),
                 run.err.constData());
        return;
    }
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.exitCode, 0);
    const QJsonDocument json = QJsonDocument::fromJson(run.out);
    QCOMPARE(QSize(json[QStringLiteral("width")].toInt(), json[QStringLiteral("height")].toInt()),
             size);
}

namespace {

QByteArray Program(const QString& name, const QStringList& arguments) {
    QProcess p;
    p.start(QStandardPaths::findExecutable(name), arguments);
    p.waitForFinished(30000);
    return p.readAllStandardOutput();
}

} // namespace

void TestQuadrelCli::compressColourEqualsLibjpeg_data() {
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("cjpeg");
    QTest::addColumn<QStringList>("djpeg");
    QTest::newRow("RGB, default 4:2:0, smooth")
        << QImage::Format_RGB32 << QStringList{"--quality", "80"}
        << QStringList{"-quality", "80", "-sample", "2x2"} << QStringList{};
    QTest::newRow("transparent on white, 4:2:2 at 90,60, box")
        << QImage::Format_ARGB32 << QStringList{"--quality",  "90",    "--chroma-quality", "60",
                                                "--sampling", "4:2:2", "--upsampling",     "box"}
        << QStringList{"-quality", "90,60", "-sample", "2x1"} << QStringList{"-nosmooth"};
    QTest::newRow("grey as one component")
        << QImage::Format_Grayscale8 << QStringList{"--sampling", "4:1:1"}
        << QStringList{"-quality", "50"} << QStringList{};
}

// The report's bytes are cjpeg's scan; -o is djpeg's picture; --diff its difference.
void TestQuadrelCli::compressColourEqualsLibjpeg() {
    QFETCH(QImage::Format, format);
    QFETCH(QStringList, options);
    QFETCH(QStringList, cjpeg);
    QFETCH(QStringList, djpeg);
    if (QStandardPaths::findExecutable(QStringLiteral("cjpeg")).isEmpty()) {
        QSKIP("cjpeg/djpeg (libjpeg-turbo-progs) are not installed.");
    }
    QImage picture(77, 45, format);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            picture.setPixel(
                x, y,
                format == QImage::Format_Grayscale8
                    ? uint((x * 5 + y * 3) % 256)
                    : qRgba((x * 13) % 256, (y * 29) % 256, (x * y) % 256, (x + y) % 256));
        }
    }
    const bool grey = format == QImage::Format_Grayscale8;
    // What the codec sees: transparency laid on white, as the program lays it.
    QImage seen(picture.size(), grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    seen.fill(Qt::white);
    QPainter(&seen).drawImage(0, 0, picture);
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("in.png"));
    const QString pnm = dir.filePath(grey ? QStringLiteral("in.pgm") : QStringLiteral("in.ppm"));
    const QString jpg = dir.filePath(QStringLiteral("out.jpg"));
    const QString rebuilt = dir.filePath(QStringLiteral("rebuilt.png"));
    const QString diff = dir.filePath(QStringLiteral("diff.png"));
    const QString ours = dir.filePath(QStringLiteral("ours.jpg"));
    QVERIFY(picture.save(png) && seen.save(pnm));
    Program(QStringLiteral("cjpeg"),
            QStringList{"-baseline", "-dct", "float"} + cjpeg + QStringList{"-outfile", jpg, pnm});
    QFile file(jpg);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QImage theirs =
        QImage::fromData(Program(QStringLiteral("djpeg"),
                                 QStringList{"-dct", "float", "-pnm"} + djpeg + QStringList{jpg}))
            .convertToFormat(seen.format());
    QVERIFY(!theirs.isNull());

    const Run run = Cli(QStringList{"compress", png, "--colour", "-f", "json", "-o", rebuilt,
                                    "--diff", diff, "--jpeg", ours} +
                        options);
    QCOMPARE(run.exitCode, 0);
    const QJsonObject json = QJsonDocument::fromJson(run.out).object();
    const QByteArray cjpegFile = file.readAll();
    QCOMPARE(json[QStringLiteral("bytes")].toInteger(), ScanBytes(cjpegFile));
    QFile ourFile(ours);
    QVERIFY(ourFile.open(QIODevice::ReadOnly));
    QCOMPARE(ourFile.readAll(), cjpegFile);
    QCOMPARE(json[QStringLiteral("file_bytes")].toInteger(), cjpegFile.size());
    qint64 bits = 0;
    QStringList names;
    for (const QJsonValue c : json[QStringLiteral("components")].toArray()) {
        bits += c[QStringLiteral("bits")].toInteger();
        names << c[QStringLiteral("name")].toString();
    }
    QCOMPARE(bits, json[QStringLiteral("bits")].toInteger());
    const QStringList components = grey ? QStringList{"Y"} : QStringList{"Y", "Cb", "Cr"};
    QCOMPARE(names, components);
    QCOMPARE(QImage(rebuilt).convertToFormat(seen.format()), theirs);
    QImage expected(seen.size(), seen.format());
    for (int y = 0; y < seen.height(); ++y) {
        for (qsizetype i = 0; i < seen.bytesPerLine(); ++i) {
            const int d = 128 + 8 * (seen.constScanLine(y)[i] - theirs.constScanLine(y)[i]);
            expected.scanLine(y)[i] = uchar(std::clamp(d, 0, 255));
        }
    }
    QCOMPARE(QImage(diff).convertToFormat(seen.format()), expected);
}

void TestQuadrelCli::uniformStepEqualsCjpegFlatTable_data() {
    QTest::addColumn<int>("step");
    QTest::addColumn<QString>("dct");
    QTest::newRow("step 3, float DCT") << 3 << QStringLiteral("float");
    QTest::newRow("step 40, integer DCT") << 40 << QStringLiteral("integer");
}

// --uniform S and the sweep's uniform curve are cjpeg with a flat table of S:
// -quality 50 leaves a -qtables table unscaled.
void TestQuadrelCli::uniformStepEqualsCjpegFlatTable() {
    QFETCH(int, step);
    QFETCH(QString, dct);
    if (QStandardPaths::findExecutable(QStringLiteral("cjpeg")).isEmpty()) {
        QSKIP("cjpeg (libjpeg-turbo-progs) is not installed.");
    }
    QImage picture(75, 53, QImage::Format_Grayscale8);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            picture.scanLine(y)[x] = uchar((x * x + 7 * y + x * y / 3) % 256);
        }
    }
    QTemporaryDir dir;
    const QString pgm = dir.filePath(QStringLiteral("in.pgm"));
    const QString tables = dir.filePath(QStringLiteral("flat.txt"));
    const QString jpg = dir.filePath(QStringLiteral("theirs.jpg"));
    const QString ours = dir.filePath(QStringLiteral("ours.jpg"));
    QVERIFY(picture.save(pgm));
    QFile table(tables);
    QVERIFY(table.open(QIODevice::WriteOnly));
    table.write((QByteArray::number(step) + ' ').repeated(64));
    table.close();
    const QStringList method =
        dct == QLatin1String("float") ? QStringList{"-dct", "float"} : QStringList{};
    Program(QStringLiteral("cjpeg"),
            QStringList{"-baseline", "-quality", "50", "-qtables", tables, "-qslots", "0"} +
                method + QStringList{"-outfile", jpg, pgm});
    QFile file(jpg);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray theirs = file.readAll();

    const Run run = Cli({"compress", pgm, "--uniform", QString::number(step), "--dct", dct, "-f",
                         "json", "--jpeg", ours});
    QCOMPARE(run.exitCode, 0);
    const QJsonObject json = QJsonDocument::fromJson(run.out).object();
    QCOMPARE(json[QStringLiteral("mode")].toString(), QStringLiteral("uniform-step"));
    QCOMPARE(json[QStringLiteral("bytes")].toInteger(), ScanBytes(theirs));
    QFile ourFile(ours);
    QVERIFY(ourFile.open(QIODevice::ReadOnly));
    QCOMPARE(ourFile.readAll(), theirs);
    const quadrel::GreySweep sweep(picture, dct == QLatin1String("float")
                                                ? quadrel::jpeg::DctMethod::Float
                                                : quadrel::jpeg::DctMethod::Integer);
    const std::optional<quadrel::RatePoint> point =
        sweep.At(quadrel::GreyRule::FlatTable, step, false);
    QVERIFY(point);
    QCOMPARE(point->Bytes, ScanBytes(theirs));
}

void TestQuadrelCli::inspectTellsWhatCjpegWrote_data() {
    QTest::addColumn<QStringList>("cjpeg"); // empty: a PNG file, no JPEG
    QTest::addColumn<bool>("cut");          // the file ends inside its scan
    QTest::addColumn<QString>("process");
    QTest::addColumn<QString>("sampling");
    QTest::addColumn<QList<int>>("sampling1"); // the first component's H and V
    QTest::addColumn<int>("quality");
    QTest::addColumn<int>("restart");
    QTest::addColumn<int>("scans");
    QTest::addColumn<QPoint>("block"); // of component 0; (-1, -1) for none
    QTest::newRow("grey q75") << QStringList{"-grayscale", "-quality", "75"} << false << "baseline"
                              << "" << QList{1, 1} << 75 << 0 << 1 << QPoint(3, 4);
    QTest::newRow("4:2:0 q60, restart every 2 MCUs")
        << QStringList{"-quality", "60", "-sample", "2x2", "-restart", "2B"} << false << "baseline"
        << "4:2:0" << QList{2, 2} << 60 << 2 << 1 << QPoint(5, 7);
    QTest::newRow("progressive q90")
        << QStringList{"-progressive", "-quality", "90"} << false << "progressive"
        << "4:2:0" << QList{2, 2} << 90 << 0 << 10 << QPoint(19, 14);
    QTest::newRow("truncated") << QStringList{"-quality", "75"} << true << "baseline"
                               << "4:2:0" << QList{2, 2} << 75 << 0 << 1 << QPoint(-1, -1);
    QTest::newRow("not a JPEG") << QStringList{} << false << ""
                                << "" << QList<int>{} << 0 << 0 << 0 << QPoint(-1, -1);
}

// Every fact is one cjpeg's options set; the samples of a block are djpeg
// -dct float's pixels (Y alone: djpeg -grayscale), bit for bit.
void TestQuadrelCli::inspectTellsWhatCjpegWrote() {
    QFETCH(QStringList, cjpeg);
    QFETCH(bool, cut);
    QFETCH(QString, process);
    QFETCH(QString, sampling);
    QFETCH(QList<int>, sampling1);
    QFETCH(int, quality);
    QFETCH(int, restart);
    QFETCH(int, scans);
    QFETCH(QPoint, block);
    if (QStandardPaths::findExecutable(QStringLiteral("cjpeg")).isEmpty()) {
        QSKIP("cjpeg/djpeg (libjpeg-turbo-progs) are not installed.");
    }
    QImage picture(160, 120, QImage::Format_RGB888);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const int wave = static_cast<int>(60 * std::sin((x * x + y * 7) / 300.0));
            picture.setPixel(x, y,
                             qRgb(std::clamp(x + wave + 40, 0, 255), (y * 2) % 256,
                                  std::clamp(200 - x + wave, 0, 255)));
        }
    }
    QTemporaryDir dir;
    const QString ppm = dir.filePath(QStringLiteral("in.ppm"));
    const QString jpg = dir.filePath(QStringLiteral("in.jpg"));
    QVERIFY(picture.save(ppm));
    if (cjpeg.isEmpty()) {
        QVERIFY(picture.save(jpg, "PNG")); // a JPEG's name is not enough
    } else {
        Program(QStringLiteral("cjpeg"),
                QStringList{"-dct", "float"} + cjpeg + QStringList{"-outfile", jpg, ppm});
    }
    if (cut) {
        QFile file(jpg);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.resize(file.size() * 3 / 4));
    }
    const Run run =
        Cli({QStringLiteral("inspect"), jpg, QStringLiteral("-f"), QStringLiteral("json")});
    if (cjpeg.isEmpty()) {
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains("not a JPEG"), run.err.constData());
        QVERIFY(run.out.isEmpty());
        return;
    }
    QCOMPARE(run.exitCode, 0);
    QJsonParseError error{};
    const QJsonObject o = QJsonDocument::fromJson(run.out, &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);

    const bool grey = cjpeg.contains(QStringLiteral("-grayscale"));
    const bool progressive = process == QLatin1String("progressive");
    QStringList markers;
    for (const QJsonValue s : o[QStringLiteral("segments")].toArray()) {
        markers << s[QStringLiteral("marker")].toString();
    }
    QStringList expected{"SOI", "APP0", "DQT"};
    expected += grey ? QStringList{} : QStringList{"DQT"};
    expected << (progressive ? "SOF2" : "SOF0");
    if (!progressive) {
        expected += grey ? QStringList{"DHT", "DHT"} : QStringList{"DHT", "DHT", "DHT", "DHT"};
        expected += restart > 0 ? QStringList{"DRI"} : QStringList{};
        expected << "SOS";
        expected += cut ? QStringList{} : QStringList{"EOI"};
        QCOMPARE(markers, expected);
    } else { // each scan brings its own Huffman tables
        QCOMPARE(markers.mid(0, expected.size()), expected);
        QCOMPARE(markers.count(QStringLiteral("SOS")), scans);
        QCOMPARE(markers.last(), QStringLiteral("EOI"));
    }
    const QJsonObject frame = o[QStringLiteral("frame")].toObject();
    QCOMPARE(frame[QStringLiteral("process")].toString(), process);
    QCOMPARE(frame[QStringLiteral("width")].toInt(), 160);
    QCOMPARE(frame[QStringLiteral("height")].toInt(), 120);
    QCOMPARE(frame[QStringLiteral("precision")].toInt(), 8);
    const QJsonArray components = frame[QStringLiteral("components")].toArray();
    QCOMPARE(components.size(), grey ? 1 : 3);
    QCOMPARE(components[0][QStringLiteral("h")].toInt(), sampling1[0]);
    QCOMPARE(components[0][QStringLiteral("v")].toInt(), sampling1[1]);
    if (!grey) {
        QCOMPARE(frame[QStringLiteral("sampling")].toString(), sampling);
        QCOMPARE(components[2][QStringLiteral("table")].toInt(), 1);
    }
    const int mcu = 8 * sampling1[0];
    QCOMPARE(frame[QStringLiteral("mcu")][QStringLiteral("width")].toInt(), mcu);
    QCOMPARE(frame[QStringLiteral("mcu")][QStringLiteral("across")].toInt(), (160 + mcu - 1) / mcu);
    const QJsonArray tables = o[QStringLiteral("tables")][QStringLiteral("quantisation")].toArray();
    QCOMPARE(tables.size(), grey ? 1 : 2);
    for (const QJsonValue t : tables) {
        QCOMPARE(t[QStringLiteral("quality_estimate")].toInt(), quality);
        QCOMPARE(t[QStringLiteral("exact")].toBool(), true);
        QCOMPARE(t[QStringLiteral("values")].toArray().size(), 64);
    }
    // The luminance table at the quality, as cjpeg scales it, row by row.
    const QJsonArray luminance = tables[0][QStringLiteral("values")].toArray();
    const int scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
    QCOMPARE(luminance[1].toInt(), std::clamp((11 * scale + 50) / 100, 1, 255));
    QCOMPARE(luminance[8].toInt(), std::clamp((12 * scale + 50) / 100, 1, 255));
    QCOMPARE(o[QStringLiteral("restart_interval")].toInt(), restart);
    const QJsonArray scanList = o[QStringLiteral("scans")].toArray();
    QCOMPARE(scanList.size(), scans);
    const QJsonObject first = scanList[0].toObject();
    QCOMPARE(first[QStringLiteral("components")].toArray().size(), grey ? 1 : 3);
    QCOMPARE(first[QStringLiteral("se")].toInt(), progressive ? 0 : 63);
    QCOMPARE(first[QStringLiteral("al")].toInt(), progressive ? 1 : 0); // cjpeg's script
    if (restart > 0) {                                                  // 10 x 8 MCUs
        QCOMPARE(first[QStringLiteral("restarts")].toInt(), (10 * 8 + restart - 1) / restart - 1);
    }
    QCOMPARE(o[QStringLiteral("truncated")].toBool(), cut);
    QCOMPARE(o[QStringLiteral("warnings")].toArray().isEmpty(), !cut);
    QCOMPARE(o[QStringLiteral("bytes_after_eoi")].toInt(), 0);
    QVERIFY(!o.contains(QStringLiteral("exif")));
    if (block.x() < 0) {
        return;
    }

    const QStringList at{QStringLiteral("--block"), QString::number(block.x()),
                         QString::number(block.y())};
    const Run inspected = Cli(
        QStringList{QStringLiteral("inspect"), jpg, QStringLiteral("-f"), QStringLiteral("json")} +
        at);
    QCOMPARE(inspected.exitCode, 0);
    const QJsonObject b =
        QJsonDocument::fromJson(inspected.out)[QStringLiteral("block")].toObject();
    const QImage theirs = QImage::fromData(Program(QStringLiteral("djpeg"),
                                                   {"-dct", "float", "-grayscale", "-pnm", jpg}))
                              .convertToFormat(QImage::Format_Grayscale8);
    QVERIFY(!theirs.isNull());
    const QJsonArray samples = b[QStringLiteral("samples")].toArray();
    const QJsonArray coefficients = b[QStringLiteral("coefficients")].toArray();
    const QJsonArray dequantised = b[QStringLiteral("dequantised")].toArray();
    for (int r = 0; r < 8; ++r) {
        for (int c = 0; c < 8; ++c) {
            QCOMPARE(samples[r][c].toInt(),
                     int(theirs.constScanLine(block.y() * 8 + r)[block.x() * 8 + c]));
            QCOMPARE(dequantised[r][c].toInt(),
                     coefficients[r][c].toInt() * luminance[r * 8 + c].toInt());
        }
    }
    if (progressive) {
        QVERIFY(!b.contains(QStringLiteral("symbols")));
    } else {
        // The symbols fill the block's bits exactly, the DC first.
        const QJsonArray symbols = b[QStringLiteral("symbols")].toArray();
        QVERIFY(!symbols.isEmpty());
        QCOMPARE(symbols[0][QStringLiteral("kind")].toString(), QStringLiteral("DC"));
        QCOMPARE(symbols[0][QStringLiteral("bit_offset")].toInteger(),
                 b[QStringLiteral("bit_offset")].toInteger());
        qint64 bits = 0;
        for (const QJsonValue s : symbols) {
            bits += s[QStringLiteral("code")].toString().size() +
                    s[QStringLiteral("amplitude_bits")].toString().size();
        }
        QCOMPARE(bits, b[QStringLiteral("bits")].toInteger());
        // Block 0, 0 starts the scan.
        const QJsonObject origin =
            QJsonDocument::fromJson(
                Cli({QStringLiteral("inspect"), jpg, QStringLiteral("--block"), QStringLiteral("0"),
                     QStringLiteral("0"), QStringLiteral("-f"), QStringLiteral("json")})
                    .out)[QStringLiteral("block")]
                .toObject();
        QCOMPARE(origin[QStringLiteral("bit_offset")].toInteger(),
                 8 * first[QStringLiteral("data_offset")].toInteger());
    }
    // A block beyond the component's last, and the text form.
    const Run outside = Cli({QStringLiteral("inspect"), jpg, QStringLiteral("--block"),
                             QStringLiteral("0"), QStringLiteral("99")});
    QCOMPARE(outside.exitCode, 1);
    QVERIFY2(outside.err.contains("outside"), outside.err.constData());
    QVERIFY(outside.out.isEmpty());
    const Run text = Cli(QStringList{QStringLiteral("inspect"), jpg} + at);
    QCOMPARE(text.exitCode, 0);
    QVERIFY(text.out.contains("Segments") && text.out.contains("Stored coefficients"));
}

QTEST_MAIN(TestQuadrelCli)
void TestQuadrelCli::outputTargets_data() {
    QTest::addColumn<QByteArray>("target"); // what -o names: a path, or a kind made in a folder
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("error");
    QTest::newRow("FIFO with a reader") << QByteArray("fifo") << 0 << "";
    QTest::newRow("FIFO without a reader")
        << QByteArray("lonely fifo") << 1 << "No program is reading";
    QTest::newRow("/dev/null") << QByteArray("/dev/null") << 0 << "";
    QTest::newRow("/dev/stdout") << QByteArray("/dev/stdout") << 0 << "";
    QTest::newRow("-") << QByteArray("-") << 0 << "";
    QTest::newRow("hard link") << QByteArray("hard link") << 0 << "";
    QTest::newRow("symlink") << QByteArray("symlink") << 0 << "";
    QTest::newRow("folder") << QByteArray("folder") << 1 << "it is a folder";
    QTest::newRow("/dev/full") << QByteArray("/dev/full") << 1 << "No space left on device";
    QTest::newRow("missing folder")
        << QByteArray("none/key.txt") << 1 << "No such file or directory";
    QTest::newRow("empty name") << QByteArray("") << 2 << "-o needs a file name";
}

void TestQuadrelCli::outputTargets() {
    QFETCH(QByteArray, target);
    QFETCH(int, exitCode);
    QFETCH(QString, error);
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path()) + '/';
    QByteArray path = target.startsWith('/') || target.size() < 2 ? target : folder + target;
    if (target == "/dev/null" || target == "/dev/full") {
        path = quadrel::test::PrivateDevice(target, folder);
        if (path.isEmpty()) {
            QSKIP("root cannot make a device node here");
        }
    }
    QByteArray seen = path; // where the report is read back
    int reader = -1;
    const auto cleanup = qScopeGuard([&] {
        if (reader >= 0) {
            ::close(reader);
        }
    });
    if (target.endsWith("fifo")) {
        QCOMPARE(mkfifo(path, 0600), 0);
        reader = target == "fifo" ? ::open(path, O_RDONLY | O_NONBLOCK) : -1;
    } else if (target == "folder") {
        QCOMPARE(mkdir(path, 0700), 0);
    } else if (target.contains("link")) {
        seen = folder + "other.txt";
        QFile old(QFile::decodeName(seen));
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
        old.close();
        QCOMPARE(target == "symlink" ? ::symlink(seen, path) : ::link(seen, path), 0);
    }
    const QByteArray report = Cli({QStringLiteral("dct")}, kWorkedExample).out;
    const Run run =
        Cli({QStringLiteral("dct"), QStringLiteral("-o"), QFile::decodeName(path)}, kWorkedExample);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(QString::fromUtf8(run.err).contains(error), run.err.constData());
    struct stat info {};
    if (target.endsWith("fifo") || target == "/dev/null" || target == "/dev/full") {
        QVERIFY(::stat(path, &info) == 0 && (S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode)));
    }
    if (exitCode != 0) {
        return;
    }
    const bool toStdout = target == "-" || target == "/dev/stdout";
    QCOMPARE(run.out, toStdout ? report : QByteArray());
    if (reader >= 0) {
        QByteArray piped(static_cast<qsizetype>(report.size()) + 1, '\0');
        piped.truncate(::read(reader, piped.data(), piped.size()));
        QCOMPARE(piped, report);
    } else if (!target.startsWith('/') && target != "-") {
        QFile file(QFile::decodeName(seen));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), report);
        QCOMPARE(::lstat(path, &info), 0);
        QCOMPARE(S_ISLNK(info.st_mode), target == "symlink");
        QCOMPARE(info.st_nlink, nlink_t(target == "hard link" ? 2 : 1));
    }
}

void TestQuadrelCli::namesThatAreNoUtf8_data() {
    // Run by the shell, which hands the bytes over as they are; $0 is the program.
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QByteArray>("written"); // the file that must then exist
    QTest::newRow("block read and report written")
        << R"sh("$0" dct "$(printf 'bad\377\376.txt')" -o "$(printf 'out\377.txt')")sh" << 0 << ""
        << QByteArray("out\xff.txt");
    QTest::newRow("missing file named readably")
        << R"sh("$0" dct "$(printf 'none\377.txt')")sh" << 1 << R"(none\xff.txt: The file cannot)"
        << QByteArray();
    QTest::newRow("picture read and written")
        << R"sh("$0" compress "$(printf 'in\377.pgm')" -o "$(printf 'r\377.png')")sh" << 0 << ""
        << QByteArray("r\xff.png");
}

void TestQuadrelCli::namesThatAreNoUtf8() {
    QFETCH(QString, script);
    QFETCH(int, exitCode);
    QFETCH(QString, error);
    QFETCH(QByteArray, written);
    QTemporaryDir dir;
    const std::filesystem::path folder = QFile::encodeName(dir.path()).toStdString();
    const auto cleanup = qScopeGuard([&] { std::filesystem::remove_all(folder); });
    const auto put = [&](const char* name, const QByteArray& bytes) {
        const int fd = ::open((folder / name).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        const bool done = fd >= 0 && ::write(fd, bytes.constData(), bytes.size()) == bytes.size();
        return ::close(fd) == 0 && done;
    };
    QImage grey(16, 8, QImage::Format_Grayscale8);
    grey.fill(90);
    QByteArray pgm;
    QBuffer buffer(&pgm);
    QVERIFY(buffer.open(QIODevice::WriteOnly) && grey.save(&buffer, "PGM"));
    QVERIFY(put("bad\xff\xfe.txt", kWorkedExample) && put("in\xff.pgm", pgm));
    QProcess p;
    p.setWorkingDirectory(dir.path());
    p.start(QStringLiteral("sh"), {QStringLiteral("-c"), script, QStringLiteral(QUADREL_CLI)});
    QVERIFY(p.waitForFinished(30000));
    const QByteArray err = p.readAllStandardError();
    QCOMPARE(p.exitCode(), exitCode);
    QVERIFY2(QString::fromUtf8(err).contains(error), err.constData());
    if (!written.isEmpty()) {
        QVERIFY2(std::filesystem::file_size(folder / written.toStdString()) > 0, err.constData());
    }
    // No name was mangled into another file.
    const std::filesystem::directory_iterator entries(folder);
    QCOMPARE(std::distance(begin(entries), end(entries)), written.isEmpty() ? 2 : 3);
}

void TestQuadrelCli::rdRowsEqualCompressRuns_data() {
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<QStringList>("options"); // shared by rd and compress
    QTest::addColumn<QString>("qualities");
    QTest::addColumn<QList<int>>("expected");
    QTest::newRow("grey, float DCT")
        << QImage::Format_Grayscale8 << QStringList{} << "5:95:45" << QList<int>{5, 50, 95};
    QTest::newRow("grey, integer DCT, optimised tables")
        << QImage::Format_Grayscale8 << QStringList{"--dct", "integer", "--optimize"} << "100,1"
        << QList<int>{100, 1};
    QTest::newRow("colour 4:2:2, chroma quality fixed, box")
        << QImage::Format_RGB32
        << QStringList{"--colour", "--sampling",   "4:2:2", "--chroma-quality",
                       "30",       "--upsampling", "box"}
        << "20:80:30" << QList<int>{20, 50, 80};
    QTest::newRow("colour 4:2:0, optimised tables")
        << QImage::Format_RGB32 << QStringList{"--colour", "--optimize"} << "75" << QList<int>{75};
}

// Each row is what compress reports for its quality, to the last bit.
void TestQuadrelCli::rdRowsEqualCompressRuns() {
    QFETCH(QImage::Format, format);
    QFETCH(QStringList, options);
    QFETCH(QString, qualities);
    QFETCH(QList<int>, expected);
    QImage picture(83, 61, format);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            picture.setPixel(x, y,
                             format == QImage::Format_Grayscale8
                                 ? uint((x * x / 7 + y * 3) % 256)
                                 : qRgb((x * 13) % 256, (y * 29) % 256, (x * y) % 256));
        }
    }
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("in.png"));
    const QString jpg = dir.filePath(QStringLiteral("out.jpg"));
    QVERIFY(picture.save(png));
    const Run rd = Cli(QStringList{"rd", png, "--qualities", qualities, "-f", "json"} + options);
    QCOMPARE(rd.exitCode, 0);
    const QJsonArray rows = QJsonDocument::fromJson(rd.out)[QStringLiteral("rows")].toArray();
    QCOMPARE(rows.size(), expected.size());
    const bool optimise = options.contains(QStringLiteral("--optimize"));
    const bool colour = options.contains(QStringLiteral("--colour"));
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const QJsonObject row = rows[i].toObject();
        QCOMPARE(row[QStringLiteral("quality")].toInt(), expected[i]);
        QStringList single{"compress", png,   "--quality", QString::number(expected[i]),
                           "-f",       "json"};
        single += options;
        if (optimise) {
            single << QStringLiteral("--jpeg") << jpg;
        }
        const Run compress = Cli(single);
        QCOMPARE(compress.exitCode, 0);
        const QJsonObject one = QJsonDocument::fromJson(compress.out).object();
        const QStringList keys =
            colour ? QStringList{"psnr", "psnr_y", "ssim"} : QStringList{"psnr", "ssim"};
        for (const QString& key : keys) {
            QCOMPARE(row[key], one[key]);
        }
        if (optimise) {
            const qint64 bytes = one[QStringLiteral("file_bytes")].toInteger();
            QCOMPARE(row[QStringLiteral("file_bytes")].toInteger(), bytes);
            QCOMPARE(row[QStringLiteral("bits_per_pixel")].toDouble(),
                     8.0 * double(bytes) / double(picture.width() * picture.height()));
        } else {
            QCOMPARE(row[QStringLiteral("bytes")], one[QStringLiteral("bytes")]);
            QCOMPARE(row[QStringLiteral("bits_per_pixel")], one[QStringLiteral("bits_per_pixel")]);
        }
    }
}

#include "tst_quadrel_cli.moc"
