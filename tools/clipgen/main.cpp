// kavlo-clipgen: writes a synthetic raw clip and optionally prints the viewer's matching
// command-line settings.
#include "ClipGen.h"
#include "ClipY4m.h"

#include "settings/CommandLine.h"
#include "image/PixelLayout.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <new>
#include <string>

namespace {

void Usage(FILE* out) {
    std::fprintf(out,
                 "Usage: kavlo-clipgen -l LAYOUT -w WIDTH -h HEIGHT -o FILE [options]\n"
                 "\n"
                 "  -l LAYOUT            pixel layout name (see the list below)\n"
                 "  -w WIDTH, -h HEIGHT  frame size in pixels\n"
                 "  -o FILE              clip to write\n"
                 "  -n FRAMES            number of frames (default 1)\n"
                 "  -s PITCH             line pitch in bytes (default: computed from the width)\n"
                 "  --file-prefix N      bytes before the first frame\n"
                 "  --frame-prefix N     bytes before every frame\n"
                 "  --frame-postfix N    bytes after every frame\n"
                 "  --interlaced MODE    woven (fields' rows alternate) or separated (one field\n"
                 "                       after the other)\n"
                 "  --bottom-field-first the bottom field is the earlier one\n"
                 "  --bottom-up          store rows bottom row first\n"
                 "  --matrix M           Y'CbCr matrix: 601 (default), 709 or 2020\n"
                 "  --range R            Y'CbCr range: limited (default) or full\n"
                 "  --print-args         print the viewer settings that open the clip\n"
                 "  -y4m                 write a YUV4MPEG2 stream (also when FILE ends in .y4m)\n"
                 "\nLayouts:");
    for (int i = 0; i < kLayoutCount; ++i) std::fprintf(out, " %s", LayoutCatalogue()[i].name);
    std::fprintf(out, "\n");
}

bool ReadInt(const char* text, long long lo, long long hi, long long& out) {
    if (!text || !*text) return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
    out = v;
    return true;
}

uint32_t CodeForName(const char* name) {
    for (int i = 0; i < kLayoutCount; ++i)
        if (std::strcmp(LayoutCatalogue()[i].name, name) == 0) return LayoutCatalogue()[i].code;
    for (int i = 0; i < kLayoutCount; ++i)
        if (strcasecmp(LayoutCatalogue()[i].name, name) == 0) return LayoutCatalogue()[i].code;
    return 0;
}

// Quotes an argument for a POSIX shell when it holds anything beyond plain path characters.
std::string ShellQuote(const std::string& a) {
    bool plain = !a.empty();
    for (char c : a)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || std::strchr("_./+-=:,", c)))
            plain = false;
    if (plain) return a;
    std::string q = "'";
    for (char c : a) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

int Fail(const std::string& text) {
    std::fprintf(stderr, "kavlo-clipgen: %s\n\n", text.c_str());
    Usage(stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    clipgen::ClipOptions o;
    std::string path;
    bool printArgs = false;
    bool y4m = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        long long v = 0;
        auto number = [&](long long lo, long long hi) {
            if (!ReadInt(next, lo, hi, v)) return false;
            ++i;
            return true;
        };
        if (a == "--help") {
            Usage(stdout);
            return 0;
        } else if (a == "-l" && next) {
            o.code = CodeForName(next);
            if (o.code == 0) return Fail(std::string("unknown layout ") + next);
            ++i;
        } else if (a == "-w") {
            if (!number(1, INT32_MAX)) return Fail("-w needs a positive width");
            o.width = int32_t(v);
        } else if (a == "-h") {
            if (!number(1, INT32_MAX)) return Fail("-h needs a positive height");
            o.height = int32_t(v);
        } else if (a == "-n") {
            if (!number(0, INT32_MAX)) return Fail("-n needs a frame count");
            o.frames = int32_t(v);
        } else if (a == "-s") {
            if (!number(1, INT32_MAX)) return Fail("-s needs a positive line pitch");
            o.lineBytes = int32_t(v);
        } else if (a == "-o" && next) {
            path = next;
            ++i;
        } else if (a == "--file-prefix") {
            if (!number(0, INT32_MAX)) return Fail("--file-prefix needs a byte count");
            o.filePrefix = uint32_t(v);
        } else if (a == "--frame-prefix") {
            if (!number(0, UINT32_MAX)) return Fail("--frame-prefix needs a byte count");
            o.framePrefix = uint32_t(v);
        } else if (a == "--frame-postfix") {
            if (!number(0, UINT32_MAX)) return Fail("--frame-postfix needs a byte count");
            o.framePostfix = uint32_t(v);
        } else if (a == "--interlaced" && next) {
            const std::string mode = next;
            if (mode == "woven")
                o.fields = clipgen::FieldMode::Woven;
            else if (mode == "separated")
                o.fields = clipgen::FieldMode::Separated;
            else
                return Fail("--interlaced takes woven or separated");
            ++i;
        } else if (a == "--matrix" && next) {
            const std::string m = next;
            if (m == "601")
                o.coding.matrix = clipgen::Matrix::BT601;
            else if (m == "709")
                o.coding.matrix = clipgen::Matrix::BT709;
            else if (m == "2020")
                o.coding.matrix = clipgen::Matrix::BT2020;
            else
                return Fail("--matrix takes 601, 709 or 2020");
            ++i;
        } else if (a == "--range" && next) {
            const std::string r = next;
            if (r != "limited" && r != "full") return Fail("--range takes limited or full");
            o.coding.fullRange = r == "full";
            ++i;
        } else if (a == "--bottom-field-first") {
            o.bottomFieldFirst = true;
        } else if (a == "--bottom-up") {
            o.bottomUp = true;
        } else if (a == "--print-args") {
            printArgs = true;
        } else if (a == "-y4m") {
            y4m = true;
        } else {
            return Fail("unexpected argument " + a);
        }
    }
    if (o.code == 0) return Fail("no layout given (-l)");
    if (path.empty()) return Fail("no output file given (-o)");
    std::string error;
    if (!clipgen::ValidateClip(o, error)) return Fail(error);

    if (path.size() >= 4 && strcasecmp(path.c_str() + path.size() - 4, ".y4m") == 0) y4m = true;
    try {
        const bool written = y4m ? clipgen::WriteY4mClip(o, clipgen::Y4mOptions(), path, error)
                                 : clipgen::WriteClip(o, path, error);
        if (!written) {
            std::fprintf(stderr, "kavlo-clipgen: %s\n", error.c_str());
            return 1;
        }
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "kavlo-clipgen: not enough memory for one %dx%d frame\n", o.width,
                     o.height);
        return 1;
    }
    if (printArgs && y4m) {
        // A YUV4MPEG2 file opens by its header alone.
        std::printf("%s\n", ShellQuote(path).c_str());
    } else if (printArgs) {
        std::string note;
        const std::vector<std::string> args = clipgen::ViewerArguments(o, path, &note);
        for (size_t k = 0; k < args.size(); ++k)
            std::printf("%s%s", k ? " " : "", ShellQuote(args[k]).c_str());
        std::printf("\n");
        if (!note.empty()) std::fprintf(stderr, "note: %s\n", note.c_str());
    }
    return 0;
}
