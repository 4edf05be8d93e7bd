// Fuzzes BuildRawVideoFormat with arbitrary blocks and arguments, and the frame-memory size
// helpers with whatever the builder accepted.
#include "image/FrameMemory.h"
#include "image/PixelLayout.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

template <class T>
T Take(const uint8_t*& data, size_t& size) {
    T v{};
    const size_t n = size < sizeof v ? size : sizeof v;
    std::memcpy(&v, data, n);
    data += n;
    size -= n;
    return v;
}

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One selector byte: a catalogue code, or the raw 32-bit code that follows.
    const uint8_t selector = Take<uint8_t>(data, size);
    const int32_t width = Take<int32_t>(data, size);
    const int32_t height = Take<int32_t>(data, size);
    uint32_t code = Take<uint32_t>(data, size);
    const int32_t lineBytes = Take<int32_t>(data, size);
    const int32_t fieldDetail = Take<int32_t>(data, size);
    if (selector < 2 * kLayoutCount) code = LayoutCatalogue()[selector % kLayoutCount].code;
    if (selector & 0x80) code = 0;

    // The rest is the block's previous contents (zero-padded: a short input is a new block).
    RawVideoFormat f;
    std::memset(&f, 0, sizeof f);
    std::memcpy(&f, data, size < sizeof f ? size : sizeof f);
    const RawVideoFormat before = f;

    const bool ok = BuildRawVideoFormat(f, width, height, code, lineBytes, fieldDetail);
    if (width == 0 || height == 0) Check(std::memcmp(&f, &before, sizeof f) == 0);
    if (!ok) return 0;

    Check(width > 0 && height > 0);
    Check(f.width == width && f.height == height);
    Check(f.lineBytes != 0 && f.lineBytes != INT32_MIN);
    Check(FindLayoutGeometry(f.code) != nullptr);
    Check(f.heightMultiple == 1 || height % int32_t(f.heightMultiple) == 0);
    // An existing block asked to keep its field information may hold anything there.
    if (fieldDetail >= 0 || before.size == 0) Check(f.fieldCount == 1 || f.fieldCount == 2);
    Check(f.sampleRange != 0 && f.reserved132 != 0 && f.colourTableId != 0);
    if (lineBytes == 0) Check(f.lineBytes > 0);
    if (lineBytes != 0) Check(f.lineBytes == lineBytes);
    (void)FrameBytes(f);

    FrameExtent e;
    if (GetFrameExtent(f.code, f.width, f.height, f.lineBytes, e)) {
        for (int p = 0; p < e.planeCount; ++p)
            Check(e.planes[p].offset + e.planes[p].size <= e.frameBytes);
    } else {
        Check(!LineBytesFitLayout(f.code, f.width, f.height, f.lineBytes));
    }
    return 0;
}
