// Conversion of one frame of any catalogue layout to rows of 3-byte B', G', R' pixels.
//
// Bayer mosaics are demosaiced (Demosaic.h). Y'CbCr input goes through the BT.601 matrix for
// video-range samples to full-range R'G'B', unless the colour flags below choose another matrix or
// full-range samples; samples wider than 8 bits are reduced to 8 bits first (the matrix and range
// then apply to the 8-bit samples).
// The layouts read through the frame-memory table (ConvertGeneric.h: every row after "YVYU") reduce
// a b-bit sample v, masked to its b bits (garbage above them is dropped, never wrapped), to min((v
// + 2^(b-9)) >> (b-8), limit) with limit 235 for Y', 240 for Cb and Cr, 255 for R', G', B' and
// grey: 10 bits min((v + 2) >> 2, limit), 16 bits min((v + 128) >> 8, limit) as on the older 16-bit
// planar paths. Their 4:1:1 chroma is widened to 4:2:2 by midpoints (ConvertGeneric.h), their 4:4:0
// chroma blended down the rows as 4:2:0 chroma is. The display options that act on
// samples (one component as grey, field-wise 4:2:0 chroma, 16-235 R'G'B') are flags.
#pragma once

#include <cstddef>
#include <cstdint>

using ConvertFlags = uint32_t;
// 4:2:0 chroma is upsampled within each field instead of across the frame: the fields' rows
// alternate in every plane (woven storage).
constexpr ConvertFlags CONVERT_INTERLACED = 0x002;
// 4:2:0 chroma is upsampled within each stored field when every plane holds the first field's
// rows, then the second field's (separated storage). With H luma rows and C = H / 2 chroma rows
// the first field is luma rows 0 .. H/2 - 1 with chroma rows 0 .. ceil(C/2) - 1, the second the
// remaining luma rows (an odd height's last row goes with it, as it is stored last) with the
// remaining chroma rows. When H / 2 is odd the fields want ceil(H/4) chroma rows each, one more
// than the plane holds: the second field then has one chroma row fewer than it wants and its
// last luma row repeats the field's last chroma row unblended; a second field left with no
// chroma row at all (H = 2) uses the first field's. Only rows of the plane are read. Takes
// precedence over CONVERT_INTERLACED.
constexpr ConvertFlags CONVERT_FIELDS_SEPARATED = 0x800;
// The view's filter switches 1, 2 and 3. The conversion accepts them and changes nothing for them.
constexpr ConvertFlags CONVERT_FILTER_1 = 0x004;
constexpr ConvertFlags CONVERT_FILTER_2 = 0x008;
constexpr ConvertFlags CONVERT_FILTER_3 = 0x010;
// Y'CbCr layouts show Y' (0x080), Cb (0x100) or Cr (0x200) as grey; 0x080 wins over 0x100 and
// 0x100 over 0x200. R'G'B', grey and Bayer mosaic layouts ignore them.
constexpr ConvertFlags CONVERT_LUMA_ONLY = 0x080;
constexpr ConvertFlags CONVERT_CB_ONLY = 0x100;
constexpr ConvertFlags CONVERT_CR_ONLY = 0x200;
// "BGR3", "BGR4" and "BGRA" samples are expanded from 16-235.
constexpr ConvertFlags CONVERT_RGB_STUDIO_RANGE = 0x400;
// Bayer mosaics show every sample, reduced to 8 bits, as grey instead of demosaicing them
// (Demosaic.h). Other layouts ignore it.
constexpr ConvertFlags CONVERT_MOSAIC_GREY = 0x10000;

// The matrix and range of Y'CbCr samples. Without these flags: BT.601, limited range (Y' 16-235,
// Cb and Cr 16-240 at 8 bits). CONVERT_MATRIX_709 chooses BT.709, CONVERT_MATRIX_2020 BT.2020
// non-constant luminance (0x2000 wins over 0x1000); CONVERT_FULL_RANGE reads Y', Cb and Cr as
// 0-255 (chroma centred at 128). Full-colour pictures follow both (ColourMatrix.h gives the
// arithmetic); one component shown as grey follows the range only: full range shows the sample
// as it is, limited range expands it as without the flags. Full range also lifts the limits of
// limited-range samples in the reductions to 8 bits (235 for Y', 16..240 for blended and reduced
// chroma). R'G'B' and grey layouts ignore them.
constexpr ConvertFlags CONVERT_MATRIX_709 = 0x1000;
constexpr ConvertFlags CONVERT_MATRIX_2020 = 0x2000;
constexpr ConvertFlags CONVERT_FULL_RANGE = 0x4000;
constexpr ConvertFlags CONVERT_COLOUR_MASK =
    CONVERT_MATRIX_709 | CONVERT_MATRIX_2020 | CONVERT_FULL_RANGE;

// Widest frame ConvertFrame accepts (keeps every per-line byte count inside an int).
constexpr int32_t kConvertMaxWidth = 1 << 24;

// Converts a W x H frame.
//   source: first byte of the frame. Packed layouts read row r at r x |sourceLineBytes|;
//     planar and semi-planar layouts read tightly packed planes from the start of the frame.
//     The frame is |sourceLineBytes| x H bytes and nothing outside it is read: bytes a row or
//     plane would need beyond its row or beyond the frame read as zero. Exception: an odd-width
//     row of packed 4:2:2 pairs that ends inside its last pair but holds the last pixel's luma
//     gives that pixel the previous pair's chroma (neutral chroma when W = 1; FrameMemory.h).
//   destination: row r at r x destinationLineBytes; exactly 3 x W bytes of each of the H rows
//     are written, nothing else.
// Frames of kConvertParallelMinPixels or more are converted by a team of threads
// (ThreadTeam.h); the result is the same either way.
// Returns true when the frame was converted. Returns false, with the destination untouched,
// when the destination code is not "BGR3", the source code is not in the catalogue, W or H is
// not positive or W exceeds kConvertMaxWidth, or scratch memory cannot be had.
bool ConvertFrame(int32_t width, int32_t height, ConvertFlags flags, uint32_t sourceCode,
                  const uint8_t* source, int32_t sourceLineBytes, uint32_t destinationCode,
                  uint8_t* destination, int32_t destinationLineBytes);

// Bytes of the image a W x H frame is converted into before it is shown: 16 pixels wider and 16
// rows taller than the frame at 4 bytes a pixel, so that the conversion may finish whole groups.
inline uint64_t ConvertedFrameBytes(int width, int height) {
    return (static_cast<uint64_t>(width) + 16) * (static_cast<uint64_t>(height) + 16) * 4;
}

// Copies `count` bytes between blocks that do not overlap. Blocks of a megabyte or more are
// copied by a team of threads under the conversion's team policy (ThreadTeam.h).
void CopyFrameBytes(uint8_t* destination, const uint8_t* source, size_t count);

// out[i] = (above[i] + 2 x middle[i] + below[i] + 2) >> 2 for i < count. Reads and writes
// exactly `count` bytes of each line; out may be the same line as any input (each output byte
// depends only on the input bytes at its own index).
void VerticalLowPass121(const uint8_t* above, const uint8_t* middle, const uint8_t* below,
                        uint8_t* out, int count);
