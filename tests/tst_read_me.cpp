// The "Read Me" command: the command line and document it hands to the system,
// what the user is told when that fails, and the document the build ships.
#include "help/help_window.h"
#include "main_window/dct_window.h"
#include "main_window/read_me.h"
#include "tests/support/testutils.h"
#include "views/block_document.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextBrowser>
#include <QtTest>

#include <algorithm>

using quadrel::ReadMe;
using quadrel::test::ScriptedDesktop;

using namespace quadrel::test;

namespace {

QByteArray ShippedDocument() {
    QFile file(QCoreApplication::applicationDirPath() + QStringLiteral("/readme.rtf"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A text as it appears in RTF source, where backslashes and braces are escaped.
QByteArray RtfEscaped(const QString& text) {
    QByteArray escaped;
    for (const char c : text.toLatin1()) {
        if (c == '\\' || c == '{' || c == '}') {
            escaped += '\\';
        }
        escaped += c;
    }
    return escaped;
}

// A stand-in xdg-open first on PATH while this lives: it notes the file it was
// asked to open in "asked" in `folder`, then runs `then`.
class StandInOpener {
public:
    StandInOpener(const QString& folder, const QString& then) : path_(qgetenv("PATH")) {
        QFile opener(folder + QStringLiteral("/xdg-open"));
        if (opener.open(QIODevice::WriteOnly)) {
            opener.write(QStringLiteral("#!/bin/sh\necho \"$1\" > '%1/asked'\n%2\n")
                             .arg(folder, then)
                             .toUtf8());
            opener.close();
            opener.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        qputenv("PATH", folder.toUtf8() + ':' + path_);
    }
    ~StandInOpener() { qputenv("PATH", path_); }
    StandInOpener(const StandInOpener&) = delete;
    StandInOpener& operator=(const StandInOpener&) = delete;

private:
    QByteArray path_;
};

} // namespace

class TestReadMe : public QObject {
    Q_OBJECT
private slots:
    void wordPadCommandLine_data();
    void wordPadCommandLine();
    void open_data();
    void open();
    void readMeButtonAndF1ShowTheDocument_data();
    void readMeButtonAndF1ShowTheDocument();
    void helpPageLinksItsContents();
    void f1OpensTheWindowsSection_data();
    void f1OpensTheWindowsSection();
    void findInHelp_data();
    void findInHelp();
    void generatorConverts_data();
    void generatorConverts();
    void xdgOpenVerdictReachesTheUser_data();
    void xdgOpenVerdictReachesTheUser();
    void openerOutlivesTheProgram();
    void shippedDocumentIsWellFormedRtf();
    void shippedDocumentNamesEveryControl_data();
    void shippedDocumentNamesEveryControl();
};

void TestReadMe::wordPadCommandLine_data() {
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("commandLine");
    QTest::newRow("folder with blanks")
        << "C:/Program Files/Quadrel"
        << R"(C:\progra~1\access~1\wordpad.exe "C:\Program Files\Quadrel\readme.rtf")";
    QTest::newRow("native separators")
        << R"(D:\Tools\dct)"
        << R"(C:\progra~1\access~1\wordpad.exe "D:\Tools\dct\readme.rtf")";
    QTest::newRow("drive root") << "E:/"
                                << R"(C:\progra~1\access~1\wordpad.exe "E:\readme.rtf")";
    QTest::newRow("network share")
        << "//server/share/quadrel"
        << R"(C:\progra~1\access~1\wordpad.exe "\\server\share\quadrel\readme.rtf")";
}

void TestReadMe::wordPadCommandLine() {
    QFETCH(QString, folder);
    QFETCH(QString, commandLine);
    QCOMPARE(quadrel::WordPadCommandLine(folder), commandLine);
}

void TestReadMe::open_data() {
    QTest::addColumn<bool>("wordPad");
    QTest::addColumn<bool>("documentPresent");
    QTest::addColumn<bool>("openerWorks");
    QTest::addColumn<bool>("openerGivesUpLater"); // e.g. xdg-open finds no application
    QTest::addColumn<QString>("reason");          // empty when no message is expected
    QTest::newRow("wordpad starts") << true << true << true << false << QString();
    QTest::newRow("wordpad fails") << true << true << false << false << "wordpad.exe";
    QTest::newRow("desktop opens") << false << true << true << false << QString();
    QTest::newRow("no desktop opener") << false << true << false << false << "no application";
    QTest::newRow("opener later finds no application")
        << false << true << true << true << "no application";
    QTest::newRow("missing, wordpad") << true << false << true << false << "missing";
    QTest::newRow("missing, desktop") << false << false << true << false << "missing";
}

void TestReadMe::open() {
    QFETCH(bool, wordPad);
    QFETCH(bool, documentPresent);
    QFETCH(bool, openerWorks);
    QFETCH(bool, openerGivesUpLater);
    QFETCH(QString, reason);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString document = folder.path() + QStringLiteral("/readme.rtf");
    if (documentPresent) {
        QFile file(document);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    ScriptedDesktop calls; // nothing is started: the calls are only noted
    calls.programsStart = openerWorks;
    const ReadMe readMe(folder.path(),
                        wordPad ? ReadMe::Route::WordPad : ReadMe::Route::DesktopDefault, calls);

    QCOMPARE(readMe.Open(), reason.isEmpty() || openerGivesUpLater);
    if (openerGivesUpLater) {
        QVERIFY(calls.messages.isEmpty());
        QVERIFY(calls.whenNoApplication);
        calls.whenNoApplication();
    }

    // A missing document is reported before anything is started.
    const bool asked = documentPresent;
    QCOMPARE(calls.started, asked && wordPad
                                ? QStringList{quadrel::WordPadCommandLine(folder.path())}
                                : QStringList{});
    QCOMPARE(calls.opened, asked && !wordPad ? QStringList{document} : QStringList{});
    QCOMPARE(calls.messages.size(), reason.isEmpty() ? 0 : 1);
    if (!reason.isEmpty()) {
        const QString& message = calls.messages.constFirst();
        QVERIFY2(message.contains(QDir::toNativeSeparators(document)), qPrintable(message));
        QVERIFY2(message.contains(reason), qPrintable(message));
    }
}

void TestReadMe::readMeButtonAndF1ShowTheDocument_data() {
    QTest::addColumn<bool>("byKey");
    QTest::newRow("Read Me button") << false;
    QTest::newRow("F1") << true;
}

void TestReadMe::readMeButtonAndF1ShowTheDocument() {
    QFETCH(bool, byKey);
    quadrel::test::ScriptedWindow main;
    const ScriptedDesktop& calls = main.desktop;
    main.window.show();
    main.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&main.window));
    if (byKey) {
        QTest::keyClick(&main.window, Qt::Key_F1);
    } else {
        Click(Command1(main.window, 8));
    }
    QCOMPARE(calls.messages, QStringList{});
    const QString folder = QCoreApplication::applicationDirPath();
    switch (ReadMe::NativeRoute()) {
    case ReadMe::Route::WordPad:
        QCOMPARE(calls.started, QStringList{quadrel::WordPadCommandLine(folder)});
        break;
    case ReadMe::Route::DesktopDefault:
        QCOMPARE(calls.opened, QStringList{quadrel::ReadMePath(folder)});
        break;
    case ReadMe::Route::HelpWindow: {
        QVERIFY(calls.started.isEmpty() && calls.opened.isEmpty());
        const QWidgetList tops = QApplication::topLevelWidgets();
        const auto help = std::find_if(tops.begin(), tops.end(), [](QWidget* w) {
            return qobject_cast<quadrel::HelpWindow*>(w) && w->isVisible();
        });
        QVERIFY(help != tops.end());
        QCOMPARE((*help)->windowTitle(), QStringLiteral("Quadrel v3.0 Read Me"));
        break;
    }
    }
}

void TestReadMe::helpPageLinksItsContents() {
    quadrel::HelpWindow help;
    auto* browser = Find<QTextBrowser>(help, "browser");
    const QTextDocument* page = browser->document();
    QStringList links;
    QStringList anchors;
    for (QTextBlock block = page->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (!format.anchorHref().isEmpty()) {
                links << format.anchorHref();
            }
            anchors << format.anchorNames();
        }
    }
    QCOMPARE(links.size(), 19); // the contents list
    for (const QString& link : std::as_const(links)) {
        QVERIFY2(link.startsWith(QLatin1Char('#')) && anchors.contains(link.mid(1)),
                 qPrintable(link));
    }
    // Following one scrolls the page to its section; Back returns.
    help.resize(700, 500);
    help.show();
    browser->setSource(QUrl(links.last()));
    QTRY_VERIFY(browser->verticalScrollBar()->value() > 0);
    QTest::mouseClick(Find<QPushButton>(help, "backButton"), Qt::LeftButton);
    QTRY_COMPARE(browser->verticalScrollBar()->value(), 0);
}

void TestReadMe::f1OpensTheWindowsSection_data() {
    QTest::addColumn<int>("opener"); // the main window's button or key that opens the window
    QTest::addColumn<QString>("heading");
    QTest::newRow("worksheet") << (Qt::CTRL | Qt::Key_J).toCombined() << "14. The JPEG worksheet";
    QTest::newRow("Compress Picture")
        << (Qt::CTRL | Qt::SHIFT | Qt::Key_J).toCombined() << "15. Compress Picture";
    QTest::newRow("bitmap viewer") << 10 << "10. The bitmap viewer";
    QTest::newRow("frequency entry") << 1 << "9. The frequency entry dialog";
}

// F1 in each window opens the help at that window's section, its heading at
// the top of the view.
void TestReadMe::f1OpensTheWindowsSection() {
    QFETCH(int, opener);
    QFETCH(QString, heading);
    if (ReadMe::NativeRoute() != ReadMe::Route::HelpWindow) {
        QSKIP("The help window shows the document on Linux and the BSDs only.");
    }
    quadrel::test::ScriptedWindow main;
    main.window.show();
    QVERIFY(QTest::qWaitForWindowActive(&main.window));
    const QWidgetList before = QApplication::topLevelWidgets();
    if (opener < 12) {
        Click(Command1(main.window, opener));
    } else {
        QTest::keySequence(&main.window, QKeySequence(QKeyCombination::fromCombined(opener)));
    }
    QWidget* window = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (!before.contains(top) && top->isVisible()) {
            window = top;
        }
    }
    QVERIFY(window != nullptr);
    QVERIFY(QTest::qWaitForWindowActive(window));
    QTest::keyClick(window, Qt::Key_F1);
    quadrel::HelpWindow* help = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* shown = qobject_cast<quadrel::HelpWindow*>(top); shown && shown->isVisible()) {
            help = shown;
        }
    }
    QVERIFY(help != nullptr);
    auto* browser = Find<QTextBrowser>(*help, "browser");
    QTRY_VERIFY(browser->verticalScrollBar()->value() > 0 ||
                browser->verticalScrollBar()->maximum() == 0);
    const QTextCursor top = browser->cursorForPosition(QPoint(4, 4));
    QVERIFY2(top.block().text().startsWith(heading) ||
                 top.block().next().text().startsWith(heading),
             qPrintable(top.block().text()));
    window->close();
    help->close();
}

void TestReadMe::findInHelp_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("backward");
    QTest::addColumn<bool>("found");
    QTest::newRow("a word") << "WordPad" << false << true;
    QTest::newRow("backward, round the start") << "exercise" << true << true;
    QTest::newRow("absent") << "xylophone" << false << false;
}

void TestReadMe::findInHelp() {
    QFETCH(QString, text);
    QFETCH(bool, backward);
    QFETCH(bool, found);
    quadrel::HelpWindow help;
    help.show();
    QTest::keyClicks(Find<QLineEdit>(help, "findBox"), text);
    QTest::mouseClick(Find<QPushButton>(help, backward ? "previousButton" : "nextButton"),
                      Qt::LeftButton);
    const QString selected = Find<QTextBrowser>(help, "browser")->textCursor().selectedText();
    QCOMPARE(selected.compare(text, Qt::CaseInsensitive) == 0, found);
    QCOMPARE(Find<QLabel>(help, "findStatus")->text().isEmpty(), found);
}

void TestReadMe::generatorConverts_data() {
    QTest::addColumn<QByteArray>("rtf"); // the body of a document
    QTest::addColumn<QString>("html");   // a part of the page made from it
    QTest::newRow("bold and italic")
        << QByteArray(R"(\pard\plain a {\b b} {\i c}\par)") << "<p>a <b>b</b> <i>c</i></p>";
    QTest::newRow("escapes") << QByteArray(R"(\pard\plain 8\'d78 \u8722?3 \{x\} a<b&\par)")
                             << "<p>8×8 −3 {x} a&lt;b&amp;</p>";
    QTest::newRow("fixed width, superscript")
        << QByteArray(R"(\pard\plain {\f2 readme.rtf} 10{\super \u8722-4}\par)")
        << "<code>readme.rtf</code> 10<sup>−4</sup>";
    QTest::newRow("bullets")
        << QByteArray(R"(\pard\plain\bullet\tab one\par\pard\plain\bullet\tab two\par)")
        << "<ul>\n<li>one</li>\n<li>two</li>\n</ul>";
    QTest::newRow("contents link")
        << QByteArray(R"(\pard\plain 2.\tab Files\par\pard\plain\s1 2. Files\par)")
        << "<a href=\"#section-2\">2. Files</a>";
    QTest::newRow("table") << QByteArray(R"(\trowd\cellx10\cellx20
\pard\plain\intbl A\cell\pard\plain\intbl B\line C\cell\row
\pard\plain after\par)") << "<tr><td align=\"center\">A</td><td align=\"center\">B<br>C</td></tr>";
    QTest::newRow("hidden parts")
        << QByteArray(
               R"({\fonttbl{\f0 Arial;}}{\info{\title T}}{\footer page\par}\pard\plain x\par)")
        << "<title>T</title></head><body>\n<p>x</p>";
}

void TestReadMe::generatorConverts() {
    QFETCH(QByteArray, rtf);
    QFETCH(QString, html);
    QTemporaryDir dir;
    QFile in(dir.filePath(QStringLiteral("in.rtf")));
    QVERIFY(in.open(QIODevice::WriteOnly));
    in.write("{\\rtf1\\ansi\\uc1\n" + rtf + "\n}");
    in.close();
    const QString out = dir.filePath(QStringLiteral("out.html"));
    QCOMPARE(QProcess::execute(QStringLiteral(QUADREL_RTF_TO_HTML), {in.fileName(), out}), 0);
    QFile page(out);
    QVERIFY(page.open(QIODevice::ReadOnly));
    const QString made = QString::fromUtf8(page.readAll());
    QVERIFY2(made.contains(html), qPrintable(made));
}

void TestReadMe::xdgOpenVerdictReachesTheUser_data() {
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("reported");
    QTest::newRow("opened") << 0 << false;
    QTest::newRow("no method available") << 3 << true;
    QTest::newRow("action failed") << 4 << true;
}

void TestReadMe::xdgOpenVerdictReachesTheUser() {
#if !defined(Q_OS_UNIX) || defined(Q_OS_MACOS)
    QSKIP("xdg-open is the opener on Linux and BSD desktops only");
#else
    QFETCH(int, exitCode);
    QFETCH(bool, reported);
    QTemporaryDir bin;
    QVERIFY(bin.isValid());
    const StandInOpener opener(bin.path(), QStringLiteral("exit %1").arg(exitCode));
    ScriptedDesktop desktop; // the real opener; messages only noted
    desktop.realPrograms = true;
    const QStringList& messages = desktop.messages;
    const ReadMe readMe(QCoreApplication::applicationDirPath(), ReadMe::Route::DesktopDefault,
                        desktop);
    QVERIFY(readMe.Open());
    QTRY_VERIFY(QFile::exists(bin.path() + QStringLiteral("/asked")));
    if (reported) {
        QTRY_COMPARE(messages.size(), 1);
        QVERIFY(messages.front().contains(QStringLiteral("no application")));
    } else {
        // The opener has finished once its process object is gone.
        QTRY_VERIFY(desktop.findChildren<QProcess*>().isEmpty());
        QVERIFY(messages.isEmpty());
    }
#endif
}

void TestReadMe::openerOutlivesTheProgram() {
#if !defined(Q_OS_UNIX) || defined(Q_OS_MACOS)
    QSKIP("xdg-open is the opener on Linux and BSD desktops only");
#else
    QTemporaryDir bin;
    QVERIFY(bin.isValid());
    const QString done = bin.path() + QStringLiteral("/still running");
    const StandInOpener opener(bin.path(), QStringLiteral("sleep 1; : > '%1'").arg(done));
    {
        quadrel::SystemDesktop desktop; // goes, as it does when Quadrel ends
        QVERIFY(desktop.OpenDocument(quadrel::ReadMePath(QCoreApplication::applicationDirPath()),
                                     [] {}));
        QTRY_VERIFY(QFile::exists(bin.path() + QStringLiteral("/asked")));
    }
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(done), 10000);
#endif
}

void TestReadMe::shippedDocumentIsWellFormedRtf() {
    const QByteArray rtf = ShippedDocument();
    QVERIFY(rtf.startsWith("{\\rtf1"));
    int depth = 0;
    qsizetype closedAt = -1;
    for (qsizetype i = 0; i < rtf.size(); ++i) {
        const auto c = static_cast<unsigned char>(rtf[i]);
        QVERIFY2(c < 128, qPrintable(QStringLiteral("non-ASCII byte at %1").arg(i)));
        if (c == '\\') {
            ++i; // an escaped brace or backslash is text, not structure
        } else if (c == '{') {
            QVERIFY2(closedAt < 0, "text after the document's closing brace");
            ++depth;
        } else if (c == '}') {
            QVERIFY2(--depth >= 0, qPrintable(QStringLiteral("unbalanced '}' at %1").arg(i)));
            if (depth == 0) {
                closedAt = i;
            }
        }
    }
    QCOMPARE(depth, 0);
    QVERIFY(rtf.mid(closedAt + 1).trimmed().isEmpty());
}

void TestReadMe::shippedDocumentNamesEveryControl_data() {
    QTest::addColumn<QString>("text");
    // Captions as the window shows them at start, so the document follows the program.
    quadrel::DCT window;
    for (int index = 0; index <= 11; ++index) {
        if (auto* button =
                window.findChild<QPushButton*>(QStringLiteral("Command1_%1").arg(index))) {
            QTest::addRow("button %d", index) << button->text();
        }
    }
    QTest::newRow("plus") << Find<QPushButton>(window, "Command2")->text();
    QTest::newRow("minus") << Find<QPushButton>(window, "Command3")->text();
    QTest::newRow("fast") << Option1(window, 0)->text();
    QTest::newRow("build") << Option1(window, 1)->text();
    QTest::newRow("title") << window.windowTitle();
    QTest::newRow("freq label") << quadrel::kFreqAmplitudes;
    QTest::newRow("pixel label") << quadrel::kPixelAmplitudes;
    QTest::newRow("pattern label") << quadrel::kPixelPattern;
    QTest::newRow("wordpad") << QString::fromLatin1(quadrel::kWordPadProgram);
    QTest::newRow("marker line") << "# Pixel brightness above, DCT Values below";
}

void TestReadMe::shippedDocumentNamesEveryControl() {
    QFETCH(QString, text);
    QVERIFY2(ShippedDocument().contains(RtfEscaped(text)), qPrintable(text));
    // The help window's page is made from the same document.
    const quadrel::HelpWindow help;
    QVERIFY2(Find<QTextBrowser>(help, "browser")->toPlainText().contains(text), qPrintable(text));
}

QTEST_MAIN(TestReadMe)
#include "tst_read_me.moc"
