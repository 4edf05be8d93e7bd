#include "CommandLine.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstring>
#include <numeric>

const char* const kErrNotEnoughArguments = "Error: Not enougth arguments.";
const char* const kErrUnknownSetting = "Error: Unknown setting or option.";
const char* const kErrNegativeOffset = "Error: Negative offsets are not allowed.";
const char* const kErrOffsetTooLarge = "Error: Offset too large.";
const char* const kErrWidth = "Error: Wrong or missing width.";
const char* const kErrHeight = "Error: Wrong or missing height.";
const char* const kErrStride = "Error: Wrong or missing stride.";
const char* const kErrLayout = "Error: Unknown pixel layout.";
const char* const kErrTwoFiles = "Error: More than one file name given.";
const char* const kErrMatrix =
    "Error: Wrong or missing colour matrix: -matrix takes 601, 709, 2020 or auto.";
const char* const kErrRange = "Error: Wrong or missing sample range: -range takes limited or full.";
const char* const kErrFps =
    "Error: Wrong or missing frame rate: -fps takes 0.1 to 1000 frames per second.";
const char* const kErrCache =
    "Error: Wrong or missing cache size: -cache takes 16 to 65536 megabytes.";

namespace {

// Searched in this order; the first two only as written, the rest in any case.
constexpr LayoutKeyword kKeywords[kLayoutKeywordCount] = {
    {"v216", kLayoutV216, false},
    {"v210", kLayoutV210, false},
    {"I420", kLayoutI420, false},
    {"I420LE16", kLayoutI420LE16, false},
    {"I420BE16", kLayoutI420BE16, false},
    {"P016", kLayoutP016, false},
    {"P010", kLayoutP010, false},
    {"P216", kLayoutP216, false},
    {"P210", kLayoutP210, false},
    {"Y216", kLayoutY216, false},
    {"Y210", kLayoutY210, false},
    {"YV12", kLayoutYV12, false},
    {"YV16", kLayoutYV16, false},
    {"YV24", kLayoutYV24, false},
    {"YUY2", kLayoutYUYV, false},
    {"V422", kLayoutYUYV, false},
    {"YUYV", kLayoutYUYV, false},
    {"UYVY", kLayoutUYVY, false},
    {"VYUY", kLayoutVYUY, false},
    {"RGB3", kLayoutRGB3, false},
    {"BGR3", kLayoutBGR3, true},
    {"R24C", kLayoutBGR3, true},
    {"RGB4", kLayoutRGB4, true},
    {"BGR4", kLayoutBGR4, true},
    {"R32C", kLayoutBGR4, true},
    {"BGRA", kLayoutBGRA, true},
    {"ARGB", kLayoutARGB, false},
    {"R565", kLayoutR565, true},
    {"BGR444P", kLayoutBGR444P, false},
    {"RGB444P", kLayoutRGB444P, false},
    {"BGR161616", kLayoutBGR161616, false},
    {"RGB161616", kLayoutRGB161616, false},
    {"BGRA16161616", kLayoutBGRA16161616, false},
    {"ARGB16161616", kLayoutARGB16161616, false},
    {"R555", kLayoutR555, true},
    {"VUYA", kLayoutVUYA, false},
    {"AYUV", kLayoutAYUV, false},
    {"GRAY", kLayoutGRAY, false},
    {"GRAYLE16", kLayoutGRAYLE16, false},
    {"GRAYBE16", kLayoutGRAYBE16, false},
    {"NV12", kLayoutNV12, false},
    {"NV21", kLayoutNV21, false},
    {"NV16", kLayoutNV16, false},
    {"NV61", kLayoutNV61, false},
    {"NV24", kLayoutNV24, false},
    {"NV42", kLayoutNV42, false},
    {"YVYU", kLayoutYVYU, false},
    {"I422", kLayoutI422, false},
    {"I444", kLayoutI444, false},
    {"Y41B", kLayoutY41B, false},
    {"I440", kLayoutI440, false},
    {"I420LE10", kLayoutI420LE10, false},
    {"I420LE12", kLayoutI420LE12, false},
    {"I420BE10", kLayoutI420BE10, false},
    {"I420BE12", kLayoutI420BE12, false},
    {"I422LE10", kLayoutI422LE10, false},
    {"I422LE12", kLayoutI422LE12, false},
    {"I422LE16", kLayoutI422LE16, false},
    {"I422BE10", kLayoutI422BE10, false},
    {"I422BE12", kLayoutI422BE12, false},
    {"I422BE16", kLayoutI422BE16, false},
    {"I444LE10", kLayoutI444LE10, false},
    {"I444LE12", kLayoutI444LE12, false},
    {"I444LE16", kLayoutI444LE16, false},
    {"I444BE10", kLayoutI444BE10, false},
    {"I444BE12", kLayoutI444BE12, false},
    {"I444BE16", kLayoutI444BE16, false},
    {"P410", kLayoutP410, false},
    {"P416", kLayoutP416, false},
    {"GRAYLE10", kLayoutGRAYLE10, false},
    {"GRAYLE12", kLayoutGRAYLE12, false},
    {"Y410", kLayoutY410, false},
    {"v410", kLayoutV410, false},
    {"r210", kLayoutR210, false},
    {"X2R10G10B10", kLayoutX2R10G10B10, false},
    {"X2B10G10R10", kLayoutX2B10G10R10, false},
    {"RGBA", kLayoutRGBA, false},
    {"ABGR", kLayoutABGR, false},
    // Byte orders that rows above already store, with their rows top-down.
    {"RGB0", kLayoutRGB4, false},
    {"BGR0", kLayoutBGR4, false},
    {"0RGB", kLayoutARGB, false},
    {"0BGR", kLayoutABGR, false},
    // Bayer mosaics, and the names ffmpeg gives them (its 16-bit ones are the LE16 rows).
    {"RGGB", kLayoutRGGB, false},
    {"BGGR", kLayoutBGGR, false},
    {"GRBG", kLayoutGRBG, false},
    {"GBRG", kLayoutGBRG, false},
    {"RGGBLE10", kLayoutRGGBLE10, false},
    {"BGGRLE10", kLayoutBGGRLE10, false},
    {"GRBGLE10", kLayoutGRBGLE10, false},
    {"GBRGLE10", kLayoutGBRGLE10, false},
    {"RGGBLE12", kLayoutRGGBLE12, false},
    {"BGGRLE12", kLayoutBGGRLE12, false},
    {"GRBGLE12", kLayoutGRBGLE12, false},
    {"GBRGLE12", kLayoutGBRGLE12, false},
    {"RGGBLE16", kLayoutRGGBLE16, false},
    {"BGGRLE16", kLayoutBGGRLE16, false},
    {"GRBGLE16", kLayoutGRBGLE16, false},
    {"GBRGLE16", kLayoutGBRGLE16, false},
    {"BAYER_RGGB8", kLayoutRGGB, false},
    {"BAYER_BGGR8", kLayoutBGGR, false},
    {"BAYER_GRBG8", kLayoutGRBG, false},
    {"BAYER_GBRG8", kLayoutGBRG, false},
    {"BAYER_RGGB16LE", kLayoutRGGBLE16, false},
    {"BAYER_BGGR16LE", kLayoutBGGRLE16, false},
    {"BAYER_GRBG16LE", kLayoutGRBGLE16, false},
    {"BAYER_GBRG16LE", kLayoutGBRGLE16, false},
};
constexpr int kCaseSensitiveKeywords = 2;

// ffmpeg's names of the pixel formats whose bytes a row of the catalogue stores the same way,
// searched after the keywords in any case. Names equal to a keyword ("bgra", "gray", "nv12",
// ...) are not here: the keyword keeps its meaning (e.g. "BGRA" rows bottom-up).
constexpr LayoutKeyword kAliases[kLayoutAliasCount] = {
    {"yuv420p", kLayoutI420, false},
    {"yuv422p", kLayoutI422, false},
    {"yuv444p", kLayoutI444, false},
    {"yuv411p", kLayoutY41B, false},
    {"yuv440p", kLayoutI440, false},
    {"yuv420p10le", kLayoutI420LE10, false},
    {"yuv420p12le", kLayoutI420LE12, false},
    {"yuv420p16le", kLayoutI420LE16, false},
    {"yuv420p10be", kLayoutI420BE10, false},
    {"yuv420p12be", kLayoutI420BE12, false},
    {"yuv420p16be", kLayoutI420BE16, false},
    {"yuv422p10le", kLayoutI422LE10, false},
    {"yuv422p12le", kLayoutI422LE12, false},
    {"yuv422p16le", kLayoutI422LE16, false},
    {"yuv422p10be", kLayoutI422BE10, false},
    {"yuv422p12be", kLayoutI422BE12, false},
    {"yuv422p16be", kLayoutI422BE16, false},
    {"yuv444p10le", kLayoutI444LE10, false},
    {"yuv444p12le", kLayoutI444LE12, false},
    {"yuv444p16le", kLayoutI444LE16, false},
    {"yuv444p10be", kLayoutI444BE10, false},
    {"yuv444p12be", kLayoutI444BE12, false},
    {"yuv444p16be", kLayoutI444BE16, false},
    {"p010le", kLayoutP010, false},
    {"p016le", kLayoutP016, false},
    {"p210le", kLayoutP210, false},
    {"p216le", kLayoutP216, false},
    {"p410le", kLayoutP410, false},
    {"p416le", kLayoutP416, false},
    {"uyvy422", kLayoutUYVY, false},
    {"yuyv422", kLayoutYUYV, false},
    {"yvyu422", kLayoutYVYU, false},
    {"y210le", kLayoutY210, false},
    {"xv30le", kLayoutY410, false},
    {"rgb24", kLayoutRGB3, false},
    {"bgr24", kLayoutBGR3, false},
    {"rgb565le", kLayoutR565, false},
    {"rgb555le", kLayoutR555, false},
    {"rgb48le", kLayoutBGR161616, false},
    {"rgb48be", kLayoutRGB161616, false},
    {"rgba64le", kLayoutBGRA16161616, false},
    {"rgba64be", kLayoutARGB16161616, false},
    {"x2rgb10le", kLayoutX2R10G10B10, false},
    {"x2bgr10le", kLayoutX2B10G10R10, false},
    {"gray10le", kLayoutGRAYLE10, false},
    {"gray12le", kLayoutGRAYLE12, false},
    {"gray16le", kLayoutGRAYLE16, false},
    {"gray16be", kLayoutGRAYBE16, false},
};

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool EqualNoCase(const std::string& a, const char* b) {
    const size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads a number the way atoi does: leading blanks, an optional sign, decimal digits up to the
// first other character; no digits give 0. Unlike atoi, a value beyond 64 bits saturates
// instead of being undefined, so every caller can tell "too large" apart.
int64_t ReadNumber(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    uint64_t magnitude = 0;
    bool saturated = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const unsigned digit = unsigned(text[i] - '0');
        if (magnitude > (uint64_t(INT64_MAX) - digit) / 10) {
            saturated = true;
            continue;  // keep scanning the digits; the value stays at its limit
        }
        magnitude = magnitude * 10 + digit;
    }
    if (saturated) return negative ? INT64_MIN : INT64_MAX;
    return negative ? -int64_t(magnitude) : int64_t(magnitude);
}

bool FitsInt32(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

// An optional sign and at least one decimal digit, nothing else.
bool IsWholeNumber(const std::string& text) {
    size_t i = text.empty() || (text[0] != '+' && text[0] != '-') ? 0 : 1;
    if (i == text.size()) return false;
    for (; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    return true;
}

bool IsHelpRequest(const std::string& a) {
    return a == "-?" || EqualNoCase(a, "-help") || EqualNoCase(a, "--help");
}

// What is wrong with a number option's value: `argument` is the option as given ("-w", or
// "-h288x" with its value attached), `value` what was read as its value.
std::string DescribeNotNumber(const std::string& argument, const std::string& value,
                              bool attached) {
    if (value.empty()) return argument + " needs a number";
    return "'" + value + "' is not a number (" + (attached ? argument : argument + " " + value) +
           ")";
}

std::string NotNumberError(const std::string& argument, const std::string& value, bool attached) {
    return "Error: " + DescribeNotNumber(argument, value, attached) + ".";
}

// Edit distance of two texts without regard to ASCII case: one row of the table at a time.
size_t EditDistanceNoCase(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    std::iota(row.begin(), row.end(), size_t(0));
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            const size_t change = diagonal + (AsciiLower(a[i - 1]) == AsciiLower(b[j - 1]) ? 0 : 1);
            row[j] = std::min({above + 1, row[j - 1] + 1, change});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// A -l value longer than every name says nothing more past this length; the message shows and
// the distance reads no more of it.
constexpr size_t kShownLayoutValue = 40;

}  // namespace

const LayoutKeyword* LayoutKeywords() { return kKeywords; }
const LayoutKeyword* LayoutAliases() { return kAliases; }

std::string LayoutOtherNames(uint32_t code) {
    const std::string own = LayoutName(code);
    const std::optional<LayoutKeyword> ownKeyword = FindLayoutKeyword(own);
    const bool ownBottomUp = ownKeyword && ownKeyword->bottomUp;
    std::string text;
    auto add = [&](const LayoutKeyword& k) {
        if (k.code != code || EqualNoCase(own, k.keyword)) return;
        for (int i = 0; i < kLayoutCount; ++i)
            if (EqualNoCase(LayoutCatalogue()[i].name, k.keyword)) return;  // a row's own name
        text += (text.empty() ? "" : ", ") + std::string(k.keyword);
        if (ownBottomUp && !k.bottomUp) text += " (top-down)";
    };
    for (const LayoutKeyword& k : kKeywords) add(k);
    for (const LayoutKeyword& k : kAliases) add(k);
    return text;
}

std::vector<std::string> NearestLayoutNames(const std::string& value, size_t count) {
    const std::string typed = value.substr(0, kShownLayoutValue);
    std::vector<std::pair<size_t, int>> ranked;  // distance, catalogue row
    for (int i = 0; i < kLayoutCount; ++i)
        ranked.emplace_back(EditDistanceNoCase(typed, LayoutCatalogue()[i].name), i);
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const auto& x, const auto& y) { return x.first < y.first; });
    std::vector<std::string> names;
    for (size_t k = 0; k < ranked.size() && names.size() < count; ++k)
        names.emplace_back(LayoutCatalogue()[ranked[k].second].name);
    return names;
}

std::string UnknownLayoutText(const std::string& value) {
    std::string shown = value.substr(0, kShownLayoutValue);
    if (value.size() > kShownLayoutValue) shown += "...";
    std::string text = "Error: Unknown pixel layout '" + shown + "' (nearest: ";
    const std::vector<std::string> names = NearestLayoutNames(value, 3);
    for (size_t k = 0; k < names.size(); ++k) text += (k ? ", " : "") + names[k];
    return text + ").";
}

std::optional<LayoutKeyword> FindLayoutKeyword(const std::string& value) {
    for (int i = 0; i < kCaseSensitiveKeywords; ++i)
        if (value == kKeywords[i].keyword) return kKeywords[i];
    for (int i = kCaseSensitiveKeywords; i < kLayoutKeywordCount; ++i)
        if (EqualNoCase(value, kKeywords[i].keyword)) return kKeywords[i];
    for (const LayoutKeyword& alias : kAliases)
        if (EqualNoCase(value, alias.keyword)) return alias;
    return std::nullopt;
}

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine r;
    const size_t count = args.size();
    // Arguments are 8-bit C strings: anything after an embedded NUL is not part of them.
    auto arg = [&args](size_t i) { return std::string(args[i].c_str()); };

    // -play is looked for first, anywhere: whatever else is wrong on the command line, a run
    // for a script must say so on standard error rather than in a window that waits.
    for (size_t i = 1; i < count; ++i) {
        const std::string a = arg(i);
        if (a.size() == 5 && a[0] == '-' && a[1] == 'p' && EqualNoCase(a.substr(2), "lay"))
            r.play = true;
    }

    bool fileGiven = false;
    for (size_t i = 1; i < count; ++i) {
        const std::string a = arg(i);

        if (!fileGiven && EqualNoCase(a, "/open")) {
            // A desktop that drops an empty "%f" leaves "/open" last: it names no file.
            r.openTarget = i + 1 < count ? arg(i + 1) : std::string();
            return r;
        }
        if (a.empty()) continue;  // an empty argument names no file
        if (a[0] != '-') {
            // The file name; options may come before and after it, a second name is an error.
            if (fileGiven) {
                r.error = kErrTwoFiles;
                return r;
            }
            r.fileName = a;
            r.fileIndex = i;
            fileGiven = true;
            continue;
        }
        if (IsHelpRequest(a)) {
            r.help = true;
            r.helpSwitch = a;
            continue;
        }
        if (EqualNoCase(a, "--version")) {
            r.version = true;
            continue;
        }
        // A height always has a value: "-h" last, with nothing before it that describes a file,
        // asks for the usage as it does in most programs.
        if (a == "-h" && i + 1 == count && !fileGiven && !r.formatGiven) {
            r.help = true;
            r.helpSwitch = a;
            continue;
        }
        if (a.size() == 1) {
            r.error = kErrNotEnoughArguments;
            return r;
        }

        // The value of an option: the rest of the argument (-w720), or the next argument
        // whatever it looks like (-w 720, -w -5). Nothing when the option is the last argument.
        auto takeValue = [&](std::string& value) -> bool {
            if (a.size() >= 3) {
                value = a.substr(2);
                return true;
            }
            if (i + 1 < count) {
                value = arg(++i);
                return true;
            }
            return false;
        };

        // -matrix and -range take the next argument, in any case.
        if (EqualNoCase(a, "-matrix") || EqualNoCase(a, "-range")) {
            const bool matrix = EqualNoCase(a, "-matrix");
            const std::string v = i + 1 < count ? arg(++i) : std::string();
            static const char* const kMatrixValues[] = {"601", "709", "2020", "auto"};
            bool known = false;
            if (matrix) {
                for (int m = 0; m < 4; ++m) {
                    if (EqualNoCase(v, kMatrixValues[m])) {
                        r.matrix = static_cast<kavlo::MatrixChoice>(m);
                        known = true;
                    }
                }
            } else if (EqualNoCase(v, "limited") || EqualNoCase(v, "full")) {
                r.fullRange = EqualNoCase(v, "full");
                known = true;
            }
            if (!known) {
                r.error = matrix ? kErrMatrix : kErrRange;
                return r;
            }
            r.colourGiven = true;
            continue;
        }
        // -fps R and -cache MB: the value is the next argument.
        if (EqualNoCase(a, "-fps") || EqualNoCase(a, "-cache")) {
            const bool fps = EqualNoCase(a, "-fps");
            const bool given = i + 1 < count;
            const std::string v = given ? arg(++i) : std::string();
            // Read in the C locale whatever the user's is: "29.97", never "29,97".
            const size_t sign = v.size() > 1 && v[0] == '+' ? 1 : 0;
            double number = -1.0;
            const auto [end, status] =
                std::from_chars(v.data() + sign, v.data() + v.size(), number);
            const bool whole = !v.empty() && status == std::errc() && end == v.data() + v.size();
            if (given && !whole) {
                r.error = NotNumberError(a, v, false);
                return r;
            }
            if (fps && whole && number >= 0.1 && number <= 1000.0) {
                r.fps = number;
            } else if (!fps && whole && number >= 16.0 && number <= 65536.0 &&
                       number == static_cast<double>(static_cast<int64_t>(number))) {
                r.cacheMB = static_cast<int64_t>(number);
            } else {
                r.error = fps ? kErrFps : kErrCache;
                return r;
            }
            continue;
        }

        const char letter = a[1];
        std::string value;
        // Notes a number option's value that is no whole number (the first one only); a value
        // given that is none is an error, named with its option.
        auto noteNumber = [&r, &a](const std::string& v, bool given) {
            if (given && IsWholeNumber(v)) return true;
            if (r.notNumber.empty())
                r.notNumber = a.size() >= 3 || !given || v.empty() ? a : a + " " + v;
            if (given) r.error = NotNumberError(a, v, a.size() >= 3);
            return !given;
        };
        if (std::strchr("obewhsl", letter) || (letter == 'i' && a.size() == 2) ||
            EqualNoCase(a, "-tmp"))
            r.formatGiven = true;
        switch (letter) {
        case 'o':
        case 'b':
        case 'e': {
            // A missing value is read from the option text itself, which gives 0.
            const bool given = takeValue(value);
            if (!given) value = a;
            if (!noteNumber(value, given)) return r;
            const int64_t v = ReadNumber(value);
            if (v < 0) {
                r.error = kErrNegativeOffset;
                return r;
            }
            // The file prefix is a signed 32-bit field, the per-frame sizes unsigned ones.
            const int64_t limit = letter == 'o' ? int64_t(INT32_MAX) : int64_t(UINT32_MAX);
            if (v > limit) {
                r.error = kErrOffsetTooLarge;
                return r;
            }
            (letter == 'o' ? r.filePrefix : letter == 'b' ? r.framePrefix : r.framePostfix) = v;
            break;
        }
        case 'w':
        case 'h': {
            const char* err = letter == 'w' ? kErrWidth : kErrHeight;
            if (!takeValue(value)) {
                r.error = err;
                return r;
            }
            // A negative or oversized size is no size at all.
            if (!noteNumber(value, true)) return r;
            const int64_t v = ReadNumber(value);
            if (v < 0 || v > INT32_MAX) {
                r.error = err;
                return r;
            }
            (letter == 'w' ? r.width : r.height) = int32_t(v);
            break;
        }
        case 's': {
            if (a.size() == 4 && AsciiLower(a[2]) == 'e' && AsciiLower(a[3]) == 'q') {
                r.fieldSequence = true;
                break;
            }
            if (!takeValue(value)) {
                r.error = kErrStride;
                return r;
            }
            // Negative pitches mean rows stored bottom-up; the most negative 32-bit value
            // has no magnitude and is refused with everything outside 32 bits.
            if (!noteNumber(value, true)) return r;
            const int64_t v = ReadNumber(value);
            if (!FitsInt32(v) || v == INT32_MIN) {
                r.error = kErrStride;
                return r;
            }
            r.lineBytes = int32_t(v);
            break;
        }
        case 'l': {
            if (!takeValue(value)) {
                r.error = kErrLayout;
                return r;
            }
            const std::optional<LayoutKeyword> k = FindLayoutKeyword(value);
            if (!k) {
                r.error = UnknownLayoutText(value);
                return r;
            }
            r.code = k->code;
            r.bottomUp = k->bottomUp;
            break;
        }
        case 't':
            // "-tmp": temporal fields, i.e. fields stored one after the other, as -seq.
            if (a.size() == 4 && AsciiLower(a[2]) == 'm' && AsciiLower(a[3]) == 'p') {
                r.fieldSequence = true;
                break;
            }
            r.error = kErrUnknownSetting;
            return r;
        case 'i':
            if (a.size() == 2) r.interlaced = true;
            break;
        case 'd':
            if (a.size() == 2) r.deinterlace = true;
            break;
        case 'm':
            if (a.size() == 3) {
                if (AsciiLower(a[2]) == 'v') r.mirrorVertical = true;
                if (AsciiLower(a[2]) == 'h') r.mirrorHorizontal = true;
            }
            break;
        case 'p': break;  // -play was found before the loop; any other -p is ignored
        default: r.error = kErrUnknownSetting; return r;
        }
    }

    if (fileGiven && r.formatGiven) {
        r.settings = BuildRawSettings(r);
        r.hasSettings = true;
    }
    return r;
}

std::string NotNumberText(const CommandLine& parsed) {
    const std::string& option = parsed.notNumber;
    if (option.empty()) return std::string();
    const size_t space = option.find(' ');
    if (space != std::string::npos)
        return DescribeNotNumber(option.substr(0, space), option.substr(space + 1), false);
    return DescribeNotNumber(option, option.size() > 2 ? option.substr(2) : std::string(), true);
}

RawSettings BuildRawSettings(const CommandLine& p) {
    RawSettings s;
    std::memset(&s, 0, sizeof s);
    s.size = kRawSettingsSize;
    // The parser keeps each value inside its field's range; clamp anyway so a caller filling
    // CommandLine by hand cannot wrap a value around.
    auto clampTo = [](int64_t v, int64_t hi) { return v < 0 ? 0 : v > hi ? hi : v; };
    s.filePrefix = int32_t(clampTo(p.filePrefix, INT32_MAX));
    s.framePrefix = uint32_t(clampTo(p.framePrefix, UINT32_MAX));
    s.framePostfix = uint32_t(clampTo(p.framePostfix, UINT32_MAX));
    s.frameDuration = 1;
    s.timeScale = 25;

    const int32_t fieldDetail = !p.interlaced ? 0 : p.fieldSequence ? 1 : 9;
    RawVideoFormat& f = s.rawFormat;
    if (!BuildRawVideoFormat(f, p.width, p.height, p.code, p.lineBytes, fieldDetail)) {
        // The values do not describe a valid stream; keep them anyway so the settings dialog
        // can show and repair them.
        std::memset(&f, 0, sizeof f);
        f.size = kRawVideoFormatSize;
        f.code = p.code;
        f.width = p.width;
        f.height = p.height;
        f.bitsPerPixel = 0;
        f.widthMultiple = 1;
        f.heightMultiple = 0;
        f.lineBytes = p.lineBytes;
        f.hResolution = kDefaultResolution;
        f.vResolution = kDefaultResolution;
        f.extensionFlags = kExtFieldInfo;
        f.fieldCount = p.interlaced ? 2 : 1;
        f.fieldDetail = p.fieldSequence ? 1 : 9;
        f.sampleRange = 1;
        f.reserved132 = 5;
        f.colourTableId = -1;
    }
    if (p.bottomUp && f.lineBytes != INT32_MIN)
        f.lineBytes = f.lineBytes < 0 ? f.lineBytes : -f.lineBytes;

    s.deinterlace = p.deinterlace ? 1 : 0;
    s.mirrorVertical = p.mirrorVertical ? 1 : 0;
    s.mirrorHorizontal = p.mirrorHorizontal ? 1 : 0;
    s.deinterlaceMethod = kavlo::kDeinterlaceBlendFields;
    kavlo::StoreColourChoice(s, p.matrix, p.fullRange);
    return s;
}
