// kavlo-tool as scripts run it: exit statuses and messages, files kept or replaced, no file
// under its final name unless complete, and PSNR figures equal to ffmpeg's psnr filter.
#include "ToolTestSupport.h"

#include "clipgen/ClipGen.h"
#include "image/FrameMemory.h"
#include "image/PixelLayout.h"

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

}  // namespace
