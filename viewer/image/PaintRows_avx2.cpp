// The paint's rows with AVX2: consecutive pixels by byte shuffles, spread runs by word
// permutes (one to four windows of 8 words), any columns by gathers. Only this file of the paint
// rows is compiled with -mavx2.
#include "PaintRows.h"

#include <immintrin.h>

namespace paint {

namespace {

inline __m256i Load256(const void* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
inline __m128i Load128(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
// Two 16-byte loads, the first in the low lane.
inline __m256i LoadLanes(const uint8_t* low, const uint8_t* high) {
    return _mm256_inserti128_si256(_mm256_castsi128_si256(Load128(low)), Load128(high), 1);
}
inline void Store256(uint32_t* p, __m256i v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}

}  // namespace

void CopyRow_AVX2(const uint8_t* src, uint32_t* dst, int width) {
    // In each lane, bytes 0..11 to four pixels; in the high lane of the second vector bytes
    // 4..15 (a load that ends at the 48th byte).
    const __m256i fromByte0 =
        _mm256_setr_epi8(0, 1, 2, -128, 3, 4, 5, -128, 6, 7, 8, -128, 9, 10, 11, -128, 0, 1, 2,
                         -128, 3, 4, 5, -128, 6, 7, 8, -128, 9, 10, 11, -128);
    const __m256i highFromByte4 = _mm256_add_epi8(
        fromByte0, _mm256_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 4, 4, 0, 4,
                                    4, 4, 0, 4, 4, 4, 0, 4, 4, 4, 0));
    const __m256i alpha = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    int i = 0;
    // 16 pixels from exactly their 48 bytes. Rows of the paint rarely lie in the cache: the bytes
    // 256 pixels ahead are asked for early (measured faster than the processor's own prefetch at
    // zooms 1/2 and below, where every row starts a new stream).
    constexpr int kAhead = 256;
    for (; i + 16 <= width; i += 16) {
        const uint8_t* s = src + 3 * i;
        if (i + kAhead < width)
            _mm_prefetch(reinterpret_cast<const char*>(s + 3 * kAhead), _MM_HINT_T0);
        const __m256i a = _mm256_shuffle_epi8(LoadLanes(s, s + 12), fromByte0);
        const __m256i b = _mm256_shuffle_epi8(LoadLanes(s + 24, s + 32), highFromByte4);
        Store256(dst + i, _mm256_or_si256(a, alpha));
        Store256(dst + i + 8, _mm256_or_si256(b, alpha));
    }
    if (i < width) CopyRow_SSSE3(src + 3 * i, dst + i, width - i);
}

void PickRow_AVX2(const uint8_t* line, int lineBytes, const int32_t* offsets, uint32_t* dst,
                  int width) {
    // A gather reads four bytes at each offset: a block that names a pixel within three bytes
    // of the line's end takes the byte path.
    const __m256i lastWord = _mm256_set1_epi32(lineBytes - 4);
    const __m256i alpha = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    const int* base = reinterpret_cast<const int*>(line);
    int i = 0;
    for (; i + 8 <= width; i += 8) {
        const __m256i o = Load256(offsets + i);
        if (_mm256_movemask_epi8(_mm256_cmpgt_epi32(o, lastWord)) != 0) {
            for (int j = i; j < i + 8; ++j) dst[j] = PixelWord(line + offsets[j]);
            continue;
        }
        Store256(dst + i, _mm256_or_si256(_mm256_i32gather_epi32(base, o, 1), alpha));
    }
    if (i < width) PickRow_Scalar(line, lineBytes, offsets + i, dst + i, width - i);
}

namespace {

// The word of every column of a block from the words at its base: one permute per window of 8
// words, the windows chosen by bits 3 and 4 of the index (moved to the sign bit of each lane
// for the blends).
template <int kWindows>
inline __m256i ExpandBlock(const uint32_t* w, __m256i index) {
    const __m256i first = _mm256_permutevar8x32_epi32(Load256(w), index);
    if (kWindows == 1) return first;
    const __m256 bit3 = _mm256_castsi256_ps(_mm256_slli_epi32(index, 28));
    const __m256 low = _mm256_blendv_ps(
        _mm256_castsi256_ps(first),
        _mm256_castsi256_ps(_mm256_permutevar8x32_epi32(Load256(w + 8), index)), bit3);
    if (kWindows == 2) return _mm256_castps_si256(low);
    const __m256 high = _mm256_blendv_ps(
        _mm256_castsi256_ps(_mm256_permutevar8x32_epi32(Load256(w + 16), index)),
        _mm256_castsi256_ps(_mm256_permutevar8x32_epi32(Load256(w + 24), index)), bit3);
    const __m256 bit4 = _mm256_castsi256_ps(_mm256_slli_epi32(index, 27));
    return _mm256_castps_si256(_mm256_blendv_ps(low, high, bit4));
}

template <int kWindows>
void Expand(const uint32_t* words, const int32_t* bases, const int32_t* indices, uint32_t* dst,
            int width) {
    int b = 0;
    for (; 8 * b + 8 <= width; ++b)
        Store256(dst + 8 * b, ExpandBlock<kWindows>(words + bases[b], Load256(indices + 8 * b)));
    for (int i = 8 * b; i < width; ++i) dst[i] = words[bases[b] + indices[i]];
}

}  // namespace

void ExpandRow_AVX2(const uint32_t* words, const int32_t* bases, const int32_t* indices,
                    uint32_t* dst, int width, int reach) {
    if (reach <= 8)
        Expand<1>(words, bases, indices, dst, width);
    else if (reach <= 16)
        Expand<2>(words, bases, indices, dst, width);
    else
        Expand<4>(words, bases, indices, dst, width);
}

}  // namespace paint
