#include "view/picture/SourceProbe.h"

#include <algorithm>

namespace kavlo {

int ArrangedSourceRow(int d, int height, const FieldArrangement& a) {
    if (ArrangementIsIdentity(a) || d < 0 || d >= height) return d;
    const int h2 = height / 2;
    // An odd height's last row belongs to neither field and stays where it is.
    if (d >= 2 * h2) return d;
    int i = 0;
    int field = 0;
    if (a.split) {
        field = d < h2 ? 0 : 1;
        i = d - field * h2;
    } else {
        field = d & 1;
        i = d / 2;
    }
    if (a.swapped) field ^= 1;
    return a.separated ? field * h2 + i : 2 * i + field;
}

int SourceRowOfDisplayedLine(int y, int height, const StoredFrameFlags& stored,
                             const ViewSwitches& switches) {
    const int memoryRow = RenderBottomUp(stored, switches) ? height - 1 - y : y;
    FieldArrangement arrangement;
    arrangement.separated = (stored.fieldsSeparated ^ switches.separatedToggle) != 0;
    arrangement.split = switches.splitFields != 0;
    arrangement.swapped = switches.swappedFieldOrder != 0;
    return ArrangedSourceRow(memoryRow, height, arrangement);
}

namespace {

bool IsChroma(Component c) { return c == Component::Cb || c == Component::Cr; }

// The chroma row whose samples belong to memory row `row` of a plane with `rows` rows: the row
// of the same 2 x 2 block of its picture (progressive), of its field (woven fields, the rows a
// height not a multiple of 4 leaves over taken progressively, as the conversion does), or of
// its stored field (fields one after the other, each with chroma rows of its own).
int ChromaRowOf(int row, int rows, int height, ConvertFlags flags) {
    int chroma = row / 2;
    if (flags & CONVERT_FIELDS_SEPARATED) {
        const int lumaSplit = height / 2;
        const int chromaSplit = (rows + 1) / 2;
        chroma = row < lumaSplit ? std::min(row / 2, chromaSplit - 1)
                                 : std::min(chromaSplit, rows - 1) + (row - lumaSplit) / 2;
    } else if ((flags & CONVERT_INTERLACED) && row < 4 * (height / 4)) {
        chroma = 2 * (row / 4) + (row & 1);
    }
    return std::clamp(chroma, 0, rows - 1);
}

// Horizontal pixels per chroma sample of a plane that holds chroma.
int ChromaPixelsPerSample(const PlaneDesc& plane) {
    int cb = 0;
    int cr = 0;
    for (int s = 0; s < plane.slotCount; ++s) {
        if (plane.sampleSlots[s].component == Component::Cb) ++cb;
        if (plane.sampleSlots[s].component == Component::Cr) ++cr;
    }
    const int samples = std::max(cb, cr);
    return samples > 0 ? std::max(1, plane.groupPixels / samples) : 1;
}

}  // namespace

SourceValues ReadSourceValues(const SourceFrame& frame, int x, int row, ConvertFlags flags) {
    SourceValues v;
    const FrameMemoryLayout* layout = FindFrameMemoryLayout(frame.code);
    FrameExtent extent{};
    if (!layout || !frame.bytes || x < 0 || row < 0 || x >= frame.width || row >= frame.height ||
        !GetFrameExtent(frame.code, frame.width, frame.height, frame.lineBytes, extent))
        return v;
    v.x = x;
    v.row = row;
    v.model = layout->model;

    for (int p = 0; p < layout->planeCount; ++p) {
        const PlaneDesc& plane = layout->planes[p];
        const PlaneExtent& pe = extent.planes[p];
        if (pe.rows == 0 || plane.groupPixels == 0) continue;
        const int rows = static_cast<int>(pe.rows);
        int planeRow = row;
        if (plane.heightDivisor > 1) {
            planeRow = ChromaRowOf(row, rows, frame.height, flags);
        }
        planeRow = std::clamp(planeRow, 0, rows - 1);
        const uint8_t* rowStart =
            frame.bytes + pe.offset + static_cast<uint64_t>(planeRow) * pe.pitch;
        const int group = x / plane.groupPixels;
        const int inGroup = x % plane.groupPixels;
        // A packed pair cut short at an odd width holds the last pixel's luma only; its chroma
        // is the previous pair's (none for a frame one pixel wide), as the conversion takes it.
        int chromaGroup = group;
        const bool cutPair = IsPackedPair(plane) &&
                             static_cast<uint64_t>(group + 1) * plane.groupBytes > pe.rowBytes;
        if (cutPair) chromaGroup = group - 1;

        const int chromaStep = ChromaPixelsPerSample(plane);
        const bool mosaic = layout->model == ColourModel::Bayer;
        for (int s = 0; s < plane.slotCount; ++s) {
            const SampleSlot& slot = plane.sampleSlots[s];
            const bool chroma = IsChroma(slot.component);
            int g = group;
            if (chroma) {
                // The chroma slot that covers the pixel: the last one at or before it.
                if (cutPair) {
                    if (chromaGroup < 0) continue;
                    g = chromaGroup;
                    // The previous pair's samples sit at its first pixel.
                } else if (!(slot.pixel <= inGroup && inGroup < slot.pixel + chromaStep)) {
                    continue;
                }
            } else if (mosaic) {
                // One sample per pixel, its colour set by the pixel's place in the 2 x 2 cell.
                if (&slot != &MosaicSlot(plane, x, planeRow)) continue;
            } else if (slot.pixel != inGroup) {
                continue;
            }
            const uint64_t end =
                static_cast<uint64_t>(g) * plane.groupBytes + (slot.word + 1u) * plane.wordBytes;
            if (end > pe.rowBytes) continue;
            ProbeSample& sample = v.samples[v.count++];
            sample.component = slot.component;
            sample.bits = slot.bits;
            sample.value = ReadSample(rowStart + static_cast<uint64_t>(g) * plane.groupBytes, plane,
                                      layout->byteOrder, slot);
            if (!chroma) continue;
            const int firstX = g * plane.groupPixels + (cutPair ? 0 : slot.pixel);
            if (plane.heightDivisor > 1) {
                v.siting = ChromaSiting::Subsampled;
                v.chromaX = firstX / chromaStep;
                v.chromaRow = planeRow;
            } else if (chromaStep > 1) {
                v.siting = ChromaSiting::Pair;
                v.chromaFirstX = firstX;
                v.chromaLastX = firstX + chromaStep - 1;
            } else {
                v.siting = ChromaSiting::Own;
            }
        }
    }
    std::stable_sort(v.samples, v.samples + v.count,
                     [](const ProbeSample& a, const ProbeSample& b) {
                         return static_cast<int>(a.component) < static_cast<int>(b.component);
                     });
    v.valid = v.count > 0;
    return v;
}

SourceValues ProbeDisplayedPixel(const SourceFrame& frame, const ViewSwitches& switches, int x,
                                 int y) {
    if (y < 0 || y >= frame.height) return {};
    const int row = SourceRowOfDisplayedLine(y, frame.height, frame.stored, switches);
    SourceValues v = ReadSourceValues(frame, x, row, RenderConvertFlags(frame, switches));
    v.deinterlaced = v.valid && switches.deinterlace && !switches.splitFields;
    return v;
}

QString ComponentLabel(Component component) {
    switch (component) {
    case Component::Y: return QStringLiteral("Y'");
    case Component::Cb: return QStringLiteral("Cb");
    case Component::Cr: return QStringLiteral("Cr");
    case Component::R: return QStringLiteral("R'");
    case Component::G: return QStringLiteral("G'");
    case Component::B: return QStringLiteral("B'");
    case Component::A: return QStringLiteral("A");
    case Component::Grey: return QStringLiteral("grey");
    }
    return QString();
}

QString SampleText(const ProbeSample& sample, bool hex) {
    if (!hex) return QString::number(sample.value);
    const int digits = std::max(1, (sample.bits + 3) / 4);
    return QStringLiteral("0x") +
           QString::number(sample.value, 16).toUpper().rightJustified(digits, QLatin1Char('0'));
}

QString FormatSourceValues(const SourceValues& v, bool hex, int displayedX, int displayedY) {
    if (!v.valid) return QString();
    QStringList parts;
    for (int i = 0; i < v.count; ++i)
        parts << ComponentLabel(v.samples[i].component) + QLatin1Char(' ') +
                     SampleText(v.samples[i], hex);
    QString text = parts.join(QStringLiteral("  "));
    switch (v.siting) {
    case ChromaSiting::Pair:
        text += QStringLiteral(" (Cb/Cr of pixels %1-%2)").arg(v.chromaFirstX).arg(v.chromaLastX);
        break;
    case ChromaSiting::Subsampled:
        text += QStringLiteral(" (Cb/Cr of (%1, %2))").arg(v.chromaX).arg(v.chromaRow);
        break;
    default: break;
    }
    if (v.x != displayedX || v.row != displayedY)
        text += QStringLiteral(" at source (%1,%2)").arg(v.x).arg(v.row);
    if (v.deinterlaced) text += QStringLiteral(", deinterlaced: source row shown");
    return text;
}

QStringList SourceValueLines(const SourceValues& v, bool hex) {
    QStringList lines;
    if (!v.valid) return lines;
    for (int i = 0; i < v.count; ++i) {
        const ProbeSample& s = v.samples[i];
        const QString label = s.component == Component::Grey
                                  ? QString()
                                  : ComponentLabel(s.component) + QLatin1Char(' ');
        lines << label + SampleText(s, hex);
    }
    return lines;
}

}  // namespace kavlo
