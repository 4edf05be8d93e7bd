#include "ToolArgs.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace kavlotool {

namespace {

// Text of an argument as an error message shows it: control characters as '?', so that the
// message stays one line.
std::string Shown(const std::string& text) {
    std::string shown = text;
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return shown;
}

bool IsHelp(const std::string& a) { return a == "--help" || a == "-help" || a == "-?"; }

// A whole decimal number 0 .. limit, nothing else.
bool ReadCount(const std::string& text, int64_t limit, int64_t& out) {
    if (text.empty() || text.size() > 18) return false;
    int64_t v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v > limit) return false;
    out = v;
    return true;
}

// A whole decimal number with an optional sign, of at most 2^53 either way.
bool ReadSigned(const std::string& text, int64_t& out) {
    const bool negative = !text.empty() && text[0] == '-';
    const bool sign = negative || (!text.empty() && text[0] == '+');
    int64_t v = 0;
    if (!ReadCount(sign ? text.substr(1) : text, int64_t(1) << 53, v)) return false;
    out = negative ? -v : v;
    return true;
}

bool ReadDouble(const std::string& text, double& out) {
    if (text.empty() || text.size() > 64) return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size() || std::isnan(v)) return false;
    out = v;
    return true;
}

// The tool's options; every one starts with "--". `takesValue`: the next argument (or the text
// after '=') is its value.
struct ToolOption {
    const char* name;
    bool takesValue;
};
constexpr ToolOption kOptions[] = {
    {"--json", false},    {"--frames", true},  {"--out", true},         {"--force", false},
    {"--channel", true},  {"--fields", true},  {"--deinterlace", true}, {"--flip", false},
    {"--psnr-min", true}, {"--threads", true}, {"--guess", false},      {"--offset", true},
};

const ToolOption* FindOption(const std::string& name) {
    for (const ToolOption& o : kOptions)
        if (name == o.name) return &o;
    return nullptr;
}

// Applies one tool option; false with req.error set when its value is wrong.
bool ApplyOption(Request& req, const std::string& name, const std::string& value) {
    auto bad = [&req, &name, &value](const char* expected) {
        req.error = "bad value '" + Shown(value) + "' for " + name + ": expected " + expected;
        return false;
    };
    if (name == "--json") {
        req.json = true;
    } else if (name == "--force") {
        req.force = true;
    } else if (name == "--flip") {
        req.flip = true;
    } else if (name == "--guess") {
        req.guess = true;
    } else if (name == "--frames") {
        if (!ParseFrameRange(value, req.frames)) return bad("A-B, A- or A (frame numbers from 0)");
    } else if (name == "--out") {
        if (value.empty()) return bad("a file name pattern such as frame-%04d.png");
        req.outPattern = value;
    } else if (name == "--channel") {
        if (value == "y") {
            req.channel = Channel::Y;
        } else if (value == "cb") {
            req.channel = Channel::Cb;
        } else if (value == "cr") {
            req.channel = Channel::Cr;
        } else {
            return bad("y, cb or cr");
        }
    } else if (name == "--fields") {
        // "split", "swap" or both, comma-separated.
        size_t start = 0;
        while (start <= value.size()) {
            const size_t comma = value.find(',', start);
            const std::string word =
                value.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
            if (word == "split") {
                req.splitFields = true;
            } else if (word == "swap") {
                req.swapFields = true;
            } else {
                return bad("split, swap or split,swap");
            }
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
    } else if (name == "--deinterlace") {
        int64_t m = 0;
        if (!ReadCount(value, 3, m))
            return bad("a method 0-3 (0 blend, 1 top, 2 bottom, 3 low-pass)");
        req.deinterlace = static_cast<int>(m);
    } else if (name == "--psnr-min") {
        if (!ReadDouble(value, req.psnrMin)) return bad("a number of dB");
        req.psnrMinGiven = true;
    } else if (name == "--offset") {
        if (!ReadSigned(value, req.offset))
            return bad("a whole number of frames, B's frame = A's frame + it (may be negative)");
    } else if (name == "--threads") {
        int64_t n = 0;
        if (!ReadCount(value, 256, n) || n == 0) return bad("a thread count 1-256");
        req.threads = static_cast<unsigned>(n);
    }
    return true;
}

// Which options each command takes.
bool OptionFits(Command command, const std::string& name) {
    if (name == "--json") return command == Command::Info || command == Command::Compare;
    if (name == "--frames" || name == "--threads") return command != Command::Info;
    if (name == "--psnr-min" || name == "--guess" || name == "--offset")
        return command == Command::Compare;
    return command == Command::Export;
}

const char* CommandName(Command command) {
    switch (command) {
    case Command::Info: return "info";
    case Command::Export: return "export";
    case Command::Compare: return "compare";
    default: return "";
    }
}

// The parse of one file's argument list; false with req.error set on an error.
bool ParseFileArguments(Request& req, const std::vector<std::string>& args, CommandLine& out) {
    out = ParseCommandLine(args);
    if (out.openTarget) {
        req.error = "unknown argument /open";
        return false;
    }
    if (!out.error.empty()) {
        // "Error: Unknown setting or option." -> "unknown setting or option"
        std::string text = out.error;
        if (text.rfind("Error: ", 0) == 0) text = text.substr(7);
        if (!text.empty() && text.back() == '.') text.pop_back();
        if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') text[0] = char(text[0] - 'A' + 'a');
        req.error = Shown(text);  // it may quote a value as given
        return false;
    }
    if (!out.notNumber.empty()) {
        // The viewer reads "-w abc" as width 0; the tool takes no number it cannot read.
        req.error = Shown(NotNumberText(out));
        return false;
    }
    return true;
}

}  // namespace

const char* UsageLine() {
    return "usage: kavlo-tool info|export|compare [settings] FILE ... (kavlo-tool --help tells "
           "more)";
}

const char* UsageText() {
    return "Usage:\n"
           "  kavlo-tool info [settings] FILE [--json]\n"
           "  kavlo-tool export [settings] FILE --out PATTERN [--frames A-B] [--channel y|cb|cr]\n"
           "             [--fields split|swap|split,swap] [--deinterlace 0-3] [--flip] [--force]\n"
           "  kavlo-tool compare [settings] A B [settings of B] [--frames A-B] [--psnr-min DB]\n"
           "             [--offset K] [--guess] [--json]\n"
           "  kavlo-tool --help\n"
           "\n"
           "Settings are the viewer's: -w WIDTH -h HEIGHT -l LAYOUT -s LINE_BYTES (negative:\n"
           "rows bottom-up) -o FILE_PREFIX -b FRAME_PREFIX -e FRAME_POSTFIX -i (interlaced)\n"
           "-seq (fields one after the other) -d (deinterlace) -mv (mirrored vertically), before\n"
           "or after the file name. A file opens as the viewer opens it: a YUV4MPEG2 file by its\n"
           "header, else with the settings given, else with those the viewer stored for it\n"
           "while they still fit the file; what is left open (size, layout) is the best reading\n"
           "of its name, size and first bytes, said on standard error. `info` lists those\n"
           "readings.\n"
           "\n"
           "info     the frame geometry, layout, frame bytes, frame count and rest bytes; with\n"
           "         no size or layout given, the likeliest readings of the file, best first.\n"
           "export   writes frames as the viewer shows them, in the image format of PATTERN's\n"
           "         suffix (.png, .ppm, .bmp, .jpg, ...). PATTERN holds %d or %04d for the\n"
           "         frame number. --channel, --fields, --deinterlace and --flip are the\n"
           "         viewer's switches (7/8/9, F and T, D with Shift+1..4 numbers, V).\n"
           "         Existing files are kept unless --force, and only regular files are ever\n"
           "         replaced; each file appears under its name only when complete.\n"
           "compare  PSNR and MSE of each frame and component of the stored samples, as CSV\n"
           "         (or --json), a '#' summary line last. Settings before B describe both\n"
           "         files, settings after B the file B alone. A file with no settings given or\n"
           "         stored and no header is refused (status 2) unless its name says its size\n"
           "         and layout (clip_352x288_nv12.yuv) or --guess takes its best reading.\n"
           "         --psnr-min DB: exit status 1 when the average PSNR of any frame\n"
           "         is below DB. --offset K compares A's frame n with B's frame n + K (K may\n"
           "         be negative); the frames of A without one in B are left out.\n"
           "\n"
           "Frame numbers count from 0. --frames A-B, A- (to the end) or A; --threads N.\n"
           "Exit status: 0 done, 1 a file could not be read or written (or --psnr-min failed),\n"
           "2 bad arguments.\n";
}

bool ParseFrameRange(const std::string& text, FrameRange& out) {
    constexpr int64_t kLimit = int64_t(1) << 53;
    const size_t dash = text.find('-');
    FrameRange r;
    r.given = true;
    if (dash == std::string::npos) {
        if (!ReadCount(text, kLimit, r.first)) return false;
        r.last = r.first;
    } else {
        if (!ReadCount(text.substr(0, dash), kLimit, r.first)) return false;
        const std::string tail = text.substr(dash + 1);
        if (tail.empty()) {
            r.last = -1;
        } else if (!ReadCount(tail, kLimit, r.last) || r.last < r.first) {
            return false;
        }
    }
    out = r;
    return true;
}

bool ParseNamePattern(const std::string& pattern, NamePattern& out, std::string& error) {
    NamePattern p;
    std::string* text = &p.before;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c != '%') {
            *text += c;
            continue;
        }
        if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
            *text += '%';
            ++i;
            continue;
        }
        size_t j = i + 1;
        bool zero = false;
        if (j < pattern.size() && pattern[j] == '0') {
            zero = true;
            ++j;
        }
        int width = 0;
        while (j < pattern.size() && pattern[j] >= '0' && pattern[j] <= '9') {
            width = width * 10 + (pattern[j] - '0');
            if (width > 20) {
                error = "the frame number in the pattern is wider than 20 digits";
                return false;
            }
            ++j;
        }
        if (j >= pattern.size() || std::strchr("diu", pattern[j]) == nullptr) {
            error = "the pattern holds a % that is not %d, %0Nd or %%";
            return false;
        }
        if (p.hasNumber) {
            error = "the pattern holds more than one frame number";
            return false;
        }
        p.hasNumber = true;
        p.zeroPad = zero;
        p.width = width;
        text = &p.after;
        i = j;
    }
    out = p;
    return true;
}

std::string FormatName(const NamePattern& pattern, int64_t frame) {
    if (!pattern.hasNumber) return pattern.before;
    std::string digits = std::to_string(frame);
    if (static_cast<int>(digits.size()) < pattern.width)
        digits.insert(0, static_cast<size_t>(pattern.width) - digits.size(),
                      pattern.zeroPad ? '0' : ' ');
    return pattern.before + digits + pattern.after;
}

Request ParseArguments(const std::vector<std::string>& args) {
    Request req;
    if (args.size() < 2) {
        req.error = "no command given";
        return req;
    }
    const std::string& word = args[1];
    // "-h" is the viewer's height among the settings; in the command's place it asks for help.
    if (IsHelp(word) || word == "-h") {
        req.command = Command::Help;
        return req;
    }
    if (word == "info") {
        req.command = Command::Info;
    } else if (word == "export") {
        req.command = Command::Export;
    } else if (word == "compare") {
        req.command = Command::Compare;
    } else {
        req.error = "unknown command '" + Shown(word) + "'";
        return req;
    }

    // The tool's options out; the rest, in order, is the viewer's syntax.
    std::vector<std::string> rest = {args[0]};
    for (size_t i = 2; i < args.size(); ++i) {
        const std::string a(args[i].c_str());  // arguments are C strings
        if (IsHelp(a)) {
            req.command = Command::Help;
            return req;
        }
        if (a.size() < 3 || a[0] != '-' || a[1] != '-') {
            rest.push_back(a);
            continue;
        }
        const size_t eq = a.find('=');
        const std::string name = a.substr(0, eq);
        const ToolOption* option = FindOption(name);
        if (!option) {
            req.error = "unknown option " + Shown(name);
            return req;
        }
        if (!OptionFits(req.command, name)) {
            req.error = name + " is not an option of " + CommandName(req.command);
            return req;
        }
        std::string value;
        if (option->takesValue) {
            if (eq != std::string::npos) {
                value = a.substr(eq + 1);
            } else if (i + 1 < args.size()) {
                value = std::string(args[++i].c_str());
            } else {
                req.error = name + " needs a value";
                return req;
            }
        } else if (eq != std::string::npos) {
            req.error = name + " takes no value";
            return req;
        }
        if (!ApplyOption(req, name, value)) return req;
    }

    if (req.command != Command::Compare) {
        if (!ParseFileArguments(req, rest, req.first)) return req;
        if (req.first.help) {
            req.command = Command::Help;
            return req;
        }
        if (req.first.fileName.empty()) {
            req.error = "no file given";
            return req;
        }
        if (req.command == Command::Export && req.outPattern.empty()) {
            req.error = "export needs --out PATTERN";
            return req;
        }
        return req;
    }

    // compare: find the two file names as the viewer's parser sees them (a value such as the
    // 720 of "-w 720" is no file name).
    const CommandLine all = ParseCommandLine(rest);
    if (all.help) {
        req.command = Command::Help;
        return req;
    }
    if (all.fileName.empty() || all.error.empty()) {
        CommandLine ignored;
        if (!ParseFileArguments(req, rest, ignored)) return req;
        req.error =
            all.fileName.empty() ? "compare needs two files" : "compare needs a second file";
        return req;
    }
    if (all.error != kErrTwoFiles) {
        CommandLine ignored;
        ParseFileArguments(req, rest, ignored);
        return req;
    }
    const size_t firstAt = all.fileIndex;
    std::vector<std::string> withoutFirst = rest;
    withoutFirst.erase(withoutFirst.begin() + static_cast<std::ptrdiff_t>(firstAt));
    const CommandLine second = ParseCommandLine(withoutFirst);
    if (second.error == kErrTwoFiles) {
        req.error = "compare takes two files, not more";
        return req;
    }
    if (second.fileName.empty()) {
        CommandLine ignored;
        ParseFileArguments(req, withoutFirst, ignored);
        if (req.error.empty()) req.error = "compare needs a second file";
        return req;
    }
    // In `withoutFirst`, the second file's index; the shared settings lie before it.
    const size_t secondAt = second.fileIndex;
    std::vector<std::string> shared(withoutFirst.begin(),
                                    withoutFirst.begin() + static_cast<std::ptrdiff_t>(secondAt));
    std::vector<std::string> own(withoutFirst.begin() + static_cast<std::ptrdiff_t>(secondAt) + 1,
                                 withoutFirst.end());

    std::vector<std::string> listB = shared;
    listB.push_back(second.fileName);
    listB.insert(listB.end(), own.begin(), own.end());
    if (!ParseFileArguments(req, listB, req.second)) return req;

    std::vector<std::string> listA = shared;
    listA.push_back(all.fileName);
    if (!ParseFileArguments(req, listA, req.first)) return req;
    if (!req.first.formatGiven && req.second.formatGiven) {
        listA.insert(listA.end(), own.begin(), own.end());
        if (!ParseFileArguments(req, listA, req.first)) return req;
    }
    return req;
}

}  // namespace kavlotool
