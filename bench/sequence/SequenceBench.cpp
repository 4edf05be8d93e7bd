// The PSNR of every frame of two 1920 x 1080 files, 8-bit I420 and 10-bit P010, 120 frames from
// the page cache: SequenceCompare (the compare thread reads A and compares while the reader
// thread reads B ahead) against the same reads and sums one after the other on one thread.
//
//   cmake --preset bench
//   cmake --build build-bench --target kavlo_bench_sequence quern
//   build-bench/bin/kavlo_bench_sequence
#include "clipgen/ClipGen.h"
#include "image/FrameMemory.h"
#include "image/PixelLayout.h"
#include "analysis/SamplePsnr.h"
#include "settings/RawSettings.h"
#include "TNCore.h"
#include "analysis/SequenceCompare.h"
#include "view/file/VideoFile.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kFrames = 120;
constexpr uint32_t kCodes[] = {kLayoutI420, kLayoutP010};

struct Pair {
    kavlo::SequenceRequest request;
};

RawSettings SettingsFor(const clipgen::ClipOptions& o) {
    RawSettings s{};
    s.size = kRawSettingsSize;
    s.frameDuration = 1;
    s.timeScale = 25;
    BuildRawVideoFormat(s.rawFormat, o.width, o.height, o.code, clipgen::ClipLineBytes(o), 0);
    return s;
}

// The files of one layout, written once: A, and B coded with another matrix.
const Pair* PairOf(uint32_t code) {
    static QTemporaryDir dir;
    static std::map<uint32_t, std::unique_ptr<Pair>> pairs;
    auto& pair = pairs[code];
    if (pair) return pair.get();
    clipgen::ClipOptions a;
    a.code = code;
    a.width = kWidth;
    a.height = kHeight;
    a.frames = kFrames;
    clipgen::ClipOptions b = a;
    b.coding.matrix = clipgen::Matrix::BT709;
    const std::string name = LayoutName(code);
    const QString pathA = dir.filePath(QString::fromStdString(name + "_a.raw"));
    const QString pathB = dir.filePath(QString::fromStdString(name + "_b.raw"));
    std::string error;
    if (!clipgen::WriteClip(a, pathA.toStdString(), error) ||
        !clipgen::WriteClip(b, pathB.toStdString(), error))
        return nullptr;
    pair = std::make_unique<Pair>();
    pair->request.a = {pathA, SettingsFor(a)};
    pair->request.b = {pathB, SettingsFor(b)};
    return pair.get();
}

void BM_SequenceCompare(benchmark::State& state) {
    const Pair* pair = PairOf(kCodes[state.range(0)]);
    if (!pair) {
        state.SkipWithError("the clips cannot be written");
        return;
    }
    for (auto _ : state) {
        kavlo::SequenceCompare run;
        run.Start(pair->request);
        run.Wait();
        if (run.Snapshot().status != kavlo::SequenceStatus::Done) {
            state.SkipWithError(run.Snapshot().error.toStdString().c_str());
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
    state.SetLabel(LayoutName(kCodes[state.range(0)]));
}

void BM_OneThread(benchmark::State& state) {
    const Pair* pair = PairOf(kCodes[state.range(0)]);
    if (!pair) {
        state.SkipWithError("the clips cannot be written");
        return;
    }
    for (auto _ : state) {
        kavlo::VideoFile fileA, fileB;
        RawSettings sa = pair->request.a.settings, sb = pair->request.b.settings;
        QString error;
        if (!fileA.Open(&sa, pair->request.a.fileName, error) ||
            !fileB.Open(&sb, pair->request.b.fileName, error)) {
            state.SkipWithError(error.toStdString().c_str());
            return;
        }
        FrameSamples samplesA, samplesB;
        DescribeSamples(sa.rawFormat.code, kWidth, kHeight, sa.rawFormat.lineBytes, samplesA);
        DescribeSamples(sb.rawFormat.code, kWidth, kHeight, sb.rawFormat.lineBytes, samplesB);
        const PsnrWeights weights = WeightsOf(samplesA);
        std::vector<uint8_t> frameA(fileA.RawFrameBytes()), frameB(fileB.RawFrameBytes());
        std::vector<uint64_t> sse;
        std::vector<PsnrFigures> figures;
        for (int64_t n = 0; n < kFrames; ++n) {
            fileA.LoadFrameInto(n, frameA.data());
            fileB.LoadFrameInto(n, frameB.data());
            SumSquaredDifferences(samplesA, frameA.data(), samplesB, frameB.data(), sse);
            figures.push_back(FrameFigures(weights, sse, samplesA));
        }
        benchmark::DoNotOptimize(figures.data());
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
    state.SetLabel(LayoutName(kCodes[state.range(0)]));
}

BENCHMARK(BM_SequenceCompare)->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OneThread)->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    CTNCore core(nullptr);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
