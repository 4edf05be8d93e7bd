// kavlo-tool export's files, as scripts see them: only regular files or new names are written,
// names as long as a file name may be are written, the format follows the name's suffix, and
// neither a signal nor a killed earlier run leaves temporary files behind.
#include "ToolTestSupport.h"

#include "../common/NonRegularFiles.h"
#include "clipgen/ClipGen.h"
#include "image/PixelLayout.h"
#include "view/file/ImageFileFormat.h"
#include "view/file/SafeWrite.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

using tooltest::RunTool;

namespace {

class ToolWrite : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    std::string Path(const std::string& name) const {
        return dir_.filePath(QString::fromStdString(name)).toStdString();
    }
    // Writes a clip; the arguments of an export of it to `out`, frames `frames`.
    std::vector<std::string> Export(const std::string& out, const std::string& frames, int w = 64,
                                    int h = 32, int count = 2) {
        clipgen::ClipOptions o;
        o.code = kLayoutI420;
        o.width = w;
        o.height = h;
        o.frames = count;
        std::string error;
        EXPECT_TRUE(clipgen::WriteClip(o, Path("clip.yuv"), error)) << error;
        return {"export",   "-w",   std::to_string(w), "-h",    std::to_string(h),
                "-l",       "I420", Path("clip.yuv"),  "--out", out,
                "--frames", frames};
    }
    // The hidden and temporary files in the folder.
    std::string TempFiles(const QString& folder = {}) const {
        QStringList found;
        for (const QString& n :
             QDir(folder.isEmpty() ? dir_.path() : folder)
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
            if (n.startsWith(QLatin1Char('.'))) found << n;
        return found.join(QLatin1Char(' ')).toStdString();
    }
    QTemporaryDir dir_;
};

std::string Head(const std::string& path, size_t n) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes(n, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(n));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
}

// ---- Targets that are not regular files ------------------------------------------------------

class ToolWriteTarget : public ToolWrite, public ::testing::WithParamInterface<testfiles::Kind> {};

TEST_P(ToolWriteTarget, IsRefusedEvenWithForceAndNothingIsWritten) {
    const std::string blocked = Path("t1.png");
    const auto args = Export(Path("t%d.png"), "0-1");
    if (!testfiles::MakeNonRegular(GetParam(), blocked)) GTEST_SKIP() << "cannot make one here";
    auto forced = args;
    forced.push_back("--force");
    for (const auto& run : {RunTool(args), RunTool(forced)}) {
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find("cannot write " + blocked + ": "), std::string::npos) << run.err;
        EXPECT_TRUE(testfiles::IsStill(GetParam(), blocked));
        EXPECT_FALSE(QFile::exists(QString::fromStdString(Path("t0.png"))))
            << "checked before anything is written";
        EXPECT_EQ(TempFiles(), "");
    }
}

INSTANTIATE_TEST_SUITE_P(EveryKind, ToolWriteTarget, ::testing::ValuesIn(testfiles::kKinds),
                         [](const ::testing::TestParamInfo<testfiles::Kind>& p) {
                             return testfiles::KindName(p.param);
                         });

TEST_F(ToolWrite, ALinkToAFileStaysALinkAndTheFileIsWritten) {
    const std::string file = Path("real.png"), link = Path("link.png");
    { std::ofstream(file) << "mine"; }
    ASSERT_EQ(::symlink("real.png", link.c_str()), 0);
    auto args = Export(link, "0");
    const auto kept = RunTool(args);
    EXPECT_EQ(kept.status, 1);
    EXPECT_NE(kept.err.find("link.png exists (--force overwrites it)"), std::string::npos);
    args.push_back("--force");
    const auto run = RunTool(args);
    ASSERT_EQ(run.status, 0) << run.err;
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link is kept";
    EXPECT_EQ(Head(file, 4), "\x89PNG");
    EXPECT_EQ(TempFiles(), "");
}

// ---- Long names -------------------------------------------------------------------------------

TEST_F(ToolWrite, NamesUpToTheLongestFileNameAreWritten) {
    for (const size_t length : {size_t(230), size_t(250), size_t(NAME_MAX)}) {
        SCOPED_TRACE(length);
        const std::string name = std::string(length - 4, 'n') + ".ppm";
        const auto run = RunTool(Export(Path(name), "1"));
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(Head(Path(name), 2), "P6");
        EXPECT_EQ(TempFiles(), "");
    }
}

// ---- The format of the suffix -----------------------------------------------------------------

struct SuffixCase {
    const char* suffix;
    const char* magic;  // the file's first bytes; null: the name is refused
};

class ToolWriteSuffix : public ToolWrite, public ::testing::WithParamInterface<SuffixCase> {};

TEST_P(ToolWriteSuffix, NamesTheFormatOrIsRefused) {
    const SuffixCase& c = GetParam();
    const std::string name = Path(std::string("frame") + c.suffix);
    const QString suffix = QString::fromLatin1(c.suffix).mid(1);
    if (c.magic && !kavlo::WritableImageExtensions().contains(suffix.toLower()))
        GTEST_SKIP() << "Qt writes no " << c.suffix << " here";
    const auto run = RunTool(Export(name, "0"));
    if (c.magic) {
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(Head(name, std::strlen(c.magic)), c.magic);
    } else {
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find("use one of: "), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("png"), std::string::npos) << run.err;
        EXPECT_FALSE(QFile::exists(QString::fromStdString(name)));
    }
}

INSTANTIATE_TEST_SUITE_P(Suffixes, ToolWriteSuffix,
                         ::testing::Values(SuffixCase{".png", "\x89PNG\r\n"},
                                           SuffixCase{".PNG", "\x89PNG\r\n"},
                                           SuffixCase{".ppm", "P6\n"}, SuffixCase{".pgm", "P5\n"},
                                           SuffixCase{".bmp", "BM"},
                                           SuffixCase{".jpg", "\xFF\xD8\xFF"},
                                           SuffixCase{".raw", nullptr}, SuffixCase{".yuv", nullptr},
                                           SuffixCase{"", nullptr}),
                         [](const ::testing::TestParamInfo<SuffixCase>& p) {
                             if (!*p.param.suffix) return std::string("none");
                             std::string name = p.param.suffix + 1;
                             if (name[0] == 'P') name += "Upper";
                             return name;
                         });

// ---- Signals and killed runs -------------------------------------------------------------------

// A pid that no process has: a child that has ended and been reaped.
long DeadPid() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return static_cast<long>(child);
}

class ToolWriteSignal : public ToolWrite, public ::testing::WithParamInterface<int> {};

// The tool is stopped by the signal the moment a temporary file appears, in the middle of the
// export: it ends as killed by the signal, without a temporary file left.
TEST_P(ToolWriteSignal, LeavesNoTemporaryFile) {
    const int sig = GetParam();
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("out")));
    const QString out = dir_.filePath(QStringLiteral("out"));
    auto args = Export(Path("out/f%03d.ppm"), "0-", 1280, 720, 24);
    args.push_back("--threads=2");

    const int watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, out.toLocal8Bit().constData(), IN_CREATE), 0);
    std::vector<char*> argv;
    const std::string program = KAVLO_TOOL;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        // As a script starts it, whatever this test inherited.
        ::signal(SIGINT, SIG_DFL);
        ::signal(SIGTERM, SIG_DFL);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ASSERT_GT(child, 0);
    bool signalled = false;
    int status = 0;
    // Bounded: the export takes a few seconds; past a minute it is killed.
    for (int round = 0; round < 600 && !signalled; ++round) {
        pollfd p{watch, POLLIN, 0};
        ::poll(&p, 1, 100);
        alignas(inotify_event) char events[4096];
        const ssize_t n = ::read(watch, events, sizeof(events));
        for (ssize_t at = 0; at < n && !signalled;) {
            const auto* e = reinterpret_cast<const inotify_event*>(events + at);
            if (e->len && std::strstr(e->name, ".tmp-")) {
                ::kill(child, sig);
                signalled = true;
            }
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
        if (::waitpid(child, &status, WNOHANG) == child) break;
    }
    if (signalled) {
        for (int round = 0; round < 600 && ::waitpid(child, &status, WNOHANG) != child; ++round)
            ::usleep(100000);
    }
    if (::kill(child, 0) == 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        ADD_FAILURE() << "the tool did not end";
    }
    ::close(watch);
    ASSERT_TRUE(signalled) << "no temporary file was seen";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << "status " << status;
    EXPECT_EQ(TempFiles(out), "");
}

INSTANTIATE_TEST_SUITE_P(TermAndInt, ToolWriteSignal, ::testing::Values(SIGTERM, SIGINT),
                         [](const ::testing::TestParamInfo<int>& p) {
                             return p.param == SIGTERM ? "SIGTERM" : "SIGINT";
                         });

TEST_F(ToolWrite, AnExportRemovesWhatAKilledRunLeftForItsNames) {
    const long dead = DeadPid();
    const long alive = static_cast<long>(::getpid());
    const std::string longName = std::string(246, 'l') + "%d.ppm";
    const std::string longFirst = std::string(246, 'l') + "0.ppm";
    const std::vector<std::string> stale = {
        kavlo::TempNameFor(Path("f0.ppm"), dead, 3), kavlo::TempNameFor(Path("f1.ppm"), dead, 0),
        kavlo::TempNameFor(Path(longFirst), dead, 7),
        Path(".f0.ppm.tmp-" + std::to_string(dead) + "-12")};  // as earlier versions named them
    const std::vector<std::string> kept = {
        kavlo::TempNameFor(Path("f0.ppm"), alive, 1),  // a process that runs
        kavlo::TempNameFor(Path("g0.ppm"), dead, 0),   // another name
        Path(".f0.ppm.tmp-" + std::to_string(dead)),   // another pattern
    };
    for (const auto& names : {stale, kept})
        for (const std::string& p : names) std::ofstream(p) << "partial";
    ASSERT_EQ(RunTool(Export(Path("f%d.ppm"), "0-1")).status, 0);
    ASSERT_EQ(RunTool(Export(Path(longName), "0")).status, 0);
    for (const std::string& p : stale) EXPECT_FALSE(QFile::exists(QString::fromStdString(p))) << p;
    for (const std::string& p : kept) EXPECT_TRUE(QFile::exists(QString::fromStdString(p))) << p;
}

}  // namespace
