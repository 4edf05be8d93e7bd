#include "PngWrite.h"

#include <zlib.h>

#include <cstring>

namespace kavlotool {

namespace {

void PutBigEndian(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(value >> shift));
}

// Length, type, data and the CRC of type and data.
void PutChunk(std::vector<uint8_t>& out, const char type[4], const uint8_t* data, size_t size) {
    PutBigEndian(out, static_cast<uint32_t>(size));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    if (size) out.insert(out.end(), data, data + size);
    const uLong crc = crc32(0L, out.data() + start, static_cast<uInt>(size + 4));
    PutBigEndian(out, static_cast<uint32_t>(crc));
}

}  // namespace

bool WritePng(int width, int height, int zlibLevel,
              const std::function<void(int y, uint8_t* rgb)>& row, std::vector<uint8_t>& out) {
    if (width <= 0 || height <= 0) return false;
    z_stream z{};
    if (deflateInit(&z, zlibLevel) != Z_OK) return false;
    const size_t rowBytes = 1 + size_t(width) * 3;  // the filter type byte, then the pixels
    std::vector<uint8_t> line(rowBytes, 0);
    std::vector<uint8_t> data(deflateBound(&z, static_cast<uLong>(rowBytes * size_t(height))));
    z.next_out = data.data();
    z.avail_out = static_cast<uInt>(data.size());
    bool ok = true;
    for (int y = 0; y < height && ok; ++y) {
        row(y, line.data() + 1);
        z.next_in = line.data();
        z.avail_in = static_cast<uInt>(rowBytes);
        const int flush = y + 1 == height ? Z_FINISH : Z_NO_FLUSH;
        for (;;) {
            if (z.avail_out == 0) {
                // More than the bound: grow the buffer and go on where the stream stands.
                const size_t used = data.size();
                data.resize(used * 2);
                z.next_out = data.data() + used;
                z.avail_out = static_cast<uInt>(data.size() - used);
            }
            const int result = deflate(&z, flush);
            if (result == Z_STREAM_END) break;
            if (result != Z_OK && result != Z_BUF_ERROR) {
                ok = false;
                break;
            }
            if (flush == Z_NO_FLUSH && z.avail_in == 0) break;
        }
    }
    const size_t compressed = data.size() - z.avail_out;
    deflateEnd(&z);
    if (!ok) return false;

    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    out.insert(out.end(), kSignature, kSignature + 8);
    std::vector<uint8_t> header;
    PutBigEndian(header, static_cast<uint32_t>(width));
    PutBigEndian(header, static_cast<uint32_t>(height));
    // 8 bits a sample, colour type 2 (R'G'B'), deflate, adaptive filtering method, no interlace.
    header.insert(header.end(), {8, 2, 0, 0, 0});
    PutChunk(out, "IHDR", header.data(), header.size());
    PutChunk(out, "IDAT", data.data(), compressed);
    PutChunk(out, "IEND", nullptr, 0);
    return true;
}

}  // namespace kavlotool
