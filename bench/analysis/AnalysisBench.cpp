// Cost of the analysis features on 3840 x 2160 frames: the histogram window's statistics (every
// sample read at its native depth, histogram and 1024-column waveform), computed per frame on a
// worker thread, and the view's paint at zooms 16 and 32 with and without the source values
// drawn on the pixels (a 1280 x 720 client area).
//
//   cmake --preset bench
//   cmake --build build-bench --target kavlo_bench_analysis quern
//   QT_QPA_PLATFORM=offscreen build-bench/bin/kavlo_bench_analysis
#include "common/UhdViewMain.h"

#include "clipgen/ClipGen.h"
#include "image/FrameMemory.h"
#include "image/PixelLayout.h"
#include "settings/RawSettings.h"
#include "TNCore.h"
#include "analysis/FrameStatistics.h"
#include "view/VideoBuffer.h"

#include <QApplication>
#include <QImage>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 3840;
constexpr int kHeight = 2160;
constexpr uint32_t kCodes[] = {kLayoutUYVY, kLayoutI420, kLayoutP010, kLayoutV210, kLayoutBGR3};

void BM_Statistics(benchmark::State& state) {
    const uint32_t code = kCodes[state.range(0)];
    clipgen::ClipOptions o;
    o.code = code;
    o.width = kWidth;
    o.height = kHeight;
    std::vector<uint8_t> frame;
    if (!clipgen::PackFrame(o, 0, frame)) {
        state.SkipWithError("the clip generator cannot pack the frame");
        return;
    }
    kavlo::SourceFrame source;
    source.bytes = frame.data();
    source.width = kWidth;
    source.height = kHeight;
    source.code = code;
    source.lineBytes = clipgen::ClipLineBytes(o);
    uint64_t samples = 0;
    for (auto _ : state) {
        const kavlo::FrameStatistics stats = kavlo::ComputeFrameStatistics(source, 1024);
        samples = 0;
        for (const auto& c : stats.components) samples += c.samples;
        benchmark::DoNotOptimize(samples);
    }
    state.counters["samples"] = static_cast<double>(samples);
    state.SetLabel(LayoutName(code));
}
BENCHMARK(BM_Statistics)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

CVideoBuffer* gView = nullptr;

void BM_PaintValues(benchmark::State& state) {
    const double zoom = state.range(0) == 0 ? 16.0 : 32.0;
    const bool values = state.range(1) != 0;
    gView->ActualSize();
    gView->SetZoom(zoom, QPoint(kWidth / 2, kHeight / 2));
    gView->SetShowValuesWhenZoomed(values);
    QWidget* port = gView->viewport();
    QImage target(port->size(), QImage::Format_RGB32);
    for (auto _ : state) {
        port->render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
    state.SetLabel(std::string("zoom ") + std::to_string(static_cast<int>(zoom)) +
                   (values ? ", values" : ", no values"));
}
BENCHMARK(BM_PaintValues)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return RunViewBenchmarks(argc, argv, kWidth, kHeight, &gView); }
