// Every window legible under a dark desktop theme, whole numbers in the cells,
// and the keyboard and screen-reader side of the windows.
#include "bitmap_viewer/image_frame.h"
#include "help/help_window.h"
#include "main_window/application_setup.h"
#include "main_window/dct_window.h"
#include "tests/support/testutils.h"
#include "views/cell_font.h"
#include "views/square_grid.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include <functional>

using quadrel::DCT;
using quadrel::test::ContrastRatio;
using quadrel::test::ScriptedWindow;

using namespace quadrel::test;

namespace {

QPalette DarkTheme() {
    QPalette dark;
    const QColor background(0x35, 0x35, 0x35);
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        dark.setColor(group, QPalette::Window, background);
        dark.setColor(group, QPalette::WindowText, Qt::white);
        dark.setColor(group, QPalette::Base, QColor(0x2A, 0x2A, 0x2A));
        dark.setColor(group, QPalette::Text, Qt::white);
        dark.setColor(group, QPalette::Button, background);
        dark.setColor(group, QPalette::ButtonText, Qt::white);
        dark.setColor(group, QPalette::Highlight, QColor(0x2A, 0x82, 0xDA));
        dark.setColor(group, QPalette::HighlightedText, Qt::black);
        dark.setColor(group, QPalette::Link, QColor(0x2A, 0x82, 0xDA));
    }
    return dark;
}

// What is painted behind a control's text: its own face for controls that
// paint one, otherwise the nearest ancestor that fills its background.
QColor Background(const QWidget* widget) {
    const bool ownFace =
        qobject_cast<const QLineEdit*>(widget) || (qobject_cast<const QAbstractButton*>(widget) &&
                                                   !qobject_cast<const QRadioButton*>(widget));
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        if ((w == widget && ownFace) || w->isWindow() || w->autoFillBackground()) {
            return w->palette().color(QPalette::Active, w->backgroundRole());
        }
    }
    return {};
}

struct Windows {
    ScriptedWindow main;
    quadrel::HelpWindow help;
    QList<QWidget*> All() {
        Click(Command1(main.window, 1));  // "Enter X Y Data"
        Click(Command1(main.window, 10)); // the viewer; its file dialog is cancelled
        return {&main.window, OpenWindow<quadrel::X_Y_Entry>(), OpenWindow<quadrel::ImageFrame>(),
                &help};
    }
};

} // namespace

class TestAccessibility : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { quadrel::ConfigureApplication(*qApp); }
    void textIsLegibleUnderADarkTheme();
    void cellsShowWholeNumbers_data();
    void cellsShowWholeNumbers();
    void cellsAreNamedByWhatTheyShow();
    void escapeClosesSecondaryWindows_data();
    void escapeClosesSecondaryWindows();
    void enterPressesTheFocusedButton_data();
    void enterPressesTheFocusedButton();
    void focusRingIsVisibleOnEveryFace_data();
    void focusRingIsVisibleOnEveryFace();
};

void TestAccessibility::textIsLegibleUnderADarkTheme() {
    const QPalette before = QApplication::palette();
    QApplication::setPalette(DarkTheme());
    {
        Windows windows;
        for (QWidget* window : windows.All()) {
            QVERIFY(window);
            QList<QWidget*> controls = window->findChildren<QWidget*>();
            controls << window;
            for (const QWidget* control : controls) {
                const QPalette& palette = control->palette();
                const QColor background = Background(control);
                const QString where = window->windowTitle() + QStringLiteral(" / ") +
                                      QString::fromLatin1(control->metaObject()->className()) +
                                      QLatin1Char(' ') + control->objectName();
                const double text = ContrastRatio(
                    palette.color(QPalette::Active, control->foregroundRole()), background);
                QVERIFY2(text >= 4.5, qPrintable(where + QStringLiteral(": %1").arg(text)));
                const double selected =
                    ContrastRatio(palette.color(QPalette::Active, QPalette::HighlightedText),
                                  palette.color(QPalette::Active, QPalette::Highlight));
                QVERIFY2(selected >= 4.5, qPrintable(where + QStringLiteral(": %1").arg(selected)));
                if (qobject_cast<const QAbstractScrollArea*>(control)) { // the help page's links
                    const double link =
                        ContrastRatio(palette.color(QPalette::Active, QPalette::Link),
                                      palette.color(QPalette::Active, QPalette::Base));
                    QVERIFY2(link >= 4.5, qPrintable(where + QStringLiteral(": %1").arg(link)));
                }
            }
        }
    }
    QApplication::setPalette(before);
}

void TestAccessibility::cellsShowWholeNumbers_data() {
    QTest::addColumn<QString>("typed");
    QTest::newRow("4 digits") << "9999";
    QTest::newRow("minus and 5 digits") << "-99999";
    QTest::newRow("7 digits") << "9999999";
    QTest::newRow("minus and 6 digits") << "-999999";
    QTest::newRow("wide digits") << "-888888";
}

void TestAccessibility::cellsShowWholeNumbers() {
    QFETCH(QString, typed);
    ScriptedWindow s;
    for (int k : {0, 9, 63}) {
        QLineEdit* cell = Cell(s.window, k);
        cell->setText(typed);
        const int width = QFontMetrics(cell->font()).horizontalAdvance(cell->text());
        QVERIFY2(
            width <= quadrel::TextRoom(*cell),
            qPrintable(QStringLiteral("%1 px in %2").arg(width).arg(quadrel::TextRoom(*cell))));
        QVERIFY(cell->font().pointSizeF() >= 5.0);
    }
    // Short numbers keep the window's font.
    Cell(s.window, 0)->setText(QStringLiteral("-12"));
    QCOMPARE(Cell(s.window, 0)->font(), s.window.font());
}

void TestAccessibility::cellsAreNamedByWhatTheyShow() {
    ScriptedWindow s;
    DCT& w = s.window;
    const auto named = [&w](const QString& what) {
        for (int k = 0; k < 64; ++k) {
            const QString expected = QStringLiteral("%1 %2, %3").arg(what).arg(k % 8).arg(k / 8);
            if (Cell(w, k)->accessibleName() != expected) {
                qWarning("cell %d: %s", k, qPrintable(Cell(w, k)->accessibleName()));
                return false;
            }
        }
        return true;
    };
    QVERIFY(named(QStringLiteral("coefficient")));
    Click(Command1(w, 4)); // STOP first: the cycle ends after its first pattern
    Click(Command1(w, 0));
    QCOMPARE(Find<QLabel>(w, "Label1")->text(), quadrel::kPixelAmplitudes);
    QVERIFY(named(QStringLiteral("pixel")));
    Click(Command1(w, 3)); // DCT
    QVERIFY(named(QStringLiteral("coefficient")));
    QVERIFY(!Shape1(w)->accessibleName().isEmpty());
    QVERIFY(!Find<QPushButton>(w, "Command2")->accessibleName().isEmpty());
    QVERIFY(!Find<QPushButton>(w, "Command3")->accessibleName().isEmpty());
}

void TestAccessibility::escapeClosesSecondaryWindows_data() {
    QTest::addColumn<int>("command"); // the main window's button that opens it
    QTest::newRow("Enter X Y Data") << 1;
    QTest::newRow("bitmap viewer") << 10;
    QTest::newRow("help") << 8;
}

void TestAccessibility::escapeClosesSecondaryWindows() {
    QFETCH(int, command);
    ScriptedWindow s;
    Click(Command1(s.window, command));
    QPointer<QWidget> window;
    const QWidgetList tops = QApplication::topLevelWidgets();
    for (QWidget* top : tops) {
        if (top != &s.window && top->isVisible()) {
            window = top;
        }
    }
    QVERIFY(window);
    QWidget* focus = window->focusWidget() ? window->focusWidget() : window.data();
    QTest::keyClick(focus, Qt::Key_Escape);
    QTRY_VERIFY(!window || !window->isVisible());
}

void TestAccessibility::enterPressesTheFocusedButton_data() {
    QTest::addColumn<int>("key");
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter);
}

void TestAccessibility::enterPressesTheFocusedButton() {
    QFETCH(int, key);
    ScriptedWindow s;
    QTest::keyClick(Find<QPushButton>(s.window, "Command2"), static_cast<Qt::Key>(key)); // "+"
    QCOMPARE(s.window.Document().QuantStep(), 32);
    Click(Command1(s.window, 1));
    QTest::keyClick(Find<QPushButton>(*OpenWindow<quadrel::X_Y_Entry>(), "Command1"),
                    static_cast<Qt::Key>(key)); // "OK"
    QVERIFY(!OpenWindow<quadrel::X_Y_Entry>()->isVisible());
}

void TestAccessibility::focusRingIsVisibleOnEveryFace_data() {
    QTest::addColumn<int>("index");
    QTest::newRow("cyan Read Me") << 8;
    QTest::newRow("plain IDCT") << 2;
}

void TestAccessibility::focusRingIsVisibleOnEveryFace() {
    QFETCH(int, index);
    ScriptedWindow s;
    s.window.show();
    s.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&s.window));
    QPushButton* button = Command1(s.window, index);
    Command1(s.window, 5)->setFocus(Qt::TabFocusReason);
    const QImage plain = button->grab().toImage();
    button->setFocus(Qt::TabFocusReason);
    QVERIFY(button->hasFocus());
    const QImage focused = button->grab().toImage();
    QCOMPARE(focused.size(), plain.size());
    // The ring: pixels that changed and stand out from the face at 3:1, the
    // least contrast for a control's parts to be seen.
    const QColor face = button->palette().color(QPalette::Active, QPalette::Button);
    int ring = 0;
    for (int y = 0; y < focused.height(); ++y) {
        for (int x = 0; x < focused.width(); ++x) {
            if (focused.pixel(x, y) != plain.pixel(x, y) &&
                ContrastRatio(focused.pixelColor(x, y), face) >= 3.0) {
                ++ring;
            }
        }
    }
    // At least a third of the way round the button.
    QVERIFY2(ring >= (focused.width() + focused.height()) * 2 / 3,
             qPrintable(QString::number(ring)));
}

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
