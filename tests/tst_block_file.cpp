// The block file format, its reader and the file I/O, without any window.
#include "block_file/block_file_format.h"
#include "block_file/block_file_io.h"
#include "file_io/file_writer.h"
#include "file_io/native_path.h"
#include "tests/support/private_device.h"

#include <QtTest>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <iterator>
#include <thread>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cmath>
#include <limits>

using quadrel::Block;
using quadrel::ParseBlockValues;

namespace {

std::string_view View(const QByteArray& bytes) {
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

QList<double> Sequence(int count) {
    QList<double> values;
    for (int k = 0; k < count; ++k) {
        values << k * 1.5 - 20.0;
    }
    return values;
}

// Writes values with the separator after each, and a line end after each `perLine`.
QByteArray Join(const QList<double>& values, int perLine, const char* lineEnd = "\r\n") {
    QByteArray out;
    for (qsizetype k = 0; k < values.size(); ++k) {
        out += QByteArray::number(values[k], 'g', 17);
        const bool lineFull = (k + 1) % perLine == 0 || k + 1 == values.size();
        out += lineFull ? QByteArray(lineEnd) : QByteArray(",");
    }
    return out;
}

QList<double> ToList(const std::vector<double>& values) {
    return {values.begin(), values.end()};
}

} // namespace

class TestBlockFile : public QObject {
    Q_OBJECT
private slots:
    void formatKnownBlock();
    void readerAccepts_data();
    void readerAccepts();
    void readerRejects_data();
    void readerRejects();
    void readFile_data();
    void readFile();
    void save_data();
    void save();
    void readTable_data();
    void readTable();
    void nativeNamesRoundTrip_data();
    void nativeNamesRoundTrip();
    void writeFile_data();
    void writeFile();
};

void TestBlockFile::formatKnownBlock() {
    Block space{};
    Block freq{};
    for (std::size_t x = 0; x < 8; ++x) {
        for (std::size_t y = 0; y < 8; ++y) {
            space[x][y] = static_cast<double>(x + 10 * y) + 0.9;
            freq[x][y] = -static_cast<double>(x + 8 * y) - 0.25;
        }
    }
    space[0][0] = -0.5;
    space[1][0] = 12.9;
    space[2][0] = -12.9;
    space[3][0] = 300;
    space[4][0] = 1e20;
    space[5][0] = -1e-9;
    space[6][0] = 9007199254740993.0; // nearest double is 2^53
    space[7][0] = -4503599627370495.5;
    freq[7][7] = std::numeric_limits<double>::quiet_NaN();
    freq[6][7] = std::numeric_limits<double>::infinity();

    const std::string expected =
        "0,12,-12,300,100000000000000000000,0,9007199254740992,-4503599627370495\r\n"
        "10,11,12,13,14,15,16,17\r\n"
        "20,21,22,23,24,25,26,27\r\n"
        "30,31,32,33,34,35,36,37\r\n"
        "40,41,42,43,44,45,46,47\r\n"
        "50,51,52,53,54,55,56,57\r\n"
        "60,61,62,63,64,65,66,67\r\n"
        "70,71,72,73,74,75,76,77\r\n"
        "# Pixel brightness above, DCT Values below\r\n"
        "0,-1,-2,-3,-4,-5,-6,-7\r\n"
        "-8,-9,-10,-11,-12,-13,-14,-15\r\n"
        "-16,-17,-18,-19,-20,-21,-22,-23\r\n"
        "-24,-25,-26,-27,-28,-29,-30,-31\r\n"
        "-32,-33,-34,-35,-36,-37,-38,-39\r\n"
        "-40,-41,-42,-43,-44,-45,-46,-47\r\n"
        "-48,-49,-50,-51,-52,-53,-54,-55\r\n"
        "-56,-57,-58,-59,-60,-61,0,0\r\n";
    QCOMPARE(quadrel::FormatBlockFile(space, freq), expected);
}

void TestBlockFile::readerAccepts_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QList<double>>("values");

    QTest::newRow("empty file") << QByteArray() << QList<double>{};
    QTest::newRow("blank lines only") << QByteArray("\r\n  \n\t\r\n") << QList<double>{};
    QTest::newRow("blanks around values") << QByteArray(" 1 ,\t2\t, 3 ") << QList<double>{1, 2, 3};
    QTest::newRow("fractions kept")
        << QByteArray("12.5,-0.25,.5,5.,+7") << QList<double>{12.5, -0.25, 0.5, 5, 7};
    QTest::newRow("exponents") << QByteArray("1.5e2,2E-1,1e300,-1E+300")
                               << QList<double>{150, 0.2, 1e300, -1e300};
    QTest::newRow("huge values saturate")
        << QByteArray("1e301,-2.5e300," + QByteArray(400, '9') + ",-1e400")
        << QList<double>{1e300, -1e300, 1e300, -1e300};
    QTest::newRow("minus zero and underflow")
        << QByteArray("-0,1e-400,-0.0") << QList<double>{0, 0, 0};
    QTest::newRow("LF only") << QByteArray("1\n2\n3\n") << QList<double>{1, 2, 3};
    QTest::newRow("lone CR") << QByteArray("1\r2,3\r") << QList<double>{1, 2, 3};
    QTest::newRow("blank lines between values")
        << QByteArray("1\r\n\r\n2\n \n\n3") << QList<double>{1, 2, 3};
    QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF"
                                                   "4,5")
                                     << QList<double>{4, 5};
    QTest::newRow("quoted values")
        << QByteArray("\"12\", \" -3.5 \" ,\"7\"\r\n") << QList<double>{12, -3.5, 7};
    QTest::newRow("Unicode minus sign") << QByteArray("\xE2\x88\x92"
                                                      "30,\"\xE2\x88\x92"
                                                      "2.5\"")
                                        << QList<double>{-30, -2.5};
    QTest::newRow("ten values") << Join(Sequence(10), 8) << Sequence(10);
    QTest::newRow("64 on one line") << Join(Sequence(64), 64) << Sequence(64);
    QTest::newRow("64 one per line") << Join(Sequence(64), 1) << Sequence(64);
    QTest::newRow("64 eight per line, LF") << Join(Sequence(64), 8, "\n") << Sequence(64);
    QTest::newRow("100 values") << Join(Sequence(100), 8) << Sequence(64);
    // Nothing after the 64th value and its separator is looked at.
    QTest::newRow("64 then junk after a comma")
        << Join(Sequence(64), 64).chopped(2) + QByteArray(",\0inf,,\"x", 9) << Sequence(64);
    QTest::newRow("64 then junk after a CR")
        << Join(Sequence(64), 8, "\r") + QByteArray("\n\xFF\0", 3) << Sequence(64);
    QTest::newRow("64 then a marker line")
        << Join(Sequence(64), 8) + "# Pixel brightness above, DCT Values below\r\n"
        << Sequence(64);
}

void TestBlockFile::readerAccepts() {
    QFETCH(QByteArray, text);
    QFETCH(QList<double>, values);
    const quadrel::BlockFileValues result = ParseBlockValues(View(text));
    QVERIFY2(!result.Error, result.Error ? quadrel::DescribeError(*result.Error).c_str() : "");
    QCOMPARE(ToList(result.Values), values);
    for (const double v : result.Values) {
        QVERIFY(!(v == 0.0 && std::signbit(v))); // "-0" would show as -0 elsewhere
    }
}

void TestBlockFile::readerRejects_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("message");

    QTest::newRow("word") << QByteArray("1,2\r\nabc")
                          << "Line 2, value 3: \"abc\" is not a number.";
    QTest::newRow("inf") << QByteArray("inf") << "Line 1, value 1: \"inf\" is not a finite number.";
    QTest::newRow("NaN after blank lines")
        << QByteArray("\n\n NaN ") << "Line 3, value 1: \"NaN\" is not a finite number.";
    QTest::newRow("long non-number shortened")
        << QByteArray("-1" + QByteArray(400, '0') + "x")
        << "Line 1, value 1: \"-10000000000000000000000...\" is not a number.";
    QTest::newRow("empty between commas") << QByteArray("1,,2") << "Line 1, value 2 is empty.";
    QTest::newRow("comma before line end")
        << QByteArray("1,2,\r\n3") << "Line 1, value 3 is empty.";
    QTest::newRow("comma at end of file") << QByteArray("1\r\n2,") << "Line 2, value 3 is empty.";
    QTest::newRow("NUL byte") << QByteArray("1\r\n2\0", 5)
                              << "Line 2, value 2: \"2\\x00\" is not a number.";
    QTest::newRow("binary garbage")
        << QByteArray("\x89PNG\r\n\x1A\n") << "Line 1, value 1: \"\\x89PNG\" is not a number.";
    QTest::newRow("UTF-16 text") << QByteArray("\xFF\xFE\x31\x00", 4)
                                 << "Line 1, value 1: \"\\xFF\\xFE1\\x00\" is not a number.";
    QTest::newRow("blank inside") << QByteArray("1 2")
                                  << "Line 1, value 1: \"1 2\" is not a number.";
    QTest::newRow("Unicode minus after the digits")
        << QByteArray("3\xE2\x88\x92") << "Line 1, value 1: \"3\\xE2\\x88\\x92\" is not a number.";
    QTest::newRow("hexadecimal") << QByteArray("0x10")
                                 << "Line 1, value 1: \"0x10\" is not a number.";
    QTest::newRow("decimal comma in quotes")
        << QByteArray("\"1,5\"") << "Line 1, value 1: \"\"1,5\"\" is not a number.";
    QTest::newRow("quote left open")
        << QByteArray("\"12\r\n3") << "Line 1, value 1: \"\"12\" has no closing quote.";
    QTest::newRow("text after quote")
        << QByteArray("\"1\"2,3")
        << "Line 1, value 1: \"\"1\"2\" has text after its closing quote.";
    QByteArray badLast = Join(Sequence(63), 8);
    badLast.chop(2); // the 64th value joins the eighth line
    QTest::newRow("bad 64th value") << badLast + ",x\r\n"
                                    << "Line 8, value 64: \"x\" is not a number.";
}

void TestBlockFile::readerRejects() {
    QFETCH(QByteArray, text);
    QFETCH(QString, message);
    const quadrel::BlockFileValues result = ParseBlockValues(View(text));
    QVERIFY(result.Error.has_value());
    QVERIFY(result.Values.empty()); // never a half-read block
    QCOMPARE(QString::fromStdString(quadrel::DescribeError(*result.Error)), message);
}

void TestBlockFile::readFile_data() {
    QTest::addColumn<QString>("kind"); // what the path names: "file", "folder", "fifo", "none"
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("count");

    QTest::newRow("missing") << "none" << QByteArray() << "The file cannot be opened" << 0;
    QTest::newRow("a folder") << "folder" << QByteArray() << "not an ordinary file" << 0;
    // Opening a pipe nobody writes to would wait for a writer for good.
    QTest::newRow("a FIFO") << "fifo" << QByteArray() << "not an ordinary file" << 0;
    QByteArray sixtyFour = Join(Sequence(64), 8);
    QTest::newRow("64 values, then 1 MiB of junk")
        << "file" << sixtyFour + QByteArray(quadrel::kMaxBlockFileBytes, '\0') << QString() << 64;
    QByteArray tooLong = QByteArray(quadrel::kMaxBlockFileBytes - 2, '\n') + "1234";
    QTest::newRow("a value across the 1 MiB mark") << "file" << tooLong << "larger than 1 MiB" << 0;
    tooLong.chop(2);
    QTest::newRow("a value ending at the 1 MiB mark") << "file" << tooLong << QString() << 1;
    QTest::newRow("garbage") << "file" << QByteArray("1,2\r\n\x7F")
                             << "Line 2, value 3: \"\\x7F\" is not a number." << 0;
    QTest::newRow("short file") << "file" << QByteArray("1,2,3") << QString() << 3;
}

void TestBlockFile::readFile() {
    QFETCH(QString, kind);
    QFETCH(QByteArray, content);
    QFETCH(QString, error);
    QFETCH(int, count);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("block.txt"));
    const QByteArray native = QFile::encodeName(path);
    if (kind == "folder") {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("block.txt")));
    } else if (kind == "fifo") {
        QCOMPARE(mkfifo(native, 0644), 0);
    } else if (kind == "file") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(content), content.size());
    }
    // Should the read wait on the FIFO, a writer comes after two seconds and
    // releases it, so that the test fails instead of hanging.
    std::atomic<bool> returned = false;
    std::thread rescue([&] {
        for (int k = 0; k < 200 && !returned; ++k) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!returned && kind == "fifo") {
            close(open(native.constData(), O_WRONLY | O_NONBLOCK));
        }
    });
    QElapsedTimer timer;
    timer.start();
    const quadrel::Result<std::vector<double>> read = quadrel::ReadBlockFile(path);
    returned = true;
    rescue.join();
    QVERIFY(timer.elapsed() < 1000);
    const QString message = QString::fromStdString(read.Message());
    if (error.isEmpty()) {
        QVERIFY2(read.Ok(), qPrintable(message));
        QCOMPARE(static_cast<int>(read->size()), count);
    } else {
        QVERIFY2(!read.Ok() && message.contains(error), qPrintable(message));
    }
}

void TestBlockFile::save_data() {
    QTest::addColumn<QString>("target"); // how the file saved over is set up
    QTest::addColumn<QString>("error");  // empty: the save succeeds
    QTest::newRow("longer old file") << "file" << QString();
    QTest::newRow("hard link: both names see the save") << "hard link" << QString();
    QTest::newRow("symlink: the link stays") << "symlink" << QString();
    QTest::newRow("folder not writable, file writable") << "read-only folder" << QString();
    QTest::newRow("file not writable, folder writable") << "read-only file"
                                                        << "Permission denied";
    QTest::newRow("longest name: the temporary name still fits") << "longest name" << QString();
    QTest::newRow("FIFO") << "fifo"
                          << "not an ordinary file";
    QTest::newRow("device node") << "device"
                                 << "not an ordinary file";
    QTest::newRow("full file system") << "full"
                                      << "No space left";
    // Written in place, the room is reserved before the first byte changes.
    QTest::newRow("hard link over the file size limit") << "hard link, size limit"
                                                        << "File too large";
    QTest::newRow("file size limit") << "size limit"
                                     << "too large";
}

void TestBlockFile::save() {
    QFETCH(QString, target);
    QFETCH(QString, error);
    QTemporaryDir dir;
    QString folder = dir.path();
    if (target == "full") {
        // A private, tiny file system that vanishes with the test process.
        if (geteuid() != 0 || unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            QSKIP("no private mount namespace: the size limit row covers this");
        }
        folder = dir.filePath(QStringLiteral("small"));
        QVERIFY(QDir().mkdir(folder));
        QVERIFY(mount("quadrel", QFile::encodeName(folder), "tmpfs", 0, "size=64k") == 0);
    }
    const auto cleanup = qScopeGuard([&] {
        chmod(QFile::encodeName(dir.path()), 0700);
        if (target == "full") {
            umount(QFile::encodeName(folder));
        }
    });
    const QString path = folder + (target == "longest name" ? "/" + QString(255, QLatin1Char('b'))
                                                            : QStringLiteral("/block.csv"));
    const QByteArray old(target.contains("size limit") ? 100 : 5000, 'x');
    const auto put = [](const QString& name, const QByteArray& bytes) {
        QFile file(name);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
    };
    QString seen = path; // where the saved content is read back
    const QByteArray native = QFile::encodeName(path);
    if (target == "fifo") {
        QCOMPARE(mkfifo(native, 0644), 0);
    } else if (target == "device") {
        if (mknod(native, S_IFCHR | 0666, makedev(1, 3)) != 0) { // like /dev/null
            QSKIP("device nodes can only be made by root");
        }
    } else if (target.startsWith("hard link") || target == "symlink") {
        seen = folder + QStringLiteral("/other.csv");
        QVERIFY(put(seen, old));
        QVERIFY(target == "symlink" ? QFile::link(seen, path)
                                    : link(QFile::encodeName(seen), native) == 0);
    } else {
        QVERIFY(put(path, old));
    }
    if (target == "full") {
        while (put(folder + "/filler" + QString::number(QDir(folder).count()),
                   QByteArray(4096, 'f'))) {
        }
    }
    if (target.startsWith("read-only")) {
        const bool file = target == "read-only file";
        QCOMPARE(chmod(native, file ? 0444 : 0666), 0);
        QCOMPARE(chmod(QFile::encodeName(dir.path()), file ? 0777 : 0555), 0);
    }

    Block space{};
    space[7][7] = 99.9;
    QString got;
    {
        // Root passes every permission check, so the save runs as nobody then.
        const bool drop = target.startsWith("read-only") && geteuid() == 0;
        QVERIFY(!drop || seteuid(65534) == 0);
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit unlimited = limit;
        if (target.contains("size limit")) {
            signal(SIGXFSZ, SIG_IGN);
            limit.rlim_cur = 200;
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        got = QString::fromStdString(quadrel::WriteBlockFile(path, space, Block{}).Message());
        setrlimit(RLIMIT_FSIZE, &unlimited);
        QVERIFY(!drop || seteuid(0) == 0);
    }
    if (error.isEmpty()) {
        QCOMPARE(got, QString());
    } else {
        QVERIFY2(got.contains(error), qPrintable(got));
    }
    struct stat after {};
    QCOMPARE(lstat(native, &after), 0);
    if (target == "fifo" || target == "device") {
        QVERIFY(target == "fifo" ? S_ISFIFO(after.st_mode) : S_ISCHR(after.st_mode));
        return;
    }
    QCOMPARE(S_ISLNK(after.st_mode), target == "symlink");
    QCOMPARE(after.st_nlink, nlink_t(target.startsWith("hard link") ? 2 : 1));
    QFile file(seen);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(bytes, error.isEmpty()
                        ? QByteArray::fromStdString(quadrel::FormatBlockFile(space, Block{}))
                        : old);
}

QTEST_GUILESS_MAIN(TestBlockFile)
void TestBlockFile::readTable_data() {
    QTest::addColumn<int>("count");    // values in the file, all 255 but the second, 1
    QTest::addColumn<int>("badIndex"); // -1: none
    QTest::addColumn<QByteArray>("badValue");
    QTest::addColumn<QString>("message"); // empty: the table is read
    QTest::newRow("64 good values") << 64 << -1 << QByteArray() << QString();
    QTest::newRow("zero") << 64 << 7 << QByteArray("0")
                          << "value 8 of the quantisation table is not a whole number from 1 "
                             "to 255.";
    QTest::newRow("256") << 64 << 63 << QByteArray("256")
                         << "value 64 of the quantisation table is not a whole number from 1 "
                            "to 255.";
    QTest::newRow("fraction") << 64 << 0 << QByteArray("2.5")
                              << "value 1 of the quantisation table is not a whole number from "
                                 "1 to 255.";
    QTest::newRow("63 values") << 63 << -1 << QByteArray()
                               << "a quantisation table needs 64 values, found 63.";
    QTest::newRow("not a number") << 64 << 2 << QByteArray("x")
                                  << "Line 1, value 3: \"x\" is not a number.";
    QTest::newRow("no file") << 0 << -1 << QByteArray()
                             << "The file cannot be opened: No such file or directory.";
}

void TestBlockFile::readTable() {
    QFETCH(int, count);
    QFETCH(int, badIndex);
    QFETCH(QByteArray, badValue);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("table.csv"));
    quadrel::jpeg::QuantTable expected{};
    expected.fill(255);
    expected[1] = 1;
    if (count > 0) {
        QByteArrayList fields;
        for (int k = 0; k < count; ++k) {
            fields << QByteArray::number(expected[static_cast<std::size_t>(k)]);
        }
        if (badIndex >= 0) {
            fields[badIndex] = badValue;
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(fields.join(','));
    }
    const quadrel::Result<quadrel::jpeg::QuantTable> table = quadrel::ReadTableFile(path);
    QCOMPARE(QString::fromStdString(table.Message()), message);
    if (message.isEmpty()) {
        QCOMPARE(*table, expected);
    }
}

void TestBlockFile::nativeNamesRoundTrip_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    QTest::newRow("ASCII") << QByteArray("b.txt") << "b.txt";
    QTest::newRow("UTF-8 of 2 and 4 bytes")
        << QByteArray("\xc3\xa9\xf0\x9f\x98\x80") << QString::fromUtf8("\xc3\xa9\xf0\x9f\x98\x80");
    QTest::newRow("lone bytes") << QByteArray("bad\xff\xfe.txt") << "bad\\xff\\xfe.txt";
    QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << "\\xc0\\xaf";
    QTest::newRow("encoded surrogate") << QByteArray("\xed\xb2\x80") << "\\xed\\xb2\\x80";
    QTest::newRow("cut short before a dot") << QByteArray("\xe2\x82.") << "\\xe2\\x82.";
    QTest::newRow("beyond U+10FFFF") << QByteArray("\xf4\x90\x80\x80") << "\\xf4\\x90\\x80\\x80";
}

void TestBlockFile::nativeNamesRoundTrip() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    const QString path = quadrel::PathFromNative(bytes);
    QCOMPARE(quadrel::NativePath(path), bytes);
    QCOMPARE(quadrel::ShownPath(path), shown);
}

void TestBlockFile::writeFile_data() {
    QTest::addColumn<QByteArray>("target"); // what the name leads to
    QTest::addColumn<bool>("streams");      // Streams::Allow
    QTest::addColumn<QString>("error");     // empty: written
    QTest::newRow("FIFO with a reader") << QByteArray("fifo") << true << QString();
    QTest::newRow("FIFO without a reader")
        << QByteArray("lonely fifo") << true << "No program is reading";
    QTest::newRow("FIFO in a window") << QByteArray("fifo") << false << "not an ordinary file";
    QTest::newRow("/dev/null") << QByteArray("/dev/null") << true << QString();
    QTest::newRow("/dev/null in a window")
        << QByteArray("/dev/null") << false << "not an ordinary file";
    QTest::newRow("/dev/full") << QByteArray("/dev/full") << true << "No space left on device";
    QTest::newRow("hard link") << QByteArray("hard link") << true << QString();
    QTest::newRow("symlink") << QByteArray("symlink") << true << QString();
    QTest::newRow("dangling symlink") << QByteArray("dangling symlink") << false << QString();
    QTest::newRow("folder") << QByteArray("folder") << true << "it is a folder";
    QTest::newRow("missing folder")
        << QByteArray("missing/out.txt") << true << "No such file or directory";
    QTest::newRow("name that is no UTF-8") << QByteArray("out\xff.txt") << false << QString();
    QTest::newRow("no name") << QByteArray("") << true << "No file name";
}

void TestBlockFile::writeFile() {
    QFETCH(QByteArray, target);
    QFETCH(bool, streams);
    QFETCH(QString, error);
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path()) + '/';
    QByteArray native = folder + target; // where the name leads
    QByteArray seen = native;            // where the bytes are read back
    int reader = -1;
    const auto cleanup = qScopeGuard([&] {
        if (reader >= 0) {
            ::close(reader);
        }
        std::filesystem::remove_all(folder.toStdString());
    });
    if (target.startsWith('/') || target.isEmpty()) {
        native = seen = target.isEmpty() ? target : quadrel::test::PrivateDevice(target, folder);
        if (native.isEmpty() && !target.isEmpty()) {
            QSKIP("root cannot make a device node here");
        }
    } else if (target.endsWith("fifo")) {
        QCOMPARE(mkfifo(native, 0600), 0);
        reader = target == "fifo" ? ::open(native, O_RDONLY | O_NONBLOCK) : -1;
    } else if (target == "folder") {
        QCOMPARE(mkdir(native, 0700), 0);
    } else if (target.contains("link")) {
        seen = folder + "other";
        if (target != "dangling symlink") {
            QFile old(QFile::decodeName(seen));
            QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
        }
        QCOMPARE(target == "hard link" ? ::link(seen, native) : ::symlink(seen, native), 0);
    }
    const QByteArray bytes = "64 values\n";
    const quadrel::Status written =
        quadrel::WriteFile(quadrel::PathFromNative(native), bytes,
                           streams ? quadrel::Streams::Allow : quadrel::Streams::Refuse);
    const QString got = QString::fromStdString(written.Message());
    struct stat info {};
    if (target.endsWith("fifo") || target.startsWith("/dev/")) {
        QVERIFY(::stat(native, &info) == 0 && (S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode)));
    }
    if (!error.isEmpty()) {
        QVERIFY2(!written && got.contains(error), qPrintable(got));
        return;
    }
    QVERIFY2(written, qPrintable(got));
    if (reader >= 0 || target.startsWith('/')) {
        QByteArray piped(64, '\0');
        QCOMPARE(reader < 0 ? bytes.size() : ::read(reader, piped.data(), piped.size()),
                 bytes.size());
        return;
    }
    QCOMPARE(::lstat(native, &info), 0);
    QCOMPARE(S_ISLNK(info.st_mode), target.contains("symlink"));
    QCOMPARE(info.st_nlink, nlink_t(target == "hard link" ? 2 : 1));
    QFile file;
    const int fd = ::open(seen, O_RDONLY);
    QVERIFY(fd >= 0 && file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
    QCOMPARE(file.readAll(), bytes);
    // Nothing but the file and what leads to it is left in the folder (Qt
    // cannot list a name that is no UTF-8; the standard library can).
    const std::filesystem::directory_iterator entries(folder.toStdString());
    QCOMPARE(std::distance(begin(entries), end(entries)), seen == native ? 1 : 2);
}

#include "tst_block_file.moc"
