#include "settings/OpenPlan.h"

#include "settings/FileNameHints.h"
#include "settings/FrameSizeGuess.h"
#include "settings/FrameSpan.h"
#include "settings/Y4mHeader.h"

#include "image/PixelLayout.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <vector>

namespace kavlo {

namespace {

bool HasY4mExtension(const std::string& path) {
    if (path.size() < 4) return false;
    std::string tail = path.substr(path.size() - 4);
    for (char& c : tail)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return tail == ".y4m";
}

std::string LayoutWords(uint32_t code) {
    const std::string name = LayoutName(code);
    if (!name.empty()) return name;
    char text[32];
    std::snprintf(text, sizeof text, "code 0x%08x", code);
    return text;
}

std::string SizeWords(int32_t width, int32_t height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

std::string FramesWords(const FrameFit& fit) {
    return std::to_string(fit.frames) + (fit.frames == 1 ? " frame" : " frames") + " and " +
           std::to_string(fit.restBytes) + " rest bytes";
}

// What stored settings say about a file that is no longer the one they were stored for; empty
// while it still is.
std::string WhatChanged(const RawSettings& stored, const FileIdentity& then,
                        const FileIdentity& now) {
    if (then.device != now.device || then.inode != now.inode)
        return "the file was replaced since its settings were stored";
    if (then.size != now.size) {
        return "its size changed from " + std::to_string(then.size) + " to " +
               std::to_string(now.size) + " bytes since its settings were stored (" +
               FramesWords(FitOf(stored, then.size)) + " then, " +
               FramesWords(FitOf(stored, now.size)) + " now)";
    }
    return std::string();
}

// The display choices a person makes for a file, which no header describes: they carry over
// from the stored or given settings onto the header's.
void KeepDisplayChoices(const RawSettings& from, RawSettings& to) {
    to.deinterlace = from.deinterlace;
    to.deinterlaceMethod = from.deinterlaceMethod;
    to.mirrorVertical = from.mirrorVertical;
    to.mirrorHorizontal = from.mirrorHorizontal;
    to.reserved202[0] = from.reserved202[0];
    to.reserved202[1] = from.reserved202[1];
}

OpenPlan Refused(std::string reason, bool settingsMissing = false) {
    OpenPlan plan;
    plan.source = OpenSource::Refuse;
    plan.reason = std::move(reason);
    plan.settingsMissing = settingsMissing;
    return plan;
}

// Step 1: the stream header. Nothing when the file is no YUV4MPEG2 stream.
std::optional<OpenPlan> PlanY4m(const OpenRequest& r) {
    const bool magic = y4m::HasMagic(r.start, r.startBytes);
    if (!magic) {
        // A ".y4m" name whose bytes carry no stream header: settings given or stored still read
        // it as a raw file; without them the header's absence is the reason.
        if (!HasY4mExtension(r.path) || r.startBytes == 0) return std::nullopt;
        if ((r.given && r.given->formatGiven) || r.stored) return std::nullopt;
    }
    OpenPlan plan;
    std::string error, note;
    if (!y4m::ReadSettings(r.start, r.startBytes, plan.settings, error, note))
        return Refused(error);
    plan.source = OpenSource::Y4m;
    if (r.stored) KeepDisplayChoices(*r.stored, plan.settings);
    if (r.given) {
        // Switches of the command line that no header says.
        if (r.given->deinterlace) plan.settings.deinterlace = 1;
        if (r.given->mirrorVertical) plan.settings.mirrorVertical = 1;
        if (r.given->mirrorHorizontal) plan.settings.mirrorHorizontal = 1;
        if (r.given->colourGiven)
            StoreColourChoice(plan.settings, r.given->matrix, r.given->fullRange);
    }
    plan.reason = note;
    if (r.given && r.given->formatGiven) {
        if (!plan.reason.empty()) plan.reason += "; ";
        plan.reason +=
            "the stream header describes the file: the size, layout and prefixes "
            "given are not used";
    }
    return plan;
}

// Step 5: the best reading of the file, narrowed by what the command line gives and preferring
// what the name says.
OpenPlan PlanGuess(const OpenRequest& r) {
    CommandLine completed = r.given ? *r.given : CommandLine{};
    const rawsettings::FileNameHints hints = rawsettings::ReadFileNameHints(r.path);
    const rawsettings::GuessConstraints constraints = GuessConstraintsFor(completed, hints);
    const int64_t size = r.file ? r.file->size : 0;
    const size_t skip = static_cast<size_t>(completed.filePrefix);
    const uint8_t* sample = skip < r.startBytes ? r.start + skip : nullptr;
    const size_t sampleBytes = skip < r.startBytes ? r.startBytes - skip : 0;
    rawsettings::PreferencesUsed used;
    const std::vector<rawsettings::FrameSizeGuess> readings =
        rawsettings::RankFrameSizeGuesses(size, constraints, sample, sampleBytes, &used);
    if (readings.empty()) {
        return Refused("no common frame size and layout" +
                       std::string(completed.formatGiven ? " that fits the settings given" : "") +
                       " holds a whole frame of its " + std::to_string(size) +
                       " bytes: give -w, -h and -l");
    }
    const rawsettings::FrameSizeGuess& best = readings.front();
    completed.width = best.width;
    completed.height = best.height;
    if (completed.code != best.code) completed.bottomUp = false;
    completed.code = best.code;
    if (hints.interlaced && !r.given) completed.interlaced = *hints.interlaced;
    OpenPlan plan;
    plan.settings = BuildRawSettings(completed);
    if (hints.HasRate()) {
        // Seconds per frame = frameDuration / timeScale.
        plan.settings.frameDuration = hints.rateDenominator;
        plan.settings.timeScale = hints.rateNumerator;
    }
    const std::string reading = SizeWords(best.width, best.height) + " " + LayoutWords(best.code);
    const std::string fit = std::to_string(best.frames) +
                            (best.frames == 1 ? " frame" : " frames") + ", " +
                            std::to_string(best.restBytes) + " rest bytes";
    if (used.size || used.codes) {
        plan.source = OpenSource::Hints;
        std::string taken = used.size ? "size" : "";
        if (used.codes) taken += std::string(taken.empty() ? "" : " and ") + "layout";
        plan.reason = "read as " + reading + " (" + fit + "), the " + taken +
                      " its name says (give -w, -h and -l to choose)";
    } else {
        plan.source = OpenSource::Guess;
        plan.reason = "read as " + reading + ", the likeliest reading of its " +
                      std::to_string(size) + " bytes (give -w, -h and -l to choose)";
    }
    if (!hints.Empty() &&
        ((hints.HasSize() && !used.size) || (!hints.codes.empty() && !used.codes))) {
        plan.reason += "; what its name says (" +
                       (hints.HasSize() ? SizeWords(hints.width, hints.height) : std::string()) +
                       (hints.HasSize() && !hints.layoutText.empty() ? " " : "") +
                       hints.layoutText + ") holds no whole frame of it";
    }
    return plan;
}

}  // namespace

std::string FileIdentityText(const FileIdentity& identity) {
    return std::to_string(identity.size) + " " + std::to_string(identity.modifiedNs) + " " +
           std::to_string(identity.device) + " " + std::to_string(identity.inode);
}

std::optional<FileIdentity> ParseFileIdentity(std::string_view text) {
    FileIdentity id;
    const char* p = text.data();
    const char* end = text.data() + text.size();
    auto field = [&p, end](auto& value, bool last) {
        const auto [next, status] = std::from_chars(p, end, value);
        if (status != std::errc() || next == p) return false;
        p = next;
        if (last) return p == end;
        if (p == end || *p != ' ') return false;
        ++p;
        return true;
    };
    if (!field(id.size, false) || !field(id.modifiedNs, false) || !field(id.device, false) ||
        !field(id.inode, true) || id.size < 0)
        return std::nullopt;
    return id;
}

const char* OpenSourceName(OpenSource source) {
    switch (source) {
    case OpenSource::Given: return "given";
    case OpenSource::Stored: return "stored";
    case OpenSource::Y4m: return "y4m";
    case OpenSource::Hints: return "hints";
    case OpenSource::Guess: return "guess";
    case OpenSource::Ask: return "ask";
    case OpenSource::Refuse: return "refuse";
    }
    return "";
}

FrameFit FitOf(const RawSettings& settings, int64_t fileSize) {
    FrameFit fit;
    const rawsettings::FrameSpan span = rawsettings::FrameSpan::Of(settings);
    fit.frames = span.WholeFrames(fileSize);
    fit.restBytes = span.RestBytes(fileSize);
    return fit;
}

rawsettings::GuessConstraints GuessConstraintsFor(const CommandLine& given,
                                                  const rawsettings::FileNameHints& hints) {
    rawsettings::GuessConstraints constraints;
    constraints.width = given.width;
    constraints.height = given.height;
    constraints.code = given.code;
    constraints.filePrefix = given.filePrefix;
    constraints.preferredWidth = hints.width;
    constraints.preferredHeight = hints.height;
    constraints.preferredCodes = hints.codes;
    return constraints;
}

OpenPlan PlanOpen(const OpenRequest& r) {
    if (std::optional<OpenPlan> y4mPlan = PlanY4m(r)) return *y4mPlan;

    if (r.given && r.given->formatGiven) {
        const bool complete = r.given->width > 0 && r.given->height > 0 && r.given->code != 0;
        if (complete || !r.mayGuess) {
            OpenPlan plan;
            plan.source = OpenSource::Given;
            plan.settings = BuildRawSettings(*r.given);
            return plan;
        }
        return PlanGuess(r);
    }

    if (r.stored) {
        const uint32_t code = r.stored->rawFormat.code;
        std::string problem;
        bool keepStored = true;
        if (LayoutName(code).empty()) {
            problem =
                "the settings stored for this file name a pixel layout this program does "
                "not know (" +
                LayoutWords(code) + ")";
            keepStored = false;
        } else if (r.storedIdentity && r.file) {
            problem = WhatChanged(*r.stored, *r.storedIdentity, *r.file);
        }
        if (problem.empty()) {
            OpenPlan plan;
            plan.source = OpenSource::Stored;
            plan.settings = *r.stored;
            return plan;
        }
        if (!r.canAsk) {
            return Refused(problem + (keepStored ? "; give the settings (-w, -h, -l) or open the "
                                                   "file interactively to store new ones"
                                                 : ""));
        }
        OpenPlan plan;
        plan.source = OpenSource::Ask;
        if (keepStored) plan.settings = *r.stored;
        plan.reason = problem;
        return plan;
    }

    if (r.canAsk) {
        OpenPlan plan;
        plan.source = OpenSource::Ask;
        plan.reason = "no settings are stored for this file";
        return plan;
    }
    if (r.mayGuess) return PlanGuess(r);
    if (r.mayTakeName) {
        const rawsettings::FileNameHints hints = rawsettings::ReadFileNameHints(r.path);
        if (hints.HasSize() && hints.codes.size() == 1) {
            OpenPlan plan = PlanGuess(r);
            const RawVideoFormat& f = plan.settings.rawFormat;
            if (plan.source == OpenSource::Hints && f.width == hints.width &&
                f.height == hints.height && f.code == hints.codes.front())
                return plan;
        }
    }
    return Refused(
        "no settings are stored for this file; give them on the command line (-w, -h, -l)", true);
}

}  // namespace kavlo
