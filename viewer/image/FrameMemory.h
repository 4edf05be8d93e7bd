// Where every sample of a frame lies in memory, for each pixel layout of the catalogue.
//
// This is the one description of frame memory in the code base: the conversion reads frames by
// it, the clip generator writes frames by it, and the view uses its size helpers to refuse a
// line pitch that is too small for a layout. Nothing else should hard-code plane orders, sample
// positions or byte orders.
//
// The model
// ---------
// A frame is a list of planes (one plane for packed layouts, two for the semi-planar P0xx/P2xx
// and NVxx layouts, three for planar ones). A plane is a sequence of rows; a row is a sequence of
// *groups*. A group covers `groupPixels` frame pixels horizontally, occupies `groupBytes` bytes
// and consists of words of `wordBytes` bytes (1, 2 or 4) stored in the layout's byte order. Each
// sample inside a group is a *slot*: the component it carries, the frame pixel of the group it
// belongs to, the word holding it, and the bit position and width inside that word.
//
//   "YUY2":  one plane, group = 2 pixels in 4 one-byte words: Y'(px 0), Cb(px 0), Y'(px 1), Cr(px 0)
//   "v210":  one plane, group = 6 pixels in four 32-bit LE words, three 10-bit slots per word
//   "P010":  plane 0 = Y' (group 1 pixel, one u16), plane 1 = Cb,Cr pairs (group 2 pixels, two
//            u16), every sample's 10 significant bits at bits 6..15 of its word
//   "R565":  one plane, group = 1 pixel in one u16 LE word: R' bits 11-15, G' 5-10, B' 0-4
//
// Bayer mosaics (ColourModel::Bayer) carry one colour sample per pixel, the colour set by the
// pixel's position in the repeating 2 x 2 cell. Their one plane has groups of one pixel, one word
// each, and four slots, one per cell position, in the order top-left, top-right, bottom-left,
// bottom-right; a slot's `pixel` is its cell position 0..3 (2 x row parity + column parity), not
// a pixel of the group. Exactly one slot applies at each pixel: MosaicSlot() picks it. All four
// lie in the same bits of the word (8 bits in a byte, or 10, 12 or 16 bits from bit 0 of a u16
// LE word; bits above them are ignored when reading).
//
//   "RGGB":  slots R (0), G (1), G (2), B (3): row 0 = R G R G ..., row 1 = G B G B ...
//
// Chroma of a horizontally subsampled layout belongs to the even (left) pixel of its pair
// (slot.pixel says so); 4:2:0 chroma rows lie midway between luma rows 2j and 2j+1.
//
// Rows and pitches
// ----------------
// Packed layouts: rows follow each other at |line bytes| of the format block; a row needs
// ceil(W / groupPixels) groups, except that an odd width's row of packed 4:2:2 pairs (YUY2, UYVY,
// Y210, v216, ...) needs only W x 2 x wordBytes bytes: its last pair may stop after two of its
// four words, which hold the unpaired last pixel's luma (and one chroma sample, not used). That
// pixel then takes the Cb and Cr of the pair before it, or neutral chroma when W = 1; a row that
// holds the whole last pair keeps using that pair's own chroma.
// Planar and semi-planar layouts are tightly packed instead: every
// plane row holds W / groupPixels whole groups (truncating: an odd width drops the last chroma
// sample), a plane has H / heightDivisor rows (truncating), and the planes follow each other from
// the start of the frame with no padding; the line pitch only sets the frame's byte size
// |line bytes| x H. Rows are always listed top row of memory first; a negative line pitch (rows
// stored bottom-up) changes how the picture is shown, never where the bytes lie.
#pragma once

#include <cstddef>
#include <cstdint>

enum class Component : uint8_t { Y, Cb, Cr, R, G, B, A, Grey };

enum class ByteOrder : uint8_t { Little, Big };

enum class Arrangement : uint8_t {
    Packed,      // one plane holding all samples of a row
    Planar,      // one plane per component
    SemiPlanar,  // a luma plane, then one plane of interleaved chroma pairs (Cb,Cr or Cr,Cb)
};

enum class ColourModel : uint8_t { YCbCr, RGB, Grey, Bayer };

// One sample inside a group.
struct SampleSlot {
    Component component;
    uint8_t pixel;  // frame pixel of the group the sample belongs to (0-based)
    uint8_t word;   // which word of the group holds it (0-based)
    uint8_t shift;  // lowest bit of the sample inside the word
    uint8_t bits;   // significant bits of the sample
};

constexpr int kMaxSampleSlots = 12;
constexpr int kMaxPlanes = 3;

struct PlaneDesc {
    uint8_t groupPixels;    // frame pixels one group covers horizontally (also the plane's
                            // horizontal divisor in planar layouts: 2 for 4:2:x chroma planes)
    uint8_t groupBytes;     // bytes of one group
    uint8_t wordBytes;      // 1, 2 or 4; words wider than a byte use the layout's byte order
    uint8_t heightDivisor;  // plane rows = H / heightDivisor (2 for 4:2:0 chroma planes)
    uint8_t slotCount;
    SampleSlot sampleSlots[kMaxSampleSlots];
};

struct FrameMemoryLayout {
    uint32_t code;  // layout code of the catalogue
    Arrangement arrangement;
    ColourModel model;
    ByteOrder byteOrder;  // of every word wider than one byte
    uint8_t sampleBits;   // widest significant sample: 5 to 16
    bool studioRange;     // 8-bit R'G'B' samples use 16-235 ("R24C", "R32C")
    uint8_t planeCount;
    PlaneDesc planes[kMaxPlanes];
};

// Every layout of the catalogue, in catalogue order (kFrameMemoryLayoutCount entries).
constexpr int kFrameMemoryLayoutCount = 94;
const FrameMemoryLayout* FrameMemoryLayouts();
// The entry for a code; nullptr when the catalogue has no such layout.
const FrameMemoryLayout* FindFrameMemoryLayout(uint32_t code);

// Where one plane of a W x H frame lies.
struct PlaneExtent {
    uint64_t offset;    // from the first byte of the frame
    uint64_t pitch;     // bytes from one row to the next
    uint64_t rowBytes;  // bytes of one row that hold samples (<= pitch)
    uint64_t rows;
    uint64_t size;  // pitch x rows
};

struct FrameExtent {
    int planeCount;
    PlaneExtent planes[kMaxPlanes];
    uint64_t frameBytes;  // |lineBytes| x H: the bytes one frame occupies in the file
};

// Plane offsets and sizes of a W x H frame stored at line pitch lineBytes (its absolute value is
// used). False when the code is unknown, W or H is not positive, lineBytes is 0 or INT32_MIN,
// or the pitch is too small for the layout (a reader would run past the frame).
bool GetFrameExtent(uint32_t code, int32_t width, int32_t height, int32_t lineBytes,
                    FrameExtent& out);

// Bytes the samples of a W x H frame need at the smallest possible pitch: for packed layouts
// H x MinRowBytes, for planar ones the sum of the tightly packed planes. 0 when the code is
// unknown or W or H is not positive. Saturates at UINT64_MAX instead of wrapping around.
uint64_t MinFrameBytes(uint32_t code, int32_t width, int32_t height);
// Bytes one row of a packed layout needs: ceil(W / groupPixels) x groupBytes, or W x 2 x
// wordBytes for an odd width of packed 4:2:2 pairs (see "Rows and pitches"). For planar layouts
// the row bytes of plane 0. 0 when the code is unknown or W is not positive.
uint64_t MinRowBytes(uint32_t code, int32_t width);
// The smallest |line bytes| with which a W x H frame holds all its samples: MinRowBytes for
// packed layouts, ceil(MinFrameBytes / H) for planar ones. 0 when there is none (unknown code,
// W or H not positive).
uint64_t MinLineBytes(uint32_t code, int32_t width, int32_t height);
// True when |lineBytes| is at least MinLineBytes (and lineBytes is neither 0 nor INT32_MIN).
bool LineBytesFitLayout(uint32_t code, int32_t width, int32_t height, int32_t lineBytes);

// The slot of a Bayer mosaic's plane that holds pixel (x, y) of the frame (rows counted in
// memory order from the frame's first row).
inline const SampleSlot& MosaicSlot(const PlaneDesc& plane, int64_t x, int64_t y) {
    return plane.sampleSlots[((y & 1) << 1) | (x & 1)];
}

// True for a packed 4:2:2 plane: groups of two pixels in four words, one sample per word.
bool IsPackedPair(const PlaneDesc& plane);

// Reads and writes one sample of a group. `group` points at the group's first byte. Writing
// touches only the slot's bits of its word.
uint32_t ReadSample(const uint8_t* group, const PlaneDesc& plane, ByteOrder order,
                    const SampleSlot& slot);
void WriteSample(uint8_t* group, const PlaneDesc& plane, ByteOrder order, const SampleSlot& slot,
                 uint32_t value);
