#include "FileNameHints.h"

#include "CommandLine.h"
#include "image/FrameMemory.h"
#include "image/PixelLayout.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace rawsettings {

namespace {

constexpr size_t kMaxPathBytes = 4096;
constexpr int kFoldersRead = 2;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAlnum(char c) { return IsDigit(c) || IsLetter(c); }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
std::string LowerCopy(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = Lower(c);
    return out;
}

struct Size {
    int32_t width;
    int32_t height;
};

// Standard heights that "720p" or "1080i" name, with the width of their usual raster.
constexpr std::pair<int32_t, Size> kHeights[] = {
    {360, {640, 360}},    {480, {720, 480}},    {576, {720, 576}},    {720, {1280, 720}},
    {1080, {1920, 1080}}, {1440, {2560, 1440}}, {2160, {3840, 2160}}, {4320, {7680, 4320}},
};

// Heights that stand for their raster even without 'p' or 'i' ("foo1080bar").
constexpr int32_t kBareHeights[] = {720, 1080, 2160, 4320};

struct NamedSize {
    const char* word;
    Size size;
};
constexpr NamedSize kNamedSizes[] = {
    {"qcif", {176, 144}}, {"cif", {352, 288}},   {"4cif", {704, 576}},  {"16cif", {1408, 1152}},
    {"sif", {352, 240}},  {"qsif", {176, 120}},  {"pal", {720, 576}},   {"ntsc", {720, 480}},
    {"qvga", {320, 240}}, {"vga", {640, 480}},   {"svga", {800, 600}},  {"xga", {1024, 768}},
    {"hd", {1920, 1080}}, {"fhd", {1920, 1080}}, {"qhd", {2560, 1440}}, {"2k", {2048, 1080}},
    {"4k", {3840, 2160}}, {"uhd", {3840, 2160}}, {"8k", {7680, 4320}},
};

// A frame rate as a fraction: frames per second = numerator / denominator.
struct Rate {
    uint32_t numerator = 0;
    uint32_t denominator = 0;
    bool Valid() const { return numerator > 0 && denominator > 0; }
};

uint32_t Gcd(uint32_t a, uint32_t b) {
    while (b != 0) {
        const uint32_t t = a % b;
        a = b;
        b = t;
    }
    return a;
}

Rate Reduced(uint64_t numerator, uint64_t denominator) {
    Rate r;
    if (numerator == 0 || denominator == 0 || numerator > 0xFFFFFFFFu || denominator > 0xFFFFFFFFu)
        return r;
    const auto n = static_cast<uint32_t>(numerator), d = static_cast<uint32_t>(denominator);
    const uint32_t g = Gcd(n, d);
    r.numerator = n / g;
    r.denominator = d / g;
    return r;
}

// A rate written in decimals ("25", "29.97", "12.5"): the NTSC family by its usual roundings,
// others exactly; 0 < rate <= 1000.
Rate ParseRate(std::string_view text) {
    if (text.empty() || text.size() > 9 || !IsDigit(text.front())) return {};
    struct NtscRate {
        const char* text[2];
        uint32_t numerator;
    };
    static constexpr NtscRate kNtsc[] = {{{"23.976", "23.98"}, 24000},
                                         {{"29.97", "29.970"}, 30000},
                                         {{"47.952", "47.95"}, 48000},
                                         {{"59.94", "59.940"}, 60000},
                                         {{"119.88", "119.880"}, 120000}};
    for (const NtscRate& n : kNtsc)
        for (const char* t : n.text)
            if (text == t) return {n.numerator, 1001};
    uint64_t value = 0, scale = 1;
    bool point = false;
    for (const char c : text) {
        if (c == '.' && !point) {
            point = true;
        } else if (IsDigit(c)) {
            value = value * 10 + static_cast<uint64_t>(c - '0');
            if (point) scale *= 10;
        } else {
            return {};
        }
    }
    if (value == 0 || value > 1000 * scale) return {};
    return Reduced(value, scale);
}

// "Ni" counts fields from 48 on: "50i" and "59.94i" are 25 and 29.97 woven frames a second.
Rate InterlacedRate(Rate fields) {
    if (!fields.Valid() || fields.numerator < 48u * fields.denominator) return fields;
    return Reduced(fields.numerator, uint64_t{fields.denominator} * 2);
}

bool IsCommonRate(std::string_view text) {
    static constexpr const char* kRates[] = {"15", "23.976", "23.98", "24", "25",  "29.97",  "30",
                                             "48", "50",     "59.94", "60", "100", "119.88", "120"};
    return std::any_of(std::begin(kRates), std::end(kRates),
                       [text](const char* r) { return text == r; });
}

// A decimal number of up to 5 digits without a leading zero; -1 otherwise.
int32_t SmallNumber(std::string_view digits) {
    if (digits.empty() || digits.size() > 5 || digits.front() == '0') return -1;
    int32_t v = 0;
    for (const char c : digits) {
        if (!IsDigit(c)) return -1;
        v = v * 10 + (c - '0');
    }
    return v;
}

const Size* StandardHeight(int32_t height) {
    for (const auto& h : kHeights)
        if (h.first == height) return &h.second;
    return nullptr;
}

// What one path component says. Priorities of a size: 4 explicit, 3 standard height with 'p' or
// 'i', 2 named, 1 bare height.
struct ComponentHints {
    int sizePriority = 0;
    Size size{0, 0};
    Rate rate;
    std::optional<bool> interlaced;
    // Layout pieces.
    std::optional<uint32_t> keywordCode;
    std::string keywordText;
    std::optional<char> family;  // 'y' Y'CbCr, 'r' R'G'B', 'g' grey, 'b' Bayer mosaic
    std::string mosaic;          // a Bayer mosaic's cell order, "rggb" (empty: not said)
    int chroma = 0;              // 420, 422, 444, 411, 440
    int bits = 0;                // 8, 10, 12, 16
    std::optional<char> endian;  // 'l' or 'b'
    bool HasLayoutPieces() const { return family || chroma || bits || endian; }
};

void SetSize(ComponentHints& h, int priority, Size size) {
    if (priority <= h.sizePriority) return;
    h.sizePriority = priority;
    h.size = size;
}

void SetRate(ComponentHints& h, Rate rate) {
    if (!h.rate.Valid() && rate.Valid()) h.rate = rate;
}

// The first "digits x digits" of the component; end receives the position after it.
std::optional<Size> FindExplicitSize(std::string_view s, size_t& end) {
    for (size_t i = 1; i + 1 < s.size(); ++i) {
        const char c = s[i];
        if (c != 'x' && c != 'X' && c != '*') continue;
        if (!IsDigit(s[i - 1]) || !IsDigit(s[i + 1])) continue;
        size_t a = i;
        while (a > 0 && IsDigit(s[a - 1])) --a;
        size_t b = i + 1;
        while (b < s.size() && IsDigit(s[b])) ++b;
        // A digit run that continues through a '.' is a number with a fraction, not a size.
        if (a > 0 && s[a - 1] == '.') continue;
        const int32_t w = SmallNumber(s.substr(a, i - a));
        const int32_t h = SmallNumber(s.substr(i + 1, b - i - 1));
        if (w < 16 || h < 16 || w > 16384 || h > 16384) continue;
        end = b;
        return Size{w, h};
    }
    return std::nullopt;
}

bool IsNtscRate(std::string_view text) {
    const Rate r = ParseRate(text);
    return r.denominator == 1001 && text.find('.') != std::string_view::npos;
}

struct Word {
    size_t begin;
    std::string_view text;
};

// Words of a component: ASCII letters and digits; a '.' joins digits when letters follow the
// fraction ("29.97fps").
std::vector<Word> SplitWords(std::string_view s) {
    std::vector<Word> words;
    size_t i = 0;
    while (i < s.size()) {
        if (!IsAlnum(s[i])) {
            ++i;
            continue;
        }
        const size_t begin = i;
        while (i < s.size()) {
            if (IsAlnum(s[i])) {
                ++i;
                continue;
            }
            if (s[i] == '.' && i > begin && IsDigit(s[i - 1]) && i + 1 < s.size() &&
                IsDigit(s[i + 1])) {
                size_t j = i + 1;
                while (j < s.size() && IsDigit(s[j])) ++j;
                size_t k = i;
                while (k > begin && IsDigit(s[k - 1])) --k;
                // "29.97fps", or an NTSC rate behind letters ("1080i59.94").
                if ((j < s.size() && IsLetter(s[j])) || IsNtscRate(s.substr(k, j - k))) {
                    i = j;
                    continue;
                }
            }
            break;
        }
        words.push_back({begin, s.substr(begin, i - begin)});
    }
    return words;
}

// A word cut into runs of digits (with a fraction) and runs of letters, lower case.
std::vector<std::string> Runs(std::string_view word) {
    std::vector<std::string> runs;
    size_t i = 0;
    while (i < word.size()) {
        const size_t begin = i;
        if (IsDigit(word[i])) {
            while (i < word.size() && (IsDigit(word[i]) || word[i] == '.')) ++i;
        } else {
            while (i < word.size() && IsLetter(word[i])) ++i;
        }
        runs.push_back(LowerCopy(word.substr(begin, i - begin)));
    }
    return runs;
}

bool IsChroma(int32_t v) { return v == 420 || v == 422 || v == 444 || v == 411 || v == 440; }
bool IsDepth(int32_t v) { return v == 8 || v == 10 || v == 12 || v == 14 || v == 16; }
bool IsDepthWord(const std::string& s) {
    return s == "bit" || s == "bits" || s == "b" || s == "bpc" || s == "bitle" || s == "bitbe";
}

// The cell order of a Bayer mosaic as names spell it: "rggb", or a camera's "bayerrg"; empty
// when the run is none.
std::string MosaicOrder(const std::string& run) {
    static constexpr const char* kOrders[] = {"rggb", "bggr", "grbg", "gbrg"};
    for (const char* order : kOrders)
        if (run == order) return run;
    // Camera pixel formats name the mosaic by its first two cells: "BayerRG12" is RGGB.
    if (run.size() == 7 && run.compare(0, 5, "bayer") == 0) {
        for (const char* order : kOrders)
            if (run.compare(5, 2, order, 2) == 0) return order;
    }
    return std::string();
}

std::optional<uint32_t> KeywordCode(std::string_view word) {
    if (auto k = FindLayoutKeyword(std::string(word))) return k->code;
    if (auto k = FindLayoutKeyword(LowerCopy(word))) return k->code;
    return LayoutCodeByName(word);
}

void ReadRuns(const std::vector<std::string>& runs, ComponentHints& h) {
    for (size_t i = 0; i < runs.size(); ++i) {
        const std::string& r = runs[i];
        const std::string next = i + 1 < runs.size() ? runs[i + 1] : std::string();
        const std::string after = i + 2 < runs.size() ? runs[i + 2] : std::string();
        if (IsLetter(r[0])) {
            if (r == "yuv" || r == "yuvj" || r == "ycbcr") h.family = 'y';
            if (r == "rgb" || r == "bgr") h.family = 'r';
            if (r == "gray" || r == "grey" || r == "mono" || r == "luma") h.family = 'g';
            if (r == "bayer" || r == "mosaic") h.family = 'b';
            const std::string mosaic = MosaicOrder(r);
            if (!mosaic.empty()) {
                h.family = 'b';
                h.mosaic = mosaic;
            }
            // A depth written straight after the kind of samples: "mono12", "RGGB10", "gray10",
            // "BayerRG12"; or behind a 'p' of its own ("p10").
            const bool kind = r == "gray" || r == "grey" || r == "mono" || r == "luma" ||
                              r == "bayer" || !mosaic.empty() || (r == "p" && i == 0);
            if (kind && IsDepth(SmallNumber(next))) {
                h.bits = SmallNumber(next);
                if (after == "le") h.endian = 'l';
                if (after == "be") h.endian = 'b';
                ++i;
                continue;
            }
            if (r == "le" && (i == 0 || h.bits)) h.endian = 'l';
            if (r == "be" && (i == 0 || h.bits)) h.endian = 'b';
            if (r == "interlaced") h.interlaced = true;
            if (r == "progressive") h.interlaced = false;
            continue;
        }
        const int32_t n = SmallNumber(r);
        if (next == "p" || next == "i") {
            const bool fields = next == "i";
            if (const Size* size = StandardHeight(n)) {
                SetSize(h, 3, *size);
                h.interlaced = fields;
                if (!after.empty() && IsDigit(after[0])) {
                    const Rate rate = ParseRate(after);
                    SetRate(h, fields ? InterlacedRate(rate) : rate);
                    ++i;
                }
            } else if (IsChroma(n)) {
                h.chroma = n;
                if (next == "p" && !after.empty() && IsDepth(SmallNumber(after))) {
                    h.bits = SmallNumber(after);
                    ++i;
                }
            } else {
                const Rate rate = ParseRate(r);
                if (rate.Valid() && rate.numerator <= 300u * rate.denominator) {
                    SetRate(h, fields ? InterlacedRate(rate) : rate);
                    h.interlaced = fields;
                }
            }
            ++i;
            continue;
        }
        if (next == "fps" || next == "hz") {
            SetRate(h, ParseRate(r));
            ++i;
            continue;
        }
        if (IsDepth(n) && (IsDepthWord(next) || next == "le" || next == "be")) {
            h.bits = n;
            if (next == "le" || next == "bitle" || after == "le") h.endian = 'l';
            if (next == "be" || next == "bitbe" || after == "be") h.endian = 'b';
            ++i;
            continue;
        }
        if (IsChroma(n)) {
            // "420" as a word of its own, or after "yuv" ("yuv420").
            const bool afterYuv = i > 0 && (runs[i - 1] == "yuv" || runs[i - 1] == "yuvj");
            if (runs.size() == 1 || afterYuv) h.chroma = n;
            continue;
        }
        // A bare height, unless it is one side of a size ("9999999x1080" is none).
        const bool sizeSide = (i >= 2 && runs[i - 1] == "x" && IsDigit(runs[i - 2][0])) ||
                              (next == "x" && !after.empty() && IsDigit(after[0]));
        if (!sizeSide && std::find(std::begin(kBareHeights), std::end(kBareHeights), n) !=
                             std::end(kBareHeights))
            SetSize(h, 1, *StandardHeight(n));
    }
}

ComponentHints ReadComponent(std::string_view s) {
    ComponentHints h;
    size_t sizeEnd = std::string_view::npos;
    if (const auto size = FindExplicitSize(s, sizeEnd)) SetSize(h, 4, *size);
    const std::vector<Word> words = SplitWords(s);
    bool afterSize = false;
    for (const Word& w : words) {
        // A bare common rate right after the size: "BQTerrace_1920x1080_60".
        const bool firstAfterSize =
            !afterSize && sizeEnd != std::string_view::npos && w.begin >= sizeEnd;
        if (firstAfterSize) {
            afterSize = true;
            if (IsCommonRate(w.text)) {
                SetRate(h, ParseRate(w.text));
                continue;
            }
        }
        if (sizeEnd != std::string_view::npos && w.begin < sizeEnd &&
            w.begin + w.text.size() > sizeEnd - 1) {
            // The size's own word; its letters may still say something ("1920x1080p50" is rare,
            // skip it).
            continue;
        }
        const std::string lower = LowerCopy(w.text);
        bool named = false;
        for (const NamedSize& n : kNamedSizes) {
            if (lower == n.word) {
                SetSize(h, 2, n.size);
                named = true;
            }
        }
        if (named) continue;
        if (!h.keywordCode) {
            if (const auto code = KeywordCode(w.text)) {
                h.keywordCode = code;
                h.keywordText = std::string(w.text);
                continue;
            }
        }
        ReadRuns(Runs(w.text), h);
    }
    return h;
}

// Layout names for pieces, most likely first. Names the catalogue lacks are skipped.
std::vector<std::string> NamesFor(char family, int chroma, int bits, char endian,
                                  const std::string& mosaic) {
    const bool big = endian == 'b';
    const std::string e = big ? "BE" : "LE";
    const std::string b = std::to_string(bits);
    if (family == 'b') {
        // Mosaics are stored in little-endian words; the named cell order first, then the others.
        std::vector<std::string> names;
        std::vector<std::string> orders = {"RGGB", "BGGR", "GRBG", "GBRG"};
        for (const std::string& order : orders) {
            if (!mosaic.empty() && LowerCopy(order) != mosaic) continue;
            names.push_back(bits == 0 || bits == 8 ? order : order + "LE" + b);
        }
        return names;
    }
    if (family == 'g') {
        if (bits == 0 || bits == 8) return {"GRAY"};
        return {"GRAY" + e + b};
    }
    if (family == 'r') {
        if (bits == 0 || bits == 8)
            return {"BGR3", "RGB3", "BGR4", "RGB4", "BGRA", "ARGB", "RGBA", "ABGR"};
        if (bits == 10) return {"X2R10G10B10", "X2B10G10R10", "r210"};
        if (bits == 16)
            return {"BGR161616", "RGB161616", "BGRA16161616", "ARGB16161616", "RGB444P"};
        return {};
    }
    std::vector<std::string> names;
    const auto add = [&names](std::initializer_list<std::string> more) {
        names.insert(names.end(), more.begin(), more.end());
    };
    const int chromas[3] = {420, 422, 444};
    for (const int c : chromas) {
        if (chroma != 0 && chroma != c) continue;
        const std::string planar = c == 420 ? "I420" : c == 422 ? "I422" : "I444";
        if (bits == 0 || bits == 8) {
            if (c == 420) add({"I420", "YV12", "NV12", "NV21"});
            if (c == 422) add({"I422", "UYVY", "YUY2", "YV16", "NV16", "YVYU", "NV61"});
            if (c == 444) add({"I444", "YV24", "NV24", "NV42"});
            continue;
        }
        if (bits != 10 && bits != 12 && bits != 16) continue;
        add({planar + e + b});
        if (big) continue;
        if (c == 420) add({bits == 10 ? "P010" : "P016"});
        if (c == 422 && bits == 10) add({"P210", "Y210", "v210"});
        if (c == 422 && bits != 10) add({"P216", "Y216"});
        if (c == 444) add({bits == 10 ? "P410" : "P416"});
        if (c == 444 && bits == 10) add({"Y410", "v410"});
    }
    if ((bits == 0 || bits == 8) && chroma == 411) add({"Y41B"});
    if ((bits == 0 || bits == 8) && chroma == 440) add({"I440"});
    return names;
}

std::string PiecesText(char family, int chroma, int bits, char endian, const std::string& mosaic) {
    std::string text;
    if (family == 'g') text = "grey";
    if (family == 'b') {
        std::string order = mosaic.empty() ? std::string("mosaic") : mosaic;
        if (!mosaic.empty())
            for (char& c : order) c = static_cast<char>(c - 'a' + 'A');
        text = "Bayer " + order;
    }
    if (family == 'r') text = "R'G'B'";
    if (chroma != 0) {
        const std::string c = std::to_string(chroma);
        text = std::string(1, c[0]) + ":" + c[1] + ":" + c[2];
    }
    if (bits != 0) text += (text.empty() ? "" : " ") + std::to_string(bits) + "-bit";
    if (endian) text += endian == 'b' ? " big-endian" : " little-endian";
    return text;
}

}  // namespace

std::optional<uint32_t> LayoutCodeByName(std::string_view name) {
    const PixelLayoutInfo* rows = LayoutCatalogue();
    for (int i = 0; i < kLayoutCount; ++i) {
        const char* n = rows[i].name;
        if (std::strlen(n) != name.size()) continue;
        bool same = true;
        for (size_t j = 0; j < name.size() && same; ++j) same = Lower(n[j]) == Lower(name[j]);
        if (same) return rows[i].code;
    }
    return std::nullopt;
}

FileNameHints ReadFileNameHints(std::string_view path) {
    if (path.size() > kMaxPathBytes) path = path.substr(path.size() - kMaxPathBytes);
    // Components, nearest first: the file name, then up to kFoldersRead folders.
    std::vector<std::string_view> components;
    while (!path.empty() && static_cast<int>(components.size()) <= kFoldersRead) {
        const size_t slash = path.find_last_of('/');
        const std::string_view last =
            slash == std::string_view::npos ? path : path.substr(slash + 1);
        if (!last.empty()) components.push_back(last);
        if (slash == std::string_view::npos) break;
        path = path.substr(0, slash);
    }

    FileNameHints hints;
    bool sizeSet = false, rateSet = false, layoutDone = false;
    char family = 0, endian = 0;
    int chroma = 0, bits = 0;
    std::string mosaic;
    for (const std::string_view component : components) {
        const ComponentHints h = ReadComponent(component);
        if (!sizeSet && h.sizePriority > 0) {
            hints.width = h.size.width;
            hints.height = h.size.height;
            sizeSet = true;
        }
        if (!rateSet && h.rate.Valid()) {
            hints.rateNumerator = h.rate.numerator;
            hints.rateDenominator = h.rate.denominator;
            rateSet = true;
        }
        if (!hints.interlaced && h.interlaced) hints.interlaced = h.interlaced;
        if (layoutDone) continue;
        const bool anyPiece = family || chroma || bits || endian;
        // A mosaic or grey keyword beside a depth of its own names that depth's row: "rggb" and
        // "12bit" in one name are RGGBLE12, not the 8-bit RGGB.
        if (h.keywordCode && !anyPiece && h.bits != 0) {
            const FrameMemoryLayout* memory = FindFrameMemoryLayout(*h.keywordCode);
            const bool deepens =
                memory && memory->sampleBits != h.bits &&
                (memory->model == ColourModel::Bayer || memory->model == ColourModel::Grey);
            if (deepens) {
                family = memory->model == ColourModel::Bayer ? 'b' : 'g';
                if (family == 'b') mosaic = LowerCopy(LayoutName(*h.keywordCode).substr(0, 4));
                bits = h.bits;
                if (h.endian) endian = *h.endian;
                layoutDone = true;
                continue;
            }
        }
        if (h.keywordCode && !anyPiece) {
            hints.codes.push_back(*h.keywordCode);
            hints.layoutText = h.keywordText;
            layoutDone = true;
            continue;
        }
        if (h.keywordCode) {
            layoutDone = true;  // nearer pieces win over a farther keyword
            continue;
        }
        if (!family && h.family) family = *h.family;
        if (mosaic.empty() && family == 'b') mosaic = h.mosaic;
        if (!chroma) chroma = h.chroma;
        if (!bits) bits = h.bits;
        if (!endian && h.endian) endian = *h.endian;
    }
    if (hints.codes.empty() &&
        (chroma || bits > 8 || family == 'g' || family == 'r' || family == 'b')) {
        for (const std::string& name : NamesFor(family, chroma, bits, endian, mosaic)) {
            const auto code = LayoutCodeByName(name);
            if (code &&
                std::find(hints.codes.begin(), hints.codes.end(), *code) == hints.codes.end())
                hints.codes.push_back(*code);
        }
        if (!hints.codes.empty())
            hints.layoutText = PiecesText(family, chroma, bits, endian, mosaic);
    }
    return hints;
}

}  // namespace rawsettings
