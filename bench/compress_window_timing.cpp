// Time to a first picture in "Compress Picture": from the open call to the
// first paint of the original's view with a picture in it (a JPEG's reduced
// preview, or the picture itself), to the first paint of the picture itself,
// and to the first result's numbers shown. Each figure is the median of the runs,
// each run in a new window.
//
// Usage: quadrel_compress_timing PICTURE [RUNS]   (QT_QPA_PLATFORM=offscreen works)

#include "bench/bench_app.h"
#include "picture_compression/compress_window.h"
#include "picture_compression/zoom_view.h"
#include "tests/support/testutils.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

/// Notes the clock at the view's first paint with a preview, and with the picture.
class PaintClock : public QObject {
public:
    PaintClock(quadrel::ZoomView& view, const QElapsedTimer& clock)
        : QObject(&view), view_(view), clock_(clock) {
        view.viewport()->installEventFilter(this);
    }
    qint64 first = -1; ///< any picture
    qint64 whole = -1; ///< the picture itself

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !view_.Picture().isNull()) {
            // After the paint itself: the time until the picture was drawn.
            view_.viewport()->removeEventFilter(this);
            QCoreApplication::sendEvent(watched, event);
            view_.viewport()->installEventFilter(this);
            const qint64 now = clock_.elapsed();
            first = first < 0 ? now : first;
            whole = whole < 0 && !view_.ShowsPreview() ? now : whole;
            return true;
        }
        return false;
    }

private:
    quadrel::ZoomView& view_;
    const QElapsedTimer& clock_;
};

qint64 Median(std::vector<qint64> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    quadrel::bench::ConfigureBenchmarkApplication(app);
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s PICTURE [RUNS]\n", argv[0]);
        return 2;
    }
    const int runs = argc == 3 ? std::max(1, std::atoi(argv[2])) : 5;
    std::vector<qint64> firsts;
    std::vector<qint64> wholes;
    std::vector<qint64> numbers;
    quadrel::test::ScriptedWindow main;
    for (int run = 0; run < runs; ++run) {
        auto* window = new quadrel::CompressWindow(main.window.Document(), main.desktop);
        window->resize(1200, 800);
        window->show();
        app.processEvents();
        QElapsedTimer clock;
        auto* view = quadrel::test::Find<quadrel::ZoomView>(*window, "originalView");
        auto* paints = new PaintClock(*view, clock); // the view's child
        QEventLoop loop;
        QObject::connect(window, &quadrel::CompressWindow::ResultShown, &loop, &QEventLoop::quit);
        main.desktop.answers = {QString::fromLocal8Bit(argv[1])};
        clock.start();
        quadrel::test::Find<QPushButton>(*window, "openButton")->click();
        if (!main.desktop.messages.isEmpty()) {
            std::fprintf(stderr, "no result: %s\n", qPrintable(main.desktop.messages.join('\n')));
            return 1;
        }
        loop.exec();
        numbers.push_back(clock.elapsed());
        while (paints->whole < 0 && clock.elapsed() < 10000) {
            app.processEvents(QEventLoop::AllEvents, 10);
        }
        firsts.push_back(paints->first);
        wholes.push_back(paints->whole);
        std::printf("run %d: first picture painted %lld ms, the picture itself %lld ms, "
                    "numbers shown %lld ms\n",
                    run + 1, static_cast<long long>(paints->first),
                    static_cast<long long>(paints->whole), static_cast<long long>(numbers.back()));
        delete window;
    }
    std::printf("median of %d: first picture %lld ms, the picture itself %lld ms, numbers %lld "
                "ms\n",
                runs, static_cast<long long>(Median(firsts)),
                static_cast<long long>(Median(wholes)), static_cast<long long>(Median(numbers)));
    return 0;
}
