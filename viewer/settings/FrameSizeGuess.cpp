#include "FrameSizeGuess.h"

#include "image/FrameMemory.h"
#include "image/PixelLayout.h"

#include <algorithm>
#include <cstdlib>
#include <tuple>

namespace rawsettings {

namespace {

struct FrameSize {
    int32_t width;
    int32_t height;
};

// Frame sizes, most common first: broadcast HD and UHD, then the standard-definition rasters,
// computer and cinema sizes, and the small conference formats; last the small test patterns and
// sensor crops (from kFirstSmallSize on), squares first and larger before smaller, so that a file
// of a few kilobytes reads as one picture rather than as thousands of tiny ones. A small size is
// only a reading when it divides the file exactly.
constexpr FrameSize kCommonSizes[] = {
    {1920, 1080}, {1280, 720},  {3840, 2160}, {720, 576},  {720, 480},   {7680, 4320}, {4096, 2160},
    {2048, 1080}, {1440, 1080}, {640, 480},   {352, 288},  {176, 144},   {1920, 1200}, {2560, 1440},
    {1920, 1088}, {720, 486},   {704, 576},   {704, 480},  {352, 240},   {176, 120},   {320, 240},
    {1024, 768},  {1280, 1024}, {1600, 1200}, {800, 600},  {1366, 768},  {2560, 1600}, {960, 720},
    {1408, 1152}, {1408, 960},  {1056, 864},  {1056, 720}, {4096, 3112}, {3656, 2664}, {8192, 4320},
    {5120, 2880}, {160, 120},   {128, 96},    {512, 512},  {256, 256},   {128, 128},   {64, 64},
    {32, 32},     {16, 16},     {1024, 1024}, {96, 96},    {48, 48},     {80, 60},     {64, 48},
    {32, 24},
};

constexpr size_t kFirstSmallSize = 38;
static_assert(kCommonSizes[kFirstSmallSize].width == 512, "the small sizes start at 512 x 512");

// Layouts, most common in raw files first. Layouts whose frames have the same byte size follow
// the most common of them, so that the name a user most likely means comes first.
constexpr uint32_t kCommonLayouts[] = {
    kLayoutI420, kLayoutUYVY,     kLayoutYUY2,      kLayoutYV12,         kLayoutNV12,
    kLayoutP010, kLayoutI420LE16, kLayoutBGR3,      kLayoutRGB3,         kLayoutYV16,
    kLayoutYV24, kLayoutV210,     kLayoutBGRA,      kLayoutGRAY,         kLayoutY210,
    kLayoutP210, kLayoutGRAYLE16, kLayoutBGR161616, kLayoutBGRA16161616,
};

// What PictureContinuity compares at most: a few windows of groups across the first rows and the
// first slots of each group; enough to see a picture, cheap for hundreds of readings.
constexpr size_t kContinuityRows = 16;
constexpr size_t kContinuityWindows = 4;
constexpr size_t kContinuityWindowGroups = 8;
constexpr int kContinuitySlots = 4;
// Low bytes of 16-bit words that change less than this from row to row form a picture: the
// words are 8-bit samples read in pairs. Such a reading scores kMisread.
constexpr double kSmoothLowBytes = 24.0;
constexpr double kMisread = 1e9;

// A reading whose rows continue within this margin of the best reading's continuity counts as
// fitting the picture as well as the best: readings with the same pitch continue alike, and so
// do all pitches on a picture whose columns are uniform.
bool ContinuityFits(double value, double best) { return value < 0 || value <= best * 1.05 + 0.25; }

}  // namespace

double PictureContinuity(const uint8_t* sample, size_t sampleBytes, uint32_t code, size_t pitch,
                         size_t rowBytes) {
    const FrameMemoryLayout* layout = FindFrameMemoryLayout(code);
    if (!sample || !layout || pitch == 0 || sampleBytes / pitch < 2) return -1;
    const PlaneDesc& plane = layout->planes[0];
    const size_t groupBytes = plane.groupBytes;
    const size_t groups = (rowBytes == 0 ? pitch : std::min(rowBytes, pitch)) / groupBytes;
    if (groups < 2) return -1;
    const size_t rows = std::min(sampleBytes / pitch, kContinuityRows + 1);
    const size_t window = std::min(groups - 1, kContinuityWindowGroups);
    const int slots = std::min<int>(plane.slotCount, kContinuitySlots);
    // Samples scaled to 8 bits, so that every layout is measured on the same scale.
    const auto value = [&](const uint8_t* group, int slot) {
        const SampleSlot& s = plane.sampleSlots[slot];
        const uint32_t v = ReadSample(group, plane, layout->byteOrder, s);
        return static_cast<int>(s.bits >= 8 ? v >> (s.bits - 8) : v << (8 - s.bits));
    };
    // The low bytes of 16-bit words: in a real file they hold the noisy low bits of each sample;
    // in 8-bit samples read as 16-bit words they are a picture of their own.
    const bool words16 = plane.wordBytes == 2;
    const size_t lowByte = layout->byteOrder == ByteOrder::Little ? 0 : 1;
    uint64_t lowSum = 0;
    int lowMin = 255, lowMax = 0;
    uint64_t sum = 0, count = 0;
    for (size_t w = 0; w < kContinuityWindows; ++w) {
        const size_t first = (groups - 1 - window) * w / (kContinuityWindows - 1);
        for (size_t r = 0; r + 1 < rows; ++r) {
            const uint8_t* row = sample + r * pitch;
            for (size_t g = first; g < first + window; ++g) {
                const uint8_t* here = row + g * groupBytes;
                for (int slot = 0; slot < slots; ++slot) {
                    const int v = value(here, slot);
                    sum += static_cast<uint64_t>(std::abs(v - value(here + pitch, slot)) +
                                                 std::abs(v - value(here + groupBytes, slot)));
                    ++count;
                    if (words16) {
                        const size_t at = size_t{plane.sampleSlots[slot].word} * 2 + lowByte;
                        const int low = here[at];
                        lowSum += static_cast<uint64_t>(std::abs(low - here[at + pitch]));
                        lowMin = std::min(lowMin, low);
                        lowMax = std::max(lowMax, low);
                    }
                }
            }
        }
    }
    if (count == 0) return -1;
    if (words16 && lowMax > lowMin &&
        static_cast<double>(lowSum) / static_cast<double>(count) < kSmoothLowBytes) {
        return kMisread;
    }
    return static_cast<double>(sum) / static_cast<double>(count);
}

int32_t ProposeLinePitch(const uint8_t* sample, size_t sampleBytes, uint32_t code, int32_t width,
                         int32_t height, int64_t payloadBytes) {
    const FrameMemoryLayout* layout = FindFrameMemoryLayout(code);
    if (!sample || !layout || layout->arrangement != Arrangement::Packed || width <= 0 ||
        height <= 0) {
        return 0;
    }
    const uint64_t natural = MinRowBytes(code, width);
    if (natural == 0) return 0;
    const double tight = PictureContinuity(sample, sampleBytes, code, natural, natural);
    if (tight <= 0) return 0;
    constexpr uint64_t kLargestPitch = uint64_t{1} << 30;
    std::vector<uint64_t> candidates;
    for (uint64_t align = 16; align <= 4096; align *= 2)
        candidates.push_back((natural + align - 1) / align * align);
    for (uint64_t p = 1; p <= kLargestPitch; p *= 2) {
        if (p > natural) {
            candidates.push_back(p);
            break;
        }
    }
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    uint64_t best = 0;
    double bestValue = tight * 0.5;
    for (const uint64_t p : candidates) {
        if (p <= natural || p > kLargestPitch || sampleBytes / p < 4) continue;
        if (payloadBytes > 0 &&
            (payloadBytes % static_cast<int64_t>(p * static_cast<uint64_t>(height)) != 0)) {
            continue;
        }
        const double value = PictureContinuity(sample, sampleBytes, code, p, natural);
        if (value >= 0 && value < bestValue) {
            best = p;
            bestValue = value;
        }
    }
    return static_cast<int32_t>(best);
}

std::vector<FrameSizeGuess> RankFrameSizeGuesses(int64_t fileSize,
                                                 const GuessConstraints& constraints,
                                                 const uint8_t* sample, size_t sampleBytes,
                                                 PreferencesUsed* used) {
    std::vector<FrameSizeGuess> guesses;
    if (used) *used = PreferencesUsed();
    const int64_t payload = fileSize - std::max<int64_t>(constraints.filePrefix, 0);
    if (payload <= 0) return guesses;

    struct Ranked {
        FrameSizeGuess guess;
        double continuity;  // PictureContinuity of the first plane, < 0 when unknown
        int32_t lineBytes;
        size_t sizeRank;
        size_t layoutRank;
        bool sizeMiss;  // not the preferred size (when that preference is used)
        bool codeMiss;  // not a preferred layout (when that preference is used)
    };
    const auto classOf = [](const FrameSizeGuess& g) {
        return std::make_pair(g.restBytes != 0, g.frames > kPlausibleFrameLimit);
    };
    // The common layouts, then preferred ones the table lacks.
    std::vector<uint32_t> layouts(std::begin(kCommonLayouts), std::end(kCommonLayouts));
    for (const uint32_t code : constraints.preferredCodes)
        if (std::find(layouts.begin(), layouts.end(), code) == layouts.end())
            layouts.push_back(code);
    std::vector<Ranked> ranked;
    const auto consider = [&](FrameSize size, size_t sizeRank) {
        if (constraints.width > 0 && size.width != constraints.width) return;
        if (constraints.height > 0 && size.height != constraints.height) return;
        for (size_t layoutRank = 0; layoutRank < layouts.size(); ++layoutRank) {
            const uint32_t code = layouts[layoutRank];
            if (constraints.code != 0 && code != constraints.code) continue;
            RawVideoFormat format{};
            if (!BuildRawVideoFormat(format, size.width, size.height, code, 0, -1)) continue;
            const auto frameBytes = static_cast<int64_t>(FrameBytes(format));
            if (frameBytes <= 0 || frameBytes > payload) continue;
            const bool small = sizeRank >= kFirstSmallSize && sizeRank < std::size(kCommonSizes);
            if (small && payload % frameBytes != 0) continue;
            FrameSizeGuess guess;
            guess.width = size.width;
            guess.height = size.height;
            guess.code = code;
            guess.frameBytes = frameBytes;
            guess.frames = payload / frameBytes;
            guess.restBytes = payload % frameBytes;
            ranked.push_back({guess, -1.0, format.lineBytes, sizeRank, layoutRank, false, false});
        }
    };
    const auto inTable = [](int32_t width, int32_t height) {
        return std::any_of(std::begin(kCommonSizes), std::end(kCommonSizes),
                           [&](FrameSize s) { return s.width == width && s.height == height; });
    };
    for (size_t i = 0; i < std::size(kCommonSizes); ++i) consider(kCommonSizes[i], i);
    // A known or preferred size that is not in the table is still a candidate, after the table's.
    if (constraints.width > 0 && constraints.height > 0 &&
        !inTable(constraints.width, constraints.height)) {
        consider({constraints.width, constraints.height}, std::size(kCommonSizes));
    } else if (constraints.width <= 0 && constraints.height <= 0 &&
               constraints.preferredWidth > 0 && constraints.preferredHeight > 0 &&
               !inTable(constraints.preferredWidth, constraints.preferredHeight)) {
        consider({constraints.preferredWidth, constraints.preferredHeight},
                 std::size(kCommonSizes));
    }

    // Preferences are used when they fit the file as well as the best reading does: no rest
    // bytes, or rest bytes everywhere.
    const bool anyWhole = std::any_of(ranked.begin(), ranked.end(),
                                      [](const Ranked& r) { return r.guess.restBytes == 0; });
    const auto fits = [anyWhole](const Ranked& r) { return !anyWhole || r.guess.restBytes == 0; };
    const auto isPreferredSize = [&constraints](const Ranked& r) {
        return r.guess.width == constraints.preferredWidth &&
               r.guess.height == constraints.preferredHeight;
    };
    const auto preferredIndex = [&constraints](uint32_t code) {
        const auto& codes = constraints.preferredCodes;
        return static_cast<size_t>(std::find(codes.begin(), codes.end(), code) - codes.begin());
    };
    const bool useSize = constraints.preferredWidth > 0 && constraints.preferredHeight > 0 &&
                         std::any_of(ranked.begin(), ranked.end(), [&](const Ranked& r) {
                             return fits(r) && isPreferredSize(r);
                         });
    const bool useCodes =
        !constraints.preferredCodes.empty() &&
        std::any_of(ranked.begin(), ranked.end(), [&](const Ranked& r) {
            return fits(r) && (!useSize || isPreferredSize(r)) &&
                   preferredIndex(r.guess.code) < constraints.preferredCodes.size();
        });
    for (Ranked& r : ranked) {
        r.sizeMiss = useSize && !isPreferredSize(r);
        const size_t index = preferredIndex(r.guess.code);
        r.codeMiss = useCodes && index >= constraints.preferredCodes.size();
        // Preferred layouts in the order the preference gives them.
        if (useCodes && !r.codeMiss)
            r.layoutRank = index;
        else if (useCodes)
            r.layoutRank += constraints.preferredCodes.size();
    }
    if (used) {
        used->size = useSize;
        used->codes = useCodes;
    }
    const auto groupOf = [&classOf](const Ranked& r) {
        return std::make_tuple(r.sizeMiss, r.codeMiss, classOf(r.guess));
    };

    // The picture decides only among the readings of the best group by the criteria before it:
    // the others come after them anyway. best: the continuity of the reading whose pitch and
    // layout make the sample look most like a picture.
    double best = -1;
    if (sample && !ranked.empty()) {
        auto bestGroup = groupOf(ranked.front());
        for (const Ranked& r : ranked) bestGroup = std::min(bestGroup, groupOf(r));
        for (Ranked& r : ranked) {
            if (groupOf(r) != bestGroup) continue;
            FrameExtent extent{};
            if (!GetFrameExtent(r.guess.code, r.guess.width, r.guess.height, r.lineBytes, extent))
                continue;
            r.continuity = PictureContinuity(sample, sampleBytes, r.guess.code,
                                             static_cast<size_t>(extent.planes[0].pitch));
            if (r.continuity >= 0 && (best < 0 || r.continuity < best)) best = r.continuity;
        }
    }
    // Among readings that fit the picture alike (the same pitch: a UHD I420 frame is four HD UYVY
    // frames at the same row length) the layout's commonness decides before the size's; without
    // a sample the size's decides first.
    const bool sampled = best >= 0;
    const auto key = [best, sampled, &groupOf](const Ranked& r) {
        const size_t first = sampled ? r.layoutRank : r.sizeRank;
        const size_t second = sampled ? r.sizeRank : r.layoutRank;
        return std::make_tuple(groupOf(r), sampled && !ContinuityFits(r.continuity, best), first,
                               second);
    };
    std::stable_sort(ranked.begin(), ranked.end(),
                     [&key](const Ranked& a, const Ranked& b) { return key(a) < key(b); });
    guesses.reserve(ranked.size());
    for (const Ranked& r : ranked) guesses.push_back(r.guess);
    return guesses;
}

}  // namespace rawsettings
