#include "analysis/PsnrCsv.h"

#include <cmath>
#include <cstdio>

std::string PsnrNumberText(double value, int decimals) {
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

PsnrExtremes FindPsnrExtremes(const std::vector<PsnrFigures>& frames) {
    PsnrExtremes e;
    for (size_t i = 0; i < frames.size(); ++i) {
        if (frames[i].mseAverage > frames[e.minIndex].mseAverage) e.minIndex = i;
        if (frames[i].mseAverage < frames[e.maxIndex].mseAverage) e.maxIndex = i;
    }
    return e;
}

std::string PsnrCsvHeader(const FrameSamples& samples) {
    std::string header = "frame,mse_avg";
    for (const ComponentSamples& c : samples.components)
        header += std::string(",mse_") + ComponentName(c.component);
    header += ",psnr_avg";
    for (const ComponentSamples& c : samples.components)
        header += std::string(",psnr_") + ComponentName(c.component);
    return header;
}

std::string PsnrCsvRow(int64_t frame, const PsnrFigures& f) {
    std::string row = std::to_string(frame) + "," + PsnrNumberText(f.mseAverage, 6);
    for (const double m : f.mse) row += "," + PsnrNumberText(m, 6);
    row += "," + PsnrNumberText(f.psnrAverage, 6);
    for (const double p : f.psnr) row += "," + PsnrNumberText(p, 6);
    return row;
}

std::string PsnrSummaryLine(const FrameSamples& samples, int64_t first,
                            const std::vector<PsnrFigures>& frames, const PsnrFigures& summary) {
    std::string line = "# PSNR";
    for (size_t c = 0; c < samples.components.size() && c < summary.psnr.size(); ++c)
        line += std::string(" ") + ComponentName(samples.components[c].component) + ":" +
                PsnrNumberText(summary.psnr[c], 6);
    line += " average:" + PsnrNumberText(summary.psnrAverage, 6);
    if (!frames.empty()) {
        const PsnrExtremes e = FindPsnrExtremes(frames);
        line += " min:" + PsnrNumberText(frames[e.minIndex].psnrAverage, 6) + " (frame " +
                std::to_string(first + static_cast<int64_t>(e.minIndex)) + ")";
        line += " max:" + PsnrNumberText(frames[e.maxIndex].psnrAverage, 6) + " (frame " +
                std::to_string(first + static_cast<int64_t>(e.maxIndex)) + ")";
    }
    line += " frames:" + std::to_string(frames.size());
    return line;
}

std::string PsnrCsvText(const FrameSamples& samples, int64_t first,
                        const std::vector<PsnrFigures>& frames, const PsnrFigures& summary) {
    std::string text = PsnrCsvHeader(samples) + "\n";
    text.reserve(text.size() + frames.size() * 96 + 256);
    for (size_t i = 0; i < frames.size(); ++i) {
        text += PsnrCsvRow(first + static_cast<int64_t>(i), frames[i]);
        text += '\n';
    }
    text += PsnrSummaryLine(samples, first, frames, summary) + "\n";
    return text;
}
