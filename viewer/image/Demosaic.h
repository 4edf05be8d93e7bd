// Bayer mosaics to rows of 3-byte B', G', R' pixels: bilinear demosaicing, or every sample shown
// as grey (CONVERT_MOSAIC_GREY).
//
// Samples. A sample is read from its word through the layout's slot (FrameMemory.h): bits above
// the sample's width (garbage in the unused high bits of 10- and 12-bit words) are masked off.
// Samples wider than 8 bits are then reduced to 8 bits before any interpolation, rounding half
// up and limiting: s8 = min((s + 2^(b-9)) >> (b-8), 255) for b = 10, 12, 16 bits (the rule the
// 16-bit layouts of the catalogue use).
//
// Demosaicing (bilinear, on the 8-bit samples). At a pixel whose own colour is red or blue (X,
// the other of the two being Y):
//   X = the sample itself,
//   G = (N + S + W + E + 2) >> 2, the four orthogonal neighbours (all green),
//   Y = (NW + NE + SW + SE + 2) >> 2, the four diagonal neighbours.
// At a green pixel, with X the colour of its row's other samples and Y that of its column's:
//   G = the sample itself,
//   X = (W + E + 1) >> 1,  Y = (N + S + 1) >> 1.
// Borders mirror about the edge sample without repeating it (column -1 reads column 1, column W
// reads column W - 2; the same for rows), which keeps every neighbour on a site of the colour the
// rule expects. A frame one pixel wide (or tall) has nothing to mirror onto: the neighbours across
// that direction are left out and the remaining ones averaged the same way ((sum + n/2) / n for
// n taps), and a colour with no neighbour left at all is 0 (a 1 x 1 "RGGB" frame shows its red
// sample and no green or blue).
//
// Grey: B' = G' = R' = the pixel's own 8-bit sample, whatever its colour.
//
// The Y'/Cb/Cr-as-grey flags and CONVERT_RGB_STUDIO_RANGE do not apply to mosaics and are
// ignored, as for the R'G'B' layouts. Rows are those of memory (row 0 is the frame's first row
// in memory, whatever the picture's orientation or field storage), so the cell pattern starts
// there.
#pragma once

#include "ConvertInternal.h"

#include <cstddef>
#include <cstdint>

struct FrameMemoryLayout;
struct KernelTable;

// Converts a W x H mosaic as ConvertFrame does (same reading and writing rules: nothing outside
// the |pitch| x H frame is read, bytes a short row lacks read as zero, exactly 3 x W bytes of each
// destination row are written). Rows are shared among the thread team of the options; the
// result does not depend on the team or on the kernel set (the vector path gives the scalar
// rule's bytes). False when scratch memory cannot be had (nothing written then).
bool ConvertMosaic(const ConvertOptions& options, const KernelTable& kernels, int32_t width,
                   int32_t height, ConvertFlags flags, const FrameMemoryLayout& layout,
                   const uint8_t* source, size_t sourcePitch, uint8_t* destination,
                   ptrdiff_t destinationPitch);
