// One frame from its raw bytes to the picture the view shows: the conversion to B'G'R' with the
// display switches turned into conversion flags, then the field arrangement or deinterlacing,
// into a display bitmap. No widget and no Qt: the view renders through it on the user-interface
// thread, and anything else that must show what the view shows (a read-ahead worker, the
// command-line tool) renders through the same code.
#pragma once

#include "view/picture/DisplayBitmap.h"
#include "view/file/SourceFrame.h"

#include "image/Convert.h"

#include <cstddef>
#include <cstdint>
#include <memory>

// The display switches of the view: bytes, 0 or 1, except the method.
struct ViewSwitches {
    uint8_t flipToggle = 0;         // V: reverses the vertical orientation
    uint8_t splitFields = 0;        // F: the two fields one above the other
    uint8_t separatedToggle = 0;    // Shift+F: inverts "fields stored separately"
    uint8_t interlaceToggle = 0;    // I: inverts "interlaced" for the conversion
    uint8_t swappedFieldOrder = 0;  // T: exchanges the two fields
    uint8_t filter1 = 0;            // 1, 2, 3: status labels, passed to the conversion
    uint8_t filter2 = 0;
    uint8_t filter3 = 0;
    uint8_t method2Label = 0;        // Q: status label only
    uint8_t lumaOnly = 0;            // 7 (or Y' only)
    uint8_t cbOnly = 0;              // 8
    uint8_t crOnly = 0;              // 9
    uint8_t deinterlace = 0;         // D
    uint32_t deinterlaceMethod = 0;  // Shift+1..4: 1 top, 2 bottom, 0 blend, 3 low-pass
    uint8_t mosaicGrey = 0;          // M: a Bayer mosaic's samples as grey, not demosaiced
};

namespace kavlo {

// The conversion flags for a frame shown with `switches`.
ConvertFlags RenderConvertFlags(const SourceFrame& frame, const ViewSwitches& switches);
// True when the picture is shown with its first memory row at the bottom.
bool RenderBottomUp(const StoredFrameFlags& stored, const ViewSwitches& switches);

// Renders frames into display bitmaps. Keeps the scratch image of the converted frame from
// frame to frame. One thread at a time per instance; instances are independent.
class FrameRenderer {
public:
    // Bytes of the scratch image for a W x H frame (ConvertedFrameBytes).
    static uint64_t ScratchBytes(int width, int height) {
        return ConvertedFrameBytes(width, height);
    }

    // Allocates the scratch image for W x H frames (done before the first frame so that a frame
    // too large for memory fails at open, not at the first picture). False when it cannot.
    bool Reserve(int width, int height);
    void Release();

    // The converted frame of the last render that needed one (rows of 3-byte B'G'R').
    const uint8_t* Converted() const { return scratch_.data(); }
    ptrdiff_t ConvertedStride() const;

    // Renders `frame` with `switches` into `bitmap`, which is created, or kept when it already
    // has the frame's size (a new bitmap per frame would cost an allocation, page faults and a
    // clear of the whole picture each time); every path writes all its rows. A frame that cannot
    // be converted (no scratch memory, no field image) shows black, never the previous picture.
    // False when no bitmap can be had (bitmap is then null) or the scratch image was not
    // reserved for this size.
    bool Render(const SourceFrame& frame, const ViewSwitches& switches,
                std::unique_ptr<DisplayBitmap>& bitmap);

private:
    AlignedBuffer scratch_;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace kavlo
