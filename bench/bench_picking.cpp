// One pointer move over the bitmap viewer: 65 point reads, the forward
// transform, the grid writes and the synchronous repaint of the main window.
// The cost must not grow with the size of the picture, and an open JPEG
// worksheet may add at most half of it.
#include "bench_app.h"
#include "bitmap_viewer/image_frame.h"
#include "bitmap_viewer/picture_box.h"
#include "main_window/dct_window.h"

#include <QElapsedTimer>
#include <QMouseEvent>
#include <QRandomGenerator>
#include <QWindow>

#include <benchmark/benchmark.h>

namespace {

QImage Noise(int side) {
    QImage image(side, side, QImage::Format_RGB32);
    QRandomGenerator random(42);
    for (int y = 0; y < side; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < side; ++x) {
            line[x] = random.generate() | 0xFF000000u;
        }
    }
    return image;
}

void ShowAndWait(QWidget& widget) {
    widget.show();
    QElapsedTimer timer;
    timer.start();
    while (!(widget.windowHandle() && widget.windowHandle()->isExposed()) &&
           timer.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

enum class After { Nothing, Events, EventsWithWorksheet };

/// Pointer moves over a noise picture of the given side. With events run
/// after each move, every deferred repaint is paid too, as the event loop pays
/// it between two moves; the worksheet is then shown whole, all grids in view.
void PickMoves(benchmark::State& state, After after) {
    quadrel::bench::App();
    quadrel::DCT main;
    ShowAndWait(main);
    quadrel::SystemDesktop desktop; // never asked: no picture is loaded through it
    auto frame =
        std::make_unique<quadrel::ImageFrame>(main.Document(), desktop); // never closed here
    frame->Picture1()->SetPicture(Noise(static_cast<int>(state.range(0))));
    ShowAndWait(*frame);
    if (after == After::EventsWithWorksheet) {
        main.ShowWorksheet();
        main.Worksheet()->resize(main.Worksheet()->PageSize());
        ShowAndWait(*main.Worksheet());
        QCoreApplication::processEvents();
    }
    QWidget* area = frame->Picture1();
    int k = 0;
    for (auto _ : state) {
        // Every move inside the first 64x64 pixels, so both pictures give the
        // main window new numbers to show each time.
        const QPointF at((k * 37) % 57, (k * 23) % 57);
        ++k;
        QMouseEvent move(QEvent::MouseMove, at, area->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(area, &move);
        if (after != After::Nothing) {
            QCoreApplication::processEvents();
        }
    }
    benchmark::DoNotOptimize(main.Document().Freq());
}

void BM_PickMove(benchmark::State& state) {
    PickMoves(state, After::Nothing);
}

void BM_PickMovePainted(benchmark::State& state) {
    PickMoves(state, After::Events);
}

void BM_PickMoveWorksheet(benchmark::State& state) {
    PickMoves(state, After::EventsWithWorksheet);
}

} // namespace

BENCHMARK(BM_PickMove)
    ->ArgName("side")
    ->Arg(64)
    ->Arg(4000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// The same moves with pending events run after each: without the worksheet,
// and with the JPEG worksheet open and following the block.
BENCHMARK(BM_PickMovePainted)
    ->ArgName("side")
    ->Arg(64)
    ->Arg(4000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_PickMoveWorksheet)
    ->ArgName("side")
    ->Arg(64)
    ->Arg(4000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
