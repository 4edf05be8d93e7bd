#include "UhdViewMain.h"

#include "clipgen/ClipGen.h"
#include "image/PixelLayout.h"
#include "settings/RawSettings.h"
#include "TNCore.h"
#include "view/VideoBuffer.h"

#include <QApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

int RunViewBenchmarks(int argc, char** argv, int width, int height, CVideoBuffer** view) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (TNCoreInitialize(nullptr) < 0) {
        std::fprintf(stderr, "the core cannot start\n");
        return 1;
    }
    QTemporaryDir dir;
    clipgen::ClipOptions clip;
    clip.code = kLayoutUYVY;
    clip.width = width;
    clip.height = height;
    clip.frames = 1;
    const std::string path = dir.filePath(QStringLiteral("uhd.raw")).toStdString();
    std::string error;
    if (!clipgen::WriteClip(clip, path, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    RawSettings settings{};
    settings.size = kRawSettingsSize;
    settings.frameDuration = 1;
    settings.timeScale = 25;
    BuildRawVideoFormat(settings.rawFormat, width, height, kLayoutUYVY, 0, 0);

    int result = 0;
    {
        auto shown = std::make_unique<CVideoBuffer>();
        shown->setFrameShape(QFrame::NoFrame);
        shown->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        shown->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        shown->resize(1280, 720);
        shown->show();
        QString openError;
        if (shown->OpenFile(&settings, QString::fromStdString(path), openError, 0) != 0) {
            std::fprintf(stderr, "%s\n", openError.toStdString().c_str());
            result = 1;
        } else {
            *view = shown.get();
            benchmark::RunSpecifiedBenchmarks();
            *view = nullptr;
        }
    }
    benchmark::Shutdown();
    TNCoreClose();
    return result;
}
