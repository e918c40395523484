// One pointer move over the bitmap viewer: 65 point reads, the forward
// transform, the grid writes and the synchronous repaint of the main window.
// The cost must not grow with the size of the picture, and an open JPEG
// worksheet may add at most half of it.
#include "bench_app.h"
#include "bitmap_viewer/image_frame.h"
#include "bitmap_viewer/picture_box.h"
#include "main_window/dct_window.h"
#include "tests/support/testutils.h"

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

/// Pointer moves over a noise picture of the given side, with or without the
/// JPEG worksheet open (shown whole, every grid in view). When `painted`,
/// pending events run after each move, so that every deferred repaint is paid
/// too, as the event loop pays it when moves come slower than frames.
void PickMoves(benchmark::State& state, bool worksheet, bool painted) {
    quadrel::bench::App();
    quadrel::DCT main;
    ShowAndWait(main);
    quadrel::SystemDesktop desktop; // never asked: no picture is loaded through it
    auto frame =
        std::make_unique<quadrel::ImageFrame>(main.Document(), desktop); // never closed here
    frame->Picture1()->SetPicture(Noise(static_cast<int>(state.range(0))));
    ShowAndWait(*frame);
    if (worksheet) {
        main.ToolWindowActions().at(0)->trigger(); // "JPEG Worksheet"
        auto* sheet = quadrel::test::OpenWindow<quadrel::worksheet::JpegWorksheet>();
        sheet->resize(sheet->PageSize());
        ShowAndWait(*sheet);
    }
    QCoreApplication::processEvents();
    QWidget* area = frame->Picture1();
    int k = 0;
    // NOLINTNEXTLINE(clang-analyzer-deadcode.DeadStores): the benchmark loop variable
    for (auto _ : state) {
        // Every move inside the first 64x64 pixels, so both pictures give the
        // main window new numbers to show each time.
        const QPointF at((k * 37) % 57, (k * 23) % 57);
        ++k;
        QMouseEvent move(QEvent::MouseMove, at, area->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(area, &move);
        if (painted) {
            QCoreApplication::processEvents();
        }
    }
    benchmark::DoNotOptimize(main.Document().Freq());
}

void BM_PickMove(benchmark::State& state) {
    PickMoves(state, false, false);
}
void BM_PickMoveWorksheet(benchmark::State& state) {
    PickMoves(state, true, false);
}
void BM_PickMovePainted(benchmark::State& state) {
    PickMoves(state, false, true);
}
void BM_PickMoveWorksheetPainted(benchmark::State& state) {
    PickMoves(state, true, true);
}

} // namespace

// The move alone and with the JPEG worksheet following the block; then both
// with every repaint they cause paid before the next move.
BENCHMARK(BM_PickMove)
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
BENCHMARK(BM_PickMovePainted)
    ->ArgName("side")
    ->Arg(64)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_PickMoveWorksheetPainted)
    ->ArgName("side")
    ->Arg(64)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
