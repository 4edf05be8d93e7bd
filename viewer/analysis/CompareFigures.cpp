#include "analysis/CompareFigures.h"

#include "view/picture/SourceProbe.h"

#include "image/PixelLayout.h"

#include <cmath>
#include <cstring>
#include <string>

namespace kavlo {
namespace {

// The rows of a picture top-down, without their padding.
std::vector<uint8_t> PictureRows(const DisplayBitmap& picture) {
    const size_t bytes = static_cast<size_t>(picture.PictureWidth()) * 3;
    std::vector<uint8_t> rows(bytes * static_cast<size_t>(picture.Height()));
    for (int y = 0; y < picture.Height(); ++y)
        std::memcpy(rows.data() + bytes * static_cast<size_t>(y), picture.LineOnScreen(y), bytes);
    return rows;
}

bool DescribePicture(const DisplayBitmap& picture, FrameSamples& out) {
    return DescribeSamples(kLayoutBGR3, picture.PictureWidth(), picture.Height(),
                           picture.PictureWidth() * 3, out);
}

QString NameOf(const ComponentSamples& c) { return ComponentLabel(c.component); }

}  // namespace

QRect ClampRegion(const QRect& rect, int width, int height) {
    const QRect clamped = rect.normalized() & QRect(0, 0, width, height);
    return clamped.isEmpty() ? QRect() : clamped;
}

CompareInput CaptureCompareInput(int64_t frame, const SourceFrame& a, const SourceFrame& b,
                                 const DisplayBitmap* pictureA, const DisplayBitmap* pictureB,
                                 const CompareRegion* region) {
    CompareInput in;
    in.frame = frame;
    if (!a.bytes || !b.bytes) return in;
    if (region) in.region = ClampRegion(region->stored, a.width, a.height);
    std::string why;
    const bool described = DescribeSamples(a.code, a.width, a.height, a.lineBytes, in.samplesA) &&
                           DescribeSamples(b.code, b.width, b.height, b.lineBytes, in.samplesB);
    if (described && SamplesComparable(in.samplesA, in.samplesB, why)) {
        in.storedSamples = true;
        const auto size = [](const SourceFrame& f) {
            return static_cast<size_t>(f.lineBytes) * static_cast<size_t>(f.height);
        };
        in.bytesA.assign(a.bytes, a.bytes + size(a));
        in.bytesB.assign(b.bytes, b.bytes + size(b));
        return in;
    }
    in.fallbackReason = described ? QString::fromStdString(why)
                                  : QStringLiteral("a layout's samples are not described");
    in.samplesA = FrameSamples();
    in.samplesB = FrameSamples();
    in.region = QRect();
    if (!pictureA || !pictureB || pictureA->PictureWidth() != pictureB->PictureWidth() ||
        pictureA->Height() != pictureB->Height() || !DescribePicture(*pictureA, in.samplesA) ||
        !DescribePicture(*pictureB, in.samplesB))
        return in;
    in.bytesA = PictureRows(*pictureA);
    in.bytesB = PictureRows(*pictureB);
    if (region)
        in.region = ClampRegion(region->shown, pictureA->PictureWidth(), pictureA->Height());
    return in;
}

CompareFigures ComputeCompareFigures(const CompareInput& in) {
    CompareFigures f;
    f.frame = in.frame;
    f.storedSamples = in.storedSamples;
    f.fallbackReason = in.fallbackReason;
    if (in.bytesA.empty() || in.bytesB.empty() || in.samplesA.components.empty()) return f;
    std::vector<uint64_t> sse;
    SumSquaredDifferences(in.samplesA, in.bytesA.data(), in.samplesB, in.bytesB.data(), sse);
    f.figures = FrameFigures(WeightsOf(in.samplesA), sse, in.samplesA);
    f.largest = LargestDifference(in.samplesA, in.bytesA.data(), in.samplesB, in.bytesB.data());
    for (const ComponentSamples& c : in.samplesA.components) {
        f.names.push_back(NameOf(c));
        f.bits.push_back(c.bits);
    }
    if (!in.region.isEmpty()) {
        const QRect& r = in.region;
        const RegionDifferences d = DifferencesInRegion(
            in.samplesA, in.bytesA.data(), in.samplesB, in.bytesB.data(), uint64_t(r.left()),
            uint64_t(r.top()), uint64_t(r.left()) + uint64_t(r.width()),
            uint64_t(r.top()) + uint64_t(r.height()));
        f.regionValid = true;
        f.region = r;
        f.regionFigures = RegionFigures(in.samplesA, d);
        f.regionLargest = d.largest;
    }
    f.valid = true;
    return f;
}

QString PsnrText(double psnr) {
    if (std::isinf(psnr)) return QStringLiteral("inf");
    return QString::number(psnr, 'f', 2);
}

namespace {

QString RegionName(const QRect& r) {
    return QStringLiteral("rect %1x%2 at (%3, %4)")
        .arg(r.width())
        .arg(r.height())
        .arg(r.left())
        .arg(r.top());
}

QString RegionLine(const CompareFigures& f) {
    if (!f.regionValid) return QString();
    QString text = QStringLiteral("; ") + RegionName(f.region) + QStringLiteral(": ");
    const SampleDifference& d = f.regionLargest;
    if (!d.differs) return text + QStringLiteral("identical");
    return text + QStringLiteral("PSNR %1 dB MSE %2, max |A\u2212B| %3 %4 (%5, %6)")
                      .arg(PsnrText(f.regionFigures.psnrAverage),
                           QString::number(f.regionFigures.mseAverage, 'f', 3))
                      .arg(d.Magnitude())
                      .arg(f.names[static_cast<qsizetype>(d.component)])
                      .arg(d.x)
                      .arg(d.y);
}

}  // namespace

QString FiguresLine(const CompareFigures& f) {
    if (!f.valid) return QString();
    const QString basis = f.storedSamples ? QString() : QStringLiteral(" (displayed R'G'B')");
    if (!f.largest.differs) return QStringLiteral("identical, PSNR inf") + basis + RegionLine(f);
    QString parts;
    for (qsizetype i = 0; i < f.names.size(); ++i)
        parts += (i ? QStringLiteral(" ") : QString()) + f.names[i] + QLatin1Char(' ') +
                 PsnrText(f.figures.psnr[static_cast<size_t>(i)]);
    const SampleDifference& d = f.largest;
    return QStringLiteral("PSNR %1 dB (%2) MSE %3, max |A\u2212B| %4 %5 (%6, %7)%8")
               .arg(PsnrText(f.figures.psnrAverage), parts,
                    QString::number(f.figures.mseAverage, 'f', 3))
               .arg(d.Magnitude())
               .arg(f.names[static_cast<qsizetype>(d.component)])
               .arg(d.x)
               .arg(d.y)
               .arg(basis) +
           RegionLine(f);
}

QString FiguresReport(const CompareFigures& f, int64_t referenceFrame) {
    if (!f.valid) {
        return QStringLiteral("No figures: the reference has no frame %1.\n")
            .arg(referenceFrame >= 0 ? referenceFrame : f.frame);
    }
    QString text = QStringLiteral("Frame %1\n").arg(f.frame);
    if (f.storedSamples) {
        text += QStringLiteral("Compared on the stored samples at their native depth.\n");
    } else {
        text += QStringLiteral("Compared on the displayed R'G'B' (8 bits): %1.\n")
                    .arg(f.fallbackReason);
    }
    text += QStringLiteral("component\tbits\tPSNR (dB)\tMSE\n");
    for (qsizetype i = 0; i < f.names.size(); ++i) {
        const size_t c = static_cast<size_t>(i);
        text += QStringLiteral("%1\t%2\t%3\t%4\n")
                    .arg(f.names[i])
                    .arg(f.bits[c])
                    .arg(PsnrText(f.figures.psnr[c]), QString::number(f.figures.mse[c], 'f', 4));
    }
    text +=
        QStringLiteral("combined\t\t%1\t%2\n")
            .arg(PsnrText(f.figures.psnrAverage), QString::number(f.figures.mseAverage, 'f', 4));
    const SampleDifference& d = f.largest;
    if (!d.differs) {
        text += QStringLiteral("Largest difference: none, the frames are identical.\n");
    } else {
        text += QStringLiteral("Largest difference: %1 in %2 at (%3, %4): A %5, B %6\n")
                    .arg(d.Magnitude())
                    .arg(f.names[static_cast<qsizetype>(d.component)])
                    .arg(d.x)
                    .arg(d.y)
                    .arg(d.a)
                    .arg(d.b);
    }
    if (f.regionValid) {
        const QRect& r = f.region;
        text += QStringLiteral("\nWithin the rectangle %1x%2 at (%3, %4), to (%5, %6):\n")
                    .arg(r.width())
                    .arg(r.height())
                    .arg(r.left())
                    .arg(r.top())
                    .arg(r.right())
                    .arg(r.bottom());
        text += QStringLiteral("component\tPSNR (dB)\tMSE\n");
        const PsnrFigures& g = f.regionFigures;
        for (qsizetype i = 0; i < f.names.size() && size_t(i) < g.psnr.size(); ++i) {
            text += QStringLiteral("%1\t%2\t%3\n")
                        .arg(f.names[i], PsnrText(g.psnr[size_t(i)]),
                             QString::number(g.mse[size_t(i)], 'f', 4));
        }
        text += QStringLiteral("combined\t%1\t%2\n")
                    .arg(PsnrText(g.psnrAverage), QString::number(g.mseAverage, 'f', 4));
        const SampleDifference& e = f.regionLargest;
        if (!e.differs) {
            text += QStringLiteral("Largest difference: none, the rectangles are identical.\n");
        } else {
            text += QStringLiteral("Largest difference: %1 in %2 at (%3, %4): A %5, B %6\n")
                        .arg(e.Magnitude())
                        .arg(f.names[static_cast<qsizetype>(e.component)])
                        .arg(e.x)
                        .arg(e.y)
                        .arg(e.a)
                        .arg(e.b);
        }
    }
    return text;
}

}  // namespace kavlo
