// kavlo-e2e-check: looks for the expected picture of a generated clip's frame in a screenshot.
//
//   kavlo-e2e-check SHOT.ppm LAYOUT WIDTH HEIGHT FRAME MODE ZOOM
//
// MODE is "normal" (the frame as generated), "split" (even rows above odd rows), "luma" (Y' as
// grey), "blend" or "topfield" (deinterlaced by blending the fields or from the top field). The
// expected picture is scaled by ZOOM: a whole number, or 1/N for a picture shown N times smaller
// (every Nth pixel of every Nth row, as the view samples it). Exit status 0 when a place in
// the screenshot shows it (every channel within a tolerance on at least 99.5% of the pixels), 1
// when none does, 2 on bad input. The place found is printed.
#include "clipgen/ClipGen.h"
#include "image/PixelLayout.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    const uint8_t* At(int x, int y) const {
        return &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
    }
};

bool ReadToken(FILE* f, std::string& out) {
    out.clear();
    int c = std::fgetc(f);
    while (c != EOF) {
        if (c == '#') {
            while (c != EOF && c != '\n') c = std::fgetc(f);
        } else if (std::isspace(c)) {
            c = std::fgetc(f);
        } else {
            break;
        }
    }
    while (c != EOF && !std::isspace(c)) {
        out += char(c);
        c = std::fgetc(f);
    }
    return !out.empty();
}

bool ReadPpm(const char* path, Image& image) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    std::string magic, w, h, maxval;
    const bool ok = ReadToken(f, magic) && magic == "P6" && ReadToken(f, w) && ReadToken(f, h) &&
                    ReadToken(f, maxval) && maxval == "255";
    if (ok) {
        image.width = std::atoi(w.c_str());
        image.height = std::atoi(h.c_str());
        image.rgb.resize(size_t(image.width) * size_t(image.height) * 3);
    }
    const bool read =
        ok && std::fread(image.rgb.data(), 1, image.rgb.size(), f) == image.rgb.size();
    std::fclose(f);
    return read;
}

uint8_t LumaGrey(const uint8_t* rgb) {
    const clipgen::YCbCr v = clipgen::RgbToYCbCr(rgb[0], rgb[1], rgb[2]);
    const double y = double(clipgen::Quantise(v.y, 8));
    const double g = std::nearbyint((y - 16.0) * 255.0 / 219.0);
    return uint8_t(g < 0 ? 0 : g > 255 ? 255 : g);
}

uint8_t Clamp(int v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }

// The view's deinterlacing of a whole frame: "blend" is the 1-2-1 vertical low-pass over all rows,
// "topfield" keeps the even rows and interpolates the odd ones from the top field with the 6-tap
// filter (1, -5, 20, 20, -5, 1) / 32. Row and field-line indexes are clamped into the frame.
Image Deinterlaced(const Image& r, const std::string& mode) {
    Image b = r;
    const int h = r.height, h2 = r.height / 2, bytes = r.width * 3;
    auto row = [&](int y) { return &r.rgb[size_t(std::clamp(y, 0, h - 1)) * size_t(bytes)]; };
    auto top = [&](int j) { return &r.rgb[size_t(2 * std::clamp(j, 0, h2 - 1)) * size_t(bytes)]; };
    for (int y = 0; y < h; ++y) {
        uint8_t* d = &b.rgb[size_t(y) * size_t(bytes)];
        for (int i = 0; i < bytes; ++i) {
            if (mode == "blend") {
                d[i] = Clamp((row(y - 1)[i] + 2 * row(y)[i] + row(y + 1)[i] + 2) >> 2);
            } else if (y % 2 == 1 && y / 2 < h2) {
                const int j = y / 2;
                d[i] = Clamp((top(j - 2)[i] - 5 * top(j - 1)[i] + 20 * top(j)[i] +
                              20 * top(j + 1)[i] - 5 * top(j + 2)[i] + top(j + 3)[i] + 16) >>
                             5);
            }
        }
    }
    return b;
}

Image Expected(const clipgen::ClipOptions& o, int frame, const std::string& mode, int zoom,
               int shrink) {
    const clipgen::RgbPicture shown = clipgen::RenderFrame(o, frame);
    Image base;
    base.width = shown.width;
    base.height = shown.height;
    base.rgb.resize(shown.rgb.size());
    const int half = shown.height / 2;
    for (int y = 0; y < shown.height; ++y) {
        int from = y;
        if (mode == "split") from = y < half ? 2 * y : 2 * (y - half) + 1;
        for (int x = 0; x < shown.width; ++x) {
            const uint8_t* s = shown.At(x, from);
            uint8_t* d = &base.rgb[(size_t(y) * size_t(shown.width) + size_t(x)) * 3];
            if (mode == "luma") {
                d[0] = d[1] = d[2] = LumaGrey(s);
            } else {
                std::memcpy(d, s, 3);
            }
        }
    }
    if (mode == "blend" || mode == "topfield") base = Deinterlaced(base, mode);
    Image out;
    out.width = base.width * zoom / shrink;
    out.height = base.height * zoom / shrink;
    out.rgb.resize(size_t(out.width) * size_t(out.height) * 3);
    for (int y = 0; y < out.height; ++y) {
        for (int x = 0; x < out.width; ++x)
            std::memcpy(&out.rgb[(size_t(y) * size_t(out.width) + size_t(x)) * 3],
                        base.At(x * shrink / zoom, y * shrink / zoom), 3);
    }
    return out;
}

bool Close(const uint8_t* a, const uint8_t* b, int tolerance) {
    for (int c = 0; c < 3; ++c)
        if (std::abs(int(a[c]) - int(b[c])) > tolerance) return false;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 8) {
        std::fprintf(
            stderr,
            "usage: %s SHOT.ppm LAYOUT WIDTH HEIGHT FRAME normal|split|luma|blend|topfield ZOOM\n",
            argv[0]);
        return 2;
    }
    Image shot;
    if (!ReadPpm(argv[1], shot)) {
        std::fprintf(stderr, "cannot read %s as a binary PPM\n", argv[1]);
        return 2;
    }
    clipgen::ClipOptions o;
    for (int i = 0; i < kLayoutCount; ++i)
        if (std::strcmp(LayoutCatalogue()[i].name, argv[2]) == 0)
            o.code = LayoutCatalogue()[i].code;
    o.width = std::atoi(argv[3]);
    o.height = std::atoi(argv[4]);
    o.frames = std::atoi(argv[5]) + 1;
    const std::string mode = argv[6];
    // "N" or "1/N".
    const std::string zoomText = argv[7];
    const bool fraction = zoomText.rfind("1/", 0) == 0;
    const int zoom = fraction ? 1 : std::atoi(zoomText.c_str());
    const int shrink = fraction ? std::atoi(zoomText.c_str() + 2) : 1;
    if (o.code == 0 || zoom < 1 || shrink < 1 ||
        (mode != "normal" && mode != "split" && mode != "luma" && mode != "blend" &&
         mode != "topfield"))
        return 2;
    const Image want = Expected(o, std::atoi(argv[5]), mode, zoom, shrink);
    if (want.width > shot.width || want.height > shot.height) return 1;

    constexpr int kTolerance = 10;
    const long total = long(want.width) * want.height;
    const long allowed = total / 200;  // 0.5%
    // Sparse probes reject most places after a few pixels; survivors get the full comparison.
    std::vector<std::pair<int, int>> probes;
    for (int y = 0; y < want.height; y += 5)
        for (int x = (y * 3) % 7; x < want.width; x += 7) probes.emplace_back(x, y);
    const long probeAllowed = long(probes.size()) / 100;
    for (int oy = 0; oy + want.height <= shot.height; ++oy) {
        for (int ox = 0; ox + want.width <= shot.width; ++ox) {
            long bad = 0;
            for (const auto& p : probes) {
                if (!Close(shot.At(ox + p.first, oy + p.second), want.At(p.first, p.second),
                           kTolerance) &&
                    ++bad > probeAllowed)
                    break;
            }
            if (bad > probeAllowed) continue;
            bad = 0;
            for (int y = 0; y < want.height && bad <= allowed; ++y)
                for (int x = 0; x < want.width; ++x)
                    if (!Close(shot.At(ox + x, oy + y), want.At(x, y), kTolerance)) ++bad;
            if (bad <= allowed) {
                std::printf("found at %d,%d (%ld of %ld pixels off)\n", ox, oy, bad, total);
                return 0;
            }
        }
    }
    std::printf("not found\n");
    return 1;
}
