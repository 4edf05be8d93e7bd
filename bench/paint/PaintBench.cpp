// Paint time of the video view for a 3840 x 2160 frame at every zoom level from 1/16 to 32, in
// a 1280 x 720 client area. The view draws only the part of the picture that is visible, so the
// time follows the painted area (the whole picture at small zooms, the client area above them),
// never the zoomed size of the picture.
//
//   cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKAVLO_BENCH=ON
//   cmake --build build-bench --target kavlo_bench_paint quern
//   QT_QPA_PLATFORM=offscreen build-bench/bin/kavlo_bench_paint
#include "common/UhdViewMain.h"

#include "clipgen/ClipGen.h"
#include "image/PixelLayout.h"
#include "settings/RawSettings.h"
#include "TNCore.h"
#include "view/VideoBuffer.h"

#include <QApplication>
#include <QImage>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

constexpr int kWidth = 3840;
constexpr int kHeight = 2160;
constexpr double kZooms[] = {1.0 / 16, 1.0 / 8, 1.0 / 4, 1.0 / 2, 1, 2, 4, 8, 16, 32};

CVideoBuffer* gView = nullptr;

void BM_Paint(benchmark::State& state) {
    const double zoom = kZooms[state.range(0)];
    gView->ActualSize();
    if (zoom != 1.0) gView->SetZoom(zoom, QPoint(kWidth / 2, kHeight / 2));
    QWidget* port = gView->viewport();
    QImage target(port->size(), QImage::Format_RGB32);
    for (auto _ : state) {
        port->render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
    const QRect visible =
        gView->PictureRect().intersected(QRect(QPoint(0, 0), gView->ClientSize()));
    state.counters["zoom"] = zoom;
    state.counters["painted_px"] = double(visible.width()) * double(visible.height());
    state.counters["zoomed_px"] =
        double(gView->ZoomedSize().width()) * double(gView->ZoomedSize().height());
    state.SetLabel("zoom " + std::to_string(zoom));
}
BENCHMARK(BM_Paint)->DenseRange(0, 9)->Unit(benchmark::kMillisecond);

// Fit to Window, as unthrottled play paints every frame: the whole picture in the client area
// (zoom 1/3 here).
void BM_PaintFitted(benchmark::State& state) {
    gView->SetFitToWindow(true);
    QWidget* port = gView->viewport();
    QImage target(port->size(), QImage::Format_RGB32);
    for (auto _ : state) {
        port->render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
    state.counters["zoom"] = gView->Zoom();
    state.counters["painted_px"] =
        double(gView->ZoomedSize().width()) * double(gView->ZoomedSize().height());
    gView->SetFitToWindow(false);
}
BENCHMARK(BM_PaintFitted)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return RunViewBenchmarks(argc, argv, kWidth, kHeight, &gView); }
