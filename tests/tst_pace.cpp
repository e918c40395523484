// The pace of the pattern cycle and of Build Mode: each step stays on screen
// its step time while the program stays usable; STOP, nesting and QUIT work as
// at the instant pace; a paced Build Mode transform interrupted by a command
// ends with its full result first; nesting of cycles is bounded.
#include "main_window/application_setup.h"
#include "tests/support/testutils.h"
#include "views/settings_file.h"
#include "views/square_grid.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTimer>
#include <QtTest>

#include <functional>

#include <sys/stat.h>

using quadrel::BlockDocument;
using quadrel::StepTimes;
using quadrel::test::ScriptedWindow;

using Action = std::function<void(ScriptedWindow&)>;
Q_DECLARE_METATYPE(Action)
Q_DECLARE_METATYPE(StepTimes)

using namespace quadrel::test;

namespace {

// Runs `action(n)` from the event loop after the n-th pattern of a cycle is
// shown (every pattern is announced once, before the cycle pauses).
class PatternHook {
public:
    PatternHook(BlockDocument& document, std::function<void(int)> action) {
        QObject::connect(&document, &BlockDocument::BlockChanged, &context_,
                         [this, action = std::move(action)] {
                             const int n = ++patterns;
                             QTimer::singleShot(0, &context_, [action, n] { action(n); });
                         });
    }
    int patterns = 0;

private:
    QObject context_;
};

} // namespace

class TestPace : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        quadrel::ConfigureApplication(*qApp);
    }
    void paceNamesAndTimes();
    void settingsFileThatIsNoFile_data();
    void settingsFileThatIsNoFile();
    void stopAndNestingAtEveryPace_data();
    void stopAndNestingAtEveryPace();
    void normalPaceTakesItsTimeAndStaysResponsive();
    void commandDuringPacedBuildSeesTheFullResult_data();
    void commandDuringPacedBuildSeesTheFullResult();
    void tenThousandCycleClicksDuringCycles();
    // Last: QUIT ends every event loop of this test program for good.
    void quitEndsNestedPacedCyclesAtOnce();
};

void TestPace::paceNamesAndTimes() {
    using quadrel::Pace;
    QCOMPARE(quadrel::StepTimesOf(Pace::Instant), (StepTimes{0, 0}));
    QCOMPARE(quadrel::StepTimesOf(Pace::Normal), (StepTimes{250, 50}));
    // Each choice is slower than the one before, and every name reads back.
    StepTimes previous{};
    for (Pace pace : {Pace::Instant, Pace::Quick, Pace::Normal, Pace::Slow}) {
        QCOMPARE(quadrel::PaceFromName(quadrel::PaceName(pace).toUpper()), pace);
        QVERIFY(pace == Pace::Instant || quadrel::StepTimesOf(pace).PatternMs > previous.PatternMs);
        previous = quadrel::StepTimesOf(pace);
    }
    QVERIFY(!quadrel::PaceFromName(QStringLiteral("fast")));
    // The choice persists; a damaged entry gives the default.
    quadrel::StorePace(Pace::Slow);
    QCOMPARE(quadrel::StoredPace(), Pace::Slow);
    QSettings(QStringLiteral("Quadrel"), QStringLiteral("Quadrel"))
        .setValue(QStringLiteral("pace"), QStringLiteral("warp"));
    QCOMPARE(quadrel::StoredPace(), quadrel::kDefaultPace);
}

void TestPace::settingsFileThatIsNoFile_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("FIFO: open() would wait for a writer") << "fifo";
    QTest::newRow("link to /dev/zero: reading never ends") << "device";
    QTest::newRow("folder") << "folder";
}

void TestPace::settingsFileThatIsNoFile() {
    QFETCH(QString, kind);
    const QString path = quadrel::SettingsFilePath();
    // The very file the settings of the program's name live in.
    QCOMPARE(QSettings(QStringLiteral("Quadrel"), QStringLiteral("Quadrel")).fileName(), path);
    quadrel::StorePace(quadrel::Pace::Slow);
    QVERIFY(!quadrel::SettingsFileProblem());
    QVERIFY(QFile::remove(path));
    if (kind == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (kind == QLatin1String("device")) {
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
    } else {
        QVERIFY(QDir().mkdir(path));
    }
    // Defaults, said once; what is stored is dropped and the file left as it is.
    QVERIFY(quadrel::SettingsFileProblem().value_or(QString()).contains(path));
    QCOMPARE(quadrel::StoredPace(), quadrel::kDefaultPace);
    quadrel::StorePace(quadrel::Pace::Slow);
    QCOMPARE(quadrel::StoredPace(), quadrel::kDefaultPace);
    const QFileInfo after(path);
    QVERIFY(after.exists() && !after.isFile());
    QVERIFY(kind == QLatin1String("folder") ? QDir().rmdir(path) : QFile::remove(path));
}

void TestPace::stopAndNestingAtEveryPace_data() {
    QTest::addColumn<StepTimes>("times");
    QTest::addColumn<int>("stopAt");   // STOP after this pattern; 0: before the cycle; -1: never
    QTest::addColumn<int>("nestAt");   // a second cycle starts after this pattern; 0: none
    QTest::addColumn<int>("patterns"); // patterns shown in all
    QTest::addColumn<QString>("lastCaption");
    const std::initializer_list<std::pair<const char*, StepTimes>> paces{{"instant", {0, 0}},
                                                                         {"paced", {4, 1}}};
    for (const auto& [name, times] : paces) {
        QTest::addRow("%s, to the end", name) << times << -1 << 0 << 64 << "DCT Pattern:  7  7";
        QTest::addRow("%s, STOP before", name) << times << 0 << 0 << 1 << "DCT Pattern:  0  0";
        QTest::addRow("%s, STOP at (2, 4)", name) << times << 21 << 0 << 21 << "DCT Pattern:  2  4";
        // The nested cycle shows patterns 4..6 and is stopped after its third;
        // the outer one goes on after (0, 2) to its end.
        QTest::addRow("%s, nested, STOP", name)
            << times << 6 << 3 << 64 + 3 << "DCT Pattern:  7  7";
    }
}

void TestPace::stopAndNestingAtEveryPace() {
    QFETCH(StepTimes, times);
    QFETCH(int, stopAt);
    QFETCH(int, nestAt);
    QFETCH(int, patterns);
    QFETCH(QString, lastCaption);
    ScriptedWindow s;
    s.window.Document().SetStepTimes(times);
    if (stopAt == 0) {
        Command1(s.window, 4)->click();
    }
    QStringList captions;
    PatternHook hook(s.window.Document(), [&](int n) {
        if (n == nestAt) {
            Command1(s.window, 0)->click();
        } else if (n == stopAt) {
            Command1(s.window, 4)->click();
        }
    });
    QObject::connect(&s.window.Document(), &BlockDocument::BlockChanged,
                     [&] { captions << Find<QLabel>(s.window, "Label2")->text(); });
    QElapsedTimer clock;
    clock.start();
    Command1(s.window, 0)->click();
    QCOMPARE(hook.patterns, patterns);
    QCOMPARE(captions.back(), lastCaption);
    if (nestAt > 0) {
        QCOMPARE(captions.mid(2, 5),
                 (QStringList{"DCT Pattern:  0  2", "DCT Pattern:  0  0", "DCT Pattern:  0  1",
                              "DCT Pattern:  0  2", "DCT Pattern:  0  3"}));
    }
    QVERIFY(!s.window.Document().Engine().StopFlag);
    QVERIFY(!s.window.Document().CycleRunning());
    // Every pattern but the stopped ones stayed its step time.
    const int stopped = (stopAt >= 0 ? 1 : 0) + (nestAt > 0 ? 1 : 0);
    QVERIFY(clock.elapsed() >= static_cast<qint64>(patterns - stopped) * times.PatternMs);
}

void TestPace::normalPaceTakesItsTimeAndStaysResponsive() {
    ScriptedWindow s;
    s.window.Document().SetStepTimes(quadrel::StepTimesOf(quadrel::Pace::Normal));
    QElapsedTimer clock;
    // A click on "+" one second in is handled within one step time.
    qint64 clickedAt = -1;
    QTimer::singleShot(1000, &s.window, [&] {
        clickedAt = clock.elapsed();
        Find<QPushButton>(s.window, "Command2")->click();
    });
    clock.start();
    Command1(s.window, 0)->click();
    const qint64 cycle = clock.elapsed();
    qInfo("cycle at Normal: %lld ms; click handled %lld ms late", cycle, clickedAt - 1000);
    constexpr qint64 kCycleMs = qint64{64} * 250;
    QVERIFY2(cycle >= kCycleMs && cycle < kCycleMs * 5 / 4, qPrintable(QString::number(cycle)));
    QVERIFY(clickedAt >= 1000 && clickedAt < 1000 + 250);
    QCOMPARE(Command1(s.window, 6)->text(), QStringLiteral("Quant 32"));

    // Build Mode: 64 coefficient steps of 50 ms.
    Option1(s.window, 1)->click();
    quadrel::test::TypeIntoCell(Cell(s.window, 0), QStringLiteral("800"));
    clock.restart();
    QTest::keyClick(Cell(s.window, 0), Qt::Key_Return);
    const qint64 build = clock.elapsed();
    qInfo("Build Mode transform at Normal: %lld ms", build);
    constexpr qint64 kBuildMs = qint64{64} * 50;
    QVERIFY2(build >= kBuildMs && build < kBuildMs * 5 / 4, qPrintable(QString::number(build)));
}

void TestPace::commandDuringPacedBuildSeesTheFullResult_data() {
    QTest::addColumn<Action>("command");
    const auto click = [](int index) {
        return Action([index](ScriptedWindow& s) { Command1(s.window, index)->click(); });
    };
    QTest::newRow("DCT") << click(3);
    QTest::newRow("IDCT again") << click(2);
    QTest::newRow("Quantise") << click(6);
    QTest::newRow("cycle in Fast Mode") << Action([](ScriptedWindow& s) {
        Option1(s.window, 0)->click();
        Command1(s.window, 0)->click();
    });
    QTest::newRow("STOP, which changes nothing") << click(4);
    QTest::newRow("a whole new block") << Action([](ScriptedWindow& s) {
        quadrel::Block space{};
        space[3][4] = 200;
        s.window.Document().LoadSpaceBlock(space);
    });
    QTest::newRow("a key typed in a cell")
        << Action([](ScriptedWindow& s) { QTest::keyClick(Cell(s.window, 9), Qt::Key_5); });
    QTest::newRow("Enter in a cell")
        << Action([](ScriptedWindow& s) { QTest::keyClick(Cell(s.window, 9), Qt::Key_Return); });
}

// The same build and command at the instant pace give the reference: the
// command, given while an intermediate picture is on screen, must find the
// finished transform.
void TestPace::commandDuringPacedBuildSeesTheFullResult() {
    QFETCH(Action, command);
    const auto start = [](ScriptedWindow& s) {
        Option1(s.window, 1)->click();
        quadrel::test::TypeIntoCell(Cell(s.window, 0), QStringLiteral("640"));
        quadrel::test::TypeIntoCell(Cell(s.window, 9), QStringLiteral("-97"));
        quadrel::test::TypeIntoCell(Cell(s.window, 62), QStringLiteral("31"));
    };
    ScriptedWindow reference;
    start(reference);
    Command1(reference.window, 2)->click();
    const quadrel::BlockShown built = reference.window.Document().Snapshot().View;
    command(reference);

    ScriptedWindow s;
    const int stepMs = 20;
    s.window.Document().SetStepTimes({1, stepMs});
    start(s);
    bool midBuild = false;
    QTimer::singleShot(3 * stepMs, &s.window, [&] {
        midBuild = !(s.window.Document().Snapshot().View == built);
        command(s);
    });
    Command1(s.window, 2)->click();
    QVERIFY(midBuild);
    QVERIFY(s.window.Document().Snapshot() == reference.window.Document().Snapshot());
}

// Clicks that arrive while a cycle shows a pattern start a nested cycle. Here
// every pattern shown is answered with clicks until 10,000 were made, the
// worst a click storm can do: without a bound the nesting overflows the stack.
void TestPace::tenThousandCycleClicksDuringCycles() {
    ScriptedWindow s;
    int patterns = 0;
    int clicks = 1;
    QObject::connect(&s.window.Document(), &BlockDocument::BlockChanged, [&] {
        ++patterns;
        while (clicks < 10000) {
            ++clicks;
            Command1(s.window, 0)->click();
        }
    });
    Command1(s.window, 0)->click();
    QCOMPARE(clicks, 10000);
    // 64 cycles ran one inside the other, each to its end; the other clicks
    // found the limit reached and were ignored.
    QCOMPARE(patterns, BlockDocument::kMaxCycleDepth * 64);
    QVERIFY(!s.window.Document().CycleRunning());
}

void TestPace::quitEndsNestedPacedCyclesAtOnce() {
    ScriptedWindow s;
    s.window.Document().SetStepTimes({2000, 2000});
    PatternHook hook(s.window.Document(), [&](int n) {
        Command1(s.window, n == 1 ? 0 : 5)->click(); // a nested cycle, then QUIT
    });
    QElapsedTimer clock;
    clock.start();
    Command1(s.window, 0)->click();
    QVERIFY2(clock.elapsed() < 2000, "a pause outlived QUIT");
    QCOMPARE(hook.patterns, 2);
}

QTEST_MAIN(TestPace)
#include "tst_pace.moc"
