// Converts random bytes under a random layout, size, pitch and flags, with the format block
// built as the settings code builds it. The frame lies in an exactly sized block and every
// destination row is followed by guard bytes, so ASan and the guard check catch any access
// outside the frame or the destination rows.
#include "image/Convert.h"
#include "image/PixelLayout.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 8) return 0;
    const PixelLayoutInfo& info = LayoutCatalogue()[data[0] % kLayoutCount];
    const int32_t width = 1 + (data[1] | (data[2] & 1) << 8) % 300;
    const int32_t height = 1 + data[3] % 40;
    // Pitch: computed, or an explicit value near the row size (possibly too small).
    int32_t lineBytes = 0;
    if (data[4] & 1) lineBytes = int32_t(data[5]) * 8 + (data[4] >> 1) - 64 + width;
    if (data[4] & 2) lineBytes = -lineBytes;
    const int32_t fieldDetail = (data[6] & 1) ? 9 : 0;
    uint32_t flags = 0;
    const uint8_t f = data[7];
    if (f & 1) flags |= CONVERT_INTERLACED;
    if (f & 2) flags |= CONVERT_LUMA_ONLY;
    if (f & 4) flags |= CONVERT_CB_ONLY;
    if (f & 8) flags |= CONVERT_CR_ONLY;
    if (f & 16) flags |= CONVERT_RGB_STUDIO_RANGE;
    if (f & 32) flags |= 0x004 | 0x008 | 0x010;
    if (fieldDetail) flags |= CONVERT_INTERLACED;

    RawVideoFormat format{};
    if (!BuildRawVideoFormat(format, width, height, info.code, lineBytes, fieldDetail)) return 0;
    if (format.lineBytes == 0) return 0;
    const size_t pitch = size_t(std::abs(int64_t(format.lineBytes)));
    const size_t frameBytes = pitch * size_t(height);
    if (frameBytes > (8u << 20)) return 0;

    std::unique_ptr<uint8_t[]> frame(new uint8_t[frameBytes ? frameBytes : 1]);
    const uint8_t* payload = data + 8;
    const size_t payloadSize = size - 8;
    for (size_t i = 0; i < frameBytes; ++i) frame[i] = payloadSize ? payload[i % payloadSize] : 0;

    constexpr uint8_t kGuard = 0xC3;
    const int32_t dstPitch = 3 * width + 32;
    std::vector<uint8_t> dst(size_t(dstPitch) * size_t(height), kGuard);
    if (!ConvertFrame(width, height, flags, info.code, frame.get(), format.lineBytes, kLayoutBGR3,
                      dst.data(), dstPitch))
        std::abort();
    for (int32_t r = 0; r < height; ++r)
        for (int32_t i = 3 * width; i < dstPitch; ++i)
            if (dst[size_t(r) * size_t(dstPitch) + size_t(i)] != kGuard) std::abort();
    return 0;
}
