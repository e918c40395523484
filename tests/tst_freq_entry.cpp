// "Enter X Y Data" on the real widgets, opened from the real main window.
#include "freq_entry/x_y_entry.h"
#include "main_window/dct_window.h"
#include "tests/support/testutils.h"
#include "views/pixels.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using quadrel::DCT;
using quadrel::X_Y_Entry;
using namespace quadrel::test;

namespace {

X_Y_Entry* Open(DCT& window) {
    Click(Command1(window, 1)); // "View Single DCT Pattern"
    return OpenWindow<quadrel::X_Y_Entry>();
}

// Types into box `index`; '\b' stands for Backspace.
void Type(X_Y_Entry* entry, int index, const QString& keys) {
    for (const QChar key : keys) {
        if (key == QLatin1Char('\b')) {
            QTest::keyClick(Text1(*entry, index), Qt::Key_Backspace);
        } else {
            QTest::keyClick(Text1(*entry, index), key.toLatin1());
        }
    }
}

// The frequency block holds 512 at (0, 0) and at (u, v), 0 everywhere else.
bool ShowsPattern(DCT& window, int u, int v) {
    for (int i = 0; i < 8; ++i) {
        for (int j = 0; j < 8; ++j) {
            const double expected = (i == 0 && j == 0) || (i == u && j == v) ? 512.0 : 0.0;
            if (window.Document().Freq()[i][j] != expected ||
                Cell(window, i + 8 * j)->text() != QString::number(expected)) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

class TestFreqEntry : public QObject {
    Q_OBJECT
private slots:
    void layout();
    void keys_data();
    void keys();
    void onlyKeysThatTypeRebuild_data();
    void onlyKeysThatTypeRebuild();
    void okBeforeAnyKeyShowsTheDcBlock();
    void frequenciesOutliveTheWindow();
};

void TestFreqEntry::layout() {
    DCT window;
    X_Y_Entry* entry = Open(window);
    QVERIFY(entry && entry->isVisible());
    QCOMPARE(entry->windowTitle(), QStringLiteral("Enter X Y Data"));
    QCOMPARE(entry->parentWidget(), nullptr); // no owner window
    QCOMPARE(entry->size(), QSize(246, 86));
    QCOMPARE(Text1(*entry, 0)->geometry(), quadrel::PixelRectFromTwips(120, 120, 375, 375));
    QCOMPARE(Text1(*entry, 1)->geometry(), quadrel::PixelRectFromTwips(120, 720, 375, 375));
    auto* across = Find<QLabel>(*entry, "Label1_0");
    auto* down = Find<QLabel>(*entry, "Label1_1");
    auto* hint = Find<QLabel>(*entry, "Label2");
    auto* ok = Find<QPushButton>(*entry, "Command1");
    const QRect line = Find<QFrame>(*entry, "Line1")->geometry();
    QCOMPARE(across->text(), QStringLiteral("Horizontal Frequency"));
    QCOMPARE(down->text(), QStringLiteral("Vertical  Frequency"));
    QCOMPARE(down->geometry(), quadrel::PixelRectFromTwips(720, 720, 855, 375));
    QCOMPARE(hint->text(), QStringLiteral("Values between 0 and 7"));
    QCOMPARE(hint->geometry(), quadrel::PixelRectFromTwips(1920, 240, 735, 615));
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    QCOMPARE(ok->geometry(), quadrel::PixelRectFromTwips(3000, 720, 495, 375));
    QVERIFY(!ok->isDefault() && !ok->autoDefault());
    QCOMPARE(line.left(), 120);
    QCOMPARE(line.top(), 8);
    QCOMPARE(line.bottom(), 72);
    const QList<QWidget*> tabOrder{Text1(*entry, 0), Text1(*entry, 1), across, down, ok, hint};
    for (qsizetype i = 0; i + 1 < tabOrder.size(); ++i) {
        QCOMPARE(tabOrder[i]->nextInFocusChain(), tabOrder[i + 1]);
    }
    // Creating it changes nothing in the main window.
    QCOMPARE(Find<QLabel>(window, "Label2")->text(), QStringLiteral("Pixel Pattern"));
    // A second "View Single DCT Pattern" brings back the same window.
    QCOMPARE(Open(window), entry);
}

void TestFreqEntry::keys_data() {
    QTest::addColumn<QString>("horizontal");
    QTest::addColumn<QString>("vertical");
    QTest::addColumn<QString>("boxText"); // of the horizontal box
    QTest::addColumn<int>("u");
    QTest::addColumn<int>("v");
    QTest::addColumn<QString>("caption");

    QTest::newRow("3") << "3"
                       << ""
                       << "3" << 3 << 0 << "Freq. Pattern:  3  0";
    QTest::newRow("3 9") << "39"
                         << ""
                         << "39" << 3 << 0 << "Freq. Pattern:  3  0";
    QTest::newRow("3 9 5") << "395"
                           << ""
                           << "5" << 5 << 0 << "Freq. Pattern:  5  0";
    QTest::newRow("3 9 5 Backspace") << "395\b"
                                     << ""
                                     << "" << 5 << 0 << "Freq. Pattern:  5  0";
    QTest::newRow("vertical 6") << ""
                                << "6"
                                << "" << 0 << 6 << "Freq. Pattern:  0  6";
    QTest::newRow("both 0") << "0"
                            << "0"
                            << "0" << 0 << 0 << "Freq. Pattern:  0  0";
    QTest::newRow("7 and 2") << "7"
                             << "2"
                             << "7" << 7 << 2 << "Freq. Pattern:  7  2";
    // Any other character still rebuilds, from the unchanged values.
    QTest::newRow("8 only") << "8"
                            << ""
                            << "8" << 0 << 0 << "Freq. Pattern:  0  0";
    QTest::newRow("letter after 4") << "4a"
                                    << ""
                                    << "4a" << 4 << 0 << "Freq. Pattern:  4  0";
}

void TestFreqEntry::keys() {
    QFETCH(QString, horizontal);
    QFETCH(QString, vertical);
    QFETCH(QString, boxText);
    QFETCH(int, u);
    QFETCH(int, v);
    QFETCH(QString, caption);
    DCT window;
    X_Y_Entry* entry = Open(window);
    Type(entry, 0, horizontal);
    // Make the last key's rebuild visible: a stale block would fail below.
    window.Document().Engine().FreqArray[1][1] = 99;
    window.Document().SetSquaresCaption(QStringLiteral("stale"));
    Type(entry, 1, vertical.isEmpty() ? QStringLiteral("x") : vertical);
    QCOMPARE(Text1(*entry, 0)->text(), boxText);
    QVERIFY(ShowsPattern(window, u, v));
    QCOMPARE(Find<QLabel>(window, "Label2")->text(), caption);
    QCOMPARE(Find<QLabel>(window, "Label1")->text(), QStringLiteral("Freq. Amplitudes"));
}

void TestFreqEntry::onlyKeysThatTypeRebuild_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("text"); // as an X11 keyboard sends it
    QTest::addColumn<bool>("rebuilds");
    QTest::newRow("Tab") << int(Qt::Key_Tab) << 0 << "\t" << false;
    QTest::newRow("Shift+Tab") << int(Qt::Key_Backtab) << int(Qt::ShiftModifier) << "\t" << false;
    QTest::newRow("Delete") << int(Qt::Key_Delete) << 0 << "\x7f" << false;
    QTest::newRow("Left") << int(Qt::Key_Left) << 0 << "" << false;
    QTest::newRow("Ctrl+A") << int(Qt::Key_A) << int(Qt::ControlModifier) << "\x01" << false;
    QTest::newRow("Ctrl+A, letter text")
        << int(Qt::Key_A) << int(Qt::ControlModifier) << "a" << false;
    QTest::newRow("x") << int(Qt::Key_X) << 0 << "x" << true;
    QTest::newRow("Backspace") << int(Qt::Key_Backspace) << 0 << "\b" << true;
    QTest::newRow("Enter") << int(Qt::Key_Return) << 0 << "\r" << true;
    QTest::newRow("Escape") << int(Qt::Key_Escape) << 0 << "\x1b" << true;
}

void TestFreqEntry::onlyKeysThatTypeRebuild() {
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, text);
    QFETCH(bool, rebuilds);
    DCT window;
    X_Y_Entry* entry = Open(window);
    Type(entry, 0, QStringLiteral("3"));
    window.Document().Engine().FreqArray[1][1] = 99; // a rebuild would clear it
    QKeyEvent press(QEvent::KeyPress, key, static_cast<Qt::KeyboardModifiers>(modifiers), text);
    QApplication::sendEvent(Text1(*entry, 0), &press);
    QCOMPARE(window.Document().Freq()[1][1], rebuilds ? 0.0 : 99.0);
}

void TestFreqEntry::okBeforeAnyKeyShowsTheDcBlock() {
    DCT window;
    X_Y_Entry* entry = Open(window);
    QTest::mouseClick(Find<QPushButton>(*entry, "Command1"), Qt::LeftButton);
    QVERIFY(!entry->isVisible());
    QCOMPARE(OpenWindow<quadrel::X_Y_Entry>(), entry); // hidden, not destroyed
    QVERIFY(ShowsPattern(window, 0, 0));
    QCOMPARE(Find<QLabel>(window, "Label2")->text(), QStringLiteral("Freq. Pattern:  0  0"));
    for (int k = 0; k < 64; ++k) { // a uniform block: the level of DC 512
        QCOMPARE(window.Document().Space()[k % 8][k / 8], 128.0);
    }
}

void TestFreqEntry::frequenciesOutliveTheWindow() {
    DCT window;
    window.show();
    X_Y_Entry* entry = Open(window);
    Type(entry, 0, QStringLiteral("5"));
    Type(entry, 1, QStringLiteral("2"));
    entry->close();
    QTRY_VERIFY(!OpenWindow<quadrel::X_Y_Entry>()); // destroyed on close
    entry = Open(window);
    QCOMPARE(Text1(*entry, 0)->text(), QString());
    QCOMPARE(Text1(*entry, 1)->text(), QString());
    QTest::mouseClick(Find<QPushButton>(*entry, "Command1"), Qt::LeftButton);
    QVERIFY(ShowsPattern(window, 5, 2));
    QCOMPARE(Find<QLabel>(window, "Label2")->text(), QStringLiteral("Freq. Pattern:  5  2"));
    // Closing the main window closes the dialog too, so that the program ends.
    Open(window);
    window.close();
    QTRY_VERIFY(!OpenWindow<quadrel::X_Y_Entry>());
}

QTEST_MAIN(TestFreqEntry)
#include "tst_freq_entry.moc"
