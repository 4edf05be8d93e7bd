// kavlo-tool as scripts run it: exit statuses and messages, files kept or replaced, no file
// under its final name unless complete, and PSNR figures equal to ffmpeg's psnr filter.
#include "ToolTestSupport.h"

#include "app/open/RecentFileList.h"
#include "clipgen/ClipGen.h"
#include "clipgen/ClipY4m.h"
#include "image/FrameMemory.h"
#include "image/PixelLayout.h"
#include "settings/CommandLine.h"
#include "view/file/StoredSettings.h"

#include <QSettings>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

using tooltest::RunTool;

namespace {

class ToolRun : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    std::string Path(const char* name) const {
        return dir_.filePath(QString::fromLatin1(name)).toStdString();
    }
    // Writes a clip and returns the settings arguments that read it, the path last.
    std::vector<std::string> Clip(const char* name, uint32_t code, int w, int h, int frames) {
        clipgen::ClipOptions o;
        o.code = code;
        o.width = w;
        o.height = h;
        o.frames = frames;
        std::string error;
        EXPECT_TRUE(clipgen::WriteClip(o, Path(name), error)) << error;
        return {"-w", std::to_string(w), "-h",      std::to_string(h),
                "-l", LayoutName(code),  Path(name)};
    }
    // compare [settings of A] A B [settings of B]
    static std::vector<std::string> Compare(const std::vector<std::string>& a,
                                            const std::vector<std::string>& b) {
        std::vector<std::string> args = {"compare"};
        args.insert(args.end(), a.begin(), a.end());
        args.push_back(b.back());
        args.insert(args.end(), b.begin(), b.end() - 1);
        return args;
    }
    static std::vector<std::string> Join(std::vector<std::string> a,
                                         const std::vector<std::string>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    }
    QTemporaryDir dir_;
};

size_t Lines(const std::string& text) {
    size_t n = 0;
    for (const char c : text) n += c == '\n';
    return n;
}

TEST_F(ToolRun, UsageAndArgumentErrorsExitWithTwo) {
    const auto help = RunTool({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("kavlo-tool compare"), std::string::npos);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {},
             {"play", "x.yuv"},
             {"info"},
             {"info", "-w"},
             {"info", "--frames", "1-2", "x.yuv"},
             {"export", "x.yuv"},
             {"export", "x.yuv", "--out", "f%s.png"},
             {"export", "x.yuv", "--out", "f%d.png", "--channel", "g"},
             {"export", "x.yuv", "--out", "f%d.png", "--deinterlace", "4"},
             {"compare", "a.yuv"},
             {"compare", "a.yuv", "b.yuv", "c.yuv"},
             {"compare", "a.yuv", "b.yuv", "--psnr-min", "high"},
             {"compare", "a.yuv", "b.yuv", "--bogus"},
             {"compare", "a.yuv", "b.yuv", "--offset", "x"},
             {"compare", "a.yuv", "b.yuv", "--offset", "1.5"},
             {"compare", "a.yuv", "b.yuv", "--offset=-"},
             {"compare", "a.yuv", "b.yuv", "--offset"},
             {"info", "--offset", "1", "x.yuv"},
             // Every number is checked: the viewer's parser reads these as 0.
             {"info", "-w", "abc", "x.yuv"},
             {"info", "-h288x", "x.yuv"},
             {"export", "-s", "", "x.yuv", "--out", "f%d.png"},
             {"compare", "-o", "1k", "a.yuv", "b.yuv"},
             {"compare", "a.yuv", "b.yuv", "-e"},
         }) {
        std::string joined;
        for (const std::string& a : args) joined += a + " ";
        SCOPED_TRACE(joined);
        const auto run = RunTool(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(Lines(run.err), 2u) << run.err;  // the error, then the one-line usage
        EXPECT_NE(run.err.find("usage: kavlo-tool"), std::string::npos);
        EXPECT_TRUE(run.out.empty());
    }
}

TEST_F(ToolRun, MissingOrUnreadableFilesAreNamedAndExitWithOne) {
    const auto missing = RunTool({"info", Path("none.yuv")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("none.yuv: No such file or directory"), std::string::npos);
    // A name that carries a terminal's escape sequence is named with the sequence escaped.
    const auto escaped = RunTool({"info", Path("t\x1b]0;owned\x07.yuv")});
    EXPECT_EQ(escaped.status, 1);
    EXPECT_NE(escaped.err.find("t\\x1B]0;owned\\x07.yuv: No such file"), std::string::npos)
        << escaped.err;
    EXPECT_EQ(escaped.err.find('\x1b'), std::string::npos);
    const auto folder = RunTool({"info", "-w", "4", "-h", "4", "-l", "GRAY", Path("")});
    EXPECT_EQ(folder.status, 1);
    EXPECT_NE(folder.err.find("directory"), std::string::npos) << folder.err;
    const std::string pipe = Path("pipe.yuv");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const auto fifo = RunTool({"info", pipe});
    EXPECT_EQ(fifo.status, 1) << "a named pipe is refused, not waited on";
    EXPECT_NE(fifo.err.find("pipe.yuv: is not a regular file"), std::string::npos) << fifo.err;
    const auto a = Clip("a.yuv", kLayoutI420, 64, 32, 2);
    const auto second = RunTool(Join({"compare"}, Join(a, {Path("gone.yuv")})));
    EXPECT_EQ(second.status, 1);
    EXPECT_NE(second.err.find("gone.yuv"), std::string::npos);
}

TEST_F(ToolRun, InfoTellsTheGeometryOrTheLikeliestReadings) {
    const auto uyvy = Clip("clip.uyvy", kLayoutUYVY, 352, 288, 3);
    const auto info = RunTool(Join({"info"}, uyvy));
    ASSERT_EQ(info.status, 0) << info.err;
    for (const char* line : {"size: 352x288\n", "layout: UYVY", "line bytes: 704\n",
                             "frame bytes: 202752\n", "frames: 3\n", "rest bytes: 0\n"})
        EXPECT_NE(info.out.find(line), std::string::npos) << line << " in\n" << info.out;
    const auto json = RunTool(Join({"info", "--json"}, uyvy));
    EXPECT_NE(json.out.find("\"frames\": 3,"), std::string::npos) << json.out;

    // Without settings: the readings of the size, best first (CIF 4:2:2 before 4:2:0).
    const auto guesses = RunTool({"info", Path("clip.uyvy")});
    ASSERT_EQ(guesses.status, 0) << guesses.err;
    EXPECT_NE(guesses.out.find("1. -w 352 -h 288 -l UYVY: 3 frames of 202752 bytes, 0 rest"),
              std::string::npos)
        << guesses.out;
    // An export without settings reads the file by the best reading and says so.
    const auto guessed =
        RunTool({"export", Path("clip.uyvy"), "--frames", "1", "--out", Path("g%d.ppm")});
    EXPECT_EQ(guessed.status, 0) << guessed.err;
    EXPECT_NE(guessed.err.find("read as 352x288 UYVY"), std::string::npos) << guessed.err;
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(Path("g1.ppm"))));
}

TEST_F(ToolRun, ExportKeepsExistingFilesUnlessForced) {
    const auto clip = Clip("clip.yuv", kLayoutI420, 64, 32, 3);
    const std::string kept = Path("f0001.ppm");
    { std::ofstream(kept) << "mine"; }
    const auto refused =
        RunTool(Join({"export", "--out", Path("f%04d.ppm"), "--frames", "0-2"}, clip));
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("f0001.ppm exists (--force overwrites it)"), std::string::npos);
    EXPECT_EQ(QFileInfo(QString::fromStdString(kept)).size(), 4);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(Path("f0000.ppm"))))
        << "nothing is written when a file is in the way";

    const auto forced =
        RunTool(Join({"export", "--out", Path("f%04d.ppm"), "--frames", "0-2", "--force"}, clip));
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_EQ(QFileInfo(QString::fromStdString(kept)).size(), 13 + 64 * 32 * 3);
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(Path("f0002.ppm"))));
    const auto past = RunTool(Join({"export", "--out", Path("p%d.ppm"), "--frames", "2-3"}, clip));
    EXPECT_EQ(past.status, 2);
}

TEST_F(ToolRun, AFailedWriteLeavesNoFileUnderItsNameAndExitsWithOne) {
    const auto clip = Clip("clip.yuv", kLayoutI420, 320, 240, 2);
    QDir(dir_.path()).mkdir(QStringLiteral("out"));
    // A file size limit of 1 KiB makes every write of a frame fail as a full disk would.
    const auto full =
        RunTool(Join({"export", "--out", Path("out/f%d.ppm")}, clip), "trap '' XFSZ; ulimit -f 1;");
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("cannot write"), std::string::npos) << full.err;
    EXPECT_NE(full.err.find("File too large"), std::string::npos) << full.err;
    EXPECT_TRUE(QDir(dir_.filePath(QStringLiteral("out")))
                    .entryList(QDir::Files | QDir::Hidden | QDir::System)
                    .isEmpty())
        << "neither a frame nor a temporary file is left";

    const auto missing = RunTool(Join({"export", "--out", Path("nowhere/f%d.png")}, clip));
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("cannot write"), std::string::npos) << missing.err;
    EXPECT_NE(missing.err.find("nowhere/f"), std::string::npos) << missing.err;
}

// ---------------------------------------------------------------------------------------------
// Compare

std::vector<std::map<std::string, std::string>> ParseCsv(const std::string& text,
                                                         std::string* summary) {
    std::istringstream in(text);
    std::string line;
    std::vector<std::string> header;
    std::vector<std::map<std::string, std::string>> rows;
    while (std::getline(in, line)) {
        if (line.rfind("#", 0) == 0) {
            *summary = line;
            continue;
        }
        std::vector<std::string> cells;
        std::istringstream cellStream(line);
        std::string cell;
        while (std::getline(cellStream, cell, ',')) cells.push_back(cell);
        if (header.empty()) {
            header = cells;
            continue;
        }
        std::map<std::string, std::string> row;
        for (size_t i = 0; i < cells.size() && i < header.size(); ++i) row[header[i]] = cells[i];
        rows.push_back(row);
    }
    return rows;
}

TEST_F(ToolRun, CompareChecksTheLayoutsAndFrameCounts) {
    const auto i420 = Clip("a.yuv", kLayoutI420, 64, 32, 3);
    const auto yv12 = Clip("b.yv12", kLayoutYV12, 64, 32, 2);
    // The same pictures in another plane order: equal, with a warning about the frame counts.
    const auto same = RunTool(Compare(i420, yv12));
    ASSERT_EQ(same.status, 0) << same.err;
    EXPECT_NE(same.err.find("comparing the first 2"), std::string::npos) << same.err;
    std::string summary;
    const auto rows = ParseCsv(same.out, &summary);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].at("psnr_cb"), "inf");
    EXPECT_EQ(rows[1].at("mse_avg"), "0.000000");
    EXPECT_NE(summary.find("average:inf"), std::string::npos) << summary;

    const auto uyvy = Clip("c.uyvy", kLayoutUYVY, 64, 32, 3);
    const auto subsampling = RunTool(Compare(i420, uyvy));
    EXPECT_EQ(subsampling.status, 1);
    EXPECT_NE(subsampling.err.find("cannot be compared"), std::string::npos);
    const auto p010 = Clip("d.p010", kLayoutP010, 64, 32, 3);
    const auto depth = RunTool(Compare(i420, p010));
    EXPECT_EQ(depth.status, 1);
    EXPECT_NE(depth.err.find("bit depths"), std::string::npos) << depth.err;
    const auto small = Clip("e.yuv", kLayoutI420, 32, 32, 3);
    const auto size = RunTool(Compare(i420, small));
    EXPECT_EQ(size.status, 1);
    EXPECT_NE(size.err.find("frame sizes differ"), std::string::npos) << size.err;
}

// Adds deterministic noise to every sample of frames 1.. of a clip (frame 0 stays equal).
void AddNoise(const std::string& path, const clipgen::ClipOptions& o, int amplitude) {
    const FrameMemoryLayout* layout = FindFrameMemoryLayout(o.code);
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    const size_t frameBytes = bytes.size() / size_t(o.frames);
    uint32_t seed = 12345;
    const int word = layout->planes[0].wordBytes;
    const int bits = layout->sampleBits;
    for (size_t i = frameBytes; i + size_t(word) <= bytes.size(); i += size_t(word)) {
        seed = seed * 1103515245u + 12345u;
        const int delta = int((seed >> 16) % uint32_t(2 * amplitude + 1)) - amplitude;
        int v = word == 1 ? uint8_t(bytes[i]) : uint8_t(bytes[i]) | (uint8_t(bytes[i + 1]) << 8);
        v = std::clamp(v + delta, 0, (1 << bits) - 1);
        bytes[i] = char(v & 0xFF);
        if (word == 2) bytes[i + 1] = char(v >> 8);
    }
    f.seekp(0);
    f.write(bytes.data(), std::streamsize(bytes.size()));
}

// The per-frame and summary figures of kavlo-tool and of ffmpeg's psnr filter agree to 0.01 dB.
void ExpectFfmpegFigures(const QTemporaryDir& dir, uint32_t code, const char* pixelFormat) {
    if (!QFileInfo::exists(QStringLiteral("/usr/bin/ffmpeg")))
        GTEST_SKIP() << "/usr/bin/ffmpeg is not installed";
    clipgen::ClipOptions o;
    o.code = code;
    o.width = 176;
    o.height = 144;
    o.frames = 4;
    const std::string a = dir.filePath(QStringLiteral("a.raw")).toStdString();
    const std::string b = dir.filePath(QStringLiteral("b.raw")).toStdString();
    std::string error;
    ASSERT_TRUE(clipgen::WriteClip(o, a, error)) << error;
    ASSERT_TRUE(clipgen::WriteClip(o, b, error)) << error;
    AddNoise(b, o, 9);

    const std::vector<std::string> settings = {"-w", "176", "-h", "144", "-l", LayoutName(code)};
    std::vector<std::string> args = {"compare"};
    args.insert(args.end(), settings.begin(), settings.end());
    args.insert(args.end(), {a, b});
    const auto ours = RunTool(args);
    ASSERT_EQ(ours.status, 0) << ours.err;
    std::string summary;
    const auto rows = ParseCsv(ours.out, &summary);
    ASSERT_EQ(rows.size(), 4u) << ours.out;

    const std::string stats = dir.filePath(QStringLiteral("stats.log")).toStdString();
    const std::string size = "176x144";
    const std::string command =
        "/usr/bin/ffmpeg -nostdin -hide_banner -loglevel info -f rawvideo "
        "-pix_fmt " +
        std::string(pixelFormat) + " -s " + size + " -i " + a + " -f rawvideo -pix_fmt " +
        pixelFormat + " -s " + size + " -i " + b + " -lavfi psnr=stats_file=" + stats +
        " -f null - 2>" + stats + ".err";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream in(stats);
    std::string line;
    size_t frame = 0;
    while (std::getline(in, line) && frame < rows.size()) {
        // n:1 mse_avg:0.00 mse_y:0.00 mse_u:0.00 mse_v:0.00 psnr_avg:inf psnr_y:inf ...
        std::istringstream words(line);
        std::string word;
        std::map<std::string, std::string> theirs;
        while (words >> word) {
            const size_t colon = word.find(':');
            theirs[word.substr(0, colon)] = word.substr(colon + 1);
        }
        const std::map<std::string, std::string> names = {
            {"psnr_avg", "psnr_avg"}, {"psnr_y", "psnr_y"},   {"psnr_u", "psnr_cb"},
            {"psnr_v", "psnr_cr"},    {"mse_avg", "mse_avg"}, {"mse_y", "mse_y"}};
        for (const auto& [their, our] : names) {
            SCOPED_TRACE("frame " + std::to_string(frame) + " " + their);
            const std::string t = theirs.at(their), o2 = rows[frame].at(our);
            if (t == "inf") {
                EXPECT_EQ(o2, "inf");
            } else {
                EXPECT_NEAR(std::stod(o2), std::stod(t), 0.0051);
            }
        }
        ++frame;
    }
    EXPECT_EQ(frame, rows.size());
    // PSNR y:27.296163 u:27.312635 v:27.348111 average:27.307525 min:27.140170 max:inf
    std::ifstream err(stats + ".err");
    const std::string log((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
    const size_t at = log.find("PSNR y:");
    ASSERT_NE(at, std::string::npos) << log;
    auto value = [](const std::string& text, const std::string& key) {
        const size_t k = text.find(key);
        return k == std::string::npos
                   ? std::string("?")
                   : text.substr(k + key.size(), text.find(' ', k) - k - key.size());
    };
    const std::string theirs = log.substr(at, log.find('\n', at) - at);
    for (const auto& [their, our] : std::map<std::string, std::string>{{" y:", " y:"},
                                                                       {" u:", " cb:"},
                                                                       {" v:", " cr:"},
                                                                       {"average:", "average:"},
                                                                       {"min:", "min:"}}) {
        SCOPED_TRACE(their);
        EXPECT_NEAR(std::stod(value(summary, our)), std::stod(value(theirs, their)), 0.01)
            << summary << "\n"
            << theirs;
    }
}

TEST_F(ToolRun, PsnrEqualsFfmpegOn8BitI420) { ExpectFfmpegFigures(dir_, kLayoutI420, "yuv420p"); }

TEST_F(ToolRun, PsnrEqualsFfmpegOn10BitI420) {
    uint32_t code = 0;
    for (int i = 0; i < kLayoutCount; ++i)
        if (std::string(LayoutCatalogue()[i].name) == "I420LE10") code = LayoutCatalogue()[i].code;
    if (code == 0) GTEST_SKIP() << "the catalogue has no layout I420LE10 yet";
    ExpectFfmpegFigures(dir_, code, "yuv420p10le");
}

TEST_F(ToolRun, PsnrMinSetsTheExitStatus) {
    clipgen::ClipOptions o;
    o.code = kLayoutGRAY;
    o.width = 64;
    o.height = 16;
    o.frames = 3;
    const std::string a = Path("a.gray"), b = Path("b.gray");
    std::string error;
    ASSERT_TRUE(clipgen::WriteClip(o, a, error) && clipgen::WriteClip(o, b, error)) << error;
    AddNoise(b, o, 4);
    const std::vector<std::string> base = {"compare", "-w", "64", "-h",       "16",  "-l",
                                           "GRAY",    a,    b,    "--frames", "1-2", "--json"};
    auto low = base;
    low.insert(low.end(), {"--psnr-min", "20"});
    const auto pass = RunTool(low);
    EXPECT_EQ(pass.status, 0) << pass.err;
    EXPECT_NE(pass.out.find("\"frame\": 2"), std::string::npos) << pass.out;
    EXPECT_EQ(pass.out.find("\"frame\": 0,"), std::string::npos) << "outside --frames";
    auto high = base;
    high.insert(high.end(), {"--psnr-min", "60"});
    const auto fail = RunTool(high);
    EXPECT_EQ(fail.status, 1);
    EXPECT_NE(fail.err.find("below --psnr-min 60"), std::string::npos) << fail.err;
}

// The tool reads a file as the viewer opens it: a YUV4MPEG2 file by its header (its frame lines
// skipped, whatever settings are given), a file named for its size and layout by its name.
TEST_F(ToolRun, FilesAreReadAsTheViewerOpensThem) {
    clipgen::ClipOptions o;
    o.code = kLayoutI420;
    o.width = 64;
    o.height = 48;
    o.frames = 3;
    std::string error;
    ASSERT_TRUE(clipgen::WriteY4mClip(o, {}, Path("clip.y4m"), error)) << error;
    const auto raw = Clip("clip.yuv", kLayoutI420, 64, 48, 3);

    const auto info = RunTool({"info", Path("clip.y4m")});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("size: 64x48\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("frame prefix: 6"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("frames: 3\n"), std::string::npos) << info.out;
    // Settings given after B describe A too: the header still wins for A.
    const auto compare = RunTool(Compare({Path("clip.y4m")}, raw));
    ASSERT_EQ(compare.status, 0) << compare.err;
    EXPECT_NE(compare.out.find("average:inf"), std::string::npos) << compare.out;
    EXPECT_NE(compare.err.find("stream header"), std::string::npos) << compare.err;
    const auto a = RunTool({"export", Path("clip.y4m"), "--frames", "2", "--out", Path("a%d.ppm")});
    const auto b = RunTool(Join({"export", "--frames", "2", "--out", Path("b%d.ppm")}, raw));
    ASSERT_EQ(a.status, 0) << a.err;
    ASSERT_EQ(b.status, 0) << b.err;
    std::ifstream fa(Path("a2.ppm"), std::ios::binary), fb(Path("b2.ppm"), std::ios::binary);
    const std::string pa((std::istreambuf_iterator<char>(fa)), std::istreambuf_iterator<char>());
    const std::string pb((std::istreambuf_iterator<char>(fb)), std::istreambuf_iterator<char>());
    EXPECT_FALSE(pa.empty());
    EXPECT_TRUE(pa == pb) << "frame 2 of the stream differs from the raw clip's";

    // The size and layout in the name: one 4K P010 frame, not some other reading of its size.
    const std::string named = Path("decoder_out_3840x2160_p010.yuv");
    {
        std::ofstream f(named, std::ios::binary);
        f.seekp(3840 * 2160 * 3 - 1);
        f.put('\0');
    }
    const auto hinted = RunTool({"info", named});
    ASSERT_EQ(hinted.status, 0) << hinted.err;
    EXPECT_NE(hinted.out.find("1. -w 3840 -h 2160 -l P010: 1 frames"), std::string::npos)
        << hinted.out;
    EXPECT_NE(hinted.err.find("its name says"), std::string::npos) << hinted.err;
}

// compare reads a file without settings or stream header only when asked to guess, or when its
// name says its size and layout.
TEST_F(ToolRun, CompareRefusesToGuessUnlessAsked) {
    Clip("a.yuv", kLayoutI420, 352, 288, 2);
    Clip("b.yuv", kLayoutI420, 352, 288, 2);
    const auto refused = RunTool({"compare", Path("a.yuv"), Path("b.yuv")});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("--guess"), std::string::npos) << refused.err;
    EXPECT_TRUE(refused.out.empty());
    const auto guessed = RunTool({"compare", "--guess", Path("a.yuv"), Path("b.yuv")});
    EXPECT_EQ(guessed.status, 0) << guessed.err;
    EXPECT_NE(guessed.err.find("a.yuv: read as 352x288 I420"), std::string::npos) << guessed.err;

    // A name that says the size and the layout is no guess: it is read as the viewer's dialog
    // proposes it, and the tool says so.
    Clip("cif_352x288_nv12.yuv", kLayoutNV12, 352, 288, 2);
    const auto named =
        RunTool({"compare", Path("cif_352x288_nv12.yuv"), Path("cif_352x288_nv12.yuv")});
    EXPECT_EQ(named.status, 0) << named.err;
    EXPECT_NE(named.err.find("read as 352x288 NV12"), std::string::npos) << named.err;
    EXPECT_NE(named.out.find("frames:2"), std::string::npos) << named.out;
}

// The settings the viewer stored for a file read it in the tool too, while they fit the file;
// once it changed, or when their layout is unknown, the tool refuses with the reason.
TEST_F(ToolRun, StoredSettingsOfTheViewerApplyWhileTheyFit) {
    const auto clip = Clip("stored.raw", kLayoutGRAY, 32, 16, 5);
    const QString path = QString::fromStdString(clip.back());
    auto store = [&path](uint32_t code) {
        CommandLine c;
        c.width = 32;
        c.height = 16;
        c.code = code;
        const RawSettings s = BuildRawSettings(c);
        CMyRecentFileList list;
        list.Add(path, sizeof s, &s);
        list.SetIdentity(path, kavlo::IdentityOfFile(path));
        auto settings = kavlo::OpenUserStore();
        list.WriteList(*settings);
        settings->sync();
    };
    store(kLayoutGRAY);
    const auto info = RunTool({"info", clip.back()});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("size: 32x16\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("frames: 5\n"), std::string::npos) << info.out;

    store(0x7A7A7A7Au);
    const auto unknown = RunTool({"info", clip.back()});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.err.find("code 0x7a7a7a7a"), std::string::npos) << unknown.err;

    store(kLayoutGRAY);
    {
        std::ofstream f(clip.back(), std::ios::binary | std::ios::app);
        f << "tail";
    }
    const auto changed = RunTool({"info", clip.back()});
    EXPECT_EQ(changed.status, 1);
    EXPECT_NE(changed.err.find("size changed from 2560 to 2564 bytes"), std::string::npos)
        << changed.err;
    kavlo::OpenUserStore()->clear();
}

// --offset K: A's frame n against B's frame n + K. B made of A's frames with some left out or
// put before them is A shifted, so the frames compared are identical; and a file against
// itself at an offset gives the figures of the file against its copy shifted by hand.
struct OffsetCase {
    const char* name;
    std::vector<int> framesOfB;  // A's frames that make B, in order
    int64_t offset;
    int64_t first, last;  // A's frames compared
};

class OffsetFiles : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        o_.code = kLayoutGRAY;
        o_.width = 16;
        o_.height = 8;
        o_.frames = 10;
        a_ = Path("a.gray");
        std::string error;
        ASSERT_TRUE(clipgen::WriteClip(o_, a_, error)) << error;
        std::ifstream in(a_, std::ios::binary);
        bytesA_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        ASSERT_EQ(bytesA_.size(), 10u * kFrame);
    }
    std::string Path(const char* name) const {
        return dir_.filePath(QString::fromLatin1(name)).toStdString();
    }
    std::string Write(const char* name, const std::vector<int>& frames) const {
        const std::string path = Path(name);
        std::ofstream out(path, std::ios::binary);
        for (const int n : frames) out.write(bytesA_.data() + size_t(n) * kFrame, kFrame);
        return path;
    }
    static std::vector<std::string> Args(const std::string& a, const std::string& b,
                                         std::vector<std::string> more) {
        std::vector<std::string> args = {"compare", "-w", "16", "-h", "8", "-l", "GRAY", a, b};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }
    static constexpr size_t kFrame = 16 * 8;
    QTemporaryDir dir_;
    clipgen::ClipOptions o_;
    std::string a_;
    std::vector<char> bytesA_;
};

class ToolOffset : public OffsetFiles, public ::testing::WithParamInterface<OffsetCase> {};

TEST_P(ToolOffset, ShiftedFramesAreIdenticalAndOnlyTheOverlapIsCompared) {
    const OffsetCase& c = GetParam();
    const std::string b = Write("b.gray", c.framesOfB);
    const auto unshifted = RunTool(Args(a_, b, {}));
    ASSERT_EQ(unshifted.status, 0) << unshifted.err;
    EXPECT_EQ(unshifted.out.find("average:inf"), std::string::npos) << "the frames of A differ";

    const auto run = RunTool(Args(a_, b, {"--offset", std::to_string(c.offset)}));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("average:inf"), std::string::npos) << run.out;
    const size_t count = size_t(c.last - c.first + 1);
    EXPECT_EQ(Lines(run.out), count + 2) << run.out;  // the header, the frames, the summary
    EXPECT_EQ(run.out.find("\n" + std::to_string(c.first - 1) + ","), std::string::npos);
    EXPECT_NE(run.out.find("\n" + std::to_string(c.first) + ","), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\n" + std::to_string(c.last) + ","), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("\n" + std::to_string(c.last + 1) + ","), std::string::npos);
    EXPECT_NE(run.err.find("comparing " + std::to_string(count) + " frames: " + a_ + " " +
                           std::to_string(c.first) + "-" + std::to_string(c.last)),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("warning"), std::string::npos) << run.err;

    const auto json = RunTool(Args(a_, b, {"--json", "--offset=" + std::to_string(c.offset)}));
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_NE(json.out.find("\"offset\": " + std::to_string(c.offset) + ","), std::string::npos);
    EXPECT_NE(json.out.find("\"frames\": " + std::to_string(count) + ","), std::string::npos);

    // A range of A's frames inside the overlap, and one reaching before it.
    const auto one = RunTool(
        Args(a_, b, {"--offset", std::to_string(c.offset), "--frames", std::to_string(c.last)}));
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(Lines(one.out), 3u) << one.out;
    EXPECT_NE(one.out.find("\n" + std::to_string(c.last) + ","), std::string::npos) << one.out;
    if (c.first > 0) {
        const auto before = RunTool(Args(
            a_, b,
            {"--offset", std::to_string(c.offset), "--frames", std::to_string(c.first - 1) + "-"}));
        EXPECT_EQ(before.status, 2);
        EXPECT_NE(before.err.find("has no frame of B"), std::string::npos) << before.err;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Shifts, ToolOffset,
    ::testing::Values(OffsetCase{"BStartsLater", {7, 8, 9, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 3, 0, 9},
                      OffsetCase{"BLacksTheFirstTwo", {2, 3, 4, 5, 6, 7, 8, 9}, -2, 2, 9},
                      OffsetCase{"BLongerAtTheEnd", {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0}, -1, 1, 9},
                      OffsetCase{"BShorterAtBothEnds", {4, 5, 6}, -4, 4, 6}),
    [](const ::testing::TestParamInfo<OffsetCase>& param) {
        return std::string(param.param.name);
    });

TEST_F(OffsetFiles, AFileAgainstItselfAtAnOffsetIsItAgainstItsShiftedCopy) {
    const std::string later = Write("later.gray", {3, 4, 5, 6, 7, 8, 9});
    const auto byHand = RunTool(Args(a_, later, {}));
    ASSERT_EQ(byHand.status, 0) << byHand.err;
    const auto shifted = RunTool(Args(a_, a_, {"--offset", "3"}));
    ASSERT_EQ(shifted.status, 0) << shifted.err;
    EXPECT_EQ(shifted.out, byHand.out);
    EXPECT_EQ(Lines(shifted.out), 9u) << shifted.out;
    EXPECT_NE(shifted.err.find("with " + a_ + " 3-9 (B = A + 3)"), std::string::npos)
        << shifted.err;
    const auto back = RunTool(Args(a_, a_, {"--offset", "-3"}));
    ASSERT_EQ(back.status, 0) << back.err;
    EXPECT_NE(back.err.find(a_ + " 3-9 with " + a_ + " 0-6 (B = A - 3)"), std::string::npos)
        << back.err;
}

TEST_F(OffsetFiles, AnOffsetThatLeavesNoOverlapIsABadArgument) {
    for (const char* offset : {"10", "-10", "+99", "-9007199254740992"}) {
        SCOPED_TRACE(offset);
        const auto run = RunTool(Args(a_, a_, {"--offset", offset}));
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find("leaves no frame of"), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty());
    }
    const auto last = RunTool(Args(a_, a_, {"--offset", "9"}));
    EXPECT_EQ(last.status, 0) << last.err;
    EXPECT_EQ(Lines(last.out), 3u) << last.out;
}

}  // namespace
