// The paint's consecutive-pixel row with SSSE3: byte shuffles spread 3-byte pixels to 4 bytes.
// Only this file of the paint rows is compiled with -mssse3.
#include "PaintRows.h"

#include <tmmintrin.h>

namespace paint {

void CopyRow_SSSE3(const uint8_t* src, uint32_t* dst, int width) {
    // Bytes 0..11 of a vector to four pixels; the fourth byte of each comes from the alpha.
    const __m128i fromByte0 =
        _mm_setr_epi8(0, 1, 2, -128, 3, 4, 5, -128, 6, 7, 8, -128, 9, 10, 11, -128);
    // The same from bytes 4..15, for a load that ends at the last byte of the fourth pixel.
    const __m128i fromByte4 =
        _mm_add_epi8(fromByte0, _mm_setr_epi8(4, 4, 4, 0, 4, 4, 4, 0, 4, 4, 4, 0, 4, 4, 4, 0));
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    auto load = [](const uint8_t* p) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    };
    auto store = [alpha](uint32_t* p, __m128i v) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_or_si128(v, alpha));
    };
    int i = 0;
    // 16 pixels from exactly their 48 bytes.
    for (; i + 16 <= width; i += 16) {
        const uint8_t* s = src + 3 * i;
        store(dst + i, _mm_shuffle_epi8(load(s), fromByte0));
        store(dst + i + 4, _mm_shuffle_epi8(load(s + 12), fromByte0));
        store(dst + i + 8, _mm_shuffle_epi8(load(s + 24), fromByte0));
        store(dst + i + 12, _mm_shuffle_epi8(load(s + 32), fromByte4));
    }
    // Four at a time: with pixels before them, a load that ends at their last byte; at the start
    // of a short row, a load from their first byte while it stays inside the row.
    for (; i + 4 <= width; i += 4) {
        const uint8_t* s = src + 3 * i;
        if (i >= 2)
            store(dst + i, _mm_shuffle_epi8(load(s - 4), fromByte4));
        else if (i + 6 <= width)
            store(dst + i, _mm_shuffle_epi8(load(s), fromByte0));
        else
            break;
    }
    for (; i < width; ++i) dst[i] = PixelWord(src + 3 * i);
}

}  // namespace paint
