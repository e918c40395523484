// The "Read Me" command: the command line and document it hands to the system,
// what the user is told when that fails, and the document the build ships.
#include "main_window/dct_window.h"
#include "main_window/read_me.h"
#include "tests/support/testutils.h"
#include "views/block_document.h"

#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

using quadrel::ReadMe;
using quadrel::test::ScriptedDesktop;

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
    void readMeButtonOpensTheDocumentBesideTheProgram();
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

void TestReadMe::readMeButtonOpensTheDocumentBesideTheProgram() {
    quadrel::test::ScriptedWindow main;
    const ScriptedDesktop& calls = main.desktop;
    main.window.Command1_Click(8);
    // The build copies the document into the folder that holds the executables.
    const QString document = QCoreApplication::applicationDirPath() + QStringLiteral("/readme.rtf");
    QCOMPARE(calls.messages, QStringList{});
    if (ReadMe::NativeRoute() == ReadMe::Route::WordPad) {
        QCOMPARE(calls.started,
                 QStringList{quadrel::WordPadCommandLine(QCoreApplication::applicationDirPath())});
    } else {
        QCOMPARE(calls.opened, QStringList{document});
    }
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
        if (QPushButton* button = window.Command1(index)) {
            QTest::addRow("button %d", index) << button->text();
        }
    }
    QTest::newRow("plus") << window.Command2()->text();
    QTest::newRow("minus") << window.Command3()->text();
    QTest::newRow("fast") << window.Option1(0)->text();
    QTest::newRow("build") << window.Option1(1)->text();
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
}

QTEST_MAIN(TestReadMe)
#include "tst_read_me.moc"
