// Synthetic raw clips in any pixel layout of the catalogue.
//
// Every frame shows colour bars, a luma ramp, a chroma sweep, a box that moves with the frame
// number and the frame number drawn as digits, so that a wrong layout, pitch, byte order, field
// arrangement or frame position is visible at a glance. Pictures are made as 8-bit R'G'B' and
// converted to Y'CbCr (BT.601 video range unless the options choose another matrix or full
// range), subsampled and packed by the frame-memory table; Bayer mosaics take each pixel's R',
// G' or B' by its site in the 2 x 2 cell.
//
// Typical use in a test:
//   clipgen::ClipOptions o;  o.code = kLayoutUYVY;  o.width = 64;  o.height = 32;
//   clipgen::RgbPicture ref = clipgen::RenderFrame(o, 3);      // what frame 3 should look like
//   std::vector<uint8_t> bytes;  clipgen::PackFrame(o, 3, bytes);  // frame 3 as stored
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace clipgen {

// R', G', B' bytes per pixel, rows top to bottom, no padding.
struct RgbPicture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgb;

    uint8_t* At(int32_t x, int32_t y) { return &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3]; }
    const uint8_t* At(int32_t x, int32_t y) const {
        return &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
    }
};

// The matrix and range Y'CbCr samples are written with. Full range: Y' 0-255 and Cb, Cr 0-255
// around 128 (at 8 bits; wider samples scale by powers of two as in video range).
enum class Matrix { BT601, BT709, BT2020 };
struct YCbCrCoding {
    Matrix matrix = Matrix::BT601;
    bool fullRange = false;
};

enum class FieldMode {
    Progressive,
    Woven,      // interlaced, the two fields' rows alternate
    Separated,  // interlaced, the first field's rows, then the second field's
};

struct ClipOptions {
    uint32_t code = 0;  // layout code of the catalogue
    int32_t width = 0;
    int32_t height = 0;
    int32_t lineBytes = 0;  // |line pitch|; 0 computes it as the viewer would
    int32_t frames = 1;
    uint32_t filePrefix = 0;    // bytes before the first frame
    uint32_t framePrefix = 0;   // bytes before every frame
    uint32_t framePostfix = 0;  // bytes after every frame
    FieldMode fields = FieldMode::Progressive;
    bool bottomFieldFirst = false;  // interlaced: the bottom (odd-row) field is the earlier one
    bool bottomUp = false;          // rows stored bottom row first
    YCbCrCoding coding;             // matrix and range of Y'CbCr layouts
};

// Draws one picture: motionTime places the moving box, frameNumber is the number drawn.
RgbPicture RenderPicture(int32_t width, int32_t height, int32_t frameNumber, int32_t motionTime);

// Frame n as it should look on screen: for progressive clips the picture of time n; for
// interlaced clips the woven frame whose earlier field shows time 2n and later field 2n + 1.
RgbPicture RenderFrame(const ClipOptions& options, int32_t n);

// The rows of a displayed frame in the order the clip stores them, the order in which the
// viewer reads them: bottom-up clips store the last row first; separated fields store the
// first h / 2 rows of the first field (of the flipped frame when bottom-up), then h / 2 rows of
// the second, then an odd height's last row.
RgbPicture ToMemoryOrder(const ClipOptions& options, const RgbPicture& displayed);

// BT.601 video-range Y'CbCr of an 8-bit R'G'B' pixel, as exact values scaled to 8 bits
// (Y' 16..235, Cb/Cr 16..240); Quantise() turns them into samples of a given width.
struct YCbCr {
    double y, cb, cr;
};
YCbCr RgbToYCbCr(uint8_t r, uint8_t g, uint8_t b);
// The same in any matrix and range (full range: Y' 0..255, Cb/Cr 0..255 around 128).
YCbCr RgbToYCbCr(uint8_t r, uint8_t g, uint8_t b, const YCbCrCoding& coding);
// Rounds an 8-bit-scaled value to a sample of `bits` bits (value x 2^(bits-8)), clamped.
uint32_t Quantise(double value8, int bits);

// Packs a picture (rows in memory order) into one frame of the layout: |lineBytes| x height
// bytes, packed rows at the pitch, planar layouts tightly packed, unused bytes zero.
// `fields` says where 4:2:0 chroma rows come from: progressive, from pairs of frame rows; woven,
// from pairs of rows of one field (alternate chroma rows belong to alternate fields); separated,
// from pairs of rows of one stored field, each field's chroma rows beside its luma rows (the
// first field's, then the second's). False, with `frame` left empty, when the code is unknown
// or the pitch is too small.
bool PackPicture(uint32_t code, const RgbPicture& memoryOrder, int32_t lineBytes, FieldMode fields,
                 std::vector<uint8_t>& frame);
// The same with Y'CbCr samples in the given matrix and range.
bool PackPicture(uint32_t code, const RgbPicture& memoryOrder, int32_t lineBytes, FieldMode fields,
                 std::vector<uint8_t>& frame, const YCbCrCoding& coding);

// The line pitch the clip uses (positive), or 0 when the options describe no valid stream.
int32_t ClipLineBytes(const ClipOptions& options, std::string* error = nullptr);
// Checks every option; the error text says what is wrong.
bool ValidateClip(const ClipOptions& options, std::string& error);

// Frame n of the clip as stored (no per-frame prefix or postfix).
bool PackFrame(const ClipOptions& options, int32_t n, std::vector<uint8_t>& frame);

// file prefix + frames x (frame prefix + |line bytes| x height + frame postfix); 0 if invalid.
uint64_t ClipFileSize(const ClipOptions& options);

// Writes the clip. Prefix and postfix bytes are filled with a pattern that shows up as stripes
// when a reader gets the offsets wrong.
bool WriteClip(const ClipOptions& options, const std::string& path, std::string& error);

// Viewer command-line settings that open the clip (ending with the path). `note` receives a
// remark when the command line cannot express the clip exactly (e.g. a layout whose keyword
// implies bottom-up rows).
std::vector<std::string> ViewerArguments(const ClipOptions& options, const std::string& path,
                                         std::string* note = nullptr);

}  // namespace clipgen
