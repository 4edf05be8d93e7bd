// The vector row loops of the demosaic (Demosaic.h), one per instruction set. Internal to the
// conversion library.
#pragma once

#include <cstdint>

// Columns x, x + 1, ... of the interior of a row (rows a above and b below present, W >= 2),
// from an odd column x on, in whole blocks that read columns up to W - 1 only: the X, G and Y
// colours (Demosaic.cpp) of each pixel, the same bytes as the scalar rule. Return the first
// column not done.
int DemosaicInteriorSSE2(const uint8_t* a, const uint8_t* c, const uint8_t* b, int width,
                         int xParity, int x, uint8_t* xs, uint8_t* gs, uint8_t* ys);
// The same columns straight to B', G', R' pixels of the destination row `bgr` (3 bytes each),
// in blocks of 32; xIsRed says whether X is red (else blue). Needs a processor with AVX2
// (chosen by the kernel table's level).
int DemosaicInteriorAVX2(const uint8_t* a, const uint8_t* c, const uint8_t* b, int width,
                         int xParity, bool xIsRed, int x, uint8_t* bgr);
