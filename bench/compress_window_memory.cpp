// Peak memory of "Compress Picture" on one picture file: the resident-set peak
// before the picture is opened and after the window has shown two results (the
// second computed while the first stays in view), per pixel of the picture.
//
// Usage: quadrel_compress_memory PICTURE   (QT_QPA_PLATFORM=offscreen works)

#include "bench/bench_app.h"
#include "picture_compression/compress_window.h"
#include "picture_compression/zoom_view.h"
#include "tests/support/testutils.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QSpinBox>

#include <sys/resource.h>

#include <cstdio>

namespace {

long PeakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    quadrel::bench::ConfigureBenchmarkApplication(app);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s PICTURE\n", argv[0]);
        return 2;
    }
    quadrel::test::ScriptedWindow main;
    auto* window = new quadrel::CompressWindow(main.window.Document(), main.desktop);
    window->show();
    app.processEvents();
    const long before = PeakKilobytes();

    QEventLoop loop;
    QObject::connect(window, &quadrel::CompressWindow::ResultShown, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    main.desktop.answers = {QString::fromLocal8Bit(argv[1])};
    quadrel::test::Find<QPushButton>(*window, "openButton")->click();
    // A picture that cannot be shown, or made grey, is reported and starts nothing.
    if (!main.desktop.messages.isEmpty()) {
        std::fprintf(stderr, "no result: %s\n", qPrintable(main.desktop.messages.join('\n')));
        return 1;
    }
    loop.exec();
    const qint64 first = clock.elapsed();
    quadrel::test::Find<QSpinBox>(*window, "qualityBox")->setValue(75);
    loop.exec();
    const long after = PeakKilobytes();
    const QImage& grey = quadrel::test::Find<quadrel::ZoomView>(*window, "originalView")->Picture();
    const double pixels = double(grey.width()) * grey.height();
    std::printf("picture %dx%d; first result after %lld ms (file read, checked, decoded, made "
                "grey, analysed)\n",
                grey.width(), grey.height(), static_cast<long long>(first));
    std::printf("peak RSS before %ld KiB, after %ld KiB: rise %.2f bytes per pixel\n", before,
                after, (after - before) * 1024.0 / pixels);
    delete window;
    return 0;
}
