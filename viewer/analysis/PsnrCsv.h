// The text of a PSNR comparison of frames, as `kavlo-tool compare` prints it and the viewer's
// sequence window exports it: one CSV header line, one line per frame, and ffmpeg's summary line
// starting with '#'. One writer for both, so that the files they make are the same byte for byte.
#pragma once

#include "analysis/SamplePsnr.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A figure as the reports print it: fixed with `decimals` decimals, "inf" for infinity.
std::string PsnrNumberText(double value, int decimals);

// ffmpeg's "min" and "max" frames: the first frame with the highest average MSE (lowest PSNR)
// and the first with the lowest (highest PSNR), as indices into `frames`; 0 for no frames.
struct PsnrExtremes {
    size_t minIndex = 0;
    size_t maxIndex = 0;
};
PsnrExtremes FindPsnrExtremes(const std::vector<PsnrFigures>& frames);

// "frame,mse_avg,mse_<c>...,psnr_avg,psnr_<c>..." for the components of `samples`.
std::string PsnrCsvHeader(const FrameSamples& samples);
// One frame's line (frame number, MSE average and per component, PSNR average and per component).
std::string PsnrCsvRow(int64_t frame, const PsnrFigures& figures);
// "# PSNR y:... cb:... average:... min:... (frame n) max:... (frame m) frames:k"; frames holds at
// least one frame, numbered from `first`.
std::string PsnrSummaryLine(const FrameSamples& samples, int64_t first,
                            const std::vector<PsnrFigures>& frames, const PsnrFigures& summary);
// The whole text: header, the frames numbered from `first`, and the summary line, each line
// ending in '\n'. Frames holds at least one frame.
std::string PsnrCsvText(const FrameSamples& samples, int64_t first,
                        const std::vector<PsnrFigures>& frames, const PsnrFigures& summary);
