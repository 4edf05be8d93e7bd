#include "ClipGen.h"

#include "settings/CommandLine.h"
#include "settings/FrameSpan.h"
#include "image/FrameMemory.h"
#include "image/PixelLayout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

namespace clipgen {
namespace {

// 3 x 5 digit glyphs, one row per entry, bit 2 = leftmost column.
constexpr uint8_t kDigits[10][5] = {
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7}, {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 1, 1}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7},
};

struct Rgb {
    uint8_t r, g, b;
};

constexpr Rgb kBars[8] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                          {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};

void Put(RgbPicture& p, int32_t x, int32_t y, Rgb c) {
    if (x < 0 || y < 0 || x >= p.width || y >= p.height) return;
    uint8_t* px = p.At(x, y);
    px[0] = c.r;
    px[1] = c.g;
    px[2] = c.b;
}

void FillRect(RgbPicture& p, int32_t x0, int32_t y0, int32_t w, int32_t h, Rgb c) {
    for (int32_t y = y0; y < y0 + h; ++y)
        for (int32_t x = x0; x < x0 + w; ++x) Put(p, x, y, c);
}

// Fully saturated hue h in [0, 1) at a mid brightness, for the chroma sweep.
Rgb Hue(double h) {
    const double v = 191.0;
    const double seg = h * 6.0;
    const int i = int(seg) % 6;
    const double f = seg - std::floor(seg);
    const auto q = uint8_t(std::lround(v * (1.0 - f)));
    const auto t = uint8_t(std::lround(v * f));
    const auto V = uint8_t(v);
    switch (i) {
    case 0: return {V, t, 0};
    case 1: return {q, V, 0};
    case 2: return {0, V, t};
    case 3: return {0, q, V};
    case 4: return {t, 0, V};
    default: return {V, 0, q};
    }
}

void DrawNumber(RgbPicture& p, int32_t number, int32_t x0, int32_t y0, int32_t scale) {
    const std::string text = std::to_string(number < 0 ? 0 : number);
    const int32_t cell = scale;
    const int32_t n = int32_t(text.size());
    // Black plate with a one-cell margin, then white digits 3 cells wide, 1 cell apart.
    FillRect(p, x0, y0, (4 * n + 1) * cell, 7 * cell, {0, 0, 0});
    for (int32_t d = 0; d < n; ++d) {
        const uint8_t(&glyph)[5] = kDigits[text[size_t(d)] - '0'];
        for (int32_t row = 0; row < 5; ++row) {
            for (int32_t col = 0; col < 3; ++col) {
                if (glyph[row] & (4 >> col))
                    FillRect(p, x0 + (1 + 4 * d + col) * cell, y0 + (1 + row) * cell, cell, cell,
                             {255, 255, 255});
            }
        }
    }
}

// Picture rows of one field of a frame: field 0 = even rows.
int32_t FieldOfRow(int32_t y) { return y & 1; }

// Horizontal and vertical chroma subsampling of a Y'CbCr layout, from its frame-memory entry.
void Subsampling(const FrameMemoryLayout& l, int& hsub, int& vsub) {
    hsub = vsub = 1;
    for (int i = 0; i < l.planeCount; ++i) {
        const PlaneDesc& p = l.planes[i];
        int luma = 0, cb = 0;
        for (int s = 0; s < p.slotCount; ++s) {
            if (p.sampleSlots[s].component == Component::Y) ++luma;
            if (p.sampleSlots[s].component == Component::Cb) ++cb;
        }
        if (cb == 0) continue;
        hsub = luma > 0 ? luma / cb : p.groupPixels / cb;
        vsub = p.heightDivisor;
    }
}

uint32_t MaxValue(int bits) { return bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1u; }

uint32_t RgbSample(uint8_t v, int bits, bool studio) {
    if (bits < 8) return uint32_t(v) >> (8 - bits);
    if (bits == 8) return studio ? uint32_t(16 + std::lround(v * 219.0 / 255.0)) : v;
    return uint32_t(std::lround(v * double(MaxValue(bits)) / 255.0));
}

std::string Num(int64_t v) { return std::to_string(v); }

}  // namespace

YCbCr RgbToYCbCr(uint8_t r8, uint8_t g8, uint8_t b8) {
    const double r = r8 / 255.0, g = g8 / 255.0, b = b8 / 255.0;
    const double y = 0.299 * r + 0.587 * g + 0.114 * b;
    const double cb = (b - y) / 1.772;
    const double cr = (r - y) / 1.402;
    return {16.0 + 219.0 * y, 128.0 + 224.0 * cb, 128.0 + 224.0 * cr};
}

YCbCr RgbToYCbCr(uint8_t r8, uint8_t g8, uint8_t b8, const YCbCrCoding& coding) {
    if (coding.matrix == Matrix::BT601 && !coding.fullRange) return RgbToYCbCr(r8, g8, b8);
    const double kr = coding.matrix == Matrix::BT709    ? 0.2126
                      : coding.matrix == Matrix::BT2020 ? 0.2627
                                                        : 0.299;
    const double kb = coding.matrix == Matrix::BT709    ? 0.0722
                      : coding.matrix == Matrix::BT2020 ? 0.0593
                                                        : 0.114;
    const double r = r8 / 255.0, g = g8 / 255.0, b = b8 / 255.0;
    const double y = kr * r + (1.0 - kr - kb) * g + kb * b;
    const double cb = (b - y) / (2.0 * (1.0 - kb));
    const double cr = (r - y) / (2.0 * (1.0 - kr));
    if (coding.fullRange) return {255.0 * y, 128.0 + 255.0 * cb, 128.0 + 255.0 * cr};
    return {16.0 + 219.0 * y, 128.0 + 224.0 * cb, 128.0 + 224.0 * cr};
}

uint32_t Quantise(double value8, int bits) {
    // Exact powers of two; the clamped value is non-negative, so +0.5 and truncation round
    // half up like lround does.
    const double scale = bits >= 8 ? double(1u << (bits - 8)) : 1.0 / double(1u << (8 - bits));
    const double hi = double(MaxValue(bits));
    return uint32_t(std::clamp(value8 * scale, 0.0, hi) + 0.5);
}

RgbPicture RenderPicture(int32_t width, int32_t height, int32_t frameNumber, int32_t motionTime) {
    RgbPicture p;
    if (width <= 0 || height <= 0) return p;
    p.width = width;
    p.height = height;
    p.rgb.assign(size_t(width) * size_t(height) * 3, 0);

    const int32_t barsEnd = std::max(1, height / 2);
    const int32_t rampEnd = barsEnd + (height - barsEnd) / 2;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            Rgb c;
            if (y < barsEnd) {
                c = kBars[int64_t(x) * 8 / width];
            } else if (y < rampEnd) {
                const auto v = uint8_t(width > 1 ? int64_t(x) * 255 / (width - 1) : 0);
                c = {v, v, v};
            } else {
                c = Hue(double(x) / double(width));
            }
            Put(p, x, y, c);
        }
    }

    // The moving box: steps right with time, wraps around, sits in the bars.
    const int32_t box = std::max(2, std::min(width, height) / 6);
    const int32_t step = std::max(1, width / 32);
    const int32_t travel = std::max(1, width - box);
    const int32_t t = motionTime < 0 ? 0 : motionTime;
    const int32_t bx = int32_t(int64_t(t) * step % travel);
    const int32_t by = std::max(0, barsEnd / 2 - box / 2);
    FillRect(p, bx, by, box, box, {0, 0, 0});
    FillRect(p, bx + 1, by + 1, box - 2, box - 2, {255, 128, 0});

    const int32_t scale = std::max(1, height / 48);
    DrawNumber(p, frameNumber, scale, scale, scale);
    return p;
}

RgbPicture RenderFrame(const ClipOptions& o, int32_t n) {
    if (o.fields == FieldMode::Progressive) return RenderPicture(o.width, o.height, n, n);
    // Interlaced: the earlier field shows time 2n, the later one 2n + 1; both draw number n.
    const int32_t earlyField = o.bottomFieldFirst ? 1 : 0;
    RgbPicture early = RenderPicture(o.width, o.height, n, 2 * n);
    const RgbPicture late = RenderPicture(o.width, o.height, n, 2 * n + 1);
    for (int32_t y = 0; y < o.height; ++y)
        if (FieldOfRow(y) != earlyField)
            std::copy_n(late.At(0, y), size_t(o.width) * 3, early.At(0, y));
    return early;
}

RgbPicture ToMemoryOrder(const ClipOptions& o, const RgbPicture& displayed) {
    RgbPicture out = displayed;
    const int32_t h = displayed.height;
    const size_t rowBytes = size_t(displayed.width) * 3;
    // The viewer's order of rows before it flips a bottom-up frame.
    std::vector<int32_t> order(static_cast<size_t>(h));  // memory row -> displayed row
    for (int32_t y = 0; y < h; ++y) order[size_t(y)] = o.bottomUp ? h - 1 - y : y;
    if (o.fields == FieldMode::Separated) {
        // The viewer splits a frame of separated fields at h / 2: rows 0 .. h/2 - 1 are the first
        // field, the next h / 2 rows the second, and an odd height's last row stays last.
        const int32_t h2 = h / 2, first = o.bottomFieldFirst ? 1 : 0;
        std::vector<int32_t> woven = order;
        for (int32_t i = 0; i < h2; ++i) {
            order[size_t(i)] = woven[size_t(2 * i + first)];
            order[size_t(h2 + i)] = woven[size_t(2 * i + 1 - first)];
        }
    }
    for (size_t m = 0; m < order.size(); ++m)
        std::copy_n(displayed.At(0, order[m]), rowBytes, out.rgb.begin() + ptrdiff_t(m * rowBytes));
    return out;
}

bool PackPicture(uint32_t code, const RgbPicture& pic, int32_t lineBytes, FieldMode fields,
                 std::vector<uint8_t>& frame) {
    return PackPicture(code, pic, lineBytes, fields, frame, YCbCrCoding{});
}

bool PackPicture(uint32_t code, const RgbPicture& pic, int32_t lineBytes, FieldMode fields,
                 std::vector<uint8_t>& frame, const YCbCrCoding& coding) {
    frame.clear();
    const FrameMemoryLayout* l = FindFrameMemoryLayout(code);
    FrameExtent ext;
    if (!l || !GetFrameExtent(code, pic.width, pic.height, lineBytes, ext)) return false;
    frame.assign(size_t(ext.frameBytes), 0);

    const int32_t W = pic.width, H = pic.height;
    const size_t count = size_t(W) * size_t(H);

    // Exact Y'CbCr (8-bit scale) of every pixel, and the subsampled chroma planes.
    std::vector<double> luma, cbFull, crFull, cb, cr;
    int hsub = 1, vsub = 1;
    int32_t cw = 0, ch = 0;
    const bool mosaic = l->model == ColourModel::Bayer;
    if (l->model != ColourModel::RGB && !mosaic) {
        luma.resize(count);
        cbFull.resize(count);
        crFull.resize(count);
        for (int32_t y = 0; y < H; ++y) {
            for (int32_t x = 0; x < W; ++x) {
                const uint8_t* px = pic.At(x, y);
                const size_t i = size_t(y) * size_t(W) + size_t(x);
                if (l->model == ColourModel::Grey) {
                    luma[i] = 0.299 * px[0] + 0.587 * px[1] + 0.114 * px[2];
                } else {
                    const YCbCr v = RgbToYCbCr(px[0], px[1], px[2], coding);
                    luma[i] = v.y;
                    cbFull[i] = v.cb;
                    crFull[i] = v.cr;
                }
            }
        }
    }
    if (l->model == ColourModel::YCbCr) {
        Subsampling(*l, hsub, vsub);
        cw = (W + hsub - 1) / hsub;
        ch = (H + vsub - 1) / vsub;
        cb.resize(size_t(cw) * size_t(ch));
        cr.resize(cb.size());
        auto at = [&](const std::vector<double>& plane, int32_t x, int32_t y) {
            x = std::clamp(x, 0, W - 1);
            y = std::clamp(y, 0, H - 1);
            return plane[size_t(y) * size_t(W) + size_t(x)];
        };
        // Horizontally co-sited with the even pixel: taps 1/4, 1/2, 1/4.
        auto horizontal = [&](const std::vector<double>& plane, int32_t x, int32_t y) {
            if (hsub == 1) return at(plane, x, y);
            return 0.25 * at(plane, x - 1, y) + 0.5 * at(plane, x, y) + 0.25 * at(plane, x + 1, y);
        };
        // Separated fields are two pictures, each with chroma rows of its own: the first field
        // has the first h / 2 luma rows and the first ceil(C / 2) of the C = h / 2 chroma rows,
        // the second field the rest of each (the viewer's split; see CONVERT_FIELDS_SEPARATED).
        const int32_t lumaSplit = H / 2, chromaSplit = (H / vsub + 1) / 2;
        for (int32_t cy = 0; cy < ch; ++cy) {
            // 4:2:0: midway between two rows of the frame, or of one field when interlaced.
            int32_t y0 = cy, y1 = cy;
            if (vsub == 2) {
                if (fields == FieldMode::Woven) {
                    y0 = 4 * (cy / 2) + (cy & 1);
                    y1 = y0 + 2;
                } else if (fields == FieldMode::Separated) {
                    const bool second = cy >= chromaSplit;
                    const int32_t top = second ? lumaSplit : 0;
                    const int32_t last = (second ? H : lumaSplit) - 1;
                    const int32_t j = second ? cy - chromaSplit : cy;
                    y0 = std::min(top + 2 * j, last);
                    y1 = std::min(top + 2 * j + 1, last);
                } else {
                    y0 = 2 * cy;
                    y1 = y0 + 1;
                }
            }
            for (int32_t cx = 0; cx < cw; ++cx) {
                const int32_t x = cx * hsub;
                const size_t i = size_t(cy) * size_t(cw) + size_t(cx);
                cb[i] = 0.5 * (horizontal(cbFull, x, y0) + horizontal(cbFull, x, y1));
                cr[i] = 0.5 * (horizontal(crFull, x, y0) + horizontal(crFull, x, y1));
            }
        }
    }

    for (int pi = 0; pi < l->planeCount; ++pi) {
        const PlaneDesc& plane = l->planes[pi];
        const PlaneExtent& pe = ext.planes[pi];
        // A row may end inside its last group (odd-width 4:2:2 pairs): only its words are written.
        const uint64_t groups = (pe.rowBytes + plane.groupBytes - 1) / plane.groupBytes;
        for (uint64_t r = 0; r < pe.rows; ++r) {
            uint8_t* row = frame.data() + pe.offset + r * pe.pitch;
            const int32_t py = std::min(int32_t(r) * plane.heightDivisor, H - 1);
            for (uint64_t g = 0; g < groups; ++g) {
                uint8_t* group = row + g * plane.groupBytes;
                for (int s = 0; s < plane.slotCount; ++s) {
                    const SampleSlot& slot = plane.sampleSlots[s];
                    // A mosaic samples the picture's R', G' or B' at each pixel, by its site.
                    if (mosaic && &slot != &MosaicSlot(plane, int64_t(g), int64_t(r))) continue;
                    if (g * plane.groupBytes + (slot.word + 1u) * plane.wordBytes > pe.rowBytes)
                        continue;
                    // (A mosaic slot's `pixel` is its cell position; its group is one pixel.)
                    const int32_t px =
                        std::min(int32_t(g) * plane.groupPixels + (mosaic ? 0 : slot.pixel), W - 1);
                    const size_t i = size_t(py) * size_t(W) + size_t(px);
                    uint32_t v = 0;
                    switch (slot.component) {
                    case Component::Y: v = Quantise(luma[i], slot.bits); break;
                    case Component::Cb:
                    case Component::Cr: {
                        const int32_t cx = std::min(px / hsub, cw - 1);
                        const int32_t cy = std::min(int32_t(r), ch - 1);
                        const size_t ci = size_t(cy) * size_t(cw) + size_t(cx);
                        v = Quantise(slot.component == Component::Cb ? cb[ci] : cr[ci], slot.bits);
                        break;
                    }
                    case Component::R:
                        v = RgbSample(pic.At(px, py)[0], slot.bits, l->studioRange);
                        break;
                    case Component::G:
                        v = RgbSample(pic.At(px, py)[1], slot.bits, l->studioRange);
                        break;
                    case Component::B:
                        v = RgbSample(pic.At(px, py)[2], slot.bits, l->studioRange);
                        break;
                    case Component::A: v = MaxValue(slot.bits); break;
                    case Component::Grey:
                        v = uint32_t(std::lround(luma[i] * double(MaxValue(slot.bits)) / 255.0));
                        break;
                    }
                    WriteSample(group, plane, l->byteOrder, slot, v);
                }
            }
        }
    }
    return true;
}

int32_t ClipLineBytes(const ClipOptions& o, std::string* error) {
    auto fail = [error](const std::string& text) {
        if (error) *error = text;
        return 0;
    };
    if (!FindFrameMemoryLayout(o.code)) return fail("unknown pixel layout");
    if (o.width <= 0) return fail("the width must be positive");
    if (o.height <= 0) return fail("the height must be positive");
    if (o.lineBytes < 0)
        return fail("the line pitch must be positive (use bottom-up rows instead)");
    RawVideoFormat f{};
    if (!BuildRawVideoFormat(f, o.width, o.height, o.code, o.lineBytes, 0)) {
        const LayoutGeometry* g = FindLayoutGeometry(o.code);
        if (o.lineBytes == 0 && g->widthMultiple > 1 && o.width % int32_t(g->widthMultiple) != 0)
            return fail(LayoutName(o.code) + " needs a width that is a multiple of " +
                        Num(g->widthMultiple) + ", or an explicit line pitch");
        if (g->heightMultiple > 1 && o.height % int32_t(g->heightMultiple) != 0)
            return fail(LayoutName(o.code) + " needs a height that is a multiple of " +
                        Num(g->heightMultiple));
        return fail("the frame size does not fit the layout's line pitch");
    }
    if (!LineBytesFitLayout(o.code, o.width, o.height, f.lineBytes))
        return fail("line pitch " + Num(f.lineBytes) + " is too small; " + LayoutName(o.code) +
                    " needs at least " + Num(int64_t(MinLineBytes(o.code, o.width, o.height))));
    return f.lineBytes;
}

bool ValidateClip(const ClipOptions& o, std::string& error) {
    if (ClipLineBytes(o, &error) == 0) return false;
    if (o.frames < 0) {
        error = "the frame count must not be negative";
        return false;
    }
    return true;
}

bool PackFrame(const ClipOptions& o, int32_t n, std::vector<uint8_t>& frame) {
    const int32_t pitch = ClipLineBytes(o);
    if (pitch == 0) {
        frame.clear();
        return false;
    }
    const RgbPicture memory = ToMemoryOrder(o, RenderFrame(o, n));
    return PackPicture(o.code, memory, pitch, o.fields, frame, o.coding);
}

uint64_t ClipFileSize(const ClipOptions& o) {
    std::string error;
    if (!ValidateClip(o, error)) return 0;
    rawsettings::FrameSpan span;
    span.filePrefix = o.filePrefix;
    span.framePrefix = o.framePrefix;
    span.frameBytes = int64_t(ClipLineBytes(o)) * o.height;
    span.framePostfix = o.framePostfix;
    return uint64_t(span.FileBytes(o.frames));
}

bool WriteClip(const ClipOptions& o, const std::string& path, std::string& error) {
    if (!ValidateClip(o, error)) return false;
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!file) {
        error = "cannot create " + path;
        return false;
    }
    auto pattern = [](uint32_t bytes) {
        std::vector<uint8_t> v(bytes);
        for (uint32_t i = 0; i < bytes; ++i) v[i] = (i / 4) % 2 ? 0x10 : 0xF0;
        return v;
    };
    auto put = [&](const std::vector<uint8_t>& bytes) {
        return bytes.empty() ||
               std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    };
    const std::vector<uint8_t> filePrefix = pattern(o.filePrefix);
    const std::vector<uint8_t> framePrefix = pattern(o.framePrefix);
    const std::vector<uint8_t> framePostfix = pattern(o.framePostfix);
    bool ok = put(filePrefix);
    std::vector<uint8_t> frame;
    for (int32_t n = 0; ok && n < o.frames; ++n) {
        ok = PackFrame(o, n, frame) && put(framePrefix) && put(frame) && put(framePostfix);
    }
    if (std::fflush(file.get()) != 0) ok = false;
    if (!ok) error = "cannot write " + path;
    return ok;
}

std::vector<std::string> ViewerArguments(const ClipOptions& o, const std::string& path,
                                         std::string* note) {
    std::vector<std::string> args;
    std::string remarks;
    const int32_t pitch = ClipLineBytes(o);
    const std::string name = LayoutName(o.code);
    const std::optional<LayoutKeyword> kw = FindLayoutKeyword(name);
    bool keywordBottomUp = false;
    args.insert(args.end(), {"-w", Num(o.width), "-h", Num(o.height)});
    if (kw) {
        args.insert(args.end(), {"-l", name});
        keywordBottomUp = kw->bottomUp;
        const FrameMemoryLayout* mine = FindFrameMemoryLayout(o.code);
        const FrameMemoryLayout* theirs = FindFrameMemoryLayout(kw->code);
        if (mine && theirs && mine->studioRange != theirs->studioRange)
            remarks += "The command line reads " + name + " as " + LayoutName(kw->code) +
                       " (full-range samples). ";
    }
    if (o.bottomUp && !keywordBottomUp) {
        args.insert(args.end(), {"-s", Num(-int64_t(pitch))});
    } else if (o.lineBytes != 0) {
        args.insert(args.end(), {"-s", Num(pitch)});
    }
    if (!o.bottomUp && keywordBottomUp) {
        remarks += "The command line takes " + name +
                   " rows as stored bottom-up; write the clip with bottom-up rows to see it "
                   "upright. ";
    }
    if (o.filePrefix) args.insert(args.end(), {"-o", Num(o.filePrefix)});
    if (o.framePrefix) args.insert(args.end(), {"-b", Num(o.framePrefix)});
    if (o.framePostfix) args.insert(args.end(), {"-e", Num(o.framePostfix)});
    if (o.fields != FieldMode::Progressive) args.push_back("-i");
    if (o.fields == FieldMode::Separated) args.push_back("-seq");
    if (o.coding.matrix != Matrix::BT601)
        args.insert(args.end(), {"-matrix", o.coding.matrix == Matrix::BT709 ? "709" : "2020"});
    if (o.coding.fullRange) args.insert(args.end(), {"-range", "full"});
    if (o.fields != FieldMode::Progressive && o.bottomFieldFirst)
        remarks += "The command line has no setting for bottom-field-first clips. ";
    args.push_back(path);
    if (note) *note = remarks;
    return args;
}

}  // namespace clipgen
