// How a file opens, decided in one place for the main window, the reference of a comparison,
// start-up and kavlo-tool: with the settings given on the command line, the settings stored for
// it (while they still fit the file), its YUV4MPEG2 header (which always wins), what its name
// says, the best reading of its size and first bytes, or by asking a person. No Qt: the callers
// gather the plain facts (the file's identity and first bytes, the stored record) and act on the
// plan.
#pragma once

#include "settings/CommandLine.h"
#include "settings/FileNameHints.h"
#include "settings/FrameSizeGuess.h"
#include "settings/RawSettings.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kavlo {

// What the file system says about a file, kept beside its stored settings so that a later open
// can tell whether the file is still the one they were chosen for.
struct FileIdentity {
    int64_t size = 0;
    int64_t modifiedNs = 0;  // modification time, nanoseconds since the epoch
    uint64_t device = 0;
    uint64_t inode = 0;
};

// The stored form: "size modifiedNs device inode" in decimal.
std::string FileIdentityText(const FileIdentity& identity);
// Nothing for any other text.
std::optional<FileIdentity> ParseFileIdentity(std::string_view text);

enum class OpenSource {
    Given,   // the command line's settings
    Stored,  // the settings stored for the file
    Y4m,     // the file's YUV4MPEG2 stream header
    Hints,   // the best reading, with the size or layout the file's name says
    Guess,   // the best reading of the file's size and first bytes
    Ask,     // a person chooses in the settings dialog, starting from `settings`
    Refuse,  // the file does not open; `reason` says why
};

// "given", "stored", "y4m", "hints", "guess", "ask", "refuse".
const char* OpenSourceName(OpenSource source);

struct OpenRequest {
    std::string path;                  // the file name's bytes: its hints, its extension
    std::optional<FileIdentity> file;  // the file now; nothing when it cannot be examined
    const uint8_t* start = nullptr;    // the file's first bytes, from offset 0
    size_t startBytes = 0;
    const CommandLine* given = nullptr;   // the command line's settings, used when formatGiven
    const RawSettings* stored = nullptr;  // the whole record stored for the file, if any
    std::optional<FileIdentity> storedIdentity;  // what was stored beside it; nothing in lists
                                                 // written before identities were kept
    bool canAsk = false;                         // a person can be asked (the settings dialog)
    bool mayGuess = false;                       // without settings, the best reading may be taken
    // Without settings and without guessing, a name that says both the size and one layout
    // ("foreman_352x288_nv12.yuv") is read by them: the name states the reading, nothing is
    // guessed (a tool that cannot ask, where a wrong guess would give wrong figures).
    bool mayTakeName = false;
};

struct OpenPlan {
    OpenSource source = OpenSource::Refuse;
    // The settings to open with; for Ask the dialog's start (all zero: the dialog guesses).
    RawSettings settings{};
    // Why: what the reading rests on, what changed since the settings were stored, or what is
    // wrong. Empty for settings given or stored that fit.
    std::string reason;
    // Refused only because no settings are given or stored and guessing is not allowed.
    bool settingsMissing = false;
};

// The decision, in this order:
//   1. a file that starts with the YUV4MPEG2 signature opens by its header, whatever else is
//      given or stored (the display choices stored or given — deinterlacing, mirrors, colour —
//      are kept); a malformed header refuses. A ".y4m" name without the signature refuses too
//      unless settings are given or stored;
//   2. settings given on the command line: complete ones, or any when guessing is not allowed;
//      incomplete ones with guessing allowed narrow the best reading (step 5);
//   3. stored settings: a layout the catalogue does not know is refused (asked for again when
//      a person can be asked); a file whose identity was stored with them and that has since
//      been replaced or changed its size is asked for again with them as the start, or refused
//      with what changed; otherwise they apply (records of older lists, with no identity beside
//      them, always apply);
//   4. no settings: asked for when a person can be asked;
//   5. the best reading when guessing is allowed (the name's size and layout as preferences:
//      Hints when the name's size or layout was taken, else Guess);
//   6. without guessing, when names may be taken: the size and layout the name says, when it
//      says both and names one layout (Hints);
//   7. refused, for want of settings.
OpenPlan PlanOpen(const OpenRequest& request);

// What the guess is told: the sizes and layout the command line gives as facts, the name's as
// preferences. The plan's guess and kavlo-tool's list of readings use the same.
rawsettings::GuessConstraints GuessConstraintsFor(const CommandLine& given,
                                                  const rawsettings::FileNameHints& hints);

// Whole frames and the bytes after them in a file of `fileSize` bytes read by `settings`.
struct FrameFit {
    int64_t frames = 0;
    int64_t restBytes = 0;
};
FrameFit FitOf(const RawSettings& settings, int64_t fileSize);

}  // namespace kavlo
