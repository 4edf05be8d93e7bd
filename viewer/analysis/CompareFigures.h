// The figures of the frame shown against the reference's frame of the same number: PSNR per
// component and combined, MSE, and the largest difference with its place. On the stored samples
// at their native depth when the two layouts hold the same components at the same depths and
// positions (SamplesComparable); otherwise on the displayed R'G'B' of both pictures, as said in
// the figures. The input is copied on the user-interface thread (cheap: two frames' bytes) so
// that the figures can be computed on any thread.
#pragma once

#include "view/picture/CompareRender.h"
#include "view/picture/DisplayBitmap.h"
#include "view/picture/FrameRender.h"

#include "analysis/SamplePsnr.h"

#include <QRect>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace kavlo {

// Two frames to compare, copied.
struct CompareInput {
    int64_t frame = -1;
    bool storedSamples = false;  // compare the raw frames (else the pictures)
    QString fallbackReason;      // why the stored samples are not compared
    FrameSamples samplesA, samplesB;
    std::vector<uint8_t> bytesA, bytesB;  // raw frames, or top-down B'G'R' rows of the pictures
    // The rectangle whose figures are asked for too, in the pixels of what is compared (memory
    // rows of the raw frames, or lines of the pictures), clamped; empty: none.
    QRect region;
};

// `rect` with its corners in any order, clamped to a width x height frame; empty when nothing
// of it lies inside.
QRect ClampRegion(const QRect& rect, int width, int height);

// Copies what the figures of frame `frame` need: the raw frames when their samples are
// comparable, else the pictures (null when there is none: the input then stays empty and the
// figures invalid).
// `region`, when given, asks for the figures of its rectangle as well.
CompareInput CaptureCompareInput(int64_t frame, const SourceFrame& a, const SourceFrame& b,
                                 const DisplayBitmap* pictureA, const DisplayBitmap* pictureB,
                                 const CompareRegion* region = nullptr);

struct CompareFigures {
    bool valid = false;
    int64_t frame = -1;
    bool storedSamples = false;
    QString fallbackReason;
    QStringList names;  // per component: "Y'", "Cb", "Cr"; "R'", "G'", "B'"; "grey"; "A"
    std::vector<int> bits;
    PsnrFigures figures;
    SampleDifference largest;
    // The rectangle's figures (DifferencesInRegion), when one was asked for.
    bool regionValid = false;
    QRect region;
    PsnrFigures regionFigures;
    SampleDifference regionLargest;
};

CompareFigures ComputeCompareFigures(const CompareInput& input);

// A PSNR in dB with two decimals, "inf" for identical samples.
QString PsnrText(double psnr);
// One line for the status bar: "PSNR 38.21 dB (Y' 37.50 Cb 40.10 Cr 41.00) MSE 9.77, max
// |A−B| 12 Y' (10, 4)"; "identical" when nothing differs. A rectangle's figures follow:
// "; rect 16x8 at (32, 40): PSNR 35.02 dB MSE 20.448, max |A−B| 9 Cb (34, 40)".
QString FiguresLine(const CompareFigures& figures);
// The figures as text to copy: what was compared, a table per component, the largest difference.
// `referenceFrame`: the reference's frame that was asked for (A's frame plus the offset), named
// when the reference has none; -1: the same number as A's.
QString FiguresReport(const CompareFigures& figures, int64_t referenceFrame = -1);

}  // namespace kavlo
