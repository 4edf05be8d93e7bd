// The source samples behind a displayed pixel: which pixel of the raw frame a pixel of the
// picture shows (through flip, bottom-up storage and the field arrangement), and the samples of
// that pixel at their native bit depth, read by the frame-memory description so that every
// layout of the catalogue is read the same way. No widget: the probe of the view, the value
// overlay and the tests use it alike.
#pragma once

#include "view/picture/FieldRender.h"
#include "view/picture/FrameRender.h"

#include "image/FrameMemory.h"

#include <QString>
#include <QStringList>

#include <cstdint>

namespace kavlo {

// The converted row that row d of the field image takes under `arrangement`: the inverse of
// ArrangeFields (the identity arrangement gives d itself). `height` is the frame's row count.
int ArrangedSourceRow(int d, int height, const FieldArrangement& arrangement);

// The memory row of the raw frame that displayed line y (0 = top line on screen) shows with the
// view's switches: the orientation first, then the field arrangement. With deinterlacing on the
// displayed row is computed from several rows; this is the row it stands in place of.
int SourceRowOfDisplayedLine(int y, int height, const StoredFrameFlags& stored,
                             const ViewSwitches& switches);

struct ProbeSample {
    Component component = Component::Grey;
    uint8_t bits = 0;
    uint32_t value = 0;
};

// How the chroma samples of a pixel relate to it.
enum class ChromaSiting : uint8_t {
    None,       // no chroma samples (R'G'B', grey), or a one-pixel-wide packed pair frame
    Own,        // 4:4:4: the pixel's own samples
    Pair,       // horizontally subsampled: the samples of a run of pixels in the same row
    Subsampled  // subsampled both ways: a sample of the chroma plane
};

struct SourceValues {
    bool valid = false;
    int x = 0;    // column of the source pixel
    int row = 0;  // memory row of the source pixel (top row of memory = 0)
    ColourModel model = ColourModel::Grey;
    int count = 0;
    ProbeSample samples[kMaxSampleSlots];
    ChromaSiting siting = ChromaSiting::None;
    int chromaFirstX = 0;  // Pair: the first and last pixel sharing the chroma samples
    int chromaLastX = 0;
    int chromaX = 0;    // Subsampled: the chroma sample's column and row in the chroma plane
    int chromaRow = 0;  // (the row of the pixel's 2 x 2 block in its picture or field)
    bool deinterlaced = false;  // the displayed row was filtered from several source rows
};

// The samples of pixel (x, row) of `frame`; `flags` says whether 4:2:0 chroma is field-wise
// (CONVERT_INTERLACED, CONVERT_FIELDS_SEPARATED). Invalid outside the frame or for a layout the
// frame-memory description does not know.
SourceValues ReadSourceValues(const SourceFrame& frame, int x, int row, ConvertFlags flags);

// The samples behind displayed pixel (x, y) of a frame shown with `switches`.
SourceValues ProbeDisplayedPixel(const SourceFrame& frame, const ViewSwitches& switches, int x,
                                 int y);

// "Y'", "Cb", "Cr", "R'", "G'", "B'", "A", "grey".
QString ComponentLabel(Component component);
// A sample in decimal, or in hexadecimal as wide as its bit depth asks ("0x3AC").
QString SampleText(const ProbeSample& sample, bool hex);
// The status bar's text: "Y' 940  Cb 512  Cr 512 (Cb/Cr of (3, 2)) at (7, 5)" with the source
// pixel named when it differs from the displayed one, and "deinterlaced" said.
QString FormatSourceValues(const SourceValues& values, bool hex, int displayedX, int displayedY);
// One short line per sample ("Y' 940"), for the overlay on a zoomed pixel.
QStringList SourceValueLines(const SourceValues& values, bool hex);

}  // namespace kavlo
